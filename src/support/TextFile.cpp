#include "support/TextFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/ByteStrings.h"
#include "support/Exceptions.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace plexor {
namespace {

// Several writers of one process may start at once (a parallel batch run).
std::atomic<unsigned> temporaryCounter{0};

// How often a fresh temporary name is tried before creating the file is given up.
constexpr unsigned kTemporaryAttempts = 16;

}  // namespace

std::string TemporaryPathFor(const std::string& target, unsigned attempt) {
  const auto ticks =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  const unsigned serial = temporaryCounter.fetch_add(1) + attempt;
  return GetFileDir(target) + "." + GetFileName(target) + "." +
         std::to_string(static_cast<long long>(getpid())) + "-" +
         std::to_string((ticks ^ (ticks >> 20)) % 1000000) + "-" + std::to_string(serial) +
         ".plexor-tmp";
}

// One buffer at a time is written here, in the order handed over, so the file comes out as
// the sequential writer would make it.
struct TextFileWriter::Background {
  explicit Background(FileHandle& file, bool hintWriteback)
      : file_(file), hint_(hintWriteback), thread_([this] { Run(); }) {}
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
      // The disk starts on this part now, so the sync at the end has little left to do.
      if (ok && hint_) file_.StartWriteback(written_, static_cast<int64_t>(size));
      written_ += static_cast<int64_t>(size);
      lock.lock();
      if (!ok && error_ == 0) error_ = file_.LastErrno();
      busy_ = false;
      changed_.notify_all();
    }
  }

  FileHandle& file_;
  const bool hint_;
  std::mutex mutex_;
  std::condition_variable changed_;
  const char* data_ = nullptr;
  size_t size_ = 0;
  int64_t written_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  int error_ = 0;
  std::thread thread_;  // last: starts once everything it uses is in place
};

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
    for (unsigned attempt = 0; attempt < kTemporaryAttempts && !created; ++attempt) {
      writingPath_ = TemporaryPathFor(finalPath_, attempt);
      created = file_.CreateNew(writingPath_);
      if (!created && !file_.LastFailureWasExisting()) break;
    }
  }
  if (!created) {
    writingPath_.clear();
    throw EFCreateError(FileCreateErrorText(path, file_.LastError()));
  }
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
  used_ = 0;
  finished_ = false;
  if (background_) {
    if (!spare_) spare_ = std::make_unique<char[]>(kBufferSize);
    worker_ = std::make_unique<Background>(file_, temporary_);
  }
}

void TextFileWriter::RaiseWriteError(int err) {
  // The buffered bytes are lost either way; drop them so that later calls do not repeat
  // the failure.
  used_ = 0;
  throw EInOutError(FileWriteErrorText(path_, SystemErrorText(err)));
}

void TextFileWriter::Flush() {
  if (!file_.IsOpen()) RaiseWriteError(EBADF);
  if (used_ == 0) return;
  if (worker_) {
    WaitForBackground();
    worker_->Write(buffer_.get(), used_);
    std::swap(buffer_, spare_);
    used_ = 0;
    return;
  }
  if (!file_.Write(buffer_.get(), used_)) RaiseWriteError(file_.LastErrno());
  used_ = 0;
}

void TextFileWriter::WriteLongLine(std::string_view text) {
  Flush();
  WaitForBackground();
  if (!file_.Write(text.data(), text.size()) || !file_.Write("\r\n", 2)) {
    RaiseWriteError(file_.LastErrno());
  }
}

void TextFileWriter::Finish() {
  if (!file_.IsOpen()) return;
  if (worker_) {
    try {
      WaitForBackground();
    } catch (...) {
      Discard();
      throw;
    }
    StopBackground();
  }
  const bool written = used_ == 0 || file_.Write(buffer_.get(), used_);
  used_ = 0;
  // A device cannot be synced in any useful sense; a file must be on the disk before its
  // name is given to it.
  const bool synced = written && (!temporary_ || file_.Sync());
  const int err = file_.LastErrno();
  const bool closed = file_.Close();
  if (!written || !synced || !closed) {
    const int reason = !written || !synced ? err : file_.LastErrno();
    Discard();
    RaiseWriteError(reason);
  }
  finished_ = true;
}

void TextFileWriter::Publish() {
  if (!finished_) return;
  finished_ = false;
  if (!temporary_) return;
  int err = 0;
  if (!RenameOver(writingPath_, finalPath_, err)) {
    RemoveFile(writingPath_);
    writingPath_.clear();
    RaiseWriteError(err);
  }
  writingPath_.clear();
}

void PublishPair(TextFileWriter& first, TextFileWriter& second) {
  first.Finish();
  second.Finish();
  first.Publish();
  second.Publish();
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
