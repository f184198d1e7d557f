// Part tables that overlap, run backwards or hold no point: GDAL reads no shape from such a
// record, and its MIF reader refuses the section counts of 0 or less they would become, so
// the plexor command refuses the record and says which part is wrong.
#include <gtest/gtest.h>

#include <filesystem>

#include "interop/InteropSupport.h"
#include "support/DbfBuilder.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::HaveGdal;
using test::ReadFile;
using test::Shell;
using test::ShpBuilder;

const std::vector<TSFPoint> kSquare = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}};

class PartTablesInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveGdal()) GTEST_SKIP() << "GDAL's ogrinfo is not installed";
    test::DbfBuilder().Field("NAME", 'C', 4).Record({"a"}).Record({"b"}).Write(dir / "in.dbf");
  }
  // What ogrinfo prints for `path`, its messages included; the shapefile needs no .shx.
  std::string Ogrinfo(const std::string& path) {
    Shell("{ ogrinfo --config SHAPE_RESTORE_SHX YES -ro -al -q '" + path + "' > '" +
          dir / "ogrinfo.txt" + "' 2>&1; }");
    return ReadFile(dir / "ogrinfo.txt");
  }
  // The exit status of `plexor convert`; its messages go to plexor.txt.
  int Convert() {
    std::filesystem::remove(dir / "in.shx");
    return Shell("{ " + std::string(PLEXOR_BINARY_DIR) + "/plexor convert -c 30 '" +
                 dir / "in.shp" + "' -o '" + dir / "out.mif" + "' > '" + dir / "plexor.txt" +
                 "' 2>&1; }");
  }
  test::TempDir dir;
};

TEST_F(PartTablesInterop, RecordsGdalReadsNoShapeFromAreRefusedWithThePart) {
  struct Case {
    std::vector<int32_t> parts;
    size_t points;
    const char* reason;
  };
  const Case cases[] = {
      {{0, 2, 2}, 5, "パート 3 の開始位置 2 が前のパートの開始位置 2 より後にありません"},
      {{0, 3, 1}, 5, "パート 3 の開始位置 1 が前のパートの開始位置 3 より後にありません"},
      {{0, 5}, 5, "パート 2 の開始位置 5 が点の数 5 以上です"},
      {{0}, 0, "パート 1 の開始位置 0 が点の数 0 以上です"},
  };
  for (const Case& c : cases) {
    for (int32_t type : {3, 5}) {
      const std::vector<TSFPoint> points(kSquare.begin(), kSquare.begin() + c.points);
      ShpBuilder()
          .Point(1, 1)
          .MultiPartRaw(type, static_cast<int32_t>(c.parts.size()), static_cast<int32_t>(c.points),
                        c.parts, points)
          .Write(dir / "in.shp");
      const std::string gdal = Ogrinfo(dir / "in.shp");
      EXPECT_NE(gdal.find("POINT (1 1)"), std::string::npos) << gdal;
      EXPECT_EQ(gdal.find("STRING ("), std::string::npos) << gdal;
      EXPECT_EQ(gdal.find("POLYGON ("), std::string::npos) << gdal;

      EXPECT_NE(Convert(), 0) << c.reason;
      EXPECT_FALSE(std::filesystem::exists(dir / "out.mif")) << c.reason;
      EXPECT_NE(ReadFile(dir / "plexor.txt").find(c.reason), std::string::npos)
          << ReadFile(dir / "plexor.txt");
    }
  }
}

TEST_F(PartTablesInterop, RisingPartsReadBackAsGdalReadsTheShapefile) {
  ShpBuilder()
      .PolyLine({0, 2}, kSquare)
      .Polygon({0, 4}, {{0, 0}, {0, 1}, {1, 1}, {0, 0}, {5, 5}, {5, 6}, {6, 6}, {5, 5}})
      .Write(dir / "in.shp");
  ASSERT_EQ(Convert(), 0) << ReadFile(dir / "plexor.txt");
  const std::string mif = Ogrinfo(dir / "out.mif");
  EXPECT_NE(mif.find("MULTILINESTRING ((0 0,0 1),(1 1,1 0,0 0))"), std::string::npos) << mif;
  EXPECT_EQ(mif.find("ERROR"), std::string::npos) << mif;
  const std::string shp = Ogrinfo(dir / "in.shp");
  EXPECT_NE(shp.find("MULTILINESTRING ((0 0,0 1),(1 1,1 0,0 0))"), std::string::npos) << shp;
}

}  // namespace
}  // namespace plexor
