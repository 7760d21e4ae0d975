// test_files.h - files for the loader and command-line tests, built byte by byte: BMP files
// of every layout the loader checks, a plain GIF, and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace holescan::testfiles {

using Bytes = std::string;

inline void PutLe16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<char>(v & 0xFF));
  b.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void PutLe32(Bytes& b, std::uint32_t v) {
  PutLe16(b, v & 0xFFFF);
  PutLe16(b, v >> 16);
}

// File header and 40-byte info header; `dataOffset` is where the pixel data starts.
inline Bytes BmpHeaders(std::int32_t width, std::int32_t height, int bits,
                        std::uint32_t compression, std::uint32_t colours, std::uint32_t dataOffset,
                        std::uint32_t fileSize) {
  Bytes b = "BM";
  PutLe32(b, fileSize);
  PutLe32(b, 0);
  PutLe32(b, dataOffset);
  PutLe32(b, 40);
  PutLe32(b, static_cast<std::uint32_t>(width));
  PutLe32(b, static_cast<std::uint32_t>(height));
  PutLe16(b, 1);
  PutLe16(b, static_cast<std::uint32_t>(bits));
  PutLe32(b, compression);
  PutLe32(b, 0);
  PutLe32(b, 2835);
  PutLe32(b, 2835);
  PutLe32(b, colours);
  PutLe32(b, 0);
  return b;
}

// A 24-bit BMP, bottom-up unless asked otherwise; colour(x, y) gives 0xRRGGBB.
inline Bytes Bmp24(int width, int height, const std::function<std::uint32_t(int, int)>& colour,
                   bool topDown = false) {
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  const auto size = static_cast<std::uint32_t>(54 + rowBytes * height);
  Bytes b = BmpHeaders(width, topDown ? -height : height, 24, 0, 0, 54, size);
  for (int row = 0; row < height; ++row) {
    const int y = topDown ? row : height - 1 - row;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = colour(x, y);
      b.push_back(static_cast<char>(c & 0xFF));
      b.push_back(static_cast<char>((c >> 8) & 0xFF));
      b.push_back(static_cast<char>((c >> 16) & 0xFF));
    }
    b.append(static_cast<std::size_t>(rowBytes - width * 3), '\0');
  }
  return b;
}

// An 8-bit run-length BMP (compression 1) with a grey palette (entry i = i, i, i) and the
// given run-length stream.
inline Bytes BmpRle8(int width, int height, const Bytes& stream) {
  const std::uint32_t offset = 54 + 256 * 4;
  Bytes b = BmpHeaders(width, height, 8, 1, 256, offset,
                       offset + static_cast<std::uint32_t>(stream.size()));
  for (std::uint32_t i = 0; i < 256; ++i) PutLe32(b, i * 0x010101u);
  return b + stream;
}

// A 4-bit run-length BMP (compression 2) with the 16-entry palette entry i = 17 * i grey.
inline Bytes BmpRle4(int width, int height, const Bytes& stream) {
  const std::uint32_t offset = 54 + 16 * 4;
  Bytes b = BmpHeaders(width, height, 4, 2, 16, offset,
                       offset + static_cast<std::uint32_t>(stream.size()));
  for (std::uint32_t i = 0; i < 16; ++i) PutLe32(b, i * 17 * 0x010101u);
  return b + stream;
}

// A GIF of one image with a grey global palette; grey(x, y) is the palette index. Codes are
// written as literals of 9 bits with a clear code every 250, which any decoder reads.
inline Bytes Gif(int width, int height, const std::function<std::uint8_t(int, int)>& grey) {
  Bytes b = "GIF89a";
  PutLe16(b, static_cast<std::uint32_t>(width));
  PutLe16(b, static_cast<std::uint32_t>(height));
  b += "\xF7";
  b.append(2, '\0');
  for (int i = 0; i < 256; ++i) b.append(3, static_cast<char>(i));
  b += ",";
  PutLe32(b, 0);
  PutLe16(b, static_cast<std::uint32_t>(width));
  PutLe16(b, static_cast<std::uint32_t>(height));
  b.push_back('\0');
  b.push_back('\x08');
  Bytes codes;
  std::uint32_t bits = 0;
  int count = 0;
  auto put = [&](std::uint32_t code) {
    bits |= code << count;
    count += 9;
    while (count >= 8) {
      codes.push_back(static_cast<char>(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
  };
  put(256);
  int sinceClear = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      put(grey(x, y));
      if (++sinceClear == 250) {
        put(256);
        sinceClear = 0;
      }
    }
  }
  put(257);
  if (count > 0) codes.push_back(static_cast<char>(bits & 0xFF));
  for (std::size_t i = 0; i < codes.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, codes.size() - i);
    b.push_back(static_cast<char>(n));
    b.append(codes, i, n);
  }
  b.push_back('\0');
  b += ";";
  return b;
}

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder under the system's temporary folder, removed with the fixture.
class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "holescan-test-XXXXXX");
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  std::string Write(const std::string& name, const Bytes& bytes) {
    WriteFile(folder_ / name, bytes);
    return Path(name);
  }

  std::filesystem::path folder_;
};

}  // namespace holescan::testfiles
