#include "interop/InteropSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

namespace plexor::test {

bool HaveGdal() {
  return std::system("command -v ogr2ogr >/dev/null 2>&1") == 0;
}

int Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

CsvRows ParseCsv(const std::string& text) {
  CsvRows rows(1);
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
    } else {
      field += c;
    }
  }
  if (!field.empty() || !rows.back().empty()) rows.back().push_back(field);
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

std::pair<std::string, std::vector<double>> SplitWkt(const std::string& wkt) {
  std::string shape;
  std::vector<double> numbers;
  for (size_t i = 0; i < wkt.size();) {
    if (std::isdigit(static_cast<unsigned char>(wkt[i])) || wkt[i] == '-' || wkt[i] == '.') {
      size_t used = 0;
      numbers.push_back(std::stod(wkt.substr(i), &used));
      shape += '#';
      i += used;
    } else {
      shape += wkt[i++];
    }
  }
  return {shape, numbers};
}

void ExpectSameLayer(const CsvRows& expected, const CsvRows& actual) {
  ASSERT_FALSE(expected.empty());
  ASSERT_EQ(actual.size(), expected.size());
  EXPECT_EQ(actual[0], expected[0]);  // column names
  for (size_t r = 1; r < expected.size(); ++r) {
    ASSERT_EQ(actual[r].size(), expected[r].size()) << "row " << r;
    const auto [eShape, eNumbers] = SplitWkt(expected[r][0]);
    const auto [aShape, aNumbers] = SplitWkt(actual[r][0]);
    EXPECT_EQ(aShape, eShape) << "row " << r;
    ASSERT_EQ(aNumbers.size(), eNumbers.size()) << "row " << r;
    for (size_t k = 0; k < eNumbers.size(); ++k) {
      EXPECT_NEAR(aNumbers[k], eNumbers[k], 1e-8) << "row " << r << " number " << k;
    }
    for (size_t c = 1; c < expected[r].size(); ++c) {
      const std::string& e = expected[r][c];
      char* end = nullptr;
      const double number = std::strtod(e.c_str(), &end);
      if (!e.empty() && *end == '\0') {
        EXPECT_DOUBLE_EQ(std::strtod(actual[r][c].c_str(), nullptr), number)
            << "row " << r << " col " << c;
      } else {
        EXPECT_EQ(actual[r][c], e) << "row " << r << " col " << c;
      }
    }
  }
}

}  // namespace plexor::test
