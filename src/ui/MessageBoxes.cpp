#include "ui/MessageBoxes.h"

namespace plexor {
namespace {

// Sets a flag for as long as it lives, also when an error leaves early.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

void TMessageBoxes::Tell(MessageKind kind, const std::string& text) {
  waiting_.push_back({false, kind, text});
  Flush();
}

void TMessageBoxes::TellError(const std::string& text) {
  waiting_.push_back({true, MessageKind::Error, text});
  Flush();
}

bool TMessageBoxes::Ask(const std::string& text) {
  FlagScope open(open_);
  return services_.Confirm(text);
}

void TMessageBoxes::Flush() {
  if (open_) return;
  FlagScope open(open_);
  while (!waiting_.empty()) {
    const Box box = std::move(waiting_.front());
    waiting_.pop_front();
    if (box.ApplicationError) {
      services_.ShowApplicationError(box.Text);
    } else {
      services_.ShowMessage(box.Kind, box.Text);
    }
  }
}

}  // namespace plexor
