// Proposals: every hole of the calibre, dark or light, alone or pressed against others, is
// proposed near its centre; plain paper proposes nothing; noise is capped.
#include <gtest/gtest.h>

#include <cmath>

#include "shots/candidates.h"
#include "stage_pictures.h"
#include "support/random.h"

namespace holescan::shots {
namespace {

using testing::Disc;

constexpr double kD = 16;

cv::Mat Paper(int width, int height, int level) {
  return cv::Mat(height, width, CV_8UC3, cv::Scalar(level, level, level));
}

// The distance from (x, y) to the nearest proposal of the given polarity.
double Nearest(const std::vector<Candidate>& found, double x, double y, bool light) {
  double best = 1e9;
  for (const Candidate& c : found) {
    if (c.light == light) best = std::min(best, std::hypot(c.u - x, c.v - y));
  }
  return best;
}

TEST(Proposals, a_dark_hole_on_paper_is_proposed_at_its_centre_and_plain_paper_not_at_all) {
  cv::Mat work = Paper(160, 120, 235);
  EXPECT_TRUE(Proposals(work, kD).empty());
  Disc(work, 70.4, 55.7, kD, cv::Scalar(30, 30, 30));
  const std::vector<Candidate> found = Proposals(work, kD);
  ASSERT_FALSE(found.empty());
  EXPECT_FALSE(found.front().light);
  EXPECT_LT(std::hypot(found.front().u - 70.4, found.front().v - 55.7), 0.25 * kD);
  EXPECT_GT(found.front().response, 100);
}

TEST(Proposals, a_light_hole_in_a_black_band_is_proposed_light_beside_the_bands_dark_edges) {
  cv::Mat work = Paper(200, 200, 240);
  cv::rectangle(work, cv::Rect(40, 0, 3 * static_cast<int>(kD), 200), cv::Scalar(20, 20, 20),
                cv::FILLED);
  Disc(work, 64, 100, kD, cv::Scalar(230, 230, 230));
  const std::vector<Candidate> found = Proposals(work, kD);
  EXPECT_LT(Nearest(found, 64, 100, true), 0.25 * kD);
}

TEST(Proposals, holes_of_a_tight_group_are_each_proposed) {
  cv::Mat work = Paper(200, 200, 235);
  const cv::Point2d centres[] = {{80, 100}, {80 + 0.7 * kD, 100}, {80 + 0.35 * kD, 100 + 0.6 * kD}};
  for (const auto& c : centres) Disc(work, c.x, c.y, kD, cv::Scalar(25, 25, 25));
  const std::vector<Candidate> found = Proposals(work, kD);
  int near = 0;
  for (const auto& c : centres) near += Nearest(found, c.x, c.y, false) < 0.5 * kD;
  EXPECT_EQ(near, 3);
}

TEST(Proposals, noise_is_capped_strongest_first) {
  cv::Mat work(1000, 1000, CV_8UC3);
  holescan::testing::Random random(7);
  for (int y = 0; y < work.rows; ++y)
    for (int x = 0; x < work.cols; ++x) {
      const std::uint8_t v = random.Byte();
      work.at<cv::Vec3b>(y, x) = {v, v, v};
    }
  CandidateSettings settings;
  settings.minCap = 500;
  settings.maxPerMegapixel = 100;
  const std::vector<Candidate> found = Proposals(work, kD, settings);
  ASSERT_EQ(found.size(), 500u);
  for (std::size_t i = 1; i < found.size(); ++i)
    EXPECT_GE(found[i - 1].response, found[i].response);
}

}  // namespace
}  // namespace holescan::shots
