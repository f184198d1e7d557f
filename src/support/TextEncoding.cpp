#include "support/TextEncoding.h"

#include <charconv>

#include "support/ByteStrings.h"
#include "support/Cp932Encoder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace plexor {
namespace {

struct NamedCodePage {
  std::string_view Name;  // folded: upper case, no '-', '_', '.', ':' or blank
  int CodePage;
};

// Names that are not "<prefix><number>": GDAL's own, glibc iconv's and Python's usual
// aliases. Windows' own numbers stand for the encodings Windows knows under another name
// (20127 is US-ASCII, 20866 KOI8-R, 20932 EUC-JP, 54936 GB18030).
constexpr NamedCodePage kNamedCodePages[] = {
    {"UTF8", kCodePageUtf8},
    {"UTF8SIG", kCodePageUtf8},
    {"U8", kCodePageUtf8},
    {"SJIS", kCodePageCp932},
    {"SHIFTJIS", kCodePageCp932},
    {"MSKANJI", kCodePageCp932},
    {"WINDOWS31J", kCodePageCp932},
    {"CSWINDOWS31J", kCodePageCp932},
    {"CSSHIFTJIS", kCodePageCp932},
    {"XSJIS", kCodePageCp932},
    {"GBK", 936},
    {"XGBK", 936},
    {"GB2312", 936},
    {"GB231280", 936},
    {"EUCCN", 936},
    {"BIG5", 950},
    {"CSBIG5", 950},
    {"CNBIG5", 950},
    {"EUCKR", 949},
    {"UHC", 949},
    {"KSC5601", 949},
    {"KSC56011987", 949},
    {"KOREAN", 949},
    {"KOI8R", 20866},
    {"KOI8U", 21866},
    {"EUCJP", 20932},
    {"UJIS", 20932},
    {"GB18030", 54936},
    {"TIS620", 874},
    {"ASCII", 20127},
    {"USASCII", 20127},
    {"ANSIX341968", 20127},
    {"MAC", 10000},
    {"MACINTOSH", 10000},
    {"MACROMAN", 10000},
    {"XMACROMAN", 10000},
    {"LATIN1", 28591},
    {"L1", 28591},
    {"LATIN2", 28592},
    {"L2", 28592},
    {"LATIN3", 28593},
    {"LATIN4", 28594},
    {"CYRILLIC", 28595},
    {"ARABIC", 28596},
    {"GREEK", 28597},
    {"HEBREW", 28598},
    {"LATIN5", 28599},
    {"LATIN6", 28600},
    {"LATIN7", 28603},
    {"LATIN8", 28604},
    {"LATIN9", 28605},
    {"LATIN10", 28606},
};

// Prefixes of "<prefix><number>" names, the number being a Windows code page: "ANSI 1252",
// "windows-1252", "win1252", "cp1252", "IBM850", "ms932".
constexpr std::string_view kNumberPrefixes[] = {"ANSI", "WINDOWS", "WIN", "CP", "IBM", "MS"};

struct LanguageDriver {
  uint8_t Ldid;
  int CodePage;
};

// The language-driver bytes of dBASE, FoxPro and ArcGIS. 0x57 is missing on purpose: it
// means the writer's ANSI code page, which the file does not tell.
constexpr LanguageDriver kLanguageDrivers[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252},  {0x04, 10000}, {0x08, 865},   {0x09, 437},
    {0x0A, 850},  {0x0B, 437},  {0x0D, 437},   {0x0E, 850},   {0x0F, 437},   {0x10, 850},
    {0x11, 437},  {0x12, 850},  {0x13, 932},   {0x14, 850},   {0x15, 437},   {0x16, 850},
    {0x17, 865},  {0x18, 437},  {0x19, 437},   {0x1A, 850},   {0x1B, 437},   {0x1C, 863},
    {0x1D, 850},  {0x1F, 852},  {0x22, 852},   {0x23, 852},   {0x24, 860},   {0x25, 850},
    {0x26, 866},  {0x37, 850},  {0x40, 852},   {0x4D, 936},   {0x4E, 949},   {0x4F, 950},
    {0x50, 874},  {0x58, 1252}, {0x59, 1252},  {0x64, 852},   {0x65, 866},   {0x66, 865},
    {0x67, 861},  {0x6A, 737},  {0x6B, 857},   {0x6C, 863},   {0x78, 950},   {0x79, 949},
    {0x7A, 936},  {0x7B, 932},  {0x7C, 874},   {0x7D, 1255},  {0x7E, 1256},  {0x86, 737},
    {0x87, 852},  {0x88, 857},  {0x96, 10007}, {0x97, 10029}, {0x98, 10006}, {0xC8, 1250},
    {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253},  {0xCC, 1257},
};

