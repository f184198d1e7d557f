// Shapefiles as today's tools write them (UTF-8 tables, Z and M shapes, multipoints, a .prj
// to follow, field names and types older readers choke on) are made by GDAL's ogr2ogr,
// converted by the plexor command and read back by GDAL: the same features, X/Y to 1e-8 and
// the same attribute values.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "interop/InteropSupport.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::ExpectSameLayer;
using test::HaveGdal;
using test::ParseCsv;
using test::Shell;
using test::SplitWkt;

using Rows = std::vector<std::vector<std::string>>;

struct CommandResult {
  int code = -1;
  std::string out, err;
};

CommandResult Execute(const test::TempDir& dir, const std::string& command) {
  const int status =
      std::system((command + " >'" + dir / "out.txt" + "' 2>'" + dir / "err.txt" + "'").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(dir / "out.txt"),
          test::ReadFile(dir / "err.txt")};
}

std::string Plexor() {
  return std::string(PLEXOR_BINARY_DIR) + "/plexor";
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Num(double v) {
  std::ostringstream s;
  s.precision(17);
  s << v;
  return s.str();
}

std::string Feature(const std::string& properties, const std::string& type,
                    const std::string& coordinates) {
  return R"({"type":"Feature","properties":)" + properties + R"(,"geometry":{"type":")" + type +
         R"(","coordinates":)" + coordinates + "}}";
}

std::string Join(const std::vector<std::string>& features) {
  std::string text;
  for (const auto& f : features) text += (text.empty() ? "" : ",") + f;
  return text;
}

// Random shapes whose every vertex carries a Z the 2D output has to drop.
class Shapes {
 public:
  Shapes(double x0, double x1, double y0, double y1) : x_(x0, x1), y_(y0, y1) {}

  std::string Point() { return Xyz(x_(rng_), y_(rng_)); }
  std::string Line(int n) {
    std::string line = "[";
    for (int k = 0; k < n; ++k) line += (k ? "," : "") + Point();
    return line + "]";
  }
  std::string Ring(double cx, double cy, double r, int n, bool clockwise) {
    std::string ring = "[", first;
    for (int k = 0; k < n; ++k) {
      const double a = (clockwise ? -1 : 1) * 2 * M_PI * k / n;
      const std::string p =
          Xyz(cx + r * std::cos(a) * std::uniform_real_distribution<double>(0.9, 1.1)(rng_),
              cy + r * std::sin(a));
      if (k == 0) first = p;
      ring += p + ",";
    }
    return ring + first + "]";
  }
  double X() { return x_(rng_); }
  double Y() { return y_(rng_); }

  // `count` features of one family: point, line (single and multi part), polygon (single
  // ring and islands), holed (a polygon with a hole) or multipoint.
  std::string Features(const std::string& family, int count) {
    std::vector<std::string> features;
    for (int i = 0; i < count; ++i) {
      const std::string properties = R"({"name":"地物)" + std::to_string(i) + R"(","code":)" +
                                     std::to_string(i * 37 - 50) + R"(,"ratio":)" +
                                     Num(i * 0.125 - 3.5) + "}";
      const double cx = X(), cy = Y();
      if (family == "point") {
        features.push_back(Feature(properties, "Point", Point()));
      } else if (family == "line") {
        features.push_back(
            i % 2 ? Feature(properties, "LineString", Line(3))
                  : Feature(properties, "MultiLineString", "[" + Line(2) + "," + Line(4) + "]"));
      } else if (family == "polygon") {
        features.push_back(
            i % 2 ? Feature(properties, "Polygon", "[" + Ring(cx, cy, 0.2, 7, false) + "]")
                  : Feature(properties, "MultiPolygon",
                            "[[" + Ring(cx, cy, 0.2, 5, false) + "],[" +
                                Ring(cx + 0.5, cy, 0.2, 6, false) + "]]"));
      } else if (family == "holed") {
        features.push_back(
            Feature(properties, "Polygon",
                    "[" + Ring(cx, cy, 0.3, 9, false) + "," + Ring(cx, cy, 0.1, 5, true) + "]"));
      } else {
        features.push_back(Feature(properties, "MultiPoint", Line(1 + i % 4)));
      }
    }
    return Join(features);
  }

