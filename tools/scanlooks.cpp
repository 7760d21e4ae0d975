// scanlooks.cpp - MakeLookScan: targets with the looks of real pictures (scangen.h).
//
// A scene is drawn in layers on a canvas of doubles: paper; backgrounds a hole may lie on
// (tape, dark print, the black of an aiming mark, dark ring bands, grey print); the holes'
// places, each chosen for its look; print at hole size kept clear of the holes (letters,
// digits, logos, dots, ring numbers) and pasters over old holes; the holes; pen circles; then
// either a scanner's finish (a light ramp and noise) or a photograph (perspective, uneven
// light, vignetting, a shadow, blur, noise and JPEG). Lengths are in D, the hole's diameter
// in pixels, so one seed looks alike at any resolution.
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>

#include "scan_paint.h"
#include "scangen.h"
#include "splitmix.h"

namespace holescan::scangen {
namespace {

constexpr double kPi = std::numbers::pi;

class Random : public SplitMix {
 public:
  explicit Random(std::uint64_t seed) : SplitMix(seed * 0x9E6C63D0676A9A99ull + 7) {}
  bool Chance(double p) { return Unit() < p; }
};

double Luma(Colour c) {
  return (c.r + c.g + c.b) / 3;
}

class Canvas {
 public:
  Canvas(int width, int height, Colour fill)
      : w(width), h(height), px(static_cast<std::size_t>(width) * height, fill) {}
  Colour& At(int x, int y) { return px[static_cast<std::size_t>(y) * w + x]; }
  Colour Get(double x, double y) const {
    const int xi = std::clamp(static_cast<int>(std::lround(x)), 0, w - 1);
    const int yi = std::clamp(static_cast<int>(std::lround(y)), 0, h - 1);
    return px[static_cast<std::size_t>(yi) * w + xi];
  }
  // Mixes `shade(p, under, cover)` into every pixel of the box by the cover it sets.
  void Paint(double left, double top, double right, double bottom,
             const std::function<Colour(Point, Colour, double&)>& shade) {
    const int x0 = std::max(0, static_cast<int>(std::floor(left)));
    const int y0 = std::max(0, static_cast<int>(std::floor(top)));
    const int x1 = std::min(w - 1, static_cast<int>(std::ceil(right)));
    const int y1 = std::min(h - 1, static_cast<int>(std::ceil(bottom)));
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        Colour& c = At(x, y);
        double cover = 0;
        const Colour top = shade({static_cast<double>(x), static_cast<double>(y)}, c, cover);
        if (cover > 0) c = Mix(c, top, std::min(cover, 1.0));
      }
    }
  }
  int w, h;
  std::vector<Colour> px;
};

// Smooth noise in -1..1 with features of about `cell` pixels: random values on a grid,
// interpolated.
class ValueNoise {
 public:
  ValueNoise(Random& random, double cell, int width, int height)
      : cell_(cell),
        nx_(static_cast<int>(width / cell) + 3),
        ny_(static_cast<int>(height / cell) + 3) {
    values_.resize(static_cast<std::size_t>(nx_) * ny_);
    for (double& v : values_) v = random.Uniform(-1, 1);
  }
  double At(Point p) const {
    const double fx = std::clamp(p.x / cell_, 0.0, nx_ - 2.001);
    const double fy = std::clamp(p.y / cell_, 0.0, ny_ - 2.001);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const double tx = fx - ix, ty = fy - iy;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    auto v = [&](int x, int y) { return values_[static_cast<std::size_t>(y) * nx_ + x]; };
    return (v(ix, iy) * (1 - sx) + v(ix + 1, iy) * sx) * (1 - sy) +
           (v(ix, iy + 1) * (1 - sx) + v(ix + 1, iy + 1) * sx) * sy;
  }

 private:
  double cell_;
  int nx_, ny_;
  std::vector<double> values_;
};

// ---- Glyphs: strokes in an em box 0.6 wide and 1 high, y down, angles in degrees from the
// right towards the bottom.
struct Stroke {
  enum Kind { Segment, Arc, Dot } kind;
  double a, b, c, d, e = 0, f = 0;  // segment x0 y0 x1 y1; arc cx cy rx ry from to; dot x y r
};

using Glyph = std::vector<Stroke>;

Stroke Seg(double x0, double y0, double x1, double y1) {
  return {Stroke::Segment, x0, y0, x1, y1};
}
Stroke Arc(double cx, double cy, double rx, double ry, double from, double to) {
  return {Stroke::Arc, cx, cy, rx, ry, from, to};
}

const std::vector<std::pair<char, Glyph>>& Glyphs() {
  static const std::vector<std::pair<char, Glyph>> glyphs{
      {'o', {Arc(0.3, 0.725, 0.24, 0.275, 0, 360)}},
      {'e', {Arc(0.3, 0.725, 0.24, 0.275, 45, 360), Seg(0.06, 0.725, 0.54, 0.725)}},
      {'a',
       {Arc(0.28, 0.8, 0.2, 0.2, 0, 360), Seg(0.5, 0.58, 0.5, 1.0),
        Arc(0.3, 0.6, 0.2, 0.15, 190, 360)}},
      {'c', {Arc(0.3, 0.725, 0.24, 0.275, 45, 315)}},
      {'d', {Arc(0.27, 0.725, 0.22, 0.275, 0, 360), Seg(0.5, 0.0, 0.5, 1.0)}},
      {'b', {Arc(0.33, 0.725, 0.22, 0.275, 0, 360), Seg(0.1, 0.0, 0.1, 1.0)}},
      {'g',
       {Arc(0.28, 0.7, 0.22, 0.25, 0, 360), Seg(0.5, 0.45, 0.5, 1.1),
        Arc(0.28, 1.1, 0.22, 0.15, 0, 150)}},
      {'p', {Arc(0.33, 0.725, 0.22, 0.275, 0, 360), Seg(0.1, 0.45, 0.1, 1.3)}},
      {'q', {Arc(0.27, 0.725, 0.22, 0.275, 0, 360), Seg(0.5, 0.45, 0.5, 1.3)}},
      {'n',
       {Seg(0.08, 0.45, 0.08, 1), Arc(0.3, 0.7, 0.22, 0.22, 180, 360), Seg(0.52, 0.7, 0.52, 1)}},
      {'u',
       {Seg(0.08, 0.45, 0.08, 0.75), Arc(0.3, 0.75, 0.22, 0.22, 0, 180), Seg(0.52, 0.45, 0.52, 1)}},
      {'s', {Arc(0.3, 0.6, 0.2, 0.14, 90, 330), Arc(0.3, 0.87, 0.22, 0.13, 270, 510)}},
      {'r', {Seg(0.1, 0.45, 0.1, 1), Arc(0.35, 0.7, 0.25, 0.25, 200, 300)}},
      {'t', {Seg(0.25, 0.15, 0.25, 1), Seg(0.05, 0.45, 0.5, 0.45)}},
      {'i', {Seg(0.3, 0.45, 0.3, 1), {Stroke::Dot, 0.3, 0.25, 0.08, 0}}},
      {'l', {Seg(0.3, 0, 0.3, 1)}},
      {'k', {Seg(0.1, 0, 0.1, 1), Seg(0.1, 0.75, 0.5, 0.45), Seg(0.25, 0.65, 0.52, 1)}},
      {'v', {Seg(0.05, 0.45, 0.3, 1), Seg(0.3, 1, 0.55, 0.45)}},
      {'x', {Seg(0.05, 0.45, 0.55, 1), Seg(0.05, 1, 0.55, 0.45)}},
      {'O', {Arc(0.3, 0.5, 0.28, 0.5, 0, 360)}},
      {'C', {Arc(0.3, 0.5, 0.28, 0.5, 45, 315)}},
      {'G', {Arc(0.3, 0.5, 0.28, 0.5, 30, 330), Seg(0.58, 0.6, 0.35, 0.6)}},
      {'Q', {Arc(0.3, 0.5, 0.28, 0.5, 0, 360), Seg(0.35, 0.75, 0.62, 1.05)}},
      {'D', {Seg(0.05, 0, 0.05, 1), Arc(0.05, 0.5, 0.5, 0.5, 270, 450)}},
      {'B',
       {Seg(0.05, 0, 0.05, 1), Arc(0.05, 0.25, 0.45, 0.25, 270, 450),
        Arc(0.05, 0.75, 0.5, 0.25, 270, 450)}},
      {'P', {Seg(0.05, 0, 0.05, 1), Arc(0.05, 0.27, 0.48, 0.27, 270, 450)}},
      {'R',
       {Seg(0.05, 0, 0.05, 1), Arc(0.05, 0.27, 0.48, 0.27, 270, 450), Seg(0.25, 0.54, 0.55, 1)}},
      {'S', {Arc(0.3, 0.26, 0.25, 0.24, 90, 330), Arc(0.3, 0.74, 0.27, 0.26, 270, 510)}},
      {'A', {Seg(0, 1, 0.3, 0), Seg(0.3, 0, 0.6, 1), Seg(0.12, 0.62, 0.48, 0.62)}},
      {'E',
       {Seg(0.05, 0, 0.05, 1), Seg(0.05, 0, 0.55, 0), Seg(0.05, 0.5, 0.45, 0.5),
        Seg(0.05, 1, 0.55, 1)}},
      {'H', {Seg(0.05, 0, 0.05, 1), Seg(0.55, 0, 0.55, 1), Seg(0.05, 0.5, 0.55, 0.5)}},
      {'T', {Seg(0, 0, 0.6, 0), Seg(0.3, 0, 0.3, 1)}},
      {'M',
       {Seg(0.02, 1, 0.02, 0), Seg(0.02, 0, 0.3, 0.6), Seg(0.3, 0.6, 0.58, 0),
        Seg(0.58, 0, 0.58, 1)}},
      {'0', {Arc(0.3, 0.5, 0.26, 0.5, 0, 360)}},
      {'1', {Seg(0.35, 0, 0.35, 1), Seg(0.35, 0, 0.15, 0.2)}},
      {'2',
       {Arc(0.3, 0.28, 0.25, 0.26, 180, 380), Seg(0.53, 0.38, 0.05, 1), Seg(0.05, 1, 0.58, 1)}},
      {'3', {Arc(0.27, 0.26, 0.25, 0.24, 200, 450), Arc(0.27, 0.74, 0.28, 0.26, 270, 520)}},
      {'4', {Seg(0.45, 0, 0.45, 1), Seg(0.45, 0, 0.02, 0.7), Seg(0.02, 0.7, 0.6, 0.7)}},
      {'5', {Seg(0.55, 0, 0.1, 0), Seg(0.1, 0, 0.07, 0.45), Arc(0.3, 0.7, 0.27, 0.3, 240, 500)}},
      {'6', {Arc(0.3, 0.7, 0.26, 0.3, 0, 360), Arc(0.55, 0.7, 0.5, 0.7, 180, 260)}},
      {'7', {Seg(0.02, 0, 0.58, 0), Seg(0.58, 0, 0.2, 1)}},
      {'8', {Arc(0.3, 0.26, 0.22, 0.24, 0, 360), Arc(0.3, 0.74, 0.26, 0.26, 0, 360)}},
      {'9', {Arc(0.3, 0.3, 0.26, 0.3, 0, 360), Arc(0.05, 0.3, 0.5, 0.7, 0, 80)}},
  };
  return glyphs;
}

