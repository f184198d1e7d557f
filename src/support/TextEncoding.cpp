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
  std::string_view Name;  // upper case
  int CodePage;
};

// Names that are not "<prefix><number>". Windows' own numbers stand for the encodings
// Windows knows under another name (20866 is KOI8-R, 20932 EUC-JP, 54936 GB18030).
constexpr NamedCodePage kNamedCodePages[] = {
    {"UTF-8", kCodePageUtf8},
    {"UTF8", kCodePageUtf8},
    {"SJIS", kCodePageCp932},
    {"SHIFT_JIS", kCodePageCp932},
    {"SHIFT-JIS", kCodePageCp932},
    {"SHIFTJIS", kCodePageCp932},
    {"MS932", kCodePageCp932},
    {"MS_KANJI", kCodePageCp932},
    {"WINDOWS-31J", kCodePageCp932},
    {"X-SJIS", kCodePageCp932},
    {"GBK", 936},
    {"GB2312", 936},
    {"BIG5", 950},
    {"EUC-KR", 949},
    {"UHC", 949},
    {"KOI8-R", 20866},
    {"KOI8-U", 21866},
    {"EUC-JP", 20932},
    {"GB18030", 54936},
    {"LATIN1", 28591},
};

// Prefixes of "<prefix><number>" names, the number being a Windows code page.
constexpr std::string_view kNumberPrefixes[] = {"ANSI", "WINDOWS-", "WINDOWS_", "WINDOWS",
                                                "CP-",  "CP",       "IBM"};

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
  const std::string name = UpperAscii(TrimBlanks(text));
  for (const NamedCodePage& named : kNamedCodePages) {
    if (name == named.Name) return named.CodePage;
  }
  if (auto iso = IsoCodePageFromName(name)) return iso;
  for (std::string_view prefix : kNumberPrefixes) {
    std::string_view rest = name;
    if (ConsumePrefix(rest, prefix)) return CodePageNumber(TrimBlanks(rest));
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

// "8859-5", "88595", "ISO-8859-5", "ISO8859_5", "ISO_8859-5", "ISO 8859-5".
std::optional<int> IsoCodePageFromName(std::string_view name) {
  if (ConsumePrefix(name, "ISO")) {
    if (!name.empty() && (name[0] == '-' || name[0] == '_' || name[0] == ' '))
      name.remove_prefix(1);
  }
  if (!ConsumePrefix(name, "8859")) return std::nullopt;
  if (!name.empty() && (name[0] == '-' || name[0] == '_')) name.remove_prefix(1);
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
