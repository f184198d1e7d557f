#include "dbf/localDbf.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "support/ByteStrings.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/NumberText.h"

namespace plexor {

namespace {

// Header layout (32 bytes at offset 0).
constexpr size_t kHeaderSize = 32;
constexpr size_t kHeaderVersion = 0;
constexpr size_t kHeaderRecordCount = 4;
constexpr size_t kHeaderLength = 8;
constexpr size_t kHeaderRecordLength = 10;
constexpr size_t kHeaderMdxFlag = 28;

// Field descriptors follow the header up to a terminator byte; records start at the header
// length, which may leave room after the terminator (Visual FoxPro keeps a 263-byte backlink
// to its database container there).
struct DescriptorLayout {
  size_t start;  // offset of the first descriptor in the file
  size_t size;
  size_t nameSize;  // the name starts each descriptor
  size_t type;
  size_t length;
  size_t decimals;
};
// dBASE III and IV, Visual FoxPro: 32-byte descriptors from offset 32.
constexpr DescriptorLayout kDescriptors3 = {32, 32, 11, 11, 16, 17};
// dBASE 7: a 32-byte language driver name and 4 reserved bytes lengthen the header to 68;
// descriptors have 48 bytes with a 32-byte name.
constexpr DescriptorLayout kDescriptors7 = {68, 48, 32, 32, 33, 34};
constexpr unsigned char kDescriptorTerminator = 0x0D;

// The tail of a record buffer, after the record image.
constexpr size_t kBufferIndexOffset = 0;  // relative to the record length
constexpr size_t kBufferFlagOffset = 4;
constexpr size_t kBufferTail = 8;

constexpr unsigned char kFlagFetched = 0;
// A buffer prepared by Append; any value but 0 keeps it apart from fetched records.
constexpr unsigned char kFlagAppended = 2;

constexpr unsigned char kLiveFlag = ' ';
constexpr unsigned char kDeletedFlag = '*';
constexpr unsigned char kEndOfFile = 0x1A;

// Reads in a writable (exclusively held) table go through a window this large, so walking the
// table costs one system call per window rather than one per record.
constexpr size_t kReadWindowSize = 256 * 1024;

// From this width on, an N field without decimals can hold values beyond 32 bits.
constexpr unsigned char kLargeintWidth = 10;

// Visual FoxPro writes these version bytes; its B fields of 8 bytes hold doubles.
bool IsVisualFoxPro(unsigned char version) {
  return version >= 0x30 && version <= 0x32;
}
// dBASE 7 tables, without and with a memo file.
bool IsDbase7(unsigned char version) {
  return version == 0x04 || version == 0x8C;
}

// How a field's bytes hold its value. It is decided once at open from the type letter and the
// kind of table, so that reading a field is a single switch.
enum class FieldStorage : uint8_t {
  Text,            // C
  IntegerText,     // N, F without decimals, narrower than kLargeintWidth
  LargeintText,    // N, F without decimals, from kLargeintWidth on
  FloatText,       // N, F with decimals
  DateText,        // D: yyyymmdd
  Logical,         // L
  Int32LE,         // I: two's complement, little-endian
  Int32Ordered,    // I and + of dBASE 7: big-endian with the sign bit flipped
  DoubleLE,        // O, and B of Visual FoxPro
  DoubleOrdered,   // O of dBASE 7: big-endian, sign bit flipped, negatives inverted whole
  JulianDateTime,  // T, and @ outside dBASE 7: Julian day number, then milliseconds (both LE)
  Timestamp7,      // @ of dBASE 7: big-endian double of milliseconds, day 1 = 0001-01-01
};

bool IsBinary(FieldStorage storage) {
  return storage >= FieldStorage::Int32LE;
}

// The storage of a field, or false for a type this table does not read. Binary fields must
// have their exact width, or reading them would take bytes of the next field.
bool StorageOf(char letter, unsigned char width, unsigned char decimalCount, unsigned char version,
               FieldStorage& storage) {
  const bool dbase7 = IsDbase7(version);
  switch (letter) {
    case 'C':
      storage = FieldStorage::Text;
      return true;
    case 'N':
    case 'F':
      // Ten digits no longer fit in 32 bits; such a field keeps its digits as a wide integer.
      if (decimalCount != 0)
        storage = FieldStorage::FloatText;
      else if (width >= kLargeintWidth)
        storage = FieldStorage::LargeintText;
      else
        storage = FieldStorage::IntegerText;
      return true;
    case 'D':
      storage = FieldStorage::DateText;
      return true;
    case 'L':
      storage = FieldStorage::Logical;
      return true;
    case 'I':
      storage = dbase7 ? FieldStorage::Int32Ordered : FieldStorage::Int32LE;
      return width == 4;
    case '+':
      storage = FieldStorage::Int32Ordered;
      return dbase7 && width == 4;
    case 'O':
      storage = dbase7 ? FieldStorage::DoubleOrdered : FieldStorage::DoubleLE;
      return width == 8;
    case 'B':
      // Elsewhere B is a block number in a memo file.
      storage = FieldStorage::DoubleLE;
      return IsVisualFoxPro(version) && width == 8;
    case 'T':
      storage = FieldStorage::JulianDateTime;
      return width == 8;
    case '@':
      // Outside dBASE 7, @ comes from xBase tools that write it the way T is written.
      storage = dbase7 ? FieldStorage::Timestamp7 : FieldStorage::JulianDateTime;
      return width == 8;
    default:
      return false;
  }
}

TFieldType DataTypeOf(FieldStorage storage) {
  switch (storage) {
    case FieldStorage::Text:
      return TFieldType::ftString;
    case FieldStorage::IntegerText:
    case FieldStorage::Int32LE:
    case FieldStorage::Int32Ordered:
      return TFieldType::ftInteger;
    case FieldStorage::LargeintText:
      return TFieldType::ftLargeint;
    case FieldStorage::FloatText:
    case FieldStorage::DoubleLE:
    case FieldStorage::DoubleOrdered:
      return TFieldType::ftFloat;
    case FieldStorage::DateText:
    case FieldStorage::JulianDateTime:
    case FieldStorage::Timestamp7:
      return TFieldType::ftDate;
    case FieldStorage::Logical:
      return TFieldType::ftBoolean;
  }
  return TFieldType::ftUnknown;
}

// A type letter as people read it: a control or non-ASCII byte would vanish in a message.
std::string LetterText(char letter) {
  const auto c = static_cast<unsigned char>(letter);
  if (c > 32 && c < 127) return std::string(1, letter);
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string{'0', 'x', kHex[c >> 4], kHex[c & 15]};
}

constexpr const char* kTableNotFound = "テーブルが見つかりません";
constexpr const char* kBadVersion = "このバージョンのDBFには対応してません";
constexpr const char* kMdxNeedsReadOnly = "mdxのあるDBFはreadOnlyでしかオープンできません";
constexpr const char* kUnsupportedFieldType = "対応していないフィールド型です。";
constexpr const char* kBrokenHeader = "DBFのヘッダーが壊れています。";
constexpr const char* kDataSetClosed = "データセットは閉じているため, この操作は実行できません";
constexpr const char* kDataSetReadOnly = "データセットはリードオンリーです";
constexpr const char* kDataSetEmpty = "データセットが空のため, この操作は実行できません";
constexpr const char* kNotEditing = "データセットが編集中ではないため, 値を書き込めません";
constexpr const char* kInvalidRecord = "GetRecord: Invalid record";
constexpr const char* kTooManyDigits = "桁数を超えています";
constexpr const char* kValueKindMismatch = "値の種類がフィールドの型と合いません";
constexpr const char* kTableFull = "これ以上レコードを追加できません";
constexpr const char* kLocateState = "Can't Locate in Current State.";
constexpr const char* kLocateCountMismatch = "Locate: unmatch number of fields and values";

enum class FetchMode { Current, Next, Prior };
enum class FetchResult { Ok, BeforeFirst, AfterLast, Error };

// Days from 1 January of the year 1 (day 1) to the usual date-time origin, 30 December 1899.
constexpr int32_t kDateTimeOrigin = 693594;

bool IsBlankOrControl(unsigned char c) {
  return c <= 32;
}

std::string_view TrimView(const char* text, size_t n) {
  size_t begin = 0;
  while (begin < n && IsBlankOrControl(static_cast<unsigned char>(text[begin]))) ++begin;
  while (n > begin && IsBlankOrControl(static_cast<unsigned char>(text[n - 1]))) --n;
  return {text + begin, n - begin};
}

// The length of a C field's text: trailing blanks and NULs dropped, then cut at the first NUL.
// Mostly-blank fields are common, so the blanks are skipped eight at a time.
size_t StringFieldLength(const char* field, size_t w) {
  constexpr uint64_t kEightBlanks = 0x2020202020202020ULL;
  size_t end = w;
  while (end >= 8) {
    uint64_t word;
    std::memcpy(&word, field + end - 8, 8);
    if (word != kEightBlanks) break;
    end -= 8;
  }
  while (end > 0 && (field[end - 1] == ' ' || field[end - 1] == '\0')) --end;
  const void* nul = std::memchr(field, '\0', end);
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : end;
}

bool ParseInteger(std::string_view text, int32_t& value) {
  if (text.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return false;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 2147483648LL) return false;
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT32_MAX) return false;
  value = static_cast<int32_t>(signedValue);
  return true;
}

bool IsIntegerText(std::string_view text) {
  const size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (text.size() == sign) return false;
  for (size_t i = sign; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

bool ParseLargeint(std::string_view text, int64_t& value) {
  if (!IsIntegerText(text)) return false;
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  const auto r = std::from_chars(first, text.data() + text.size(), value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

// The digits of an integer text of any length, as an integer is written: no '+', no leading
// zeros, no minus on zero. Text that is no integer has no value.
void AppendIntegerDigits(std::string_view text, std::string& out) {
  if (!IsIntegerText(text)) return;
  const bool negative = text[0] == '-';
  size_t i = text[0] == '+' || negative ? 1 : 0;
  while (i + 1 < text.size() && text[i] == '0') ++i;
  if (negative && !(text.size() - i == 1 && text[i] == '0')) out.push_back('-');
  out.append(text.substr(i));
}

// Accepts [+-]?(d+(.d*)?|.d+)([eE][+-]?d+)? and nothing else: no blanks inside, no locale.
bool ParseFloat(std::string_view text, double& value) {
  size_t i = 0;
  const size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t numberStart = i;
  size_t digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    const size_t exponentStart = i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == exponentStart) return false;
  }
  if (i != n) return false;
  // from_chars takes no leading '+' and rejects nothing else that got this far.
  const char* first = text.data() + numberStart;
  const bool negative = numberStart > 0 && text[0] == '-';
  double magnitude = 0;
  const auto result = std::from_chars(first, text.data() + n, magnitude);
  if (result.ec != std::errc() || result.ptr != text.data() + n) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}

// Most stored numbers are plain decimals of at most 15 significant digits. Such a number
// survives the trip through a double and back to 15 digits unchanged, so its general number
// text is the stored text itself without its zeros at either end; everything else (exponents,
// longer digit runs, magnitudes below 0.0001, bad texts) returns false and takes the exact way.
bool AppendPlainDecimal(std::string_view text, char decimalSeparator, std::string& out) {
  size_t i = 0;
  const size_t n = text.size();
  const bool negative = n > 0 && text[0] == '-';
  if (n > 0 && (text[0] == '-' || text[0] == '+')) ++i;
  const size_t intStart = i;
  while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
  const size_t intEnd = i;
  size_t fracStart = i, fracEnd = i;
  if (i < n && text[i] == '.') {
    fracStart = ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i;
    fracEnd = i;
  }
  if (i != n || (intEnd == intStart && fracEnd == fracStart)) return false;

  size_t lead = intStart;
  while (lead < intEnd && text[lead] == '0') ++lead;
  while (fracEnd > fracStart && text[fracEnd - 1] == '0') --fracEnd;
  size_t significant;
  if (lead < intEnd) {
    significant = (intEnd - lead) + (fracEnd - fracStart);
  } else {
    size_t zeros = 0;
    while (fracStart + zeros < fracEnd && text[fracStart + zeros] == '0') ++zeros;
    if (fracStart + zeros == fracEnd) {
      out.push_back('0');  // zero, also when written with a minus sign
      return true;
    }
    if (zeros > 3) return false;
    significant = fracEnd - fracStart - zeros;
  }
  if (significant > 15) return false;

  if (negative) out.push_back('-');
  if (lead < intEnd)
    out.append(text.data() + lead, intEnd - lead);
  else
    out.push_back('0');
  if (fracEnd > fracStart) {
    out.push_back(decimalSeparator);
    out.append(text.data() + fracStart, fracEnd - fracStart);
  }
  return true;
}

bool TwoOrFourDigits(const char* p, int count, int& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    value = value * 10 + (p[i] - '0');
  }
  return true;
}

// The first eight characters of a date field, yyyymmdd; `text` has at least 8 readable bytes.
bool ParseDate(const char* text, TDbfDate& date) {
  int year, month, day;
  if (!TwoOrFourDigits(text, 4, year) || !TwoOrFourDigits(text + 4, 2, month) ||
      !TwoOrFourDigits(text + 6, 2, day)) {
    return false;
  }
  if (!TDbfDate::IsValid(year, month, day)) return false;
  date = {year, month, day};
  return true;
}

// -- Binary fields ----------------------------------------------------------------------------

constexpr uint32_t kSignBit32 = 0x80000000u;
constexpr uint64_t kSignBit64 = 0x8000000000000000ULL;
// The Julian day number of 31 December of the year 0, the day before day 1.
constexpr int64_t kJulianDayBeforeDayOne = 1721425;
// 31 December 9999, the last day a date field can show.
constexpr int64_t kLastDayNumber = 3652059;
constexpr double kMillisecondsPerDay = 86400000.0;

uint64_t GetBE64(const char* p) {
  return (uint64_t{static_cast<uint32_t>(GetBE32(p))} << 32) |
         static_cast<uint32_t>(GetBE32(p + 4));
}

// dBASE 7 stores numbers so that their bytes sort like the numbers: big-endian with the sign
// bit flipped, negative doubles inverted whole. All zero bytes are a field never filled.
bool ReadOrderedInt32(const char* field, int32_t& value) {
  const auto bits = static_cast<uint32_t>(GetBE32(field));
  if (bits == 0) return false;
  value = static_cast<int32_t>(bits ^ kSignBit32);
  return true;
}

bool ReadOrderedDouble(const char* field, double& value) {
  uint64_t bits = GetBE64(field);
  bits = (bits & kSignBit64) != 0 ? bits ^ kSignBit64 : ~bits;
  value = std::bit_cast<double>(bits);
  return std::isfinite(value);  // all zero bytes come out as a NaN
}

bool ReadLEDouble(const char* field, double& value) {
  value = GetLEDouble(field);
  return std::isfinite(value);
}

bool DateOfDayNumber(int64_t day, TDbfDate& date) {
  if (day < 1 || day > kLastDayNumber) return false;
  date = TDbfDate::FromDayNumber(static_cast<int32_t>(day));
  return true;
}

// T: the Julian day number, then the milliseconds since midnight, which a date leaves out.
// An empty field (zeros or blanks) gives a day outside the calendar.
bool ReadJulianDate(const char* field, TDbfDate& date) {
  return DateOfDayNumber(int64_t{GetLE32(field)} - kJulianDayBeforeDayOne, date);
}

// @ of dBASE 7: milliseconds counted so that day 1 is 1 January of the year 1, as a double.
// dBASE 7 flips the sign bit as in its other doubles, yet tables written by other tools carry
// the plain double; a time before the year 1 cannot be meant, so either form reads as positive.
bool ReadTimestamp7(const char* field, TDbfDate& date) {
  const double milliseconds = std::bit_cast<double>(GetBE64(field) & ~kSignBit64);
  const double day = std::floor(milliseconds / kMillisecondsPerDay);
  // Also false for a NaN; the bound keeps the conversion to an integer defined.
  if (!(day >= 1 && day <= static_cast<double>(kLastDayNumber))) return false;
  return DateOfDayNumber(static_cast<int64_t>(day), date);
}

// L: 1 for true, 0 for false, -1 for no value (a blank, '?', anything else).
int LogicalOf(char c) {
  switch (c) {
    case 'T':
    case 't':
    case 'Y':
    case 'y':
      return 1;
    case 'F':
    case 'f':
    case 'N':
    case 'n':
      return 0;
    default:
      return -1;
  }
}

// Upper case for ASCII letters only; the trail byte of a double-byte character is copied as
// it stands, since many of them fall in the ASCII letter range.
void FoldCaseCp932(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsCp932LeadByte(c) && i + 1 < text.size()) {
      out.push_back(text[i]);
      out.push_back(text[++i]);
    } else {
      out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : text[i]);
    }
  }
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::string fa, fb;
  FoldCaseCp932(a, fa);
  FoldCaseCp932(b, fb);
  return fa == fb;
}

