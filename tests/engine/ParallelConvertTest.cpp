// A conversion whose MIF objects are formatted on a second thread: the same bytes, the same
// failures and the same cancellation as on one thread, over many chunks of work.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/MifObjectQueue.h"
#include "engine/ShpToMif.h"
#include "mif/uniMifUtils.h"
#include "shp/uniShpUtils.h"
#include "support/DbfBuilder.h"
#include "support/Exceptions.h"
#include "support/FakeHost.h"
#include "support/ShpBuilder.h"

namespace plexor {
namespace {

using test::DbfBuilder;
using test::ReadFile;
using test::ShpBuilder;

class ThreadsHost : public test::FakeHost {
 public:
  int Threads = 1;
  TConvertOptions Options() const override {
    TConvertOptions options;
    options.Threads = Threads;
    return options;
  }
};

// Pushes every kind, one polygon of more vertices than a chunk holds among them.
void PushShapes(TMifObjectQueue& queue) {
  for (int i = 0; i < 9000; ++i) {
    switch (i % 4) {
      case 0:
        queue.PointSlot() = TSFPoint{i * 0.5, -i * 0.25};
        break;
      case 1: {
        TSFPolyLine& line = queue.LineSlot();
        line.NumParts = 1;
        line.Parts = {0};
        line.Points.assign(static_cast<size_t>(2 + i % 7), TSFPoint{double(i), 1.5});
        line.NumPoints = static_cast<int32_t>(line.Points.size());
        break;
      }
      case 2: {
        TSFPolygon& region = queue.RegionSlot();
        const size_t n = i == 4002 ? 200000 : 5;
        region.NumParts = 1;
        region.Parts = {0};
        region.Points.resize(n);
        for (size_t k = 0; k < n; ++k) region.Points[k] = {double(k % 97), double(k % 89)};
        region.Points.back() = region.Points.front();
        region.NumPoints = static_cast<int32_t>(n);
        break;
      }
      default: {
        TSFMultiPoint& multi = queue.MultipointSlot();
        multi.Points = {{1, 2}, {double(i), 3}};
        multi.NumPoints = 2;
        break;
      }
    }
    queue.Push();
  }
}

TEST(MifObjectQueue, ThreadedAndInlineWriteTheSameBytes) {
  test::TempDir dir;
  for (const bool threaded : {false, true}) {
    TextFileWriter mif;
    mif.SetBackgroundWrites(threaded);
    mif.Create(dir / (threaded ? "threaded.mif" : "inline.mif"));
    TMifObjectQueue queue(mif, ',', threaded);
    PushShapes(queue);
    queue.Finish();
    mif.Close();
  }
  const std::string inlineText = ReadFile(dir / "inline.mif");
  EXPECT_GT(inlineText.size(), 4u << 20);
  EXPECT_TRUE(ReadFile(dir / "threaded.mif") == inlineText);

  // Dropped half way, as on an error: the thread stops and nothing is published.
  {
    TextFileWriter mif;
    mif.Create(dir / "dropped.mif");
    TMifObjectQueue queue(mif, '.', true);
    PushShapes(queue);
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "dropped.mif"));
}

// Rings are oriented as they are queued, whichever thread then writes them: an open
// counter-clockwise ring comes out as the single-object writer makes it, clockwise and closed.
TEST(MifObjectQueue, BothPathsOrientRingsAsTheRegionWriterDoes) {
  const auto ring = [](TSFPolygon& p) {
    p.NumParts = 1;
    p.Parts = {0};
    p.Points = {{0, 0}, {2, 0}, {2, 1}, {0, 1}};
    p.NumPoints = 4;
  };
  test::TempDir dir;
  {
    TextFileWriter mif;
    mif.Create(dir / "writer.mif");
    TSFPolygon polygon;
    ring(polygon);
    WriteMifRegion(mif, polygon);
    mif.Close();
  }
  const std::string oriented = ReadFile(dir / "writer.mif");
  ASSERT_EQ(oriented.rfind("Region 1\r\n  5\r\n0.00000000 1.00000000\r\n", 0), 0u) << oriented;
  for (const bool threaded : {false, true}) {
    TextFileWriter mif;
    mif.Create(dir / "queued.mif");
    TMifObjectQueue queue(mif, '.', threaded);
    for (int i = 0; i < 5000; ++i) {
      ring(queue.RegionSlot());
      queue.Push();
    }
    queue.Finish();
    mif.Close();
    std::string expected;
    for (int i = 0; i < 5000; ++i) expected += oriented;
    EXPECT_TRUE(ReadFile(dir / "queued.mif") == expected) << "threaded " << threaded;
  }
}

TEST(MifObjectQueue, AWriteFailureOnTheThreadReachesTheCaller) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TextFileWriter mif;
  mif.Create("/dev/full");
  TMifObjectQueue queue(mif, '.', true);
  EXPECT_THROW(
      {
        PushShapes(queue);
        queue.Finish();
      },
      EInOutError);
}

