#include "support/UserMessages.h"

namespace plexor {

const char* MessageTitle(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning:
      return "警告";
    case MessageKind::Error:
      return "エラー";
    case MessageKind::Information:
      return "情報";
  }
  return "";
}

}  // namespace plexor
