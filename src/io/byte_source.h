// byte_source.h - the bytes of a picture file, read at any offset, from a descriptor or
// from memory, and a buffered sequential reader over them for the structural walks.
//
// Reads never move a descriptor's offset (pread), so the decoder that reads the same
// descriptor afterwards starts where it expects. A read past the end gives fewer bytes,
// never an error the caller must tell apart: every check treats a short read as the file
// ending there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace holescan {

class ByteSource {
 public:
  // The first `size` bytes of the open file `fd`, which the source does not own.
  ByteSource(int fd, std::int64_t size) : fd_(fd), size_(size) {}
  // Bytes held in memory, which must outlive the source.
  explicit ByteSource(std::string_view bytes)
      : bytes_(bytes), size_(static_cast<std::int64_t>(bytes.size())) {}

  std::int64_t Size() const { return size_; }
  // Copies up to `count` bytes from `offset` into `out`; returns how many there were.
  std::size_t ReadAt(std::int64_t offset, void* out, std::size_t count) const;
  // Whether all `count` bytes from `offset` were there.
  bool ReadExactly(std::int64_t offset, void* out, std::size_t count) const {
    return ReadAt(offset, out, count) == count;
  }

 private:
  int fd_ = -1;
  std::string_view bytes_;
  std::int64_t size_ = 0;
};

// Sequential reads from an offset, buffered. Every read says whether the file still had
// the bytes.
class ByteStream {
 public:
  ByteStream(const ByteSource& source, std::int64_t offset) : source_(source), next_(offset) {}

  bool Get(std::uint8_t& byte) {
    if (pos_ == end_ && !Fill()) return false;
    byte = buffer_[pos_++];
    return true;
  }
  bool Get(std::uint8_t* out, std::size_t count);
  bool Skip(std::int64_t count);
  // Skips to the next 0xFF byte and consumes it.
  bool SkipPastFF();
  // The file offset of the next byte Get returns.
  std::int64_t Offset() const { return next_ - static_cast<std::int64_t>(end_ - pos_); }

 private:
  bool Fill();

  static constexpr std::size_t kBufferSize = 65536;
  const ByteSource& source_;
  std::int64_t next_;  // file offset of the byte after the buffer's end
  std::array<std::uint8_t, kBufferSize> buffer_{};
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

inline std::uint32_t Le16(const std::uint8_t* p) {
  return p[0] | (std::uint32_t{p[1]} << 8);
}
inline std::uint32_t Le32(const std::uint8_t* p) {
  return Le16(p) | (Le16(p + 2) << 16);
}
inline std::uint32_t Be16(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 8) | p[1];
}
inline std::uint32_t Be32(const std::uint8_t* p) {
  return (Be16(p) << 16) | Be16(p + 2);
}

}  // namespace holescan
