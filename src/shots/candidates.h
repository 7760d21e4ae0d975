// candidates.h - every place of a working picture that could be a hole of the calibre.
//
// A place is proposed where the mean of a disc about it differs from the mean of the ring around
// it: darker (a hole over a dark backing, a grey hole through tape) or lighter (a light backing
// seen through print, the white centre of a torn hole). The test runs at half the working scale,
// with two sizes of disc and ring, on a pixel's mean level and on its brightest channel (dark: ink
// of one colour is not dark in all three) or its darkest one (light). Local maxima of either
// response are kept, each polarity thinned on its own so that a light halo cannot hide the dark
// core it surrounds. The aim is to miss no hole; telling holes from print is the decision's work
// (decision.h), and tools/train/holegen.py proposes by the same rule for the examples it learns on.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace holescan::shots {

struct CandidateSettings {
  // The responses are computed at this share of the working scale: holes 8 pixels across are
  // still discs, and the network moves every proposal to its shot's centre anyway.
  double proposalScale = 0.5;
  // The large test: a disc of this radius (in diameters) against the ring between these radii,
  // just outside the hole and wide enough to see the paper around it.
  double discRadius = 0.5;
  double ringInner = 0.75;
  double ringOuter = 1.25;
  // The small test, which still peaks on a hole pressed against print or inside a cluster.
  double smallDiscRadius = 0.3;
  double smallRingInner = 0.5;
  double smallRingOuter = 0.85;
  // A response (grey levels of disc against ring) below this is the paper's own grain.
  double minResponse = 6;
  // Two proposals of one polarity are at least this far apart (in diameters): closer than
  // shots of a tight cluster ever are.
  double minDistance = 0.35;
  // At most this many proposals a working megapixel (a busy real page has about a thousand),
  // but minCap in any picture and maxCap in all, the strongest first: a picture of noise must
  // not cost minutes.
  double maxPerMegapixel = 2000;
  double minCap = 4000;
  double maxCap = 20000;
};

struct Candidate {
  double u = 0, v = 0;  // working pixels
  double response = 0;  // grey levels
  bool light = false;   // lighter than the ring around it
};

// The proposals of `work` (CV_8UC3) for holes `diameter` working pixels across, strongest first.
std::vector<Candidate> Proposals(const cv::Mat& work, double diameter,
                                 const CandidateSettings& settings = {});

}  // namespace holescan::shots
