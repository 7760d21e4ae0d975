#include "shots/face_print.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace holescan::shots {
namespace {

// The median of the values in each bin of distance, over the pixels `inside` marks, a bin with
// none taking its nearest neighbour's.
std::vector<float> BinMedians(const cv::Mat& values, const cv::Mat& distance, const cv::Mat& inside,
                              float binWidth, int bins) {
  std::vector<std::vector<float>> members(static_cast<std::size_t>(bins));
  for (int y = 0; y < values.rows; ++y) {
    const float* v = values.ptr<float>(y);
    const float* r = distance.ptr<float>(y);
    const std::uint8_t* in = inside.ptr<std::uint8_t>(y);
    for (int x = 0; x < values.cols; ++x) {
      if (!in[x]) continue;
      const auto b = std::min(static_cast<std::size_t>(r[x] / binWidth), members.size() - 1);
      members[b].push_back(v[x]);
    }
  }
  std::vector<float> medians(static_cast<std::size_t>(bins), -1);
  for (std::size_t i = 0; i < members.size(); ++i) {
    std::vector<float>& m = members[i];
    if (m.empty()) continue;
    const auto middle = m.begin() + static_cast<std::ptrdiff_t>(m.size() / 2);
    std::nth_element(m.begin(), middle, m.end());
    medians[i] = *middle;
  }
  for (std::size_t i = 1; i < medians.size(); ++i)
    if (medians[i] < 0) medians[i] = medians[i - 1];
  for (std::size_t i = medians.size() - 1; i-- > 0;)
    if (medians[i] < 0) medians[i] = medians[i + 1];
  return medians;
}

// The profile at distance r (working pixels), between the bins' centres.
float ProfileAt(const std::vector<float>& profile, float r, float binWidth) {
  const float position = std::max(0.f, r / binWidth - 0.5f);
  const auto i = std::min(static_cast<std::size_t>(position), profile.size() - 1);
  const std::size_t j = std::min(i + 1, profile.size() - 1);
  const float t = std::min(1.f, position - static_cast<float>(i));
  return profile[i] * (1 - t) + profile[j] * t;
}

// The field of light: a quadratic in x and y (from -1 to 1 across the box) fitted to `ratio` at
// the pixels `use` marks (every third a way: a smooth field needs no more), twice, the second
// time without those more than three robust deviations off the first fit. 1 everywhere when too
// few pixels are left to fit.
cv::Mat LightField(const cv::Mat& ratio, const cv::Mat& use) {
  const double sx = 2.0 / std::max(1, ratio.cols - 1), sy = 2.0 / std::max(1, ratio.rows - 1);
  struct Sample {
    cv::Vec6d terms;
    double ratio;
  };
  std::vector<Sample> samples;
  for (int y = 0; y < ratio.rows; y += 3) {
    for (int x = 0; x < ratio.cols; x += 3) {
      if (!use.at<std::uint8_t>(y, x)) continue;
      const double a = x * sx - 1, b = y * sy - 1;
      samples.push_back({cv::Vec6d(1, a, b, a * a, a * b, b * b), ratio.at<float>(y, x)});
    }
  }
  cv::Vec6d c(1, 0, 0, 0, 0, 0);
  for (int round = 0; round < 2; ++round) {
    if (samples.size() < 64) return cv::Mat(ratio.size(), CV_32F, cv::Scalar(1));
    cv::Matx66d normal = cv::Matx66d::zeros();
    cv::Vec6d right = cv::Vec6d::all(0);
    for (const Sample& sample : samples) {
      right += sample.terms * sample.ratio;
      normal += sample.terms * sample.terms.t();
    }
    cv::solve(normal, right, c, cv::DECOMP_SVD);
    if (round == 1) break;
    std::vector<double> off;
    off.reserve(samples.size());
    for (const Sample& sample : samples)
      off.push_back(std::abs(sample.ratio - c.dot(sample.terms)));
    std::vector<double> sorted = off;
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    const double limit = 3 * 1.4826 * std::max(*middle, 1e-3);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < samples.size(); ++i)
      if (off[i] <= limit) samples[kept++] = samples[i];
    samples.resize(kept);
  }
  cv::Mat field(ratio.size(), CV_32F);
  for (int y = 0; y < ratio.rows; ++y) {
    const double b = y * sy - 1;
    const double rowConstant = c[0] + c[2] * b + c[5] * b * b, rowLinear = c[1] + c[4] * b;
    auto* out = field.ptr<float>(y);
    for (int x = 0; x < ratio.cols; ++x) {
      const double a = x * sx - 1;
      out[x] = static_cast<float>(std::max(0.2, rowConstant + a * (rowLinear + c[3] * a)));
    }
  }
  return field;
}

