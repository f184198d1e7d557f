// The one exception hierarchy of the program. Every message is UTF-8 text meant for a person.
#pragma once

#include <exception>
#include <string>

namespace plexor {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }

 private:
  std::string message_;
};

#define PLEXOR_EXCEPTION(Name, Base) \
  class Name : public Base {         \
   public:                           \
    using Base::Base;                \
  };

PLEXOR_EXCEPTION(EDatabaseError, Exception)
PLEXOR_EXCEPTION(ELocalDbfError, EDatabaseError)
PLEXOR_EXCEPTION(EStreamError, Exception)
PLEXOR_EXCEPTION(EReadError, EStreamError)
PLEXOR_EXCEPTION(EWriteError, EStreamError)
PLEXOR_EXCEPTION(EFOpenError, EStreamError)
PLEXOR_EXCEPTION(EFCreateError, EStreamError)
PLEXOR_EXCEPTION(EInOutError, Exception)
PLEXOR_EXCEPTION(EConvertError, Exception)
PLEXOR_EXCEPTION(EListError, Exception)
PLEXOR_EXCEPTION(ERangeError, Exception)
PLEXOR_EXCEPTION(EIniFileError, Exception)
// The user stopped the work; what it wrote so far is dropped.
PLEXOR_EXCEPTION(EAbort, Exception)

#undef PLEXOR_EXCEPTION

// The error of a list asked for an item it does not hold.
[[noreturn]] void ThrowListIndexError(long long index);

// Texts shared by several units.
inline constexpr const char* kReadErrorText = "ストリームからの読み込みエラー";
inline constexpr const char* kWriteErrorText = "ストリームへの書き込みエラー";
inline constexpr const char* kCancelledText = "変換を中止しました。";

// `ファイル "%s". %s は開けません` with the file and the system's reason.
std::string FileOpenErrorText(const std::string& path, const std::string& reason);
// The same for a file that cannot be created.
std::string FileCreateErrorText(const std::string& path, const std::string& reason);
// The same for a text file whose write failed.
std::string FileWriteErrorText(const std::string& path, const std::string& reason);
// The system's own text for an errno value, as UTF-8.
std::string SystemErrorText(int errorNumber);

}  // namespace plexor
