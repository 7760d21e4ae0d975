#include "scangen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "scan_paint.h"
#include "splitmix.h"

namespace holescan::scangen {
namespace {

// Seeds are spread so that neighbouring seeds start far apart.
class Random : public SplitMix {
 public:
  explicit Random(std::uint64_t seed) : SplitMix(seed * 0x2545F4914F6CDD1Dull + 1) {}
};

struct Hole {
  Point centre;
  double radius = 0;
  Look look = Look::Black;
  std::array<double, 3> wobble{};  // torn edge: amplitudes of the 3rd, 5th and 7th harmonics
  std::array<double, 3> phase{};
  Colour inside;
  double noise = 0;
  std::vector<std::array<Point, 2>> fibres;
  double fibreWidth = 0;
};

struct Glyph {
  Point corner;  // top left
  double height = 0, stroke = 0;
  int segments = 0;  // bits a..g of a seven-segment figure
};

struct Speck {
  Point centre;
  double radius = 0;
  double grey = 0;
};

// Seven-segment figures 0-9 and the letters A C E F H L P U.
constexpr std::array<int, 18> kGlyphs{0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F,
                                      0x6F, 0x77, 0x39, 0x79, 0x71, 0x76, 0x38, 0x73, 0x3E};

double GlyphInside(const Glyph& g, Point p) {
  const double w = 0.55 * g.height;
  const double h = g.height;
  const double x0 = g.corner.x;
  const double y0 = g.corner.y;
  const std::array<std::array<Point, 2>, 7> segments{{
      {{{x0, y0}, {x0 + w, y0}}},
      {{{x0 + w, y0}, {x0 + w, y0 + h / 2}}},
      {{{x0 + w, y0 + h / 2}, {x0 + w, y0 + h}}},
      {{{x0, y0 + h}, {x0 + w, y0 + h}}},
      {{{x0, y0 + h / 2}, {x0, y0 + h}}},
      {{{x0, y0}, {x0, y0 + h / 2}}},
      {{{x0, y0 + h / 2}, {x0 + w, y0 + h / 2}}},
  }};
  double best = -1e9;
  for (int s = 0; s < 7; ++s) {
    if (g.segments & (1 << s)) {
      const auto& seg = segments[static_cast<std::size_t>(s)];
      best = std::max(best, g.stroke / 2 - DistanceToSegment(p, seg[0], seg[1]));
    }
  }
  return best;
}

}  // namespace

const char* LookName(Look look) {
  switch (look) {
    case Look::Black:
      return "black";
    case Look::DarkGrey:
      return "dark-grey";
    case Look::Torn:
      return "torn";
    case Look::Light:
      return "light";
  }
  return "?";
}

Scan MakeScan(const ScanOptions& o) {
  const double perMm = o.dpi / 25.4;
  const double d = o.calibreMm * perMm;  // hole diameter in pixels
  const double width = std::round(o.widthMm * perMm);
  const double height = std::round(o.heightMm * perMm);
  if (!(width >= 32 && height >= 32 && width <= kMaxPictureSide && height <= kMaxPictureSide)) {
    throw std::invalid_argument("scangen: picture side outside 32..32766 pixels");
  }
  if (!(d >= 6)) throw std::invalid_argument("scangen: a hole must be at least 6 pixels across");
  if (o.singles < 0 || o.pairs < 0 || o.triples < 0 || o.specks < 0 || o.looks.empty()) {
    throw std::invalid_argument("scangen: negative counts or no looks");
  }
  const bool anyLight = std::find(o.looks.begin(), o.looks.end(), Look::Light) != o.looks.end();
  if (anyLight && !o.aimingMark) {
    throw std::invalid_argument("scangen: light holes need the aiming mark");
  }
  Random random(o.seed);
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);

  // Paper, ink and the printed layout.
  constexpr std::array<Colour, 5> kPapers{
      {{250, 250, 248}, {244, 239, 226}, {240, 236, 205}, {228, 236, 226}, {246, 228, 228}}};
  const Colour paper = kPapers[static_cast<std::size_t>(random.IntIn(0, 4))];
  const bool blueInk = random.Unit() < 0.5;
  const Colour ink = blueInk ? Colour{50, 85, 190} : Grey(random.Uniform(25, 50));
  const Colour markInk = Grey(random.Uniform(15, 35));
  const double rampAngle = random.Uniform(0, 2 * std::numbers::pi);
  const Point markCentre{random.Uniform(0.35, 0.65) * width, random.Uniform(0.35, 0.65) * height};
  const double markRadius = o.aimingMark ? d * random.Uniform(2.6, 3.2) : 0;
  const double whiteLine = std::max(1.0, 0.08 * d);
  const double ringStep = d * random.Uniform(1.3, 2.0);
  const double ringWidth = d * random.Uniform(0.06, 0.3);
  const double ringStart = std::max(markRadius, 1.5 * d) + ringStep * 0.6;
  const double lineWidth = d * random.Uniform(0.05, 0.25);
  const double lineX = random.Uniform(0.1, 0.9) * width;
  const double lineY = random.Uniform(0.1, 0.9) * height;

