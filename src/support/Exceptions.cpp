#include "support/Exceptions.h"

#include <cstring>

namespace plexor {

std::string FileOpenErrorText(const std::string& path, const std::string& reason) {
  return "ファイル \"" + path + "\". " + reason + " は開けません";
}

std::string FileCreateErrorText(const std::string& path, const std::string& reason) {
  return "ファイル \"" + path + "\" を作成できません. " + reason;
}

std::string FileWriteErrorText(const std::string& path, const std::string& reason) {
  return "ファイル \"" + path + "\" に書き込めません. " + reason;
}

std::string SystemErrorText(int errorNumber) {
  // strerror may return a shared buffer; copy it at once.
  return std::string(std::strerror(errorNumber));
}

}  // namespace plexor
