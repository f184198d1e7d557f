#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "dbf/DbfFieldValues.h"
#include "dbf/DbfWriting.h"
#include "support/Exceptions.h"

namespace plexor {
namespace {

// A record of one field at offset 1, after the deletion flag, as the table keeps it.
class OneField {
 public:
  OneField(FieldStorage storage, uint8_t width, uint8_t decimals = 0)
      : field_{1, width, decimals, storage}, record_(1 + width, '?') {}

  void Store(const TDbfValue& value) {
    EncodeFieldValue(field_, value, reinterpret_cast<char*>(record_.data() + 1));
  }
  TDbfValue Value() const { return FieldValueOf(field_, record_.data()); }
  std::string Text() const {
    std::string text;
    AppendFieldTextOf(field_, record_.data(), RegionalSettings{}, text);
    return text;
  }
  std::string Bytes() const { return std::string(record_.begin() + 1, record_.end()); }

 private:
  DbfField field_;
  std::vector<unsigned char> record_;
};

// Whatever is stored in a field reads back as the same value and the same text, at every
// magnitude the field's width allows.
TEST(DbfFields, StoredValuesReadBackUnchanged) {
  std::mt19937_64 random(20040115);
  OneField integer(FieldStorage::IntegerText, 6);
  OneField wide(FieldStorage::LargeintText, 20);
  OneField fixed(FieldStorage::FloatText, 12, 3);
  OneField date(FieldStorage::DateText, 8);
  for (int round = 0; round < 5000; ++round) {
    const auto i = static_cast<int32_t>(random() % 1099999) - 99999;
    integer.Store(TDbfValue::Integer(i));
    ASSERT_EQ(integer.Value(), TDbfValue::Integer(i));
    ASSERT_EQ(integer.Text(), std::to_string(i));

    const auto w = static_cast<int64_t>(random());
    wide.Store(TDbfValue::Largeint(w));
    ASSERT_EQ(wide.Value(), TDbfValue::Largeint(w)) << w;  // every digit, past a double's
    ASSERT_EQ(wide.Text(), std::to_string(w));

    const double f = static_cast<double>(static_cast<int64_t>(random() % 2000000000) - 1000000000) /
                     (1 << (random() % 12));
    char rounded[64];
    std::snprintf(rounded, sizeof rounded, "%.3f", f);
    if (std::string(rounded).size() > 12) continue;
    fixed.Store(TDbfValue::Float(f));
    ASSERT_EQ(fixed.Bytes(), std::string(12 - std::string(rounded).size(), ' ') + rounded) << f;
    ASSERT_EQ(fixed.Value(), TDbfValue::Float(std::strtod(rounded, nullptr))) << f;

    const TDbfDate day = TDbfDate::FromDayNumber(static_cast<int32_t>(1 + random() % 3652059));
    date.Store(TDbfValue::Date(day));
    ASSERT_EQ(date.Value(), TDbfValue::Date(day));
  }
}

TEST(DbfFields, NoValueIsBlanksOrZerosAndRefusalsNameTheirReason) {
  OneField text(FieldStorage::Text, 4);
  text.Store(TDbfValue::Text(std::string("ab\0c", 4)));
  EXPECT_EQ(text.Bytes(), "ab  ");
  text.Store(TDbfValue::Text("abcdef"));
  EXPECT_EQ(text.Value(), TDbfValue::Text("abcd"));
  text.Store({});
  EXPECT_EQ(text.Bytes(), "    ");

  OneField binary(FieldStorage::Int32Ordered, 4);
  binary.Store({});
  EXPECT_EQ(binary.Bytes(), std::string(4, '\0'));
  EXPECT_TRUE(binary.Value().IsNull());
  EXPECT_THROW(binary.Store(TDbfValue::Integer(1)), EConvertError);

  OneField integer(FieldStorage::IntegerText, 3);
  integer.Store(TDbfValue::Text(" -12 "));
  EXPECT_EQ(integer.Bytes(), "-12");
  EXPECT_THROW(integer.Store(TDbfValue::Integer(1000)), ELocalDbfError);
  EXPECT_THROW(integer.Store(TDbfValue::Text("1.5")), EConvertError);
  EXPECT_THROW(integer.Store(TDbfValue::Date({2004, 1, 15})), EConvertError);

  OneField logical(FieldStorage::Logical, 1);
  logical.Store(TDbfValue::Boolean(false));
  EXPECT_EQ(logical.Text(), "False");
  EXPECT_THROW(logical.Store(TDbfValue::Text("T")), EConvertError);
}

}  // namespace
}  // namespace plexor
