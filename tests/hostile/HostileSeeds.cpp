// Seed inputs for the hostile-input targets: well-formed files of every kind the program
// meets, plus the damaged variants the fixture builders know, so that a fuzzer starts from
// the interesting places rather than from nothing.
#include <cmath>
#include <cstring>
#include <filesystem>

#include "engine/Batch.h"
#include "hostile/HostileTargets.h"
#include "support/DbfBuilder.h"
#include "support/Endian.h"
#include "support/ShpBuilder.h"

namespace plexor::hostile {
namespace {

using test::DbfBuilder;
using test::LE32;
using test::LEDouble;
using test::ShpBuilder;

const char* const kSamples[] = {"stations", "roads", "parcels"};

std::string SampleBytes(const std::string& dir, const std::string& name) {
  if (dir.empty() || !std::filesystem::exists(dir + "/" + name)) return {};
  return test::ReadFile(dir + "/" + name);
}

DbfBuilder EveryFieldType() {
  DbfBuilder b;
  b.Field("NAME", 'C', 12)
      .Field("CODE", 'N', 8)
      .Field("AREA", 'N', 12, 3)
      .Field("DAY", 'D', 8)
      .Field("OK", 'L', 1);
  b.Record({"\x93\x8c\x8b\x9e", "-12", "1.500", "20040115", "T"});
  b.Deleted({"gone", "9999", "0", "", "F"});
  b.Record({"  lead", "", "1e3", "20001301", "t"});
  b.Record({"a\"b,c", "2147483648", "12.5", "        ", "?"});
  b.Record({std::string("nul\0in", 6), "+7", "-0.125", "20000229", "F"});
  return b;
}

std::vector<std::string> Tables() {
  std::vector<std::string> t;
  t.push_back(EveryFieldType().Bytes());
  t.push_back(EveryFieldType().MdxFlag(1).Bytes());
  t.push_back(EveryFieldType().Version(0xFB).Bytes());
  t.push_back(EveryFieldType().RecordCount(9).Bytes());
  t.push_back(EveryFieldType().HeaderTail("\x0D\x00").Bytes());
  t.push_back(DbfBuilder().Bytes());  // no fields, no records
  t.push_back(DbfBuilder().Field("NAME", 'C', 8).Bytes());
  t.push_back(DbfBuilder().Field("NAME", 'C', 8).Field("name", 'C', 4).Record({"a", "b"}).Bytes());
  t.push_back(DbfBuilder().Field("MEMO", 'M', 10).Record({"x"}).Bytes());
  t.push_back(DbfBuilder()
                  .Field("WIDE", 'C', 255)
                  .Field("N", 'N', 20, 18)
                  .Record({std::string(255, 'w'), "0.123456789012345678"})
                  .Bytes());
  t.push_back(DbfBuilder()
                  .Field("NAME", 'C', 8)
                  .Record({"a"})
                  .Deleted({"b"})
                  .Deleted({"c"})
                  .EndMarker(false)
                  .Bytes());
  return t;
}

}  // namespace

std::vector<std::string> Seeds(std::string_view target, const std::string& samplesDir) {
  std::vector<std::string> seeds;
  if (target == "convert") {
    for (const char* name : kSamples) {
      const std::string base = name;
      const std::string dbf = SampleBytes(samplesDir, base + ".dbf");
      const std::string shp = SampleBytes(samplesDir, base + ".shp");
      if (dbf.empty() || shp.empty()) continue;
      seeds.push_back(JoinPair(30, dbf, shp));
      seeds.push_back(JoinPair(0 | 64 | 128, dbf, shp));
    }
    const std::string table = EveryFieldType().Bytes();
    seeds.push_back(JoinPair(0, table,
                             ShpBuilder()
                                 .Point(139.5, 35)
                                 .PolyLine({0}, {{0, 0}, {1, 1}, {2, 0}})
                                 .Polygon({0}, {{0, 0}, {0, 1}, {1, 1}, {1, 0}})
                                 .Null()
                                 .Other(8, LEDouble(0) + LEDouble(0) + LEDouble(1) + LEDouble(1) +
                                               LE32(1) + LEDouble(0.5) + LEDouble(0.5))
                                 .Bytes()));
    seeds.push_back(JoinPair(
        12, table,
        ShpBuilder()
            .PolyLine({0, 2}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}})
            .Polygon({0, 4}, {{0, 0}, {0, 9}, {9, 9}, {0, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 1}})
            .MultiPartRaw(5, 3, 4, {0, 3, 2}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}})
            .Point(-1e300, 5e-324)
            .Bytes()));
    seeds.push_back(JoinPair(41, DbfBuilder().Field("NAME", 'C', 8).Bytes(), ShpBuilder().Bytes()));
    seeds.push_back(
        JoinPair(1, DbfBuilder().Bytes(), ShpBuilder().Point(1, 2).Point(3, 4).Bytes()));
    seeds.push_back(
        JoinPair(2, EveryFieldType().MdxFlag(1).Bytes(), ShpBuilder().Point(1, 2).Bytes()));
    seeds.push_back(JoinPair(3, table, ShpBuilder().Version(1001).Point(1, 2).Bytes()));
    seeds.push_back(JoinPair(4, table, ShpBuilder().Point(1, 2).Raw(std::string(7, '\0')).Bytes()));
  } else if (target == "table") {
    for (const char* name : kSamples) {
      const std::string dbf = SampleBytes(samplesDir, std::string(name) + ".dbf");
      if (!dbf.empty()) seeds.push_back(dbf);
    }
    for (std::string& t : Tables()) seeds.push_back(std::move(t));
  } else if (target == "batch") {
    const std::string sample = SampleBytes(samplesDir, "batch.txt");
    if (!sample.empty()) seeds.push_back(sample);
    std::vector<TBatchRow> rows = {MakeBatchRow(5, "C:\\data\\a b.shp", "C:\\out\\a.mif"),
                                   MakeBatchRow(40, "道.shp", "道.mif")};
    rows[0].IndexText = "05";
    seeds.push_back(BuildBatchFileText(true, "統合.mif", rows));
    seeds.push_back(BuildBatchFileText(false, "", {}));
    seeds.push_back(" PLEXOR \n200\rTrue\r\n\r\n3 in.shp out.mif\n\"3\",\"x\",\"y\"");
    seeds.push_back("\xEF\xBB\xBFPlexor\r\n200\r\n0\r\nc.mif\r\n");
    seeds.push_back("Plexor\r\n200\r\nfalse\r\nc.mif\r\n\"41\"\t\"a\"\t\"b\"\r\n");
    seeds.push_back(std::string("Plexor\r\n200\r\n1.5\r\nc\0.mif\r\n", 25));
  } else if (target == "csv") {
    auto add = [&](int n, std::string_view line) {
      std::string s(1, static_cast<char>(n));
      s.append(line);
      seeds.push_back(s);
    };
    add(2, "\"0\"\t\"C:\\a b\\c.shp\"\t\"C:\\out\\c.mif\"");
    add(4, "\"0\"\t\"C:\\a b\\c.shp\"\t\"C:\\out\\c.mif\"");
    add(3, "one two three");
    add(2, "a,b,");
    add(1, ",a");
    add(2, "\"say \"\"hi\"\"\",\"open");
    add(3, std::string("a\0b c", 5));
    add(-1, "  \x01\x1F,,  ");
  } else if (target == "profile") {
    seeds.push_back("[Window]\r\nLeft=300\r\nTop=20\r\nWidth=700\r\nHeight=500\r\nState=0\r\n");
    seeds.push_back("[Window]\r\nState=1\r\n");
    seeds.push_back("; comment\n[other]\nkey=value\n\n[WINDOW]\nleft = 0x64\ntop=abc\nState=$2\n");
    seeds.push_back("[Window\rLeft=\"-5\"\rWidth='0X7FFFFFFF'\r[Window]\rTop=-2147483648");
    seeds.push_back("Left=1\r\n[Window]\r\n\r\n[Next]\r\nLeft=2");
  } else if (target == "numbers") {
    auto add = [&](double v, char sep, int year, int month, int day, char dateSep,
                   std::string_view format) {
      std::string s(8, '\0');
      PutLEDouble(s.data(), v);
      s += sep;
      s += static_cast<char>((year - 1) & 0xFF);
      s += static_cast<char>((year - 1) >> 8);
      s += static_cast<char>(month - 1);
      s += static_cast<char>(day - 1);
      s += dateSep;
      s.append(format);
      seeds.push_back(s);
    };
    add(139.5, '.', 2004, 1, 15, '/', "yyyy/mm/dd");
    add(-0.000000005, ',', 1999, 12, 31, '-', "d.m.yy");
    add(1e18, '.', 33, 2, 3, '/', "YYYY-MM-DD");
    add(1e20, '.', 2000, 2, 29, '/', "yyyymmdd");
    add(0.1, '.', 9999, 11, 25, '.', "yyy/m/d");
    add(123456789012345.678, '.', 1, 1, 1, '/', "dddd mmmm yyyyy");
    add(std::nan(""), '.', 2024, 6, 30, '/', "");
    add(-HUGE_VAL, '.', 2024, 6, 30, '/', "y");
    add(4.9406564584124654e-324, '.', 2024, 6, 30, '/', "mm");
    add(9.9999999999999995e-5, '.', 2024, 6, 30, '/', "dd");
  }
  return seeds;
}

}  // namespace plexor::hostile
