// shots.cpp - the calibrated analysis; shots.h describes the algorithm and its limits.
#include "shots/shots.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace holescan::shots {
namespace {

// A hole is analysed at a scale where it is at least this many working pixels across: enough
// to tell a disc from a stroke, few enough that a 600-ppi page costs little.
constexpr double kWorkDiameter = 16;
constexpr double kMinWorkPixelBound = 4e6;
// The paper's level is the brightest level within this many calibres: wider than a black
// aiming mark is deep, narrow enough that a lighting ramp barely moves within it.
constexpr double kLevelWindowCalibres = 10;
// Cells of paper differ from the brightest paper cell around them by less than this many grey
// levels: shading across the level window, the noise of a cell's mean.
constexpr int kPaperCellSpread = 20;
// A shot's edge points stray from their circle by at most this share of its radius (root mean
// square).
constexpr double kMaxEdgeSpread = 0.15;
// or, where light gaps in the region were filled, this, with at least this share of the edge
// points found on the circle: the straight sides of a 0 fit a circle well, its ends do not.
constexpr double kMaxFilledEdgeSpread = 0.06;
constexpr double kMinFilledEdgeKept = 0.75;
// Regions longer than this many calibres are print (a border, a bar, a ring), or holes
// touching print: those are the parts that still hold a disc of twice this radius.
constexpr double kMaxRegionSpan = 4.5;
constexpr double kTouchingPrintRadius = 0.3;
// Breaks in a torn rim up to twice this (in calibres) are closed.
constexpr double kRimBreakRadius = 0.12;
constexpr double kWideBreakRadius = 0.2;
// Two shots closer than this (in calibres) are one.
constexpr double kMinShotDistance = 0.4;
// A shot's circle must show as outline over at least this share of its length: half of it
// shows for each hole of a tight triple.
constexpr double kMinArc = 0.35;
// Thin printing: strokes narrower than twice this (in calibres) are removed.
constexpr double kThinRadius = 0.2;
// Printed areas holding a disc of twice this radius (in calibres) are print, not holes.
constexpr double kWideRadius = 0.75;
// A shot's disc must be covered at least this much by its region. A dark hole may be torn
// smaller than the calibre or lose its fibres to the threshold; a light hole is print punched
// clean, though a little under the calibre.
constexpr double kMinDarkCoverage = 0.75;
constexpr double kMinLightCoverage = 0.8;
// A curved white gap shows less of a circle as outline (0.4 to 0.5) than a hole alone (0.85)
// or in a pair (0.65); a light shot needs outline and coverage together.
constexpr double kMinLightScore = 1.4;
constexpr double kMaxLightAreaPerDisc = 1.3;
// A light hole across the edge of an aiming mark shows only in the mark: at least this share of
// its disc, with print round at least this share of the ring about it.
constexpr double kMinVisible = 0.35;
constexpr double kMinPrintedRing = 0.3;
// An aiming mark is at least this many discs large, and fills this share of its convex hull but
// for the notches holes cut in it.
constexpr double kMinMarkDiscs = 6;
// A light hole on paper is lighter than the paper around it by at least this many grey levels.
constexpr double kMinLightOnPaper = 15;
constexpr double kMaxMarkHullShare = 1.25;

using Mask = cv::Mat;  // CV_8U, 255 inside

struct Frame {
  Region region;
  int scale = 1;
  double diameter = 0;  // of a hole, in working pixels
  cv::Mat hi;           // CV_8U box mean of every pixel's brightest channel
  cv::Mat lo;           // CV_8U box mean of every pixel's darkest channel
  cv::Mat paperHi;      // the paper's local level in hi
  cv::Mat paperLo;      // the paper's local level in lo
};

struct Candidate {
  double u = 0, v = 0;  // working pixels
  double coverage = 0;
  double contrast = 0;
  double inside = 0, outside = 0;  // channel levels of the hole and what surrounds it
  double filled = 0;               // share of the disc that is a light gap filled in the region
  HoleLook look = HoleLook::Dark;
};

struct Spread {
  double median = 0;
  double sigma = 0;
  double high = 0;  // 99.95th percentile
};

Region Clip(const PictureView& picture, std::optional<Region> wanted) {
  Region r = wanted.value_or(Region{0, 0, picture.width, picture.height});
  r.left = std::clamp(r.left, 0, picture.width);
  r.right = std::clamp(r.right, r.left, picture.width);
  r.top = std::clamp(r.top, 0, picture.height);
  r.bottom = std::clamp(r.bottom, r.top, picture.height);
  return r;
}

bool Continue(const Progress& progress, double fraction) {
  return !progress || progress(fraction);
}

// Box means at the working scale, one pass over the picture's rows.
bool Reduce(const PictureView& picture, Frame& f, const Progress& progress) {
  const Region& r = f.region;
  const int s = f.scale;
  const int w = (r.right - r.left + s - 1) / s;
  const int h = (r.bottom - r.top + s - 1) / s;
  f.hi.create(h, w, CV_8U);
  f.lo.create(h, w, CV_8U);
  std::vector<std::uint32_t> sumHi(static_cast<std::size_t>(w));
  std::vector<std::uint32_t> sumLo(static_cast<std::size_t>(w));
  const int reportEvery = std::max(1, h / 32);
  for (int v = 0; v < h; ++v) {
    std::fill(sumHi.begin(), sumHi.end(), 0u);
    std::fill(sumLo.begin(), sumLo.end(), 0u);
    const int y0 = r.top + v * s;
    const int y1 = std::min(y0 + s, r.bottom);
    for (int y = y0; y < y1; ++y) {
      const std::uint32_t* row = picture.Row(y);
      for (int u = 0; u < w; ++u) {
        const int x0 = r.left + u * s;
        const int x1 = std::min(x0 + s, r.right);
        std::uint32_t hi = 0;
        std::uint32_t lo = 0;
        for (int x = x0; x < x1; ++x) {
          const std::uint32_t p = row[x];
          const std::uint32_t red = (p >> 16) & 0xFFu;
          const std::uint32_t green = (p >> 8) & 0xFFu;
          const std::uint32_t blue = p & 0xFFu;
          hi += std::max({red, green, blue});
          lo += std::min({red, green, blue});
        }
        sumHi[static_cast<std::size_t>(u)] += hi;
        sumLo[static_cast<std::size_t>(u)] += lo;
      }
    }
    auto* hiRow = f.hi.ptr<std::uint8_t>(v);
    auto* loRow = f.lo.ptr<std::uint8_t>(v);
    for (int u = 0; u < w; ++u) {
      const int x0 = r.left + u * s;
      const auto count = static_cast<std::uint32_t>((std::min(x0 + s, r.right) - x0) * (y1 - y0));
      hiRow[u] =
          static_cast<std::uint8_t>((sumHi[static_cast<std::size_t>(u)] + count / 2) / count);
      loRow[u] =
          static_cast<std::uint8_t>((sumLo[static_cast<std::size_t>(u)] + count / 2) / count);
    }
    if (v % reportEvery == 0 && !Continue(progress, 0.5 * v / h)) return false;
  }
  return true;
}

// The level of a cell of paper: the 90th percentile of its pixels, so that the printing of
// a dense target (rings every calibre or so) does not pull it down as it would a mean.
std::uint8_t CellLevel(const cv::Mat& cell) {
  std::array<int, 256> histogram{};
  for (int v = 0; v < cell.rows; ++v) {
    const auto* row = cell.ptr<std::uint8_t>(v);
    for (int u = 0; u < cell.cols; ++u) ++histogram[row[u]];
  }
  const int wanted = cell.rows * cell.cols / 10;
  int above = 0;
  for (int level = 255; level > 0; --level) {
    above += histogram[static_cast<std::size_t>(level)];
    if (above > wanted) return static_cast<std::uint8_t>(level);
  }
  return 0;
}

// The paper's level: smooth, unmoved by holes, print or a shadow, and following shading. The
// picture is taken in cells of an eighth of `window`; the brightest cell within `window` is
// paper, and so is every cell nearly as bright. A cell's level is the brightest paper cell
// next to it, so a lighting ramp is followed within a few calibres; deep inside print wider
// than that (an aiming mark) it is the brightest paper within `window`.
cv::Mat UpperEnvelope(const cv::Mat& image, double window) {
  const int cell = std::max(1, static_cast<int>(std::lround(window / 8)));
  const cv::Size small((image.cols + cell - 1) / cell, (image.rows + cell - 1) / cell);
  cv::Mat reduced(small, CV_8U);
  for (int cy = 0; cy < small.height; ++cy) {
    for (int cx = 0; cx < small.width; ++cx) {
      const cv::Rect box(cx * cell, cy * cell, std::min(cell, image.cols - cx * cell),
                         std::min(cell, image.rows - cy * cell));
      reduced.at<std::uint8_t>(cy, cx) = CellLevel(image(box));
    }
  }
  cv::Mat far;
  cv::dilate(reduced, far, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(9, 9)));
  cv::Mat paper;
  cv::subtract(far, cv::Scalar(kPaperCellSpread), paper);
  paper = reduced >= paper;
  cv::Mat near = cv::Mat::zeros(reduced.size(), CV_8U);
  reduced.copyTo(near, paper);
  cv::dilate(near, near, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3)));
  cv::Mat envelope = far.clone();
  near.copyTo(envelope, near > 0);
  cv::blur(envelope, envelope, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
  cv::Mat out;
  cv::resize(envelope, out, image.size(), 0, 0, cv::INTER_LINEAR);
  return out;
}