  // The border: a dark band along one edge and its shadow fading into the paper.
  const int borderSide = random.IntIn(0, 3);
  const double borderWidth = o.border ? d * random.Uniform(0.6, 2.0) : 0;
  const double shadowWidth = o.border ? d * random.Uniform(0.5, 1.5) : 0;
  const double borderGrey = random.Uniform(30, 70);
  auto fromBorder = [&](Point p) {
    switch (borderSide) {
      case 0:
        return p.x;
      case 1:
        return width - 1 - p.x;
      case 2:
        return p.y;
      default:
        return height - 1 - p.y;
    }
  };

  // Shots: groups placed apart from each other, on the paper or inside the aiming mark.
  Scan scan;
  std::vector<Hole> holes;
  struct Occupied {
    Point centre;
    double radius;
  };
  std::vector<Occupied> occupied;
  const double margin = 1.2 * d + borderWidth + shadowWidth;
  auto placeGroup = [&](int size, Look look, int group) {
    for (int attempt = 0; attempt < 4000; ++attempt) {
      std::vector<Point> centres;
      Point first;
      if (look == Look::Light) {
        const double reach = markRadius - d;
        const double a = random.Uniform(0, 2 * std::numbers::pi);
        const double r = reach * std::sqrt(random.Unit());
        first = {markCentre.x + r * std::cos(a), markCentre.y + r * std::sin(a)};
      } else {
        first = {random.Uniform(margin, width - margin), random.Uniform(margin, height - margin)};
      }
      centres.push_back(first);
      while (static_cast<int>(centres.size()) < size) {
        const Point& from = centres[random.IntIn(0, static_cast<int>(centres.size()) - 1)];
        const double a = random.Uniform(0, 2 * std::numbers::pi);
        const double r = d * random.Uniform(0.5, 1.1);
        const Point next{from.x + r * std::cos(a), from.y + r * std::sin(a)};
        bool apart = true;
        for (const Point& c : centres)
          apart = apart && std::hypot(c.x - next.x, c.y - next.y) >= 0.5 * d;
        if (apart) centres.push_back(next);
        if (attempt > 3990) break;
      }
      bool fits = static_cast<int>(centres.size()) == size;
      Point mid;
      for (const Point& c : centres) {
        mid.x += c.x / size;
        mid.y += c.y / size;
      }
      double radius = 0;
      for (const Point& c : centres) {
        radius = std::max(radius, std::hypot(c.x - mid.x, c.y - mid.y) + 0.5 * d);
        const double fromMark = std::hypot(c.x - markCentre.x, c.y - markCentre.y);
        const bool inPage =
            c.x >= margin && c.y >= margin && c.x <= width - margin && c.y <= height - margin;
        if (look == Look::Light) {
          fits = fits && fromMark <= markRadius - d;
        } else {
          fits = fits && inPage && (!o.aimingMark || fromMark >= markRadius + 0.9 * d);
        }
      }
      for (const Occupied& other : occupied) {
        fits = fits && std::hypot(other.centre.x - mid.x, other.centre.y - mid.y) >=
                           other.radius + radius + 0.5 * d;
      }
      if (!fits) continue;
      occupied.push_back({mid, radius});
      for (const Point& c : centres) {
        Hole hole;
        hole.centre = c;
        hole.look = look;
        hole.radius = 0.5 * d * random.Uniform(0.96, 1.02);
        switch (look) {
          case Look::Black:
            hole.inside = Grey(random.Uniform(8, 28));
            hole.noise = 4;
            break;
          case Look::DarkGrey:
            hole.inside = Grey(random.Uniform(24, 36));
            hole.noise = 14;
            break;
          case Look::Torn: {
            hole.inside = Grey(random.Uniform(105, 145));
            hole.noise = 10;
            for (std::size_t k = 0; k < 3; ++k) {
              hole.wobble[k] = random.Uniform(0.0, 0.04);
              hole.phase[k] = random.Uniform(0, 2 * std::numbers::pi);
            }
            const int fibres = random.IntIn(4, 9);
            hole.fibreWidth = std::max(0.8, d * random.Uniform(0.04, 0.08));
            for (int f = 0; f < fibres; ++f) {
              const double a = random.Uniform(0, 2 * std::numbers::pi);
              const double r = hole.radius * random.Uniform(0.0, 0.7);
              const Point p{c.x + r * std::cos(a), c.y + r * std::sin(a)};
              const double b = random.Uniform(0, 2 * std::numbers::pi);
              const double l = hole.radius * random.Uniform(0.3, 0.6);
              hole.fibres.push_back({{p, {p.x + l * std::cos(b), p.y + l * std::sin(b)}}});
            }
            break;
          }
          case Look::Light:
            hole.inside = Grey(random.Uniform(228, 248));
            hole.noise = 5;
            break;
        }
        holes.push_back(hole);
        scan.shots.push_back({c.x, c.y, look, group});
      }
      return;
    }
    throw std::runtime_error("scangen: the holes cannot all be placed apart");
  };
  const auto looks = static_cast<int>(o.looks.size());
  int group = 0;
  for (int i = 0; i < o.triples; ++i, ++group)
    placeGroup(3, o.looks[static_cast<std::size_t>((i + 2) % looks)], group);
  for (int i = 0; i < o.pairs; ++i, ++group)
    placeGroup(2, o.looks[static_cast<std::size_t>((i + 1) % looks)], group);
  for (int i = 0; i < o.singles; ++i, ++group)
    placeGroup(1, o.looks[static_cast<std::size_t>(i % looks)], group);

