// Shapefiles as people receive them: zip archives written by other tools, folders, and the
// hostile archives among them, through the real plexor binary.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/DbfBuilder.h"
#include "support/ShpBuilder.h"
#include "support/ZipBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;
using test::ReadFile;
using test::ShpBuilder;
using test::TempDir;
using test::ZipBuilder;

struct ShellRun {
  int exitCode;
  std::string out;
};

ShellRun Shell(const std::string& command) {
  ShellRun run{-1, {}};
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    run.out.append(buffer.data(), got);
  }
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ShellRun Plexor(const std::string& args) {
  return Shell(std::string(PLEXOR_BINARY_DIR) + "/plexor " + args);
}

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

const std::string kRoads = "\xE9\x81\x93\xE8\xB7\xAF";  // 道路
const std::string kStations = "\xE9\xA7\x85";           // 駅
const std::string kRoadsCp932 = "\x93\xB9\x98\x48";     // 道路 in code page 932
const std::string kStationsCp932 = "\x89\x77";          // 駅 in code page 932

// Two shapefiles in sub-folders with Japanese names, as a folder on disk.
void MakeTree(const std::string& root) {
  std::filesystem::create_directories(root + "/" + kRoads);
  std::filesystem::create_directories(root + "/" + kStations + "/2024");
  ShpBuilder lines;
  lines.HeaderShapeType(3);
  DbfBuilder lineTable;
  lineTable.Field("NAME", 'C', 12).Field("LANES", 'N', 2);
  for (int i = 0; i < 40; ++i) {
    lines.PolyLine({0}, {{-5000.5 + i, 250.25}, {-4000 + i * 3.5, 300}});
    lineTable.Record({"\x8D\x91\x93\xB9" + std::to_string(i), std::to_string(i % 4)});
  }
  lines.Write(root + "/" + kRoads + "/" + kRoads + ".shp");
  lineTable.Write(root + "/" + kRoads + "/" + kRoads + ".dbf");
  ShpBuilder points;
  points.HeaderShapeType(1);
  DbfBuilder pointTable;
  pointTable.Field("NAME", 'C', 8);
  for (int i = 0; i < 25; ++i) {
    points.Point(-30000 + i * 10.5, 12000.125);
    pointTable.Record({"\x89\x77" + std::to_string(i)});
  }
  points.Write(root + "/" + kStations + "/2024/STATIONS.SHP");
  // Companions in other letter case, as Windows tools write them.
  pointTable.Write(root + "/" + kStations + "/2024/STATIONS.dbf");
}

// The references: each shapefile converted from the folder.
void ConvertTree(const std::string& root, const std::string& out) {
  std::filesystem::create_directories(out);
  ASSERT_EQ(Plexor("convert -c 30 -r " + Quoted(root) + " -d " + Quoted(out)).exitCode, 0);
}

void ExpectSameOutputs(const std::string& expected, const std::string& actual) {
  for (const std::string& name : {kRoads + ".mif", kRoads + ".mid", std::string("STATIONS.mif"),
                                  std::string("STATIONS.mid")}) {
    ASSERT_TRUE(std::filesystem::exists(actual + "/" + name)) << name;
    EXPECT_EQ(ReadFile(actual + "/" + name), ReadFile(expected + "/" + name)) << name;
  }
}