const Glyph* FindGlyph(char c) {
  for (const auto& [name, glyph] : Glyphs())
    if (name == c) return &glyph;
  return nullptr;
}

// Distance in em from p to a stroke's centre line.
double StrokeDistance(const Stroke& s, Point p) {
  switch (s.kind) {
    case Stroke::Segment:
      return DistanceToSegment(p, {s.a, s.b}, {s.c, s.d});
    case Stroke::Dot:
      return std::max(0.0, std::hypot(p.x - s.a, p.y - s.b) - s.c);
    case Stroke::Arc: {
      const double dx = p.x - s.a, dy = p.y - s.b;
      const double theta = std::atan2(dy / s.d, dx / s.c) * 180 / kPi;
      const double along = std::fmod(theta - s.e + 720, 360);
      if (along <= s.f - s.e) {
        const double len = std::hypot(dx / s.c, dy / s.d);
        const double radius = len > 0 ? std::hypot(dx, dy) / len : std::min(s.c, s.d);
        return std::abs(std::hypot(dx, dy) - radius);
      }
      auto end = [&](double angle) {
        const double a = angle * kPi / 180;
        return Point{s.a + s.c * std::cos(a), s.b + s.d * std::sin(a)};
      };
      const Point e0 = end(s.e), e1 = end(s.f);
      return std::min(std::hypot(p.x - e0.x, p.y - e0.y), std::hypot(p.x - e1.x, p.y - e1.y));
    }
  }
  return 1e9;
}

bool HasLoop(char c) {
  return std::string_view("oeadbgpqOCGQDBPRS0689a").find(c) != std::string_view::npos;
}

// ---- Holes.
struct HoleSpec {
  Point centre;
  double radius = 0;          // of the punched disc
  std::string look = "dark";  // as the truth names it
  Colour inside{20, 20, 20};
  double noise = 6;
  std::vector<std::array<double, 3>> harmonics;  // edge wobble: order, amplitude, phase
  // A star: a core this share of the radius with spikes out to spikeReach radii.
  double core = 1;
  std::vector<std::array<double, 3>> spikes;  // angle, half-width (rad), reach (radii)
  std::vector<std::array<Point, 2>> cracks;   // light lines from the hole outwards
  Colour crackColour{225, 225, 220};
  double crackWidth = 1;
  double rimWidth = 0;  // a torn rim of paper fibres, in pixels, partly round the hole
  Colour rim{170, 170, 165};
  double rimPhase = 0;
  double rimBlend = 0;                // 0..1: the rim's colour mixed with what lies under it
  bool flap = false;                  // a flap of paper folded over part of the hole
  double flapAngle = 0, flapCut = 0;  // the fold: normal's angle, distance from the centre (radii)
  Colour flapColour{230, 230, 225};
};

double Edge(const HoleSpec& h, double angle) {
  double edge = h.radius * h.core;
  for (const auto& [order, amplitude, phase] : h.harmonics)
    edge += h.radius * amplitude * std::sin(order * angle + phase);
  for (const auto& [a, width, reach] : h.spikes) {
    double delta = std::abs(std::remainder(angle - a, 2 * kPi));
    if (delta < width) {
      const double t = 1 - delta / width;
      edge = std::max(edge, h.radius * (h.core + (reach - h.core) * t * t));
    }
  }
  return edge;
}

void DrawHole(Canvas& canvas, const HoleSpec& h, std::uint64_t seed) {
  double reach = h.radius * 1.3 + h.rimWidth + 2;
  for (const auto& spike : h.spikes) reach = std::max(reach, h.radius * spike[2] + 2);
  for (const auto& crack : h.cracks) {
    reach = std::max(reach, std::hypot(crack[1].x - h.centre.x, crack[1].y - h.centre.y) + 2);
  }
  const Point c = h.centre;
  canvas.Paint(
      c.x - reach, c.y - reach, c.x + reach, c.y + reach,
      [&](Point p, Colour under, double& cover) {
        const double dx = p.x - c.x, dy = p.y - c.y;
        const double r = std::hypot(dx, dy);
        const double angle = std::atan2(dy, dx);
        const double edge = Edge(h, angle);
        SplitMix pixel(static_cast<std::uint64_t>(p.y * 65536 + p.x) ^ seed);
        const double n = pixel.Uniform(-h.noise, h.noise);
        cover = Coverage(edge - r);
        Colour top{h.inside.r + n, h.inside.g + n, h.inside.b + n};
        if (h.flap) {
          const double along = dx * std::cos(h.flapAngle) + dy * std::sin(h.flapAngle);
          const double fold = along - h.flapCut * h.radius;
          if (fold > 0 && cover > 0) {
            top = fold < 1.2 ? Grey(Luma(h.flapColour) * 0.55) : h.flapColour;
          }
        }
        if (h.rimWidth > 0) {
          const double rim = Coverage(h.rimWidth / 2 - std::abs(r - edge - h.rimWidth / 2));
          const double broken = 0.5 + 0.5 * std::sin(3 * angle + h.rimPhase);
          if (rim > 0 && broken > 0.3) {
            const Colour fibre = Mix(h.rim, under, h.rimBlend);
            top = cover > 0 ? Mix(top, fibre, rim * (1 - cover)) : fibre;
            cover = std::max(cover, rim * std::min(1.0, broken * 1.5));
          }
        }
        for (const auto& crack : h.cracks) {
          const double line = Coverage(h.crackWidth / 2 - DistanceToSegment(p, crack[0], crack[1]));
          if (line > 0 && r > edge * 0.9) {
            top = cover > 0 ? Mix(top, h.crackColour, line) : h.crackColour;
            cover = std::max(cover, line);
          }
        }
        return top;
      });
}

