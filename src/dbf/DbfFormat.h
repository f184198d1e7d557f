// The dBASE file layout: the header, the field descriptors, and how each field's bytes hold
// its value. TLocalDbf opens and closes its table here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/localDbf.h"

namespace plexor {

// Header layout (32 bytes at offset 0).
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kHeaderVersion = 0;
inline constexpr size_t kHeaderRecordCount = 4;
inline constexpr size_t kHeaderLength = 8;
inline constexpr size_t kHeaderRecordLength = 10;
inline constexpr size_t kHeaderMdxFlag = 28;

// Field descriptors follow the header up to a terminator byte; records start at the header
// length, which may leave room after the terminator (Visual FoxPro keeps a 263-byte backlink
// to its database container there).
struct DescriptorLayout {
  size_t start;  // offset of the first descriptor in the file
  size_t size;
  size_t nameSize;  // the name starts each descriptor
  size_t type;
  size_t length;
  size_t decimals;
};

// The first byte of every record, and the byte after the last one.
inline constexpr unsigned char kLiveFlag = ' ';
inline constexpr unsigned char kDeletedFlag = '*';
inline constexpr unsigned char kEndOfFile = 0x1A;

// How a field's bytes hold its value. It is decided once at open from the type letter and the
// kind of table, so that reading a field is a single switch.
enum class FieldStorage : uint8_t {
  Text,            // C
  IntegerText,     // N, F without decimals, narrower than 10 digits
  LargeintText,    // N, F without decimals, from 10 digits on
  FloatText,       // N, F with decimals
  DateText,        // D: yyyymmdd
  Logical,         // L
  Int32LE,         // I: two's complement, little-endian
  Int32Ordered,    // I and + of dBASE 7: big-endian with the sign bit flipped
  DoubleLE,        // O, and B of Visual FoxPro
  DoubleOrdered,   // O of dBASE 7: big-endian, sign bit flipped, negatives inverted whole
  JulianDateTime,  // T, and @ outside dBASE 7: Julian day number, then milliseconds (both LE)
  Timestamp7,      // @ of dBASE 7: big-endian double of milliseconds, day 1 = 0001-01-01
};

// Binary fields have no blank: zero bytes are their empty value.
inline bool IsBinary(FieldStorage storage) {
  return storage >= FieldStorage::Int32LE;
}

// Where one field of the list lies in a record and how its bytes hold the value.
struct DbfField {
  int32_t Offset = 0;  // from the record's start; the deletion flag is byte 0
  uint8_t Width = 0;
  uint8_t Decimals = 0;
  FieldStorage Storage = FieldStorage::Text;
};

// The storage of a field, or false for a type this table does not read.
bool StorageOf(char letter, unsigned char width, unsigned char decimalCount, unsigned char version,
               FieldStorage& storage);
TFieldType DataTypeOf(FieldStorage storage);

// Field names compare without regard to the case of ASCII letters; the trail byte of a
// double-byte character is never folded, since many of them fall in the letter range.
void FoldCaseCp932(std::string_view text, std::string& out);
bool SameFieldName(std::string_view a, std::string_view b);

}  // namespace plexor
