#include "targetgen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "splitmix.h"

namespace holescan::targetgen {
namespace {

using Random = SplitMix;

struct Rgb3 {
  int r, g, b;
};

constexpr std::uint32_t Pack(Rgb3 c) {
  return Rgb(static_cast<std::uint32_t>(c.r), static_cast<std::uint32_t>(c.g),
             static_cast<std::uint32_t>(c.b));
}

Rgb3 Unpack(std::uint32_t p) {
  return {static_cast<int>((p >> 16) & 0xFFu), static_cast<int>((p >> 8) & 0xFFu),
          static_cast<int>(p & 0xFFu)};
}

int Channel(double value) {
  return std::clamp(static_cast<int>(value + 0.5), 0, 255);
}

// Paints `ink` over what is at (x, y) with the given coverage 0..1. Mixing towards a
// colour never makes a pixel darker than the darker of the two, which keeps light ink light.
void Blend(Picture& picture, int x, int y, Rgb3 ink, double coverage) {
  if (!picture.Contains(x, y) || coverage <= 0) return;
  if (coverage >= 1) {
    picture.Set(x, y, Pack(ink));
    return;
  }
  const Rgb3 under = Unpack(picture.At(x, y));
  picture.Set(x, y,
              Pack({Channel(under.r + (ink.r - under.r) * coverage),
                    Channel(under.g + (ink.g - under.g) * coverage),
                    Channel(under.b + (ink.b - under.b) * coverage)}));
}

// Near black with a little grain: red + green + blue between 18 and 48.
Rgb3 DarkInk(Random& random) {
  return {6 + random.IntIn(0, 10), 6 + random.IntIn(0, 10), 6 + random.IntIn(0, 10)};
}

// Ink colours of the printing: every sum is far above the dark limit of 55.
constexpr std::array<Rgb3, 4> kRingInks = {{
    {120, 120, 120},  // grey
    {70, 140, 90},    // green
    {80, 100, 170},   // blue
    {170, 90, 70},    // brick
}};
constexpr Rgb3 kTextInk = {85, 85, 90};

// Digits 0..9 in a 3 x 5 font, one row per 3 bits, most significant bit left.
constexpr std::array<std::array<std::uint8_t, 5>, 10> kDigitFont = {{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 2, 2, 2},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
}};
constexpr int kGlyphScale = 2;
constexpr int kGlyphWidth = 3 * kGlyphScale;
constexpr int kGlyphHeight = 5 * kGlyphScale;
constexpr int kGlyphAdvance = kGlyphWidth + 2;

// A mark that later marks keep their distance from: a disc, or a box of pixel centres.
struct Obstacle {
  bool round;
  bool hole;              // a shot hole, which specks keep the full clearance from
  double x0, y0, x1, y1;  // disc: centre (x0, y0), radius x1; box: corners
};

Obstacle Disc(double x, double y, double radius, bool hole) {
  return {true, hole, x, y, radius, 0};
}
Obstacle Box(double x0, double y0, double x1, double y1) {
  return {false, false, x0, y0, x1, y1};
}

// Distance from (x, y) to the nearest point of the obstacle; 0 inside it.
double DistanceTo(const Obstacle& o, double x, double y) {
  if (o.round) {
    const double dx = x - o.x0;
    const double dy = y - o.y0;
    return std::max(0.0, std::sqrt(dx * dx + dy * dy) - o.x1);
  }
  const double dx = std::max({o.x0 - x, 0.0, x - o.x1});
  const double dy = std::max({o.y0 - y, 0.0, y - o.y1});
  return std::sqrt(dx * dx + dy * dy);
}

bool Clear(const std::vector<Obstacle>& obstacles, double x, double y, double reach) {
  return std::all_of(obstacles.begin(), obstacles.end(),
                     [&](const Obstacle& o) { return DistanceTo(o, x, y) >= reach; });
}

class Painter {
 public:
  Painter(const TargetOptions& options, Random& random)
      : options_(options),
        random_(random),
        picture_(options.width, options.height, Rgb(255, 255, 255)),
        centreX_((options.width - 1) / 2.0),
        centreY_((options.height - 1) / 2.0),
        ringSpacing_(0.045 * std::min(options.width, options.height)) {}

