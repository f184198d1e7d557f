// The records that carry one shape, or one attribute column, from the shapefile reader to the
// MIF/MID writer, and the small geometry routines they need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plexor {

struct TSFPoint {
  double X = 0;
  double Y = 0;
};

// ctDecimal holds integers too wide for 32 bits, as Decimal(Width,0).
enum class TSFColumnType : uint8_t {
  ctChar = 0,
  ctInteger = 1,
  ctFloat = 2,
  ctDate = 3,
  ctLogical = 4,
  ctDecimal = 5
};

struct TSFColumn {
  std::string Name;  // the DBF field name's bytes, code page 932
  TSFColumnType ColumnType = TSFColumnType::ctChar;
  int32_t Width = 0;  // set for ctChar and ctDecimal only

  bool operator==(const TSFColumn&) const = default;
};

using TSFColumns = std::vector<TSFColumn>;

struct TSFBox {
  double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
};

// One multi-part shape. PolyLine and Polygon share the layout but stay distinct types, so a
// polygon can never be written as a line by mistake.
template <int Kind>
struct TSFMultiPart {
  TSFBox Box;
  int32_t NumParts = 0;
  int32_t NumPoints = 0;
  std::vector<int32_t> Parts;  // start index in Points of each part
  std::vector<TSFPoint> Points;
};

using TSFPolyLine = TSFMultiPart<3>;
using TSFPolygon = TSFMultiPart<5>;

// A set of unconnected points: one object, one attribute row.
struct TSFMultiPoint {
  TSFBox Box;
  int32_t NumPoints = 0;
  std::vector<TSFPoint> Points;
};

// Reverses the first `count` bytes of `buffer` in place; a count below 2 changes nothing.
void ReverseBytes(int32_t count, void* buffer);

// The signed area of the ring (positive counter-clockwise with Y up); 0 for mismatched or
// fewer than three coordinates; -1 when the sum overflows or becomes invalid.
double SignedArea(const double* xs, size_t xCount, const double* ys, size_t yCount);
double SignedArea(const std::vector<double>& xs, const std::vector<double>& ys);

// Makes a polygon of at most one ring clockwise and closed.
void NormalizeRing(TSFPolygon& polygon);

}  // namespace plexor
