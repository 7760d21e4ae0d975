// fastest.h - the "min" statistic over repetitions. The machines these run on are shared
// and noisy; other work only ever slows a run down, so the fastest repetition is the best
// estimate of the code's own time and the one the ratios in README.md are taken from.
#pragma once

#include <algorithm>
#include <vector>

namespace holescan {

inline double Fastest(const std::vector<double>& times) {
  return times.empty() ? 0.0 : *std::min_element(times.begin(), times.end());
}

}  // namespace holescan
