#include "support/TextFile.h"

#include <cerrno>

#include "support/Exceptions.h"

namespace plexor {

TextFileWriter::~TextFileWriter() {
  if (file_.IsOpen()) {
    if (used_ > 0) file_.Write(buffer_.get(), used_);
    file_.Close();
  }
}

void TextFileWriter::Create(const std::string& path) {
  if (file_.IsOpen()) Close();
  path_ = path;
  if (!file_.Create(path)) throw EFCreateError(FileCreateErrorText(path, file_.LastError()));
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
  used_ = 0;
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

void TextFileWriter::Close() {
  if (!file_.IsOpen()) return;
  const bool written = used_ == 0 || file_.Write(buffer_.get(), used_);
  const int writeErr = file_.LastErrno();
  used_ = 0;
  const bool closed = file_.Close();
  if (!written) RaiseWriteError(writeErr);
  if (!closed) RaiseWriteError(file_.LastErrno());
}

}  // namespace plexor