  // Figures and specks stay clear of the holes, so every dark thing near a hole is the hole.
  auto clearOfHoles = [&](Point p, double radius) {
    for (const Occupied& other : occupied) {
      if (std::hypot(other.centre.x - p.x, other.centre.y - p.y) <
          other.radius + radius + 0.4 * d) {
        return false;
      }
    }
    return fromBorder(p) > borderWidth + shadowWidth + radius + 2 &&
           std::hypot(p.x - markCentre.x, p.y - markCentre.y) > markRadius + radius + 2;
  };
  std::vector<Glyph> glyphs;
  if (o.print) {
    for (int attempt = 0; attempt < 400 && glyphs.size() < 10; ++attempt) {
      Glyph g;
      g.height = d * random.Uniform(0.7, 1.3);
      g.stroke = d * random.Uniform(0.1, 0.2);
      g.corner = {random.Uniform(0, width - 0.6 * g.height), random.Uniform(0, height - g.height)};
      g.segments = kGlyphs[static_cast<std::size_t>(random.IntIn(0, 17))];
      const Point middle{g.corner.x + 0.275 * g.height, g.corner.y + 0.5 * g.height};
      if (clearOfHoles(middle, 0.75 * g.height)) glyphs.push_back(g);
    }
  }
  std::vector<Speck> specks;
  for (int attempt = 0; attempt < 40 * o.specks && static_cast<int>(specks.size()) < o.specks;
       ++attempt) {
    Speck s;
    s.radius = 0.5 * d * random.Uniform(0.1, 0.4);
    s.centre = {random.Uniform(0, width), random.Uniform(0, height)};
    s.grey = random.Uniform(20, 90);
    if (clearOfHoles(s.centre, s.radius)) specks.push_back(s);
  }