// The paper's level and noise in paper - image: the most common value, and the spread of the
// values on its light side (1.4826 median deviations). Print, holes and shadows all lie on
// the dark side, however much of the picture they cover, so only the paper's own noise and
// shading widen the light side.
Spread ContrastSpread(const cv::Mat& paper, const cv::Mat& image) {
  std::array<std::uint64_t, 511> histogram{};
  std::uint64_t count = 0;
  for (int v = 0; v < image.rows; ++v) {
    const auto* p = paper.ptr<std::uint8_t>(v);
    const auto* q = image.ptr<std::uint8_t>(v);
    for (int u = 0; u < image.cols; ++u) ++histogram[static_cast<std::size_t>(p[u] - q[u] + 255)];
    count += static_cast<std::uint64_t>(image.cols);
  }
  Spread spread;
  if (count == 0) return spread;
  std::size_t mode = 0;
  for (std::size_t i = 1; i < histogram.size(); ++i) {
    if (histogram[i] > histogram[mode]) mode = i;
  }
  std::uint64_t lightSide = 0;
  for (std::size_t i = 0; i <= mode; ++i) lightSide += histogram[i];
  std::uint64_t seen = 0;
  std::size_t deviation = 0;
  while (deviation < mode && 2 * (seen + histogram[mode - deviation]) < lightSide) {
    seen += histogram[mode - deviation];
    ++deviation;
  }
  std::uint64_t below = 0;
  std::size_t high = 0;
  while (high + 1 < histogram.size() &&
         static_cast<double>(below + histogram[high]) < 0.9995 * static_cast<double>(count)) {
    below += histogram[high];
    ++high;
  }
  spread.median = static_cast<double>(mode) - 255;
  spread.sigma = std::max(0.5, 1.4826 * static_cast<double>(deviation));
  spread.high = static_cast<double>(high) - 255;
  return spread;
}

// Binary morphology by discs. Small discs go through OpenCV's erosion and dilation with the
// disc itself; large ones through the distance transform (chamfer 5x5), whose cost does not
// grow with the radius.
constexpr double kLargeRadius = 6;

cv::Mat DiscElement(double radius) {
  const int size = 2 * static_cast<int>(std::lround(radius)) + 1;
  return cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(size, size));
}
// Beyond this radius the disc's edge is coarse anyway: the transform runs on a mask of half
// the size, which costs a quarter.
constexpr double kCoarseRadius = 12;

Mask Erode(const Mask& mask, double radius);
Mask Dilate(const Mask& mask, double radius);

Mask AtHalfSize(const Mask& mask, double radius, Mask (*operation)(const Mask&, double)) {
  Mask half;
  cv::resize(mask, half, cv::Size((mask.cols + 1) / 2, (mask.rows + 1) / 2), 0, 0, cv::INTER_AREA);
  half = operation(half >= 128, radius / 2);
  Mask out;
  cv::resize(half, out, mask.size(), 0, 0, cv::INTER_NEAREST);
  return out;
}

