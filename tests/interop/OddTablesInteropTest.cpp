// Tables that GDAL reads although they are odd: the pair written from them must read back in
// GDAL with the shapes and values GDAL reads from the shapefile.
#include <gtest/gtest.h>

#include "interop/InteropSupport.h"
#include "support/DbfBuilder.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::CsvRows;
using test::DbfBuilder;
using test::HaveGdal;
using test::ParseCsv;
using test::Shell;
using test::ShpBuilder;

class OddTablesInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveGdal()) GTEST_SKIP() << "GDAL's ogr2ogr is not installed";
  }

  // Converts name.shp and returns what GDAL reads from the shapefile and from the pair.
  std::pair<CsvRows, CsvRows> ConvertAndRead(const std::string& name) {
    const std::string base = dir / name;
    const std::string plexor = std::string(PLEXOR_BINARY_DIR) + "/plexor";
    EXPECT_EQ(Shell(plexor + " convert -c 2 '" + base + ".shp'"), 0);
    for (const char* kind : {"shp", "mif"}) {
      Shell("rm -f '" + base + "-" + kind + ".csv'");
      // The builder writes no .shx; GDAL rebuilds it from the .shp.
      EXPECT_EQ(Shell("ogr2ogr --config SHAPE_RESTORE_SHX YES -f CSV -lco GEOMETRY=AS_WKT '" +
                      base + "-" + kind + ".csv' '" + base + "." + kind + "'"),
                0);
    }
    return {ParseCsv(test::ReadFile(base + "-shp.csv")),
            ParseCsv(test::ReadFile(base + "-mif.csv"))};
  }

  ShpBuilder Points() {
    ShpBuilder points;
    points.Point(139.5, 35.5).Point(139.75, 35.25).Point(140.125, 36);
    return points;
  }

  test::TempDir dir;
};

TEST_F(OddTablesInteropTest, EqualFieldNamesReadBackUnderTheirNewNames) {
  Points().Write(dir / "dup.shp");
  DbfBuilder()
      .Field("NAME", 'C', 4)
      .Field("NAME", 'C', 4)
      .Field("name", 'N', 5)
      .Record({"a", "b", "1"})
      .Record({"c", "", "-20"})
      .Record({"", "f", "300"})
      .Write(dir / "dup.dbf");
  auto [expected, actual] = ConvertAndRead("dup");
  ASSERT_FALSE(expected.empty());
  // GDAL renames equal names its own way; the values stay in their columns.
  EXPECT_EQ(actual[0], (std::vector<std::string>{"WKT", "NAME", "NAME_2", "name_3"}));
  expected[0] = actual[0];
  test::ExpectSameLayer(expected, actual);
}

TEST_F(OddTablesInteropTest, TablesWithoutFieldsReadBackWithTheirShapes) {
  for (const bool headerOnly : {false, true}) {
    SCOPED_TRACE(headerOnly ? "header only" : "record length 0");
    Points().Write(dir / "bare.shp");
    DbfBuilder bare = DbfBuilder().RecordLength(0);
    if (headerOnly) bare.HeaderTail("").EndMarker(false);
    bare.Write(dir / "bare.dbf");
    auto [expected, actual] = ConvertAndRead("bare");
    ASSERT_EQ(actual.size(), 4u);
    // The one empty column, empty in every row.
    EXPECT_EQ(actual[0], (std::vector<std::string>{"WKT", "_"}));
    for (std::vector<std::string>& row : actual) {
      if (&row != &actual[0]) EXPECT_EQ(row.back(), "");
      row.pop_back();
    }
    // GDAL's CSV of a layer without fields ends its header with a comma.
    ASSERT_FALSE(expected.empty());
    if (expected[0].size() == 2 && expected[0][1].empty()) expected[0].pop_back();
    test::ExpectSameLayer(expected, actual);
  }
}

}  // namespace
}  // namespace plexor
