// groupgen.cpp - MakeGroupScan (groupgen.h).
#include "groupgen.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "splitmix.h"

namespace holescan::scangen {
namespace {

constexpr double kPi = std::numbers::pi;

struct Torn {
  Point centre;
  double radius = 0;
  double amplitude[4]{};  // the edge's wander, in radii, at 5, 7, 11 and 15 waves a turn
  double phase[4]{};
};

double EdgeRadius(const Torn& t, double angle) {
  static constexpr double kWaves[4] = {5, 7, 11, 15};
  double r = 1;
  for (int k = 0; k < 4; ++k) r += t.amplitude[k] * std::sin(kWaves[k] * angle + t.phase[k]);
  return t.radius * r;
}

}  // namespace

double VisibleRim(const std::vector<Point>& centres, std::size_t i, double r) {
  constexpr int kSteps = 360;
  int visible = 0;
  for (int s = 0; s < kSteps; ++s) {
    const double a = 2 * kPi * s / kSteps;
    const Point p{centres[i].x + r * std::cos(a), centres[i].y + r * std::sin(a)};
    bool covered = false;
    for (std::size_t j = 0; j < centres.size() && !covered; ++j)
      covered = j != i && std::hypot(p.x - centres[j].x, p.y - centres[j].y) < r;
    visible += covered ? 0 : 1;
  }
  return static_cast<double>(visible) / kSteps;
}

GroupScan MakeGroupScan(const GroupOptions& o) {
  if (o.shots < 1 || o.shots > 15) throw std::invalid_argument("a group holds 1 to 15 shots");
  if (!(o.minRim >= 0 && o.minRim <= 0.9))
    throw std::invalid_argument("the rim kept must lie between 0 and 0.9");
  const double d = o.calibreMm * o.dpi / 25.4;
  const int side = static_cast<int>(std::lround(o.sideMm * o.dpi / 25.4));
  if (d < 6) throw std::invalid_argument("a hole must be at least 6 pixels across");
  if (side < 32 || side > kMaxPictureSide || o.sideMm < 6 * o.calibreMm)
    throw std::invalid_argument("the picture must be 32 pixels and six calibres on a side");
  SplitMix random(o.seed * 0xA24BAED4963EE407ull + 0x51);
  const double r = d / 2;
  const Point middle{(side - 1) / 2.0 + random.Uniform(-0.5, 0.5) * d,
                     (side - 1) / 2.0 + random.Uniform(-0.5, 0.5) * d};

  // The centres: each a step from one already there, all within the group's reach, none
  // hiding too much of another's rim.
  const double reach = 0.45 * d * std::sqrt(static_cast<double>(o.shots));
  std::vector<Point> centres;
  for (int restart = 0; restart < 50 && static_cast<int>(centres.size()) < o.shots; ++restart) {
    centres.assign(1, middle);
    for (int attempt = 0; attempt < 4000 && static_cast<int>(centres.size()) < o.shots; ++attempt) {
      const Point& from =
          centres[static_cast<std::size_t>(random.IntIn(0, static_cast<int>(centres.size()) - 1))];
      const double a = random.Uniform(0, 2 * kPi);
      const double step = d * random.Uniform(0.35, 0.9);
      const Point p{from.x + step * std::cos(a), from.y + step * std::sin(a)};
      if (std::hypot(p.x - middle.x, p.y - middle.y) > reach) continue;
      bool apart = true;
      for (const Point& c : centres) apart = apart && std::hypot(c.x - p.x, c.y - p.y) >= 0.35 * d;
      if (!apart) continue;
      centres.push_back(p);
      bool rims = true;
      for (std::size_t i = 0; i < centres.size() && rims; ++i)
        rims = VisibleRim(centres, i, r) >= o.minRim;
      if (!rims) centres.pop_back();
    }
  }
  if (static_cast<int>(centres.size()) < o.shots)
    throw std::runtime_error("groupgen: the shots cannot keep that much of their rims");

  std::vector<Torn> holes;
  for (const Point& c : centres) {
    Torn t;
    t.centre = c;
    t.radius = r * random.Uniform(0.97, 1.02);
    for (int k = 0; k < 4; ++k) {
      t.amplitude[k] = random.Uniform(0, 0.015);
      t.phase[k] = random.Uniform(0, 2 * kPi);
    }
    holes.push_back(t);
  }

  // Paper or print, holes, then the scanner.
  const Colour paper = o.light ? Grey(random.Uniform(12, 40))
                               : Colour{random.Uniform(225, 250), random.Uniform(225, 250),
                                        random.Uniform(215, 245)};
  const Colour ink = o.light ? Grey(random.Uniform(215, 240)) : Grey(random.Uniform(20, 60));
  const Colour backing = o.light ? Grey(random.Uniform(220, 252)) : Grey(random.Uniform(8, 45));
  const Colour rim = o.light ? Grey(random.Uniform(90, 150)) : Grey(random.Uniform(150, 200));
  const double rimWidth = d * random.Uniform(0.03, 0.08);
  const Point ringCentre{middle.x + random.Uniform(-3, 3) * d,
                         middle.y + random.Uniform(-3, 3) * d};
  const double ringStep = d * random.Uniform(1.5, 3);
  const double ringWidth = std::max(1.0, d * random.Uniform(0.04, 0.12));
  const bool rings = o.rings && random.Unit() < 0.7;
  const double rampX = random.Uniform(-15, 15) / side, rampY = random.Uniform(-15, 15) / side;
  const int blocksAcross = (side + 7) / 8;
  std::vector<double> block(static_cast<std::size_t>(blocksAcross) * blocksAcross);
  for (double& b : block) b = random.Uniform(-3, 3);

  GroupScan scan;
  scan.holeDiameterPx = d;
  scan.picture = Picture(side, side, 0);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const Point p{static_cast<double>(x), static_cast<double>(y)};
      Colour c = paper;
      if (rings) {
        const double along = std::hypot(p.x - ringCentre.x, p.y - ringCentre.y) / ringStep;
        const double off = std::abs(along - std::round(along)) * ringStep;
        c = Mix(c, ink, Coverage(ringWidth / 2 - off));
      }
      // Inside the torn area by how much: the deepest of the holes at this point.
      double inside = -1e9;
      for (const Torn& t : holes) {
        const double dx = p.x - t.centre.x, dy = p.y - t.centre.y;
        if (std::abs(dx) > 1.2 * t.radius + 2 || std::abs(dy) > 1.2 * t.radius + 2) continue;
        inside = std::max(inside, EdgeRadius(t, std::atan2(dy, dx)) - std::hypot(dx, dy));
      }
      if (inside > -1) {
        const Colour hole = Mix(backing, rim, 0.6 * Coverage(rimWidth - inside));
        c = Mix(c, hole, Coverage(inside));
      }
      const double shade = rampX * x + rampY * y + random.Uniform(-6, 6) +
                           block[static_cast<std::size_t>(y / 8) * blocksAcross + x / 8];
      scan.picture.Set(x, y, Pack({c.r + shade, c.g + shade, c.b + shade}));
    }
  }
  for (const Point& c : centres)
    scan.holes.push_back({c.x, c.y, r, o.light ? "group-light" : "group-dark"});
  return scan;
}

}  // namespace holescan::scangen
