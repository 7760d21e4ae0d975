// The scan of a whole generated target against its floor, and the whole Draw command.
//
// The floor is the least any scan can do: read every pixel of the target once and write the
// result picture and the darkness map once, with no computation between (the pixel word is
// copied, its low byte stored). The engine's scan is ScanRows, the rows of ScanSelection
// before its finishing pass: clearing the result picture, darkness bytes, grey pixels and
// first-pass labelling. Draw is the whole command as every front end runs it: the scan, the
// finishing pass with its report text, and the centre marks.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench_targets.h"
#include "fastest.h"
#include "holes/scan.h"
#include "pixel/picture.h"

namespace holescan {
namespace {

void SetPixels(benchmark::State& state, const Picture& picture) {
  const auto pixels = static_cast<std::int64_t>(picture.Width()) * picture.Height();
  state.SetItemsProcessed(state.iterations() * pixels);
  state.counters["megapixels"] = static_cast<double>(pixels) / 1e6;
}

// Every pixel read once; the result picture and the darkness map (one column and one row
// more than the picture, as the scan fills them) written once.
void FloorPass(const Picture& target, Picture& result, DarkMap& dark) {
  const int width = target.Width();
  for (int y = 0; y < target.Height(); ++y) {
    const std::uint32_t* in = target.Row(y);
    std::uint32_t* out = result.Row(y);
    std::uint8_t* bytes = dark.Row(y);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t pixel = in[x];
      out[x] = pixel;
      bytes[x] = static_cast<std::uint8_t>(pixel);
    }
    bytes[width] = 0;
  }
  std::uint8_t* last = dark.Row(target.Height());
  for (int x = 0; x <= width; ++x) last[x] = 0;
}

void BM_ScanFloor(benchmark::State& state) {
  const Picture& target = bench::GeneratedTarget(static_cast<int>(state.range(0)));
  Picture result(target.Width(), target.Height(), 0);
  DarkMap dark(target.Width(), target.Height());
  for (auto _ : state) {
    FloorPass(target, result, dark);
    benchmark::DoNotOptimize(result.Data());
    benchmark::DoNotOptimize(dark.Bytes().data());
    benchmark::ClobberMemory();
  }
  SetPixels(state, target);
}
BENCHMARK(BM_ScanFloor)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("megapixels")
    ->Arg(6)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond);

void BM_Scan(benchmark::State& state) {
  bench::ScanSetup s(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    s.analysis.ResetHoleArrays(s.dark.MaxX(), s.dark.MaxY());
    ScanRows(s.analysis, s.target.View(), s.selection, {s.dark, s.result}, s.observer);
    benchmark::DoNotOptimize(s.analysis.Holes().Size());
  }
  SetPixels(state, s.target);
  state.counters["holes"] = static_cast<double>(s.analysis.Holes().Size());
}
BENCHMARK(BM_Scan)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("megapixels")
    ->Arg(6)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond);

void BM_Draw(benchmark::State& state) {
  bench::ScanSetup s(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Draw(s.analysis, s.target.View(), s.selection, {s.dark, s.result}, s.observer);
    benchmark::DoNotOptimize(s.analysis.ReportText().size());
  }
  SetPixels(state, s.target);
  state.counters["shot_holes"] = static_cast<double>(s.analysis.Peaks().Size());
  state.counters["report_bytes"] = static_cast<double>(s.analysis.ReportText().size());
}
BENCHMARK(BM_Draw)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("megapixels")
    ->Arg(6)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace holescan
