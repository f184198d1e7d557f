// How the core asks the user to read something: a modal box with one "OK" button in the
// window, a line on stderr in the terminal, a recorded entry in the tests.
#pragma once

#include <string>

namespace plexor {

enum class MessageKind { Warning, Error, Information };

// "警告", "エラー" or "情報".
const char* MessageTitle(MessageKind kind);

class IUserMessages {
 public:
  virtual ~IUserMessages() = default;
  // Returns when the user has taken note of the text (UTF-8).
  virtual void ShowMessage(MessageKind kind, const std::string& text) = 0;
};

}  // namespace plexor
