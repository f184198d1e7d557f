#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "dbf/localDbf.h"
#include "engine/ShpToMif.h"
#include "support/DbfBuilder.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/FileHandle.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;
using test::ReadFile;
using test::ShpBuilder;

const std::string kHeader4326 =
    "Version 300\r\nCharset \"WindowsJapanese\"\r\nDelimiter \",\"\r\nCoordSys Earth Projection 1, "
    "97\r\n";

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
            kHeader4326 +
                "Columns 1\r\nNAME Char(8)\r\nData\r\n\r\n"
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
      .Other(31, std::string(60, '\x11'))  // a MultiPatch is passed over by its length
      .Point(2, 2)
      .Write(shp());
  NameTable({"a", "b", "c", "d"}).Write(dbf());
  TConvertSummary summary;
  ASSERT_TRUE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n\"d\"\r\n");
  EXPECT_EQ(summary.Objects, 2);
  EXPECT_EQ(summary.MidRows, 2);
  EXPECT_EQ(summary.SkippedByShapeType, (std::map<int32_t, int64_t>{{0, 1}, {31, 1}}));
}

TEST_F(ConvertTest, ShapesPairWithRecordsByPositionInTheFile) {
  // A deleted record hides its own shape and shifts nothing after it.
  ShpBuilder().Point(1, 1).Point(2, 2).Point(3, 3).Write(shp());
  DbfBuilder b;
  b.Field("NAME", 'C', 4).Record({"a"}).Deleted({"gone"}).Record({"c"});
  b.Write(dbf());
  TConvertSummary summary;
  ASSERT_TRUE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n\"c\"\r\n");
  EXPECT_NE(ReadFile(mif()).find("Point 1.00000000 1.00000000\r\nPoint 3.00000000 3.00000000\r\n"),
            std::string::npos);
  EXPECT_EQ(summary.DeletedSkipped, 1);
  EXPECT_TRUE(summary.Warnings().empty());

  // More records than shapes: the surplus is counted, and said.
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"x", "y", "z"}).Write(dbf());
  ASSERT_TRUE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(ReadFile(mid()), "\"x\"\r\n");
  EXPECT_EQ(summary.RecordsWithoutShape, 2);
  EXPECT_EQ(summary.Warnings().size(), 1u);
}

TEST_F(ConvertTest, ShapesBeyondTheLastRecordGetEmptyFieldsNeverARepeatedRow) {
  ShpBuilder().Point(1, 1).Null().Point(2, 2).Point(3, 3).Write(shp());
  DbfBuilder b;
  b.Field("NAME", 'C', 4).Field("N", 'N', 5).Field("D", 'D', 8).Record({"a", "1", "20240101"});
  b.Record({"b", "2", "20240102"});
  b.Write(dbf());
  TConvertSummary summary;
  ASSERT_TRUE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(ReadFile(mid()), "\"a\",1,2024/01/01\r\n\"\",,\r\n\"\",,\r\n");
  EXPECT_EQ(summary.ShapesWithoutRecord, 2);
  EXPECT_EQ(summary.MidRows, 3);
  ASSERT_EQ(summary.Warnings().size(), 1u);
  EXPECT_NE(summary.Warnings()[0].find("2 件"), std::string::npos);

  // A table without records at all.
  DbfBuilder empty;
  empty.Field("NAME", 'C', 4).Write(dbf());
  ASSERT_TRUE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(ReadFile(mid()), "\"\"\r\n\"\"\r\n\"\"\r\n");
}

TEST_F(ConvertTest, LineBreaksInsideAValueNeverSplitTheRow) {
  ShpBuilder().Point(1, 1).Point(2, 2).Write(shp());
  DbfBuilder b;
  b.Field("NAME", 'C', 8).Field("N", 'N', 3).Record({"a\r\nb\rc", "1"}).Record({"\nz\"", "2"});
  b.Write(dbf());
  TConvertSummary summary;
  ASSERT_TRUE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(ReadFile(mid()), "\"a  b c\",1\r\n\" z\"\"\",2\r\n");
  EXPECT_EQ(summary.LineBreaksBlanked, 4);
}

