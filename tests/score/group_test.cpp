#include "score/group.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace holescan::score {
namespace {

constexpr double kEps = 1e-12;

// A 3-4-5 triangle: centre (4/3, 1); radii 5/3, sqrt(73)/3, sqrt(52)/3.
TEST(Group, triangle_by_hand) {
  const std::vector<PointMm> shots = {{0, 0}, {4, 0}, {0, 3}};
  const GroupStats g = Group(shots, 4.5);
  EXPECT_EQ(g.count, 3);
  EXPECT_NEAR(g.centreX, 4.0 / 3, kEps);
  EXPECT_NEAR(g.centreY, 1.0, kEps);
  EXPECT_NEAR(g.extremeSpread, 5.0, kEps);
  EXPECT_NEAR(g.extremeSpreadEdge, 9.5, kEps);
  EXPECT_NEAR(g.meanRadius, (5 + std::sqrt(73.0) + std::sqrt(52.0)) / 9, kEps);
  EXPECT_NEAR(g.medianRadius, std::sqrt(52.0) / 3, kEps);
  EXPECT_NEAR(g.maxRadius, std::sqrt(73.0) / 3, kEps);
  EXPECT_NEAR(g.sdX, std::sqrt(48.0) / 3, kEps);  // squares 96/9 over n - 1 = 2
  EXPECT_NEAR(g.sdY, std::sqrt(3.0), kEps);       // squares 6 over 2
}

// Four shots in a line: an even count takes the mean of the two middle radii (1.5, 2.5).
TEST(Group, collinear_even_count_by_hand) {
  const std::vector<PointMm> shots = {{0, -1}, {1, -1}, {2, -1}, {7, -1}};
  const GroupStats g = Group(shots, 5.6);
  EXPECT_NEAR(g.centreX, 2.5, kEps);
  EXPECT_NEAR(g.centreY, -1, kEps);
  EXPECT_NEAR(g.extremeSpread, 7, kEps);
  EXPECT_NEAR(g.extremeSpreadEdge, 12.6, kEps);
  EXPECT_NEAR(g.meanRadius, 2.25, kEps);
  EXPECT_NEAR(g.medianRadius, 2.0, kEps);
  EXPECT_NEAR(g.maxRadius, 4.5, kEps);
  EXPECT_NEAR(g.sdX, std::sqrt(29.0 / 3), kEps);
  EXPECT_EQ(g.sdY, 0);
}

// P(|X| <= r) for X ~ N(0, [[vx, c], [c, vy]]), by the midpoint rule on a square grid in x and
// y: a different road from the code's polar integral over the principal axes.
double GridProbability(double r, double vx, double vy, double c) {
  const double det = vx * vy - c * c;
  constexpr int kN = 1600;
  const double h = 2 * r / kN;
  double sum = 0;
  for (int i = 0; i < kN; ++i) {
    const double x = -r + (i + 0.5) * h;
    for (int j = 0; j < kN; ++j) {
      const double y = -r + (j + 0.5) * h;
      if (x * x + y * y > r * r) continue;
      sum += std::exp(-(vy * x * x - 2 * c * x * y + vx * y * y) / (2 * det));
    }
  }
  return sum * h * h / (2 * std::numbers::pi * std::sqrt(det));
}

TEST(CorrelatedNormalQuantile, closed_forms_and_a_grid_integral) {
  // Circular: sigma sqrt(2 ln 2) for the median, sigma sqrt(2 ln 10) for 90 %.
  EXPECT_NEAR(CorrelatedNormalQuantile(4, 4, 0, 0.5), 2 * std::sqrt(2 * std::log(2.0)), 1e-9);
  EXPECT_NEAR(CorrelatedNormalQuantile(4, 4, 0, 0.9), 2 * std::sqrt(2 * std::log(10.0)), 1e-9);
  // One axis: the half-normal median, 0.6744897501960817 sigma, whichever way it points.
  EXPECT_NEAR(CorrelatedNormalQuantile(9, 0, 0, 0.5), 3 * 0.6744897501960817, 1e-9);
  EXPECT_NEAR(CorrelatedNormalQuantile(2, 2, 2, 0.5), 2 * 0.6744897501960817, 1e-9);
  EXPECT_EQ(CorrelatedNormalQuantile(0, 0, 0, 0.5), 0);
  // Elongated and correlated: the grid puts half the mass inside, and the shape matters (the
  // circular formula with the same total variance would be 10 % off).
  const double r = CorrelatedNormalQuantile(10, 2, 3, 0.5);
  EXPECT_NEAR(GridProbability(r, 10, 2, 3), 0.5, 2e-4);
  EXPECT_GT(std::abs(r / (std::sqrt(6.0) * std::sqrt(2 * std::log(2.0))) - 1), 0.05);
}

// shotGroups' default CEP of the 3-4-5 triangle: the sample covariance (n - 1) is
// [[16/3, -2], [-2, 3]], and the CEP is that normal's median radius; the shots' own median
// distance (sqrt(52)/3 = 2.40) is kept apart as medianRadius.
TEST(Group, cep50_is_the_correlated_normal_median_of_the_sample_covariance) {
  const std::vector<PointMm> shots = {{0, 0}, {4, 0}, {0, 3}};
  const GroupStats g = Group(shots, 4.5);
  EXPECT_NEAR(GridProbability(g.cep50, 16.0 / 3, 3, -2), 0.5, 2e-4);
  EXPECT_NEAR(g.cep50, CorrelatedNormalQuantile(16.0 / 3, 3, -2, 0.5), 1e-12);
  EXPECT_GT(std::abs(g.cep50 - g.medianRadius), 0.1);
  // Moving the group moves nothing; scaling it scales the CEP.
  std::vector<PointMm> moved = shots;
  for (PointMm& p : moved) p = {3 * p.x + 100, 3 * p.y - 50};
  EXPECT_NEAR(Group(moved, 4.5).cep50, 3 * g.cep50, 1e-9);
  const std::vector<PointMm> one = {{1, 1}};
  EXPECT_EQ(Group(one, 4.5).cep50, 0);
}

TEST(Group, one_shot_and_none) {
  const std::vector<PointMm> one = {{3, -2}};
  const GroupStats g = Group(one, 4.5);
  EXPECT_EQ(g.count, 1);
  EXPECT_EQ(g.centreX, 3);
  EXPECT_EQ(g.centreY, -2);
  EXPECT_EQ(g.extremeSpread, 0);
  EXPECT_EQ(g.extremeSpreadEdge, 4.5);
  EXPECT_EQ(g.sdX, 0);
  EXPECT_EQ(g.maxRadius, 0);
  const GroupStats empty = Group({}, 4.5);
  EXPECT_EQ(empty.count, 0);
  EXPECT_EQ(empty.extremeSpreadEdge, 0);
}

// The hull must never miss the farthest pair, duplicates and collinear points included.
TEST(Group, extreme_spread_matches_every_pair) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coordinate(-20, 20);
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<PointMm> shots(static_cast<std::size_t>(2 + trial));
    for (PointMm& p : shots) p = {std::round(coordinate(random)), std::round(coordinate(random))};
    shots.push_back(shots.front());
    double largest = 0;
    for (const PointMm& a : shots) {
      for (const PointMm& b : shots) largest = std::max(largest, std::hypot(a.x - b.x, a.y - b.y));
    }
    EXPECT_DOUBLE_EQ(Group(shots, 0).extremeSpread, largest) << "trial " << trial;
  }
}