 private:
  std::string Xyz(double x, double y) {
    return "[" + Num(x) + "," + Num(y) + "," +
           Num(std::uniform_real_distribution<double>(-50, 3000)(rng_)) + "]";
  }
  std::mt19937_64 rng_{7};
  std::uniform_real_distribution<double> x_, y_;
};

// The .dbf field descriptors start at byte 32, 32 bytes each: the name in bytes 0-10, the
// type letter in byte 11.
void PatchDescriptor(const std::string& dbf, int index, const std::string& name, char type = 0) {
  std::string bytes = test::ReadFile(dbf);
  const size_t at = 32 + 32 * static_cast<size_t>(index);
  if (!name.empty()) bytes.replace(at, 11, (name + std::string(11, '\0')).substr(0, 11));
  if (type) bytes[at + 11] = type;
  test::WriteFile(dbf, bytes);
}

// The MIF header lines up to Data.
std::vector<std::string> MifHeader(const std::string& mif) {
  std::vector<std::string> lines;
  std::istringstream in(test::ReadFile(mif));
  for (std::string line; std::getline(in, line) && line.rfind("Data", 0) != 0;) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string CoordSysLine(const std::string& mif) {
  for (const auto& line : MifHeader(mif)) {
    if (line.rfind("CoordSys ", 0) == 0) return line;
  }
  return {};
}

class TodaysShapefilesInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveGdal()) GTEST_SKIP() << "GDAL's ogr2ogr is not installed";
  }

  // GeoJSON -> shapefile by ogr2ogr (`gdalOptions` choose kind, encoding, .prj).
  std::string Shapefile(const std::string& name, const std::string& features,
                        const std::string& gdalOptions) {
    test::WriteFile(dir / (name + ".geojson"),
                    R"({"type":"FeatureCollection","features":[)" + features + "]}");
    const std::string shp = dir / (name + ".shp");
    EXPECT_EQ(Shell("ogr2ogr -f 'ESRI Shapefile' " + gdalOptions + " '" + shp + "' '" +
                    dir / (name + ".geojson") + "'"),
              0);
    return shp;
  }

  Rows Csv(const std::string& source, const std::string& options = "") {
    const std::string csv = source + ".csv";
    EXPECT_EQ(
        Shell("ogr2ogr -f CSV -lco GEOMETRY=AS_WKT " + options + " '" + csv + "' '" + source + "'"),
        0);
    return ParseCsv(test::ReadFile(csv));
  }

  // Shapefile as above; the expected rows are GDAL's own 2D reading of it, then `adjust`.
  // `alter` then edits the shapefile's files the way another program might (names, types,
  // .cpg) without touching what GDAL read; plexor `args` converts; GDAL reads the MIF back.
  void RoundTrip(const std::string& name, const std::string& features,
                 const std::string& gdalOptions, const std::string& args = "convert -c 1",
                 const std::function<void(const std::string& base)>& alter = {},
                 const std::function<void(Rows&)>& adjust = {}) {
    const std::string shp = Shapefile(name, features, gdalOptions);
    Rows expected = Csv(shp, "-dim XY");
    if (adjust) adjust(expected);
    if (alter) alter(dir / name);
    mif = dir / (name + ".mif");
    run = Execute(dir, Plexor() + " " + args + " '" + shp + "' -o '" + mif + "'");
    ASSERT_EQ(run.code, 0) << run.err;
    ExpectSameLayer(expected, Csv(mif));
  }

  // plexor info --json on `files`, one line a file: encoding, how it was decided, .prj entry,
  // field names. Python's json module reads the bytes strictly: invalid UTF-8 or a bad
  // escape fails it.
  CommandResult InfoSummary(const std::vector<std::string>& files) {
    test::WriteFile(
        dir / "summary.py",
        "import json, sys\n"
        "d = json.load(sys.stdin.buffer)\n"
        "for f in (d if isinstance(d, list) else [d]):\n"
        "    print(f['encoding']['name'], f['encoding']['decidedBy'], f['prj']['entry'],\n"
        "          '|'.join(x['name'] for x in f['fields']), sep=';')\n");
    std::string names;
    for (const auto& f : files) names += " '" + f + "'";
    return Execute(dir, "(cd '" + dir.Path() + "' && " + Plexor() + " info --json" + names +
                            " | PYTHONIOENCODING=utf-8 python3 summary.py)");
  }

  // Entry number -> the CoordSys line, as `plexor coordsys` lists them.
  std::map<std::string, std::string> Catalogue() {
    std::map<std::string, std::string> catalogue;
    std::istringstream lines(Execute(dir, Plexor() + " coordsys").out);
    for (std::string line; std::getline(lines, line);) {
      const size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
      catalogue[line.substr(0, tab1)] = "CoordSys " + line.substr(tab2 + 1);
    }
    return catalogue;
  }

  test::TempDir dir;
  std::string mif;
  CommandResult run;
};

