// Runs the real plexor binary on fixture files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
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
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.out.append(buffer.data(), got);
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
            "\"\x93\xB9"
            "0\",0,1.5,2004/01/15\r\n\"\x93\xB9"
            "1\",1,1.5,2004/01/15\r\n");
  EXPECT_NE(ReadFile(dir / "roads.mif").find("Point 139.12500000 35.50000000\r\n"),
            std::string::npos);
}

TEST_F(CliTest, DateFormatOption) {
  MakeInput("a", 1);
  ASSERT_EQ(
      Plexor("--date-format yyyymmdd convert -c 0 " + dir / "a.shp -o " + dir / "b.mif").exitCode,
      0);
  EXPECT_EQ(ReadFile(dir / "b.mid"),
            "\"\x93\xB9"
            "0\",0,1.5,20040115\r\n");
}

TEST_F(CliTest, ExitCodesTellTrueFalseUsageAndError) {
  MakeInput("a", 1);
  EXPECT_EQ(Plexor("convert -c 0 " + dir / "missing.shp").exitCode, 1);
  EXPECT_EQ(Plexor("convert " + dir / "a.shp").exitCode, 2);
  EXPECT_EQ(Plexor("convert -c 41 " + dir / "a.shp").exitCode, 2);
  EXPECT_EQ(Plexor("nonsense").exitCode, 2);
  EXPECT_EQ(Plexor("--date-format yyyy,mm,dd convert -c 0 " + dir / "a.shp").exitCode, 2);
  const CliRun error = Plexor("convert -c 0 " + dir / "a.shp -o " + dir / "nofolder/x.mif");
  EXPECT_EQ(error.exitCode, 3);
  EXPECT_NE(error.out.find("nofolder/x.mif"), std::string::npos) << error.out;

  ShpBuilder().Version(1).Point(1, 1).Write(dir / "bad.shp");
  DbfBuilder().Field("X", 'C', 1).Record({"x"}).Write(dir / "bad.dbf");
  const CliRun refused = Plexor("convert -c 0 " + dir / "bad.shp");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("エラー: 不正なSHPファイルです。"), std::string::npos) << refused.out;
  EXPECT_FALSE(std::ifstream(dir / "bad.mif").good());
}

TEST_F(CliTest, MissingTableSaysWhyAndMdxTableConverts) {
  ShpBuilder().Point(1, 1).Write(dir / "lone.shp");
  const CliRun lone = Plexor("convert -c 0 " + dir / "lone.shp");
  EXPECT_EQ(lone.exitCode, 1);
  EXPECT_NE(lone.out.find("DBFファイルがありません: " + dir / "lone.dbf"), std::string::npos)
      << lone.out;
  EXPECT_FALSE(std::ifstream(dir / "lone.mif").good());

  // The table is only read, so an index beside it is no obstacle.
  ShpBuilder().Point(1, 1).Write(dir / "mdx.shp");
  DbfBuilder().MdxFlag(1).Field("X", 'C', 1).Record({"x"}).Write(dir / "mdx.dbf");
  EXPECT_EQ(Plexor("convert -c 0 " + dir / "mdx.shp").exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "mdx.mid"), "\"x\"\r\n");
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
  // Shape n pairs with record n: the deleted third record hides the line, the fifth record
  // has no shape.
  const CliRun run = Plexor("convert -c 1 " + dir / "all.shp");
  ASSERT_EQ(run.exitCode, 0) << run.out;
  EXPECT_EQ(ReadFile(dir / "all.mif"),
            "Version 300\r\nCharset \"WindowsJapanese\"\r\nDelimiter \",\"\r\n"
            "CoordSys Earth Projection 1, 104\r\nColumns 1\r\nK Char(2)\r\nData\r\n\r\n"
            "Point 1.50000000 -2.25000000\r\n"
            "Region 1\r\n  4\r\n1.00000000 1.00000000\r\n1.00000000 0.00000000\r\n"
            "0.00000000 0.00000000\r\n1.00000000 1.00000000\r\n\r\n");
  EXPECT_EQ(ReadFile(dir / "all.mid"), "\"p\"\r\n\"l\"\r\n");
  EXPECT_NE(run.out.find("2 objects, 2 MID rows; passed over: Null 1; deleted 1"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("警告: " + dir / "all.shp" + ": 図形のない属性レコードが 1 件あります。"),
            std::string::npos)
      << run.out;
}

