// picture_loader.h - picture files into holescan::Picture: the checks of src/io, then Qt's
// decoders.
//
// The format is decided from the file's first bytes, never from its name (io/picture_format.h);
// the file is checked before anything is decoded (io/picture_check.h) and decoded by a
// direct decoder where one takes it (io/qt/direct_decode.h), through Qt otherwise
// (io/qt/qt_decode.h). The result carries the resolution the file stores, if any.
//
// Refused, with a short lowercase reason in PictureFile::reason:
//   "no file name", "no such file", "permission denied", "is a directory",
//   "not a regular file" (FIFOs, devices, sockets: never opened for reading),
//   "empty file", "not a picture", "unsupported picture format: tiff (...)",
//   "too large: 40000 x 20 pixels (the limit is 32766 on a side)",
//   "too large: 20000 x 20000 pixels (the limit is 268435456 pixels)",
//   "too large: 12000 x 12000 pixels need 1648 MiB to decode (the memory budget is 1 GiB)",
//   "truncated file", "corrupt data: ...", "damaged or truncated file", "read error",
//   "too many scans: 10000 (the limit is 100)", "too much text: ...",
//   "file changed while it was read", "out of memory",
//   "too large for Qt's image allocation limit of N MiB".
//
// Threads: loads are serialised.
#pragma once

#include <string>
#include <string_view>

#include "io/picture_file.h"
#include "io/picture_limits.h"
#include "io/qt/qt_decode.h"

namespace holescan {

// Reads and decodes the picture file at `path` (a local file name, as bytes). Never throws.
PictureFile LoadPictureFile(const std::string& path, const PictureLimits& limits = {});

// Decodes a picture file's bytes held in memory, with the checks of LoadPictureFile and the
// given limits (the fuzzing harness keeps pictures small this way). Never throws.
PictureFile LoadPictureBytes(std::string_view bytes, const PictureLimits& limits = {});

}  // namespace holescan
