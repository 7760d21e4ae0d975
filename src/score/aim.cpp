#include "score/aim.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace holescan::score {

namespace {

// Working pictures are bounded whatever the picture and resolution claim.
constexpr std::int64_t kMaxWorkPixels = 16 << 20;

struct Point {
  double x, y;
};

// splitmix64: the robust fit samples with a fixed stream, so a picture always gives the
// same answer.
class Random {
 public:
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

 private:
  std::uint64_t state_ = 0x5DEECE66Dull;
};

int GreyOf(std::uint32_t p) {
  return static_cast<int>(((p >> 16) & 0xFFu) + ((p >> 8) & 0xFFu) + (p & 0xFFu));
}

// A grey copy (red + green + blue, 0..765) reduced by whole blocks of `factor` pixels; working
// pixel (i, j) is the mean of the picture's pixels i*f..i*f+f-1 by j*f..j*f+f-1.
struct Grey {
  int width = 0, height = 0;
  std::vector<float> values;

  float At(int x, int y) const {
    return values[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

Grey Reduce(const PictureView& picture, int factor) {
  Grey grey;
  grey.width = picture.width / factor;
  grey.height = picture.height / factor;
  grey.values.assign(static_cast<std::size_t>(grey.width) * static_cast<std::size_t>(grey.height),
                     0.0f);
  std::vector<std::uint32_t> sums(static_cast<std::size_t>(grey.width));
  const float scale = 1.0f / static_cast<float>(factor * factor);
  for (int j = 0; j < grey.height; ++j) {
    std::fill(sums.begin(), sums.end(), 0u);
    for (int dy = 0; dy < factor; ++dy) {
      const std::uint32_t* row = picture.Row(j * factor + dy);
      for (int i = 0, x = 0; i < grey.width; ++i) {
        std::uint32_t sum = 0;
        for (int dx = 0; dx < factor; ++dx, ++x) sum += static_cast<std::uint32_t>(GreyOf(row[x]));
        sums[static_cast<std::size_t>(i)] += sum;
      }
    }
    float* out =
        grey.values.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(grey.width);
    for (int i = 0; i < grey.width; ++i) {
      out[i] = static_cast<float>(sums[static_cast<std::size_t>(i)]) * scale;
    }
  }
  return grey;
}

// Bilinear grey of the full picture at (x, y), pixel centres on whole coordinates; the caller
// keeps (x, y) at least one pixel inside.
double GreyAt(const PictureView& picture, double x, double y) {
  const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
  const double fx = x - x0, fy = y - y0;
  const std::uint32_t* top = picture.Row(y0) + x0;
  const std::uint32_t* bottom = picture.Row(y0 + 1) + x0;
  const double upper = GreyOf(top[0]) + (GreyOf(top[1]) - GreyOf(top[0])) * fx;
  const double lower = GreyOf(bottom[0]) + (GreyOf(bottom[1]) - GreyOf(bottom[0])) * fx;
  return upper + (lower - upper) * fy;
}

using Mask = std::vector<std::uint8_t>;

// Dilation by the digital disc dx^2 + dy^2 <= r^2: each row's distance to its nearest set
// pixel (capped past r), then a pixel is set when some row dy away has one within the disc's
// half-width at dy. Pixels outside the picture count as unset.
void Dilate(Mask& mask, int width, int height, int radius) {
  const auto w = static_cast<std::size_t>(width);
  const auto cap = static_cast<std::uint8_t>(radius + 1);
  std::vector<std::uint8_t> across(mask.size());
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const std::uint8_t* in = mask.data() + y * w;
    std::uint8_t* d = across.data() + y * w;
    std::uint8_t last = cap;
    for (std::size_t x = 0; x < w; ++x) {
      last = in[x] ? 0 : static_cast<std::uint8_t>(std::min<int>(last + 1, cap));
      d[x] = last;
    }
    last = cap;
    for (std::size_t x = w; x-- > 0;) {
      last = in[x] ? 0 : static_cast<std::uint8_t>(std::min<int>(last + 1, cap));
      d[x] = std::min(d[x], last);
    }
  }
  std::vector<std::uint8_t> halfWidth(static_cast<std::size_t>(2 * radius + 1));
  for (int dy = -radius; dy <= radius; ++dy) {
    halfWidth[static_cast<std::size_t>(dy + radius)] =
        static_cast<std::uint8_t>(std::sqrt(static_cast<double>(radius * radius - dy * dy)));
  }
  for (int y = 0; y < height; ++y) {
    std::uint8_t* out = mask.data() + static_cast<std::size_t>(y) * w;
    for (std::size_t x = 0; x < w; ++x) {
      bool set = false;
      for (int dy = std::max(-radius, -y); dy <= std::min(radius, height - 1 - y) && !set; ++dy) {
        set = across[static_cast<std::size_t>(y + dy) * w + x] <=
              halfWidth[static_cast<std::size_t>(dy + radius)];
      }
      out[x] = set;
    }
  }
}

void Erode(Mask& mask, int width, int height, int radius) {
  for (std::uint8_t& m : mask) m = !m;
  Dilate(mask, width, height, radius);
  for (std::uint8_t& m : mask) m = !m;
}

// Dark working pixels: darker than half the paper's level around them. The level is the
// brightest tenth of each tile, spread over neighbouring tiles far enough to reach across
// the black, so a ramp of light or a tinted card moves it and the black itself does not.
Mask DarkMask(const Grey& grey, double blackRadius) {
  const int tile = std::max(4, static_cast<int>(std::lround(blackRadius / 3)));
  const int tilesX = (grey.width + tile - 1) / tile, tilesY = (grey.height + tile - 1) / tile;
  std::vector<float> level(static_cast<std::size_t>(tilesX) * static_cast<std::size_t>(tilesY));
  std::array<int, 766> histogram;
  for (int ty = 0; ty < tilesY; ++ty) {
    for (int tx = 0; tx < tilesX; ++tx) {
      histogram.fill(0);
      int count = 0;
      for (int y = ty * tile; y < std::min(grey.height, (ty + 1) * tile); ++y) {
        for (int x = tx * tile; x < std::min(grey.width, (tx + 1) * tile); ++x) {
          ++histogram[static_cast<std::size_t>(
              std::clamp(static_cast<int>(grey.At(x, y)), 0, 765))];
          ++count;
        }
      }
      int seen = 0, bin = 765;
      while (bin > 0 && (seen += histogram[static_cast<std::size_t>(bin)]) < count / 10) --bin;
      level[static_cast<std::size_t>(ty * tilesX + tx)] = static_cast<float>(bin);
    }
  }
  const int reach = static_cast<int>(std::ceil(1.2 * blackRadius / tile)) + 1;
  std::vector<float> spread(level.size());
  for (int ty = 0; ty < tilesY; ++ty) {
    for (int tx = 0; tx < tilesX; ++tx) {
      float best = 0;
      for (int y = std::max(0, ty - reach); y <= std::min(tilesY - 1, ty + reach); ++y) {
        for (int x = std::max(0, tx - reach); x <= std::min(tilesX - 1, tx + reach); ++x) {
          best = std::max(best, level[static_cast<std::size_t>(y * tilesX + x)]);
        }
      }
      spread[static_cast<std::size_t>(ty * tilesX + tx)] = best;
    }
  }
  Mask dark(grey.values.size());
  for (int y = 0; y < grey.height; ++y) {
    for (int x = 0; x < grey.width; ++x) {
      const float paper = spread[static_cast<std::size_t>((y / tile) * tilesX + x / tile)];
      dark[static_cast<std::size_t>(y * grey.width + x)] = grey.At(x, y) < 0.5f * paper;
    }
  }
  return dark;
}

// Fills the light regions enclosed by dark ones that are smaller than `largest` pixels: the
// ring lines and shots inside the black. A card on a dark scanner lid is enclosed too, but
// far larger, and stays light.
void FillHoles(Mask& mask, int width, int height, double largest) {
  Mask seen(mask.size(), 0);
  std::vector<std::size_t> stack, members;
  for (std::size_t start = 0; start < mask.size(); ++start) {
    if (mask[start] || seen[start]) continue;
    members.clear();
    bool border = false;
    seen[start] = 1;
    stack.push_back(start);
    while (!stack.empty()) {
      const std::size_t i = stack.back();
      stack.pop_back();
      members.push_back(i);
      const int x = static_cast<int>(i % static_cast<std::size_t>(width));
      const int y = static_cast<int>(i / static_cast<std::size_t>(width));
      border = border || x == 0 || y == 0 || x + 1 == width || y + 1 == height;
      const auto visit = [&](int nx, int ny) {
        const auto n = static_cast<std::size_t>(ny * width + nx);
        if (!mask[n] && !seen[n]) {
          seen[n] = 1;
          stack.push_back(n);
        }
      };
      if (x > 0) visit(x - 1, y);
      if (x + 1 < width) visit(x + 1, y);
      if (y > 0) visit(x, y - 1);
      if (y + 1 < height) visit(x, y + 1);
    }
    if (!border && static_cast<double>(members.size()) < largest) {
      for (const std::size_t i : members) mask[i] = 1;
    }
  }
}

// The boundary pixels of the 4-connected region that looks most like a disc of `radius`
// working pixels, or none. `measured` gets the best region's size as a diameter in working
// pixels (0 when there was no region), for the reason of a failure.
std::vector<Point> BlackBoundary(const Mask& mask, int width, int height, double radius,
                                 double* measured) {
  std::vector<int> label(mask.size(), -1);
  std::vector<std::size_t> stack, members, bestMembers;
  double bestCost = std::numeric_limits<double>::infinity();
  double bestSize = 0;
  const double area = std::numbers::pi * radius * radius;
  int next = 0;
  for (std::size_t start = 0; start < mask.size(); ++start) {
    if (!mask[start] || label[start] >= 0) continue;
    members.clear();
    stack.push_back(start);
    label[start] = next;
    int left = width, right = -1, top = height, bottom = -1;
    while (!stack.empty()) {
      const std::size_t i = stack.back();
      stack.pop_back();
      members.push_back(i);
      const int x = static_cast<int>(i % static_cast<std::size_t>(width));
      const int y = static_cast<int>(i / static_cast<std::size_t>(width));
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
      const auto visit = [&](int nx, int ny) {
        const auto n = static_cast<std::size_t>(ny * width + nx);
        if (mask[n] && label[n] < 0) {
          label[n] = next;
          stack.push_back(n);
        }
      };
      if (x > 0) visit(x - 1, y);
      if (x + 1 < width) visit(x + 1, y);
      if (y > 0) visit(x, y - 1);
      if (y + 1 < height) visit(x, y + 1);
    }
    const double w = right - left + 1, h = bottom - top + 1;
    const double cost = std::abs(std::log(static_cast<double>(members.size()) / area)) +
                        std::abs(std::log(w / (2 * radius))) + std::abs(std::log(h / (2 * radius)));
    if (cost < bestCost) {
      bestCost = cost;
      bestSize = std::sqrt(static_cast<double>(members.size()) / std::numbers::pi) * 2;
      const double ratioW = w / (2 * radius), ratioH = h / (2 * radius);
      const double ratioA = static_cast<double>(members.size()) / area;
      // Loose bounds: dark shots astride the edge widen the region and light ones bite it,
      // and the fit on the edge decides in the end.
      if (ratioW > 0.75 && ratioW < 1.6 && ratioH > 0.75 && ratioH < 1.6 && ratioA > 0.5 &&
          ratioA < 1.6) {
        bestMembers = members;
      } else {
        bestMembers.clear();
      }
    }
    ++next;
  }
  *measured = bestSize;
  std::vector<Point> boundary;
  for (const std::size_t i : bestMembers) {
    const int x = static_cast<int>(i % static_cast<std::size_t>(width));
    const int y = static_cast<int>(i / static_cast<std::size_t>(width));
    const bool edge = x == 0 || y == 0 || x + 1 == width || y + 1 == height || !mask[i - 1] ||
                      !mask[i + 1] || !mask[i - static_cast<std::size_t>(width)] ||
                      !mask[i + static_cast<std::size_t>(width)];
    if (edge) boundary.push_back({static_cast<double>(x), static_cast<double>(y)});
  }
  return boundary;
}

struct Circle {
  double x = 0, y = 0, r = 0;
};

double Median(std::vector<double>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The share of points the robust fit needs on the circle: shots may cover most of the rest.
constexpr double kQuantile = 0.35;
// The kQuantile quantile of |N(0, 1)|: a robust deviation is that quantile over this.
constexpr double kQuantileOfNormal = 0.4538;

double Quantile(std::vector<double>& values) {
  const auto at = values.begin() +
                  static_cast<std::ptrdiff_t>(static_cast<double>(values.size() - 1) * kQuantile);
  std::nth_element(values.begin(), at, values.end());
  return *at;
}

// Least quantile of squares over circles through three points whose radius is within `slack`
// (relative) of `radius`: the circle that the best kQuantile of the points lie closest to,
// however the others scatter.
Circle LeastQuantile(const std::vector<Point>& points, double radius, double slack) {
  Random random;
  Circle best{0, 0, radius};
  double bestScore = std::numeric_limits<double>::infinity();
  // Candidates are judged on an even sample of at most 256 points: as robust, and cheap.
  std::vector<Point> judges;
  const std::size_t every = points.size() / 256 + 1;
  for (std::size_t i = 0; i < points.size(); i += every) judges.push_back(points[i]);
  std::vector<double> residuals(judges.size());
  for (int trial = 0, tried = 0; trial < 20000 && tried < 400; ++trial) {
    const Point& a = points[random.Below(points.size())];
    const Point& b = points[random.Below(points.size())];
    const Point& c = points[random.Below(points.size())];
    // Points close together fix a circle poorly.
    const double ab = std::hypot(b.x - a.x, b.y - a.y), bc = std::hypot(c.x - b.x, c.y - b.y),
                 ca = std::hypot(a.x - c.x, a.y - c.y);
    if (std::min({ab, bc, ca}) < 0.5 * radius) continue;
    const double d = 2 * (a.x * (b.y - c.y) + b.x * (c.y - a.y) + c.x * (a.y - b.y));
    if (d == 0) continue;
    const double a2 = a.x * a.x + a.y * a.y, b2 = b.x * b.x + b.y * b.y, c2 = c.x * c.x + c.y * c.y;
    const double cx = (a2 * (b.y - c.y) + b2 * (c.y - a.y) + c2 * (a.y - b.y)) / d;
    const double cy = (a2 * (c.x - b.x) + b2 * (a.x - c.x) + c2 * (b.x - a.x)) / d;
    const double r = std::hypot(a.x - cx, a.y - cy);
    if (std::abs(r / radius - 1) > slack) continue;
    ++tried;
    for (std::size_t i = 0; i < judges.size(); ++i) {
      const double dx = judges[i].x - cx, dy = judges[i].y - cy;
      residuals[i] = std::abs(std::sqrt(dx * dx + dy * dy) - r);
    }
    const double score = Quantile(residuals);
    if (score < bestScore) {
      bestScore = score;
      best = {cx, cy, r};
    }
  }
  return best;
}

// Geometric least squares (Gauss-Newton on centre and radius) from a start near the answer.
Circle LeastSquares(const std::vector<Point>& points, Circle circle) {
  for (int iteration = 0; iteration < 8; ++iteration) {
    double a[3][3] = {}, b[3] = {};
    for (const Point& p : points) {
      const double dx = p.x - circle.x, dy = p.y - circle.y;
      const double d = std::sqrt(dx * dx + dy * dy);
      if (d == 0) continue;
      const double j[3] = {-dx / d, -dy / d, -1};
      const double r = d - circle.r;
      for (int u = 0; u < 3; ++u) {
        b[u] -= j[u] * r;
        for (int v = 0; v < 3; ++v) a[u][v] += j[u] * j[v];
      }
    }
    // Cramer's rule on the 3 x 3 normal equations.
    const auto det = [](const double m[3][3]) {
      return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
             m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
             m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double whole = det(a);
    if (std::abs(whole) < 1e-12) break;
    double step[3];
    for (int k = 0; k < 3; ++k) {
      double m[3][3];
      for (int u = 0; u < 3; ++u) {
        for (int v = 0; v < 3; ++v) m[u][v] = v == k ? b[u] : a[u][v];
      }
      step[k] = det(m) / whole;
    }
    circle = {circle.x + step[0], circle.y + step[1], circle.r + step[2]};
    if (std::abs(step[0]) + std::abs(step[1]) + std::abs(step[2]) < 1e-6) break;
  }
  return circle;
}

struct Fit {
  Circle circle;
  std::vector<Point> inliers;
  double residual = 0;
};

// The robust start, then least squares on the points near the circle, with the tolerance
// narrowed to three robust deviations each round: the edge points of a shot that cuts the
// black lie off the circle by a good part of a calibre and drop out on the first round.
Fit RobustCircle(const std::vector<Point>& points, double radius, double floorPx) {
  Fit fit;
  fit.circle = LeastQuantile(points, radius, 1.5 * kRadiusTolerance);
  std::vector<double> residuals(points.size());
  for (int round = 0; round < 4; ++round) {
    for (std::size_t i = 0; i < points.size(); ++i) {
      const double dx = points[i].x - fit.circle.x, dy = points[i].y - fit.circle.y;
      residuals[i] = std::abs(std::sqrt(dx * dx + dy * dy) - fit.circle.r);
    }
    std::vector<double> sorted = residuals;
    const double tolerance = std::max(floorPx, 3 * Quantile(sorted) / kQuantileOfNormal);
    fit.inliers.clear();
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (residuals[i] <= tolerance) fit.inliers.push_back(points[i]);
    }
    if (fit.inliers.size() < 3) break;
    fit.circle = LeastSquares(fit.inliers, fit.circle);
  }
  double squares = 0;
  for (const Point& p : fit.inliers) {
    const double r = std::hypot(p.x - fit.circle.x, p.y - fit.circle.y) - fit.circle.r;
    squares += r * r;
  }
  fit.residual =
      fit.inliers.empty() ? 0 : std::sqrt(squares / static_cast<double>(fit.inliers.size()));
  return fit;
}

// The black's outer edge on rays from `centre`: on each ray the grey profile across the
// expected radius, its ink level inside and paper level outside, and the point where it
// rises through half-way from ink to paper nearest the expected radius. Rays whose levels
// differ by much less than the others' (a light hole inside, a dark one outside) give none.
std::vector<Point> EdgePoints(const PictureView& picture, Point centre, double radius,
                              double window, int rays) {
  constexpr double kStep = 0.5;
  const int samples = static_cast<int>(std::ceil(2 * window / kStep)) + 1;
  struct Ray {
    double ux, uy, inner, outer;
    std::vector<double> profile;
  };
  std::vector<Ray> profiles;
  profiles.reserve(static_cast<std::size_t>(rays));
  std::vector<double> part;
  for (int k = 0; k < rays; ++k) {
    const double angle = 2 * std::numbers::pi * k / rays;
    Ray ray{std::cos(angle), std::sin(angle), 0, 0, {}};
    const double t0 = radius - window, t1 = radius + window;
    const auto inside = [&](double t) {
      const double x = centre.x + t * ray.ux, y = centre.y + t * ray.uy;
      return x >= 0 && y >= 0 && x < picture.width - 1 && y < picture.height - 1;
    };
    if (t0 < 0 || !inside(t0) || !inside(t1)) continue;
    ray.profile.resize(static_cast<std::size_t>(samples));
    for (int s = 0; s < samples; ++s) {
      const double t = t0 + s * kStep;
      ray.profile[static_cast<std::size_t>(s)] =
          GreyAt(picture, centre.x + t * ray.ux, centre.y + t * ray.uy);
    }
    const auto third = static_cast<std::size_t>(samples / 3);
    part.assign(ray.profile.begin(), ray.profile.begin() + static_cast<std::ptrdiff_t>(third));
    ray.inner = Median(part);
    part.assign(ray.profile.end() - static_cast<std::ptrdiff_t>(third), ray.profile.end());
    ray.outer = Median(part);
    profiles.push_back(std::move(ray));
  }
  std::vector<Point> points;
  if (profiles.empty()) return points;
  std::vector<double> contrasts;
  for (const Ray& ray : profiles) contrasts.push_back(ray.outer - ray.inner);
  const double typical = Median(contrasts);
  if (typical <= 0) return points;
  for (const Ray& ray : profiles) {
    if (ray.outer - ray.inner < 0.5 * typical) continue;
    const double half = (ray.inner + ray.outer) / 2;
    double best = -1, bestGap = std::numeric_limits<double>::infinity();
    for (int s = 0; s + 1 < samples; ++s) {
      const double a = ray.profile[static_cast<std::size_t>(s)];
      const double b = ray.profile[static_cast<std::size_t>(s + 1)];
      if (a < half && b >= half) {
        const double t = radius - window + (s + (half - a) / (b - a)) * kStep;
        if (std::abs(t - radius) < bestGap) {
          bestGap = std::abs(t - radius);
          best = t;
        }
      }
    }
    if (best >= 0) points.push_back({centre.x + best * ray.ux, centre.y + best * ray.uy});
  }
  return points;
}

// The largest angle around `centre` with no point in it, in radians.
double LargestGap(const std::vector<Point>& points, Point centre) {
  if (points.empty()) return 2 * std::numbers::pi;
  std::vector<double> angles;
  for (const Point& p : points) angles.push_back(std::atan2(p.y - centre.y, p.x - centre.x));
  std::sort(angles.begin(), angles.end());
  double gap = angles.front() + 2 * std::numbers::pi - angles.back();
  for (std::size_t i = 1; i < angles.size(); ++i) gap = std::max(gap, angles[i] - angles[i - 1]);
  return gap;
}

std::string Millimetres(double mm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", mm);
  return text;
}

}  // namespace

std::optional<AimFit> FindAim(const PictureView& picture, const Face& face, double dpi,
                              std::string* reason) {
  const auto fail = [&](std::string why) -> std::optional<AimFit> {
    if (reason) *reason = std::move(why);
    return std::nullopt;
  };
  if (!std::isfinite(dpi) || dpi < kMinAimDpi || dpi > kMaxAimDpi) {
    return fail("the resolution must be 50 to 4800 pixels per inch to find the point of aim");
  }
  if (!picture.pixels || picture.width <= 0 || picture.height <= 0 ||
      picture.width > kMaxPictureSide || picture.height > kMaxPictureSide ||
      picture.stride < picture.width) {
    return fail("no picture to find the point of aim on");
  }
  const double pxPerMm = dpi / 25.4;
  const double radius = face.blackDiameterMm / 2 * pxPerMm;
  const std::string black =
      "the black of " + std::string(face.title) + " (" + Millimetres(face.blackDiameterMm) + " mm)";
  if (picture.width < 2 * radius || picture.height < 2 * radius) {
    return fail(black + " is larger than the picture at this resolution");
  }

  int factor = std::max(1, static_cast<int>(2 * radius / kWorkDiameterPx));
  while (static_cast<std::int64_t>(picture.width / factor) * (picture.height / factor) >
         kMaxWorkPixels) {
    ++factor;
  }
  const double workRadius = radius / factor;
  if (workRadius < 8) return fail(black + " is too small in this picture to be found");
  const Grey grey = Reduce(picture, factor);
  Mask mask = DarkMask(grey, workRadius);
  // Close the white ring lines and figures in the black, open away the printed lines and
  // figures around it, then fill what is enclosed (the rings, shots inside the black).
  const int closing = std::max(1, static_cast<int>(std::lround(0.025 * workRadius)));
  const int opening = std::max(1, static_cast<int>(std::lround(0.05 * workRadius)));
  Dilate(mask, grey.width, grey.height, closing);
  Erode(mask, grey.width, grey.height, closing);
  Erode(mask, grey.width, grey.height, opening);
  Dilate(mask, grey.width, grey.height, opening);
  FillHoles(mask, grey.width, grey.height, 0.5 * std::numbers::pi * workRadius * workRadius);
  double measured = 0;
  std::vector<Point> boundary = BlackBoundary(mask, grey.width, grey.height, workRadius, &measured);
  if (boundary.size() < 16) {
    std::string why = "no black aiming mark of " + Millimetres(face.blackDiameterMm) +
                      " mm found for " + std::string(face.name);
    if (measured > 0) {
      why += " (the closest dark region is about " + Millimetres(measured * factor / pxPerMm) +
             " mm across)";
    }
    return fail(why);
  }
  // Working pixel (i, j) is centred on picture point (i f + (f - 1) / 2, j f + (f - 1) / 2).
  const double offset = (factor - 1) / 2.0;
  for (Point& p : boundary) p = {p.x * factor + offset, p.y * factor + offset};
  Fit fit = RobustCircle(boundary, radius - 0.5 * factor, factor);
  // Boundary pixels lie half a working pixel inside the edge. From here on the black's own
  // size leads, so a resolution that is a few per cent off does not put its edge outside
  // the rays' window.
  double expected = fit.circle.r + 0.5 * factor;
  if (!std::isfinite(expected) || fit.residual > factor ||
      std::abs(expected / radius - 1) > kRadiusTolerance) {
    expected = radius;
  }

  const double ringWidthPx = face.ringWidthMm * pxPerMm;
  const int rays = std::clamp(static_cast<int>(2 * std::numbers::pi * radius / 2), 180, 1440);
  std::vector<Point> edge;
  for (int pass = 0; pass < 2; ++pass) {
    // The first window also reaches a black a few per cent off its printed size, short of the
    // next ring either side.
    const double window = pass == 0 ? std::min(std::max({0.4 * ringWidthPx, 2.0 * factor + 3,
                                                         kRadiusTolerance * radius + 2}),
                                               0.8 * ringWidthPx)
                                    : std::max(0.4 * ringWidthPx, 3.0);
    edge = EdgePoints(picture, {fit.circle.x, fit.circle.y}, expected, window, rays);
    if (edge.size() < 16) break;
    fit = RobustCircle(edge, expected, 0.5);
    expected = fit.circle.r;
  }

  const std::string name(face.name);
  const double ratio = fit.circle.r / radius;
  if (edge.size() >= 16 && fit.inliers.size() >= 3 && std::abs(ratio - 1) > kRadiusTolerance) {
    return fail("no black aiming mark of " + Millimetres(face.blackDiameterMm) + " mm found for " +
                name + " (a round mark of " + Millimetres(2 * fit.circle.r / pxPerMm) +
                " mm is there)");
  }
  // A clean edge scatters by a fraction of a pixel about its circle; far more means the
  // points that agree are not one edge (a black cut all round by shots).
  const double roughest = std::max(1.0, 0.05 * pxPerMm);
  if (edge.size() < 16 || fit.inliers.size() < std::max<std::size_t>(16, edge.size() / 4) ||
      fit.residual > roughest ||
      LargestGap(fit.inliers, {fit.circle.x, fit.circle.y}) > 2 * std::numbers::pi / 3) {
    return fail("the edge of the " + Millimetres(face.blackDiameterMm) + " mm black of " + name +
                " is too broken by shots or marks to find its centre");
  }
  AimFit result;
  result.centre = {fit.circle.x, fit.circle.y};
  result.radiusPx = fit.circle.r;
  result.residualPx = fit.residual;
  result.edgePoints = static_cast<int>(edge.size());
  result.inliers = static_cast<int>(fit.inliers.size());
  return result;
}

}  // namespace holescan::score
