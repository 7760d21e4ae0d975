// direct_decode.h - decoders that are faster than Qt's for the common cases of a format,
// and give exactly the pixels Qt's reader gives.
//
// Each runs after the checks of src/io have passed (io/picture_check.h) and takes only the
// files it decodes exactly as Qt would: anything else (another layout, a damaged file, a
// library warning) gives nothing, and Qt's reader then decodes the file and gives its own
// reason for refusing it. So every refusal stays Qt's.
//
// - BMP (bmp_decode.cpp): uncompressed 24- and 32-bit pictures with the 40-byte header,
//   rows read in bands and expanded straight into the picture.
// - JPEG (jpeg_decode.cpp): TurboJPEG, straight to 4-byte pixels, for RGB, YCbCr and grey
//   files; the file is read into memory first.
// - PNG (png_decode.cpp): 8-bit RGB and grey, not interlaced, with no chunk that could change
//   a pixel: libdeflate inflates the image data into the picture's own memory, where the rows
//   are unfiltered and widened to words.
//
// Memory: the picture, 4 bytes a pixel, plus a band of rows (BMP) or the file's bytes (JPEG,
// PNG), within the budget or not at all. Throws std::bad_alloc when memory runs out.
#pragma once

#include <cstdint>
#include <optional>

#include "io/bmp_check.h"
#include "io/byte_source.h"
#include "io/picture_check.h"
#include "io/picture_format.h"
#include "io/picture_limits.h"
#include "pixel/picture.h"

namespace holescan {

std::optional<Picture> DecodeBmpDirect(const ByteSource& file, const BmpHeader& header);
std::optional<Picture> DecodeJpegDirect(const ByteSource& file, const PictureCheck& check,
                                        const PictureLimits& limits);
std::optional<Picture> DecodePngDirect(const ByteSource& file, const PictureCheck& check,
                                       const PictureLimits& limits);

// The decoder above for `format`, or nothing.
std::optional<Picture> DecodeDirect(const ByteSource& file, PictureFormat format,
                                    const PictureCheck& check, const PictureLimits& limits);

}  // namespace holescan
