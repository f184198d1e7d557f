// The reader half of uniShpUtils.
#include "shp/uniShpUtils.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"

namespace plexor {
namespace {

constexpr const char* kInvalidShpText = "不正なSHPファイルです。";
constexpr const char* kRangeErrorText = "範囲チェックエラー";

// Record content after the shape type, by kind:
//   Point                X 8 | Y 8
//   PointZ               X 8 | Y 8 | Z 8 [| M 8]
//   PointM               X 8 | Y 8 [| M 8]
//   PolyLine, Polygon    Box 32 | NumParts 4 | NumPoints 4 | Parts 4*NumParts | Points 16*NumPoints
//   MultiPoint           Box 32 | NumPoints 4 | Points 16*NumPoints
//   a multi-point Z kind then Z range 16 | Z 8*NumPoints [| M range 16 | M 8*NumPoints]
//   a multi-point M kind then [M range 16 | M 8*NumPoints]
// The M block is optional wherever it may appear; only the content length tells.
constexpr int64_t kShapeTypeSize = 4;
constexpr int64_t kXYSize = 16;
constexpr int64_t kValueSize = 8;   // one Z or one M
constexpr int64_t kRangeSize = 16;  // the minimum and maximum before the Z or M values
constexpr int64_t kPartSize = 4;
constexpr size_t kMultiPartHeadSize = 40;   // Box, NumParts, NumPoints
constexpr size_t kMultiPointHeadSize = 36;  // Box, NumPoints

int32_t ReadLE32(ByteStream& stream) {
  unsigned char b[4];
  stream.ReadBuffer(b, 4);
  return GetLE32(b);
}

TSFBox GetBox(const unsigned char* b) {
  return TSFBox{GetLEDouble(b), GetLEDouble(b + 8), GetLEDouble(b + 16), GetLEDouble(b + 24)};
}

bool HasZ(int32_t type) {
  return type == kShapePointZ || type == kShapePolyLineZ || type == kShapePolygonZ ||
         type == kShapeMultiPointZ;
}

// The Z range and values a multi-point Z kind must carry after its X/Y data.
int64_t ZBlockSize(int32_t type, int32_t numPoints) {
  return HasZ(type) ? kRangeSize + int64_t{numPoints} * kValueSize : 0;
}

// Where the record content ends, from the header's content length. Content that runs past the
// end of the file is a cut record; content shorter than `minimum` cannot be the kind it claims.
int64_t ContentEnd(ByteStream& stream, const TShpRecordHeader& header, int64_t minimum) {
  const int64_t bytes = int64_t{header.ContentLength} * 2 - kShapeTypeSize;
  if (bytes < minimum || bytes > stream.Remaining()) throw EReadError(kReadErrorText);
  return stream.Position() + bytes;
}

// The content already lies inside the file, so a count it cannot hold is checked against the
// content alone: it fails like the short read it would become, before anything is allocated.
void CheckFitsContent(const ByteStream& stream, int64_t end, int64_t need) {
  if (need > end - stream.Position()) throw EReadError(kReadErrorText);
}

void ReadPoints(ByteStream& stream, std::vector<TSFPoint>& points, int32_t count) {
  points.resize(static_cast<size_t>(count));
  static_assert(sizeof(TSFPoint) == kXYSize);
  stream.ReadBuffer(points.data(), points.size() * kXYSize);
  if constexpr (!kHostIsLittleEndian) {
    for (auto& point : points) point = TSFPoint{GetLEDouble(&point.X), GetLEDouble(&point.Y)};
  }
}

template <typename Shape>
void ReadMultiPartHead(ByteStream& stream, Shape& shape) {
  // offset 0: Box | 32: NumParts | 36: NumPoints
  unsigned char head[kMultiPartHeadSize];
  shape.Parts.clear();
  shape.Points.clear();
  stream.ReadBuffer(head, sizeof head);
  shape.Box = GetBox(head);
  shape.NumParts = GetLE32(head + 32);
  shape.NumPoints = GetLE32(head + 36);
  if (shape.NumParts < 0 || shape.NumPoints < 0) throw ERangeError(kRangeErrorText);
}

template <typename Shape>
int64_t MultiPartArraysSize(const Shape& shape) {
  return int64_t{shape.NumParts} * kPartSize + int64_t{shape.NumPoints} * kXYSize;
}

template <typename Shape>
void ReadMultiPartArrays(ByteStream& stream, Shape& shape) {
  shape.Parts.resize(static_cast<size_t>(shape.NumParts));
  stream.ReadBuffer(shape.Parts.data(), shape.Parts.size() * kPartSize);
  if constexpr (!kHostIsLittleEndian) {
    for (auto& part : shape.Parts) part = GetLE32(&part);
  }
  ReadPoints(stream, shape.Points, shape.NumPoints);
}

template <typename Shape>
void ReadMultiPart(ByteStream& stream, Shape& shape) {
  ReadMultiPartHead(stream, shape);
  // A count the rest of the file cannot hold is a cut or hostile record: fail like the
  // short read it would become, before anything is allocated.
  if (MultiPartArraysSize(shape) > stream.Remaining()) throw EReadError(kReadErrorText);
  ReadMultiPartArrays(stream, shape);
}

template <typename Shape>
void ReadMultiPartAny(ByteStream& stream, const TShpRecordHeader& header, Shape& shape) {
  const int64_t end = ContentEnd(stream, header, kMultiPartHeadSize);
  ReadMultiPartHead(stream, shape);
  CheckFitsContent(stream, end,
                   MultiPartArraysSize(shape) + ZBlockSize(header.ShapeType, shape.NumPoints));
  ReadMultiPartArrays(stream, shape);
  stream.Seek(end);
}

}  // namespace

const char* ShapeTypeName(int32_t type) {
  switch (type) {
    case kShapeNull:
      return "Null";
    case kShapePoint:
      return "Point";
    case kShapePolyLine:
      return "PolyLine";
    case kShapePolygon:
      return "Polygon";
    case kShapeMultiPoint:
      return "MultiPoint";
    case kShapePointZ:
      return "PointZ";
    case kShapePolyLineZ:
      return "PolyLineZ";
    case kShapePolygonZ:
      return "PolygonZ";
    case kShapeMultiPointZ:
      return "MultiPointZ";
    case kShapePointM:
      return "PointM";
    case kShapePolyLineM:
      return "PolyLineM";
    case kShapePolygonM:
      return "PolygonM";
    case kShapeMultiPointM:
      return "MultiPointM";
    case kShapeMultiPatch:
      return "MultiPatch";
    default:
      return nullptr;
  }
}

bool ReadShpHeader(ByteStream& stream, IUserMessages& messages) {
  int32_t shapeType = 0;
  return ReadShpHeader(stream, messages, shapeType);
}

bool ReadShpHeader(ByteStream& stream, IUserMessages& messages, int32_t& shapeType) {
  // offset 0: file code (big-endian) | 4: five unused | 24: file length | 28: version (little)
  // | 32: shape type | 36: XMin YMin XMax YMax | 68: ZMin ZMax MMin MMax
  stream.Seek(0);
  unsigned char code[4];
  stream.ReadBuffer(code, 4);
  ReverseBytes(4, code);
  if (GetLE32(code) != kShpFileCode) {
    messages.ShowMessage(MessageKind::Error, kInvalidShpText);
    return false;
  }
  unsigned char unused[24];
  stream.ReadBuffer(unused, sizeof unused);
  if (ReadLE32(stream) != kShpVersion) {
    messages.ShowMessage(MessageKind::Error, kInvalidShpText);
    return false;
  }
  unsigned char rest[68];
  stream.ReadBuffer(rest, sizeof rest);
  shapeType = GetLE32(rest);
  return true;
}

bool PeekShpFileHeader(const std::string& path, TShpFileHeader& header) {
  // offset 0: file code (big-endian) | 28: version | 32: shape type | 36: XMin YMin XMax YMax
  FileHandle file;
  unsigned char b[kShpHeaderSize];
  if (!file.OpenRead(path) || file.ReadAt(0, b, sizeof b) != kShpHeaderSize) return false;
  header.FileCode = GetBE32(b);
  header.Version = GetLE32(b + 28);
  header.ShapeType = GetLE32(b + 32);
  for (int i = 0; i < 4; ++i) header.Bounds[i] = GetLEDouble(b + 36 + 8 * i);
  return true;
}

TShpRecordHeader ReadShpRecordHeader(ByteStream& stream) {
  unsigned char b[12] = {};
  stream.Read(b, sizeof b);
  TShpRecordHeader header;
  header.RecordNumber = GetBE32(b);
  header.ContentLength = GetBE32(b + 4);
  header.ShapeType = GetLE32(b + 8);
  return header;
}

void ReadShpPoint(ByteStream& stream, TSFPoint& point) {
  unsigned char b[16];
  stream.ReadBuffer(b, sizeof b);
  point.X = GetLEDouble(b);
  point.Y = GetLEDouble(b + 8);
}

void ReadShpPolyLine(ByteStream& stream, TSFPolyLine& line) {
  ReadMultiPart(stream, line);
}

void ReadShpPolygon(ByteStream& stream, TSFPolygon& polygon) {
  ReadMultiPart(stream, polygon);
}

void ReadShpPointAny(ByteStream& stream, const TShpRecordHeader& header, TSFPoint& point) {
  const int64_t need = kXYSize + (HasZ(header.ShapeType) ? kValueSize : 0);
  const int64_t end = ContentEnd(stream, header, need);
  ReadShpPoint(stream, point);
  stream.Seek(end);
}

void ReadShpPolyLineAny(ByteStream& stream, const TShpRecordHeader& header, TSFPolyLine& line) {
  ReadMultiPartAny(stream, header, line);
}

void ReadShpPolygonAny(ByteStream& stream, const TShpRecordHeader& header, TSFPolygon& polygon) {
  ReadMultiPartAny(stream, header, polygon);
}

void ReadShpMultiPoint(ByteStream& stream, const TShpRecordHeader& header,
                       TSFMultiPoint& multiPoint) {
  // offset 0: Box | 32: NumPoints | 36: Points, then the Z and M blocks of the kind
  const int64_t end = ContentEnd(stream, header, kMultiPointHeadSize);
  unsigned char head[kMultiPointHeadSize];
  multiPoint.Points.clear();
  stream.ReadBuffer(head, sizeof head);
  multiPoint.Box = GetBox(head);
  multiPoint.NumPoints = GetLE32(head + 32);
  if (multiPoint.NumPoints < 0) throw ERangeError(kRangeErrorText);
  CheckFitsContent(
      stream, end,
      int64_t{multiPoint.NumPoints} * kXYSize + ZBlockSize(header.ShapeType, multiPoint.NumPoints));
  ReadPoints(stream, multiPoint.Points, multiPoint.NumPoints);
  stream.Seek(end);
}

}  // namespace plexor
