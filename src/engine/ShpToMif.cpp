#include "engine/ShpToMif.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

#include "dbf/localDbf.h"
#include "engine/CoordSys.h"
#include "engine/MifObjectQueue.h"
#include "engine/PrjFile.h"
#include "engine/SourceList.h"
#include "engine/TableEncoding.h"
#include "mif/uniMifUtils.h"
#include "shp/AttributeText.h"
#include "shp/uniShpUtils.h"
#include "support/ByteStream.h"
#include "support/ByteStrings.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/InputFile.h"
#include "support/TextFile.h"

namespace plexor {
namespace {

constexpr const char* kPreparingText = "変換の準備をしています。";
constexpr const char* kConvertingSuffix = "を変換しています。";
constexpr const char* kFinishingText = "変換の後処理をしています。";
constexpr const char* kOutputIsInputReason = "入力ファイルと同じファイルには出力できません";
constexpr const char* kCompanionReason =
    "シェープファイルを構成するファイルの拡張子には出力できません";
constexpr const char* kHeaderRefusedReason = "SHPファイルのヘッダーが不正です。";
constexpr const char* kNoFieldsNote =
    "DBFファイルにフィールドがありません。空の列 _ を出力しました。";

// Progress is reported every so many records: often enough for a smooth bar, rarely enough
// to cost nothing.
constexpr int64_t kProgressEvery = 4096;

// The files that make up a shapefile. An output under one of these names would destroy
// the data of some shapefile, even when it is not this conversion's input.
constexpr std::array<const char*, 10> kCompanionExtensions = {
    ".shp", ".shx", ".dbf", ".prj", ".cpg", ".sbn", ".sbx", ".qix", ".fix", ".xml"};

}  // namespace

bool IsShapefileCompanionPath(const std::string& path) {
  const std::string name = GetFileName(path);
  for (const char* ext : kCompanionExtensions) {
    const std::string_view e(ext);
    if (name.size() > e.size() &&
        SameTextAscii(std::string_view(name).substr(name.size() - e.size()), e)) {
      return true;
    }
  }
  return false;
}

bool OutputWouldReplaceCompanion(const std::string& path) {
  return IsShapefileCompanionPath(path) || IsShapefileCompanionPath(FollowLinks(path));
}

namespace {

// The writer replaces the file a link leads to, so that is the file every check is about;
// the reason then names it, since the name the user gave looks harmless.
std::string LinkedReason(const std::string& output, const char* reason) {
  const std::string followed = FollowLinks(output);
  if (followed == output) return reason;
  return std::string(reason) + " (リンク先: " + NativeToUtf8(followed) + ")";
}

// An output that is an input, or a shapefile's own file, would be destroyed: refuse before
// any file is opened.
void CheckOutputsAreSafe(const std::string& source, const std::string& table,
                         const std::string& mif, const std::string& mid) {
  for (const std::string* output : {&mif, &mid}) {
    if (OutputWouldReplaceCompanion(*output)) {
      throw EFCreateError(FileCreateErrorText(*output, LinkedReason(*output, kCompanionReason)));
    }
    if (SameFile(*output, source) || SameFile(*output, table)) {
      throw EFCreateError(
          FileCreateErrorText(*output, LinkedReason(*output, kOutputIsInputReason)));
    }
  }
  if (SameFile(mif, mid)) {
    throw EFCreateError(FileCreateErrorText(mid, LinkedReason(mid, kOutputIsInputReason)));
  }
}

std::string CutRecordReason(int64_t recordNumber, int64_t offset) {
  return ShpRecordFaultText(recordNumber, offset, {});
}

struct Buffers {
  TSFColumns columns;
  std::string row;
};

// Shape n pairs with record n of the table counted in the file, deleted ones included, so
// that a deleted record never shifts the rows of the shapes after it.
class AttributeCursor {
 public:
  explicit AttributeCursor(TLocalDbf& table) : table_(table), count_(table.RecordCount()) {}

  bool HasRecord() const { return position_ < count_; }
  int64_t RecordNumber() const { return position_ + 1; }
  bool Deleted() const { return HasRecord() && table_.RecordDeleted(); }
  void Advance() {
    if (HasRecord() && position_ + 1 < count_) table_.Next();
    ++position_;
  }
  int64_t RecordsLeft() const { return position_ < count_ ? count_ - position_ : 0; }

