// What the interop tests share: running GDAL and reading what it says back.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace plexor::test {

using CsvRows = std::vector<std::vector<std::string>>;

bool HaveGdal();
// Runs a shell command quietly; its exit status.
int Shell(const std::string& command);
// Splits the CSV that ogr2ogr writes: fields separated by commas, quoted with "".
CsvRows ParseCsv(const std::string& text);
// The WKT with every number taken out (each stands as '#'), and the numbers.
std::pair<std::string, std::vector<double>> SplitWkt(const std::string& wkt);
// The same features as GDAL read them: geometry shape and numbers to 1e-8, values equal
// (numbers as numbers).
void ExpectSameLayer(const CsvRows& expected, const CsvRows& actual);

}  // namespace plexor::test
