#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dbf/localDbf.h"
#include "engine/CoordSys.h"
#include "engine/ShpToMif.h"
#include "support/DbfBuilder.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/FakeHost.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;
using test::ReadFile;
using test::ShpBuilder;

const std::string kHeader4326 =
    "Version 300\r\nCharset \"WindowsJapanese\"\r\nDelimiter \",\"\r\nCoordSys Earth Projection 1, 97\r\n";

DbfBuilder NameTable(std::initializer_list<const char*> names) {
  DbfBuilder b;
  b.Field("NAME", 'C', 8);
  for (const char* n : names) b.Record({n});
  return b;
}

class ConvertTest : public ::testing::Test {
 protected:
  bool Convert(int index = 0) { return ConvertShpToMif(index, shp(), mif(), host); }
  std::string shp() const { return dir / "in.shp"; }
  std::string dbf() const { return dir / "in.dbf"; }
  std::string mif() const { return dir / "out.mif"; }
  std::string mid() const { return dir / "out.mid"; }

  test::TempDir dir;
  test::FakeHost host;
};

TEST_F(ConvertTest, EveryObjectKindInFileOrderWithItsRow) {
  ShpBuilder()
      .Point(139.5, 35)
      .PolyLine({0}, {{0, 0}, {1, 1}})
      .Polygon({0}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}})
      .Write(shp());
  NameTable({"a", "b", "c"}).Write(dbf());
  ASSERT_TRUE(Convert());
  EXPECT_EQ(ReadFile(mif()),
            kHeader4326 + "Columns 1\r\nNAME Char(8)\r\nData\r\n\r\n"
            "Point 139.50000000 35.00000000\r\n"
            "PLine 2\r\n0.00000000 0.00000000\r\n1.00000000 1.00000000\r\n\r\n"
            "Region 1\r\n  4\r\n0.00000000 0.00000000\r\n0.00000000 1.00000000\r\n"
            "1.00000000 1.00000000\r\n0.00000000 0.00000000\r\n\r\n");
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n\"b\"\r\n\"c\"\r\n");
  EXPECT_EQ(host.StatusTexts,
            (std::vector<std::string>{"変換の準備をしています。", shp() + "を変換しています。",
                                      "変換の後処理をしています。", ""}));
  EXPECT_TRUE(host.Messages.empty());
}

TEST_F(ConvertTest, HeaderOnlyShapefileGivesColumnsAndAnEmptyMid) {
  ShpBuilder().Write(shp());
  NameTable({"a"}).Write(dbf());
  ASSERT_TRUE(Convert());
  EXPECT_EQ(ReadFile(mif()), kHeader4326 + "Columns 1\r\nNAME Char(8)\r\nData\r\n\r\n");
  EXPECT_EQ(ReadFile(mid()), "");
}

TEST_F(ConvertTest, NullAndOtherShapeTypesConsumeAnAttributeRecord) {
  ShpBuilder()
      .Point(1, 1)
      .Null()
      .Other(15, std::string(60, '\x11'))  // a PolygonZ is passed over by its length
      .Point(2, 2)
      .Write(shp());
  NameTable({"a", "b", "c", "d"}).Write(dbf());
  TConvertSummary summary;
  ASSERT_TRUE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n\"d\"\r\n");
  EXPECT_EQ(summary.Objects, 2);
  EXPECT_EQ(summary.MidRows, 2);
  EXPECT_EQ(summary.SkippedByShapeType, (std::map<int32_t, int64_t>{{0, 1}, {15, 1}}));
}

TEST_F(ConvertTest, FewerRecordsRepeatTheLastMoreAreIgnoredDeletedAreSkipped) {
  ShpBuilder().Point(1, 1).Point(2, 2).Point(3, 3).Write(shp());
  DbfBuilder b;
  b.Field("NAME", 'C', 4).Record({"a"}).Deleted({"gone"}).Record({"b"});
  b.Write(dbf());
  ASSERT_TRUE(Convert());
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n\"b\"\r\n\"b\"\r\n");

  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"x", "y", "z"}).Write(dbf());
  ASSERT_TRUE(Convert());
  EXPECT_EQ(ReadFile(mid()), "\"x\"\r\n");
}

TEST_F(ConvertTest, MissingInputsReturnFalseAndTouchNothing) {
  EXPECT_FALSE(Convert());
  ShpBuilder().Point(1, 1).Write(shp());
  EXPECT_FALSE(Convert());
  EXPECT_FALSE(RegularFileExists(mif()));
  EXPECT_TRUE(host.StatusTexts.empty());
  EXPECT_TRUE(host.Messages.empty());
  // A folder named like the table is no table.
  ASSERT_EQ(::mkdir(dbf().c_str(), 0755), 0);
  EXPECT_FALSE(Convert());
}

TEST_F(ConvertTest, RefusedHeaderShowsTheErrorAndLeavesEmptyOutputs) {
  ShpBuilder().Version(1001).Point(1, 1).Write(shp());
  NameTable({"a"}).Write(dbf());
  EXPECT_FALSE(Convert());
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_EQ(host.Messages[0].Text, "不正なSHPファイルです。");
  EXPECT_EQ(ReadFile(mif()), "");
  EXPECT_EQ(ReadFile(mid()), "");
}

