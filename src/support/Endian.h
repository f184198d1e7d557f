// Byte order of file fields, handled here and nowhere else.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace plexor {

static_assert(std::endian::native == std::endian::little ||
              std::endian::native == std::endian::big);
inline constexpr bool kHostIsLittleEndian = std::endian::native == std::endian::little;

inline uint32_t ByteSwap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
inline uint64_t ByteSwap64(uint64_t v) {
  return (uint64_t{ByteSwap32(static_cast<uint32_t>(v))} << 32) |
         ByteSwap32(static_cast<uint32_t>(v >> 32));
}

inline int32_t GetLE32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (!kHostIsLittleEndian) v = ByteSwap32(v);
  return static_cast<int32_t>(v);
}
inline uint64_t GetLE64(const void* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (!kHostIsLittleEndian) v = ByteSwap64(v);
  return v;
}
inline int32_t GetBE32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (kHostIsLittleEndian) v = ByteSwap32(v);
  return static_cast<int32_t>(v);
}
inline uint16_t GetLE16(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline double GetLEDouble(const void* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (!kHostIsLittleEndian) v = ByteSwap64(v);
  return std::bit_cast<double>(v);
}
inline void PutLE32(void* p, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  if constexpr (!kHostIsLittleEndian) v = ByteSwap32(v);
  std::memcpy(p, &v, 4);
}
inline void PutBE32(void* p, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  if constexpr (kHostIsLittleEndian) v = ByteSwap32(v);
  std::memcpy(p, &v, 4);
}
inline void PutLE16(void* p, uint16_t v) {
  auto* b = static_cast<unsigned char*>(p);
  b[0] = static_cast<unsigned char>(v & 0xFF);
  b[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutLEDouble(void* p, double value) {
  auto v = std::bit_cast<uint64_t>(value);
  if constexpr (!kHostIsLittleEndian) v = ByteSwap64(v);
  std::memcpy(p, &v, 8);
}

}  // namespace plexor
