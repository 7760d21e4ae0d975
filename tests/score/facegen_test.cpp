#include "facegen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace holescan::facegen {
namespace {

int Grey(std::uint32_t p) {
  return static_cast<int>(((p >> 16) & 0xFFu) + ((p >> 8) & 0xFFu) + (p & 0xFFu));
}

FaceOptions Plain(const char* face) {
  FaceOptions options;
  options.face = score::FindFace(face);
  options.dpi = 150;
  options.numbers = false;
  return options;
}

// The point of aim tests are only as true as this: the black's half-way grey lies at its
// radius from the reported aim, with pixel (i, j)'s centre at (i, j).
TEST(MakeFace, draws_the_black_edge_at_its_radius_from_the_true_aim) {
  for (const char* face : {"issf-air-rifle", "issf-air-pistol"}) {
    const FaceTarget target = MakeFace(Plain(face));
    const double radius = score::FindFace(face)->blackDiameterMm / 2 * 150 / 25.4;
    const int y = static_cast<int>(std::lround(target.aimY));
    const double half = std::sqrt(radius * radius - (y - target.aimY) * (y - target.aimY));
    const std::uint32_t* row = target.picture.Row(y);
    const int paper = Grey(row[2]);
    const int ink = Grey(row[static_cast<int>(target.aimX + half) - 3]);
    for (const int side : {-1, 1}) {
      // A box-filtered edge's coverages, summed across it, put the edge where it is.
      const double expected = target.aimX + side * half;
      const int inside = static_cast<int>(std::lround(expected)) - side * 5;
      double covered = 0;
      for (int step = 0; step <= 10; ++step) {
        covered += static_cast<double>(paper - Grey(row[inside + side * step])) / (paper - ink);
      }
      EXPECT_NEAR(inside + side * (covered - 0.5), expected, 0.02) << face << " side " << side;
    }
  }
}

TEST(MakeFace, holes_are_centred_on_their_reported_centres) {
  FaceOptions options = Plain("issf-air-rifle");
  options.shots = {{0, -30, HoleLook::Dark}};  // on the card outside ring 1
  const FaceTarget target = MakeFace(options);
  ASSERT_EQ(target.shots.size(), 1u);
  const double cx = target.shots[0].x, cy = target.shots[0].y;
  const int x = static_cast<int>(std::lround(cx)), y = static_cast<int>(std::lround(cy));
  EXPECT_LT(Grey(target.picture.At(x, y)), 100);
  // Mirrored pixels about the centre differ only by the centre's offset from the pixel grid.
  const double r = 4.5 / 2 * 150 / 25.4;
  const int k = static_cast<int>(r);
  const int left = Grey(target.picture.At(x - k, y)), right = Grey(target.picture.At(x + k, y));
  EXPECT_EQ(left > right, cx > x) << left << " " << right;
}

TEST(MakeFace, the_same_seed_gives_the_same_picture_and_options_are_checked) {
  FaceOptions options = Plain("issf-air-pistol");
  options.edgeShots = 3;
  options.noise = 3;
  const FaceTarget a = MakeFace(options), b = MakeFace(options);
  EXPECT_EQ(a.aimX, b.aimX);
  EXPECT_TRUE(std::equal(a.picture.Data(),
                         a.picture.Data() + a.picture.Width() * a.picture.Height(),
                         b.picture.Data()));
  options.seed = 2;
  EXPECT_NE(MakeFace(options).aimX, a.aimX);

  options.face = nullptr;
  EXPECT_THROW(MakeFace(options), std::invalid_argument);
  options = Plain("issf-air-rifle");
  options.dpi = 5000;
  EXPECT_THROW(MakeFace(options), std::invalid_argument);
  options = Plain("issf-air-rifle");
  options.edgeShots = -1;
  EXPECT_THROW(MakeFace(options), std::invalid_argument);
}

}  // namespace
}  // namespace holescan::facegen
