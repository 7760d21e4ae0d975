// marks_cv.h - the two-tone marks of the result picture, drawn with OpenCV (src/shots only).
#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

namespace holescan::shots::cv_marks {

// The picture's 0xAARRGGBB word as OpenCV's blue, green, red, alpha over it in memory.
cv::Scalar Colour(std::uint32_t rgb);

// The dark line `width` wide, then the bright one of width / 2.5 along its middle (at least
// 2 pixels, with at least a pixel of the dark one on each side). Coordinates in picture
// pixels, fractions kept.
void TwoToneCircle(cv::Mat& canvas, double x, double y, double radius, std::uint32_t colour,
                   double width);
void TwoToneCross(cv::Mat& canvas, double x, double y, double size, std::uint32_t colour,
                  double width);
// Text in the colour with a dark halo, its baseline starting at (x, y); `height` is the
// height of a capital in pixels.
void HaloText(cv::Mat& canvas, const std::string& text, double x, double y, double height,
              std::uint32_t colour);
// The width and height of a capital of the text at that height, in pixels.
cv::Size TextSize(const std::string& text, double height);

}  // namespace holescan::shots::cv_marks
