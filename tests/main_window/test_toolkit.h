// test_toolkit.h - a window toolkit without a window, recording what the logic asks of it.
//
// Picture files come from an in-memory table of paths; any other path fails to load with
// the reason "no such file".
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "main_window/window_toolkit.h"

namespace holescan::testing {

struct Outline {
  int x1, y1, x2, y2;
  friend bool operator==(const Outline&, const Outline&) = default;
};

class TestToolkit : public WindowToolkit {
 public:
  static constexpr std::string_view kCleared = "<cleared>";

  PictureFile LoadPicture(const std::string& path) override {
    const auto found = files.find(path);
    if (found == files.end()) return {false, {}, "no such file"};
    return {true, found->second, {}};
  }
  void TargetPictureChanged(const Picture&) override { ++targetChanges; }
  void ResultPictureChanged(const Picture&) override { ++resultChanges; }
  void SetGeometry(Control control, const Geometry& g) override { geometry[control] = g; }
  void SetWindowSize(float width, float height) override { windowSize = {width, height}; }
  void SetProgress(float fraction) override {
    progress.push_back(fraction);
    log.push_back("progress");
  }
  void SetOutline(int index, int x1, int y1, int x2, int y2) override {
    outlines.at(static_cast<std::size_t>(index)) = {x1, y1, x2, y2};
    ++outlineCalls;
  }
  void Refresh(int firstRow, int lastRow) override {
    refreshedRows.push_back({firstRow, lastRow});
    log.push_back("refresh");
  }
  void SetCaption(std::string_view caption) override { captions.emplace_back(caption); }
  void ClearClipboard() override {
    clipboard.emplace_back(kCleared);
    log.push_back("clear");
  }
  void SetClipboardText(std::string_view text) override {
    clipboard.emplace_back(text);
    log.push_back("set");
  }

  std::map<std::string, Picture> files;
  int targetChanges = 0;
  int resultChanges = 0;
  std::map<Control, Geometry> geometry;
  std::array<float, 2> windowSize{};
  std::vector<float> progress;
  std::array<Outline, 4> outlines{};
  int outlineCalls = 0;
  std::vector<std::array<int, 2>> refreshedRows;
  std::vector<std::string> captions;
  std::vector<std::string> clipboard;
  std::vector<std::string> log;  // "progress", "refresh", "clear" and "set", in call order
};

}  // namespace holescan::testing
