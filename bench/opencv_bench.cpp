// The OpenCV baseline of Draw: the same generated target through OpenCV's general-purpose
// building blocks, on one thread.
//   1. dark pixels: red + green + blue <= 55 (a weighted channel sum, then a threshold);
//   2. connectedComponentsWithStats with 4-connectivity;
//   3. for every region the analysis would keep (5 points or more, at most 151 pixels wide
//      and tall) its own pixels on its box widened by the disc's radius, filtered with the
//      145-point disc dx^2 + dy^2 <= 47: the region's vote map.
// The picture is wrapped, not copied: a 0xAARRGGBB word is the bytes B, G, R, A in memory.
// Built only when OpenCV is installed; only this benchmark links it.
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>

#include "bench_targets.h"
#include "fastest.h"
#include "holes/hole_analysis.h"
#include "holes/vote_map.h"
#include "pixel/picture.h"

namespace holescan {
namespace {

cv::Mat Wrap(const Picture& picture) {
  return {picture.Height(), picture.Width(), CV_8UC4, const_cast<std::uint32_t*>(picture.Data()),
          picture.Stride() * sizeof(std::uint32_t)};
}

cv::Mat DiscKernel() {
  cv::Mat kernel(2 * kDiscRadius + 1, 2 * kDiscRadius + 1, CV_32F, cv::Scalar(0));
  for (int dy = -kDiscRadius; dy <= kDiscRadius; ++dy)
    for (int dx = -kDiscRadius; dx <= kDiscRadius; ++dx)
      if (dx * dx + dy * dy <= kDiscSquaredLimit)
        kernel.at<float>(dy + kDiscRadius, dx + kDiscRadius) = 0.5f / 255.0f;
  return kernel;
}

// Buffers kept across iterations, as the engine keeps its own.
struct Pipeline {
  cv::Mat sum, mask, labels, stats, centroids, region, votes;
  cv::Mat kernel = DiscKernel();

  // Returns the number of regions filtered.
  int Run(const cv::Mat& bgra) {
    // Saturating at 255 keeps every sum <= 55 exact.
    cv::transform(bgra, sum, cv::Matx14f(1, 1, 1, 0));
    cv::threshold(sum, mask, 55, 255, cv::THRESH_BINARY_INV);
    const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 4, CV_32S);
    int kept = 0;
    for (int i = 1; i < count; ++i) {
      const int* s = stats.ptr<int>(i);
      if (s[cv::CC_STAT_AREA] < kMinHolePoints || s[cv::CC_STAT_WIDTH] > kMaxHoleSpan + 1 ||
          s[cv::CC_STAT_HEIGHT] > kMaxHoleSpan + 1)
        continue;
      const cv::Rect box =
          cv::Rect(s[cv::CC_STAT_LEFT] - kDiscRadius, s[cv::CC_STAT_TOP] - kDiscRadius,
                   s[cv::CC_STAT_WIDTH] + 2 * kDiscRadius,
                   s[cv::CC_STAT_HEIGHT] + 2 * kDiscRadius) &
          cv::Rect(0, 0, labels.cols, labels.rows);
      cv::compare(labels(box), i, region, cv::CMP_EQ);
      cv::filter2D(region, votes, CV_32F, kernel, cv::Point(-1, -1), 0, cv::BORDER_CONSTANT);
      double best = 0;
      cv::minMaxLoc(votes, nullptr, &best);
      benchmark::DoNotOptimize(best);
      ++kept;
    }
    return kept;
  }
};

void BM_OpenCvPipeline(benchmark::State& state) {
  cv::setNumThreads(1);
  const Picture& target = bench::GeneratedTarget(static_cast<int>(state.range(0)));
  const cv::Mat bgra = Wrap(target);
  Pipeline pipeline;
  int kept = 0;
  for (auto _ : state) {
    kept = pipeline.Run(bgra);
    benchmark::DoNotOptimize(kept);
  }
  const auto pixels = static_cast<std::int64_t>(target.Width()) * target.Height();
  state.SetItemsProcessed(state.iterations() * pixels);
  state.counters["megapixels"] = static_cast<double>(pixels) / 1e6;
  state.counters["regions_kept"] = kept;
}
BENCHMARK(BM_OpenCvPipeline)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("megapixels")
    ->Arg(6)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace holescan
