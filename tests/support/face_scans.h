// face_scans.h - generated scans of target faces and how far the point of aim found on them
// lies from the truth, for the point-of-aim tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "facegen.h"
#include "shots/aim.h"

namespace holescan::testing_support {

struct AimOutcome {
  double errorMm = 1e9;
  double radiusErrorPx = 1e9;
};

inline AimOutcome FindAimOn(const facegen::FaceOptions& options) {
  const facegen::FaceTarget target = facegen::MakeFace(options);
  std::string reason;
  const auto fit = shots::FindAim(target.picture.View(), *options.face, options.dpi, &reason);
  if (!fit) {
    ADD_FAILURE() << reason;
    return {};
  }
  const double trueRadius = options.face->blackDiameterMm / 2 * options.dpi / 25.4;
  return {std::hypot(fit->centre.x - target.aimX, fit->centre.y - target.aimY) * 25.4 / options.dpi,
          std::abs(fit->radiusPx - trueRadius)};
}

// A scan as it comes: tinted card, a ramp of light, grain, blur, JPEG blocks, and shots
// cutting the black's edge, light (a white backing) on odd seeds and dark on even ones.
inline facegen::FaceOptions ScanOf(const char* face, double dpi, std::uint32_t seed) {
  facegen::FaceOptions options;
  options.face = score::FindFace(face);
  options.dpi = dpi;
  options.seed = seed;
  options.edgeShots = 6;
  options.scatterShots = 6;
  options.darkEdgeShots = seed % 2 == 0;
  options.noise = 4;
  options.ramp = 0.25;
  options.blur = 1;
  options.jpegQuality = 75;
  return options;
}

// The point of aim within 0.1 mm and the black's radius within a pixel on scans of the
// seeds first..last; prints the worst error for the record.
inline void ExpectAimWithinTenthOfMillimetre(const char* face, double dpi, std::uint32_t first,
                                             std::uint32_t last) {
  double worst = 0;
  for (std::uint32_t seed = first; seed <= last; ++seed) {
    const AimOutcome outcome = FindAimOn(ScanOf(face, dpi, seed));
    EXPECT_LT(outcome.errorMm, 0.1) << face << " seed " << seed;
    EXPECT_LT(outcome.radiusErrorPx, 1.0) << face << " seed " << seed;
    worst = std::max(worst, outcome.errorMm);
  }
  std::printf("%s at %.0f ppi: worst aim error %.4f mm over seeds %u..%u\n", face, dpi, worst,
              first, last);
}

}  // namespace holescan::testing_support
