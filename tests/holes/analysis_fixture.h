// analysis_fixture.h - a hole analysis over a small darkness map, for the engine's tests.
//
// The host records every caption and the report. Pictures are written inline as
// rows of text, '#' for a dark pixel (byte 255) and anything else for paper (byte 6), and are
// labelled in the scan order of the window's scan driver.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "holes/hole_analysis.h"
#include "holes/scan.h"
#include "pixel/darkness.h"
#include "pixel/picture.h"

namespace holescan {

inline void PrintTo(HolePoint p, std::ostream* os) {
  *os << "(" << p.x << ", " << p.y << ")";
}

namespace testing {

// Records captions, and the report as a window's clipboard would take it: cleared, then set.
class RecordingHost : public ScanObserver {
 public:
  void SetCaption(std::string_view caption) override { captions.emplace_back(caption); }
  void ReportReady(std::string_view report) override {
    clipboard.emplace_back(kCleared);
    clipboard.emplace_back(report);
  }

  std::string LastCaption() const { return captions.empty() ? std::string() : captions.back(); }

  static constexpr std::string_view kCleared = "<cleared>";
  std::vector<std::string> captions;
  std::vector<std::string> clipboard;  // kCleared for a clear, else the text set
};

inline constexpr std::uint8_t kDarkByte = 255;
inline constexpr std::uint8_t kPaperByte = 6;

struct AnalysisFixture {
  // A picture of width x height pixels: the darkness map has one column and one row more.
  AnalysisFixture(int width, int height)
      : dark(width, height), result(width, height, kResultBackground) {
    dark.Bytes().assign(dark.Bytes().size(), kPaperByte);
    analysis.ResetHoleArrays(width, height);
  }

  void Paint(std::initializer_list<std::string_view> rows, int left = 0, int top = 0) {
    int y = top;
    for (std::string_view row : rows) {
      for (int i = 0; i < static_cast<int>(row.size()); ++i)
        dark.At(left + i, y) = row[static_cast<std::size_t>(i)] == '#' ? kDarkByte : kPaperByte;
      ++y;
    }
  }

  // Every pixel with (x - cx)^2 + (y - cy)^2 <= radiusSquared turns dark.
  void PaintDisc(int cx, int cy, int radiusSquared) {
    for (int y = 0; y <= dark.MaxY(); ++y)
      for (int x = 0; x <= dark.MaxX(); ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radiusSquared) dark.At(x, y) = kDarkByte;
  }

  // Labels the dark pixels of the rectangle, rows top to bottom, each left to right.
  void Label(int left, int top, int right, int bottom) {
    for (int y = top; y <= bottom; ++y)
      for (int x = left; x <= right; ++x)
        if (dark.At(x, y) > kDarkThreshold) analysis.LabelDarkPixel(x, y);
  }
  void Label() { Label(0, 0, dark.MaxX(), dark.MaxY()); }

  // A whole "Draw" over the picture, as the scan driver runs it.
  void Draw() {
    analysis.ResetHoleArrays(dark.MaxX(), dark.MaxY());
    result.Fill(kResultBackground);
    Label();
    analysis.FinishHoles();
    analysis.FinishPeaks();
    analysis.MarkPeakCenters();
  }

  HoleArray& Holes() { return analysis.Holes(); }
  HoleArray& Peaks() { return analysis.Peaks(); }

  DarkMap dark;
  Picture result;
  RecordingHost host;
  HoleAnalysis analysis{dark, result, host};
};

}  // namespace testing
}  // namespace holescan
