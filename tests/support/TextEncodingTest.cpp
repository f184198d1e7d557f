#include <gtest/gtest.h>

#include <string>

#include "support/TextEncoding.h"

namespace plexor {
namespace {

TEST(CodePageFromName, CpgTextsAndOptionNames) {
  struct Case {
    const char* Name;
    int CodePage;
  };
  const Case cases[] = {
      {"UTF-8", 65001},      {" utf8\r\n", 65001},
      {"65001", 65001},      {"\xEF\xBB\xBFUTF-8", 65001},
      {"932", 932},          {"cp932", 932},
      {"SJIS", 932},         {"Shift_JIS", 932},
      {"shift-jis", 932},    {"MS932", 932},
      {"Windows-31J", 932},  {"1252", 1252},
      {"936", 936},          {"949", 949},
      {"ANSI 1251", 1251},   {"ansi1250", 1250},
      {"CP1252", 1252},      {"windows-1252", 1252},
      {"8859-1", 28591},     {"88591", 28591},
      {"ISO-8859-5", 28595}, {"iso8859_15", 28605},
      {"ISO_8859-2", 28592}, {"GBK", 936},
      {"Big5", 950},         {"KOI8-R", 20866},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CodePageFromName(c.Name), c.CodePage) << c.Name;
  }
  for (const char* unknown : {"", "  ", "OEM", "ANSI", "UTF-16", "CP", "ISO-8859-17", "ISO-8859-12",
                              "8859-", "0", "70000", "-1252", "1252x", "EBCDIC"}) {
    EXPECT_EQ(CodePageFromName(unknown), std::nullopt) << unknown;
  }
}

TEST(CodePageFromLanguageDriver, KnownBytesAndSilentOnes) {
  EXPECT_EQ(CodePageFromLanguageDriver(0x13), 932);
  EXPECT_EQ(CodePageFromLanguageDriver(0x7B), 932);
  EXPECT_EQ(CodePageFromLanguageDriver(0x00), std::nullopt);
  EXPECT_EQ(CodePageFromLanguageDriver(0x57), std::nullopt);
  EXPECT_EQ(CodePageFromLanguageDriver(0xFF), std::nullopt);
  const std::pair<uint8_t, int> known[] = {
      {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x4D, 936},  {0x4E, 949},  {0x4F, 950},
      {0x58, 1252}, {0x59, 1252}, {0x64, 852},  {0x65, 866},  {0x66, 865},  {0x78, 950},
      {0x79, 949},  {0x7A, 936},  {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256}, {0xC8, 1250},
      {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
  };
  for (const auto& [ldid, codePage] : known) {
    EXPECT_EQ(CodePageFromLanguageDriver(ldid), codePage) << int{ldid};
  }
}

TEST(CodePageName, NamesForMessages) {
  EXPECT_EQ(CodePageName(65001), "UTF-8");
  EXPECT_EQ(CodePageName(932), "CP932");
  EXPECT_EQ(CodePageName(1252), "CP1252");
  EXPECT_EQ(CodePageName(28595), "ISO-8859-5");
  EXPECT_EQ(CodePageName(20866), "KOI8-R");
  // Every name we print reads back as its code page.
  for (int codePage : {65001, 932, 936, 1250, 1252, 28591, 28605, 20866, 20932}) {
    EXPECT_EQ(CodePageFromName(CodePageName(codePage)), codePage) << codePage;
  }
}

TEST(Utf8Sniffer, WellFormedNonAsciiThroughoutMeansUtf8) {
  EXPECT_TRUE(IsUtf8WithNonAscii("道路 1"));
  EXPECT_FALSE(IsUtf8WithNonAscii("road 1"));            // ASCII says nothing
  EXPECT_FALSE(IsUtf8WithNonAscii("\x93\xB9\x98\x48"));  // 道路 in code page 932
  EXPECT_FALSE(IsUtf8WithNonAscii("\xE9\x81"));          // cut, and not forgiven here

  Utf8Sniffer table;
  table.Feed("ROAD");
  EXPECT_FALSE(table.IsUtf8());
  table.Feed("東京");
  table.Feed("");
  EXPECT_TRUE(table.IsUtf8());
  EXPECT_FALSE(table.Settled());
  table.Feed("\x93\x8C\x8B\x9E");  // 東京 in code page 932
  EXPECT_FALSE(table.IsUtf8());
  EXPECT_TRUE(table.Settled());
  table.Feed("大阪");
  EXPECT_FALSE(table.IsUtf8());
}

TEST(Utf8Sniffer, ACharacterCutByAFullFieldIsForgiven) {
  Utf8Sniffer sniffer;
  sniffer.Feed("東\xE4\xBA", true);  // 東 and the start of 京
  EXPECT_TRUE(sniffer.IsUtf8());
  sniffer.Feed("\xE4\xBA", true);  // a cut alone proves nothing
  EXPECT_TRUE(sniffer.IsUtf8());
  sniffer.Feed("\xBA\xE4", true);  // broken before the end is never forgiven
  EXPECT_FALSE(sniffer.IsUtf8());

  Utf8Sniffer onlyCut;
  onlyCut.Feed("\xE4\xBA", true);
  EXPECT_FALSE(onlyCut.IsUtf8());
  Utf8Sniffer notFull;
  notFull.Feed("東\xE4\xBA", false);
  EXPECT_FALSE(notFull.IsUtf8());
}

TEST(TextDecoder, OurTablesAndThePlatformsDecoders) {
  std::string out;
  ASSERT_TRUE(DecodeToUtf8(932, "\x93\xB9", out));
  EXPECT_EQ(out, "道");
  ASSERT_TRUE(DecodeToUtf8(65001, "ok\xFF", out));  // replaced, not appended to
  EXPECT_EQ(out, "ok\xEF\xBF\xBD");
  ASSERT_TRUE(DecodeToUtf8(1252, "caf\xE9 \x80", out));
  EXPECT_EQ(out, "café €");
  ASSERT_TRUE(DecodeToUtf8(936, "\xB5\xC0", out));
  EXPECT_EQ(out, "道");
  ASSERT_TRUE(DecodeToUtf8(28595, "\xE6", out));
  EXPECT_EQ(out, "ц");
  ASSERT_TRUE(DecodeToUtf8(20866, "\xC3", out));
  EXPECT_EQ(out, "ц");

  // An EBCDIC code page: ASCII bytes are not taken as themselves.
  ASSERT_TRUE(DecodeToUtf8(500, "\xC1\x81", out));
  EXPECT_EQ(out, "Aa");
  ASSERT_TRUE(DecodeToUtf8(500, "A", out));
  EXPECT_EQ(out, "\xC2\xA0");

  TextDecoder unknown(4711);
  EXPECT_FALSE(unknown.Available());
  out = "kept";
  int64_t count = 0;
  EXPECT_FALSE(unknown.AppendUtf8("abc", out, count));
  EXPECT_EQ(out, "kept");
}

TEST(TextDecoder, UndecodableBytesAreMarkedAndCounted) {
  TextDecoder greek(1253);
  ASSERT_TRUE(greek.Available());
  std::string out;
  int64_t count = 0;
  // 0xAA has no character in code page 1253; the bytes around it survive.
  EXPECT_TRUE(greek.AppendUtf8("\xE1\xAA\xE2", out, count));
  EXPECT_EQ(out, "α\xEF\xBF\xBDβ");
  EXPECT_EQ(count, 1);
  // A double-byte character cut by the end of the value, then the next value is clean.
  TextDecoder chinese(936);
  out.clear();
  EXPECT_TRUE(chinese.AppendUtf8("a\xB5", out, count));
  EXPECT_TRUE(chinese.AppendUtf8("\xB5\xC0", out, count));
  EXPECT_EQ(out, "a\xEF\xBF\xBD道");
  EXPECT_EQ(count, 2);
  TextDecoder utf8(65001);
  out.clear();
  EXPECT_TRUE(utf8.AppendUtf8("\xED\xA0\x80", out, count));  // a surrogate is no character
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(count, 5);
}

}  // namespace
}  // namespace plexor