// ---- The scene.
struct Background {
  enum Kind { Tape, DarkBlob, BlackDisc, Bands, GreyPatch } kind;
  Point centre;
  double size = 0, extra = 0, angle = 0;  // tape: width, length; blob: radius; disc: radius
  Colour colour;
  std::vector<std::array<double, 3>> shape;  // blob outline harmonics
};

struct Scene {
  double d = 0;  // hole diameter in pixels
  int w = 0, h = 0;
  Colour paper;
  Colour ink;
  std::vector<Background> backgrounds;
  std::vector<HoleSpec> holes;
  std::vector<Point> oldHoles;  // under pasters
  std::vector<NonHole> nonHoles;
  bool bandsUsed = false;
  Point bandsCentre;
  double bandStep = 0, bandWidth = 0;
  Colour bandColour;
  bool photograph = false;
};

double BlobRadius(const Background& b, double angle) {
  double r = b.size;
  for (const auto& [order, amplitude, phase] : b.shape)
    r += b.size * amplitude * std::sin(order * angle + phase);
  return r;
}

// Signed distance into a background (positive inside), pixels.
double InsideBackground(const Background& b, Point p) {
  const double dx = p.x - b.centre.x, dy = p.y - b.centre.y;
  switch (b.kind) {
    case Background::Tape: {
      const double across = -dx * std::sin(b.angle) + dy * std::cos(b.angle);
      const double along = dx * std::cos(b.angle) + dy * std::sin(b.angle);
      return std::min(b.size / 2 - std::abs(across), b.extra / 2 - std::abs(along));
    }
    case Background::DarkBlob:
    case Background::GreyPatch:
      return BlobRadius(b, std::atan2(dy, dx)) - std::hypot(dx, dy);
    case Background::BlackDisc:
      return b.size - std::hypot(dx, dy);
    case Background::Bands:
      return -1e9;
  }
  return -1e9;
}

double InsideBands(const Scene& s, Point p) {
  if (!s.bandsUsed) return -1e9;
  const double r = std::hypot(p.x - s.bandsCentre.x, p.y - s.bandsCentre.y);
  const double k = std::max(1.0, std::round(r / s.bandStep));
  return s.bandWidth / 2 - std::abs(r - k * s.bandStep);
}

struct Placer {
  Scene& scene;
  Random& random;
  std::vector<std::pair<Point, double>> taken;  // centre, radius kept free

  bool Free(Point p, double radius) const {
    for (const auto& [c, r] : taken)
      if (std::hypot(c.x - p.x, c.y - p.y) < r + radius) return false;
    return true;
  }
  bool InPage(Point p, double margin) const {
    return p.x >= margin && p.y >= margin && p.x <= scene.w - 1 - margin &&
           p.y <= scene.h - 1 - margin;
  }
  // A free place for something of `radius` where `fits` holds, or nothing.
  std::optional<Point> Find(double radius, double margin, const std::function<bool(Point)>& fits,
                            const std::function<Point()>& propose) {
    for (int attempt = 0; attempt < 3000; ++attempt) {
      const Point p = propose();
      if (InPage(p, margin) && Free(p, radius) && fits(p)) return p;
    }
    return std::nullopt;
  }
  Point Anywhere() { return {random.Uniform(0, scene.w), random.Uniform(0, scene.h)}; }
};

const char* kWords[] = {
    "Score",       "Name",   "Club",      "Date",   "Range",  "Target", "board", "Shooter",
    "Competition", "ISSF",   "Air Rifle", "Pistol", "League", "round",  "good",  "Bob",
    "open",        "Series", "Nr",        "dope",   "page",   "Deco",   "prone", "sighter",
    "Cadet",       "Coach",  "SCORE",     "BOARD",  "Sport",  "Open",   "Grade"};

void DrawText(Canvas& canvas, Scene& scene, Placer& placer, Random& random, Point origin,
              const std::string& text, double em, double stroke, Colour ink, double slant,
              bool handwritten, const char* kind) {
  double x = origin.x;
  for (char ch : text) {
    const Glyph* found = FindGlyph(ch);
    if (found == nullptr) {
      x += 0.45 * em;
      continue;
    }
    Glyph glyph = *found;
    if (handwritten) {
      for (Stroke& s : glyph) {
        s.a += random.Uniform(-0.04, 0.04);
        s.b += random.Uniform(-0.04, 0.04);
        if (s.kind == Stroke::Segment) {
          s.c += random.Uniform(-0.04, 0.04);
          s.d += random.Uniform(-0.04, 0.04);
        }
      }
    }
    const Point corner{x, origin.y};
    const Point middle{x + 0.3 * em, origin.y + 0.6 * em};
    if (placer.Free(middle, 0.75 * em) && placer.InPage(middle, 0.8 * em)) {
      canvas.Paint(corner.x - em * 0.4, corner.y - em * 0.1, corner.x + em * 1.2,
                   corner.y + em * 1.4, [&](Point p, Colour, double& cover) {
                     const double v = (p.y - corner.y) / em;
                     const Point q{(p.x - corner.x) / em - slant * (1 - v), v};
                     double best = 1e9;
                     for (const Stroke& s : glyph) best = std::min(best, StrokeDistance(s, q));
                     cover = Coverage(stroke / 2 - best * em);
                     return ink;
                   });
      if (HasLoop(ch) || (ch >= '0' && ch <= '9')) {
        const bool lower = ch >= 'a' && ch <= 'z';
        scene.nonHoles.push_back({middle.x, origin.y + (lower ? 0.72 : 0.5) * em, kind});
      }
    }
    x += 0.62 * em + stroke;
  }
}

void DrawLetters(Canvas& canvas, Scene& scene, Placer& placer, Random& random, int lines) {
  const double d = scene.d;
  for (int line = 0; line < lines; ++line) {
    const double em = d * random.Uniform(1.2, 2.4);
    const double stroke = em * random.Uniform(0.08, 0.16);
    const Colour ink = random.Chance(0.7)
                           ? Grey(random.Uniform(10, 60))
                           : (random.Chance(0.5) ? Colour{40, 60, 150} : Colour{170, 40, 40});
    Point origin{random.Uniform(0, scene.w * 0.7), random.Uniform(0, scene.h - em)};
    std::string text;
    const int words = random.IntIn(1, 4);
    for (int i = 0; i < words; ++i) {
      text += kWords[random.IntIn(0, static_cast<int>(std::size(kWords)) - 1)];
      text += ' ';
    }
    DrawText(canvas, scene, placer, random, origin, text, em, stroke, ink,
             random.Uniform(-0.05, 0.2), false, "letter");
  }
}

void DrawDigits(Canvas& canvas, Scene& scene, Placer& placer, Random& random, int numbers) {
  const double d = scene.d;
  for (int i = 0; i < numbers; ++i) {
    const bool hand = random.Chance(0.4);
    const double em = d * random.Uniform(1.0, 2.2);
    const double stroke = em * (hand ? random.Uniform(0.06, 0.1) : random.Uniform(0.09, 0.17));
    const Colour ink =
        hand ? (random.Chance(0.5) ? Colour{30, 50, 160} : Grey(30)) : Grey(random.Uniform(10, 60));
    std::string text;
    const int digits = random.IntIn(1, 3);
    for (int k = 0; k < digits; ++k) text += static_cast<char>('0' + random.IntIn(0, 9));
    DrawText(canvas, scene, placer, random, placer.Anywhere(), text, em, stroke, ink,
             hand ? random.Uniform(0.05, 0.3) : 0, hand, "digit");
  }
}

