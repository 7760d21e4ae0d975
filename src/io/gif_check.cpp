#include "io/gif_check.h"

#include <array>

namespace holescan {
namespace {

bool SkipGifSubBlocks(ByteStream& in) {
  std::uint8_t length = 0;
  do {
    if (!in.Get(length) || !in.Skip(length)) return false;
  } while (length != 0);
  return true;
}

// Reads an image's data sub-blocks as one stream of LZW codes, least significant bit first.
class CodeReader {
 public:
  explicit CodeReader(ByteStream& in) : in_(in) {}

  // False at the end of the data (its empty sub-block) or of the file.
  bool Next(int bits, std::uint32_t& code) {
    while (count_ < bits) {
      if (left_ == 0) {
        std::uint8_t length = 0;
        if (ended_ || !in_.Get(length)) return false;
        if (length == 0) {
          ended_ = true;
          return false;
        }
        left_ = length;
      }
      std::uint8_t byte = 0;
      if (!in_.Get(byte)) return false;
      --left_;
      buffer_ |= std::uint32_t{byte} << count_;
      count_ += 8;
    }
    code = buffer_ & ((1u << bits) - 1);
    buffer_ >>= bits;
    count_ -= bits;
    return true;
  }
  // Passes over what is left of the data, up to its empty sub-block.
  bool Finish() {
    if (ended_) return true;
    if (!in_.Skip(left_)) return false;
    return SkipGifSubBlocks(in_);
  }

 private:
  ByteStream& in_;
  std::uint32_t buffer_ = 0;
  int count_ = 0;
  int left_ = 0;  // bytes left in the current sub-block
  bool ended_ = false;
};

// Counts the pixels the codes stand for, keeping only the length of each table entry.
Verdict CountPixels(CodeReader& codes, int minimumSize, std::int64_t needed) {
  constexpr int kMaxBits = 12;
  const std::uint32_t clear = 1u << minimumSize, end = clear + 1;
  std::array<std::int64_t, 1 << kMaxBits> lengths{};
  for (std::uint32_t i = 0; i < clear; ++i) lengths[i] = 1;
  int bits = minimumSize + 1;
  std::uint32_t next = clear + 2;
  std::int64_t previous = 0;  // length of the previous code's string; 0 after a clear
  std::int64_t pixels = 0;
  std::uint32_t code = 0;
  while (pixels < needed) {
    if (!codes.Next(bits, code) || code == end) return Verdict::Truncated;
    if (code == clear) {
      bits = minimumSize + 1;
      next = clear + 2;
      previous = 0;
      continue;
    }
    std::int64_t length = 0;
    if (code < next && (code < clear || previous > 0)) {
      length = lengths[code];
    } else if (code == next && previous > 0) {
      length = previous + 1;  // the previous string and its own first pixel
    } else {
      return Verdict::Unknown;
    }
    if (previous > 0 && next < lengths.size()) {
      lengths[next++] = previous + 1;
      if (next == 1u << bits && bits < kMaxBits) ++bits;
    }
    pixels += length;
    previous = length;
  }
  return Verdict::Complete;
}

}  // namespace

Verdict CheckGif(const ByteSource& file, GifImage& image) {
  ByteStream in(file, 10);
  std::uint8_t flags = 0, b = 0;
  if (!in.Get(flags) || !in.Skip(2)) return Verdict::Truncated;
  if ((flags & 0x80) != 0 && !in.Skip(3 * (2 << (flags & 7)))) return Verdict::Truncated;
  for (;;) {
    if (!in.Get(b)) return Verdict::Truncated;
    if (b == 0x21) {  // extension: label, then sub-blocks
      if (!in.Skip(1) || !SkipGifSubBlocks(in)) return Verdict::Truncated;
    } else if (b == 0x2C) {    // image: descriptor, local colour table, code size, data
      std::uint8_t d[8] = {};  // left, top, width, height
      if (!in.Get(d, sizeof d)) return Verdict::Truncated;
      image.width = Le16(&d[4]);
      image.height = Le16(&d[6]);
      std::uint8_t codeSize = 0;
      if (!in.Get(flags)) return Verdict::Truncated;
      if ((flags & 0x80) != 0 && !in.Skip(3 * (2 << (flags & 7)))) return Verdict::Truncated;
      if (!in.Get(codeSize)) return Verdict::Truncated;
      image.codeSize = codeSize;
      CodeReader codes(in);
      if (codeSize >= 1 && codeSize <= 8)
        image.pixels = CountPixels(codes, codeSize, image.width * image.height);
      if (!codes.Finish()) return Verdict::Truncated;
      return Verdict::Complete;
    } else {
      return Verdict::Unknown;  // trailer before any image, or garbage
    }
  }
}

}  // namespace holescan
