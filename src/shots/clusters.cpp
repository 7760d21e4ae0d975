// clusters.cpp - a group's torn area explained by discs of the calibre; clusters.h describes it.
#include "shots/clusters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include <opencv2/imgproc.hpp>

namespace holescan::shots {
namespace {

constexpr double kPi = std::numbers::pi;
// An outline of a hole's rim has about this many 8-connected pixels per pixel of its length.
constexpr double kOutlineDensity = 0.9;

// One torn area, in the coordinates of its rectangle of the working picture.
struct TornArea {
  cv::Rect roi;
  cv::Mat mask;  // CV_8U, 255 inside
  bool light = false;
  double contrast = 0;
  int area = 0;
};

// One disc a torn area may be explained by: the area pixels inside it, the outline pixels on
// its circle, and how much of it lies outside the area.
struct Disc {
  cv::Point2d centre;
  std::vector<int> pixels;   // indices into the area's pixels
  std::vector<int> outline;  // indices into the area's outline
  int spill = 0;
};

struct Group {
  TornArea torn;
  std::vector<cv::Point> pixels;   // the area's pixels, roi coordinates
  std::vector<cv::Point> outline;  // its outline
  cv::Mat depth;                   // distance to the paper, CV_32F
  cv::Mat pixelIndex;              // CV_32S: index into pixels, -1 outside
  cv::Mat outlineIndex;            // CV_32S: index into outline, -1 elsewhere
  std::vector<cv::Point2d> candidates;
  double radius = 0;  // the holes' radius as the outline shows it
  std::vector<cv::Point2d> centres;
  std::vector<bool> placed;
  bool accepted = false;
};

double Percentile(const cv::Mat& grey, double share) {
  std::array<int, 256> histogram{};
  for (int y = 0; y < grey.rows; ++y) {
    const auto* row = grey.ptr<std::uint8_t>(y);
    for (int x = 0; x < grey.cols; ++x) ++histogram[row[x]];
  }
  const double wanted = share * grey.rows * grey.cols;
  double seen = 0;
  for (std::size_t i = 0; i < histogram.size(); ++i) {
    seen += histogram[i];
    if (seen >= wanted) return static_cast<double>(i);
  }
  return 255;
}

double DiscMean(const cv::Mat& grey, cv::Point2d centre, double radius) {
  double sum = 0;
  int count = 0;
  const int x0 = std::max(0, static_cast<int>(std::floor(centre.x - radius)));
  const int x1 = std::min(grey.cols - 1, static_cast<int>(std::ceil(centre.x + radius)));
  const int y0 = std::max(0, static_cast<int>(std::floor(centre.y - radius)));
  const int y1 = std::min(grey.rows - 1, static_cast<int>(std::ceil(centre.y + radius)));
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      if (std::hypot(x - centre.x, y - centre.y) > radius) continue;
      sum += grey.at<std::uint8_t>(y, x);
      ++count;
    }
  }
  return count > 0 ? sum / count : -1;
}

