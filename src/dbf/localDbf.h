// TLocalDbf: a record-set over one dBASE table file (dBASE III and IV, Visual FoxPro, dBASE 7).
// Records are fetched from the file on demand; nothing is cached beyond the record buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/FileHandle.h"
#include "support/RegionalSettings.h"

namespace plexor {

// Field letters and their kinds: C text; N and F numbers written as text (ftInteger, ftFloat
// with decimals, ftLargeint without decimals from 10 digits on, whose values keep every digit);
// D dates; L logicals; I (and + in dBASE 7) binary 32-bit integers; O (and B of Visual FoxPro)
// binary doubles; T and @ date-times, of which only the date is read (ftDate).
enum class TFieldType : uint8_t {
  ftUnknown,
  ftString,
  ftInteger,
  ftFloat,
  ftDate,
  ftBoolean,
  ftLargeint
};

struct TFieldDef {
  std::string FieldName;  // the descriptor's bytes up to the first NUL, code page 932
  TFieldType DataType = TFieldType::ftUnknown;
  int32_t Size = 0;  // the width for ftString and ftLargeint, else 0
  bool Required = false;
  int32_t FieldNo = 0;  // 1-based descriptor position, skipped fields counted
};

// A calendar date; inside a TDbfValue it travels as a day number counted from 1 January of
// the year 1 (day 1).
struct TDbfDate {
  int Year = 0, Month = 0, Day = 0;
  int32_t DayNumber() const;
  static TDbfDate FromDayNumber(int32_t dayNumber);
  static bool IsValid(int year, int month, int day);
  bool operator==(const TDbfDate&) const = default;
};

// A field value: no value (null), or one of text, integer, float, date, boolean. A date and
// time value is kept as a float of days for Locate keys.
class TDbfValue {
 public:
  enum class Kind : uint8_t { Null, String, Integer, Float, Date, Boolean, DateTime, Largeint };

  TDbfValue() = default;
  static TDbfValue Text(std::string_view text);
  static TDbfValue Integer(int32_t value);
  static TDbfValue Largeint(int64_t value);
  static TDbfValue Float(double value);
  static TDbfValue Date(TDbfDate date);
  static TDbfValue Boolean(bool value);
  // Days since 1899-12-30 with the time of day as fraction (the usual date-time encoding).
  static TDbfValue DateTime(double days);

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }
  const std::string& AsText() const { return text_; }
  int32_t AsInteger() const { return static_cast<int32_t>(integer_); }
  int64_t AsLargeint() const { return integer_; }
  double AsFloat() const { return float_; }
  TDbfDate AsDate() const { return TDbfDate::FromDayNumber(static_cast<int32_t>(integer_)); }
  bool AsBoolean() const { return integer_ != 0; }

  bool operator==(const TDbfValue&) const = default;

 private:
  Kind kind_ = Kind::Null;
  std::string text_;
  int64_t integer_ = 0;
  double float_ = 0;
};

enum class TDataSetState : uint8_t { dsInactive, dsBrowse, dsEdit, dsInsert, dsFilter };

enum TLocateOption : uint8_t { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = uint8_t;

class TLocalDbf {
 public:
  TLocalDbf();
  ~TLocalDbf();
  TLocalDbf(const TLocalDbf&) = delete;
  TLocalDbf& operator=(const TLocalDbf&) = delete;

  // Published properties.
  const std::string& TableName() const;
  void SetTableName(const std::string& path);
  bool ReadOnly() const;
  void SetReadOnly(bool value);
  bool ShowDeleted() const;
  void SetShowDeleted(bool value);
  bool LocateNext() const;
  void SetLocateNext(bool value);
  bool Active() const;
  void SetActive(bool value);
  // Reads a read-only table through a large window, for one pass from first to last (the
  // conversion). Off, every fetch reads the file, so changes by others show at once.
  bool ReadAhead() const;
  void SetReadAhead(bool value);
  // The decimal separator and short date format of FieldAsString.
  const RegionalSettings& Regional() const;
  void SetRegional(const RegionalSettings& regional);
  // Off, a field of a type this table cannot read (memo, picture, ...) refuses the open. On,
  // such fields are left out of the field list and named in SkippedFields, read at Open.
  bool SkipUnsupportedFields() const;
  void SetSkipUnsupportedFields(bool value);
  // The fields left out by the last Open, each as its name bytes (like FieldName) followed by
  // its type letter in parentheses: "MEMO (M)" (a byte that is no printable letter as "0x83").
  const std::vector<std::string>& SkippedFields() const;

  void Open();
  void Close();
  TDataSetState State() const;
  // True exactly when ReadOnly is false.
  bool CanModify() const;

  int FieldCount() const;
  const TFieldDef& FieldDef(int index) const;

  // Cursor over the visible records.
  void First();
  void Next();
  void Prior();
  void Last();
  bool Bof() const;
  bool Eof() const;
  int32_t RecNo();
  void SetRecNo(int32_t value);
  int32_t RecordCount() const;
  int32_t Bookmark() const;
  void GotoBookmark(int32_t bookmark);
  bool Filtered() const;
  void SetFiltered(bool value);
  std::function<void(TLocalDbf& table, bool& accept)> OnFilterRecord;
  void Refresh();

  // True when the current record carries the deletion mark (seen with ShowDeleted).
  bool RecordDeleted() const;

  // Field values of the current record (the record being judged inside OnFilterRecord).
  TDbfValue FieldValue(int index);
  std::string FieldAsString(int index);
  // Appends FieldAsString(index) to `out` without allocating beyond `out`'s growth.
  void AppendFieldAsString(int index, std::string& out);
  // The same with other regional settings than the table's own.
  void AppendFieldText(int index, const RegionalSettings& regional, std::string& out);

  // Changing records.
  void Edit();
  void Append();
  void StoreFieldValue(int index, const TDbfValue& value);
  void Post();
  void Cancel();
  void Delete();

  // Search by key fields ("A;B"); keys in the same order.
  bool Locate(std::string_view keyFields, const std::vector<TDbfValue>& keyValues,
              TLocateOptions options);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace plexor