 private:
  TLocalDbf& table_;
  int64_t count_;
  int64_t position_ = 0;
};

// The queue's slots are the buffers records are read into. A shape read but not pushed (a
// deleted record's) leaves its slot to the next record.
class QueueSlots final : public IShapeBuffers {
 public:
  explicit QueueSlots(TMifObjectQueue& objects) : objects_(objects) {}
  TSFPoint& Point() override { return objects_.PointSlot(); }
  TSFPolyLine& Line() override { return objects_.LineSlot(); }
  TSFPolygon& Region() override { return objects_.RegionSlot(); }
  TSFMultiPoint& Multipoint() override { return objects_.MultipointSlot(); }

 private:
  TMifObjectQueue& objects_;
};

std::string UnmappableNote(const std::string& column, const TAttributeText::FieldReport& r) {
  std::string note = "フィールド " + column + ": 出力の文字コードにない " +
                     std::to_string(r.Unmappable) + " 文字を〓にしました (";
  std::string records;
  for (int64_t record : r.FirstRecords) {
    if (record == 0) {
      note += "フィールド名";  // record 0 is the name, and it comes first
    } else {
      records += (records.empty() ? "レコード " : ", ") + std::to_string(record);
    }
  }
  if (!records.empty() && r.FirstRecords.front() == 0) note += "、";
  note += records;
  return note + (r.Unmappable > static_cast<int64_t>(r.FirstRecords.size()) ? ", ...)" : ")");
}

class Conversion {
 public:
  Conversion(ByteStream& stream, TLocalDbf& table, TextFileWriter& mif, TextFileWriter& mid,
             IConvertHost& host, TAttributeText& text, TConvertSummary& summary, bool threaded)
      : stream_(stream),
        table_(table),
        mif_(mif),
        mid_(mid),
        host_(host),
        text_(text),
        summary_(summary),
        threaded_(threaded) {}

  // False when the header was refused.
  bool Run(int32_t index) {
    const RegionalSettings regional = host_.Regional();
    const std::string clause = GetCoordSysClause(index);
    int32_t fileType = kShapeNull;
    if (!ReadShpHeader(stream_, host_, fileType)) return false;
    // Multipoint objects came with MapInfo's version 650 files.
    const int version =
        BaseShapeKind(fileType) == kShapeMultiPoint ? kMifVersion650 : kMifVersion300;
    WriteMifHeader(mif_, clause, version, MifCharsetName(text_.Output()));
    for (std::string& note : ReadDbfColumns(table_, b_.columns, &text_)) {
      summary_.Notes.push_back(std::move(note));
    }
    for (std::string& renamed :
         MakeColumnNamesReadable(b_.columns, text_.Output() == TOutputCharset::Cp932)) {
      summary_.Notes.push_back("列名を変えました: " + ShownName(renamed));
    }
    WriteMifColumns(mif_, b_.columns);

    AttributeCursor records(table_);
    TMifObjectQueue objects(mif_, regional.DecimalSeparator, threaded_);
    const int64_t size = stream_.Size();
    int64_t count = 0;
    while (stream_.Position() < size) {
      if (host_.CancelRequested()) throw EAbort(kCancelledText);
      const int64_t offset = stream_.Position();
      // Faults of the .shp name its record; those of the table (ELocalDbfError) and of the
      // outputs name their file already.
      try {
        ConvertRecord(records, objects, regional);
      } catch (const EReadError& e) {
        throw EReadError(CutRecordReason(count + 1, offset) + e.what());
      } catch (const ERangeError& e) {
        throw EReadError(CutRecordReason(count + 1, offset) + e.what());
      }
      if (++count % kProgressEvery == 0) host_.ConversionProgress(stream_.Position(), size);
    }
    objects.Finish();
    summary_.RecordsWithoutShape = records.RecordsLeft();
    const auto& reports = text_.Reports();
    for (size_t i = 0; i < reports.size(); ++i) {
      if (reports[i].Unmappable > 0 && i < b_.columns.size()) {
        summary_.Notes.push_back(UnmappableNote(ShownName(b_.columns[i].Name), reports[i]));
      }
    }
    host_.ConversionProgress(size, size);
    return true;
  }

