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

// 5.6 mm gauge: ring n reaches (10.4 + 16 (10 - n) + 5.6) / 2 = 8 (11 - n) mm, tenths 0.8 mm;
// the 5 mm inner ten reaches 5.3 mm.
TEST(ScoreShot, fifty_metre_rifle_limits_with_the_22_gauge) {
  ExpectScores("issf-50m-rifle", {
                                     {0.0, 10, 109, true},
                                     {0.8, 10, 109, true},
                                     {0.8001, 10, 108, true},
                                     {5.3, 10, 103, true},
                                     {5.3001, 10, 103, false},
                                     {8.0, 10, 100, false},
                                     {8.0001, 9, 99, false},
                                     {56.0, 4, 40, false},
                                     {80.0, 1, 10, false},
                                     {80.0001, 0, 0, false},
                                 });
}

// Ring n reaches 27.8 + 25 (10 - n) mm, tenths 2.5 mm; the 25 mm inner ten reaches 15.3 mm.
TEST(ScoreShot, precision_pistol_limits) {
  ExpectScores("issf-25m-precision-pistol", {
                                                {0.0, 10, 109, true},
                                                {5.3, 10, 109, true},
                                                {5.3001, 10, 108, true},
                                                {15.3, 10, 105, true},
                                                {15.3001, 10, 104, false},
                                                {27.8, 10, 100, false},
                                                {27.8001, 9, 99, false},
                                                {252.8, 1, 10, false},
                                                {252.8001, 0, 0, false},
                                            });
}

// Rings 10 to 5 only: ring n reaches 52.8 + 40 (10 - n) mm, tenths 4 mm; a shot beyond ring 5
// scores nothing, not a 4. The 50 mm inner ten reaches 27.8 mm.
TEST(ScoreShot, rapid_fire_pistol_has_no_ring_below_five) {
  ExpectScores("issf-25m-rapid-fire-pistol", {
                                                 {0.0, 10, 109, true},
                                                 {16.8, 10, 109, true},
                                                 {16.8001, 10, 108, true},
                                                 {27.8, 10, 106, true},
                                                 {27.8001, 10, 106, false},
                                                 {52.8, 10, 100, false},
                                                 {52.8001, 9, 99, false},
                                                 {252.8, 5, 50, false},
                                                 {252.8001, 0, 0, false},
                                                 {280.0, 0, 0, false},
                                             });
}

// 8 mm gauge: ring n reaches 54 + 50 (10 - n) mm, tenths 5 mm; the inner ten reaches 29 mm.
TEST(ScoreShot, three_hundred_metre_rifle_limits) {
  ExpectScores("issf-300m-rifle", {
                                      {0.0, 10, 109, true},
                                      {9.0, 10, 109, true},
                                      {9.0001, 10, 108, true},
                                      {29.0, 10, 105, true},
                                      {29.0001, 10, 104, false},
                                      {54.0, 10, 100, false},
                                      {54.0001, 9, 99, false},
                                      {504.0, 1, 10, false},
                                      {504.0001, 0, 0, false},
                                  });
}

// A 0.150 in ten dot (3.81 mm), rings 1/3 in wider, 5.6 mm gauge: the ten reaches 4.705 mm,
// the 9 (12.2767 + 5.6) / 2 = 8.93833 mm, the 5 (46.1433 + 5.6) / 2 = 25.87167 mm; tenths
// are 1/60 in. The X is the dot shot out: 2.8 - 1.905 = 0.895 mm.
TEST(ScoreShot, nra_a17_limits_in_inches) {
  ExpectScores("nra-a17", {
                              {0.0, 10, 109, true},
                              {0.895, 10, 109, true},
                              {0.8951, 10, 108, false},
                              {4.705, 10, 100, false},
                              {4.7051, 9, 99, false},
                              {8.9383, 9, 90, false},
                              {8.9384, 8, 89, false},
                              {25.8716, 5, 50, false},
                              {25.8718, 0, 0, false},
                          });
}

// Without a gauge the face's own counts: 8.0 mm is a ten on the 50 m face with .22, a nine
// with the air gauge.
TEST(ScoreShot, scores_with_the_faces_rules_gauge_unless_given_one) {
  const Face& fifty = *FindFace("issf-50m-rifle");
  EXPECT_EQ(ScoreShot(fifty, 8.0).score, 10);
  EXPECT_EQ(ScoreShot(fifty, 8.0, 4.5).score, 9);
  EXPECT_EQ(ScoreShot(*FindFace("issf-air-rifle"), 2.5).score, 10);
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
