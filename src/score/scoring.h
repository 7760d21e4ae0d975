// scoring.h - the ring score of one shot under the ISSF rules.
//
// A shot scores ring n when the edge of its hole nearest the centre touches ring n, with the
// hole taken as the rules' gauge g whatever the calibre: the score is the highest n with
// d <= D(n)/2 + g/2, d being the distance of the shot's centre from the point of aim, and 0
// outside ring 1. The decimal score is 11.0 - ceil(d / (w/10)) x 0.1 for a ring width w, at
// most 10.9, and 0 outside ring 1. With the rules' gauge a shot in ring n has n.0 to n.9 by
// that formula alone; with another gauge the decimal is held within its ring's tenths.
//
// Limits fall on exact decimal figures (d = 2.50 mm is a ten for air rifle, 2.25 mm a 10.1),
// where binary floating point would land either side at random. Distances are therefore
// compared in whole nanometres, after rounding d to the nearest one: far finer than any scan
// and exact for every size printed in the table.
#pragma once

#include "score/faces.h"

namespace holescan::score {

// The gauge the rules score with, for every calibre.
inline constexpr double kRulesGaugeMm = 4.5;
// Gauges the scorer accepts, in millimetres.
inline constexpr double kMinGaugeMm = 1;
inline constexpr double kMaxGaugeMm = 20;

struct RingScore {
  int score = 0;       // 0..10
  double decimal = 0;  // 0, or 1.0..10.9 in tenths
  int tenths = 0;      // decimal x 10, exactly: for totals without rounding drift
  bool innerTen = false;
  friend bool operator==(const RingScore&, const RingScore&) = default;
};

// The score of a shot whose centre lies distanceMm from the point of aim. Throws
// std::invalid_argument when the distance is negative or not finite, or the gauge lies outside
// kMinGaugeMm..kMaxGaugeMm.
RingScore ScoreShot(const Face& face, double distanceMm, double gaugeMm = kRulesGaugeMm);

}  // namespace holescan::score
