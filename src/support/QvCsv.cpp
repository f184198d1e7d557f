#include "support/QvCsv.h"

namespace plexor {
namespace {

bool IsBlank(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b >= 1 && b <= 32;
}

}  // namespace

std::string GetCsvField(std::string_view line, int n) {
  if (n < 1) return {};
  const size_t nul = line.find('\0');
  if (nul != std::string_view::npos) line = line.substr(0, nul);

  size_t i = 0;
  const size_t end = line.size();
  auto skipBlanks = [&] {
    while (i < end && IsBlank(line[i])) ++i;
  };
  int index = 0;
  std::string field;
  skipBlanks();
  while (i < end) {
    field.clear();
    if (line[i] == '"') {
      ++i;
      while (i < end) {
        if (line[i] == '"') {
          if (i + 1 < end && line[i + 1] == '"') {
            field.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field.push_back(line[i++]);
      }
    } else {
      while (i < end && line[i] != ',' && !IsBlank(line[i])) field.push_back(line[i++]);
    }
    if (++index == n) return field;
    skipBlanks();
    if (i < end && line[i] == ',') {
      if (i + 1 == end) {
        // A line that ends in a comma has an empty last field.
        if (++index == n) return {};
      }
      ++i;
      skipBlanks();
    }
  }
  return {};
}

}  // namespace plexor
