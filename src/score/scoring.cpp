#include "score/scoring.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace holescan::score {

namespace {

std::int64_t Nanometres(double mm) {
  return std::llround(mm * 1e6);
}

}  // namespace

RingScore ScoreShot(const Face& face, double distanceMm, double gaugeMm) {
  if (!std::isfinite(distanceMm) || distanceMm < 0) {
    throw std::invalid_argument("shot distance must be a finite non-negative number of mm");
  }
  if (!std::isfinite(gaugeMm) || gaugeMm < kMinGaugeMm || gaugeMm > kMaxGaugeMm) {
    throw std::invalid_argument("gauge must be 1 to 20 mm");
  }
  // A distance beyond any face cannot overflow the integer nanometres below.
  if (distanceMm > 1e6) return {};
  const std::int64_t d = Nanometres(distanceMm);
  const std::int64_t gauge = Nanometres(gaugeMm);

  RingScore result;
  for (int ring = 10; ring >= 1; --ring) {
    // Ring diameter and gauge in nanometres are both even or rounded alike, so halving their
    // sum is exact for every printed size (a multiple of 0.5 um).
    const std::int64_t reach = (Nanometres(face.RingDiameterMm(ring)) + gauge) / 2;
    if (d <= reach) {
      result.score = ring;
      break;
    }
  }
  if (result.score == 0) return result;

  const std::int64_t step = Nanometres(face.ringWidthMm) / 10;
  const std::int64_t steps = (d + step - 1) / step;
  // With the rules' gauge the tenths of ring n are exactly n.0 to n.9; with another gauge the
  // ring moves and the tenths are held within it, so the decimal never contradicts the score.
  const std::int64_t low = 10 * result.score, high = std::min<std::int64_t>(low + 9, 109);
  const std::int64_t tenths = std::clamp<std::int64_t>(110 - steps, low, high);
  result.tenths = static_cast<int>(tenths);
  result.decimal = static_cast<double>(tenths) / 10.0;
  result.innerTen = d <= Nanometres(face.innerTenDistanceMm);
  return result;
}

}  // namespace holescan::score
