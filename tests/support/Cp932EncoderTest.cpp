#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/Cp932Encoder.h"

#ifndef _WIN32
#include <iconv.h>
#endif

namespace plexor {
namespace {

std::string ToCp932(std::string_view utf8, int64_t* unmappable = nullptr) {
  std::string out;
  int64_t count = 0;
  Utf8ToCp932Exact(utf8, out, count);
  if (unmappable != nullptr) *unmappable = count;
  return out;
}

std::string ToUtf8(std::string_view cp932, int64_t* undecodable = nullptr) {
  std::string out;
  int64_t count = 0;
  Cp932ToUtf8Exact(cp932, out, count);
  if (undecodable != nullptr) *undecodable = count;
  return out;
}

std::string Utf8Of(char32_t c) {
  std::string s;
  AppendUtf8(c, s);
  return s;
}

std::string Bytes(uint16_t code) {
  if (code < 0x100) return std::string(1, static_cast<char>(code));
  return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// Every code page 932 code: the single bytes from 0x80, then lead byte and trail byte pairs.
std::vector<std::string> AllNonAsciiCodes() {
  std::vector<std::string> codes;
  for (int b = 0x80; b <= 0xFF; ++b) codes.push_back(std::string(1, static_cast<char>(b)));
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead >= 0xA0 && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail != 0x7F) codes.push_back(Bytes(static_cast<uint16_t>(lead << 8 | trail)));
    }
  }
  return codes;
}

TEST(Cp932Encoder, AsciiTravelsUnchangedAndOutputIsAppended) {
  const char raw[] = "Route 1\t\"A\\B\"~\x01\x7F\0end, long enough to pass eight-byte words";
  const std::string ascii(raw, sizeof raw - 1);
  int64_t count = 0;
  EXPECT_EQ(ToCp932(ascii, &count), ascii);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ToUtf8(ascii, &count), ascii);
  EXPECT_EQ(count, 0);

  std::string out = "kept|";
  Utf8ToCp932Exact("0123456789abcdef道x", out, count);
  EXPECT_EQ(out, "kept|0123456789abcdef\x93\xB9x");
  out = "kept|";
  Cp932ToUtf8Exact("0123456789abcdef\x93\xB9x", out, count);
  EXPECT_EQ(out, "kept|0123456789abcdef道x");
  EXPECT_EQ(AsciiPrefixLength("abcdefghijklmno\x80"), 15u);
  EXPECT_EQ(AsciiPrefixLength(""), 0u);
}

TEST(Cp932Encoder, JapaneseTextBothWays) {
  const std::string utf8 = "東京都千代田区ｶﾀｶﾅ①Ⅰ㈱";
  const std::string cp932 =
      "\x93\x8C\x8B\x9E\x93\x73\x90\xE7\x91\xE3\x93\x63\x8B\xE6\xB6\xC0\xB6\xC5\x87\x40\x87\x54"
      "\x87\x8A";
  EXPECT_EQ(ToCp932(utf8), cp932);
  EXPECT_EQ(ToUtf8(cp932), utf8);
  // The user-defined area is the private use area.
  EXPECT_EQ(ToUtf8("\xF0\x40\xF9\xFC"), Utf8Of(0xE000) + Utf8Of(0xE757));
  EXPECT_EQ(ToCp932(Utf8Of(0xE000) + Utf8Of(0xE757)), "\xF0\x40\xF9\xFC");
}

TEST(Cp932Encoder, DuplicatesEncodeToTheCodeWindowsPrefers) {
  EXPECT_EQ(ToCp932("≒"), "\x81\xE0");             // JIS row 2 before NEC row 13
  EXPECT_EQ(ToCp932("∵"), "\x81\xE6");             // before NEC row 13 and the IBM extensions
  EXPECT_EQ(ToCp932("￢"), "\x81\xCA");            // before both extension areas
  EXPECT_EQ(ToCp932("Ⅰ"), "\x87\x54");             // NEC row 13 before the IBM extensions
  EXPECT_EQ(ToCp932("ⅰ"), "\xFA\x40");             // IBM extensions before NEC-selected ones
  EXPECT_EQ(ToCp932("\xE4\xB8\xA8"), "\xFA\x68");  // U+4E28, also at 0xED4C
  // Every code, preferred or not, reads back as a character that encodes to a code of the
  // same character.
  for (const std::string& code : AllNonAsciiCodes()) {
    int64_t bad = 0;
    const std::string text = ToUtf8(code, &bad);
    if (bad != 0) continue;
    const std::string again = ToCp932(text, &bad);
    ASSERT_EQ(bad, 0) << std::hex << code;
    ASSERT_EQ(ToUtf8(again), text);
  }
}

