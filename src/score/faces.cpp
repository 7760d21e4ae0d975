#include "score/faces.h"

namespace holescan::score {

namespace {

// Rings one ring width apart, ring 10 of diameter d10; rings below `lowest` are not printed.
constexpr std::array<double, 10> Rings(double d10, double ringWidth, int lowest = 1) {
  std::array<double, 10> rings{};
  for (int ring = 10; ring >= lowest; --ring) {
    rings[static_cast<std::size_t>(10 - ring)] = d10 + 2 * ringWidth * (10 - ring);
  }
  return rings;
}

constexpr double kInch = 25.4;

// Sources of the numbers.
//   ISSF: General Technical Rules, 6.3.4 "Paper targets" (ring diameters, inner ten, black,
//   ring line width; edition 2017, the 10 m air rifle figures as quoted from 6.3.4.3) and the
//   scoring rules (a shot touching a ring line scores the higher value: inward gauging; the
//   air-rifle inner ten is the 0.5 mm dot shot out wholly, checked with an outward gauge).
//   Rifle matches are scored in tenths, pistol qualification in whole rings. The names and
//   ring figures agree with R shotGroups' `targets` data (ringD10, ringD10i, ringW).
//   The gauge is the calibre the rules expect on the face: 4.5 mm air, 5.6 mm (.22) for the
//   50 m rifle and 25 m pistols, 8 mm (the largest calibre allowed) for 300 m.
//   NRA A-17: NRA Smallbore Rifle Rules, target table for the 50 ft A-17 record bull: a 0.150 in
//   ten dot, then rings one third of an inch wider in diameter each (0.483, 0.817, 1.150, 1.483,
//   1.817 in), rings 5 to 10 scoring, the black to the 6 ring, scored in whole rings by the .22
//   gauge; the X is the ten dot shot out. shotGroups has no A-17 face (its NRA faces are
//   high-power and pistol ones), so its name here, NRA_A17, is our own in shotGroups' style.
//   These inch figures were checked against a public drawing of the sheet, not the current
//   rule book: confirm before relying on X counts.
//   The A-17 sheet: ten record bulls and two sighters. A search of public references (NRA
//   league handbook pages, historical target tables) found no official drawing of the sheet's
//   layout, so the places below are ours: two rows of five record bulls 2.1 in apart, the two
//   sighters in a row between them, rows 2.6 in apart. Bulls are told apart by where they lie
//   on the sheet, so confirm the places against a printed sheet before scoring matches.
constexpr BullPlace kA17Sheet[] = {
    {0, 0},
    {2.1 * kInch, 0},
    {4.2 * kInch, 0},
    {6.3 * kInch, 0},
    {8.4 * kInch, 0},
    {3.15 * kInch, 2.6 * kInch, true},
    {5.25 * kInch, 2.6 * kInch, true},
    {0, 5.2 * kInch},
    {2.1 * kInch, 5.2 * kInch},
    {4.2 * kInch, 5.2 * kInch},
    {6.3 * kInch, 5.2 * kInch},
    {8.4 * kInch, 5.2 * kInch},
};

constexpr Face kFaces[] = {
    {.name = "issf-air-rifle",
     .shotGroupsName = "ISSF_10mAR",
     .title = "ISSF 10 m air rifle",
     .ringDiameterMm = Rings(0.5, 2.5),
     .innerTenDiameterMm = 0.5,
     .innerTenGauging = Gauging::Outward,
     .blackDiameterMm = 30.5,
     .ringWidthMm = 2.5,
     .ringLineMm = 0.1,
     .rulesGaugeMm = 4.5,
     .scoring = ScoreKind::Decimal},
    {.name = "issf-air-pistol",
     .shotGroupsName = "ISSF_10mAP",
     .title = "ISSF 10 m air pistol",
     .ringDiameterMm = Rings(11.5, 8),
     .innerTenDiameterMm = 5.0,
     .blackDiameterMm = 59.5,
     .ringWidthMm = 8,
     .ringLineMm = 0.2,
     .rulesGaugeMm = 4.5},
    {.name = "issf-50m-rifle",
     .shotGroupsName = "ISSF_50m",
     .title = "ISSF 50 m rifle",
     .ringDiameterMm = Rings(10.4, 8),
     .innerTenDiameterMm = 5.0,
     // The black reaches 3 mm past ring 4 (106.4 mm), so it is on no ring.
     .blackDiameterMm = 112.4,
     .ringWidthMm = 8,
     .ringLineMm = 0.25,
     .rulesGaugeMm = 5.6,
     .scoring = ScoreKind::Decimal},
    {.name = "issf-25m-precision-pistol",
     .shotGroupsName = "ISSF_25mPP",
     .title = "ISSF 25 m precision and 50 m pistol",
     .ringDiameterMm = Rings(50, 25),
     .innerTenDiameterMm = 25,
     .blackDiameterMm = 200,
     .ringWidthMm = 25,
     .ringLineMm = 0.5,
     .rulesGaugeMm = 5.6},
    {.name = "issf-25m-rapid-fire-pistol",
     .shotGroupsName = "ISSF_25mRFP",
     .title = "ISSF 25 m rapid fire pistol",
     .ringDiameterMm = Rings(100, 40, 5),
     .lowestRing = 5,
     .innerTenDiameterMm = 50,
     // The whole scoring area, rings 5 to 10, is black.
     .blackDiameterMm = 500,
     .ringWidthMm = 40,
     .ringLineMm = 0.5,
     .rulesGaugeMm = 5.6},
    {.name = "issf-300m-rifle",
     .shotGroupsName = "ISSF_300m",
     .title = "ISSF 300 m rifle",
     .ringDiameterMm = Rings(100, 50),
     .innerTenDiameterMm = 50,
     .blackDiameterMm = 600,
     .ringWidthMm = 50,
     .ringLineMm = 0.5,
     .rulesGaugeMm = 8,
     .scoring = ScoreKind::Decimal},
    {.name = "nra-a17",
     .shotGroupsName = "NRA_A17",
     .title = "NRA A-17 50 ft smallbore rifle",
     .ringDiameterMm = Rings(0.150 * kInch, kInch / 6, 5),
     .lowestRing = 5,
     .innerTenDiameterMm = 0.150 * kInch,
     .innerTenGauging = Gauging::Outward,
     .blackDiameterMm = (0.150 + 4.0 / 3) * kInch,
     .ringWidthMm = kInch / 6,
     .ringLineMm = 0.2,
     .rulesGaugeMm = 5.6,
     .sheet = kA17Sheet},
};

}  // namespace

std::span<const Face> Faces() {
  return kFaces;
}

const Face* FindFace(std::string_view name) {
  for (const Face& face : kFaces) {
    if (face.name == name || face.shotGroupsName == name) return &face;
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
