#include "support/NumberText.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace plexor {
namespace {

// Both number texts round twice: the exact binary value to 18 significant digits (half to
// even), then that digit string half away from zero. The second rounding must see the first
// one's result, not the binary value: 0.190000005 is stored as 0.19000000499999999..., its
// 18 digits end in ...5000 and only then round up to 0.19000001.
constexpr int kExactDigits = 18;
constexpr int kGeneralDigits = 15;
constexpr int kCoordDecimals = 8;

__extension__ typedef unsigned __int128 UInt128;

constexpr auto kPow10 = [] {
  std::array<uint64_t, 20> t{};
  t[0] = 1;
  for (size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 10;
  return t;
}();

constexpr uint64_t kLowest18 = kPow10[kExactDigits - 1];
constexpr uint64_t kBeyond18 = kPow10[kExactDigits];

// 5^0 .. 5^27: every power of five that fits in 64 bits, so that its product with a
// mantissa is one 64 x 64 -> 128-bit multiply.
constexpr int kMaxScale = 27;
constexpr auto kPow5 = [] {
  std::array<uint64_t, kMaxScale + 1> t{};
  t[0] = 1;
  for (size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 5;
  return t;
}();

// A positive value as significand * 10^(exponent - 17): the significand has exactly 18 digits.
struct Decimal18 {
  uint64_t significand;
  int exponent;  // decimal exponent of the first digit
};

// The exact significand of a finite positive double: value = mantissa * 2^exp2.
struct Binary {
  uint64_t mantissa;
  int exp2;
};

Binary Decompose(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  constexpr uint64_t kFractionMask = (uint64_t{1} << 52) - 1;
  const uint64_t fraction = bits & kFractionMask;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased == 0) return {fraction, -1074};
  return {fraction | (uint64_t{1} << 52), biased - 1075};
}

// floor(value * 10^scale) split into its whole part and the bits below the binary point, so
// the caller can round exactly. Needs 0 <= scale <= kMaxScale and a whole part below 2^64.
struct Scaled {
  uint64_t whole;
  UInt128 rest;  // the dropped bits
  UInt128 half;  // the weight of one half unit; 0 when nothing was dropped
};

Scaled ScaleByPow10(Binary b, int scale) {
  // 10^scale = 5^scale * 2^scale: the power of five is an exact multiply, the power of two
  // moves the binary point.
  const UInt128 product = static_cast<UInt128>(b.mantissa) * kPow5[scale];
  const int shift = b.exp2 + scale;
  if (shift >= 0) return {static_cast<uint64_t>(product << shift), 0, 0};
  const int drop = -shift;
  const UInt128 whole = product >> drop;
  return {static_cast<uint64_t>(whole), product - (whole << drop),
          static_cast<UInt128>(1) << (drop - 1)};
}

// The 18 digits by exact integer arithmetic from about 1e-10 up to 1e18, which holds every
// coordinate that does not print as zero and nearly every attribute value. False outside.
bool EighteenDigitsFast(double value, Decimal18& out) {
  const Binary b = Decompose(value);
  // The power of two of the leading bit; floor(e2 * log10(2)) is the decimal exponent or
  // one below it.
  const int e2 = b.exp2 + 52;
  int exponent = (e2 * 78913) >> 18;
  int scale = kExactDigits - 1 - exponent;
  if (scale < 0 || scale > kMaxScale || b.mantissa < (uint64_t{1} << 52)) return false;
  Scaled s = ScaleByPow10(b, scale);
  if (s.whole >= kBeyond18) {
    ++exponent;
    if (--scale < 0) return false;
    s = ScaleByPow10(b, scale);
  }
  uint64_t significand = s.whole;
  if (s.rest > s.half || (s.rest == s.half && s.half != 0 && (significand & 1) != 0)) {
    ++significand;
    if (significand == kBeyond18) {
      significand = kLowest18;
      ++exponent;
    }
  }
  out = {significand, exponent};
  return true;
}

// std::to_chars with a precision rounds the exact value too, only several times slower; it
// takes the tiny and huge magnitudes the integer path cannot hold.
Decimal18 EighteenDigitsSlow(double value) {
  char text[40];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific,
                                    kExactDigits - 1);
  // text is "d.ddddddddddddddddde[+-]xx"
  uint64_t significand = static_cast<uint64_t>(text[0] - '0');
  for (int i = 2; i < 2 + kExactDigits - 1; ++i) {
    significand = significand * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  const char* e = text + 2 + (kExactDigits - 1);  // at 'e'
  int exponent = 0;
  std::from_chars(e[1] == '+' ? e + 2 : e + 1, result.ptr, exponent);
  return {significand, exponent};
}

Decimal18 EighteenDigits(double value) {
  Decimal18 d;
  if (EighteenDigitsFast(value, d)) return d;
  return EighteenDigitsSlow(value);
}

static_assert(std::endian::native == std::endian::little, "digit words are stored low byte first");

// Eight digits of value < 10^8 as the bytes of one word, first digit in the lowest byte,
// still without the '0' added: the value is split into halves, quarters and single digits in
// parallel lanes of the word, using multiplications by scaled reciprocals that are exact for
// the lane ranges involved.
inline uint64_t EightDigitLanes(uint32_t value) {
  uint64_t lanes = (value / 10000) | (static_cast<uint64_t>(value % 10000) << 32);
  const uint64_t hundreds = ((lanes * 10486) >> 20) & 0x0000007F0000007FULL;
  lanes = hundreds | ((lanes - hundreds * 100) << 16);
  const uint64_t tens = ((lanes * 103) >> 10) & 0x000F000F000F000FULL;
  return tens | ((lanes - tens * 10) << 8);
}

constexpr uint64_t kZeroBytes = 0x3030303030303030ULL;

// Exactly eight digits of value < 10^8, leading zeros included.
inline void PutEight(char* p, uint32_t value) {
  const uint64_t word = EightDigitLanes(value) + kZeroBytes;
  std::memcpy(p, &word, 8);
}

// Every value below 1000 as text, once with its leading zeros (kPaddedDigits: three digits)
// and once without (kShortDigits: the digits first, their count in the fourth byte). A
// coordinate's whole part is mostly this short, and a lookup ends the digit chain that the
// word arithmetic below takes some twenty cycles for.
using DigitEntry = std::array<char, 4>;
constexpr auto kPaddedDigits = [] {
  std::array<DigitEntry, 1000> t{};
  for (int v = 0; v < 1000; ++v) {
    t[v] = {static_cast<char>('0' + v / 100), static_cast<char>('0' + v / 10 % 10),
            static_cast<char>('0' + v % 10), 3};
  }
  return t;
}();
constexpr auto kShortDigits = [] {
  std::array<DigitEntry, 1000> t{};
  for (int v = 0; v < 1000; ++v) {
    const int count = v >= 100 ? 3 : v >= 10 ? 2 : 1;
    for (int i = 0; i < count; ++i) t[v][i] = kPaddedDigits[v][3 - count + i];
    t[v][3] = static_cast<char>(count);
  }
  return t;
}();

// The digits of value < 10^8 without leading zeros. Stores a whole word, so p needs eight
// bytes of room whatever the length.
inline char* PutShortUnsigned(char* p, uint32_t value) {
  if (value < 1000) {
    std::memcpy(p, kShortDigits[value].data(), 4);
    return p + kShortDigits[value][3];
  }
  if (value < 1000000) {
    const uint32_t high = value / 1000;
    std::memcpy(p, kShortDigits[high].data(), 4);
    p += kShortDigits[high][3];
    std::memcpy(p, kPaddedDigits[value % 1000].data(), 4);
    return p + 3;
  }
  const uint64_t lanes = EightDigitLanes(value);
  // Leading zero digits are the low zero bytes of the lanes; the last digit always stays.
  const int skipped = std::countr_zero(lanes | (uint64_t{1} << 56)) / 8;
  const uint64_t word = (lanes + kZeroBytes) >> (8 * skipped);
  std::memcpy(p, &word, 8);
  return p + 8 - skipped;
}

// The digits of value without leading zeros; p needs eight bytes of room beyond them.
char* PutUnsigned(char* p, uint64_t value) {
  if (value < kPow10[8]) return PutShortUnsigned(p, static_cast<uint32_t>(value));
  p = PutUnsigned(p, value / kPow10[8]);
  PutEight(p, static_cast<uint32_t>(value % kPow10[8]));
  return p + 8;
}

size_t SpecialText(double value, char* out) {
  if (std::isnan(value)) {
    std::memcpy(out, "NAN", 3);
    return 3;
  }
  if (value < 0) {
    std::memcpy(out, "-INF", 4);
    return 4;
  }
  std::memcpy(out, "INF", 3);
  return 3;
}

size_t CoordZeroText(char decimalSeparator, char* out) {
  out[0] = '0';
  out[1] = decimalSeparator;
  std::memset(out + 2, '0', kCoordDecimals);
  return 2 + kCoordDecimals;
}

// The coordinate text split at the decimal separator: the whole part and the eight decimals.
struct CoordParts {
  uint64_t whole;
  uint32_t decimals;
};

CoordParts CoordPartsExact(double magnitude) {
  const Decimal18 d = EighteenDigits(magnitude);
  if (d.exponent <= kExactDigits - 1 - kCoordDecimals - 1) {
    // The 18 digits reach below the eighth decimal: round them there, half away from zero.
    const uint64_t unit = kPow10[kExactDigits - 1 - kCoordDecimals - d.exponent];
    const uint64_t units = (d.significand + unit / 2) / unit;
    return {units / kPow10[kCoordDecimals], static_cast<uint32_t>(units % kPow10[kCoordDecimals])};
  }
  // The 18 digits end at or above the eighth decimal: nothing left to round.
  const uint64_t unit = kPow10[kExactDigits - 1 - d.exponent];
  return {d.significand / unit,
          static_cast<uint32_t>(d.significand % unit *
                                kPow10[d.exponent - (kExactDigits - 1 - kCoordDecimals)])};
}

// Below 1e9 the 18 digits reach past the eighth decimal, and one half of a unit of the eighth
// decimal is itself a multiple of the 18-digit step. Rounding to that step never crosses
// it: a value at or above the half stays there, and only a value in the band just below it,
// as wide as half a step (0.5 * 10^(k-9) units for k+1 integer digits), can be lifted onto
// it. Everywhere else one rounding of the binary value gives the same result as both; the
// rare values in the band need the 18 digits. One multiply by 5^8 and a shift then give the
// coordinate in units of 10^-8.
constexpr double kShortCoordLimit = 1e9;

// Per k from -9 to 8: at least 2^64 * 0.5 * 10^(k-9), the band below one half.
constexpr auto kFirstRoundingBand = [] {
  std::array<uint64_t, 18> t{};
  for (int k = -9; k <= 8; ++k) {
    t[static_cast<size_t>(k + 9)] = (uint64_t{1} << 63) / kPow10[static_cast<size_t>(9 - k)] + 1;
  }
  return t;
}();

// value * 10^8 rounded as the coordinate text rounds it, for 4e-9 <= value < 1e9; false
// when the value lies too close to a half unit to decide without the 18 digits.
bool CoordUnitsFast(double value, uint64_t& units) {
  const Binary b = Decompose(value);
  // value * 10^8 = mantissa * 5^8 * 2^(exp2 + 8); exp2 + 8 lies between -72 and -15 here.
  const UInt128 product = static_cast<UInt128>(b.mantissa) * kPow5[kCoordDecimals];
  const int drop = -(b.exp2 + kCoordDecimals);
  units = static_cast<uint64_t>(product >> drop);
  const auto fraction = static_cast<uint64_t>((product << (128 - drop)) >> 64);
  constexpr uint64_t kHalf = uint64_t{1} << 63;
  if (fraction >= kHalf) {
    ++units;
    return true;
  }
  // k is floor(e2 * log10(2)) or one more, and never beyond 8 below 1e9.
  int k = (((b.exp2 + 52) * 78913) >> 18) + 1;
  if (k > 8) k = 8;
  // fraction is the binary fraction cut to 64 bits, at most one below the true one.
  return fraction < kHalf - kFirstRoundingBand[static_cast<size_t>(k + 9)];
}

}  // namespace

size_t FormatGeneral(double value, char decimalSeparator, char* out) {
  if (!std::isfinite(value)) return SpecialText(value, out);
  if (value == 0) {
    out[0] = '0';
    return 1;
  }
  char* p = out;
  if (value < 0) {
    *p++ = '-';
    value = -value;
  }
  const Decimal18 d18 = EighteenDigits(value);
  constexpr uint64_t kDropped = kPow10[kExactDigits - kGeneralDigits];
  uint64_t significand = (d18.significand + kDropped / 2) / kDropped;
  int exponent = d18.exponent;
  if (significand == kPow10[kGeneralDigits]) {
    significand = kPow10[kGeneralDigits - 1];
    ++exponent;
  }
  // Sixteen digit places for the fifteen digits: the first one stays '0'.
  char places[16];
  PutEight(places, static_cast<uint32_t>(significand / kPow10[8]));
  PutEight(places + 8, static_cast<uint32_t>(significand % kPow10[8]));
  const char* digits = places + 1;
  int count = kGeneralDigits;
  while (count > 1 && digits[count - 1] == '0') --count;

  if (exponent >= 0 && exponent < kGeneralDigits) {
    // Fixed, integer part exponent + 1 digits.
    for (int i = 0; i <= exponent; ++i) *p++ = i < count ? digits[i] : '0';
    if (count > exponent + 1) {
      *p++ = decimalSeparator;
      for (int i = exponent + 1; i < count; ++i) *p++ = digits[i];
    }
  } else if (exponent < 0 && exponent >= -4) {
    *p++ = '0';
    *p++ = decimalSeparator;
    for (int i = exponent; i < -1; ++i) *p++ = '0';
    for (int i = 0; i < count; ++i) *p++ = digits[i];
  } else {
    *p++ = digits[0];
    if (count > 1) {
      *p++ = decimalSeparator;
      for (int i = 1; i < count; ++i) *p++ = digits[i];
    }
    *p++ = 'E';
    if (exponent < 0) {
      *p++ = '-';
      exponent = -exponent;
    }
    p = PutUnsigned(p, static_cast<uint64_t>(exponent));
  }
  return static_cast<size_t>(p - out);
}

size_t FormatCoord(double value, char decimalSeparator, char* out) {
  const double magnitude = std::fabs(value);
  if (!(magnitude < 1e18)) return FormatGeneral(value, decimalSeparator, out);
  // Below 4e-9 even the 18-digit value stays under half of the last decimal.
  if (magnitude < 4e-9) return CoordZeroText(decimalSeparator, out);
  CoordParts parts;
  uint64_t units;
  if (magnitude < kShortCoordLimit && CoordUnitsFast(magnitude, units)) {
    parts = {units / kPow10[kCoordDecimals], static_cast<uint32_t>(units % kPow10[kCoordDecimals])};
  } else {
    parts = CoordPartsExact(magnitude);
  }
  if (parts.whole == 0 && parts.decimals == 0) return CoordZeroText(decimalSeparator, out);
  char* p = out;
  if (value < 0) *p++ = '-';
  p = PutUnsigned(p, parts.whole);
  *p++ = decimalSeparator;
  PutEight(p, parts.decimals);
  return static_cast<size_t>(p + kCoordDecimals - out);
}

size_t FormatInteger(int64_t value, char* out) {
  return static_cast<size_t>(std::to_chars(out, out + 24, value).ptr - out);
}

std::string GeneralText(double value, char decimalSeparator) {
  char buffer[kNumberTextMax];
  return std::string(buffer, FormatGeneral(value, decimalSeparator, buffer));
}

std::string CoordText(double value, char decimalSeparator) {
  char buffer[kNumberTextMax];
  return std::string(buffer, FormatCoord(value, decimalSeparator, buffer));
}

namespace {

void AppendPadded(int value, int width, std::string& out) {
  char buffer[16];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value < 0 ? -value : value).ptr;
  const int len = static_cast<int>(end - buffer);
  if (value < 0) out.push_back('-');
  for (int i = len; i < width; ++i) out.push_back('0');
  out.append(buffer, end);
}

}  // namespace

