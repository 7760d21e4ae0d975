// aim.cpp - the point of aim on OpenCV's primitives: area reduction, morphology, labelling
// and sub-pixel sampling; the robust circle fit is ours (no library fits a circle of known
// radius through outliers).
#include "shots/aim.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "shots/limits.h"

namespace holescan::shots {

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

// The picture as OpenCV sees it, without a copy (blue, green, red, alpha bytes).
cv::Mat MatOf(const PictureView& picture) {
  return cv::Mat(picture.height, picture.width, CV_8UC4, const_cast<std::uint32_t*>(picture.pixels),
                 static_cast<std::size_t>(picture.stride) * sizeof(std::uint32_t));
}

// A grey copy (red + green + blue, 0..765) reduced by whole blocks of `factor` pixels: working
// pixel (i, j) is the mean of the picture's pixels i*f..i*f+f-1 by j*f..j*f+f-1 (the picture
// cut to whole blocks, then area resampling, which over whole blocks is their mean).
cv::Mat Reduce(const PictureView& picture, int factor) {
  const cv::Size work(picture.width / factor, picture.height / factor);
  const cv::Mat whole = MatOf(picture)(cv::Rect(0, 0, work.width * factor, work.height * factor));
  cv::Mat reduced;
  if (factor == 1) {
    reduced = whole;
  } else {
    cv::resize(whole, reduced, work, 0, 0, cv::INTER_AREA);
  }
  cv::Mat channels;
  reduced.convertTo(channels, CV_32FC4);
  cv::Mat grey;
  cv::transform(channels, grey, cv::Matx<float, 1, 4>(1, 1, 1, 0));
  return grey;
}

// The digital disc dx^2 + dy^2 <= r^2 as a structuring element.
cv::Mat Disc(int radius) {
  cv::Mat disc(2 * radius + 1, 2 * radius + 1, CV_8U);
  for (int dy = -radius; dy <= radius; ++dy)
    for (int dx = -radius; dx <= radius; ++dx)
      disc.at<std::uint8_t>(dy + radius, dx + radius) = dx * dx + dy * dy <= radius * radius;
  return disc;
}

// Dark working pixels (255): darker than half the paper's level around them. The level is the
// brightest tenth of each tile, spread over neighbouring tiles far enough to reach across the
// black, so a ramp of light or a tinted card moves it and the black itself does not.
cv::Mat DarkMask(const cv::Mat& grey, double blackRadius) {
  const int tile = std::max(4, static_cast<int>(std::lround(blackRadius / 3)));
  const int tilesX = (grey.cols + tile - 1) / tile, tilesY = (grey.rows + tile - 1) / tile;
  cv::Mat level(tilesY, tilesX, CV_32F);
  std::array<int, 766> histogram;
  for (int ty = 0; ty < tilesY; ++ty) {
    for (int tx = 0; tx < tilesX; ++tx) {
      histogram.fill(0);
      const cv::Rect box(tx * tile, ty * tile, std::min(tile, grey.cols - tx * tile),
                         std::min(tile, grey.rows - ty * tile));
      for (int y = box.y; y < box.y + box.height; ++y) {
        const float* row = grey.ptr<float>(y);
        for (int x = box.x; x < box.x + box.width; ++x)
          ++histogram[static_cast<std::size_t>(std::clamp(static_cast<int>(row[x]), 0, 765))];
      }
      const int count = box.area();
      int seen = 0, bin = 765;
      while (bin > 0 && (seen += histogram[static_cast<std::size_t>(bin)]) < count / 10) --bin;
      level.at<float>(ty, tx) = static_cast<float>(bin);
    }
  }
  const int reach = static_cast<int>(std::ceil(1.2 * blackRadius / tile)) + 1;
  cv::Mat spread;
  cv::dilate(level, spread,
             cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * reach + 1, 2 * reach + 1)));
  // Each working pixel takes its tile's level: nearest-neighbour enlargement by the tile.
  cv::Mat paper;
  cv::resize(spread, paper, cv::Size(tilesX * tile, tilesY * tile), 0, 0, cv::INTER_NEAREST);
  cv::Mat half = 0.5 * paper(cv::Rect(0, 0, grey.cols, grey.rows));
  cv::Mat dark;
  cv::compare(grey, half, dark, cv::CMP_LT);
  return dark;
}

// Fills the light regions enclosed by dark ones that are smaller than `largest` pixels: the
// ring lines and shots inside the black. A card on a dark scanner lid is enclosed too, but
// far larger, and stays light.
void FillHoles(cv::Mat& mask, double largest) {
  cv::Mat light = mask == 0;
  cv::Mat labels, stats, centroids;
  const int count = cv::connectedComponentsWithStats(light, labels, stats, centroids, 4, CV_32S);
  std::vector<std::uint8_t> fill(static_cast<std::size_t>(count), 0);
  for (int k = 1; k < count; ++k) {
    const int left = stats.at<int>(k, cv::CC_STAT_LEFT), top = stats.at<int>(k, cv::CC_STAT_TOP);
    const int right = left + stats.at<int>(k, cv::CC_STAT_WIDTH);
    const int bottom = top + stats.at<int>(k, cv::CC_STAT_HEIGHT);
    const bool border = left == 0 || top == 0 || right == mask.cols || bottom == mask.rows;
    fill[static_cast<std::size_t>(k)] =
        !border && static_cast<double>(stats.at<int>(k, cv::CC_STAT_AREA)) < largest;
  }
  for (int y = 0; y < mask.rows; ++y) {
    const int* label = labels.ptr<int>(y);
    std::uint8_t* out = mask.ptr<std::uint8_t>(y);
    for (int x = 0; x < mask.cols; ++x)
      if (fill[static_cast<std::size_t>(label[x])]) out[x] = 255;
  }
}