TEST_F(CliTest, SummaryNamesTheShapeKindsPassedOver) {
  ShpBuilder()
      .Other(31, std::string(60, '\0'))
      .Other(31, std::string(60, '\0'))
      .Null()
      .Write(dir / "z.shp");
  DbfBuilder().Field("X", 'C', 1).Record({"x"}).Write(dir / "z.dbf");
  const CliRun run = Plexor("convert -c 0 " + dir / "z.shp");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("0 objects, 0 MID rows; passed over: Null 1 MultiPatch 2"),
            std::string::npos)
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

TEST_F(CliTest, HelpSpeaksJapaneseAndBadDateFormatsAreUsageErrors) {
  for (const char* args : {"--help", "convert --help", "batch --help", "info --help"}) {
    const CliRun run = Plexor(args);
    EXPECT_EQ(run.exitCode, 0) << args;
    for (const char* english :
         {"Usage", "Options", "Subcommands", "Positionals", "REQUIRED", "Print"}) {
      EXPECT_EQ(run.out.find(english), std::string::npos) << args << ": " << english << "\n"
                                                          << run.out;
    }
  }
  MakeInput("a", 1);
  const CliRun bad = Plexor("--date-format foo convert -c 0 " + dir / "a.shp");
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.out.find("foo"), std::string::npos) << bad.out;
  EXPECT_FALSE(std::ifstream(dir / "a.mif").good());
}

TEST_F(CliTest, BatchFilesFindTheirRowsFromTheirOwnFolderAndSayWhyRowsFail) {
  ASSERT_EQ(::mkdir((dir / "lists").c_str(), 0755), 0);
  MakeInput("lists/a", 2);
  // Written by hand: a BOM, relative paths, a row that fails, blank lines at the end.
  WriteFile(dir / "lists/batch.txt",
            "\xEF\xBB\xBFPlexor\r\n200\r\n0\r\n\r\n\"0\"\t\"a.shp\"\t\"a.mif\"\r\n"
            "\"0\"\t\"gone.shp\"\t\"g.mif\"\r\n\r\n\r\n");
  const CliRun run = Plexor("batch " + dir / "lists/batch.txt");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("1\tOK\t" + dir / "lists/a.shp"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2\tNG\t" + dir / "lists/gone.shp\t" +
                         dir / "lists/g.mif\tSHPファイルがありません"),
            std::string::npos)
      << run.out;
  EXPECT_NE(ReadFile(dir / "lists/a.mid")
                .find("\x93\xB9"
                      "1"),
            std::string::npos);

  WriteFile(dir / "lists/bad.txt",
            "Plexor\r\n200\r\n0\r\n\r\n\"0\"\t\"a.shp\"\t\"a.mif\"\r\n\"x\"\t\"b\"\t\"c\"\r\n");
  const CliRun bad = Plexor("batch " + dir / "lists/bad.txt");
  EXPECT_EQ(bad.exitCode, 3);
  EXPECT_NE(bad.out.find("6 行目: 'x' は整数ではありません"), std::string::npos) << bad.out;
}

TEST_F(CliTest, SeveralSourcesEachConvertBesideThemselvesAndInputsStayUntouched) {
  // What a shell makes of "convert -c 30 *.shp": every name is a source, none a target.
  MakeInput("parcels", 2);
  MakeInput("roads", 3);
  const std::string inputs[] = {"parcels.shp", "parcels.dbf", "roads.shp", "roads.dbf"};
  std::vector<std::string> before;
  for (const std::string& f : inputs) before.push_back(ReadFile(dir / f));
  const CliRun run = Plexor("convert -c 30 " + dir / "parcels.shp " + dir / "roads.shp");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(ReadFile(dir / inputs[i]), before[i]) << inputs[i];
  EXPECT_NE(ReadFile(dir / "parcels.mid")
                .find("\"\x93\xB9"
                      "1\""),
            std::string::npos);
  EXPECT_NE(ReadFile(dir / "roads.mid")
                .find("\"\x93\xB9"
                      "2\""),
            std::string::npos);

  // Into another folder under the sources' names.
  ASSERT_EQ(::mkdir((dir / "out").c_str(), 0755), 0);
  EXPECT_EQ(Plexor("convert -c 30 -d " + dir / "out " + dir / "parcels.shp " + dir / "roads.shp")
                .exitCode,
            0);
  EXPECT_EQ(ReadFile(dir / "out/roads.mid"), ReadFile(dir / "roads.mid"));
  EXPECT_EQ(ReadFile(dir / "out/parcels.mif"), ReadFile(dir / "parcels.mif"));
}

