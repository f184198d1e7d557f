#include "dbf/DbfWriting.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "dbf/DbfFieldValues.h"
#include "dbf/LocalDbfImpl.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/NumberText.h"

namespace plexor {

namespace {

constexpr const char* kDataSetEmpty = "データセットが空のため, この操作は実行できません";
constexpr const char* kNotEditing = "データセットが編集中ではないため, 値を書き込めません";
constexpr const char* kTooManyDigits = "桁数を超えています";
constexpr const char* kValueKindMismatch = "値の種類がフィールドの型と合いません";
constexpr const char* kTableFull = "これ以上レコードを追加できません";

// -- Encoding values --------------------------------------------------------------------------

// C: the value's text, cut to the field's width. A NUL ends the text; what follows it becomes
// blanks like the rest of the field.
void EncodeText(const TDbfValue& value, size_t w, char* bytes) {
  std::string_view text;
  char number[kNumberTextMax];
  switch (value.kind()) {
    case TDbfValue::Kind::String:
      text = value.AsText();
      break;
    case TDbfValue::Kind::Integer:
      text = {number,
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
  const size_t n = std::min({text.size(), w, strnlen(text.data(), text.size())});
  std::memcpy(bytes, text.data(), n);
}

// D: yyyymmdd, from a date or from the day of a date-time.
void EncodeDate(const TDbfValue& value, size_t w, char* bytes) {
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
  if (!TDbfDate::IsValid(date.Year, date.Month, date.Day)) throw EConvertError(kValueKindMismatch);
  char text[9];
  text[0] = static_cast<char>('0' + date.Year / 1000);
  text[1] = static_cast<char>('0' + date.Year / 100 % 10);
  text[2] = static_cast<char>('0' + date.Year / 10 % 10);
  text[3] = static_cast<char>('0' + date.Year % 10);
  text[4] = static_cast<char>('0' + date.Month / 10);
  text[5] = static_cast<char>('0' + date.Month % 10);
  text[6] = static_cast<char>('0' + date.Day / 10);
  text[7] = static_cast<char>('0' + date.Day % 10);
  std::memcpy(bytes, text, std::min<size_t>(w, 8));
}

// The number a value stands for in an N or F field; a text must parse as one of the field's
// kind (an integer for an integer field).
double NumberOf(const TDbfValue& value, FieldStorage storage) {
  switch (value.kind()) {
    case TDbfValue::Kind::Integer:
      return value.AsInteger();
    case TDbfValue::Kind::Largeint:
      return static_cast<double>(value.AsLargeint());
    case TDbfValue::Kind::Float:
      return value.AsFloat();
    case TDbfValue::Kind::String: {
      const std::string_view text = TrimBlanksView(value.AsText());
      if (storage == FieldStorage::IntegerText) {
        int32_t v;
        if (ParseDecimalInt32(text, v)) return v;
      } else {
        double v;
        if (ParseDecimalFloat(text, v)) return v;
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
      return ParseDecimalInt64(TrimBlanksView(value.AsText()), wide);
    default:
      return false;
  }
}

// N and F: the number right-aligned, in fixed notation with the field's decimals.
void EncodeNumber(const DbfField& field, const TDbfValue& value, char* bytes) {
  // Fixed notation: up to 309 integer digits and 255 decimals.
  constexpr size_t kMax = 600;
  char text[640];
  size_t length = 0;
  int64_t wide = 0;
  if (field.Storage == FieldStorage::LargeintText && WideIntegerOf(value, wide)) {
    // Exact: a double would lose the digits past the 15th.
    length = static_cast<size_t>(std::to_chars(text, text + sizeof text, wide).ptr - text);
  } else {
    const double number = NumberOf(value, field.Storage);
    if (!std::isfinite(number)) throw ELocalDbfError(kTooManyDigits);
    const int decimals = field.Storage == FieldStorage::IntegerText ? 0 : field.Decimals;
    length = static_cast<size_t>(
        std::to_chars(text, text + kMax, number, std::chars_format::fixed, decimals).ptr - text);
  }
  if (length > field.Width) throw ELocalDbfError(kTooManyDigits);
  std::memcpy(bytes + (field.Width - length), text, length);
}

}  // namespace

void EncodeFieldValue(const DbfField& field, const TDbfValue& value, char* bytes) {
  const size_t w = field.Width;
  std::memset(bytes, IsBinary(field.Storage) ? 0 : ' ', w);
  if (value.IsNull()) return;
  switch (field.Storage) {
    case FieldStorage::Text:
      EncodeText(value, w, bytes);
      return;
    case FieldStorage::DateText:
      EncodeDate(value, w, bytes);
      return;
    case FieldStorage::Logical:
      if (value.kind() != TDbfValue::Kind::Boolean) throw EConvertError(kValueKindMismatch);
      if (w >= 1) bytes[0] = value.AsBoolean() ? 'T' : 'F';
      return;
    case FieldStorage::IntegerText:
    case FieldStorage::LargeintText:
    case FieldStorage::FloatText:
      EncodeNumber(field, value, bytes);
      return;
    default:
      throw EConvertError(kValueKindMismatch);
  }
}

// ---------------------------------------------------------------------------------------------
// Writing to the file

void TLocalDbf::Impl::CheckEditing() const {
  if (!open) ThrowClosed();
  if (state != TDataSetState::dsEdit && state != TDataSetState::dsInsert) {
    throw ELocalDbfError(kNotEditing);
  }
}

void TLocalDbf::Impl::StoreFieldValue(int index, const TDbfValue& value) {
  CheckEditing();
  CheckFieldIndex(index);
  const DbfField& field = fields[static_cast<size_t>(index)];
  // The new bytes are made aside, so a refused value leaves the field as it was.
  char bytes[256];
  EncodeFieldValue(field, value, bytes);
  std::memcpy(current.data() + field.Offset, bytes, field.Width);
  modified = true;
}

void TLocalDbf::Impl::WriteOrFail(int64_t position, const void* data, size_t n) {
  window.Forget();
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
  CheckEditing();
  CheckWritable();
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
  state = TDataSetState::dsBrowse;
  modified = false;
  cursorIndex = index;
  Resync();
}

// ---------------------------------------------------------------------------------------------
// Changing records of TLocalDbf

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
  for (const DbfField& field : t.fields) {
    if (IsBinary(field.Storage)) std::memset(t.current.data() + field.Offset, 0, field.Width);
  }
  t.current[static_cast<size_t>(t.recordLength) + kBufferFlagOffset] = kFlagAppended;
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

}  // namespace plexor