// The pixels about a place where a hole is fitted, gathered once: each one's offset from the
// place in the bull's square-on frame (a hole on a bull seen at an angle is an ellipse as the bull
// is), its grey, the print's model there and its expected spread squared.
struct Window {
  explicit Window(const BullShape& shape) : frame(shape.flatten, shape.axisRadians) {}
  SquareOn frame;
  std::vector<float> a, b, grey, model, spread;
  std::vector<float> distance;  // each pixel's from the hole being tried (HoleMisfit's own)
};

Window Gather(const cv::Mat& picture, const cv::Mat& model, const cv::Mat& variance,
              const cv::Mat& inside, cv::Point2d at, double reach, const BullShape& shape) {
  Window w(shape);
  const int left = std::max(0, static_cast<int>(std::floor(at.x - reach)));
  const int right = std::min(picture.cols - 1, static_cast<int>(std::ceil(at.x + reach)));
  const int top = std::max(0, static_cast<int>(std::floor(at.y - reach)));
  const int bottom = std::min(picture.rows - 1, static_cast<int>(std::ceil(at.y + reach)));
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      if (!inside.at<std::uint8_t>(y, x)) continue;
      const cv::Point2d square = w.frame(x - at.x, y - at.y);
      w.a.push_back(static_cast<float>(square.x));
      w.b.push_back(static_cast<float>(square.y));
      w.grey.push_back(picture.at<float>(y, x));
      w.model.push_back(model.at<float>(y, x));
      w.spread.push_back(variance.at<float>(y, x));
    }
  }
  w.distance.resize(w.a.size());
  return w;
}

// How well a hole of radius `radius` about `offset` (from the window's place, picture pixels)
// explains the window within `reach` of it: each pixel the hole's grey over the share of it the
// hole covers (a ramp one pixel wide across the rim) and the print's model over the rest, the
// hole's grey the weighted mean of the pixels it covers whole. The sum of the squared
// differences in standard deviations, each counted at most kOutlier squared (another hole's edge
// or a ring figure nearby must not pull the centre); JPEG's ringing and blur about the hole's own
// edge are taken as kEdgeShare of its contrast there. Lower is better; *printMisfit the same
// sum for the print alone.
constexpr double kOutlier = 4;
constexpr double kEdgeShare = 0.1;
double HoleMisfit(Window& w, cv::Point2d offset, double radius, double reach,
                  double* printMisfit = nullptr) {
  const cv::Point2d square = w.frame(offset.x, offset.y);
  const auto oa = static_cast<float>(square.x), ob = static_cast<float>(square.y);
  const std::size_t n = w.a.size();
  std::vector<float>& r = w.distance;
  double sumW = 0, sumWG = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const float da = w.a[i] - oa, db = w.b[i] - ob;
    r[i] = std::sqrt(da * da + db * db);
    if (r[i] <= radius - 0.5) {
      sumW += 1 / w.spread[i];
      sumWG += w.grey[i] / w.spread[i];
    }
  }
  if (sumW <= 0) return 0;
  const double b = sumWG / sumW;
  double misfit = 0, print = 0;
  constexpr double kCap = kOutlier * kOutlier;
  for (std::size_t i = 0; i < n; ++i) {
    if (r[i] > reach) continue;
    const double c = std::clamp(radius - r[i] + 0.5, 0.0, 1.0);
    const double m = w.model[i], g = w.grey[i];
    const double weight = 1 / (w.spread[i] + kEdgeShare * kEdgeShare * (b - m) * (b - m));
    const double e = g - (m + c * (b - m));
    misfit += std::min(weight * e * e, kCap);
    print += std::min(weight * (g - m) * (g - m), kCap);
  }
  if (printMisfit) *printMisfit = print;
  return misfit;
}

