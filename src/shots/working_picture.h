// working_picture.h - a region of a picture at the scale the shot decision was taught at.
//
// Every later stage sees holes of the calibre kWorkDiameter pixels across, whatever the
// resolution: a 600-ppi scan is reduced (area averaging, so that nothing is lost between
// samples), a small phone photo is enlarged (bilinear). The working picture is 8-bit BGR, three
// bytes a pixel, continuous rows: what OpenCV's image operations take.
#pragma once

#include <opencv2/core.hpp>

#include "pixel/picture.h"
#include "shots/shots.h"

namespace holescan::shots {

// A hole's diameter in working pixels, as in tools/train/holegen.py.
inline constexpr double kWorkDiameter = 16;
// The working picture's area is bounded: where holes of the calibre are so small and the picture
// so large that it would exceed this, holes are analysed smaller than kWorkDiameter (and found
// less surely; a picture is never reduced for it). A 12-megapixel phone photo is enlarged to
// the working scale for holes of 11.3 pixels and more.
inline constexpr double kMaxWorkPixels = 24e6;

struct WorkingPicture {
  cv::Mat bgr;            // CV_8UC3, the region at the working scale
  Region region;          // of the picture, in picture pixels
  double scaleX = 1;      // picture pixels per working pixel across
  double scaleY = 1;      // and down
  double diameter = 0;    // a hole's diameter in working pixels

  // Picture coordinates of working point (u, v): pixel centres map onto pixel centres.
  double PictureX(double u) const { return region.left + (u + 0.5) * scaleX - 0.5; }
  double PictureY(double v) const { return region.top + (v + 0.5) * scaleY - 0.5; }
  double WorkU(double x) const { return (x - region.left + 0.5) / scaleX - 0.5; }
  double WorkV(double y) const { return (y - region.top + 0.5) / scaleY - 0.5; }
};

// The region (clipped to the picture, not empty) at the working scale for holes of
// `diameterPx` picture pixels.
WorkingPicture MakeWorkingPicture(const PictureView& picture, const Region& region,
                                  double diameterPx);

}  // namespace holescan::shots
