#include "support/NumberText.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    // value / 1000 as the multiply by its reciprocal, exact for every 32-bit value: left to
    // the compiler, a path it guesses rare (plane coordinates' usual one) keeps a divide
    // instruction of some thirty cycles.
    const auto high = static_cast<uint32_t>((uint64_t{value} * 0x10624DD3u) >> 38);
    std::memcpy(p, kShortDigits[high].data(), 4);
    p += kShortDigits[high][3];
    std::memcpy(p, kPaddedDigits[value - high * 1000].data(), 4);
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

// A coordinate in units of its last decimal, split at the decimal separator.
inline CoordParts PartsOfUnits(uint64_t units) {
  const uint64_t whole = units / kPow10[kCoordDecimals];
  return {whole, static_cast<uint32_t>(units - whole * kPow10[kCoordDecimals])};
}

CoordParts CoordPartsExact(double magnitude) {
  const Decimal18 d = EighteenDigits(magnitude);
  if (d.exponent <= kExactDigits - 1 - kCoordDecimals - 1) {
    // The 18 digits reach below the eighth decimal: round them there, half away from zero.
    const uint64_t unit = kPow10[kExactDigits - 1 - kCoordDecimals - d.exponent];
    const uint64_t units = (d.significand + unit / 2) / unit;
    return PartsOfUnits(units);
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
// rare values in the band need the 18 digits.
//
// The fast path takes 2^-26 <= value < 1e9, binary exponents (of the 53-bit mantissa) from
// -78 to -23. The mantissa moved to the top of a word times 5^8 * 2^45, which also fills a
// word, is value * 10^8 * 2^(48 - exp2): the whole units sit in the high word from bit
// -16 - exp2 (7 to 62) up, so one 64-bit shift takes them and one double shift the fraction,
// with no branch on the exponent.
constexpr int kFastLowExp2 = -78;
constexpr int kFastHighExp2 = -23;
constexpr double kFastLow = 0x1p-26;
constexpr double kFastHigh = 1e9;
constexpr uint64_t kScaledPow5 = kPow5[kCoordDecimals] << 45;
static_assert(kPow5[kCoordDecimals] < (uint64_t{1} << 19), "5^8 * 2^45 fills one word");

// Per binary exponent: the width of the band below one half of the last decimal, as a
// fraction of 2^64.
constexpr auto kBandWidth = [] {
  std::array<uint64_t, kFastHighExp2 - kFastLowExp2 + 1> t{};
  for (int exp2 = kFastLowExp2; exp2 <= kFastHighExp2; ++exp2) {
    // floor((exp2 + 52) * log10(2)) + 1 is the decimal exponent or one more; the band is
    // taken for the wider of the two, at most 0.5 * 10^-1 units below 1e9.
    int k = (((exp2 + 52) * 78913) >> 18) + 1;
    if (k > 8) k = 8;
    t[static_cast<size_t>(exp2 - kFastLowExp2)] =
        (uint64_t{1} << 63) / kPow10[static_cast<size_t>(9 - k)] + 1;
  }
  return t;
}();

constexpr bool InFastRange(double magnitude) {
  return magnitude >= kFastLow && magnitude < kFastHigh;
}

// value * 10^8 rounded as the coordinate text rounds it, for a magnitude InFastRange given
// as its bits; false when the value lies too close to a half unit to decide without the 18
// digits. Free of branches: whether the fraction reaches one half is a coin toss, and a
// guess wrong half the time cost more than the rest of the conversion.
inline bool CoordUnitsFast(uint64_t bits, uint64_t& units) {
  const int exp2 = static_cast<int>((bits >> 52) & 0x7FF) - 1075;
  const uint64_t top = (bits << 11) | (uint64_t{1} << 63);
  const UInt128 product = static_cast<UInt128>(top) * kScaledPow5;
  const auto high = static_cast<uint64_t>(product >> 64);
  const auto low = static_cast<uint64_t>(product);
  const int shift = -16 - exp2;
  // The fraction cut to 64 bits is at most one below the true one; no test below needs more.
  const uint64_t fraction = (high << (64 - shift)) | (low >> shift);
  constexpr uint64_t kHalf = uint64_t{1} << 63;
  units = (high >> shift) + (fraction >> 63);
  // Undecided exactly when kHalf - band <= fraction < kHalf: one unsigned comparison.
  const uint64_t band = kBandWidth[static_cast<size_t>(exp2 - kFastLowExp2)];
  return fraction + band - kHalf >= band;
}

// The whole part of a coordinate without leading zeros; p needs eight bytes of room beyond.
inline char* PutWhole(char* p, uint64_t whole) {
  if (whole < 1000) {
    // Longitudes and latitudes: the digits come from one lookup.
    std::memcpy(p, kShortDigits[whole].data(), 4);
    return p + kShortDigits[whole][3];
  }
  if (whole < kPow10[8]) return PutShortUnsigned(p, static_cast<uint32_t>(whole));
  return PutUnsigned(p, whole);
}

// The whole part and the decimals of a coordinate, after any sign: p needs room for the
// text and eight bytes more.
inline char* PutCoordDigits(char* p, uint64_t whole, uint32_t decimals, char decimalSeparator) {
  p = PutWhole(p, whole);
  *p++ = decimalSeparator;
  PutEight(p, decimals);
  return p + kCoordDecimals;
}

// The eight digits of each of two values below 10^8, as the bytes of two words.
struct DigitWords {
  uint64_t first;
  uint64_t second;
};

inline DigitWords EightDigitPair(uint32_t first, uint32_t second) {
#if defined(__SSE2__)
  // Both values in one register: each is cut into its two four-digit halves, each half is
  // copied into four 16-bit lanes, which divide it by 1000, 100, 10 and 1 with a multiply by
  // a reciprocal and then one by a power of two (exact for every half below 10^4), and each
  // digit is its lane less ten times the lane before.
  const __m128i values = _mm_unpacklo_epi64(_mm_cvtsi32_si128(static_cast<int>(first)),
                                            _mm_cvtsi32_si128(static_cast<int>(second)));
  const __m128i highs =
      _mm_srli_epi64(_mm_mul_epu32(values, _mm_set1_epi32(static_cast<int>(0xD1B71759u))), 45);
  const __m128i lows = _mm_sub_epi32(values, _mm_mul_epu32(highs, _mm_set1_epi32(10000)));
  const __m128i halves =
      _mm_packs_epi32(_mm_or_si128(highs, _mm_slli_epi64(lows, 32)), _mm_setzero_si128());
  const __m128i pairs = _mm_unpacklo_epi16(halves, halves);
  const __m128i reciprocals = _mm_setr_epi16(8389, 5243, 3277, -32768, 8389, 5243, 3277, -32768);
  const __m128i powersOfTwo = _mm_setr_epi16(128, 2048, -32768, -32768, 128, 2048, -32768, -32768);
  const auto digits = [&](__m128i half) {
    const __m128i quotients =
        _mm_mulhi_epu16(_mm_mulhi_epu16(_mm_slli_epi16(half, 2), reciprocals), powersOfTwo);
    return _mm_sub_epi16(quotients,
                         _mm_mullo_epi16(_mm_slli_epi64(quotients, 16), _mm_set1_epi16(10)));
  };
  const __m128i bytes = _mm_add_epi8(_mm_packus_epi16(digits(_mm_unpacklo_epi32(pairs, pairs)),
                                                      digits(_mm_unpackhi_epi32(pairs, pairs))),
                                     _mm_set1_epi8('0'));
  DigitWords words;
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&words), bytes);
  return words;
#else
  return {EightDigitLanes(first) + kZeroBytes, EightDigitLanes(second) + kZeroBytes};
#endif
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
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  uint64_t units;
  if (InFastRange(magnitude) && CoordUnitsFast(bits, units)) {
    // At least 1.49 units: never a zero text, so the sign is the value's.
    out[0] = '-';
    char* p = out + (bits >> 63);
    const CoordParts parts = PartsOfUnits(units);
    return static_cast<size_t>(PutCoordDigits(p, parts.whole, parts.decimals, decimalSeparator) -
                               out);
  }
  if (!(magnitude < 1e18)) return FormatGeneral(value, decimalSeparator, out);
  // Below 4e-9 even the 18-digit value stays under half of the last decimal.
  if (magnitude < 4e-9) return CoordZeroText(decimalSeparator, out);
  const CoordParts parts = CoordPartsExact(magnitude);
  if (parts.whole == 0 && parts.decimals == 0) return CoordZeroText(decimalSeparator, out);
  char* p = out;
  if (value < 0) *p++ = '-';
  return static_cast<size_t>(PutCoordDigits(p, parts.whole, parts.decimals, decimalSeparator) -
                             out);
}

