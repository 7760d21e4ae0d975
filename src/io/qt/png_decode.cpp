#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "io/qt/direct_decode.h"

namespace holescan {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Chunks that change nothing of the pixels Qt gives for the layouts taken here.
bool Harmless(std::string_view type) {
  return type == "pHYs" || type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "tIME";
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p;
  const int pb = p > b ? p - b : b - p;
  const int pc = p > c ? p - c : c - p;
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes the filters of `height` rows of `rowBytes` bytes (each after its filter byte) in
// place; false for an unknown filter.
bool Unfilter(std::uint8_t* rows, std::size_t rowBytes, int height, int bpp) {
  const std::uint8_t* previous = nullptr;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = rows + static_cast<std::size_t>(y) * (rowBytes + 1);
    const std::uint8_t filter = row[0];
    std::uint8_t* p = row + 1;
    const auto up = [&](std::size_t i) { return previous != nullptr ? previous[i] : 0; };
    const auto b = static_cast<std::size_t>(bpp);
    switch (filter) {
      case 0:
        break;
      case 1:
        for (std::size_t i = b; i < rowBytes; ++i)
          p[i] = static_cast<std::uint8_t>(p[i] + p[i - b]);
        break;
      case 2:
        if (previous != nullptr)
          for (std::size_t i = 0; i < rowBytes; ++i) p[i] = static_cast<std::uint8_t>(p[i] + up(i));
        break;
      case 3:
        for (std::size_t i = 0; i < rowBytes; ++i) {
          const int left = i >= b ? p[i - b] : 0;
          p[i] = static_cast<std::uint8_t>(p[i] + ((left + up(i)) >> 1));
        }
        break;
      case 4:
        for (std::size_t i = 0; i < rowBytes; ++i) {
          const int left = i >= b ? p[i - b] : 0;
          const int corner = i >= b ? up(i - b) : 0;
          p[i] = static_cast<std::uint8_t>(p[i] + Paeth(left, up(i), corner));
        }
        break;
      default:
        return false;
    }
    previous = p;
  }
  return true;
}

}  // namespace

std::optional<Picture> DecodePngDirect(const ByteSource& file, const PictureCheck& check,
                                       const PictureLimits& limits) {
  const std::int64_t size = file.Size();
  if (check.width <= 0 || check.height <= 0 || check.width > kMaxPictureSide ||
      check.height > kMaxPictureSide) {
    return std::nullopt;
  }
  const std::int64_t pictureBytes = 4 * check.width * check.height;
  // The file and its image data gathered beside it, then the data beside the picture.
  if (size <= 8 || size > (limits.memoryBudget - pictureBytes) / 2) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!file.ReadExactly(0, bytes.data(), bytes.size())) return std::nullopt;

  // Every chunk whole and with its checksum right, IHDR first, the image data in one run,
  // IEND last: anything else is left to libpng and its own verdict.
  std::vector<std::uint8_t> data;
  std::size_t at = 8;
  int width = 0, height = 0, colourType = -1;
  bool seenData = false, dataDone = false, ended = false;
  while (at + 12 <= bytes.size() && !ended) {
    const std::uint32_t length = Be32(&bytes[at]);
    if (length > 0x7FFFFFFFu || length > bytes.size() - at - 12) return std::nullopt;
    const std::string_view type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
    const std::uint8_t* body = &bytes[at + 8];
    if (libdeflate_crc32(0, &bytes[at + 4], length + 4) != Be32(body + length)) return std::nullopt;
    if (at == 8) {
      if (type != "IHDR" || length != 13) return std::nullopt;
      width = static_cast<int>(Be32(body));
      height = static_cast<int>(Be32(body + 4));
      colourType = body[9];
      // 8 bits, RGB or grey, the only compression and filter method, not interlaced.
      if (body[8] != 8 || (colourType != 2 && colourType != 0) || body[10] != 0 || body[11] != 0 ||
          body[12] != 0) {
        return std::nullopt;
      }
    } else if (type == "IDAT") {
      if (dataDone) return std::nullopt;
      seenData = true;
      data.insert(data.end(), body, body + length);
    } else if (type == "IEND") {
      ended = true;
    } else if (Harmless(type)) {
      dataDone = seenData;
    } else {
      return std::nullopt;
    }
    at += 12 + length;
  }
  if (!ended || at != bytes.size() || width != check.width || height != check.height ||
      data.size() < 2) {
    return std::nullopt;
  }
  // zlib refuses distances past the window the stream's header declares, libdeflate does not.
  if ((data[0] >> 4) != 7) return std::nullopt;
  bytes = {};

  const int bpp = colourType == 2 ? 3 : 1;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(bpp);
  const std::size_t inflated = (rowBytes + 1) * static_cast<std::size_t>(height);
  Picture picture = Picture::Unfilled(width, height);
  // The filtered rows are inflated into the picture's own memory (they are smaller), then
  // undone there and widened to words from the last pixel back.
  auto* rows = reinterpret_cast<std::uint8_t*>(picture.Data());
  const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) throw std::bad_alloc();
  std::size_t usedIn = 0, producedOut = 0;
  if (libdeflate_zlib_decompress_ex(decompressor.get(), data.data(), data.size(), rows, inflated,
                                    &usedIn, &producedOut) != LIBDEFLATE_SUCCESS ||
      usedIn != data.size() || producedOut != inflated) {
    return std::nullopt;
  }
  if (!Unfilter(rows, rowBytes, height, bpp)) return std::nullopt;
  for (int y = height - 1; y >= 0; --y) {
    const std::uint8_t* in = rows + static_cast<std::size_t>(y) * (rowBytes + 1) + 1;
    std::uint32_t* out = picture.Row(y);
    // Word x lies at or after the bytes of pixel x, which are read before it is written.
    for (int x = width - 1; x >= 0; --x) {
      const std::uint8_t* p = in + static_cast<std::size_t>(x) * static_cast<std::size_t>(bpp);
      out[x] = bpp == 3 ? kOpaque | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]
                        : kOpaque | std::uint32_t{p[0]} * 0x010101u;
    }
  }
  return picture;
}

}  // namespace holescan
