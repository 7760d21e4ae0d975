// The scan of a whole generated target against its floor, and the whole Draw command.
//
// The floor is the least any scan can do: read every pixel of the target once and write the
// result picture and the darkness map once, with no computation between (the pixel word is
// copied, its low byte stored). The engine's scan is Form1::ScanRows, the rows of
// ScanSelection before its finishing pass: clearing the result picture, darkness bytes, grey
// pixels and first-pass labelling, run through the window's logic on a toolkit that shows
// nothing, exactly as the command line runs it. Draw is the whole command: the scan, the
// finishing pass with its report text, and the centre marks.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench_targets.h"
#include "fastest.h"
#include "main_window/form1.h"
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
  bench::LoadedForm loaded(static_cast<int>(state.range(0)));
  Form1& form = loaded.form;
  const DarkMap& dark = form.Dark();
  for (auto _ : state) {
    form.Analysis().ResetHoleArrays(dark.MaxX(), dark.MaxY());
    form.ScanRows();
    benchmark::DoNotOptimize(form.Analysis().Holes().Size());
  }
  SetPixels(state, form.PicTarget());
  state.counters["holes"] = static_cast<double>(form.Analysis().Holes().Size());
}
BENCHMARK(BM_Scan)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("megapixels")
    ->Arg(6)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond);

void BM_Draw(benchmark::State& state) {
  bench::LoadedForm loaded(static_cast<int>(state.range(0)));
  Form1& form = loaded.form;
  for (auto _ : state) {
    if (form.CmdDraw_Click()) state.SkipWithError("Draw stopped");
    benchmark::DoNotOptimize(loaded.toolkit.ClipboardText().size());
  }
  SetPixels(state, form.PicTarget());
  state.counters["shot_holes"] = static_cast<double>(form.Analysis().Peaks().Size());
  state.counters["report_bytes"] = static_cast<double>(loaded.toolkit.ClipboardText().size());
}
BENCHMARK(BM_Draw)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("megapixels")
    ->Arg(6)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace holescan