void DrawLogos(Canvas& canvas, Scene& scene, Placer& placer, Random& random, int logos) {
  const double d = scene.d;
  for (int i = 0; i < logos; ++i) {
    const double size = d * random.Uniform(0.5, 1.3);  // radius
    const auto at = placer.Find(
        size * 1.2, size, [](Point) { return true; }, [&] { return placer.Anywhere(); });
    if (!at) continue;
    const Point c = *at;
    const int kind = random.IntIn(0, 4);
    const Colour colour = random.Chance(0.5)
                              ? Grey(random.Uniform(10, 50))
                              : (random.Chance(0.5) ? Colour{160, 30, 30} : Colour{30, 60, 140});
    const double points = random.IntIn(5, 8);
    const double phase = random.Uniform(0, 2 * kPi);
    canvas.Paint(c.x - size - 2, c.y - size - 2, c.x + size + 2, c.y + size + 2,
                 [&](Point p, Colour, double& cover) {
                   const double dx = p.x - c.x, dy = p.y - c.y;
                   const double r = std::hypot(dx, dy);
                   const double a = std::atan2(dy, dx);
                   switch (kind) {
                     case 0:  // a disc with a white bar across it
                       cover = Coverage(size - r);
                       if (std::abs(dy) < size * 0.15) return Colour{245, 245, 240};
                       return colour;
                     case 1:  // a star
                       cover = Coverage(size * (0.65 + 0.35 * std::cos(points * a + phase)) - r);
                       return colour;
                     case 2:  // a ring with a dot
                       cover = std::max(Coverage(size * 0.15 - std::abs(r - size * 0.8)),
                                        Coverage(size * 0.35 - r));
                       return colour;
                     case 3:  // a rounded square with a light circle in it
                       cover = Coverage(size * 0.8 - std::max(std::abs(dx), std::abs(dy)));
                       if (std::abs(r - size * 0.45) < size * 0.1) return Colour{245, 245, 240};
                       return colour;
                     default:  // a shield
                       cover = Coverage(size * (0.9 - 0.25 * std::max(0.0, std::sin(a))) - r);
                       return colour;
                   }
                 });
    scene.nonHoles.push_back({c.x, c.y, "logo"});
    placer.taken.push_back({c, size});
  }
}

void DrawDots(Canvas& canvas, Scene& scene, Placer& placer, Random& random) {
  const double d = scene.d;
  auto dot = [&](Point c, double radius, bool square, Colour colour) {
    if (!placer.Free(c, radius + 0.1 * d) || !placer.InPage(c, radius)) return;
    canvas.Paint(
        c.x - radius - 2, c.y - radius - 2, c.x + radius + 2, c.y + radius + 2,
        [&](Point p, Colour, double& cover) {
          cover = square ? Coverage(radius - std::max(std::abs(p.x - c.x), std::abs(p.y - c.y)))
                         : Coverage(radius - std::hypot(p.x - c.x, p.y - c.y));
          return colour;
        });
    if (radius >= 0.25 * d) scene.nonHoles.push_back({c.x, c.y, "dot"});
  };
  // Dotted frames.
  const int frames = random.IntIn(1, 3);
  for (int f = 0; f < frames; ++f) {
    const double radius = d * random.Uniform(0.15, 0.4);
    const double step = radius * random.Uniform(2.5, 5);
    const bool square = random.Chance(0.5);
    const Colour colour = Grey(random.Uniform(10, 70));
    const double x0 = random.Uniform(0, scene.w * 0.5), y0 = random.Uniform(0, scene.h * 0.5);
    const double x1 = x0 + random.Uniform(0.3, 0.5) * scene.w,
                 y1 = y0 + random.Uniform(0.3, 0.5) * scene.h;
    for (double x = x0; x <= x1; x += step) {
      dot({x, y0}, radius, square, colour);
      dot({x, y1}, radius, square, colour);
    }
    for (double y = y0 + step; y < y1; y += step) {
      dot({x0, y}, radius, square, colour);
      dot({x1, y}, radius, square, colour);
    }
  }
  // Registration dots and bullets of about a calibre.
  const int single = random.IntIn(3, 7);
  for (int i = 0; i < single; ++i) {
    dot(placer.Anywhere(), 0.5 * d * random.Uniform(0.7, 1.3), random.Chance(0.2),
        Grey(random.Uniform(5, 50)));
  }
}

void DrawRings(Canvas& canvas, Scene& scene, Placer& placer, Random& random) {
  const double d = scene.d;
  const Point c{scene.w / 2.0 + random.Uniform(-0.1, 0.1) * scene.w,
                scene.h / 2.0 + random.Uniform(-0.1, 0.1) * scene.h};
  const double step = d * random.Uniform(1.3, 2.0);
  const double line = std::max(1.0, d * random.Uniform(0.04, 0.1));
  const int blackRings = random.IntIn(1, 3);
  const double black = blackRings * step;
  const Colour ink = Grey(random.Uniform(10, 40));
  const double reach = std::hypot(scene.w, scene.h);
  canvas.Paint(0, 0, scene.w, scene.h, [&](Point p, Colour, double& cover) {
    const double r = std::hypot(p.x - c.x, p.y - c.y);
    const double k = std::max(1.0, std::round(r / step));
    const double ring = Coverage(line / 2 - std::abs(r - k * step));
    if (r < black + 0.5) {
      cover = Coverage(black - r);
      return Mix(ink, scene.paper, ring);
    }
    cover = ring;
    return ink;
  });
  scene.backgrounds.push_back({Background::BlackDisc, c, black, 0, 0, ink, {}});
  // Ring numbers on the four axes, in the middle of each band.
  for (int k = 2; k * step < reach / 2; ++k) {
    const int value = std::max(1, 11 - k);
    const std::string text = std::to_string(value);
    const double em = step * random.Uniform(0.45, 0.7);
    const double stroke = em * random.Uniform(0.1, 0.15);
    const double mid = (k - 0.5) * step;
    const Colour colour = mid < black ? scene.paper : ink;
    for (int axis = 0; axis < 4; ++axis) {
      if (k % 2 == 1 && axis % 2 == 1) continue;
      const double a = axis * kPi / 2;
      const double width = 0.62 * em * static_cast<double>(text.size());
      const Point centre{c.x + mid * std::cos(a), c.y + mid * std::sin(a)};
      DrawText(canvas, scene, placer, random, {centre.x - width / 2, centre.y - em / 2}, text, em,
               stroke, colour, 0, false, "ring-number");
    }
  }
}

void DrawBackgrounds(Canvas& canvas, Scene& scene, Random& random, const ValueNoise& texture) {
  const double d = scene.d;
  for (const Background& b : scene.backgrounds) {
    const double reach =
        b.kind == Background::Tape ? std::hypot(b.size, b.extra) / 2 + 2 : b.size * 1.6 + 2;
    canvas.Paint(b.centre.x - reach, b.centre.y - reach, b.centre.x + reach, b.centre.y + reach,
                 [&](Point p, Colour, double& cover) {
                   cover = Coverage(InsideBackground(b, p));
                   const double t = texture.At(p);
                   if (b.kind == Background::Tape) {
                     const double along = (p.x - b.centre.x) * std::cos(b.angle) +
                                          (p.y - b.centre.y) * std::sin(b.angle);
                     const double weave = 4 * std::sin(along / (0.15 * d) * 2 * kPi);
                     const double v = 10 * t + weave;
                     return Colour{b.colour.r + v, b.colour.g + v, b.colour.b + v + 3};
                   }
                   const double v = (b.kind == Background::BlackDisc ? 3 : 12) * t;
                   return Colour{b.colour.r + v, b.colour.g + v, b.colour.b + v};
                 });
  }
  if (scene.bandsUsed) {
    canvas.Paint(0, 0, scene.w, scene.h, [&](Point p, Colour, double& cover) {
      cover = Coverage(InsideBands(scene, p));
      return scene.bandColour;
    });
  }
  (void)random;
}

