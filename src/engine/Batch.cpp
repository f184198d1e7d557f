#include "engine/Batch.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "dbf/localDbf.h"
#include "engine/CoordSys.h"
#include "engine/ShpToMif.h"
#include "shp/uniShpUtils.h"
#include "support/ByteStream.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/QvCsv.h"
#include "support/TextFile.h"

namespace plexor {
namespace {

constexpr const char* kBatchMarker = "plexor";
constexpr const char* kBatchVersion = "200";
constexpr const char* kCombiningMifText = "MIFファイルを統合しています。";
constexpr const char* kCombiningMidText = "MIDファイルを統合しています。";

bool ParseInt32(std::string_view text, int32_t& value) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;  // from_chars takes only '-'
  if (first == last || *first == '+' || (first != text.data() && *first == '-')) return false;
  const auto r = std::from_chars(first, last, value);
  return r.ec == std::errc() && r.ptr == last;
}

// "-1", "0", "1.5": any number, zero meaning false; or True/False in any letter case.
bool ParseBoolean(const std::string& text, bool& value) {
  const std::string t = TrimBlanks(text);
  if (SameTextAscii(t, "true")) return value = true, true;
  if (SameTextAscii(t, "false")) return (value = false), true;
  double number = 0;
  const char* first = t.data();
  const char* last = first + t.size();
  if (first != last && *first == '+') ++first;
  if (first == last || *first == '+' || (first != t.data() && *first == '-')) return false;
  const auto r = std::from_chars(first, last, number, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != last || !std::isfinite(number)) return false;
  value = number != 0;
  return true;
}

// --- Combining -----------------------------------------------------------------------------

// Streams the lines of a text file into `out`, each ended by CR LF. A line's text ends at
// its first CR or LF and the line at the next LF, so whatever follows a lone CR is dropped.
// With `afterDataLine`, nothing is copied up to and including the first line that reads
// "DATA" once trimmed and upper-cased; a file without one contributes nothing. Lines are
// never held whole, so a file without line breaks costs no more memory than any other.
class LineCopier {
 public:
  LineCopier(TextFileWriter& out, bool afterDataLine) : out_(out), copying_(!afterDataLine) {}

  void Copy(ByteStream& in) {
    char chunk[64 * 1024];
    for (;;) {
      const size_t got = in.Read(chunk, sizeof chunk);
      if (got == 0) break;
      for (size_t i = 0; i < got;) i = Step(chunk, got, i);
    }
    if (lineStarted_) EndLine();
  }

