#include "review/picture_image.h"

namespace holescan::review {

std::vector<QImage> HalvedLevels(const QImage& image, int smallest) {
  std::vector<QImage> levels;
  levels.reserve(16);  // a side of 32766 pixels halves 6 times: `source` never moves
  const QImage* source = &image;
  while (std::max(source->width(), source->height()) > smallest * 2 && source->width() >= 2 &&
         source->height() >= 2) {
    // Box averaging of 2 x 2 pixels: what a zoomed-out view shows, at a fraction of the cost
    // of a smooth scaling at every repaint.
    const int w = source->width() / 2, h = source->height() / 2;
    QImage half(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
      const auto* a = reinterpret_cast<const quint32*>(source->constScanLine(2 * y));
      const auto* b = reinterpret_cast<const quint32*>(source->constScanLine(2 * y + 1));
      auto* out = reinterpret_cast<quint32*>(half.scanLine(y));
      for (int x = 0; x < w; ++x) {
        const quint32 p[4] = {a[2 * x], a[2 * x + 1], b[2 * x], b[2 * x + 1]};
        quint32 r = 0, g = 0, bl = 0;
        for (quint32 v : p) {
          r += (v >> 16) & 0xFF;
          g += (v >> 8) & 0xFF;
          bl += v & 0xFF;
        }
        out[x] = 0xFF000000u | (((r + 2) / 4) << 16) | (((g + 2) / 4) << 8) | ((bl + 2) / 4);
      }
    }
    levels.push_back(std::move(half));
    source = &levels.back();
  }
  return levels;
}

}  // namespace holescan::review
