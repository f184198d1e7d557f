#include "support/ZipBuilder.h"

#include <zlib.h>

#include <stdexcept>

#include "support/ShpBuilder.h"

namespace plexor::test {
namespace {

std::string LE16(uint16_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string LE64(uint64_t v) {
  return LE32(static_cast<int32_t>(v & 0xFFFFFFFFu)) + LE32(static_cast<int32_t>(v >> 32));
}
std::string U32(uint64_t v) {
  return LE32(static_cast<int32_t>(static_cast<uint32_t>(v)));
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

}  // namespace

std::string Deflated(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string UnicodePathField(const std::string& headerName, const std::string& utf8Name) {
  return LE16(0x7075) + LE16(static_cast<uint16_t>(5 + utf8Name.size())) + "\x01" +
         U32(Crc32(headerName)) + utf8Name;
}

ZipMember& ZipBuilder::Add(const std::string& name, const std::string& data, bool deflate) {
  ZipMember m;
  m.Name = name;
  m.Data = data;
  m.Deflate = deflate;
  members_.push_back(std::move(m));
  return members_.back();
}

std::string ZipBuilder::Bytes() const {
  std::string out;
  std::string central;
  uint64_t entries = 0;
  std::vector<std::string> headers;
  for (const ZipMember& m : members_) {
    const std::string body = m.Deflate ? Deflated(m.Data) : m.Data;
    const uint16_t method = m.Method != 0xFFFF ? m.Method : (m.Deflate ? 8 : 0);
    const uint32_t crc = m.Crc ? *m.Crc : Crc32(m.Data);
    const uint64_t size = m.Size ? *m.Size : m.Data.size();
    const uint64_t packed = m.CompressedSize ? *m.CompressedSize : body.size();
    const uint64_t offset = m.Offset ? *m.Offset : out.size();
    // offset 0: signature | 4: version | 6: flags | 8: method | 10: time, date | 14: CRC
    // | 18: compressed size | 22: size | 26: name length | 28: extra length
    out += U32(0x04034b50) + LE16(20) + LE16(m.Flags) + LE16(method) + LE32(0) + U32(crc) +
           U32(body.size()) + U32(m.Data.size()) + LE16(static_cast<uint16_t>(m.Name.size())) +
           LE16(0) + m.Name + body;
    std::string extra;
    if (m.Zip64) {
      extra = LE16(1) + LE16(24) + LE64(size) + LE64(packed) + LE64(offset);
    }
    extra += m.CentralExtra;
    const bool z = m.Zip64;
    headers.push_back(U32(0x02014b50) + LE16(45) + LE16(20) + LE16(m.Flags) + LE16(method) +
                      LE32(0) + U32(crc) + U32(z ? 0xFFFFFFFFu : packed) +
                      U32(z ? 0xFFFFFFFFu : size) + LE16(static_cast<uint16_t>(m.Name.size())) +
                      LE16(static_cast<uint16_t>(extra.size())) + LE16(0) + LE16(0) + LE16(0) +
                      LE32(0) + U32(z ? 0xFFFFFFFFu : offset) + m.Name + extra);
  }
  for (const std::string& h : headers) {
    central += h;
    ++entries;
  }
  for (size_t index : duplicates_) {
    central += headers.at(index);
    ++entries;
  }
  const uint64_t directoryAt = out.size();
  out += central;
  if (zip64End_) {
    const uint64_t recordAt = out.size();
    out += U32(0x06064b50) + LE64(44) + LE16(45) + LE16(45) + LE32(0) + LE32(0) + LE64(entries) +
           LE64(entries) + LE64(central.size()) + LE64(directoryAt);
    out += U32(0x07064b50) + LE32(0) + LE64(recordAt) + LE32(1);
    out += U32(0x06054b50) + LE16(0) + LE16(0) + LE16(0xFFFF) + LE16(0xFFFF) + U32(0xFFFFFFFFu) +
           U32(0xFFFFFFFFu) + LE16(0);
  } else {
    out += U32(0x06054b50) + LE16(0) + LE16(0) + LE16(static_cast<uint16_t>(entries)) +
           LE16(static_cast<uint16_t>(entries)) + U32(central.size()) + U32(directoryAt) + LE16(0);
  }
  return out;
}

void ZipBuilder::Write(const std::string& path) const {
  WriteFile(path, Bytes());
}

}  // namespace plexor::test
