// picture_writers.h - picture files written byte by byte, without any image library: BMP
// files of the layouts the loader checks, GIF files with their LZW codes, and PNG files
// with stored (uncompressed) deflate blocks and any chunks a test wants.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace holescan::testing {

// ---- BMP

// File header and 40-byte info header; `dataOffset` is where the pixel data starts.
Bytes BmpHeaders(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression,
                 std::uint32_t colours, std::uint32_t dataOffset, std::uint32_t fileSize,
                 std::int32_t pixelsPerMetreX = 2835, std::int32_t pixelsPerMetreY = 2835);

// A 24-bit BMP, bottom-up unless asked otherwise; colour(x, y) gives 0xRRGGBB.
Bytes Bmp24(int width, int height, const std::function<std::uint32_t(int, int)>& colour,
            bool topDown = false);

// An 8-bit run-length BMP (compression 1) with a grey palette (entry i = i, i, i) and the
// given run-length stream.
Bytes BmpRle8(int width, int height, const Bytes& stream);

// A 4-bit run-length BMP (compression 2) with the 16-entry palette entry i = 17 * i grey.
Bytes BmpRle4(int width, int height, const Bytes& stream);

// ---- GIF

// The data sub-blocks of an image whose palette indices are `indices` (8 bits, row-major):
// LZW codes of 9 bits, all literals, with a clear code every 250, so that the code width
// never grows and any decoder reads them; then the end code and the empty sub-block.
Bytes GifLzwData(const std::vector<std::uint8_t>& indices);

// A GIF of one image with a grey global palette; grey(x, y) is the palette index.
Bytes Gif(int width, int height, const std::function<std::uint8_t(int, int)>& grey);

// ---- PNG

std::uint32_t Crc32(const Bytes& bytes, std::size_t from, std::size_t count);

// A chunk: length, type, body and checksum.
Bytes PngChunk(const char* type, const Bytes& body);

// A zlib stream of stored deflate blocks holding `raw`.
Bytes ZlibStored(const Bytes& raw);

// The IHDR body: size, bit depth, colour type (0 grey, 2 RGB, 3 palette, 4 grey and
// alpha, 6 RGBA), deflate, no filter, not interlaced.
Bytes PngHeader(std::uint32_t width, std::uint32_t height, int bitDepth = 8, int colourType = 2);

// A whole PNG: the signature, IHDR, the chunks in `before` (placed before the image data),
// one IDAT holding `rows` (each row with its filter byte), IEND.
Bytes Png(const Bytes& header, const Bytes& rows, const Bytes& before = {});

// An 8-bit RGB PNG of `width` x `height` pixels, colour(x, y) = 0xRRGGBB.
Bytes PngRgb(int width, int height, const std::function<std::uint32_t(int, int)>& colour,
             const Bytes& before = {});

// ---- TIFF

// A directory entry: type 3 (SHORT), 4 (LONG) or 5 (RATIONAL, values in numerator and
// denominator pairs).
struct TiffField {
  std::uint16_t tag = 0;
  std::uint16_t type = 3;
  std::vector<std::uint32_t> values;
};

// A TIFF structure in either byte order: the header, `data` (from offset 8), one directory
// of `fields` (sorted as given) and their values that do not fit in an entry.
Bytes Tiff(bool littleEndian, const std::vector<TiffField>& fields, const Bytes& data = {});

// ---- JPEG

// A marker segment: FF, marker, length, body.
Bytes JpegSegment(std::uint8_t marker, const Bytes& body);

// The markers of a JPEG without real image data: SOI, `segments`, a frame header (`frame`,
// 8 bits, width x height, three components sampled 2 x 2, 1 x 1, 1 x 1), `scans` scans of
// a few bytes of entropy-coded data each, EOI.
Bytes JpegSkeleton(int width, int height, const Bytes& segments = {}, int scans = 1,
                   std::uint8_t frame = 0xC0);

}  // namespace holescan::testing
