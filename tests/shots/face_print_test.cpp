// Holes against a bull's print: a tiny bull drawn at the working scale (holes 16 pixels across),
// with holes the print hides from the decision, print that breaks the rings, light and a tilt.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <span>
#include <vector>

#include "shots/face_print.h"
#include "stage_pictures.h"

namespace holescan::shots {
namespace {

using testing::Disc;

constexpr double kD = 16;
constexpr double kCentre = 160;
constexpr double kBlack = 60;
const cv::Scalar kCard(200, 228, 214);  // a green tint (BGR)
const cv::Scalar kInk(25, 25, 25);

cv::Point2d At(double radius, double degrees) {
  const double a = degrees * std::numbers::pi / 180;
  return {kCentre + radius * std::cos(a), kCentre + radius * std::sin(a)};
}

void Ring(cv::Mat& work, double radius, cv::Scalar colour, int thickness) {
  constexpr int kShift = 4;
  cv::circle(work, cv::Point(static_cast<int>(kCentre * 16), static_cast<int>(kCentre * 16)),
             static_cast<int>(radius * 16), colour, thickness, cv::LINE_AA, kShift);
}

// A tinted card with a black of radius 60 whose ring lines are white and 2 pixels wide, and thin
// dark ring lines out to 120.
cv::Mat Bull() {
  cv::Mat work(320, 320, CV_8UC3, kCard);
  Disc(work, kCentre, kCentre, 2 * kBlack, kInk);
  for (const double r : {22.0, 37.0, 52.0}) Ring(work, r, cv::Scalar(230, 230, 230), 2);
  for (const double r : {75.0, 90.0, 105.0, 120.0}) Ring(work, r, kInk, 1);
  return work;
}

struct Placed {
  cv::Point2d at;
  cv::Scalar backing;
};

// A white hole on the card over two ring lines, a dark one across the black's edge (only its
// part on the card shows), a grey one across it (lighter than the black, darker than the card),
// and a dark one in the black that cuts a white ring line.
std::vector<Placed> Holes() {
  return {{At(97, 30), cv::Scalar(250, 250, 250)},
          {At(kBlack - 1, 150), cv::Scalar(20, 20, 20)},
          {At(kBlack, 250), cv::Scalar(128, 128, 128)},
          {At(37, 320), cv::Scalar(20, 20, 20)}};
}

// Print that breaks the rings and is no hole: a ring figure in the black, a white bar running
// from the black onto the card (a figure at the black's edge), a light paster on the card and a
// dot half a hole across.
void Print(cv::Mat& work) {
  const cv::Point2d figure = At(45, 90);
  const cv::Scalar white(230, 230, 230);
  cv::rectangle(work,
                cv::Rect(static_cast<int>(figure.x) - 5, static_cast<int>(figure.y) - 9, 10, 9),
                white, 3);
  for (const int top : {-9, 0})
    cv::rectangle(work,
                  cv::Rect(static_cast<int>(figure.x) - 5, static_cast<int>(figure.y) + top, 10, 9),
                  white, 2);
  const cv::Point2d in = At(50, 200), out = At(70, 200);
  cv::line(work, in, out, white, 5);
  const cv::Point2d paster = At(100, 120);
  cv::rectangle(work,
                cv::Rect(static_cast<int>(paster.x) - 20, static_cast<int>(paster.y) - 20, 40, 40),
                cv::Scalar(236, 236, 236), cv::FILLED);
  const cv::Point2d dot = At(112, 300);
  Disc(work, dot.x, dot.y, kD / 2, kInk);
}

BullShape Shape() {
  return {kCentre, kCentre, 130};
}

// The distance from `at` to the nearest hole found.
double Nearest(const std::vector<PrintHole>& found, cv::Point2d at) {
  double best = 1e9;
  for (const PrintHole& h : found) best = std::min(best, std::hypot(h.u - at.x, h.v - at.y));
  return best;
}

TEST(HolesAgainstPrint, finds_holes_the_print_hides_and_centres_them) {
  cv::Mat work = Bull();
  EXPECT_TRUE(HolesAgainstPrint(work, kD, Shape()).empty());
  for (const Placed& hole : Holes()) Disc(work, hole.at.x, hole.at.y, kD, hole.backing);
  const std::vector<PrintHole> found = HolesAgainstPrint(work, kD, Shape());
  EXPECT_EQ(found.size(), Holes().size());
  for (const Placed& hole : Holes()) EXPECT_LT(Nearest(found, hole.at), 0.05 * kD) << hole.at;
  // The white hole is lighter than the print where they differ; the dark one on the edge darker.
  for (const PrintHole& h : found) {
    if (std::hypot(h.u - Holes()[0].at.x, h.v - Holes()[0].at.y) < 2) {
      EXPECT_TRUE(h.light);
    }
    if (std::hypot(h.u - Holes()[1].at.x, h.v - Holes()[1].at.y) < 2) {
      EXPECT_FALSE(h.light);
    }
  }
}

TEST(HolesAgainstPrint, print_that_breaks_the_rings_is_no_hole_unless_the_tests_are_off) {
  cv::Mat work = Bull();
  Print(work);
  EXPECT_TRUE(HolesAgainstPrint(work, kD, Shape()).empty());
  // Without the ring round a hole, the paster's edge and the bar pass; without the fit, the bar.
  FacePrintSettings noRing;
  noRing.maxRingAgain = 0.99;
  EXPECT_FALSE(HolesAgainstPrint(work, kD, Shape(), noRing).empty());
  FacePrintSettings noFit;
  noFit.minFitExplained = 0;
  EXPECT_FALSE(HolesAgainstPrint(work, kD, Shape(), noFit).empty());
  // The holes among the print are still found.
  for (const Placed& hole : Holes()) Disc(work, hole.at.x, hole.at.y, kD, hole.backing);
  const std::vector<PrintHole> found = HolesAgainstPrint(work, kD, Shape());
  EXPECT_EQ(found.size(), Holes().size());
}

// Light falling by a third across the card, and the bull seen at an angle (its width 0.8 of its
// height): the print is still the rings under the light, and the holes are found as before.
TEST(HolesAgainstPrint, light_across_the_card_and_a_tilt_are_part_of_the_print) {
  cv::Mat work = Bull();
  for (const Placed& hole : Holes()) Disc(work, hole.at.x, hole.at.y, kD, hole.backing);
  cv::Mat lit = work.clone();
  for (int y = 0; y < lit.rows; ++y)
    for (int x = 0; x < lit.cols; ++x) lit.at<cv::Vec3b>(y, x) *= 1 - 0.33 * x / lit.cols;
  std::vector<PrintHole> found = HolesAgainstPrint(lit, kD, Shape());
  EXPECT_EQ(found.size(), Holes().size());
  for (const Placed& hole : Holes()) EXPECT_LT(Nearest(found, hole.at), 0.05 * kD) << hole.at;

  constexpr double kFlatten = 0.8;
  const cv::Matx23d squeeze(kFlatten, 0, kCentre * (1 - kFlatten), 0, 1, 0);
  cv::Mat tilted;
  cv::warpAffine(work, tilted, squeeze, work.size(), cv::INTER_AREA, cv::BORDER_CONSTANT, kCard);
  BullShape shape = Shape();
  shape.flatten = kFlatten;
  shape.axisRadians = std::numbers::pi / 2;  // the longer axis is upright
  found = HolesAgainstPrint(tilted, kD, shape);
  EXPECT_EQ(found.size(), Holes().size());
  for (const Placed& hole : Holes()) {
    const cv::Point2d at(kCentre + (hole.at.x - kCentre) * kFlatten, hole.at.y);
    EXPECT_LT(Nearest(found, at), 0.06 * kD) << at;
  }
}

// A shot the decision placed a pixel off a clean hole is moved onto it; one on a hole whose
// inside is not one grey (a torn one) is left where it was.
TEST(HolesAgainstPrint, a_clean_holes_shot_is_centred_on_the_fit_and_a_torn_ones_is_not) {
  cv::Mat work = Bull();
  const cv::Point2d clean = At(97, 30), torn = At(100, 210);
  Disc(work, clean.x, clean.y, kD, cv::Scalar(250, 250, 250));
  Disc(work, torn.x, torn.y, kD, cv::Scalar(250, 250, 250));
  // Fibres across the torn hole.
  for (int k = -2; k <= 2; ++k)
    cv::line(work, torn + cv::Point2d(-7, 3 * k), torn + cv::Point2d(7, 3 * k - 2), kCard, 2);
  std::vector<cv::Point2d> shots = {clean + cv::Point2d(1.0, -0.8), torn + cv::Point2d(1.0, -0.8)};
  const std::vector<cv::Point2d> before = shots;
  HolesAgainstPrint(work, kD, Shape(), {}, shots);
  EXPECT_LT(std::hypot(shots[0].x - clean.x, shots[0].y - clean.y), 0.4);
  EXPECT_EQ(shots[1], before[1]);
}

}  // namespace
}  // namespace holescan::shots
