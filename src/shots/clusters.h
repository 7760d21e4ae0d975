// clusters.h - the shots of a ragged hole: a group's torn area explained by discs of the calibre.
//
// A good group is one torn area, and the decision (decision.h) sees in it the few shots whose
// hole still looks like a hole. This stage runs after it: about every kept shot it takes the
// torn area the shot belongs to (pixels
// darker, or lighter, than midway between the hole and the paper around it, thin print lines
// opened away) and, when that area is larger than one hole, explains it by discs of the
// calibre. Each disc of a shot lies wholly inside the torn area, and the part of its rim that
// shows is an arc of the area's outline: every outline pixel votes for the centre one radius
// inwards, and discs are taken greedily from those votes, each time the one that explains the
// most of the area and the outline not yet explained, until no disc explains enough to be a
// shot; each centre is then fitted to the outline arcs it explains. A torn area the discs do
// not explain (a print figure, a ring band) keeps the decision's shots.
//
// With the number of shots fired given, the count is made that number where the torn areas
// allow: a shot explaining least is dropped when there are too many (never one that explains a
// clear arc of its own), and when there are too few one is added where it lowers the group's
// joint cost most (the torn area and outline no disc explains, and the discs' area outside
// it) once it and its neighbours have moved to share the outline, which splits two shots seen
// as one; with nothing left to explain, a shot is placed where the torn area is least
// explained (placed = true): a shot completely covered by others leaves no trace of its own,
// so its place is a guess. Then each shot seen is taken out and added again the same way
// while that lowers the joint cost clearly, so a shot first taken in the wrong place (on a
// neck between holes, on two shots at once) moves to where the outline says.
//
// Limits, in a shooter's words: two shots closer than about a third of a calibre are one; a
// group touching dark print (a ring, the black) is split only where the print is thin; a group
// in which the decision keeps no shot at all is not looked at; a torn area of more than 14
// holes' area, or one that needs 20 discs, is left to the decision.
#pragma once

#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace holescan::shots {

struct ClusterSettings {
  // A torn area of more than this many holes' area is a group and resolved: two shots a third
  // of a calibre apart tear about 1.4 holes' area, less once the threshold has rounded them.
  double minGroupArea = 1.25;
  // The darkness (or lightness) between hole and paper must be at least this (grey levels).
  double minContrast = 20;
  // The largest torn area looked at, as a half side in diameters.
  double maxReach = 8;
  // Print thinner than this (in diameters) is opened away from the torn area.
  double openDiameter = 0.25;
  // A disc is a shot when the new area and outline it explains (in shares of a hole's area
  // and rim), less twice the area it puts outside the torn area, reach this.
  double minGain = 0.04;
  // A shot's disc explains at least this share of a rim of the outline not yet explained, and
  // is taken at least this far (in diameters) from every shot taken before; fitted to their
  // arcs, two shots closer than minDistance are one.
  double minArc = 0.03;
  double minPickDistance = 0.28;
  double minDistance = 0.2;
  // The discs must explain this share of the torn area and put no more than this share of
  // themselves outside it, or the decision's shots stand.
  double minCover = 0.95;
  double maxSpill = 0.18;
  // And the discs' circles must run along this share of the area's outline.
  double minRim = 0.8;
  // For a count given, a torn area holds no more shots than its area at this share of a hole
  // each (a group of ten covers about 5.5 holes' area).
  double minAreaPerShot = 0.4;
  // A shot whose own area and outline explain more than this is never dropped for a count.
  double keepGain = 0.35;
  // With a count given, a shot is taken out and added again elsewhere when the group's joint
  // cost (torn area and outline unexplained, area outside) falls by this much (shares of a
  // hole's area and rim), for at most this many rounds over the group.
  double swapMargin = 0.05;
  int swapRounds = 3;
  // A shot added for a count: places this far apart (diameters) are scored at once, the best
  // this many are moved with their neighbours for this many rounds (the last in half pixels),
  // and one is taken as seen when it explains this much of its own and lowers the group's
  // joint cost by as much (shares of a hole's area and rim).
  double additionStep = 0.125;
  int additionTries = 6;
  int additionRounds = 2;
  double minAdditionGain = 0.05;
  // The shots whose centres are this close (diameters) to an added one move with it: those
  // whose rims it can share.
  double neighbourReach = 1;
  // A torn area explained by more discs than this, or larger than this many holes, is more
  // than a group (print, a texture) and keeps the decision's shots.
  int maxShotsPerGroup = 20;
  double maxGroupArea = 14;
};

// A shot the decision keeps.
struct GroupSeed {
  cv::Point2d point;   // working pixels
  bool light = false;  // its look
};

struct GroupShot {
  cv::Point2d point;  // working pixels
  bool light = false;
  bool placed = false;  // put there for the count, not seen
  double contrast = 0;  // the torn area against the paper, grey levels
  int seed = -1;        // the seed it is, as it was; -1 for a shot of a resolved torn area
};

// The kept shots (the seeds, in order) with every resolved group's shots in place of the
// decision's ones inside it. `diameter` is the hole's in working pixels; `dark`
// and `light` say which looks are resolved; `expected` is the number of shots in the whole
// working picture, when known.
std::vector<GroupShot> ResolveGroups(const cv::Mat& work, double diameter,
                                     const std::vector<GroupSeed>& seeds, bool dark, bool light,
                                     std::optional<int> expected,
                                     const ClusterSettings& settings = {});

}  // namespace holescan::shots