// Windows numbers the ISO 8859 parts 28591-28606.
constexpr int kIso8859Base = 28590;

std::string FoldedCodePageName(std::string_view name);
std::optional<int> IsoCodePageFromName(std::string_view name);
std::optional<int> CodePageNumber(std::string_view digits);
bool ConsumePrefix(std::string_view& text, std::string_view prefix);
void AppendCheckedUtf8(std::string_view in, std::string& out, int64_t& undecodable);
void* OpenPlatformConverter(int codePage, bool& available);
void ClosePlatformConverter(void* converter);
void AppendThroughPlatform(void* converter, int codePage, std::string_view in, std::string& out,
                           int64_t& undecodable);

}  // namespace

std::optional<int> CodePageFromName(std::string_view text) {
  std::string_view bom = text;
  // Notepad starts a file saved as UTF-8 with a byte order mark.
  if (ConsumePrefix(bom, "\xEF\xBB\xBF")) text = bom;
  const std::string name = FoldedCodePageName(TrimBlanks(text));
  if (name.empty()) return std::nullopt;
  for (const NamedCodePage& named : kNamedCodePages) {
    if (name == named.Name) return named.CodePage;
  }
  if (name.rfind("ISO", 0) == 0 || name.rfind("8859", 0) == 0) return IsoCodePageFromName(name);
  for (std::string_view prefix : kNumberPrefixes) {
    std::string_view rest = name;
    if (ConsumePrefix(rest, prefix)) return CodePageNumber(rest);
  }
  return CodePageNumber(name);
}

std::optional<int> CodePageFromLanguageDriver(uint8_t ldid) {
  for (const LanguageDriver& driver : kLanguageDrivers) {
    if (driver.Ldid == ldid) return driver.CodePage;
  }
  return std::nullopt;
}

std::string CodePageName(int codePage) {
  switch (codePage) {
    case kCodePageUtf8:
      return "UTF-8";
    case 20127:
      return "US-ASCII";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case 20932:
      return "EUC-JP";
    case 54936:
      return "GB18030";
    default:
      break;
  }
  if (codePage > kIso8859Base && codePage <= kIso8859Base + 16) {
    return "ISO-8859-" + std::to_string(codePage - kIso8859Base);
  }
  return "CP" + std::to_string(codePage);
}

bool IsUtf8WithNonAscii(std::string_view bytes) {
  Utf8Sniffer sniffer;
  sniffer.Feed(bytes);
  return sniffer.IsUtf8();
}

void Utf8Sniffer::Feed(std::string_view value, bool mayBeCut) {
  if (broken_) return;
  size_t pos = AsciiPrefixLength(value);
  while (pos < value.size()) {
    const Utf8Char c = ReadUtf8Char(value, pos);
    if (!c.Valid) {
      broken_ = !(c.Cut && mayBeCut);
      return;
    }
    sawNonAscii_ = true;
    pos += c.Length;
    pos += AsciiPrefixLength(value.substr(pos));
  }
}

namespace {

bool IsAsciiLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsHalfWidthKatakana(unsigned char c) {
  return c >= 0xA1 && c <= 0xDF;
}

// The length of the code page 932 character at `pos` (a non-ASCII byte): 1 or 2, or 0 when
// the bytes hold no character (a stray byte, a lead byte without its trail, an unassigned
// pair).
size_t Cp932CharLength(std::string_view value, size_t pos) {
  const auto c = static_cast<unsigned char>(value[pos]);
  if (IsHalfWidthKatakana(c)) return 1;
  if (!IsCp932LeadByte(c) || pos + 1 >= value.size()) return 0;
  const auto t = static_cast<unsigned char>(value[pos + 1]);
  if (t < 0x40 || t == 0x7F || t > 0xFC) return 0;
  thread_local std::string decoded;
  decoded.clear();
  int64_t undecodable = 0;
  Cp932ToUtf8Exact(value.substr(pos, 2), decoded, undecodable);
  return undecodable == 0 ? 2 : 0;
}

}  // namespace

