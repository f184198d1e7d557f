// What a shapefile holds and how it would convert, without converting it: for `plexor info`.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/PrjFile.h"
#include "engine/TableEncoding.h"

namespace plexor {

struct TFieldInfo {
  std::string Name;  // UTF-8
  char Type = '?';   // the descriptor's letter
  int Width = 0;
  int Decimals = 0;
  std::string MifColumn;  // the column it becomes, e.g. "Char(20)"; empty when left out
};

struct TShapefileInfo {
  std::string Path;
  int32_t ShapeType = 0;
  int64_t Records = 0;  // shape records read before the end or a cut record
  double Bounds[4] = {0, 0, 0, 0};
  std::map<int32_t, int64_t> RecordsByType;
  int64_t TableRecords = -1;  // -1 when the table could not be read
  int64_t DeletedRecords = 0;
  std::optional<TEncodingDecision> Encoding;
  std::optional<TPrjMatch> Prj;  // nullopt when there is no .prj
  std::vector<TFieldInfo> Fields;
  std::vector<std::string> Problems;  // UTF-8
};

// Never raises for a damaged file: what cannot be read is listed among the problems.
TShapefileInfo DescribeShapefile(const std::string& shpPath, const std::string& encodingOption);

// As text for a terminal, and as one JSON object.
std::string ShapefileInfoText(const TShapefileInfo& info);
std::string ShapefileInfoJson(const TShapefileInfo& info);

}  // namespace plexor