std::vector<std::string> SplitKeyFields(std::string_view text, char separator) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      if (start < text.size()) names.emplace_back(text.substr(start));
      break;
    }
    names.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

[[noreturn]] void ThrowClosed() {
  throw EDatabaseError(kDataSetClosed);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Dates and values

bool TDbfDate::IsValid(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= days;
}

int32_t TDbfDate::DayNumber() const {
  // Proleptic Gregorian days from 1 January of the year 1, that day being day 1.
  const int y = Year - 1;
  int32_t days = y * 365 + y / 4 - y / 100 + y / 400;
  static constexpr int kBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  days += kBefore[(Month - 1) % 12];
  const bool leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  if (leap && Month > 2) ++days;
  return days + Day;
}

TDbfDate TDbfDate::FromDayNumber(int32_t dayNumber) {
  // Civil-from-days on an era of 400 years, shifted so that the year starts in March.
  int64_t z = int64_t{dayNumber} - 1 + 306;  // days since 1 March of the year 0
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

TDbfValue TDbfValue::Text(std::string_view text) {
  TDbfValue v;
  v.kind_ = Kind::String;
  v.text_.assign(text);
  return v;
}

TDbfValue TDbfValue::Integer(int32_t value) {
  TDbfValue v;
  v.kind_ = Kind::Integer;
  v.integer_ = value;
  return v;
}

TDbfValue TDbfValue::Largeint(int64_t value) {
  TDbfValue v;
  v.kind_ = Kind::Largeint;
  v.integer_ = value;
  return v;
}

TDbfValue TDbfValue::Float(double value) {
  TDbfValue v;
  v.kind_ = Kind::Float;
  v.float_ = value;
  return v;
}

TDbfValue TDbfValue::Date(TDbfDate date) {
  TDbfValue v;
  v.kind_ = Kind::Date;
  v.integer_ = date.DayNumber();
  return v;
}

TDbfValue TDbfValue::Boolean(bool value) {
  TDbfValue v;
  v.kind_ = Kind::Boolean;
  v.integer_ = value ? 1 : 0;
  return v;
}

TDbfValue TDbfValue::DateTime(double days) {
  TDbfValue v;
  v.kind_ = Kind::DateTime;
  v.float_ = days;
  return v;
}

// ---------------------------------------------------------------------------------------------
// The table's state

struct TLocalDbf::Impl {
  explicit Impl(TLocalDbf& owner) : self(owner) {}

  TLocalDbf& self;
  FileHandle file;
  std::string tableName;
  std::array<unsigned char, kHeaderSize> header{};
  // One entry per field of the list (skipped fields have none).
  std::vector<int32_t> fieldOffsets;
  std::vector<FieldStorage> storages;
  std::string decimals, lengths;  // one byte per field
  std::vector<std::string> skippedFields;
  bool skipUnsupported = false;
  int32_t recordBufferSize = 0;
  int32_t recordIndexPos = 0;
  int32_t cursorIndex = -1;
  int32_t afterLast = 0;
  const unsigned char* filterBuffer = nullptr;
  bool open = false;
  bool readOnly = false;
  bool locateNext = false;
  bool showDeleted = false;
  bool readAhead = false;
  bool noRecordFetched = true;

  std::vector<TFieldDef> defs;
  TDataSetState state = TDataSetState::dsInactive;
  bool bof = true;
  bool eof = true;
  bool filtered = false;
  bool modified = false;
  RegionalSettings regional;

  int64_t headerLength = 0;
  int64_t recordLength = 0;

  // The current record's buffer, and a second one that fetches land in before they are
  // accepted, so a failed move leaves the current record untouched.
  std::vector<unsigned char> current;
  std::vector<unsigned char> spare;
  bool hasCurrent = false;

  // Read window, used while the file is held exclusively (nobody else can change the bytes
  // under it, and this table's own writes empty it) or when a reader asks for read-ahead.
  std::vector<unsigned char> window;
  int64_t windowStart = 0;
  size_t windowFill = 0;
  bool useWindow = false;

  int32_t HeaderRecordCount() const { return GetLE32(header.data() + kHeaderRecordCount); }

  int32_t BufferIndex(const std::vector<unsigned char>& b) const {
    return GetLE32(b.data() + recordIndexPos + kBufferIndexOffset);
  }
  unsigned char BufferFlag(const std::vector<unsigned char>& b) const {
    return b[static_cast<size_t>(recordIndexPos) + kBufferFlagOffset];
  }
  void SetBufferTail(std::vector<unsigned char>& b, int32_t index, unsigned char flag) {
    PutLE32(b.data() + recordIndexPos + kBufferIndexOffset, index);
    b[static_cast<size_t>(recordIndexPos) + kBufferFlagOffset] = flag;
  }

  // -- Opening ---------------------------------------------------------------------------------

  void Open();
  int64_t BuildFieldDefs(const DescriptorLayout& layout);
  void Close();

  // -- Reading and fetching --------------------------------------------------------------------

  void ReadRecord(int32_t index, unsigned char* out, FetchMode direction);
  FetchResult FetchRecord(std::vector<unsigned char>& buffer, FetchMode mode, bool check);
  bool FilterDecision(const unsigned char* buffer);
  void Resync();
  void SyncCursorToCurrent() {
    if (hasCurrent && BufferFlag(current) == kFlagFetched) cursorIndex = BufferIndex(current);
  }
  void ClearCurrent() {
    hasCurrent = false;
    bof = eof = true;
  }
  void AcceptSpare() {
    std::swap(current, spare);
    hasCurrent = true;
  }

  void CheckActive() const {
    if (!open) ThrowClosed();
  }
  // Leaves an edit or append the way a move does: posted when a field changed, else dropped.
  void CheckBrowseMode() {
    CheckActive();
    if (state == TDataSetState::dsEdit || state == TDataSetState::dsInsert) {
      if (modified)
        Post();
      else
        Cancel();
    }
  }

  // -- Field values ----------------------------------------------------------------------------

  const unsigned char* RecordForReading() const;
  TDbfValue ReadFieldValue(const unsigned char* record, int index) const;
  void AppendFieldText(const unsigned char* record, int index, const RegionalSettings& settings,
                       std::string& out) const;
  void CheckFieldIndex(int index) const;

  // -- Writing ---------------------------------------------------------------------------------

  void CheckWritable() const {
    CheckActive();
    if (readOnly) throw ELocalDbfError(kDataSetReadOnly);
  }
  void StoreFieldValue(int index, const TDbfValue& value);
  void WriteRecord(const unsigned char* buffer, int32_t index);
  void AppendRecord(const unsigned char* buffer);
  void WriteHeader();
  void WriteOrFail(int64_t position, const void* data, size_t n);
  void Post();
  void Cancel();
  void Delete();

  bool Locate(std::string_view keyFields, const std::vector<TDbfValue>& keyValues,
              TLocateOptions options);
  bool KeyMatches(const unsigned char* record, int field, const TDbfValue& key,
                  TLocateOptions options, std::string& scratchA, std::string& scratchB) const;
};

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TLocalDbf::Impl::Open() {
  if (open) return;
  if (!RegularFileExists(tableName)) throw ELocalDbfError(kTableNotFound);

  FileHandle handle;
  const bool opened = readOnly ? handle.OpenRead(tableName) : handle.OpenReadWrite(tableName);
  // A writable table is the file's only user while it is open; a read-only one lets other
  // readers in, and also writers that do not ask for a lock.
  if (!opened || !handle.Lock(readOnly ? FileLock::Shared : FileLock::Exclusive)) {
    throw EFOpenError(FileOpenErrorText(tableName, handle.LastError()));
  }
  file = std::move(handle);

  try {
    const int64_t got = file.ReadAt(0, header.data(), kHeaderSize);
    if (got != static_cast<int64_t>(kHeaderSize)) throw EReadError(kReadErrorText);

    // dBASE IV SQL tables and their kin (versions 3 to 5 with every bit inverted) use layouts
    // this table does not read.
    const unsigned inverted = static_cast<unsigned char>(~header[kHeaderVersion]);
    if (inverted >= 3 && inverted <= 5) throw ELocalDbfError(kBadVersion);
    if (header[kHeaderMdxFlag] != 0 && !readOnly) throw ELocalDbfError(kMdxNeedsReadOnly);

    const DescriptorLayout& layout =
        IsDbase7(header[kHeaderVersion]) ? kDescriptors7 : kDescriptors3;
    headerLength = GetLE16(header.data() + kHeaderLength);
    recordLength = GetLE16(header.data() + kHeaderRecordLength);
    if (headerLength < static_cast<int64_t>(layout.start) + 1 || HeaderRecordCount() < 0) {
      throw ELocalDbfError(kBrokenHeader);
    }

    // Every field must lie inside the record, or reading it would run into the next one.
    if (BuildFieldDefs(layout) > recordLength) throw ELocalDbfError(kBrokenHeader);

    for (size_t i = 0; i < defs.size(); ++i) {
      for (size_t j = 0; j < i; ++j) {
        if (SameNameIgnoringCase(defs[i].FieldName, defs[j].FieldName)) {
          throw EDatabaseError("項目名 '" + Cp932ToUtf8(defs[i].FieldName) + "' が重複しています");
        }
      }
    }
  } catch (...) {
    file.Close();
    throw;
  }

  cursorIndex = -1;
  afterLast = HeaderRecordCount();
  recordBufferSize = static_cast<int32_t>(recordLength + kBufferTail);
  recordIndexPos = static_cast<int32_t>(recordLength);
  noRecordFetched = true;
  current.assign(static_cast<size_t>(recordBufferSize), 0);
  spare.assign(static_cast<size_t>(recordBufferSize), 0);
  hasCurrent = false;
  useWindow = !readOnly || readAhead;
  windowFill = 0;
  if (useWindow)
    window.resize(std::max<size_t>(kReadWindowSize, static_cast<size_t>(recordLength)));
  open = true;
  state = TDataSetState::dsBrowse;
  modified = false;
  bof = eof = true;

  try {
    self.First();
  } catch (...) {
    // A table whose first record cannot be read is not left half open holding the file.
    Close();
    throw;
  }
}

// Reads the descriptors up to the terminator or the end of the header and returns where the
// last field ends in the record, skipped fields included.
int64_t TLocalDbf::Impl::BuildFieldDefs(const DescriptorLayout& layout) {
  defs.clear();
  fieldOffsets.clear();
  storages.clear();
  decimals.clear();
  lengths.clear();
  skippedFields.clear();
  const unsigned char version = header[kHeaderVersion];

  // The descriptor area is read in one piece (at most 64 KiB, as the header length is 16-bit);
  // a file that ends among the descriptors is cut short.
  std::vector<unsigned char> area(static_cast<size_t>(headerLength) - layout.start);
  const int64_t got = file.ReadAt(static_cast<int64_t>(layout.start), area.data(), area.size());
  if (got < 0) throw EReadError(kReadErrorText);
  const auto available = static_cast<size_t>(got);

  int32_t offset = 1;
  int32_t descriptorNo = 0;
  for (size_t at = 0; at + layout.size <= area.size(); at += layout.size) {
    if (at >= available) throw EReadError(kReadErrorText);
    if (area[at] == kDescriptorTerminator) break;
    if (at + layout.size > available) throw EReadError(kReadErrorText);
    const unsigned char* d = area.data() + at;
    const char letter = static_cast<char>(d[layout.type]);
    const unsigned char length = d[layout.length];
    const unsigned char decimalCount = d[layout.decimals];
    const auto* name = reinterpret_cast<const char*>(d);
    std::string fieldName(name, strnlen(name, layout.nameSize));
    ++descriptorNo;

    FieldStorage storage;
    // Visual FoxPro keeps the null flags of its nullable columns in a hidden field of its
    // own: no user data, so it is left out without a word.
    if (letter == '0' && SameTextAscii(fieldName, "_NullFlags")) {
      offset += length;
      continue;
    }
    if (!StorageOf(letter, length, decimalCount, version, storage)) {
      if (!skipUnsupported) {
        throw ELocalDbfError(std::string(kUnsupportedFieldType) + " (フィールド \"" +
                             Cp932ToUtf8(fieldName) + "\" 型 " + LetterText(letter) + ")");
      }
      skippedFields.push_back(fieldName + " (" + LetterText(letter) + ")");
      offset += length;
      continue;
    }

    TFieldDef def;
    def.DataType = DataTypeOf(storage);
    if (def.DataType == TFieldType::ftString || def.DataType == TFieldType::ftLargeint) {
      def.Size = length;
    }
    def.FieldName = std::move(fieldName);
    def.Required = false;
    def.FieldNo = descriptorNo;
    defs.push_back(std::move(def));

    storages.push_back(storage);
    decimals.push_back(static_cast<char>(decimalCount));
    lengths.push_back(static_cast<char>(length));
    fieldOffsets.push_back(offset);
    offset += length;
  }
  return offset;
}

void TLocalDbf::Impl::Close() {
  if (!open) return;
  state = TDataSetState::dsInactive;
  open = false;
  hasCurrent = false;
  bof = eof = true;
  modified = false;
  windowFill = 0;
  window.clear();
  window.shrink_to_fit();
  file.Close();
}

// ---------------------------------------------------------------------------------------------
// Records and the cursor

void TLocalDbf::Impl::ReadRecord(int32_t index, unsigned char* out, FetchMode direction) {
  const int64_t position = headerLength + int64_t{index} * recordLength;
  const auto n = static_cast<size_t>(recordLength);
  if (!useWindow) {
    if (file.ReadAt(position, out, n) != static_cast<int64_t>(n)) throw EReadError(kReadErrorText);
    return;
  }
  if (position < windowStart ||
      position + recordLength > windowStart + static_cast<int64_t>(windowFill)) {
    // Walking backwards, keep the records before this one in the window instead.
    int64_t start = position;
    if (direction == FetchMode::Prior) {
      start = std::max(headerLength, position + recordLength - static_cast<int64_t>(window.size()));
    }
    windowFill = 0;
    const int64_t got = file.ReadAt(start, window.data(), window.size());
    if (got < 0) throw EReadError(kReadErrorText);
    windowStart = start;
    windowFill = static_cast<size_t>(got);
    if (position + recordLength > windowStart + got) throw EReadError(kReadErrorText);
  }
  std::memcpy(out, window.data() + (position - windowStart), n);
}

FetchResult TLocalDbf::Impl::FetchRecord(std::vector<unsigned char>& buffer, FetchMode mode,
                                         bool check) {
  const int32_t count = HeaderRecordCount();
  if (count < 1) return FetchResult::AfterLast;
  for (;;) {
    FetchResult result = FetchResult::Ok;
    bool accepted = false;
    switch (mode) {
      case FetchMode::Current:
        if (cursorIndex <= -1)
          result = FetchResult::BeforeFirst;
        else if (cursorIndex >= count)
          result = FetchResult::AfterLast;
        break;
      case FetchMode::Next:
        if (cursorIndex + 1 < count)
          ++cursorIndex;
        else
          result = FetchResult::AfterLast;
        break;
      case FetchMode::Prior:
        if (cursorIndex - 1 > -1)
          --cursorIndex;
        else
          result = FetchResult::BeforeFirst;
        break;
    }
    if (result == FetchResult::Ok) {
      ReadRecord(cursorIndex, buffer.data(), mode);
      accepted = showDeleted || buffer[0] != kDeletedFlag;
      if (accepted) accepted = FilterDecision(buffer.data());
      SetBufferTail(buffer, cursorIndex, kFlagFetched);
      if (accepted) noRecordFetched = false;
    }
    if (mode == FetchMode::Current && !accepted) result = FetchResult::Error;
    if (result == FetchResult::Error && check) throw ELocalDbfError(kInvalidRecord);
    if (result != FetchResult::Ok || accepted) return result;
  }
}

bool TLocalDbf::Impl::FilterDecision(const unsigned char* buffer) {
  if (!filtered || !self.OnFilterRecord) return true;
  const TDataSetState saved = state;
  filterBuffer = buffer;
  state = TDataSetState::dsFilter;
  bool accept = true;
  try {
    self.OnFilterRecord(self, accept);
  } catch (...) {
    state = saved;
    filterBuffer = nullptr;
    throw;
  }
  state = saved;
  filterBuffer = nullptr;
  return accept;
}

// Lands on the record at the cursor, or the next visible one, or the previous one.
void TLocalDbf::Impl::Resync() {
  if (FetchRecord(spare, FetchMode::Current, false) != FetchResult::Ok &&
      FetchRecord(spare, FetchMode::Next, false) != FetchResult::Ok &&
      FetchRecord(spare, FetchMode::Prior, false) != FetchResult::Ok) {
    ClearCurrent();
    return;
  }
  AcceptSpare();
  bof = eof = false;
}

// ---------------------------------------------------------------------------------------------
// Field values

void TLocalDbf::Impl::CheckFieldIndex(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= defs.size()) {
    throw EListError("リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
  }
}

const unsigned char* TLocalDbf::Impl::RecordForReading() const {
  if (state == TDataSetState::dsFilter) return filterBuffer;
  if (!open || !hasCurrent) return nullptr;
  return current.data();
}

TDbfValue TLocalDbf::Impl::ReadFieldValue(const unsigned char* record, int index) const {
  if (record == nullptr) return {};
  const auto* field = reinterpret_cast<const char*>(record + fieldOffsets[index]);
  const size_t w = static_cast<unsigned char>(lengths[index]);
  TDbfDate date;
  double number;
  int32_t integer;
  switch (storages[index]) {
    case FieldStorage::Text:
      // Trailing blanks and NULs go; the text then ends at its first NUL.
      return TDbfValue::Text(std::string_view(field, StringFieldLength(field, w)));
    case FieldStorage::IntegerText:
      if (!ParseInteger(TrimView(field, w), integer)) return {};
      return TDbfValue::Integer(integer);
    case FieldStorage::LargeintText: {
      int64_t v;
      if (!ParseLargeint(TrimView(field, w), v)) return {};
      return TDbfValue::Largeint(v);
    }
    case FieldStorage::FloatText:
      if (!ParseFloat(TrimView(field, w), number)) return {};
      return TDbfValue::Float(number);
    case FieldStorage::DateText: {
      char text[8] = {};
      std::memcpy(text, field, std::min<size_t>(w, 8));
      if (!ParseDate(text, date)) return {};
      return TDbfValue::Date(date);
    }
    case FieldStorage::Logical: {
      const int truth = w >= 1 ? LogicalOf(field[0]) : -1;
      if (truth < 0) return {};
      return TDbfValue::Boolean(truth == 1);
    }
    case FieldStorage::Int32LE:
      return TDbfValue::Integer(GetLE32(field));
    case FieldStorage::Int32Ordered:
      if (!ReadOrderedInt32(field, integer)) return {};
      return TDbfValue::Integer(integer);
    case FieldStorage::DoubleLE:
      if (!ReadLEDouble(field, number)) return {};
      return TDbfValue::Float(number);
    case FieldStorage::DoubleOrdered:
      if (!ReadOrderedDouble(field, number)) return {};
      return TDbfValue::Float(number);
    case FieldStorage::JulianDateTime:
      if (!ReadJulianDate(field, date)) return {};
      return TDbfValue::Date(date);
    case FieldStorage::Timestamp7:
      if (!ReadTimestamp7(field, date)) return {};
      return TDbfValue::Date(date);
  }
  return {};
}

namespace {

void AppendInteger(int32_t value, std::string& out) {
  char text[16];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void AppendGeneral(double value, char decimalSeparator, std::string& out) {
  char text[kNumberTextMax];
  out.append(text, FormatGeneral(value, decimalSeparator, text));
}

void AppendDate(const TDbfDate& date, const RegionalSettings& settings, std::string& out) {
  AppendShortDate(date.Year, date.Month, date.Day, settings.ShortDateFormat, settings.DateSeparator,
                  out);
}

}  // namespace

// The text of FieldAsString straight from the record bytes: this is the conversion's inner
// loop, so it neither builds a TDbfValue nor allocates beyond the growth of `out`.
void TLocalDbf::Impl::AppendFieldText(const unsigned char* record, int index,
                                      const RegionalSettings& settings, std::string& out) const {
  if (record == nullptr) return;
  const auto* field = reinterpret_cast<const char*>(record + fieldOffsets[index]);
  const size_t w = static_cast<unsigned char>(lengths[index]);
  TDbfDate date;
  double number;
  int32_t integer;
  switch (storages[index]) {
    case FieldStorage::Text:
      out.append(field, StringFieldLength(field, w));
      return;
    case FieldStorage::IntegerText:
      if (ParseInteger(TrimView(field, w), integer)) AppendInteger(integer, out);
      return;
    case FieldStorage::LargeintText:
      AppendIntegerDigits(TrimView(field, w), out);
      return;
    case FieldStorage::FloatText: {
      const std::string_view trimmed = TrimView(field, w);
      if (AppendPlainDecimal(trimmed, settings.DecimalSeparator, out)) return;
      if (ParseFloat(trimmed, number)) AppendGeneral(number, settings.DecimalSeparator, out);
      return;
    }
    case FieldStorage::DateText: {
      char text[8] = {};
      std::memcpy(text, field, std::min<size_t>(w, 8));
      if (ParseDate(text, date)) AppendDate(date, settings, out);
      return;
    }
    case FieldStorage::Logical: {
      const int truth = w >= 1 ? LogicalOf(field[0]) : -1;
      if (truth >= 0) out.append(truth == 1 ? "True" : "False");
      return;
    }
    case FieldStorage::Int32LE:
      AppendInteger(GetLE32(field), out);
      return;
    case FieldStorage::Int32Ordered:
      if (ReadOrderedInt32(field, integer)) AppendInteger(integer, out);
      return;
    case FieldStorage::DoubleLE:
      if (ReadLEDouble(field, number)) AppendGeneral(number, settings.DecimalSeparator, out);
      return;
    case FieldStorage::DoubleOrdered:
      if (ReadOrderedDouble(field, number)) AppendGeneral(number, settings.DecimalSeparator, out);
      return;
    case FieldStorage::JulianDateTime:
      if (ReadJulianDate(field, date)) AppendDate(date, settings, out);
      return;
    case FieldStorage::Timestamp7:
      if (ReadTimestamp7(field, date)) AppendDate(date, settings, out);
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

// The text a value is stored as in a field of the given kind; a value of another kind is
// converted where the meaning is plain, refused otherwise.
double NumberOf(const TDbfValue& value, TFieldType type) {
  switch (value.kind()) {
    case TDbfValue::Kind::Integer:
      return value.AsInteger();
    case TDbfValue::Kind::Largeint:
      return static_cast<double>(value.AsLargeint());
    case TDbfValue::Kind::Float:
      return value.AsFloat();
    case TDbfValue::Kind::String: {
      const std::string_view text = TrimView(value.AsText().data(), value.AsText().size());
      if (type == TFieldType::ftInteger) {
        int32_t v;
        if (ParseInteger(text, v)) return v;
      } else {
        double v;
        if (ParseFloat(text, v)) return v;
      }
      break;
    }
    default:
      break;
  }
  throw EConvertError(kValueKindMismatch);
}

bool WideIntegerOf(const TDbfValue& value, int64_t& wide) {
  switch (value.kind()) {
    case TDbfValue::Kind::Integer:
    case TDbfValue::Kind::Largeint:
      wide = value.AsLargeint();
      return true;
    case TDbfValue::Kind::String:
      return ParseLargeint(TrimView(value.AsText().data(), value.AsText().size()), wide);
    default:
      return false;
  }
}

void FormatNumberField(double number, TFieldType type, int decimalCount, char* text,
                       size_t& length) {
  // Fixed notation: up to 309 integer digits and 255 decimals.
  constexpr size_t kMax = 600;
  if (!std::isfinite(number)) throw ELocalDbfError(kTooManyDigits);
  const auto r =
      type == TFieldType::ftInteger
          ? std::to_chars(text, text + kMax, number, std::chars_format::fixed, 0)
          : std::to_chars(text, text + kMax, number, std::chars_format::fixed, decimalCount);
  length = static_cast<size_t>(r.ptr - text);
}

}  // namespace

void TLocalDbf::Impl::StoreFieldValue(int index, const TDbfValue& value) {
  if (!open) ThrowClosed();
  if (state != TDataSetState::dsEdit && state != TDataSetState::dsInsert) {
    throw ELocalDbfError(kNotEditing);
  }
  CheckFieldIndex(index);
  const size_t w = static_cast<unsigned char>(lengths[index]);
  const TFieldType type = defs[index].DataType;
  const FieldStorage storage = storages[index];
  // The new bytes are made aside, so a refused value leaves the field as it was. A binary field
  // has no blank: zero bytes are its empty value.
  char area[256];
  std::memset(area, IsBinary(storage) ? 0 : ' ', w);

  if (!value.IsNull()) {
    switch (storage) {
      case FieldStorage::Text: {
        std::string_view text;
        char number[kNumberTextMax];
        switch (value.kind()) {
          case TDbfValue::Kind::String:
            text = value.AsText();
            break;
          case TDbfValue::Kind::Integer:
            text = {
                number,
                static_cast<size_t>(
                    std::to_chars(number, number + sizeof number, value.AsInteger()).ptr - number)};
            break;
          case TDbfValue::Kind::Float:
            text = {number, FormatGeneral(value.AsFloat(), '.', number)};
            break;
          case TDbfValue::Kind::Boolean:
            text = value.AsBoolean() ? "True" : "False";
            break;
          default:
            throw EConvertError(kValueKindMismatch);
        }
        // A NUL ends the text; what follows it becomes blanks like the rest of the field.
        const size_t n = std::min({text.size(), w, strnlen(text.data(), text.size())});
        std::memcpy(area, text.data(), n);
        break;
      }
      case FieldStorage::DateText: {
        TDbfDate date;
        if (value.kind() == TDbfValue::Kind::Date) {
          date = value.AsDate();
        } else if (value.kind() == TDbfValue::Kind::DateTime && std::isfinite(value.AsFloat()) &&
                   std::fabs(value.AsFloat()) < 3e6) {
          date = TDbfDate::FromDayNumber(kDateTimeOrigin +
                                         static_cast<int32_t>(std::floor(value.AsFloat())));
        } else {
          throw EConvertError(kValueKindMismatch);
        }
        if (!TDbfDate::IsValid(date.Year, date.Month, date.Day))
          throw EConvertError(kValueKindMismatch);
        char text[9];
        text[0] = static_cast<char>('0' + date.Year / 1000);
        text[1] = static_cast<char>('0' + date.Year / 100 % 10);
        text[2] = static_cast<char>('0' + date.Year / 10 % 10);
        text[3] = static_cast<char>('0' + date.Year % 10);
        text[4] = static_cast<char>('0' + date.Month / 10);
        text[5] = static_cast<char>('0' + date.Month % 10);
        text[6] = static_cast<char>('0' + date.Day / 10);
        text[7] = static_cast<char>('0' + date.Day % 10);
        std::memcpy(area, text, std::min<size_t>(w, 8));
        break;
      }
      case FieldStorage::Logical: {
        if (value.kind() != TDbfValue::Kind::Boolean) throw EConvertError(kValueKindMismatch);
        if (w >= 1) area[0] = value.AsBoolean() ? 'T' : 'F';
        break;
      }
      case FieldStorage::IntegerText:
      case FieldStorage::LargeintText:
      case FieldStorage::FloatText: {
        char text[640];
        size_t length = 0;
        int64_t wide = 0;
        if (type == TFieldType::ftLargeint && WideIntegerOf(value, wide)) {
          // Exact: a double would lose the digits past the 15th.
          length = static_cast<size_t>(std::to_chars(text, text + sizeof text, wide).ptr - text);
        } else {
          FormatNumberField(NumberOf(value, type), type,
                            static_cast<unsigned char>(decimals[index]), text, length);
        }
        if (length > w) throw ELocalDbfError(kTooManyDigits);
        std::memcpy(area + (w - length), text, length);
        break;
      }
      default:
        // Binary fields are read, not written, by this table.
        throw EConvertError(kValueKindMismatch);
    }
  }
  std::memcpy(current.data() + fieldOffsets[index], area, w);
  modified = true;
}

void TLocalDbf::Impl::WriteOrFail(int64_t position, const void* data, size_t n) {
  // Whatever was read ahead may now be out of date.
  windowFill = 0;
  if (!file.WriteAt(position, data, n)) throw EWriteError(kWriteErrorText);
}

void TLocalDbf::Impl::WriteRecord(const unsigned char* buffer, int32_t index) {
  WriteOrFail(headerLength + int64_t{index} * recordLength, buffer,
              static_cast<size_t>(recordLength));
}

// The new record goes right after the last one the header counts, then the end marker: in a
// well-formed file that is where the old marker stood, and in a file without one no record
// is overwritten.
void TLocalDbf::Impl::AppendRecord(const unsigned char* buffer) {
  const int64_t position = headerLength + int64_t{HeaderRecordCount()} * recordLength;
  WriteOrFail(position, buffer, static_cast<size_t>(recordLength));
  const unsigned char marker = kEndOfFile;
  WriteOrFail(position + recordLength, &marker, 1);
}

void TLocalDbf::Impl::WriteHeader() {
  WriteOrFail(0, header.data(), kHeaderSize);
}

void TLocalDbf::Impl::Post() {
  if (!open) ThrowClosed();
  if (state != TDataSetState::dsEdit && state != TDataSetState::dsInsert) {
    throw ELocalDbfError(kNotEditing);
  }
  CheckWritable();
  noRecordFetched = true;
  if (state == TDataSetState::dsEdit) {
    WriteRecord(current.data(), BufferIndex(current));
  } else {
    const int32_t count = HeaderRecordCount();
    if (count == INT32_MAX) throw ELocalDbfError(kTableFull);
    cursorIndex = afterLast;
    current[0] = kLiveFlag;
    AppendRecord(current.data());
    PutLE32(header.data() + kHeaderRecordCount, count + 1);
    try {
      WriteHeader();
    } catch (...) {
      PutLE32(header.data() + kHeaderRecordCount, count);
      throw;
    }
    afterLast = count + 1;
    noRecordFetched = true;
  }
  state = TDataSetState::dsBrowse;
  modified = false;
  Resync();
}

void TLocalDbf::Impl::Cancel() {
  if (state == TDataSetState::dsEdit) {
    SyncCursorToCurrent();
  } else if (state == TDataSetState::dsInsert) {
    // The new record stood after the last one; dropping it lands on the last visible record.
    cursorIndex = afterLast;
  } else {
    return;
  }
  state = TDataSetState::dsBrowse;
  modified = false;
  Resync();
}

void TLocalDbf::Impl::Delete() {
  CheckActive();
  if (state == TDataSetState::dsInsert) {
    Cancel();
    return;
  }
  if (!hasCurrent) throw EDatabaseError(kDataSetEmpty);
  CheckWritable();
  const int32_t index = BufferIndex(current);
  // Changes of an edit in progress are not written along with the deletion mark.
  if (state == TDataSetState::dsEdit) ReadRecord(index, current.data(), FetchMode::Current);
  current[0] = kDeletedFlag;
  WriteRecord(current.data(), index);
  noRecordFetched = true;
  state = TDataSetState::dsBrowse;
  modified = false;
  cursorIndex = index;
  Resync();
}

// ---------------------------------------------------------------------------------------------
// Locate

bool TLocalDbf::Impl::KeyMatches(const unsigned char* record, int field, const TDbfValue& key,
                                 TLocateOptions options, std::string& scratchA,
                                 std::string& scratchB) const {
  const TDbfValue v = ReadFieldValue(record, field);
  if (v.IsNull() || key.IsNull()) return false;
  using K = TDbfValue::Kind;
  switch (v.kind()) {
    case K::String: {
      if (key.kind() != K::String) return false;
      std::string_view text = v.AsText();
      const std::string_view keyText = key.AsText();
      if (options & loPartialKey) text = text.substr(0, keyText.size());
      if (options & loCaseInsensitive) {
        FoldCaseCp932(text, scratchA);
        FoldCaseCp932(keyText, scratchB);
        return scratchA == scratchB;
      }
      return text == keyText;
    }
    case K::Integer:
    case K::Float: {
      const double number = v.kind() == K::Integer ? v.AsInteger() : v.AsFloat();
      if (key.kind() == K::Integer) return number == key.AsInteger();
      if (key.kind() == K::Float) return number == key.AsFloat();
      if (key.kind() == K::String) {
        const std::string_view text = TrimView(key.AsText().data(), key.AsText().size());
        if (v.kind() == K::Integer) {
          int32_t k;
          return ParseInteger(text, k) && k == v.AsInteger();
        }
        double k;
        return ParseFloat(text, k) && k == v.AsFloat();
      }
      return false;
    }
    case K::Largeint: {
      int64_t k;
      if (key.kind() == K::Integer || key.kind() == K::Largeint) return key.AsLargeint() == v.AsLargeint();
      if (key.kind() == K::Float) return static_cast<double>(v.AsLargeint()) == key.AsFloat();
      return key.kind() == K::String &&
             ParseLargeint(TrimView(key.AsText().data(), key.AsText().size()), k) &&
             k == v.AsLargeint();
    }
    case K::Date: {
      const int32_t day = v.AsDate().DayNumber();
      if (key.kind() == K::Date) return key.AsDate().DayNumber() == day;
      if (key.kind() == K::DateTime) {
        const double days = key.AsFloat();
        return std::isfinite(days) && std::floor(days) == days &&
               days == static_cast<double>(day - kDateTimeOrigin);
      }
      if (key.kind() == K::String) {
        const std::string& text = key.AsText();
        char digits[8] = {};
        std::memcpy(digits, text.data(), std::min<size_t>(text.size(), 8));
        TDbfDate date;
        return ParseDate(digits, date) && date.DayNumber() == day;
      }
      return false;
    }
    case K::Boolean: {
      if (key.kind() == K::Boolean) return key.AsBoolean() == v.AsBoolean();
      if (key.kind() == K::String && !key.AsText().empty()) {
        const char c = key.AsText()[0];
        return (c == 'T' && v.AsBoolean()) || (c == 'F' && !v.AsBoolean());
      }
      return false;
    }
    default:
      return false;
  }
}

bool TLocalDbf::Impl::Locate(std::string_view keyFields, const std::vector<TDbfValue>& keyValues,
                             TLocateOptions options) {
  CheckWritable();
  if (state != TDataSetState::dsBrowse) throw ELocalDbfError(kLocateState);
  std::vector<unsigned char> search(static_cast<size_t>(recordLength));
  const std::vector<std::string> names = SplitKeyFields(keyFields, ';');
  const size_t valueCount = keyValues.size();
  if (names.size() > 1 && names.size() != valueCount) throw ELocalDbfError(kLocateCountMismatch);

  std::vector<int> fields;
  fields.reserve(names.size());
  for (const std::string& name : names) {
    int found = -1;
    for (size_t i = 0; i < defs.size() && found < 0; ++i) {
      if (SameNameIgnoringCase(defs[i].FieldName, name)) found = static_cast<int>(i);
    }
    if (found < 0) throw EDatabaseError("項目 '" + Cp932ToUtf8(name) + "' が見つかりません");
    fields.push_back(found);
  }

  int32_t start = 0;
  if (locateNext) {
    start = self.RecNo();
    if (start == -1) start = 0;
  }
  std::string scratchA, scratchB;
  const TDbfValue noKey;
  for (int32_t r = start; r < HeaderRecordCount(); ++r) {
    ReadRecord(r, search.data(), FetchMode::Next);
    if (search[0] != kLiveFlag) continue;
    bool matched = true;
    for (size_t i = 0; i < fields.size() && matched; ++i) {
      const TDbfValue& key = valueCount == 0 ? noKey : keyValues[i < valueCount ? i : 0];
      matched = KeyMatches(search.data(), fields[i], key, options, scratchA, scratchB);
    }
    if (matched) {
      self.SetRecNo(r + 1);
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// TLocalDbf

TLocalDbf::TLocalDbf() : impl_(std::make_unique<Impl>(*this)) {}

TLocalDbf::~TLocalDbf() {
  impl_->Close();
}

bool TLocalDbf::ReadAhead() const {
  return impl_->readAhead;
}
void TLocalDbf::SetReadAhead(bool value) {
  impl_->readAhead = value;
}

bool TLocalDbf::RecordDeleted() const {
  const unsigned char* record = impl_->RecordForReading();
  return record != nullptr && record[0] == kDeletedFlag;
}

const std::string& TLocalDbf::TableName() const {
  return impl_->tableName;
}
void TLocalDbf::SetTableName(const std::string& path) {
  impl_->tableName = path;
}
bool TLocalDbf::ReadOnly() const {
  return impl_->readOnly;
}
void TLocalDbf::SetReadOnly(bool value) {
  impl_->readOnly = value;
}
bool TLocalDbf::ShowDeleted() const {
  return impl_->showDeleted;
}

void TLocalDbf::SetShowDeleted(bool value) {
  if (value == impl_->showDeleted) return;
  impl_->showDeleted = value;
  if (impl_->open) Refresh();
}

bool TLocalDbf::LocateNext() const {
  return impl_->locateNext;
}
void TLocalDbf::SetLocateNext(bool value) {
  impl_->locateNext = value;
}
bool TLocalDbf::Active() const {
  return impl_->open;
}

void TLocalDbf::SetActive(bool value) {
  if (value)
    Open();
  else
    Close();
}

bool TLocalDbf::SkipUnsupportedFields() const {
  return impl_->skipUnsupported;
}
void TLocalDbf::SetSkipUnsupportedFields(bool value) {
  impl_->skipUnsupported = value;
}
const std::vector<std::string>& TLocalDbf::SkippedFields() const {
  return impl_->skippedFields;
}

const RegionalSettings& TLocalDbf::Regional() const {
  return impl_->regional;
}
void TLocalDbf::SetRegional(const RegionalSettings& regional) {
  impl_->regional = regional;
}

void TLocalDbf::Open() {
  impl_->Open();
}
void TLocalDbf::Close() {
  impl_->Close();
}
TDataSetState TLocalDbf::State() const {
  return impl_->state;
}
bool TLocalDbf::CanModify() const {
  return !impl_->readOnly;
}

int TLocalDbf::FieldCount() const {
  return static_cast<int>(impl_->defs.size());
}

const TFieldDef& TLocalDbf::FieldDef(int index) const {
  impl_->CheckFieldIndex(index);
  return impl_->defs[static_cast<size_t>(index)];
}

void TLocalDbf::First() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  t.ClearCurrent();
  t.cursorIndex = -1;
  try {
    if (t.FetchRecord(t.spare, FetchMode::Next, true) == FetchResult::Ok) {
      t.AcceptSpare();
      t.eof = false;
    }
  } catch (...) {
    t.bof = true;
    throw;
  }
  t.bof = true;
}

void TLocalDbf::Last() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  t.ClearCurrent();
  t.cursorIndex = t.afterLast;
  try {
    if (t.FetchRecord(t.spare, FetchMode::Prior, true) == FetchResult::Ok) {
      t.AcceptSpare();
      t.bof = false;
    }
  } catch (...) {
    t.eof = true;
    throw;
  }
  t.eof = true;
}

void TLocalDbf::Next() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (t.eof) return;
  t.bof = false;
  t.SyncCursorToCurrent();
  if (t.FetchRecord(t.spare, FetchMode::Next, true) == FetchResult::Ok) {
    t.AcceptSpare();
  } else {
    t.eof = true;
  }
}

void TLocalDbf::Prior() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (t.bof) return;
  t.eof = false;
  t.SyncCursorToCurrent();
  if (t.FetchRecord(t.spare, FetchMode::Prior, true) == FetchResult::Ok) {
    t.AcceptSpare();
  } else {
    t.bof = true;
  }
}

bool TLocalDbf::Bof() const {
  return impl_->bof;
}
bool TLocalDbf::Eof() const {
  return impl_->eof;
}

int32_t TLocalDbf::RecNo() {
  Impl& t = *impl_;
  if (!t.open) return -1;
  if (t.state != TDataSetState::dsFilter) {
    if (t.state == TDataSetState::dsInsert || !t.hasCurrent) return -1;
    t.SyncCursorToCurrent();
  }
  const int32_t count = t.HeaderRecordCount();
  return (t.cursorIndex > -1 && t.cursorIndex < count) ? t.cursorIndex + 1 : -1;
}

void TLocalDbf::SetRecNo(int32_t value) {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (value < 1 || value > t.HeaderRecordCount()) return;
  t.cursorIndex = value - 1;
  t.Resync();
}

int32_t TLocalDbf::RecordCount() const {
  impl_->CheckActive();
  return impl_->HeaderRecordCount();
}

int32_t TLocalDbf::Bookmark() const {
  const Impl& t = *impl_;
  if (!t.open || !t.hasCurrent || t.BufferFlag(t.current) != kFlagFetched) return -1;
  return t.BufferIndex(t.current);
}

void TLocalDbf::GotoBookmark(int32_t bookmark) {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (!(bookmark > -1 && bookmark < t.HeaderRecordCount())) {
    throw ELocalDbfError("Bookmark " + std::to_string(bookmark) + " not found");
  }
  t.cursorIndex = bookmark;
  t.FetchRecord(t.spare, FetchMode::Current, true);
  t.AcceptSpare();
  t.bof = t.eof = false;
}

bool TLocalDbf::Filtered() const {
  return impl_->filtered;
}

void TLocalDbf::SetFiltered(bool value) {
  impl_->filtered = value;
  impl_->noRecordFetched = true;
  if (impl_->open) Refresh();
}

void TLocalDbf::Refresh() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  t.SyncCursorToCurrent();
  t.Resync();
}

TDbfValue TLocalDbf::FieldValue(int index) {
  impl_->CheckFieldIndex(index);
  return impl_->ReadFieldValue(impl_->RecordForReading(), index);
}

std::string TLocalDbf::FieldAsString(int index) {
  std::string text;
  AppendFieldAsString(index, text);
  return text;
}

void TLocalDbf::AppendFieldAsString(int index, std::string& out) {
  AppendFieldText(index, impl_->regional, out);
}

void TLocalDbf::AppendFieldText(int index, const RegionalSettings& regional, std::string& out) {
  impl_->CheckFieldIndex(index);
  impl_->AppendFieldText(impl_->RecordForReading(), index, regional, out);
}

void TLocalDbf::Edit() {
  Impl& t = *impl_;
  t.CheckActive();
  if (t.state == TDataSetState::dsEdit || t.state == TDataSetState::dsInsert) return;
  if (t.readOnly) throw ELocalDbfError(kDataSetReadOnly);
  // With no record to change, editing begins a new one, as in every record-set.
  if (!t.hasCurrent) {
    Append();
    return;
  }
  t.SyncCursorToCurrent();
  t.state = TDataSetState::dsEdit;
  t.modified = false;
}

void TLocalDbf::Append() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (t.readOnly) throw ELocalDbfError(kDataSetReadOnly);
  std::fill(t.current.begin(), t.current.end(), static_cast<unsigned char>(' '));
  // Binary fields start empty, which is zeros, not blanks.
  for (size_t i = 0; i < t.storages.size(); ++i) {
    if (IsBinary(t.storages[i])) {
      std::memset(t.current.data() + t.fieldOffsets[i], 0,
                  static_cast<unsigned char>(t.lengths[i]));
    }
  }
  t.current[static_cast<size_t>(t.recordIndexPos) + kBufferFlagOffset] = kFlagAppended;
  t.hasCurrent = true;
  t.bof = false;
  t.eof = true;
  t.cursorIndex = t.afterLast;
  t.state = TDataSetState::dsInsert;
  t.modified = false;
}

void TLocalDbf::StoreFieldValue(int index, const TDbfValue& value) {
  impl_->StoreFieldValue(index, value);
}

void TLocalDbf::Post() {
  impl_->Post();
}
void TLocalDbf::Cancel() {
  impl_->Cancel();
}
void TLocalDbf::Delete() {
  impl_->Delete();
}

bool TLocalDbf::Locate(std::string_view keyFields, const std::vector<TDbfValue>& keyValues,
                       TLocateOptions options) {
  return impl_->Locate(keyFields, keyValues, options);
}

}  // namespace plexor
