// The reader half of uniShpUtils.
#include "shp/uniShpUtils.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/InputFile.h"
#include "support/ZipArchive.h"

namespace plexor {
namespace {

constexpr const char* kInvalidShpText = "不正なSHPファイルです。";
constexpr const char* kHeaderCutText = "レコードヘッダーの途中でファイルが終わっています";

// Record content after the shape type, by kind:
//   Point                X 8 | Y 8
//   PointZ               X 8 | Y 8 | Z 8 [| M 8]
//   PointM               X 8 | Y 8 [| M 8]
//   PolyLine, Polygon    Box 32 | NumParts 4 | NumPoints 4 | Parts 4*NumParts | Points 16*NumPoints
//   MultiPoint           Box 32 | NumPoints 4 | Points 16*NumPoints
//   a multi-point Z kind then Z range 16 | Z 8*NumPoints [| M range 16 | M 8*NumPoints]
//   a multi-point M kind then [M range 16 | M 8*NumPoints]
// The M block is optional wherever it may appear; only the content length tells.
constexpr int64_t kNumberAndLengthSize = 8;  // the record header before the content
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

std::string KindName(int32_t type) {
  const char* name = ShapeTypeName(type);
  return name ? name : "図形の種類 " + std::to_string(type);
}

// The Z range and values a multi-point Z kind must carry after its X/Y data.
int64_t ZBlockSize(int32_t type, int32_t numPoints) {
  return HasZ(type) ? kRangeSize + int64_t{numPoints} * kValueSize : 0;
}

std::string TooLargeText(int64_t bytes) {
  return "内容の長さ " + std::to_string(bytes) + " バイトが 1 レコードの上限 " +
         std::to_string(kMaxShpRecordContent) + " バイト (256 MiB) を超えています";
}

// What the content length alone can be blamed for; `after` is what the file holds after the
// 8-byte record header. Checked before the shape type is read, which lies inside the content.
void CheckContentLength(int32_t words, int64_t after) {
  const int64_t bytes = int64_t{words} * 2;
  if (words < 2) {
    throw EReadError("内容の長さが " + std::to_string(words) +
                     " ワードで、図形の種類 (2 ワード) も入りません");
  }
  if (bytes > after) {
    throw EReadError("内容の長さ " + std::to_string(bytes) + " バイトに対してファイルの残りが " +
                     std::to_string(after) +
                     " バイトしかありません (ファイルが途中で切れています)");
  }
  if (bytes > kMaxShpRecordContent) throw EReadError(TooLargeText(bytes));
}

// Where the record content ends, with the stream right after the shape type. Content shorter
// than `minimum` bytes after the shape type cannot be the kind it claims.
int64_t ContentEnd(ByteStream& stream, const TShpRecordHeader& header, int64_t minimum) {
  CheckContentLength(header.ContentLength, stream.Remaining() + kShapeTypeSize);
  const int64_t bytes = int64_t{header.ContentLength} * 2 - kShapeTypeSize;
  if (bytes < minimum) {
    throw EReadError("内容の長さ " + std::to_string(bytes + kShapeTypeSize) + " バイトは " +
                     KindName(header.ShapeType) + " には足りません (" +
                     std::to_string(minimum + kShapeTypeSize) + " バイト以上が要ります)");
  }
  return stream.Position() + bytes;
}

// The content already lies inside the file, so counts it cannot hold are checked against the
// content alone, before anything is allocated. `counts` gives what was claimed, made only
// for the message: this runs for every record.
template <typename Counts>
void CheckFitsContent(const ByteStream& stream, int64_t end, int64_t need, Counts counts) {
  const int64_t have = end - stream.Position();
  if (need > have) {
    throw EReadError(counts() + "には内容があと " + std::to_string(need) + " バイト要りますが、" +
                     std::to_string(have) + " バイトしかありません");
  }
}

std::string MultiPartCounts(int32_t numParts, int32_t numPoints) {
  return "パート " + std::to_string(numParts) + " 個と点 " + std::to_string(numPoints) + " 個";
}

// Zero bytes from the stream's position to the end of the file. Read in pieces: a long tail
// costs time, never memory.
bool RestIsZero(ByteStream& stream) {
  std::vector<unsigned char> piece(64 * 1024);
  while (stream.Remaining() > 0) {
    const size_t n = stream.Read(piece.data(), piece.size());
    if (n == 0) return false;
    for (size_t i = 0; i < n; ++i) {
      if (piece[i] != 0) return false;
    }
  }
  return true;
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
  // The arrays keep their size from the record before: reading sizes them exactly, and a
  // vector that need not grow is not filled with zeros first.
  unsigned char head[kMultiPartHeadSize];
  stream.ReadBuffer(head, sizeof head);
  shape.Box = GetBox(head);
  shape.NumParts = GetLE32(head + 32);
  shape.NumPoints = GetLE32(head + 36);
  if (shape.NumParts < 0 || shape.NumPoints < 0) {
    throw ERangeError("パートの数 (" + std::to_string(shape.NumParts) + ") か点の数 (" +
                      std::to_string(shape.NumPoints) + ") が負です");
  }
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

// Each part starts where the one before it ends, so the table must start at point 0 and rise
// strictly inside the points. A shape without parts keeps the single-section form.
template <typename Shape>
void CheckPartTable(const Shape& shape) {
  const std::vector<int32_t>& parts = shape.Parts;
  if (!parts.empty() && parts[0] != 0) {
    throw ERangeError("最初のパートの開始位置が 0 ではなく " + std::to_string(parts[0]) + " です");
  }
  for (size_t k = 0; k < parts.size(); ++k) {
    const auto part = [k] { return "パート " + std::to_string(k + 1) + " の開始位置 "; };
    if (k > 0 && parts[k] <= parts[k - 1]) {
      throw ERangeError(part() + std::to_string(parts[k]) + " が前のパートの開始位置 " +
                        std::to_string(parts[k - 1]) +
                        " より後にありません (パートが重なるか、逆向きか、空です)");
    }
    if (parts[k] >= shape.NumPoints) {
      throw ERangeError(part() + std::to_string(parts[k]) + " が点の数 " +
                        std::to_string(shape.NumPoints) + " 以上です (パートに点がありません)");
    }
  }
}

template <typename Shape>
void ReadMultiPart(ByteStream& stream, Shape& shape) {
  ReadMultiPartHead(stream, shape);
  // A count the rest of the file cannot hold is a cut or hostile record: fail like the
  // short read it would become, before anything is allocated.
  const int64_t need = MultiPartArraysSize(shape);
  if (need > stream.Remaining()) throw EReadError(kReadErrorText);
  if (need > kMaxShpRecordContent) throw EReadError(TooLargeText(need));
  ReadMultiPartArrays(stream, shape);
}

template <typename Shape>
void ReadMultiPartAny(ByteStream& stream, const TShpRecordHeader& header, Shape& shape) {
  const int64_t end = ContentEnd(stream, header, kMultiPartHeadSize);
  ReadMultiPartHead(stream, shape);
  CheckFitsContent(stream, end,
                   MultiPartArraysSize(shape) + ZBlockSize(header.ShapeType, shape.NumPoints),
                   [&] { return MultiPartCounts(shape.NumParts, shape.NumPoints); });
  ReadMultiPartArrays(stream, shape);
  CheckPartTable(shape);
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
  InputFile file;
  unsigned char b[kShpHeaderSize];
  try {
    if (!file.OpenRead(path) || file.ReadAt(0, b, sizeof b) != kShpHeaderSize) return false;
  } catch (const EArchiveError&) {
    return false;  // the conversion, reading the same bytes, says why
  }
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

TShpRecordKind ReadShpRecord(ByteStream& stream, TShpRecordHeader& header, IShapeBuffers& buffers) {
  // offset 0: record number (big-endian) | 4: content length in 16-bit words (big-endian)
  // | 8: content, starting with the shape type (little-endian)
  header = TShpRecordHeader{};
  if (stream.Remaining() < kNumberAndLengthSize) throw EReadError(kHeaderCutText);
  unsigned char b[kNumberAndLengthSize];
  stream.ReadBuffer(b, sizeof b);
  header.RecordNumber = GetBE32(b);
  header.ContentLength = GetBE32(b + 4);
  // Records are numbered from 1 and hold at least their shape type, so a header of zeros is
  // no record: when nothing but zeros follows, it is padding after the last one.
  if (header.RecordNumber == 0 && header.ContentLength == 0 && RestIsZero(stream)) {
    stream.Seek(stream.Size());
    return TShpRecordKind::ZeroTail;
  }
  CheckContentLength(header.ContentLength, stream.Remaining());
  header.ShapeType = ReadLE32(stream);
  switch (BaseShapeKind(header.ShapeType)) {
    case kShapePoint:
      ReadShpPointAny(stream, header, buffers.Point());
      return TShpRecordKind::Shape;
    case kShapePolyLine:
      ReadShpPolyLineAny(stream, header, buffers.Line());
      return TShpRecordKind::Shape;
    case kShapePolygon:
      ReadShpPolygonAny(stream, header, buffers.Region());
      return TShpRecordKind::Shape;
    case kShapeMultiPoint:
      ReadShpMultiPoint(stream, header, buffers.Multipoint());
      return TShpRecordKind::Shape;
    case kShapeNull:
      stream.Seek(ContentEnd(stream, header, 0));
      return TShpRecordKind::NullShape;
    default:
      stream.Seek(ContentEnd(stream, header, 0));
      return TShpRecordKind::PassedOver;
  }
}

std::string ShpRecordFaultText(int64_t record, int64_t offset, const std::string& reason) {
  return "レコード " + std::to_string(record) + " (SHPファイルの " + std::to_string(offset) +
         " バイト目) を読めません: " + reason;
}

std::string ShpZeroTailText(int64_t bytes) {
  return "SHPファイルの末尾の " + std::to_string(bytes) +
         " バイトは 0 で埋められています。レコードとしては読んでいません。";
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
  if (multiPoint.NumPoints < 0) {
    throw ERangeError("点の数 (" + std::to_string(multiPoint.NumPoints) + ") が負です");
  }
  CheckFitsContent(
      stream, end,
      int64_t{multiPoint.NumPoints} * kXYSize + ZBlockSize(header.ShapeType, multiPoint.NumPoints),
      [&] { return "点 " + std::to_string(multiPoint.NumPoints) + " 個"; });
  ReadPoints(stream, multiPoint.Points, multiPoint.NumPoints);
  stream.Seek(end);
}

}  // namespace plexor
