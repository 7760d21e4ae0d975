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

// A clean card as the shot-finding tests shoot it: four shots cutting the black's edge and
// eight anywhere on the face, light (a white backing) or dark.
inline facegen::FaceOptions ShotCard(const char* face, double dpi, std::uint32_t seed, bool dark) {
  facegen::FaceOptions options;
  options.face = score::FindFace(face);
  options.dpi = dpi;
  options.seed = seed;
  options.edgeShots = 4;
  options.scatterShots = 8;
  options.darkEdgeShots = dark;
  return options;
}

// A scan as it comes: tinted card, a ramp of light, grain, blur, JPEG blocks, and shots
// cutting the black's edge, light (a white backing) on odd seeds and dark on even ones.
inline facegen::FaceOptions ScanOf(const char* face, double dpi, std::uint32_t seed) {
  facegen::FaceOptions options = ShotCard(face, dpi, seed, seed % 2 == 0);
  options.edgeShots = 6;
  options.scatterShots = 6;
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

// A single smallbore bull of a kind no face of ours is: black out to ring 5, rings 6 to 10 as
// white lines in it, the ten a quarter of the black across, 80 mm; scanned close around the
// black, as such bulls come cut from their sheet (`marginMm` of card around it).
inline constexpr score::Face kForeignBull = {
    .name = "foreign-bull",
    .shotGroupsName = "",
    .title = "a bull of no known kind",
    .ringDiameterMm = {19.2, 31.36, 43.52, 55.68, 67.84, 80, 0, 0, 0, 0},
    .lowestRing = 5,
    .blackDiameterMm = 80,
    .ringWidthMm = 6.08,
    .ringLineMm = 0.3,
    .rulesGaugeMm = 5.6};

inline facegen::FaceOptions ForeignBullScan(double dpi, std::uint32_t seed,
                                            double marginMm = 3) {
  facegen::FaceOptions options;
  options.face = &kForeignBull;
  options.dpi = dpi;
  options.seed = seed;
  options.calibreMm = 5.6;
  options.marginMm = marginMm;
  options.offsetMm = std::min(3.0, marginMm);
  options.noise = 3;
  return options;
}

}  // namespace holescan::testing_support
