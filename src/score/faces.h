// faces.h - the printed target faces the scorer knows, as a table.
//
// A face is data: its ring diameters, the lowest ring it prints, the inner ten, the black aiming
// mark, the ring width, the gauge its rules score with and how that gauge is read. Adding a face
// is adding one entry to the table in faces.cpp; nothing else looks at names. All sizes are
// millimetres on the card, as the rules print them (inch faces converted at 25.4 mm).
//
// Gauging. A zone (a ring, or the inner ten) is gauged inward when a shot counts for it as soon
// as its hole touches the zone's line: d <= D/2 + g/2 for a hole of gauge g whose centre lies d
// from the centre of a zone of diameter D. It is gauged outward when the hole must cover the
// zone wholly, as a dot that has to be shot out: d <= g/2 - D/2.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace holescan::score {

enum class Gauging { Inward, Outward };
// The rules' score: whole rings, or tenths of a ring (10.9 at best).
enum class ScoreKind { Integer, Decimal };

// One bull of a sheet printed with several: its centre in millimetres from the sheet's first
// record bull, x right and y down as printed, and whether it is a sighter (not counted).
struct BullPlace {
  double xMm = 0, yMm = 0;
  bool sighter = false;
};

struct Face {
  std::string_view name;                  // the command-line name, e.g. "issf-air-rifle"
  std::string_view shotGroupsName;        // R shotGroups' name for the face, e.g. "ISSF_10mAR"
  std::string_view title;                 // for people, e.g. "ISSF 10 m air rifle"
  std::array<double, 10> ringDiameterMm;  // ring 10 first, down to ring 1; 0 below lowestRing
  int lowestRing = 1;                     // the outermost scoring ring; a shot outside it scores 0
  double innerTenDiameterMm = 0;          // the inner ten (or X) zone
  Gauging innerTenGauging = Gauging::Inward;
  double blackDiameterMm = 0;  // the black aiming mark, whose edge gives the aim
  double ringWidthMm = 0;      // the radial step from one ring to the next
  double ringLineMm = 0;       // printed width of a ring line (for drawing faces)
  double rulesGaugeMm = 4.5;   // the gauge the rules score this face with
  Gauging ringGauging = Gauging::Inward;
  ScoreKind scoring = ScoreKind::Integer;  // how the rules score a match on this face
  // The bulls of the sheet this face is printed on, when it is printed several to a sheet;
  // empty for a face printed alone. A picture may show all of them or some.
  std::span<const BullPlace> sheet{};

  // Diameter of ring n, lowestRing..10.
  double RingDiameterMm(int ring) const {
    return ringDiameterMm[static_cast<std::size_t>(10 - ring)];
  }
  // The outermost scoring ring's diameter.
  double OuterDiameterMm() const { return RingDiameterMm(lowestRing); }
};

// Every known face, in the order help texts list them.
std::span<const Face> Faces();
// The face of that command-line name (exact, lowercase) or shotGroups name (exact); nullptr
// when there is none.
const Face* FindFace(std::string_view name);
// "issf-air-rifle, issf-air-pistol, ...": for help texts and the reason of an unknown name.
std::string FaceNames();

}  // namespace holescan::score
