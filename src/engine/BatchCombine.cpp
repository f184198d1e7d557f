#include "engine/BatchCombine.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "dbf/localDbf.h"
#include "engine/ShpToMif.h"
#include "shp/uniShpUtils.h"
#include "support/ByteStream.h"
#include "support/ByteStrings.h"
#include "support/FileHandle.h"
#include "support/InputFile.h"
#include "support/TextFile.h"

namespace plexor {
namespace {

constexpr const char* kCombiningMifText = "MIFファイルを統合しています。";
constexpr const char* kCombiningMidText = "MIDファイルを統合しています。";

// The columns of a row's table, or why they cannot be read.
bool ReadRowColumns(const TBatchRow& row, const std::string& rowName, TSFColumns& columns,
                    std::string& why) {
  const std::string table = AttributePathOf(row.SourcePath);
  if (!InputFileExists(table)) {
    why = rowName + "の DBF ファイルがありません: " + NativeToUtf8(table);
    return false;
  }
  try {
    TLocalDbf dbf;
    dbf.SetTableName(table);
    dbf.SetReadOnly(true);  // inputs are only ever read
    dbf.Open();
    ReadDbfColumns(dbf, columns);
  } catch (const std::exception& e) {
    // A table that is damaged or held by another program cannot be combined.
    why = rowName + "の DBF ファイルを読めません: " + e.what();
    return false;
  }
  return true;
}

// Widths may differ: a combined Char column takes the first file's width.
bool SameColumns(const TSFColumns& a, const TSFColumns& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k].Name != b[k].Name || a[k].ColumnType != b[k].ColumnType) return false;
  }
  return true;
}

// Streams the lines of a text file into `out`, each ended by CR LF. A line's text ends at
// its first CR or LF and the line at the next LF, so whatever follows a lone CR is dropped.
// With `afterDataLine`, nothing is copied up to and including the first line that reads
// "DATA" once trimmed and upper-cased; a file without one contributes nothing. Lines are
// never held whole, so a file without line breaks costs no more memory than any other.
class LineCopier {
 public:
  LineCopier(TextFileWriter& out, bool afterDataLine) : out_(out), copying_(!afterDataLine) {}

  // False when the host asked to stop; it is asked once a chunk.
  bool Copy(ByteStream& in, const IConvertHost& host) {
    const std::unique_ptr<char[]> chunk(new char[kChunkSize]);
    for (;;) {
      if (host.CancelRequested()) return false;
      const size_t got = in.Read(chunk.get(), kChunkSize);
      if (got == 0) break;
      const char* p = chunk.get();
      bool clean = true;
      for (size_t i = 0; i < got;) {
        // Our own outputs are whole CR LF lines: those runs go across as they are, with no
        // work per line. Anything else takes the line by line path for the rest of the chunk.
        if (clean && copying_ && !dropping_ && !lineStarted_) {
          const size_t end = EndOfCrLfLines(p, i, got);
          if (end > i) {
            Text(p + i, end - i);
            i = end;
            continue;
          }
          clean = false;
        }
        i = Step(p, got, i);
      }
    }
    if (lineStarted_) EndLine();
    return true;
  }

 private:
  static constexpr size_t kChunkSize = size_t{1} << 20;

  // The end of the last CR LF in p[i, n) when every CR there is followed by an LF and every
  // LF preceded by a CR; otherwise i. The loop has no branch, so it runs at memory speed.
  static size_t EndOfCrLfLines(const char* p, size_t i, size_t n) {
    size_t end = n;
    while (end > i && p[end - 1] != '\n') --end;
    if (end < i + 2 || p[end - 2] != '\r' || p[i] == '\n') return i;
    unsigned bad = 0;
    for (size_t k = i; k + 1 < end; ++k) bad |= (p[k] == '\r') ^ (p[k + 1] == '\n');
    return bad ? i : end;
  }

  // Consumes bytes from `i`, returns where it stopped.
  size_t Step(const char* p, size_t n, size_t i) {
    if (dropping_) {
      const void* lf = std::memchr(p + i, '\n', n - i);
      if (!lf) return n;
      dropping_ = false;
      EndLine();
      return static_cast<size_t>(static_cast<const char*>(lf) - p) + 1;
    }
    size_t j = i;
    while (j < n && p[j] != '\r' && p[j] != '\n') ++j;
    if (j > i) {
      lineStarted_ = true;
      Text(p + i, j - i);
    }
    if (j == n) return n;
    lineStarted_ = true;
    if (p[j] == '\n') {
      EndLine();
    } else {
      dropping_ = true;
    }
    return j + 1;
  }