// The boundary pixels of the 4-connected region that looks most like a disc of `radius`
// working pixels, or none. `measured` gets the best region's size as a diameter in working
// pixels (0 when there was no region), for the reason of a failure.
std::vector<Point> BlackBoundary(const cv::Mat& mask, double radius, double* measured) {
  cv::Mat labels, stats, centroids;
  const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 4, CV_32S);
  double bestCost = std::numeric_limits<double>::infinity();
  double bestSize = 0;
  int best = 0;  // 0: no region like the black
  const double area = std::numbers::pi * radius * radius;
  for (int k = 1; k < count; ++k) {
    const double members = stats.at<int>(k, cv::CC_STAT_AREA);
    const double w = stats.at<int>(k, cv::CC_STAT_WIDTH), h = stats.at<int>(k, cv::CC_STAT_HEIGHT);
    const double cost = std::abs(std::log(members / area)) + std::abs(std::log(w / (2 * radius))) +
                        std::abs(std::log(h / (2 * radius)));
    if (cost < bestCost) {
      bestCost = cost;
      bestSize = std::sqrt(members / std::numbers::pi) * 2;
      const double ratioW = w / (2 * radius), ratioH = h / (2 * radius);
      const double ratioA = members / area;
      // Loose bounds: dark shots astride the edge widen the region and light ones bite it,
      // and the fit on the edge decides in the end.
      best = ratioW > 0.75 && ratioW < 1.6 && ratioH > 0.75 && ratioH < 1.6 && ratioA > 0.5 &&
                     ratioA < 1.6
                 ? k
                 : 0;
    }
  }
  *measured = bestSize;
  std::vector<Point> boundary;
  if (best == 0) return boundary;
  const int left = stats.at<int>(best, cv::CC_STAT_LEFT),
            top = stats.at<int>(best, cv::CC_STAT_TOP);
  const int right = left + stats.at<int>(best, cv::CC_STAT_WIDTH);
  const int bottom = top + stats.at<int>(best, cv::CC_STAT_HEIGHT);
  const auto set = [&](int x, int y) { return mask.at<std::uint8_t>(y, x) != 0; };
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (labels.at<int>(y, x) != best) continue;
      const bool edge = x == 0 || y == 0 || x + 1 == mask.cols || y + 1 == mask.rows ||
                        !set(x - 1, y) || !set(x + 1, y) || !set(x, y - 1) || !set(x, y + 1);
      if (edge) boundary.push_back({static_cast<double>(x), static_cast<double>(y)});
    }
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
// The profiles are sampled bilinearly at once (remap) from the picture.
// With `minor` positive the edge looked for is an ellipse of semi-axes radius and minor, the
// major one at `axis` radians: each ray near the ellipse's radius in its direction.
std::vector<Point> EdgePoints(const PictureView& picture, Point centre, double radius,
                              double window, int rays, double minor = 0, double axis = 0) {
  constexpr double kStep = 0.5;
  const int samples = static_cast<int>(std::ceil(2 * window / kStep)) + 1;
  std::vector<Point> points;
  if (radius - window < 0 || (minor > 0 && minor - window < 0)) return points;
  struct Ray {
    double ux, uy, t0 = 0, inner = 0, outer = 0;
  };
  const auto radiusAt = [&](double angle) {
    if (minor <= 0) return radius;
    const double c = std::cos(angle - axis), s = std::sin(angle - axis);
    return radius * minor / std::sqrt(minor * minor * c * c + radius * radius * s * s);
  };
  std::vector<Ray> used;
  const auto inside = [&](double x, double y) {
    return x >= 0 && y >= 0 && x < picture.width - 1 && y < picture.height - 1;
  };
  for (int k = 0; k < rays; ++k) {
    const double angle = 2 * std::numbers::pi * k / rays;
    const double t0 = radiusAt(angle) - window, t1 = radiusAt(angle) + window;
    const Ray ray{std::cos(angle), std::sin(angle), t0};
    if (inside(centre.x + t0 * ray.ux, centre.y + t0 * ray.uy) &&
        inside(centre.x + t1 * ray.ux, centre.y + t1 * ray.uy))
      used.push_back(ray);
  }
  if (used.empty()) return points;
  // One row of samples per ray.
  cv::Mat map(static_cast<int>(used.size()), samples, CV_32FC2);
  for (int r = 0; r < map.rows; ++r) {
    const Ray& ray = used[static_cast<std::size_t>(r)];
    auto* row = map.ptr<cv::Vec2f>(r);
    for (int s = 0; s < samples; ++s) {
      const double t = ray.t0 + s * kStep;
      row[s] = {static_cast<float>(centre.x + t * ray.ux),
                static_cast<float>(centre.y + t * ray.uy)};
    }
  }
  cv::Mat sampled;
  cv::remap(MatOf(picture), sampled, map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
  cv::Mat profiles;
  sampled.convertTo(profiles, CV_64FC4);
  cv::transform(profiles, profiles, cv::Matx<double, 1, 4>(1, 1, 1, 0));

  const auto third = static_cast<std::size_t>(samples / 3);
  std::vector<double> part, contrasts;
  for (int r = 0; r < profiles.rows; ++r) {
    const double* profile = profiles.ptr<double>(r);
    Ray& ray = used[static_cast<std::size_t>(r)];
    part.assign(profile, profile + third);
    ray.inner = Median(part);
    part.assign(profile + samples - static_cast<std::ptrdiff_t>(third), profile + samples);
    ray.outer = Median(part);
    contrasts.push_back(ray.outer - ray.inner);
  }
  const double typical = Median(contrasts);
  if (typical <= 0) return points;
  for (int r = 0; r < profiles.rows; ++r) {
    const double* profile = profiles.ptr<double>(r);
    const Ray& ray = used[static_cast<std::size_t>(r)];
    if (ray.outer - ray.inner < 0.5 * typical) continue;
    const double half = (ray.inner + ray.outer) / 2;
    double best = -1, bestGap = std::numeric_limits<double>::infinity();
    for (int s = 0; s + 1 < samples; ++s) {
      const double a = profile[s], b = profile[s + 1];
      if (a < half && b >= half) {
        const double t = ray.t0 + (s + (half - a) / (b - a)) * kStep;
        if (std::abs(t - (ray.t0 + window)) < bestGap) {
          bestGap = std::abs(t - (ray.t0 + window));
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

// A point's distance from an ellipse, near enough: the normalised radius's excess over one, in
// pixels of the ellipse's radius there. (dx, dy) is the point from the ellipse's centre, c and
// s the cosine and sine of its major axis's direction.
double EllipseDistance(double dx, double dy, double major, double minor, double c, double s) {
  const double u = dx * c + dy * s;
  const double v = -dx * s + dy * c;
  const double rho = std::sqrt(u * u / (major * major) + v * v / (minor * minor));
  return std::abs(rho - 1) * std::hypot(u, v) / std::max(rho, 1e-9);
}

// The black's edge as an ellipse, for a face photographed at an angle: rays near the start
// ellipse, OpenCV's fitEllipse on the points, then on those within three robust deviations of
// it, twice over with a narrower window. nullopt when too few points agree.
std::optional<AimFit> FitEllipseEdge(const PictureView& picture, cv::RotatedRect start,
                                     int factor) {
  double major = std::max(start.size.width, start.size.height) / 2.0;
  double minor = std::min(start.size.width, start.size.height) / 2.0;
  double axis = (start.size.width >= start.size.height ? start.angle : start.angle + 90) *
                std::numbers::pi / 180;
  Point centre{start.center.x, start.center.y};
  const int rays = std::clamp(static_cast<int>(2 * std::numbers::pi * major / 2), 180, 1440);
  std::vector<Point> edge, kept;
  double residual = 0;
  for (int pass = 0; pass < 3; ++pass) {
    const double window =
        pass == 0 ? std::max(0.05 * major, 2.0 * factor + 3) : std::max(0.02 * major, 3.0);
    edge = EdgePoints(picture, centre, major, window, rays, minor, axis);
    if (edge.size() < 16) return std::nullopt;
    kept = edge;
    for (int round = 0; round < 3; ++round) {
      std::vector<cv::Point2f> fitted;
      for (const Point& p : kept)
        fitted.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
      if (fitted.size() < 6) return std::nullopt;
      const cv::RotatedRect box = cv::fitEllipse(fitted);
      major = std::max(box.size.width, box.size.height) / 2.0;
      minor = std::min(box.size.width, box.size.height) / 2.0;
      axis =
          (box.size.width >= box.size.height ? box.angle : box.angle + 90) * std::numbers::pi / 180;
      centre = {box.center.x, box.center.y};
      const double c = std::cos(axis), s = std::sin(axis);
      std::vector<double> distances;
      for (const Point& p : edge)
        distances.push_back(EllipseDistance(p.x - centre.x, p.y - centre.y, major, minor, c, s));
      std::vector<double> sorted = distances;
      const double deviation = std::max(0.25, Median(sorted) / 0.6745);
      kept.clear();
      double squares = 0;
      for (std::size_t i = 0; i < edge.size(); ++i) {
        if (distances[i] <= 3 * deviation) {
          kept.push_back(edge[i]);
          squares += distances[i] * distances[i];
        }
      }
      residual = kept.empty() ? 0 : std::sqrt(squares / static_cast<double>(kept.size()));
    }
  }
  if (kept.size() < std::max<std::size_t>(16, edge.size() / 4) ||
      LargestGap(kept, centre) > 2 * std::numbers::pi / 3)
    return std::nullopt;
  AimFit fit;
  fit.centre = {centre.x, centre.y};
  fit.radiusPx = major;
  fit.minorPx = minor;
  fit.axisRadians = axis;
  fit.residualPx = residual;
  fit.edgePoints = static_cast<int>(edge.size());
  fit.inliers = static_cast<int>(kept.size());
  return fit;
}

// The circle of a black fitted as an ellipse that lies square all the same: a circle through
// fresh rays about its centre fits the edge about as closely; nullopt when none does. Shots
// biting into a square-on black's outline, or bulging it, flatten its region, and the ellipse
// then bends to them: on a generated A-17 bull with three light holes astride one side it read
// a tilt of 25 degrees and put the aim 2 mm off (ellipse 1.35 px from the edge, circle 0.07).
// A black truly seen at 15 degrees lies off any circle by four times the ellipse's residual
// and more, even 170 pixels across.
std::optional<Circle> LiesSquare(const PictureView& picture, const AimFit& ellipse) {
  const double mean = (ellipse.radiusPx + ellipse.minorPx) / 2;
  const double window = std::max(ellipse.radiusPx - ellipse.minorPx, 0.02 * mean) + 3;
  const int rays = std::clamp(static_cast<int>(2 * std::numbers::pi * mean / 2), 180, 1440);
  const std::vector<Point> edge =
      EdgePoints(picture, {ellipse.centre.x, ellipse.centre.y}, mean, window, rays);
  if (edge.size() < 16) return std::nullopt;
  const Fit circle = RobustCircle(edge, mean, 0.5);
  if (circle.inliers.size() >= std::max<std::size_t>(16, edge.size() / 2) &&
      circle.residual <= 1.2 * ellipse.residualPx + 0.05)
    return circle.circle;
  return std::nullopt;
}

// The black's edge measured at full resolution from a start near it: rays from `start`, the
// robust fit, twice; the fit, or the reason the edge is not the face's black. `expected` is
// the radius to look for in picture pixels, `factor` the working reduction the start came from.
// With `scaleGuessed`, pxPerMm was taken from the start's own size, and the edge may lie
// farther from it: dark holes astride the black bulge the region the start came from by a
// few per cent, and light ones bite into it.
std::optional<AimFit> FitEdge(const PictureView& picture, const score::Face& face, double pxPerMm,
                              Point start, double expected, int factor, std::string* reason,
                              bool scaleGuessed = false) {
  const auto fail = [&](std::string why) -> std::optional<AimFit> {
    if (reason) *reason = std::move(why);
    return std::nullopt;
  };
  const double radius = face.blackDiameterMm / 2 * pxPerMm;
  const double ringWidthPx = face.ringWidthMm * pxPerMm;
  const int rays = std::clamp(static_cast<int>(2 * std::numbers::pi * radius / 2), 180, 1440);
  std::vector<Point> edge;
  Fit fit;
  fit.circle = {start.x, start.y, expected};
  for (int pass = 0; pass < 2; ++pass) {
    // The first window also reaches a black a few per cent off its printed size, short of the
    // next ring either side.
    const double window = pass == 0 ? std::min(std::max({0.4 * ringWidthPx, 2.0 * factor + 3,
                                                         kRadiusTolerance * radius + 2}),
                                               0.8 * ringWidthPx)
                                    : std::max(0.4 * ringWidthPx, 3.0);
    edge = EdgePoints(picture, {fit.circle.x, fit.circle.y}, expected, window, rays);
    // A start pushed off by shots bulging the black's outline (dark holes across its edge) can
    // leave most rays' windows short of the edge: the widest window then, still short of the
    // next ring.
    if (pass == 0 && edge.size() < 16 && window < 0.8 * ringWidthPx)
      edge = EdgePoints(picture, {fit.circle.x, fit.circle.y}, expected, 0.8 * ringWidthPx, rays);
    if (edge.size() < 16) break;
    fit = RobustCircle(edge, expected, 0.5);
    expected = fit.circle.r;
  }

  const std::string name(face.name);
  const double ratio = fit.circle.r / radius;
  // Twice the tolerance for a guessed scale is still short of the nearest ring (14 % of the
  // black's radius inside it, on the 50 m rifle face).
  const double tolerance = scaleGuessed ? 2 * kRadiusTolerance : kRadiusTolerance;
  if (edge.size() >= 16 && fit.inliers.size() >= 3 && std::abs(ratio - 1) > tolerance) {
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

}  // namespace

std::optional<AimFit> FindAim(const PictureView& picture, const score::Face& face, double dpi,
                              std::string* reason) {
  const auto fail = [&](std::string why) -> std::optional<AimFit> {
    if (reason) *reason = std::move(why);
    return std::nullopt;
  };
  if (auto problem = ResolutionProblem(dpi)) return fail(*problem);
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
  const cv::Mat grey = Reduce(picture, factor);
  cv::Mat mask = DarkMask(grey, workRadius);
  // Close the white ring lines and figures in the black, open away the printed lines and
  // figures around it, then fill what is enclosed (the rings, shots inside the black).
  // Outside the picture counts as light for the dilations and dark for the erosions.
  const int closing = std::max(1, static_cast<int>(std::lround(0.025 * workRadius)));
  const int opening = std::max(1, static_cast<int>(std::lround(0.05 * workRadius)));
  cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, Disc(closing));
  cv::morphologyEx(mask, mask, cv::MORPH_OPEN, Disc(opening));
  FillHoles(mask, 0.5 * std::numbers::pi * workRadius * workRadius);
  double measured = 0;
  std::vector<Point> boundary = BlackBoundary(mask, workRadius, &measured);
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
  const Fit fit = RobustCircle(boundary, radius - 0.5 * factor, factor);
  // Boundary pixels lie half a working pixel inside the edge. From here on the black's own
  // size leads, so a resolution that is a few per cent off does not put its edge outside
  // the rays' window.
  double expected = fit.circle.r + 0.5 * factor;
  if (!std::isfinite(expected) || fit.residual > factor ||
      std::abs(expected / radius - 1) > kRadiusTolerance) {
    expected = radius;
  }
  return FitEdge(picture, face, pxPerMm, {fit.circle.x, fit.circle.y}, expected, factor, reason);
}

namespace {

// The ellipse most points of an outline agree with: fitted to five points a fifth of the
// outline apart, many times over, the one with the most points within `tolerance` pixels
// kept. Shots astride a black bulge or bite its outline over a third of its length or more,
// and a least-squares fit to every point leans towards them: on a card scanned square-on it
// would find the black flattened, as if photographed at an angle.
struct SampledFit {
  cv::RotatedRect box;
  double share = 0;  // of the outline within the tolerance of it
};

std::optional<SampledFit> SampledEllipse(const std::vector<cv::Point>& outline, double tolerance) {
  constexpr int kTries = 400;
  const std::size_t n = outline.size();
  if (n < 10) return std::nullopt;
  std::uint64_t state = 0x9E3779B97F4A7C15u;  // the same draws every run
  const auto next = [&state](std::size_t below) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<std::size_t>(state % below);
  };
  std::optional<SampledFit> best;
  std::size_t most = 0;
  std::vector<cv::Point2f> five(5);
  for (int t = 0; t < kTries; ++t) {
    for (std::size_t k = 0; k < 5; ++k) {
      const std::size_t from = k * n / 5, to = (k + 1) * n / 5;
      const cv::Point& p = outline[from + next(to - from)];
      five[k] = {static_cast<float>(p.x), static_cast<float>(p.y)};
    }
    const cv::RotatedRect box = cv::fitEllipse(five);
    const double a = std::max(box.size.width, box.size.height) / 2.0;
    const double b = std::min(box.size.width, box.size.height) / 2.0;
    if (!std::isfinite(a) || !std::isfinite(b) || b < 1 || b < 0.5 * a) continue;
    const double axis =
        (box.size.width >= box.size.height ? box.angle : box.angle + 90) * std::numbers::pi / 180;
    const double c = std::cos(axis), s = std::sin(axis);
    const double cx = box.center.x, cy = box.center.y;
    std::size_t agree = 0;
    for (const cv::Point& p : outline)
      agree += EllipseDistance(p.x - cx, p.y - cy, a, b, c, s) <= tolerance;
    if (agree > most) {
      most = agree;
      best = SampledFit{box, static_cast<double>(agree) / static_cast<double>(n)};
    }
  }
  return best;
}

// A dark region's area against its box's inscribed ellipse, at the least: below 0.8 it is a
// black only where most of its outline is one ellipse (dark shots astride the edge widen
// the box).
constexpr double kLeastBulgedFill = 0.65;

// A round dark region of the working copy: its centre and the diameter of a disc of its area,
// in working pixels.
struct RoundRegion {
  double x = 0, y = 0, diameter = 0;
  cv::RotatedRect ellipse;  // fitted to its outline
};

// Every dark region's outer outline that is round and mostly dark inside, largest first.
std::vector<RoundRegion> RoundDarkRegions(const cv::Mat& mask, double smallest) {
  std::vector<std::vector<cv::Point>> contours;
  std::vector<cv::Vec4i> hierarchy;
  // Two levels: outlines of dark regions (also those inside a light hole of another, as a
  // card on a dark lid) and their holes.
  cv::findContours(mask, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_NONE);
  std::vector<RoundRegion> regions;
  for (std::size_t i = 0; i < contours.size(); ++i) {
    if (hierarchy[i][3] != -1) continue;  // a hole's outline
    const double area = cv::contourArea(contours[i]);
    if (area < std::numbers::pi * smallest * smallest / 4) continue;
    const cv::Rect box = cv::boundingRect(contours[i]);
    const double w = box.width, h = box.height;
    // Loose, as for the black in FindAim: shots astride the edge bite it or bulge it.
    const double fill = area / (std::numbers::pi * w * h / 4);
    if (fill < kLeastBulgedFill || fill > 1.2) continue;
    // The ellipse most of the outline agrees with: shots astride the edge bulge it.
    std::optional<SampledFit> sampled;
    const bool stretched = w / h < 0.8 || w / h > 1.25;
    if (stretched) {
      // Dark shots bulging one side of a black seen at an angle can stretch its box past
      // these bounds (0.79 on a generated A-17 bull at 20 degrees); the ellipse most of its
      // outline agrees with still says round.
      sampled = SampledEllipse(contours[i], 1.5);
      if (!sampled || sampled->share < 0.4) continue;
      const cv::Size2f axes = sampled->box.size;
      if (std::min(axes.width, axes.height) < 0.8 * std::max(axes.width, axes.height)) continue;
    }
    cv::Mat inside = cv::Mat::zeros(box.size(), CV_8U);
    cv::drawContours(inside, contours, static_cast<int>(i), 255, cv::FILLED, cv::LINE_8,
                     cv::noArray(), 0, -box.tl());
    const double all = cv::countNonZero(inside);
    cv::Mat dark;
    cv::bitwise_and(inside, mask(box), dark);
    // The white rings and shots of a black leave most of it dark; a ring line drawn as a
    // circle on paper does not.
    if (all <= 0 || cv::countNonZero(dark) < 0.6 * all) continue;
    const cv::Moments m = cv::moments(contours[i]);
    if (m.m00 <= 0) continue;
    if (!stretched) sampled = SampledEllipse(contours[i], 1.5);
    if (fill < 0.8) {
      // Bulges widen the box more than they add area: such a region is a black when two
      // fifths of its outline or more are one ellipse (a dozen dark shots about a small
      // black leave about that), and its area that ellipse's, give or take the shots'.
      if (!sampled || sampled->share < 0.4) continue;
      const double ellipseArea =
          std::numbers::pi * sampled->box.size.width * sampled->box.size.height / 4;
      if (area < 0.85 * ellipseArea || area > 1.3 * ellipseArea) continue;
    }
    cv::RotatedRect ellipse;
    if (sampled)
      ellipse = sampled->box;
    else if (contours[i].size() >= 5)
      ellipse = cv::fitEllipse(contours[i]);
    regions.push_back(
        {m.m10 / m.m00, m.m01 / m.m00, 2 * std::sqrt(area / std::numbers::pi), ellipse});
  }
  std::sort(regions.begin(), regions.end(),
            [](const RoundRegion& a, const RoundRegion& b) { return a.diameter > b.diameter; });
  return regions;
}

// The share of [r - half, r + half] that lies in [low, high].
double Share(double r, double half, double low, double high) {
  return std::max(0.0, std::min(r + half, high) - std::max(r - half, low)) / (2 * half);
}

// The printed ink of the face (0 paper .. 1 ink) averaged over the radii r +- half, in mm:
// the black, ring lines dark on paper and white in the black, a ring under a millimetre
// across a white dot.
double PrintedInk(const score::Face& face, double r, double half) {
  const double black = face.blackDiameterMm / 2;
  const double inBlack = Share(r, half, -1, black);
  double lines = 0;
  for (int ring = face.lowestRing; ring <= 10; ++ring) {
    const double radius = face.RingDiameterMm(ring) / 2;
    if (std::abs(radius - black) < face.ringLineMm) continue;
    if (2 * radius < 1) {
      lines += Share(r, half, -radius, radius);
    } else {
      lines += Share(r, half, radius - face.ringLineMm / 2, radius + face.ringLineMm / 2);
    }
  }
  lines = std::min(lines, 1.0);
  return std::clamp(inBlack + lines * (1 - 2 * inBlack), 0.0, 1.0);
}

// How well the face's print at its scale matches the picture around the black: the
// correlation of the median grey profile along the radius with the face's ink, inside the
// black and outside it each taken from its own mean, so that the black itself, which every
// face has, counts for nothing and the rings decide.
double RingMatch(const cv::Mat& profile, double step, const score::Face& face, double pxPerMm) {
  const double black = face.blackDiameterMm / 2;
  std::vector<double> measured[2], printed[2];
  for (int k = 0; k < profile.cols; ++k) {
    const double r = (k + 0.5) * step / pxPerMm;
    if (std::abs(r / black - 1) < 0.03) continue;  // the black's edge
    const int side = r < black ? 0 : 1;
    measured[side].push_back(-profile.at<float>(0, k));
    printed[side].push_back(PrintedInk(face, r, 0.5 * step / pxPerMm));
  }
  double ab = 0, aa = 0, bb = 0;
  for (int side = 0; side < 2; ++side) {
    const auto n = static_cast<double>(measured[side].size());
    if (n == 0) continue;
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < measured[side].size(); ++i) {
      ma += measured[side][i];
      mb += printed[side][i];
    }
    ma /= n;
    mb /= n;
    for (std::size_t i = 0; i < measured[side].size(); ++i) {
      const double a = measured[side][i] - ma, b = printed[side][i] - mb;
      ab += a * b;
      aa += a * a;
      bb += b * b;
    }
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1;
}

// The picture's grey along the radius from `centre` out to `reach` pixels, one sample a
// pixel (or fewer for a large reach): the median over 360 directions, as one row.
cv::Mat RadialProfile(const PictureView& picture, Point centre, double reach, double* step) {
  const int samples = std::clamp(static_cast<int>(std::ceil(reach)), 16, 2048);
  *step = reach / samples;
  cv::Mat polar;
  cv::warpPolar(MatOf(picture), polar, cv::Size(samples, 360),
                cv::Point2f(static_cast<float>(centre.x), static_cast<float>(centre.y)), reach,
                static_cast<int>(cv::INTER_LINEAR) | static_cast<int>(cv::WARP_POLAR_LINEAR) |
                    static_cast<int>(cv::WARP_FILL_OUTLIERS));
  cv::Mat grey, values, sorted;
  cv::cvtColor(polar, grey, cv::COLOR_BGRA2GRAY);
  grey.convertTo(values, CV_32F);
  cv::sort(values, sorted, cv::SORT_EVERY_COLUMN | cv::SORT_ASCENDING);
  return sorted.row(180).clone();
}

// A black whose outline's axes differ more than kFlattest allows: seen at an angle.
bool Flat(const RoundRegion& region) {
  const cv::Size2f axes = region.ellipse.size;
  return axes.width > 0 && axes.height > 0 &&
         std::min(axes.width, axes.height) / std::max(axes.width, axes.height) < kFlattest;
}

// The region's outline ellipse in picture pixels (working pixels `factor` wide, their centres
// `offset` in), where the ellipse fit of the edge starts.
cv::RotatedRect EllipseStart(const RoundRegion& region, int factor, double offset) {
  const cv::Size2f axes = region.ellipse.size;
  return cv::RotatedRect(
      cv::Point2f(
          static_cast<float>(region.ellipse.center.x * static_cast<double>(factor) + offset),
          static_cast<float>(region.ellipse.center.y * static_cast<double>(factor) + offset)),
      cv::Size2f((axes.width + 1) * static_cast<float>(factor),
                 (axes.height + 1) * static_cast<float>(factor)),
      region.ellipse.angle);
}

// The picture around a black seen at an angle, stretched along its shorter axis until the
// black is round again: a square of 2 reach + 1 pixels, the black's centre at (reach, reach),
// what lies outside the picture black.
cv::Mat RoundAgain(const PictureView& picture, const AimFit& black, double reach) {
  // Back from the round picture to the photograph: shrink along the shorter axis.
  const double vx = -std::sin(black.axisRadians), vy = std::cos(black.axisRadians);
  const double k = black.minorPx / black.radiusPx - 1;
  const double a = 1 + k * vx * vx, b = k * vx * vy, d = 1 + k * vy * vy;
  const cv::Matx23d back(a, b, black.centre.x - (a + b) * reach, b, d,
                         black.centre.y - (b + d) * reach);
  const int side = 2 * static_cast<int>(std::ceil(reach)) + 1;
  cv::Mat round;
  cv::warpAffine(MatOf(picture), round, back, cv::Size(side, side),
                 static_cast<int>(cv::INTER_LINEAR) | static_cast<int>(cv::WARP_INVERSE_MAP),
                 cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0, 255));
  return round;
}

// The largest radius about `centre` at which three quarters of the circle lie in the picture,
// from the black's radius `blackPx` up to 2.7 times it (as far as any face's rings reach).
double ShownRadius(const PictureView& picture, Point centre, double blackPx) {
  const auto inside = [&](double r) {
    int count = 0;
    for (int a = 0; a < 360; ++a) {
      const double x = centre.x + r * std::cos(a * std::numbers::pi / 180);
      const double y = centre.y + r * std::sin(a * std::numbers::pi / 180);
      if (x >= 0 && y >= 0 && x <= picture.width - 1 && y <= picture.height - 1) ++count;
    }
    return count;
  };
  double shown = blackPx;
  for (double r = blackPx; r <= 2.7 * blackPx && inside(r) >= 270; r += 0.01 * blackPx) shown = r;
  return shown;
}

// Bulls in reading order: rows top to bottom (a bull starts a new row when it lies more than
// half a black below the row's first), left to right within a row.
void ReadingOrder(std::vector<AimFit>& bulls) {
  if (bulls.empty()) return;
  std::sort(bulls.begin(), bulls.end(),
            [](const AimFit& a, const AimFit& b) { return a.centre.y < b.centre.y; });
  std::size_t first = 0;
  for (std::size_t i = 1; i <= bulls.size(); ++i) {
    if (i == bulls.size() || bulls[i].centre.y - bulls[first].centre.y > bulls[first].radiusPx) {
      std::sort(bulls.begin() + static_cast<std::ptrdiff_t>(first),
                bulls.begin() + static_cast<std::ptrdiff_t>(i),
                [](const AimFit& a, const AimFit& b) { return a.centre.x < b.centre.x; });
      first = i;
    }
  }
}

std::string Dpi(double pxPerMm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", pxPerMm * 25.4);
  return text;
}

}  // namespace

std::optional<FaceFound> FindFaces(const PictureView& picture,
                                   std::span<const score::Face* const> faces, double pxPerMm,
                                   std::string* reason, const FaceChoice& choice) {
  const auto fail = [&](std::string why) -> std::optional<FaceFound> {
    if (reason) *reason = std::move(why);
    return std::nullopt;
  };
  if (!picture.pixels || picture.width <= 0 || picture.height <= 0 ||
      picture.width > kMaxPictureSide || picture.height > kMaxPictureSide ||
      picture.stride < picture.width || faces.empty()) {
    return fail("no picture to find the face on");
  }
  const int factor =
      std::max(1, (std::max(picture.width, picture.height) + kFaceWorkSide - 1) / kFaceWorkSide);
  const cv::Mat grey = Reduce(picture, factor);
  cv::Mat mask = DarkMask(grey, 0.6 * std::min(grey.cols, grey.rows));
  // Small gaps closed, then ring lines and the strokes of ring figures opened away: a figure
  // printed between the black and the next ring would join them into one round region.
  cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, Disc(1));
  cv::morphologyEx(mask, mask, cv::MORPH_OPEN, Disc(2));
  const std::vector<RoundRegion> regions = RoundDarkRegions(mask, 12);
  const std::string which =
      faces.size() == 1 ? "the black of " + std::string(faces[0]->title) : "a face's black";
  if (regions.empty()) return fail("no round black found to measure " + which + " on");

  // The blacks: the largest round region (or with a known scale, the one nearest the face's
  // black) and every other of its size that does not overlap one taken before.
  double size = regions.front().diameter;
  if (pxPerMm > 0) {
    const double wanted = faces[0]->blackDiameterMm * pxPerMm / factor;
    double nearest = std::numeric_limits<double>::infinity();
    for (const RoundRegion& region : regions) {
      if (std::abs(std::log(region.diameter / wanted)) < nearest) {
        nearest = std::abs(std::log(region.diameter / wanted));
        size = region.diameter;
      }
    }
    if (nearest > 0.15) return fail("no round black of the size of " + which + " found");
  }
  std::vector<RoundRegion> blacks;
  for (const RoundRegion& region : regions) {
    if (std::abs(region.diameter / size - 1) > kSameBullTolerance) continue;
    const bool overlaps = std::any_of(blacks.begin(), blacks.end(), [&](const RoundRegion& b) {
      return std::hypot(b.x - region.x, b.y - region.y) < 0.5 * (b.diameter + region.diameter);
    });
    if (!overlaps) blacks.push_back(region);
  }
  // Working pixel (i, j) is centred on picture point (i f + (f - 1) / 2, j f + (f - 1) / 2),
  // and a region's outline runs half a working pixel inside its edge.
  const double offset = (factor - 1) / 2.0;
  const auto startOf = [&](const RoundRegion& region) {
    return Point{region.x * factor + offset, region.y * factor + offset};
  };
  const double radiusPx = (size / 2 + 0.5) * factor;

  // The face: the one given, or the one whose rings match best around the largest black.
  FaceFound found;
  std::string why;
  if (faces.size() == 1) {
    found.face = faces[0];
  } else {
    // The best face whose rings the picture shows out to its lowest scoring ring, and the
    // best of all (to name when none is shown in full): a face is told by its rings, and a
    // picture that ends inside them cannot tell it.
    double best = -2, second = -2, bestCut = -2;
    const score::Face* cut = nullptr;
    double step = 1, shown = 0;
    cv::Mat profile;
    // A black seen at an angle (a photograph) is measured as an ellipse, once for every face,
    // and the picture around it stretched back to round before the rings are compared.
    std::optional<AimFit> tilted;
    if (pxPerMm <= 0 && Flat(blacks.front()))
      tilted = FitEllipseEdge(picture, EllipseStart(blacks.front(), factor, offset), factor);
    // One that lies square after all is measured as a circle, from the circle found.
    Point start = startOf(blacks.front());
    double startRadius = radiusPx;
    if (tilted) {
      if (const std::optional<Circle> square = LiesSquare(picture, *tilted)) {
        tilted.reset();
        start = {square->x, square->y};
        startRadius = square->r;
      }
    }
    for (const score::Face* face : faces) {
      const double scale = startRadius / (face->blackDiameterMm / 2);
      if (ResolutionProblem(scale * 25.4)) continue;
      std::string failure;
      const auto fit = tilted ? tilted
                              : FitEdge(picture, *face, scale, start, startRadius, factor, &failure,
                                        /*scaleGuessed=*/true);
      if (!fit) {
        if (why.empty()) why = failure;
        continue;
      }
      if (ResolutionProblem(fit->radiusPx / (face->blackDiameterMm / 2) * 25.4)) continue;
      if (profile.empty()) {
        const Point centre{fit->centre.x, fit->centre.y};
        shown = ShownRadius(picture, centre, fit->radiusPx);
        const double border = std::min(
            {centre.x, centre.y, picture.width - 1 - centre.x, picture.height - 1 - centre.y});
        // As far as the widest face's rings reach, but not beyond the picture.
        const double reach = std::max(1.1 * fit->radiusPx, std::min(2.7 * fit->radiusPx, border));
        if (tilted && tilted->minorPx > 0) {
          const cv::Mat round = RoundAgain(picture, *tilted, reach);
          const PictureView view{round.cols, round.rows, static_cast<int>(round.step1() / 4),
                                 reinterpret_cast<const std::uint32_t*>(round.data)};
          profile = RadialProfile(view, Point{reach, reach}, reach, &step);
        } else {
          profile = RadialProfile(picture, centre, reach, &step);
        }
      }
      const double faceScale = fit->radiusPx / (face->blackDiameterMm / 2);
      const double match = RingMatch(profile, step, *face, faceScale);
      if (face->OuterDiameterMm() / 2 * faceScale > shown) {
        if (match > bestCut) {
          bestCut = match;
          cut = face;
        }
      } else if (match > best) {
        second = best;
        best = match;
        found.face = face;
      } else if (match > second) {
        second = match;
      }
    }
    if (found.face == nullptr && cut != nullptr) {
      char text[320];
      std::snprintf(text, sizeof text,
                    "no known face's rings match the picture well enough: the best, %s, "
                    "matches %.3f, but the picture ends inside its rings",
                    std::string(cut->title).c_str(), bestCut);
      return fail(text);
    }
    if (found.face == nullptr) {
      return fail("the round black found (" + Millimetres(2 * radiusPx) +
                  " pixels across) is the black of no known face at a resolution between " +
                  Dpi(kMinDpi / 25.4) + " and " + Dpi(kMaxDpi / 25.4) + " ppi" +
                  (why.empty() ? "" : " (" + why + ")"));
    }
    if (best < choice.leastMatch || best - second < choice.leastMargin) {
      char text[320];
      std::snprintf(text, sizeof text,
                    "no known face's rings match the picture well enough: the best, %s, "
                    "matches %.3f (%.2f needed), the next %.3f",
                    std::string(found.face->title).c_str(), best, choice.leastMatch,
                    std::max(second, -1.0));
      return fail(text);
    }
    found.match = best;
    found.runnerUpMatch = std::max(second, -1.0);
  }

  const score::Face& face = *found.face;
  const double scale = pxPerMm > 0 ? pxPerMm : radiusPx / (face.blackDiameterMm / 2);
  if (auto problem = ResolutionProblem(scale * 25.4)) {
    return fail("the round black found would make the resolution " + Dpi(scale) + " ppi for " +
                std::string(face.title) + ": " + *problem);
  }
  double sum = 0;
  for (const RoundRegion& region : blacks) {
    double expected = (region.diameter / 2 + 0.5) * factor;
    Point start = startOf(region);
    std::string failure;
    if (Flat(region)) {
      // Seen at an angle: the black is an ellipse, and its longer axis the face's scale (or
      // with the scale known, the face's black all the same). One that lies square after all,
      // or whose ellipse the shots astride it break, is measured as a circle.
      const auto fit = FitEllipseEdge(picture, EllipseStart(region, factor, offset), factor);
      const std::optional<Circle> square =
          fit ? LiesSquare(picture, *fit) : std::optional<Circle>{};
      if (fit && !square) {
        found.bulls.push_back(*fit);
        sum += fit->radiusPx;
        continue;
      }
      if (square) {
        start = {square->x, square->y};
        expected = square->r;
      } else {
        failure = "the edge of the black, seen at an angle, is too broken to measure";
      }
    }
    std::string circleFailure;
    const auto fit =
        FitEdge(picture, face, pxPerMm > 0 ? pxPerMm : expected / (face.blackDiameterMm / 2), start,
                expected, factor, &circleFailure, /*scaleGuessed=*/pxPerMm <= 0);
    if (!fit) {
      if (why.empty()) why = failure.empty() ? circleFailure : failure;
      continue;
    }
    found.bulls.push_back(*fit);
    sum += fit->radiusPx;
  }
  if (found.bulls.empty())
    return fail(why.empty() ? "no black of " + std::string(face.title) + " measured" : why);
  found.pxPerMm = pxPerMm > 0
                      ? pxPerMm
                      : sum / static_cast<double>(found.bulls.size()) / (face.blackDiameterMm / 2);
  ReadingOrder(found.bulls);
  return found;
}

}  // namespace holescan::shots