void Cp932Sniffer::Feed(std::string_view value, bool mayBeCut, int64_t record) {
  size_t pos = AsciiPrefixLength(value);
  while (pos < value.size()) {
    const size_t start = pos;
    size_t chars = 0;
    bool broken = false;
    bool allKatakana = true;
    bool allUserDefined = true;
    while (pos < value.size() && static_cast<unsigned char>(value[pos]) >= 0x80) {
      const auto c = static_cast<unsigned char>(value[pos]);
      const size_t n = Cp932CharLength(value, pos);
      if (n == 0) {
        // A writer counting bytes may have cut the last character of a full field.
        broken = broken || !(mayBeCut && pos + 1 == value.size() && IsCp932LeadByte(c));
        ++pos;
        continue;
      }
      allKatakana = allKatakana && n == 1;
      allUserDefined = allUserDefined && n == 2 && c >= 0xF0 && c <= 0xF9;
      ++chars;
      pos += n;
    }
    const bool glued =
        (start > 0 && IsAsciiLetter(static_cast<unsigned char>(value[start - 1]))) ||
        (pos < value.size() && IsAsciiLetter(static_cast<unsigned char>(value[pos])));
    if (broken) {
      Sign(record, true);
    } else if (chars == 0) {
      // Only the forgiven cut byte.
    } else if (glued && (allUserDefined || (allKatakana && chars <= 2))) {
      Sign(record, true);
    } else if (glued && chars <= 2 && !allKatakana) {
      Sign(record, false);
    } else {
      ++japanese_;
    }
    pos += AsciiPrefixLength(value.substr(pos));
  }
}

void Cp932Sniffer::Sign(int64_t record, bool strong) {
  ++(strong ? strong_ : weak_);
  if (record == lastSignRecord_) return;
  lastSignRecord_ = record;
  ++signRecordCount_;
  if (signRecords_.size() < kFirstRecordsKept) signRecords_.push_back(record);
}

Cp932Sniffer::Verdict Cp932Sniffer::Result() const {
  // Japanese tables carry the odd broken value or "A棟"; a Western one carries little else.
  if (strong_ > 0 && strong_ + weak_ > japanese_) return Verdict::Western;
  if (strong_ > 0 || weak_ > japanese_) return Verdict::Doubtful;
  return Verdict::Cp932;
}

bool Cp932Sniffer::Settled() const {
  constexpr int64_t kEnoughJapanese = 256;
  return strong_ == 0 && weak_ * 16 <= japanese_ && japanese_ >= kEnoughJapanese;
}

TextDecoder::TextDecoder(int codePage) : codePage_(codePage) {
  if (codePage == kCodePageCp932 || codePage == kCodePageUtf8) {
    available_ = true;
    return;
  }
  converter_ = OpenPlatformConverter(codePage, available_);
  if (!available_) return;
  // Most code pages leave ASCII alone, but a number from a .cpg file may name an EBCDIC or
  // a stateful one: ask the converter instead of trusting a list.
  std::string ascii;
  for (int b = 0; b < 0x80; ++b) ascii.push_back(static_cast<char>(b));
  std::string decoded;
  int64_t undecodable = 0;
  AppendThroughPlatform(converter_, codePage, ascii, decoded, undecodable);
  asciiAsItself_ = decoded == ascii;
}

TextDecoder::~TextDecoder() {
  ClosePlatformConverter(converter_);
}

bool TextDecoder::AppendUtf8(std::string_view in, std::string& out, int64_t& undecodable) {
  if (!available_) return false;
  if (asciiAsItself_ && AsciiPrefixLength(in) == in.size()) {
    // Most values are ASCII; leaving the platform out for them keeps such a table fast.
    out.append(in);
    return true;
  }
  if (codePage_ == kCodePageCp932) {
    Cp932ToUtf8Exact(in, out, undecodable);
  } else if (codePage_ == kCodePageUtf8) {
    AppendCheckedUtf8(in, out, undecodable);
  } else {
    AppendThroughPlatform(converter_, codePage_, in, out, undecodable);
  }
  return true;
}

