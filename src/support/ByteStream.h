// A buffered, read-only byte stream over a file or a zip member, with 64-bit size and position.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "support/Exceptions.h"
#include "support/InputFile.h"

namespace plexor {

class ByteStream {
 public:
  static constexpr size_t kBufferSize = 1 << 20;

  // Opens the file (or the member, see InputFile) for reading; EFOpenError names the file and
  // the reason.
  explicit ByteStream(const std::string& path);

  const std::string& FileName() const { return path_; }
  int64_t Size() const { return size_; }
  int64_t Position() const { return bufferStart_ + static_cast<int64_t>(cursor_); }
  int64_t Remaining() const { return size_ - Position(); }
  void Seek(int64_t position);

  // Exact read: fewer than n bytes left raises EReadError "ストリームからの読み込みエラー"
  // and consumes nothing.
  void ReadBuffer(void* destination, size_t n) {
    if (n <= filled_ - cursor_) {
      // An empty read may come with the null data() of an empty vector, which memcpy must
      // not be handed even for zero bytes.
      if (n != 0) std::memcpy(destination, buffer_.get() + cursor_, n);
      cursor_ += n;
      return;
    }
    ReadBufferSlow(destination, n);
  }
  // Plain read: takes what is there and returns the count.
  size_t Read(void* destination, size_t n);
  // A member skipped to its end by Seek is inflated through, for its CRC (EArchiveError).
  void ReadToEnd() { file_.ReadToEnd(); }

 private:
  void ReadBufferSlow(void* destination, size_t n);
  void Fill();

  std::string path_;
  InputFile file_;
  int64_t size_ = 0;
  std::unique_ptr<char[]> buffer_;
  int64_t bufferStart_ = 0;  // file position of buffer_[0]
  size_t filled_ = 0;        // valid bytes in buffer_
  size_t cursor_ = 0;        // next byte to hand out
};

}  // namespace plexor
