// Shapefiles written by GDAL's ogr2ogr are converted by the plexor command and read back by
// GDAL: the same features, coordinates to 1e-8 and the same attribute values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>

#include "interop/InteropSupport.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::HaveGdal;
using test::ParseCsv;
using test::Shell;
using test::SplitWkt;

void ExpectSameLayerIn(const std::string& expectedCsv, const std::string& actualCsv) {
  test::ExpectSameLayer(ParseCsv(test::ReadFile(expectedCsv)), ParseCsv(test::ReadFile(actualCsv)));
}

std::string Coord(std::mt19937_64& rng, double low, double high) {
  std::ostringstream s;
  s.precision(17);
  s << std::uniform_real_distribution<double>(low, high)(rng);
  return s.str();
}

std::string Properties(int i) {
  static const char* names[] = {"東京都庁", "道路\"A\", 支線", "ｶﾅ混じり", ""};
  std::ostringstream s;
  s << "{\"name\":\"" << std::string(names[i % 4]).replace(0, 0, "")
    << "\",\"code\":" << (i * 37 - 50) << ",\"ratio\":" << (i * 0.125 - 3.5)
    << ",\"day\":" << (i % 3 ? "\"2004-01-15\"" : "null") << "}";
  std::string text = s.str();
  // JSON needs the quote inside the name escaped.
  size_t at = text.find("\"A\"");
  if (at != std::string::npos) text.replace(at, 3, "\\\"A\\\"");
  return text;
}

std::string Ring(std::mt19937_64& rng, double cx, double cy, double r, int n, bool clockwise) {
  std::string ring = "[";
  std::string first;
  for (int k = 0; k < n; ++k) {
    const double a = (clockwise ? -1 : 1) * 2 * M_PI * k / n;
    std::ostringstream p;
    p.precision(17);
    p << "[" << cx + r * std::cos(a) * (0.9 + 0.2 * std::uniform_real_distribution<double>()(rng))
      << "," << cy + r * std::sin(a) << "]";
    if (k == 0) first = p.str();
    ring += p.str() + ",";
  }
  return ring + first + "]";
}

class GdalInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveGdal()) GTEST_SKIP() << "GDAL's ogr2ogr is not installed";
  }

  // GeoJSON -> shapefile (code page 932) by GDAL -> MIF/MID by plexor -> CSV by GDAL, and
  // the same shapefile -> CSV by GDAL for the expected values.
  void RoundTrip(const std::string& name, const std::string& features,
                 const std::function<void(const std::string& dbf)>& alterTable = {}) {
    test::WriteFile(dir / (name + ".geojson"),
                    "{\"type\":\"FeatureCollection\",\"features\":[" + features + "]}");
    const std::string shp = dir / (name + ".shp");
    ASSERT_EQ(Shell("ogr2ogr -f 'ESRI Shapefile' -lco ENCODING=CP932 '" + shp + "' '" +
                    dir / (name + ".geojson") + "'"),
              0);
    if (alterTable) alterTable(dir / (name + ".dbf"));
    ASSERT_EQ(
        Shell(std::string(PLEXOR_BINARY_DIR) + "/plexor --date-format yyyymmdd convert -c 2 '" +
              shp + "' -o '" + dir / (name + ".mif") + "'"),
        0);
    ASSERT_EQ(Shell("ogr2ogr -f CSV -lco GEOMETRY=AS_WKT '" + dir / (name + "-shp.csv") + "' '" +
                    shp + "'"),
              0);
    ASSERT_EQ(Shell("ogr2ogr -f CSV -lco GEOMETRY=AS_WKT '" + dir / (name + "-mif.csv") + "' '" +
                    dir / (name + ".mif") + "'"),
              0);
    ExpectSameLayerIn(dir / (name + "-shp.csv"), dir / (name + "-mif.csv"));
  }

  test::TempDir dir;
  std::mt19937_64 rng{42};
};

TEST_F(GdalInteropTest, Points) {
  std::string f;
  for (int i = 0; i < 200; ++i) {
    if (i) f += ",";
    f += "{\"type\":\"Feature\",\"properties\":" + Properties(i) +
         ",\"geometry\":{\"type\":\"Point\",\"coordinates\":[" + Coord(rng, 122, 154) + "," +
         Coord(rng, 20, 46) + "]}}";
  }
  RoundTrip("points", f);
}

