// picture_check.h - everything known about a picture file before it is decoded, and the
// refusal of a file that must not reach its decoder.
//
// In this order: the size limits on the size the file declares; the structural walks that
// find a truncated BMP, JPEG or GIF (whose decoders would fill the missing pixels with
// whatever memory held); the bounds that decoders set none of (JPEG scans, PNG text); the
// file's size against the fewest bytes that can hold the declared pixels at the best
// compression its format allows (a few hundred bytes must not cost a gigabyte); the pixels
// a GIF's codes stand for; and the memory the decode needs against the budget.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "io/byte_source.h"
#include "io/picture_file.h"
#include "io/picture_format.h"
#include "io/picture_limits.h"

namespace holescan {

struct PictureCheck {
  std::optional<std::string> refusal;  // the file must not be decoded
  // The size the limits were checked on; -1 when neither the file nor the decoder said.
  std::int64_t width = -1;
  std::int64_t height = -1;
  std::optional<Resolution> resolution;
  // A run-length BMP may skip pixels, which Qt leaves unwritten: it is decoded into a
  // buffer of palette indices cleared to entry 0.
  bool runLengthBmp = false;
  // The memory the decode takes, the returned picture included.
  std::int64_t bytesPerPixel = 4;
};

// What must be refused before the decoder reads even the headers: PNG text chunks, which
// libpng inflates while it reads the header for the picture's size.
std::optional<std::string> RefusalBeforeHeaders(const ByteSource& file, PictureFormat format);

// Checks `file`, whose format was sniffed as `format`. `decoderWidth` and `decoderHeight`
// are the size the decoder reads from the header (-1 when it reads none); a BMP's own
// header overrides them (Qt gives a top-down BMP a negative height), and where they are
// missing the file's own header stands in.
PictureCheck CheckPicture(const ByteSource& file, PictureFormat format, std::int64_t decoderWidth,
                          std::int64_t decoderHeight, const PictureLimits& limits);

}  // namespace holescan
