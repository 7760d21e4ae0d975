// groupgen.h - one tight group of shots, a ragged torn area, with every shot's true centre.
//
// MakeGroupScan draws a square of paper with one group of 2 to 15 shots in its middle: each
// shot punched at a random step from one already there, so the group grows as a ragged torn
// area, and every shot keeps at least `minRim` of its rim outside the others' holes (a rim
// wholly inside the others is allowed with minRim 0). Dark groups are holes over a dark
// backing on light paper, with a lighter torn rim; light groups show a white backing through
// the black of a printed aiming mark. Thin ring lines may cross the paper; a light ramp,
// pixel noise and 8x8 block noise finish it, as a scanner's JPEG does. Lengths are in the
// calibre, so a seed looks alike from 75 to 600 pixels per inch.
//
// Coordinates are those of the analysis: pixel (i, j) is centred on the point (i, j).
// Deterministic from the seed.
#pragma once

#include <cstdint>
#include <vector>

#include "pixel/picture.h"
#include "scan_paint.h"
#include "scangen.h"

namespace holescan::scangen {

struct GroupOptions {
  std::uint32_t seed = 1;
  double dpi = 300;
  double calibreMm = 4.5;
  double sideMm = 40;   // the picture's side
  int shots = 10;       // 1 .. 15
  bool light = false;   // white backing seen through black print
  double minRim = 0.2;  // share of each shot's rim outside every other hole, 0 .. 0.9
  bool rings = true;    // thin printed ring lines
};

struct GroupScan {
  Picture picture;
  double holeDiameterPx = 0;
  std::vector<MarkedHole> holes;  // look "group-dark" or "group-light"
};

// Share of the circle of radius r about `centres[i]` that lies outside every other disc of
// radius r: the rim a shot keeps visible.
double VisibleRim(const std::vector<Point>& centres, std::size_t i, double r);

// Throws std::invalid_argument for options out of range and std::runtime_error when the shots
// cannot be placed under the rim rule.
GroupScan MakeGroupScan(const GroupOptions& options);

}  // namespace holescan::scangen
