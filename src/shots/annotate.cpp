// annotate.cpp - the result picture of the calibrated analysis, drawn with OpenCV.
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "shots/shots.h"

namespace holescan::shots {
namespace {

// Colours as OpenCV's blue, green, red over the picture's 0xAARRGGBB words in memory.
constexpr std::array<std::array<int, 3>, 5> kPalette{{
    {0, 0, 255},    // red
    {255, 255, 0},  // cyan
    {0, 255, 255},  // yellow
    {255, 0, 255},  // magenta
    {0, 255, 0},    // green
}};

// The palette colour farthest from the most similar of the pixels the circle will cover.
cv::Scalar StandOutColour(const cv::Mat& canvas, const Shot& shot, double radius) {
  double bestScore = -1;
  std::size_t best = 0;
  for (std::size_t k = 0; k < kPalette.size(); ++k) {
    double nearest = 1e9;
    for (int i = 0; i < 24; ++i) {
      const double angle = 2 * std::numbers::pi * i / 24;
      const int x = static_cast<int>(std::lround(shot.x + radius * std::cos(angle)));
      const int y = static_cast<int>(std::lround(shot.y + radius * std::sin(angle)));
      if (x < 0 || y < 0 || x >= canvas.cols || y >= canvas.rows) continue;
      const cv::Vec4b p = canvas.at<cv::Vec4b>(y, x);
      double d2 = 0;
      for (int c = 0; c < 3; ++c)
        d2 += (p[c] - kPalette[k][static_cast<std::size_t>(c)]) *
              (p[c] - kPalette[k][static_cast<std::size_t>(c)]);
      nearest = std::min(nearest, d2);
    }
    if (nearest > bestScore) {
      bestScore = nearest;
      best = k;
    }
  }
  return {static_cast<double>(kPalette[best][0]), static_cast<double>(kPalette[best][1]),
          static_cast<double>(kPalette[best][2]), 255};
}

cv::Point Pixel(double x, double y) {
  return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}

}  // namespace

Picture Annotated(const PictureView& picture, std::span<const Shot> shots,
                  std::span<const Mark> marks) {
  Picture out(picture.width, picture.height, 0);
  for (int y = 0; y < picture.height; ++y) {
    std::copy_n(picture.Row(y), picture.width, out.Row(y));
  }
  if (picture.width == 0 || picture.height == 0) return out;
  cv::Mat canvas(picture.height, picture.width, CV_8UC4, out.Data());
  for (std::size_t i = 0; i < shots.size(); ++i) {
    const Shot& shot = shots[i];
    const double radius = shot.diameterPx / 2;
    const int thickness = std::max(1, static_cast<int>(std::lround(shot.diameterPx / 30)));
    const cv::Scalar colour = StandOutColour(canvas, shot, radius);
    cv::circle(canvas, Pixel(shot.x, shot.y), static_cast<int>(std::lround(radius)), colour,
               thickness, cv::LINE_AA);
    const double scale = std::max(0.35, 0.5 * shot.diameterPx / 22);
    const int textThickness = std::max(1, static_cast<int>(std::lround(scale * 1.5)));
    const std::string number = std::to_string(i + 1);
    const cv::Point at = Pixel(shot.x + 0.6 * shot.diameterPx, shot.y - 0.45 * shot.diameterPx);
    // A dark halo keeps the light palette colours readable on white paper.
    cv::putText(canvas, number, at, cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(0, 0, 0, 255),
                textThickness + 2, cv::LINE_AA);
    cv::putText(canvas, number, at, cv::FONT_HERSHEY_SIMPLEX, scale, colour, textThickness,
                cv::LINE_AA);
  }
  for (const Mark& mark : marks) {
    const cv::Scalar colour(mark.colour & 0xFFu, (mark.colour >> 8) & 0xFFu,
                            (mark.colour >> 16) & 0xFFu, 255);
    const int size = std::max(9, std::min(picture.width, picture.height) / 40);
    cv::drawMarker(canvas, Pixel(mark.x, mark.y), colour, cv::MARKER_CROSS, size,
                   std::max(1, size / 12), cv::LINE_AA);
  }
  return out;
}

}  // namespace holescan::shots
