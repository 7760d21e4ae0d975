// faces.h - the printed target faces the scorer knows, as a table.
//
// A face is data: its ring diameters, the inner ten, the black aiming mark and the ring width.
// Adding a face is adding one entry to the table in faces.cpp; nothing else looks at names.
// All sizes are millimetres on the card, as the rules print them.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace holescan::score {

struct Face {
  std::string_view name;                  // the command-line name, e.g. "issf-air-rifle"
  std::string_view title;                 // for people, e.g. "ISSF 10 m air rifle"
  std::array<double, 10> ringDiameterMm;  // ring 10 first, down to ring 1
  double innerTenDistanceMm;              // a shot is an inner ten when its centre is this close
  double blackDiameterMm;                 // the black aiming mark, whose edge gives the aim
  double ringWidthMm;                     // the radial step from one ring to the next
  double ringLineMm;                      // printed width of a ring line (for drawing faces)

  // Diameter of ring n, 1..10.
  double RingDiameterMm(int ring) const {
    return ringDiameterMm[static_cast<std::size_t>(10 - ring)];
  }
};

// Every known face, in the order help texts list them.
std::span<const Face> Faces();
// The face of that name (exact, lowercase); nullptr when there is none.
const Face* FindFace(std::string_view name);
// "issf-air-rifle, issf-air-pistol": for help texts and the reason of an unknown name.
std::string FaceNames();

}  // namespace holescan::score
