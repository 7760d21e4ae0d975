// tiff_check.h - the first directory of a TIFF structure: size, samples, compression and
// resolution, in either byte order. Also read inside a JPEG's Exif segment.
#pragma once

#include <cstdint>
#include <optional>

#include "io/byte_source.h"
#include "io/picture_file.h"

namespace holescan {

struct TiffDirectory {
  bool read = false;  // the header and the first directory were there
  std::int64_t width = -1;
  std::int64_t height = -1;
  std::int64_t bitsPerPixel = 1;  // BitsPerSample summed over the samples of a pixel
  std::uint32_t compression = 1;
  // XResolution and YResolution in ResolutionUnit (inches when absent, centimetres
  // converted); absent without a unit (1), with a zero value or denominator, or when
  // either is missing.
  std::optional<Resolution> resolution;
};

// The directory of the TIFF structure whose header ("II*\0" or "MM\0*") starts at `base`;
// offsets inside it count from there, as in an Exif segment.
TiffDirectory ReadTiffDirectory(const ByteSource& file, std::int64_t base = 0);

// The fewest bytes that can hold the directory's pixels: the raw size of the samples
// divided by the best ratio of its compression; 0 for compressions without a useful bound
// (the fax codings, JPEG) or a directory that could not be read.
std::int64_t TiffMinimumSize(const TiffDirectory& directory, std::int64_t pixels);

}  // namespace holescan
