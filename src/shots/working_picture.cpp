#include "shots/working_picture.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace holescan::shots {

WorkingPicture MakeWorkingPicture(const PictureView& picture, const Region& region,
                                  double diameterPx) {
  WorkingPicture w;
  w.region = region;
  const int width = region.right - region.left;
  const int height = region.bottom - region.top;
  double zoom = kWorkDiameter / diameterPx;
  const double area = static_cast<double>(width) * height;
  // Bounded, but never below the picture's own scale.
  if (area * zoom * zoom > kMaxWorkPixels) zoom = std::max(std::sqrt(kMaxWorkPixels / area), 1.0);
  const int workWidth = std::max(1, static_cast<int>(std::lround(width * zoom)));
  const int workHeight = std::max(1, static_cast<int>(std::lround(height * zoom)));
  w.scaleX = static_cast<double>(width) / workWidth;
  w.scaleY = static_cast<double>(height) / workHeight;
  w.diameter = diameterPx / std::sqrt(w.scaleX * w.scaleY);

  // The picture's 0xAARRGGBB words are B, G, R, A bytes in memory: OpenCV's BGRA, read in place.
  const cv::Mat bgra(picture.height, picture.width, CV_8UC4,
                     const_cast<std::uint32_t*>(picture.pixels),
                     static_cast<std::size_t>(picture.stride) * sizeof(std::uint32_t));
  const cv::Mat part = bgra(cv::Rect(region.left, region.top, width, height));
  cv::Mat scaled;
  if (workWidth == width && workHeight == height) {
    scaled = part;
  } else {
    const int interpolation = zoom < 1 ? cv::INTER_AREA : cv::INTER_LINEAR;
    cv::resize(part, scaled, cv::Size(workWidth, workHeight), 0, 0, interpolation);
  }
  cv::cvtColor(scaled, w.bgr, cv::COLOR_BGRA2BGR);
  return w;
}

}  // namespace holescan::shots
