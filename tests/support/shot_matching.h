// shot_matching.h - true shots matched to found ones, the rule every test of the shot finder
// counts by: each true shot in turn takes the nearest found shot not yet taken that lies
// within `within` (half a calibre), or none.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace holescan::testing_support {

struct ShotMatch {
  int found = -1;         // the index of the found shot taken, -1 for none
  double distance = 0;    // from the true shot, in the shots' unit
};

// One entry per true shot, in order. Truth and Found are anything with x and y.
template <class Truth, class Found>
std::vector<ShotMatch> MatchShots(const std::vector<Truth>& truth, const std::vector<Found>& found,
                                  double within) {
  std::vector<ShotMatch> matches;
  matches.reserve(truth.size());
  std::vector<bool> taken(found.size(), false);
  for (const Truth& t : truth) {
    ShotMatch match;
    match.distance = within;
    for (std::size_t i = 0; i < found.size(); ++i) {
      const double distance = std::hypot(found[i].x - t.x, found[i].y - t.y);
      if (!taken[i] && distance < match.distance) {
        match.found = static_cast<int>(i);
        match.distance = distance;
      }
    }
    if (match.found >= 0) taken[static_cast<std::size_t>(match.found)] = true;
    matches.push_back(match);
  }
  return matches;
}

}  // namespace holescan::testing_support
