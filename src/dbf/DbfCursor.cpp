#include "dbf/DbfCursor.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dbf/LocalDbfImpl.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"

namespace plexor {

namespace {

// Large enough that walking a table costs few system calls, small enough to be nothing
// beside the rest of a conversion's buffers.
constexpr size_t kReadWindowSize = 256 * 1024;

constexpr const char* kInvalidRecord = "GetRecord: Invalid record";

}  // namespace

// ---------------------------------------------------------------------------------------------
// The read window

void DbfReadWindow::Prepare(size_t recordLength) {
  buffer_.resize(std::max(kReadWindowSize, recordLength));
}

void DbfReadWindow::Release() {
  fill_ = 0;
  buffer_.clear();
  buffer_.shrink_to_fit();
}

void DbfReadWindow::Read(InputFile& file, int64_t position, size_t n, int64_t floor, bool backwards,
                         unsigned char* out) {
  const auto length = static_cast<int64_t>(n);
  if (position < start_ || position + length > start_ + static_cast<int64_t>(fill_)) {
    // Walking backwards, keep the records before this one in the window instead.
    int64_t start = position;
    if (backwards)
      start = std::max(floor, position + length - static_cast<int64_t>(buffer_.size()));
    fill_ = 0;
    const int64_t got = file.ReadAt(start, buffer_.data(), buffer_.size());
    if (got < 0) throw EReadError(kReadErrorText);
    start_ = start;
    fill_ = static_cast<size_t>(got);
    if (position + length > start_ + got) throw EReadError(kReadErrorText);
  }
  std::memcpy(out, buffer_.data() + (position - start_), n);
}

// ---------------------------------------------------------------------------------------------
// Fetching

void TLocalDbf::Impl::ReadRecord(int32_t index, unsigned char* out, FetchMode direction) {
  const int64_t position = headerLength + int64_t{index} * recordLength;
  const auto n = static_cast<size_t>(recordLength);
  if (!useWindow) {
    if (file.ReadAt(position, out, n) != static_cast<int64_t>(n)) ThrowRecordUnreadable(index);
    return;
  }
  try {
    window.Read(file, position, n, headerLength, direction == FetchMode::Prior, out);
  } catch (const EReadError&) {
    ThrowRecordUnreadable(index);
  }
}

// Records are read while another file is being read too (the conversion reads the .shp
// beside it): the failure names this table and its record, and says when the header counts
// more records than the file holds.
void TLocalDbf::Impl::ThrowRecordUnreadable(int32_t index) const {
  std::string reason = kReadErrorText;
  const int64_t size = file.Size();
  if (size >= 0 && recordLength > 0) {
    const int64_t held = std::max<int64_t>(0, size - headerLength) / recordLength;
    if (held <= index) {
      reason += " (ヘッダーのレコード数は " + std::to_string(HeaderRecordCount()) +
                " 件ですが、ファイルには " + std::to_string(held) + " 件分しかありません)";
    }
  }
  throw ELocalDbfError("DBFファイル \"" + NativeToUtf8(tableName) + "\" のレコード " +
                       std::to_string(int64_t{index} + 1) + " を読めません: " + reason);
}

// Moves the cursor index to the record `mode` asks for, reads it into `buffer` and judges it.
// Next and Prior walk on past hidden records; Current stays and is an error when hidden.
FetchResult TLocalDbf::Impl::FetchRecord(std::vector<unsigned char>& buffer, FetchMode mode,
                                         bool check) {
  const int32_t count = HeaderRecordCount();
  if (count < 1) return FetchResult::AfterLast;
  for (;;) {
    FetchResult result = FetchResult::Ok;
    bool accepted = false;
    switch (mode) {
      case FetchMode::Current:
        if (cursorIndex <= -1)
          result = FetchResult::BeforeFirst;
        else if (cursorIndex >= count)
          result = FetchResult::AfterLast;
        break;
      case FetchMode::Next:
        if (cursorIndex + 1 < count)
          ++cursorIndex;
        else
          result = FetchResult::AfterLast;
        break;
      case FetchMode::Prior:
        if (cursorIndex - 1 > -1)
          --cursorIndex;
        else
          result = FetchResult::BeforeFirst;
        break;
    }
    if (result == FetchResult::Ok) {
      ReadRecord(cursorIndex, buffer.data(), mode);
      accepted = showDeleted || buffer[0] != kDeletedFlag;
      if (accepted) accepted = FilterDecision(buffer.data());
      SetBufferTail(buffer, cursorIndex, kFlagFetched);
    }
    if (mode == FetchMode::Current && !accepted) result = FetchResult::Error;
    if (result == FetchResult::Error && check) throw ELocalDbfError(kInvalidRecord);
    if (result != FetchResult::Ok || accepted) return result;
  }
}

bool TLocalDbf::Impl::FilterDecision(const unsigned char* buffer) {
  if (!filtered || !self.OnFilterRecord) return true;
  const TDataSetState saved = state;
  filterBuffer = buffer;
  state = TDataSetState::dsFilter;
  bool accept = true;
  try {
    self.OnFilterRecord(self, accept);
  } catch (...) {
    state = saved;
    filterBuffer = nullptr;
    throw;
  }
  state = saved;
  filterBuffer = nullptr;
  return accept;
}

// Lands on the record at the cursor, or the next visible one, or the previous one.
void TLocalDbf::Impl::Resync() {
  if (FetchRecord(spare, FetchMode::Current, false) != FetchResult::Ok &&
      FetchRecord(spare, FetchMode::Next, false) != FetchResult::Ok &&
      FetchRecord(spare, FetchMode::Prior, false) != FetchResult::Ok) {
    ClearCurrent();
    return;
  }
  AcceptSpare();
  bof = eof = false;
}

// ---------------------------------------------------------------------------------------------
// The cursor of TLocalDbf

void TLocalDbf::First() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  t.ClearCurrent();
  t.cursorIndex = -1;
  try {
    if (t.FetchRecord(t.spare, FetchMode::Next, true) == FetchResult::Ok) {
      t.AcceptSpare();
      t.eof = false;
    }
  } catch (...) {
    t.bof = true;
    throw;
  }
  t.bof = true;
}