// Replaces every `from` in the attribute cells.
std::function<void(Rows&)> Replace(const std::vector<std::pair<std::string, std::string>>& pairs) {
  return [pairs](Rows& rows) {
    for (auto& row : rows) {
      for (size_t c = 1; c < row.size(); ++c) {
        for (const auto& [from, to] : pairs) {
          for (size_t at; (at = row[c].find(from)) != std::string::npos;)
            row[c].replace(at, from.size(), to);
        }
      }
    }
  };
}

// Values a Japanese user meets: the wave dash (U+301C), the long vowel mark, 髙 (an IBM
// extension in code page 932), a circled digit, an emoji no code page 932 has, a quote and a
// comma that the MID row must keep inside its field.
const std::string kJapanese = Join({
    Feature(R"({"名称":"波〜ダッシュ","読み":"ラーメン","番号":1})", "Point", "[139.5,35.5]"),
    Feature(R"({"名称":"髙橋①","読み":"😀顔","番号":2})", "Point", "[139.25,35.75]"),
    Feature(R"({"名称":"道路\"A\", 支線","読み":"","番号":-3})", "Point", "[139.125,35.0625]"),
    Feature(R"({"名称":"plain","読み":"ｶﾅ","番号":40})", "Point", "[122.0,20.0]"),
});

// U+FF5E, what GDAL makes of code page 932's 0x8160, the wave dash's only form there.
const std::string kFullwidthTilde = "\xEF\xBD\x9E";

TEST_F(TodaysShapefilesInteropTest, Utf8TableBecomesCodePage932AndReadsBackTheSame) {
  RoundTrip("utf8", kJapanese, "-lco ENCODING=UTF-8", "convert -c 1", {},
            Replace({{"〜", kFullwidthTilde}, {"😀", "〓"}}));
  EXPECT_EQ(MifHeader(mif).at(1), "Charset \"WindowsJapanese\"");
  EXPECT_TRUE(Contains(run.out, "UTF-8 (.cpg)")) << run.out;
  // The emoji is reported against its own field and record, and no other field.
  std::string reported;
  for (std::istringstream lines(run.err); std::getline(lines, reported);) {
    if (Contains(reported, "〓")) break;
  }
  EXPECT_TRUE(Contains(reported, "読み") && Contains(reported, "2")) << run.err;
  EXPECT_FALSE(Contains(run.err, "名称")) << run.err;
  // 髙 keeps its IBM extension code rather than turning into 〓.
  EXPECT_TRUE(Contains(test::ReadFile(dir / "utf8.mid"), "\xFB\xFC"));
}

