// bmp_check.h - a BMP file's headers and whether it holds all the pixel data they declare.
//
// Qt's BMP reader decodes a short file without an error, so the structure is walked here
// first: the headers, the palette and every row the header declares, or the whole
// run-length stream up to its end marker, exactly as the decoder consumes it.
#pragma once

#include <cstdint>
#include <optional>

#include "io/byte_source.h"
#include "io/picture_file.h"
#include "io/verdict.h"

namespace holescan {

// What a BMP's headers declare, as Qt's decoder reads them.
struct BmpHeader {
  Verdict headers = Verdict::Unknown;  // Truncated: the file ends inside the headers
  bool sized = false;                  // width and height were read
  std::int64_t width = 0;
  std::int64_t height = 0;  // positive also for a top-down picture
  std::uint32_t infoSize = 0;
  std::uint32_t bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t coloursUsed = 0;
  std::int32_t dataOffset = 0;
  bool topDown = false;  // a negative height in the header
  // From the pixels per metre of a 40-byte or longer info header; absent when either is 0.
  std::optional<Resolution> resolution;

  bool RunLength() const { return compression == 1 || compression == 2; }
};

BmpHeader ReadBmpHeader(const ByteSource& file);

// Whether the file holds the palette and all the pixel data the headers declare.
Verdict CheckBmpData(const ByteSource& file, const BmpHeader& header);

}  // namespace holescan
