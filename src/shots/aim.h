// aim.h - the point of aim: the centre of the face's black aiming mark, found on the picture.
//
// The black's size is known from the face and the resolution, so the search is for a dark
// round region of that diameter, and the centre comes from its outer edge alone:
//   1. A grey copy reduced by whole blocks (area resampling) so the black is about
//      kWorkDiameterPx working pixels across. The paper's level is taken locally (the brightest
//      tenth of coarse tiles, spread over a black's width), so a tinted card and a ramp of light do
//      not move the threshold: dark is darker than half the paper around it.
//   2. The white ring lines and figures in the black are closed, the printed lines and figures
//      around it opened away (morphology with a digital disc), light regions enclosed and
//      smaller than half the black (shots in it) filled (connected components); the region whose
//      area and extent are nearest a disc of the black's size is the candidate, and a circle of the
//      known radius fitted to its boundary the start.
//   3. At full resolution, rays from that centre (sampled bilinearly, all at once) find the
//      black's outer edge to a fraction of a pixel: on each ray, the point where the grey rises
//      through half-way from the ink inside to the paper outside, nearest the expected radius. Rays
//      with much less contrast than the others (a light hole inside the edge, a dark one outside)
//      give no point.
//   4. Least median of squares over circles of the known radius through pairs of edge points,
//      then least squares (centre and radius) on the points within three robust deviations,
//      repeated; rays and fit once more from the new centre. A shot that cuts the edge moves
//      its edge points inside the circle (a light hole) or outside it (a dark one) by a good
//      part of a calibre, and they drop out instead of pulling the centre.
// The black is "not found" when no region is near its size, when the fitted radius differs
// from the face's by more than kRadiusTolerance, when fewer than a quarter of the edge points
// agree on the circle, or when those that agree leave over a third of the circle uncovered.
// One face per picture: on a card of several faces, the one most like the black is taken.
//
// Coordinates are those of shots: pixel (i, j)'s centre is the point (i, j).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "pixel/picture.h"
#include "score/faces.h"
#include "score/sheet.h"

namespace holescan::shots {

struct AimFit {
  score::AimPoint centre;
  double radiusPx = 0;    // the fitted radius (free in the last step, for checks)
  double residualPx = 0;  // root mean square distance of the inliers from the circle
  int edgePoints = 0;     // edge points measured
  int inliers = 0;        // edge points the centre rests on
  // A black seen at an angle (FindFaces): an ellipse whose longer semi-axis is radiusPx, its
  // shorter one minorPx (0 for a circle) and the longer one's direction in radians from x.
  double minorPx = 0;
  double axisRadians = 0;
};

// Relative difference allowed between the black's measured and printed radius.
inline constexpr double kRadiusTolerance = 0.06;
// The working scale puts the black at about this many pixels across.
inline constexpr int kWorkDiameterPx = 160;
// The centre of the face's black on the picture scanned at dpi. nullopt with a one-line
// reason in *reason (when not null) when dpi is outside kMinDpi..kMaxDpi (limits.h), the black
// would not fit the picture, or no dark round mark of the black's size is found.
std::optional<AimFit> FindAim(const PictureView& picture, const score::Face& face, double dpi,
                              std::string* reason = nullptr);

// ---- The face without a resolution -------------------------------------------------------
// FindFaces finds the face's blacks when the resolution is not known, and measures it on them:
//   1. A grey copy reduced (area resampling) to at most kFaceWorkSide pixels a side, dark
//      where darker than half the paper around it (as above, over tiles a fifth of the
//      picture), small gaps closed and strokes under 5 working pixels wide opened away (ring
//      lines, and ring figures that would join the black to the next ring).
//   2. Every dark region's outer outline (OpenCV's contours, holes in it filled: the white
//      rings and shots in a black) that is round (its area near that of the ellipse of its
//      bounding box, nearly as wide as high) and mostly dark inside. The largest such region
//      and every other within kSameBullTolerance of its size are the blacks: on a sheet of
//      several bulls, all of them; a dark shot hole is far smaller than its black.
//   3. Each black's edge measured at full resolution as FindAim does (rays, half-way from ink
//      to paper, the robust circle fit), its radius free: the face's black diameter in
//      millimetres over the mean fitted diameter in pixels is the scale.
//   4. Among several faces (the automatic choice), those whose scale would lie outside
//      kMinDpi..kMaxDpi drop out, and the rest are told apart by their rings: the grey profile
//      along the radius of the first black (the median over all directions, so shots and ring
//      figures do not count) against each face's printed ink at its scale, and the face that
//      correlates best is taken, if well enough and clearly better than the next
//      (kLeastRingMatch, kLeastRingMargin). Inside the black and outside it each profile is
//      taken from its own mean, so the black, which every face has, does not count.
// A photograph at an angle shows the black as an ellipse (its outline's fitted ellipse flatter
// than kFlattest): its edge is then measured as an ellipse (fitEllipse, robustly), whose longer
// axis, at right angles to the tilt, keeps the face's scale; the shorter one gives the tilt.
// To choose its face the picture around it is first stretched along the shorter axis until
// the black is round again, and the profile taken on that.

// The working copy's longer side at most this many pixels.
inline constexpr int kFaceWorkSide = 1024;
// A black whose outline's axes differ more than this (about 10 degrees of tilt) is measured as
// an ellipse.
inline constexpr double kFlattest = 0.985;
// A face is chosen among several when the picture shows its rings out to the lowest scoring
// ring (three quarters of the circle in the picture) and they correlate at least
// kLeastRingMatch with it and kLeastRingMargin better than the next face's (FaceChoice).
// Floor, from generated pictures of every face (tests/shots/face_choice_test.cpp): the best
// wrong face, the true one left out, at most 0.14; the right one on scans, cards, sheets, dark
// groups and photographs at least 0.43 (0.48), light groups torn through the black's rings
// down to 0.13: 0.2 keeps clear of every wrong one.
inline constexpr double kLeastRingMatch = 0.2;
inline constexpr double kLeastRingMargin = 0.1;
// Blacks of one sheet differ in measured size by at most this (relative).
inline constexpr double kSameBullTolerance = 0.08;

struct FaceFound {
  const score::Face* face = nullptr;  // the face taken (the one given, or the best of several)
  double pxPerMm = 0;                 // the scale measured on its blacks
  std::vector<AimFit> bulls;          // every black of the face, in reading order
  double match = 0;                   // the rings' correlation (-1..1) when faces were compared
  double runnerUpMatch = 0;           // the next face's, when there was one
};

// How sure the choice among several faces must be: a face is taken when its rings' match is at
// least leastMatch and leastMargin above the next face's.
struct FaceChoice {
  double leastMatch = kLeastRingMatch;
  double leastMargin = kLeastRingMargin;
};

// The face among `faces` (one to measure its scale, several to choose) on the picture.
// With `pxPerMm` positive the scale is known and only blacks of that face's size at it count.
// nullopt with a one-line reason in *reason when no round dark region is found, or none fits a
// face at a resolution within the limits.
std::optional<FaceFound> FindFaces(const PictureView& picture,
                                   std::span<const score::Face* const> faces, double pxPerMm = 0,
                                   std::string* reason = nullptr, const FaceChoice& choice = {});

}  // namespace holescan::shots