struct Fitted {
  cv::Point2d centre;
  double explained = 0;  // the share of the print's misfit about it the hole explains
};

// The hole's centre to a fraction of a pixel: a pattern search on HoleMisfit from `start`, steps
// halved from half a pixel to a thirty-second, never further than two and a half pixels away.
Fitted Refine(const cv::Mat& picture, const cv::Mat& model, const cv::Mat& variance,
              const cv::Mat& inside, cv::Point2d start, double diameter, const BullShape& shape) {
  constexpr double kFarthest = 2.5;
  const double radius = diameter / 2, reach = 0.8 * diameter;
  Window w = Gather(picture, model, variance, inside, start, reach + kFarthest + 1, shape);
  cv::Point2d best(0, 0);
  double bestMisfit = HoleMisfit(w, best, radius, reach);
  for (double step = 0.5; step >= 0.03; step /= 2) {
    bool moved = true;
    while (moved) {
      moved = false;
      for (const cv::Point2d d : {cv::Point2d(step, 0), cv::Point2d(-step, 0), cv::Point2d(0, step),
                                  cv::Point2d(0, -step)}) {
        const cv::Point2d next = best + d;
        if (std::hypot(next.x, next.y) > kFarthest) continue;
        const double misfit = HoleMisfit(w, next, radius, reach);
        if (misfit < bestMisfit) {
          bestMisfit = misfit;
          best = next;
          moved = true;
        }
      }
    }
  }
  double print = 0;
  const double misfit = HoleMisfit(w, best, radius, reach, &print);
  return {start + best, print > 0 ? 1 - misfit / print : 0};
}

// The ring about a hole is looked at in this many directions.
constexpr int kDirections = 32;

// At most one run of directions (round the circle) shows the hole's grey again, and it covers
// at most `longest` of the circle: a hole beside this one shows as one arc, a figure's stroke
// through it as two, a paster or a stain all round.
bool OneShortRun(const std::array<bool, kDirections>& again, double longest) {
  // A run's ends flicker: a direction between two that show the hole's grey shows it too, and
  // one alone (a thin ring line the model places a little off) does not.
  const auto at = [&](int k) {
    return again[static_cast<std::size_t>((k + kDirections) % kDirections)];
  };
  const auto shows = [&](int k) {
    return (at(k) && (at(k - 1) || at(k + 1))) || (at(k - 1) && at(k + 1));
  };
  int runs = 0, count = 0;
  for (int k = 0; k < kDirections; ++k) {
    count += shows(k) ? 1 : 0;
    runs += shows(k) && !shows(k - 1) ? 1 : 0;
  }
  if (count == kDirections) return false;
  return runs <= 1 && count <= longest * kDirections;
}

// The disc of the test as a cross of two rectangles, 2h + 1 pixels long and 2w + 1 wide each
// way, h and w 0.95 and 0.6 of the disc's radius: about the disc's area, its corners no further
// out than 1.1 radii (inside the hole). Its sums are three box filters, whatever its size.
struct Cross {
  int h = 0, w = 0;
  double Pixels() const {
    const double l = 2 * h + 1, s = 2 * w + 1;
    return 2 * l * s - s * s;
  }
};

Cross CrossOf(double radius) {
  const int h = std::max(1, static_cast<int>(std::lround(0.95 * radius)));
  return {h, std::max(1, static_cast<int>(std::lround(0.6 * radius)))};
}

cv::Mat Sum(const cv::Mat& values, const Cross& cross) {
  cv::Mat wide, tall, middle;
  const int l = 2 * cross.h + 1, s = 2 * cross.w + 1;
  cv::boxFilter(values, wide, CV_32F, {l, s}, {-1, -1}, false, cv::BORDER_CONSTANT);
  cv::boxFilter(values, tall, CV_32F, {s, l}, {-1, -1}, false, cv::BORDER_CONSTANT);
  cv::boxFilter(values, middle, CV_32F, {s, s}, {-1, -1}, false, cv::BORDER_CONSTANT);
  return wide + tall - middle;
}

}  // namespace

