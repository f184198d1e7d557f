#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "support/NumberText.h"
#include "support/NumberTextReference.h"

namespace plexor {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Example {
  double value;
  const char* text;
};

// Each worked example is held against the fast routine and against the reference, so that
// a fault in either one shows up here before the random comparison blames the other.
template <typename Fast, typename Slow>
void CheckExamples(std::initializer_list<Example> examples, Fast fast, Slow slow) {
  for (const Example& e : examples) {
    EXPECT_EQ(fast(e.value), e.text) << "fast, value " << e.value;
    EXPECT_EQ(slow(e.value), e.text) << "reference, value " << e.value;
  }
}

void CheckCoord(std::initializer_list<Example> examples) {
  CheckExamples(
      examples, [](double v) { return CoordText(v); },
      [](double v) { return reference::CoordText(v); });
}

void CheckGeneral(std::initializer_list<Example> examples) {
  CheckExamples(
      examples, [](double v) { return GeneralText(v); },
      [](double v) { return reference::GeneralText(v); });
}

TEST(CoordText, RoundsEighteenDigitsThenEightDecimalsHalfAwayFromZero) {
  CheckCoord({{139.5, "139.50000000"},
              {35, "35.00000000"},
              {-0.25, "-0.25000000"},
              {0.123456789, "0.12345679"},
              {0.190000005, "0.19000001"},
              {0.000000235, "0.00000024"},
              {139.006789755, "139.00678976"},
              {0.001953125, "0.00195313"},
              {1000.007662665, "1000.00766267"},
              {12345678901.123456789, "12345678901.12345700"},
              {99.999999996, "100.00000000"},
              {0.000000005, "0.00000001"},
              {999999999.999999995, "1000000000.00000000"}});
}

TEST(CoordText, ExactTiesAtTheEighteenthDigitGoToEven) {
  // 10000000000000.03125 and .09375 have 19 significant digits ending in 5.
  CheckCoord({{320000000000001.0 / 32, "10000000000000.03120000"},
              {320000000000003.0 / 32, "10000000000000.09380000"},
              {-320000000000003.0 / 32, "-10000000000000.09380000"}});
}

TEST(CoordText, ZeroAndTinyValuesCarryNoMinusSign) {
  CheckCoord({{0.0, "0.00000000"},
              {-0.0, "0.00000000"},
              {-0.000000001, "0.00000000"},
              {-1e-9, "0.00000000"},
              {-0.000000005, "-0.00000001"},
              {-0.0000000049999, "0.00000000"},
              {4e-10, "0.00000000"},
              {1e-300, "0.00000000"},
              {-5e-324, "0.00000000"}});
}

TEST(CoordText, HugeAndSpecialValuesUseTheGeneralText) {
  CheckCoord({{1e18, "1E18"},
              {1e20, "1E20"},
              {-1e20, "-1E20"},
              {kInf, "INF"},
              {-kInf, "-INF"},
              {std::nan(""), "NAN"},
              {999999999999999999.0 / 10, "100000000000000000.00000000"},
              {std::nextafter(1e18, 0.0), "999999999999999872.00000000"}});
}

TEST(CoordText, UsesTheRegionalDecimalSeparator) {
  EXPECT_EQ(CoordText(1.5, ';'), "1;50000000");
  EXPECT_EQ(CoordText(-1e-12, ';'), "0;00000000");
  EXPECT_EQ(CoordText(1e20, ','), "1E20");
}

TEST(GeneralText, FifteenSignificantDigitsFixedOrScientific) {
  CheckGeneral({{0, "0"},
                {-0.0, "0"},
                {1.5, "1.5"},
                {1e15, "1E15"},
                {999999999999999.5, "1E15"},
                {1e-5, "1E-5"},
                {0.0001, "0.0001"},
                {0.0000015, "1.5E-6"},
                {1e20, "1E20"},
                {123456789012345678.0, "1.23456789012346E17"},
                {139.2907362631355, "139.290736263136"},
                {1.385083906478775, "1.38508390647878"},
                {999999999999998.5, "999999999999999"},
                {0.1 + 0.2, "0.3"},
                {-12.25, "-12.25"},
                {100, "100"},
                {std::nan(""), "NAN"},
                {-kInf, "-INF"},
                {0.00009999999999999995, "0.0001"},
                {1e-11, "1E-11"},
                {1.7976931348623157e308, "1.79769313486232E308"},
                {5e-324, "4.94065645841247E-324"}});
  EXPECT_EQ(GeneralText(1.5, ','), "1,5");
  EXPECT_EQ(GeneralText(-2.5e-7, ','), "-2,5E-7");
}

// The reference expands every double into all of its decimal digits, so a million values
// over all magnitudes are spread across the classes where a fast path could slip: exact
// ties, near-ties a few units in the last place away, the carry into a new decade, the
// boundaries between notations and between the fast and the slow path.
double RandomValue(std::mt19937_64& rng) {
  auto uniform = [&rng](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng);
  };
  auto below = [&rng](uint64_t bound) { return rng() % bound; };
  auto nudge = [&](double v) {
    for (int steps = static_cast<int>(below(7)) - 3; steps != 0; steps += steps < 0 ? 1 : -1) {
      v = std::nextafter(v, steps < 0 ? -kInf : kInf);
    }
    return v;
  };
  double v = 0;
  switch (below(9)) {
    case 0: {  // any bit pattern: every magnitude, subnormals, infinities, NaNs
      const uint64_t bits = rng();
      std::memcpy(&v, &bits, sizeof v);
      break;
    }
    case 1: {  // half a unit of the eighth decimal
      const double whole = std::floor(std::pow(10.0, uniform(-1, 10)));
      v = nudge(whole + static_cast<double>(below(100000000) * 10 + 5) / 1e9);
      break;
    }
    case 2: {  // half a unit of the fifteenth significant digit
      const double digits =
          static_cast<double>((below(900000000000000) + 100000000000000) * 10 + 5);
      v = nudge(digits * std::pow(10.0, static_cast<int>(below(60)) - 40));
      break;
    }
    case 3: {  // around powers of ten and just below the carry into the next decade
      const int p = static_cast<int>(below(50)) - 25;
      const double power = std::pow(10.0, p);
      switch (below(3)) {
        case 0:
          v = power;
          break;
        case 1:
          v = power * (1 - 5e-16);
          break;
        default:
          v = power - 5e-9;
          break;
      }
      v = nudge(v);
      break;
    }
    case 4: {  // whole numbers of every length
      const uint64_t n = rng() >> below(64);
      v = static_cast<double>(n);
      break;
    }
    case 5: {  // exact ties at the eighteenth digit: n / 2^j with nineteen significant digits
      const int j = static_cast<int>(below(23)) + 5;
      const double low = std::ceil(1e18 / std::pow(5.0, j));
      const double n = low + std::floor(uniform(0, 9 * low));
      v = std::ldexp(std::fmod(n, 2) == 0 ? n + 1 : n, -j);
      break;
    }
    case 6: {  // tiny and huge, around the edges of the fast path and the coordinate text
      const double scale = std::pow(10.0, static_cast<int>(below(40)) - 20);
      v = uniform(0, 10) * (below(2) ? scale : 1e-8);
      break;
    }
    case 7: {  // map coordinates: longitudes, latitudes, plane coordinates
      switch (below(3)) {
        case 0:
          v = uniform(120, 150);
          break;
        case 1:
          v = uniform(20, 46);
          break;
        default:
          v = uniform(-300000, 300000);
          break;
      }
      break;
    }
    default: {  // decimals typed or stored with a few places
      const double scale = std::pow(10.0, static_cast<int>(below(13)));
      v = std::round(uniform(-1e6, 1e6) * scale) / scale;
      break;
    }
  }
  return below(2) ? -v : v;
}

