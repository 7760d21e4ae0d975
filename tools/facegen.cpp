#include "facegen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <limits>
#include <new>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "splitmix.h"

#ifdef HOLESCAN_FACEGEN_PNG
#include <libdeflate.h>
#endif

namespace holescan::facegen {
namespace {

// The shared generator (splitmix.h) with normal deviates beside it.
class Random : public SplitMix {
 public:
  using SplitMix::SplitMix;
  // Box-Muller, both values of each pair used.
  double Gaussian() {
    if (spare_) {
      spare_ = false;
      return second_;
    }
    const double length = std::sqrt(-2 * std::log(1 - Unit()));
    const double angle = 2 * std::numbers::pi * Unit();
    second_ = length * std::sin(angle);
    spare_ = true;
    return length * std::cos(angle);
  }

 private:
  double second_ = 0;
  bool spare_ = false;
};

struct Colour {
  double r, g, b;
};

Colour Mix(Colour under, Colour over, double coverage) {
  return {under.r + (over.r - under.r) * coverage, under.g + (over.g - under.g) * coverage,
          under.b + (over.b - under.b) * coverage};
}

std::uint8_t Channel(double value) {
  return static_cast<std::uint8_t>(std::clamp(static_cast<int>(value + 0.5), 0, 255));
}

std::uint32_t Pack(Colour c) {
  return Rgb(Channel(c.r), Channel(c.g), Channel(c.b));
}

Colour Unpack(std::uint32_t p) {
  return {static_cast<double>((p >> 16) & 0xFFu), static_cast<double>((p >> 8) & 0xFFu),
          static_cast<double>(p & 0xFFu)};
}

// How much of the pixel-wide interval [r - 1/2, r + 1/2] lies in [low, high]: the coverage
// of a pixel by a round band, exact along the radius.
double Overlap(double r, double low, double high) {
  return std::max(0.0, std::min(r + 0.5, high) - std::max(r - 0.5, low));
}

constexpr Colour kInk = {24, 24, 28};
constexpr Colour kLightHole = {250, 250, 248};
constexpr Colour kDarkHole = {18, 18, 20};

// The printed face as ink coverage 0..1 against the radius in pixels, tabulated finely so
// the card is one lookup per pixel.
class RadialInk {
 public:
  RadialInk(const score::Face& face, double pxPerMm) {
    blackPx_ = face.blackDiameterMm / 2 * pxPerMm;
    const double line = face.ringLineMm * pxPerMm;
    for (int ring = face.lowestRing; ring <= 10; ++ring) {
      const double radius = face.RingDiameterMm(ring) / 2 * pxPerMm;
      if (std::abs(radius - blackPx_) < line) continue;  // that ring is the black's own edge
      if (face.RingDiameterMm(ring) < 1) {
        dotPx_ = radius;  // a ring under a millimetre across is a dot, white in the black
      } else {
        lines_.push_back({radius - line / 2, radius + line / 2});
      }
    }
    limit_ = std::max(face.OuterDiameterMm(), face.blackDiameterMm) / 2 * pxPerMm + line + 2;
    table_.resize(static_cast<std::size_t>(limit_ * kSteps) + 2);
    for (std::size_t i = 0; i < table_.size(); ++i) {
      table_[i] = Exact(static_cast<double>(i) / kSteps);
    }
  }

  double At(double r) const {
    if (r >= limit_) return 0;
    const double position = r * kSteps;
    const auto i = static_cast<std::size_t>(position);
    const double t = position - static_cast<double>(i);
    return table_[i] + (table_[i + 1] - table_[i]) * t;
  }

  double BlackPx() const { return blackPx_; }

 private:
  static constexpr int kSteps = 16;

  double Exact(double r) const {
    const double black = Overlap(r, -1, blackPx_);
    double lines = Overlap(r, -dotPx_, dotPx_);
    for (const auto& [low, high] : lines_) lines += Overlap(r, low, high);
    lines = std::min(lines, 1.0);
    // Inside the black a line is white, outside it is ink.
    return std::clamp(black + lines * (1 - 2 * black), 0.0, 1.0);
  }

