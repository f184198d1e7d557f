#include "support/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "support/ByteStrings.h"
#include "support/Cp932Encoder.h"
#include "support/Endian.h"
#include "support/TextEncoding.h"

namespace plexor {
namespace {

// Record signatures (APPNOTE 4.3), little-endian.
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kEnd64Signature = 0x06064b50;
constexpr uint32_t kEnd64LocatorSignature = 0x07064b50;

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kEnd64Size = 56;
constexpr size_t kEnd64LocatorSize = 20;
constexpr size_t kMaxCommentSize = 0xFFFF;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodAes = 99;
constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraUnicodePath = 0x7075;

constexpr size_t kInputBufferSize = 256 * 1024;
constexpr size_t kScratchSize = 64 * 1024;
// Readers that refill a window from the record that did not fit in the last one step back a
// little: that much of what was inflated last is kept, so they never inflate from the start.
constexpr size_t kHistorySize = 256 * 1024;
// zlib counts in 32-bit units.
constexpr size_t kZlibChunk = size_t{1} << 30;

constexpr const char* kNoEndText =
    "ZIP の終わりのレコードがありません (ZIP ファイルではないか、途中で切れています)";
constexpr const char* kSplitText = "複数のファイルに分けられた ZIP には対応していません";
constexpr const char* kDirectoryPlaceText =
    "中央ディレクトリの位置が合いません (途中で切れているか、壊れています)";
constexpr const char* kDirectoryTooLargeText = "中央ディレクトリが大きすぎます";
constexpr const char* kBrokenDirectoryText = "中央ディレクトリが壊れています";
constexpr const char* kEncryptedText = "暗号化されています";
constexpr const char* kUnsafeNameText = "\"..\" や絶対パスを含む名前です";
constexpr const char* kDuplicateText = "同じ名前のメンバーが複数あります";
constexpr const char* kLocalHeaderText = "ローカルヘッダーが壊れています";
constexpr const char* kCutText = "データが途中で切れています";
constexpr const char* kCrcText = "CRC が合いません (データが壊れています)";
constexpr const char* kBeyondSizeText =
    "中央ディレクトリに書かれたサイズを超えて展開されます (ZIP 爆弾の疑い)";
constexpr const char* kShorterText = "中央ディレクトリに書かれたサイズより短いデータです";

uint32_t GetU32(const unsigned char* p) {
  return static_cast<uint32_t>(GetLE32(p));
}

std::string ArchiveErrorText(const std::string& archive, const std::string& reason) {
  return "ZIP ファイル \"" + NativeToUtf8(archive) + "\" を読めません: " + reason;
}

[[noreturn]] void Refuse(const std::string& archive, const std::string& reason) {
  throw EArchiveError(ArchiveErrorText(archive, reason));
}

bool ReadExact(FileHandle& file, uint64_t position, void* out, size_t n) {
  auto* p = static_cast<unsigned char*>(out);
  size_t done = 0;
  while (done < n) {
    const int64_t got = file.ReadAt(static_cast<int64_t>(position + done), p + done, n - done);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// --- Names -------------------------------------------------------------------------------------

std::string EscapedBytes(std::string_view raw) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : raw) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool IsAscii(std::string_view raw) {
  return std::all_of(raw.begin(), raw.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsWellFormedUtf8(std::string_view raw) {
  return IsAscii(raw) || IsUtf8WithNonAscii(raw);
}

// The Info-ZIP Unicode path field: version 1, the CRC of the header's own name (so a tool
// that renamed the member without updating the field is not believed), the UTF-8 name.
bool UnicodePathField(const unsigned char* extra, size_t size, std::string_view raw,
                      std::string& name) {
  for (size_t at = 0; at + 4 <= size;) {
    const uint16_t id = GetLE16(extra + at);
    const size_t length = GetLE16(extra + at + 2);
    if (at + 4 + length > size) return false;
    const unsigned char* data = extra + at + 4;
    if (id == kExtraUnicodePath && length >= 5 && data[0] == 1) {
      const uint32_t crc = static_cast<uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size())));
      if (GetU32(data + 1) == crc) {
        name.assign(reinterpret_cast<const char*>(data + 5), length - 5);
        return IsWellFormedUtf8(name);
      }
    }
    at += 4 + length;
  }
  return false;
}

// Windows tools that write code page 932 names without the flag are the common case in
// Japan; Info-ZIP on Linux and macOS write UTF-8 without it. UTF-8 is tried first because
// code page 932 text is almost never well-formed UTF-8, while UTF-8 Japanese often reads as
// (wrong) code page 932.
std::string DecodeName(std::string_view raw, uint16_t flags, const unsigned char* extra,
                       size_t extraSize) {
  std::string name;
  if (raw.find('\0') != std::string_view::npos) return EscapedBytes(raw);
  if (flags & kFlagUtf8) {
    name = IsWellFormedUtf8(raw) ? std::string(raw) : EscapedBytes(raw);
  } else if (UnicodePathField(extra, extraSize, raw, name)) {
  } else if (IsWellFormedUtf8(raw)) {
    name = raw;
  } else {
    int64_t undecodable = 0;
    Cp932ToUtf8Exact(raw, name, undecodable);
    if (undecodable > 0) name = EscapedBytes(raw);
  }
  // Some Windows tools separate folders by '\'. Decoded first: in code page 932 it may be
  // the second byte of a character.
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

// A name that would climb out of a folder or start at a root is never used, not even for
// its base name.
bool IsUnsafeName(std::string_view name) {
  if (name.empty() || name.front() == '/') return true;
  if (name.size() >= 2 && name[1] == ':') return true;
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    if (name.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

std::string MemberRefusal(const TZipEntry& e) {
  if ((e.Flags & kFlagEncrypted) || e.Method == kMethodAes) return kEncryptedText;
  if (IsUnsafeName(e.Name)) return kUnsafeNameText;
  if (e.Folder) return {};
  if (e.Method != kMethodStored && e.Method != kMethodDeflated) {
    return "対応していない圧縮方式です (方式 " + std::to_string(e.Method) + ")";
  }
  if (e.Method == kMethodStored && e.CompressedSize != e.Size) return kBrokenDirectoryText;
  if (e.Size > kZipMaxMemberSize) {
    return "展開後のサイズが大きすぎます (" + std::to_string(e.Size) + " バイト)";
  }
  if (e.Size > kZipRatioFloor && e.Size / std::max<uint64_t>(e.CompressedSize, 1) > kZipMaxRatio) {
    return "圧縮率が高すぎます (" +
           std::to_string(e.Size / std::max<uint64_t>(e.CompressedSize, 1)) +
           " 倍; ZIP 爆弾の疑い)";
  }
  return {};
}

// --- The end records -------------------------------------------------------------------------

struct DirectoryPlace {
  uint64_t Entries = 0;
  uint64_t Offset = 0;
  uint64_t Size = 0;
  uint64_t End = 0;  // where the directory must end: the first end record
};

DirectoryPlace FindDirectory(FileHandle& file, const std::string& path) {
  const int64_t size = file.Size();
  if (size < 0) throw EFOpenError(FileOpenErrorText(path, file.LastError()));
  if (static_cast<uint64_t>(size) < kEndSize) Refuse(path, kNoEndText);
  const uint64_t tailSize = std::min<uint64_t>(size, kEndSize + kMaxCommentSize);
  const uint64_t tailStart = static_cast<uint64_t>(size) - tailSize;
  std::vector<unsigned char> tail(tailSize);
  if (!ReadExact(file, tailStart, tail.data(), tail.size())) Refuse(path, kNoEndText);
  // The last end record whose comment reaches the end of the file exactly; a comment may hold
  // the signature's bytes, so the search goes backwards from the end.
  size_t at = tailSize - kEndSize + 1;
  bool found = false;
  while (at-- > 0) {
    if (GetU32(&tail[at]) == kEndSignature && at + kEndSize + GetLE16(&tail[at + 20]) == tailSize) {
      found = true;
      break;
    }
  }
  if (!found) Refuse(path, kNoEndText);
  const unsigned char* end = &tail[at];
  DirectoryPlace d;
  d.Entries = GetLE16(end + 10);
  d.Size = GetU32(end + 12);
  d.Offset = GetU32(end + 16);
  d.End = tailStart + at;
  const bool disks = GetLE16(end + 4) != 0 || GetLE16(end + 6) != 0;

  // Zip64: a locator just before the end record points at the 64-bit end record.
  if (d.End >= kEnd64LocatorSize) {
    unsigned char locator[kEnd64LocatorSize];
    if (ReadExact(file, d.End - kEnd64LocatorSize, locator, sizeof locator) &&
        GetU32(locator) == kEnd64LocatorSignature) {
      const uint64_t recordAt = GetLE64(locator + 8);
      unsigned char record[kEnd64Size];
      if (GetU32(locator + 4) != 0 || GetU32(locator + 16) > 1) Refuse(path, kSplitText);
      if (recordAt + kEnd64Size > d.End - kEnd64LocatorSize ||
          !ReadExact(file, recordAt, record, sizeof record) || GetU32(record) != kEnd64Signature) {
        Refuse(path, kDirectoryPlaceText);
      }
      if (GetU32(record + 16) != 0 || GetU32(record + 20) != 0) Refuse(path, kSplitText);
      d.Entries = GetLE64(record + 32);
      d.Size = GetLE64(record + 40);
      d.Offset = GetLE64(record + 48);
      d.End = recordAt;
      return d;
    }
  }
  if (disks) Refuse(path, kSplitText);
  return d;
}

// --- Central headers ---------------------------------------------------------------------------

// offset 0: signature | 8: flags | 10: method | 16: CRC | 20: compressed size | 24: size
// | 28: name length | 30: extra length | 32: comment length | 34: disk | 42: local header
TZipEntry ReadCentralHeader(const std::string& path, const unsigned char* h, size_t room,
                            size_t& length) {
  if (room < kCentralHeaderSize || GetU32(h) != kCentralHeaderSignature) {
    Refuse(path, kBrokenDirectoryText);
  }
  const size_t nameSize = GetLE16(h + 28);
  const size_t extraSize = GetLE16(h + 30);
  const size_t commentSize = GetLE16(h + 32);
  length = kCentralHeaderSize + nameSize + extraSize + commentSize;
  if (length > room) Refuse(path, kBrokenDirectoryText);
  TZipEntry e;
  e.Flags = GetLE16(h + 8);
  e.Method = GetLE16(h + 10);
  e.Crc = GetU32(h + 16);
  e.CompressedSize = GetU32(h + 20);
  e.Size = GetU32(h + 24);
  e.HeaderOffset = GetU32(h + 42);
  const unsigned char* name = h + kCentralHeaderSize;
  const unsigned char* extra = name + nameSize;
  e.RawName.assign(reinterpret_cast<const char*>(name), nameSize);

  // Zip64 field: the 64-bit values of exactly those fields that hold all ones, in this order.
  for (size_t at = 0; at + 4 <= extraSize;) {
    const uint16_t id = GetLE16(extra + at);
    const size_t size = GetLE16(extra + at + 2);
    if (at + 4 + size > extraSize) break;
    if (id == kExtraZip64) {
      const unsigned char* v = extra + at + 4;
      size_t left = size;
      for (uint64_t* field : {&e.Size, &e.CompressedSize, &e.HeaderOffset}) {
        if (*field != 0xFFFFFFFFu) continue;
        if (left < 8) Refuse(path, kBrokenDirectoryText);
        *field = GetLE64(v);
        v += 8;
        left -= 8;
      }
    }
    at += 4 + size;
  }
  e.Name = DecodeName(e.RawName, e.Flags, extra, extraSize);
  e.Folder = !e.Name.empty() && e.Name.back() == '/';
  return e;
}

std::string Shown(const TZipEntry& e) {
  return "\"" + e.Name + "\"";
}

// Every member's local header and data must lie between its own offset and the next
// member's, and all of them before the directory. Overlapping members are how a small
// archive claims terabytes; they are refused for the whole archive, which cannot be trusted.
void CheckPlaces(const std::string& path, std::vector<TZipEntry>& entries, uint64_t directory) {
  std::vector<TZipEntry*> byOffset;
  for (TZipEntry& e : entries) byOffset.push_back(&e);
  std::sort(byOffset.begin(), byOffset.end(), [](const TZipEntry* a, const TZipEntry* b) {
    return a->HeaderOffset < b->HeaderOffset;
  });
  for (size_t i = 0; i < byOffset.size(); ++i) {
    TZipEntry& e = *byOffset[i];
    const uint64_t limit = i + 1 < byOffset.size() ? byOffset[i + 1]->HeaderOffset : directory;
    e.DataLimit = limit;
    // The local name has the central one's length in any archive a tool wrote; the local
    // extra field may differ, and is checked when the member is opened.
    const uint64_t least = kLocalHeaderSize + e.RawName.size();
    if (e.HeaderOffset > directory || e.CompressedSize > directory ||
        limit - e.HeaderOffset < least || limit - e.HeaderOffset - least < e.CompressedSize) {
      if (i + 1 < byOffset.size()) {
        Refuse(path, "メンバー " + Shown(e) + " と " + Shown(*byOffset[i + 1]) +
                         " のデータが重なっています");
      }
      Refuse(path, "メンバー " + Shown(e) + " のデータが途中で切れているか、中央ディレクトリと" +
                       "重なっています");
    }
  }
}

void MarkDuplicates(std::vector<TZipEntry>& entries) {
  std::vector<TZipEntry*> byName;
  for (TZipEntry& e : entries) byName.push_back(&e);
  std::sort(byName.begin(), byName.end(),
            [](const TZipEntry* a, const TZipEntry* b) { return a->Name < b->Name; });
  for (size_t i = 1; i < byName.size(); ++i) {
    if (byName[i]->Name == byName[i - 1]->Name && !byName[i]->Folder) {
      // Which one another tool would take is not known: neither is used.
      for (TZipEntry* e : {byName[i], byName[i - 1]}) {
        if (e->Refusal.empty()) e->Refusal = kDuplicateText;
      }
    }
  }
}

}  // namespace

std::string ZipMemberErrorText(const std::string& archive, const std::string& member,
                               const std::string& reason) {
  return "ZIP ファイル \"" + NativeToUtf8(archive) + "\" の \"" + member +
         "\" を読めません: " + reason;
}

TZipDirectory::TZipDirectory(const std::string& archivePath) : path_(archivePath) {
  FileHandle file;
  if (!file.OpenRead(path_)) throw EFOpenError(FileOpenErrorText(path_, file.LastError()));
  const DirectoryPlace place = FindDirectory(file, path_);
  if (place.Offset > place.End || place.Size != place.End - place.Offset) {
    Refuse(path_, kDirectoryPlaceText);
  }
  if (place.Size > kZipMaxDirectoryBytes) Refuse(path_, kDirectoryTooLargeText);
  // Each header takes at least 46 bytes: a count beyond that is a lie, refused before any
  // room is made for it.
  if (place.Entries > place.Size / kCentralHeaderSize) Refuse(path_, kBrokenDirectoryText);
  std::vector<unsigned char> directory(static_cast<size_t>(place.Size));
  if (!ReadExact(file, place.Offset, directory.data(), directory.size())) {
    Refuse(path_, kDirectoryPlaceText);
  }
  entries_.reserve(static_cast<size_t>(place.Entries));
  size_t at = 0;
  for (uint64_t i = 0; i < place.Entries; ++i) {
    size_t length = 0;
    entries_.push_back(
        ReadCentralHeader(path_, directory.data() + at, directory.size() - at, length));
    at += length;
  }
  CheckPlaces(path_, entries_, place.Offset);
  for (TZipEntry& e : entries_) e.Refusal = MemberRefusal(e);
  MarkDuplicates(entries_);
}

const TZipEntry* TZipDirectory::Find(std::string_view name) const {
  for (const TZipEntry& e : entries_) {
    if (e.Name == name) return &e;
  }
  return nullptr;
}

const TZipEntry* TZipDirectory::FindAnyCase(std::string_view name) const {
  if (const TZipEntry* exact = Find(name)) return exact;
  const TZipEntry* found = nullptr;
  for (const TZipEntry& e : entries_) {
    if (SameTextAscii(e.Name, name) && (!found || e.Name < found->Name)) found = &e;
  }
  return found;
}

// --- Members -----------------------------------------------------------------------------------

struct TZipMemberReader::Inflater {
  z_stream stream{};
  std::vector<unsigned char> input = std::vector<unsigned char>(kInputBufferSize);
  uint64_t consumed = 0;  // compressed bytes handed to zlib
  bool ended = false;     // zlib saw the end of the deflate stream
  Inflater() {
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
  }
  ~Inflater() { inflateEnd(&stream); }
};

TZipMemberReader::TZipMemberReader(const TZipDirectory& directory, const TZipEntry& entry)
    : archive_(directory.ArchivePath()), entry_(entry) {
  if (!entry_.Refusal.empty()) Fail(entry_.Refusal);
  if (!file_.OpenRead(archive_)) throw EFOpenError(FileOpenErrorText(archive_, file_.LastError()));
  // offset 0: signature | 6: flags | 26: name length | 28: extra length
  unsigned char h[kLocalHeaderSize];
  if (!ReadExact(file_, entry_.HeaderOffset, h, sizeof h) || GetU32(h) != kLocalHeaderSignature) {
    Fail(kLocalHeaderText);
  }
  if (GetLE16(h + 6) & kFlagEncrypted) Fail(kEncryptedText);
  dataStart_ = entry_.HeaderOffset + kLocalHeaderSize + GetLE16(h + 26) + GetLE16(h + 28);
  if (dataStart_ > entry_.DataLimit || entry_.DataLimit - dataStart_ < entry_.CompressedSize) {
    Fail(kCutText);
  }
  if (entry_.Method == kMethodDeflated) inflater_ = std::make_unique<Inflater>();
  scratch_.resize(kScratchSize);
}

TZipMemberReader::~TZipMemberReader() = default;

void TZipMemberReader::Fail(const std::string& reason) const {
  throw EArchiveError(ZipMemberErrorText(archive_, entry_.Name, reason));
}

size_t TZipMemberReader::ReadAt(int64_t position, void* buffer, size_t n) {
  if (position < 0 || static_cast<uint64_t>(position) >= entry_.Size) return 0;
  const auto at = static_cast<uint64_t>(position);
  n = static_cast<size_t>(std::min<uint64_t>(n, entry_.Size - at));
  auto* out = static_cast<unsigned char*>(buffer);
  if (!inflater_) {
    ReadStored(at, out, n);
    return n;
  }
  size_t done = 0;
  if (at < outPosition_) {
    const uint64_t kept = history_.size();
    if (at >= outPosition_ - kept) {
      const size_t from = static_cast<size_t>(at - (outPosition_ - kept));
      done = std::min(n, static_cast<size_t>(kept - from));
      std::memcpy(out, history_.data() + from, done);
    } else {
      Restart();
    }
  }
  while (outPosition_ < at) {
    Inflate(scratch_.data(),
            static_cast<size_t>(std::min<uint64_t>(scratch_.size(), at - outPosition_)));
  }
  while (done < n) done += Inflate(out + done, n - done);
  return n;
}

void TZipMemberReader::ReadToEnd() {
  while (!checked_) {
    const uint64_t from = inflater_ ? outPosition_ : crcPosition_;
    if (from >= entry_.Size) {
      CheckEnd();
      break;
    }
    ReadAt(static_cast<int64_t>(from), scratch_.data(), scratch_.size());
  }
}

void TZipMemberReader::ReadStored(uint64_t position, unsigned char* out, size_t n) {
  if (!ReadExact(file_, dataStart_ + position, out, n)) Fail(kCutText);
  TrackCrc(position, out, n);
  if (crcPosition_ == entry_.Size) CheckEnd();
}

void TZipMemberReader::Restart() {
  inflateReset(&inflater_->stream);
  inflater_->stream.avail_in = 0;
  inflater_->consumed = 0;
  inflater_->ended = false;
  outPosition_ = 0;
  crcPosition_ = 0;
  crc_ = 0;
  history_.clear();
}

void TZipMemberReader::Remember(const unsigned char* data, size_t n) {
  if (n >= kHistorySize) {
    history_.assign(data + (n - kHistorySize), data + n);
    return;
  }
  const size_t keep = std::min(history_.size(), kHistorySize - n);
  history_.erase(history_.begin(), history_.end() - static_cast<std::ptrdiff_t>(keep));
  history_.insert(history_.end(), data, data + n);
}

// One call of zlib, with the input topped up from the member's compressed bytes.
void TZipMemberReader::Step() {
  Inflater& z = *inflater_;
  if (z.stream.avail_in == 0) {
    const uint64_t left = entry_.CompressedSize - z.consumed;
    if (left == 0) Fail(kCutText);
    const size_t take = static_cast<size_t>(std::min<uint64_t>(left, z.input.size()));
    if (!ReadExact(file_, dataStart_ + z.consumed, z.input.data(), take)) Fail(kCutText);
    z.consumed += take;
    z.stream.next_in = z.input.data();
    z.stream.avail_in = static_cast<uInt>(take);
  }
  const uInt inBefore = z.stream.avail_in;
  const uInt outBefore = z.stream.avail_out;
  const int rc = inflate(&z.stream, Z_NO_FLUSH);
  if (rc == Z_STREAM_END) {
    z.ended = true;
  } else if (rc == Z_MEM_ERROR) {
    throw std::bad_alloc();
  } else if ((rc != Z_OK && rc != Z_BUF_ERROR) ||
             (z.stream.avail_in == inBefore && z.stream.avail_out == outBefore)) {
    Fail(std::string("圧縮データが壊れています (zlib: ") +
         (z.stream.msg ? z.stream.msg : "進みません") + ")");
  }
}

// Inflates up to `want` bytes (never past the declared size) and returns how many came.
size_t TZipMemberReader::Inflate(unsigned char* out, size_t want) {
  Inflater& z = *inflater_;
  want = static_cast<size_t>(std::min<uint64_t>({want, entry_.Size - outPosition_, kZlibChunk}));
  z.stream.next_out = out;
  z.stream.avail_out = static_cast<uInt>(want);
  while (z.stream.avail_out > 0 && !z.ended) Step();
  const size_t produced = want - z.stream.avail_out;
  TrackCrc(outPosition_, out, produced);
  Remember(out, produced);
  outPosition_ += produced;
  if (outPosition_ == entry_.Size) {
    CheckEnd();
  } else if (produced < want) {
    Fail(kShorterText);
  }
  return produced;
}

// At the declared size the deflate stream must end there, and the bytes must be the ones
// the CRC was taken of.
void TZipMemberReader::CheckEnd() {
  if (checked_) return;
  if (inflater_) {
    Inflater& z = *inflater_;
    unsigned char extra = 0;
    while (!z.ended) {
      z.stream.next_out = &extra;
      z.stream.avail_out = 1;
      Step();
      if (z.stream.avail_out == 0) Fail(kBeyondSizeText);
    }
  }
  if (crcPosition_ == entry_.Size && crc_ != entry_.Crc) Fail(kCrcText);
  checked_ = true;
}

void TZipMemberReader::TrackCrc(uint64_t position, const unsigned char* data, size_t n) {
  // Only a run that continues from the start counts; a stored member read out of order is
  // counted again when ReadToEnd reads it in order.
  if (position != crcPosition_) return;
  for (size_t done = 0; done < n;) {
    const size_t take = std::min(n - done, kZlibChunk);
    crc_ = static_cast<uint32_t>(crc32(crc_, data + done, static_cast<uInt>(take)));
    done += take;
  }
  crcPosition_ += n;
}

}  // namespace plexor
