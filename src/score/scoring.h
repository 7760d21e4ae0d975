// scoring.h - the ring score of one shot under the face's rules.
//
// The hole is taken as a gauge g whatever the calibre (the face's rules gauge unless one is
// given). A shot scores the highest ring n its hole reaches under the face's gauging (faces.h):
// inward, d <= D(n)/2 + g/2; outward, d <= g/2 - D(n)/2; d being the distance of the shot's
// centre from the point of aim, and 0 outside the lowest ring. The decimal score counts, in
// tenths of a ring width w, how far inside ring n's limit L(n) the shot lies:
// n + min(9, floor((L(n) - d) / (w/10))) / 10, so n.0 on the limit and at most n.9. Where
// L(10) is one ring width (ISSF rifle and air-pistol faces with their rules' gauge) this is
// the rules' 11.0 - ceil(d / (w/10)) x 0.1 exactly. The inner ten is gauged alike.
//
// Limits fall on exact decimal figures (d = 2.50 mm is a ten for air rifle, 2.25 mm a 10.1),
// where binary floating point would land either side at random. Distances are therefore
// compared in whole nanometres, after rounding d to the nearest one: far finer than any scan
// and exact for every size printed in the table.
#pragma once

#include "score/faces.h"

namespace holescan::score {

// The gauge the ISSF rules score 10 m faces with, for every calibre; each face carries its own
// (Face::rulesGaugeMm).
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

// The score of a shot whose centre lies distanceMm from the point of aim, gauged with gaugeMm
// (the face's rules gauge when 0). Throws std::invalid_argument when the distance is negative
// or not finite, or the gauge lies outside kMinGaugeMm..kMaxGaugeMm.
RingScore ScoreShot(const Face& face, double distanceMm, double gaugeMm = 0);

}  // namespace holescan::score
