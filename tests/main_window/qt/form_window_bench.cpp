// form_window_bench - "Draw" in the window against the engine's own "Draw", side by side in
// one run, on a generated 24-megapixel target (6000 x 4000, about 300 holes).
//
//   cmake --build build --target form_window_bench
//   QT_QPA_PLATFORM=offscreen build/tests/main_window/qt/form_window_bench [PICTURE.bmp]
//
// The picture is written once to /tmp/holescan-window-bench-6000x4000.bmp (or taken from the
// argument). Each iteration runs the engine's Draw on a headless Form1, then a click on the
// shown window's "Draw" button with the repaints it makes (every ~30 ms, and the last one).
// Counters: engine_ms and window_ms per Draw, their ratio, and the window's repaints of PicNew
// per Draw.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <string>

#include "io/qt/picture_loader.h"
#include "support/recording_window.h"
#include "main_window/form1.h"
#include "main_window/qt/form_window.h"
#include "targetgen.h"

namespace {

std::string g_picture;

class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QObject* watched) { watched->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  long paints = 0;
};

void BM_WindowDrawAgainstEngineDraw(benchmark::State& state) {
  holescan::fakes::RecordingWindow headlessToolkit;
  headlessToolkit.recordCaptions = false;
  headlessToolkit.Serve(holescan::LoadPictureFile(g_picture));
  holescan::Form1 engine(headlessToolkit, headlessToolkit);
  engine.Form_Load();

  holescan::FormWindow window(QString::fromStdString(g_picture));
  window.show();
  // The worst case: PicNew in view, so that every repaint really paints rows of it.
  auto* picNew = window.findChild<QWidget*>(QStringLiteral("PicNew"));
  QCoreApplication::processEvents();
  window.ScrollArea()->horizontalScrollBar()->setValue(picNew->x());
  QCoreApplication::processEvents();
  auto* draw = window.findChild<QPushButton*>(QStringLiteral("CmdDraw"));
  PaintCounter counter(picNew);

  using Clock = std::chrono::steady_clock;
  double engineSeconds = 0;
  double windowSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    engine.CmdDraw_Click();
    const auto t1 = Clock::now();
    draw->click();
    QCoreApplication::processEvents();  // the last repaint belongs to the window's Draw
    const auto t2 = Clock::now();
    engineSeconds += std::chrono::duration<double>(t1 - t0).count();
    windowSeconds += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["engine_ms"] = 1000 * engineSeconds / n;
  state.counters["window_ms"] = 1000 * windowSeconds / n;
  state.counters["ratio"] = windowSeconds / engineSeconds;
  state.counters["repaints"] = static_cast<double>(counter.paints) / n;
  if (headlessToolkit.clipboard != QApplication::clipboard()->text().toStdString())
    state.SkipWithError("the window's report differs from the engine's");
}
BENCHMARK(BM_WindowDrawAgainstEngineDraw)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  holescan::ConfigurePictureReading();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  g_picture = argc > 1 ? argv[1] : "/tmp/holescan-window-bench-6000x4000.bmp";
  if (!QFileInfo::exists(QString::fromStdString(g_picture))) {
    holescan::targetgen::TargetOptions options;
    options.width = 6000;
    options.height = 4000;
    options.holes = 290;
    options.overlappingPairs = 5;
    options.specks = 200;
    std::fprintf(stderr, "writing %s\n", g_picture.c_str());
    if (!holescan::targetgen::WriteBmp(holescan::targetgen::MakeTarget(options).picture, g_picture))
      return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