TEST_F(CliTest, CommandLinesThatWouldLoseDataAreRefusedBeforeAnythingRuns) {
  MakeInput("a", 1);
  MakeInput("b", 1);
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  MakeInput("sub/a", 1);
  const std::string shpBytes = ReadFile(dir / "b.shp");
  // The old two-name form, a target for several sources, and two sources onto one target.
  const CliRun old = Plexor("convert -c 0 " + dir / "a.shp " + dir / "b.mif");
  EXPECT_EQ(old.exitCode, 2);
  EXPECT_NE(old.out.find("-o"), std::string::npos) << old.out;
  EXPECT_EQ(Plexor("convert -c 0 -o " + dir / "x.mif " + dir / "a.shp " + dir / "b.shp").exitCode,
            2);
  const CliRun same =
      Plexor("convert -c 0 -d " + dir / "sub " + dir / "a.shp " + dir / "sub/a.shp");
  EXPECT_EQ(same.exitCode, 2);
  EXPECT_NE(same.out.find("同じ"), std::string::npos) << same.out;
  // A shapefile's own name as the target.
  const CliRun companion = Plexor("convert -c 0 " + dir / "a.shp -o " + dir / "b.shp");
  EXPECT_EQ(companion.exitCode, 3);
  EXPECT_EQ(ReadFile(dir / "b.shp"), shpBytes);
  EXPECT_FALSE(std::ifstream(dir / "a.mif").good());
  EXPECT_FALSE(std::ifstream(dir / "sub/a.mif").good());
}

TEST_F(CliTest, InterruptLeavesNoPartialFileAndExits130) {
  // Large enough that the signal arrives part way.
  ShpBuilder shp;
  DbfBuilder dbf;
  dbf.Field("N", 'N', 8);
  for (int i = 0; i < 200000; ++i) {
    shp.Point(i, i);
    dbf.Record({std::to_string(i)});
  }
  shp.Write(dir / "big.shp");
  dbf.Write(dir / "big.dbf");
  WriteFile(dir / "big.mif", "earlier\r\n");
  WriteFile(dir / "big.mid", "earlier\r\n");
  const std::string command = "exec " + std::string(PLEXOR_BINARY_DIR) + "/plexor convert -c 0 " +
                              dir / "big.shp >" + dir / "out.txt 2>" + dir / "err.txt";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  // Wait for the conversion to be under way: its temporaries appear.
  bool started = false;
  for (int i = 0; i < 2000 && !started; ++i) {
    ::usleep(1000);
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
      started = started || e.path().string().find(".plexor-tmp") != std::string::npos;
    }
  }
  std::system(("pkill -INT -f 'plexor convert -c 0 " + dir / "big.shp'").c_str());
  const int status = ::pclose(pipe);
  if (!started) GTEST_SKIP() << "the conversion ended before it could be interrupted";
  ASSERT_TRUE(WIFEXITED(status)) << status << ReadFile(dir / "err.txt");
  EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(dir / "err.txt");
  EXPECT_NE(ReadFile(dir / "err.txt").find("変換を中止しました。"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "big.mif"), "earlier\r\n");
  EXPECT_EQ(ReadFile(dir / "big.mid"), "earlier\r\n");
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(e.path().string().find(".plexor-tmp"), std::string::npos) << e.path();
  }
}

// A source that cannot be converted at all (its table refused, a target that cannot be
// made) stops only itself: the others are converted and the worst outcome is the status.
TEST_F(CliTest, ConvertGoesOnAfterARefusedSourceAndReportsEach) {
  MakeInput("a", 1);
  MakeInput("c", 1);
  ShpBuilder().Point(1, 1).Write(dir / "b.shp");
  WriteFile(dir / "b.dbf", "\x03\x01\x02");  // a cut header
  std::filesystem::create_directory(dir / "out");
  std::filesystem::create_symlink("../a.dbf", dir / "out/c.mif");
  const CliRun run = Plexor("convert -c 0 -d " + dir / "out" + " " + dir / "a.shp" + " " +
                            dir / "b.shp" + " " + dir / "c.shp" + " " + dir / "missing.shp");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_TRUE(std::filesystem::exists(dir / "out/a.mif"));
  EXPECT_NE(run.out.find(dir / "b.shp: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("a.dbf"), std::string::npos) << run.out;  // where c.mif leads
  EXPECT_NE(run.out.find("4 件中 1 件を変換しました。"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "a.dbf").substr(0, 1), "\x03");
}

TEST_F(CliTest, BatchRefusesAFileWithANulAndRowsThatClash) {
  MakeInput("a", 1);
  MakeInput("b", 1);
  WriteFile(dir / "nul.txt", std::string("Plexor\r\n200\r\n0\r\n\r\n\"0\"\t\"a.shp\"\t\"x") + '\0' +
                                 "\"\r\n\"0\"\t\"b.shp\"\t\"y.mif\"\r\n");
  CliRun run = Plexor("batch " + dir / "nul.txt");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("5 行目に制御文字 (0x00) があります"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "x"));
  EXPECT_FALSE(std::filesystem::exists(dir / "y.mif"));

  WriteFile(dir / "clash.txt",
            "Plexor\r\n200\r\n0\r\n\r\n\"0\"\t\"a.shp\"\t\"x.mif\"\r\n"
            "\"0\"\t\"b.shp\"\t\"./x.mif\"\r\n");
  run = Plexor("batch -j 2 " + dir / "clash.txt");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("1 行目と 2 行目は別の変換元を同じ"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "x.mif"));
}

