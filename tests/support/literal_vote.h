// literal_vote.h - the circle vote computed the slow, literal way: the reference the fast
// vote map is checked and measured against.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "holes/hole_array.h"

namespace holescan {

// The vote of cell (x, y) computed literally: one distance per point,
// d = float(sqrt(dx^2 + dy^2) + 0.5), voting 0.5 when d < 6.4f or 6.4f <= d < 7.4f.
// Slow; the reference the fast map is checked against.
inline float LiteralVote(const std::vector<HolePoint>& points, int x, int y) {
  float vote = 0;
  for (const HolePoint p : points) {
    const int dx = p.x - x;
    const int dy = p.y - y;
    const auto d = static_cast<float>(std::sqrt(static_cast<double>(dy * dy + dx * dx)) + 0.5);
    if (d < 6.4f) {
      vote += 0.5f;
    } else if (d >= 6.4f && d < 7.4f) {
      vote += 0.5f;
    }
  }
  return std::min(vote, 255.0f);
}

}  // namespace holescan
