// Seed inputs for the hostile-input targets: well-formed files of every kind the program
// meets, plus the damaged variants the fixture builders know, so that a fuzzer starts from
// the interesting places rather than from nothing.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <initializer_list>

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

// Coordinate-system texts as the writers of the wild write them: ESRI's and OGC's WKT1, WKT2,
// systems with heights, and the damaged ones.
std::vector<std::string> PrjTexts() {
  const std::string tokyo =
      "GEOGCS[\"GCS_Tokyo\",DATUM[\"D_Tokyo\",SPHEROID[\"Bessel_1841\",6377397.155,"
      "299.1528128]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";
  const std::string jgd2000 =
      "GEOGCS[\"GCS_JGD_2000\",DATUM[\"D_JGD_2000\",SPHEROID[\"GRS_1980\",6378137.0,"
      "298.257222101]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";
  const std::string zone9 =
      "PROJCS[\"JGD_2000_Japan_Zone_9\"," + jgd2000 +
      ",PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",0.0],"
      "PARAMETER[\"False_Northing\",0.0],PARAMETER[\"Central_Meridian\",139.8333333333333],"
      "PARAMETER[\"Scale_Factor\",0.9999],PARAMETER[\"Latitude_Of_Origin\",36.0],"
      "UNIT[\"Meter\",1.0]]";
  std::vector<std::string> t;
  t.push_back(tokyo);
  t.push_back(zone9);
  t.push_back(
      "PROJCS[\"JGD2011 / Japan Plane Rectangular CS I\",GEOGCS[\"JGD2011\",DATUM[\"Japanese_"
      "Geodetic_Datum_2011\",SPHEROID[\"GRS 1980\",6378137,298.257222101,AUTHORITY[\"EPSG\","
      "\"7019\"]],AUTHORITY[\"EPSG\",\"1128\"]],PRIMEM[\"Greenwich\",0,AUTHORITY[\"EPSG\",\"8901\"]"
      "],UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]],AUTHORITY[\"EPSG\","
      "\"6668\""
      "]],PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",33],PARAMETER["
      "\"central_meridian\",129.5],PARAMETER[\"scale_factor\",0.9999],PARAMETER[\"false_easting\","
      "0],PARAMETER[\"false_northing\",0],UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],AXIS["
      "\"Northing\",NORTH],AXIS[\"Easting\",EAST],AUTHORITY[\"EPSG\",\"6669\"]]");
  t.push_back(
      "PROJCRS[\"Tokyo / Japan Plane Rectangular CS XIX\",BASEGEOGCRS[\"Tokyo\",DATUM[\"Tokyo\","
      "ELLIPSOID[\"Bessel 1841\",6377397.155,299.1528128,LENGTHUNIT[\"metre\",1]]],PRIMEM["
      "\"Greenwich\",0,ANGLEUNIT[\"degree\",0.0174532925199433]],ID[\"EPSG\",4301]],CONVERSION["
      "\"Japan Plane Rectangular CS zone XIX\",METHOD[\"Transverse Mercator\",ID[\"EPSG\",9807]],"
      "PARAMETER[\"Latitude of natural origin\",26,ANGLEUNIT[\"degree\",0.0174532925199433],ID["
      "\"EPSG\",8801]],PARAMETER[\"Longitude of natural origin\",154,ANGLEUNIT[\"degree\","
      "0.0174532925199433],ID[\"EPSG\",8802]],PARAMETER[\"Scale factor at natural origin\",0.9999,"
      "SCALEUNIT[\"unity\",1],ID[\"EPSG\",8805]]],CS[Cartesian,2],AXIS[\"northing (X)\",north,"
      "LENGTHUNIT[\"metre\",1]],AXIS[\"easting (Y)\",east,LENGTHUNIT[\"metre\",1]],ID[\"EPSG\","
      "30179]]");
  t.push_back(
      "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],PRIMEM["
      "\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433],AUTHORITY[\"EPSG\",\"4326\"]]");
  t.push_back(zone9 + ",VERTCS[\"JGD2000_vertical\",VDATUM[\"Tokyo Bay\"],UNIT[\"Meter\",1.0]]");
  t.push_back("\xEF\xBB\xBF" + tokyo + "\r\n" + std::string(3, '\0'));
  // A stated code naming another entry than the definition, feet, another projection.
  t.push_back(tokyo.substr(0, tokyo.size() - 1) + ",AUTHORITY[\"EPSG\",\"4612\"]]");
  t.push_back(zone9.substr(0, zone9.rfind("UNIT")) + "UNIT[\"Foot_US\",0.3048006096012192]]");
  t.push_back("PROJCS[\"x\"," + tokyo + ",PROJECTION[\"Lambert_Conformal_Conic\"],UNIT[\"m\",1]]");
  t.push_back("GEOGCS[\"\x93\x8c\x8b\x9e\",DATUM[\"\x93\x8c\x8b\x9e\x91\xaa\x92\x6e\x8c\x6e\"]]");
  t.push_back(zone9.substr(0, 150));
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "A[";
  t.push_back(deep + std::string(40, ']'));
  t.push_back("COMPD_CS[\"a\"\"b\",PROJCS(\"p\",GEOGCS(\"g\",DATUM(\"D_Tokyo\")),1e999)]");
  t.push_back("GEOGCS[\"g\",DATUM[\"d\",+1.5e-3,-0,.5,5.,1e+300,4.9e-324]]");
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
    // Every Z and M kind and the multipoints, which are converted as their 2-D kinds.
    seeds.push_back(JoinPair(30, table,
                             ShpBuilder()
                                 .PointZM(11, 1, 2, true)
                                 .PointZM(21, 3, 4, true)
                                 .MultiPartZM(13, {0}, {{0, 0}, {1, 1}}, false)
                                 .MultiPartZM(15, {0}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}}, true)
                                 .MultiPartZM(23, {0, 2}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, true)
                                 .Bytes()));
    seeds.push_back(JoinPair(0, table,
                             ShpBuilder()
                                 .MultiPartZM(25, {0}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}}, true)
                                 .MultiPoint(8, {{1, 1}, {2, 2}}, false)
                                 .MultiPoint(18, {{1, 1}}, true)
                                 .MultiPoint(28, {{1, 1}, {5, 5}, {6, 6}}, true)
                                 .PointZM(11, 5, 6, false)
                                 .Bytes()));
    // Counts that claim more than the content length holds, and a record of no content.
    seeds.push_back(JoinPair(5, table,
                             ShpBuilder()
                                 .PolyLine({0}, {{0, 0}, {1, 1}})
                                 .LastContentLength(10)
                                 .MultiPointRaw(8, 3, {{1, 1}})
                                 .Other(5, "")
                                 .LastContentLength(0)
                                 .Point(1, 1)
                                 .Bytes()));
    seeds.push_back(JoinPair(6, EveryFieldType().Bytes(),
                             ShpBuilder()
                                 .MultiPartRaw(5, 2, 4, {0, 0}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}})
                                 .MultiPartRaw(3, 2, 4, {2, 1}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}})
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
  } else if (target == "prj") {
    for (std::string& p : PrjTexts()) seeds.push_back(std::move(p));
  } else if (target == "encoding") {
    const std::string cp932 =
        DbfBuilder().Field("NAME", 'C', 8).Record({"\x93\x8c\x8b\x9e"}).Bytes();
    const std::string utf8 =
        DbfBuilder().Field("NAME", 'C', 6).Record({"東京"}).Record({"ab"}).Bytes();
    // A value that fills its field, cut inside its last character by a writer counting bytes.
    const std::string cut = DbfBuilder().Field("NAME", 'C', 4).Record({"東\xE4"}).Bytes();
    const std::string surrogate =
        DbfBuilder().Field("NAME", 'C', 6).Record({"\xED\xA0\x80"}).Bytes();
    const std::string ascii = DbfBuilder().Field("NAME", 'C', 6).Record({"plain"}).Bytes();
    std::string driver = cp932;
    driver[29] = 0x13;
    seeds.push_back(JoinParts(0, {"", "", utf8}));
    seeds.push_back(JoinParts(0, {"", "", cp932}));
    seeds.push_back(JoinParts(0, {"", "", cut}));
    seeds.push_back(JoinParts(0, {"", "", surrogate}));
    seeds.push_back(JoinParts(0, {"", "", driver}));
    seeds.push_back(JoinParts(2, {"", "UTF-8", cp932}));
    seeds.push_back(JoinParts(2, {"", "\xEF\xBB\xBFutf8\r\n", utf8}));
    seeds.push_back(JoinParts(6, {"", " cp1252\r\n", utf8}));
    seeds.push_back(JoinParts(2, {"", "ISO 8859-5", ascii}));
    seeds.push_back(JoinParts(2, {"", "klingon\x01\xFF", cp932}));
    seeds.push_back(JoinParts(2, {"", "ANSI 1251", driver}));
    seeds.push_back(JoinParts(1, {"Shift_JIS", "UTF-8", utf8}));
    seeds.push_back(JoinParts(1, {"bogus", "", utf8}));
    seeds.push_back(JoinParts(1, {"windows-1252", "", ""}));
  } else if (target == "batchrun") {
    auto list = [](const char* flag, const char* name, std::initializer_list<const char*> rows) {
      std::string text = std::string("Plexor\r\n200\r\n") + flag + "\r\n" + name + "\r\n";
      for (const char* row : rows) text += std::string(row) + "\r\n";
      return text;
    };
    seeds.push_back(
        list("0", "", {"\"30\"\t\"a.shp\"\t\"a.mif\"", "\"30\"\t\"b.shp\"\t\"b.mif\""}));
    seeds.push_back(list("-1", "all.mif", {"30 a.shp a.mif", "30 b.shp b.mif"}));
    seeds.push_back(list("True", "all.mif", {"30 a.shp a.mif", "30 c.shp c.mif"}));
    seeds.push_back(list("-1", "a.mif", {"30 a.shp a.mif", "30 b.shp b.mif"}));
    seeds.push_back(list("-1", "all.shx", {"30 a.shp a.mif", "30 b.shp b.mif"}));
    // Targets that are inputs or their companions.
    seeds.push_back(list("0", "", {"30 c.shp a.prj", "30 c.shp a.dbf", "30 a.shp a.shp"}));
    seeds.push_back(list("0", "", {"30 b.shp a.cpg", "30 b.shp a.shx", "30 b.shp a.mid"}));
    // One target from two sources, the same row twice, a chain through an output.
    seeds.push_back(list("0", "", {"30 a.shp x.mif", "30 b.shp x.mif"}));
    seeds.push_back(list("0", "", {"30 a.shp x.mif", "30 a.shp x.mif"}));
    seeds.push_back(list("0", "", {"30 a.shp a2.mif", "30 a2.mif x.mif", "30 a.shp a2"}));
    seeds.push_back(list("0", "", {"30 d.shp d.mif", "30 zz.shp zz.mif", "12 道.shp 道.mif"}));
    seeds.push_back(list("0", "", {"0 a.shp \"a b.mif\"", "40 b.shp b", "05 c.shp c.mif"}));
  } else if (target == "placement") {
    seeds.push_back(
        "[Window]\r\nLeft=300\r\nTop=20\r\nWidth=700\r\nHeight=500\r\nState=0\r\n"
        "DateFormat=yyyymmdd\r\n");
    seeds.push_back("[Window]\r\nState=1\r\nDateFormat = YYYYMMDD \r\n");
    seeds.push_back("; kept\n[Other]\nLeft=1\n[window]\nleft=-40\ntop=0x10\nSTATE=2\n[Tail]\nx=y");
    seeds.push_back("[Window]\rLeft=\"5\"\r[Window]\rTop=7\rDateFormat=yyyy/mm/dd\rState=9");
    seeds.push_back("");
  } else if (target == "info") {
    for (const char* name : kSamples) {
      const std::string base = name;
      const std::string shp = SampleBytes(samplesDir, base + ".shp");
      if (shp.empty()) continue;
      seeds.push_back(JoinParts(1, {shp, SampleBytes(samplesDir, base + ".dbf")}));
    }
    const std::string prjs = PrjTexts().front();
    const std::string table = EveryFieldType().Bytes();
    const std::string shapes = ShpBuilder()
                                   .Point(139.5, 35)
                                   .PointZM(11, 1, 2, true)
                                   .MultiPoint(28, {{1, 1}}, true)
                                   .Null()
                                   .Bytes();
    seeds.push_back(JoinParts(1 | 2, {shapes, table, prjs}));
    seeds.push_back(JoinParts(
        1 | 2 | 4 | 8, {shapes, table, "PROJCS[\"\x93\x8c\x8b\x9e\",GEOGCS[\"x\"]]", "UTF-8"}));
    seeds.push_back(JoinParts(1 | 16, {shapes, DbfBuilder()
                                                   .Field("\xE6\x9D\xB1\xFF", 'C', 6)
                                                   .Field("MEMO", 'M', 10)
                                                   .Record({"東", "x"})
                                                   .Bytes()}));
    seeds.push_back(
        JoinParts(1 | 32, {ShpBuilder().Point(1, 2).Raw(std::string(7, '\0')).Bytes(), table}));
    seeds.push_back(JoinParts(
        1 | 48, {ShpBuilder().Version(1001).Bytes(), EveryFieldType().RecordCount(9).Bytes()}));
    seeds.push_back(
        JoinParts(4, {ShpBuilder().Point(1, 2).Other(5, "").LastContentLength(0).Bytes(), "", "",
                      "\xFFklingon"}));
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
  } else if (target == "zip") {
    seeds = ZipArchiveSeeds();
  }
  return seeds;
}

}  // namespace plexor::hostile
