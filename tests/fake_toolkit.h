// fake_toolkit.h - a headless WindowToolkit for tests: it records every call the window's
// logic makes and serves one preset picture (or one failure) to LoadPicture.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main_window/window_toolkit.h"
#include "pixel/picture.h"

// Not holescan::testing, which would hide GoogleTest's namespace inside namespace holescan.
namespace holescan::fakes {

struct OutlineCall {
  int index, x1, y1, x2, y2;
  friend bool operator==(const OutlineCall&, const OutlineCall&) = default;
};

class FakeToolkit : public WindowToolkit {
 public:
  FakeToolkit() = default;
  explicit FakeToolkit(Picture picture) { SetPicture(std::move(picture)); }

  // What the next LoadPicture returns: this picture, or a failure with this reason.
  void SetPicture(Picture picture) { file_ = {true, std::move(picture), {}}; }
  void FailLoading(std::string reason) { file_ = {false, {}, std::move(reason)}; }

  // Analyses of whole targets write thousands of captions; turn this off to keep only the
  // last one.
  bool recordCaptions = true;

  std::vector<std::string> captions;
  std::string lastCaption;
  std::string clipboard;
  int clipboardClears = 0;
  std::vector<std::string> loadedPaths;
  int targetChanges = 0;
  int resultChanges = 0;
  std::map<Control, Geometry> geometry;  // the latest geometry of every control
  std::vector<std::pair<Control, Geometry>> geometryCalls;
  float windowWidth = 0;
  float windowHeight = 0;
  std::vector<float> progress;
  std::vector<OutlineCall> outlines;
  int refreshes = 0;
  int lastRefreshedRow = -1;

  void SetCaption(std::string_view caption) override {
    lastCaption = caption;
    if (recordCaptions) captions.emplace_back(caption);
  }
  void ClearClipboard() override {
    ++clipboardClears;
    clipboard.clear();
  }
  void SetClipboardText(std::string_view text) override { clipboard = text; }

  PictureFile LoadPicture(const std::string& path) override {
    loadedPaths.push_back(path);
    return file_;
  }
  void TargetPictureChanged(const Picture&) override { ++targetChanges; }
  void ResultPictureChanged(const Picture&) override { ++resultChanges; }
  void SetGeometry(Control control, const Geometry& g) override {
    geometry[control] = g;
    geometryCalls.emplace_back(control, g);
  }
  void SetWindowSize(float widthTwips, float heightTwips) override {
    windowWidth = widthTwips;
    windowHeight = heightTwips;
  }
  void SetProgress(float fraction) override { progress.push_back(fraction); }
  void SetOutline(int index, int x1, int y1, int x2, int y2) override {
    outlines.push_back({index, x1, y1, x2, y2});
  }
  void Refresh(int, int lastRow) override {
    ++refreshes;
    lastRefreshedRow = lastRow;
  }

 private:
  PictureFile file_{false, {}, "no such file"};
};

}  // namespace holescan::fakes
