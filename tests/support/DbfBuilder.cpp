#include "support/DbfBuilder.h"

#include <stdexcept>

#include "support/Endian.h"
#include "support/ShpBuilder.h"

namespace plexor::test {

DbfBuilder& DbfBuilder::Field(const std::string& name, char type, int length, int decimals) {
  std::string d(32, '\0');
  d.replace(0, std::min<size_t>(name.size(), 11), name.substr(0, 11));
  d[11] = type;
  PutLE32(d.data() + 12, static_cast<int32_t>(dataAddress_));
  d[16] = static_cast<char>(length);
  d[17] = static_cast<char>(decimals);
  descriptors_.push_back(d);
  fields_.push_back({type, length});
  return *this;
}

DbfBuilder& DbfBuilder::RawDescriptor(const std::string& bytes) {
  if (bytes.size() != 32) throw std::invalid_argument("a descriptor has 32 bytes");
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
    if (fields_[i].type == 'N')
      r += std::string(w - v.size(), ' ') + v;
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
  const int headerLength =
      headerLength_.value_or(static_cast<int>(32 + 32 * descriptors_.size() + tail_.size()));
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
  std::string out = h;
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

}  // namespace plexor::test
