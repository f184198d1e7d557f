// The state behind a TLocalDbf, shared by the units that implement it: DbfFormat opens and
// closes, DbfCursor fetches, DbfFieldValues reads fields, DbfWriting changes records and
// DbfLocate searches. Private to src/dbf.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dbf/DbfCursor.h"
#include "dbf/DbfFormat.h"
#include "dbf/localDbf.h"
#include "support/Endian.h"
#include "support/Exceptions.h"
#include "support/InputFile.h"
#include "support/RegionalSettings.h"

namespace plexor {

inline constexpr const char* kDataSetClosed =
    "データセットは閉じているため, この操作は実行できません";
inline constexpr const char* kDataSetReadOnly = "データセットはリードオンリーです";

// Every record buffer is the record image followed by a tail: the record's index in the file
// and a flag that tells a fetched record from one being appended.
inline constexpr size_t kBufferIndexOffset = 0;  // relative to the record length
inline constexpr size_t kBufferFlagOffset = 4;
inline constexpr size_t kBufferTail = 8;
inline constexpr unsigned char kFlagFetched = 0;
// A buffer prepared by Append; any value but 0 keeps it apart from fetched records.
inline constexpr unsigned char kFlagAppended = 2;

[[noreturn]] inline void ThrowClosed() {
  throw EDatabaseError(kDataSetClosed);
}

struct TLocalDbf::Impl {
  explicit Impl(TLocalDbf& owner) : self(owner) {}

  TLocalDbf& self;

  // -- Properties ------------------------------------------------------------------------------

  std::string tableName;
  bool readOnly = false;
  bool locateNext = false;
  bool showDeleted = false;
  bool readAhead = false;
  bool skipUnsupported = false;
  bool filtered = false;
  RegionalSettings regional;

  // -- The open file (DbfFormat) ---------------------------------------------------------------

  InputFile file;
  bool open = false;
  std::array<unsigned char, kHeaderSize> header{};
  int64_t headerLength = 0;
  int64_t recordLength = 0;
  // One entry each per field of the list (skipped fields have none).
  std::vector<TFieldDef> defs;
  std::vector<DbfField> fields;
  std::vector<std::string> skippedFields;

  void Open();
  void ReadLayout();
  // Fails the open with the reason, naming the table's file.
  [[noreturn]] void Refuse(const std::string& reason) const;
  int64_t ReadFieldDescriptors(const DescriptorLayout& layout);
  void Close();
  int32_t HeaderRecordCount() const { return GetLE32(header.data() + kHeaderRecordCount); }

  // -- The cursor (DbfCursor) ------------------------------------------------------------------

  TDataSetState state = TDataSetState::dsInactive;
  bool bof = true;
  bool eof = true;
  int32_t cursorIndex = -1;
  int32_t afterLast = 0;
  // The current record's buffer, and a second one that fetches land in before they are
  // accepted, so a failed move leaves the current record untouched.
  std::vector<unsigned char> current;
  std::vector<unsigned char> spare;
  bool hasCurrent = false;
  const unsigned char* filterBuffer = nullptr;  // the record OnFilterRecord is judging
  // Used while the file is held exclusively (nobody else can change the bytes under it, and
  // this table's own writes empty it) or when a reader asks for read-ahead.
  DbfReadWindow window;
  bool useWindow = false;

  void ReadRecord(int32_t index, unsigned char* out, FetchMode direction);
  [[noreturn]] void ThrowRecordUnreadable(int32_t index) const;
  FetchResult FetchRecord(std::vector<unsigned char>& buffer, FetchMode mode, bool check);
  bool FilterDecision(const unsigned char* buffer);
  void Resync();

  int32_t BufferIndex(const std::vector<unsigned char>& b) const {
    return GetLE32(b.data() + recordLength + kBufferIndexOffset);
  }
  unsigned char BufferFlag(const std::vector<unsigned char>& b) const {
    return b[static_cast<size_t>(recordLength) + kBufferFlagOffset];
  }
  void SetBufferTail(std::vector<unsigned char>& b, int32_t index, unsigned char flag) {
    PutLE32(b.data() + recordLength + kBufferIndexOffset, index);
    b[static_cast<size_t>(recordLength) + kBufferFlagOffset] = flag;
  }
  void SyncCursorToCurrent() {
    if (hasCurrent && BufferFlag(current) == kFlagFetched) cursorIndex = BufferIndex(current);
  }
  void ClearCurrent() {
    hasCurrent = false;
    bof = eof = true;
  }
  void AcceptSpare() {
    std::swap(current, spare);
    hasCurrent = true;
  }

  void CheckActive() const {
    if (!open) ThrowClosed();
  }
  // Leaves an edit or append the way a move does: posted when a field changed, else dropped.
  void CheckBrowseMode() {
    CheckActive();
    if (state == TDataSetState::dsEdit || state == TDataSetState::dsInsert) {
      if (modified)
        Post();
      else
        Cancel();
    }
  }

  // -- Field values (DbfFieldValues) -----------------------------------------------------------

  // The record whose fields are read: the one being judged inside OnFilterRecord, else the
  // current one; none on a closed or empty table.
  const unsigned char* RecordForReading() const {
    if (state == TDataSetState::dsFilter) return filterBuffer;
    if (!open || !hasCurrent) return nullptr;
    return current.data();
  }
  void CheckFieldIndex(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= defs.size()) ThrowBadFieldIndex(index);
  }
  [[noreturn]] static void ThrowBadFieldIndex(int index);

  // -- Changing records (DbfWriting) -----------------------------------------------------------

  bool modified = false;  // a field was stored since Edit or Append

  void CheckWritable() const {
    CheckActive();
    if (readOnly) throw ELocalDbfError(kDataSetReadOnly);
  }
  void CheckEditing() const;
  void StoreFieldValue(int index, const TDbfValue& value);
  void Post();
  void Cancel();
  void Delete();
  void WriteRecord(const unsigned char* buffer, int32_t index);
  void AppendRecord(const unsigned char* buffer);
  void WriteHeader();
  void WriteOrFail(int64_t position, const void* data, size_t n);

  // -- Locate (DbfLocate) ----------------------------------------------------------------------

  bool Locate(std::string_view keyFields, const std::vector<TDbfValue>& keyValues,
              TLocateOptions options);
};

}  // namespace plexor