Mask Erode(const Mask& mask, double radius) {
  if (radius > kCoarseRadius) return AtHalfSize(mask, radius, Erode);
  if (radius <= kLargeRadius) {
    Mask out;
    cv::erode(mask, out, DiscElement(radius), cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    return out;
  }
  cv::Mat distance;
  cv::distanceTransform(mask, distance, cv::DIST_L2, cv::DIST_MASK_5, CV_32F);
  return distance > radius;
}
Mask Dilate(const Mask& mask, double radius) {
  if (radius > kCoarseRadius) return AtHalfSize(mask, radius, Dilate);
  if (radius <= kLargeRadius) {
    Mask out;
    cv::dilate(mask, out, DiscElement(radius), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, 0);
    return out;
  }
  cv::Mat distance;
  cv::distanceTransform(mask == 0, distance, cv::DIST_L2, cv::DIST_MASK_5, CV_32F);
  return distance <= radius;
}
Mask Open(const Mask& mask, double radius) {
  return Dilate(Erode(mask, radius), radius) & mask;
}
Mask Close(const Mask& mask, double radius) {
  return Erode(Dilate(mask, radius), radius) | mask;
}

// Fills the enclosed gaps of the mask smaller than maxArea pixels: the light centre of a
// torn hole, a fibre across it. Gaps are the holes of the mask's outlines, so only outline
// pixels are visited; a gap's area is that of its outline's polygon.
void FillSmallGaps(Mask& mask, double maxArea) {
  std::vector<std::vector<cv::Point>> outlines;
  std::vector<cv::Vec4i> hierarchy;
  cv::findContours(mask, outlines, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
  for (std::size_t i = 0; i < outlines.size(); ++i) {
    if (hierarchy[i][3] >= 0 && cv::contourArea(outlines[i]) <= maxArea) {
      cv::drawContours(mask, outlines, static_cast<int>(i), cv::Scalar(255), cv::FILLED);
    }
  }
}

// Disc centres in every region of the mask that could be holes. The region's outline votes:
// every edge pixel for the points about a radius inside it along its normal, so each arc of a
// hole, even the part left of it in a tight triple, votes for that hole's own centre, while
// the middle of a cluster or a straight edge gets no agreeing votes. A peak is a shot where
// enough of its circle shows as outline and the disc lies in the region.
//
// Where `visible` is given, a hole may show only where it is set (a light hole across the edge
// of an aiming mark shows only in the mark): the disc's coverage is taken over its visible
// part, which must be at least kMinVisible of it.
std::vector<Candidate> DiscsInRegions(const Mask& mask, double d, HoleLook look,
                                      const Mask* visible = nullptr) {
  std::vector<Candidate> out;
  cv::Mat labels, stats, centroids;
  const int n = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8, CV_32S);
  const double discArea = std::numbers::pi * d * d / 4;
  const double minCoverage = look == HoleLook::Light ? kMinLightCoverage : kMinDarkCoverage;
  const int margin = static_cast<int>(std::ceil(0.7 * d)) + 2;
  const double blur = std::max(0.8, 0.05 * d);
  struct Piece {
    Mask mask;  // the piece in its box
    int left, top, area;
    Mask visible;  // where a hole shows, in the same box; empty when everywhere
  };
  std::vector<Piece> pieces;
  Mask longRegions = Mask::zeros(mask.size(), CV_8U);
  // Regions to analyse in their boxes, widened so the votes and the coverage fit inside.
  auto collect = [&](const cv::Mat& labelled, const cv::Mat& statistics, int count, bool keepLong) {
    for (int i = 1; i < count; ++i) {
      const int area = statistics.at<int>(i, cv::CC_STAT_AREA);
      const int x = statistics.at<int>(i, cv::CC_STAT_LEFT);
      const int y = statistics.at<int>(i, cv::CC_STAT_TOP);
      const int width = statistics.at<int>(i, cv::CC_STAT_WIDTH);
      const int height = statistics.at<int>(i, cv::CC_STAT_HEIGHT);
      if (area < 0.35 * discArea) continue;  // a speck
      if (std::max(width, height) > kMaxRegionSpan * d) {
        if (keepLong)
          longRegions(cv::Rect(x, y, width, height)) |=
              labelled(cv::Rect(x, y, width, height)) == i;
        continue;
      }
      const int left = std::max(0, x - margin);
      const int top = std::max(0, y - margin);
      const cv::Rect box(left, top, std::min(mask.cols, x + width + margin) - left,
                         std::min(mask.rows, y + height + margin) - top);
      pieces.push_back(
          {labelled(box) == i, left, top, area, visible ? (*visible)(box).clone() : Mask()});
    }
  };
  collect(labels, stats, n, true);
  // Long print (a ring, a line, a border) that holes touch: the holes are the parts of it
  // wide enough to hold a good part of a disc; whatever is still long is print.
  if (cv::countNonZero(longRegions) > 0) {
    cv::Mat parts, partStats, partCentroids;
    const int m = cv::connectedComponentsWithStats(Open(longRegions, kTouchingPrintRadius * d),
                                                   parts, partStats, partCentroids, 8, CV_32S);
    collect(parts, partStats, m, false);
  }
  for (const Piece& job : pieces) {
    {
      const Mask& piece = job.mask;
      const int left = job.left;
      const int top = job.top;
      const int area = job.area;
      cv::Mat region;
      piece.convertTo(region, CV_32F, 1.0 / 255);
      cv::Mat smooth, gx, gy;
      cv::GaussianBlur(region, smooth, cv::Size(0, 0), blur);
      cv::Sobel(smooth, gx, CV_32F, 1, 0, 3, 0.125);
      cv::Sobel(smooth, gy, CV_32F, 0, 1, 3, 0.125);
      struct Edge {
        float x, y, nx, ny, weight;
      };
      std::vector<Edge> edges;
      cv::Mat votes(region.size(), CV_32F, cv::Scalar(0));
      for (int v = 0; v < region.rows; ++v) {
        for (int u = 0; u < region.cols; ++u) {
          const float ex = gx.at<float>(v, u);
          const float ey = gy.at<float>(v, u);
          const float g = std::hypot(ex, ey);
          if (g < 0.02f) continue;
          const Edge e{static_cast<float>(u), static_cast<float>(v), ex / g, ey / g, g};
          edges.push_back(e);
          for (double share : {0.42, 0.47, 0.52, 0.57}) {
            const int tu = static_cast<int>(std::lround(u + share * d * e.nx));
            const int tv = static_cast<int>(std::lround(v + share * d * e.ny));
            if (tu >= 0 && tv >= 0 && tu < votes.cols && tv < votes.rows) {
              votes.at<float>(tv, tu) += g;
            }
          }
        }
      }
      cv::GaussianBlur(votes, votes, cv::Size(0, 0), std::max(1.0, 0.06 * d));
      cv::Mat neighbourhoodMax;
      cv::dilate(votes, neighbourhoodMax, cv::Mat());
      struct Peak {
        float value;
        int u, v;
      };
      std::vector<Peak> peaks;
      for (int v = 0; v < votes.rows; ++v) {
        const float* c = votes.ptr<float>(v);
        const float* m = neighbourhoodMax.ptr<float>(v);
        for (int u = 0; u < votes.cols; ++u) {
          if (c[u] > 0 && c[u] >= m[u]) peaks.push_back({c[u], u, v});
        }
      }
      std::stable_sort(peaks.begin(), peaks.end(),
                       [](const Peak& a, const Peak& b) { return a.value > b.value; });
      std::vector<Candidate> kept;
      for (const Peak& p : peaks) {
        bool near = false;
        for (const Candidate& k : kept) {
          near = near || std::hypot(k.u - (p.u + left), k.v - (p.v + top)) < kMinShotDistance * d;
        }
        if (near) continue;
        // How much of the circle shows as outline facing this centre.
        double arc = 0;
        for (const Edge& e : edges) {
          const double dx = static_cast<double>(p.u) - e.x;
          const double dy = static_cast<double>(p.v) - e.y;
          const double r = std::hypot(dx, dy);
          if (r >= 0.38 * d && r <= 0.62 * d && (dx * e.nx + dy * e.ny) > 0.8 * r) arc += e.weight;
        }
        arc /= std::numbers::pi * d;
        if (arc < kMinArc) continue;
        double inside = 0, all = 0, disc = 0;
        const int reach = static_cast<int>(std::ceil(d / 2));
        for (int v = std::max(0, p.v - reach); v <= std::min(region.rows - 1, p.v + reach); ++v) {
          for (int u = std::max(0, p.u - reach); u <= std::min(region.cols - 1, p.u + reach); ++u) {
            if ((u - p.u) * (u - p.u) + (v - p.v) * (v - p.v) <= d * d / 4) {
              disc += 1;
              if (!job.visible.empty() && job.visible.at<std::uint8_t>(v, u) == 0) continue;
              all += 1;
              inside += region.at<float>(v, u);
            }
          }
        }
        if (all == 0 || all < kMinVisible * disc || inside / all < minCoverage) continue;
        // Of a hole across a mark's edge only the visible part's outline can show.
        if (look == HoleLook::Light && arc * disc / all + inside / all < kMinLightScore) continue;
        Candidate candidate;
        candidate.u = p.u + left;
        candidate.v = p.v + top;
        candidate.coverage = arc;
        candidate.look = look;
        kept.push_back(candidate);
        if (kept.size() > 4 * static_cast<std::size_t>(area / discArea + 1)) break;
      }
      // Light holes are punched clean: their region is their discs. A light region larger
      // than its discs is paper that print happens to surround.
      if (look == HoleLook::Light &&
          cv::countNonZero(piece) >
              kMaxLightAreaPerDisc * discArea * static_cast<double>(kept.size())) {
        continue;
      }
      out.insert(out.end(), kept.begin(), kept.end());
    }
  }
  return out;
}

// Values of `image` in the ring rMin <= distance <= rMax around (u, v).
std::vector<int> RingValues(const cv::Mat& image, double u, double v, double rMin, double rMax) {
  std::vector<int> values;
  const int u0 = std::max(0, static_cast<int>(std::floor(u - rMax)));
  const int u1 = std::min(image.cols - 1, static_cast<int>(std::ceil(u + rMax)));
  const int v0 = std::max(0, static_cast<int>(std::floor(v - rMax)));
  const int v1 = std::min(image.rows - 1, static_cast<int>(std::ceil(v + rMax)));
  for (int y = v0; y <= v1; ++y) {
    const auto* row = image.ptr<std::uint8_t>(y);
    for (int x = u0; x <= u1; ++x) {
      const double r2 = (x - u) * (x - u) + (y - v) * (y - v);
      if (r2 >= rMin * rMin && r2 <= rMax * rMax) values.push_back(row[x]);
    }
  }
  return values;
}

double Quantile(std::vector<int> values, double q) {
  if (values.empty()) return 0;
  const auto k = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

struct Thresholds {
  Levels levels;
  double minLightContrast = 0;
  double darkRange = 0;  // contrast of the darkest pixels
};

// Dark holes. The dark mask at the paper's noise threshold decides what is print too wide to
// be a hole (an aiming mark, a border); a hole touching print of a middling darkness (a navy
// ring, a grey bar) is one region with it at that threshold, so the regions are also taken at
// thresholds between paper and the darkest holes, where such print has gone and the hole
// stands alone.
std::vector<Candidate> DarkCandidates(const Frame& f, const Thresholds& t) {
  const double d = f.diameter;
  const double discArea = std::numbers::pi * d * d / 4;
  cv::Mat contrast;
  cv::subtract(f.paperHi, f.hi, contrast);
  // Coloured ink (a blue ring) is dark in no channel a hole is dark in: a hole shows a grey
  // backing or torn paper, so a pixel much more colourful than it is dark is print.
  cv::Mat chroma;
  cv::subtract(f.hi, f.lo, chroma);
  const Mask neutral = chroma < cv::max(contrast * 0.6, 40.0);
  // Neither thin light lines inside dark print (the white rings of an aiming mark) nor light
  // holes in it, even a triple, make the print narrow. Thin print goes first, so that the
  // paper between dense rings is never taken for such a gap.
  Mask solid =
      Close(Open((contrast > t.levels.darkThreshold) & neutral, kThinRadius * d), kThinRadius * d);
  FillSmallGaps(solid, 3.5 * discArea);
  const Mask print = Dilate(Open(solid, kWideRadius * d), 1.5);

  std::vector<double> thresholds{t.levels.darkThreshold};
  for (double share : {0.4, 0.65}) {
    const double level = share * t.darkRange;
    if (level > thresholds.back() + 10) thresholds.push_back(level);
  }
  std::vector<Candidate> found;
  for (double threshold : thresholds) {
    // A torn rim round a light centre may be broken in a place or two: its centre is filled
    // as if the breaks were not there (but the breaks stay, so no hole is joined to print).
    const Mask raw = (contrast > threshold) & neutral;
    const Mask bridged = Close(raw, kRimBreakRadius * d);
    Mask centres = bridged.clone();
    FillSmallGaps(centres, 0.7 * discArea);
    Mask mask = raw.clone();
    FillSmallGaps(mask, 0.7 * discArea);
    mask |= centres & ~bridged;
    std::vector<Candidate> level =
        DiscsInRegions(Open(mask & ~print, kThinRadius * d), d, HoleLook::Dark);
    const Mask gaps = mask & ~raw;
    for (Candidate& c : level) {
      const std::vector<int> disc = RingValues(gaps, c.u, c.v, 0, 0.45 * d);
      c.filled = disc.empty() ? 0
                              : static_cast<double>(std::count(disc.begin(), disc.end(), 255)) /
                                    static_cast<double>(disc.size());
    }
    found.insert(found.end(), level.begin(), level.end());
  }
  {
    // Torn rims round a light centre with wider breaks: their centres filled as if the
    // breaks were closed. Only where nothing was found already, and only if the edge then
    // keeps to a circle as strictly as a filled region must.
    const Mask raw = (contrast > thresholds.front()) & neutral;
    Mask centres = Close(raw, kWideBreakRadius * d);
    FillSmallGaps(centres, 0.7 * discArea);
    Mask mask = raw.clone();
    FillSmallGaps(mask, 0.7 * discArea);
    mask |= Erode(centres, kWideBreakRadius * d);
    const std::size_t before = found.size();
    for (Candidate& c : DiscsInRegions(Open(mask & ~print, kThinRadius * d), d, HoleLook::Dark)) {
      bool near = false;
      for (std::size_t i = 0; i < before; ++i) {
        near = near || std::hypot(found[i].u - c.u, found[i].v - c.v) < kMinShotDistance * d;
      }
      if (near) continue;
      c.filled = 1;
      found.push_back(c);
    }
  }
  std::vector<Candidate> kept;
  for (Candidate& c : found) {
    const int paper = f.paperHi.at<std::uint8_t>(static_cast<int>(std::lround(c.v)),
                                                 static_cast<int>(std::lround(c.u)));
    const double dark = Quantile(RingValues(f.hi, c.u, c.v, 0, 0.45 * d), 0.3);
    c.outside = paper;
    c.inside = dark;
    c.contrast = paper - dark;
    // A hole shows the backing or torn paper, both about grey; a dark area in a colour of
    // its own (a bull printed in blue) is print.
    const double brightest = Quantile(RingValues(f.hi, c.u, c.v, 0, 0.35 * d), 0.5);
    const double darkest = Quantile(RingValues(f.lo, c.u, c.v, 0, 0.35 * d), 0.5);
    if (c.contrast >= t.levels.minShotContrast && brightest - darkest <= 0.5 * c.contrast) {
      kept.push_back(c);
    }
  }
  return kept;
}

struct Circle {
  double x = 0, y = 0, r = 0;
  double spread = 0;  // root mean square distance of the edge points from it, over r
  double kept = 0;    // share of the edge points found that lie on it
};

std::optional<Circle> FitCircle(const std::vector<cv::Point2d>& points) {
  if (points.size() < 3) return std::nullopt;
  // Algebraic fit of x^2 + y^2 + a x + b y + c = 0 about the points' mean, for conditioning.
  double mx = 0, my = 0;
  for (const auto& p : points) {
    mx += p.x;
    my += p.y;
  }
  mx /= static_cast<double>(points.size());
  my /= static_cast<double>(points.size());
  cv::Matx33d a = cv::Matx33d::zeros();
  cv::Vec3d b(0, 0, 0);
  for (const auto& p : points) {
    const double x = p.x - mx;
    const double y = p.y - my;
    const cv::Vec3d row(x, y, 1);
    const double z = -(x * x + y * y);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) a(i, j) += row[i] * row[j];
      b[i] += row[i] * z;
    }
  }
  cv::Vec3d solution;
  if (!cv::solve(a, b, solution, cv::DECOMP_CHOLESKY)) return std::nullopt;
  Circle c;
  c.x = -solution[0] / 2;
  c.y = -solution[1] / 2;
  const double r2 = c.x * c.x + c.y * c.y - solution[2];
  if (!(r2 > 0)) return std::nullopt;
  c.r = std::sqrt(r2);
  c.x += mx;
  c.y += my;
  return c;
}