class ParallelConvert : public ::testing::Test {
 protected:
  std::string shp() const { return dir / "in.shp"; }
  std::string mif() const { return dir / "out.mif"; }
  // Polygons and a table of one row each; the last record cut when `cut`.
  void Write(int count, bool cut) {
    ShpBuilder b;
    DbfBuilder d;
    d.Field("N", 'N', 8);
    for (int i = 0; i < count; ++i) {
      b.Polygon({0}, {{0, 0}, {0, double(i)}, {1, 1}, {0, 0}});
      d.Record({std::to_string(i)});
    }
    b.Write(shp(), cut ? static_cast<int64_t>(b.Bytes().size()) - 20 : -1);
    d.Write(dir / "in.dbf");
  }

  test::TempDir dir;
  ThreadsHost host;
};

TEST_F(ParallelConvert, ACutRecordFailsAlikeOnOneThreadAndTwo) {
  Write(30000, true);
  std::string reasons[2];
  for (const int threads : {1, 2}) {
    host.Threads = threads;
    TConvertSummary summary;
    EXPECT_FALSE(ConvertShpToMif(30, shp(), mif(), host, &summary));
    reasons[threads - 1] = summary.FailureReason;
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.dbf", "in.shp"}));
  }
  EXPECT_EQ(reasons[1], reasons[0]);
  EXPECT_EQ(reasons[0].rfind("レコード 30000 (SHPファイルの ", 0), 0u) << reasons[0];
}

TEST_F(ParallelConvert, CancelledPartWayLeavesNothing) {
  Write(30000, false);
  host.Threads = 2;
  host.CancelAfterPolls = 20000;
  TConvertSummary summary;
  EXPECT_FALSE(ConvertShpToMif(30, shp(), mif(), host, &summary));
  EXPECT_EQ(summary.FailureReason, kCancelledText);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.dbf", "in.shp"}));

  host.CancelAfterPolls = -1;
  ASSERT_TRUE(ConvertShpToMif(30, shp(), mif(), host, &summary)) << summary.FailureReason;
  EXPECT_EQ(summary.Objects, 30000);
}

// A second busy thread only where a processor is idle for it; the writing threads, which
// mostly wait for the disk, for any file large enough to pay for them.
TEST(PlanThreads, FollowsTheOptionTheFileAndTheIdleProcessors) {
  const auto plan = [](int threads, int64_t bytes, int idle) {
    TConvertOptions options;
    options.Threads = threads;
    bool asked = false;
    const TThreadPlan p = PlanThreads(options, bytes, [&] {
      asked = true;
      return TProcessors{2, idle};
    });
    // Only a file left to the program and large enough is worth the look.
    EXPECT_EQ(asked, threads == 0 && bytes >= (4 << 20));
    return std::pair(p.ObjectThread, p.BackgroundWrites);
  };
  constexpr int64_t kLarge = 64 << 20;
  EXPECT_EQ(plan(0, kLarge, 2), std::pair(true, true));
  EXPECT_EQ(plan(0, kLarge, 1), std::pair(false, true));
  EXPECT_EQ(plan(0, kLarge, 0), std::pair(false, true));
  EXPECT_EQ(plan(0, 100 << 10, 2), std::pair(false, false));
  EXPECT_EQ(plan(1, kLarge, 2), std::pair(false, false));
  EXPECT_EQ(plan(2, 100 << 10, 0), std::pair(true, true));

  const TProcessors now = CurrentProcessors();
  EXPECT_GE(now.Usable, 1);
  EXPECT_GE(now.Idle, 0);
  EXPECT_LE(now.Idle, now.Usable);
}

TEST(PlanThreads, ReadsTheRunnableCountOfTheLoadLine) {
  EXPECT_EQ(RunnableFromLoadavg("0.52 0.58 0.59 3/211 4711\n"), 3);
  EXPECT_EQ(RunnableFromLoadavg("12.00 9.10 8.00 17/1024 1"), 17);
  EXPECT_EQ(RunnableFromLoadavg("0.52 0.58 0.59 /211 4711"), std::nullopt);
  EXPECT_EQ(RunnableFromLoadavg("0.52 0.58 0.59 x3/211 4711"), std::nullopt);
  EXPECT_EQ(RunnableFromLoadavg("0.52 0.58 3/211"), std::nullopt);
  EXPECT_EQ(RunnableFromLoadavg(""), std::nullopt);
}

}  // namespace
}  // namespace plexor
