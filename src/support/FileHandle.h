// A thin, portable layer over the operating system's files: the only place that calls it.
// Positions and sizes are 64-bit; every failure carries the system's reason.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace plexor {

enum class FileLock { None, Shared, Exclusive };

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;

  // Each returns false and leaves the reason in LastError() when the system refuses.
  bool OpenRead(const std::string& path);
  bool OpenReadWrite(const std::string& path);
  bool Create(const std::string& path);  // created anew; an existing file is emptied
  // Created only when nothing exists at the path yet (a temporary name of our own).
  bool CreateNew(const std::string& path);
  // A non-blocking advisory lock held until Close.
  bool Lock(FileLock lock);

  bool IsOpen() const { return fd_ >= 0; }
  int64_t Size() const;  // -1 on failure
  // Reads up to n bytes at the position; returns the count, -1 on failure.
  int64_t ReadAt(int64_t position, void* buffer, size_t n);
  // Writes all n bytes at the position; false on failure.
  bool WriteAt(int64_t position, const void* buffer, size_t n);
  // Appends all n bytes at the current end of what was written sequentially.
  bool Write(const void* buffer, size_t n);
  // Asks the system to put what was written on the disk itself.
  bool Sync();
  // Lets the system start writing a range to the disk now, without waiting for it, so that
  // a later Sync has little left to do. A hint: nothing is reported.
  void StartWriteback(int64_t offset, int64_t length);
  // Waits until a range handed to StartWriteback is on the disk, then lets the system drop
  // it from its cache: a large output neither waits for the disk at its end nor pushes the
  // user's other files out of memory. A hint too.
  void SettleWritten(int64_t offset, int64_t length);
  // Writes past the system's cache, where the file system takes them (O_DIRECT on Linux):
  // the disk then reads the caller's memory itself, which spares the processor the copy into
  // the cache and the cache's upkeep. While on, every Write must start at and run for
  // multiples of kDirectBlock bytes, from memory aligned to it; a write the system still
  // refuses that way goes through the cache, and the handle stays with the cache from then
  // on. False, with nothing changed, where there are no such writes.
  static constexpr size_t kDirectBlock = 4096;
  bool SetDirect(bool on);
  bool Direct() const { return direct_; }
  bool Close();  // false when the system reports a failure while closing

  int LastErrno() const { return lastErrno_; }
  // The last failure was CreateNew finding something at the path already.
  bool LastFailureWasExisting() const;
  std::string LastError() const;

 private:
#ifdef _WIN32
  using NativeHandle = intptr_t;  // a HANDLE
#else
  using NativeHandle = int;  // a file descriptor
#endif
  NativeHandle fd_ = -1;
  int lastErrno_ = 0;
  bool direct_ = false;
};

// True when a regular file exists at the path (a folder or a FIFO is no file to convert).
bool RegularFileExists(const std::string& path);
// True when a folder exists at the path.
bool DirectoryExists(const std::string& path);
// True when something that is not a regular file or a folder exists at the path: a device
// such as /dev/null or a FIFO, which an output must be written into, never replaced.
bool SpecialFileExists(const std::string& path);
// The path with symbolic links followed to the file they name (the path itself when it is
// no link or the link leads nowhere yet).
std::string FollowLinks(const std::string& path);
// Renames `from` over `to`, replacing an existing file in one step; false with the system's
// error number in `err`.
bool RenameOver(const std::string& from, const std::string& to, int& err);
// Removes a file; false when it could not be removed.
bool RemoveFile(const std::string& path);
// True when both paths name the same file on disk (links followed), or the same path.
bool SameFile(const std::string& a, const std::string& b);
// What a path names on disk, for grouping paths that reach one file: the device and node of
// the file (links followed) when it exists; otherwise those of the nearest existing folder on
// the way, with the rest of the path in a normalised spelling. Bind mounts, links and other
// spellings of one file give one identity.
struct FileIdentity {
  uint64_t Device = 0;
  uint64_t Node = 0;
  std::string Rest;  // empty when the file itself exists
  auto operator<=>(const FileIdentity&) const = default;
};
FileIdentity IdentityOf(const std::string& path);
// The same for many paths in few folders: each folder is looked at once (its identity and
// the names in it), so a path that does not exist yet costs no look-up of its own.
struct FolderIdentities {
  struct Folder {
    FileIdentity Identity;
    std::unordered_set<std::string> Names;
  };
  std::unordered_map<std::string, Folder> Folders;
};
FileIdentity IdentityOf(const std::string& path, FolderIdentities& folders);

// Makes the names created, renamed or removed in a folder durable (POSIX: fsync of the
// folder). True where the system has nothing to do or cannot sync folders.
bool SyncDirectory(const std::string& dir);
// An exclusive lock over publishing into a folder, held for the object's life; processes that
// take it wait for each other. Where the folder cannot be locked (some network mounts) the
// lock is not held and nothing else changes.
class FolderLock {
 public:
  explicit FolderLock(const std::string& dir);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  intptr_t handle_ = -1;
  std::string lockPath_;  // Windows: the lock file, removed when released
};
// The names in a folder ("." and ".." left out); empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& dir);
// A second name for an existing file; false where the file system has no hard links.
bool MakeHardLink(const std::string& existing, const std::string& link);
int64_t CurrentProcessId();
// False only when the system says no process of that number exists here.
bool ProcessIsAlive(int64_t pid);
// Removes a temporary file of ours unless a live writer still holds it open and locked;
// true when it was removed.
bool RemoveUnlessHeld(const std::string& path);

// When `path` is missing, a sibling whose name differs only in the letter case of the
// extension; otherwise `path` unchanged. Linux file systems are case-sensitive.
std::string FindExtensionCaseVariant(const std::string& path);

}  // namespace plexor
