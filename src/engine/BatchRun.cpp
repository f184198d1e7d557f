#include "engine/BatchRun.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "engine/BatchCombine.h"
#include "engine/ShpToMif.h"
#include "support/ByteStrings.h"
#include "support/FileHandle.h"

namespace plexor {
namespace {

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
  void BatchRowMarked(int index, TBatchMark mark, const std::string& reason) override {
    std::lock_guard lock(mutex_);
    inner_.BatchRowMarked(index, mark, reason);
  }
  void ConversionStarted(const std::string& source) override {
    {
      std::lock_guard lock(mutex_);
      inner_.ConversionStarted(source);
    }
    if (onStarted_) onStarted_();
  }
  // Called on the converting thread once a conversion has opened all its files.
  void OnConversionStarted(std::function<void()> hook) { onStarted_ = std::move(hook); }
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
  std::function<void()> onStarted_;
};

void ConvertRowsInOrder(std::vector<TBatchRow>& rows, IConvertHost& host) {
  const size_t count = rows.size();
  for (size_t i = 0; i < count && !host.CancelRequested(); ++i) {
    ShowRowWorkedOn(host, static_cast<int>(i));
    TConvertSummary summary;
    const bool ok = ConvertShpToMif(BatchRowIndex(rows[i]), rows[i].SourcePath, rows[i].TargetPath,
                                    host, &summary);
    // A row stopped by the user was not converted, nor did it fail.
    if (!ok && host.CancelRequested()) break;
    rows[i].Mark = ok ? TBatchMark::Converted : TBatchMark::Failed;
    rows[i].Reason = summary.FailureReason;
    host.BatchRowMarked(static_cast<int>(i), rows[i].Mark, rows[i].Reason);
  }
}

// When a row of a parallel run may start: once the rows it names are done, and every row
// before `Prefix`.
struct TRowWait {
  std::array<int64_t, 4> Rows{-1, -1, -1, -1};
  int64_t Prefix = 0;
};

// Rows that share a file must run in list order where one of them writes it, so a parallel
// run gives the very files a sequential one gives; rows that only read a file (one source
// for many rows) run at once. Files are grouped by what they are on disk (FileIdentity), so
// links, bind mounts and spellings of one file are seen, in time proportional to the rows.
// A row waits for the last earlier row that wrote each of its files, and a row that writes
// a file waits for every earlier row that read it since; those waited in turn, so whatever
// reached a shared file through rows in between is on disk by then.
class BatchPlan {
 public:
  // False when the host asked to stop, or when two rows write one target from different
  // sources (`clash` says which).
  bool Make(const std::vector<TBatchRow>& rows, IConvertHost& host, std::string& clash) {
    waits_.assign(rows.size(), TRowWait{});
    for (size_t i = 0; i < rows.size(); ++i) {
      if (i % 4096 == 0 && host.CancelRequested()) return false;
      std::array<std::string, 4> paths;
      std::array<uint64_t, 4> keys;
      InputKeys(rows[i].SourcePath, keys);
      paths[2] = rows[i].TargetPath;
      paths[3] = MidPathOf(rows[i].TargetPath);
      for (size_t f = 2; f < 4; ++f) keys[f] = KeyOf(IdentityOf(paths[f], folders_));
      const auto row = static_cast<int64_t>(i);
      TRowWait& wait = waits_[i];
      // What this row waits for comes from the rows before it, before it counts itself.
      for (size_t f = 0; f < 4; ++f) {
        const auto it = files_.find(keys[f]);
        if (it == files_.end()) continue;
        const FileUse& use = it->second;
        if (use.Writer >= 0) wait.Rows[f] = use.Writer;
        if (f >= 2 && use.LastReader >= 0) wait.Prefix = std::max(wait.Prefix, use.LastReader + 1);
        if (f >= 2 && use.Writer >= 0 && use.Source != keys[0] &&
            WriteOneFileFromTwoSources(rows[static_cast<size_t>(use.Writer)], rows[i], paths[f])) {
          clash = std::to_string(use.Writer + 1) + " 行目と " + std::to_string(i + 1) +
                  " 行目は別の変換元を同じ " + NativeToUtf8(paths[f]) + " に出力します。";
          return false;
        }
      }
      for (size_t f = 0; f < 4; ++f) {
        FileUse& use = files_[keys[f]];
        if (f < 2) {
          use.LastReader = row;
        } else {
          use.Writer = row;
          use.LastReader = -1;
          use.Source = keys[0];
        }
      }
    }
    return true;
  }

