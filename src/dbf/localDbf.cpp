// TLocalDbf itself: its properties, and the value types it hands out. The work lies in the
// units beside it, one concern each: DbfFormat (the file layout, opening), DbfCursor
// (fetching records), DbfFieldValues (reading fields), DbfWriting (changing records) and
// DbfLocate (searching); LocalDbfImpl.h holds the state they share.
#include "dbf/localDbf.h"

#include <cstdint>

#include "dbf/LocalDbfImpl.h"

namespace plexor {

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
// TLocalDbf

TLocalDbf::TLocalDbf() : impl_(std::make_unique<Impl>(*this)) {}

TLocalDbf::~TLocalDbf() {
  impl_->Close();
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

bool TLocalDbf::ReadAhead() const {
  return impl_->readAhead;
}
void TLocalDbf::SetReadAhead(bool value) {
  impl_->readAhead = value;
}

const RegionalSettings& TLocalDbf::Regional() const {
  return impl_->regional;
}
void TLocalDbf::SetRegional(const RegionalSettings& regional) {
  impl_->regional = regional;
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

}  // namespace plexor
