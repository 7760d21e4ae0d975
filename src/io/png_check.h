// png_check.h - a PNG file's chunks: the header, the stored resolution and the text.
//
// Text chunks are never needed, yet the decoder inflates every one of them into memory
// (a zTXt chunk of 7 KB can hold 7 MB): beyond a small total they are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "io/byte_source.h"
#include "io/picture_file.h"

namespace holescan {

inline constexpr std::int64_t kMaxPngTextBytes = 1 << 20;             // declared, in all
inline constexpr std::int64_t kMaxPngCompressedTextBytes = 64 << 10;  // of that, compressed

struct PngInfo {
  bool header = false;  // an IHDR chunk was read
  std::int64_t width = -1;
  std::int64_t height = -1;
  int bitDepth = 0;
  int colourType = 0;
  // From pHYs in pixels per metre; absent for unit 0 (an aspect ratio only) or a zero value.
  std::optional<Resolution> resolution;
  std::int64_t textBytes = 0;            // declared length of tEXt, zTXt and iTXt chunks
  std::int64_t compressedTextBytes = 0;  // of zTXt and compressed iTXt chunks
};

// Walks the chunks up to IEND or the end of the file; a damaged chain stops the walk and is
// left to the decoder.
PngInfo ReadPng(const ByteSource& file);

// "too much text: ..." when the text chunks exceed the limits above.
std::optional<std::string> PngTextRefusal(const PngInfo& png);

// The fewest bytes that can hold the pixels: deflate codes at most 258 bytes in 2 bits, and
// the rows hold at least the pixels' bits.
std::int64_t PngMinimumSize(const PngInfo& png, std::int64_t pixels);

// Bytes a pixel of the decoder's own copy beside the returned picture: 0 when it decodes
// 8-bit RGB straight into the picture, 1 for palette and grey bytes, 4 for ARGB words, 8 for
// 16-bit channels.
std::int64_t PngDecoderBytesPerPixel(const PngInfo& png);

}  // namespace holescan
