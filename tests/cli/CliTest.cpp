// Runs the real plexor binary on fixture files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "support/DbfBuilder.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;
using test::ReadFile;
using test::ShpBuilder;
using test::WriteFile;

struct CliRun {
  int exitCode;
  std::string out;  // stdout and stderr together
};

CliRun Plexor(const std::string& args) {
  const std::string command = std::string(PLEXOR_BINARY_DIR) + "/plexor " + args + " 2>&1";
  CliRun run{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), got);
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class CliTest : public ::testing::Test {
 protected:
  void MakeInput(const std::string& name, int points) {
    ShpBuilder shp;
    DbfBuilder dbf;
    dbf.Field("NAME", 'C', 6).Field("N", 'N', 5).Field("F", 'N', 8, 2).Field("D", 'D', 8);
    for (int i = 0; i < points; ++i) {
      shp.Point(139 + i * 0.125, 35.5);
      dbf.Record({"\x93\xB9" + std::to_string(i), std::to_string(i), "1.50", "20040115"});
    }
    shp.Write(dir / (name + ".shp"));
    dbf.Write(dir / (name + ".dbf"));
  }
  test::TempDir dir;
};

TEST_F(CliTest, ConvertWritesTheDefaultTargetAndASummary) {
  MakeInput("roads", 2);
  const CliRun run = Plexor("convert -c 0 " + dir / "roads.shp");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("2 objects, 2 MID rows"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "roads.mid"),
            "\"\x93\xB9" "0\",0,1.5,2004/01/15\r\n\"\x93\xB9" "1\",1,1.5,2004/01/15\r\n");
  EXPECT_NE(ReadFile(dir / "roads.mif").find("Point 139.12500000 35.50000000\r\n"), std::string::npos);
}

TEST_F(CliTest, DateFormatOption) {
  MakeInput("a", 1);
  ASSERT_EQ(Plexor("--date-format yyyymmdd convert -c 0 " + dir / "a.shp " + dir / "b.mif").exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "b.mid"), "\"\x93\xB9" "0\",0,1.5,20040115\r\n");
}

TEST_F(CliTest, ExitCodesTellTrueFalseUsageAndError) {
  MakeInput("a", 1);
  EXPECT_EQ(Plexor("convert -c 0 " + dir / "missing.shp").exitCode, 1);
  EXPECT_EQ(Plexor("convert " + dir / "a.shp").exitCode, 2);
  EXPECT_EQ(Plexor("convert -c 41 " + dir / "a.shp").exitCode, 2);
  EXPECT_EQ(Plexor("nonsense").exitCode, 2);
  EXPECT_EQ(Plexor("--date-format yyyy,mm,dd convert -c 0 " + dir / "a.shp").exitCode, 2);
  const CliRun error = Plexor("convert -c 0 " + dir / "a.shp " + dir / "nofolder/x.mif");
  EXPECT_EQ(error.exitCode, 3);
  EXPECT_NE(error.out.find("nofolder/x.mif"), std::string::npos) << error.out;

  ShpBuilder().Version(1).Point(1, 1).Write(dir / "bad.shp");
  DbfBuilder().Field("X", 'C', 1).Record({"x"}).Write(dir / "bad.dbf");
  const CliRun refused = Plexor("convert -c 0 " + dir / "bad.shp");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("エラー: 不正なSHPファイルです。"), std::string::npos) << refused.out;
  EXPECT_EQ(ReadFile(dir / "bad.mif"), "");
}

TEST_F(CliTest, MissingTableAndMdxTable) {
  ShpBuilder().Point(1, 1).Write(dir / "lone.shp");
  EXPECT_EQ(Plexor("convert -c 0 " + dir / "lone.shp").exitCode, 1);
  EXPECT_FALSE(std::ifstream(dir / "lone.mif").good());

  ShpBuilder().Point(1, 1).Write(dir / "mdx.shp");
  DbfBuilder().MdxFlag(1).Field("X", 'C', 1).Record({"x"}).Write(dir / "mdx.dbf");
  const CliRun run = Plexor("convert -c 0 " + dir / "mdx.shp");
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_NE(run.out.find("mdxのあるDBFはreadOnlyでしかオープンできません"), std::string::npos) << run.out;
  EXPECT_FALSE(std::ifstream(dir / "mdx.mif").good());
}