  std::vector<TRowWait> TakeWaits() { return std::move(waits_); }

 private:
  // A file is known by a hash of its identity: a million rows cost tens of bytes each. Two
  // files whose hashes meet only make one row wait for another; a clash is confirmed on the
  // identities themselves before anything is refused.
  struct FileUse {
    int64_t Writer = -1;      // the last row that writes the file
    int64_t LastReader = -1;  // the last row that read it since
    uint64_t Source = 0;      // what the writer converted
  };

  static uint64_t KeyOf(const FileIdentity& id) {
    uint64_t h = 0xcbf29ce484222325ULL;
    auto mix = [&h](uint64_t v) {
      for (int b = 0; b < 8; ++b, v >>= 8) h = (h ^ (v & 0xFF)) * 0x100000001b3ULL;
    };
    mix(id.Device);
    mix(id.Node);
    for (unsigned char c : id.Rest) h = (h ^ c) * 0x100000001b3ULL;
    return h;
  }

  // A list often names one source on many rows: its two files are looked up once.
  void InputKeys(const std::string& source, std::array<uint64_t, 4>& keys) {
    auto it = inputs_.find(source);
    if (it == inputs_.end()) {
      if (inputs_.size() >= 65536) inputs_.clear();
      const uint64_t shp = KeyOf(IdentityOf(source, folders_));
      const uint64_t dbf = KeyOf(IdentityOf(AttributePathOf(source), folders_));
      it = inputs_.emplace(source, std::make_pair(shp, dbf)).first;
    }
    keys[0] = it->second.first;
    keys[1] = it->second.second;
  }

  static bool WriteOneFileFromTwoSources(const TBatchRow& earlier, const TBatchRow& later,
                                         const std::string& file) {
    if (IdentityOf(earlier.SourcePath) == IdentityOf(later.SourcePath)) return false;
    const std::array<std::string, 4> files = BatchRowFiles(earlier);
    const FileIdentity target = IdentityOf(file);
    return IdentityOf(files[2]) == target || IdentityOf(files[3]) == target;
  }

  FolderIdentities folders_;
  std::unordered_map<uint64_t, FileUse> files_;
  std::unordered_map<std::string, std::pair<uint64_t, uint64_t>> inputs_;
  std::vector<TRowWait> waits_;
};

// Rows converted by several threads at once. Each thread takes the next row in list order
// and waits until the earlier rows sharing a file with it are done; the outcome of every row
// is kept aside and given to the rows, in list order, once all threads have ended.
class ParallelRun {
 public:
  ParallelRun(std::vector<TBatchRow>& rows, std::vector<TRowWait> waits, IConvertHost& host)
      : rows_(rows),
        host_(host),
        shared_(host),
        waits_(std::move(waits)),
        done_(rows.size(), 0),
        marks_(rows.size(), TBatchMark::None),
        reasons_(rows.size()),
        errors_(rows.size()),
        opened_(rows.size(), 0) {}

  void Run(int jobs) {
    shared_.OnConversionStarted([this] { Opened(currentRow); });
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t) threads.emplace_back([this] { Work(); });
    for (auto& t : threads) t.join();
    Publish();
  }

 private:
  void Work() {
    size_t i;
    while (TakeRow(i)) Convert(i);
  }

  // The next row once the rows it waits for are done; false when the work has ended.
  bool TakeRow(size_t& i) {
    std::unique_lock lock(mutex_);
    if (stop_ || next_ == rows_.size() || host_.CancelRequested()) return false;
    i = next_++;
    changed_.wait(lock, [&] { return stop_ || Ready(i); });
    // A row behind a failed one is not converted, as in a sequential run.
    if (stop_) {
      done_[i] = 1;
      AdvancePrefix();
      changed_.notify_all();
      return false;
    }
    return true;
  }

  // An error that ends the run comes from opening a row's files (a target that cannot be
  // made, a refused table); once a row's files are open it can only succeed or fail. A row
  // therefore starts only when every row before it is past that point, so no row after the
  // one that ends the run writes anything, as in a sequential run.
  void Opened(size_t i) {
    std::lock_guard lock(mutex_);
    opened_[i] = 1;
    AdvanceOpened();
    changed_.notify_all();
  }

  void AdvanceOpened() {
    while (openedPrefix_ < opened_.size() &&
           (opened_[openedPrefix_] != 0 || done_[openedPrefix_] != 0)) {
      ++openedPrefix_;
    }
  }

