// annotate.cpp - the result picture of the calibrated analysis, drawn with OpenCV in the
// review window's colours (legend.h).
#include <algorithm>
#include <cmath>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "shots/legend.h"
#include "shots/marks_cv.h"
#include "shots/shots.h"

namespace holescan::shots {
namespace cv_marks {
namespace {

constexpr int kShift = 4;  // OpenCV's fixed point: coordinates in sixteenths of a pixel
constexpr double kOne = 1 << kShift;

cv::Point Fixed(double x, double y) {
  return {static_cast<int>(std::lround(x * kOne)), static_cast<int>(std::lround(y * kOne))};
}

int Thickness(double width) {
  return std::max(1, static_cast<int>(std::lround(width)));
}

constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;

double FontScale(double height) {
  // At scale 1 a capital of FONT_HERSHEY_SIMPLEX is 22 pixels high.
  return height / 22.0;
}

}  // namespace

cv::Scalar Colour(std::uint32_t rgb) {
  return {static_cast<double>(rgb & 0xFFu), static_cast<double>((rgb >> 8) & 0xFFu),
          static_cast<double>((rgb >> 16) & 0xFFu), 255};
}

void TwoToneCircle(cv::Mat& canvas, double x, double y, double radius, std::uint32_t colour,
                   double width) {
  const int bright = std::max(2, Thickness(width / 2.5));
  const int dark = std::max(bright + 2, Thickness(width));
  const int r = static_cast<int>(std::lround(radius * kOne));
  cv::circle(canvas, Fixed(x, y), r, Colour(kOutlineColour), dark, cv::LINE_AA, kShift);
  cv::circle(canvas, Fixed(x, y), r, Colour(colour), bright, cv::LINE_AA, kShift);
}

void TwoToneCross(cv::Mat& canvas, double x, double y, double size, std::uint32_t colour,
                  double width) {
  const int bright = std::max(2, Thickness(width / 2.5));
  const int dark = std::max(bright + 2, Thickness(width));
  const double h = size / 2;
  for (const auto& [thickness, ink] :
       {std::pair{dark, Colour(kOutlineColour)}, std::pair{bright, Colour(colour)}}) {
    cv::line(canvas, Fixed(x - h, y), Fixed(x + h, y), ink, thickness, cv::LINE_AA, kShift);
    cv::line(canvas, Fixed(x, y - h), Fixed(x, y + h), ink, thickness, cv::LINE_AA, kShift);
  }
}

void HaloText(cv::Mat& canvas, const std::string& text, double x, double y, double height,
              std::uint32_t colour) {
  const double scale = FontScale(height);
  const int stroke = std::max(1, static_cast<int>(std::lround(height / 9)));
  const cv::Point at(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
  cv::putText(canvas, text, at, kFont, scale, Colour(kOutlineColour),
              stroke + 2 * std::max(1, stroke / 2), cv::LINE_AA);
  cv::putText(canvas, text, at, kFont, scale, Colour(colour), stroke, cv::LINE_AA);
}

cv::Size TextSize(const std::string& text, double height) {
  const int stroke = std::max(1, static_cast<int>(std::lround(height / 9)));
  int baseline = 0;
  return cv::getTextSize(text, kFont, FontScale(height), stroke, &baseline);
}

}  // namespace cv_marks

Picture Annotated(const PictureView& picture, std::span<const Shot> shots,
                  std::span<const Mark> marks, std::span<const bool> edited,
                  std::span<const int> numbers) {
  Picture out(picture.width, picture.height, 0);
  for (int y = 0; y < picture.height; ++y) {
    std::copy_n(picture.Row(y), picture.width, out.Row(y));
  }
  if (picture.width == 0 || picture.height == 0) return out;
  cv::Mat canvas(picture.height, picture.width, CV_8UC4, out.Data());
  // Sizes as the review window's export draws them: a line of a tenth of the hole (at least
  // 3 pixels, more on a large picture), numbers of about half a hole.
  const double unit = std::max(1.0, std::max(picture.width, picture.height) / 2000.0);
  double diameter = 0;
  for (const Shot& shot : shots) diameter = std::max(diameter, shot.diameterPx);
  for (std::size_t i = 0; i < shots.size(); ++i) {
    const Shot& shot = shots[i];
    const double line = std::max(3 * unit, shot.diameterPx / 10);
    const std::uint32_t colour = i < edited.size() && edited[i] ? kEditedColour : kFoundColour;
    cv_marks::TwoToneCircle(canvas, shot.x, shot.y, shot.diameterPx / 2, colour, line);
    const int number = i < numbers.size() ? numbers[i] : static_cast<int>(i) + 1;
    cv_marks::HaloText(canvas, std::to_string(number), shot.x + shot.diameterPx * 0.55,
                       shot.y - shot.diameterPx * 0.5, std::max(12 * unit, shot.diameterPx * 0.36),
                       colour);
  }
  const double line = std::max(3 * unit, diameter / 10);
  const double cross =
      std::max({diameter * 1.5, 24 * unit, std::min(picture.width, picture.height) / 40.0});
  for (const Mark& mark : marks)
    cv_marks::TwoToneCross(canvas, mark.x, mark.y, cross, mark.colour, line);
  return out;
}

}  // namespace holescan::shots