TEST_F(CliTest, EveryObjectKindNullShapesAndDeletedRecords) {
  ShpBuilder()
      .Point(1.5, -2.25)
      .Null()
      .PolyLine({0, 1}, {{0, 0}, {1, 1}, {2, 2}})
      .Polygon({0}, {{0, 0}, {1, 0}, {1, 1}})
      .Write(dir / "all.shp");
  DbfBuilder dbf;
  dbf.Field("K", 'C', 2).Record({"p"}).Record({"n"}).Deleted({"x"}).Record({"l"}).Record({"r"});
  dbf.Write(dir / "all.dbf");
  ASSERT_EQ(Plexor("convert -c 1 " + dir / "all.shp").exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "all.mif"),
            "Version 300\r\nCharset \"WindowsJapanese\"\r\nDelimiter \",\"\r\n"
            "CoordSys Earth Projection 1, 104\r\nColumns 1\r\nK Char(2)\r\nData\r\n\r\n"
            "Point 1.50000000 -2.25000000\r\n"
            "PLine MultiPle 2\r\n  1\r\n0.00000000 0.00000000\r\n  2\r\n1.00000000 1.00000000\r\n"
            "2.00000000 2.00000000\r\n\r\n"
            "Region 1\r\n  4\r\n1.00000000 1.00000000\r\n1.00000000 0.00000000\r\n"
            "0.00000000 0.00000000\r\n1.00000000 1.00000000\r\n\r\n");
  EXPECT_EQ(ReadFile(dir / "all.mid"), "\"p\"\r\n\"l\"\r\n\"r\"\r\n");
}

TEST_F(CliTest, SummaryNamesTheShapeKindsPassedOver) {
  ShpBuilder().Other(15, std::string(60, '\0')).Other(15, std::string(60, '\0')).Null().Write(dir / "z.shp");
  DbfBuilder().Field("X", 'C', 1).Record({"x"}).Write(dir / "z.dbf");
  const CliRun run = Plexor("convert -c 0 " + dir / "z.shp");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("0 objects, 0 MID rows; passed over: Null 1 PolygonZ 2"), std::string::npos)
      << run.out;
}

TEST_F(CliTest, CoordSysListsTheCatalogue) {
  const CliRun run = Plexor("coordsys");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("0\t緯度/経度（東京）\tEarth Projection 1, 97\n"), std::string::npos);
  EXPECT_NE(run.out.find("\n40\t平面直角座標系(世界測地系)/第19系\t"), std::string::npos);
}

TEST_F(CliTest, BatchPrintsMarksCombinesAndParallelRunsAreIdentical) {
  MakeInput("a", 3);
  MakeInput("b", 4);
  MakeInput("missing", 1);
  ShpBuilder().Version(1).Write(dir / "missing.shp");  // its table qualifies, its shapes fail
  const std::string batch = "Plexor\r\n200\r\n-1\r\n" + dir / "all.mif" + "\r\n\"5\"\t\"" +
                            dir / "a.shp" + "\"\t\"" + dir / "a.mif" + "\"\r\n\"5\"\t\"" +
                            dir / "missing.shp" + "\"\t\"" + dir / "m.mif" + "\"\r\n\"05\"\t\"" +
                            dir / "b.shp" + "\"\t\"" + dir / "b.mif" + "\"\r\n";
  WriteFile(dir / "batch.txt", batch);
  const CliRun run = Plexor("batch " + dir / "batch.txt");
  EXPECT_EQ(run.exitCode, 1) << run.out;  // one row failed
  EXPECT_NE(run.out.find("1\tOK\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2\tNG\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("3\tOK\t"), std::string::npos) << run.out;
  const std::string all = ReadFile(dir / "all.mif");
  const std::string allMid = ReadFile(dir / "all.mid");
  EXPECT_EQ(allMid, ReadFile(dir / "a.mid") + ReadFile(dir / "b.mid"));

  std::remove((dir / "all.mif").c_str());
  const CliRun parallel = Plexor("batch -j 3 " + dir / "batch.txt");
  EXPECT_EQ(parallel.exitCode, 1);
  EXPECT_EQ(ReadFile(dir / "all.mif"), all);
  EXPECT_EQ(ReadFile(dir / "all.mid"), allMid);
}

TEST_F(CliTest, BatchDoesNotCombineRowsThatDoNotQualify) {
  MakeInput("a", 1);
  WriteFile(dir / "batch.txt", "Plexor\r\n200\r\nTrue\r\n" + dir / "all.mif" + "\r\n\"0\"\t\"" +
                                   dir / "a.shp" + "\"\t\"" + dir / "a.mif" + "\"\r\n");
  EXPECT_EQ(Plexor("batch " + dir / "batch.txt").exitCode, 0);
  EXPECT_FALSE(std::ifstream(dir / "all.mif").good());
  WriteFile(dir / "bad.txt", "Plexor\r\n300\r\n0\r\n\r\n");
  const CliRun bad = Plexor("batch " + dir / "bad.txt");
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.out.find("不正なバッチリストです。"), std::string::npos);
}

}  // namespace
}  // namespace plexor
