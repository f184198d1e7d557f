// Writes .shp files byte by byte for the tests: a header, records of every kind, and the
// damaged variants a converter meets in the wild.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shp/UniSFMapUtil.h"

namespace plexor::test {

class ShpBuilder {
 public:
  ShpBuilder& FileCode(int32_t code) {
    fileCode_ = code;
    return *this;
  }
  ShpBuilder& Version(int32_t version) {
    version_ = version;
    return *this;
  }
  ShpBuilder& HeaderShapeType(int32_t type) {
    headerShapeType_ = type;
    return *this;
  }
  // The header's bounding box (zeros unless set).
  ShpBuilder& Bounds(double xmin, double ymin, double xmax, double ymax) {
    bounds_[0] = xmin, bounds_[1] = ymin, bounds_[2] = xmax, bounds_[3] = ymax;
    return *this;
  }

  ShpBuilder& Null();
  ShpBuilder& Point(double x, double y);
  // Parts are start indices into points; counts are written as given.
  ShpBuilder& PolyLine(const std::vector<int32_t>& parts, const std::vector<TSFPoint>& points);
  ShpBuilder& Polygon(const std::vector<int32_t>& parts, const std::vector<TSFPoint>& points);
  // A record with explicit counts, for hostile files: the arrays written may disagree.
  ShpBuilder& MultiPartRaw(int32_t shapeType, int32_t numParts, int32_t numPoints,
                           const std::vector<int32_t>& parts, const std::vector<TSFPoint>& points);
  // Z and M kinds (PointZ, PolyLineM, MultiPointZ, ...): X/Y as given, then the Z values
  // 100, 101, ... when the kind has Z, then the M values 200, 201, ... when `withM`, each
  // block after its range. The content length covers exactly what is written.
  ShpBuilder& PointZM(int32_t shapeType, double x, double y, bool withM);
  ShpBuilder& MultiPartZM(int32_t shapeType, const std::vector<int32_t>& parts,
                          const std::vector<TSFPoint>& points, bool withM);
  // MultiPoint, MultiPointZ or MultiPointM.
  ShpBuilder& MultiPoint(int32_t shapeType, const std::vector<TSFPoint>& points, bool withM);
  // Box, the count as given and the points: no Z or M block, for hostile counts.
  ShpBuilder& MultiPointRaw(int32_t shapeType, int32_t numPoints,
                            const std::vector<TSFPoint>& points);
  // Overwrites the content length (16-bit words) of the last record added.
  ShpBuilder& LastContentLength(int32_t words);
  // Any shape type with `content` bytes after it; the content length says what it holds.
  ShpBuilder& Other(int32_t shapeType, const std::string& content);
  // Bytes appended as they stand (a cut record header, garbage).
  ShpBuilder& Raw(const std::string& bytes);

  // The whole file; `truncateTo` cuts it (negative: keep everything).
  std::string Bytes() const;
  void Write(const std::string& path, int64_t truncateTo = -1) const;

 private:
  void AddRecord(int32_t shapeType, const std::string& content);

  int32_t fileCode_ = 9994;
  int32_t version_ = 1000;
  int32_t headerShapeType_ = 5;
  double bounds_[4] = {0, 0, 0, 0};
  int32_t recordCount_ = 0;
  size_t lastRecordAt_ = 0;
  std::string records_;
};

// Little helpers for hand-made bytes.
std::string LE32(int32_t v);
std::string BE32(int32_t v);
std::string LEDouble(double v);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// A fresh empty directory under the system's temporary folder, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // The names in the folder, sorted: a temporary left behind shows here.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

}  // namespace plexor::test