 private:
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
        const size_t take = std::min<size_t>(n, 64 * 1024);
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
      if (probe_.size() < kProbeMax && UpperAscii(TrimBlanks(probe_)) == "DATA") copying_ = true;
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

void AppendFile(const std::string& path, TextFileWriter& out, bool afterDataLine) {
  ByteStream in(path);
  LineCopier(out, afterDataLine).Copy(in);
}

// Lets the window repaint and shows the row being worked on.
void ShowRow(IConvertHost& host, int index) {
  host.ProcessPendingEvents();
  host.SelectBatchRow(index);
  host.ProcessPendingEvents();
}

}  // namespace

void CombineBatchOutputs(const std::vector<TBatchRow>& rows, const std::string& combinedMif,
                         IConvertHost& host) {
  host.SetStatusText(kCombiningMifText);
  {
    TextFileWriter out;
    out.Create(combinedMif);
    bool first = true;
    for (size_t i = 0; i < rows.size(); ++i) {
      ShowRow(host, static_cast<int>(i));
      if (rows[i].Mark != 0 || !RegularFileExists(rows[i].TargetPath)) continue;
      AppendFile(rows[i].TargetPath, out, !first);
      first = false;
    }
    out.Close();
  }
  host.SetStatusText(kCombiningMidText);
  TextFileWriter out;
  out.Create(MidPathOf(combinedMif));
  for (size_t i = 0; i < rows.size(); ++i) {
    ShowRow(host, static_cast<int>(i));
    const std::string mid = MidPathOf(rows[i].TargetPath);
    if (rows[i].Mark != 0 || !RegularFileExists(mid)) continue;
    AppendFile(mid, out, false);
  }
  out.Close();
}

namespace {

// The combined files must not overwrite anything the run reads or writes.
bool CombinedNamesAreSafe(const std::vector<TBatchRow>& rows, const std::string& combinedMif) {
  const std::string combinedMid = MidPathOf(combinedMif);
  if (SameFile(combinedMif, combinedMid)) return false;
  if (IsShapefileCompanionPath(combinedMif) || IsShapefileCompanionPath(combinedMid)) return false;
  for (const TBatchRow& row : rows) {
    const std::string files[] = {row.SourcePath, AttributePathOf(row.SourcePath), row.TargetPath,
                                 MidPathOf(row.TargetPath)};
    for (const std::string& f : files) {
      if (SameFile(f, combinedMif) || SameFile(f, combinedMid)) return false;
    }
  }
  return true;
}

// --- Converting rows -----------------------------------------------------------------------

// Serialises a host for conversions running on several threads: every hook goes through.
class SerializedHost : public IConvertHost {
 public:
  explicit SerializedHost(IConvertHost& inner) : inner_(inner) {}
  void ShowMessage(MessageKind kind, const std::string& text) override {
    std::lock_guard lock(mutex_);
    inner_.ShowMessage(kind, text);
  }
  void SetStatusText(const std::string& text) override {
    std::lock_guard lock(mutex_);
    inner_.SetStatusText(text);
  }
  void ProcessPendingEvents() override {
    std::lock_guard lock(mutex_);
    inner_.ProcessPendingEvents();
  }
  RegionalSettings Regional() const override {
    std::lock_guard lock(mutex_);
    return inner_.Regional();
  }
  TConvertOptions Options() const override {
    std::lock_guard lock(mutex_);
    return inner_.Options();
  }
  void SetWaitCursor(bool on) override {
    std::lock_guard lock(mutex_);
    inner_.SetWaitCursor(on);
  }
  void SelectBatchRow(int index) override {
    std::lock_guard lock(mutex_);
    inner_.SelectBatchRow(index);
  }
  void BatchRowMarked(int index, int mark) override {
    std::lock_guard lock(mutex_);
    inner_.BatchRowMarked(index, mark);
  }
  void ConversionStarted(const std::string& source) override {
    std::lock_guard lock(mutex_);
    inner_.ConversionStarted(source);
  }
  // Asked at every record: the hosts answer from an atomic flag, so no lock is taken.
  bool CancelRequested() const override { return inner_.CancelRequested(); }
  void ConversionProgress(int64_t done, int64_t total) override {
    std::lock_guard lock(mutex_);
    inner_.ConversionProgress(done, total);
  }
  void ConversionFinished(const std::string& source, bool result,
                          const TConvertSummary& summary) override {
    std::lock_guard lock(mutex_);
    inner_.ConversionFinished(source, result, summary);
  }

