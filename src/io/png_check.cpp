#include "io/png_check.h"

#include <array>
#include <cstring>

namespace holescan {
namespace {

constexpr std::int64_t kSignature = 8;
constexpr double kInchesPerMetre = 0.0254;

bool Is(const std::uint8_t* type, const char* name) {
  return std::memcmp(type, name, 4) == 0;
}

}  // namespace

PngInfo ReadPng(const ByteSource& file) {
  PngInfo png;
  std::int64_t at = kSignature;
  std::array<std::uint8_t, 8> chunk{};  // length and type
  while (file.ReadExactly(at, chunk.data(), chunk.size())) {
    const std::int64_t length = Be32(chunk.data());
    const std::uint8_t* type = &chunk[4];
    if (length > 0x7FFFFFFF) break;  // past the format's limit: the decoder refuses it
    const std::int64_t data = at + 8;
    if (Is(type, "IHDR") && length >= 13) {
      std::array<std::uint8_t, 13> h{};
      if (!file.ReadExactly(data, h.data(), h.size())) break;
      png.header = true;
      png.width = Be32(&h[0]);
      png.height = Be32(&h[4]);
      png.bitDepth = h[8];
      png.colourType = h[9];
    } else if (Is(type, "pHYs") && length >= 9) {
      std::array<std::uint8_t, 9> p{};
      if (!file.ReadExactly(data, p.data(), p.size())) break;
      const std::uint32_t x = Be32(&p[0]), y = Be32(&p[4]);
      png.resolution.reset();
      if (p[8] == 1 && x > 0 && y > 0)
        png.resolution = Resolution{x * kInchesPerMetre, y * kInchesPerMetre};
    } else if (Is(type, "tEXt")) {
      png.textBytes += length;
    } else if (Is(type, "zTXt")) {
      png.textBytes += length;
      png.compressedTextBytes += length;
    } else if (Is(type, "iTXt")) {
      png.textBytes += length;
      // keyword (at most 79 bytes and a NUL), then the compression flag
      std::array<std::uint8_t, 81> head{};
      const std::size_t got = file.ReadAt(
          data, head.data(), static_cast<std::size_t>(std::min<std::int64_t>(length, 81)));
      const void* end = std::memchr(head.data(), 0, got);
      const auto flag =
          end == nullptr
              ? got
              : static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - head.data()) + 1;
      if (flag < got && head[flag] != 0) png.compressedTextBytes += length;
    } else if (Is(type, "IEND")) {
      break;
    }
    at = data + length + 4;  // and the checksum
  }
  return png;
}

std::optional<std::string> PngTextRefusal(const PngInfo& png) {
  if (png.compressedTextBytes > kMaxPngCompressedTextBytes) {
    return "too much text: " + std::to_string(png.compressedTextBytes) +
           " bytes of compressed text chunks (the limit is " +
           std::to_string(kMaxPngCompressedTextBytes) + ")";
  }
  if (png.textBytes > kMaxPngTextBytes) {
    return "too much text: " + std::to_string(png.textBytes) +
           " bytes of text chunks (the limit is " + std::to_string(kMaxPngTextBytes) + ")";
  }
  return std::nullopt;
}

std::int64_t PngMinimumSize(const PngInfo& png, std::int64_t pixels) {
  static constexpr std::array<int, 7> kChannels = {1, 0, 3, 1, 2, 0, 4};
  if (!png.header) return 0;
  const auto type = static_cast<std::size_t>(png.colourType);
  const int channels = type < kChannels.size() ? kChannels[type] : 0;
  const std::int64_t rawBytes = pixels * png.bitDepth * channels / 8;
  return rawBytes / 1032;
}

std::int64_t PngDecoderBytesPerPixel(const PngInfo& png) {
  if (png.bitDepth == 16) return 8;
  switch (png.colourType) {
    case 2:  // RGB
      return 0;
    case 0:  // grey
    case 3:  // palette
      return 1;
    default:  // with alpha
      return 4;
  }
}

}  // namespace holescan
