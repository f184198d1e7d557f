#include "dbf/DbfFormat.h"

#include <cstring>
#include <utility>

#include "dbf/LocalDbfImpl.h"
#include "support/ByteStrings.h"
#include "support/Exceptions.h"

namespace plexor {

namespace {

// dBASE III and IV, Visual FoxPro: 32-byte descriptors from offset 32.
constexpr DescriptorLayout kDescriptors3 = {32, 32, 11, 11, 16, 17};
// dBASE 7: a 32-byte language driver name and 4 reserved bytes lengthen the header to 68;
// descriptors have 48 bytes with a 32-byte name.
constexpr DescriptorLayout kDescriptors7 = {68, 48, 32, 32, 33, 34};
constexpr unsigned char kDescriptorTerminator = 0x0D;

// From this width on, an N field without decimals can hold values beyond 32 bits.
constexpr unsigned char kLargeintWidth = 10;

constexpr const char* kTableNotFound = "テーブルが見つかりません";
constexpr const char* kBadVersion = "このバージョンのDBFには対応してません";
constexpr const char* kMdxNeedsReadOnly = "mdxのあるDBFはreadOnlyでしかオープンできません";
constexpr const char* kUnsupportedFieldType = "対応していないフィールド型です。";
constexpr const char* kBrokenHeader = "DBFのヘッダーが壊れています。";

// Visual FoxPro writes these version bytes; its B fields of 8 bytes hold doubles.
bool IsVisualFoxPro(unsigned char version) {
  return version >= 0x30 && version <= 0x32;
}
// dBASE 7 tables, without and with a memo file.
bool IsDbase7(unsigned char version) {
  return version == 0x04 || version == 0x8C;
}

std::string HexByte(unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  return std::string{'0', 'x', kHex[c >> 4], kHex[c & 15]};
}

// A type letter as people read it: a control or non-ASCII byte would vanish in a message.
std::string LetterText(char letter) {
  const auto c = static_cast<unsigned char>(letter);
  if (c > 32 && c < 127) return std::string(1, letter);
  return HexByte(c);
}

// A refused open names the table's file and the check that failed: the message is often
// shown far from the open, on a batch row or after other sources of one command.
std::string RefusalText(const std::string& path, const std::string& reason) {
  return "DBFファイル \"" + NativeToUtf8(path) + "\" を開けません: " + reason;
}

std::string Bytes(int64_t n) {
  return std::to_string(n) + " バイト";
}

}  // namespace

// Binary fields must have their exact width, or reading them would take bytes of the next
// field.
bool StorageOf(char letter, unsigned char width, unsigned char decimalCount, unsigned char version,
               FieldStorage& storage) {
  const bool dbase7 = IsDbase7(version);
  switch (letter) {
    case 'C':
      storage = FieldStorage::Text;
      return true;
    case 'N':
    case 'F':
      // Ten digits no longer fit in 32 bits; such a field keeps its digits as a wide integer.
      if (decimalCount != 0)
        storage = FieldStorage::FloatText;
      else if (width >= kLargeintWidth)
        storage = FieldStorage::LargeintText;
      else
        storage = FieldStorage::IntegerText;
      return true;
    case 'D':
      storage = FieldStorage::DateText;
      return true;
    case 'L':
      storage = FieldStorage::Logical;
      return true;
    case 'I':
      storage = dbase7 ? FieldStorage::Int32Ordered : FieldStorage::Int32LE;
      return width == 4;
    case '+':
      storage = FieldStorage::Int32Ordered;
      return dbase7 && width == 4;
    case 'O':
      storage = dbase7 ? FieldStorage::DoubleOrdered : FieldStorage::DoubleLE;
      return width == 8;
    case 'B':
      // Elsewhere B is a block number in a memo file.
      storage = FieldStorage::DoubleLE;
      return IsVisualFoxPro(version) && width == 8;
    case 'T':
      storage = FieldStorage::JulianDateTime;
      return width == 8;
    case '@':
      // Outside dBASE 7, @ comes from xBase tools that write it the way T is written.
      storage = dbase7 ? FieldStorage::Timestamp7 : FieldStorage::JulianDateTime;
      return width == 8;
    default:
      return false;
  }
}

TFieldType DataTypeOf(FieldStorage storage) {
  switch (storage) {
    case FieldStorage::Text:
      return TFieldType::ftString;
    case FieldStorage::IntegerText:
    case FieldStorage::Int32LE:
    case FieldStorage::Int32Ordered:
      return TFieldType::ftInteger;
    case FieldStorage::LargeintText:
      return TFieldType::ftLargeint;
    case FieldStorage::FloatText:
    case FieldStorage::DoubleLE:
    case FieldStorage::DoubleOrdered:
      return TFieldType::ftFloat;
    case FieldStorage::DateText:
    case FieldStorage::JulianDateTime:
    case FieldStorage::Timestamp7:
      return TFieldType::ftDate;
    case FieldStorage::Logical:
      return TFieldType::ftBoolean;
  }
  return TFieldType::ftUnknown;
}

void FoldCaseCp932(std::string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (IsCp932LeadByte(c) && i + 1 < text.size()) {
      out.push_back(text[i]);
      out.push_back(text[++i]);
    } else {
      out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : text[i]);
    }
  }
}

