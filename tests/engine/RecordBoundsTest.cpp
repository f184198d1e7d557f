// Where a record of the .shp ends, decided by one rule for the conversion and `plexor info`:
// the deletion flags of the table never change whether a file converts, both name the same
// record for the same reason, and a header's claims never turn into an allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/ShapefileInfo.h"
#include "engine/ShpToMif.h"
#include "shp/uniShpUtils.h"
#include "support/DbfBuilder.h"
#include "support/FakeHost.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;
using test::LE32;
using test::LEDouble;
using test::ReadFile;
using test::ShpBuilder;

const std::vector<TSFPoint> kSquare = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}};

class RecordBoundsTest : public ::testing::Test {
 protected:
  // A table of `n` records named "r1", "r2", ...; those in `deleted` (1-based) are marked.
  void Table(int n, std::initializer_list<int> deleted = {}) {
    DbfBuilder b;
    b.Field("NAME", 'C', 4);
    for (int i = 1; i <= n; ++i) {
      const std::string name = "r" + std::to_string(i);
      std::find(deleted.begin(), deleted.end(), i) != deleted.end() ? b.Deleted({name})
                                                                    : b.Record({name});
    }
    b.Write(dbf());
  }
  bool Convert(TConvertSummary& summary) {
    std::filesystem::remove(mif());
    std::filesystem::remove(dir / "out.mid");
    return ConvertShpToMif(30, shp(), mif(), host, &summary);
  }
  std::string shp() const { return dir / "in.shp"; }
  std::string dbf() const { return dir / "in.dbf"; }
  std::string mif() const { return dir / "out.mif"; }

  test::TempDir dir;
  test::FakeHost host;
};

TEST_F(RecordBoundsTest, TheTableFlagsNeverDecideWhetherAFileConverts) {
  // A PolyLine whose content holds eight bytes more than its counts need (GDAL reads it):
  // its end is where the content length says, live or deleted.
  ShpBuilder padded = ShpBuilder().PolyLine({0}, {{1, 1}, {2, 2}});
  padded.LastContentLength(2 + (40 + 4 + 32 + 8) / 2).Raw(LEDouble(0)).Point(5, 6);
  padded.Write(shp());
  TConvertSummary summary;
  Table(2);
  ASSERT_TRUE(Convert(summary)) << summary.FailureReason;
  EXPECT_EQ(ReadFile(dir / "out.mid"), "\"r1\"\r\n\"r2\"\r\n");
  EXPECT_NE(ReadFile(mif()).find("PLine 2\r\n"), std::string::npos);
  EXPECT_NE(ReadFile(mif()).find("Point 5.00000000 6.00000000\r\n"), std::string::npos);
  Table(2, {1});
  ASSERT_TRUE(Convert(summary)) << summary.FailureReason;
  EXPECT_EQ(ReadFile(dir / "out.mid"), "\"r2\"\r\n");

  // Counts that do not fit their record's content: refused with the same reason either way,
  // although the file holds the bytes they claim.
  ShpBuilder()
      .MultiPartRaw(kShapePolygon, 1, 5, {0}, {{0, 0}, {0, 1}})
      .Polygon({0}, kSquare)
      .Write(shp());
  std::string reasons[2];
  for (int deleted : {0, 1}) {
    deleted ? Table(2, {1}) : Table(2);
    EXPECT_FALSE(Convert(summary));
    EXPECT_FALSE(std::filesystem::exists(mif()));
    reasons[deleted] = summary.FailureReason;
  }
  EXPECT_EQ(reasons[0], reasons[1]);
  EXPECT_EQ(reasons[0].rfind(
                "レコード 1 (SHPファイルの 100 バイト目) を読めません: パート 1 個と点 5 個", 0),
            0u)
      << reasons[0];
}