TEST(Cp932Encoder, WaveDashFamilyTakesTheCodeOfItsWindowsTwin) {
  struct Case {
    char32_t From, Twin;
    const char* Code;
  };
  const Case cases[] = {
      {0x301C, 0xFF5E, "\x81\x60"}, {0x2016, 0x2225, "\x81\x61"}, {0x2212, 0xFF0D, "\x81\x7C"},
      {0x00A2, 0xFFE0, "\x81\x91"}, {0x00A3, 0xFFE1, "\x81\x92"}, {0x00AC, 0xFFE2, "\x81\xCA"},
      {0x2014, 0x2015, "\x81\x5C"}, {0x00A5, 0x005C, "\x5C"},     {0x203E, 0x007E, "\x7E"},
  };
  for (const Case& c : cases) {
    int64_t count = 0;
    EXPECT_EQ(ToCp932(Utf8Of(c.From), &count), c.Code) << std::hex << uint32_t{c.From};
    EXPECT_EQ(ToCp932(Utf8Of(c.Twin)), c.Code) << std::hex << uint32_t{c.Twin};
    EXPECT_EQ(count, 0);
  }
  // Decoding gives Windows' characters, never the best-fit ones.
  EXPECT_EQ(ToUtf8("\x81\x60\x81\x5C"), "～―");
}

TEST(Cp932Encoder, VariationSelectorsAreDroppedWithoutCounting) {
  int64_t count = 0;
  EXPECT_EQ(ToCp932("葛\xEF\xB8\x80z", &count), "\x8A\x8Bz");    // U+FE00
  EXPECT_EQ(ToCp932("葛\xF3\xA0\x84\x80", &count), "\x8A\x8B");  // U+E0100
  EXPECT_EQ(ToCp932("辻\xF3\xA0\x87\xAF", &count), "\x92\xD2");  // U+E01EF
  EXPECT_EQ(count, 0);
}

TEST(Cp932Encoder, CharactersWithoutACodeBecomeGetaAndAreCounted) {
  int64_t count = 0;
  EXPECT_EQ(ToCp932("Café", &count), "Caf\x81\xAC");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(ToCp932("😀 and 👍🏻", &count), "\x81\xAC and \x81\xAC\x81\xAC");
  EXPECT_EQ(count, 3);  // a skin tone is a character of its own
  EXPECT_EQ(ToCp932("한", &count), "\x81\xAC");
  // The counter is added to, so one counter can cover a whole table.
  std::string out;
  int64_t total = 5;
  Utf8ToCp932Exact("é", out, total);
  Utf8ToCp932Exact("ü", out, total);
  EXPECT_EQ(total, 7);
}

TEST(Cp932Encoder, BrokenUtf8IsGetaPerMaximalPart) {
  struct Case {
    std::string In, Out;
    int64_t Count;
  };
  const std::string g(kCp932Geta);
  const Case cases[] = {
      {"\xC3", g, 1},                          // cut at the end
      {"\xE3\x81-", g + "-", 1},               // cut before ASCII: one mark
      {"\x80\xBF", g + g, 2},                  // stray continuations
      {"\xC0\xAF", g + g, 2},                  // overlong '/'
      {"\xE0\x80\xAF", g + g + g, 3},          // overlong, three bytes
      {"\xED\xA0\x80", g + g + g, 3},          // a surrogate
      {"\xF4\x90\x80\x80", g + g + g + g, 4},  // above U+10FFFF
      {"\xFF道", g + "\x93\xB9", 1},           // the next character survives
  };
  for (const Case& c : cases) {
    int64_t count = 0;
    EXPECT_EQ(ToCp932(c.In, &count), c.Out);
    EXPECT_EQ(count, c.Count);
  }
}

