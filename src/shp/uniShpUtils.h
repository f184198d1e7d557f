// Reading the .shp main file record by record, and the bridge from the attribute table to
// the MIF columns and MID rows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shp/UniSFMapUtil.h"
#include "support/ByteStream.h"
#include "support/RegionalSettings.h"
#include "support/UserMessages.h"

namespace plexor {

class TLocalDbf;

// The shape types of the shapefile standard. A Z kind stores X, Y and Z per point and may add
// M; an M kind stores X, Y and may add M. Only X and Y reach a MIF file.
inline constexpr int32_t kShapeNull = 0;
inline constexpr int32_t kShapePoint = 1;
inline constexpr int32_t kShapePolyLine = 3;
inline constexpr int32_t kShapePolygon = 5;
inline constexpr int32_t kShapeMultiPoint = 8;
inline constexpr int32_t kShapePointZ = 11;
inline constexpr int32_t kShapePolyLineZ = 13;
inline constexpr int32_t kShapePolygonZ = 15;
inline constexpr int32_t kShapeMultiPointZ = 18;
inline constexpr int32_t kShapePointM = 21;
inline constexpr int32_t kShapePolyLineM = 23;
inline constexpr int32_t kShapePolygonM = 25;
inline constexpr int32_t kShapeMultiPointM = 28;
inline constexpr int32_t kShapeMultiPatch = 31;

// The 2D kind of a Z or M kind (PolyLineZ and PolyLineM give PolyLine); any other value,
// unknown ones included, comes back unchanged.
constexpr int32_t BaseShapeKind(int32_t type) {
  switch (type) {
    case kShapePointZ:
    case kShapePointM:
      return kShapePoint;
    case kShapePolyLineZ:
    case kShapePolyLineM:
      return kShapePolyLine;
    case kShapePolygonZ:
    case kShapePolygonM:
      return kShapePolygon;
    case kShapeMultiPointZ:
    case kShapeMultiPointM:
      return kShapeMultiPoint;
    default:
      return type;
  }
}
// The English name of a shape type ("PolyLineZ"); nullptr for a type the standard lacks.
const char* ShapeTypeName(int32_t type);

inline constexpr int64_t kShpHeaderSize = 100;
inline constexpr int64_t kShpRecordHeaderSize = 12;  // number, content length, shape type

struct TShpRecordHeader {
  int32_t RecordNumber = 0;
  int32_t ContentLength = 0;  // 16-bit words, the shape type included
  int32_t ShapeType = 0;
};

// Checks file code 9994 and version 1000. A refused file shows "不正なSHPファイルです。" as an
// error through `messages` and gives false. A short file raises EReadError.
bool ReadShpHeader(ByteStream& stream, IUserMessages& messages);
// The same, also giving the shape type the header declares for the whole file.
bool ReadShpHeader(ByteStream& stream, IUserMessages& messages, int32_t& shapeType);
// The main file's header as it stands, not judged: for reasons and warnings that need its
// numbers without reading the file.
struct TShpFileHeader {
  int32_t FileCode = 0;
  int32_t Version = 0;
  int32_t ShapeType = 0;
  double Bounds[4] = {0, 0, 0, 0};  // XMin YMin XMax YMax
};
// False when the file cannot be opened or is shorter than a header.
bool PeekShpFileHeader(const std::string& path, TShpFileHeader& header);
inline constexpr int32_t kShpFileCode = 9994;
inline constexpr int32_t kShpVersion = 1000;

// The most content one record may have: 256 MiB, 16 million vertices of X and Y. A header
// can claim up to 4 GiB per record, and a sparse file holds that much without using the disk,
// so what a record asks for is bounded by this as well as by the bytes the file still holds;
// beyond it the record is refused with the reason, never allocated.
inline constexpr int64_t kMaxShpRecordContent = int64_t{256} << 20;

// The buffers one record's shape is read into, one per kind: the conversion lends the slots
// of its object queue, `plexor info` keeps its own.
class IShapeBuffers {
 public:
  virtual TSFPoint& Point() = 0;
  virtual TSFPolyLine& Line() = 0;
  virtual TSFPolygon& Region() = 0;
  virtual TSFMultiPoint& Multipoint() = 0;