bool SameFieldName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::string fa, fb;
  FoldCaseCp932(a, fa);
  FoldCaseCp932(b, fb);
  return fa == fb;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TLocalDbf::Impl::Open() {
  if (open) return;
  if (!InputFileExists(tableName)) Refuse(kTableNotFound);

  InputFile handle;
  const bool opened = readOnly ? handle.OpenRead(tableName) : handle.OpenReadWrite(tableName);
  // A writable table is the file's only user while it is open; a read-only one lets other
  // readers in, and also writers that do not ask for a lock.
  if (!opened || !handle.Lock(readOnly ? FileLock::Shared : FileLock::Exclusive)) {
    throw EFOpenError(FileOpenErrorText(tableName, handle.LastError()));
  }
  file = std::move(handle);
  try {
    ReadLayout();
  } catch (...) {
    file.Close();
    throw;
  }

  cursorIndex = -1;
  afterLast = HeaderRecordCount();
  const auto bufferSize = static_cast<size_t>(recordLength) + kBufferTail;
  current.assign(bufferSize, 0);
  spare.assign(bufferSize, 0);
  hasCurrent = false;
  useWindow = !readOnly || readAhead;
  window.Forget();
  if (useWindow) window.Prepare(static_cast<size_t>(recordLength));
  open = true;
  state = TDataSetState::dsBrowse;
  modified = false;
  bof = eof = true;

  try {
    self.First();
  } catch (...) {
    // A table whose first record cannot be read is not left half open holding the file.
    Close();
    throw;
  }
}

void TLocalDbf::Impl::Refuse(const std::string& reason) const {
  throw ELocalDbfError(RefusalText(tableName, reason));
}

// The header and the field list of the file just opened, refused when this table cannot read
// them.
void TLocalDbf::Impl::ReadLayout() {
  const int64_t got = file.ReadAt(0, header.data(), kHeaderSize);
  if (got < 0) Refuse(std::string(kReadErrorText) + " (" + file.LastError() + ")");
  if (got != static_cast<int64_t>(kHeaderSize)) {
    Refuse(std::string(kReadErrorText) + " (ヘッダーに " + Bytes(kHeaderSize) +
           "必要ですが、ファイルは " + Bytes(got) + "です)");
  }

  // dBASE IV SQL tables and their kin (versions 3 to 5 with every bit inverted) use layouts
  // this table does not read.
  const unsigned char version = header[kHeaderVersion];
  const unsigned inverted = static_cast<unsigned char>(~version);
  if (inverted >= 3 && inverted <= 5) {
    Refuse(std::string(kBadVersion) + " (バージョン " + HexByte(version) + ")");
  }
  if (header[kHeaderMdxFlag] != 0 && !readOnly) Refuse(kMdxNeedsReadOnly);

  const DescriptorLayout& layout = IsDbase7(version) ? kDescriptors7 : kDescriptors3;
  headerLength = GetLE16(header.data() + kHeaderLength);
  recordLength = GetLE16(header.data() + kHeaderRecordLength);
  // A table without fields and records holds nothing to misread: other readers open it even
  // with no room for a terminator or a deletion flag, and so does a conversion. A table that
  // may be written needs both.
  const bool holdsNothing = readOnly && HeaderRecordCount() == 0;
  const auto shortest = static_cast<int64_t>(layout.start) + (holdsNothing ? 0 : 1);
  if (headerLength < shortest) {
    Refuse(std::string(kBrokenHeader) + " ヘッダー長 " + Bytes(headerLength) + "は最小の " +
           Bytes(shortest) + "に足りません");
  }
  if (HeaderRecordCount() < 0) {
    Refuse(std::string(kBrokenHeader) + " レコード数が負の値です (" +
           std::to_string(HeaderRecordCount()) + ")");
  }

  // Every field must lie inside the record, or reading it would run into the next one.
  const int64_t needed = ReadFieldDescriptors(layout);
  const bool noFields = needed == 1;  // the deletion flag alone
  if (needed > recordLength && !(holdsNothing && noFields)) {
    Refuse(std::string(kBrokenHeader) + " フィールドに " + Bytes(needed) +
           "必要ですが、レコード長は " + Bytes(recordLength) + "です");
  }

  // A name met twice would make a search by name ambiguous, so a table that may be written
  // refuses it; a read-only one hands both on, and the conversion tells them apart.
  if (readOnly) return;
  for (size_t i = 0; i < defs.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (SameFieldName(defs[i].FieldName, defs[j].FieldName)) {
        throw EDatabaseError(RefusalText(tableName, "項目名 '" + Cp932ToUtf8(defs[i].FieldName) +
                                                        "' が重複しています (フィールド " +
                                                        std::to_string(defs[j].FieldNo) + " と " +
                                                        std::to_string(defs[i].FieldNo) + ")"));
      }
    }
  }
}

