// legend.cpp - the legend of the result picture, drawn with OpenCV.
#include "shots/legend.h"

#include <algorithm>
#include <vector>
#include <cmath>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "shots/marks_cv.h"

namespace holescan::shots {

void DrawLegend(Picture& picture, std::span<const LegendEntry> entries,
                std::span<const LegendAvoid> avoid) {
  if (entries.empty() || picture.Width() == 0 || picture.Height() == 0) return;
  const double text = std::max(12.0, std::min(picture.Width(), picture.Height()) / 60.0);
  const double pad = text * 0.7;
  const double row = text * 2;
  const double symbol = text * 1.6;  // the column of the marks
  int textWidth = 0;
  for (const LegendEntry& entry : entries)
    textWidth = std::max(textWidth, cv_marks::TextSize(entry.text, text).width);
  const double width = pad + symbol + pad + textWidth + pad;
  const double height = pad + row * static_cast<double>(entries.size());
  const double margin = text;
  if (width + 2 * margin > picture.Width() || height + 2 * margin > picture.Height()) return;

  // The place whose box (and a text's height around it) covers the fewest points: a corner
  // first, where a legend is looked for; where every corner hides something (a sheet of bulls
  // fills its page to the corners), any place on a grid of half the box's size.
  std::vector<cv::Point2d> places{{
      {margin, margin},
      {picture.Width() - margin - width, margin},
      {margin, picture.Height() - margin - height},
      {picture.Width() - margin - width, picture.Height() - margin - height},
  }};
  const double right = picture.Width() - margin - width;
  const double bottom = picture.Height() - margin - height;
  for (double y = margin; y <= bottom; y += height / 2)
    for (double x = margin; x <= right; x += width / 2) places.emplace_back(x, y);
  const auto covered = [&](const cv::Point2d& place) {
    std::size_t count = 0;
    for (const LegendAvoid& point : avoid) {
      count += point.x >= place.x - text && point.x <= place.x + width + text &&
               point.y >= place.y - text && point.y <= place.y + height + text;
    }
    return count;
  };
  cv::Point2d at = places[0];
  std::size_t fewest = avoid.size() + 1;
  for (std::size_t i = 0; i < places.size() && fewest > 0; ++i) {
    const std::size_t count = covered(places[i]);
    if (count < fewest) {
      fewest = count;
      at = places[i];
    }
  }

  cv::Mat canvas(picture.Height(), picture.Width(), CV_8UC4, picture.Data());
  const cv::Rect box(static_cast<int>(std::lround(at.x)), static_cast<int>(std::lround(at.y)),
                     static_cast<int>(std::lround(width)), static_cast<int>(std::lround(height)));
  cv::rectangle(canvas, box, cv_marks::Colour(Rgb(255, 255, 255)), cv::FILLED);
  cv::rectangle(canvas, box, cv_marks::Colour(Rgb(60, 60, 60)),
                std::max(1, static_cast<int>(std::lround(text / 12))));
  const double line = std::max(3.0, text / 4);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const LegendEntry& entry = entries[i];
    const double middle = at.y + pad + row * static_cast<double>(i) + row / 2 - pad / 2;
    const double x = at.x + pad + symbol / 2;
    if (entry.symbol == LegendSymbol::Circle) {
      cv_marks::TwoToneCircle(canvas, x, middle, symbol * 0.38, entry.colour, line);
    } else {
      cv_marks::TwoToneCross(canvas, x, middle, symbol, entry.colour, line);
    }
    const double baseline = middle + text / 2;
    cv::putText(canvas, entry.text,
                cv::Point(static_cast<int>(std::lround(at.x + pad + symbol + pad)),
                          static_cast<int>(std::lround(baseline))),
                cv::FONT_HERSHEY_SIMPLEX, text / 22.0, cv_marks::Colour(Rgb(20, 20, 20)),
                std::max(1, static_cast<int>(std::lround(text / 9))), cv::LINE_AA);
  }
}

}  // namespace holescan::shots
