#include "shots/aim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "facegen.h"
#include "support/face_scans.h"

namespace holescan::shots {
namespace {

using facegen::FaceOptions;
using facegen::HoleLook;
using score::Face;
using score::FindFace;
using testing_support::ExpectAimWithinTenthOfMillimetre;
using testing_support::FindAimOn;

// More seeds and 600 ppi in aim_slow_test.
TEST(FindAim, within_a_tenth_of_a_millimetre_at_300_and_600_ppi) {
  ExpectAimWithinTenthOfMillimetre("issf-air-rifle", 300, 1, 4);
  ExpectAimWithinTenthOfMillimetre("issf-air-pistol", 300, 1, 2);
  ExpectAimWithinTenthOfMillimetre("issf-air-rifle", 600, 1, 1);
}

// Eight holes astride the edge on one quarter of the black: a plain fit of the edge would
// move 0.2 to 0.5 mm (measured with the robust step taken out).
TEST(FindAim, shots_cutting_one_side_of_the_edge_do_not_pull_the_centre) {
  for (const HoleLook look : {HoleLook::Light, HoleLook::Dark}) {
    for (const char* face : {"issf-air-rifle", "issf-air-pistol"}) {
      FaceOptions options;
      options.face = FindFace(face);
      options.dpi = 200;
      const double edge = options.face->blackDiameterMm / 2;
      for (int i = 0; i < 8; ++i) {
        const double angle = i * std::numbers::pi / 16;
        const double r = edge + (i % 2 == 0 ? 1.0 : -1.0);
        options.shots.push_back({r * std::cos(angle), r * std::sin(angle), look});
      }
      EXPECT_LT(FindAimOn(options).errorMm, 0.05) << face;
    }
  }
}

// Two dozen shots astride the edge, light or dark: well over half of it cut.
TEST(FindAim, many_shots_cutting_the_edge_all_round) {
  for (const char* face : {"issf-air-rifle", "issf-air-pistol"}) {
    for (std::uint32_t seed = 1; seed <= 2; ++seed) {
      FaceOptions options = testing_support::ScanOf(face, 200, seed);
      options.edgeShots = 24;
      EXPECT_LT(FindAimOn(options).errorMm, 0.1) << face << " seed " << seed;
    }
  }
}

// Shots all round by the score: the centre is measured or refused, never guessed.
TEST(FindAim, a_black_cut_to_pieces_is_measured_or_refused) {
  for (const int shots : {40, 80}) {
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
      FaceOptions options = testing_support::ScanOf("issf-air-rifle", 150, seed);
      options.edgeShots = shots;
      const facegen::FaceTarget target = facegen::MakeFace(options);
      std::string reason;
      const auto fit = FindAim(target.picture.View(), *options.face, 150, &reason);
      if (fit) {
        EXPECT_LT(std::hypot(fit->centre.x - target.aimX, fit->centre.y - target.aimY) * 25.4 / 150,
                  0.1)
            << shots << " shots, seed " << seed;
      } else {
        EXPECT_FALSE(reason.empty());
      }
    }
  }
}

// A scanner's resolution a few per cent off what the file says: the black is a little larger
// or smaller than printed, within kRadiusTolerance.
TEST(FindAim, a_resolution_a_few_per_cent_off) {
  for (const double claim : {0.96, 1.04}) {
    for (const char* face : {"issf-air-rifle", "issf-air-pistol"}) {
      const FaceOptions options = testing_support::ScanOf(face, 200, 5);
      const facegen::FaceTarget target = facegen::MakeFace(options);
      const auto fit = FindAim(target.picture.View(), *options.face, 200 * claim, nullptr);
      ASSERT_TRUE(fit) << face << " " << claim;
      EXPECT_LT(std::hypot(fit->centre.x - target.aimX, fit->centre.y - target.aimY) * 25.4 / 200,
                0.1)
          << face << " " << claim;
    }
  }
}

// The lid encloses the whole card: the card must not be taken for a hole in a dark region.
TEST(FindAim, finds_the_black_of_a_card_on_a_dark_scanner_lid) {
  for (const char* face : {"issf-air-rifle", "issf-air-pistol"}) {
    FaceOptions options = testing_support::ScanOf(face, 200, 3);
    options.lidMm = 15;
    EXPECT_LT(FindAimOn(options).errorMm, 0.1) << face;
  }
}

TEST(FindAim, tells_why_when_no_black_of_the_face_is_there) {
  FaceOptions pistol;
  pistol.face = FindFace("issf-air-pistol");
  pistol.dpi = 150;
  const facegen::FaceTarget target = facegen::MakeFace(pistol);
  std::string reason;
  EXPECT_FALSE(FindAim(target.picture.View(), *FindFace("issf-air-rifle"), 150, &reason));
  EXPECT_EQ(reason.rfind("no black aiming mark of 30.5 mm found for issf-air-rifle", 0), 0u)
      << reason;

  EXPECT_FALSE(FindAim(target.picture.View(), *FindFace("issf-air-pistol"), 600, &reason));
  EXPECT_NE(reason.find("larger than the picture"), std::string::npos) << reason;
  EXPECT_FALSE(FindAim(target.picture.View(), *FindFace("issf-air-pistol"), 20, &reason));
  EXPECT_NE(reason.find("resolution"), std::string::npos) << reason;

  const Picture blank(800, 800, Rgb(236, 230, 214));
  EXPECT_FALSE(FindAim(blank.View(), *FindFace("issf-air-rifle"), 300, &reason));
  EXPECT_EQ(reason, "no black aiming mark of 30.5 mm found for issf-air-rifle");
  EXPECT_EQ(reason.find('\n'), std::string::npos);
}

// Pictures no scan looks like: every answer is a reason, never a crash or a made-up centre.
TEST(FindAim, refuses_degenerate_pictures_with_a_reason) {
  const Face& rifle = *FindFace("issf-air-rifle");
  std::vector<Picture> pictures;
  pictures.emplace_back(1000, 1000, Rgb(0, 0, 0));
  pictures.emplace_back(1000, 400, Rgb(255, 255, 255));
  Picture noise(900, 900, 0);
  std::uint32_t state = 1;
  for (int y = 0; y < noise.Height(); ++y) {
    for (int x = 0; x < noise.Width(); ++x) {
      state = state * 1664525u + 1013904223u;
      noise.Set(x, y, state >> 8);
    }
  }
  pictures.push_back(std::move(noise));
  for (const Picture& picture : pictures) {
    std::string reason;
    EXPECT_FALSE(FindAim(picture.View(), rifle, 300, &reason));
    EXPECT_FALSE(reason.empty());
  }
  EXPECT_FALSE(FindAim(PictureView{}, rifle, 300, nullptr));

  // A view into a wider buffer: the stride, not the width, steps from row to row.
  FaceOptions options;
  options.face = &rifle;
  options.dpi = 150;
  const facegen::FaceTarget target = facegen::MakeFace(options);
  const PictureView whole = target.picture.View();
  const PictureView right{whole.width - 40, whole.height, whole.stride, whole.pixels + 40};
  const auto fit = FindAim(right, rifle, 150, nullptr);
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->centre.x + 40, target.aimX, 0.05);
  EXPECT_NEAR(fit->centre.y, target.aimY, 0.05);
}

}  // namespace
}  // namespace holescan::shots
