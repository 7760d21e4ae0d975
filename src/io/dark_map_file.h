// dark_map_file.h - the darkness map as a file: a raw dump of its (W + 1) x (H + 1) bytes,
// row by row, no header.
#pragma once

#include <optional>
#include <string>

#include "pixel/picture.h"

namespace holescan {

// Writes the map to `path`, whole or not at all (see OutputFile). A target that exists and
// is not a regular file, or a link to one, is refused: the save never replaces a device.
// Returns a one-line reason on failure.
std::optional<std::string> SaveDarkMapFile(const DarkMap& map, const std::string& path);

// Reads the map from `path`, which must hold exactly the map's size; on failure returns a
// one-line reason and leaves the map unchanged.
std::optional<std::string> LoadDarkMapFile(DarkMap& map, const std::string& path);

}  // namespace holescan