// The torn area of this look the seed lies in, when it is larger than `minArea` holes and
// smaller than the reach.
std::optional<TornArea> FindTornArea(const cv::Mat& work, cv::Point2d seed, double diameter,
                                     bool light, double minArea, const ClusterSettings& s) {
  const double r = diameter / 2;
  const cv::Rect picture(0, 0, work.cols, work.rows);
  for (double reach = 3;; reach = std::min(reach * 1.6, s.maxReach)) {
    const double half = reach * diameter;
    const cv::Rect wanted(
        static_cast<int>(std::floor(seed.x - half)), static_cast<int>(std::floor(seed.y - half)),
        static_cast<int>(std::ceil(2 * half)) + 1, static_cast<int>(std::ceil(2 * half)) + 1);
    TornArea t;
    t.roi = wanted & picture;
    if (t.roi.width < 3 || t.roi.height < 3) return std::nullopt;
    cv::Mat grey;
    cv::cvtColor(work(t.roi), grey, cv::COLOR_BGR2GRAY);
    const cv::Point2d at(seed.x - t.roi.x, seed.y - t.roi.y);
    const double inside = DiscMean(grey, at, 0.3 * diameter);
    if (inside < 0) return std::nullopt;
    t.light = light;
    const double paper = Percentile(grey, t.light ? 0.2 : 0.8);
    t.contrast = t.light ? inside - paper : paper - inside;
    if (t.contrast < s.minContrast) return std::nullopt;
    cv::threshold(grey, t.mask, (inside + paper) / 2, 255,
                  t.light ? cv::THRESH_BINARY : cv::THRESH_BINARY_INV);
    const int open =
        std::max(3, 2 * static_cast<int>(std::lround(s.openDiameter * diameter / 2)) + 1);
    cv::morphologyEx(t.mask, t.mask, cv::MORPH_OPEN,
                     cv::getStructuringElement(cv::MORPH_ELLIPSE, {open, open}));
    cv::Mat labels, stats, centroids;
    cv::connectedComponentsWithStats(t.mask, labels, stats, centroids, 8, CV_32S);
    // The area under the seed's core.
    std::vector<int> votes(static_cast<std::size_t>(stats.rows), 0);
    const int core = static_cast<int>(std::ceil(0.3 * diameter));
    for (int y = std::max(0, static_cast<int>(at.y) - core);
         y <= std::min(labels.rows - 1, static_cast<int>(at.y) + core); ++y) {
      for (int x = std::max(0, static_cast<int>(at.x) - core);
           x <= std::min(labels.cols - 1, static_cast<int>(at.x) + core); ++x) {
        if (std::hypot(x - at.x, y - at.y) <= 0.3 * diameter) ++votes[labels.at<int>(y, x)];
      }
    }
    votes[0] = 0;
    const auto label =
        static_cast<int>(std::max_element(votes.begin(), votes.end()) - votes.begin());
    if (votes[static_cast<std::size_t>(label)] == 0) return std::nullopt;
    const int left = stats.at<int>(label, cv::CC_STAT_LEFT);
    const int top = stats.at<int>(label, cv::CC_STAT_TOP);
    const int width = stats.at<int>(label, cv::CC_STAT_WIDTH);
    const int height = stats.at<int>(label, cv::CC_STAT_HEIGHT);
    const bool cut = (left == 0 && t.roi.x > 0) || (top == 0 && t.roi.y > 0) ||
                     (left + width == t.roi.width && t.roi.br().x < work.cols) ||
                     (top + height == t.roi.height && t.roi.br().y < work.rows);
    if (cut) {
      if (reach >= s.maxReach) return std::nullopt;  // print, or more than a group
      continue;
    }
    t.area = stats.at<int>(label, cv::CC_STAT_AREA);
    if (t.area < minArea * kPi * r * r) return std::nullopt;
    t.mask = labels == label;
    return t;
  }
}

Disc MakeDisc(const Group& g, cv::Point2d centre, double radius, double arcTolerance) {
  Disc d;
  d.centre = centre;
  const double reach = radius + arcTolerance;
  const int x0 = static_cast<int>(std::floor(centre.x - reach));
  const int x1 = static_cast<int>(std::ceil(centre.x + reach));
  const int y0 = static_cast<int>(std::floor(centre.y - reach));
  const int y1 = static_cast<int>(std::ceil(centre.y + reach));
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const double distance = std::hypot(x - centre.x, y - centre.y);
      const bool in = x >= 0 && y >= 0 && x < g.pixelIndex.cols && y < g.pixelIndex.rows;
      if (distance <= radius) {
        const int i = in ? g.pixelIndex.at<int>(y, x) : -1;
        if (i >= 0)
          d.pixels.push_back(i);
        else
          ++d.spill;
      }
      if (in && std::abs(distance - radius) <= arcTolerance) {
        const int o = g.outlineIndex.at<int>(y, x);
        if (o >= 0) d.outline.push_back(o);
      }
    }
  }
  return d;
}