// Reads the descriptors up to the terminator or the end of the header and returns where the
// last field ends in the record, skipped fields included.
int64_t TLocalDbf::Impl::ReadFieldDescriptors(const DescriptorLayout& layout) {
  defs.clear();
  fields.clear();
  skippedFields.clear();
  const unsigned char version = header[kHeaderVersion];

  // The descriptor area is read in one piece (at most 64 KiB, as the header length is 16-bit);
  // a file that ends among the descriptors is cut short.
  std::vector<unsigned char> area(static_cast<size_t>(headerLength) - layout.start);
  const int64_t got = file.ReadAt(static_cast<int64_t>(layout.start), area.data(), area.size());
  if (got < 0) Refuse(std::string(kReadErrorText) + " (" + file.LastError() + ")");
  const auto available = static_cast<size_t>(got);
  auto cut = [&] {
    Refuse(std::string(kReadErrorText) + " (ヘッダー長は " + Bytes(headerLength) +
           "ですが、ファイルは " + Bytes(static_cast<int64_t>(layout.start + available)) + "です)");
  };

  int32_t offset = 1;
  int32_t descriptorNo = 0;
  for (size_t at = 0; at + layout.size <= area.size(); at += layout.size) {
    if (at >= available) cut();
    if (area[at] == kDescriptorTerminator) break;
    if (at + layout.size > available) cut();
    const unsigned char* d = area.data() + at;
    const char letter = static_cast<char>(d[layout.type]);
    const unsigned char length = d[layout.length];
    const unsigned char decimalCount = d[layout.decimals];
    const auto* name = reinterpret_cast<const char*>(d);
    std::string fieldName(name, strnlen(name, layout.nameSize));
    ++descriptorNo;

    FieldStorage storage;
    // Visual FoxPro keeps the null flags of its nullable columns in a hidden field of its
    // own: no user data, so it is left out without a word.
    if (letter == '0' && SameTextAscii(fieldName, "_NullFlags")) {
      offset += length;
      continue;
    }
    if (!StorageOf(letter, length, decimalCount, version, storage)) {
      if (!skipUnsupported) {
        Refuse(std::string(kUnsupportedFieldType) + " (フィールド \"" + Cp932ToUtf8(fieldName) +
               "\" 型 " + LetterText(letter) + ")");
      }
      skippedFields.push_back(fieldName + " (" + LetterText(letter) + ")");
      offset += length;
      continue;
    }

    TFieldDef def;
    def.DataType = DataTypeOf(storage);
    if (def.DataType == TFieldType::ftString || def.DataType == TFieldType::ftLargeint) {
      def.Size = length;
    }
    def.FieldName = std::move(fieldName);
    def.Required = false;
    def.FieldNo = descriptorNo;
    defs.push_back(std::move(def));
    fields.push_back({offset, length, decimalCount, storage});
    offset += length;
  }
  return offset;
}

void TLocalDbf::Impl::Close() {
  if (!open) return;
  state = TDataSetState::dsInactive;
  open = false;
  hasCurrent = false;
  bof = eof = true;
  modified = false;
  window.Release();
  file.Close();
}

}  // namespace plexor
