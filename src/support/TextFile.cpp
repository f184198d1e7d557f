#include "support/TextFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/OutputFolder.h"

namespace plexor {
namespace {

// Several writers of one process may start at once (a parallel batch run).
std::atomic<unsigned> temporaryCounter{0};

// How often a fresh temporary name is tried before creating the file is given up.
constexpr unsigned kTemporaryAttempts = 16;

constexpr const char* kTargetMovedReason = "書き込み中に出力先がリンクに変わりました";

std::atomic<TPublishHook> publishHook{nullptr};

void AtStep(TPublishStep step) {
  if (TPublishHook hook = publishHook.load()) hook(step);
}

// ".NAME.PID-STAMP-SERIAL" + tail: the process number lets the next run into the folder
// tell a dead writer's leftovers from a live one's.
std::string OwnedHiddenName(const std::string& target, unsigned attempt, const char* tail) {
  const auto ticks =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  const unsigned serial = temporaryCounter.fetch_add(1) + attempt;
  return HiddenNameFor(target, "." + std::to_string(static_cast<long long>(CurrentProcessId())) +
                                   "-" + std::to_string((ticks ^ (ticks >> 20)) % 1000000) + "-" +
                                   std::to_string(serial) + tail);
}

}  // namespace

std::string TemporaryPathFor(const std::string& target, unsigned attempt) {
  return OwnedHiddenName(target, attempt, kTemporaryTail);
}

void SetPublishHook(TPublishHook hook) {
  publishHook.store(hook);
}

// One buffer at a time is written here, in the order handed over, so the file comes out as
// the sequential writer would make it.
struct TextFileWriter::Background {
  Background(TextFileWriter& owner, FileHandle& file)
      : owner_(owner), file_(file), thread_([this] { Run(); }) {}
  ~Background() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // Hands a buffer over; the caller must not touch it until Idle() returns.
  void Write(const char* data, size_t size) {
    std::lock_guard lock(mutex_);
    data_ = data;
    size_ = size;
    busy_ = true;
    changed_.notify_all();
  }
  // Waits for the write in flight; returns the error number of the first failure, or 0.
  int Idle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    return error_;
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return busy_ || stop_; });
      if (!busy_) return;
      const char* data = data_;
      const size_t size = size_;
      lock.unlock();
      const bool ok = error_ != 0 || file_.Write(data, size);
      if (ok) owner_.AfterWrite(size);
      lock.lock();
      if (!ok && error_ == 0) error_ = file_.LastErrno();
      busy_ = false;
      changed_.notify_all();
    }
  }

  TextFileWriter& owner_;
  FileHandle& file_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const char* data_ = nullptr;
  size_t size_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  int error_ = 0;
  std::thread thread_;  // last: starts once everything it uses is in place
};

// The disk works while the conversion goes on: each part handed to the system is started on
// its way to the disk at once, so the sync before the rename has almost nothing left to do,
// and parts some way behind are waited for and dropped from the cache, so a conversion of
// gigabytes leaves the user's other files in memory. Only the one thread that writes at a
// time calls this.
void TextFileWriter::AfterWrite(size_t size) {
  const int64_t start = written_;
  written_ += static_cast<int64_t>(size);
  // Past the cache the bytes are with the disk already, and nothing stays to be dropped.
  if (!temporary_ || file_.Direct()) return;
  file_.StartWriteback(start, static_cast<int64_t>(size));
  const int64_t behind = written_ - kSettleBehind;
  if (behind - settled_ >= static_cast<int64_t>(kBufferSize)) {
    file_.SettleWritten(settled_, behind - settled_);
    settled_ = behind;
  }
}

void TextFileWriter::AlignedDelete::operator()(char* p) const noexcept {
  ::operator delete[](p, std::align_val_t{FileHandle::kDirectBlock});
}

TextFileWriter::Buffer TextFileWriter::NewBuffer() {
  return Buffer(static_cast<char*>(::operator new[](kBufferSize + FileHandle::kDirectBlock,
                                                    std::align_val_t{FileHandle::kDirectBlock})));
}

TextFileWriter::TextFileWriter() = default;
TextFileWriter::~TextFileWriter() {
  Discard();
}

void TextFileWriter::WaitForBackground() {
  if (!worker_) return;
  const int err = worker_->Idle();
  if (err != 0) RaiseWriteError(err);
}