  Target Paint() {
    Paper();
    if (options_.rings) Rings();
    if (options_.text) Text();
    if (options_.largeDarkRegion) LargeRegion();
    PlaceHoles();
    Specks();
    return {std::move(picture_), std::move(holes_)};
  }

 private:
  void Paper() {
    for (int y = 0; y < picture_.Height(); ++y) {
      std::uint32_t* row = picture_.Row(y);
      for (int x = 0; x < picture_.Width(); ++x) {
        // Grain shared by the channels plus a little colour noise, as a scanner gives.
        const int grain = random_.IntIn(-5, 5);
        row[x] = Pack({236 + grain + random_.IntIn(-2, 2), 233 + grain + random_.IntIn(-2, 2),
                       222 + grain + random_.IntIn(-2, 2)});
      }
    }
  }

  void Rings() {
    const Rgb3 ink = kRingInks[static_cast<std::size_t>(
        random_.IntIn(0, static_cast<int>(kRingInks.size()) - 1))];
    const double halfWidth = 0.8;
    const double outer = 9 * ringSpacing_;
    for (int y = 0; y < picture_.Height(); ++y) {
      for (int x = 0; x < picture_.Width(); ++x) {
        const double dx = x - centreX_;
        const double dy = y - centreY_;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d > outer + 2) continue;
        const double nearest = std::max(1.0, std::min(9.0, std::floor(d / ringSpacing_ + 0.5)));
        const double offset = std::abs(d - nearest * ringSpacing_);
        Blend(picture_, x, y, ink, std::min(1.0, halfWidth + 0.5 - offset));
      }
    }
  }

  // One glyph at its top-left corner.
  void Glyph(int left, int top, const std::array<std::uint8_t, 5>& rows) {
    for (int gy = 0; gy < 5; ++gy) {
      for (int gx = 0; gx < 3; ++gx) {
        if (((rows[static_cast<std::size_t>(gy)] >> (2 - gx)) & 1u) == 0) continue;
        for (int sy = 0; sy < kGlyphScale; ++sy)
          for (int sx = 0; sx < kGlyphScale; ++sx)
            Blend(picture_, left + gx * kGlyphScale + sx, top + gy * kGlyphScale + sy, kTextInk, 1);
      }
    }
  }

  void Block(int left, int top, int right, int bottom) {
    obstacles_.push_back(Box(left, top, right, bottom));
  }

  // A line of word-like runs of random glyphs from `left` to about `right`.
  void TextLine(int left, int top, int right) {
    int x = left;
    while (x + 3 * kGlyphAdvance <= right) {
      const int letters = std::min(random_.IntIn(2, 7), (right - x) / kGlyphAdvance);
      for (int i = 0; i < letters; ++i) {
        std::array<std::uint8_t, 5> rows{};
        for (auto& row : rows) row = static_cast<std::uint8_t>(random_.IntIn(1, 7));
        Glyph(x + i * kGlyphAdvance, top, rows);
      }
      Block(x, top, x + letters * kGlyphAdvance - 2, top + kGlyphHeight - 1);
      x += (letters + 1) * kGlyphAdvance;
    }
  }

  void Text() {
    const int width = picture_.Width();
    const int height = picture_.Height();
    if (height >= 120) {
      TextLine(16, 12, width * 2 / 3);
      TextLine(16, height - 12 - kGlyphHeight, width / 2);
    }
    if (!options_.rings) return;
    // Scores in the zones left and right of the centre, as on printed targets.
    for (int zone = 1; zone <= 8; ++zone) {
      const int score = 9 - zone;
      const double along = (zone + 0.5) * ringSpacing_;
      for (const double x : {centreX_ - along, centreX_ + along}) {
        const int left = static_cast<int>(std::floor(x)) - kGlyphWidth / 2;
        const int top = static_cast<int>(std::floor(centreY_)) - kGlyphHeight / 2;
        if (left < 0 || left + kGlyphWidth > width) continue;
        Glyph(left, top, kDigitFont[static_cast<std::size_t>(score)]);
        Block(left, top, left + kGlyphWidth - 1, top + kGlyphHeight - 1);
      }
    }
  }