// The enclosing circles or convex hulls of the regions of wide print at least a few discs large
// that nearly fill them: an aiming mark with the notches of holes across its edge filled in,
// not a border or the paper a ring of print surrounds.
Mask MarkHulls(const Mask& wide, double d) {
  Mask out = Mask::zeros(wide.size(), CV_8U);
  std::vector<std::vector<cv::Point>> outlines;
  std::vector<cv::Vec4i> hierarchy;
  cv::findContours(wide, outlines, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_NONE);
  const double discArea = std::numbers::pi * d * d / 4;
  // The print's own area, less the paper it surrounds: a printed ring is no mark.
  std::vector<double> areas(outlines.size(), 0);
  for (std::size_t i = 0; i < outlines.size(); ++i) {
    const int parent = hierarchy[i][3];
    const double area = cv::contourArea(outlines[i]);
    if (parent < 0) {
      areas[i] += area;
    } else {
      areas[static_cast<std::size_t>(parent)] -= area;
    }
  }
  for (std::size_t i = 0; i < outlines.size(); ++i) {
    if (hierarchy[i][3] >= 0) continue;
    const auto& outline = outlines[i];
    const double area = areas[i];
    if (area < kMinMarkDiscs * discArea) continue;
    // A round mark's notches (light holes) and bumps (dark ones) leave its circle as it was;
    // the hull would cut notches off by their chords and take in the paper beside a bump.
    std::vector<cv::Point2d> points(outline.begin(), outline.end());
    std::optional<Circle> circle = FitCircle(points);
    for (int round = 0; round < 6 && circle; ++round) {
      std::vector<double> residuals;
      for (const auto& p : points) {
        residuals.push_back(std::abs(std::hypot(p.x - circle->x, p.y - circle->y) - circle->r));
      }
      std::vector<double> sorted = residuals;
      std::nth_element(sorted.begin(),
                       sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                       sorted.end());
      const double limit = std::max(1.5, 2.5 * sorted[sorted.size() / 2]);
      std::vector<cv::Point2d> kept;
      for (std::size_t i = 0; i < points.size(); ++i) {
        if (residuals[i] <= limit) kept.push_back(points[i]);
      }
      if (kept.size() < 8) break;
      points = std::move(kept);
      circle = FitCircle(points);
    }
    if (circle && static_cast<double>(points.size()) >= 0.4 * static_cast<double>(outline.size()) &&
        kMaxMarkHullShare * area >= std::numbers::pi * circle->r * circle->r) {
      cv::circle(out,
                 cv::Point(static_cast<int>(std::lround(circle->x)),
                           static_cast<int>(std::lround(circle->y))),
                 // the outline runs through the mark's border pixels, half a pixel inside it
                 static_cast<int>(std::lround(circle->r)) + 1, cv::Scalar(255), cv::FILLED);
      continue;
    }
    std::vector<cv::Point> hull;
    cv::convexHull(outline, hull);
    if (cv::contourArea(hull) > kMaxMarkHullShare * area) continue;
    cv::fillConvexPoly(out, hull, cv::Scalar(255));
  }
  return out;
}