void TextFileWriter::StopBackground() noexcept {
  worker_.reset();
}

void TextFileWriter::Create(const std::string& path) {
  if (file_.IsOpen() || finished_) Discard();
  path_ = path;
  finalPath_ = FollowLinks(path);
  // A folder cannot be replaced by a file: refused now, not at the rename, so that the other
  // file of a pair is never published alone.
  if (DirectoryExists(finalPath_)) {
    throw EFCreateError(FileCreateErrorText(path, SystemErrorText(EISDIR)));
  }
  temporary_ = !SpecialFileExists(finalPath_);
  bool created = false;
  if (!temporary_) {
    writingPath_ = finalPath_;
    created = file_.Create(writingPath_);
  } else {
    // What a killed run left in this folder is put right before anything new is added.
    RecoverOutputFolderOnce(GetFileDir(finalPath_));
    for (unsigned attempt = 0; attempt < kTemporaryAttempts && !created; ++attempt) {
      writingPath_ = TemporaryPathFor(finalPath_, attempt);
      created = file_.CreateNew(writingPath_);
      if (!created && !file_.LastFailureWasExisting()) break;
    }
    // Held until the file is published or dropped: a run into the same folder, even from
    // another machine, sees the temporary is in use and leaves it.
    if (created) file_.Lock(FileLock::Exclusive);
  }
  if (!created) {
    writingPath_.clear();
    throw EFCreateError(FileCreateErrorText(path, file_.LastError()));
  }
  if (!buffer_) buffer_ = NewBuffer();
  used_ = 0;
  written_ = 0;
  settled_ = 0;
  finished_ = false;
  if (background_) {
    if (!spare_) spare_ = NewBuffer();
    worker_ = std::make_unique<Background>(*this, file_);
    // A large file written behind the conversion goes past the cache where it can: the
    // copy into the cache and its upkeep would take a good part of a processor, and the disk
    // keeps up with the conversion on its own.
    if (temporary_) file_.SetDirect(true);
  }
}

void TextFileWriter::RaiseWriteError(int err) {
  RaiseWriteError(SystemErrorText(err));
}

void TextFileWriter::RaiseWriteError(const std::string& reason) {
  // The buffered bytes are lost either way; drop them so that later calls do not repeat
  // the failure.
  used_ = 0;
  throw EInOutError(FileWriteErrorText(path_, reason));
}

void TextFileWriter::Flush() {
  if (!file_.IsOpen()) RaiseWriteError(EBADF);
  if (used_ == 0) return;
  if (worker_) {
    WaitForBackground();
    // Past the cache only whole blocks go; the rest starts the next buffer.
    const size_t handed = file_.Direct() ? used_ - used_ % FileHandle::kDirectBlock : used_;
    if (handed == 0) return;
    worker_->Write(buffer_.get(), handed);
    std::swap(buffer_, spare_);
    used_ -= handed;
    if (used_ != 0) std::memcpy(buffer_.get(), spare_.get() + handed, used_);
    return;
  }
  if (!file_.Write(buffer_.get(), used_)) RaiseWriteError(file_.LastErrno());
  AfterWrite(used_);
  used_ = 0;
}

void TextFileWriter::WriteLongLine(std::string_view text) {
  // A line longer than a buffer is written as it stands, so through the cache from here on.
  WaitForBackground();
  file_.SetDirect(false);
  Flush();
  WaitForBackground();
  if (used_ != 0) RaiseWriteError(EINVAL);
  if (!file_.Write(text.data(), text.size()) || !file_.Write("\r\n", 2)) {
    RaiseWriteError(file_.LastErrno());
  }
  AfterWrite(text.size() + 2);
}

void TextFileWriter::Finish() {
  if (!file_.IsOpen() || finished_) return;
  if (worker_) {
    try {
      WaitForBackground();
    } catch (...) {
      Discard();
      throw;
    }
    StopBackground();
  }
  // The last part of a block goes through the cache.
  file_.SetDirect(false);
  const bool written = used_ == 0 || file_.Write(buffer_.get(), used_);
  used_ = 0;
  // A device cannot be synced in any useful sense; a file must be on the disk before its
  // name is given to it.
  const bool synced = written && (!temporary_ || file_.Sync());
  if (!written || !synced) {
    const int reason = file_.LastErrno();
    Discard();
    RaiseWriteError(reason);
  }
  if (!temporary_) {
    const bool closed = file_.Close();
    if (!closed) {
      const int reason = file_.LastErrno();
      Discard();
      RaiseWriteError(reason);
    }
  }
  finished_ = true;
}