TEST_F(RecordBoundsTest, PartTablesThatOverlapRunBackwardsOrHoldNoPointAreRefused) {
  struct Case {
    std::vector<int32_t> parts;
    int32_t points;
    const char* reason;
  };
  const Case cases[] = {
      {{0, 2, 2}, 5, "パート 3 の開始位置 2 が前のパートの開始位置 2 より後にありません"},
      {{0, 3, 1}, 5, "パート 3 の開始位置 1 が前のパートの開始位置 3 より後にありません"},
      {{0, 5}, 5, "パート 2 の開始位置 5 が点の数 5 以上です"},
      {{0, 9}, 5, "パート 2 の開始位置 9 が点の数 5 以上です"},
      {{2, 3}, 5, "最初のパートの開始位置が 0 ではなく 2 です"},
      {{0, -1}, 5, "パート 2 の開始位置 -1 が前のパートの開始位置 0 より後にありません"},
      {{0}, 0, "パート 1 の開始位置 0 が点の数 0 以上です"},
  };
  Table(2);
  for (const Case& c : cases) {
    for (int32_t type : {kShapePolyLine, kShapePolygon, kShapePolygonZ}) {
      const std::vector<TSFPoint> points(kSquare.begin(), kSquare.begin() + c.points);
      ShpBuilder b = ShpBuilder().Point(1, 1);
      type == kShapePolygonZ
          ? b.MultiPartZM(type, c.parts, points, false)
          : b.MultiPartRaw(type, static_cast<int32_t>(c.parts.size()), c.points, c.parts, points);
      b.Write(shp());
      TConvertSummary summary;
      EXPECT_FALSE(Convert(summary)) << c.reason << " type " << type;
      const std::string expected =
          std::string("レコード 2 (SHPファイルの 128 バイト目) を読めません: ") + c.reason;
      EXPECT_EQ(summary.FailureReason.rfind(expected, 0), 0u) << summary.FailureReason;
      EXPECT_FALSE(std::filesystem::exists(mif()));
    }
  }
  // Parts that rise strictly from 0 and a shape without a part table still convert.
  ShpBuilder()
      .PolyLine({0, 2}, kSquare)
      .MultiPartRaw(kShapePolyLine, 0, 2, {}, {{1, 1}, {2, 2}})
      .Write(shp());
  TConvertSummary summary;
  ASSERT_TRUE(Convert(summary)) << summary.FailureReason;
  EXPECT_NE(ReadFile(mif()).find("PLine MultiPle 2\r\n  2\r\n"), std::string::npos);
}

