#include "support/NumberTextReference.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace plexor::reference {
namespace {

// Base 10^9 limbs, least significant first.
using BigDecimal = std::vector<uint32_t>;
constexpr uint32_t kLimbBase = 1000000000;

void MultiplySmall(BigDecimal& number, uint32_t factor) {
  uint64_t carry = 0;
  for (uint32_t& limb : number) {
    const uint64_t product = uint64_t{limb} * factor + carry;
    limb = static_cast<uint32_t>(product % kLimbBase);
    carry = product / kLimbBase;
  }
  while (carry != 0) {
    number.push_back(static_cast<uint32_t>(carry % kLimbBase));
    carry /= kLimbBase;
  }
}

// number * base^count, in steps that keep every limb product inside 64 bits.
void MultiplyPower(BigDecimal& number, uint32_t base, int count, uint32_t step, int stepCount) {
  for (; count >= stepCount; count -= stepCount) MultiplySmall(number, step);
  for (; count > 0; --count) MultiplySmall(number, base);
}

std::string ToDigits(const BigDecimal& number) {
  std::string text = std::to_string(number.back());
  for (size_t i = number.size() - 1; i-- > 0;) {
    const std::string limb = std::to_string(number[i]);
    text.append(9 - limb.size(), '0');
    text += limb;
  }
  return text;
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
  const std::string dropped = d.digits.substr(static_cast<size_t>(keep));
  d.digits.resize(static_cast<size_t>(keep));
  bool up;
  if (dropped[0] != '5') {
    up = dropped[0] > '5';
  } else if (dropped.find_first_not_of('0', 1) != std::string::npos) {
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

DecimalDigits ExactDecimal(double value) {
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
    number.push_back(static_cast<uint32_t>(m % kLimbBase));
  }
  DecimalDigits d;
  if (exp2 >= 0) {
    MultiplyPower(number, 2, exp2, uint32_t{1} << 31, 31);
    d.digits = ToDigits(number);
    d.point = static_cast<int>(d.digits.size());
  } else {
    // m * 2^-n = m * 5^n / 10^n
    MultiplyPower(number, 5, -exp2, 1220703125 /* 5^13 */, 13);
    d.digits = ToDigits(number);
    d.point = static_cast<int>(d.digits.size()) + exp2;
  }
  StripTrailingZeros(d);
  return d;
}

std::string GeneralText(double value, char decimalSeparator) {
  if (!std::isfinite(value)) return Special(value);
  if (value == 0) return "0";
  DecimalDigits d = ExactDecimal(std::fabs(value));
  RoundDigits(d, 18, Tie::ToEven);
  RoundDigits(d, 15, Tie::AwayFromZero);
  const int exponent = d.point - 1;
  std::string text = value < 0 ? "-" : "";
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
  return text;
}

std::string CoordText(double value, char decimalSeparator) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e18) return GeneralText(value, decimalSeparator);
  DecimalDigits d;
  if (value != 0) {
    d = ExactDecimal(std::fabs(value));
    RoundDigits(d, 18, Tie::ToEven);
    RoundDigits(d, d.point + 8, Tie::AwayFromZero);
  }
  std::string text = value < 0 && !d.digits.empty() ? "-" : "";
  for (int w = std::max(d.point - 1, 0); w >= 0; --w) text += DigitOfWeight(d, w);
  text += decimalSeparator;
  for (int w = -1; w >= -8; --w) text += DigitOfWeight(d, w);
  return text;
}

}  // namespace plexor::reference
