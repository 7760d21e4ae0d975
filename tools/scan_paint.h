// scan_paint.h - the few drawing helpers the scan generators share: colours as three doubles,
// mixing, packing into a picture's 0x00RRGGBB words, and a scanner's one-pixel soft edge.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "pixel/picture.h"

namespace holescan::scangen {

struct Colour {
  double r = 0, g = 0, b = 0;
};

inline Colour Mix(Colour a, Colour b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

inline Colour Grey(double v) {
  return {v, v, v};
}

inline std::uint32_t Pack(Colour c) {
  auto channel = [](double v) {
    return static_cast<std::uint32_t>(std::clamp(static_cast<int>(std::lround(v)), 0, 255));
  };
  return Rgb(channel(c.r), channel(c.g), channel(c.b));
}

inline Colour Unpack(std::uint32_t p) {
  return {static_cast<double>((p >> 16) & 0xFFu), static_cast<double>((p >> 8) & 0xFFu),
          static_cast<double>(p & 0xFFu)};
}

// Coverage 0..1 of a pixel by a shape whose signed distance (positive inside) is `inside`:
// a one-pixel soft edge, like a scanner's.
inline double Coverage(double inside) {
  return std::clamp(inside + 0.5, 0.0, 1.0);
}

struct Point {
  double x = 0, y = 0;
};

inline double DistanceToSegment(Point p, Point a, Point b) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  const double t =
      length2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0) : 0;
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

}  // namespace holescan::scangen