bool DecodeToUtf8(int codePage, std::string_view in, std::string& out) {
  TextDecoder decoder(codePage);
  out.clear();
  int64_t undecodable = 0;
  return decoder.AppendUtf8(in, out, undecodable);
}

namespace {

// Upper case without the punctuation writers put between the parts: "Shift_JIS", "shift-jis"
// and "SHIFTJIS" are one name. Empty for a name that does not start with a letter or digit.
std::string FoldedCodePageName(std::string_view name) {
  std::string folded;
  if (name.empty() || std::string_view("-_.: ").find(name[0]) != std::string_view::npos) {
    return folded;
  }
  for (const char c : UpperAscii(name)) {
    if (std::string_view("-_.: ").find(c) == std::string_view::npos) folded.push_back(c);
  }
  return folded;
}

// "ISO88595" or "88595" (folded): ISO 8859 part 5.
std::optional<int> IsoCodePageFromName(std::string_view name) {
  ConsumePrefix(name, "ISO");
  if (!ConsumePrefix(name, "8859")) return std::nullopt;
  const std::optional<int> part = CodePageNumber(name);
  if (!part || *part > 16 || *part == 12) return std::nullopt;  // part 12 was never published
  return kIso8859Base + *part;
}

// A code page number: decimal digits only, 1 to 65535.
std::optional<int> CodePageNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  int value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}

bool ConsumePrefix(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// UTF-8 in, UTF-8 out, with every broken sequence replaced, so the output is always
// well formed whatever the table held.
void AppendCheckedUtf8(std::string_view in, std::string& out, int64_t& undecodable) {
  AppendConvertingNonAscii(in, out, [&](size_t pos) {
    const Utf8Char c = ReadUtf8Char(in, pos);
    if (c.Valid) {
      out.append(in.data() + pos, c.Length);
    } else {
      AppendUtf8(0xFFFD, out);
      ++undecodable;
    }
    return c.Length;
  });
}

}  // namespace
}  // namespace plexor

#ifndef _WIN32
namespace plexor {
namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

// glibc's name for a Windows code page.
std::string IconvName(int codePage) {
  switch (codePage) {
    case 37:
      return "CP037";
    case 10000:
      return "MACINTOSH";
    case 10007:
      return "MAC-CYRILLIC";
    case 10029:
      return "MAC-CENTRALEUROPE";
    case 51949:
      return "EUC-KR";
    default:
      break;
  }
  return CodePageName(codePage);  // "CP1252", "ISO-8859-5", "KOI8-R": glibc's names too
}

void* OpenPlatformConverter(int codePage, bool& available) {
  iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
  available = cd != reinterpret_cast<iconv_t>(-1);
  return available ? static_cast<void*>(cd) : nullptr;
}

void ClosePlatformConverter(void* converter) {
  if (converter != nullptr) iconv_close(static_cast<iconv_t>(converter));
}

void AppendThroughPlatform(void* converter, int /*codePage*/, std::string_view in, std::string& out,
                           int64_t& undecodable) {
  const auto cd = static_cast<iconv_t>(converter);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char buffer[512];
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // A byte that starts no character of the code page, or a character cut by the end of
    // the value: mark it and go on with the next byte.
    out.append(kReplacementUtf8);
    ++undecodable;
    ++src;
    --srcLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace
}  // namespace plexor
#endif  // !_WIN32

#ifdef _WIN32
namespace plexor {
namespace {

void* OpenPlatformConverter(int codePage, bool& available) {
  available = IsValidCodePage(static_cast<UINT>(codePage)) != 0;
  return nullptr;
}

void ClosePlatformConverter(void* /*converter*/) {}

void AppendThroughPlatform(void* /*converter*/, int codePage, std::string_view in, std::string& out,
                           int64_t& undecodable) {
  const auto cp = static_cast<UINT>(codePage);
  const int inSize = static_cast<int>(in.size());
  const int wide = MultiByteToWideChar(cp, 0, in.data(), inSize, nullptr, 0);
  if (wide <= 0) return;
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(cp, 0, in.data(), inSize, w.data(), wide);
  for (wchar_t c : w) {
    if (c == 0xFFFD) ++undecodable;
  }
  const int narrow = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return;
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(narrow));
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data() + start, narrow, nullptr, nullptr);
}

}  // namespace
}  // namespace plexor
#endif  // _WIN32