  // Paper, rings, lines, the aiming mark and the border: one pass.
  scan.picture = Picture(w, h, 0);
  for (int y = 0; y < h; ++y) {
    std::uint32_t* row = scan.picture.Row(y);
    for (int x = 0; x < w; ++x) {
      const Point p{static_cast<double>(x), static_cast<double>(y)};
      Colour c = paper;
      const double fromCentre = std::hypot(p.x - markCentre.x, p.y - markCentre.y);
      if (o.print) {
        const double k = std::max(0.0, std::round((fromCentre - ringStart) / ringStep));
        const double ring = ringStart + k * ringStep;
        double cover = Coverage(ringWidth / 2 - std::abs(fromCentre - ring));
        cover = std::max(cover, Coverage(lineWidth / 2 - std::abs(p.x - lineX)));
        cover = std::max(cover, Coverage(lineWidth / 2 - std::abs(p.y - lineY)));
        c = Mix(c, ink, cover);
      }
      if (o.aimingMark) {
        const double mark = Coverage(markRadius - fromCentre);
        if (mark > 0) {
          double white = 0;
          for (double share : {0.45, 0.75}) {
            white = std::max(white,
                             Coverage(whiteLine / 2 - std::abs(fromCentre - share * markRadius)));
          }
          c = Mix(c, Mix(markInk, paper, white), mark);
        }
      }
      if (o.border) {
        const double e = fromBorder(p);
        const double shade =
            e < borderWidth ? 1 : std::max(0.0, 1 - (e - borderWidth) / shadowWidth);
        c = Mix(c, Grey(borderGrey), shade * shade);
      }
      row[x] = Pack(c);
    }
  }
  auto paint = [&](double left, double top, double right, double bottom, auto&& colourAt) {
    const int x0 = std::max(0, static_cast<int>(std::floor(left)));
    const int y0 = std::max(0, static_cast<int>(std::floor(top)));
    const int x1 = std::min(w - 1, static_cast<int>(std::ceil(right)));
    const int y1 = std::min(h - 1, static_cast<int>(std::ceil(bottom)));
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        Colour c = Unpack(scan.picture.At(x, y));
        double cover = 0;
        const Colour top = colourAt(Point{static_cast<double>(x), static_cast<double>(y)}, cover);
        if (cover > 0) scan.picture.Set(x, y, Pack(Mix(c, top, cover)));
      }
    }
  };
  for (const Glyph& g : glyphs) {
    paint(g.corner.x - g.stroke, g.corner.y - g.stroke, g.corner.x + 0.55 * g.height + g.stroke,
          g.corner.y + g.height + g.stroke, [&](Point p, double& cover) {
            cover = Coverage(GlyphInside(g, p));
            return ink;
          });
  }
  for (const Speck& s : specks) {
    paint(s.centre.x - s.radius - 1, s.centre.y - s.radius - 1, s.centre.x + s.radius + 1,
          s.centre.y + s.radius + 1, [&](Point p, double& cover) {
            cover = Coverage(s.radius - std::hypot(p.x - s.centre.x, p.y - s.centre.y));
            return Grey(s.grey);
          });
  }
  // Holes of one group as one cut: every pixel takes the look of the hole it is deepest in.
  for (const Hole& hole : holes) {
    const double reach = hole.radius * 1.2 + 2;
    paint(hole.centre.x - reach, hole.centre.y - reach, hole.centre.x + reach,
          hole.centre.y + reach, [&](Point p, double& cover) {
            const double dx = p.x - hole.centre.x;
            const double dy = p.y - hole.centre.y;
            const double r = std::hypot(dx, dy);
            const double a = std::atan2(dy, dx);
            double edge = hole.radius;
            for (std::size_t k = 0; k < 3; ++k) {
              edge += hole.radius * hole.wobble[k] *
                      std::sin(static_cast<double>(2 * k + 3) * a + hole.phase[k]);
            }
            cover = Coverage(edge - r);
            if (cover <= 0) return Colour{};
            // Light noise from the pixel position, so overlapping holes agree where they meet.
            const auto seed = static_cast<std::uint64_t>(p.y * 65536 + p.x) ^ o.seed;
            Random pixel(seed);
            Colour c = hole.inside;
            if (hole.look == Look::Torn) {
              if (r > 0.78 * edge) c = Grey(hole.inside.r + 45);
              for (const auto& f : hole.fibres) {
                const double fibre =
                    Coverage(hole.fibreWidth / 2 - DistanceToSegment(p, f[0], f[1]));
                c = Mix(c, Grey(212), fibre);
              }
            }
            const double n = pixel.Uniform(-hole.noise, hole.noise);
            return Colour{c.r + n, c.g + n, c.b + n};
          });
  }

  // Light and the scanner: a ramp of 30 grey levels across the page, then noise with a level
  // for each 8x8 block as JPEG leaves it, and for each pixel.
  const double cosA = std::cos(rampAngle);
  const double sinA = std::sin(rampAngle);
  const double span = std::abs(width * cosA) + std::abs(height * sinA);
  const double origin = std::min({0.0, width * cosA, height * sinA, width * cosA + height * sinA});
  const int blocksX = (w + 7) / 8;
  std::vector<double> blockNoise(static_cast<std::size_t>(blocksX));
  Random noise(o.seed ^ 0xA5A5A5A5u);
  for (int y = 0; y < h; ++y) {
    if (y % 8 == 0) {
      for (double& b : blockNoise) b = noise.Uniform(-3, 3);
    }
    std::uint32_t* row = scan.picture.Row(y);
    for (int x = 0; x < w; ++x) {
      Colour c = Unpack(row[x]);
      const double t = ((x * cosA + y * sinA) - origin) / span;
      const double n = blockNoise[static_cast<std::size_t>(x / 8)] + noise.Uniform(-4, 4);
      auto shade = [&](double v) { return v - 30 * t * v / 255 + n; };
      row[x] = Pack({shade(c.r), shade(c.g), shade(c.b)});
    }
  }
  return scan;
}

}  // namespace holescan::scangen