  void Text(const char* p, size_t n) {
    if (copying_) {
      while (n > 0) {
        const size_t take = std::min<size_t>(n, TextFileWriter::kBufferSize);
        char* dst = out_.Reserve(take);
        std::memcpy(dst, p, take);
        out_.Commit(dst + take);
        p += take;
        n -= take;
      }
    } else if (probe_.size() < kProbeMax) {
      probe_.append(p, std::min(n, kProbeMax - probe_.size()));
    }
  }

  void EndLine() {
    if (copying_) {
      char* dst = out_.Reserve(2);
      dst[0] = '\r';
      dst[1] = '\n';
      out_.Commit(dst + 2);
    } else {
      if (probe_.size() < kProbeMax && SameTextAscii(TrimBlanksView(probe_), "DATA")) {
        copying_ = true;
      }
      probe_.clear();
    }
    lineStarted_ = false;
  }

  // A data line is "DATA" with blanks around it; longer text cannot be one.
  static constexpr size_t kProbeMax = 256;
  TextFileWriter& out_;
  bool copying_;
  bool dropping_ = false;
  bool lineStarted_ = false;
  std::string probe_;
};

// A combined file is as large as all its parts: the system's copying of one buffer overlaps
// the reading and checking of the next.
void CreateCombined(TextFileWriter& out, const std::string& path) {
  out.SetBackgroundWrites(true);
  out.Create(path);
}

bool AppendFile(const std::string& path, TextFileWriter& out, bool afterDataLine,
                const IConvertHost& host) {
  ByteStream in(path);
  return LineCopier(out, afterDataLine).Copy(in, host);
}

}  // namespace

std::string WhyBatchCannotCombine(const std::vector<TBatchRow>& rows) {
  if (rows.size() < 2) return "統合するには 2 行以上が必要です。";
  try {
    const int first = BatchRowIndex(rows[0]);
    for (size_t i = 0; i < rows.size(); ++i) {
      if (BatchRowIndex(rows[i]) != first) {
        return std::to_string(i + 1) + " 行目の座標系が 1 行目と異なります。";
      }
    }
    TSFColumns firstColumns;
    // A source named again has the table already looked at: a long list over few sources
    // opens each table once.
    std::unordered_set<std::string> checked;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (!checked.insert(rows[i].SourcePath).second) continue;
      const std::string rowName = std::to_string(i + 1) + " 行目";
      TSFColumns columns;
      std::string why;
      if (!ReadRowColumns(rows[i], rowName, columns, why)) return why;
      if (i == 0) {
        firstColumns = std::move(columns);
      } else if (!SameColumns(columns, firstColumns)) {
        return rowName + "の属性定義が 1 行目と異なります。";
      }
    }
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

bool CanCombineBatch(const std::vector<TBatchRow>& rows) {
  return WhyBatchCannotCombine(rows).empty();
}

bool CombinedNamesAreSafe(const std::vector<TBatchRow>& rows, const std::string& combinedMif) {
  const std::string combinedMid = MidPathOf(combinedMif);
  if (SameFile(combinedMif, combinedMid)) return false;
  if (OutputWouldReplaceCompanion(combinedMif) || OutputWouldReplaceCompanion(combinedMid)) {
    return false;
  }
  // One look at the disk per file, so that a list of a million rows is checked in seconds.
  const FileIdentity mif = IdentityOf(combinedMif);
  const FileIdentity mid = IdentityOf(combinedMid);
  FolderIdentities folders;
  for (const TBatchRow& row : rows) {
    for (const std::string& f : BatchRowFiles(row)) {
      const FileIdentity id = IdentityOf(f, folders);
      if (id == mif || id == mid) return false;
    }
  }
  return true;
}

bool CombineBatchOutputs(const std::vector<TBatchRow>& rows, const std::string& combinedMif,
                         IConvertHost& host) {
  // Both files are written before either is renamed; a writer dropped on the way (a
  // cancellation, an error) removes its temporary.
  TextFileWriter mif;
  TextFileWriter mid;
  host.SetStatusText(kCombiningMifText);
  CreateCombined(mif, combinedMif);
  bool first = true;
  for (size_t i = 0; i < rows.size(); ++i) {
    ShowRowWorkedOn(host, static_cast<int>(i));
    if (rows[i].Mark != TBatchMark::Converted || !RegularFileExists(rows[i].TargetPath)) continue;
    if (!AppendFile(rows[i].TargetPath, mif, !first, host)) return false;
    first = false;
  }
  host.SetStatusText(kCombiningMidText);
  CreateCombined(mid, MidPathOf(combinedMif));
  for (size_t i = 0; i < rows.size(); ++i) {
    ShowRowWorkedOn(host, static_cast<int>(i));
    const std::string part = MidPathOf(rows[i].TargetPath);
    if (rows[i].Mark != TBatchMark::Converted || !RegularFileExists(part)) continue;
    if (!AppendFile(part, mid, false, host)) return false;
  }
  PublishPair(mif, mid);
  return true;
}

}  // namespace plexor