TEST_F(RecordBoundsTest, InfoAndConvertNameTheSameRecordForTheSameReason) {
  using test::BE32;
  struct Case {
    const char* what;
    ShpBuilder shp;
  };
  const std::vector<Case> cases = {
      {"content length 0", ShpBuilder().Point(1, 2).Raw(BE32(2) + BE32(0)).Point(3, 4)},
      {"content length 1", ShpBuilder().Point(1, 2).Raw(BE32(2) + BE32(1) + LE32(0)).Point(3, 4)},
      {"a header of zeros before data",
       ShpBuilder().Point(1, 2).Raw(std::string(8, '\0')).Point(3, 4)},
      {"zero padding", ShpBuilder().Point(1, 2).Raw(std::string(120, '\0'))},
      {"zero padding of 8 bytes", ShpBuilder().Point(1, 2).Raw(std::string(8, '\0'))},
      {"a cut record header", ShpBuilder().Point(1, 2).Raw(std::string(7, '\0'))},
      {"content beyond the file", ShpBuilder().Point(1, 2).Point(3, 4).LastContentLength(100)},
      {"counts beyond the content", ShpBuilder()
                                        .MultiPartRaw(kShapePolyLine, 1, 4, {0}, {{0, 0}, {1, 1}})
                                        .Point(1, 2)
                                        .Point(3, 4)},
      {"negative counts",
       ShpBuilder().Point(1, 2).MultiPartRaw(kShapePolyLine, -1, 2, {}, kSquare)},
      {"overlapping parts", ShpBuilder().Point(1, 2).PolyLine({0, 2, 2}, kSquare)},
      {"a point shorter than X and Y", ShpBuilder().Point(1, 2).LastContentLength(6).Null().Null()},
      {"a null shape with content",
       ShpBuilder().Null().LastContentLength(6).Raw(LEDouble(9)).Point(1, 2)},
      {"a multipatch", ShpBuilder().Other(kShapeMultiPatch, std::string(60, '\x11')).Point(1, 2)},
      {"a 2D point with an M value", ShpBuilder().PointZM(kShapePoint, 1, 2, true).Point(3, 4)},
  };
  for (const Case& c : cases) {
    c.shp.Write(shp());
    Table(4);
    TConvertSummary summary;
    const bool converted = Convert(summary);
    const TShapefileInfo info = DescribeShapefile(shp(), "");
    std::vector<std::string> recordProblems;
    for (const std::string& p : info.Problems) {
      if (p.find("図形 ") != 0) recordProblems.push_back(p);  // the count check is info's own
    }
    if (converted) {
      // What the conversion warned of about the records, info lists: the zero padding only.
      std::vector<std::string> recordWarnings;
      for (const std::string& w : summary.Warnings()) {
        if (w.find("SHPファイル") != std::string::npos) recordWarnings.push_back(w);
      }
      EXPECT_EQ(recordProblems, recordWarnings) << c.what;
      int64_t records = summary.Objects + summary.DeletedSkipped;
      for (const auto& [type, count] : summary.SkippedByShapeType) records += count;
      EXPECT_EQ(info.Records, records) << c.what;
    } else {
      EXPECT_EQ(recordProblems, std::vector<std::string>{summary.FailureReason}) << c.what;
    }
  }
}

TEST_F(RecordBoundsTest, ASparseFileClaimingBillionsOfPointsFailsFastWithTheReason) {
  // A few bytes of data and a hole of 32 GiB, which reads as zeros and takes no disk: the
  // file can hold what the record claims, the record cap cannot.
  constexpr int64_t kLogicalSize = int64_t{1} << 35;
  struct Case {
    ShpBuilder shp;
    const char* reason;
  };
  const Case cases[] = {
      {ShpBuilder()
           .Point(1, 2)
           .MultiPartRaw(kShapePolygon, 1, 1 << 30, {0}, {{0, 0}})
           .LastContentLength(0x7FFFFFFF),
       "内容の長さ 4294967294 バイトが 1 レコードの上限 268435456 バイト (256 MiB) を超えています"},
      {ShpBuilder()
           .Point(1, 2)
           .MultiPartRaw(kShapePolyLine, 0x7FFFFFFF, 0x7FFFFFFF, {0}, {{0, 0}})
           .LastContentLength(0x7FFFFFFF),
       "内容の長さ 4294967294 バイトが 1 レコードの上限"},
      // Under the cap, yet far less than 2^30 points need.
      {ShpBuilder()
           .Point(1, 2)
           .MultiPartRaw(kShapePolygon, 1, 1 << 30, {0}, {{0, 0}})
           .LastContentLength(64 << 20),
       "パート 1 個と点 1073741824 個には内容があと 17179869188 バイト要りますが、"},
  };
  Table(2);
  for (const Case& c : cases) {
    c.shp.Write(shp());
    std::filesystem::resize_file(shp(), kLogicalSize);
    TConvertSummary summary;
    EXPECT_FALSE(Convert(summary));
    const std::string expected =
        std::string("レコード 2 (SHPファイルの 128 バイト目) を読めません: ") + c.reason;
    EXPECT_EQ(summary.FailureReason.rfind(expected, 0), 0u) << summary.FailureReason;
    const TShapefileInfo info = DescribeShapefile(shp(), "");
    EXPECT_EQ(info.Records, 1);
    ASSERT_FALSE(info.Problems.empty());
    EXPECT_EQ(info.Problems[0], summary.FailureReason);
  }
}

}  // namespace
}  // namespace plexor