 private:
  void ConvertRecord(AttributeCursor& records, TMifObjectQueue& objects,
                     const RegionalSettings& regional) {
    const int64_t offset = stream_.Position();
    TShpRecordHeader header;
    QueueSlots slots(objects);
    // A deleted record is read by the same rule as a live one, so that whether the file
    // converts never depends on the table's deletion flags.
    const TShpRecordKind kind = ReadShpRecord(stream_, header, slots);
    if (kind == TShpRecordKind::ZeroTail) {
      // Padding is no record, so it takes no attribute record either.
      summary_.Notes.push_back(ShpZeroTailText(stream_.Size() - offset));
      return;
    }
    if (records.Deleted()) {
      // A deleted record hides its shape, as other readers treat a deleted feature.
      ++summary_.DeletedSkipped;
    } else if (kind == TShpRecordKind::Shape) {
      // Z and M kinds were read for X and Y and are written as their 2D kinds.
      objects.Push();
      ++summary_.Objects;
      if (header.ShapeType != BaseShapeKind(header.ShapeType)) ++summary_.FromZM;
      if (records.HasRecord()) {
        summary_.LineBreaksBlanked +=
            BuildMidRow(table_, regional, b_.row, &text_, records.RecordNumber());
      } else {
        BuildEmptyMidRow(table_, b_.row);
        ++summary_.ShapesWithoutRecord;
      }
      WriteMidRow(mid_, b_.row);
      ++summary_.MidRows;
    } else {
      ++summary_.SkippedByShapeType[header.ShapeType];
    }
    // Every record, of whatever kind, takes one attribute record.
    records.Advance();
  }

  ByteStream& stream_;
  TLocalDbf& table_;
  TextFileWriter& mif_;
  TextFileWriter& mid_;
  // Column names are bytes of the output encoding; messages are UTF-8.
  std::string ShownName(const std::string& name) const {
    return text_.Output() == TOutputCharset::Cp932 ? Cp932ToUtf8(name) : name;
  }

