// jpeg_check.h - a JPEG file's markers up to the end of the image.
//
// libjpeg decodes a short file without an error, so the markers are walked here first, up
// to the end-of-image marker after the last scan. On the way: the first frame header, the
// number of scans (a progressive file of thousands of identical scans decodes for many
// seconds, libjpeg setting no bound of its own), and the stored resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "io/byte_source.h"
#include "io/picture_file.h"
#include "io/verdict.h"

namespace holescan {

inline constexpr int kMaxJpegScans = 100;

struct JpegInfo {
  std::uint8_t marker = 0;  // of the first frame, 0xC0..0xCF; 0 when none
  std::int64_t width = -1;  // of the first frame
  std::int64_t height = -1;
  std::vector<std::pair<int, int>> sampling;  // horizontal and vertical factor per component
  int scans = 0;
  // The JFIF density in dots per inch or centimetre, else Exif's XResolution and
  // YResolution; absent when the file stores an aspect ratio only.
  std::optional<Resolution> resolution;

  bool Progressive() const {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
  }
};

// Walks the markers; entropy-coded data after a start-of-scan ends at the first marker that
// is neither a stuffed 0xFF00 nor a restart.
Verdict CheckJpeg(const ByteSource& file, JpegInfo& info);

// The fewest bytes of a Huffman-coded file of `width` x `height`: every 8 x 8 block of a
// component costs at least one bit in its first scan (two in a sequential one: its DC
// difference and the end of its AC run). 0 for arithmetic coding, which allows no bound.
std::int64_t JpegMinimumSize(const JpegInfo& info, std::int64_t width, std::int64_t height);

// Bytes a pixel of the decoder's own memory beside the returned picture: a grey picture's
// bytes, and for a progressive file the coefficients of every block (2 bytes a sample).
std::int64_t JpegDecoderBytesPerPixel(const JpegInfo& info);

}  // namespace holescan
