// Little-endian integers in byte buffers, for the binary blocks that cross process and
// file boundaries (attribute blocks, item ids, notices). The readers take a pointer the
// caller has checked holds the bytes; nothing here checks a length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

inline std::uint16_t ReadLe16(const void* at) {
  const auto* p = static_cast<const std::uint8_t*>(at);
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t ReadLe32(const void* at) {
  const auto* p = static_cast<const std::uint8_t*>(at);
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

// Appends the value's bytes to a byte vector or a string.
template <typename Bytes>
void AppendLe16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<typename Bytes::value_type>(v & 0xFF));
  out.push_back(static_cast<typename Bytes::value_type>(v >> 8));
}

template <typename Bytes>
void AppendLe32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<typename Bytes::value_type>((v >> (8 * i)) & 0xFF));
}

}  // namespace platform