  IConvertHost& host_;
  TAttributeText& text_;
  TConvertSummary& summary_;
  const bool threaded_;
  Buffers b_;
};

// Below this size a second thread costs more to start and feed than it saves: a batch of
// many small files runs each on one thread.
constexpr int64_t kThreadedFromBytes = 4 << 20;

// Which check of the header failed, for the reason shown with the failure.
std::string HeaderRefusalReason(const std::string& source) {
  TShpFileHeader header;
  if (!PeekShpFileHeader(source, header)) return kHeaderRefusedReason;
  if (header.FileCode != kShpFileCode) {
    return std::string(kHeaderRefusedReason) + " ファイルコードが 9994 ではありません (" +
           std::to_string(header.FileCode) + ")";
  }
  return std::string(kHeaderRefusedReason) + " バージョンが 1000 ではありません (" +
         std::to_string(header.Version) + ")";
}

// The likeliest mistake is the wrong one of 41 entries: say so when the .prj names another,
// or when the coordinates cannot be in the chosen system. The conversion goes on.
void AddCoordSysWarnings(int32_t index, const std::string& source,
                         std::vector<std::string>& notes) {
  if (index < 0 || index >= kCoordSysCount) return;
  const std::optional<TPrjMatch> prj = ReadPrjBeside(source);
  if (prj) {
    const std::string disagreement = PrjDisagreementWarning(index, *prj);
    if (!disagreement.empty()) notes.push_back(disagreement);
  }
  TShpFileHeader header;
  if (PeekShpFileHeader(source, header)) {
    const double* box = header.Bounds;
    const std::string bounds =
        BoundsWarning(index, box[0], box[1], box[2], box[3], prj ? &*prj : nullptr);
    if (!bounds.empty()) notes.push_back(bounds);
  }
}

}  // namespace

std::vector<std::string> TConvertSummary::Warnings() const {
  std::vector<std::string> warnings;
  if (ShapesWithoutRecord > 0) {
    warnings.push_back("属性レコードのない図形が " + std::to_string(ShapesWithoutRecord) +
                       " 件あります。属性は空で出力しました。");
  }
  if (RecordsWithoutShape > 0) {
    warnings.push_back("図形のない属性レコードが " + std::to_string(RecordsWithoutShape) +
                       " 件あります。出力していません。");
  }
  if (LineBreaksBlanked > 0) {
    warnings.push_back("文字列の値の中の改行 " + std::to_string(LineBreaksBlanked) +
                       " 個を空白にしました。");
  }
  warnings.insert(warnings.end(), Notes.begin(), Notes.end());
  return warnings;
}

std::string AttributePathOf(const std::string& source) {
  return FindInputCaseVariant(ChangeFileExt(source, ".dbf"));
}

std::string MidPathOf(const std::string& target) {
  return ChangeFileExt(target, ".mid");
}

TThreadPlan PlanThreads(const TConvertOptions& options, int64_t shpBytes,
                        const std::function<TProcessors()>& processors) {
  if (options.Threads == 1) return {};
  if (options.Threads > 1) return {true, true};
  if (shpBytes < kThreadedFromBytes) return {};
  return {processors().Idle >= 2, true};
}

bool ConvertShpToMif(int32_t index, const std::string& source, const std::string& target,
                     IConvertHost& host, TConvertSummary* summaryOut) {
  TConvertSummary summary;
  auto fail = [&](std::string reason) {
    summary.FailureReason = std::move(reason);
    if (summaryOut) *summaryOut = summary;
    host.ConversionFinished(source, false, summary);
    return false;
  };
  if (IsArchiveSource(source)) {
    // An archive of one shapefile stands for it; one of several cannot say which is meant.
    std::string member;
    std::string why;
    if (!SingleShapefileOf(source, member, why)) return fail(why);
    return ConvertShpToMif(index, member, target, host, summaryOut);
  }
  if (!InputFileExists(source)) {
    return fail("SHPファイルがありません: " + NativeToUtf8(source));
  }
  const std::string tablePath = AttributePathOf(source);
  if (!InputFileExists(tablePath)) {
    return fail("DBFファイルがありません: " + NativeToUtf8(tablePath));
  }
  const std::string midPath = MidPathOf(target);
  // A member's outputs must spare the archive that holds it.
  CheckOutputsAreSafe(FileOnDiskOf(source), FileOnDiskOf(tablePath), target, midPath);

  const TConvertOptions options = host.Options();
  const TOutputCharset output = options.Utf8Output ? TOutputCharset::Utf8 : TOutputCharset::Cp932;
  const TEncodingDecision encoding =
      DecideTableEncoding(source, tablePath, options.Encoding, output);
  summary.Encoding = EncodingSummaryText(encoding);
  summary.Notes = encoding.Warnings;
  AddCoordSysWarnings(index, source, summary.Notes);

  host.SetStatusText(kPreparingText);
  std::unique_ptr<ByteStream> stream;
  TThreadPlan plan;
  auto table = std::make_unique<TLocalDbf>();
  TextFileWriter mif;
  TextFileWriter mid;
  try {
    stream = std::make_unique<ByteStream>(source);
    // Inputs are only read: a table on a read-only share or owned by someone else converts,
    // and nothing of it is ever held for writing.
    table->SetTableName(tablePath);
    table->SetReadOnly(true);
    table->SetShowDeleted(true);
    table->SetReadAhead(true);
    table->SetSkipUnsupportedFields(options.SkipUnsupportedFields);
    table->SetRegional(host.Regional());
    table->Open();
    for (const std::string& skipped : table->SkippedFields()) {
      summary.Notes.push_back("対応していない型のフィールドを除きました: " + Cp932ToUtf8(skipped));
    }
    if (table->FieldCount() == 0) summary.Notes.push_back(kNoFieldsNote);
    // The system's copying of what was written overlaps the formatting of what comes next.
    plan = PlanThreads(options, stream->Size(), CurrentProcessors);
    mif.SetBackgroundWrites(plan.BackgroundWrites);
    mid.SetBackgroundWrites(plan.BackgroundWrites);
    mif.Create(target);
    mid.Create(midPath);
  } catch (...) {
    // What was opened is released by the destructors; the status bar must not keep
    // claiming a conversion that never started.
    host.SetStatusText({});
    throw;
  }
  host.SetStatusText(NativeToUtf8(source) + kConvertingSuffix);
  host.ConversionStarted(source);

  bool result = false;
  try {
    TAttributeText text(encoding.CodePage, output);
    text.SetAsciiOnlyFields(encoding.FieldNames, encoding.AsciiOnly);
    result =
        Conversion(*stream, *table, mif, mid, host, text, summary, plan.ObjectThread).Run(index);
    if (!result) summary.FailureReason = HeaderRefusalReason(source);
    if (result) {
      // A member is published only once its CRC held: the .shp may end in skipped records
      // and the table in records no shape reached.
      stream->ReadToEnd();
      CheckInputWhole(tablePath);
    }
  } catch (const std::exception& e) {
    summary.FailureReason = e.what();
    result = false;
  }

  host.SetStatusText(kFinishingText);
  try {
    if (table->Active()) table->Close();
    table.reset();
    stream.reset();
    if (result) {
      PublishPair(mif, mid);
    } else {
      mif.Discard();
      mid.Discard();
    }
  } catch (const std::exception& e) {
    // A write that fails at the very end (a full disk) is a failed conversion like any other.
    summary.FailureReason = e.what();
    result = false;
  }
  host.SetStatusText({});
  if (summaryOut) *summaryOut = summary;
  host.ConversionFinished(source, result, summary);
  return result;
}

}  // namespace plexor