TEST_F(TodaysShapefilesInteropTest, Utf8OutputKeepsEveryCharacter) {
  // GDAL warns that it knows no iconv name for the UTF-8 charset and passes the bytes on.
  RoundTrip("utf8out", kJapanese, "-lco ENCODING=UTF-8", "--charset utf-8 convert -c 1");
  EXPECT_EQ(MifHeader(mif).at(1), "Charset \"UTF-8\"");
  EXPECT_FALSE(Contains(run.err, "〓")) << run.err;
}

TEST_F(TodaysShapefilesInteropTest, EncodingIsDecidedPerTable) {
  const auto removeCpg = [](const std::string& base) { std::remove((base + ".cpg").c_str()); };
  const auto setLanguageDriver = [&](char ldid) {
    return [=](const std::string& base) {
      removeCpg(base);
      std::string bytes = test::ReadFile(base + ".dbf");
      bytes[29] = ldid;
      test::WriteFile(base + ".dbf", bytes);
    };
  };
  struct Case {
    std::string name, gdalOptions, args, summary;
    std::function<void(const std::string&)> alter;
  };
  // GDAL (through iconv) already writes 〜 as 0x8160 into a code page 932 table and reads it
  // back as U+FF5E, so those tables need no adjustment; the emoji is left out of them.
  const std::string cp932Values = Join({
      Feature(R"({"名称":"波〜ダッシュ","番号":1})", "Point", "[139.5,35.5]"),
      Feature(R"({"名称":"髙橋①ｶﾅ","番号":2})", "Point", "[139.25,35.75]"),
  });
  const std::vector<Case> cases = {
      {"cp932cpg", "-lco ENCODING=CP932", "convert -c 1", "CP932 (.cpg)", {}},
      {"cp932ldid", "-lco ENCODING=CP932", "convert -c 1", "CP932 (言語ドライバー)",
       setLanguageDriver(0x13)},
      {"cp932bytes", "-lco ENCODING=CP932", "convert -c 1", "CP932 (内容)", removeCpg},
      {"utf8bytes", "-lco ENCODING=UTF-8", "convert -c 1", "UTF-8 (内容)", removeCpg},
      {"cp932option", "-lco ENCODING=CP932", "--encoding cp932 convert -c 1", "CP932 (--encoding)",
       [](const std::string& base) { test::WriteFile(base + ".cpg", "UTF-8"); }},
      // GDAL's reading of 0x8160 is the reference for our UTF-8 output too.
      {"cp932toutf8", "-lco ENCODING=CP932", "--charset utf-8 convert -c 1", "CP932 (.cpg)", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool utf8 = Contains(c.gdalOptions, "UTF-8");
    RoundTrip(c.name, cp932Values, c.gdalOptions, c.args, c.alter,
              utf8 ? Replace({{"〜", kFullwidthTilde}}) : std::function<void(Rows&)>());
    EXPECT_TRUE(Contains(run.out, c.summary)) << run.out;
  }
}

TEST_F(TodaysShapefilesInteropTest, ZAndMShapesBecomeTheir2DKinds) {
  Shapes shapes(122, 154, 20, 46);
  const struct {
    std::string family, gdalOptions;
  } kinds[] = {
      {"point", "-nlt POINTZ"},
      {"point", "-nlt POINTM"},
      {"point", "-nlt POINTZM"},
      {"line", "-nlt LINESTRINGZ"},
      {"line", "-nlt MULTILINESTRINGZ"},
      {"line", "-lco SHPT=ARCM"},
      {"polygon", "-nlt POLYGONZ"},
      {"polygon", "-nlt MULTIPOLYGONZ"},
      // GDAL writes the hole of a polygon with Z clockwise, so its own reading of that
      // shapefile has two outer rings; PolygonM keeps the hole a hole on both sides.
      {"holed", "-lco SHPT=POLYGONM"},
  };
  int n = 0;
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.gdalOptions);
    const std::string name = "zm" + std::to_string(n++);
    RoundTrip(name, shapes.Features(kind.family, 30), "-lco ENCODING=UTF-8 " + kind.gdalOptions);
    EXPECT_TRUE(Contains(run.out, "from Z/M 30")) << run.out;
    EXPECT_EQ(MifHeader(mif).at(0), "Version 300");
  }
}

