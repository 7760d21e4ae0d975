#include "pixel/picture.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define HOLESCAN_STREAMING_FILL 1
#else
#define HOLESCAN_STREAMING_FILL 0
#endif

namespace holescan {
namespace {

// 16 MiB: pictures from about four megapixels on.
[[maybe_unused]] constexpr std::size_t kStreamingFillWords = std::size_t{4} << 20;

}  // namespace

namespace {

std::size_t Pixels(int width, int height) {
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

}  // namespace

Picture::Picture(int width, int height, std::uint32_t fill)
    : width_(width), height_(height), pixels_(Pixels(width, height), fill) {}

Picture Picture::Unfilled(int width, int height) {
  Picture picture;
  picture.Reshape(width, height);
  return picture;
}

void Picture::Reshape(int width, int height) {
  pixels_.Resize(Pixels(width, height));
  width_ = width;
  height_ = height;
}

void Picture::Fill(std::uint32_t colour) {
  if (pixels_.empty()) return;
#if HOLESCAN_STREAMING_FILL
  // A picture larger than the caches is written past them: without reading every line
  // before overwriting it, the fill moves half the bytes.
  if (pixels_.size() >= kStreamingFillWords) {
    std::uint32_t* word = pixels_.data();
    std::uint32_t* const end = word + pixels_.size();
    for (; word != end && reinterpret_cast<std::uintptr_t>(word) % 16 != 0; ++word) *word = colour;
    const __m128i four = _mm_set1_epi32(static_cast<int>(colour));
    for (; end - word >= 4; word += 4) _mm_stream_si128(reinterpret_cast<__m128i*>(word), four);
    for (; word != end; ++word) *word = colour;
    _mm_sfence();
    return;
  }
#endif
  // One row word by word, then copies of it: memcpy writes with the widest stores the
  // processor has, where a loop of 32-bit stores is held up by one store a word.
  std::fill_n(Row(0), width_, colour);
  const std::size_t rowBytes = Stride() * sizeof(std::uint32_t);
  for (int y = 1; y < height_; ++y) std::memcpy(Row(y), Row(0), rowBytes);
}

DarkMap::DarkMap(int maxX, int maxY)
    : maxX_(maxX), maxY_(maxY), bytes_(Pixels(maxX + 1, maxY + 1), 0) {}

void DarkMap::Reset(int maxX, int maxY) {
  bytes_.Assign(Pixels(maxX + 1, maxY + 1), 0);
  maxX_ = maxX;
  maxY_ = maxY;
}

}  // namespace holescan
