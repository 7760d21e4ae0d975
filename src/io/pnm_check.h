// pnm_check.h - the bytes a PBM, PGM or PPM file needs for its pixels.
#pragma once

#include <cstdint>

#include "io/byte_source.h"

namespace holescan {

// The fewest bytes that hold `width` x `height` pixels in the file's kind (P1..P6): a bit a
// pixel for P4, else a byte or a digit a sample. 0 when the kind cannot be read.
std::int64_t PnmMinimumSize(const ByteSource& file, std::int64_t width, std::int64_t height);

// Bytes a pixel of the decoder's own copy: 0 for 8-bit RGB, decoded straight into the
// picture; 1 for grey bytes and bits; 8 for samples of more than 8 bits.
std::int64_t PnmDecoderBytesPerPixel(const ByteSource& file);

}  // namespace holescan