TEST(ParseDistance, reads_metres_yards_and_feet) {
  const auto metres = ParseDistance("10m");
  ASSERT_TRUE(metres);
  EXPECT_EQ(metres->value, 10);
  EXPECT_EQ(metres->unit, DistanceUnit::Metre);
  EXPECT_EQ(metres->metres, 10);
  const auto yards = ParseDistance("25yd");
  ASSERT_TRUE(yards);
  EXPECT_EQ(yards->unit, DistanceUnit::Yard);
  EXPECT_NEAR(yards->metres, 22.86, kEps);
  const auto feet = ParseDistance("12.5 ft");
  ASSERT_TRUE(feet);
  EXPECT_EQ(feet->value, 12.5);
  EXPECT_NEAR(feet->metres, 3.81, kEps);
  EXPECT_EQ(DistanceUnitName(feet->unit), "ft");
}

TEST(ParseDistance, refuses_anything_else_with_a_reason) {
  for (const char* text :
       {"", "10", "m", "10km", "10 yards", "-5m", "0m", "infm", "6000m", "10  m", "10m "}) {
    std::string reason;
    EXPECT_FALSE(ParseDistance(text, &reason)) << text;
    EXPECT_FALSE(reason.empty()) << text;
    EXPECT_EQ(reason.find('\n'), std::string::npos);
  }
}

// 2 atan(s / 2d): one MOA at 100 yd is 26.6 mm, one mrad at 10 m is 10 mm (to 1e-7).
TEST(Angles, moa_and_mrad_by_hand) {
  const Distance hundredYards = *ParseDistance("100yd");
  const double oneMoaMm = 2 * 91440 * std::tan(std::numbers::pi / (180 * 60 * 2));
  EXPECT_NEAR(oneMoaMm, 26.5988, 1e-4);
  EXPECT_NEAR(Moa(oneMoaMm, hundredYards), 1.0, kEps);
  EXPECT_NEAR(Moa(-oneMoaMm, hundredYards), -1.0, kEps);
  const Distance tenMetres = *ParseDistance("10m");
  EXPECT_NEAR(Mrad(10, tenMetres), 2000 * std::atan(0.0005), kEps);
  EXPECT_NEAR(Mrad(10, tenMetres), 1.0, 1e-7);

  GroupStats g;
  g.count = 3;
  g.extremeSpread = 10;
  g.sdY = 20;
  g.medianRadius = 5;
  const GroupStats angles = GroupAngles(g, tenMetres, Mrad);
  EXPECT_EQ(angles.medianRadius, Mrad(5, tenMetres));
  EXPECT_EQ(angles.count, 3);
  EXPECT_EQ(angles.extremeSpread, Mrad(10, tenMetres));
  EXPECT_EQ(angles.sdY, Mrad(20, tenMetres));
  EXPECT_EQ(angles.centreX, 0);
}

}  // namespace
}  // namespace holescan::score
