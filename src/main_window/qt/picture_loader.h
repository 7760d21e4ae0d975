// picture_loader.h - picture files into holescan::Picture through Qt's image reader.
//
// Reads BMP, PNG, JPEG, PBM/PGM/PPM and GIF with QtGui alone, and TIFF and WebP when Qt's
// image-format plugins are installed. Needs no display and no application object. The
// format is decided from the file's first bytes, never from its name. The first frame is
// read with its pixels as stored (no rotation by EXIF orientation) and becomes 0xAARRGGBB
// words with alpha 0xFF: the colour of a pixel is its red, green and blue, whatever its alpha.
//
// Refused, with a short lowercase reason in PictureFile::reason:
//   "no file name", "no such file", "permission denied", "is a directory",
//   "not a regular file" (FIFOs, devices, sockets: never opened for reading),
//   "empty file", "not a picture", "unsupported picture format: tiff (...)",
//   "too large: 40000 x 20 pixels (the limit is 32766 on a side)",
//   "too large: 20000 x 20000 pixels (the limit is 268435456 pixels)",
//   "truncated file", "corrupt data: ...", "damaged or truncated file", "read error",
//   "out of memory", "too large for Qt's image allocation limit of N MiB".
// The size limits are checked on the size the file declares, before any pixel is decoded.
// So is the file's size against the declared one: a PNG, JPEG (Huffman-coded), GIF or PNM
// file too small to hold its pixels at the best compression its format allows is refused
// ("corrupt data: 1069 bytes cannot hold 16000 x 16000 pixels") instead of costing a
// gigabyte before its decoder finds the data missing.
//
// Gaps of Qt 6.4's readers closed here, so that a bad file never yields uninitialised pixels:
// - A truncated BMP or GIF decodes without an error: the file's structure is walked first
//   (BMP: the headers, palette and every row the header declares, or the whole run-length
//   stream up to its end marker; GIF: every data block of the first image).
// - A truncated JPEG decodes without an error: the markers are walked up to the end-of-image
//   marker after the last scan, and any warning libjpeg reports while decoding is an error.
// - Run-length BMPs may skip pixels, which Qt leaves unwritten: they are decoded into a
//   buffer cleared to palette entry 0. Stored top-down, which the format does not allow,
//   they are refused: Qt decodes only part of them.
// - Palette indices past a BMP's palette are black, also in 1-bit pictures (where Qt's own
//   conversion would make them white).
// - A GIF whose LZW code size is past 8 decodes to noise: refused.
// - Qt's default allocation limit (128 MiB) refuses a 50-megapixel scan, and the variable
//   QT_IMAGEIO_MAXALLOC would silently replace any limit set here. The variable is removed
//   before Qt first reads it and the limit becomes kPictureMemoryLimitMiB.
//
// Memory: pictures Qt decodes as 32-bit RGB (most BMP, JPEG, PNG, PPM and TIFF files) are
// decoded straight into the returned buffer, 4 bytes a pixel; other layouts need their
// decoded copy as well while they are converted.
//
// Threads: loads are serialised; a process-wide Qt message handler is installed while a file
// is decoded, and the previous one restored afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "main_window/window_toolkit.h"

namespace holescan {

// Memory budget of one decoded picture: 1024 MiB, 268435456 pixels of 4 bytes.
inline constexpr int kPictureMemoryLimitMiB = 1024;
inline constexpr std::int64_t kMaxPicturePixels =
    std::int64_t{kPictureMemoryLimitMiB} * 1024 * 1024 / 4;

// Size limits of a decoded picture, checked on the size a file declares.
struct PictureLimits {
  std::int64_t maxSide = kMaxPictureSide;
  std::int64_t maxPixels = kMaxPicturePixels;
};

// Reads and decodes the picture file at `path` (a local file name, as bytes). Never throws.
PictureFile LoadPictureFile(const std::string& path);

// Decodes a picture file's bytes held in memory, with the checks of LoadPictureFile and the
// given limits (the fuzzing harness keeps pictures small this way). Never throws.
PictureFile LoadPictureBytes(std::string_view bytes, const PictureLimits& limits = {});

// Removes QT_IMAGEIO_MAXALLOC from the environment and sets Qt's allocation limit to
// kPictureMemoryLimitMiB. Qt reads the variable once, when any image is first read, so a
// program that lets Qt read images of its own (icons) must call this first thing in main.
// LoadPictureFile calls it too; calls after the first do nothing.
void ConfigurePictureReading();

}  // namespace holescan
