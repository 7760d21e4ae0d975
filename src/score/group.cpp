#include "score/group.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <vector>

namespace holescan::score {

namespace {

double Cross(const PointMm& o, const PointMm& a, const PointMm& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// The convex hull (monotone chain): the two shots farthest apart are both on it, and a real
// group's hull has a handful of points however many shots there are.
std::vector<PointMm> Hull(std::span<const PointMm> shots) {
  std::vector<PointMm> points(shots.begin(), shots.end());
  std::sort(points.begin(), points.end(), [](const PointMm& a, const PointMm& b) {
    return a.x < b.x || (a.x == b.x && a.y < b.y);
  });
  if (points.size() < 3) return points;
  std::vector<PointMm> hull(2 * points.size());
  std::size_t k = 0;
  for (const PointMm& p : points) {
    while (k >= 2 && Cross(hull[k - 2], hull[k - 1], p) <= 0) --k;
    hull[k++] = p;
  }
  for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && Cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
    hull[k++] = points[i];
  }
  hull.resize(k - 1);
  return hull;
}

double ExtremeSpread(std::span<const PointMm> shots) {
  const std::vector<PointMm> hull = Hull(shots);
  double largest = 0;
  for (std::size_t i = 0; i < hull.size(); ++i) {
    for (std::size_t j = i + 1; j < hull.size(); ++j) {
      largest = std::max(largest, std::hypot(hull[i].x - hull[j].x, hull[i].y - hull[j].y));
    }
  }
  return largest;
}

// P(R <= r) for R the distance from the centre of N(0, diag(a, b)), a >= b >= 0, a > 0. In
// polar coordinates each ray integrates in closed form; substituting the ellipse's eccentric
// angle u for the polar one (tan t = sqrt(b / a) tan u) leaves
//   P = 1 - 1 / (2 pi) x integral over 0..2pi of exp(-r^2 / (2 (a cos^2 u + b sin^2 u))),
// smooth and periodic even for b = 0, so the trapezoid rule converges fast.
double HoytCdf(double r, double a, double b) {
  constexpr int kSteps = 256;
  double sum = 0;
  for (int i = 0; i < kSteps; ++i) {
    const double u = 2 * std::numbers::pi * (i + 0.5) / kSteps;
    const double c = std::cos(u), s = std::sin(u);
    sum += std::exp(-r * r / (2 * (a * c * c + b * s * s)));
  }
  return 1 - sum / kSteps;
}

}  // namespace

double CorrelatedNormalQuantile(double varX, double varY, double covXY, double level) {
  // The eigenvalues of the covariance: the variances along the group's principal axes.
  const double mean = (varX + varY) / 2;
  const double spread = std::hypot((varX - varY) / 2, covXY);
  const double a = std::max(mean + spread, 0.0), b = std::max(mean - spread, 0.0);
  if (a <= 0) return 0;
  // Below the circular quantile of the larger variance; bisect on the distribution function.
  double low = 0, high = 2 * std::sqrt(-2 * a * std::log1p(-level));
  while (HoytCdf(high, a, b) < level) high *= 2;
  for (int i = 0; i < 200 && high - low > 1e-15 * high; ++i) {
    const double mid = (low + high) / 2;
    (HoytCdf(mid, a, b) < level ? low : high) = mid;
  }
  return (low + high) / 2;
}

GroupStats Group(std::span<const PointMm> shots, double calibreMm) {
  GroupStats group;
  if (shots.empty()) return group;
  const double n = static_cast<double>(shots.size());
  group.count = static_cast<int>(shots.size());

  double sumX = 0, sumY = 0;
  for (const PointMm& shot : shots) {
    sumX += shot.x;
    sumY += shot.y;
  }
  group.centreX = sumX / n;
  group.centreY = sumY / n;

  std::vector<double> radii;
  radii.reserve(shots.size());
  double squaresX = 0, squaresY = 0, products = 0, sumRadii = 0;
  for (const PointMm& shot : shots) {
    const double dx = shot.x - group.centreX;
    const double dy = shot.y - group.centreY;
    squaresX += dx * dx;
    squaresY += dy * dy;
    products += dx * dy;
    radii.push_back(std::hypot(dx, dy));
    sumRadii += radii.back();
  }
  if (shots.size() > 1) {
    group.sdX = std::sqrt(squaresX / (n - 1));
    group.sdY = std::sqrt(squaresY / (n - 1));
    group.cep50 =
        CorrelatedNormalQuantile(squaresX / (n - 1), squaresY / (n - 1), products / (n - 1), 0.5);
  }
  group.meanRadius = sumRadii / n;
  group.maxRadius = *std::max_element(radii.begin(), radii.end());
  std::sort(radii.begin(), radii.end());
  const std::size_t middle = radii.size() / 2;
  group.medianRadius =
      radii.size() % 2 == 1 ? radii[middle] : (radii[middle - 1] + radii[middle]) / 2;

  group.extremeSpread = ExtremeSpread(shots);
  group.extremeSpreadEdge = group.extremeSpread + calibreMm;
  return group;
}

std::string_view DistanceUnitName(DistanceUnit unit) {
  switch (unit) {
    case DistanceUnit::Metre:
      return "m";
    case DistanceUnit::Yard:
      return "yd";
    case DistanceUnit::Foot:
      return "ft";
  }
  return "m";
}

std::optional<Distance> ParseDistance(std::string_view text, std::string* reason) {
  const auto fail = [&](std::string why) -> std::optional<Distance> {
    if (reason) *reason = std::move(why);
    return std::nullopt;
  };
  const std::string accepted = "; give a number and m, yd or ft, e.g. 10m, 25yd, 50ft";
  Distance distance;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, distance.value);
  if (error != std::errc() || end == first) {
    return fail("distance \"" + std::string(text) + "\" does not start with a number" + accepted);
  }
  std::string_view unit(end, static_cast<std::size_t>(last - end));
  if (!unit.empty() && unit.front() == ' ') unit.remove_prefix(1);
  double metresPerUnit = 1;
  if (unit == "m") {
    distance.unit = DistanceUnit::Metre;
  } else if (unit == "yd") {
    distance.unit = DistanceUnit::Yard;
    metresPerUnit = 0.9144;
  } else if (unit == "ft") {
    distance.unit = DistanceUnit::Foot;
    metresPerUnit = 0.3048;
  } else {
    return fail("distance \"" + std::string(text) + "\" has no known unit" + accepted);
  }
  if (!std::isfinite(distance.value) || distance.value <= 0) {
    return fail("distance must be more than 0");
  }
  distance.metres = distance.value * metresPerUnit;
  if (distance.metres > kMaxDistanceMetres) return fail("distance must be at most 5000 m");
  return distance;
}

double Mrad(double sizeMm, const Distance& distance) {
  return 2 * std::atan(sizeMm / 1000 / (2 * distance.metres)) * 1000;
}

double Moa(double sizeMm, const Distance& distance) {
  return 2 * std::atan(sizeMm / 1000 / (2 * distance.metres)) * 180 / std::numbers::pi * 60;
}

GroupStats GroupAngles(const GroupStats& group, const Distance& distance,
                       double (*angle)(double, const Distance&)) {
  GroupStats angles;
  angles.count = group.count;
  angles.centreX = angle(group.centreX, distance);
  angles.centreY = angle(group.centreY, distance);
  angles.extremeSpread = angle(group.extremeSpread, distance);
  angles.extremeSpreadEdge = angle(group.extremeSpreadEdge, distance);
  angles.meanRadius = angle(group.meanRadius, distance);
  angles.sdX = angle(group.sdX, distance);
  angles.sdY = angle(group.sdY, distance);
  angles.cep50 = angle(group.cep50, distance);
  angles.medianRadius = angle(group.medianRadius, distance);
  angles.maxRadius = angle(group.maxRadius, distance);
  return angles;
}

}  // namespace holescan::score
