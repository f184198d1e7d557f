#include "support/NumberTextReference.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace plexor::reference {
namespace {

// Base 10^9 limbs, least significant first. 2^1024 and 2^53 * 5^1074 both stay well below
// 10^(9 * kMaxLimbs); a fixed array keeps the allocator out of a loop run a million times.
constexpr int kMaxLimbs = 96;
constexpr uint32_t kLimbBase = 1000000000;

struct BigDecimal {
  uint32_t limbs[kMaxLimbs];
  int size = 0;
};

void MultiplySmall(BigDecimal& number, uint32_t factor) {
  uint64_t carry = 0;
  for (int i = 0; i < number.size; ++i) {
    const uint64_t product = uint64_t{number.limbs[i]} * factor + carry;
    number.limbs[i] = static_cast<uint32_t>(product % kLimbBase);
    carry = product / kLimbBase;
  }
  while (carry != 0) {
    number.limbs[number.size++] = static_cast<uint32_t>(carry % kLimbBase);
    carry /= kLimbBase;
  }
}

// number * base^count, in steps that keep every limb product inside 64 bits.
void MultiplyPower(BigDecimal& number, uint32_t base, int count, int stepCount) {
  uint32_t step = 1;
  for (int i = 0; i < stepCount; ++i) step *= base;
  for (; count >= stepCount; count -= stepCount) MultiplySmall(number, step);
  uint32_t rest = 1;
  for (; count > 0; --count) rest *= base;
  MultiplySmall(number, rest);
}

void ToDigits(const BigDecimal& number, std::string& text) {
  text.assign(static_cast<size_t>(9 * number.size), '0');
  size_t end = text.size();
  for (int i = 0; i < number.size; ++i, end -= 9) {
    uint32_t limb = number.limbs[i];
    for (size_t j = end; limb != 0; limb /= 10) text[--j] = static_cast<char>('0' + limb % 10);
  }
  text.erase(0, text.find_first_not_of('0'));
}

void StripTrailingZeros(DecimalDigits& d) {
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

enum class Tie { ToEven, AwayFromZero };

// Keeps the first `keep` digits (keep may be 0 or negative: the rounding position lies that
// many places before the first digit) and rounds by everything after them.
void RoundDigits(DecimalDigits& d, int keep, Tie tie) {
  if (keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  const auto at = static_cast<size_t>(keep);
  const char first = d.digits[at];
  const bool moreAfterFirst = d.digits.find_first_not_of('0', at + 1) != std::string::npos;
  d.digits.resize(at);
  bool up;
  if (first != '5') {
    up = first > '5';
  } else if (moreAfterFirst) {
    up = true;
  } else if (tie == Tie::AwayFromZero) {
    up = true;
  } else {
    up = !d.digits.empty() && (d.digits.back() - '0') % 2 == 1;
  }
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') {
      d.digits[static_cast<size_t>(i)] = '0';
      --i;
    }
    if (i >= 0) {
      ++d.digits[static_cast<size_t>(i)];
    } else {
      d.digits.insert(d.digits.begin(), '1');
      ++d.point;
    }
  }
  StripTrailingZeros(d);
}

// The digit of weight 10^weight, '0' outside the stored digits.
char DigitOfWeight(const DecimalDigits& d, int weight) {
  const int index = d.point - 1 - weight;
  if (index < 0 || index >= static_cast<int>(d.digits.size())) return '0';
  return d.digits[static_cast<size_t>(index)];
}

std::string Special(double value) {
  if (std::isnan(value)) return "NAN";
  return value < 0 ? "-INF" : "INF";
}

}  // namespace

void ExactDecimal(double value, DecimalDigits& d) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int exp2 = -1074;
  if (biased != 0) {
    mantissa |= uint64_t{1} << 52;
    exp2 = biased - 1075;
  }
  BigDecimal number;
  for (uint64_t m = mantissa; m != 0; m /= kLimbBase) {
    number.limbs[number.size++] = static_cast<uint32_t>(m % kLimbBase);
  }
  if (exp2 >= 0) {
    MultiplyPower(number, 2, exp2, 31);
    ToDigits(number, d.digits);
    d.point = static_cast<int>(d.digits.size());
  } else {
    // m * 2^-n = m * 5^n / 10^n
    MultiplyPower(number, 5, -exp2, 13);
    ToDigits(number, d.digits);
    d.point = static_cast<int>(d.digits.size()) + exp2;
  }
  StripTrailingZeros(d);
}

DecimalDigits ExactDecimal(double value) {
  DecimalDigits d;
  ExactDecimal(value, d);
  return d;
}

namespace {

// Every routine below writes into storage the caller keeps, so that the checks of a million
// values do not spend their time in the allocator.
void GeneralFromDigits(const DecimalDigits& exact, bool negative, char decimalSeparator,
                       DecimalDigits& d, std::string& text) {
  d = exact;
  RoundDigits(d, 18, Tie::ToEven);
  RoundDigits(d, 15, Tie::AwayFromZero);
  const int exponent = d.point - 1;
  text.clear();
  if (negative) text += '-';
  const std::string& digits = d.digits;
  if (exponent >= -4 && exponent <= 14) {
    for (int w = std::max(exponent, 0); w >= 0; --w) text += DigitOfWeight(d, w);
    const int lowest = d.point - static_cast<int>(digits.size());  // weight of the last digit
    if (lowest < 0) {
      text += decimalSeparator;
      for (int w = -1; w >= lowest; --w) text += DigitOfWeight(d, w);
    }
  } else {
    text += digits[0];
    if (digits.size() > 1) {
      text += decimalSeparator;
      text.append(digits, 1);
    }
    text += 'E';
    text += std::to_string(exponent);
  }
}

// exact is empty for zero.
void CoordFromDigits(const DecimalDigits& exact, bool negative, char decimalSeparator,
                     DecimalDigits& d, std::string& text) {
  d = exact;
  if (!d.digits.empty()) {
    RoundDigits(d, 18, Tie::ToEven);
    RoundDigits(d, d.point + 8, Tie::AwayFromZero);
  }
  text.clear();
  if (negative && !d.digits.empty()) text += '-';
  for (int w = std::max(d.point - 1, 0); w >= 0; --w) text += DigitOfWeight(d, w);
  text += decimalSeparator;
  for (int w = -1; w >= -8; --w) text += DigitOfWeight(d, w);
}

}  // namespace

void BothTexts(double value, char decimalSeparator, Texts& out) {
  if (!std::isfinite(value)) {
    out.coord = out.general = Special(value);
    return;
  }
  thread_local DecimalDigits exact;
  thread_local DecimalDigits work;
  const bool negative = value < 0;
  if (value == 0) {
    exact.digits.clear();
    exact.point = 0;
    out.general.assign(1, '0');
  } else {
    ExactDecimal(std::fabs(value), exact);
    GeneralFromDigits(exact, negative, decimalSeparator, work, out.general);
  }
  if (std::fabs(value) >= 1e18) {
    out.coord = out.general;
  } else {
    CoordFromDigits(exact, negative, decimalSeparator, work, out.coord);
  }
}

Texts BothTexts(double value, char decimalSeparator) {
  Texts texts;
  BothTexts(value, decimalSeparator, texts);
  return texts;
}

std::string GeneralText(double value, char decimalSeparator) {
  return BothTexts(value, decimalSeparator).general;
}

std::string CoordText(double value, char decimalSeparator) {
  return BothTexts(value, decimalSeparator).coord;
}

}  // namespace plexor::reference