TEST(ArchiveSources, ArchivesOfOtherToolsConvertLikeTheFilesUnpacked) {
  TempDir dir;
  MakeTree(dir / "tree");
  ConvertTree(dir / "tree", dir / "expected");
  ASSERT_GT(ReadFile(dir / ("expected/" + kRoads + ".mid")).size(), 400u);

  // Python's zipfile: deflated, names in UTF-8 with the flag set.
  const ShellRun python = Shell(
      "cd " + Quoted(dir / "tree") +
      " && python3 -c \"import zipfile,os\n"
      "z=zipfile.ZipFile('../python.zip','w',zipfile.ZIP_DEFLATED)\n"
      "for d,_,fs in sorted(os.walk('.')):\n"
      " for f in sorted(fs): z.write(os.path.join(d,f))\n"
      "z.close()\n"
      "assert all(i.flag_bits & 0x800 for i in zipfile.ZipFile('../python.zip').infolist())\"");
  ASSERT_EQ(python.exitCode, 0) << python.out;
  // Info-ZIP's zip from a Japanese Windows share: the same tree under code page 932 names,
  // stored as those bytes without a flag.
  const ShellRun cp932 = Shell(
      "cd " + Quoted(dir.Path()) +
      " && python3 -c \"import os,shutil\n"
      "for d,_,fs in os.walk(b'tree'):\n"
      " t=os.path.join(b'cp932',*[p.decode().encode('cp932') for p in d.split(b'/')[1:]])\n"
      " os.makedirs(t,exist_ok=True)\n"
      " for f in fs: shutil.copy(os.path.join(d,f),os.path.join(t,f.decode().encode('cp932')))\""
      " && cd cp932 && zip -qr ../infozip.zip .");
  ASSERT_EQ(cp932.exitCode, 0) << cp932.out;
  ASSERT_NE(ReadFile(dir / "infozip.zip").find(kRoadsCp932 + "/" + kRoadsCp932 + ".shp"),
            std::string::npos);

  for (const char* archive : {"python.zip", "infozip.zip"}) {
    SCOPED_TRACE(archive);
    std::filesystem::create_directories(dir / "out");
    const ShellRun run =
        Plexor("convert -c 30 " + Quoted(dir / archive) + " -d " + Quoted(dir / "out"));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    // Members are named as they are read, through the archive, in UTF-8.
    EXPECT_NE(run.out.find(std::string(archive) + "/" + kRoads + "/" + kRoads + ".shp: 40 objects"),
              std::string::npos)
        << run.out;
    ExpectSameOutputs(dir / "expected", dir / "out");
    std::filesystem::remove_all(dir / "out");
  }
  // Beside the archive by default, and `info` lists what it holds.
  const ShellRun beside = Plexor("convert -c 30 " + Quoted(dir / "infozip.zip"));
  EXPECT_EQ(beside.exitCode, 0) << beside.out;
  ExpectSameOutputs(dir / "expected", dir.Path());
  // A member's path goes through a batch file and back.
  test::WriteFile(dir / "list.txt", "Plexor\r\n200\r\n0\r\n\r\n\"30\"\t\"" +
                                        dir / ("python.zip/" + kRoads + "/" + kRoads + ".shp") +
                                        "\"\t\"" + dir / "row.mif" + "\"\r\n");
  const ShellRun batch = Plexor("batch " + Quoted(dir / "list.txt"));
  EXPECT_EQ(batch.exitCode, 0) << batch.out;
  EXPECT_EQ(ReadFile(dir / "row.mid"), ReadFile(dir / ("expected/" + kRoads + ".mid")));
  const ShellRun info = Plexor("info " + Quoted(dir / "python.zip"));
  EXPECT_NE(info.out.find("python.zip/" + kRoads + "/" + kRoads +
                          ".shp\n  図形の種類: PolyLine\n"
                          "  レコード数: 40"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("/2024/STATIONS.SHP\n  図形の種類: Point"), std::string::npos);
}

TEST(ArchiveSources, ClashingAndRefusedMembersAreSaidBeforeAnythingIsWritten) {
  TempDir dir;
  const std::string shp = ShpBuilder().HeaderShapeType(1).Point(1, 2).Bytes();
  DbfBuilder table;
  table.Field("A", 'C', 2).Record({"x"});
  table.Write(dir / "t.dbf");
  const std::string dbf = ReadFile(dir / "t.dbf");

  ZipBuilder clash;
  clash.Add("a/roads.shp", shp);
  clash.Add("a/roads.dbf", dbf);
  clash.Add("b/roads.shp", shp);
  clash.Add("b/roads.dbf", dbf);
  clash.Write(dir / "clash.zip");
  const ShellRun clashRun = Plexor("convert -c 0 " + dir / "clash.zip");
  EXPECT_EQ(clashRun.exitCode, 2) << clashRun.out;
  EXPECT_NE(clashRun.out.find("clash.zip/a/roads.shp と " + dir / "clash.zip/b/roads.shp は同じ"),
            std::string::npos)
      << clashRun.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "roads.mif"));

  // A hostile member is refused by name; the others convert; nothing is written outside.
  std::filesystem::create_directories(dir / "in");
  ZipBuilder hostile;
  hostile.Add("ok.shp", shp);
  hostile.Add("ok.dbf", dbf);
  hostile.Add("../../escape.shp", shp);
  hostile.Add("../../escape.dbf", dbf);
  hostile.Add("locked.shp", shp).Flags = 0x0001;
  hostile.Add("locked.dbf", dbf);
  hostile.Add("crc.shp", shp).Crc = 7;
  hostile.Add("crc.dbf", dbf);
  hostile.Add("table.shp", shp);
  hostile.Add("table.dbf", dbf).Crc = 7;
  hostile.Write(dir / "in/h.zip");
  const ShellRun run = Plexor("convert -c 0 " + dir / "in/h.zip");
  EXPECT_EQ(run.exitCode, 3) << run.out;
  EXPECT_NE(run.out.find("\"../../escape.shp\" を読めません: \"..\" や絶対パス"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"locked.shp\" を読めません: 暗号化されています"), std::string::npos);
  EXPECT_NE(run.out.find("\"crc.shp\" を読めません: CRC が合いません"), std::string::npos);
  EXPECT_NE(run.out.find("\"table.dbf\" を読めません: CRC が合いません"), std::string::npos);
  std::vector<std::string> written;
  for (const auto& e : std::filesystem::directory_iterator(dir / "in")) {
    written.push_back(e.path().filename().string());
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"h.zip", "ok.mid", "ok.mif"}));
  EXPECT_FALSE(std::filesystem::exists(dir / "escape.mif"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/../escape.mif"));

  // A damaged archive stops only itself.
  test::WriteFile(dir / "cut.zip", clash.Bytes().substr(0, 100));
  const ShellRun cut = Plexor("info " + dir / "cut.zip");
  EXPECT_NE(cut.out.find("cut.zip\" を読めません: ZIP の終わりのレコードがありません"),
            std::string::npos)
      << cut.out;
}

TEST(ArchiveSources, FoldersConvertInSortedOrderAndSubFoldersOnlyWhenAsked) {
  TempDir dir;
  MakeTree(dir / "tree");
  ShpBuilder().HeaderShapeType(1).Point(1, 2).Write(dir / "tree/b.shp");
  DbfBuilder().Field("A", 'C', 2).Record({"x"}).Write(dir / "tree/b.dbf");
  ShpBuilder().HeaderShapeType(1).Point(1, 2).Write(dir / "tree/a.shp");
  DbfBuilder().Field("A", 'C', 2).Record({"y"}).Write(dir / "tree/a.dbf");

  const ShellRun flat = Plexor("convert -c 0 " + Quoted(dir / "tree"));
  EXPECT_EQ(flat.exitCode, 0) << flat.out;
  EXPECT_LT(flat.out.find("tree/a.shp: 1 objects"), flat.out.find("tree/b.shp: 1 objects"));
  EXPECT_EQ(flat.out.find("STATIONS"), std::string::npos) << flat.out;
  EXPECT_TRUE(std::filesystem::exists(dir / "tree/a.mif"));

  const ShellRun deep = Plexor("convert -c 0 -r " + Quoted(dir / "tree"));
  EXPECT_EQ(deep.exitCode, 0) << deep.out;
  EXPECT_NE(deep.out.find("2024/STATIONS.SHP: 25 objects"), std::string::npos) << deep.out;
  EXPECT_TRUE(std::filesystem::exists(dir / "tree/" + kStations + "/2024/STATIONS.mif"));

  // Into one folder, two shapefiles of one name would write one pair: refused first.
  std::filesystem::create_directories(dir / "tree/more");
  ShpBuilder().HeaderShapeType(1).Point(1, 2).Write(dir / "tree/more/a.shp");
  DbfBuilder().Field("A", 'C', 2).Record({"z"}).Write(dir / "tree/more/a.dbf");
  std::filesystem::create_directories(dir / "out");
  const ShellRun clash = Plexor("convert -c 0 -r " + Quoted(dir / "tree") + " -d " + dir / "out");
  EXPECT_EQ(clash.exitCode, 2) << clash.out;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
  const ShellRun empty = Plexor("convert -c 0 " + dir / "out");
  EXPECT_EQ(empty.exitCode, 3);
  EXPECT_NE(empty.out.find("シェープファイルがありません"), std::string::npos) << empty.out;
}

}  // namespace
}  // namespace plexor
