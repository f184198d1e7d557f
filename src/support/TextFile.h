// Text files written line by line with CR LF after every line, through a large buffer.
// A failed write raises EInOutError at the line that triggered it.
//
// A file appears whole or not at all: it is written under a temporary name beside its
// target and renamed over the target only by Close (or Publish), after everything was
// written and synced; the folder is synced after the rename. Until then an earlier file of
// that name stays as it was, and a writer destroyed without Close removes its temporary,
// whatever ended the work. A run killed outright leaves its temporary, which the next writer
// into that folder removes (see OutputFolder.h).
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "support/FileHandle.h"

namespace plexor {

class TextFileWriter {
 public:
  static constexpr size_t kBufferSize = 1 << 20;
  // How far behind the newest write the disk must have caught up.
  static constexpr int64_t kSettleBehind = 8 << 20;

  TextFileWriter();
  ~TextFileWriter();  // discards an unpublished file without raising
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;

  // Starts the file; EFCreateError names the target and the reason. A target that is a
  // device or a FIFO (such as /dev/null) is written straight into: it cannot be replaced.
  void Create(const std::string& path);
  // From the next Create on, a full buffer is written by a thread of the writer's own while
  // the caller fills the next one, so formatting and the system's copying overlap. The file
  // is the same byte for byte; a failed write raises at the next Flush or at Finish.
  void SetBackgroundWrites(bool on) { background_ = on; }
  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& FileName() const { return path_; }
  // Where the bytes go until the file is published (the target itself for a device).
  const std::string& WritingPath() const { return writingPath_; }

  void WriteLine(std::string_view text) {
    if (text.size() > kBufferSize - 2) return WriteLongLine(text);
    char* p = Reserve(text.size() + 2);
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    p += text.size();
    *p++ = '\r';
    *p++ = '\n';
    Commit(p);
  }

  // The hot path formats straight into the buffer: Reserve returns room for at least n
  // bytes (n at most kBufferSize), Commit takes the end of what was written.
  char* Reserve(size_t n) {
    if (used_ + n > kBufferSize || !file_.IsOpen()) Flush();
    return buffer_.get() + used_;
  }
  void Commit(char* end) { used_ = static_cast<size_t>(end - buffer_.get()); }

  // Writes what is buffered to the file (or hands it to the background thread); raises
  // EInOutError on failure. Writing past the system's cache, less than a block may stay.
  void Flush();
  // Flushes and syncs the temporary; EInOutError when any of it fails (the temporary is
  // removed then). The target is not touched yet.
  void Finish();
  // Renames the finished temporary over the target and syncs the folder; EInOutError when
  // the system refuses, or when the target has become a link to another file since Create.
  void Publish();
  // Finish and Publish. Closing a closed file does nothing.
  void Close();
  // Drops everything written: closes and removes the temporary. Never raises.
  void Discard() noexcept;

 private:
  struct Background;

  friend void PublishPair(TextFileWriter& first, TextFileWriter& second);

  [[noreturn]] void RaiseWriteError(int err);
  [[noreturn]] void RaiseWriteError(const std::string& reason);
  // The target still names the file the writer was made for: a link planted or moved since
  // Create is refused, so what was checked is what gets replaced.
  void CheckTargetUnchanged();
  // The rename alone (no lock, no folder sync); false with the system's error number.
  bool RenameIntoPlace(int& err);
  void AfterWrite(size_t size);
  void WriteLongLine(std::string_view text);
  // Waits until the background thread has written what it was handed; raises its failure.
  void WaitForBackground();
  void StopBackground() noexcept;

  std::string path_;
  std::string writingPath_;
  std::string finalPath_;  // the target with links followed: the file that is replaced
  bool temporary_ = false;
  bool finished_ = false;
  FileHandle file_;
  // Aligned for writes past the cache, with a block more than kBufferSize for the part of a
  // block that stays behind after a Flush.
  struct AlignedDelete {
    void operator()(char* p) const noexcept;
  };
  using Buffer = std::unique_ptr<char[], AlignedDelete>;
  static Buffer NewBuffer();

  Buffer buffer_;
  size_t used_ = 0;
  int64_t written_ = 0;  // bytes handed to the system
  int64_t settled_ = 0;  // bytes known to be on the disk and dropped from the cache
  bool background_ = false;
  std::unique_ptr<Background> worker_;  // while a background write thread runs
  Buffer spare_;                        // filled while the other buffer is being written
};

// Finishes both files before either is renamed, so that a failure in writing one leaves the
// earlier pair as it was, and renames them as one step that survives a kill or a power cut
// (OutputFolder.h): never a new MIF beside an old MID. A failing second rename puts the
// earlier first file back.
void PublishPair(TextFileWriter& first, TextFileWriter& second);

// The name of a temporary beside `target`: hidden, unmistakably ours, unique to this process
// and attempt, and short enough for any legal target name.
std::string TemporaryPathFor(const std::string& target, unsigned attempt);

// For fault-injection tests: called at each step of publishing a pair; a hook that ends the
// process there shows what a kill at that instant leaves.
enum class TPublishStep { RecordWritten, FirstRenamed, SecondRenamed };
using TPublishHook = void (*)(TPublishStep);
void SetPublishHook(TPublishHook hook);

}  // namespace plexor
