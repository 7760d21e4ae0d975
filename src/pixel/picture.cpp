#include "pixel/picture.h"

#include <algorithm>

namespace holescan {

Picture::Picture(int width, int height, std::uint32_t fill)
    : width_(width),
      height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill) {}

void Picture::Fill(std::uint32_t colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

DarkMap::DarkMap(int maxX, int maxY)
    : maxX_(maxX),
      maxY_(maxY),
      bytes_(static_cast<std::size_t>(maxX + 1) * static_cast<std::size_t>(maxY + 1), 0) {}

}  // namespace holescan
