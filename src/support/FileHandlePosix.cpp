// The POSIX side of the file layer; FileHandleWin32.cpp is the Windows side.
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"

namespace plexor {

FileHandle::~FileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : fd_(other.fd_), lastErrno_(other.lastErrno_), direct_(other.direct_) {
  other.fd_ = -1;
  other.direct_ = false;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    lastErrno_ = other.lastErrno_;
    direct_ = other.direct_;
    other.fd_ = -1;
    other.direct_ = false;
  }
  return *this;
}

namespace {

int OpenWithFlags(const std::string& path, int flags, int& err) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  err = fd < 0 ? errno : 0;
  return fd;
}

// Inputs are regular files only: a FIFO would block the open and a folder fails only at the
// first read with a reason nobody can act on. Opening without blocking and checking at once
// gives a clear reason instead.
int OpenInput(const std::string& path, int flags, int& err) {
  const int fd = OpenWithFlags(path, flags | O_NONBLOCK, err);
  if (fd < 0) return fd;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

bool FileHandle::OpenRead(const std::string& path) {
  Close();
  fd_ = OpenInput(path, O_RDONLY, lastErrno_);
  return fd_ >= 0;
}

bool FileHandle::OpenReadWrite(const std::string& path) {
  Close();
  fd_ = OpenInput(path, O_RDWR, lastErrno_);
  return fd_ >= 0;
}

bool FileHandle::Create(const std::string& path) {
  Close();
  // Without blocking, so that a FIFO nobody reads fails (ENXIO) instead of hanging.
  fd_ = OpenWithFlags(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK, lastErrno_);
  if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  return fd_ >= 0;
}

bool FileHandle::CreateNew(const std::string& path) {
  Close();
  fd_ = OpenWithFlags(path, O_WRONLY | O_CREAT | O_EXCL, lastErrno_);
  return fd_ >= 0;
}

bool FileHandle::Lock(FileLock lock) {
  if (lock == FileLock::None) return true;
  const int op = (lock == FileLock::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
  int rc;
  do {
    rc = ::flock(fd_, op);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    lastErrno_ = errno;
    return false;
  }
  return true;
}

int64_t FileHandle::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t FileHandle::ReadAt(int64_t position, void* buffer, size_t n) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < n) {
    const size_t chunk = n - done > (1u << 30) ? (1u << 30) : n - done;
    const ssize_t got = ::pread(fd_, out + done, chunk, static_cast<off_t>(position + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      lastErrno_ = errno;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

namespace {

// Writes all n bytes through `put(bytes, count, done)`, which may write fewer at a time.
template <typename Put>
bool WriteAll(const void* buffer, size_t n, int& lastErrno, Put put) {
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    const ssize_t wrote = put(in + done, n - done, done);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      lastErrno = errno;
      return false;
    }
    done += static_cast<size_t>(wrote);
  }
  return true;
}

}  // namespace

bool FileHandle::WriteAt(int64_t position, const void* buffer, size_t n) {
  return WriteAll(buffer, n, lastErrno_, [&](const char* p, size_t count, size_t done) {
    return ::pwrite(fd_, p, count, static_cast<off_t>(position + static_cast<int64_t>(done)));
  });
}

bool FileHandle::Write(const void* buffer, size_t n) {
  return WriteAll(buffer, n, lastErrno_, [&](const char* p, size_t count, size_t) {
    ssize_t wrote = ::write(fd_, p, count);
    // Refused past the cache (a file system with larger blocks, the rest of a short write):
    // the same bytes go through it.
    if (wrote < 0 && errno == EINVAL && direct_ && SetDirect(false)) wrote = ::write(fd_, p, count);
    return wrote;
  });
}

#if defined(__linux__) && defined(O_DIRECT)
namespace {

// Only local disks' file systems: on a network share each write past the cache would wait
// for the server, and tmpfs has no disk to spare the copy for.
bool DirectWritesPay(int fd) {
  struct statfs fs;
  if (::fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0xF2F52010:  // f2fs
      return true;
    default:
      return false;
  }
}

}  // namespace
#endif

bool FileHandle::SetDirect(bool on) {
#if defined(__linux__) && defined(O_DIRECT)
  if (fd_ < 0) return false;
  if (on == direct_) return true;
  if (on && !DirectWritesPay(fd_)) return false;
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) < 0) {
    return false;
  }
  direct_ = on;
  return true;
#else
  return !on;
#endif
}

bool FileHandle::LastFailureWasExisting() const {
  return lastErrno_ == EEXIST;
}

bool FileHandle::Sync() {
  int rc;
  do {
    rc = ::fsync(fd_);
  } while (rc < 0 && errno == EINTR);
  // Some file systems (pipes, a few network mounts) cannot sync; that is no lost write.
  if (rc < 0 && errno != EINVAL && errno != EROFS) {
    lastErrno_ = errno;
    return false;
  }
  return true;
}

void FileHandle::StartWriteback(int64_t offset, int64_t length) {
#ifdef __linux__
  ::sync_file_range(fd_, offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)offset;
  (void)length;
#endif
}

