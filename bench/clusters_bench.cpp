// Resolving a ragged group beside the rest of the calibrated analysis of the same page: one
// group of 15 shots (groupgen, every shot keeping a fifth of its rim) in the middle of a
// 100 mm square at 600 ppi (2362 x 2362 pixels).
//   BM_GroupRestOfAnalysis: the shot finder with the group stage off (working picture,
//     proposals, the decision);
//   BM_GroupResolve: the group stage alone (clusters.h) on that working picture and those
//     kept shots, as the shot finder runs it;
//   BM_GroupResolveCounted: the same with the count given (15), where missing shots are
//     added and every shot is tried elsewhere in the group.
// The target: the second takes at most the time of the first.
#include <benchmark/benchmark.h>

#include "fastest.h"
#include "groupgen.h"
#include "shots/clusters.h"
#include "shots/shots.h"
#include "shots/working_picture.h"

namespace holescan {
namespace {

constexpr double kDpi = 600;

const scangen::GroupScan& GroupPage() {
  static const scangen::GroupScan scan = [] {
    scangen::GroupOptions options;
    options.seed = 97001;
    options.dpi = kDpi;
    options.sideMm = 100;
    options.shots = 15;
    return scangen::MakeGroupScan(options);
  }();
  return scan;
}

void BM_GroupRestOfAnalysis(benchmark::State& state) {
  const scangen::GroupScan& page = GroupPage();
  shots::ShotSettings settings{4.5, kDpi, shots::HoleLook::Auto};
  settings.resolveGroups = false;
  std::size_t found = 0;
  for (auto _ : state) {
    found = shots::FindShots(page.picture.View(), settings).shots.size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["shots"] = static_cast<double>(found);
}

void Resolve(benchmark::State& state, std::optional<int> expected) {
  const scangen::GroupScan& page = GroupPage();
  shots::ShotSettings settings{4.5, kDpi, shots::HoleLook::Auto};
  settings.resolveGroups = false;
  const shots::ShotResult kept = shots::FindShots(page.picture.View(), settings);
  const shots::WorkingPicture w = shots::MakeWorkingPicture(
      page.picture.View(), {0, 0, page.picture.Width(), page.picture.Height()},
      shots::HoleDiameterPx(settings));
  std::vector<shots::GroupSeed> seeds;
  for (const shots::Shot& shot : kept.shots)
    seeds.push_back({{w.WorkU(shot.x), w.WorkV(shot.y)}, shot.look == shots::HoleLook::Light});
  std::size_t found = 0;
  for (auto _ : state) {
    found = shots::ResolveGroups(w.bgr, w.diameter, seeds, true, true, expected).size();
    benchmark::DoNotOptimize(found);
  }
  state.counters["shots"] = static_cast<double>(found);
}

void BM_GroupResolve(benchmark::State& state) { Resolve(state, std::nullopt); }
void BM_GroupResolveCounted(benchmark::State& state) { Resolve(state, 15); }

BENCHMARK(BM_GroupRestOfAnalysis)->ComputeStatistics("min", Fastest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupResolve)->ComputeStatistics("min", Fastest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupResolveCounted)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace holescan