 protected:
  ~IShapeBuffers() = default;
};

// What ReadShpRecord found at the stream's position.
enum class TShpRecordKind {
  Shape,       // a Point, PolyLine, Polygon or MultiPoint kind, read into its buffer
  NullShape,   // the Null shape: nothing to read
  PassedOver,  // a kind without a reader (MultiPatch, an unknown type), stepped over
  ZeroTail,    // only zero bytes from here to the end of the file: no record, the records end
};

// The one rule for where a record ends, shared by the conversion and `plexor info`: a record
// is its 8-byte header and the content its content length announces, and every kind is read
// within that content and leaves the stream at its end, whatever its counts say.
// - Fewer than 8 bytes left, or content that runs past the end of the file: a cut record.
// - A content length below 2 words cannot hold the shape type: a bad record, unless the
//   header and everything after it are zero bytes (a writer's or a disk's padding), which
//   ends the records and gives ZeroTail with the stream at the end of the file.
// - Content beyond kMaxShpRecordContent, content too short for its kind, or counts that do
//   not fit it: a bad record.
// - A part table must start at point 0 and rise strictly, every part inside the points: parts
//   that overlap, run backwards or hold no point are a bad record (GDAL reads none of them as
//   a shape, and its MIF reader refuses a section of 0 or fewer points).
// Refusals raise EReadError (ERangeError for negative counts and bad part tables) whose text
// is the reason alone; ShpRecordFaultText puts the record in front of it.
TShpRecordKind ReadShpRecord(ByteStream& stream, TShpRecordHeader& header, IShapeBuffers& buffers);
// "レコード 3 (SHPファイルの 228 バイト目) を読めません: " followed by `reason`; `record` counts
// from 1 in file order, `offset` is where its header begins.
std::string ShpRecordFaultText(int64_t record, int64_t offset, const std::string& reason);
// The warning for a zero tail of `bytes` bytes.
std::string ShpZeroTailText(int64_t bytes);

// Plain reads of the 12 bytes: what is missing at the end of the file reads as zero.
TShpRecordHeader ReadShpRecordHeader(ByteStream& stream);
// Readers that take a 2D record as its counts describe it, without its content length. The
// conversion reads through ReadShpRecord instead. A negative count raises ERangeError; counts
// that cannot fit in the rest of the file or exceed kMaxShpRecordContent raise EReadError
// before anything is allocated.
void ReadShpPoint(ByteStream& stream, TSFPoint& point);
void ReadShpPolyLine(ByteStream& stream, TSFPolyLine& line);
void ReadShpPolygon(ByteStream& stream, TSFPolygon& polygon);

// Readers for the 2D, Z and M kinds of one shape, chosen by header.ShapeType, with the stream
// right after the shape type: the content rules of ReadShpRecord. They read X and Y, step
// over Z and M, and leave the stream exactly at the end of the record content. A content
// length that runs past the end of the file, or is too short for the X/Y data (and, in a Z
// kind, the Z values the standard requires), raises EReadError; so do counts the content
// cannot hold, before anything is allocated. Negative counts and bad part tables raise
// ERangeError. M values are optional in every kind: only the content length tells.
void ReadShpPointAny(ByteStream& stream, const TShpRecordHeader& header, TSFPoint& point);
void ReadShpPolyLineAny(ByteStream& stream, const TShpRecordHeader& header, TSFPolyLine& line);
void ReadShpPolygonAny(ByteStream& stream, const TShpRecordHeader& header, TSFPolygon& polygon);
void ReadShpMultiPoint(ByteStream& stream, const TShpRecordHeader& header,
                       TSFMultiPoint& multiPoint);

class TAttributeText;

// One column per field of the open table, in field order; names converted by `text` when
// given, and Char widths widened for it where a value can grow. A Char width outside the 1 to
// 254 MapInfo takes is clamped; the notes (UTF-8) name each such field. An open table without
// fields gives the one column "_" Char(1), empty in every row, since a MIF needs a column.
std::vector<std::string> ReadDbfColumns(TLocalDbf& table, TSFColumns& columns,
                                        TAttributeText* text = nullptr);
// Makes every column name one a MIF reader can parse: an ASCII character other than a
// letter, a digit or '_' becomes '_', a leading digit gets '_' before it, an empty name is
// "_", and a name equal to an earlier one (ASCII letters folded) gets "_2", "_3", ... Bytes
// of double-byte characters (`cp932`) are never touched. Returns "old -> new" per rename.
std::vector<std::string> MakeColumnNamesReadable(TSFColumns& columns, bool cp932);
// The MID row of the table's current record, without a line break.
std::string BuildMidRow(TLocalDbf& table, const RegionalSettings& regional);
// The same into the caller's string, whose capacity is reused from row to row. Returns how
// many CR and LF bytes inside text values were written as blanks.
// Text values are converted by `text` when given; `record` (1-based) names the record in
// its report of characters that have no form in the output.
int64_t BuildMidRow(TLocalDbf& table, const RegionalSettings& regional, std::string& row,
                    TAttributeText* text = nullptr, int64_t record = 0);
// The row of a shape that has no attribute record: every field without a value.
void BuildEmptyMidRow(TLocalDbf& table, std::string& row);

}  // namespace plexor
