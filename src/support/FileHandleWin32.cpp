// The Windows side of the file layer: UTF-8 paths handed to the wide-character API, share
// modes instead of advisory locks, 64-bit positions through OVERLAPPED offsets.
#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <string>

#include "support/ByteStrings.h"
#include "support/Exceptions.h"
#include "support/FileHandle.h"
#include "support/WideTextWin32.h"

namespace plexor {
namespace {

HANDLE AsHandle(intptr_t fd) {
  return reinterpret_cast<HANDLE>(fd);
}

// The system's own text in the user's language, as UTF-8 like every message of ours.
std::string WindowsErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n ? Narrow(std::wstring_view(text, n)) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  // Japanese texts end in "。", which stays; the message around it adds its own.
  while (!out.empty() &&
         (out.back() == '\r' || out.back() == '\n' || out.back() == '.' || out.back() == ' '))
    out.pop_back();
  return out;
}

OVERLAPPED At(int64_t position) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(position & 0xFFFFFFFF);
  o.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(position) >> 32);
  return o;
}

}  // namespace

// On Windows fd_ holds the HANDLE; -1 is INVALID_HANDLE_VALUE.
FileHandle::~FileHandle() {
  if (fd_ >= 0) CloseHandle(AsHandle(fd_));
}

FileHandle::FileHandle(FileHandle&& other) noexcept : fd_(other.fd_), lastErrno_(other.lastErrno_) {
  other.fd_ = -1;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseHandle(AsHandle(fd_));
    fd_ = other.fd_;
    lastErrno_ = other.lastErrno_;
    other.fd_ = -1;
  }
  return *this;
}

namespace {

intptr_t OpenWith(const std::string& path, DWORD access, DWORD share, DWORD disposition, int& err) {
  HANDLE h = CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    err = static_cast<int>(GetLastError());
    return -1;
  }
  err = 0;
  return reinterpret_cast<intptr_t>(h);
}

}  // namespace

bool FileHandle::OpenRead(const std::string& path) {
  Close();
  fd_ = OpenWith(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, lastErrno_);
  return fd_ >= 0;
}

bool FileHandle::OpenReadWrite(const std::string& path) {
  Close();
  // Exclusive unless a lock asks for less: Windows decides sharing when the file is opened.
  fd_ = OpenWith(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, lastErrno_);
  return fd_ >= 0;
}

bool FileHandle::Create(const std::string& path) {
  Close();
  fd_ = OpenWith(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, lastErrno_);
  return fd_ >= 0;
}

bool FileHandle::CreateNew(const std::string& path) {
  Close();
  fd_ = OpenWith(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, lastErrno_);
  return fd_ >= 0;
}

