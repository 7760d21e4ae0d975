#include "score/faces.h"

namespace holescan::score {

namespace {

// The ISSF 10 m faces. The air-rifle ten is a dot of 0.5 mm; its inner ten is a shot that
// takes the whole dot away (d <= 2.25 - 0.25). The air-pistol inner ten is the 5 mm ring.
constexpr Face kFaces[] = {
    {"issf-air-rifle",
     "ISSF 10 m air rifle",
     {0.5, 5.5, 10.5, 15.5, 20.5, 25.5, 30.5, 35.5, 40.5, 45.5},
     2.0,
     30.5,
     2.5,
     0.1},
    {"issf-air-pistol",
     "ISSF 10 m air pistol",
     {11.5, 27.5, 43.5, 59.5, 75.5, 91.5, 107.5, 123.5, 139.5, 155.5},
     4.75,
     59.5,
     8.0,
     0.2},
};

}  // namespace

std::span<const Face> Faces() {
  return kFaces;
}

const Face* FindFace(std::string_view name) {
  for (const Face& face : kFaces) {
    if (face.name == name) return &face;
  }
  return nullptr;
}

std::string FaceNames() {
  std::string names;
  for (const Face& face : kFaces) {
    if (!names.empty()) names += ", ";
    names += face.name;
  }
  return names;
}

}  // namespace holescan::score
