// Number and date texts written into MIF and MID files. Each routine writes into a caller's
// buffer of at least kNumberTextMax bytes and returns the length; nothing is allocated. Digits
// are stored eight at a time, so bytes after the text, within kNumberTextMax, may change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plexor {

inline constexpr size_t kNumberTextMax = 48;

// The general number text: the exact binary value taken to 18 significant digits (half to
// even), then rounded half away from zero to 15 significant digits; trailing zeros dropped;
// fixed notation while the integer part has at most 15 digits and the magnitude is at least
// 0.0001, scientific otherwise ("1.5E-6", "1E20"); "0", "INF", "-INF", "NAN".
size_t FormatGeneral(double value, char decimalSeparator, char* out);
// The coordinate text "0.00000000": 18 significant digits first, then eight decimals, half
// away from zero; no minus sign on a result of zero; magnitudes of 1e18 and more, infinities
// and NaN as the general text.
size_t FormatCoord(double value, char decimalSeparator, char* out);
// The two coordinate texts of a vertex with one blank between, as FormatCoord writes each;
// out needs 2 * kNumberTextMax bytes.
size_t FormatCoordPair(double x, double y, char decimalSeparator, char* out);
// Decimal digits with a leading '-' when negative.
size_t FormatInteger(int64_t value, char* out);

std::string GeneralText(double value, char decimalSeparator = '.');
std::string CoordText(double value, char decimalSeparator = '.');

// A date in a short date format: "yyyy" (and "yyy") the four-digit year, "yy" (and "y") the
// last two digits, "mm" and "m" the month with and without a leading zero, "dd" and "d" the
// day likewise, "/" the date separator; letters of the tokens in either case; any other
// character stands for itself. Appends to `out`.
// True for a format of the tokens above and the separators "/", "-" and ".", with a year,
// a month and a day: anything else would write text that no reader takes for a date.
bool IsValidShortDateFormat(std::string_view format);
void AppendShortDate(int year, int month, int day, std::string_view format, char dateSeparator,
                     std::string& out);
std::string ShortDateText(int year, int month, int day, std::string_view format,
                          char dateSeparator = '/');

}  // namespace plexor