std::vector<Candidate> LightCandidates(const Frame& f, const Thresholds& t) {
  const double d = f.diameter;
  const Mask print = (f.paperLo - f.lo) > t.levels.lightThreshold;
  const Mask widePrint = Open(print, kThinRadius * d);
  const Mask closed = Close(widePrint, kWideRadius * d);
  // Print wide enough to hold a hole with print all round it: an aiming mark, not a line.
  const Mask wide = Open(closed, kWideRadius * d);
  // A hole across the mark's edge leaves a notch in it that the closing does not fill; a mark
  // is round or square, so its convex hull, where it differs little from the mark, is where
  // the mark was printed. On white paper behind a white backing the rest of such a hole does
  // not show at all.
  const Mask hulls = MarkHulls(wide, d);
  const Mask mark = closed | hulls;
  // Near a mark a hole shows only inside it; elsewhere wherever it lies.
  const Mask visible = hulls | ~Dilate(hulls, d);
  const Mask enclosed = mark & ~print;
  const Mask holes = Open(enclosed, kThinRadius * d);
  std::vector<Candidate> found = DiscsInRegions(holes, d, HoleLook::Light, &visible);
  std::vector<Candidate> kept;
  for (Candidate& c : found) {
    // A gap between two printed areas (a white ring between a bull and its ring, paper
    // between lines and a mark) is light too, but only a hole has wide print on nearly every
    // side within the mark.
    const std::vector<int> ring = RingValues(wide, c.u, c.v, 0.65 * d, 0.95 * d);
    const std::vector<int> inMark = RingValues(hulls, c.u, c.v, 0.65 * d, 0.95 * d);
    const auto printed = std::count(ring.begin(), ring.end(), 255);
    auto marked = std::count(inMark.begin(), inMark.end(), 255);
    if (marked == 0) marked = static_cast<std::ptrdiff_t>(ring.size());
    if (ring.empty() || static_cast<double>(printed) < 0.7 * static_cast<double>(marked) ||
        static_cast<double>(printed) < kMinPrintedRing * static_cast<double>(ring.size())) {
      continue;
    }
    // Outside the mark lies paper, as light as the hole: the surround is the print.
    const double light = Quantile(RingValues(f.lo, c.u, c.v, 0, 0.35 * d), 0.5);
    const double surround =
        Quantile(RingValues(f.lo, c.u, c.v, 0.7 * d, 1.0 * d),
                 0.5 * static_cast<double>(printed) / static_cast<double>(ring.size()));
    c.outside = surround;
    c.inside = light;
    c.contrast = light - surround;
    if (c.contrast >= t.minLightContrast) kept.push_back(c);
  }
  return kept;
}

