#include "engine/ShpToMif.h"

#include <memory>

#include "dbf/localDbf.h"
#include "engine/CoordSys.h"
#include "mif/uniMifUtils.h"
#include "shp/uniShpUtils.h"
#include "support/ByteStream.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/TextFile.h"

namespace plexor {
namespace {

constexpr const char* kPreparingText = "変換の準備をしています。";
constexpr const char* kConvertingSuffix = "を変換しています。";
constexpr const char* kFinishingText = "変換の後処理をしています。";
constexpr const char* kOutputIsInputReason = "入力ファイルと同じファイルには出力できません";

// Progress is reported every so many records: often enough for a smooth bar, rarely enough
// to cost nothing.
constexpr int64_t kProgressEvery = 4096;

// An output that is also an input would be emptied before it is read: refuse before any
// file is opened.
void CheckOutputsAreNotInputs(const std::string& source, const std::string& table,
                              const std::string& mif, const std::string& mid) {
  for (const std::string* output : {&mif, &mid}) {
    if (SameFile(*output, source) || SameFile(*output, table)) {
      throw EFCreateError(FileCreateErrorText(*output, kOutputIsInputReason));
    }
  }
  if (SameFile(mif, mid)) throw EFCreateError(FileCreateErrorText(mid, kOutputIsInputReason));
}

// Shape types without a reader: the record header's content length (16-bit words, the shape
// type included) says how far to go. A length that runs past the end is a cut record.
void SkipRecordContent(ByteStream& stream, const TShpRecordHeader& header) {
  const int64_t bytes = int64_t{header.ContentLength} * 2 - 4;
  if (bytes < 0 || bytes > stream.Remaining()) throw EReadError(kReadErrorText);
  stream.Seek(stream.Position() + bytes);
}

struct Buffers {
  TSFPoint point;
  TSFPolyLine line;
  TSFPolygon polygon;
  TSFColumns columns;
  std::string row;
};

void ConvertRecords(int32_t index, ByteStream& stream, TLocalDbf& table, TextFileWriter& mif,
                    TextFileWriter& mid, IConvertHost& host, Buffers& b,
                    TConvertSummary& summary, bool& headerAccepted) {
  const RegionalSettings regional = host.Regional();
  const char sep = regional.DecimalSeparator;
  const std::string clause = GetCoordSysClause(index);
  headerAccepted = ReadShpHeader(stream, host);
  if (!headerAccepted) return;
  WriteMifHeader(mif, clause);
  ReadDbfColumns(table, b.columns);
  WriteMifColumns(mif, b.columns);

  const int64_t size = stream.Size();
  int64_t records = 0;
  while (stream.Position() < size) {
    // A file that ends inside a record header has lost its last record.
    if (stream.Remaining() < kShpRecordHeaderSize) throw EReadError(kReadErrorText);
    const TShpRecordHeader header = ReadShpRecordHeader(stream);
    bool written = true;
    switch (header.ShapeType) {
      case kShapePoint:
        ReadShpPoint(stream, b.point);
        WriteMifPoint(mif, b.point, sep);
        break;
      case kShapePolyLine:
        ReadShpPolyLine(stream, b.line);
        WriteMifPLine(mif, b.line, sep);
        break;
      case kShapePolygon:
        ReadShpPolygon(stream, b.polygon);
        WriteMifRegion(mif, b.polygon, sep);
        break;
      case kShapeNull:
        written = false;
        break;
      default:
        SkipRecordContent(stream, header);
        written = false;
        break;
    }
    if (written) {
      ++summary.Objects;
      BuildMidRow(table, regional, b.row);
      WriteMidRow(mid, b.row);
      ++summary.MidRows;
    } else {
      ++summary.SkippedByShapeType[header.ShapeType];
    }
    // Every record, of whatever kind, takes one attribute record, so they pair by position.
    table.Next();
    if (++records % kProgressEvery == 0) host.ConversionProgress(stream.Position(), size);
  }
  host.ConversionProgress(size, size);
  // Buffered output reaches the disk here, so that a full disk fails the conversion rather
  // than its closing.
  mif.Flush();
  mid.Flush();
}

}  // namespace

std::string AttributePathOf(const std::string& source) {
  return FindExtensionCaseVariant(ChangeFileExt(source, ".dbf"));
}

std::string MidPathOf(const std::string& target) { return ChangeFileExt(target, ".mid"); }

bool ConvertShpToMif(int32_t index, const std::string& source, const std::string& target,
                     IConvertHost& host, TConvertSummary* summaryOut) {
  if (!RegularFileExists(source)) return false;
  const std::string tablePath = AttributePathOf(source);
  if (!RegularFileExists(tablePath)) return false;
  const std::string midPath = MidPathOf(target);
  CheckOutputsAreNotInputs(source, tablePath, target, midPath);

  host.SetStatusText(kPreparingText);
  std::unique_ptr<ByteStream> stream;
  auto table = std::make_unique<TLocalDbf>();
  TextFileWriter mif;
  TextFileWriter mid;
  try {
    stream = std::make_unique<ByteStream>(source);
    table->SetTableName(tablePath);
    table->SetRegional(host.Regional());
    table->Open();
    mif.Create(target);
    mid.Create(midPath);
  } catch (...) {
    // What was opened is released by the destructors; the status bar must not keep
    // claiming a conversion that never started.
    host.SetStatusText({});
    throw;
  }
  host.SetStatusText(NativeToUtf8(source) + kConvertingSuffix);

  TConvertSummary summary;
  bool result = false;
  try {
    Buffers buffers;
    bool headerAccepted = false;
    ConvertRecords(index, *stream, *table, mif, mid, host, buffers, summary, headerAccepted);
    result = headerAccepted;
  } catch (...) {
    result = false;
  }

  host.SetStatusText(kFinishingText);
  try {
    if (table->Active()) table->Close();
    table.reset();
    stream.reset();
    mif.Close();
    mid.Close();
  } catch (...) {
    host.SetStatusText({});
    throw;
  }
  host.SetStatusText({});
  if (summaryOut) *summaryOut = summary;
  host.ConversionFinished(source, result, summary);
  return result;
}

}  // namespace plexor
