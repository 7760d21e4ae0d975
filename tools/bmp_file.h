// bmp_file.h - the one BMP writer and reader of the picture generators and the tests: 24-bit
// uncompressed, the resolution stored in pixels per metre.
#pragma once

#include <optional>
#include <string>

#include "pixel/picture.h"

namespace holescan::tools {

// Writes a 24-bit uncompressed bottom-up BMP that records the resolution (none for 0); false
// when the file cannot be written.
bool WriteBmp(const Picture& picture, const std::string& path, double pixelsPerInch = 75);
// Reads a 24-bit uncompressed BMP (bottom-up or top-down); nullopt for anything else or a
// damaged file.
std::optional<Picture> ReadBmp(const std::string& path);

}  // namespace holescan::tools