size_t FormatCoordPair(double x, double y, char decimalSeparator, char* out) {
  uint64_t xBits;
  uint64_t yBits;
  std::memcpy(&xBits, &x, sizeof xBits);
  std::memcpy(&yBits, &y, sizeof yBits);
  if (InFastRange(std::fabs(x)) && InFastRange(std::fabs(y))) {
    // Both conversions run side by side, and the digits of both decimals come out together.
    uint64_t xUnits;
    uint64_t yUnits;
    const bool xDecided = CoordUnitsFast(xBits, xUnits);
    const bool yDecided = CoordUnitsFast(yBits, yUnits);
    if (xDecided && yDecided) {
      const CoordParts xParts = PartsOfUnits(xUnits);
      const CoordParts yParts = PartsOfUnits(yUnits);
      const DigitWords decimals = EightDigitPair(xParts.decimals, yParts.decimals);
      out[0] = '-';
      char* p = PutWhole(out + (xBits >> 63), xParts.whole);
      *p++ = decimalSeparator;
      std::memcpy(p, &decimals.first, kCoordDecimals);
      p += kCoordDecimals;
      p[0] = ' ';
      p[1] = '-';
      p = PutWhole(p + 1 + (yBits >> 63), yParts.whole);
      *p++ = decimalSeparator;
      std::memcpy(p, &decimals.second, kCoordDecimals);
      return static_cast<size_t>(p + kCoordDecimals - out);
    }
  }
  size_t n = FormatCoord(x, decimalSeparator, out);
  out[n++] = ' ';
  return n + FormatCoord(y, decimalSeparator, out + n);
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