// Perspective, light, shadow, blur, noise and JPEG: a phone's photograph of the flat target.
void Photograph(Canvas& canvas, Scene& scene, std::vector<MarkedHole>& holes, Random& random) {
  const int w = canvas.w, h = canvas.h;
  // A camera turned by up to 25 degrees about an axis in the paper's plane.
  const double tilt = random.Uniform(5, 25) * kPi / 180;
  const double axis = random.Uniform(0, kPi);
  const double f = random.Uniform(1.0, 1.6) * std::max(w, h);
  const double ux = std::cos(axis), uy = std::sin(axis);
  const double c = std::cos(tilt), s = std::sin(tilt), t = 1 - c;
  // Rodrigues' rotation about (ux, uy, 0).
  const double R[3][3] = {{c + ux * ux * t, ux * uy * t, uy * s},
                          {ux * uy * t, c + uy * uy * t, -ux * s},
                          {-uy * s, ux * s, c}};
  const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
  // The camera turned about its own centre maps the picture by the homography K R K⁻¹
  // (focal length f, principal point the picture's centre), shifted so that the paper's
  // centre stays in the middle of the photograph.
  auto rotate = [&](Point p) {
    const double X = p.x - cx, Y = p.y - cy;
    const double x = R[0][0] * X + R[0][1] * Y + R[0][2] * f;
    const double y = R[1][0] * X + R[1][1] * Y + R[1][2] * f;
    const double z = R[2][0] * X + R[2][1] * Y + R[2][2] * f;
    return Point{cx + f * x / z, cy + f * y / z};
  };
  const Point middle = rotate({cx, cy});
  auto forward = [&](Point p) {
    const Point q = rotate(p);
    return Point{q.x - middle.x + cx, q.y - middle.y + cy};
  };
  auto backward = [&](Point q) {
    const double vx = q.x + middle.x - 2 * cx, vy = q.y + middle.y - 2 * cy, vz = f;
    const double x = R[0][0] * vx + R[1][0] * vy + R[2][0] * vz;
    const double y = R[0][1] * vx + R[1][1] * vy + R[2][1] * vz;
    const double z = R[0][2] * vx + R[1][2] * vy + R[2][2] * vz;
    return Point{cx + f * x / z, cy + f * y / z};
  };
  Canvas flat = canvas;
  const Colour table{random.Uniform(50, 110), random.Uniform(40, 90), random.Uniform(30, 70)};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Point p = backward({static_cast<double>(x), static_cast<double>(y)});
      // The flat picture's content at p, bilinear; the table outside the paper.
      const double fx = std::floor(p.x), fy = std::floor(p.y);
      if (fx < 0 || fy < 0 || fx >= w - 1 || fy >= h - 1) {
        canvas.At(x, y) = table;
        continue;
      }
      const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
      const double tx = p.x - fx, ty = p.y - fy;
      const Colour a = Mix(flat.At(ix, iy), flat.At(ix + 1, iy), tx);
      const Colour b = Mix(flat.At(ix, iy + 1), flat.At(ix + 1, iy + 1), tx);
      canvas.At(x, y) = Mix(a, b, ty);
    }
  }
  // The hole's truth moves with the paper; a hole carried out of the picture is gone.
  std::vector<MarkedHole> kept;
  for (MarkedHole hole : holes) {
    const Point q = forward({hole.x, hole.y});
    if (q.x < hole.r || q.y < hole.r || q.x > w - 1 - hole.r || q.y > h - 1 - hole.r) continue;
    hole.x = q.x;
    hole.y = q.y;
    kept.push_back(hole);
  }
  holes = std::move(kept);
  for (NonHole& n : scene.nonHoles) {
    const Point q = forward({n.x, n.y});
    n.x = q.x;
    n.y = q.y;
  }

  // Uneven light, vignetting and a soft shadow across part of the picture.
  const double gradient = random.Uniform(0.1, 0.35);
  const double ga = random.Uniform(0, 2 * kPi);
  const double vignette = random.Uniform(0.1, 0.35);
  const double shadowAngle = random.Uniform(0, 2 * kPi);
  const double shadowAt = random.Uniform(0.2, 0.45) * std::min(w, h);
  const double shadowSoft = scene.d * random.Uniform(1, 4);
  const double shadowDepth = random.Chance(0.7) ? random.Uniform(0.2, 0.45) : 0;
  const double diagonal = std::hypot(cx, cy);
  const Colour cast{random.Uniform(0.92, 1.05), random.Uniform(0.95, 1.02),
                    random.Uniform(0.85, 1.02)};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double dx = x - cx, dy = y - cy;
      double light =
          1 - gradient * (0.5 + 0.5 * (dx * std::cos(ga) + dy * std::sin(ga)) / diagonal);
      light *= 1 - vignette * (dx * dx + dy * dy) / (diagonal * diagonal);
      const double beyond = dx * std::cos(shadowAngle) + dy * std::sin(shadowAngle) - shadowAt;
      light *= 1 - shadowDepth * std::clamp(0.5 + beyond / shadowSoft, 0.0, 1.0);
      Colour& p = canvas.At(x, y);
      p = {p.r * light * cast.r, p.g * light * cast.g, p.b * light * cast.b};
    }
  }
  // A slight blur: a Gaussian of 0.4 to 1.3 pixels, by rows and by columns.
  const double sigma = random.Uniform(0.4, 1.3);
  const int radius = static_cast<int>(std::ceil(3 * sigma));
  std::vector<double> kernel(static_cast<std::size_t>(2 * radius + 1));
  double sum = 0;
  for (int k = -radius; k <= radius; ++k)
    sum += kernel[static_cast<std::size_t>(k + radius)] = std::exp(-k * k / (2 * sigma * sigma));
  for (double& k : kernel) k /= sum;
  std::vector<Colour> line;
  for (int pass = 0; pass < 2; ++pass) {
    const int lines = pass == 0 ? h : w, length = pass == 0 ? w : h;
    line.resize(static_cast<std::size_t>(length));
    for (int l = 0; l < lines; ++l) {
      auto at = [&](int i) -> Colour& { return pass == 0 ? canvas.At(i, l) : canvas.At(l, i); };
      for (int i = 0; i < length; ++i) {
        Colour acc;
        for (int k = -radius; k <= radius; ++k) {
          const Colour& v = at(std::clamp(i + k, 0, length - 1));
          const double weight = kernel[static_cast<std::size_t>(k + radius)];
          acc = {acc.r + weight * v.r, acc.g + weight * v.g, acc.b + weight * v.b};
        }
        line[static_cast<std::size_t>(i)] = acc;
      }
      for (int i = 0; i < length; ++i) at(i) = line[static_cast<std::size_t>(i)];
    }
  }
}

// The canvas into a picture; a photograph also goes through JPEG at quality 60 to 95.
Picture Finish(Canvas& canvas, Random& random, bool photograph, std::uint64_t seed) {
  const int w = canvas.w, h = canvas.h;
  const double noise = photograph ? random.Uniform(3, 7) : 4;
  const double ramp = photograph ? 0 : random.Uniform(5, 25);
  const double ra = random.Uniform(0, 2 * kPi);
  SplitMix grain(seed ^ 0x5DEECE66Dull);
  Picture picture(w, h, 0);
  for (int y = 0; y < h; ++y) {
    std::uint32_t* row = picture.Row(y);
    for (int x = 0; x < w; ++x) {
      const Colour c = canvas.At(x, y);
      const double t =
          ramp * (0.5 + 0.5 * ((x - w / 2.0) * std::cos(ra) + (y - h / 2.0) * std::sin(ra)) /
                            std::hypot(w / 2.0, h / 2.0));
      const double n = grain.Uniform(-noise, noise) - t;
      row[x] = Pack({c.r + n, c.g + n, c.b + n});
    }
  }
  if (!photograph) return picture;
  const int quality = random.IntIn(60, 95);
  std::vector<unsigned char> rgb(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = picture.At(x, y);
      unsigned char* o = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
      o[0] = static_cast<unsigned char>(p >> 16);
      o[1] = static_cast<unsigned char>(p >> 8);
      o[2] = static_cast<unsigned char>(p);
    }
  }
  tjhandle compressor = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const bool compressed =
      compressor != nullptr && tjCompress2(compressor, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size,
                                           TJSAMP_420, quality, 0) == 0;
  if (compressor != nullptr) tjDestroy(compressor);
  if (!compressed) {
    tjFree(jpeg);
    throw std::runtime_error("scangen: JPEG compression failed");
  }
  tjhandle decompressor = tjInitDecompress();
  const bool decompressed =
      decompressor != nullptr &&
      tjDecompress2(decompressor, jpeg, size, rgb.data(), w, 0, h, TJPF_RGB, 0) == 0;
  if (decompressor != nullptr) tjDestroy(decompressor);
  tjFree(jpeg);
  if (!decompressed) throw std::runtime_error("scangen: JPEG decompression failed");
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const unsigned char* o = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
      picture.Set(x, y, Rgb(o[0], o[1], o[2]));
    }
  }
  return picture;
}

