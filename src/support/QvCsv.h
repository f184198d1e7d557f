// Fields of a line in comma-text form.
#pragma once

#include <string>
#include <string_view>

namespace plexor {

// Field n (from 1) of the line; empty when n is out of range. Fields are separated by a
// comma or by any run of bytes 1 to 32; a field in double quotes runs to its closing quote
// (two quotes inside stand for one) and may hold commas and blanks; a NUL byte ends the line.
// A quoted field without its closing quote runs to the end of the line.
std::string GetCsvField(std::string_view line, int n);

}  // namespace plexor
