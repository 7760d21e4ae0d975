// truth.h - a truth file: the hand-checked (or generated) shot holes of one picture.
//
// NAME.json beside NAME.png, an object with at least
//   "hole_diameter_px": D (the hole itself; one calibre is D pixels),
//   "holes": [{"x": .., "y": .., "r": .., "uncertain": false, "look": "dark", "note": ".."}],
// and optionally "name", "image" (the picture's file name, beside the truth file),
// "ignore_regions": [{"rect": [x0, y0, x1, y1]} | {"outside_circle": [cx, cy, r]}] (detections
// there that match no hole are not counted), "look" (the look a generated picture was drawn
// for) and anything else (sources, licences, notes), which is ignored. Coordinates are
// picture pixels, pixel (i, j)'s centre at (i, j). Only x and y of a hole are required;
// "uncertain" defaults to false and "look" to "?" (as the scoring script
// names a look that is not given).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace holescan::eval {

struct TruthHole {
  double x = 0, y = 0;
  double r = 0;            // 0 when the file gives none
  bool uncertain = false;  // counts neither as found nor as missed
  std::string look = "?";
};

// Detections inside one of these that match no hole are not counted.
struct IgnoreRegion {
  enum class Kind { Rect, OutsideCircle };
  Kind kind = Kind::Rect;
  // Rect: x0, y0, x1, y1 (x0 <= x < x1, y0 <= y < y1); OutsideCircle: cx, cy, r (farther than
  // r from the centre).
  double a = 0, b = 0, c = 0, d = 0;
};

struct Truth {
  std::string name;   // "name", or the file name without extension
  std::string image;  // "image", or "" when the file names none
  std::string look;   // "look" of the whole picture (generated sets), or ""
  double holeDiameterPx = 0;
  std::vector<TruthHole> holes;
  std::vector<IgnoreRegion> ignoreRegions;
};

struct TruthRead {
  std::optional<Truth> truth;
  std::string reason;   // why not, one line, when truth is empty
  bool isTruth = true;  // false: valid JSON but no "hole_diameter_px" (not a truth file at all)
};

// Parses a truth file's text; `name` is the name to use when the file has no "name".
TruthRead ParseTruth(std::string_view text, const std::string& name);
// Reads and parses the file at `path` (at most 64 MiB).
TruthRead ReadTruthFile(const std::string& path);

// Whether (x, y) lies in one of the regions.
bool InIgnoreRegion(double x, double y, std::span<const IgnoreRegion> regions);

}  // namespace holescan::eval
