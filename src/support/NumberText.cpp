#include "support/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace plexor {
namespace {

constexpr int kExactDigits = 18;

// The exact value to 18 significant digits: digits[0..17] as '0'..'9', returns the decimal
// exponent of digits[0]. `value` is finite, non-zero and positive.
int EighteenDigits(double value, char* digits) {
  char text[40];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific,
                                    kExactDigits - 1);
  // text is "d.ddddddddddddddddde[+-]xx"
  digits[0] = text[0];
  std::memcpy(digits + 1, text + 2, kExactDigits - 1);
  const char* e = text + 2 + (kExactDigits - 1);  // at 'e'
  int exponent = 0;
  std::from_chars(e[1] == '+' ? e + 2 : e + 1, result.ptr, exponent);
  return exponent;
}

// Rounds digits[0..keep) half away from zero by the digit at `keep`. Returns true when the
// carry ran out of the first digit (the digits are then "1000..." one place higher).
bool RoundHalfUp(char* digits, int keep) {
  if (digits[keep] < '5') return false;
  for (int i = keep - 1; i >= 0; --i) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  digits[0] = '1';
  return true;
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
  char digits[kExactDigits + 1];
  int exponent = EighteenDigits(value, digits);
  constexpr int kSignificant = 15;
  if (RoundHalfUp(digits, kSignificant)) ++exponent;
  int count = kSignificant;
  while (count > 1 && digits[count - 1] == '0') --count;

  if (exponent >= 0 && exponent < kSignificant) {
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
    p = std::to_chars(p, p + 8, exponent).ptr;
  }
  return static_cast<size_t>(p - out);
}

size_t FormatCoord(double value, char decimalSeparator, char* out) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e18) {
    return FormatGeneral(value, decimalSeparator, out);
  }
  constexpr int kDecimals = 8;
  char digits[kExactDigits + 1];
  int exponent = 0;
  bool negative = value < 0;
  int keep = 0;  // digits kept before the rounding position
  if (value != 0) {
    exponent = EighteenDigits(std::fabs(value), digits);
    keep = exponent + 1 + kDecimals;
  }
  // The integer part and the eight decimals, as a digit string with its exponent.
  char kept[kExactDigits + 2];
  int keptCount = 0;
  if (value == 0 || keep < 0) {
    keptCount = 0;
  } else if (keep >= kExactDigits) {
    std::memcpy(kept, digits, kExactDigits);
    keptCount = kExactDigits;
  } else {
    std::memcpy(kept, digits, static_cast<size_t>(keep));
    kept[keep] = digits[keep];
    if (RoundHalfUp(kept, keep)) {
      // 99.999999996 becomes 100.00000000: one more integer digit.
      ++exponent;
      if (keep > 0) kept[keep] = '0';
      ++keep;
    }
    keptCount = keep;
  }
  bool allZero = true;
  for (int i = 0; i < keptCount; ++i) {
    if (kept[i] != '0') {
      allZero = false;
      break;
    }
  }
  char* p = out;
  if (negative && !allZero) *p++ = '-';
  if (allZero) {
    *p++ = '0';
    *p++ = decimalSeparator;
    std::memset(p, '0', kDecimals);
    return static_cast<size_t>(p + kDecimals - out);
  }
  // Digit i of kept has the weight 10^(exponent - i).
  auto digitAt = [&](int weight) -> char {
    const int i = exponent - weight;
    return (i >= 0 && i < keptCount) ? kept[i] : '0';
  };
  for (int w = exponent < 0 ? 0 : exponent; w >= 0; --w) *p++ = digitAt(w);
  *p++ = decimalSeparator;
  for (int w = -1; w >= -kDecimals; --w) *p++ = digitAt(w);
  return static_cast<size_t>(p - out);
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
        if (run >= 3) AppendPadded(year, 4, out);
        else AppendPadded(((year % 100) + 100) % 100, 2, out);
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

std::string ShortDateText(int year, int month, int day, std::string_view format,
                          char dateSeparator) {
  std::string out;
  AppendShortDate(year, month, day, format, dateSeparator, out);
  return out;
}

}  // namespace plexor
