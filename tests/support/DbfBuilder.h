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
  DbfBuilder& Field(const std::string& name, char type, int length, int decimals = 0);
  // A descriptor of exactly these 32 bytes.
  DbfBuilder& RawDescriptor(const std::string& bytes);
  // Every descriptor's data address (offset 12), which readers must ignore.
  DbfBuilder& DataAddress(uint32_t address) {
    dataAddress_ = address;
    return *this;
  }

  // One value text per field, padded with blanks to the field length (numbers on the left,
  // everything else on the right) or cut to it.
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
  DbfBuilder& EndMarker(bool present) {
    endMarker_ = present;
    return *this;
  }

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

}  // namespace plexor::test
