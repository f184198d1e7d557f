// The reader half of uniShpUtils.
#include "shp/uniShpUtils.h"

#include "support/Endian.h"
#include "support/Exceptions.h"

namespace plexor {
namespace {

constexpr int32_t kFileCode = 9994;
constexpr int32_t kVersion = 1000;
constexpr const char* kInvalidShpText = "不正なSHPファイルです。";
constexpr const char* kRangeErrorText = "範囲チェックエラー";

int32_t ReadLE32(ByteStream& stream) {
  unsigned char b[4];
  stream.ReadBuffer(b, 4);
  return GetLE32(b);
}

template <typename Shape>
void ReadMultiPart(ByteStream& stream, Shape& shape) {
  // Box 32 bytes, NumParts 4, NumPoints 4, then the parts and the points.
  unsigned char head[40];
  shape.Parts.clear();
  shape.Points.clear();
  stream.ReadBuffer(head, sizeof head);
  shape.Box = TSFBox{GetLEDouble(head), GetLEDouble(head + 8), GetLEDouble(head + 16),
                     GetLEDouble(head + 24)};
  shape.NumParts = GetLE32(head + 32);
  shape.NumPoints = GetLE32(head + 36);
  if (shape.NumParts < 0 || shape.NumPoints < 0) throw ERangeError(kRangeErrorText);
  // A count the rest of the file cannot hold is a cut or hostile record: fail like the
  // short read it would become, before anything is allocated.
  const uint64_t need = uint64_t(shape.NumParts) * 4 + uint64_t(shape.NumPoints) * 16;
  if (need > static_cast<uint64_t>(stream.Remaining())) throw EReadError(kReadErrorText);

  shape.Parts.resize(static_cast<size_t>(shape.NumParts));
  stream.ReadBuffer(shape.Parts.data(), shape.Parts.size() * 4);
  shape.Points.resize(static_cast<size_t>(shape.NumPoints));
  static_assert(sizeof(TSFPoint) == 16);
  stream.ReadBuffer(shape.Points.data(), shape.Points.size() * 16);
  if constexpr (!kHostIsLittleEndian) {
    for (auto& part : shape.Parts) part = GetLE32(&part);
    for (auto& point : shape.Points) point = TSFPoint{GetLEDouble(&point.X), GetLEDouble(&point.Y)};
  }
}

}  // namespace

bool ReadShpHeader(ByteStream& stream, IUserMessages& messages) {
  // offset 0: file code (big-endian) | 4: five unused | 24: file length | 28: version (little)
  // | 32: shape type | 36: XMin YMin XMax YMax | 68: ZMin ZMax MMin MMax
  stream.Seek(0);
  unsigned char code[4];
  stream.ReadBuffer(code, 4);
  ReverseBytes(4, code);
  if (GetLE32(code) != kFileCode) {
    messages.ShowMessage(MessageKind::Error, kInvalidShpText);
    return false;
  }
  unsigned char unused[24];
  stream.ReadBuffer(unused, sizeof unused);
  if (ReadLE32(stream) != kVersion) {
    messages.ShowMessage(MessageKind::Error, kInvalidShpText);
    return false;
  }
  unsigned char rest[68];
  stream.ReadBuffer(rest, sizeof rest);
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

void ReadShpPolyLine(ByteStream& stream, TSFPolyLine& line) { ReadMultiPart(stream, line); }

void ReadShpPolygon(ByteStream& stream, TSFPolygon& polygon) { ReadMultiPart(stream, polygon); }

}  // namespace plexor
