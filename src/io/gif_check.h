// gif_check.h - a GIF file's blocks up to the end of its first image, and the pixels its
// LZW codes stand for.
//
// Qt's GIF reader decodes a short file without an error and leaves the pixels the codes
// never reached as they were: the blocks are walked here first, and the codes of the first
// image counted, so that a stream ending before width x height pixels is refused like any
// other truncated file.
#pragma once

#include <cstdint>

#include "io/byte_source.h"
#include "io/verdict.h"

namespace holescan {

// The first image of a GIF.
struct GifImage {
  std::int64_t width = 0;
  std::int64_t height = 0;
  int codeSize = 0;  // the minimum code size of its data
  // Verdict of its LZW codes: Complete when they stand for at least width x height pixels,
  // Truncated when they end before, Unknown when they are not a valid stream (the decoder
  // refuses it) or the code size is out of range.
  Verdict pixels = Verdict::Unknown;
};

// Walks the GIF blocks up to the end of the first image's data.
Verdict CheckGif(const ByteSource& file, GifImage& image);

}  // namespace holescan
