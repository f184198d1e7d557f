#include <gtest/gtest.h>

#include "dbf/localDbf.h"
#include "shp/AttributeText.h"
#include "shp/uniShpUtils.h"
#include "support/DbfBuilder.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;

class DbfBridgeTest : public ::testing::Test {
 protected:
  TLocalDbf& Open(const DbfBuilder& b) {
    b.Write(dir / "a.dbf");
    table.SetTableName(dir / "a.dbf");
    table.Open();
    return table;
  }
  test::TempDir dir;
  TLocalDbf table;
  RegionalSettings regional;
};

TEST_F(DbfBridgeTest, ColumnsFollowTheFieldKinds) {
  TSFColumns columns(3);  // whatever was there goes
  ReadDbfColumns(table, columns);
  EXPECT_TRUE(columns.empty());

  Open(DbfBuilder()
           .Field("NAME", 'C', 10)
           .Field("\x96\xBC", 'N', 8)
           .Field("RATE", 'N', 12, 3)
           .Field("DAY", 'D', 8)
           .Field("OK", 'L', 1));
  ReadDbfColumns(table, columns);
  const TSFColumns expected = {{"NAME", TSFColumnType::ctChar, 10},
                               {"\x96\xBC", TSFColumnType::ctInteger, 0},
                               {"RATE", TSFColumnType::ctFloat, 0},
                               {"DAY", TSFColumnType::ctDate, 0},
                               {"OK", TSFColumnType::ctLogical, 0}};
  EXPECT_EQ(columns, expected);
}

TEST_F(DbfBridgeTest, CharWidthsOutsideWhatMapInfoTakesAreClampedAndNamed) {
  Open(DbfBuilder().Field("\x96\xBC", 'C', 0).Field("W", 'C', 255).Field("N", 'C', 254));
  TSFColumns columns;
  // Without a text converter, as combining reads its columns.
  const std::vector<std::string> notes = ReadDbfColumns(table, columns);
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[0].Width, 1);
  EXPECT_EQ(columns[1].Width, 254);
  EXPECT_EQ(columns[2].Width, 254);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0], "フィールド 名: 幅 0 の文字列を Char(1) にしました");
  EXPECT_NE(notes[1].find("フィールド W: 幅 255"), std::string::npos) << notes[1];

  // Growth applies where a value can grow: a field known to be ASCII keeps its width.
  TAttributeText text(1252, TOutputCharset::Utf8);
  text.SetAsciiOnlyFields({"\x96\xBC", "W", "N"}, {false, false, true});
  ReadDbfColumns(table, columns, &text);
  EXPECT_EQ(columns[0].Width, 3);
  EXPECT_EQ(columns[1].Width, 254);
  EXPECT_EQ(columns[2].Width, 254);
  // Names that do not line up with the table say nothing about its fields.
  text.SetAsciiOnlyFields({"X", "Y", "Z"}, {true, true, true});
  ReadDbfColumns(table, columns, &text);
  EXPECT_EQ(columns[0].Width, 3);
}

TEST_F(DbfBridgeTest, RowsQuoteTextAndLeaveNoValuesEmpty) {
  Open(DbfBuilder()
           .Field("I", 'N', 8)
           .Field("C", 'C', 12)
           .Field("F", 'N', 12, 3)
           .Field("D", 'D', 8)
           .Field("L", 'L', 1)
           .Record({"12", "abc", "1.500", "20040115", "T"})
           .Record({"", "", "", "", "?"})
           .Record({"", "x", "", "", ""})
           .Record({"-3", "say \"hi\", \"", "-0.25", "", "F"})
           .Record({"", "\x83\x41,\x22", "", "", ""}));
  std::string row = "left over";
  BuildMidRow(table, regional, row);
  EXPECT_EQ(row, "12,\"abc\",1.5,2004/01/15,True");
  table.Next();
  EXPECT_EQ(BuildMidRow(table, regional), ",\"\",,,");
  table.Next();
  EXPECT_EQ(BuildMidRow(table, regional), ",\"x\",,,");
  table.Next();
  EXPECT_EQ(BuildMidRow(table, regional), "-3,\"say \"\"hi\"\", \"\"\",-0.25,,False");
  table.Next();
  EXPECT_EQ(BuildMidRow(table, regional), ",\"\x83\x41,\"\"\",,,");

  regional.DecimalSeparator = ';';
  regional.ShortDateFormat = "dd.mm.yyyy";
  table.First();
  EXPECT_EQ(BuildMidRow(table, regional), "12,\"abc\",1;5,15.01.2004,True");

  table.Close();
  BuildMidRow(table, regional, row);
  EXPECT_EQ(row, "");
}

}  // namespace
}  // namespace plexor
