// Tiny pictures drawn inline for the stage tests: paper, print and holes with OpenCV's
// drawing over a Picture's pixels.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "pixel/picture.h"

namespace holescan::shots::testing {

// A BGRA header over the picture's words (0xAARRGGBB is B, G, R, A in memory).
inline cv::Mat Canvas(Picture& picture) {
  return cv::Mat(picture.Height(), picture.Width(), CV_8UC4, picture.Data());
}

inline cv::Scalar Grey(int level) {
  return cv::Scalar(level, level, level, 255);
}

// A filled disc with a soft edge, centre and diameter in pixels (sub-pixel).
inline void Disc(cv::Mat& canvas, double x, double y, double diameter, cv::Scalar colour) {
  constexpr int kShift = 4;
  constexpr double kOne = 1 << kShift;
  cv::circle(canvas, cv::Point(static_cast<int>(x * kOne), static_cast<int>(y * kOne)),
             static_cast<int>(diameter / 2 * kOne), colour, cv::FILLED, cv::LINE_AA, kShift);
}

}  // namespace holescan::shots::testing