// Tables GDAL reads are converted: equal field names (R writes them) are told apart the way
// unreadable names are, and a table without fields gives the one empty column a MIF needs.
TEST_F(CliTest, TablesWithEqualNamesOrNoFieldsConvert) {
  ShpBuilder points;
  points.Point(139.5, 35.5).Point(139.75, 35.25);
  points.Write(dir / "dup.shp");
  DbfBuilder()
      .Field("NAME", 'C', 2)
      .Field("NAME", 'C', 2)
      .Field("name", 'N', 3)
      .Field("NAME_2", 'C', 1)
      .Record({"a", "b", "1", "x"})
      .Record({"c", "d", "2", "y"})
      .Write(dir / "dup.dbf");
  CliRun run = Plexor("convert -c 0 " + dir / "dup.shp");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(ReadFile(dir / "dup.mif")
                .find("Columns 4\r\nNAME Char(2)\r\nNAME_3 Char(2)\r\nname_4 Integer\r\n"
                      "NAME_2 Char(1)\r\nData\r\n"),
            std::string::npos)
      << ReadFile(dir / "dup.mif");
  EXPECT_EQ(ReadFile(dir / "dup.mid"), "\"a\",\"b\",1,\"x\"\r\n\"c\",\"d\",2,\"y\"\r\n");
  EXPECT_NE(run.out.find("警告: " + dir / "dup.shp: 列名を変えました: NAME -> NAME_3"),
            std::string::npos)
      << run.out;

  // Record length 0, or nothing but the 32-byte header.
  for (const bool headerOnly : {false, true}) {
    points.Write(dir / "bare.shp");
    DbfBuilder bare = DbfBuilder().RecordLength(0);
    if (headerOnly) bare.HeaderTail("").EndMarker(false);
    bare.Write(dir / "bare.dbf");
    run = Plexor("convert -c 0 " + dir / "bare.shp");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(ReadFile(dir / "bare.mif").find("Columns 1\r\n_ Char(1)\r\nData\r\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(dir / "bare.mid"), "\"\"\r\n\"\"\r\n");
    EXPECT_NE(run.out.find("DBFファイルにフィールドがありません。"), std::string::npos) << run.out;
  }
}

// A table the command cannot read says which file it is and which check failed, never a
// record of the .shp or a bare read error.
TEST_F(CliTest, RefusedTablesNameTheirFileAndTheCheck) {
  ShpBuilder().Point(1, 1).Point(2, 2).Write(dir / "t.shp");
  const std::string table = dir / "t.dbf";
  const std::string refused = "DBFファイル \"" + table + "\" を開けません: ";
  const DbfBuilder two = DbfBuilder().Field("A", 'C', 2).Record({"x"}).Record({"y"});
  struct Case {
    DbfBuilder table;
    int64_t truncateTo;
    std::string message;
  };
  const std::vector<Case> cases = {
      {two, 20,
       refused + "ストリームからの読み込みエラー (ヘッダーに 32 バイト必要ですが、ファイルは "
                 "20 バイトです)"},
      {DbfBuilder(two).RecordLength(2), -1,
       refused + "DBFのヘッダーが壊れています。 フィールドに 3 バイト必要ですが、レコード長は "
                 "2 バイトです"},
      {DbfBuilder().Field("A", 'C', 2).Field("M", 'M', 10).Record({"x", "1"}).Record({"y", "2"}),
       -1, refused + "対応していないフィールド型です。 (フィールド \"M\" 型 M)"},
      // One record more in the header than in the file: the table's fault, not the shape's.
      {DbfBuilder(two).RecordCount(3), -1,
       "DBFファイル \"" + table +
           "\" のレコード 3 を読めません: ストリームからの読み込みエラー (ヘッダーのレコード数は 3 "
           "件ですが、ファイルには 2 件分しかありません)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    c.table.Write(table, c.truncateTo);
    const CliRun run = Plexor("convert -c 0 " + dir / "t.shp");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("SHPファイル"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "t.mif"));
  }
}

}  // namespace
}  // namespace plexor
