#include "io/byte_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace holescan {

std::size_t ByteSource::ReadAt(std::int64_t offset, void* out, std::size_t count) const {
  if (offset < 0 || offset >= size_) return 0;
  count = static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(count), size_ - offset));
  if (fd_ < 0) {
    std::memcpy(out, bytes_.data() + offset, count);
    return count;
  }
  std::size_t done = 0;
  auto* bytes = static_cast<std::uint8_t*>(out);
  while (done < count) {
    const ssize_t got = ::pread(fd_, bytes + done, count - done,
                                static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool ByteStream::Get(std::uint8_t* out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!Get(out[i])) return false;
  }
  return true;
}

bool ByteStream::Skip(std::int64_t count) {
  const auto buffered = static_cast<std::int64_t>(end_ - pos_);
  if (count <= buffered) {
    pos_ += static_cast<std::size_t>(count);
    return true;
  }
  next_ += count - buffered;
  pos_ = end_ = 0;
  return next_ <= source_.Size();
}

bool ByteStream::SkipPastFF() {
  for (;;) {
    if (pos_ == end_ && !Fill()) return false;
    const void* found = std::memchr(buffer_.data() + pos_, 0xFF, end_ - pos_);
    if (found != nullptr) {
      pos_ = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - buffer_.data()) + 1;
      return true;
    }
    pos_ = end_;
  }
}

bool ByteStream::Fill() {
  if (next_ >= source_.Size()) return false;
  const std::size_t got = source_.ReadAt(next_, buffer_.data(), kBufferSize);
  if (got == 0) return false;
  pos_ = 0;
  end_ = got;
  next_ += static_cast<std::int64_t>(got);
  return true;
}

}  // namespace holescan
