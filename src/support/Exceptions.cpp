#include "support/Exceptions.h"

#include <cstring>

#include "support/ByteStrings.h"

namespace plexor {

std::string FileOpenErrorText(const std::string& path, const std::string& reason) {
  return "ファイル \"" + NativeToUtf8(path) + "\". " + reason + " は開けません";
}

std::string FileCreateErrorText(const std::string& path, const std::string& reason) {
  return "ファイル \"" + NativeToUtf8(path) + "\" を作成できません. " + reason;
}

std::string FileWriteErrorText(const std::string& path, const std::string& reason) {
  return "ファイル \"" + NativeToUtf8(path) + "\" に書き込めません. " + reason;
}

std::string SystemErrorText(int errorNumber) {
  // strerror may return a shared buffer; copy it at once.
  return std::string(std::strerror(errorNumber));
}

void ThrowListIndexError(long long index) {
  throw EListError("リストのインデックスが範囲を超えています (" + std::to_string(index) + ")");
}

}  // namespace plexor
