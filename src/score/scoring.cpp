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

// How far from the centre a shot still counts for a zone of that diameter, in nanometres; a
// negative reach (an outward-gauged zone wider than the hole) is never met.
std::int64_t Reach(std::int64_t diameter, std::int64_t gauge, Gauging gauging) {
  // Diameter and gauge in nanometres are both even or rounded alike, so halving is exact for
  // every printed size (a multiple of 0.5 um); inch faces are rounded to the nanometre.
  return gauging == Gauging::Inward ? (diameter + gauge) / 2 : (gauge - diameter) / 2;
}

}  // namespace

RingScore ScoreShot(const Face& face, double distanceMm, double gaugeMm) {
  if (!std::isfinite(distanceMm) || distanceMm < 0) {
    throw std::invalid_argument("shot distance must be a finite non-negative number of mm");
  }
  if (gaugeMm == 0) gaugeMm = face.rulesGaugeMm;
  if (!std::isfinite(gaugeMm) || gaugeMm < kMinGaugeMm || gaugeMm > kMaxGaugeMm) {
    throw std::invalid_argument("gauge must be 1 to 20 mm");
  }
  // A distance beyond any face cannot overflow the integer nanometres below.
  if (distanceMm > 1e6) return {};
  const std::int64_t d = Nanometres(distanceMm);
  const std::int64_t gauge = Nanometres(gaugeMm);

  RingScore result;
  std::int64_t limit = 0;
  for (int ring = 10; ring >= face.lowestRing; --ring) {
    const std::int64_t reach =
        Reach(Nanometres(face.RingDiameterMm(ring)), gauge, face.ringGauging);
    if (d <= reach) {
      result.score = ring;
      limit = reach;
      break;
    }
  }
  if (result.score == 0) return result;

  const std::int64_t step = Nanometres(face.ringWidthMm) / 10;
  const std::int64_t inside = std::min<std::int64_t>((limit - d) / step, 9);
  result.tenths = 10 * result.score + static_cast<int>(inside);
  result.decimal = static_cast<double>(result.tenths) / 10.0;
  result.innerTen = d <= Reach(Nanometres(face.innerTenDiameterMm), gauge, face.innerTenGauging);
  return result;
}

}  // namespace holescan::score
