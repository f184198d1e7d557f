#include "support/TextFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>

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
  const auto ticks = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  const unsigned serial = temporaryCounter.fetch_add(1) + attempt;
  return GetFileDir(target) + "." + GetFileName(target) + "." +
         std::to_string(static_cast<long long>(getpid())) + "-" +
         std::to_string((ticks ^ (ticks >> 20)) % 1000000) + "-" + std::to_string(serial) +
         ".plexor-tmp";
}

TextFileWriter::~TextFileWriter() { Discard(); }

void TextFileWriter::Create(const std::string& path) {
  if (file_.IsOpen() || finished_) Discard();
  path_ = path;
  finalPath_ = FollowLinks(path);
  temporary_ = !SpecialFileExists(finalPath_);
  bool created = false;
  if (!temporary_) {
    writingPath_ = finalPath_;
    created = file_.Create(writingPath_);
  } else {
    for (unsigned attempt = 0; attempt < kTemporaryAttempts && !created; ++attempt) {
      writingPath_ = TemporaryPathFor(finalPath_, attempt);
      created = file_.CreateNew(writingPath_);
      if (!created && file_.LastErrno() != EEXIST) break;
    }
  }
  if (!created) {
    writingPath_.clear();
    throw EFCreateError(FileCreateErrorText(path, file_.LastError()));
  }
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
  used_ = 0;
  finished_ = false;
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
  if (!file_.Write(buffer_.get(), used_)) RaiseWriteError(file_.LastErrno());
  used_ = 0;
}

void TextFileWriter::WriteLongLine(std::string_view text) {
  Flush();
  if (!file_.Write(text.data(), text.size()) || !file_.Write("\r\n", 2)) {
    RaiseWriteError(file_.LastErrno());
  }
}

void TextFileWriter::Finish() {
  if (!file_.IsOpen()) return;
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

void TextFileWriter::Close() {
  Finish();
  Publish();
}

void TextFileWriter::Discard() noexcept {
  used_ = 0;
  file_.Close();
  if (temporary_ && !writingPath_.empty()) RemoveFile(writingPath_);
  finished_ = false;
  writingPath_.clear();
}

}  // namespace plexor
