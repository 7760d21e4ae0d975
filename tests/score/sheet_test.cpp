#include "score/sheet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace holescan::score {
namespace {

constexpr double kEps = 1e-9;
constexpr double kDpi = 254;  // 0.1 mm a pixel

// 2.5 mm right (a ten on the limit), 2.0 mm up (an inner ten), (-3, -4) mm (a nine on its
// limit of 5.0 mm).
const std::vector<ShotPx> kShots = {{1025, 1000}, {1000, 980}, {970, 1040}};

TEST(Score, shots_from_the_aim_right_and_up_with_ring_scores_and_totals) {
  SheetOptions options;
  options.dpi = kDpi;
  options.aim = AimPoint{1000, 1000};
  options.source = AimSource::Face;
  options.face = FindFace("issf-air-rifle");
  const Sheet sheet = Score(kShots, options);
  EXPECT_EQ(sheet.source, AimSource::Face);
  ASSERT_EQ(sheet.shots.size(), 3u);
  EXPECT_NEAR(sheet.shots[0].xMm, 2.5, kEps);
  EXPECT_NEAR(sheet.shots[0].yMm, 0, kEps);
  EXPECT_NEAR(sheet.shots[1].yMm, 2.0, kEps);
  EXPECT_NEAR(sheet.shots[2].xMm, -3, kEps);
  EXPECT_NEAR(sheet.shots[2].yMm, -4, kEps);
  EXPECT_EQ(sheet.shots[2].xPx, 970);

  EXPECT_EQ(sheet.shots[0].score->tenths, 100);
  EXPECT_EQ(sheet.shots[1].score->tenths, 102);
  EXPECT_TRUE(sheet.shots[1].score->innerTen);
  EXPECT_EQ(sheet.shots[2].score->score, 9);
  EXPECT_EQ(sheet.shots[2].score->tenths, 90);
  ASSERT_TRUE(sheet.total);
  EXPECT_EQ(sheet.total->score, 29);
  EXPECT_EQ(sheet.total->decimal, 29.2);
  EXPECT_EQ(sheet.total->innerTens, 1);

  EXPECT_EQ(sheet.group.count, 3);
  EXPECT_NEAR(sheet.group.centreX, -0.5 / 3, kEps);
  EXPECT_NEAR(sheet.group.centreY, -2.0 / 3, kEps);
  EXPECT_NEAR(sheet.group.extremeSpreadEdge, std::hypot(5.5, 4) + 4.5, kEps);
}

TEST(Score, without_an_aim_the_group_centre_is_the_aim_and_without_a_face_no_scores) {
  SheetOptions options;
  options.dpi = kDpi;
  options.calibreMm = 5.6;
  const Sheet sheet = Score(kShots, options);
  EXPECT_EQ(sheet.source, AimSource::Group);
  EXPECT_NEAR(sheet.aim.x, 2995.0 / 3, kEps);
  EXPECT_NEAR(sheet.aim.y, 3020.0 / 3, kEps);
  EXPECT_NEAR(sheet.group.centreX, 0, kEps);
  EXPECT_NEAR(sheet.group.centreY, 0, kEps);
  EXPECT_FALSE(sheet.total);
  EXPECT_FALSE(sheet.shots[0].score);
  EXPECT_EQ(sheet.calibreMm, 5.6);
  EXPECT_EQ(AimSourceName(sheet.source), "group");
}

TEST(Score, refuses_a_bad_resolution_calibre_or_gauge) {
  SheetOptions options;
  EXPECT_THROW(Score(kShots, options), std::invalid_argument);
  options.dpi = kDpi;
  options.calibreMm = 0;
  EXPECT_THROW(Score(kShots, options), std::invalid_argument);
  options.calibreMm = 4.5;
  options.face = FindFace("issf-air-pistol");
  options.gaugeMm = 0;
  EXPECT_THROW(Score({}, options), std::invalid_argument);
}

}  // namespace
}  // namespace holescan::score