const char* kHoleLooks[] = {"dark",       "ragged",       "star",       "flap",
                            "tape",       "dark-on-dark", "edge-white", "edge-grey",
                            "edge-black", "outlined",     "grey"};

}  // namespace

const char* PictureLookName(PictureLook look) {
  switch (look) {
    case PictureLook::Letters:
      return "letters";
    case PictureLook::Digits:
      return "digits";
    case PictureLook::Logos:
      return "logos";
    case PictureLook::Dots:
      return "dots";
    case PictureLook::RingNumbers:
      return "ring-numbers";
    case PictureLook::RingBands:
      return "ring-bands";
    case PictureLook::Photo:
      return "photo";
    case PictureLook::Ragged:
      return "ragged";
    case PictureLook::Star:
      return "star";
    case PictureLook::Flap:
      return "flap";
    case PictureLook::Tape:
      return "tape";
    case PictureLook::Tinted:
      return "tinted";
    case PictureLook::DarkOnDark:
      return "dark-on-dark";
    case PictureLook::EdgeWhite:
      return "edge-white";
    case PictureLook::EdgeGrey:
      return "edge-grey";
    case PictureLook::EdgeBlack:
      return "edge-black";
    case PictureLook::Cluster:
      return "cluster";
    case PictureLook::Paster:
      return "paster";
    case PictureLook::Outlined:
      return "outlined";
    case PictureLook::Mixed:
      return "mixed";
  }
  return "?";
}

std::optional<PictureLook> ParsePictureLook(std::string_view name) {
  for (PictureLook look : kPictureLooks)
    if (name == PictureLookName(look)) return look;
  return std::nullopt;
}