// Light holes on paper a little darker than the backing (a tinted card). The paper's level
// takes the brightest of a cell, which such a hole is, so these are measured against the
// median around them instead, and must be surrounded by even paper, not by print.
std::vector<Candidate> LightOnPaperCandidates(const Frame& f, const Spread& loSpread) {
  const double d = f.diameter;
  const int size = 2 * static_cast<int>(std::lround(1.5 * d)) + 1;
  cv::Mat around;
  cv::medianBlur(f.lo, around, size);
  const double threshold = std::max(6 * loSpread.sigma, kMinLightOnPaper);
  cv::Mat lighter;
  cv::subtract(f.lo, around, lighter);
  const Mask holes = Open(lighter > threshold, kThinRadius * d);
  std::vector<Candidate> kept;
  for (Candidate& c : DiscsInRegions(holes, d, HoleLook::Light)) {
    const std::vector<int> ring = RingValues(f.lo, c.u, c.v, 0.7 * d, 1.0 * d);
    const double surround = Quantile(ring, 0.5);
    const double light = Quantile(RingValues(f.lo, c.u, c.v, 0, 0.35 * d), 0.5);
    c.outside = surround;
    c.inside = light;
    c.contrast = light - surround;
    if (c.contrast >= 1.5 * threshold && Quantile(ring, 0.2) >= surround - 0.5 * threshold) {
      kept.push_back(c);
    }
  }
  return kept;
}

