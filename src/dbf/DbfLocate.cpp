#include "dbf/DbfLocate.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dbf/DbfFieldValues.h"
#include "dbf/DbfFormat.h"
#include "dbf/LocalDbfImpl.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"

namespace plexor {

namespace {

using K = TDbfValue::Kind;

constexpr const char* kLocateState = "Can't Locate in Current State.";
constexpr const char* kLocateCountMismatch = "Locate: unmatch number of fields and values";

bool TextMatches(std::string_view text, const TDbfValue& key, TLocateOptions options,
                 std::string& scratchA, std::string& scratchB) {
  if (key.kind() != K::String) return false;
  const std::string_view keyText = key.AsText();
  if (options & loPartialKey) text = text.substr(0, keyText.size());
  if (options & loCaseInsensitive) {
    FoldCaseCp932(text, scratchA);
    FoldCaseCp932(keyText, scratchB);
    return scratchA == scratchB;
  }
  return text == keyText;
}

// An integer or float value; a text key parses as the value's own kind.
bool NumberMatches(const TDbfValue& v, const TDbfValue& key) {
  const double number = v.kind() == K::Integer ? v.AsInteger() : v.AsFloat();
  if (key.kind() == K::Integer) return number == key.AsInteger();
  if (key.kind() == K::Float) return number == key.AsFloat();
  if (key.kind() != K::String) return false;
  const std::string_view text = TrimBlanksView(key.AsText());
  if (v.kind() == K::Integer) {
    int32_t k;
    return ParseDecimalInt32(text, k) && k == v.AsInteger();
  }
  double k;
  return ParseDecimalFloat(text, k) && k == v.AsFloat();
}

bool LargeintMatches(const TDbfValue& v, const TDbfValue& key) {
  int64_t k;
  if (key.kind() == K::Integer || key.kind() == K::Largeint)
    return key.AsLargeint() == v.AsLargeint();
  if (key.kind() == K::Float) return static_cast<double>(v.AsLargeint()) == key.AsFloat();
  return key.kind() == K::String && ParseDecimalInt64(TrimBlanksView(key.AsText()), k) &&
         k == v.AsLargeint();
}

// A date-time key matches a date only at midnight; a text key is yyyymmdd.
bool DateMatches(const TDbfValue& v, const TDbfValue& key) {
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
    return ParseDbfDate(digits, date) && date.DayNumber() == day;
  }
  return false;
}

bool BooleanMatches(const TDbfValue& v, const TDbfValue& key) {
  if (key.kind() == K::Boolean) return key.AsBoolean() == v.AsBoolean();
  if (key.kind() == K::String && !key.AsText().empty()) {
    const char c = key.AsText()[0];
    return (c == 'T' && v.AsBoolean()) || (c == 'F' && !v.AsBoolean());
  }
  return false;
}

}  // namespace

bool KeyMatches(const TDbfValue& value, const TDbfValue& key, TLocateOptions options,
                std::string& scratchA, std::string& scratchB) {
  if (value.IsNull() || key.IsNull()) return false;
  switch (value.kind()) {
    case K::String:
      return TextMatches(value.AsText(), key, options, scratchA, scratchB);
    case K::Integer:
    case K::Float:
      return NumberMatches(value, key);
    case K::Largeint:
      return LargeintMatches(value, key);
    case K::Date:
      return DateMatches(value, key);
    case K::Boolean:
      return BooleanMatches(value, key);
    default:
      return false;
  }
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

// Walks the live records in file order from the first (or, with LocateNext, from the current
// one) and lands on the first whose key fields all match.
bool TLocalDbf::Impl::Locate(std::string_view keyFields, const std::vector<TDbfValue>& keyValues,
                             TLocateOptions options) {
  CheckWritable();
  if (state != TDataSetState::dsBrowse) throw ELocalDbfError(kLocateState);
  std::vector<unsigned char> search(static_cast<size_t>(recordLength));
  const std::vector<std::string> names = SplitKeyFields(keyFields, ';');
  const size_t valueCount = keyValues.size();
  if (names.size() > 1 && names.size() != valueCount) throw ELocalDbfError(kLocateCountMismatch);

  std::vector<const DbfField*> keys;
  keys.reserve(names.size());
  for (const std::string& name : names) {
    const auto found = std::find_if(defs.begin(), defs.end(), [&](const TFieldDef& def) {
      return SameFieldName(def.FieldName, name);
    });
    if (found == defs.end())
      throw EDatabaseError("項目 '" + Cp932ToUtf8(name) + "' が見つかりません");
    keys.push_back(&fields[static_cast<size_t>(found - defs.begin())]);
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
    for (size_t i = 0; i < keys.size() && matched; ++i) {
      const TDbfValue& key = valueCount == 0 ? noKey : keyValues[i < valueCount ? i : 0];
      matched = KeyMatches(FieldValueOf(*keys[i], search.data()), key, options, scratchA, scratchB);
    }
    if (matched) {
      self.SetRecNo(r + 1);
      return true;
    }
  }
  return false;
}

bool TLocalDbf::Locate(std::string_view keyFields, const std::vector<TDbfValue>& keyValues,
                       TLocateOptions options) {
  return impl_->Locate(keyFields, keyValues, options);
}

}  // namespace plexor