void AppendShortDate(int year, int month, int day, std::string_view format, char dateSeparator,
                     std::string& out) {
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower == 'y' || lower == 'm' || lower == 'd') {
      size_t run = 1;
      while (i + run < format.size() &&
             (format[i + run] == c || format[i + run] == (lower == c ? c - 'a' + 'A' : lower))) {
        ++run;
      }
      if (lower == 'y') {
        if (run >= 3) {
          AppendPadded(year, 4, out);
        } else {
          AppendPadded(((year % 100) + 100) % 100, 2, out);
        }
      } else {
        AppendPadded(lower == 'm' ? month : day, run >= 2 ? 2 : 1, out);
      }
      i += run;
    } else {
      out.push_back(c == '/' ? dateSeparator : c);
      ++i;
    }
  }
}

bool IsValidShortDateFormat(std::string_view format) {
  bool year = false, month = false, day = false;
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    size_t run = 1;
    while (i + run < format.size() && (format[i + run] | 0x20) == lower) ++run;
    if (lower == 'y' && (run == 2 || run == 4)) {
      year = true;
    } else if (lower == 'm' && run <= 2) {
      month = true;
    } else if (lower == 'd' && run <= 2) {
      day = true;
    } else if (!(run == 1 && (c == '/' || c == '-' || c == '.'))) {
      return false;
    }
    i += run;
  }
  return year && month && day;
}

std::string ShortDateText(int year, int month, int day, std::string_view format,
                          char dateSeparator) {
  std::string out;
  AppendShortDate(year, month, day, format, dateSeparator, out);
  return out;
}

}  // namespace plexor