void TextFileWriter::CheckTargetUnchanged() {
  if (temporary_ && FollowLinks(path_) != finalPath_) {
    Discard();
    RaiseWriteError(kTargetMovedReason);
  }
}

bool TextFileWriter::RenameIntoPlace(int& err) {
#ifdef _WIN32
  // Windows renames no file that is open; the folder's lock keeps other runs away meanwhile.
  file_.Close();
#endif
  if (!RenameOver(writingPath_, finalPath_, err)) return false;
  // Synced already: nothing is left for closing to report.
  file_.Close();
  writingPath_.clear();
  finished_ = false;
  return true;
}

void TextFileWriter::Publish() {
  if (!finished_) return;
  if (!temporary_) {
    finished_ = false;
    return;
  }
  const std::string dir = GetFileDir(finalPath_);
  FolderLock lock(dir);
  CheckTargetUnchanged();
  int err = 0;
  if (!RenameIntoPlace(err)) {
    Discard();
    RaiseWriteError(err);
  }
  if (!SyncDirectory(dir)) RaiseWriteError(EIO);
}

void PublishPair(TextFileWriter& first, TextFileWriter& second) {
  first.Finish();
  second.Finish();
  if (!first.temporary_ || !second.temporary_) {
    // A device takes its bytes as they come: there is no pair to make whole.
    first.Publish();
    second.Publish();
    return;
  }
  const std::string dir = GetFileDir(first.finalPath_);
  const std::string secondDir = GetFileDir(second.finalPath_);
  FolderLock lock(dir);
  first.CheckTargetUnchanged();
  second.CheckTargetUnchanged();
  // The earlier first file keeps a second name until the pair is in place, so a refused
  // second rename can put it back.
  TPairRecord record{
      first.writingPath_, first.finalPath_, second.writingPath_, second.finalPath_, {}};
  if (RegularFileExists(first.finalPath_)) {
    record.Backup = OwnedHiddenName(first.finalPath_, 0, kBackupTail);
    if (!MakeHardLink(first.finalPath_, record.Backup)) record.Backup.clear();
  }
  const std::string recordPath = PairRecordPathFor(first.finalPath_);
  std::string why;
  auto dropAll = [&] {
    first.Discard();
    second.Discard();
    if (!record.Backup.empty()) RemoveFile(record.Backup);
  };
  if (!WritePairRecord(recordPath, record, why)) {
    dropAll();
    throw EInOutError(FileWriteErrorText(recordPath, why));
  }
  AtStep(TPublishStep::RecordWritten);
  int err = 0;
  if (!first.RenameIntoPlace(err)) {
    RemoveFile(recordPath);
    dropAll();
    first.RaiseWriteError(err);
  }
  AtStep(TPublishStep::FirstRenamed);
  if (!second.RenameIntoPlace(err)) {
    // Back to the earlier pair: the earlier first file, or none if there was none.
    int ignored = 0;
    if (!record.Backup.empty()) {
      RenameOver(record.Backup, first.finalPath_, ignored);
    } else {
      RemoveFile(first.finalPath_);
    }
    SyncDirectory(dir);
    RemoveFile(recordPath);
    second.Discard();
    second.RaiseWriteError(err);
  }
  const bool synced = SyncDirectory(dir) && (secondDir == dir || SyncDirectory(secondDir));
  AtStep(TPublishStep::SecondRenamed);
  if (!record.Backup.empty()) RemoveFile(record.Backup);
  RemoveFile(recordPath);
  if (!synced) second.RaiseWriteError(EIO);
}

void TextFileWriter::Close() {
  Finish();
  Publish();
}

void TextFileWriter::Discard() noexcept {
  StopBackground();  // the thread may still hold the file
  used_ = 0;
  file_.Close();
  if (temporary_ && !writingPath_.empty()) RemoveFile(writingPath_);
  finished_ = false;
  writingPath_.clear();
}

}  // namespace plexor
