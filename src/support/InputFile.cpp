#include "support/InputFile.h"

#include <algorithm>

#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/ZipArchive.h"

namespace plexor {
namespace {

constexpr const char* kMemberNotWritableText = "ZIP ファイルの中のファイルには書き込めません";

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// Separators of either kind, doubled or leading, make no difference to the member meant.
std::string MemberNameOf(std::string_view rest) {
  std::string name;
  for (char c : rest) {
    if (IsSeparator(c)) {
      if (!name.empty() && name.back() != '/') name += '/';
    } else {
      name += c;
    }
  }
  return name;
}

}  // namespace

InputFile::InputFile() = default;
InputFile::~InputFile() = default;
InputFile::InputFile(InputFile&& other) noexcept = default;
InputFile& InputFile::operator=(InputFile&& other) noexcept = default;

bool InputFile::OpenRead(const std::string& path) {
  Close();
  error_.clear();
  if (RegularFileExists(path)) return file_.OpenRead(path);
  const std::optional<TArchivePath> split = SplitArchivePath(path);
  if (!split) return file_.OpenRead(path);  // fails, with the system's reason
  try {
    const TZipDirectory directory(split->Archive);
    const TZipEntry* entry = directory.Find(split->Member);
    if (!entry || entry->Folder) {
      error_ = ZipMemberErrorText(split->Archive, split->Member, "ZIP ファイルの中にありません");
      return false;
    }
    member_ = std::make_unique<TZipMemberReader>(directory, *entry);
    return true;
  } catch (const std::exception& e) {
    error_ = e.what();
    return false;
  }
}

bool InputFile::OpenReadWrite(const std::string& path) {
  Close();
  error_.clear();
  if (!RegularFileExists(path) && SplitArchivePath(path)) {
    error_ = kMemberNotWritableText;
    return false;
  }
  return file_.OpenReadWrite(path);
}

bool InputFile::Lock(FileLock lock) {
  return member_ ? true : file_.Lock(lock);
}

bool InputFile::IsOpen() const {
  return member_ != nullptr || file_.IsOpen();
}

int64_t InputFile::Size() const {
  return member_ ? member_->Size() : file_.Size();
}

int64_t InputFile::ReadAt(int64_t position, void* buffer, size_t n) {
  if (member_) return static_cast<int64_t>(member_->ReadAt(position, buffer, n));
  return file_.ReadAt(position, buffer, n);
}

bool InputFile::WriteAt(int64_t position, const void* buffer, size_t n) {
  if (member_) {
    error_ = kMemberNotWritableText;
    return false;
  }
  return file_.WriteAt(position, buffer, n);
}

bool InputFile::Close() {
  member_.reset();
  return file_.Close();
}

std::string InputFile::LastError() const {
  return error_.empty() ? file_.LastError() : error_;
}

void InputFile::ReadToEnd() {
  if (member_) member_->ReadToEnd();
}

bool IsArchiveFileName(std::string_view path) {
  const std::string name = GetFileName(path);
  if (name.size() <= 4) return false;
  const std::string_view ext = std::string_view(name).substr(name.size() - 4);
  return SameTextAscii(ext, ".zip") || SameTextAscii(ext, ".shz");
}

std::optional<TArchivePath> SplitArchivePath(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i) {
    if (!IsSeparator(path[i])) continue;
    const std::string prefix = path.substr(0, i);
    if (IsArchiveFileName(prefix) && RegularFileExists(prefix)) {
      std::string member = MemberNameOf(std::string_view(path).substr(i + 1));
      if (member.empty()) return std::nullopt;
      return TArchivePath{prefix, std::move(member)};
    }
  }
  return std::nullopt;
}

std::string ArchiveMemberPath(const std::string& archive, const std::string& member) {
#ifdef _WIN32
  std::string native = member;
  std::replace(native.begin(), native.end(), '/', '\\');
  return archive + '\\' + native;
#else
  return archive + '/' + member;
#endif
}

std::string FileOnDiskOf(const std::string& path) {
  if (RegularFileExists(path)) return path;
  const std::optional<TArchivePath> split = SplitArchivePath(path);
  return split ? split->Archive : path;
}

bool InputFileExists(const std::string& path) {
  if (RegularFileExists(path)) return true;
  const std::optional<TArchivePath> split = SplitArchivePath(path);
  if (!split) return false;
  try {
    const TZipDirectory directory(split->Archive);
    const TZipEntry* entry = directory.Find(split->Member);
    return entry && !entry->Folder;
  } catch (const std::exception&) {
    return true;
  }
}

std::string FindInputCaseVariant(const std::string& path) {
  if (RegularFileExists(path)) return path;
  const std::optional<TArchivePath> split = SplitArchivePath(path);
  if (!split) return FindExtensionCaseVariant(path);
  try {
    const TZipDirectory directory(split->Archive);
    const TZipEntry* entry = directory.FindAnyCase(split->Member);
    if (entry && !entry->Folder && entry->Name != split->Member) {
      return ArchiveMemberPath(split->Archive, entry->Name);
    }
  } catch (const std::exception&) {
    // The open of the path as given says what is wrong with the archive.
  }
  return path;
}

void CheckInputWhole(const std::string& path) {
  if (RegularFileExists(path)) return;
  InputFile file;
  if (!file.OpenRead(path)) throw EFOpenError(FileOpenErrorText(path, file.LastError()));
  file.ReadToEnd();
}

}  // namespace plexor
