// Text files written line by line with CR LF after every line, through a large buffer.
// A failed write raises EInOutError at the line that triggered it; Close flushes and checks.
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

  TextFileWriter() = default;
  ~TextFileWriter();  // closes without raising; call Close() to learn of a failure
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;

  // Creates the file anew (an existing one is emptied); EFCreateError names the reason.
  void Create(const std::string& path);
  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& FileName() const { return path_; }

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
    if (kBufferSize - used_ < n || !file_.IsOpen()) Flush();
    return buffer_.get() + used_;
  }
  void Commit(char* end) { used_ = static_cast<size_t>(end - buffer_.get()); }

  // Writes what is buffered to the file; raises EInOutError on failure.
  void Flush();
  // Flushes and closes; raises EInOutError when either fails. Closing a closed file does
  // nothing.
  void Close();

 private:
  [[noreturn]] void RaiseWriteError(int err);
  void WriteLongLine(std::string_view text);

  std::string path_;
  FileHandle file_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};

}  // namespace plexor