namespace {

// The bull's print measured on the picture, over the box about it (working pixels).
struct PrintModel {
  cv::Rect box;
  cv::Mat grey;      // CV_32F, the picture's grey
  cv::Mat model;     // CV_32F, the print's grey there
  cv::Mat variance;  // CV_32F, the picture's expected spread about the model, squared
  cv::Mat inside;    // CV_8U, 1 where modelled
};

std::optional<PrintModel> MeasurePrint(const cv::Mat& work, double diameter, const BullShape& bull,
                                       const FacePrintSettings& s) {
  const double margin = diameter;
  const cv::Rect box = cv::Rect(static_cast<int>(std::floor(bull.u - bull.reach - margin)),
                                static_cast<int>(std::floor(bull.v - bull.reach - margin)),
                                static_cast<int>(std::ceil(2 * (bull.reach + margin))) + 1,
                                static_cast<int>(std::ceil(2 * (bull.reach + margin))) + 1) &
                       cv::Rect(0, 0, work.cols, work.rows);
  const double discRadius = s.discRadius * diameter;
  if (bull.reach <= 0 || box.width <= 2 * discRadius || box.height <= 2 * discRadius)
    return std::nullopt;

  cv::Mat grey8, grey;
  cv::cvtColor(work(box), grey8, cv::COLOR_BGR2GRAY);
  grey8.convertTo(grey, CV_32F);

  // Each pixel's distance from the centre, as on the bull seen square-on, and its bin.
  const float binWidth = static_cast<float>(s.binWidth);
  const int bins = static_cast<int>(bull.reach / s.binWidth) + 1;
  const SquareOn frame(bull.flatten, bull.axisRadians);
  const double minRadius = s.minRadius * diameter;
  cv::Mat distance(grey.size(), CV_32F), inside(grey.size(), CV_8U);
  for (int y = 0; y < grey.rows; ++y) {
    for (int x = 0; x < grey.cols; ++x) {
      const double r = frame.Distance(x + box.x - bull.u, y + box.y - bull.v);
      distance.at<float>(y, x) = static_cast<float>(r);
      const bool modelled = r <= bull.reach && r >= minRadius;
      inside.at<std::uint8_t>(y, x) = modelled ? 1 : 0;
    }
  }

  // The print without the light, then the light from the card: the picture over the print where
  // the print is in the upper half of its range.
  std::vector<float> profile = BinMedians(grey, distance, inside, binWidth, bins);
  const auto [low, high] = std::minmax_element(profile.begin(), profile.end());
  cv::Mat light, flat;
  {
    cv::Mat ratio(grey.size(), CV_32F), card(grey.size(), CV_8U, cv::Scalar(0));
    for (int y = 0; y < grey.rows; ++y) {
      for (int x = 0; x < grey.cols; ++x) {
        const float p = ProfileAt(profile, distance.at<float>(y, x), binWidth);
        ratio.at<float>(y, x) = grey.at<float>(y, x) / std::max(p, 1.f);
        card.at<std::uint8_t>(y, x) =
            inside.at<std::uint8_t>(y, x) && p > 0.5f * (*low + *high) && p > 16 ? 1 : 0;
      }
    }
    light = LightField(ratio, card);
  }
  cv::divide(grey, light, flat);
  profile = BinMedians(flat, distance, inside, binWidth, bins);
  flat.release();

  // The model, the picture's difference from it and each pixel's weight: the grain, and where
  // the print changes fast, its change over the centre's uncertainty.
  // The print's change per pixel of distance, bin by bin.
  std::vector<float> change(profile.size(), 0);
  for (std::size_t i = 0; i < profile.size(); ++i) {
    const std::size_t before = i > 0 ? i - 1 : i, after = std::min(i + 1, profile.size() - 1);
    change[i] = std::abs(profile[after] - profile[before]) /
                (static_cast<float>(after - before) * binWidth + 1e-6f);
  }
  cv::Mat model(grey.size(), CV_32F), variance(grey.size(), CV_32F);
  std::vector<float> residuals;
  residuals.reserve(static_cast<std::size_t>(grey.total() / 4 + 1));
  for (int y = 0; y < grey.rows; ++y) {
    for (int x = 0; x < grey.cols; ++x) {
      const float r = distance.at<float>(y, x);
      const float l = light.at<float>(y, x);
      const float m = ProfileAt(profile, r, binWidth) * l;
      model.at<float>(y, x) = m;
      variance.at<float>(y, x) = ProfileAt(change, r, binWidth) * l;  // the slope, for now
      // The grain from every other pixel each way.
      if (inside.at<std::uint8_t>(y, x) && ((x | y) & 1) == 0)
        residuals.push_back(std::abs(grey.at<float>(y, x) - m));
    }
  }
  if (residuals.empty()) return std::nullopt;
  const auto middle = residuals.begin() + static_cast<std::ptrdiff_t>(residuals.size() / 2);
  std::nth_element(residuals.begin(), middle, residuals.end());
  const double noise = std::max(s.minNoise, 1.4826 * *middle);
  variance *= static_cast<float>(s.centreUncertainty);
  variance = variance.mul(variance) + static_cast<float>(noise * noise);
  return PrintModel{box, grey, model, variance, inside};
}

}  // namespace

