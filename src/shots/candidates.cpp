#include "shots/candidates.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include <opencv2/imgproc.hpp>

namespace holescan::shots {
namespace {

cv::Mat Kernel(double inner, double outer) {
  const int n = static_cast<int>(std::ceil(outer));
  cv::Mat k(2 * n + 1, 2 * n + 1, CV_32F, cv::Scalar(0));
  double sum = 0;
  for (int y = -n; y <= n; ++y) {
    for (int x = -n; x <= n; ++x) {
      const double r2 = x * x + y * y;
      if (r2 <= outer * outer && (inner <= 0 || r2 >= inner * inner)) {
        k.at<float>(y + n, x + n) = 1;
        ++sum;
      }
    }
  }
  return k / sum;
}

// Ring mean minus disc mean: positive where the disc is darker.
cv::Mat Difference(const cv::Mat& image, const cv::Mat& disc, const cv::Mat& ring) {
  cv::Mat d, r;
  cv::filter2D(image, d, CV_32F, disc, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
  cv::filter2D(image, r, CV_32F, ring, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
  return r - d;
}

struct Peak {
  int x = 0, y = 0;
  float value = 0;
};

// Local maxima of at least `minimum`, the strongest first, none closer than `distance` to a
// stronger one.
std::vector<Peak> Peaks(const cv::Mat& response, double distance, double minimum) {
  const int r = static_cast<int>(distance);
  const cv::Mat element = cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * r + 1, 2 * r + 1});
  cv::Mat dilated;
  cv::dilate(response, dilated, element);
  std::vector<Peak> all;
  for (int y = 0; y < response.rows; ++y) {
    const float* v = response.ptr<float>(y);
    const float* d = dilated.ptr<float>(y);
    for (int x = 0; x < response.cols; ++x) {
      if (v[x] >= d[x] && v[x] >= minimum) all.push_back({x, y, v[x]});
    }
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const Peak& a, const Peak& b) { return a.value > b.value; });
  // Greedy thinning on a grid of cells `distance` wide.
  std::unordered_map<long long, std::vector<Peak>> grid;
  auto key = [](long long gx, long long gy) { return gx * 1000003LL + gy; };
  std::vector<Peak> kept;
  const double d2 = distance * distance;
  for (const Peak& p : all) {
    const auto gx = static_cast<long long>(std::floor(p.x / distance));
    const auto gy = static_cast<long long>(std::floor(p.y / distance));
    bool clash = false;
    for (long long dx = -1; dx <= 1 && !clash; ++dx) {
      for (long long dy = -1; dy <= 1 && !clash; ++dy) {
        const auto it = grid.find(key(gx + dx, gy + dy));
        if (it == grid.end()) continue;
        for (const Peak& q : it->second) {
          if (static_cast<double>((q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y)) < d2) {
            clash = true;
            break;
          }
        }
      }
    }
    if (!clash) {
      grid[key(gx, gy)].push_back(p);
      kept.push_back(p);
    }
  }
  return kept;
}

}  // namespace

std::vector<Candidate> Proposals(const cv::Mat& work, double diameter,
                                 const CandidateSettings& s) {
  if (work.empty()) return {};
  cv::Mat half;
  const cv::Size halfSize((work.cols + 1) / 2, (work.rows + 1) / 2);
  cv::resize(work, half, halfSize, 0, 0, cv::INTER_AREA);
  const double kx = static_cast<double>(work.cols) / half.cols;
  const double ky = static_cast<double>(work.rows) / half.rows;
  const double d = diameter * s.proposalScale;

  cv::Mat f;
  half.convertTo(f, CV_32F);
  std::vector<cv::Mat> channels;
  cv::split(f, channels);
  const cv::Mat grey = (channels[0] + channels[1] + channels[2]) / 3;
  cv::Mat brightest, darkest;
  cv::max(channels[0], channels[1], brightest);
  cv::max(brightest, channels[2], brightest);
  cv::min(channels[0], channels[1], darkest);
  cv::min(darkest, channels[2], darkest);

  cv::Mat dark, light;
  const double sizes[2][3] = {{s.discRadius, s.ringInner, s.ringOuter},
                              {s.smallDiscRadius, s.smallRingInner, s.smallRingOuter}};
  for (const auto& size : sizes) {
    const cv::Mat disc = Kernel(0, size[0] * d);
    const cv::Mat ring = Kernel(size[1] * d, size[2] * d);
    const cv::Mat g = Difference(grey, disc, ring);
    cv::Mat darker, lighter;
    cv::max(g, Difference(brightest, disc, ring), darker);
    cv::Mat negative = -g;
    cv::Mat darkestLighter = -Difference(darkest, disc, ring);
    cv::max(negative, darkestLighter, lighter);
    if (dark.empty()) {
      dark = darker;
      light = lighter;
    } else {
      cv::max(dark, darker, dark);
      cv::max(light, lighter, light);
    }
  }

  std::vector<Candidate> out;
  for (const bool isLight : {false, true}) {
    for (const Peak& p : Peaks(isLight ? light : dark, s.minDistance * d, s.minResponse)) {
      out.push_back({(p.x + 0.5) * kx - 0.5, (p.y + 0.5) * ky - 0.5, p.value, isLight});
    }
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Candidate& a, const Candidate& b) { return a.response > b.response; });
  const double megapixels = static_cast<double>(work.cols) * work.rows / 1e6;
  const auto cap = static_cast<std::size_t>(
      std::min(s.maxCap, std::max(s.minCap, s.maxPerMegapixel * megapixels)));
  if (out.size() > cap) out.resize(cap);
  return out;
}

}  // namespace holescan::shots