// The area pixels, the outline and the places the outline points to.
void Prepare(Group& g, double diameter) {
  const double r = diameter / 2;
  const cv::Mat& mask = g.torn.mask;
  cv::findNonZero(mask, g.pixels);
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(mask.clone(), contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE);
  for (const auto& c : contours) g.outline.insert(g.outline.end(), c.begin(), c.end());
  cv::Mat padded;
  cv::copyMakeBorder(mask, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
  cv::distanceTransform(padded, g.depth, cv::DIST_L2, cv::DIST_MASK_5);
  g.depth = g.depth(cv::Rect(1, 1, mask.cols, mask.rows)).clone();

  g.pixelIndex = cv::Mat(mask.size(), CV_32S, cv::Scalar(-1));
  for (std::size_t i = 0; i < g.pixels.size(); ++i)
    g.pixelIndex.at<int>(g.pixels[i]) = static_cast<int>(i);
  g.outlineIndex = cv::Mat(mask.size(), CV_32S, cv::Scalar(-1));
  std::vector<cv::Point> unique;
  for (const cv::Point& p : g.outline) {
    if (g.outlineIndex.at<int>(p) >= 0) continue;
    g.outlineIndex.at<int>(p) = static_cast<int>(unique.size());
    unique.push_back(p);
  }
  g.outline = std::move(unique);
  // A shot's disc lies inside the torn area: its centre is at least nearly a radius deep.
  for (const cv::Point& p : g.pixels)
    if (g.depth.at<float>(p) >= 0.7 * r) g.candidates.emplace_back(p.x, p.y);
}

struct Explained {
  std::vector<int> area;     // discs covering each area pixel
  std::vector<int> outline;  // discs explaining each outline pixel
};

double Gain(const Disc& d, const Explained& e, double holeArea, double rimPixels) {
  int area = 0, outline = 0;
  for (int i : d.pixels) area += e.area[static_cast<std::size_t>(i)] == 0;
  for (int i : d.outline) outline += e.outline[static_cast<std::size_t>(i)] == 0;
  return area / holeArea + outline / rimPixels - 2 * d.spill / holeArea;
}

int NewOutline(const Disc& d, const Explained& e) {
  int outline = 0;
  for (int i : d.outline) outline += e.outline[static_cast<std::size_t>(i)] == 0;
  return outline;
}

void Add(const Disc& d, Explained& e, int by) {
  for (int i : d.pixels) e.area[static_cast<std::size_t>(i)] += by;
  for (int i : d.outline) e.outline[static_cast<std::size_t>(i)] += by;
}

// The centre moved onto the outline arcs nearest its circle, the radius kept.
cv::Point2d FitCentre(cv::Point2d c, const std::vector<cv::Point2d>& arc, double radius) {
  for (int iteration = 0; iteration < 6; ++iteration) {
    double a = 0, b = 0, d = 0, ex = 0, ey = 0;
    for (const cv::Point2d& p : arc) {
      const double dx = c.x - p.x, dy = c.y - p.y;
      const double length = std::hypot(dx, dy);
      if (length <= 1e-6) continue;
      const double jx = dx / length, jy = dy / length;
      const double residual = length - radius;
      a += jx * jx;
      b += jx * jy;
      d += jy * jy;
      ex -= jx * residual;
      ey -= jy * residual;
    }
    const double det = a * d - b * b;
    if (det < 1e-3) break;
    double sx = (d * ex - b * ey) / det;
    double sy = (a * ey - b * ex) / det;
    const double step = std::hypot(sx, sy);
    if (step > 0.2 * radius) {
      sx *= 0.2 * radius / step;
      sy *= 0.2 * radius / step;
    }
    c.x += sx;
    c.y += sy;
    if (step < 0.01) break;
  }
  return c;
}

class Explainer {
 public:
  Explainer(Group& g, double diameter, const ClusterSettings& s)
      : g_(g), s_(s), r_(diameter / 2), arc_(std::max(1.0, 0.08 * diameter)) {
    holeArea_ = kPi * r_ * r_;
    rimPixels_ = 2 * kPi * r_ * kOutlineDensity;
  }

  // The discs that explain the area best, taken greedily from every place a disc fits in the
  // area (and the decision's shots in it), then fitted to their arcs.
  void Explain(const std::vector<cv::Point2d>& hints) {
    std::vector<Disc> discs;
    for (const cv::Point2d& c : g_.candidates) discs.push_back(MakeDisc(g_, c, r_, arc_));
    for (const cv::Point2d& h : hints) discs.push_back(MakeDisc(g_, h, r_, arc_));
    while (static_cast<int>(g_.centres.size()) < s_.maxShotsPerGroup) {
      const Explained e = ExplainedBy(g_.centres);
      double best = s_.minGain;
      int which = -1;
      for (std::size_t i = 0; i < discs.size(); ++i) {
        // A shot shows a part of its rim, and no two shots are closer than the decision's
        // own distance.
        if (NewOutline(discs[i], e) < s_.minArc * rimPixels_) continue;
        if (Near(discs[i].centre, s_.minPickDistance)) continue;
        const double gain = Gain(discs[i], e, holeArea_, rimPixels_);
        if (gain > best) {
          best = gain;
          which = static_cast<int>(i);
        }
      }
      if (which < 0) break;
      g_.centres.push_back(discs[static_cast<std::size_t>(which)].centre);
      g_.placed.push_back(false);
    }
    Refine();
    // Two shots fitted onto one.
    for (std::size_t i = 0; i < g_.centres.size(); ++i) {
      for (std::size_t j = i + 1; j < g_.centres.size();) {
        if (std::hypot(g_.centres[i].x - g_.centres[j].x, g_.centres[i].y - g_.centres[j].y) <
            s_.minDistance * 2 * r_) {
          g_.centres.erase(g_.centres.begin() + static_cast<long>(j));
          g_.placed.erase(g_.placed.begin() + static_cast<long>(j));
        } else {
          ++j;
        }
      }
    }
    g_.accepted = !g_.centres.empty() &&
                  static_cast<int>(g_.centres.size()) < s_.maxShotsPerGroup &&
                  static_cast<double>(g_.pixels.size()) <= s_.maxGroupArea * holeArea_ && Quality();
  }

  Explained ExplainedBy(const std::vector<cv::Point2d>& centres) const {
    Explained e = Nothing();
    for (const cv::Point2d& c : centres)
      Add(MakeDisc(g_, c, g_.radius > 0 ? g_.radius : r_, arc_), e, 1);
    return e;
  }

  bool Near(cv::Point2d p, double diameters) const {
    return std::any_of(g_.centres.begin(), g_.centres.end(), [&](const cv::Point2d& c) {
      return std::hypot(c.x - p.x, c.y - p.y) < diameters * 2 * r_;
    });
  }

  // Each centre fitted to the outline pixels nearest its circle; the radius the outline shows.
  void Refine() {
    if (g_.centres.empty()) return;
    g_.radius = r_;
    for (int round = 0; round < 4; ++round) {
      std::vector<std::vector<cv::Point2d>> arcs(g_.centres.size());
      std::vector<double> distances;
      for (const cv::Point& p : g_.outline) {
        // A pixel near one circle only: where two rims meet, it belongs to neither surely.
        int which = -1, near = 0;
        for (std::size_t i = 0; i < g_.centres.size(); ++i) {
          const double off =
              std::abs(std::hypot(p.x - g_.centres[i].x, p.y - g_.centres[i].y) - g_.radius);
          if (off < 0.25 * r_) {
            ++near;
            which = static_cast<int>(i);
          }
        }
        if (near != 1) continue;
        arcs[static_cast<std::size_t>(which)].emplace_back(p.x, p.y);
        distances.push_back(std::hypot(p.x - g_.centres[static_cast<std::size_t>(which)].x,
                                       p.y - g_.centres[static_cast<std::size_t>(which)].y));
      }
      if (!distances.empty()) {
        std::nth_element(distances.begin(),
                         distances.begin() + static_cast<long>(distances.size() / 2),
                         distances.end());
        // An outline pixel lies half a pixel inside the area's edge.
        g_.radius = std::clamp(distances[distances.size() / 2] + 0.5, 0.85 * r_, 1.1 * r_);
      }
      for (std::size_t i = 0; i < g_.centres.size(); ++i) {
        if (g_.placed[i] || arcs[i].size() < 6) continue;
        g_.centres[i] = FitCentre(g_.centres[i], arcs[i], g_.radius - 0.5);
      }
    }
  }

  // How much a disc about `centre` explains beyond `e` (Gain of its MakeDisc, without keeping
  // its pixels).
  double GainAt(cv::Point2d centre, const Explained& e, double radius) const {
    const double reach = radius + arc_;
    const double inner = radius - arc_;
    const double inner2 = inner > 0 ? inner * inner : -1, outer2 = reach * reach;
    const double radius2 = radius * radius;
    const int x0 = static_cast<int>(std::floor(centre.x - reach));
    const int x1 = static_cast<int>(std::ceil(centre.x + reach));
    const int y0 = static_cast<int>(std::floor(centre.y - reach));
    const int y1 = static_cast<int>(std::ceil(centre.y + reach));
    int area = 0, outline = 0, spill = 0;
    for (int y = y0; y <= y1; ++y) {
      const bool rowIn = y >= 0 && y < g_.pixelIndex.rows;
      const int* pixelRow = rowIn ? g_.pixelIndex.ptr<int>(y) : nullptr;
      const int* outlineRow = rowIn ? g_.outlineIndex.ptr<int>(y) : nullptr;
      const double dy2 = (y - centre.y) * (y - centre.y);
      for (int x = x0; x <= x1; ++x) {
        const double d2 = (x - centre.x) * (x - centre.x) + dy2;
        const bool in = rowIn && x >= 0 && x < g_.pixelIndex.cols;
        if (d2 <= radius2) {
          const int i = in ? pixelRow[x] : -1;
          if (i >= 0)
            area += e.area[static_cast<std::size_t>(i)] == 0;
          else
            ++spill;
        }
        if (in && d2 >= inner2 && d2 <= outer2) {
          const int o = outlineRow[x];
          if (o >= 0) outline += e.outline[static_cast<std::size_t>(o)] == 0;
        }
      }
    }
    return area / holeArea_ + outline / rimPixels_ - 2 * spill / holeArea_;
  }

  // The radius of the discs compared as a whole: the outline's radius when the holes look
  // smaller than the calibre, never larger, since a shot out of place lends its circle the
  // rims of others, all outside it, and the median grows with them.
  double JointRadius() const { return std::min(g_.radius, r_); }

  double CurrentCost() const {
    Explained e = Nothing();
    const int spill = Cover(JointRadius(), e);
    return CostOf(e, spill);
  }

  // Nothing explained yet.
  Explained Nothing() const {
    return {std::vector<int>(g_.pixels.size(), 0), std::vector<int>(g_.outline.size(), 0)};
  }

  // The group's shots as discs of `radius` counted into `e` (and kept in `discs`); the area
  // they put outside the torn area, in pixels.
  int Cover(double radius, Explained& e, std::vector<Disc>* discs = nullptr) const {
    int spill = 0;
    for (const cv::Point2d& c : g_.centres) {
      Disc d = MakeDisc(g_, c, radius, arc_);
      Add(d, e, 1);
      spill += d.spill;
      if (discs) discs->push_back(std::move(d));
    }
    return spill;
  }

  // Each shot seen in turn taken out and added again where the group explains most with it,
  // its new neighbours moving with it, when the group's joint cost falls clearly: a shot taken
  // early for the area it covered, before the shots around it, can hold the place of two, or
  // a neck between holes, and a shot that shows a sliver of rim is then missing; moving one
  // shot a little at a time does not get out of that.
  void Swap() {
    if (g_.centres.size() < 2) return;
    for (int round = 0; round < s_.swapRounds; ++round) {
      bool moved = false;
      for (std::size_t i = 0; i < g_.centres.size(); ++i) {
        if (g_.placed[i]) continue;
        const double now = CurrentCost();
        Group without = g_;
        without.centres.erase(without.centres.begin() + static_cast<long>(i));
        without.placed.erase(without.placed.begin() + static_cast<long>(i));
        const Place p = Explainer(without, 2 * r_, s_).BestAddition();
        if (p.centres.empty()) continue;
        Group with = without;
        with.centres = p.centres;
        with.placed.push_back(false);
        const double after = Explainer(with, 2 * r_, s_).CurrentCost();
        if (after < now - s_.swapMargin) {
          g_.centres = with.centres;
          g_.placed = with.placed;
          moved = true;
        }
      }
      if (!moved) break;
    }
  }

  // The discs explain the area and do not spill far out of it.
  bool Quality() const {
    cv::Mat discs(g_.torn.mask.size(), CV_8U, cv::Scalar(0));
    for (const cv::Point2d& c : g_.centres)
      cv::circle(discs,
                 cv::Point(static_cast<int>(std::lround(c.x * 16)),
                           static_cast<int>(std::lround(c.y * 16))),
                 static_cast<int>(std::lround(g_.radius * 16)), cv::Scalar(255), cv::FILLED,
                 cv::LINE_8, 4);
    const double area = cv::countNonZero(g_.torn.mask);
    const double union_ = cv::countNonZero(discs);
    cv::Mat both;
    cv::bitwise_and(discs, g_.torn.mask, both);
    const double common = cv::countNonZero(both);
    // The outline must be made of the shots' rims: a blot of print or a texture's is not.
    std::vector<char> onRim(g_.outline.size(), 0);
    for (const cv::Point2d& c : g_.centres) {
      const Disc d = MakeDisc(g_, c, g_.radius, arc_);
      for (int o : d.outline) onRim[static_cast<std::size_t>(o)] = 1;
    }
    const double rim = g_.outline.empty()
                           ? 0
                           : static_cast<double>(std::count(onRim.begin(), onRim.end(), 1)) /
                                 static_cast<double>(g_.outline.size());
    return area > 0 && union_ > 0 && common / area >= s_.minCover &&
           (union_ - common) / union_ <= s_.maxSpill && rim >= s_.minRim;
  }

  // How much only shot i explains, in shares of a hole's area and rim.
  double OwnGain(std::size_t i) const {
    std::vector<Disc> discs;
    for (const cv::Point2d& c : g_.centres) discs.push_back(MakeDisc(g_, c, g_.radius, arc_));
    Explained e = Nothing();
    for (std::size_t j = 0; j < discs.size(); ++j)
      if (j != i) Add(discs[j], e, 1);
    return Gain(discs[i], e, holeArea_, rimPixels_) + 2 * discs[i].spill / holeArea_;
  }

  // Where another shot explains most of what is not yet explained, and how much; with
  // nothing left to explain, the deepest place farthest from every shot (a shot completely
  // covered), with its distance in radii as a small score.
  struct Place {
    cv::Point2d point{-1, -1};
    double score = -1;                 // above 1 for a disc that explains something, else under 1
    bool seen = false;                 // it explains a part of the area or the outline
    std::vector<cv::Point2d> centres;  // for a seen one, every shot of the group with it
  };

  // The joint cost of discs whose pixels `e` counts: the torn area none covers, the outline on
  // no circle, and twice their area outside the torn area, in shares of a hole's area and rim.
  double CostOf(const Explained& e, int spill) const {
    const auto area = std::count(e.area.begin(), e.area.end(), 0);
    const auto outline = std::count(e.outline.begin(), e.outline.end(), 0);
    return static_cast<double>(area) / holeArea_ + static_cast<double>(outline) / rimPixels_ +
           2 * spill / holeArea_;
  }

  // One more shot where it lowers the joint cost most once it and the shots next to it have
  // moved to share the outline between them: two shots a third of a calibre apart show as one
  // disc until a second one is put beside it, and the two then settle onto their own arcs.
  Place BestAddition() const {
    const double radius = JointRadius();
    std::vector<Disc> discs;
    Explained base = Nothing();
    const int baseSpill = Cover(radius, base, &discs);
    const double baseCost = CostOf(base, baseSpill);
    const double step = std::max(1.0, s_.additionStep * 2 * r_);
    // The places where a disc explains most at once are tried further.
    std::vector<std::pair<double, cv::Point2d>> starts;
    for (const cv::Point2d& c : g_.candidates) {
      if (std::fmod(c.x, step) >= 1 || std::fmod(c.y, step) >= 1) continue;
      starts.emplace_back(GainAt(c, base, radius), c);
    }
    const auto tries = std::min(starts.size(), static_cast<std::size_t>(s_.additionTries));
    std::partial_sort(starts.begin(), starts.begin() + static_cast<long>(tries), starts.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    starts.resize(tries);
    Place best;
    double bestCost = baseCost - s_.minAdditionGain;
    for (const auto& [ignored, c] : starts) {
      std::vector<cv::Point2d> centres = g_.centres;
      Explained e = base;
      int spill = baseSpill;
      centres.push_back(c);
      // The new shot and its neighbours seen, moved in turn.
      std::vector<std::size_t> moving{centres.size() - 1};
      std::vector<Disc> trial{MakeDisc(g_, c, radius, arc_)};
      Add(trial.back(), e, 1);
      spill += trial.back().spill;
      for (std::size_t j = 0; j + 1 < centres.size(); ++j) {
        if (!g_.placed[j] &&
            std::hypot(centres[j].x - c.x, centres[j].y - c.y) < s_.neighbourReach * 2 * r_) {
          moving.push_back(j);
          trial.push_back(discs[j]);
        }
      }
      for (int round = 0; round < s_.additionRounds; ++round) {
        // Whole pixels first, then half.
        const double move = round + 1 < s_.additionRounds ? 1 : 0.5;
        for (std::size_t m = 0; m < moving.size(); ++m) {
          const std::size_t k = moving[m];
          Add(trial[m], e, -1);
          spill -= trial[m].spill;
          cv::Point2d at = centres[k];
          double gain = GainAt(at, e, radius);
          for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
              if (dx == 0 && dy == 0) continue;
              const cv::Point2d to(centres[k].x + move * dx, centres[k].y + move * dy);
              const double g = GainAt(to, e, radius);
              if (g > gain + 1e-9) {
                gain = g;
                at = to;
              }
            }
          }
          if (at != centres[k]) {
            centres[k] = at;
            trial[m] = MakeDisc(g_, at, radius, arc_);
          }
          Add(trial[m], e, 1);
          spill += trial[m].spill;
        }
      }
      // No two shots closer than the decision's own distance.
      bool close = false;
      for (std::size_t j = 0; j + 1 < centres.size() && !close; ++j)
        close = std::hypot(centres[j].x - centres.back().x, centres[j].y - centres.back().y) <
                s_.minPickDistance * 2 * r_;
      if (close) continue;
      // The new shot must explain a part of its own: the neighbours' moves alone may lower
      // the cost too.
      Add(trial.front(), e, -1);
      const double own = GainAt(centres.back(), e, radius);
      Add(trial.front(), e, 1);
      if (own < s_.minAdditionGain) continue;
      const double cost = CostOf(e, spill);
      if (cost < bestCost) {
        bestCost = cost;
        best = {centres.back(), 1 + baseCost - cost, true, centres};
      }
    }
    return best;
  }

  // A shot where the torn area is least explained, or one placed where nothing shows.
  Place LeastExplained() const {
    std::vector<Disc> discs;
    Explained e = Nothing();
    Cover(g_.radius, e, &discs);
    double best = 0.05;
    cv::Point2d at(-1, -1);
    for (const cv::Point2d& c : g_.candidates) {
      const double gain = Gain(MakeDisc(g_, c, g_.radius, arc_), e, holeArea_, rimPixels_);
      if (gain > best) {
        best = gain;
        at = c;
      }
    }
    if (at.x >= 0) return {at, 1 + best, true, {}};
    double farthest = -1;
    for (const cv::Point& p : g_.pixels) {
      if (g_.depth.at<float>(p) < 0.75 * g_.radius) continue;
      double nearest = 1e9;
      for (const cv::Point2d& c : g_.centres)
        nearest = std::min(nearest, std::hypot(p.x - c.x, p.y - c.y));
      if (nearest > farthest) {
        farthest = nearest;
        at = cv::Point2d(p.x, p.y);
      }
    }
    // Two shots closer than the decision's distance are one: no room for another there.
    if (at.x < 0 || farthest < 0.35 * 2 * r_) return {};
    return {at, std::min(0.99, farthest / (2 * r_)), false, {}};
  }

 private:
  Group& g_;
  const ClusterSettings& s_;
  double r_, arc_, holeArea_ = 0, rimPixels_ = 0;
};