LookScan MakeLookScan(const LookOptions& o) {
  const double perMm = o.dpi / 25.4;
  const double d = o.calibreMm * perMm;
  const double width = std::round(o.widthMm * perMm);
  const double height = std::round(o.heightMm * perMm);
  if (!(width >= 32 && height >= 32 && width <= kMaxPictureSide && height <= kMaxPictureSide)) {
    throw std::invalid_argument("scangen: picture side outside 32..32766 pixels");
  }
  if (!(d >= 6)) throw std::invalid_argument("scangen: a hole must be at least 6 pixels across");
  if (o.holes < 1) throw std::invalid_argument("scangen: at least one hole");
  Random random(o.seed ^ (static_cast<std::uint64_t>(o.look) << 40));
  Scene scene;
  scene.d = d;
  scene.w = static_cast<int>(width);
  scene.h = static_cast<int>(height);
  const double r = d / 2;

  // The paper, tinted for that look.
  constexpr std::array<Colour, 4> kPapers{
      {{250, 250, 247}, {244, 240, 228}, {240, 238, 214}, {236, 240, 236}}};
  constexpr std::array<Colour, 5> kTints{
      {{200, 175, 125}, {150, 180, 140}, {172, 172, 178}, {205, 160, 160}, {225, 205, 120}}};
  PictureLook look = o.look;
  scene.paper = look == PictureLook::Tinted ? kTints[static_cast<std::size_t>(random.IntIn(0, 4))]
                                            : kPapers[static_cast<std::size_t>(random.IntIn(0, 3))];
  scene.ink = Grey(random.Uniform(15, 45));
  Canvas canvas(scene.w, scene.h, scene.paper);
  ValueNoise texture(random, d * random.Uniform(0.5, 2), scene.w, scene.h);

  // Hole looks of every hole, and which distractors and backgrounds the picture has.
  std::vector<std::string> holeLooks;
  bool letters = false, digits = false, logos = false, dots = false, rings = false, pasters = false;
  switch (look) {
    case PictureLook::Letters:
      letters = true;
      break;
    case PictureLook::Digits:
      digits = true;
      break;
    case PictureLook::Logos:
      logos = true;
      break;
    case PictureLook::Dots:
      dots = true;
      break;
    case PictureLook::RingNumbers:
      rings = true;
      break;
    case PictureLook::Photo:
      scene.photograph = true;
      rings = random.Chance(0.6);
      letters = random.Chance(0.5);
      break;
    case PictureLook::Paster:
      pasters = true;
      break;
    case PictureLook::Mixed: {
      letters = random.Chance(0.5);
      digits = random.Chance(0.5);
      logos = random.Chance(0.4);
      dots = random.Chance(0.4);
      rings = random.Chance(0.4);
      pasters = random.Chance(0.3);
      scene.photograph = random.Chance(0.5);
      break;
    }
    default:
      break;
  }
  const std::string own = PictureLookName(look);
  const bool holeLook = look == PictureLook::Ragged || look == PictureLook::Star ||
                        look == PictureLook::Flap || look == PictureLook::Tape ||
                        look == PictureLook::Tinted || look == PictureLook::DarkOnDark ||
                        look == PictureLook::EdgeWhite || look == PictureLook::EdgeGrey ||
                        look == PictureLook::EdgeBlack || look == PictureLook::Outlined ||
                        look == PictureLook::RingBands;
  for (int i = 0; i < o.holes; ++i) {
    if (look == PictureLook::Mixed) {
      holeLooks.push_back(kHoleLooks[random.IntIn(0, static_cast<int>(std::size(kHoleLooks)) - 1)]);
    } else if (look == PictureLook::RingBands) {
      holeLooks.push_back(random.Chance(0.7) ? "ring-band" : "dark");
    } else if (look == PictureLook::Tape || look == PictureLook::DarkOnDark ||
               look == PictureLook::Star) {
      holeLooks.push_back(random.Chance(0.75) ? own : "dark");
    } else if (holeLook) {
      holeLooks.push_back(own);
    } else if (look == PictureLook::Cluster) {
      holeLooks.push_back("cluster");
    } else if (look == PictureLook::Paster) {
      holeLooks.push_back("paster");
    } else {
      holeLooks.push_back(random.Chance(0.8) ? "dark" : "grey");
    }
  }
  auto uses = [&](const char* name) {
    return std::find(holeLooks.begin(), holeLooks.end(), name) != holeLooks.end();
  };

  // Backgrounds the holes need.
  if (uses("tape")) {
    const int strips = random.IntIn(1, 2);
    for (int i = 0; i < strips; ++i) {
      scene.backgrounds.push_back(
          {Background::Tape,
           {random.Uniform(0.3, 0.7) * width, random.Uniform(0.3, 0.7) * height},
           d * random.Uniform(3, 6),
           std::hypot(width, height) * 1.2,
           random.Uniform(-0.6, 0.6) + (i ? kPi / 2 : 0),
           Grey(random.Uniform(120, 175)),
           {}});
    }
  }
  auto blob = [&](Background::Kind kind, Colour colour) {
    Background b{kind,
                 {random.Uniform(0.25, 0.75) * width, random.Uniform(0.25, 0.75) * height},
                 d * random.Uniform(3.5, 6.5),
                 0,
                 0,
                 colour,
                 {}};
    for (int k = 2; k <= 5; ++k)
      b.shape.push_back(
          {static_cast<double>(k), random.Uniform(0, 0.12), random.Uniform(0, 2 * kPi)});
    scene.backgrounds.push_back(b);
  };
  if (uses("dark-on-dark")) blob(Background::DarkBlob, Grey(random.Uniform(28, 70)));
  if (uses("dark-on-dark") && random.Chance(0.5)) blob(Background::DarkBlob, Colour{40, 45, 60});
  if (uses("star")) blob(Background::GreyPatch, Grey(random.Uniform(60, 120)));
  const bool edge = uses("edge-white") || uses("edge-grey") || uses("edge-black");
  if (edge) {
    scene.backgrounds.push_back({Background::BlackDisc,
                                 {width / 2, height / 2},
                                 d * random.Uniform(3.5, 6),
                                 0,
                                 0,
                                 Grey(random.Uniform(8, 30)),
                                 {}});
  }
  if (uses("ring-band")) {
    scene.bandsUsed = true;
    scene.bandsCentre = {random.Uniform(0.3, 0.7) * width, random.Uniform(0.3, 0.7) * height};
    scene.bandStep = d * random.Uniform(2.0, 3.5);
    scene.bandWidth = d * random.Uniform(0.8, 1.6);
    const int kind = random.IntIn(0, 2);
    scene.bandColour = kind == 0 ? Grey(random.Uniform(15, 40))
                                 : (kind == 1 ? Colour{30, 62, 38} : Colour{30, 36, 85});
  }
  DrawBackgrounds(canvas, scene, random, texture);
  Placer placer{scene, random, {}};
  if (rings) DrawRings(canvas, scene, placer, random);
  // Ring numbers were placed before the holes: keep the holes off them.
  for (const NonHole& n : scene.nonHoles) placer.taken.push_back({{n.x, n.y}, 0.6 * d});

  // The holes' places, each where its look belongs.
  // Paper around a place, not print: the middle and all but two of eight points a little
  // beyond the hole (a thin ring line may cross).
  auto light = [&](Point p) {
    int dark = 0;
    for (double a = 0; a < 2 * kPi; a += kPi / 4)
      dark += Luma(canvas.Get(p.x + 0.8 * d * std::cos(a), p.y + 0.8 * d * std::sin(a))) < 150;
    return dark <= 2 && Luma(canvas.Get(p.x, p.y)) >= 150;
  };
  auto inKind = [&](Background::Kind kind, Point p, double depth) {
    for (const Background& b : scene.backgrounds)
      if (b.kind == kind && InsideBackground(b, p) > depth) return true;
    return false;
  };
  const double margin = 1.2 * d;
  std::vector<MarkedHole> truth;
  std::size_t next = 0;
  while (next < holeLooks.size()) {
    std::string hl = holeLooks[next];
    std::function<bool(Point)> fits = light;
    std::function<Point()> propose = [&] { return placer.Anywhere(); };
    if (hl == "tape") fits = [&](Point p) { return inKind(Background::Tape, p, 0.8 * d); };
    if (hl == "dark-on-dark")
      fits = [&](Point p) { return inKind(Background::DarkBlob, p, 0.8 * d); };
    if (hl == "star")
      fits = [&](Point p) {
        return random.Chance(0.5) ? inKind(Background::GreyPatch, p, 0.8 * d) : light(p);
      };
    if (hl == "ring-band")
      fits = [&](Point p) {
        return InsideBands(scene, p) > -0.35 * d &&
               InsideBands(scene, p) < 0.3 * d + scene.bandWidth / 2;
      };
    if (hl.rfind("edge-", 0) == 0) {
      const Background& disc =
          *std::find_if(scene.backgrounds.begin(), scene.backgrounds.end(),
                        [](const Background& b) { return b.kind == Background::BlackDisc; });
      propose = [&, disc] {
        const double a = random.Uniform(0, 2 * kPi);
        const double at = disc.size + d * random.Uniform(-0.45, 0.45);
        return Point{disc.centre.x + at * std::cos(a), disc.centre.y + at * std::sin(a)};
      };
      fits = [](Point) { return true; };
    }
    int group = 1;
    if (look == PictureLook::Cluster) {
      // Two to ten shots, and never one left over for a cluster of its own.
      const int left = static_cast<int>(holeLooks.size() - next);
      group = std::min(left, random.IntIn(2, 10));
      if (left - group == 1) group = left <= 10 ? left : group - 1;
    }
    const double groupRadius = group > 1 ? 0.4 * d * std::sqrt(group) + r : r;
    auto at = placer.Find(
        groupRadius + 0.8 * d, margin + groupRadius, [&](Point p) { return fits(p); }, propose);
    if (!at && hl != "dark") {
      // No room where this look belongs: a plain hole instead.
      holeLooks[next] = "dark";
      continue;
    }
    if (!at) {
      // Crowded print: any free place on paper.
      at = placer.Find(
          groupRadius + 0.5 * d, margin + groupRadius,
          [&](Point p) { return Luma(canvas.Get(p.x, p.y)) >= 150; }, propose);
    }
    if (!at) throw std::runtime_error("scangen: the holes cannot all be placed apart");
    std::vector<Point> centres{*at};
    for (int attempt = 0; static_cast<int>(centres.size()) < group && attempt < 2000; ++attempt) {
      const Point& from =
          centres[static_cast<std::size_t>(random.IntIn(0, static_cast<int>(centres.size()) - 1))];
      const double a = random.Uniform(0, 2 * kPi);
      const double step = d * random.Uniform(0.35, 0.9);
      const Point p{from.x + step * std::cos(a), from.y + step * std::sin(a)};
      bool apart = placer.InPage(p, margin) && std::hypot(p.x - at->x, p.y - at->y) < groupRadius;
      for (const Point& c : centres) apart = apart && std::hypot(c.x - p.x, c.y - p.y) >= 0.35 * d;
      if (apart) centres.push_back(p);
    }
    placer.taken.push_back({*at, groupRadius + 0.3 * d});
    for (const Point& c : centres) {
      if (next >= holeLooks.size()) break;
      HoleSpec h;
      h.centre = c;
      h.radius = r * random.Uniform(0.95, 1.03);
      h.look = holeLooks[next];
      const std::string& l = h.look;
      const Colour under = canvas.Get(c.x, c.y);
      h.inside = Grey(random.Uniform(8, 40));
      h.noise = 5;
      for (int k = 3; k <= 7; k += 2)
        h.harmonics.push_back(
            {static_cast<double>(k), random.Uniform(0, 0.03), random.Uniform(0, 2 * kPi)});
      if (l == "grey") {
        h.inside = Grey(Luma(under) - random.Uniform(50, 110));
      } else if (l == "ragged" || l == "cluster" || l == "paster") {
        for (int k = 6; k <= 22; k += random.IntIn(1, 3))
          h.harmonics.push_back(
              {static_cast<double>(k), random.Uniform(0, 0.06), random.Uniform(0, 2 * kPi)});
        h.rimWidth = d * random.Uniform(0.03, 0.08);
        h.rim = Grey(random.Uniform(150, 200));
        h.rimBlend = 0.4;
      } else if (l == "star") {
        h.core = random.Uniform(0.6, 0.9);
        const int spikes = random.IntIn(4, 7);
        for (int k = 0; k < spikes; ++k)
          h.spikes.push_back(
              {random.Uniform(0, 2 * kPi), random.Uniform(0.12, 0.3), random.Uniform(1.0, 1.6)});
        h.inside = Grey(random.Uniform(10, 60));
        const int cracks = random.IntIn(3, 6);
        h.crackWidth = std::max(1.0, d * random.Uniform(0.04, 0.08));
        for (int k = 0; k < cracks; ++k) {
          const double a = random.Uniform(0, 2 * kPi);
          const double from = h.radius * h.core * 0.9, to = h.radius * random.Uniform(1.2, 2.2);
          h.cracks.push_back({{{c.x + from * std::cos(a), c.y + from * std::sin(a)},
                               {c.x + to * std::cos(a), c.y + to * std::sin(a)}}});
        }
        h.crackColour = Grey(random.Uniform(200, 240));
      } else if (l == "flap") {
        h.flap = true;
        h.flapAngle = random.Uniform(0, 2 * kPi);
        h.flapCut = random.Uniform(-0.2, 0.5);
        h.flapColour = Mix(under, Grey(200), random.Uniform(0.1, 0.4));
      } else if (l == "tape") {
        h.inside = Grey(random.Uniform(35, 80));
        h.noise = 8;
        for (int k = 6; k <= 16; k += 2)
          h.harmonics.push_back(
              {static_cast<double>(k), random.Uniform(0, 0.05), random.Uniform(0, 2 * kPi)});
        h.rimWidth = d * random.Uniform(0.06, 0.12);
        h.rim = Grey(random.Uniform(175, 215));
      } else if (l == "tinted") {
        h.inside = Grey(std::max(15.0, Luma(scene.paper) - random.Uniform(40, 90)));
      } else if (l == "dark-on-dark" || l == "ring-band") {
        h.inside = Grey(random.Uniform(0, 18));
        h.rimWidth = d * random.Uniform(0.04, 0.1);
        h.rim = Grey(random.Uniform(110, 190));
        h.rimPhase = random.Uniform(0, 2 * kPi);
      } else if (l.rfind("edge-", 0) == 0) {
        h.inside = l == "edge-white" ? Grey(random.Uniform(232, 250))
                                     : (l == "edge-grey" ? Grey(random.Uniform(105, 150))
                                                         : Grey(random.Uniform(8, 28)));
        h.rimWidth = std::max(1.0, d * random.Uniform(0.03, 0.06));
        h.rim = Grey(random.Uniform(140, 190));
        h.rimBlend = 0.5;
      } else if (l == "outlined") {
        if (random.Chance(0.4)) h.inside = Grey(Luma(under) - random.Uniform(35, 90));
      }
      scene.holes.push_back(h);
      truth.push_back({c.x, c.y, r, l});
      ++next;
    }
  }

  // Print at hole size, kept clear of the holes.
  const double area = width * height / (d * d);
  if (letters)
    DrawLetters(canvas, scene, placer, random, static_cast<int>(std::clamp(area / 60, 4.0, 30.0)));
  if (digits)
    DrawDigits(canvas, scene, placer, random, static_cast<int>(std::clamp(area / 25, 6.0, 60.0)));
  if (logos)
    DrawLogos(canvas, scene, placer, random, static_cast<int>(std::clamp(area / 40, 4.0, 30.0)));
  if (dots) DrawDots(canvas, scene, placer, random);
  // Pasters over old holes, and new holes through some of them.
  if (pasters) {
    const int count = std::max(3, o.holes);
    for (int i = 0; i < count; ++i) {
      const double half = d * random.Uniform(0.7, 1.0);
      const auto spot =
          placer.Find(half * 1.5, half * 1.5, light, [&] { return placer.Anywhere(); });
      if (!spot) break;
      const Point c = *spot;
      HoleSpec old;
      old.centre = c;
      old.radius = r;
      DrawHole(canvas, old, o.seed + static_cast<std::uint64_t>(i));
      const bool round = random.Chance(0.4);
      const double turn = random.Uniform(0, kPi / 2);
      const Colour colour = Mix(scene.paper, Grey(255), random.Uniform(-0.2, 0.5));
      const double shade = random.Uniform(15, 40);
      canvas.Paint(c.x - 2 * half, c.y - 2 * half, c.x + 2 * half, c.y + 2 * half,
                   [&](Point p, Colour, double& cover) {
                     const double dx = p.x - c.x, dy = p.y - c.y;
                     const double u = dx * std::cos(turn) + dy * std::sin(turn);
                     const double v = -dx * std::sin(turn) + dy * std::cos(turn);
                     const double inside = round ? half - std::hypot(dx, dy)
                                                 : half - std::max(std::abs(u), std::abs(v));
                     cover = Coverage(inside + 1);
                     return inside < 0.5 ? Grey(Luma(colour) - shade) : colour;
                   });
      scene.nonHoles.push_back({c.x, c.y, "paster"});
      placer.taken.push_back({c, half});
    }
  }
  // The holes, last of all that lies on the paper.
  for (std::size_t i = 0; i < scene.holes.size(); ++i)
    DrawHole(canvas, scene.holes[i], o.seed * 131 + i);
  // Pen circles round the outlined holes, and a few round nothing.
  for (std::size_t i = 0; i < scene.holes.size() + 2; ++i) {
    const bool empty = i >= scene.holes.size();
    if (empty ? !uses("outlined") || random.Chance(0.4) : scene.holes[i].look != "outlined")
      continue;
    Point c;
    if (empty) {
      const auto spot = placer.Find(1.5 * d, 1.5 * d, light, [&] { return placer.Anywhere(); });
      if (!spot) continue;
      c = *spot;
      scene.nonHoles.push_back({c.x, c.y, "outline"});
    } else {
      c = {scene.holes[i].centre.x + d * random.Uniform(-0.15, 0.15),
           scene.holes[i].centre.y + d * random.Uniform(-0.15, 0.15)};
    }
    const double radius = d * random.Uniform(0.75, 1.3);
    const double pen = std::max(1.0, d * random.Uniform(0.05, 0.1));
    const double wobble = random.Uniform(0, 0.08), phase = random.Uniform(0, 2 * kPi);
    const Colour ink = random.Chance(0.4) ? Colour{30, 50, 170}
                                          : (random.Chance(0.5) ? Colour{190, 30, 30} : Grey(30));
    canvas.Paint(c.x - radius * 1.2 - 2, c.y - radius * 1.2 - 2, c.x + radius * 1.2 + 2,
                 c.y + radius * 1.2 + 2, [&](Point p, Colour, double& cover) {
                   const double a = std::atan2(p.y - c.y, p.x - c.x);
                   const double ring = radius * (1 + wobble * std::sin(2 * a + phase));
                   cover = Coverage(pen / 2 - std::abs(std::hypot(p.x - c.x, p.y - c.y) - ring));
                   return ink;
                 });
  }

  LookScan scan;
  scan.holeDiameterPx = d;
  if (scene.photograph) Photograph(canvas, scene, truth, random);
  scan.picture = Finish(canvas, random, scene.photograph, o.seed);
  scan.holes = std::move(truth);
  scan.nonHoles = std::move(scene.nonHoles);
  return scan;
}

