// Writes .dbf tables byte by byte for the tests: header, field descriptors, records with
// their deletion flags, the end marker, and the damaged variants met in the wild.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plexor::test {

class DbfBuilder {
 public:
  DbfBuilder& Version(uint8_t version) {
    version_ = version;
    return *this;
  }
  DbfBuilder& MdxFlag(uint8_t flag) {
    mdx_ = flag;
    return *this;
  }
  // The name is written as given (up to 11 bytes, NUL-padded); type letter, length, decimals.
  // After Version(0x04) or Version(0x8C) the descriptor has the 48 bytes of dBASE 7 (a name of
  // up to 32 bytes), and the header grows by the 36 bytes of the language driver name.
  DbfBuilder& Field(const std::string& name, char type, int length, int decimals = 0);
  // A descriptor of exactly these 32 (or, for dBASE 7, 48) bytes.
  DbfBuilder& RawDescriptor(const std::string& bytes);
  // Every descriptor's data address (offset 12), which readers must ignore.
  DbfBuilder& DataAddress(uint32_t address) {
    dataAddress_ = address;
    return *this;
  }

  // One value text per field, padded to the field length (N and F with blanks on the left, the
  // binary I + O T @ with zeros, everything else with blanks on the right) or cut to it.
  DbfBuilder& Record(const std::vector<std::string>& values, char flag = ' ');
  DbfBuilder& Deleted(const std::vector<std::string>& values) { return Record(values, '*'); }
  // A record of exactly these bytes, the flag included.
  DbfBuilder& RawRecord(const std::string& bytes);

  // Overrides of the computed header numbers, for damaged tables.
  DbfBuilder& HeaderLength(int length) {
    headerLength_ = length;
    return *this;
  }
  DbfBuilder& RecordLength(int length) {
    recordLength_ = length;
    return *this;
  }
  DbfBuilder& RecordCount(int32_t count) {
    recordCount_ = count;
    return *this;
  }
  // The bytes between the descriptors and the first record; default one 0x0D.
  DbfBuilder& HeaderTail(const std::string& bytes) {
    tail_ = bytes;
    return *this;
  }
  // The terminator and then the 263-byte backlink area of Visual FoxPro (empty: no container).
  DbfBuilder& Backlink() { return HeaderTail("\x0D" + std::string(263, '\0')); }
  DbfBuilder& EndMarker(bool present) {
    endMarker_ = present;
    return *this;
  }

  bool IsDbase7() const { return version_ == 0x04 || version_ == 0x8C; }
  int ComputedRecordLength() const;
  std::string Bytes() const;
  void Write(const std::string& path, int64_t truncateTo = -1) const;

 private:
  struct FieldSpec {
    char type;
    int length;
  };

  uint8_t version_ = 0x03;
  uint8_t mdx_ = 0;
  uint32_t dataAddress_ = 0;
  std::vector<std::string> descriptors_;
  std::vector<FieldSpec> fields_;
  std::vector<std::string> records_;
  std::optional<int> headerLength_, recordLength_;
  std::optional<int32_t> recordCount_;
  std::string tail_ = "\x0D";
  bool endMarker_ = true;
};

// Field bytes of the binary types. dBASE 7 writes numbers big-endian with the sign bit flipped
// (negative doubles inverted whole); its @ is such a double of day × 86400000 plus the
// milliseconds of the day, 1 January of the year 1 being day 1 (TDbfDate::DayNumber).
std::string Dbase7Int(int32_t v);
std::string Dbase7Double(double v);
std::string Dbase7Timestamp(int32_t dayNumber, int32_t milliseconds = 0);
// T of Visual FoxPro: Julian day number and milliseconds since midnight, both little-endian.
std::string JulianDateTime(int32_t julianDay, int32_t milliseconds = 0);

}  // namespace plexor::test