TEST_F(TodaysShapefilesInteropTest, MultipointsStayMultipoints) {
  Shapes shapes(122, 154, 20, 46);
  for (const std::string kind : {"MULTIPOINT", "MULTIPOINTZ", "MULTIPOINTM"}) {
    SCOPED_TRACE(kind);
    RoundTrip(kind, shapes.Features("multipoint", 40), "-lco ENCODING=UTF-8 -lco SHPT=" + kind);
    EXPECT_EQ(MifHeader(mif).at(0), "Version 650");
    EXPECT_TRUE(Contains(Csv(mif).at(1).at(0), "MULTIPOINT"));
  }
}

TEST_F(TodaysShapefilesInteropTest, AutoCoordSysFollowsThePrj) {
  const auto catalogue = Catalogue();
  ASSERT_EQ(catalogue.size(), 41u);

  Shapes degrees(139, 141, 35, 37), metres(-80000, 80000, -60000, 60000);
  const struct {
    std::string epsg, entry;
    Shapes* shapes;
  } cases[] = {{"6677", "30", &metres},
               {"4326", "1", &degrees},
               {"4612", "2", &degrees},
               {"30169", "11", &metres},
               {"2451", "30", &metres}};
  for (const auto& c : cases) {
    SCOPED_TRACE("EPSG:" + c.epsg);
    RoundTrip("epsg" + c.epsg, c.shapes->Features("point", 5),
              "-lco ENCODING=UTF-8 -a_srs EPSG:" + c.epsg, "convert -c auto");
    EXPECT_EQ(CoordSysLine(mif), catalogue.at(c.entry));
  }

  // An explicit number that disagrees with the .prj is the user's call: a warning, then the
  // conversion with that number.
  const std::string shp =
      Shapefile("explicit", metres.Features("point", 3), "-lco ENCODING=UTF-8 -a_srs EPSG:6677");
  run = Execute(dir, Plexor() + " convert -c 22 '" + shp + "' -o '" + dir / "explicit.mif" + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, ".prj")) << run.err;
  EXPECT_EQ(CoordSysLine(dir / "explicit.mif"), catalogue.at("22"));

  // UTM is none of the catalogue's systems: a usage error that says why, and no output.
  const std::string utm =
      Shapefile("utm", metres.Features("point", 3), "-lco ENCODING=UTF-8 -a_srs EPSG:32654");
  run = Execute(dir, Plexor() + " convert -c auto '" + utm + "' -o '" + dir / "utm.mif" + "'");
  EXPECT_EQ(run.code, 2);
  EXPECT_TRUE(Contains(run.err, "auto") && Contains(run.err, "平面直角座標系")) << run.err;
  EXPECT_NE(Shell("test -e '" + dir / "utm.mif" + "'"), 0);
}

TEST_F(TodaysShapefilesInteropTest, UnreadableColumnNamesAreMadeReadable) {
  const std::string features = Join({
      Feature(R"({"q":"値一","ab":"二","first":3,"ab2":"x","plain":"甲"})", "Point",
              "[139.5,35.5]"),
      Feature(R"({"q":"値\"引用\", 句","ab":"","first":-4,"ab2":"y","plain":""})", "Point",
              "[139.25,35.75]"),
  });
  RoundTrip(
      "names", features, "-lco ENCODING=UTF-8", "convert -c 1",
      [](const std::string& base) {
        PatchDescriptor(base + ".dbf", 0, "\"QCOLUMN");
        PatchDescriptor(base + ".dbf", 1, "A B");
        PatchDescriptor(base + ".dbf", 2, "1ST");
        PatchDescriptor(base + ".dbf", 3, "A-B");
      },
      [](Rows& rows) { rows[0] = {"WKT", "_QCOLUMN", "A_B", "_1ST", "A_B_2", "plain"}; });
  EXPECT_TRUE(Contains(run.err, "1ST")) << run.err;
}

