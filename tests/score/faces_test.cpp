#include "score/faces.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace holescan::score {
namespace {

TEST(Faces, finds_each_face_by_its_option_name_or_its_shotgroups_name_and_no_other) {
  std::set<std::string_view> names, shotGroupsNames;
  for (const Face& face : Faces()) {
    EXPECT_EQ(FindFace(face.name), &face);
    EXPECT_EQ(FindFace(face.shotGroupsName), &face);
    EXPECT_TRUE(names.insert(face.name).second) << face.name;
    EXPECT_TRUE(shotGroupsNames.insert(face.shotGroupsName).second) << face.shotGroupsName;
  }
  EXPECT_EQ(FindFace("ISSF-AIR-RIFLE"), nullptr);
  EXPECT_EQ(FindFace("issf_10mar"), nullptr);
  EXPECT_EQ(FindFace(""), nullptr);
  EXPECT_EQ(FaceNames(),
            "issf-air-rifle, issf-air-pistol, issf-50m-rifle, issf-25m-precision-pistol, "
            "issf-25m-rapid-fire-pistol, issf-300m-rifle, nra-a17");
  // The names R shotGroups' `targets` data gives these faces (the CSV's target column).
  EXPECT_EQ(FindFace("issf-air-rifle")->shotGroupsName, "ISSF_10mAR");
  EXPECT_EQ(FindFace("issf-air-pistol")->shotGroupsName, "ISSF_10mAP");
  EXPECT_EQ(FindFace("issf-50m-rifle")->shotGroupsName, "ISSF_50m");
  EXPECT_EQ(FindFace("issf-25m-precision-pistol")->shotGroupsName, "ISSF_25mPP");
  EXPECT_EQ(FindFace("issf-25m-rapid-fire-pistol")->shotGroupsName, "ISSF_25mRFP");
  EXPECT_EQ(FindFace("issf-300m-rifle")->shotGroupsName, "ISSF_300m");
}

// Scoring and drawing rely on rings one ring width apart down to the lowest scoring ring.
TEST(Faces, rings_step_by_the_ring_width_out_from_ten_to_the_lowest_ring) {
  for (const Face& face : Faces()) {
    SCOPED_TRACE(face.name);
    ASSERT_GE(face.lowestRing, 1);
    ASSERT_LE(face.lowestRing, 10);
    for (int ring = 9; ring >= face.lowestRing; --ring) {
      EXPECT_NEAR(face.RingDiameterMm(ring) - face.RingDiameterMm(ring + 1), 2 * face.ringWidthMm,
                  1e-9);
    }
    EXPECT_GT(face.blackDiameterMm, face.RingDiameterMm(10));
    EXPECT_LE(face.blackDiameterMm, face.OuterDiameterMm());
    EXPECT_GT(face.rulesGaugeMm, 0);
  }
}

// The rules' figures, by hand (ISSF 6.3.4; NRA A-17 in inches).
TEST(Faces, official_dimensions) {
  struct Expected {
    const char* name;
    double ten, outer;
    int lowest;
    double black, innerTen, gauge;
    ScoreKind scoring;
  };
  const Expected table[] = {
      {"issf-air-rifle", 0.5, 45.5, 1, 30.5, 0.5, 4.5, ScoreKind::Decimal},
      {"issf-air-pistol", 11.5, 155.5, 1, 59.5, 5, 4.5, ScoreKind::Integer},
      {"issf-50m-rifle", 10.4, 154.4, 1, 112.4, 5, 5.6, ScoreKind::Decimal},
      {"issf-25m-precision-pistol", 50, 500, 1, 200, 25, 5.6, ScoreKind::Integer},
      {"issf-25m-rapid-fire-pistol", 100, 500, 5, 500, 50, 5.6, ScoreKind::Integer},
      {"issf-300m-rifle", 100, 1000, 1, 600, 50, 8, ScoreKind::Decimal},
      {"nra-a17", 0.150 * 25.4, (0.150 + 5.0 / 3) * 25.4, 5, (0.150 + 4.0 / 3) * 25.4, 0.150 * 25.4,
       5.6, ScoreKind::Integer},
  };
  for (const Expected& e : table) {
    SCOPED_TRACE(e.name);
    const Face& face = *FindFace(e.name);
    EXPECT_NEAR(face.RingDiameterMm(10), e.ten, 1e-9);
    EXPECT_NEAR(face.OuterDiameterMm(), e.outer, 1e-9);
    EXPECT_EQ(face.lowestRing, e.lowest);
    EXPECT_NEAR(face.blackDiameterMm, e.black, 1e-9);
    EXPECT_NEAR(face.innerTenDiameterMm, e.innerTen, 1e-9);
    EXPECT_EQ(face.rulesGaugeMm, e.gauge);
    EXPECT_EQ(face.scoring, e.scoring);
  }
  // The 0.5 mm air-rifle ten and the A-17 ten dot are inner tens only when shot out wholly.
  EXPECT_EQ(FindFace("issf-air-rifle")->innerTenGauging, Gauging::Outward);
  EXPECT_EQ(FindFace("nra-a17")->innerTenGauging, Gauging::Outward);
  EXPECT_EQ(FindFace("issf-air-pistol")->innerTenGauging, Gauging::Inward);
  for (const Face& face : Faces()) EXPECT_EQ(face.ringGauging, Gauging::Inward) << face.name;
}

}  // namespace
}  // namespace holescan::score