  double blackPx_ = 0;
  double dotPx_ = -1;
  double limit_ = 0;
  std::vector<std::array<double, 2>> lines_;
  std::vector<double> table_;
};

// Seven-segment figures: segments a..g as pairs of corners on a 1 x 2 cell.
constexpr std::array<std::array<double, 4>, 7> kSegments = {{
    {0, 2, 1, 2},  // a: top
    {1, 2, 1, 1},  // b: top right
    {1, 1, 1, 0},  // c: bottom right
    {0, 0, 1, 0},  // d: bottom
    {0, 1, 0, 0},  // e: bottom left
    {0, 2, 0, 1},  // f: top left
    {0, 1, 1, 1},  // g: middle
}};
constexpr std::array<std::uint8_t, 10> kDigitSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                                         0x6D, 0x7D, 0x07, 0x7F, 0x6F};

double SegmentDistance(double px, double py, const std::array<double, 4>& s) {
  const double dx = s[2] - s[0], dy = s[3] - s[1];
  const double t =
      std::clamp(((px - s[0]) * dx + (py - s[1]) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(px - s[0] - t * dx, py - s[1] - t * dy);
}

// Draws figure `digit` centred on (cx, cy), `height` pixels tall.
void DrawDigit(Picture& picture, int digit, double cx, double cy, double height, Colour colour) {
  const double unit = height / 2;  // the cell is 1 x 2 units
  const double stroke = 0.22;      // in units
  const double left = cx - unit / 2, bottom = cy + unit;
  const int x0 = static_cast<int>(std::floor(cx - unit)),
            x1 = static_cast<int>(std::ceil(cx + unit));
  const int y0 = static_cast<int>(std::floor(cy - 1.3 * unit));
  const int y1 = static_cast<int>(std::ceil(cy + 1.3 * unit));
  for (int y = std::max(y0, 0); y <= std::min(y1, picture.Height() - 1); ++y) {
    for (int x = std::max(x0, 0); x <= std::min(x1, picture.Width() - 1); ++x) {
      const double u = (x - left) / unit, v = (bottom - y) / unit;
      double nearest = 1e9;
      for (std::size_t s = 0; s < kSegments.size(); ++s) {
        if (kDigitSegments[static_cast<std::size_t>(digit)] & (1u << s)) {
          nearest = std::min(nearest, SegmentDistance(u, v, kSegments[s]));
        }
      }
      const double coverage = std::clamp((stroke / 2 - nearest) * unit + 0.5, 0.0, 1.0);
      if (coverage > 0) picture.Set(x, y, Pack(Mix(Unpack(picture.At(x, y)), colour, coverage)));
    }
  }
}

// How the card is seen: distances along (ux, uy) shortened by `shorten` (a card tilted about
// the perpendicular axis, seen from far away), none when 1.
struct View {
  double ux = 1, uy = 0, shorten = 1;
  // A point of the picture, from a centre, back on the card.
  double CardDistance(double dx, double dy) const {
    const double along = (dx * ux + dy * uy) / shorten, across = -dx * uy + dy * ux;
    return std::sqrt(along * along + across * across);
  }
  // A point of the card, from a centre, on the picture.
  std::array<double, 2> OnPicture(double dx, double dy) const {
    const double along = (dx * ux + dy * uy) * shorten, across = -dx * uy + dy * ux;
    return {along * ux - across * uy, along * uy + across * ux};
  }
};

void DrawHole(Picture& picture, double cx, double cy, double radius, Colour colour,
              const View& view) {
  const int x0 = static_cast<int>(std::floor(cx - radius - 1));
  const int x1 = static_cast<int>(std::ceil(cx + radius + 1));
  const int y0 = static_cast<int>(std::floor(cy - radius - 1));
  const int y1 = static_cast<int>(std::ceil(cy + radius + 1));
  for (int y = std::max(y0, 0); y <= std::min(y1, picture.Height() - 1); ++y) {
    for (int x = std::max(x0, 0); x <= std::min(x1, picture.Width() - 1); ++x) {
      const double coverage = Overlap(view.CardDistance(x - cx, y - cy), -1, radius);
      if (coverage > 0) picture.Set(x, y, Pack(Mix(Unpack(picture.At(x, y)), colour, coverage)));
    }
  }
}

// A box blur of the given radius along rows, then along columns, each channel on its own.
void Blur(Picture& picture, int radius) {
  const int w = picture.Width(), h = picture.Height();
  const int n = 2 * radius + 1;
  std::vector<std::uint32_t> line;
  const auto pass = [&](int count, int length, auto at) {
    line.resize(static_cast<std::size_t>(length));
    for (int k = 0; k < count; ++k) {
      for (int i = 0; i < length; ++i) line[static_cast<std::size_t>(i)] = *at(k, i);
      for (int i = 0; i < length; ++i) {
        std::uint32_t r = 0, g = 0, b = 0;
        for (int j = i - radius; j <= i + radius; ++j) {
          const std::uint32_t p = line[static_cast<std::size_t>(std::clamp(j, 0, length - 1))];
          r += (p >> 16) & 0xFFu;
          g += (p >> 8) & 0xFFu;
          b += p & 0xFFu;
        }
        const auto mean = [n](std::uint32_t sum) {
          return (sum + static_cast<std::uint32_t>(n / 2)) / static_cast<std::uint32_t>(n);
        };
        *at(k, i) = Rgb(mean(r), mean(g), mean(b));
      }
    }
  };
  pass(h, w, [&](int y, int x) { return picture.Row(y) + x; });
  pass(w, h, [&](int x, int y) { return picture.Row(y) + x; });
}

// What a JPEG encoder does to the brightness of a picture, without the file: each 8 x 8 block
// of luma through the DCT, quantised with the standard table at the quality, and back; the
// change in luma goes to all three channels (colour is left as it is, to keep this cheap).
void JpegQuantise(Picture& picture, int quality) {
  static constexpr std::array<int, 64> kLuma = {
      16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
      14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
      18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
      49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  const double scale = quality < 50 ? 5000.0 / quality : 200.0 - 2.0 * quality;
  std::array<float, 64> steps;
  for (std::size_t i = 0; i < 64; ++i) {
    steps[i] = static_cast<float>(std::max(1.0, std::floor((kLuma[i] * scale + 50) / 100)));
  }
  std::array<std::array<float, 8>, 8> basis;
  for (std::size_t u = 0; u < 8; ++u) {
    for (std::size_t x = 0; x < 8; ++x) {
      basis[u][x] = static_cast<float>(
          (u == 0 ? std::sqrt(0.125) : 0.5) *
          std::cos(static_cast<double>((2 * x + 1) * u) * std::numbers::pi / 16));
    }
  }
  const auto transform = [&](std::array<float, 64>& block, bool inverse) {
    std::array<float, 64> temp{};
    for (std::size_t r = 0; r < 8; ++r) {
      for (std::size_t u = 0; u < 8; ++u) {
        float sum = 0;
        for (std::size_t x = 0; x < 8; ++x) {
          sum += block[r * 8 + x] * (inverse ? basis[x][u] : basis[u][x]);
        }
        temp[r * 8 + u] = sum;
      }
    }
    for (std::size_t c = 0; c < 8; ++c) {
      for (std::size_t u = 0; u < 8; ++u) {
        float sum = 0;
        for (std::size_t y = 0; y < 8; ++y) {
          sum += temp[y * 8 + c] * (inverse ? basis[y][u] : basis[u][y]);
        }
        block[u * 8 + c] = sum;
      }
    }
  };
  const int w = picture.Width(), h = picture.Height();
  std::array<float, 64> luma, original;
  for (int by = 0; by < h; by += 8) {
    for (int bx = 0; bx < w; bx += 8) {
      for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 8; ++i) {
          const Colour c = Unpack(picture.At(std::min(bx + i, w - 1), std::min(by + j, h - 1)));
          const auto k = static_cast<std::size_t>(j * 8 + i);
          luma[k] = static_cast<float>(0.299 * c.r + 0.587 * c.g + 0.114 * c.b - 128);
        }
      }
      original = luma;
      transform(luma, false);
      for (std::size_t k = 0; k < 64; ++k) luma[k] = std::round(luma[k] / steps[k]) * steps[k];
      transform(luma, true);
      for (int j = 0; j < 8 && by + j < h; ++j) {
        for (int i = 0; i < 8 && bx + i < w; ++i) {
          const auto k = static_cast<std::size_t>(j * 8 + i);
          const double change = luma[k] - original[k];
          const Colour c = Unpack(picture.At(bx + i, by + j));
          picture.Set(bx + i, by + j, Pack({c.r + change, c.g + change, c.b + change}));
        }
      }
    }
  }
}

}  // namespace

FaceTarget MakeFace(const FaceOptions& options) {
  if (!options.face) throw std::invalid_argument("no face");
  const score::Face& face = *options.face;
  if (!(options.dpi >= 50 && options.dpi <= 1200)) throw std::invalid_argument("dpi 50..1200");
  if (!(options.calibreMm >= 2 && options.calibreMm <= 12)) {
    throw std::invalid_argument("calibre 2..12 mm");
  }
  if (options.edgeShots < 0 || options.scatterShots < 0 || options.edgeShots > 1000 ||
      options.scatterShots > 1000) {
    throw std::invalid_argument("shot counts 0..1000");
  }
  if (!(options.marginMm >= 0 && options.marginMm <= 200) ||
      !(options.offsetMm >= 0 && options.offsetMm <= options.marginMm + 1e-9) ||
      !(options.lidMm >= 0 && options.lidMm <= 100) ||
      !(options.tiltDeg >= 0 && options.tiltDeg <= 60) ||
      !(options.noise >= 0 && options.noise <= 64) || !(options.ramp >= 0 && options.ramp <= 0.5) ||
      options.blur < 0 || options.blur > 3 || options.jpegQuality < 0 ||
      options.jpegQuality > 100 || options.backingGrey > 255) {
    throw std::invalid_argument(
        "margin, offset, lid, noise, ramp, blur, quality or backing grey out of range");
  }
  if (options.sheet && face.sheet.empty()) throw std::invalid_argument("the face has no sheet");
  const double pxPerMm = options.dpi / 25.4;
  // The places of the bulls from the first, and how far the sheet reaches past them.
  std::vector<score::BullPlace> places(1);
  if (options.sheet) places.assign(face.sheet.begin(), face.sheet.end());
  double spanX = 0, spanY = 0;
  for (const score::BullPlace& place : places) {
    spanX = std::max(spanX, place.xMm);
    spanY = std::max(spanY, place.yMm);
  }
  const double sideMm = face.OuterDiameterMm() + 2 * options.marginMm;
  int side = static_cast<int>(std::ceil((sideMm + std::max(spanX, spanY)) * pxPerMm));
  int width = static_cast<int>(std::ceil((sideMm + spanX) * pxPerMm));
  int height = static_cast<int>(std::ceil((sideMm + spanY) * pxPerMm));
  if (side + 2 * options.lidMm * pxPerMm > 16000)
    throw std::invalid_argument("picture over 16000 pixels a side");

  Random random(options.seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull);
  FaceTarget target;
  target.aimX = (width - spanX * pxPerMm - 1) / 2.0 +
                random.Uniform(-options.offsetMm, options.offsetMm) * pxPerMm;
  target.aimY = (height - spanY * pxPerMm - 1) / 2.0 +
                random.Uniform(-options.offsetMm, options.offsetMm) * pxPerMm;
  View view;
  if (options.tiltDeg > 0) {
    view = {std::cos(options.tiltAxisDeg * std::numbers::pi / 180),
            std::sin(options.tiltAxisDeg * std::numbers::pi / 180),
            std::cos(options.tiltDeg * std::numbers::pi / 180)};
  }
  // A point of the card given from the first bull's centre in pixels, on the picture.
  const auto place = [&](double dx, double dy) {
    const auto [x, y] = view.OnPicture(dx, dy);
    return FaceTarget::Centre{target.aimX + x, target.aimY + y};
  };
  for (const score::BullPlace& bull : places) {
    target.bulls.push_back(place(bull.xMm * pxPerMm, bull.yMm * pxPerMm));
  }
  const Colour paper = {random.Uniform(228, 246), random.Uniform(222, 240),
                        random.Uniform(200, 226)};

  target.picture = Picture(width, height, 0);
  const RadialInk ink(face, pxPerMm);
  // Bulls do not overlap: each pixel takes the ink of the nearest.
  for (int y = 0; y < height; ++y) {
    std::uint32_t* row = target.picture.Row(y);
    for (int x = 0; x < width; ++x) {
      double nearest = std::numeric_limits<double>::infinity();
      for (const FaceTarget::Centre& bull : target.bulls) {
        nearest = std::min(nearest, view.CardDistance(x - bull.x, y - bull.y));
      }
      row[x] = Pack(Mix(paper, kInk, ink.At(nearest)));
    }
  }

  for (const FaceTarget::Centre& bull : target.bulls) {
    if (!options.numbers) break;
    for (int ring = face.lowestRing; ring <= 8; ++ring) {
      const double middle =
          (face.RingDiameterMm(ring) + face.RingDiameterMm(ring + 1)) / 4 * pxPerMm;
      // By the figure's place, not by the ring's diameter, which may equal the black's only to
      // within rounding (an inch face's black on a ring).
      const bool inBlack = middle < face.blackDiameterMm / 2 * pxPerMm;
      const double height = 0.55 * face.ringWidthMm * pxPerMm;
      for (int axis = 0; axis < 4; ++axis) {
        const double angle = axis * std::numbers::pi / 2;
        DrawDigit(target.picture, ring, bull.x + middle * std::cos(angle),
                  bull.y + middle * std::sin(angle), height, inBlack ? paper : kInk);
      }
    }
  }

  for (const ShotMark& mark : options.shots) {
    if (mark.bull < 0 || static_cast<std::size_t>(mark.bull) >= target.bulls.size())
      throw std::invalid_argument("a shot on a bull the picture does not have");
    const FaceTarget::Centre& bull = target.bulls[static_cast<std::size_t>(mark.bull)];
    const auto [dx, dy] = view.OnPicture(mark.xMm * pxPerMm, mark.yMm * pxPerMm);
    target.shots.push_back({bull.x + dx, bull.y + dy, mark.look});
  }
  const HoleLook randomLook = options.darkEdgeShots ? HoleLook::Dark : HoleLook::Light;
  const double holeRadiusPx = options.calibreMm / 2 * pxPerMm;
  for (int i = 0; i < options.edgeShots; ++i) {
    const double angle = random.Uniform(0, 2 * std::numbers::pi);
    const double radius = ink.BlackPx() + random.Uniform(-0.7, 0.7) * holeRadiusPx;
    const FaceTarget::Centre at = place(radius * std::cos(angle), radius * std::sin(angle));
    target.shots.push_back({at.x, at.y, randomLook});
  }
  const double ringOnePx = face.OuterDiameterMm() / 2 * pxPerMm;
  for (int i = 0; i < options.scatterShots; ++i) {
    const double angle = random.Uniform(0, 2 * std::numbers::pi);
    const double radius = ringOnePx * std::sqrt(random.Unit());
    const FaceTarget::Centre at = place(radius * std::cos(angle), radius * std::sin(angle));
    target.shots.push_back({at.x, at.y, randomLook});
  }
  const double grey = std::clamp(options.backingGrey, 0, 255);
  for (const FaceTarget::Shot& shot : target.shots) {
    const Colour backing = options.backingGrey >= 0 ? Colour{grey, grey, grey}
                           : shot.look == HoleLook::Light ? kLightHole
                                                          : kDarkHole;
    DrawHole(target.picture, shot.x, shot.y, holeRadiusPx, backing, view);
  }

  if (options.lidMm > 0) {
    // The card lies on the scanner's glass under a dark lid that shows all round it.
    const int lid = static_cast<int>(std::lround(options.lidMm * pxPerMm));
    Picture framed(width + 2 * lid, height + 2 * lid, Rgb(36, 36, 40));
    for (int y = 0; y < height; ++y) {
      std::copy_n(target.picture.Row(y), width, framed.Row(y + lid) + lid);
    }
    target.picture = std::move(framed);
    target.aimX += lid;
    target.aimY += lid;
    for (FaceTarget::Shot& shot : target.shots) {
      shot.x += lid;
      shot.y += lid;
    }
    for (FaceTarget::Centre& bull : target.bulls) {
      bull.x += lid;
      bull.y += lid;
    }
    side += 2 * lid;
    width += 2 * lid;
    height += 2 * lid;
  }
  if (options.blur > 0) Blur(target.picture, options.blur);
  if (options.ramp > 0 || options.noise > 0) {
    // Grain drawn from a table of normal deviates: three per random word instead of three
    // logarithms per pixel.
    std::vector<double> grain(4096);
    for (double& g : grain) g = options.noise * random.Gaussian();
    const double angle = random.Uniform(0, 2 * std::numbers::pi);
    const double ux = std::cos(angle) / (side * std::numbers::sqrt2);
    const double uy = std::sin(angle) / (side * std::numbers::sqrt2);
    for (int y = 0; y < height; ++y) {
      std::uint32_t* row = target.picture.Row(y);
      for (int x = 0; x < width; ++x) {
        // 0 at one corner of the card's diagonal to 1 at the other, whatever the angle (a
        // sheet's longer side taken for both).
        const double along = 0.5 + (x - width / 2.0) * ux + (y - height / 2.0) * uy;
        const double light = 1 - options.ramp * along;
        Colour c = Unpack(row[x]);
        c = {c.r * light, c.g * light, c.b * light};
        if (options.noise > 0) {
          const std::uint64_t bits = random.Next();
          c = {c.r + grain[bits & 4095], c.g + grain[(bits >> 12) & 4095],
               c.b + grain[(bits >> 24) & 4095]};
        }
        row[x] = Pack(c);
      }
    }
  }
  if (options.jpegQuality > 0) JpegQuantise(target.picture, options.jpegQuality);
  return target;
}

#ifdef HOLESCAN_FACEGEN_PNG
namespace {

void PutBig32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFFu);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBig32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.append(type, 4);
  out += data;
  PutBig32(out, libdeflate_crc32(0, out.data() + start, data.size() + 4));
}

