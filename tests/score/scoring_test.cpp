#include "score/scoring.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace holescan::score {
namespace {

struct Case {
  double distanceMm;
  int score;
  int tenths;
  bool innerTen;
};

void ExpectScores(const char* faceName, std::initializer_list<Case> cases) {
  const Face& face = *FindFace(faceName);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << faceName << " d = " << c.distanceMm);
    const RingScore s = ScoreShot(face, c.distanceMm);
    EXPECT_EQ(s.score, c.score);
    EXPECT_EQ(s.tenths, c.tenths);
    EXPECT_DOUBLE_EQ(s.decimal, c.tenths / 10.0);
    EXPECT_EQ(s.innerTen, c.innerTen);
  }
}

// Ring n reaches D(n)/2 + 2.25 mm: 2.5, 5.0, ... 25.0 mm; tenths are 0.25 mm wide.
TEST(ScoreShot, air_rifle_limits_on_just_inside_and_just_outside) {
  ExpectScores("issf-air-rifle", {
                                     {0.0, 10, 109, true},
                                     {0.2, 10, 109, true},
                                     {2.0, 10, 102, true},
                                     {2.0001, 10, 101, false},
                                     {2.25, 10, 101, false},
                                     {2.4999, 10, 100, false},
                                     {2.5, 10, 100, false},
                                     {2.5001, 9, 99, false},
                                     {5.0, 9, 90, false},
                                     {5.0001, 8, 89, false},
                                     {7.5, 8, 80, false},
                                     {22.5, 2, 20, false},
                                     {24.9999, 1, 10, false},
                                     {25.0, 1, 10, false},
                                     {25.0001, 0, 0, false},
                                     {400.0, 0, 0, false},
                                 });
}

// Ring n reaches D(n)/2 + 2.25 mm: 8, 16, ... 80 mm; tenths are 0.8 mm wide. 4.0 / 0.8 is
// 5.000000000000001 in doubles: the exact arithmetic must still give 10.5.
TEST(ScoreShot, air_pistol_limits_on_just_inside_and_just_outside) {
  ExpectScores("issf-air-pistol", {
                                      {0.0, 10, 109, true},
                                      {0.8, 10, 109, true},
                                      {0.8001, 10, 108, true},
                                      {4.0, 10, 105, true},
                                      {4.75, 10, 104, true},
                                      {4.7501, 10, 104, false},
                                      {8.0, 10, 100, false},
                                      {8.0001, 9, 99, false},
                                      {16.0, 9, 90, false},
                                      {16.0001, 8, 89, false},
                                      {72.0, 2, 20, false},
                                      {80.0, 1, 10, false},
                                      {80.0001, 0, 0, false},
                                  });
}

TEST(ScoreShot, a_wider_gauge_reaches_further) {
  const Face& rifle = *FindFace("issf-air-rifle");
  EXPECT_EQ(ScoreShot(rifle, 3.0, 5.5).score, 10);
  EXPECT_EQ(ScoreShot(rifle, 3.0001, 5.5).score, 9);
  // The decimal stays within the ring: 11.0 - ceil(2.9 / 0.25) x 0.1 would be 9.8.
  EXPECT_EQ(ScoreShot(rifle, 2.9, 5.5).tenths, 100);
  EXPECT_EQ(ScoreShot(rifle, 2.4, 4.0).score, 9);
  EXPECT_EQ(ScoreShot(rifle, 2.4, 4.0).tenths, 99);
  EXPECT_EQ(ScoreShot(rifle, 2.5001, kRulesGaugeMm).score, 9);
}

TEST(ScoreShot, refuses_distances_and_gauges_out_of_range) {
  const Face& rifle = *FindFace("issf-air-rifle");
  EXPECT_THROW(ScoreShot(rifle, -0.1), std::invalid_argument);
  EXPECT_THROW(ScoreShot(rifle, std::numeric_limits<double>::quiet_NaN()), std::invalid_argument);
  EXPECT_THROW(ScoreShot(rifle, 1, 0.5), std::invalid_argument);
  EXPECT_THROW(ScoreShot(rifle, 1, 25), std::invalid_argument);
  EXPECT_EQ(ScoreShot(rifle, 1e300).score, 0);
}

}  // namespace
}  // namespace holescan::score
