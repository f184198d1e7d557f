#include "support/DbfBuilder.h"

#include <bit>
#include <cmath>
#include <stdexcept>

#include "support/Endian.h"
#include "support/ShpBuilder.h"

namespace plexor::test {

namespace {

// dBASE 7 header: a 32-byte language driver name and 4 reserved bytes after the usual 32.
constexpr size_t kDbase7HeaderExtra = 36;

bool IsBinaryType(char type) {
  return type == 'I' || type == '+' || type == 'O' || type == 'T' || type == '@';
}

std::string BE64(uint64_t v) {
  std::string b(8, '\0');
  for (int i = 7; i >= 0; --i, v >>= 8) b[static_cast<size_t>(i)] = static_cast<char>(v & 0xFF);
  return b;
}

}  // namespace

DbfBuilder& DbfBuilder::Field(const std::string& name, char type, int length, int decimals) {
  if (IsDbase7()) {
    std::string d(48, '\0');
    d.replace(0, std::min<size_t>(name.size(), 32), name.substr(0, 32));
    d[32] = type;
    d[33] = static_cast<char>(length);
    d[34] = static_cast<char>(decimals);
    descriptors_.push_back(d);
  } else {
    std::string d(32, '\0');
    d.replace(0, std::min<size_t>(name.size(), 11), name.substr(0, 11));
    d[11] = type;
    PutLE32(d.data() + 12, static_cast<int32_t>(dataAddress_));
    d[16] = static_cast<char>(length);
    d[17] = static_cast<char>(decimals);
    descriptors_.push_back(d);
  }
  fields_.push_back({type, length});
  return *this;
}

DbfBuilder& DbfBuilder::RawDescriptor(const std::string& bytes) {
  if (bytes.size() == 48) {
    descriptors_.push_back(bytes);
    fields_.push_back({bytes[32], static_cast<unsigned char>(bytes[33])});
    return *this;
  }
  if (bytes.size() != 32) throw std::invalid_argument("a descriptor has 32 or 48 bytes");
  descriptors_.push_back(bytes);
  fields_.push_back({bytes[11], static_cast<unsigned char>(bytes[16])});
  return *this;
}

int DbfBuilder::ComputedRecordLength() const {
  int length = 1;
  for (const FieldSpec& f : fields_) length += f.length;
  return length;
}

DbfBuilder& DbfBuilder::Record(const std::vector<std::string>& values, char flag) {
  std::string r(1, flag);
  for (size_t i = 0; i < fields_.size(); ++i) {
    const auto w = static_cast<size_t>(fields_[i].length);
    std::string v = i < values.size() ? values[i] : std::string();
    if (v.size() > w) v.resize(w);
    const char type = fields_[i].type;
    if (type == 'N' || type == 'F')
      r += std::string(w - v.size(), ' ') + v;
    else if (IsBinaryType(type))
      r += v + std::string(w - v.size(), '\0');
    else
      r += v + std::string(w - v.size(), ' ');
  }
  records_.push_back(r);
  return *this;
}

DbfBuilder& DbfBuilder::RawRecord(const std::string& bytes) {
  records_.push_back(bytes);
  return *this;
}

std::string DbfBuilder::Bytes() const {
  const size_t extra = IsDbase7() ? kDbase7HeaderExtra : 0;
  size_t descriptorBytes = 0;
  for (const std::string& d : descriptors_) descriptorBytes += d.size();
  const int headerLength =
      headerLength_.value_or(static_cast<int>(32 + extra + descriptorBytes + tail_.size()));
  std::string h(32, '\0');
  h[0] = static_cast<char>(version_);
  h[1] = 124;  // 2024-01-01
  h[2] = 1;
  h[3] = 1;
  PutLE32(h.data() + 4, recordCount_.value_or(static_cast<int32_t>(records_.size())));
  PutLE16(h.data() + 8, static_cast<uint16_t>(headerLength));
  PutLE16(h.data() + 10, static_cast<uint16_t>(recordLength_.value_or(ComputedRecordLength())));
  h[28] = static_cast<char>(mdx_);
  h[29] = 0x13;  // the code page mark of Japanese tables
  std::string out = h + std::string(extra, '\0');
  for (const std::string& d : descriptors_) out += d;
  out += tail_;
  for (const std::string& r : records_) out += r;
  if (endMarker_) out += '\x1A';
  return out;
}

void DbfBuilder::Write(const std::string& path, int64_t truncateTo) const {
  std::string bytes = Bytes();
  if (truncateTo >= 0 && static_cast<size_t>(truncateTo) < bytes.size()) bytes.resize(truncateTo);
  WriteFile(path, bytes);
}

std::string Dbase7Int(int32_t v) {
  return BE32(static_cast<int32_t>(static_cast<uint32_t>(v) ^ 0x80000000u));
}

std::string Dbase7Double(double v) {
  const auto bits = std::bit_cast<uint64_t>(v);
  return BE64(std::signbit(v) ? ~bits : bits ^ 0x8000000000000000ULL);
}

std::string Dbase7Timestamp(int32_t dayNumber, int32_t milliseconds) {
  return Dbase7Double(dayNumber * 86400000.0 + milliseconds);
}

std::string JulianDateTime(int32_t julianDay, int32_t milliseconds) {
  return LE32(julianDay) + LE32(milliseconds);
}

}  // namespace plexor::test