// ---- Full-resolution centres -------------------------------------------------------------

double ChannelAt(const PictureView& picture, double x, double y, bool brightest) {
  const int x0 = static_cast<int>(std::floor(x));
  const int y0 = static_cast<int>(std::floor(y));
  const double fx = x - x0;
  const double fy = y - y0;
  auto value = [&](int i, int j) {
    i = std::clamp(i, 0, picture.width - 1);
    j = std::clamp(j, 0, picture.height - 1);
    const std::uint32_t p = picture.Row(j)[i];
    const std::uint32_t red = (p >> 16) & 0xFFu;
    const std::uint32_t green = (p >> 8) & 0xFFu;
    const std::uint32_t blue = p & 0xFFu;
    return static_cast<double>(brightest ? std::max({red, green, blue})
                                         : std::min({red, green, blue}));
  };
  return (1 - fy) * ((1 - fx) * value(x0, y0) + fx * value(x0 + 1, y0)) +
         fy * ((1 - fx) * value(x0, y0 + 1) + fx * value(x0 + 1, y0 + 1));
}

// The hole's own edge: rays from just inside its neighbours' halves (or 0.75 calibre out)
// walk inward to where the channel crosses halfway between hole and surround; a circle fitted
// to those edge points, twice with the worst points dropped.
std::optional<Circle> EdgeCircle(const PictureView& picture, const Candidate& c, double x, double y,
                                 double diameter, const std::vector<cv::Point2d>& neighbours) {
  const bool dark = c.look == HoleLook::Dark;
  const double threshold = (c.inside + c.outside) / 2;
  auto inside = [&](double value) { return dark ? value < threshold : value > threshold; };
  const int rays =
      std::clamp(static_cast<int>(std::lround(std::numbers::pi * diameter / 2)), 32, 180);
  const double step = std::max(0.5, diameter / 80);
  std::vector<cv::Point2d> points;
  for (int k = 0; k < rays; ++k) {
    const double angle = 2 * std::numbers::pi * k / rays;
    const double dx = std::cos(angle);
    const double dy = std::sin(angle);
    double start = 0.75 * diameter;
    for (const auto& n : neighbours) {
      const double ox = n.x - x;
      const double oy = n.y - y;
      const double along = ox * dx + oy * dy;
      if (along > 0) start = std::min(start, (ox * ox + oy * oy) / (2 * along) - step);
    }
    if (start < 0.3 * diameter) continue;
    const double sx = x + start * dx;
    const double sy = y + start * dy;
    if (sx < 0 || sy < 0 || sx > picture.width - 1 || sy > picture.height - 1) continue;
    double previous = ChannelAt(picture, sx, sy, dark);
    if (inside(previous)) continue;
    for (double r = start - step; r >= 0.2 * diameter; r -= step) {
      const double value = ChannelAt(picture, x + r * dx, y + r * dy, dark);
      if (inside(value)) {
        const double edge = r + step * (threshold - value) / (previous - value);
        points.emplace_back(x + edge * dx, y + edge * dy);
        break;
      }
      previous = value;
    }
  }
  const std::size_t minPoints = static_cast<std::size_t>(std::max(8, rays / 4));
  if (points.size() < minPoints) return std::nullopt;
  const std::size_t found = points.size();
  auto median = [](std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
  };
  // Print touching the hole (a ring, a line) moves some edge points out: first only the points
  // near the typical distance from the start, then the circle of those points, tightened.
  std::vector<double> distances;
  for (const auto& p : points) distances.push_back(std::hypot(p.x - x, p.y - y));
  const double typical = median(distances);
  std::vector<cv::Point2d> near;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (std::abs(distances[i] - typical) <= 0.12 * diameter) near.push_back(points[i]);
  }
  if (near.size() < minPoints) return std::nullopt;
  points = std::move(near);
  std::optional<Circle> circle = FitCircle(points);
  for (int round = 0; round < 3 && circle; ++round) {
    std::vector<double> residuals;
    for (const auto& p : points) {
      residuals.push_back(std::abs(std::hypot(p.x - circle->x, p.y - circle->y) - circle->r));
    }
    const double limit = std::max(0.5, 2.5 * 1.4826 * median(residuals));
    std::vector<cv::Point2d> kept;
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (residuals[i] <= limit) kept.push_back(points[i]);
    }
    if (kept.size() < minPoints) break;
    points = std::move(kept);
    circle = FitCircle(points);
  }
  if (!circle || circle->r < 0.3 * diameter || circle->r > 0.8 * diameter) return std::nullopt;
  circle->kept = static_cast<double>(points.size()) / static_cast<double>(found);
  double sum = 0;
  for (const auto& p : points) {
    const double residual = std::hypot(p.x - circle->x, p.y - circle->y) - circle->r;
    sum += residual * residual;
  }
  circle->spread = std::sqrt(sum / static_cast<double>(points.size())) / circle->r;
  return circle;
}

std::vector<Shot> Refine(const PictureView& picture, const Frame& f,
                         const std::vector<Candidate>& candidates, double diameter) {
  std::vector<cv::Point2d> centres;
  const double s = f.scale;
  for (const Candidate& c : candidates) {
    centres.emplace_back(f.region.left + c.u * s + (s - 1) / 2,
                         f.region.top + c.v * s + (s - 1) / 2);
  }
  const std::vector<cv::Point2d> start = centres;
  std::vector<bool> round(centres.size(), true);
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<cv::Point2d> next = centres;
    for (std::size_t i = 0; i < centres.size(); ++i) {
      std::vector<cv::Point2d> neighbours;
      for (std::size_t j = 0; j < centres.size(); ++j) {
        if (j != i &&
            std::hypot(centres[j].x - centres[i].x, centres[j].y - centres[i].y) < 1.6 * diameter) {
          neighbours.push_back(centres[j]);
        }
      }
      const std::optional<Circle> circle =
          EdgeCircle(picture, candidates[i], centres[i].x, centres[i].y, diameter, neighbours);
      if (circle && std::hypot(circle->x - start[i].x, circle->y - start[i].y) < 0.4 * diameter) {
        next[i] = {circle->x, circle->y};
      }
      // An outline far from any circle is print, not a hole; a torn edge strays from its
      // circle by a few per cent. A printed figure with closed counters (an 8, a 9) passes
      // for a solid blob once its counters are filled, but a hole with a light centre keeps
      // close to its circle.
      round[i] = circle && circle->spread <= kMaxEdgeSpread &&
                 (candidates[i].filled <= 0.03 ||
                  (circle->spread <= kMaxFilledEdgeSpread && circle->kept >= kMinFilledEdgeKept));
    }
    centres = std::move(next);
  }
  std::vector<Shot> shots;
  for (std::size_t i = 0; i < centres.size(); ++i) {
    if (!round[i]) continue;
    Shot shot;
    shot.x = centres[i].x;
    shot.y = centres[i].y;
    shot.diameterPx = diameter;
    shot.look = candidates[i].look;
    shot.contrast = candidates[i].contrast;
    shots.push_back(shot);
  }
  return shots;
}