  void LargeRegion() {
    const double r = kLargeRegionRadius;
    for (int y = static_cast<int>(centreY_ - r) - 2; y <= static_cast<int>(centreY_ + r) + 2; ++y) {
      for (int x = static_cast<int>(centreX_ - r) - 2; x <= static_cast<int>(centreX_ + r) + 2;
           ++x) {
        const double dx = x - centreX_;
        const double dy = y - centreY_;
        const double d = std::sqrt(dx * dx + dy * dy);
        Blend(picture_, x, y, DarkInk(random_), std::min(1.0, r + 0.5 - d));
      }
    }
    obstacles_.push_back(Disc(centreX_, centreY_, r, false));
  }

  // A hole is fully dark out to `radius` and fades over one more pixel.
  void Hole(double cx, double cy, double radius) {
    const int x0 = static_cast<int>(std::floor(cx - radius - 1));
    const int x1 = static_cast<int>(std::ceil(cx + radius + 1));
    const int y0 = static_cast<int>(std::floor(cy - radius - 1));
    const int y1 = static_cast<int>(std::ceil(cy + radius + 1));
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        const double dx = x - cx;
        const double dy = y - cy;
        const double d = std::sqrt(dx * dx + dy * dy);
        Blend(picture_, x, y, DarkInk(random_), std::min(1.0, radius + 1 - d));
      }
    }
  }

  double Radius() { return random_.Uniform(options_.minRadius, options_.maxRadius); }

  // A centre that keeps kHoleClearance from every mark so far, at least `margin` inside.
  bool FindCentre(double radius, double margin, double& x, double& y) {
    for (int attempt = 0; attempt < 20000; ++attempt) {
      x = random_.Uniform(margin, picture_.Width() - 1 - margin);
      y = random_.Uniform(margin, picture_.Height() - 1 - margin);
      if (Clear(obstacles_, x, y, radius + kHoleClearance)) return true;
    }
    return false;
  }

  [[noreturn]] void CannotPlace(const char* what) const {
    throw std::runtime_error(
        std::string("cannot place the ") + what + " on a " + std::to_string(options_.width) +
        " x " + std::to_string(options_.height) + " target with " +
        std::to_string(static_cast<int>(kHoleClearance)) + " px between marks");
  }

  void PlaceHoles() {
    const double margin = options_.maxRadius + 12;
    for (int i = 0; i < options_.holes; ++i) {
      const double r = Radius();
      double x = 0, y = 0;
      if (!FindCentre(r, margin, x, y)) CannotPlace("holes");
      Hole(x, y, r);
      holes_.push_back({x, y, r, false});
      obstacles_.push_back(Disc(x, y, r, true));
    }
    for (int i = 0; i < options_.overlappingPairs; ++i) {
      const double r1 = Radius();
      const double r2 = Radius();
      // A direction by rejection in the unit ring, to avoid sin and cos, whose last bits
      // differ between libraries.
      double ux = 0, uy = 0, length = 0;
      do {
        ux = random_.Uniform(-1, 1);
        uy = random_.Uniform(-1, 1);
        length = std::sqrt(ux * ux + uy * uy);
      } while (length < 0.5 || length > 1);
      const double apart = random_.Uniform(9, 13);
      ux *= apart / length;
      uy *= apart / length;
      bool placed = false;
      double x = 0, y = 0;
      for (int attempt = 0; attempt < 100 && !placed; ++attempt) {
        if (!FindCentre(r1, margin + 13, x, y)) break;
        placed = Clear(obstacles_, x + ux, y + uy, r2 + kHoleClearance);
      }
      if (!placed) CannotPlace("overlapping holes");
      Hole(x, y, r1);
      Hole(x + ux, y + uy, r2);
      holes_.push_back({x, y, r1, true});
      holes_.push_back({x + ux, y + uy, r2, true});
      obstacles_.push_back(Disc(x, y, r1, true));
      obstacles_.push_back(Disc(x + ux, y + uy, r2, true));
    }
  }

  // Specks of 1..4 dark pixels: too small to be holes, they must all be rejected.
  void Specks() {
    static constexpr std::array<std::array<int, 8>, 8> kShapes = {{
        {0, 0, 9, 9, 9, 9, 9, 9},  // one pixel; 9 ends the list
        {0, 0, 1, 0, 9, 9, 9, 9},
        {0, 0, 0, 1, 9, 9, 9, 9},
        {0, 0, 1, 0, 1, 1, 9, 9},
        {0, 0, 1, 0, 2, 0, 9, 9},
        {0, 0, 1, 0, 0, 1, 1, 1},
        {0, 0, 0, 1, 0, 2, 1, 2},
        {0, 0, 1, 1, 9, 9, 9, 9},  // diagonal: two separate one-pixel holes
    }};
    for (int i = 0; i < options_.specks; ++i) {
      const auto& shape =
          kShapes[static_cast<std::size_t>(random_.IntIn(0, static_cast<int>(kShapes.size()) - 1))];
      bool placed = false;
      int left = 0, top = 0;
      for (int attempt = 0; attempt < 20000 && !placed; ++attempt) {
        left = random_.IntIn(2, picture_.Width() - 5);
        top = random_.IntIn(2, picture_.Height() - 5);
        placed = std::all_of(obstacles_.begin(), obstacles_.end(), [&](const Obstacle& o) {
          // Holes keep their clearance from specks; anything else needs only a gap.
          const double reach = o.hole ? kHoleClearance : 3;
          return DistanceTo(o, left + 1, top + 1) >= reach + 2;
        });
      }
      if (!placed) CannotPlace("specks");
      for (std::size_t k = 0; k < shape.size() && shape[k] != 9; k += 2)
        Blend(picture_, left + shape[k], top + shape[k + 1], DarkInk(random_), 1);
      obstacles_.push_back(Box(left, top, left + 2, top + 2));
    }
  }

  const TargetOptions& options_;
  Random& random_;
  Picture picture_;
  std::vector<TrueHole> holes_;
  std::vector<Obstacle> obstacles_;
  double centreX_, centreY_;
  double ringSpacing_;
};

