// picture_image.h - a picture's pixels as a QImage without a copy, and smaller copies of it
// for drawing a large scan zoomed out.
#pragma once

#include <QImage>
#include <vector>

#include "pixel/picture.h"

namespace holescan::review {

// A QImage (RGB32) over the picture's own pixels; valid while the picture lives, read-only.
inline QImage ImageOf(const Picture& picture) {
  return QImage(reinterpret_cast<const uchar*>(picture.Data()), picture.Width(), picture.Height(),
                static_cast<qsizetype>(picture.Stride() * 4), QImage::Format_RGB32);
}

// Halved copies of the image, each half the size of the one before, down to about `smallest`
// pixels on the longer side: level k (from 1) is 2^k times smaller than the picture.
std::vector<QImage> HalvedLevels(const QImage& image, int smallest = 512);

}  // namespace holescan::review
