// bench_targets.h - the generated targets the whole-picture benchmarks share, and the
// buffers a scan of one of them writes.
//
// Targets are scans of 6 and 24 megapixels (3000 x 2000 and 6000 x 4000), each with 300 round
// shot holes (290 alone and 5 overlapping pairs, radius 5 to 8), printed rings and text, and
// 300 dark specks. They are generated once per process and shared by every case, so that a
// case and its baseline read identical pixels.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "holes/scan.h"
#include "pixel/picture.h"
#include "targetgen.h"

namespace holescan::bench {

inline targetgen::TargetOptions TargetOptionsFor(int megapixels) {
  targetgen::TargetOptions options;
  options.width = megapixels == 24 ? 6000 : 3000;
  options.height = megapixels == 24 ? 4000 : 2000;
  options.seed = 2024;
  options.holes = 290;
  options.overlappingPairs = 5;
  options.specks = 300;
  options.rings = true;
  options.text = true;
  return options;
}

// The target of 6 or 24 megapixels, generated on first use.
inline const Picture& GeneratedTarget(int megapixels) {
  static std::map<int, Picture> targets;
  auto found = targets.find(megapixels);
  if (found == targets.end())
    found = targets.emplace(megapixels, targetgen::MakeTarget(TargetOptionsFor(megapixels)).picture)
                .first;
  return found->second;
}

// A generated target with the buffers a scan writes, sized for it: the whole picture
// selected, as a Load would leave it.
struct ScanSetup {
  explicit ScanSetup(int megapixels)
      : target(GeneratedTarget(megapixels)),
        dark(target.Width(), target.Height()),
        result(target.Width(), target.Height(), kResultBackground),
        selection(WholePicture(target.Width(), target.Height())) {}

  const Picture& target;
  DarkMap dark;
  Picture result;
  Selection selection;
  HoleAnalysis analysis;
  ScanObserver observer;  // shows nothing; the report stays in the analysis
};

}  // namespace holescan::bench