void FileHandle::SettleWritten(int64_t offset, int64_t length) {
#ifdef __linux__
  ::sync_file_range(
      fd_, offset, length,
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
#endif
  ::posix_fadvise(fd_, static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_DONTNEED);
}

bool FileHandle::Close() {
  if (fd_ < 0) return true;
  const int rc = ::close(fd_);
  fd_ = -1;
  direct_ = false;
  if (rc != 0 && errno != EINTR) {
    lastErrno_ = errno;
    return false;
  }
  return true;
}

std::string FileHandle::LastError() const {
  return SystemErrorText(lastErrno_);
}

bool RegularFileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SpecialFileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

std::string FollowLinks(const std::string& path) {
  std::string current = path;
  // A loop of links is left to the open that follows, which reports it.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(PATH_MAX), '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n <= 0) return current;
    target.resize(static_cast<size_t>(n));
    current = target.front() == '/' ? target : GetFileDir(current) + target;
  }
  return current;
}

bool RenameOver(const std::string& from, const std::string& to, int& err) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  err = errno;
  return false;
}

bool RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

FileIdentity IdentityOf(const std::string& path) {
  namespace fs = std::filesystem;
  const std::string followed = FollowLinks(path);
  struct stat st;
  if (::stat(followed.c_str(), &st) == 0) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), {}};
  }
  // A file that does not exist yet (an output before its first run) is named by the folder
  // it will be made in: "out/./a.mif", "out/a.mif" and a bind mount of out/ are one file.
  std::error_code ec;
  fs::path at = fs::absolute(fs::path(followed), ec).lexically_normal();
  if (ec) at = fs::path(followed).lexically_normal();
  std::string rest;
  for (;;) {
    const fs::path name = at.filename();
    rest = rest.empty() ? name.string() : name.string() + "/" + rest;
    const fs::path parent = at.parent_path();
    if (parent == at || parent.empty()) return {0, 0, at.string() + "/" + rest};
    at = parent;
    if (::stat(at.c_str(), &st) == 0) {
      return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), rest};
    }
  }
}

FileIdentity IdentityOf(const std::string& path, FolderIdentities& folders) {
  const std::string dir = GetFileDir(path);
  const std::string name = GetFileName(path);
  if (dir.empty() || name.empty() || name == "." || name == "..") return IdentityOf(path);
  auto it = folders.Folders.find(dir);
  if (it == folders.Folders.end()) {
    FolderIdentities::Folder folder{IdentityOf(dir), {}};
    if (!folder.Identity.Rest.empty()) return IdentityOf(path);  // the folder is not there
    for (std::string& entry : FolderEntries(dir)) folder.Names.insert(std::move(entry));
    it = folders.Folders.emplace(dir, std::move(folder)).first;
  }
  const FileIdentity& at = it->second.Identity;
  if (!it->second.Names.count(name)) return {at.Device, at.Node, name};
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), {}};
  }
  return IdentityOf(path);
}

bool SameFile(const std::string& a, const std::string& b) {
  return a == b || IdentityOf(a) == IdentityOf(b);
}

bool SyncDirectory(const std::string& dir) {
  int err = 0;
  const int fd = OpenWithFlags(dir.empty() ? "." : dir, O_RDONLY | O_DIRECTORY, err);
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc < 0 && errno == EINTR);
  const bool ok = rc == 0 || errno == EINVAL || errno == EROFS || errno == EBADF;
  ::close(fd);
  return ok;
}

FolderLock::FolderLock(const std::string& dir) {
  int err = 0;
  const int fd = OpenWithFlags(dir.empty() ? "." : dir, O_RDONLY | O_DIRECTORY, err);
  if (fd < 0) return;
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    ::close(fd);
    return;
  }
  handle_ = fd;
}

FolderLock::~FolderLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing releases the lock
}

std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(d);
  return names;
}

bool MakeHardLink(const std::string& existing, const std::string& link) {
  return ::link(existing.c_str(), link.c_str()) == 0;
}

int64_t CurrentProcessId() {
  return static_cast<int64_t>(::getpid());
}

bool ProcessIsAlive(int64_t pid) {
  if (pid <= 0 || pid > INT_MAX) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

bool RemoveUnlessHeld(const std::string& path) {
  int err = 0;
  // A writer holds its temporary locked until it is published or dropped; a lock we can
  // take means nobody writes there any more, whichever machine wrote it.
  const int fd = OpenWithFlags(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, err);
  if (fd < 0) return false;
  struct stat st;
  bool removed = false;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    removed = ::unlink(path.c_str()) == 0;
  }
  ::close(fd);
  return removed;
}

std::string FindExtensionCaseVariant(const std::string& path) {
  if (RegularFileExists(path)) return path;
  const std::string dir = GetFileDir(path);
  const std::string name = GetFileName(path);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return path;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return path;
  std::string found;
  while (dirent* e = ::readdir(d)) {
    const std::string candidate = e->d_name;
    if (candidate.size() == name.size() && candidate.compare(0, dot, name, 0, dot) == 0 &&
        SameTextAscii(std::string_view(candidate).substr(dot),
                      std::string_view(name).substr(dot)) &&
        RegularFileExists(dir + candidate)) {
      // Readdir order is arbitrary; take the smallest name so the choice is stable.
      if (found.empty() || candidate < found) found = candidate;
    }
  }
  ::closedir(d);
  return found.empty() ? path : dir + found;
}

}  // namespace plexor

#endif  // !_WIN32
