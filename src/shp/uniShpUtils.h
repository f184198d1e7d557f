// Reading the .shp main file record by record, and the bridge from the attribute table to
// the MIF columns and MID rows.
#pragma once

#include <cstdint>
#include <string>

#include "shp/UniSFMapUtil.h"
#include "support/ByteStream.h"
#include "support/RegionalSettings.h"
#include "support/UserMessages.h"

namespace plexor {

class TLocalDbf;

inline constexpr int32_t kShapeNull = 0;
inline constexpr int32_t kShapePoint = 1;
inline constexpr int32_t kShapePolyLine = 3;
inline constexpr int32_t kShapePolygon = 5;

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
// Plain reads of the 12 bytes: what is missing at the end of the file reads as zero.
TShpRecordHeader ReadShpRecordHeader(ByteStream& stream);
void ReadShpPoint(ByteStream& stream, TSFPoint& point);
// A negative count raises ERangeError; counts that cannot fit in the rest of the file raise
// EReadError before anything is allocated.
void ReadShpPolyLine(ByteStream& stream, TSFPolyLine& line);
void ReadShpPolygon(ByteStream& stream, TSFPolygon& polygon);

// One column per field of the open table, in field order.
void ReadDbfColumns(TLocalDbf& table, TSFColumns& columns);
// The MID row of the table's current record, without a line break.
std::string BuildMidRow(TLocalDbf& table, const RegionalSettings& regional);
// The same into the caller's string, whose capacity is reused from row to row.
void BuildMidRow(TLocalDbf& table, const RegionalSettings& regional, std::string& row);

}  // namespace plexor
