// review_bench - the two speeds holescan-review promises, on generated letter-size scans:
//   BM_OpenToShots        File > Open of a 300-ppi letter page (PNG, about 50 shots) until its
//                         shots are drawn: reading, the halved copies, the analysis, the scene
//                         and one repaint (target: under 1 s);
//   BM_Repaint/...        one repaint of the view of a 600-ppi letter page after a zoom step
//                         or a pan of 40 screen pixels, fitted and at 1:1 (target: under 16 ms);
//   BM_ExportAnswers/...  File > Export of a 600-ppi letter page (CSV, JSON, PNG, PDF) with a
//                         10-ms timer on the window's thread: the longest the window went
//                         without handling an event (max_gap_ms; target: under 100 ms),
//                         exporting on the window's thread (mode 0, as before) and off it
//                         (mode 1, ExportTo), side by side.
//
//   cmake --build build --target review_bench
//   QT_QPA_PLATFORM=offscreen build/tests/review/review_bench
//
// The pages are written once, with their resolution, to
// /tmp/holescan-review-bench2-{300,600}ppi.png.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>

#include "io/qt/picture_loader.h"
#include "review/exports.h"
#include "review/review_window.h"
#include "review/shot_view.h"
#include "scangen.h"

namespace {

using holescan::review::ReviewWindow;

std::string Page(double dpi) {
  const std::string path =
      "/tmp/holescan-review-bench2-" + std::to_string(static_cast<int>(dpi)) + "ppi.png";
  if (QFileInfo::exists(QString::fromStdString(path))) return path;
  holescan::scangen::ScanOptions options;
  options.seed = 11;
  options.dpi = dpi;
  options.widthMm = 215.9;
  options.heightMm = 279.4;
  options.singles = 34;
  options.pairs = 5;
  options.triples = 2;
  // Light holes go inside the one aiming mark, which has no room for a quarter of 34.
  options.looks = {holescan::scangen::Look::Black, holescan::scangen::Look::DarkGrey,
                   holescan::scangen::Look::Torn};
  const auto scan = holescan::scangen::MakeScan(options);
  QImage image(reinterpret_cast<const uchar*>(scan.picture.Data()), scan.picture.Width(),
               scan.picture.Height(), scan.picture.Width() * 4, QImage::Format_RGB32);
  // The window takes the resolution the file records, as a scanner writes it.
  image.setDotsPerMeterX(static_cast<int>(dpi / 0.0254 + 0.5));
  image.setDotsPerMeterY(static_cast<int>(dpi / 0.0254 + 0.5));
  if (!image.save(QString::fromStdString(path), "PNG", 1)) std::perror(path.c_str());
  return path;
}

void Open(ReviewWindow& window, const std::string& path) {
  window.OpenFiles({path});
  window.Analysis().WaitIdle();
  QCoreApplication::processEvents();
  window.View()->viewport()->repaint();
}

void BM_OpenToShots(benchmark::State& state) {
  const std::string path = Page(300);
  std::size_t shots = 0;
  for (auto _ : state) {
    ReviewWindow window;
    window.resize(1280, 800);
    window.show();
    Open(window, path);
    shots = window.Current() ? window.Current()->Shots().size() : 0;
    state.PauseTiming();
    window.Analysis().CancelAll();
    state.ResumeTiming();
  }
  state.counters["shots"] = static_cast<double>(shots);
}
BENCHMARK(BM_OpenToShots)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A window on the 600-ppi page, for a case to keep for the whole process.
ReviewWindow* OpenPageWindow() {
  auto* window = new ReviewWindow;
  window->resize(1280, 800);
  window->show();
  Open(*window, Page(600));
  return window;
}

// Mode 0: zoom steps at fit; 1: zoom steps about 1:1; 2: pan at fit x 2; 3: pan at 1:1.
void BM_Repaint(benchmark::State& state) {
  static ReviewWindow* window = OpenPageWindow();
  holescan::review::ShotView* view = window->View();
  const int mode = static_cast<int>(state.range(0));
  view->FitToWindow();
  if (mode == 1 || mode == 3) view->ActualSize();
  if (mode == 2) view->ZoomBy(2);
  view->viewport()->repaint();
  int step = 0;
  for (auto _ : state) {
    ++step;
    if (mode <= 1) {
      view->ZoomBy(step % 2 ? 1.25 : 0.8, view->viewport()->rect().center());
    } else {
      QScrollBar* bar = step % 2 ? view->horizontalScrollBar() : view->verticalScrollBar();
      bar->setValue(bar->value() + ((step / 2) % 2 ? 40 : -40));
    }
    view->viewport()->repaint();
  }
  state.counters["zoom"] = view->Zoom();
}
BENCHMARK(BM_Repaint)
    ->ArgName("mode")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

void BM_ExportAnswers(benchmark::State& state) {
  static ReviewWindow* window = OpenPageWindow();
  const bool offThread = state.range(0) == 1;
  QTemporaryDir dir;
  double worst = 0;
  for (auto _ : state) {
    const QString base = dir.filePath(QStringLiteral("page-%1").arg(offThread));
    for (const char* suffix : {".csv", ".json", ".png", ".pdf"}) QFile::remove(base + suffix);
    QElapsedTimer since;
    double gap = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      gap = std::max(gap, static_cast<double>(since.nsecsElapsed()) / 1e6);
      since.restart();
    });
    tick.start();
    since.start();
    if (offThread) {
      window->ExportTo(base);
      window->WaitExport();
    } else {
      holescan::review::ExportAll(*window->Current(), base.toStdString(),
                                  QDateTime::currentDateTime());
      QCoreApplication::processEvents();
      gap = std::max(gap, static_cast<double>(since.nsecsElapsed()) / 1e6);
    }
    worst = std::max(worst, gap);
  }
  state.counters["max_gap_ms"] = worst;
}
BENCHMARK(BM_ExportAnswers)
    ->ArgName("off_thread")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  holescan::ConfigurePictureReading();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("holescan-bench"));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