 private:
  IConvertHost& inner_;
  mutable std::mutex mutex_;
};

void ConvertRowsInOrder(std::vector<TBatchRow>& rows, IConvertHost& host) {
  const size_t count = rows.size();
  for (size_t i = 0; i < count && !host.CancelRequested(); ++i) {
    ShowRow(host, static_cast<int>(i));
    TConvertSummary summary;
    const bool ok = ConvertShpToMif(BatchRowIndex(rows[i]), rows[i].SourcePath,
                                    rows[i].TargetPath, host, &summary);
    // A row stopped by the user was not converted, nor did it fail.
    if (!ok && host.CancelRequested()) break;
    rows[i].Mark = ok ? 0 : 1;
    rows[i].Reason = summary.FailureReason;
    host.BatchRowMarked(static_cast<int>(i), rows[i].Mark);
  }
}

// Rows that share a file (an input or an output) must run in list order, so a parallel run
// gives the very files a sequential one gives: a row waits for every earlier row it shares
// a file with. Those rows waited for theirs in turn, so whatever reached a shared file
// through rows in between is on disk by then.
std::vector<std::vector<size_t>> EarlierRowsSharingAFile(const std::vector<TBatchRow>& rows) {
  std::vector<std::vector<std::string>> files;
  for (const TBatchRow& row : rows) {
    files.push_back({row.SourcePath, AttributePathOf(row.SourcePath), row.TargetPath,
                     MidPathOf(row.TargetPath)});
  }
  auto share = [&](size_t i, size_t j) {
    for (const std::string& a : files[i]) {
      for (const std::string& b : files[j]) {
        if (SameFile(a, b)) return true;
      }
    }
    return false;
  };
  std::vector<std::vector<size_t>> before(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (share(i, j)) before[i].push_back(j);
    }
  }
  return before;
}

void ConvertRowsInParallel(std::vector<TBatchRow>& rows, int jobs, IConvertHost& host) {
  for (const TBatchRow& row : rows) BatchRowIndex(row);  // a bad index ends the run up front
  const std::vector<std::vector<size_t>> before = EarlierRowsSharingAFile(rows);
  SerializedHost shared(host);
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> done(rows.size(), 0);
  std::vector<int> marks(rows.size(), -1);
  std::vector<std::string> reasons(rows.size());
  std::vector<std::exception_ptr> errors(rows.size());
  size_t next = 0;
  bool stop = false;

  auto ready = [&](size_t i) {
    return std::all_of(before[i].begin(), before[i].end(), [&](size_t j) { return done[j] != 0; });
  };
  auto worker = [&] {
    for (;;) {
      size_t i;
      {
        std::unique_lock lock(mutex);
        if (stop || next == rows.size() || host.CancelRequested()) return;
        i = next++;
        changed.wait(lock, [&] { return stop || ready(i); });
        // A row behind a failed one is not converted, as in a sequential run.
        if (stop) {
          done[i] = 1;
          changed.notify_all();
          return;
        }
      }
      int mark = -1;
      std::string reason;
      std::exception_ptr error;
      try {
        TConvertSummary summary;
        const bool ok = ConvertShpToMif(BatchRowIndex(rows[i]), rows[i].SourcePath,
                                        rows[i].TargetPath, shared, &summary);
        if (ok || !host.CancelRequested()) mark = ok ? 0 : 1;
        reason = summary.FailureReason;
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard lock(mutex);
      marks[i] = mark;
      reasons[i] = reason;
      errors[i] = error;
      done[i] = 1;
      if (error) stop = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < jobs; ++t) threads.emplace_back(worker);
  for (auto& t : threads) t.join();

  // As in a sequential run: the rows up to the first error keep their marks, the error ends
  // the run, and the rows after it are reported unconverted.
  for (size_t i = 0; i < rows.size(); ++i) {
    if (errors[i]) {
      for (size_t k = i; k < rows.size(); ++k) rows[k].Mark = -1;
      std::rethrow_exception(errors[i]);
    }
    rows[i].Mark = marks[i];
    rows[i].Reason = reasons[i];
    if (done[i]) host.BatchRowMarked(static_cast<int>(i), rows[i].Mark);
  }
}

}  // namespace

TBatchRow MakeBatchRow(int index, const std::string& source, const std::string& target) {
  TBatchRow row;
  row.IndexText = std::to_string(index);
  row.DisplayText = GetCoordSysDisplayText(index);
  row.SourcePath = source;
  row.TargetPath = target;
  return row;
}

int BatchRowIndex(const TBatchRow& row) {
  int32_t value = 0;
  if (!ParseInt32(row.IndexText, value)) {
    throw EConvertError("'" + row.IndexText + "' は整数ではありません");
  }
  return value;
}

std::vector<std::string> ReadBatchLines(const std::string& path) {
  ByteStream in(path);
  std::vector<std::string> lines;
  std::string line;
  bool pendingLine = false;
  bool afterCr = false;
  char chunk[64 * 1024];
  for (;;) {
    const size_t got = in.Read(chunk, sizeof chunk);
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i) {
      const char c = chunk[i];
      if (c == '\0') {
        if (pendingLine) lines.push_back(line);
        return lines;
      }
      if (c == '\n' && afterCr) {
        afterCr = false;
        continue;
      }
      afterCr = c == '\r';
      if (c == '\r' || c == '\n') {
        lines.push_back(line);
        line.clear();
        pendingLine = false;
      } else {
        line.push_back(c);
        pendingLine = true;
      }
    }
  }
  if (pendingLine) lines.push_back(line);
  return lines;
}

namespace {

// A path written relative to the batch file, as people write them by hand, means the same
// wherever the batch is run from.
std::string ResolveAgainst(const std::string& baseDir, const std::string& path) {
  if (baseDir.empty() || TrimBlanks(path).empty() || IsAbsolutePath(path)) return path;
  return baseDir + path;
}

bool Refuse(std::string* why, std::string text) {
  if (why) *why = std::move(text);
  return false;
}

}  // namespace

bool ParseBatchLines(std::vector<std::string> lines, bool& combine, std::string& combineName,
                     std::vector<TBatchRow>& rows, const std::string& baseDir, std::string* why) {
  // Notepad starts a UTF-8 file with a byte order mark; an editor often ends it with blank
  // lines. Neither is part of the list.
  if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
  while (lines.size() > 4 && TrimBlanks(lines.back()).empty()) lines.pop_back();
  if (lines.size() < 4) return Refuse(why, "4 行に足りません (" + std::to_string(lines.size()) + " 行)");
  if (LowerAscii(TrimBlanks(lines[0])) != kBatchMarker) return Refuse(why, "1 行目が Plexor ではありません");
  if (LowerAscii(TrimBlanks(lines[1])) != kBatchVersion) return Refuse(why, "2 行目が 200 ではありません");
  bool flag = false;
  if (!ParseBoolean(lines[2], flag)) {
    throw EConvertError("3 行目: '" + lines[2] + "' は正しい論理型ではありません");
  }
  combine = flag;
  combineName = ResolveAgainst(baseDir, lines[3]);
  for (size_t i = 4; i < lines.size(); ++i) {
    try {
      TBatchRow row;
      row.IndexText = GetCsvField(lines[i], 1);
      row.SourcePath = ResolveAgainst(baseDir, GetCsvField(lines[i], 2));
      row.TargetPath = ResolveAgainst(baseDir, GetCsvField(lines[i], 3));
      const int index = BatchRowIndex(row);
      if (index < 0 || index >= kCoordSysCount) {
        throw EListError("リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
      }
      row.DisplayText = GetCoordSysDisplayText(index);
      rows.push_back(std::move(row));
    } catch (Exception& e) {
      e.SetMessage(std::to_string(i + 1) + " 行目: " + e.Message());
      throw;
    }
  }
  return true;
}

bool BatchRowsCanBeSaved(const std::vector<TBatchRow>& rows) {
  auto bad = [](const std::string& s) { return s.find_first_of("\"\r\n") != std::string::npos; };
  return std::none_of(rows.begin(), rows.end(), [&](const TBatchRow& r) {
    return bad(r.IndexText) || bad(r.SourcePath) || bad(r.TargetPath);
  });
}

std::string BuildBatchFileText(bool combine, const std::string& combineName,
                               const std::vector<TBatchRow>& rows) {
  std::string text = "Plexor\r\n200\r\n";
  text += combine ? "-1\r\n" : "0\r\n";
  text += combineName + "\r\n";
  for (const TBatchRow& row : rows) {
    text += '"' + row.IndexText + "\"\t\"" + row.SourcePath + "\"\t\"" + row.TargetPath + "\"\r\n";
  }
  return text;
}

void WriteBatchFile(const std::string& path, bool combine, const std::string& combineName,
                    const std::vector<TBatchRow>& rows) {
  const std::string text = BuildBatchFileText(combine, combineName, rows);
  TextFileWriter out;
  out.Create(path);
  size_t at = 0;
  while (at < text.size()) {
    const size_t take = std::min<size_t>(text.size() - at, 64 * 1024);
    char* dst = out.Reserve(take);
    std::memcpy(dst, text.data() + at, take);
    out.Commit(dst + take);
    at += take;
  }
  out.Close();
}

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
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::string row = std::to_string(i + 1) + " 行目";
      const std::string table = AttributePathOf(rows[i].SourcePath);
      if (!RegularFileExists(table)) return row + "の DBF ファイルがありません: " + NativeToUtf8(table);
      TSFColumns columns;
      try {
        TLocalDbf dbf;
        dbf.SetTableName(table);
        dbf.SetReadOnly(true);  // inputs are only ever read
        dbf.Open();
        ReadDbfColumns(dbf, columns);
      } catch (const std::exception& e) {
        // A table that is damaged or held by another program cannot be combined.
        return row + "の DBF ファイルを読めません: " + e.what();
      }
      if (i == 0) {
        firstColumns = std::move(columns);
        continue;
      }
      bool same = columns.size() == firstColumns.size();
      for (size_t k = 0; same && k < columns.size(); ++k) {
        // Widths may differ: a combined Char column takes the first file's width.
        same = columns[k].Name == firstColumns[k].Name &&
               columns[k].ColumnType == firstColumns[k].ColumnType;
      }
      if (!same) return row + "の属性定義が 1 行目と異なります。";
    }
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

bool CanCombineBatch(const std::vector<TBatchRow>& rows) { return WhyBatchCannotCombine(rows).empty(); }

bool RunBatch(std::vector<TBatchRow>& rows, const TBatchRunOptions& options, IConvertHost& host) {
  if (rows.empty()) {
    host.ShowMessage(MessageKind::Warning, kNoBatchListText);
    return false;
  }
  if (options.Combine && (TrimBlanks(options.CombineName).empty() ||
                          !CombinedNamesAreSafe(rows, options.CombineName))) {
    host.ShowMessage(MessageKind::Warning, kInvalidCombineNameText);
    return false;
  }

  host.SetWaitCursor(true);
  for (size_t i = 0; i < rows.size(); ++i) {
    rows[i].Mark = -1;
    host.BatchRowMarked(static_cast<int>(i), -1);
  }
  std::exception_ptr error;
  try {
    if (options.Jobs > 1 && rows.size() > 1) {
      ConvertRowsInParallel(rows, options.Jobs, host);
    } else {
      ConvertRowsInOrder(rows, host);
    }
    if (options.Combine && !host.CancelRequested()) {
      CombineBatchOutputs(rows, options.CombineName, host);
    }
  } catch (...) {
    error = std::current_exception();
  }
  host.SetWaitCursor(false);
  host.SetStatusText({});
  host.ShowMessage(MessageKind::Information, kBatchFinishedText);
  if (error) std::rethrow_exception(error);
  return true;
}

}  // namespace plexor
