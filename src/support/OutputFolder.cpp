#include "support/OutputFolder.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "support/ByteStrings.h"
#include "support/FileHandle.h"

namespace plexor {
namespace {

constexpr size_t kMaxNameBytes = 255;
// The record is NUL-separated: paths hold any byte but that one. The closing word proves
// the record was written whole.
constexpr std::string_view kRecordMagic = "plexor-pair 1";
constexpr std::string_view kRecordEnd = "end";
constexpr int64_t kMaxRecordBytes = 64 * 1024;

uint64_t Fnv1a(std::string_view bytes) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ULL;
  return h;
}

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The process number a temporary or backup carries: ".NAME.PID-STAMP-SERIAL.plexor-tmp".
int64_t OwnerOf(std::string_view name, std::string_view tail) {
  name.remove_suffix(tail.size());
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return -1;
  int64_t pid = 0;
  size_t i = dot + 1;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < (int64_t{1} << 40); ++i) {
    pid = pid * 10 + (name[i] - '0');
  }
  return i > dot + 1 && i < name.size() && name[i] == '-' ? pid : -1;
}

bool ReadPairRecord(const std::string& path, TPairRecord& record) {
  FileHandle file;
  if (!file.OpenRead(path)) return false;
  const int64_t size = file.Size();
  if (size <= 0 || size > kMaxRecordBytes) return false;
  std::string text(static_cast<size_t>(size), '\0');
  if (file.ReadAt(0, text.data(), text.size()) != size) return false;
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t nul; (nul = text.find('\0', start)) != std::string::npos; start = nul + 1) {
    fields.push_back(text.substr(start, nul - start));
  }
  if (fields.size() != 7 || fields[0] != kRecordMagic || fields[6] != kRecordEnd) return false;
  record = {fields[1], fields[2], fields[3], fields[4], fields[5]};
  return true;
}

// A record names files by path. Only what our own writers make is acted on: a temporary of
// ours in the record's folder, renamed over a target in that same folder. A planted record
// can then do no more than a writer of ours could.
bool IsOurs(const std::string& dir, const std::string& file, const char* tail,
            const std::string& target) {
  return GetFileDir(file) == dir && GetFileName(file).front() == '.' && EndsWith(file, tail) &&
         GetFileDir(target) == dir && !GetFileName(target).empty();
}

void CompletePair(const std::string& dir, const std::string& recordPath) {
  TPairRecord r;
  // A record cut short was being written when the run died: no rename had begun, and its
  // temporaries go as stale.
  if (ReadPairRecord(recordPath, r) &&
      IsOurs(dir, r.FirstTemporary, kTemporaryTail, r.FirstTarget) &&
      IsOurs(dir, r.SecondTemporary, kTemporaryTail, r.SecondTarget)) {
    // Both temporaries were complete and synced before the record was written: whatever was
    // not renamed yet is renamed now, in the same order.
    int err = 0;
    if (RegularFileExists(r.FirstTemporary)) RenameOver(r.FirstTemporary, r.FirstTarget, err);
    if (RegularFileExists(r.SecondTemporary)) RenameOver(r.SecondTemporary, r.SecondTarget, err);
    SyncDirectory(dir);
    if (!r.Backup.empty() && GetFileDir(r.Backup) == dir && EndsWith(r.Backup, kBackupTail)) {
      RemoveFile(r.Backup);
    }
  }
  RemoveFile(recordPath);
  SyncDirectory(dir);
}

}  // namespace

std::string HiddenNameFor(const std::string& target, const std::string& tail) {
  const std::string name = GetFileName(target);
  if (1 + name.size() + tail.size() <= kMaxNameBytes) return GetFileDir(target) + "." + name + tail;
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a(name)));
  return GetFileDir(target) + ".~" + hash + tail;
}

std::string PairRecordPathFor(const std::string& firstTarget) {
  return HiddenNameFor(firstTarget, kPairRecordTail);
}

bool WritePairRecord(const std::string& path, const TPairRecord& r, std::string& why) {
  std::string text;
  for (std::string_view field :
       {kRecordMagic, std::string_view(r.FirstTemporary), std::string_view(r.FirstTarget),
        std::string_view(r.SecondTemporary), std::string_view(r.SecondTarget),
        std::string_view(r.Backup), kRecordEnd}) {
    text.append(field);
    text.push_back('\0');
  }
  FileHandle file;
  const bool ok = file.Create(path) && file.Write(text.data(), text.size()) && file.Sync();
  if (!ok) why = file.LastError();
  const bool closed = file.Close();
  if (ok && !closed) why = file.LastError();
  if (!ok || !closed) {
    RemoveFile(path);
    return false;
  }
  SyncDirectory(GetFileDir(path));
  return true;
}

void RecoverOutputFolder(const std::string& dir) {
  FolderLock lock(dir);
  const std::vector<std::string> names = FolderEntries(dir);
  // Under the lock no writer is between its renames: every record here is a dead run's.
  for (const std::string& name : names) {
    if (name.front() == '.' && EndsWith(name, kPairRecordTail)) CompletePair(dir, dir + name);
  }
  const int64_t self = CurrentProcessId();
  for (const std::string& name : names) {
    if (name.front() != '.') continue;
    const char* tail = EndsWith(name, kTemporaryTail) ? kTemporaryTail
                       : EndsWith(name, kBackupTail)  ? kBackupTail
                                                      : nullptr;
    if (!tail) continue;
    const int64_t owner = OwnerOf(name, tail);
    // Our own are in use or removed by their writers; a live owner's are its work in hand.
    if (owner < 0 || owner == self || ProcessIsAlive(owner)) continue;
    RemoveUnlessHeld(dir + name);
  }
}

void RecoverOutputFolderOnce(const std::string& dir) {
  static std::mutex mutex;
  static std::set<FileIdentity> done;
  const FileIdentity id = IdentityOf(dir.empty() ? "." : dir);
  {
    std::lock_guard lock(mutex);
    if (!done.insert(id).second) return;
  }
  RecoverOutputFolder(dir);
}

}  // namespace plexor
