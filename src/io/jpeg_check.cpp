#include "io/jpeg_check.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "io/tiff_check.h"

namespace holescan {
namespace {

constexpr double kCentimetresPerInch = 2.54;

bool IsRestartOrStandalone(std::uint8_t marker) {
  return (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01;
}

// APP0 "JFIF\0": version, units (1 dots per inch, 2 per centimetre, 0 an aspect ratio), the
// horizontal and vertical density.
std::optional<Resolution> JfifDensity(const std::uint8_t* data, int length) {
  if (length < 12 || std::memcmp(data, "JFIF\0", 5) != 0) return std::nullopt;
  const int units = data[7];
  const double x = Be16(&data[8]), y = Be16(&data[10]);
  if ((units != 1 && units != 2) || x == 0 || y == 0) return std::nullopt;
  const double scale = units == 2 ? kCentimetresPerInch : 1.0;
  return Resolution{x * scale, y * scale};
}

}  // namespace

Verdict CheckJpeg(const ByteSource& file, JpegInfo& info) {
  ByteStream in(file, 2);  // after the start-of-image marker
  std::optional<Resolution> jfif, exif;
  std::uint8_t b = 0;
  for (;;) {
    if (!in.SkipPastFF()) return Verdict::Truncated;
    do {
      if (!in.Get(b)) return Verdict::Truncated;
    } while (b == 0xFF);
    if (b == 0xD9) break;
    if (b == 0x00 || IsRestartOrStandalone(b)) continue;
    std::uint8_t hi = 0, lo = 0;
    if (!in.Get(hi) || !in.Get(lo)) return Verdict::Truncated;
    const int length = (hi << 8) | lo;
    if (length < 2) return Verdict::Unknown;
    const bool startOfFrame = b >= 0xC0 && b <= 0xCF && b != 0xC4 && b != 0xC8 && b != 0xCC;
    if (startOfFrame && info.marker == 0 && length >= 8) {
      info.marker = b;
      std::uint8_t header[6] = {};  // precision, height, width, component count
      if (!in.Get(header, sizeof header)) return Verdict::Truncated;
      info.height = Be16(&header[1]);
      info.width = Be16(&header[3]);
      int rest = length - 8;
      for (int i = 0; i < header[5] && rest >= 3; ++i, rest -= 3) {
        std::uint8_t component[3] = {};  // id, sampling factors, quantisation table
        if (!in.Get(component, sizeof component)) return Verdict::Truncated;
        info.sampling.emplace_back(component[1] >> 4, component[1] & 0x0F);
      }
      if (!in.Skip(rest)) return Verdict::Truncated;
      continue;
    }
    if (b == 0xDA) ++info.scans;
    if ((b == 0xE0 && !jfif) || (b == 0xE1 && !exif)) {
      // A segment of at most 64 KiB, read whole.
      std::vector<std::uint8_t> data(static_cast<std::size_t>(length - 2));
      if (!in.Get(data.data(), data.size())) return Verdict::Truncated;
      if (b == 0xE0) {
        jfif = JfifDensity(data.data(), length - 2);
      } else if (data.size() > 6 && std::memcmp(data.data(), "Exif\0\0", 6) == 0) {
        const std::string_view tiff(reinterpret_cast<const char*>(data.data()) + 6,
                                    data.size() - 6);
        exif = ReadTiffDirectory(ByteSource(tiff)).resolution;
      }
      continue;
    }
    if (!in.Skip(length - 2)) return Verdict::Truncated;
    // After a scan header the entropy-coded data follows; SkipPastFF passes over it, and
    // stuffed bytes (0xFF00) and restart markers are passed over by the `continue` above.
  }
  // A scanner's JFIF density is what it scanned at; a camera's Exif often a default of 72.
  info.resolution = jfif ? jfif : exif;
  return Verdict::Complete;
}

std::int64_t JpegMinimumSize(const JpegInfo& info, std::int64_t width, std::int64_t height) {
  const bool huffman = info.marker == 0xC0 || info.marker == 0xC1 || info.marker == 0xC2;
  if (!huffman || info.sampling.empty()) return 0;
  int maxH = 0, maxV = 0;
  for (const auto& [h, v] : info.sampling) {
    if (h == 0 || v == 0) return 0;
    maxH = std::max(maxH, h);
    maxV = std::max(maxV, v);
  }
  std::int64_t fewestBlocks = width * height;
  for (const auto& [h, v] : info.sampling) {
    const std::int64_t columns = (width * h + maxH - 1) / maxH;
    const std::int64_t rows = (height * v + maxV - 1) / maxV;
    fewestBlocks = std::min(fewestBlocks, ((columns + 7) / 8) * ((rows + 7) / 8));
  }
  return fewestBlocks * (info.marker == 0xC2 ? 1 : 2) / 8;
}

std::int64_t JpegDecoderBytesPerPixel(const JpegInfo& info) {
  const bool grey = info.sampling.size() == 1;
  if (!info.Progressive()) return grey ? 1 : 0;
  // Every component's coefficients, 2 bytes each, at its own sampling.
  int maxH = 1, maxV = 1;
  for (const auto& [h, v] : info.sampling) {
    maxH = std::max(maxH, h);
    maxV = std::max(maxV, v);
  }
  double samples = 0;
  for (const auto& [h, v] : info.sampling) samples += static_cast<double>(h * v) / (maxH * maxV);
  return (grey ? 1 : 0) + static_cast<std::int64_t>(2 * samples + 0.999);
}

}  // namespace holescan