// The PNG filter of one row (1 sub, 2 up, 4 Paeth; 0 none) applied to `row` against `above`.
void Filter(int kind, const std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& above,
            std::size_t step, std::uint8_t* out) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    const int a = i >= step ? row[i - step] : 0;
    const int b = above[i];
    const int c = i >= step ? above[i - step] : 0;
    int predicted = 0;
    if (kind == 1) predicted = a;
    if (kind == 2) predicted = b;
    if (kind == 4) {
      const int p = a + b - c;
      const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      predicted = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
    }
    out[i] = static_cast<std::uint8_t>(row[i] - predicted);
  }
}

}  // namespace

bool WritePng(const Picture& picture, double dpi, const std::string& path) {
  const auto width = static_cast<std::size_t>(picture.Width());
  const auto height = static_cast<std::size_t>(picture.Height());
  bool grey = true;
  for (int y = 0; y < picture.Height() && grey; ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const std::uint32_t p = picture.At(x, y);
      if (((p >> 16) & 0xFFu) != (p & 0xFFu) || ((p >> 8) & 0xFFu) != (p & 0xFFu)) {
        grey = false;
        break;
      }
    }
  }
  const std::size_t step = grey ? 1 : 3;
  const std::size_t rowBytes = width * step;
  // Each row with the filter that leaves the smallest sum of differences, the usual choice.
  std::vector<std::uint8_t> filtered((rowBytes + 1) * height);
  std::vector<std::uint8_t> above(rowBytes, 0), row(rowBytes), trial(rowBytes);
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint32_t p = picture.At(static_cast<int>(x), static_cast<int>(y));
      if (grey) {
        row[x] = static_cast<std::uint8_t>(p);
      } else {
        row[3 * x] = static_cast<std::uint8_t>(p >> 16);
        row[3 * x + 1] = static_cast<std::uint8_t>(p >> 8);
        row[3 * x + 2] = static_cast<std::uint8_t>(p);
      }
    }
    std::uint8_t* out = filtered.data() + y * (rowBytes + 1);
    long best = -1;
    for (const int kind : {0, 1, 2, 4}) {
      Filter(kind, row, above, step, trial.data());
      long cost = 0;
      for (const std::uint8_t v : trial) cost += v < 128 ? v : 256 - v;
      if (best < 0 || cost < best) {
        best = cost;
        out[0] = static_cast<std::uint8_t>(kind);
        std::copy(trial.begin(), trial.end(), out + 1);
      }
    }
    std::swap(above, row);
  }
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(12);
  if (compressor == nullptr) throw std::bad_alloc();
  std::string stream(libdeflate_zlib_compress_bound(compressor, filtered.size()), '\0');
  stream.resize(libdeflate_zlib_compress(compressor, filtered.data(), filtered.size(),
                                         stream.data(), stream.size()));
  libdeflate_free_compressor(compressor);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBig32(header, static_cast<std::uint32_t>(width));
  PutBig32(header, static_cast<std::uint32_t>(height));
  header += std::string{8, static_cast<char>(grey ? 0 : 2), 0, 0, 0};
  PutChunk(png, "IHDR", header);
  if (dpi > 0) {
    std::string physical;
    const auto perMetre = static_cast<std::uint32_t>(std::lround(dpi / 0.0254));
    PutBig32(physical, perMetre);
    PutBig32(physical, perMetre);
    physical += '\x01';  // metres
    PutChunk(png, "pHYs", physical);
  }
  PutChunk(png, "IDAT", stream);
  PutChunk(png, "IEND", "");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  out.close();
  return static_cast<bool>(out);
}
#endif

}  // namespace holescan::facegen
