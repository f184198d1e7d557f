#include "dbf/DbfFieldValues.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "dbf/LocalDbfImpl.h"
#include "support/ByteStrings.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/NumberText.h"

namespace plexor {

namespace {

// -- Text fields ------------------------------------------------------------------------------

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

// The blanks around a number field's digits are no part of the number.
std::string_view TrimmedField(const char* field, size_t w) {
  return TrimBlanksView(std::string_view(field, w));
}

// The digits of an integer text of any length, as an integer is written: no '+', no leading
// zeros, no minus on zero. Text that is no integer has no value.
void AppendIntegerDigits(std::string_view text, std::string& out) {
  if (!IsDecimalIntegerText(text)) return;
  const bool negative = text[0] == '-';
  size_t i = text[0] == '+' || negative ? 1 : 0;
  while (i + 1 < text.size() && text[i] == '0') ++i;
  if (negative && !(text.size() - i == 1 && text[i] == '0')) out.push_back('-');
  out.append(text.substr(i));
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

bool FixedDigits(const char* p, int count, int& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    value = value * 10 + (p[i] - '0');
  }
  return true;
}

// A D field of `w` bytes: its first eight, or all of them padded with NULs.
bool ReadDateText(const char* field, size_t w, TDbfDate& date) {
  char text[8] = {};
  std::memcpy(text, field, std::min<size_t>(w, 8));
  return ParseDbfDate(text, date);
}

// L: 1 for true, 0 for false, -1 for no value (a blank, '?', anything else).
int LogicalOf(const char* field, size_t w) {
  if (w < 1) return -1;
  switch (field[0]) {
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

// -- Texts ------------------------------------------------------------------------------------

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

bool ParseDbfDate(const char* text, TDbfDate& date) {
  int year, month, day;
  if (!FixedDigits(text, 4, year) || !FixedDigits(text + 4, 2, month) ||
      !FixedDigits(text + 6, 2, day)) {
    return false;
  }
  if (!TDbfDate::IsValid(year, month, day)) return false;
  date = {year, month, day};
  return true;
}

TDbfValue FieldValueOf(const DbfField& f, const unsigned char* record) {
  if (record == nullptr) return {};
  const auto* field = reinterpret_cast<const char*>(record + f.Offset);
  const size_t w = f.Width;
  TDbfDate date;
  double number;
  int32_t integer;
  switch (f.Storage) {
    case FieldStorage::Text:
      // Trailing blanks and NULs go; the text then ends at its first NUL.
      return TDbfValue::Text(std::string_view(field, StringFieldLength(field, w)));
    case FieldStorage::IntegerText:
      if (!ParseDecimalInt32(TrimmedField(field, w), integer)) return {};
      return TDbfValue::Integer(integer);
    case FieldStorage::LargeintText: {
      int64_t v;
      if (!ParseDecimalInt64(TrimmedField(field, w), v)) return {};
      return TDbfValue::Largeint(v);
    }
    case FieldStorage::FloatText:
      if (!ParseDecimalFloat(TrimmedField(field, w), number)) return {};
      return TDbfValue::Float(number);
    case FieldStorage::DateText:
      if (!ReadDateText(field, w, date)) return {};
      return TDbfValue::Date(date);
    case FieldStorage::Logical: {
      const int truth = LogicalOf(field, w);
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

// The text FieldAsString gives for a value read from the record's bytes.
void AppendValueText(const TDbfValue& value, const RegionalSettings& settings, std::string& out) {
  switch (value.kind()) {
    case TDbfValue::Kind::Integer:
      AppendInteger(value.AsInteger(), out);
      return;
    case TDbfValue::Kind::Float:
      AppendGeneral(value.AsFloat(), settings.DecimalSeparator, out);
      return;
    case TDbfValue::Kind::Date:
      AppendDate(value.AsDate(), settings, out);
      return;
    default:
      return;  // null; the other kinds take the direct paths of AppendFieldTextOf
  }
}

}  // namespace

// The text of FieldAsString straight from the record bytes: this is the conversion's inner
// loop, so the common kinds neither build a TDbfValue nor allocate beyond the growth of `out`.
void AppendFieldTextOf(const DbfField& f, const unsigned char* record,
                       const RegionalSettings& settings, std::string& out) {
  if (record == nullptr) return;
  const auto* field = reinterpret_cast<const char*>(record + f.Offset);
  const size_t w = f.Width;
  TDbfDate date;
  double number;
  int32_t integer;
  switch (f.Storage) {
    case FieldStorage::Text:
      out.append(field, StringFieldLength(field, w));
      return;
    case FieldStorage::IntegerText:
      if (ParseDecimalInt32(TrimmedField(field, w), integer)) AppendInteger(integer, out);
      return;
    case FieldStorage::LargeintText:
      AppendIntegerDigits(TrimmedField(field, w), out);
      return;
    case FieldStorage::FloatText: {
      const std::string_view text = TrimmedField(field, w);
      if (AppendPlainDecimal(text, settings.DecimalSeparator, out)) return;
      if (ParseDecimalFloat(text, number)) AppendGeneral(number, settings.DecimalSeparator, out);
      return;
    }
    case FieldStorage::DateText:
      if (ReadDateText(field, w, date)) AppendDate(date, settings, out);
      return;
    case FieldStorage::Logical: {
      const int truth = LogicalOf(field, w);
      if (truth >= 0) out.append(truth == 1 ? "True" : "False");
      return;
    }
    default:
      // The binary kinds of VFP and dBASE 7 tables, rare enough to take the text of their
      // value.
      AppendValueText(FieldValueOf(f, record), settings, out);
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// The field values of TLocalDbf

void TLocalDbf::Impl::ThrowBadFieldIndex(int index) {
  ThrowListIndexError(index);
}

bool TLocalDbf::RecordDeleted() const {
  const unsigned char* record = impl_->RecordForReading();
  return record != nullptr && record[0] == kDeletedFlag;
}

TDbfValue TLocalDbf::FieldValue(int index) {
  impl_->CheckFieldIndex(index);
  return FieldValueOf(impl_->fields[static_cast<size_t>(index)], impl_->RecordForReading());
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
  AppendFieldTextOf(impl_->fields[static_cast<size_t>(index)], impl_->RecordForReading(), regional,
                    out);
}

}  // namespace plexor
