#include <gtest/gtest.h>

#include <functional>

#include "mif/uniMifUtils.h"
#include "support/Exceptions.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

// Runs `write` on a fresh MIF file and returns the file's bytes.
std::string Written(const std::function<void(TextFileWriter&)>& write) {
  test::TempDir dir;
  TextFileWriter mif;
  mif.Create(dir / "out.mif");
  write(mif);
  mif.Close();
  return test::ReadFile(dir / "out.mif");
}

TEST(MifHeader, FourLinesWithTheClauseOrNothingAfterCoordSys) {
  EXPECT_EQ(Written([](TextFileWriter& f) { WriteMifHeader(f, "Earth Projection 1, 97"); }),
            "Version 300\r\nCharset \"WindowsJapanese\"\r\nDelimiter \",\"\r\n"
            "CoordSys Earth Projection 1, 97\r\n");
  EXPECT_EQ(Written([](TextFileWriter& f) { WriteMifHeader(f, ""); }),
            "Version 300\r\nCharset \"WindowsJapanese\"\r\nDelimiter \",\"\r\nCoordSys \r\n");
}

TEST(MifHeader, VersionGivenForMultipointFiles) {
  EXPECT_EQ(
      Written([](TextFileWriter& f) { WriteMifHeader(f, "NonEarth Units \"m\"", kMifVersion650); }),
      "Version 650\r\nCharset \"WindowsJapanese\"\r\nDelimiter \",\"\r\n"
      "CoordSys NonEarth Units \"m\"\r\n");
  EXPECT_EQ(Written([](TextFileWriter& f) { WriteMifHeader(f, "x", kMifVersion300); }),
            Written([](TextFileWriter& f) { WriteMifHeader(f, "x"); }));
}

TEST(MifColumns, EveryTypeNamesUnchangedAndTheDataLine) {
  TSFColumns columns = {{"NAME", TSFColumnType::ctChar, 20},
                        {"\x8C\xA7 \x96\xBC", TSFColumnType::ctChar, 1},  // cp932 with a blank
                        {"N", TSFColumnType::ctInteger, 0},
                        {"F", TSFColumnType::ctFloat, 0},
                        {"D", TSFColumnType::ctDate, 0},
                        {"L", TSFColumnType::ctLogical, 0}};
  EXPECT_EQ(Written([&](TextFileWriter& f) { WriteMifColumns(f, columns); }),
            "Columns 6\r\nNAME Char(20)\r\n\x8C\xA7 \x96\xBC Char(1)\r\nN Integer\r\n"
            "F Float\r\nD Date\r\nL Logical\r\nData\r\n\r\n");
  EXPECT_EQ(Written([](TextFileWriter& f) { WriteMifColumns(f, {}); }),
            "Columns 0\r\nData\r\n\r\n");
}

TEST(MifObjects, PointHasNoEmptyLineAfterIt) {
  EXPECT_EQ(Written([](TextFileWriter& f) {
              WriteMifPoint(f, {139.5, 35});
            }),
            "Point 139.50000000 35.00000000\r\n");
  EXPECT_EQ(Written([](TextFileWriter& f) {
              WriteMifPoint(f, {-0.0, -0.000000005}, ',');
            }),
            "Point 0,00000000 -0,00000001\r\n");
}

template <typename Shape>
Shape MultiPart(std::vector<int32_t> parts, std::vector<TSFPoint> points) {
  Shape shape;
  shape.NumParts = static_cast<int32_t>(parts.size());
  shape.NumPoints = static_cast<int32_t>(points.size());
  shape.Parts = std::move(parts);
  shape.Points = std::move(points);
  return shape;
}

TSFPolyLine Line(std::vector<int32_t> parts, std::vector<TSFPoint> points) {
  return MultiPart<TSFPolyLine>(std::move(parts), std::move(points));
}

TSFPolygon Polygon(std::vector<int32_t> parts, std::vector<TSFPoint> points) {
  return MultiPart<TSFPolygon>(std::move(parts), std::move(points));
}

