#include "support/ByteStream.h"

#include <algorithm>

namespace plexor {

ByteStream::ByteStream(const std::string& path) : path_(path) {
  if (!file_.OpenRead(path)) throw EFOpenError(FileOpenErrorText(path, file_.LastError()));
  size_ = file_.Size();
  if (size_ < 0) throw EFOpenError(FileOpenErrorText(path, file_.LastError()));
  buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
}

void ByteStream::Seek(int64_t position) {
  if (position < 0) position = 0;
  if (position >= bufferStart_ && position <= bufferStart_ + static_cast<int64_t>(filled_)) {
    cursor_ = static_cast<size_t>(position - bufferStart_);
    return;
  }
  bufferStart_ = position;
  filled_ = 0;
  cursor_ = 0;
}

void ByteStream::Fill() {
  // Keep the unread tail, then top the buffer up from the file.
  const size_t tail = filled_ - cursor_;
  std::memmove(buffer_.get(), buffer_.get() + cursor_, tail);
  bufferStart_ += static_cast<int64_t>(cursor_);
  cursor_ = 0;
  filled_ = tail;
  const int64_t at = bufferStart_ + static_cast<int64_t>(filled_);
  const int64_t got = file_.ReadAt(at, buffer_.get() + filled_, kBufferSize - filled_);
  if (got < 0) throw EReadError(kReadErrorText);
  filled_ += static_cast<size_t>(got);
}

void ByteStream::ReadBufferSlow(void* destination, size_t n) {
  if (static_cast<uint64_t>(Remaining() < 0 ? 0 : Remaining()) < n)
    throw EReadError(kReadErrorText);
  auto* out = static_cast<char*>(destination);
  size_t done = 0;
  while (done < n) {
    if (cursor_ == filled_) {
      // Large reads bypass the buffer.
      if (n - done >= kBufferSize) {
        const int64_t got = file_.ReadAt(Position(), out + done, n - done);
        if (got < 0 || static_cast<size_t>(got) != n - done) throw EReadError(kReadErrorText);
        bufferStart_ += static_cast<int64_t>(filled_) + got;
        filled_ = cursor_ = 0;
        return;
      }
      Fill();
      if (cursor_ == filled_) throw EReadError(kReadErrorText);
    }
    const size_t take = std::min(n - done, filled_ - cursor_);
    std::memcpy(out + done, buffer_.get() + cursor_, take);
    cursor_ += take;
    done += take;
  }
}

size_t ByteStream::Read(void* destination, size_t n) {
  const int64_t left = Remaining();
  if (left <= 0) return 0;
  const size_t take = static_cast<uint64_t>(left) < n ? static_cast<size_t>(left) : n;
  ReadBufferSlow(destination, take);
  return take;
}

}  // namespace plexor
