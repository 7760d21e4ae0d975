// The working scale: holes of the calibre come out kWorkDiameter pixels across, and points map
// back onto the picture's pixels exactly.
#include <gtest/gtest.h>

#include "shots/working_picture.h"
#include "stage_pictures.h"

namespace holescan::shots {
namespace {

using testing::Canvas;
using testing::Disc;
using testing::Grey;

// The centre of mass of the darkness of a working picture.
cv::Point2d DarkCentre(const cv::Mat& bgr) {
  double sx = 0, sy = 0, sum = 0;
  for (int y = 0; y < bgr.rows; ++y) {
    for (int x = 0; x < bgr.cols; ++x) {
      const double dark = 255 - bgr.at<cv::Vec3b>(y, x)[1];
      sx += dark * x;
      sy += dark * y;
      sum += dark;
    }
  }
  return {sx / sum, sy / sum};
}

TEST(WorkingPicture, reduces_and_enlarges_to_the_working_diameter_and_maps_points_back) {
  for (const double diameter : {64.0, 23.5, 8.0}) {
    Picture picture(static_cast<int>(diameter * 10), static_cast<int>(diameter * 7),
                    Rgb(255, 255, 255));
    cv::Mat canvas = Canvas(picture);
    const double x = diameter * 3.3, y = diameter * 4.1;
    Disc(canvas, x, y, diameter, Grey(0));
    const Region region{0, 0, picture.Width(), picture.Height()};
    const WorkingPicture w = MakeWorkingPicture(picture.View(), region, diameter);
    EXPECT_NEAR(w.diameter, kWorkDiameter, 0.2) << diameter;
    EXPECT_NEAR(w.bgr.cols, picture.Width() * kWorkDiameter / diameter, 1) << diameter;
    const cv::Point2d c = DarkCentre(w.bgr);
    EXPECT_NEAR(w.PictureX(c.x), x, 0.02 * diameter) << diameter;
    EXPECT_NEAR(w.PictureY(c.y), y, 0.02 * diameter) << diameter;
    EXPECT_NEAR(w.WorkU(w.PictureX(12.25)), 12.25, 1e-9);
  }
}

TEST(WorkingPicture, a_region_keeps_its_offset) {
  Picture picture(400, 300, Rgb(255, 255, 255));
  cv::Mat canvas = Canvas(picture);
  Disc(canvas, 250, 170, 32, Grey(0));
  const WorkingPicture w = MakeWorkingPicture(picture.View(), Region{200, 100, 320, 260}, 32);
  const cv::Point2d c = DarkCentre(w.bgr);
  EXPECT_NEAR(w.PictureX(c.x), 250, 0.5);
  EXPECT_NEAR(w.PictureY(c.y), 170, 0.5);
}

TEST(WorkingPicture, a_large_picture_of_small_holes_stays_within_its_bound) {
  Picture picture(4000, 3000, Rgb(255, 255, 255));
  const WorkingPicture w =
      MakeWorkingPicture(picture.View(), Region{0, 0, 4000, 3000}, 6);  // 7x the pixels
  EXPECT_LE(static_cast<double>(w.bgr.cols) * w.bgr.rows, kMaxWorkPixels * 1.001);
  EXPECT_LT(w.diameter, kWorkDiameter);
  EXPECT_GT(w.diameter, 6);
}

}  // namespace
}  // namespace holescan::shots