TEST_F(ConvertTest, WideIntegerFieldsKeepEveryDigit) {
  ShpBuilder().Point(1, 1).Point(2, 2).Point(3, 3).Write(shp());
  DbfBuilder b;
  b.Field("ID", 'N', 12).Field("SMALL", 'N', 9).Field("HUGE", 'N', 20);
  b.Record({"12345678901", "123456789", "-0098765432109876543"});
  b.Record({"-2147483649", "-1", "+0000000000000000000"});
  b.Record({"12x", "", "-0"});
  b.Write(dbf());
  ASSERT_TRUE(Convert());
  EXPECT_NE(ReadFile(mif()).find("Columns 3\r\nID Decimal(12,0)\r\nSMALL Integer\r\n"
                                 "HUGE Decimal(20,0)\r\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(mid()),
            "12345678901,123456789,-98765432109876543\r\n-2147483649,-1,0\r\n,,0\r\n");
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

TEST_F(ConvertTest, RefusedHeaderShowsTheErrorAndLeavesNoOutput) {
  ShpBuilder().Version(1001).Point(1, 1).Write(shp());
  NameTable({"a"}).Write(dbf());
  EXPECT_FALSE(Convert());
  ASSERT_EQ(host.Messages.size(), 1u);
  EXPECT_EQ(host.Messages[0].Text, "不正なSHPファイルです。");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.dbf", "in.shp"}));
}

TEST_F(ConvertTest, FailedConversionLeavesTheEarlierPairUntouchedAndNoTemporaries) {
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"a", "b"}).Write(dbf());
  ASSERT_TRUE(Convert());
  const std::string goodMif = ReadFile(mif());
  const std::string goodMid = ReadFile(mid());

  const ShpBuilder cut = ShpBuilder().Point(1, 1).Point(2, 2);
  cut.Write(shp(), static_cast<int64_t>(cut.Bytes().size()) - 3);
  TConvertSummary summary;
  EXPECT_FALSE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(ReadFile(mif()), goodMif);
  EXPECT_EQ(ReadFile(mid()), goodMid);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.dbf", "in.shp", "out.mid", "out.mif"}));
  EXPECT_EQ(
      summary.FailureReason.rfind("レコード 2 (SHPファイルの 128 バイト目) を読めません: ", 0), 0u)
      << summary.FailureReason;
  EXPECT_EQ(host.StatusTexts.back(), "");

  // Stopped by the user part way: the same.
  ShpBuilder many;
  for (int i = 0; i < 10; ++i) many.Point(i, i);
  many.Write(shp());
  host.CancelAfterPolls = 5;
  EXPECT_FALSE(ConvertShpToMif(0, shp(), mif(), host, &summary));
  EXPECT_EQ(summary.FailureReason, "変換を中止しました。");
  EXPECT_EQ(ReadFile(mif()), goodMif);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.dbf", "in.shp", "out.mid", "out.mif"}));
}

TEST_F(ConvertTest, AFolderInTheWayOfTheMidIsRefusedBeforeTheMifIsWritten) {
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"a"}).Write(dbf());
  ASSERT_TRUE(std::filesystem::create_directory(mid()));
  EXPECT_THROW(Convert(), EFCreateError);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.dbf", "in.shp", "out.mid"}));
}

TEST_F(ConvertTest, ShapefileCompanionNamesAreNeverOutputs) {
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"a"}).Write(dbf());
  // Another shapefile's files, in any letter case: refused before anything is opened.
  ShpBuilder().Point(9, 9).Write(dir / "other.shp");
  const std::string otherBytes = ReadFile(dir / "other.shp");
  for (const char* target : {"other.shp", "x.SHX", "x.dbf", "x.Prj", "x.cpg", "x.sbn", "x.sbx",
                             "x.qix", "x.fix", "x.shp.xml"}) {
    try {
      ConvertShpToMif(0, shp(), dir / target, host);
      ADD_FAILURE() << target;
    } catch (const EFCreateError& e) {
      EXPECT_NE(e.Message().find("シェープファイルを構成するファイルの拡張子には出力できません"),
                std::string::npos);
    }
  }
  EXPECT_EQ(ReadFile(dir / "other.shp"), otherBytes);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.dbf", "in.shp", "other.shp"}));
  EXPECT_TRUE(host.StatusTexts.empty());
  EXPECT_TRUE(IsShapefileCompanionPath("a/b.SHP"));
  EXPECT_FALSE(IsShapefileCompanionPath("a.shp/b.mif"));
  EXPECT_FALSE(IsShapefileCompanionPath(".shp"));
}

TEST_F(ConvertTest, CutRecordHeaderOrOverlongSkipIsLostDataNotSuccess) {
  ShpBuilder().Point(1, 1).Raw(std::string(7, '\0')).Write(shp());
  NameTable({"a"}).Write(dbf());
  EXPECT_FALSE(Convert());
  ShpBuilder().Other(31, std::string(8, '\0')).Point(1, 1).Write(shp());
  EXPECT_TRUE(Convert());  // a multipatch of the length its header says is passed over
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

TEST_F(ConvertTest, TablesAreOnlyReadSoMdxAndReadOnlyTablesConvert) {
  ShpBuilder().Point(1, 1).Write(shp());
  NameTable({"a"}).MdxFlag(1).Write(dbf());
  const std::string bytes = ReadFile(dbf());
  ASSERT_EQ(::chmod(dbf().c_str(), 0444), 0);
  ASSERT_TRUE(Convert());
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n");
  EXPECT_EQ(ReadFile(dbf()), bytes);

  // A user who may read the inputs but not write them, in a folder they may write.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(shp().c_str(), 0444), 0);
  ::unlink(mif().c_str());
  ::unlink(mid().c_str());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    test::FakeHost quiet;
    ::_exit(ConvertShpToMif(0, shp(), mif(), quiet) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(mid()), "\"a\"\r\n");
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

}  // namespace
}  // namespace plexor
