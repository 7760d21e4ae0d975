#include "facegen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "score/sheet.h"

namespace holescan::facegen {
namespace {

int Grey(std::uint32_t p) {
  return static_cast<int>(((p >> 16) & 0xFFu) + ((p >> 8) & 0xFFu) + (p & 0xFFu));
}

// 150 ppi, or less for the large faces, so that no card is over 3000 pixels a side.
double DpiFor(const score::Face& face) {
  return std::min(150.0, 3000 / ((face.OuterDiameterMm() + 20) / 25.4));
}

FaceOptions Plain(const char* face) {
  FaceOptions options;
  options.face = score::FindFace(face);
  options.dpi = DpiFor(*options.face);
  options.numbers = false;
  return options;
}

// The point of aim tests are only as true as this: the black's half-way grey lies at its
// radius from the reported aim, with pixel (i, j)'s centre at (i, j).
TEST(MakeFace, draws_the_black_edge_at_its_radius_from_the_true_aim) {
  for (const score::Face& each : score::Faces()) {
    const char* face = each.name.data();
    const FaceOptions options = Plain(face);
    const FaceTarget target = MakeFace(options);
    const double radius = each.blackDiameterMm / 2 * options.dpi / 25.4;
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

// Every face, with shots 0.02 mm inside and outside each ring's limit (the hole of the rules'
// gauge touching the ring's line, or missing it) and the inner ten's: scored from the true aim
// and resolution, each earns the ring its place on the card earns, and its tenths.
TEST(MakeFace, every_face_has_its_shots_scored_right_from_the_true_aim_and_resolution) {
  for (const score::Face& face : score::Faces()) {
    SCOPED_TRACE(face.name);
    FaceOptions options;
    options.face = &face;
    options.dpi = DpiFor(face);
    options.calibreMm = face.rulesGaugeMm;
    struct Expected {
      int score, tenths;
      bool innerTen;
    };
    std::vector<Expected> expected;
    const auto add = [&](double radiusMm, Expected e) {
      const double angle = 0.7 * static_cast<double>(expected.size());
      options.shots.push_back({radiusMm * std::cos(angle), radiusMm * std::sin(angle)});
      expected.push_back(e);
    };
    const double halfGauge = face.rulesGaugeMm / 2;
    for (int ring = face.lowestRing; ring <= 10; ++ring) {
      const double limit = face.RingDiameterMm(ring) / 2 + halfGauge;
      add(limit - 0.02, {ring, 10 * ring, false});
      const bool lowest = ring == face.lowestRing;
      add(limit + 0.02, {lowest ? 0 : ring - 1, lowest ? 0 : 10 * ring - 1, false});
    }
    const double innerTen = face.innerTenGauging == score::Gauging::Inward
                                ? face.innerTenDiameterMm / 2 + halfGauge
                                : halfGauge - face.innerTenDiameterMm / 2;
    const double tenLimit = face.RingDiameterMm(10) / 2 + halfGauge;
    const auto tenths = [&](double d) {
      return 100 + std::min(9, static_cast<int>((tenLimit - d) / (face.ringWidthMm / 10)));
    };
    add(innerTen - 0.02, {10, tenths(innerTen - 0.02), true});
    add(innerTen + 0.02, {10, tenths(innerTen + 0.02), false});

    const FaceTarget target = MakeFace(options);
    std::vector<score::ShotPx> shots;
    for (const FaceTarget::Shot& shot : target.shots) shots.push_back({shot.x, shot.y});
    score::SheetOptions sheetOptions;
    sheetOptions.dpi = options.dpi;
    sheetOptions.calibreMm = options.calibreMm;
    sheetOptions.aim = score::AimPoint{target.aimX, target.aimY};
    sheetOptions.face = &face;
    sheetOptions.gaugeMm = face.rulesGaugeMm;
    const score::Sheet sheet = score::Score(shots, sheetOptions);
    ASSERT_EQ(sheet.shots.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "shot " << i);
      ASSERT_TRUE(sheet.shots[i].score);
      EXPECT_EQ(sheet.shots[i].score->score, expected[i].score);
      EXPECT_NEAR(sheet.shots[i].score->decimal, expected[i].tenths / 10.0, 0.1);
      EXPECT_EQ(sheet.shots[i].score->tenths, expected[i].tenths);
      EXPECT_EQ(sheet.shots[i].score->innerTen, expected[i].innerTen);
    }
  }
}

TEST(MakeFace, holes_are_centred_on_their_reported_centres) {
  FaceOptions options = Plain("issf-air-rifle");
  options.dpi = 150;
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