TEST(MifObjects, PLineSingleAndMultiSection) {
  EXPECT_EQ(Written([](TextFileWriter& f) {
              WriteMifPLine(f, Line({0}, {{1, 2}, {3, 4}, {5, 6}}));
            }),
            "PLine 3\r\n1.00000000 2.00000000\r\n3.00000000 4.00000000\r\n"
            "5.00000000 6.00000000\r\n\r\n");
  EXPECT_EQ(Written([](TextFileWriter& f) {
              WriteMifPLine(f, Line({0, 2}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}));
            }),
            "PLine MultiPle 2\r\n  2\r\n0.00000000 0.00000000\r\n1.00000000 1.00000000\r\n"
            "  3\r\n2.00000000 2.00000000\r\n3.00000000 3.00000000\r\n4.00000000 4.00000000\r\n"
            "\r\n");
  // No parts at all is the single-section form.
  EXPECT_EQ(Written([](TextFileWriter& f) {
              WriteMifPLine(f, Line({}, {{1, 1}}));
            }),
            "PLine 1\r\n1.00000000 1.00000000\r\n\r\n");
}

TEST(MifObjects, SectionsWithEqualStartsHaveCountZero) {
  EXPECT_EQ(Written([](TextFileWriter& f) {
              WriteMifPLine(f, Line({0, 0}, {{1, 1}}));
            }),
            "PLine MultiPle 2\r\n  0\r\n  1\r\n1.00000000 1.00000000\r\n\r\n");
}

TEST(MifObjects, SingleRingRegionIsNormalizedMultiRingWrittenAsStored) {
  TSFPolygon ccw = Polygon({0}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_EQ(Written([&](TextFileWriter& f) { WriteMifRegion(f, ccw); }),
            "Region 1\r\n  5\r\n0.00000000 1.00000000\r\n1.00000000 1.00000000\r\n"
            "1.00000000 0.00000000\r\n0.00000000 0.00000000\r\n0.00000000 1.00000000\r\n\r\n");
  EXPECT_EQ(ccw.NumPoints, 5);  // the caller's record changed

  TSFPolygon twoRings = Polygon({0, 3}, {{0, 0}, {1, 0}, {0, 1}, {5, 5}, {6, 5}, {5, 6}});
  EXPECT_EQ(Written([&](TextFileWriter& f) { WriteMifRegion(f, twoRings); }),
            "Region 2\r\n  3\r\n0.00000000 0.00000000\r\n1.00000000 0.00000000\r\n"
            "0.00000000 1.00000000\r\n  3\r\n5.00000000 5.00000000\r\n6.00000000 5.00000000\r\n"
            "5.00000000 6.00000000\r\n\r\n");

  TSFPolygon empty = Polygon({0}, {});
  EXPECT_EQ(Written([&](TextFileWriter& f) { WriteMifRegion(f, empty); }),
            "Region 1\r\n  0\r\n\r\n");
  TSFPolygon twoPoints = Polygon({0}, {{0, 0}, {1, 1}});
  EXPECT_EQ(Written([&](TextFileWriter& f) { WriteMifRegion(f, twoPoints); }),
            "Region 1\r\n  2\r\n0.00000000 0.00000000\r\n1.00000000 1.00000000\r\n\r\n");
}

TEST(MifObjects, PartsOutsidePointsRefuseTheWholeObject) {
  for (const auto& parts : std::vector<std::vector<int32_t>>{{0, 7}, {-1, 1}, {0, 3, 1}, {0, 2}}) {
    const std::string out = Written([&](TextFileWriter& f) {
      EXPECT_THROW(WriteMifPLine(f, Line(parts, {{0, 0}, {1, 1}})), ERangeError);
      TSFPolygon p = Polygon(parts, {{0, 0}, {1, 1}});
      EXPECT_THROW(WriteMifRegion(f, p), ERangeError);
    });
    EXPECT_EQ(out, "");
  }
}

TEST(MifObjects, MultipointOnePointPerLineAndAnEmptyLine) {
  TSFMultiPoint mp;
  mp.NumPoints = 2;
  mp.Points = {{139.5, 35}, {-0.000000005, 1e7}};
  EXPECT_EQ(Written([&](TextFileWriter& f) { WriteMifMultipoint(f, mp, ','); }),
            "Multipoint 2\r\n139,50000000 35,00000000\r\n-0,00000001 10000000,00000000\r\n\r\n");
  // Kept as an object, so the MID row that follows still belongs to it.
  EXPECT_EQ(Written([](TextFileWriter& f) { WriteMifMultipoint(f, TSFMultiPoint{}); }),
            "Multipoint 0\r\n\r\n");
}

TEST(MidRows, EachRowEndsInCrLf) {
  EXPECT_EQ(Written([](TextFileWriter& f) {
              WriteMidRow(f, "\"a\",1");
              WriteMidRow(f, "");
            }),
            "\"a\",1\r\n\r\n");
}

}  // namespace
}  // namespace plexor
