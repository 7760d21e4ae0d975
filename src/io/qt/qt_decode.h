// qt_decode.h - the decode step of a picture file through Qt's image readers.
//
// Reads BMP, PNG, JPEG, PBM/PGM/PPM and GIF with QtGui alone, and TIFF and WebP when Qt's
// image-format plugins are installed. Needs no display and no application object. The
// first frame is read with its pixels as stored (no rotation by EXIF orientation) and
// becomes 0xAARRGGBB words with alpha 0xFF: the colour of a pixel is its red, green and
// blue, whatever its alpha.
//
// Gaps of Qt 6.4's readers closed here, so that a bad file never yields uninitialised pixels:
// - Any warning libjpeg reports while decoding is an error ("corrupt data: ...").
// - Run-length BMPs may skip pixels, which Qt leaves unwritten: they are decoded into a
//   buffer cleared to palette entry 0.
// - Palette indices past a BMP's palette are black, also in 1-bit pictures (where Qt's own
//   conversion would make them white).
// - Qt's allocation limit (128 MiB by default) refuses a 50-megapixel scan, and the
//   variable QT_IMAGEIO_MAXALLOC would silently replace any limit set here: the variable is
//   removed before Qt first reads it, and the limit follows the memory budget, which is
//   checked on the declared size before Qt allocates anything.
// - The decoders behind Qt (libpng, libtiff) print their complaints to standard error
//   themselves: standard error is silenced while a file is decoded, and the messages Qt
//   passes on are captured, so that a load ends in one line.
//
// Memory: pictures Qt decodes as 32-bit RGB (most BMP, JPEG, PNG, PPM and TIFF files) are
// decoded straight into the returned buffer, 4 bytes a pixel; other layouts need their
// decoded copy as well while they are converted, a band of rows at a time.
//
// Threads: one decode at a time (the caller serialises them); a process-wide Qt message
// handler and standard error are replaced while a file is decoded, and restored afterwards
// however the decode ends.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "io/picture_check.h"
#include "io/picture_file.h"
#include "io/picture_format.h"
#include "io/picture_limits.h"

namespace holescan {

// Removes QT_IMAGEIO_MAXALLOC from the environment. Qt reads the variable once, when any
// image is first read, so a program that lets Qt read images of its own (icons) must call
// this first thing in main; the loader calls it too. Calls after the first do nothing.
void ConfigurePictureReading();

class QtPictureDecoder {
 public:
  // Opens Qt's reader for `format` on the descriptor `fd` (read from its current offset,
  // which must be the start), with Qt's allocation limit at `memoryBudget` bytes.
  QtPictureDecoder(int fd, PictureFormat format, std::int64_t memoryBudget);
  QtPictureDecoder(const QtPictureDecoder&) = delete;
  QtPictureDecoder& operator=(const QtPictureDecoder&) = delete;
  ~QtPictureDecoder();

  // Why Qt cannot read the file ("unsupported picture format: ...", "damaged or truncated
  // file"), or nothing.
  const std::optional<std::string>& Refusal() const { return refusal_; }
  // The size Qt reads from the header; -1 when it reads none.
  std::int64_t Width() const { return width_; }
  std::int64_t Height() const { return height_; }

  // Decodes the first frame; `check` gives the declared size and how to decode, and a
  // picture of an undeclared size must keep `limits`. Throws std::bad_alloc when memory
  // runs out; any other failure is a refused PictureFile.
  PictureFile Decode(const PictureCheck& check, const PictureLimits& limits);

 private:
  struct Qt;
  std::unique_ptr<Qt> qt_;
  PictureFormat format_;
  std::optional<std::string> refusal_;
  std::int64_t width_ = -1;
  std::int64_t height_ = -1;
};

}  // namespace holescan