bool InArea(const Group& g, cv::Point2d p, double reach) {
  const double u = p.x - g.torn.roi.x, v = p.y - g.torn.roi.y;
  const int x0 = std::max(0, static_cast<int>(std::floor(u - reach)));
  const int x1 = std::min(g.torn.mask.cols - 1, static_cast<int>(std::ceil(u + reach)));
  const int y0 = std::max(0, static_cast<int>(std::floor(v - reach)));
  const int y1 = std::min(g.torn.mask.rows - 1, static_cast<int>(std::ceil(v + reach)));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (g.torn.mask.at<std::uint8_t>(y, x) != 0 && std::hypot(x - u, y - v) <= reach) return true;
  return false;
}

}  // namespace

std::vector<GroupShot> ResolveGroups(const cv::Mat& work, double diameter,
                                     const std::vector<GroupSeed>& seeds, bool dark, bool light,
                                     std::optional<int> expected, const ClusterSettings& s) {
  std::vector<Group> groups;
  for (const GroupSeed& seed : seeds) {
    const bool seen = std::any_of(groups.begin(), groups.end(), [&](const Group& g) {
      return InArea(g, seed.point, 0.3 * diameter);
    });
    if (seen) continue;
    auto torn = FindTornArea(work, seed.point, diameter, seed.light, s.minGroupArea, s);
    if (!torn || (torn->light ? !light : !dark)) continue;
    Group g;
    g.torn = std::move(*torn);
    Prepare(g, diameter);
    std::vector<cv::Point2d> hints;
    for (const GroupSeed& other : seeds) {
      if (InArea(g, other.point, 0.25 * diameter))
        hints.emplace_back(other.point.x - g.torn.roi.x, other.point.y - g.torn.roi.y);
    }
    Explainer(g, diameter, s).Explain(hints);
    groups.push_back(std::move(g));
  }

  // The kept shots outside every resolved group stand as they are.
  std::vector<GroupShot> out;
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    const GroupSeed& seed = seeds[i];
    const bool inside = std::any_of(groups.begin(), groups.end(), [&](const Group& g) {
      return g.accepted && InArea(g, seed.point, 0.25 * diameter);
    });
    if (!inside) out.push_back({seed.point, seed.light, false, 0, static_cast<int>(i)});
  }
  std::size_t total = out.size();
  for (const Group& g : groups)
    if (g.accepted) total += g.centres.size();

  if (expected && *expected >= 0) {
    const auto wanted = static_cast<std::size_t>(*expected);
    // Too many: the shot explaining least of its own goes, while it explains little.
    while (total > wanted) {
      double least = s.keepGain;
      Group* from = nullptr;
      std::size_t which = 0;
      for (Group& g : groups) {
        if (!g.accepted || g.centres.size() < 2) continue;
        Explainer e(g, diameter, s);
        for (std::size_t i = 0; i < g.centres.size(); ++i) {
          const double own = e.OwnGain(i);
          if (own < least) {
            least = own;
            from = &g;
            which = i;
          }
        }
      }
      if (from == nullptr) break;
      from->centres.erase(from->centres.begin() + static_cast<long>(which));
      from->placed.erase(from->placed.begin() + static_cast<long>(which));
      --total;
    }
    // Too few: a shot where a group's torn area is least explained; one that explains a little
    // of it was seen, one that explains nothing is placed.
    while (total < wanted) {
      Explainer::Place best;
      Group* into = nullptr;
      for (Group& g : groups) {
        // The torn area must have room for one more: a shot in it adds at least this much.
        if (!g.accepted || static_cast<double>(g.centres.size() + 1) * s.minAreaPerShot * kPi *
                                   diameter * diameter / 4 >
                               static_cast<double>(g.pixels.size()))
          continue;
        Explainer::Place place = Explainer(g, diameter, s).BestAddition();
        if (place.score < 0) place = Explainer(g, diameter, s).LeastExplained();
        if (place.score > best.score) {
          best = place;
          into = &g;
        }
      }
      if (into == nullptr || best.score < 0) break;
      if (!best.centres.empty()) {
        into->centres = best.centres;
        into->placed.push_back(false);
      } else {
        into->centres.push_back(best.point);
        into->placed.push_back(!best.seen);
        if (best.seen) Explainer(*into, diameter, s).Refine();
      }
      ++total;
    }
    // The shots of each group settled together.
    for (Group& g : groups)
      if (g.accepted) Explainer(g, diameter, s).Swap();
  }

  for (const Group& g : groups) {
    if (!g.accepted) continue;
    for (std::size_t i = 0; i < g.centres.size(); ++i) {
      out.push_back({{g.centres[i].x + g.torn.roi.x, g.centres[i].y + g.torn.roi.y},
                     g.torn.light,
                     static_cast<bool>(g.placed[i]),
                     g.torn.contrast,
                     -1});
    }
  }
  return out;
}

}  // namespace holescan::shots
