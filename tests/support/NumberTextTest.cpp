#include "support/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace plexor {
namespace {

TEST(CoordText, RoundsEighteenDigitsThenEightDecimalsHalfAwayFromZero) {
  EXPECT_EQ(CoordText(139.5), "139.50000000");
  EXPECT_EQ(CoordText(35), "35.00000000");
  EXPECT_EQ(CoordText(-0.25), "-0.25000000");
  EXPECT_EQ(CoordText(0.123456789), "0.12345679");
  EXPECT_EQ(CoordText(0.190000005), "0.19000001");
  EXPECT_EQ(CoordText(0.000000235), "0.00000024");
  EXPECT_EQ(CoordText(139.006789755), "139.00678976");
  EXPECT_EQ(CoordText(0.001953125), "0.00195313");
  EXPECT_EQ(CoordText(1000.007662665), "1000.00766267");
  EXPECT_EQ(CoordText(12345678901.123456789), "12345678901.12345700");
  EXPECT_EQ(CoordText(99.999999996), "100.00000000");
  EXPECT_EQ(CoordText(0.000000005), "0.00000001");
}

TEST(CoordText, ZeroAndTinyValuesCarryNoMinusSign) {
  EXPECT_EQ(CoordText(0.0), "0.00000000");
  EXPECT_EQ(CoordText(-0.0), "0.00000000");
  EXPECT_EQ(CoordText(-0.000000001), "0.00000000");
  EXPECT_EQ(CoordText(-1e-9), "0.00000000");
  EXPECT_EQ(CoordText(-0.000000005), "-0.00000001");
  EXPECT_EQ(CoordText(4e-10), "0.00000000");
  EXPECT_EQ(CoordText(1e-300), "0.00000000");
}

TEST(CoordText, HugeAndSpecialValuesUseTheGeneralText) {
  EXPECT_EQ(CoordText(1e18), "1E18");
  EXPECT_EQ(CoordText(1e20), "1E20");
  EXPECT_EQ(CoordText(-1e20), "-1E20");
  EXPECT_EQ(CoordText(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(CoordText(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(CoordText(std::nan("")), "NAN");
  EXPECT_EQ(CoordText(999999999999999999.0 / 10), "100000000000000000.00000000");
}

TEST(CoordText, UsesTheRegionalDecimalSeparator) { EXPECT_EQ(CoordText(1.5, ';'), "1;50000000"); }

TEST(GeneralText, FifteenSignificantDigitsFixedOrScientific) {
  EXPECT_EQ(GeneralText(0), "0");
  EXPECT_EQ(GeneralText(-0.0), "0");
  EXPECT_EQ(GeneralText(1.5), "1.5");
  EXPECT_EQ(GeneralText(1e15), "1E15");
  EXPECT_EQ(GeneralText(999999999999999.5), "1E15");
  EXPECT_EQ(GeneralText(1e-5), "1E-5");
  EXPECT_EQ(GeneralText(0.0001), "0.0001");
  EXPECT_EQ(GeneralText(0.0000015), "1.5E-6");
  EXPECT_EQ(GeneralText(1e20), "1E20");
  EXPECT_EQ(GeneralText(123456789012345678.0), "1.23456789012346E17");
  EXPECT_EQ(GeneralText(139.2907362631355), "139.290736263136");
  EXPECT_EQ(GeneralText(1.385083906478775), "1.38508390647878");
  EXPECT_EQ(GeneralText(999999999999998.5), "999999999999999");
  EXPECT_EQ(GeneralText(0.1 + 0.2), "0.3");
  EXPECT_EQ(GeneralText(-12.25), "-12.25");
  EXPECT_EQ(GeneralText(100), "100");
  EXPECT_EQ(GeneralText(std::nan("")), "NAN");
  EXPECT_EQ(GeneralText(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(GeneralText(1.5, ','), "1,5");
}

TEST(ShortDate, TokensAndSeparator) {
  EXPECT_EQ(ShortDateText(2004, 1, 15, "yyyy/mm/dd"), "2004/01/15");
  EXPECT_EQ(ShortDateText(2004, 1, 5, "yyyymmdd"), "20040105");
  EXPECT_EQ(ShortDateText(2004, 1, 5, "yy/m/d"), "04/1/5");
  EXPECT_EQ(ShortDateText(2004, 1, 5, "YYYY-MM-DD"), "2004-01-05");
  EXPECT_EQ(ShortDateText(2004, 11, 25, "d.m.yyyy", '-'), "25.11.2004");
  EXPECT_EQ(ShortDateText(2004, 11, 25, "yyyy/mm/dd", '-'), "2004-11-25");
  EXPECT_EQ(ShortDateText(33, 2, 3, "yyyy/mm/dd"), "0033/02/03");
}

}  // namespace
}  // namespace plexor
