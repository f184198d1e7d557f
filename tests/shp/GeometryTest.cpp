#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shp/UniSFMapUtil.h"

namespace plexor {
namespace {

TEST(ReverseBytes, ReversesInPlaceAndLeavesShortCountsAlone) {
  unsigned char four[] = {0x00, 0x00, 0x27, 0x0A};
  ReverseBytes(4, four);
  EXPECT_EQ(four[0], 0x0A);
  EXPECT_EQ(four[1], 0x27);
  EXPECT_EQ(four[3], 0x00);
  unsigned char three[] = {1, 2, 3};
  ReverseBytes(3, three);
  EXPECT_EQ(three[0], 3);
  EXPECT_EQ(three[1], 2);
  EXPECT_EQ(three[2], 1);
  unsigned char one[] = {1, 2};
  ReverseBytes(1, one);
  ReverseBytes(0, one);
  ReverseBytes(-3, one);
  EXPECT_EQ(one[0], 1);
  EXPECT_EQ(one[1], 2);
}

TEST(SignedArea, OrientationClosureAndDegenerateInput) {
  EXPECT_EQ(SignedArea({0, 1, 1, 0}, {0, 0, 1, 1}), 1);
  EXPECT_EQ(SignedArea({0, 0, 1, 1}, {0, 1, 1, 0}), -1);
  EXPECT_EQ(SignedArea({0, 1, 1, 0, 0}, {0, 0, 1, 1, 0}), 1);
  EXPECT_EQ(SignedArea({0, 1}, {0, 0}), 0);
  EXPECT_EQ(SignedArea({0, 1, 1, 0}, {0, 0, 1, 1, 0}), 0);
}

TEST(SignedArea, OverflowGivesMinusOneAndNaNIsNoError) {
  const double big = std::numeric_limits<double>::max();
  EXPECT_EQ(SignedArea({big, -big, big}, {big, -big, 0}), -1);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(SignedArea({0, inf, 1}, {0, 0, 1}), -1);
  EXPECT_TRUE(std::isnan(SignedArea({0, std::nan(""), 1}, {0, 0, 1})));
}

TSFPolygon Ring(std::vector<TSFPoint> points, int32_t numParts = 1) {
  TSFPolygon p;
  p.NumParts = numParts;
  for (int32_t i = 0; i < numParts; ++i) p.Parts.push_back(0);
  p.NumPoints = static_cast<int32_t>(points.size());
  p.Points = std::move(points);
  return p;
}

void ExpectPoints(const TSFPolygon& p, const std::vector<TSFPoint>& expected) {
  ASSERT_EQ(p.Points.size(), expected.size());
  EXPECT_EQ(p.NumPoints, static_cast<int32_t>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(p.Points[i].X, expected[i].X) << i;
    EXPECT_EQ(p.Points[i].Y, expected[i].Y) << i;
  }
}

TEST(NormalizeRing, CounterClockwiseOpenRingIsReversedAndClosed) {
  TSFPolygon p = Ring({{0, 0}, {1, 0}, {0, 1}});
  NormalizeRing(p);
  ExpectPoints(p, {{0, 1}, {1, 0}, {0, 0}, {0, 1}});
}

TEST(NormalizeRing, ClockwiseClosedRingIsUnchanged) {
  TSFPolygon p = Ring({{0, 0}, {0, 1}, {1, 1}, {0, 0}});
  NormalizeRing(p);
  ExpectPoints(p, {{0, 0}, {0, 1}, {1, 1}, {0, 0}});
}

TEST(NormalizeRing, SeveralPartsOrTwoPointsAreLeftAlone) {
  TSFPolygon two = Ring({{0, 0}, {1, 0}, {0, 1}}, 2);
  NormalizeRing(two);
  ExpectPoints(two, {{0, 0}, {1, 0}, {0, 1}});
  TSFPolygon shortRing = Ring({{0, 0}, {1, 0}});
  NormalizeRing(shortRing);
  ExpectPoints(shortRing, {{0, 0}, {1, 0}});
}

TEST(NormalizeRing, NoPartsCountsAsOneRing) {
  TSFPolygon p = Ring({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 0);
  NormalizeRing(p);
  ExpectPoints(p, {{0, 1}, {1, 1}, {1, 0}, {0, 0}, {0, 1}});
}

TEST(NormalizeRing, RingOpenOnlyInYIsClosed) {
  TSFPolygon p = Ring({{0, 0}, {0, 1}, {1, 1}, {0, 0.5}});
  NormalizeRing(p);
  EXPECT_EQ(p.NumPoints, 5);
  EXPECT_EQ(p.Points.back().Y, 0);
}

}  // namespace
}  // namespace plexor
