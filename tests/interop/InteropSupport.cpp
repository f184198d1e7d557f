#include "interop/InteropSupport.h"

#include <cctype>
#include <cstdlib>

namespace plexor::test {

bool HaveGdal() { return std::system("command -v ogr2ogr >/dev/null 2>&1") == 0; }

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

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

}  // namespace plexor::test
