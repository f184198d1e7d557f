// Writes zip archives byte by byte for the tests: stored and deflated members, raw name
// bytes with or without the UTF-8 flag, zip64 fields, and the lies of hostile archives.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plexor::test {

struct ZipMember {
  std::string Name;  // the bytes stored
  std::string Data;
  bool Deflate = true;
  uint16_t Flags = 0;
  uint16_t Method = 0xFFFF;  // 0xFFFF: 8 when deflated, else 0
  bool Zip64 = false;        // sizes and offset as zip64 fields in the central header
  std::string CentralExtra;  // appended to the central header's extra field
  // Lies told in the central header.
  std::optional<uint32_t> Crc;
  std::optional<uint64_t> Size;
  std::optional<uint64_t> CompressedSize;
  std::optional<uint64_t> Offset;
};

class ZipBuilder {
 public:
  ZipMember& Add(const std::string& name, const std::string& data, bool deflate = true);
  // A second central header for member `index`, pointing at the same data.
  ZipBuilder& DuplicateHeader(size_t index) {
    duplicates_.push_back(index);
    return *this;
  }
  // The end records of zip64 even when nothing needs them.
  ZipBuilder& Zip64End() {
    zip64End_ = true;
    return *this;
  }
  std::string Bytes() const;
  void Write(const std::string& path) const;

 private:
  std::vector<ZipMember> members_;
  std::vector<size_t> duplicates_;
  bool zip64End_ = false;
};

// Raw deflate, as a zip member holds it.
std::string Deflated(const std::string& data);
// The Info-ZIP Unicode path field for a member whose header holds `headerName`.
std::string UnicodePathField(const std::string& headerName, const std::string& utf8Name);

}  // namespace plexor::test