std::vector<MarkedHole> MarkedHoles(const Scan& scan, double holeDiameterPx) {
  std::vector<MarkedHole> holes;
  for (const TrueShot& s : scan.shots)
    holes.push_back({s.x, s.y, holeDiameterPx / 2, LookName(s.look)});
  return holes;
}

std::string TruthJson(const std::string& name, const std::string& image, const std::string& look,
                      double holeDiameterPx, const std::vector<MarkedHole>& holes,
                      const std::vector<NonHole>& nonHoles) {
  auto quoted = [](const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
      if (c == '"' || c == '\\') out += '\\';
      if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out + "\"";
  };
  auto number = [](double v) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", v);
    return std::string(text);
  };
  std::string json =
      "{\n  \"name\": " + quoted(name) + ",\n  \"image\": " + quoted(image) +
      ",\n  \"look\": " + quoted(look) +
      ",\n  \"kind\": \"generated\",\n  \"hole_diameter_px\": " + number(holeDiameterPx) +
      ",\n  \"ignore_regions\": [],\n  \"holes\": [";
  for (std::size_t i = 0; i < holes.size(); ++i) {
    const MarkedHole& h = holes[i];
    json += std::string(i ? "," : "") + "\n    {\"x\": " + number(h.x) + ", \"y\": " + number(h.y) +
            ", \"r\": " + number(h.r) + ", \"uncertain\": false, \"look\": " + quoted(h.look) + "}";
  }
  json += holes.empty() ? "],\n  \"non_holes\": [" : "\n  ],\n  \"non_holes\": [";
  for (std::size_t i = 0; i < nonHoles.size(); ++i) {
    const NonHole& n = nonHoles[i];
    json += std::string(i ? "," : "") + "\n    {\"x\": " + number(n.x) + ", \"y\": " + number(n.y) +
            ", \"kind\": " + quoted(n.kind) + "}";
  }
  json += nonHoles.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return json;
}

}  // namespace holescan::scangen