TEST(NumberTextExactness, MatchesTheDecimalReferenceOnRandomValues) {
  long count = 1000000;
  if (const char* env = std::getenv("PLEXOR_NUMBER_TEXT_CHECKS")) count = std::atol(env);
  std::mt19937_64 rng(20040115);
  int failures = 0;
  reference::Texts expected;
  double previous = 0;
  std::string previousCoord = "0.00000000";
  for (long i = 0; i < count && failures < 20; ++i) {
    const double v = RandomValue(rng);
    char coordBuffer[kNumberTextMax];
    char generalBuffer[kNumberTextMax];
    char pairBuffer[2 * kNumberTextMax];
    const std::string_view coord(coordBuffer, FormatCoord(v, '.', coordBuffer));
    const std::string_view general(generalBuffer, FormatGeneral(v, '.', generalBuffer));
    // A vertex takes both coordinates at once, on its own path.
    const std::string_view pair(pairBuffer, FormatCoordPair(previous, v, '.', pairBuffer));
    reference::BothTexts(v, '.', expected);
    if (coord != expected.coord || general != expected.general ||
        pair != previousCoord + " " + expected.coord) {
      ++failures;
      ADD_FAILURE() << std::hexfloat << v << std::defaultfloat << " (" << v << "): coord " << coord
                    << " expected " << expected.coord << ", general " << general << " expected "
                    << expected.general << ", pair " << pair;
    }
    previous = v;
    previousCoord = expected.coord;
  }
}