TEST(Cp932Encoder, UndecodableCodesBecomeReplacementCharacters) {
  int64_t count = 0;
  EXPECT_EQ(ToUtf8("\x93 A", &count), "\xEF\xBF\xBD A");  // a lead byte without trail
  EXPECT_EQ(count, 1);
  EXPECT_EQ(ToUtf8("a\x93", &count), "a\xEF\xBF\xBD");  // cut at the end
  EXPECT_EQ(count, 1);
  EXPECT_EQ(ToUtf8("\x85\x40", &count), "\xEF\xBF\xBD");  // an empty code takes both bytes
  EXPECT_EQ(count, 1);
  EXPECT_EQ(ToUtf8("\xB1\xDF", &count), "ｱﾟ");
  EXPECT_EQ(count, 0);
}

TEST(Cp932Encoder, ReadUtf8CharTellsACutFromABreak) {
  const Utf8Char ok = ReadUtf8Char("x道", 1);
  EXPECT_TRUE(ok.Valid);
  EXPECT_EQ(ok.Code, 0x9053u);
  EXPECT_EQ(ok.Length, 3u);
  const Utf8Char cut = ReadUtf8Char("\xE9\x81", 0);
  EXPECT_FALSE(cut.Valid);
  EXPECT_TRUE(cut.Cut);
  EXPECT_EQ(cut.Length, 2u);
  const Utf8Char broken = ReadUtf8Char("\xE9\x41", 0);
  EXPECT_FALSE(broken.Valid);
  EXPECT_FALSE(broken.Cut);
  EXPECT_EQ(broken.Length, 1u);
  EXPECT_EQ(Utf8Of(0x10FFFF), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(ReadUtf8Char("\xF4\x8F\xBF\xBF", 0).Code, 0x10FFFFu);
}

#ifndef _WIN32

// glibc's CP932 converter, the reference our table is checked against.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (Ok()) iconv_close(cd_);
  }
  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  std::optional<std::string> operator()(std::string_view in) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) return {};
    return std::string(buffer, static_cast<size_t>(dst - buffer));
  }

 private:
  iconv_t cd_;
};

// Where we follow Windows and glibc does not: the single bytes Windows maps although
// Microsoft's published table leaves them out.
bool IsWindowsOnlySingleByte(char32_t c) {
  return c == 0x80 || (c >= 0xF8F0 && c <= 0xF8F3);
}

TEST(Cp932Table, EncodesTheWholeBmpAsThePlatformDoes) {
  Iconv reference("CP932", "UTF-8");
  ASSERT_TRUE(reference.Ok());
  std::vector<std::string> differences;
  for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string text = Utf8Of(c);
    int64_t count = 0;
    const std::string ours = ToCp932(text, &count);
    const std::optional<std::string> theirs = reference(text);
    const bool same = theirs ? (ours == *theirs && count == 0)
                             : (ours == kCp932Geta && count == 1) || IsWindowsOnlySingleByte(c) ||
                                   (c >= 0xFE00 && c <= 0xFE0F && ours.empty());
    if (!same) differences.push_back(text);
  }
  EXPECT_TRUE(differences.empty()) << differences.size() << " differ, first " << differences[0];
}

TEST(Cp932Table, DecodesEveryCodeAsThePlatformDoes) {
  Iconv reference("UTF-8", "CP932");
  ASSERT_TRUE(reference.Ok());
  std::vector<std::string> differences;
  for (const std::string& code : AllNonAsciiCodes()) {
    int64_t count = 0;
    const std::string ours = ToUtf8(code, &count);
    const std::optional<std::string> theirs = reference(code);
    const bool singleByte = code.size() == 1;
    bool same = false;
    if (theirs) {
      same = ours == *theirs && count == 0;
    } else if (count == 0) {
      same = singleByte && IsWindowsOnlySingleByte(ReadUtf8Char(ours, 0).Code);
    } else {
      // A lead byte whose second byte is a valid trail is one unknown character; a single
      // byte without a character is one too.
      same = ours == "\xEF\xBF\xBD" && count == 1;
    }
    if (!same) differences.push_back(code);
  }
  EXPECT_TRUE(differences.empty()) << differences.size() << " differ";
}

#endif  // !_WIN32

}  // namespace
}  // namespace plexor
