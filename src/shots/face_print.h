// face_print.h - holes seen against a bull's print: what breaks rings that are the same all round.
//
// A bull's print (the black, the ring lines, a tinted card) is the same in every direction about
// its centre; only the ring figures, stains and shots differ from one direction to the next. So
// the print is measured on the picture itself:
//   1. The grey at each distance from the centre is the median over every direction (in bins of
//      half a working pixel; a bull seen at an angle is an ellipse, and the distance is measured
//      as if it were round), under a smooth field of light: a quadratic in x and y fitted, by
//      least squares with outliers dropped, to the picture over that median where the card is.
//      The print's model is that median at each pixel's distance, times the light there.
//   2. A hole shows its backing, one grey, over a disc of the calibre. About every pixel, the
//      inner disc of a hole (clear of its blurred rim) is compared with the print's model and
//      with one flat grey (the disc's own mean): `gain` is how much better the flat grey explains
//      the disc, `misfit` how badly it still does, each in squared standard deviations of the
//      picture against the model (the grain, and where the print changes fast the change over
//      the centre's uncertainty).
//   3. A hole is where the gain peaks, the flat grey explains most of the difference from the
//      print, enough of the disc differs from the print to see it, and the ring just outside
//      the hole is the print again, but for one arc where another hole may touch it (a paster
//      or a stain is wider than a hole, a figure's stroke crosses the ring twice). Its centre is
//      then fitted to a fraction of a pixel: the hole's grey over a disc of the calibre, the
//      print's model round it.
// That finds the holes the print hides from the decision's networks, which learned holes on
// plain paper and print they had to tell them from: a white hole through a tinted card among
// the rings, a dark one across the black's edge (only its part on the card shows), a grey one
// that is lighter than the black and darker than the card, a dark hole in the black that cuts
// its white ring lines. A ring figure is print the rings do not explain, and it is not flat.
// Limits: holes near the bull's centre (within about two calibres) are left to the decision;
// a hole whose backing matches the print all over it (a dark hole in the black between
// its ring lines) cannot be seen; a ragged hole whose inside is not one grey is left to the
// decision, as are holes of a group touching each other (the ring about one is the next).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include <opencv2/core.hpp>

namespace holescan::shots {

struct FacePrintSettings {
  // The disc compared (in diameters): a hole's inside, clear of the rim that blur and a cut's
  // fibres soften, and wide enough that a figure's strokes cannot fill it.
  double discRadius = 0.42;
  // The ring outside the hole that must show the print again (in diameters).
  double ringInner = 0.62;
  double ringOuter = 0.85;
  // The print's median is taken over distance bins this wide (working pixels), from this far
  // out from the centre (in diameters): nearer, a hole covers over a tenth of the circle and a
  // group at the centre tears out most of it, so the median there is no longer the print.
  double binWidth = 0.5;
  double minRadius = 1.6;
  // How far the centre found may be from the true one (working pixels): where the print changes
  // fast (the black's edge) the model may be off by the change over this distance.
  double centreUncertainty = 0.5;
  // The grain is taken as at least this (grey levels): a clean generated card has none.
  double minNoise = 2;
  // A pixel differs from the print when the flat grey is this many standard deviations from
  // the model there; at least this share of the disc must (a hole half hidden in matching
  // print still shows a crescent this wide).
  double visibleSigmas = 4;
  double minVisibleShare = 0.12;
  // The flat grey explains at least this share of the disc's difference from the model.
  double minExplained = 0.8;
  // The difference it explains, per pixel of the disc, in squared standard deviations: a hole
  // differs from the print clearly (about five deviations over a quarter of the disc).
  double minGainPerPixel = 6;
  // Round the ring, the directions where the picture is nearer the hole's grey than the print
  // form at most one arc, of at most this share of the circle: another hole beside this one
  // (its disc crosses a quarter of the ring at most), where a figure's stroke through the disc
  // shows as two arcs, and a paster or a stain all round.
  double maxRingAgain = 0.3;
  // The fitted hole (its grey over a disc of the calibre, the print round it) explains at least
  // this share of the picture's difference from the print within 0.8 diameters of its centre,
  // each pixel's counted up to four deviations: a clean hole explains over 0.8, one beside
  // another about 0.55, a light figure's stroke running into the card at the black's edge 0.2.
  double minFitExplained = 0.45;
  // A shot the decision found is centred by that fit where it explains this share: the fit of
  // a clean hole's whole rim is more exact than the network's centre (a few hundredths of a
  // calibre against up to a tenth); a torn or ragged hole keeps the network's.
  double minRecentreExplained = 0.7;
  // Two holes are at least this far apart (in diameters).
  double minDistance = 0.5;
  // At most this many places are looked at closely, the strongest first: a face holds far
  // fewer shots, and each costs a fit.
  std::size_t maxCandidates = 2000;
};

// The bull's centre and shape on the working picture: its distance from the centre is measured
// along `axisRadians` (from x) as is and across it divided by `flatten` (minor over major axis;
// 1 for a face seen square-on). The print is modelled out to `reach` working pixels.
struct BullShape {
  double u = 0, v = 0;
  double reach = 0;
  double flatten = 1;
  double axisRadians = 0;
};

// A bull's frame seen square-on: an offset from a point of the picture, along the bull's longer
// axis as it is and across it divided by the flattening (clamped to 0.2..1), so that a circle
// of the face, or a hole in it, is a circle here.
class SquareOn {
 public:
  SquareOn(double flatten, double axisRadians)
      : along_(std::cos(axisRadians)),
        across_(std::sin(axisRadians)),
        flatten_(std::clamp(flatten, 0.2, 1.0)) {}
  cv::Point2d operator()(double dx, double dy) const {
    return {dx * along_ + dy * across_, (-dx * across_ + dy * along_) / flatten_};
  }
  double Distance(double dx, double dy) const { return cv::norm((*this)(dx, dy)); }

 private:
  double along_, across_, flatten_;
};

struct PrintHole {
  double u = 0, v = 0;  // working pixels
  double gain = 0;      // per pixel of the disc, squared standard deviations
  bool light = false;   // its grey above the print's where it differs from it
  double contrast = 0;  // grey levels between hole and print, where they differ
};

// The holes of diameter `diameter` (working pixels) that break the print of the bull on `work`
// (CV_8UC3), strongest first. The shots in `recentre` (working pixels, found by other means)
// whose hole is a clean one (the fit explains at least minRecentreExplained of the difference
// from the print about it) are moved to the centre fitted, at most two and a half working pixels
// away.
std::vector<PrintHole> HolesAgainstPrint(const cv::Mat& work, double diameter,
                                         const BullShape& bull,
                                         const FacePrintSettings& settings = {},
                                         std::span<cv::Point2d> recentre = {});

}  // namespace holescan::shots