// The two decimals of a vertex are cut into four-digit halves that are divided in parallel
// lanes: every half value, in every lane, against the coordinate text of each value alone.
TEST(CoordText, PairMatchesEachCoordinateForEveryFourDigitHalf) {
  for (int h = 0; h < 10000; ++h) {
    const double x = 135 + (h * 10000 + 9999 - h) * 1e-8;
    const double y = -35 - (h * 10000 + h) * 1e-8;
    char buffer[2 * kNumberTextMax];
    const std::string_view pair(buffer, FormatCoordPair(x, y, ',', buffer));
    ASSERT_EQ(pair, CoordText(x, ',') + " " + CoordText(y, ',')) << h;
  }
}

// The thousands of a whole part come from a multiply by a reciprocal, not a division: every
// whole part below a million, alone and in a pair, against its digits written out.
TEST(CoordText, EveryWholePartBelowAMillionKeepsItsDigits) {
  for (int whole = 0; whole < 1000000; ++whole) {
    char digits[8];
    const std::string_view w(
        digits, static_cast<size_t>(std::to_chars(digits, digits + 8, whole).ptr - digits));
    char buffer[2 * kNumberTextMax];
    const std::string_view pair(buffer, FormatCoordPair(whole + 0.25, -(whole + 0.5), '.', buffer));
    const std::string expected = std::string(w) + ".25000000 -" + std::string(w) + ".50000000";
    ASSERT_EQ(pair, expected) << whole;
  }
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

namespace plexor {
namespace {

TEST(ShortDateFormat, OnlyTokensAndSeparatorsThatMakeADate) {
  for (const char* good :
       {"yyyy/mm/dd", "yyyymmdd", "yy-m-d", "dd.mm.yyyy", "YYYY/MM/DD", "m/d/yy"}) {
    EXPECT_TRUE(IsValidShortDateFormat(good)) << good;
  }
  for (const char* bad : {"foo", "", "yyyy/mm", "mm/dd", "yyyy,mm,dd", "yyy/mm/dd", "yyyy//mm/dd",
                          "yyyy/mmm/dd", "yyyy mm dd", "yyyy/mm/dd\"", "yyyy/mm/ddd"}) {
    EXPECT_FALSE(IsValidShortDateFormat(bad)) << bad;
  }
}

}  // namespace
}  // namespace plexor