std::vector<PrintHole> HolesAgainstPrint(const cv::Mat& work, double diameter,
                                         const BullShape& bull, const FacePrintSettings& s,
                                         std::span<cv::Point2d> recentre) {
  const std::optional<PrintModel> print = MeasurePrint(work, diameter, bull, s);
  if (!print) return {};
  const cv::Rect& box = print->box;
  const cv::Mat &grey = print->grey, &model = print->model, &variance = print->variance;
  const cv::Mat& inside = print->inside;
  const double discRadius = s.discRadius * diameter;
  const Cross kernel = CrossOf(discRadius);
  const double n = kernel.Pixels();

  // About every pixel: whether the disc lies in the model (`whole`), its flat grey (`level`,
  // weighted) and the gain per pixel where the flat grey explains most of it. Taken strip by
  // strip, so that the sums of a large face's print are never all held at once.
  cv::Mat gain(grey.size(), CV_32F, cv::Scalar(0)), level(grey.size(), CV_32F, cv::Scalar(0));
  cv::Mat whole(grey.size(), CV_8U, cv::Scalar(0));
  constexpr int kStrip = 128;
  for (int y0 = 0; y0 < grey.rows; y0 += kStrip) {
    const int y1 = std::min(grey.rows, y0 + kStrip);
    const cv::Range rows(std::max(0, y0 - kernel.h - 1), std::min(grey.rows, y1 + kernel.h + 1));
    const cv::Mat g = grey.rowRange(rows), d = g - model.rowRange(rows);
    cv::Mat w, modelled;
    cv::divide(1.0, variance.rowRange(rows), w);
    w.setTo(0, inside.rowRange(rows) == 0);
    inside.rowRange(rows).convertTo(modelled, CV_32F);
    const cv::Mat sumW = Sum(w, kernel), covered = Sum(modelled, kernel);
    const cv::Mat wg = w.mul(g);
    const cv::Mat sumWG = Sum(wg, kernel), sumWG2 = Sum(wg.mul(g), kernel);
    const cv::Mat sumWD2 = Sum(w.mul(d).mul(d), kernel);
    for (int y = y0; y < y1; ++y) {
      const int r = y - rows.start;
      for (int x = 0; x < grey.cols; ++x) {
        const float sw = sumW.at<float>(r, x);
        if (covered.at<float>(r, x) < 0.95 * n || sw <= 0) continue;
        whole.at<std::uint8_t>(y, x) = 1;
        const float swg = sumWG.at<float>(r, x);
        level.at<float>(y, x) = swg / sw;
        const float misfit = std::max(0.f, sumWG2.at<float>(r, x) - swg * swg / sw);
        const float total = sumWD2.at<float>(r, x);
        const float explained = total - misfit;
        if (explained < s.minExplained * total) continue;
        gain.at<float>(y, x) = explained / static_cast<float>(n);
      }
    }
  }

  // Shots found before: moved to the fitted centre where their hole is a clean one.
  for (cv::Point2d& shot : recentre) {
    const cv::Point at(static_cast<int>(std::lround(shot.x - box.x)),
                       static_cast<int>(std::lround(shot.y - box.y)));
    if (!cv::Rect(0, 0, grey.cols, grey.rows).contains(at) || !whole.at<std::uint8_t>(at)) continue;
    const Fitted fit =
        Refine(grey, model, variance, inside, shot - cv::Point2d(box.tl()), diameter, bull);
    if (fit.explained >= s.minRecentreExplained) shot = fit.centre + cv::Point2d(box.tl());
  }

  cv::Mat peaks;
  cv::dilate(gain, peaks, cv::Mat());
  std::vector<cv::Point> candidates;
  for (int y = 1; y + 1 < grey.rows; ++y)
    for (int x = 1; x + 1 < grey.cols; ++x) {
      const float g = gain.at<float>(y, x);
      if (g >= s.minGainPerPixel && g >= peaks.at<float>(y, x)) candidates.emplace_back(x, y);
    }
  std::sort(candidates.begin(), candidates.end(), [&](const cv::Point& a, const cv::Point& b) {
    return gain.at<float>(a) > gain.at<float>(b);
  });
  // A picture of noise or texture must not cost minutes: the strongest places only.
  if (candidates.size() > s.maxCandidates) candidates.resize(s.maxCandidates);

  std::vector<PrintHole> holes;
  const double ringInner = s.ringInner * diameter, ringOuter = s.ringOuter * diameter;
  const int half = static_cast<int>(std::ceil(ringOuter));
  for (const cv::Point& c : candidates) {
    const double u = c.x + box.x, v = c.y + box.y;
    if (std::any_of(holes.begin(), holes.end(), [&](const PrintHole& h) {
          return std::hypot(h.u - u, h.v - v) < s.minDistance * diameter;
        }))
      continue;
    const float hole = level.at<float>(c);
    int discPixels = 0, visible = 0;
    double differs = 0;
    for (int y = std::max(0, c.y - half); y <= std::min(grey.rows - 1, c.y + half); ++y) {
      for (int x = std::max(0, c.x - half); x <= std::min(grey.cols - 1, c.x + half); ++x) {
        if ((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) > discRadius * discRadius) continue;
        ++discPixels;
        const float m = model.at<float>(y, x);
        if (std::abs(hole - m) > s.visibleSigmas * std::sqrt(variance.at<float>(y, x))) {
          ++visible;
          differs += hole - m;
        }
      }
    }
    if (visible < s.minVisibleShare * discPixels) continue;
    // Round the ring, each direction shows the print, or the hole's grey again (another hole
    // beside it, a figure's stroke through it), or cannot tell (print of the hole's grey).
    std::array<bool, kDirections> again{};
    for (int k = 0; k < kDirections; ++k) {
      const double angle = 2 * std::numbers::pi * k / kDirections;
      int votes = 0, seen = 0;
      for (const double r : {ringInner, 0.5 * (ringInner + ringOuter), ringOuter}) {
        const int x = static_cast<int>(std::lround(c.x + r * std::cos(angle)));
        const int y = static_cast<int>(std::lround(c.y + r * std::sin(angle)));
        if (x < 0 || y < 0 || x >= grey.cols || y >= grey.rows || !inside.at<std::uint8_t>(y, x))
          continue;
        const float m = model.at<float>(y, x), g = grey.at<float>(y, x);
        if (std::abs(hole - m) <= s.visibleSigmas * std::sqrt(variance.at<float>(y, x))) continue;
        ++seen;
        votes += std::abs(g - hole) < std::abs(g - m) ? 1 : 0;
      }
      again[static_cast<std::size_t>(k)] = seen > 0 && 2 * votes > seen;
    }
    if (!OneShortRun(again, s.maxRingAgain)) continue;
    const Fitted fit = Refine(grey, model, variance, inside, cv::Point2d(c), diameter, bull);
    if (fit.explained < s.minFitExplained) continue;
    const double mean = differs / visible;
    holes.push_back(
        {fit.centre.x + box.x, fit.centre.y + box.y, gain.at<float>(c), mean > 0, std::abs(mean)});
  }
  return holes;
}

}  // namespace holescan::shots