TEST_F(TodaysShapefilesInteropTest, FloatFieldsReadBackEqual) {
  std::vector<std::string> features;
  const double values[] = {1.25, -12345.5, 0.001, 987654.125, -0.0625, 3.0};
  for (int i = 0; i < 6; ++i) {
    features.push_back(Feature(R"({"r":)" + Num(values[i]) + R"(,"n":)" + std::to_string(i * 11) +
                                   R"(,"s":)" + Num(values[5 - i] / 8) + "}",
                               "Point", "[" + Num(139 + i * 0.25) + ",35.5]"));
  }
  RoundTrip("float", Join(features), "-lco ENCODING=UTF-8", "convert -c 1",
            [](const std::string& base) {
              PatchDescriptor(base + ".dbf", 0, "", 'F');
              PatchDescriptor(base + ".dbf", 2, "", 'F');
            });
  const auto header = MifHeader(mif);
  EXPECT_NE(std::find(header.begin(), header.end(), "r Float"), header.end());
  EXPECT_NE(std::find(header.begin(), header.end(), "s Float"), header.end());
}

TEST_F(TodaysShapefilesInteropTest, InfoJsonNamesEncodingAndPrjEntry) {
  Shapes metres(-80000, 80000, -60000, 60000);
  const std::string zone9 =
      Shapefile("zone9", metres.Features("point", 3), "-lco ENCODING=UTF-8 -a_srs EPSG:6677");
  const std::string sjis = Shapefile("sjis", kJapanese, "-lco ENCODING=CP932 -a_srs EPSG:4612");
  std::remove((dir / "sjis.cpg").c_str());
  const std::string odd = Shapefile("odd", kJapanese, "-lco ENCODING=UTF-8 -a_srs EPSG:32654");
  PatchDescriptor(dir / "odd.dbf", 0, "\"Q\\N");

  const CommandResult info = InfoSummary({"zone9.shp", "sjis.shp", "odd.shp"});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_EQ(info.out,
            "UTF-8;.cpg;30;name|code|ratio\n"
            "CP932;内容;2;名称|読み|番号\n"
            "UTF-8;.cpg;None;\"Q\\N|読み|番号\n");
}

TEST_F(TodaysShapefilesInteropTest, InfoJsonStaysUtf8WhenGdalCutAFieldNameMidCharacter) {
  // GDAL cuts a long UTF-8 field name at 10 bytes, inside the fourth character.
  Shapefile("long", Feature(R"({"名称名称":"一","番号番号番号":2})", "Point", "[139.5,35.5]"),
            "-lco ENCODING=UTF-8");
  const CommandResult info = InfoSummary({"long.shp"});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_EQ(info.out.rfind("UTF-8;.cpg;1;名称名", 0), 0u) << info.out;
}

TEST_F(TodaysShapefilesInteropTest, AutoCoordSysReadsTheHorizontalPartOfACompoundPrj) {
  // Survey data with heights comes with the vertical system after the horizontal one; the
  // heights are dropped anyway, so the plane zone decides.
  Shapes metres(-80000, 80000, -60000, 60000);
  RoundTrip("compound", metres.Features("point", 5),
            "-lco ENCODING=UTF-8 -nlt POINTZ -a_srs EPSG:6677+6695", "convert -c auto");
  if (HasFatalFailure()) return;
  EXPECT_EQ(CoordSysLine(mif), Catalogue().at("30"));
}

}  // namespace
}  // namespace plexor
