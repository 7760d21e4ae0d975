// png_encode.h - a fast PNG encoder for large result pictures.
//
// Writes an opaque picture (0xAARRGGBB words, alpha ignored) as 8-bit RGB, non-interlaced,
// every row with the "sub" filter, and the whole filtered picture compressed by libdeflate at
// level 1 into one zlib stream, split into IDAT chunks of at most 8 MiB. Chunks: IHDR, pHYs
// (the resolution given), IDAT..., IEND: a plain PNG that every viewer reads.
//
// Memory: the filtered picture (3 W + 1 bytes a row) and the compressed stream beside it.
//
// Errors: std::bad_alloc when memory runs out; nothing else can fail.
#pragma once

#include <functional>
#include <string_view>

#include "pixel/picture.h"

namespace holescan {

// Hands the bytes of the PNG file of `picture` (at least 1 x 1) to `write`, in order, with
// pHYs of the resolution given (none when it is 0).
void EncodePng(const PictureView& picture, int dotsPerMeterX, int dotsPerMeterY,
               const std::function<void(std::string_view)>& write);

}  // namespace holescan