void TLocalDbf::Last() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  t.ClearCurrent();
  t.cursorIndex = t.afterLast;
  try {
    if (t.FetchRecord(t.spare, FetchMode::Prior, true) == FetchResult::Ok) {
      t.AcceptSpare();
      t.bof = false;
    }
  } catch (...) {
    t.eof = true;
    throw;
  }
  t.eof = true;
}

void TLocalDbf::Next() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (t.eof) return;
  t.bof = false;
  t.SyncCursorToCurrent();
  if (t.FetchRecord(t.spare, FetchMode::Next, true) == FetchResult::Ok) {
    t.AcceptSpare();
  } else {
    t.eof = true;
  }
}

void TLocalDbf::Prior() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (t.bof) return;
  t.eof = false;
  t.SyncCursorToCurrent();
  if (t.FetchRecord(t.spare, FetchMode::Prior, true) == FetchResult::Ok) {
    t.AcceptSpare();
  } else {
    t.bof = true;
  }
}

bool TLocalDbf::Bof() const {
  return impl_->bof;
}
bool TLocalDbf::Eof() const {
  return impl_->eof;
}

int32_t TLocalDbf::RecNo() {
  Impl& t = *impl_;
  if (!t.open) return -1;
  if (t.state != TDataSetState::dsFilter) {
    if (t.state == TDataSetState::dsInsert || !t.hasCurrent) return -1;
    t.SyncCursorToCurrent();
  }
  const int32_t count = t.HeaderRecordCount();
  return (t.cursorIndex > -1 && t.cursorIndex < count) ? t.cursorIndex + 1 : -1;
}

void TLocalDbf::SetRecNo(int32_t value) {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (value < 1 || value > t.HeaderRecordCount()) return;
  t.cursorIndex = value - 1;
  t.Resync();
}

int32_t TLocalDbf::RecordCount() const {
  impl_->CheckActive();
  return impl_->HeaderRecordCount();
}

int32_t TLocalDbf::Bookmark() const {
  const Impl& t = *impl_;
  if (!t.open || !t.hasCurrent || t.BufferFlag(t.current) != kFlagFetched) return -1;
  return t.BufferIndex(t.current);
}

void TLocalDbf::GotoBookmark(int32_t bookmark) {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  if (!(bookmark > -1 && bookmark < t.HeaderRecordCount())) {
    throw ELocalDbfError("Bookmark " + std::to_string(bookmark) + " not found");
  }
  t.cursorIndex = bookmark;
  t.FetchRecord(t.spare, FetchMode::Current, true);
  t.AcceptSpare();
  t.bof = t.eof = false;
}

bool TLocalDbf::Filtered() const {
  return impl_->filtered;
}

void TLocalDbf::SetFiltered(bool value) {
  impl_->filtered = value;
  if (impl_->open) Refresh();
}

void TLocalDbf::Refresh() {
  Impl& t = *impl_;
  t.CheckBrowseMode();
  t.SyncCursorToCurrent();
  t.Resync();
}

}  // namespace plexor
