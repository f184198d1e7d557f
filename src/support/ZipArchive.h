// Zip archives read where they lie: the central directory, checked as a hostile archive
// calls for, and members inflated by zlib as they are read, never unpacked to disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/Exceptions.h"
#include "support/FileHandle.h"

namespace plexor {

// An archive or a member that cannot be read safely. The text names the archive, and the
// member when one is to blame. Not an EReadError: readers that turn a failed read into "record
// n cannot be read" must let this reason through.
class EArchiveError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// Limits that keep a hostile archive from costing more than a real one. A member is never
// inflated beyond its declared size, so these bound the time and the outputs, not memory.
inline constexpr uint64_t kZipMaxMemberSize = uint64_t{64} << 30;
// Real shapefiles compress 2 to 20 times, a table of blank text a few hundred times; a zip
// bomb aims at deflate's limit of about a thousand.
inline constexpr uint64_t kZipMaxRatio = 500;
// Below this size no ratio matters.
inline constexpr uint64_t kZipRatioFloor = uint64_t{64} << 20;
inline constexpr uint64_t kZipMaxDirectoryBytes = uint64_t{64} << 20;

struct TZipEntry {
  // The member's path: UTF-8, folders joined by '/'. UTF-8 when the archive's flag or an
  // Info-ZIP Unicode path field says so, or when the bytes are valid UTF-8; else code page
  // 932; bytes that neither explains are written %XX.
  std::string Name;
  std::string RawName;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t Size = 0;
  uint64_t HeaderOffset = 0;  // of the local header
  uint64_t DataLimit = 0;     // where the next member or the directory begins
  bool Folder = false;
  std::string Refusal;  // why the member is not read (UTF-8); empty when it can be
};

class TZipDirectory {
 public:
  // Raises EFOpenError when the file cannot be opened, EArchiveError when it is no zip
  // archive that can be read safely (no end record, cut short, members overlapping, ...).
  explicit TZipDirectory(const std::string& archivePath);

  const std::string& ArchivePath() const { return path_; }
  const std::vector<TZipEntry>& Entries() const { return entries_; }
  const TZipEntry* Find(std::string_view name) const;
  // A member whose name differs only in ASCII letter case; the smallest when several do.
  const TZipEntry* FindAnyCase(std::string_view name) const;

 private:
  std::string path_;
  std::vector<TZipEntry> entries_;
};

// The text of a refusal that names the archive and the member.
std::string ZipMemberErrorText(const std::string& archive, const std::string& member,
                               const std::string& reason);

// One member, read at any position. Reads that go forward inflate on from where the last one
// ended; a read a little behind it is served from the last 256 KiB inflated, one further back
// inflates again from the start. Sequential readers pay nothing, and memory stays a few
// hundred KiB for a member of any size. The CRC is checked when the last byte is inflated.
class TZipMemberReader {
 public:
  // Raises EArchiveError for a refused member or a damaged local header.
  TZipMemberReader(const TZipDirectory& directory, const TZipEntry& entry);
  ~TZipMemberReader();
  TZipMemberReader(const TZipMemberReader&) = delete;
  TZipMemberReader& operator=(const TZipMemberReader&) = delete;

  int64_t Size() const { return static_cast<int64_t>(entry_.Size); }
  // Up to n bytes at the position, fewer only at the end. Raises EArchiveError when the data
  // is damaged, cut short, inflates beyond its size or fails its CRC.
  size_t ReadAt(int64_t position, void* buffer, size_t n);
  // Reads what has not been read yet, for the CRC.
  void ReadToEnd();

 private:
  struct Inflater;

  [[noreturn]] void Fail(const std::string& reason) const;
  void ReadStored(uint64_t position, unsigned char* out, size_t n);
  void Restart();
  size_t Inflate(unsigned char* out, size_t want);
  void Step();
  void CheckEnd();
  void TrackCrc(uint64_t position, const unsigned char* data, size_t n);
  void Remember(const unsigned char* data, size_t n);

  std::string archive_;
  TZipEntry entry_;
  FileHandle file_;
  uint64_t dataStart_ = 0;
  std::unique_ptr<Inflater> inflater_;  // deflated members only
  uint64_t outPosition_ = 0;            // bytes inflated so far
  uint64_t crcPosition_ = 0;            // bytes counted into crc_, from the start
  uint32_t crc_ = 0;
  bool checked_ = false;
  std::vector<unsigned char> scratch_;
  std::vector<unsigned char> history_;  // the last bytes inflated, up to outPosition_
};

}  // namespace plexor
