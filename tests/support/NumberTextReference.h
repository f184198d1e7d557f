// A slow model of the number texts that is exact by construction: the double is expanded
// into its complete decimal digit string with a small big integer, and every rounding is a
// plain digit-string operation. The fast routines are checked against it.
#pragma once

#include <string>

namespace plexor::reference {

// The exact decimal value of a finite, positive double: 0.digits x 10^point, the digits with
// neither leading nor trailing zeros.
struct DecimalDigits {
  std::string digits;
  int point = 0;
};

DecimalDigits ExactDecimal(double value);
void ExactDecimal(double value, DecimalDigits& out);  // reuses out's storage

struct Texts {
  std::string coord;
  std::string general;
};

// Both texts of one value from a single expansion.
Texts BothTexts(double value, char decimalSeparator = '.');
void BothTexts(double value, char decimalSeparator, Texts& out);  // reuses out's storage
std::string GeneralText(double value, char decimalSeparator = '.');
std::string CoordText(double value, char decimalSeparator = '.');

}  // namespace plexor::reference
