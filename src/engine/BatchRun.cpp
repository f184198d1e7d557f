#include "engine/BatchRun.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

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

// Rows that share a file (an input or an output) must run in list order, so a parallel run
// gives the very files a sequential one gives: a row waits for every earlier row it shares
// a file with. Those rows waited for theirs in turn, so whatever reached a shared file
// through rows in between is on disk by then.
std::vector<std::vector<size_t>> EarlierRowsSharingAFile(const std::vector<TBatchRow>& rows) {
  std::vector<std::array<std::string, 4>> files;
  for (const TBatchRow& row : rows) files.push_back(BatchRowFiles(row));
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

// Rows converted by several threads at once. Each thread takes the next row in list order
// and waits until the earlier rows sharing a file with it are done; the outcome of every row
// is kept aside and given to the rows, in list order, once all threads have ended.
class ParallelRun {
 public:
  ParallelRun(std::vector<TBatchRow>& rows, IConvertHost& host)
      : rows_(rows),
        host_(host),
        shared_(host),
        before_(EarlierRowsSharingAFile(rows)),
        done_(rows.size(), 0),
        marks_(rows.size(), TBatchMark::None),
        reasons_(rows.size()),
        errors_(rows.size()) {}

  void Run(int jobs) {
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
      changed_.notify_all();
      return false;
    }
    return true;
  }

  bool Ready(size_t i) const {
    return std::all_of(before_[i].begin(), before_[i].end(),
                       [&](size_t j) { return done_[j] != 0; });
  }

  void Convert(size_t i) {
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
  const std::vector<std::vector<size_t>> before_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<char> done_;
  std::vector<TBatchMark> marks_;
  std::vector<std::string> reasons_;
  std::vector<std::exception_ptr> errors_;
  size_t next_ = 0;
  bool stop_ = false;
};

void ConvertRowsInParallel(std::vector<TBatchRow>& rows, int jobs, IConvertHost& host) {
  for (const TBatchRow& row : rows) BatchRowIndex(row);  // a bad index ends the run up front
  ParallelRun(rows, host).Run(jobs);
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