TEST_F(ConvertTest, CutLastRecordFailsButKeepsWhatWasWritten) {
  const ShpBuilder b = ShpBuilder().Point(1, 1).Point(2, 2);
  b.Write(shp(), static_cast<int64_t>(b.Bytes().size()) - 3);
  NameTable({"a", "b"}).Write(dbf());
  EXPECT_FALSE(Convert());
  EXPECT_NE(ReadFile(mif()).find("Point 1.00000000 1.00000000\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n");
  EXPECT_EQ(host.StatusTexts.back(), "");
}

TEST_F(ConvertTest, CutRecordHeaderOrOverlongSkipIsLostDataNotSuccess) {
  ShpBuilder().Point(1, 1).Raw(std::string(7, '\0')).Write(shp());
  NameTable({"a"}).Write(dbf());
  EXPECT_FALSE(Convert());
  ShpBuilder().Other(8, std::string(8, '\0')).Point(1, 1).Write(shp());
  EXPECT_TRUE(Convert());  // a multipoint of the length its header says is passed over
  ShpBuilder().Raw(test::BE32(1) + test::BE32(1000) + test::LE32(8)).Write(shp());
  EXPECT_FALSE(Convert());
}

TEST_F(ConvertTest, IndexOutsideTheCatalogueWritesAnEmptyClause) {
  ShpBuilder().Write(shp());
  NameTable({}).Write(dbf());
  ASSERT_TRUE(Convert(41));
  EXPECT_NE(ReadFile(mif()).find("CoordSys \r\nColumns 1"), std::string::npos);
  ASSERT_TRUE(Convert(-1));
  EXPECT_NE(ReadFile(mif()).find("CoordSys \r\n"), std::string::npos);
}

TEST_F(ConvertTest, MdxTableRaisesBeforeAnyOutputIsCreated) {
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"a"}).MdxFlag(1).Write(dbf());
  try {
    Convert();
    FAIL();
  } catch (const ELocalDbfError& e) {
    EXPECT_EQ(e.Message(), "mdxのあるDBFはreadOnlyでしかオープンできません");
  }
  EXPECT_FALSE(RegularFileExists(mif()));
  EXPECT_EQ(host.StatusTexts.back(), "");
}

TEST_F(ConvertTest, OutputThatIsAnInputIsRefusedAndNothingIsTouched) {
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"a"}).Write(dbf());
  const std::string shpBytes = ReadFile(shp());
  const std::string dbfBytes = ReadFile(dbf());
  EXPECT_THROW(ConvertShpToMif(0, shp(), shp(), host), EFCreateError);
  EXPECT_THROW(ConvertShpToMif(0, shp(), dir / "in.mid", host), EFCreateError);
  EXPECT_THROW(ConvertShpToMif(0, shp(), dir / "out.mid", host), EFCreateError);
  EXPECT_EQ(ReadFile(shp()), shpBytes);
  EXPECT_EQ(ReadFile(dbf()), dbfBytes);
}

TEST_F(ConvertTest, UpperCaseExtensionTableIsFoundOnCaseSensitiveDisks) {
  ShpBuilder().Point(1, 1).Write(dir / "ROADS.SHP");
  NameTable({"a"}).Write(dir / "ROADS.DBF");
  ASSERT_TRUE(ConvertShpToMif(0, dir / "ROADS.SHP", mif(), host));
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n");
}

TEST_F(ConvertTest, FullDiskGivesFalseNeverSuccess) {
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"a"}).Write(dbf());
  ASSERT_EQ(::symlink("/dev/full", mif().c_str()), 0);
  EXPECT_FALSE(Convert());
  ::unlink(mif().c_str());
  ::unlink(mid().c_str());
  ASSERT_EQ(::symlink("/dev/full", mid().c_str()), 0);
  EXPECT_FALSE(Convert());
}

TEST_F(ConvertTest, TableHeldByAnotherWritableOpenIsAClearError) {
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"a"}).Write(dbf());
  TLocalDbf other;
  other.SetTableName(dbf());
  other.Open();
  EXPECT_THROW(Convert(), EFOpenError);
  EXPECT_FALSE(RegularFileExists(mif()));
}

TEST(CoordSysCatalogue, ClausesAndDisplayTexts) {
  EXPECT_EQ(GetCoordSysClause(0), "Earth Projection 1, 97");
  EXPECT_EQ(GetCoordSysClause(40), "Earth Projection 8, 33, \"m\", 154, 26, 0.9999, 0, 0");
  EXPECT_EQ(GetCoordSysClause(41), "");
  EXPECT_EQ(GetCoordSysClause(-1), "");
  EXPECT_EQ(GetCoordSysClause(5),
            "Earth Projection 8, 97, \"m\", 132.166666, 36, 0.9999, 0, 0 Bounds "
            "(-8247318.51127, -13984603.2178) (8247318.51127, 6015108.14029)");
  // Zone entries of the two datums differ only in the datum and the bounds.
  const std::string tokyo = GetCoordSysClause(3);
  const std::string world = GetCoordSysClause(22);
  EXPECT_EQ(tokyo.substr(0, tokyo.find(" Bounds")), "Earth Projection 8, 97" + world.substr(22));
  EXPECT_EQ(GetCoordSysDisplayText(0), "緯度/経度（東京）");
  EXPECT_EQ(GetCoordSysDisplayText(21), "平面直角座標系(日本測地系)/第19系");
  EXPECT_EQ(GetCoordSysDisplayText(22), "平面直角座標系(世界測地系)/第1系");
  EXPECT_EQ(GetCoordSysDisplayText(41), "");
}

}  // namespace
}  // namespace plexor
