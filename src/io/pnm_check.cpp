#include "io/pnm_check.h"

#include <array>
#include <cctype>

namespace holescan {
namespace {

char Kind(const ByteSource& file) {
  char kind = 0;
  return file.ReadExactly(1, &kind, 1) ? kind : '\0';
}

}  // namespace

std::int64_t PnmMinimumSize(const ByteSource& file, std::int64_t width, std::int64_t height) {
  const char kind = Kind(file);
  if (kind == '\0') return 0;
  if (kind == '4') return (width + 7) / 8 * height;              // bits
  return width * height * (kind == '3' || kind == '6' ? 3 : 1);  // one byte or digit a sample
}

std::int64_t PnmDecoderBytesPerPixel(const ByteSource& file) {
  // The header: magic, width, height and (but for bitmaps) the maximum sample value, apart
  // by white space and comments.
  std::array<char, 256> head{};
  const std::size_t got = file.ReadAt(0, head.data(), head.size());
  std::size_t at = 2;
  std::int64_t numbers[3] = {};
  const char kind = got > 1 ? head[1] : '\0';
  const int count = kind == '1' || kind == '4' ? 2 : 3;
  for (int i = 0; i < count; ++i) {
    while (at < got && (std::isspace(static_cast<unsigned char>(head[at])) || head[at] == '#')) {
      if (head[at] == '#') {
        while (at < got && head[at] != '\n') ++at;
      } else {
        ++at;
      }
    }
    while (at < got && std::isdigit(static_cast<unsigned char>(head[at])) && numbers[i] < 1 << 20)
      numbers[i] = numbers[i] * 10 + (head[at++] - '0');
  }
  // Samples past 8 bits go through 64-bit pixels; RGB of 8 bits straight into the picture.
  if (count == 3 && numbers[2] > 255) return 8;
  return kind == '3' || kind == '6' ? 0 : 1;
}

}  // namespace holescan
