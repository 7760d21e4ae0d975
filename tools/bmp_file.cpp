#include "bmp_file.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace holescan::tools {
namespace {

void Put16(std::vector<unsigned char>& out, std::uint32_t v) {
  out.push_back(static_cast<unsigned char>(v & 0xFFu));
  out.push_back(static_cast<unsigned char>((v >> 8) & 0xFFu));
}
void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFFu);
  Put16(out, v >> 16);
}
std::uint32_t Get16(const std::vector<unsigned char>& in, std::size_t at) {
  return static_cast<std::uint32_t>(in[at]) | static_cast<std::uint32_t>(in[at + 1]) << 8;
}
std::uint32_t Get32(const std::vector<unsigned char>& in, std::size_t at) {
  return Get16(in, at) | Get16(in, at + 2) << 16;
}

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

std::size_t RowBytes(int width) {
  return (static_cast<std::size_t>(width) * 3 + 3) & ~3u;
}

}  // namespace

bool WriteBmp(const Picture& picture, const std::string& path, double pixelsPerInch) {
  // Stored per metre, rounded: 75 pixels per inch, a typical target scan, is 2953; 0 for none.
  const auto pixelsPerMetre = static_cast<std::uint32_t>(std::lround(pixelsPerInch / 0.0254));
  const std::size_t rowBytes = RowBytes(picture.Width());
  const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(picture.Height());
  std::vector<unsigned char> out;
  out.reserve(kFileHeaderSize + kInfoHeaderSize + imageBytes);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize + imageBytes));
  Put32(out, 0);
  Put32(out, kFileHeaderSize + kInfoHeaderSize);
  Put32(out, kInfoHeaderSize);
  Put32(out, static_cast<std::uint32_t>(picture.Width()));
  Put32(out, static_cast<std::uint32_t>(picture.Height()));  // positive: bottom row first
  Put16(out, 1);                                             // planes
  Put16(out, 24);                                            // bits per pixel
  Put32(out, 0);                                             // no compression
  Put32(out, static_cast<std::uint32_t>(imageBytes));
  Put32(out, pixelsPerMetre);
  Put32(out, pixelsPerMetre);
  Put32(out, 0);  // no palette
  Put32(out, 0);
  for (int y = picture.Height() - 1; y >= 0; --y) {
    const std::uint32_t* row = picture.Row(y);
    for (int x = 0; x < picture.Width(); ++x) {
      out.push_back(static_cast<unsigned char>(row[x] & 0xFFu));
      out.push_back(static_cast<unsigned char>((row[x] >> 8) & 0xFFu));
      out.push_back(static_cast<unsigned char>((row[x] >> 16) & 0xFFu));
    }
    out.resize(out.size() + rowBytes - static_cast<std::size_t>(picture.Width()) * 3, 0);
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  file.close();
  return static_cast<bool>(file);
}

std::optional<Picture> ReadBmp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const std::vector<unsigned char> in((std::istreambuf_iterator<char>(file)),
                                      std::istreambuf_iterator<char>());
  if (in.size() < kFileHeaderSize + kInfoHeaderSize || in[0] != 'B' || in[1] != 'M')
    return std::nullopt;
  const std::uint32_t offset = Get32(in, 10);
  const std::uint32_t infoSize = Get32(in, 14);
  const auto width = static_cast<std::int32_t>(Get32(in, 18));
  const auto signedHeight = static_cast<std::int32_t>(Get32(in, 22));
  const bool bottomUp = signedHeight > 0;
  const std::int64_t height = bottomUp ? signedHeight : -static_cast<std::int64_t>(signedHeight);
  if (infoSize < kInfoHeaderSize || Get16(in, 26) != 1 || Get16(in, 28) != 24 ||
      Get32(in, 30) != 0 || width <= 0 || width > kMaxPictureSide || height <= 0 ||
      height > kMaxPictureSide)
    return std::nullopt;
  const std::size_t rowBytes = RowBytes(width);
  if (offset < kFileHeaderSize + infoSize ||
      offset + rowBytes * static_cast<std::size_t>(height) > in.size())
    return std::nullopt;
  Picture picture(width, static_cast<int>(height), 0);
  for (int y = 0; y < picture.Height(); ++y) {
    const int stored = bottomUp ? picture.Height() - 1 - y : y;
    const unsigned char* bytes = &in[offset + rowBytes * static_cast<std::size_t>(stored)];
    std::uint32_t* row = picture.Row(y);
    for (int x = 0; x < width; ++x, bytes += 3) row[x] = Rgb(bytes[2], bytes[1], bytes[0]);
  }
  return picture;
}

}  // namespace holescan::tools
