// The calibrated analysis of a generated letter page, beside the exact analysis ("Draw") of the
// same picture and decoding the same picture from PNG, at 300 and 600 pixels per inch.
//
// The page (scangen: 8.5 x 11 in, 4.5 mm, 50 shots of the dark looks in 38 isolated holes, 3
// pairs and 2 triples, printed rings, lines and figures, an aiming mark, specks, a border) is
// generated once per process; its PNG is encoded once by Qt, and the decoding case runs
// QImage::loadFromData on those bytes, as loading a PNG scan costs a front end.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <map>
#include <span>
#include <vector>

#include "bench_targets.h"
#include "calibrated/calibrated.h"
#include "fastest.h"
#include "scangen.h"
#include "shots/candidates.h"
#include "shots/decision.h"
#include "shots/shots.h"
#include "shots/working_picture.h"

namespace holescan {
namespace {

struct Page {
  Picture picture;
  QByteArray png;
};

const Page& LetterPage(int dpi) {
  // Qt refuses pictures over 256 MiB decoded by default; the front ends raise the limit too.
  QImageReader::setAllocationLimit(1024);
  static std::map<int, Page> pages;
  auto found = pages.find(dpi);
  if (found != pages.end()) return found->second;
  scangen::ScanOptions options;
  options.seed = 2026;
  options.dpi = dpi;
  options.widthMm = 215.9;
  options.heightMm = 279.4;
  options.singles = 38;
  options.pairs = 3;
  options.triples = 2;
  options.specks = 200;
  options.looks = {scangen::Look::Black, scangen::Look::DarkGrey, scangen::Look::Torn};
  Page page{scangen::MakeScan(options).picture, {}};
  const QImage image(reinterpret_cast<const uchar*>(page.picture.Data()), page.picture.Width(),
                     page.picture.Height(), page.picture.Width() * 4, QImage::Format_RGB32);
  QBuffer buffer(&page.png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return pages.emplace(dpi, std::move(page)).first->second;
}

void SetPixels(benchmark::State& state, const Picture& picture) {
  state.counters["megapixels"] = static_cast<double>(picture.Width()) * picture.Height() / 1e6;
}

void BM_ShotsCalibrated(benchmark::State& state) {
  const Page& page = LetterPage(static_cast<int>(state.range(0)));
  calibrated::CalibratedSettings settings;
  settings.dpi = static_cast<double>(state.range(0));
  std::size_t found = 0;
  for (auto _ : state) {
    found = calibrated::AnalysePicture(page.picture.View(), settings).shots.size();
    benchmark::DoNotOptimize(found);
  }
  SetPixels(state, page.picture);
  state.counters["shots"] = static_cast<double>(found);
}

void BM_ShotsExactDraw(benchmark::State& state) {
  const Page& page = LetterPage(static_cast<int>(state.range(0)));
  DarkMap dark(page.picture.Width(), page.picture.Height());
  Picture result(page.picture.Width(), page.picture.Height(), kResultBackground);
  HoleAnalysis analysis;
  ScanObserver silent;
  const Selection whole = WholePicture(page.picture.Width(), page.picture.Height());
  for (auto _ : state) {
    Draw(analysis, page.picture.View(), whole, {dark, result}, silent);
    benchmark::DoNotOptimize(analysis.ReportText().size());
  }
  SetPixels(state, page.picture);
}

void BM_ShotsPngDecode(benchmark::State& state) {
  const Page& page = LetterPage(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    QImage image;
    if (!image.loadFromData(page.png, "PNG")) state.SkipWithError("PNG not decoded");
    benchmark::DoNotOptimize(image.constBits());
  }
  SetPixels(state, page.picture);
  state.counters["png_megabytes"] = static_cast<double>(page.png.size()) / 1e6;
}

// The stages of the calibrated analysis of the 600-ppi page one by one: the working picture,
// the proposals, the views of every proposal, the first look at those views, and the judging of
// every proposal as the analysis does it (views, first look, and the network on those it passes).
// The network's share is the judging less the views and the first look.
void BM_CalibratedStage(benchmark::State& state) {
  const Page& page = LetterPage(600);
  const PictureView picture = page.picture.View();
  shots::ShotSettings settings;
  settings.dpi = 600;
  const double diameter = shots::HoleDiameterPx(settings);
  const shots::Region whole{0, 0, picture.width, picture.height};
  const shots::WorkingPicture w = shots::MakeWorkingPicture(picture, whole, diameter);
  const std::vector<shots::Candidate> proposals =
      shots::Proposals(w.bgr, w.diameter, shots::CandidateSettings{});
  std::vector<cv::Point2d> points;
  for (const shots::Candidate& c : proposals) points.emplace_back(c.u, c.v);
  // Views are cut and looked at 64 at a time, as the analysis does.
  constexpr std::size_t kSlice = 64;
  std::vector<cv::Mat> views;
  for (std::size_t i = 0; i < points.size(); i += kSlice)
    views.push_back(
        shots::PatchBlob(w.bgr, std::span(points).subspan(i, std::min(kSlice, points.size() - i))));
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0:
        benchmark::DoNotOptimize(shots::MakeWorkingPicture(picture, whole, diameter).bgr.data);
        break;
      case 1:
        benchmark::DoNotOptimize(
            shots::Proposals(w.bgr, w.diameter, shots::CandidateSettings{}).size());
        break;
      case 2:
        for (std::size_t i = 0; i < points.size(); i += kSlice) {
          const auto slice = std::span(points).subspan(i, std::min(kSlice, points.size() - i));
          benchmark::DoNotOptimize(shots::PatchBlob(w.bgr, slice).data);
        }
        break;
      case 3:
        for (const cv::Mat& slice : views) benchmark::DoNotOptimize(shots::Screen(slice).size());
        break;
      default:
        benchmark::DoNotOptimize(
            shots::Judge(w.bgr, points, w.diameter, /*bothWays=*/false, /*screened=*/true).size());
    }
  }
  state.counters["proposals"] = static_cast<double>(points.size());
  std::size_t passed = 0;  // by the first look, to the network
  for (const cv::Mat& slice : views)
    for (const double p : shots::Screen(slice)) passed += p >= shots::ScreenThreshold() ? 1 : 0;
  state.counters["passed"] = static_cast<double>(passed);
}
BENCHMARK(BM_CalibratedStage)
    ->ComputeStatistics("min", Fastest)
    ->ArgName("stage")
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond);

#define HOLESCAN_PAGE_CASE(name)          \
  BENCHMARK(name)                         \
      ->ComputeStatistics("min", Fastest) \
      ->ArgName("ppi")                    \
      ->Arg(300)                          \
      ->Arg(600)                          \
      ->Unit(benchmark::kMillisecond)
HOLESCAN_PAGE_CASE(BM_ShotsCalibrated);
HOLESCAN_PAGE_CASE(BM_ShotsExactDraw);
HOLESCAN_PAGE_CASE(BM_ShotsPngDecode);

}  // namespace
}  // namespace holescan
