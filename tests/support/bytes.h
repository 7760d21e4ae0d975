// bytes.h - files built byte by byte: little- and big-endian integers in and out of a
// std::string of bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace holescan::testing {

using Bytes = std::string;

inline void PutLe16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void PutLe32(Bytes& b, std::uint32_t v) {
  PutLe16(b, v & 0xFFFF);
  PutLe16(b, v >> 16);
}
inline void PutBe16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
  b.push_back(static_cast<char>(v & 0xFF));
}
inline void PutBe32(Bytes& b, std::uint32_t v) {
  PutBe16(b, v >> 16);
  PutBe16(b, v & 0xFFFF);
}
inline void SetLe32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}
inline void SetBe16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<char>((v >> 8) & 0xFF);
  b[at + 1] = static_cast<char>(v & 0xFF);
}
inline void SetBe32(Bytes& b, std::size_t at, std::uint32_t v) {
  SetBe16(b, at, v >> 16);
  SetBe16(b, at + 2, v & 0xFFFF);
}
inline std::uint32_t GetLe16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8);
}
inline std::uint32_t GetLe32(const Bytes& b, std::size_t at) {
  return GetLe16(b, at) | (GetLe16(b, at + 2) << 16);
}

}  // namespace holescan::testing
