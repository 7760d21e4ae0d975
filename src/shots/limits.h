// limits.h - what the calibrated analysis accepts, stated once: the resolution and the
// calibre, each with the one message every front end shows.
#pragma once

#include <optional>
#include <string>

#include "shots/shots.h"

namespace holescan::shots {

// Resolutions, pixels per inch: a phone snapshot to a fine flatbed.
inline constexpr double kMinDpi = 50;
inline constexpr double kMaxDpi = 4800;

// "the resolution must lie between 50 and 4800 pixels per inch" when outside; nullopt inside.
std::optional<std::string> ResolutionProblem(double dpi);
// "the calibre must lie between 2 and 25 mm" (kMinCalibreMm..kMaxCalibreMm) when outside.
std::optional<std::string> CalibreProblem(double mm);

}  // namespace holescan::shots
