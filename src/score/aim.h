// aim.h - the point of aim: the centre of the face's black aiming mark, found on the picture.
//
// The black's size is known from the face and the resolution, so the search is for a dark
// round region of that diameter, and the centre comes from its outer edge alone:
//   1. A grey copy reduced so the black is about kWorkDiameterPx working pixels across; the
//      paper's level is taken locally (a coarse grid of bright percentiles) so off-white paper
//      and a lighting ramp do not move the threshold.
//   2. Dark working pixels are grouped into connected regions; the region whose filled extent
//      matches the black best (area and span, with the face's white ring lines and the shot
//      holes inside it filled) is the candidate.
//   3. At full resolution, rays from the candidate's centre find the black's outer edge to a
//      fraction of a pixel (the half-way crossing between ink and paper level on each ray).
//   4. A circle of the known radius is fitted to the edge points robustly: a least-median fit
//      over many triples, then least squares on the inliers, repeated. A shot that cuts the
//      edge shows as edge points inside the known radius (a light hole) or outside it (a dark
//      one), and is rejected as an outlier, so it does not pull the centre.
// A black whose fitted radius differs from the face's by more than kRadiusTolerance, or that
// has too few consistent edge points, is "no mark of that size".
//
// Coordinates are those of shots: pixel (i, j)'s centre is the point (i, j).
#pragma once

#include <optional>
#include <string>

#include "pixel/picture.h"
#include "score/faces.h"

namespace holescan::score {

struct AimPoint {
  double x = 0, y = 0;  // picture pixels
};

struct AimFit {
  AimPoint centre;
  double radiusPx = 0;    // the fitted radius (free in the last step, for checks)
  double residualPx = 0;  // root mean square distance of the inliers from the circle
  int edgePoints = 0;     // edge points measured
  int inliers = 0;        // edge points the centre rests on
};

// Relative difference allowed between the black's measured and printed radius.
inline constexpr double kRadiusTolerance = 0.06;
// The working scale puts the black at about this many pixels across.
inline constexpr int kWorkDiameterPx = 160;
// Resolutions FindAim accepts, pixels per inch.
inline constexpr double kMinAimDpi = 50;
inline constexpr double kMaxAimDpi = 4800;

// The centre of the face's black on the picture scanned at dpi. nullopt with a one-line
// reason in *reason (when not null) when dpi is out of range, the black would not fit the
// picture, or no dark round mark of the black's size is found.
std::optional<AimFit> FindAim(const PictureView& picture, const Face& face, double dpi,
                              std::string* reason = nullptr);

}  // namespace holescan::score