TEST_F(GdalInteropTest, LinesSingleAndMultiPart) {
  std::string f;
  for (int i = 0; i < 100; ++i) {
    if (i) f += ",";
    std::string part1 = "[[" + Coord(rng, -3e5, 3e5) + "," + Coord(rng, -3e5, 3e5) + "],[" +
                        Coord(rng, -3e5, 3e5) + "," + Coord(rng, -3e5, 3e5) + "],[" +
                        Coord(rng, -3e5, 3e5) + "," + Coord(rng, -3e5, 3e5) + "]]";
    std::string part2 = "[[" + Coord(rng, -1, 1) + "," + Coord(rng, -1, 1) + "],[" +
                        Coord(rng, -1, 1) + "," + Coord(rng, -1, 1) + "]]";
    f += "{\"type\":\"Feature\",\"properties\":" + Properties(i) + ",\"geometry\":" +
         (i % 2 ? "{\"type\":\"LineString\",\"coordinates\":" + part1 + "}"
                : "{\"type\":\"MultiLineString\",\"coordinates\":[" + part1 + "," + part2 + "]}") +
         "}";
  }
  RoundTrip("lines", f);
}

TEST_F(GdalInteropTest, PolygonsWithHolesAndIslands) {
  std::string f;
  for (int i = 0; i < 100; ++i) {
    if (i) f += ",";
    const double cx = i * 10.0, cy = -i * 7.5;
    std::string geometry;
    if (i % 3 == 0) {
      geometry = "{\"type\":\"Polygon\",\"coordinates\":[" + Ring(rng, cx, cy, 4, 12, false) + "]}";
    } else if (i % 3 == 1) {
      geometry = "{\"type\":\"Polygon\",\"coordinates\":[" + Ring(rng, cx, cy, 4, 12, false) + "," +
                 Ring(rng, cx, cy, 1, 5, true) + "]}";
    } else {
      geometry = "{\"type\":\"MultiPolygon\",\"coordinates\":[[" + Ring(rng, cx, cy, 2, 8, false) +
                 "],[" + Ring(rng, cx + 5, cy, 1, 6, false) + "]]}";
    }
    f +=
        "{\"type\":\"Feature\",\"properties\":" + Properties(i) + ",\"geometry\":" + geometry + "}";
  }
  RoundTrip("polygons", f);
}

// Marks record `index` of a .dbf deleted, as a program that deletes a feature in place does.
void MarkDeleted(const std::string& path, int index) {
  std::string bytes = test::ReadFile(path);
  const auto u16 = [&](size_t at) {
    return static_cast<size_t>(static_cast<unsigned char>(bytes[at]) |
                               static_cast<unsigned char>(bytes[at + 1]) << 8);
  };
  bytes[u16(8) + static_cast<size_t>(index) * u16(10)] = '*';
  test::WriteFile(path, bytes);
}

TEST_F(GdalInteropTest, DeletedRecordsHideTheirShapesAndWideIntegersKeepTheirDigits) {
  // GDAL's reading of the shapefile passes over deleted features; ours must agree, feature
  // for feature, with every later attribute on its own shape.
  std::string f;
  for (int i = 0; i < 40; ++i) {
    if (i) f += ",";
    f += "{\"type\":\"Feature\",\"properties\":{\"name\":\"点" + std::to_string(i) +
         "\",\"big\":" + std::to_string(12345678901LL * (i + 1)) +
         "},\"geometry\":{\"type\":\"Point\",\"coordinates\":[" + Coord(rng, 122, 154) + "," +
         Coord(rng, 20, 46) + "]}}";
  }
  RoundTrip("deleted", f, [](const std::string& dbf) {
    for (int index : {0, 7, 8, 20, 39}) MarkDeleted(dbf, index);
  });
  EXPECT_EQ(ParseCsv(test::ReadFile(dir / "deleted-mif.csv")).size(), 1u + 35u);
}

}  // namespace
}  // namespace plexor
