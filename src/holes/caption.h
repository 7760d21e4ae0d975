// caption.h - builds a message-line caption from text and plain decimal numbers without
// allocating, for captions written once per labelled region.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace holescan {

class Caption {
 public:
  Caption& operator<<(std::string_view text) {
    const std::size_t n = std::min(text.size(), sizeof(buffer_) - size_);
    std::memcpy(buffer_ + size_, text.data(), n);
    size_ += n;
    return *this;
  }
  Caption& operator<<(std::int64_t number) {
    const auto result = std::to_chars(buffer_ + size_, buffer_ + sizeof(buffer_), number);
    size_ = static_cast<std::size_t>(result.ptr - buffer_);
    return *this;
  }
  Caption& operator<<(std::uint32_t number) { return *this << static_cast<std::int64_t>(number); }
  Caption& operator<<(int number) { return *this << static_cast<std::int64_t>(number); }

  std::string_view View() const { return {buffer_, size_}; }

 private:
  char buffer_[128];
  std::size_t size_ = 0;
};

}  // namespace holescan
