#include "support/ShpBuilder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/Endian.h"

namespace plexor::test {

std::string LE32(int32_t v) {
  std::string b(4, '\0');
  PutLE32(b.data(), v);
  return b;
}

std::string BE32(int32_t v) {
  std::string b(4, '\0');
  PutBE32(b.data(), v);
  return b;
}

std::string LEDouble(double v) {
  std::string b(8, '\0');
  PutLEDouble(b.data(), v);
  return b;
}

namespace {

bool HasZ(int32_t shapeType) {
  return shapeType == 11 || shapeType == 13 || shapeType == 15 || shapeType == 18;
}

std::string BoxOf(const std::vector<TSFPoint>& points) {
  double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    if (i == 0 || points[i].X < xmin) xmin = points[i].X;
    if (i == 0 || points[i].Y < ymin) ymin = points[i].Y;
    if (i == 0 || points[i].X > xmax) xmax = points[i].X;
    if (i == 0 || points[i].Y > ymax) ymax = points[i].Y;
  }
  return LEDouble(xmin) + LEDouble(ymin) + LEDouble(xmax) + LEDouble(ymax);
}

std::string XYOf(const std::vector<TSFPoint>& points) {
  std::string c;
  for (const TSFPoint& p : points) c += LEDouble(p.X) + LEDouble(p.Y);
  return c;
}

// A range and `count` values first, first + 1, ...
std::string ValueBlock(size_t count, double first) {
  std::string c = LEDouble(first) + LEDouble(first + (count == 0 ? 0 : double(count - 1)));
  for (size_t i = 0; i < count; ++i) c += LEDouble(first + double(i));
  return c;
}

std::string ZMBlocks(int32_t shapeType, size_t count, bool withM) {
  std::string c;
  if (HasZ(shapeType)) c += ValueBlock(count, 100);
  if (withM) c += ValueBlock(count, 200);
  return c;
}

}  // namespace

void ShpBuilder::AddRecord(int32_t shapeType, const std::string& content) {
  const int32_t words = static_cast<int32_t>((4 + content.size()) / 2);
  lastRecordAt_ = records_.size();
  records_ += BE32(++recordCount_) + BE32(words) + LE32(shapeType) + content;
}

ShpBuilder& ShpBuilder::LastContentLength(int32_t words) {
  records_.replace(lastRecordAt_ + 4, 4, BE32(words));
  return *this;
}

ShpBuilder& ShpBuilder::Null() {
  AddRecord(0, {});
  return *this;
}

ShpBuilder& ShpBuilder::Point(double x, double y) {
  AddRecord(1, LEDouble(x) + LEDouble(y));
  return *this;
}

ShpBuilder& ShpBuilder::MultiPartRaw(int32_t shapeType, int32_t numParts, int32_t numPoints,
                                     const std::vector<int32_t>& parts,
                                     const std::vector<TSFPoint>& points) {
  std::string c = BoxOf(points) + LE32(numParts) + LE32(numPoints);
  for (int32_t p : parts) c += LE32(p);
  AddRecord(shapeType, c + XYOf(points));
  return *this;
}

ShpBuilder& ShpBuilder::PointZM(int32_t shapeType, double x, double y, bool withM) {
  std::string c = LEDouble(x) + LEDouble(y);
  if (HasZ(shapeType)) c += LEDouble(100);
  if (withM) c += LEDouble(200);
  AddRecord(shapeType, c);
  return *this;
}

ShpBuilder& ShpBuilder::MultiPartZM(int32_t shapeType, const std::vector<int32_t>& parts,
                                    const std::vector<TSFPoint>& points, bool withM) {
  std::string c = BoxOf(points) + LE32(static_cast<int32_t>(parts.size())) +
                  LE32(static_cast<int32_t>(points.size()));
  for (int32_t p : parts) c += LE32(p);
  AddRecord(shapeType, c + XYOf(points) + ZMBlocks(shapeType, points.size(), withM));
  return *this;
}

ShpBuilder& ShpBuilder::MultiPoint(int32_t shapeType, const std::vector<TSFPoint>& points,
                                   bool withM) {
  const std::string c = BoxOf(points) + LE32(static_cast<int32_t>(points.size())) + XYOf(points);
  AddRecord(shapeType, c + ZMBlocks(shapeType, points.size(), withM));
  return *this;
}

ShpBuilder& ShpBuilder::MultiPointRaw(int32_t shapeType, int32_t numPoints,
                                      const std::vector<TSFPoint>& points) {
  AddRecord(shapeType, BoxOf(points) + LE32(numPoints) + XYOf(points));
  return *this;
}

ShpBuilder& ShpBuilder::PolyLine(const std::vector<int32_t>& parts,
                                 const std::vector<TSFPoint>& points) {
  return MultiPartRaw(3, static_cast<int32_t>(parts.size()), static_cast<int32_t>(points.size()),
                      parts, points);
}

ShpBuilder& ShpBuilder::Polygon(const std::vector<int32_t>& parts,
                                const std::vector<TSFPoint>& points) {
  return MultiPartRaw(5, static_cast<int32_t>(parts.size()), static_cast<int32_t>(points.size()),
                      parts, points);
}

ShpBuilder& ShpBuilder::Other(int32_t shapeType, const std::string& content) {
  AddRecord(shapeType, content);
  return *this;
}

ShpBuilder& ShpBuilder::Raw(const std::string& bytes) {
  records_ += bytes;
  return *this;
}

std::string ShpBuilder::Bytes() const {
  std::string h = BE32(fileCode_);
  for (int i = 0; i < 5; ++i) h += BE32(0);
  h += BE32(static_cast<int32_t>((100 + records_.size()) / 2));
  h += LE32(version_) + LE32(headerShapeType_);
  for (double v : bounds_) h += LEDouble(v);
  for (int i = 0; i < 4; ++i) h += LEDouble(0);
  return h + records_;
}

void ShpBuilder::Write(const std::string& path, int64_t truncateTo) const {
  std::string bytes = Bytes();
  if (truncateTo >= 0 && static_cast<size_t>(truncateTo) < bytes.size()) bytes.resize(truncateTo);
  WriteFile(path, bytes);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read test file " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "plexor-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(path_)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace plexor::test
