// The scan's buffers: the result picture is optional and may hold anything before a Draw.
#include "holes/scan.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <utility>

#include "analysis_fixture.h"

namespace holescan {
namespace {

// Light paper with dark discs, two of them touching, and one near the right edge.
Picture Discs() {
  Picture picture(97, 61, Rgb(230, 225, 220));
  for (const auto& [cx, cy] : {std::pair{20, 20}, {31, 22}, {60, 40}, {93, 10}}) {
    for (int y = cy - 7; y <= cy + 7; ++y)
      for (int x = cx - 7; x <= cx + 7; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 36) picture.Set(x, y, Rgb(10, 5, 0));
  }
  return picture;
}

struct Outcome {
  std::vector<std::string> captions;
  std::string report;
  PixelStore<std::uint8_t> dark;
  Picture result;
  std::string error;
};

// A Draw on a result picture first filled with `before` (none when nullopt); the observer
// stops the scan after row `stopAfter`.
Outcome DrawOn(const Picture& target, const Selection& s, std::optional<std::uint32_t> before,
               int stopAfter = -1) {
  struct Stopping : testing::RecordingHost {
    int stopAfter = -1;
    void RowScanned(int y) override {
      if (y == stopAfter) throw std::runtime_error("stopped");
    }
  } host;
  host.stopAfter = stopAfter;
  DarkMap dark(target.Width(), target.Height());
  Outcome outcome;
  if (before) outcome.result = Picture(target.Width(), target.Height(), *before);
  HoleAnalysis analysis;
  try {
    const ScanBuffers buffers = before ? ScanBuffers(dark, outcome.result) : ScanBuffers(dark);
    Draw(analysis, target.View(), s, buffers, host);
    outcome.report = analysis.ReportText();
  } catch (const std::exception& e) {
    outcome.error = e.what();
  }
  outcome.captions = std::move(host.captions);
  outcome.dark = dark.Bytes();
  return outcome;
}

TEST(Scan, result_picture_is_the_same_whatever_it_held_and_the_analysis_the_same_without_it) {
  const Picture target = Discs();
  const Selection selections[] = {
      WholePicture(97, 61), {5, 50, 8, 97}, {30, 20, 0, 10}, {-1, 5, 0, 5}};
  for (const Selection& s : selections) {
    for (const int stopAfter : {-1, 21}) {
      const Outcome cleared = DrawOn(target, s, kResultBackground, stopAfter);
      const Outcome dirty = DrawOn(target, s, Rgb(1, 2, 3), stopAfter);
      const Outcome none = DrawOn(target, s, std::nullopt, stopAfter);
      const std::string what = std::to_string(s.SelLeft) + "," + std::to_string(s.SelTop) + "," +
                               std::to_string(s.SelRight) + "," + std::to_string(s.SelBottom) +
                               " stop " + std::to_string(stopAfter);
      EXPECT_TRUE(
          std::equal(cleared.result.Data(), cleared.result.Data() + 97 * 61, dirty.result.Data()))
          << what;
      for (const Outcome* o : {&dirty, &none}) {
        EXPECT_EQ(o->captions, cleared.captions) << what;
        EXPECT_EQ(o->report, cleared.report) << what;
        EXPECT_EQ(o->dark, cleared.dark) << what;
        EXPECT_EQ(o->error, cleared.error) << what;
      }
    }
  }
  // The cases above do find holes, stop and refuse.
  EXPECT_NE(DrawOn(target, selections[0], std::nullopt).report, "");
  EXPECT_EQ(DrawOn(target, selections[0], std::nullopt, 21).error, "stopped");
  EXPECT_NE(DrawOn(target, selections[3], std::nullopt).error, "");
}

// A window shows the rows as they are scanned: those not reached yet show the background.
TEST(Scan, a_result_shown_while_scanning_is_cleared_whole_first) {
  struct Watching : ScanObserver {
    const Picture* result = nullptr;
    bool clearBelow = true;
    bool ShowsResultWhileScanning() const override { return true; }
    void RowScanned(int y) override {
      if (y != 10) return;
      for (int x = 0; x < result->Width(); ++x)
        clearBelow = clearBelow && result->At(x, 11) == kResultBackground;
    }
  } watching;
  const Picture target = Discs();
  DarkMap dark(target.Width(), target.Height());
  Picture result(target.Width(), target.Height(), Rgb(1, 2, 3));
  watching.result = &result;
  HoleAnalysis analysis;
  Draw(analysis, target.View(), WholePicture(target.Width(), target.Height()), {dark, result},
       watching);
  EXPECT_TRUE(watching.clearBelow);
}

}  // namespace
}  // namespace holescan
