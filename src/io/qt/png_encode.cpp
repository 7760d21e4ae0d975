#include "io/qt/png_encode.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "pixel/pixel_store.h"

namespace holescan {
namespace {

constexpr std::size_t kIdatBytes = std::size_t{8} << 20;
constexpr int kLevel = 1;  // several times faster than zlib's 6, files about a tenth larger
constexpr unsigned char kSubFilter = 1;

void PutBig32(std::string& out, std::uint32_t value) {
  const std::array<char, 4> bytes = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                                     static_cast<char>(value >> 8), static_cast<char>(value)};
  out.append(bytes.data(), bytes.size());
}

void PutChunk(std::string& out, std::string_view type, const void* data, std::size_t size) {
  PutBig32(out, static_cast<std::uint32_t>(size));
  const std::size_t start = out.size();
  out.append(type);
  out.append(static_cast<const char*>(data), size);
  PutBig32(out, libdeflate_crc32(0, out.data() + start, size + 4));
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

}  // namespace

void EncodePng(const PictureView& picture, int dotsPerMeterX, int dotsPerMeterY,
               const std::function<void(std::string_view)>& write) {
  const auto width = static_cast<std::size_t>(picture.width);
  const auto height = static_cast<std::size_t>(picture.height);
  const std::size_t rowBytes = 3 * width + 1;
  PixelStore<unsigned char> filtered;
  filtered.Resize(rowBytes * height);
  // Sub: each byte less the same colour's byte of the pixel to its left, which leaves the
  // small differences of a scan's grey for the compressor.
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint32_t* in = picture.Row(static_cast<int>(y));
    unsigned char* out = filtered.data() + y * rowBytes;
    *out++ = kSubFilter;
    std::uint32_t left = 0;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint32_t p = in[x];
      out[0] = static_cast<unsigned char>((p >> 16) - (left >> 16));
      out[1] = static_cast<unsigned char>((p >> 8) - (left >> 8));
      out[2] = static_cast<unsigned char>(p - left);
      out += 3;
      left = p;
    }
  }
  const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kLevel));
  if (!compressor) throw std::bad_alloc();
  const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filtered.size());
  PixelStore<unsigned char> stream;
  stream.Resize(bound);
  const std::size_t compressed = libdeflate_zlib_compress(
      compressor.get(), filtered.data(), filtered.size(), stream.data(), stream.size());
  filtered = {};

  std::string file("\x89PNG\r\n\x1a\n", 8);
  std::array<unsigned char, 13> header{};
  const auto big32 = [](unsigned char* at, std::uint32_t v) {
    at[0] = static_cast<unsigned char>(v >> 24);
    at[1] = static_cast<unsigned char>(v >> 16);
    at[2] = static_cast<unsigned char>(v >> 8);
    at[3] = static_cast<unsigned char>(v);
  };
  big32(header.data(), static_cast<std::uint32_t>(width));
  big32(header.data() + 4, static_cast<std::uint32_t>(height));
  header[8] = 8;  // bits per sample
  header[9] = 2;  // RGB
  PutChunk(file, "IHDR", header.data(), header.size());
  if (dotsPerMeterX > 0 && dotsPerMeterY > 0) {
    std::array<unsigned char, 9> physical{};
    big32(physical.data(), static_cast<std::uint32_t>(dotsPerMeterX));
    big32(physical.data() + 4, static_cast<std::uint32_t>(dotsPerMeterY));
    physical[8] = 1;  // metres
    PutChunk(file, "pHYs", physical.data(), physical.size());
  }
  for (std::size_t at = 0; at < compressed; at += kIdatBytes) {
    write(file);
    file.clear();
    PutChunk(file, "IDAT", stream.data() + at, std::min(kIdatBytes, compressed - at));
  }
  PutChunk(file, "IEND", "", 0);
  write(file);
}

}  // namespace holescan
