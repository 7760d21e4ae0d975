// The point of aim on generated face scans against its floor.
//
// The floor reads every pixel of the picture once and sums its grey, the least any search of
// the whole picture does. FindAim reduces the picture once like that, then works on the
// reduced copy and on rays near the black's edge. Pictures: the air-pistol card (175 mm
// square) at 300 and 600 ppi, 4.3 and 17 megapixels, and an air-rifle face on a page 245 mm
// square at 600 ppi, 34 megapixels; each with ramp, grain and shots cutting the black.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "facegen.h"
#include "fastest.h"
#include "shots/aim.h"
#ifdef HOLESCAN_BENCH_CALIBRATED
#include "calibrated/calibrated.h"
#endif

namespace holescan {
namespace {

struct Case {
  const char* face;
  double dpi;
  double marginMm;
};
constexpr Case kCases[] = {
    {"issf-air-pistol", 300, 10}, {"issf-air-pistol", 600, 10}, {"issf-air-rifle", 600, 100}};

const facegen::FaceTarget& Target(std::int64_t index) {
  static std::map<std::int64_t, facegen::FaceTarget> targets;
  auto found = targets.find(index);
  if (found == targets.end()) {
    const Case& c = kCases[index];
    facegen::FaceOptions options;
    options.face = score::FindFace(c.face);
    options.dpi = c.dpi;
    options.marginMm = c.marginMm;
    options.seed = 7;
    options.edgeShots = 6;
    options.scatterShots = 10;
    options.noise = 4;
    options.ramp = 0.2;
    found = targets.emplace(index, facegen::MakeFace(options)).first;
  }
  return found->second;
}

void SetPixels(benchmark::State& state, const Picture& picture) {
  const auto pixels = static_cast<std::int64_t>(picture.Width()) * picture.Height();
  state.SetItemsProcessed(state.iterations() * pixels);
  state.counters["megapixels"] = static_cast<double>(pixels) / 1e6;
}

void BM_AimFloor(benchmark::State& state) {
  const Picture& picture = Target(state.range(0)).picture;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (int y = 0; y < picture.Height(); ++y) {
      const std::uint32_t* row = picture.Row(y);
      for (int x = 0; x < picture.Width(); ++x) {
        sum += ((row[x] >> 16) & 0xFFu) + ((row[x] >> 8) & 0xFFu) + (row[x] & 0xFFu);
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  SetPixels(state, picture);
}
BENCHMARK(BM_AimFloor)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("case")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);

void BM_FindAim(benchmark::State& state) {
  const facegen::FaceTarget& target = Target(state.range(0));
  const Case& c = kCases[state.range(0)];
  double error = 0;
  for (auto _ : state) {
    const auto fit = shots::FindAim(target.picture.View(), *score::FindFace(c.face), c.dpi);
    if (!fit) {
      state.SkipWithError("no point of aim");
      break;
    }
    error = std::hypot(fit->centre.x - target.aimX, fit->centre.y - target.aimY) * 25.4 / c.dpi;
  }
  SetPixels(state, target.picture);
  state.counters["error_um"] = error * 1000;
}
BENCHMARK(BM_FindAim)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("case")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);

// The face found and measured with no resolution known (shots::FindFaces), and its error in
// parts per million of the true resolution.
void BM_FindFaces(benchmark::State& state) {
  const facegen::FaceTarget& target = Target(state.range(0));
  const Case& c = kCases[state.range(0)];
  const score::Face* face = score::FindFace(c.face);
  double error = 0;
  for (auto _ : state) {
    const auto found = shots::FindFaces(target.picture.View(), std::span(&face, 1));
    if (!found) {
      state.SkipWithError("no face");
      break;
    }
    error = found->pxPerMm * 25.4 / c.dpi - 1;
  }
  SetPixels(state, target.picture);
  state.counters["scale_error_ppm"] = error * 1e6;
}
BENCHMARK(BM_FindFaces)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("case")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);

#ifdef HOLESCAN_BENCH_CALIBRATED
// The whole calibrated run with the scale from the face, which FindFaces is a part of.
void BM_CalibratedFromFace(benchmark::State& state) {
  const facegen::FaceTarget& target = Target(state.range(0));
  const Case& c = kCases[state.range(0)];
  calibrated::CalibratedSettings settings;
  settings.face = score::FindFace(c.face);
  settings.dpiSource = calibrated::ResolutionSource::Face;
  for (auto _ : state) {
    benchmark::DoNotOptimize(calibrated::AnalysePicture(target.picture.View(), settings));
  }
  SetPixels(state, target.picture);
}
BENCHMARK(BM_CalibratedFromFace)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("case")
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace
}  // namespace holescan