void Validate(const TargetOptions& o) {
  if (o.width < 64 || o.height < 64 || o.width > kMaxPictureSide || o.height > kMaxPictureSide)
    throw std::invalid_argument("the picture must be 64 to " + std::to_string(kMaxPictureSide) +
                                " pixels on a side");
  if (o.holes < 0 || o.overlappingPairs < 0 || o.specks < 0)
    throw std::invalid_argument("counts of holes, pairs and specks must not be negative");
  if (!(o.minRadius >= 1 && o.maxRadius <= 20 && o.minRadius <= o.maxRadius))
    throw std::invalid_argument("hole radii must lie in 1..20 with the smallest first");
  if (o.largeDarkRegion && std::min(o.width, o.height) < 2 * kLargeRegionRadius + 20)
    throw std::invalid_argument("the large dark region needs a picture of at least 250 x 250");
}

}  // namespace

Target MakeTarget(const TargetOptions& options) {
  Validate(options);
  Random random(options.seed);
  return Painter(options, random).Paint();
}

Picture MakeComb(int stripes, int height) {
  const int width = 2 * stripes + 1;
  Picture comb(width, height + 4, Rgb(255, 255, 255));
  const std::uint32_t black = Rgb(0, 0, 0);
  for (int y = 1; y <= height; ++y)
    for (int x = 1; x < width - 1; x += 2) comb.Set(x, y, black);
  for (int y = height + 1; y <= height + 2; ++y)
    for (int x = 1; x < width - 1; ++x) comb.Set(x, y, black);
  return comb;
}

Picture MakeDisc(int diameter) {
  const int side = diameter + 4;
  Picture disc(side, side, Rgb(255, 255, 255));
  const double centre = (side - 1) / 2.0;
  const double limit = diameter * diameter / 4.0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const double dx = x - centre;
      const double dy = y - centre;
      if (dx * dx + dy * dy <= limit) disc.Set(x, y, Rgb(0, 0, 0));
    }
  }
  return disc;
}

}  // namespace holescan::targetgen