// Strongest first; a candidate within kMinShotDistance of a stronger one is the same hole.
std::vector<Candidate> Suppress(std::vector<Candidate> all, double d) {
  std::stable_sort(all.begin(), all.end(), [](const Candidate& a, const Candidate& b) {
    return a.coverage != b.coverage ? a.coverage > b.coverage : a.contrast > b.contrast;
  });
  std::vector<Candidate> kept;
  for (const Candidate& c : all) {
    bool near = false;
    for (const Candidate& k : kept) {
      near = near || std::hypot(k.u - c.u, k.v - c.v) < kMinShotDistance * d;
    }
    if (!near) kept.push_back(c);
  }
  return kept;
}

}  // namespace

ShotResult FindShots(const PictureView& picture, const ShotSettings& settings,
                     std::optional<Region> region, const Progress& progress) {
  if (const std::optional<std::string> problem = SettingsProblem(settings)) {
    throw std::invalid_argument(*problem);
  }
  ShotResult result;
  result.look = settings.look;
  Frame f;
  f.region = Clip(picture, region);
  const double diameter = HoleDiameterPx(settings);
  f.scale = std::max(1, static_cast<int>(std::floor(diameter / kWorkDiameter)));
  // The working pictures cost about 25 bytes per working pixel at their peak: bounded to a
  // quarter of the region's pixels (or 4 megapixels) however low the resolution given.
  const double pixels = static_cast<double>(f.region.right - f.region.left) *
                        static_cast<double>(f.region.bottom - f.region.top);
  const double maxWorkPixels = std::max(kMinWorkPixelBound, pixels / 4);
  f.scale = std::max(f.scale, static_cast<int>(std::ceil(std::sqrt(pixels / maxWorkPixels))));
  f.diameter = diameter / f.scale;
  result.levels.scale = f.scale;
  result.levels.workDiameterPx = f.diameter;
  if (f.region.right <= f.region.left || f.region.bottom <= f.region.top) return result;
  if (!Reduce(picture, f, progress)) {
    result.cancelled = true;
    return result;
  }
  const double window = kLevelWindowCalibres * f.diameter;
  f.paperHi = UpperEnvelope(f.hi, window);
  f.paperLo = UpperEnvelope(f.lo, window);

  Thresholds t;
  const Spread hiSpread = ContrastSpread(f.paperHi, f.hi);
  const Spread loSpread = ContrastSpread(f.paperLo, f.lo);
  std::vector<int> paper(f.paperHi.begin<std::uint8_t>(), f.paperHi.end<std::uint8_t>());
  t.levels = result.levels;
  t.levels.paperLevel = Quantile(std::move(paper), 0.5);
  t.levels.paperNoise = hiSpread.sigma;
  t.levels.darkThreshold = hiSpread.median + std::max(6 * hiSpread.sigma, 20.0);
  t.levels.minShotContrast = std::max(1.5 * t.levels.darkThreshold, 45.0);
  t.levels.lightThreshold = loSpread.median + std::max(6 * loSpread.sigma, 50.0);
  t.minLightContrast = std::max(0.8 * t.levels.lightThreshold, 45.0);
  t.darkRange = hiSpread.high;
  result.levels = t.levels;
  if (!Continue(progress, 0.6)) {
    result.cancelled = true;
    return result;
  }

  std::vector<Candidate> candidates;
  if (settings.look != HoleLook::Light) candidates = DarkCandidates(f, t);
  if (!Continue(progress, 0.75)) {
    result.cancelled = true;
    return result;
  }
  if (settings.look != HoleLook::Dark) {
    std::vector<Candidate> light = LightCandidates(f, t);
    candidates.insert(candidates.end(), light.begin(), light.end());
    light = LightOnPaperCandidates(f, loSpread);
    candidates.insert(candidates.end(), light.begin(), light.end());
  }
  if (!Continue(progress, 0.9)) {
    result.cancelled = true;
    return result;
  }
  candidates = Suppress(std::move(candidates), f.diameter);
  result.shots = Refine(picture, f, candidates, diameter);
  std::sort(result.shots.begin(), result.shots.end(),
            [](const Shot& a, const Shot& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  if (!Continue(progress, 1.0)) {
    result.shots.clear();
    result.cancelled = true;
  }
  return result;
}

std::optional<Shot> ShotAt(const PictureView& picture, const ShotSettings& settings, double x,
                           double y) {
  if (const std::optional<std::string> problem = SettingsProblem(settings)) {
    throw std::invalid_argument(*problem);
  }
  const double diameter = HoleDiameterPx(settings);
  if (!(x >= 0 && y >= 0 && x < picture.width && y < picture.height)) return std::nullopt;
  const double reach = 3 * diameter;
  const Region around{
      static_cast<int>(std::floor(x - reach)), static_cast<int>(std::floor(y - reach)),
      static_cast<int>(std::ceil(x + reach)), static_cast<int>(std::ceil(y + reach))};
  const ShotResult found = FindShots(picture, settings, around);
  std::optional<Shot> nearest;
  double best = 0.6 * diameter;
  for (const Shot& shot : found.shots) {
    const double distance = std::hypot(shot.x - x, shot.y - y);
    if (distance <= best) {
      best = distance;
      nearest = shot;
    }
  }
  return nearest;
}

}  // namespace holescan::shots
