// annotate.cpp - the result picture of the calibrated analysis, drawn with OpenCV in the
// review window's colours (legend.h).
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
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

namespace {

// A shot's number is about a third of the hole high, and readable on a large picture.
double LabelHeight(const Shot& shot, double unit) {
  return std::max(12 * unit, shot.diameterPx * 0.36);
}

double Overlap(const LabelBox& a, double left, double top, double right, double bottom) {
  const double w = std::min(a.left + a.width, right) - std::max(a.left, left);
  const double h = std::min(a.top + a.height, bottom) - std::max(a.top, top);
  return w > 0 && h > 0 ? w * h : 0;
}

}  // namespace

std::vector<LabelBox> PlaceLabels(std::span<const Shot> shots,
                                  std::span<const std::pair<double, double>> sizes, int width,
                                  int height) {
  std::vector<LabelBox> placed;
  placed.reserve(shots.size());
  for (std::size_t i = 0; i < shots.size() && i < sizes.size(); ++i) {
    const Shot& shot = shots[i];
    const auto [w, h] = sizes[i];
    const double r = shot.diameterPx / 2;
    // Beside the circle, a twentieth of the hole clear of it; on the diagonals the box's corner
    // touches the circle at 45 degrees, so that a large circle's number stays by its rim.
    const double side = 1.1 * r;
    const double corner = 0.8 * r;
    const double x = shot.x, y = shot.y;
    const std::array<LabelBox, 8> places{{
        {x + corner, y - corner - h, w, h},      // up and to the right, first
        {x + side, y - h / 2, w, h},             // right
        {x + corner, y + corner, w, h},          // down and to the right
        {x - corner - w, y - corner - h, w, h},  // up and to the left
        {x - side - w, y - h / 2, w, h},         // left
        {x - corner - w, y + corner, w, h},      // down and to the left
        {x - w / 2, y - side - h, w, h},         // above
        {x - w / 2, y + side, w, h},             // below
    }};
    // A number read as a neighbour's: its middle nearer another shot's centre than its own.
    const auto misread = [&](const LabelBox& box) {
      const double cx = box.left + box.width / 2, cy = box.top + box.height / 2;
      const double own = std::hypot(cx - x, cy - y);
      for (std::size_t j = 0; j < shots.size(); ++j)
        if (j != i && std::hypot(cx - shots[j].x, cy - shots[j].y) < own) return true;
      return false;
    };
    double best = std::numeric_limits<double>::infinity();
    bool bestMisread = true;
    LabelBox chosen = places[0];
    for (const LabelBox& box : places) {
      // What the number would hide: other circles (their middle four fifths: a number may
      // touch a circle's rim), numbers already written and the air between them, and
      // whatever falls off the picture.
      double hidden = box.width * box.height - Overlap(box, 0, 0, width, height);
      for (std::size_t j = 0; j < shots.size(); ++j) {
        if (j == i) continue;
        const double k = 0.4 * shots[j].diameterPx;
        hidden += Overlap(box, shots[j].x - k, shots[j].y - k, shots[j].x + k, shots[j].y + k);
      }
      // Numbers keep apart by half a number's height: "5" touching "8" reads as 58.
      const double apart = h / 2;
      for (const LabelBox& other : placed)
        hidden += Overlap(box, other.left - apart, other.top - apart,
                          other.left + other.width + apart, other.top + other.height + apart);
      // Of the places that hide least, one that is plainly this shot's.
      const bool wrong = misread(box);
      if (hidden < best || (hidden == best && bestMisread && !wrong)) {
        best = hidden;
        bestMisread = wrong;
        chosen = box;
      }
      if (hidden <= 0 && !wrong) break;
    }
    placed.push_back(chosen);
  }
  return placed;
}

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
  std::vector<std::string> texts;
  std::vector<std::pair<double, double>> sizes;
  for (std::size_t i = 0; i < shots.size(); ++i) {
    texts.push_back(std::to_string(i < numbers.size() ? numbers[i] : static_cast<int>(i) + 1));
    const cv::Size size = cv_marks::TextSize(texts.back(), LabelHeight(shots[i], unit));
    sizes.emplace_back(size.width, size.height);
  }
  const std::vector<LabelBox> labels = PlaceLabels(shots, sizes, picture.width, picture.height);
  // Every circle first, then every number: no circle drawn later crosses an earlier number.
  const auto colourOf = [&](std::size_t i) {
    return i < edited.size() && edited[i] ? kEditedColour : kFoundColour;
  };
  for (std::size_t i = 0; i < shots.size(); ++i) {
    const Shot& shot = shots[i];
    const double line = std::max(3 * unit, shot.diameterPx / 10);
    cv_marks::TwoToneCircle(canvas, shot.x, shot.y, shot.diameterPx / 2, colourOf(i), line);
  }
  for (std::size_t i = 0; i < shots.size(); ++i) {
    const LabelBox& box = labels[i];
    cv_marks::HaloText(canvas, texts[i], box.left, box.top + box.height,
                       LabelHeight(shots[i], unit), colourOf(i));
  }
  const double line = std::max(3 * unit, diameter / 10);
  const double cross =
      std::max({diameter * 1.5, 24 * unit, std::min(picture.width, picture.height) / 40.0});
  for (const Mark& mark : marks)
    cv_marks::TwoToneCross(canvas, mark.x, mark.y, cross, mark.colour, line);
  return out;
}

}  // namespace holescan::shots
