// The vote map of the largest hole the rejection lets through (151 x 151, every point
// dark), computed fast and literally. The literal computation visits every point for every
// cell and takes seconds, so it runs once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "fastest.h"
#include "holes/hole_analysis.h"
#include "holes/hole_array.h"
#include "holes/vote_map.h"
#include "support/literal_vote.h"

namespace holescan {
namespace {

constexpr int kSide = kMaxHoleSpan + 1;
constexpr int kOrigin = 100;

HoleArray DarkSquare() {
  HoleArray holes;
  const Label hole = holes.Add();
  for (int y = kOrigin; y < kOrigin + kSide; ++y)
    for (int x = kOrigin; x < kOrigin + kSide; ++x) holes.AddPoint(hole, x, y, 255);
  holes.MeasureHole(hole, false);
  return holes;
}

void SetCells(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_VoteMapFast(benchmark::State& state) {
  const HoleArray holes = DarkSquare();
  const Hole& h = holes[1];
  VoteMap map;
  for (auto _ : state) {
    map.Reset(h.MinX, h.MaxX, h.MinY, h.MaxY);
    map.Compute(holes, 1);
    benchmark::DoNotOptimize(map.Doubled(kOrigin + kSide / 2, kOrigin + kSide / 2));
  }
  SetCells(state);
}
BENCHMARK(BM_VoteMapFast)->ComputeStatistics("min", Fastest)->Unit(benchmark::kMillisecond);

void BM_VoteMapLiteral(benchmark::State& state) {
  const HoleArray holes = DarkSquare();
  const std::vector<HolePoint> points = holes.Points(1);
  for (auto _ : state) {
    float total = 0;
    for (int y = kOrigin; y < kOrigin + kSide; ++y)
      for (int x = kOrigin; x < kOrigin + kSide; ++x) total += LiteralVote(points, x, y);
    benchmark::DoNotOptimize(total);
  }
  SetCells(state);
}
BENCHMARK(BM_VoteMapLiteral)
    ->ComputeStatistics("min", Fastest)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace holescan
