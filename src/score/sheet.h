// sheet.h - one scored picture: every shot in millimetres from the point of aim, its ring
// score with a face, the totals and the group's statistics.
//
// Millimetres are x to the right and y up from the point of aim (the shooter's windage and
// elevation), from pixels at the picture's resolution. The point of aim is the face's black
// (shots::FindAim), one given in pixels, or, without either, the group's own centre.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "score/faces.h"
#include "score/group.h"
#include "score/scoring.h"

namespace holescan::score {

// The point of aim in picture pixels, pixel (i, j)'s centre at (i, j).
struct AimPoint {
  double x = 0, y = 0;
  friend bool operator==(const AimPoint&, const AimPoint&) = default;
};

struct ShotPx {
  double x = 0, y = 0;  // picture pixels, pixel (i, j)'s centre at (i, j)
};

// Group: the group's centre, no face asked for; BlackNotFound: the group's centre because the
// face's black was not found.
enum class AimSource { Face, Given, Group, BlackNotFound };
// "face", "given", "group" or "group-black-not-found".
std::string_view AimSourceName(AimSource source);

struct ScoredShot {
  double xPx = 0, yPx = 0;
  double xMm = 0, yMm = 0;         // from the point of aim, right and up positive
  std::optional<RingScore> score;  // with a face
};

struct Totals {
  int score = 0;
  double decimal = 0;  // the sum of the decimals, exact to the tenth
  int innerTens = 0;
};

struct SheetOptions {
  double dpi = 0;          // pixels per inch, positive
  double calibreMm = 4.5;  // for the edge-to-edge spread
  // The point of aim and how it was found; without one, the group's centre (AimSource::Group).
  std::optional<AimPoint> aim;
  AimSource source = AimSource::Given;
  const Face* face = nullptr;  // scores and totals only with a face
  double gaugeMm = kRulesGaugeMm;
};

struct Sheet {
  AimPoint aim;
  AimSource source = AimSource::Group;
  double dpi = 0;
  double calibreMm = 0;
  const Face* face = nullptr;
  std::vector<ScoredShot> shots;  // in the order given
  GroupStats group;               // from the point of aim
  std::optional<Totals> total;    // with a face
};

// Scores the shots. Throws std::invalid_argument when dpi or the calibre is not positive and
// finite, or (with a face) the gauge is out of range.
Sheet Score(std::span<const ShotPx> shots, const SheetOptions& options);

// Millimetres per pixel at the resolution.
inline double MmPerPixel(double dpi) {
  return 25.4 / dpi;
}

}  // namespace holescan::score
