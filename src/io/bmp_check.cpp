#include "io/bmp_check.h"

#include <algorithm>
#include <array>

#include "pixel/picture.h"

namespace holescan {
namespace {

constexpr std::int64_t kFileHeader = 14;
constexpr double kInchesPerMetre = 0.0254;

// Walks a run-length stream (8 or 4 bits a pixel) the way the decoder consumes it.
Verdict WalkRunLength(ByteStream& in, std::int64_t width, std::int64_t height, bool fourBits) {
  std::int64_t x = 0, y = 0;
  std::uint8_t b = 0, c = 0;
  while (y < height) {
    if (!in.Get(b)) return Verdict::Truncated;
    if (b != 0) {  // a run of b pixels of one value
      if (!in.Get(c)) return Verdict::Truncated;
      x += b;
      continue;
    }
    if (!in.Get(c)) return Verdict::Truncated;
    if (c == 1) return Verdict::Complete;  // end of bitmap
    if (c == 0) {                          // end of line
      x = 0;
      ++y;
    } else if (c == 2) {  // delta, clamped inside the picture as the decoder does
      std::uint8_t dx = 0, dy = 0;
      if (!in.Get(dx) || !in.Get(dy)) return Verdict::Truncated;
      x = std::min(x + dx, width - 1);
      y = std::min(y + dy, height - 1);
    } else {  // c literal pixels, padded to a 16-bit boundary
      const std::int64_t bytes = fourBits ? (c + 1) / 2 : c;
      if (!in.Skip(bytes + (bytes & 1))) return Verdict::Truncated;
      x += c;
    }
  }
  return Verdict::Complete;
}

}  // namespace

BmpHeader ReadBmpHeader(const ByteSource& file) {
  std::array<std::uint8_t, kFileHeader + 40> h{};
  BmpHeader header;
  const auto got = static_cast<std::int64_t>(file.ReadAt(0, h.data(), h.size()));
  header.infoSize = got >= kFileHeader + 4 ? Le32(&h[14]) : 0;
  if (got < kFileHeader + 4 || file.Size() < kFileHeader + std::int64_t{header.infoSize}) {
    header.headers = Verdict::Truncated;
    return header;
  }
  header.dataOffset = static_cast<std::int32_t>(Le32(&h[10]));
  const std::uint32_t info = header.infoSize;
  if (info == 40 || info == 64 || info == 108 || info == 124) {
    header.width = static_cast<std::int32_t>(Le32(&h[18]));
    header.height = static_cast<std::int32_t>(Le32(&h[22]));
    header.bits = Le16(&h[28]);
    header.compression = Le32(&h[30]);
    const auto xPerMetre = static_cast<std::int32_t>(Le32(&h[38]));
    const auto yPerMetre = static_cast<std::int32_t>(Le32(&h[42]));
    if (xPerMetre > 0 && yPerMetre > 0)
      header.resolution = Resolution{xPerMetre * kInchesPerMetre, yPerMetre * kInchesPerMetre};
    header.coloursUsed = Le32(&h[46]);
  } else {  // the old OS/2 header (and anything unknown, as Qt reads it): 16-bit sizes
    header.width = static_cast<std::int16_t>(Le16(&h[18]));
    header.height = static_cast<std::int16_t>(Le16(&h[20]));
    header.bits = Le16(&h[24]);
  }
  header.topDown = header.height < 0;
  if (header.topDown) header.height = -header.height;
  header.sized = header.width > 0 && header.height > 0;
  header.headers = Verdict::Complete;
  return header;
}

Verdict CheckBmpData(const ByteSource& file, const BmpHeader& h) {
  const std::uint32_t bits = h.bits;
  const bool knownDepth =
      bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
  // Sizes out of range are refused before this check.
  if (!h.sized || h.width > kMaxPictureSide || h.height > kMaxPictureSide || h.compression > 3 ||
      !knownDepth) {
    return Verdict::Unknown;
  }
  const std::int64_t colours = bits <= 8 ? (h.coloursUsed != 0 ? h.coloursUsed : 1u << bits) : 0;
  if (colours > 256) return Verdict::Unknown;
  const std::int64_t paletteStart = kFileHeader + (h.infoSize >= 108 ? 40 : h.infoSize);
  const std::int64_t paletteEnd = paletteStart + colours * (h.infoSize == 12 ? 3 : 4);
  // Bit-field masks after a 40-byte header come before the data, which starts at the
  // header's offset unless that points back into the headers.
  std::int64_t dataStart = paletteEnd;
  if (h.dataOffset >= 0) dataStart = std::max<std::int64_t>(dataStart, h.dataOffset);
  const std::int64_t size = file.Size();
  if (size < dataStart || (colours > 0 && size <= paletteEnd)) return Verdict::Truncated;

  if (h.RunLength()) {
    if (bits != (h.compression == 1 ? 8u : 4u)) return Verdict::Unknown;
    ByteStream in(file, dataStart);
    return WalkRunLength(in, h.width, h.height, h.compression == 2);
  }
  const std::int64_t rowBytes = (h.width * bits + 31) / 32 * 4;
  return size - dataStart >= rowBytes * h.height ? Verdict::Complete : Verdict::Truncated;
}

}  // namespace holescan