  bool Ready(size_t i) const {
    const TRowWait& wait = waits_[i];
    return openedPrefix_ >= i && donePrefix_ >= static_cast<size_t>(wait.Prefix) &&
           std::all_of(wait.Rows.begin(), wait.Rows.end(),
                       [&](int64_t j) { return j < 0 || done_[static_cast<size_t>(j)] != 0; });
  }

  // Under the lock, after a row is done.
  void AdvancePrefix() {
    while (donePrefix_ < done_.size() && done_[donePrefix_] != 0) ++donePrefix_;
    AdvanceOpened();
  }

  static thread_local size_t currentRow;

  void Convert(size_t i) {
    currentRow = i;
    TBatchMark mark = TBatchMark::None;
    std::string reason;
    std::exception_ptr error;
    try {
      TConvertSummary summary;
      const bool ok = ConvertShpToMif(BatchRowIndex(rows_[i]), rows_[i].SourcePath,
                                      rows_[i].TargetPath, shared_, &summary);
      if (ok || !host_.CancelRequested()) mark = ok ? TBatchMark::Converted : TBatchMark::Failed;
      reason = summary.FailureReason;
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(mutex_);
    marks_[i] = mark;
    reasons_[i] = reason;
    errors_[i] = error;
    done_[i] = 1;
    AdvancePrefix();
    if (error) stop_ = true;
    changed_.notify_all();
  }

  // As in a sequential run: the rows up to the first error keep their marks, the error ends
  // the run, and the rows after it are reported unconverted.
  void Publish() {
    for (size_t i = 0; i < rows_.size(); ++i) {
      if (errors_[i]) {
        for (size_t k = i; k < rows_.size(); ++k) rows_[k].Mark = TBatchMark::None;
        std::rethrow_exception(errors_[i]);
      }
      rows_[i].Mark = marks_[i];
      rows_[i].Reason = reasons_[i];
      if (done_[i]) host_.BatchRowMarked(static_cast<int>(i), rows_[i].Mark, rows_[i].Reason);
    }
  }

  std::vector<TBatchRow>& rows_;
  IConvertHost& host_;
  SerializedHost shared_;
  const std::vector<TRowWait> waits_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<char> done_;
  std::vector<TBatchMark> marks_;
  std::vector<std::string> reasons_;
  std::vector<std::exception_ptr> errors_;
  size_t next_ = 0;
  size_t donePrefix_ = 0;     // rows 0 .. donePrefix_-1 are all done
  std::vector<char> opened_;  // the row's files are open: it can no longer end the run
  size_t openedPrefix_ = 0;   // rows 0 .. openedPrefix_-1 are all open or done
  bool stop_ = false;
};

thread_local size_t ParallelRun::currentRow = 0;

void ConvertRowsInParallel(std::vector<TBatchRow>& rows, std::vector<TRowWait> waits, int jobs,
                           IConvertHost& host) {
  for (const TBatchRow& row : rows) BatchRowIndex(row);  // a bad index ends the run up front
  ParallelRun(rows, std::move(waits), host).Run(jobs);
}

}  // namespace

bool CombineNameIsValid(const std::vector<TBatchRow>& rows, const TBatchRunOptions& options) {
  return !options.Combine || (!TrimBlanks(options.CombineName).empty() &&
                              CombinedNamesAreSafe(rows, options.CombineName));
}

bool RunBatch(std::vector<TBatchRow>& rows, const TBatchRunOptions& options, IConvertHost& host) {
  if (rows.empty()) {
    host.ShowMessage(MessageKind::Warning, kNoBatchListText);
    return false;
  }
  if (!CombineNameIsValid(rows, options)) {
    host.ShowMessage(MessageKind::Warning, kInvalidCombineNameText);
    return false;
  }

  host.SetWaitCursor(true);
  for (size_t i = 0; i < rows.size(); ++i) {
    rows[i].Mark = TBatchMark::None;
    host.BatchRowMarked(static_cast<int>(i), TBatchMark::None, {});
  }
  // Two rows that write one pair from different sources would leave only the last; such a
  // list is a mistake, found before anything runs.
  BatchPlan plan;
  std::string clash;
  if (!plan.Make(rows, host, clash)) {
    host.SetWaitCursor(false);
    if (!clash.empty()) host.ShowMessage(MessageKind::Warning, clash);
    return false;
  }
  std::exception_ptr error;
  try {
    if (options.Jobs > 1 && rows.size() > 1) {
      ConvertRowsInParallel(rows, plan.TakeWaits(), options.Jobs, host);
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
