// The files a conversion reads, wherever they lie: on disk, or inside a zip archive. A member
// is named by a path through its archive, "C:\data\town.zip\道路\roads.shp" or
// "/data/town.zip/道路/roads.shp": the first part of the path that is an existing file named
// .zip (also .shp.zip) or .shz is the archive, the rest the member's name. Such a path goes
// through a batch file and back unchanged, and the companions of a member are found by the
// same extension replacement as on disk (town.zip/道路/roads.dbf).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "support/FileHandle.h"

namespace plexor {

class TZipMemberReader;

class InputFile {
 public:
  InputFile();
  ~InputFile();
  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;

  // False with the reason in LastError(), as FileHandle. A member that is refused (encrypted,
  // a name with "..", a zip bomb, ...) fails to open with the reason naming it.
  bool OpenRead(const std::string& path);
  // A member is never written: false.
  bool OpenReadWrite(const std::string& path);
  bool Lock(FileLock lock);  // a member needs no lock: its archive is only read

  bool IsOpen() const;
  bool IsArchiveMember() const { return member_ != nullptr; }
  int64_t Size() const;
  // As FileHandle::ReadAt. A member whose data is damaged raises EArchiveError naming it
  // instead of returning -1, so that the reason reaches the user through readers that would
  // only say "could not read".
  int64_t ReadAt(int64_t position, void* buffer, size_t n);
  bool WriteAt(int64_t position, const void* buffer, size_t n);
  bool Close();
  std::string LastError() const;
  // Reads what is left of a member so that its CRC is checked (EArchiveError when it fails);
  // nothing for a file on disk.
  void ReadToEnd();

 private:
  FileHandle file_;
  std::unique_ptr<TZipMemberReader> member_;
  std::string error_;  // a member's refusal, when the last open failed on one
};

struct TArchivePath {
  std::string Archive;  // the archive file on disk
  std::string Member;   // UTF-8, folders joined by '/'
};

// True when the file name ends in .zip or .shz (any letter case).
bool IsArchiveFileName(std::string_view path);
// The archive and member a path names, when it goes through an existing archive file.
std::optional<TArchivePath> SplitArchivePath(const std::string& path);
// The path of a member, in the native spelling.
std::string ArchiveMemberPath(const std::string& archive, const std::string& member);
// The file on disk that holds what the path names: its archive for a member.
std::string FileOnDiskOf(const std::string& path);

// True when a regular file or a member (not a folder of the archive) exists at the path. An
// archive whose directory cannot be read counts as holding it: the open says why.
bool InputFileExists(const std::string& path);
// FindExtensionCaseVariant for files on disk; for a member, one of the same name in other
// letter case, in the same folder of the archive.
std::string FindInputCaseVariant(const std::string& path);
// Reads a member through to its end so that its CRC is checked; nothing for a file on disk.
void CheckInputWhole(const std::string& path);

}  // namespace plexor
