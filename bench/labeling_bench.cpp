// The first pass on its worst cases. A comb merges every column into the next at its base,
// moving ever larger holes; a filled disc touches both neighbours on every pixel. Labelling
// must stay linear in the dark pixels: the time per pixel (items per second) should not
// change between the two sizes of each shape.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "fastest.h"
#include "holes/hole_analysis.h"
#include "pixel/darkness.h"
#include "targetgen.h"

namespace holescan {
namespace {

struct Scan {
  DarkMap dark;
  std::vector<HolePoint> darkPixels;  // in scan order
};

// What the scan driver leaves for the labelling: the darkness map and its dark pixels.
Scan Prepare(const Picture& picture) {
  Scan scan{DarkMap(picture.Width(), picture.Height()), {}};
  const auto& table = DarknessByteTable();
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const std::uint8_t v = table[static_cast<std::size_t>(ColourSum(picture.At(x, y)))];
      scan.dark.At(x, y) = v;
      if (v > kDarkThreshold)
        scan.darkPixels.push_back({static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)});
    }
  }
  return scan;
}

void LabelAll(benchmark::State& state, const Picture& picture) {
  const Scan scan = Prepare(picture);
  Picture result(picture.Width(), picture.Height(), 0);
  ScanObserver silent;
  HoleAnalysis analysis(scan.dark, result, silent);
  auto labelAll = [&] {
    analysis.ResetHoleArrays(scan.dark.MaxX(), scan.dark.MaxY());
    for (const HolePoint p : scan.darkPixels) analysis.LabelDarkPixel(p.x, p.y);
    benchmark::DoNotOptimize(analysis.Holes().Size());
  };
  // The first pass grows the point pools and faults their pages in, several times the
  // cost of a pass; later draws reuse them, as the window's do. Timing it would weigh the
  // large cases (fewer iterations) more than the small ones and hide the linearity.
  labelAll();
  for (auto _ : state) labelAll();
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scan.darkPixels.size()));
  state.counters["dark_pixels"] = static_cast<double>(scan.darkPixels.size());
}

void BM_LabelComb(benchmark::State& state) {
  LabelAll(state, targetgen::MakeComb(static_cast<int>(state.range(0)), 2000));
}
BENCHMARK(BM_LabelComb)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("stripes")
    ->Arg(500)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

void BM_LabelDisc(benchmark::State& state) {
  LabelAll(state, targetgen::MakeDisc(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LabelDisc)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("diameter")
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace holescan