bool FileHandle::Lock(FileLock lock) {
  if (lock == FileLock::None) return true;
  OVERLAPPED o{};
  const DWORD flags =
      LOCKFILE_FAIL_IMMEDIATELY | (lock == FileLock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (!LockFileEx(AsHandle(fd_), flags, 0, MAXDWORD, MAXDWORD, &o)) {
    lastErrno_ = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

int64_t FileHandle::Size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(AsHandle(fd_), &size)) return -1;
  return size.QuadPart;
}

int64_t FileHandle::ReadAt(int64_t position, void* buffer, size_t n) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < n) {
    const DWORD chunk = static_cast<DWORD>(n - done > (1u << 30) ? (1u << 30) : n - done);
    OVERLAPPED o = At(position + static_cast<int64_t>(done));
    DWORD got = 0;
    if (!ReadFile(AsHandle(fd_), out + done, chunk, &got, &o)) {
      const DWORD err = GetLastError();
      if (err == ERROR_HANDLE_EOF) break;
      lastErrno_ = static_cast<int>(err);
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

namespace {

// Writes all n bytes in chunks a DWORD can count; `overlapped(done)` gives the position of
// each chunk, or null to write at the file pointer.
template <typename Position>
bool WriteAll(HANDLE h, const void* buffer, size_t n, int& lastError, Position overlapped) {
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    const DWORD chunk = static_cast<DWORD>(n - done > (1u << 30) ? (1u << 30) : n - done);
    OVERLAPPED o{};
    DWORD put = 0;
    if (!WriteFile(h, in + done, chunk, &put, overlapped(done, o))) {
      lastError = static_cast<int>(GetLastError());
      return false;
    }
    done += put;
  }
  return true;
}

}  // namespace

bool FileHandle::WriteAt(int64_t position, const void* buffer, size_t n) {
  return WriteAll(AsHandle(fd_), buffer, n, lastErrno_, [position](size_t done, OVERLAPPED& o) {
    o = At(position + static_cast<int64_t>(done));
    return &o;
  });
}

bool FileHandle::Write(const void* buffer, size_t n) {
  return WriteAll(AsHandle(fd_), buffer, n, lastErrno_,
                  [](size_t, OVERLAPPED&) -> OVERLAPPED* { return nullptr; });
}

bool FileHandle::LastFailureWasExisting() const {
  return lastErrno_ == ERROR_FILE_EXISTS || lastErrno_ == ERROR_ALREADY_EXISTS;
}

bool FileHandle::Sync() {
  if (FlushFileBuffers(AsHandle(fd_))) return true;
  lastErrno_ = static_cast<int>(GetLastError());
  return false;
}

// Windows starts writing back on its own; FlushFileBuffers at the end waits for the rest.
void FileHandle::StartWriteback(int64_t, int64_t) {}
void FileHandle::SettleWritten(int64_t, int64_t) {}

// Unbuffered writes are chosen when a file is opened on Windows; its cache stays in use.
bool FileHandle::SetDirect(bool on) {
  return !on;
}

bool FileHandle::Close() {
  if (fd_ < 0) return true;
  const bool ok = CloseHandle(AsHandle(fd_)) != 0;
  fd_ = -1;
  if (!ok) lastErrno_ = static_cast<int>(GetLastError());
  return ok;
}

std::string FileHandle::LastError() const {
  return WindowsErrorText(static_cast<DWORD>(lastErrno_));
}

bool RegularFileExists(const std::string& path) {
  const DWORD a = GetFileAttributesW(Widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) &&
         !(a & FILE_ATTRIBUTE_DEVICE);
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = GetFileAttributesW(Widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool SpecialFileExists(const std::string& path) {
  const DWORD a = GetFileAttributesW(Widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DEVICE);
}

// Links are rare on Windows and MoveFileEx replaces the link, not what it names.
std::string FollowLinks(const std::string& path) {
  return path;
}

bool RenameOver(const std::string& from, const std::string& to, int& err) {
  if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  err = static_cast<int>(GetLastError());
  return false;
}

bool RemoveFile(const std::string& path) {
  return DeleteFileW(Widen(path).c_str()) != 0;
}

namespace {

bool HandleIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h =
      CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok;
}

FileIdentity IdentityFromInfo(const BY_HANDLE_FILE_INFORMATION& info, std::string rest) {
  return {info.dwVolumeSerialNumber,
          (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, std::move(rest)};
}

}  // namespace

FileIdentity IdentityOf(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (HandleIdentity(path, info)) return IdentityFromInfo(info, {});
  // Not there yet: the nearest existing folder and the rest, in one letter case as Windows
  // compares names.
  std::string at = path;
  std::string rest;
  for (;;) {
    while (!at.empty() && (at.back() == '\\' || at.back() == '/')) at.pop_back();
    const std::string name = GetFileName(at);
    std::string folded = name;
    for (char& c : folded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    rest = rest.empty() ? folded : folded + "\\" + rest;
    const std::string parent = GetFileDir(at);
    if (parent.empty() || parent.size() >= at.size()) return {0, 0, at + "\\" + rest};
    at = parent;
    if (HandleIdentity(at, info)) return IdentityFromInfo(info, rest);
  }
}

FileIdentity IdentityOf(const std::string& path, FolderIdentities&) {
  return IdentityOf(path);
}

bool SameFile(const std::string& a, const std::string& b) {
  return SameTextAscii(a, b) || IdentityOf(a) == IdentityOf(b);
}

// Renames are written through (MOVEFILE_WRITE_THROUGH): nothing is left for the folder.
bool SyncDirectory(const std::string&) {
  return true;
}

// Windows locks files, not folders: a lock file of our own, opened without sharing and gone
// when it is closed, stands for the folder.
FolderLock::FolderLock(const std::string& dir) {
  lockPath_ = dir + ".plexor-lock";
  for (int attempt = 0; attempt < 600; ++attempt) {
    HANDLE h = CreateFileW(Widen(lockPath_).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(h);
      return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return;
    Sleep(50);
  }
}

FolderLock::~FolderLock() {
  if (handle_ >= 0) CloseHandle(AsHandle(handle_));
}

std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(Widen((dir.empty() ? std::string(".\\") : dir) + "*").c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Narrow(data.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return names;
}

bool MakeHardLink(const std::string& existing, const std::string& link) {
  return CreateHardLinkW(Widen(link).c_str(), Widen(existing).c_str(), nullptr) != 0;
}

int64_t CurrentProcessId() {
  return static_cast<int64_t>(GetCurrentProcessId());
}

bool ProcessIsAlive(int64_t pid) {
  if (pid <= 0 || pid > 0xFFFFFFFFLL) return false;
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
}

// A writer keeps its temporary open without delete sharing, so the removal fails while it
// lives.
bool RemoveUnlessHeld(const std::string& path) {
  return DeleteFileW(Widen(path).c_str()) != 0;
}

// Windows file names ignore letter case already.
std::string FindExtensionCaseVariant(const std::string& path) {
  return path;
}

}  // namespace plexor

#endif  // _WIN32
