#include "score/faces.h"

#include <gtest/gtest.h>

namespace holescan::score {
namespace {

TEST(Faces, finds_each_face_by_name_and_no_other) {
  for (const Face& face : Faces()) EXPECT_EQ(FindFace(face.name), &face);
  EXPECT_EQ(FindFace("ISSF-AIR-RIFLE"), nullptr);
  EXPECT_EQ(FindFace(""), nullptr);
  EXPECT_EQ(FaceNames(), "issf-air-rifle, issf-air-pistol");
}

// Scoring and drawing rely on rings one ring width apart and a black on a ring.
TEST(Faces, rings_step_by_the_ring_width_out_from_ten) {
  for (const Face& face : Faces()) {
    SCOPED_TRACE(face.name);
    for (int ring = 9; ring >= 1; --ring) {
      EXPECT_DOUBLE_EQ(face.RingDiameterMm(ring) - face.RingDiameterMm(ring + 1),
                       2 * face.ringWidthMm);
    }
  }
  const Face& rifle = *FindFace("issf-air-rifle");
  EXPECT_EQ(rifle.RingDiameterMm(10), 0.5);
  EXPECT_EQ(rifle.RingDiameterMm(4), rifle.blackDiameterMm);
  const Face& pistol = *FindFace("issf-air-pistol");
  EXPECT_EQ(pistol.RingDiameterMm(1), 155.5);
  EXPECT_EQ(pistol.RingDiameterMm(7), pistol.blackDiameterMm);
}

}  // namespace
}  // namespace holescan::score
