// recording_window.h - the window of the window's logic without a window: it serves
// pictures from memory and records everything the logic shows, for the tests.
//
// Pictures come from the table `files` by path, or, once Serve was called, the same file for
// every path; any other path fails with "no such file".
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main_window/window_toolkit.h"

// Not holescan::testing, which would hide GoogleTest's namespace inside namespace holescan.
namespace holescan::fakes {

struct Outline {
  int x1, y1, x2, y2;
  friend bool operator==(const Outline&, const Outline&) = default;
};

class RecordingWindow final : public PictureSource, public WindowView {
 public:
  static constexpr std::string_view kCleared = "<cleared>";

  RecordingWindow() = default;
  explicit RecordingWindow(Picture picture) { Serve(std::move(picture)); }

  void Serve(Picture picture) { served_ = PictureFile{true, std::move(picture), {}}; }
  void Serve(PictureFile file) { served_ = std::move(file); }
  void FailLoading(std::string reason) { served_ = PictureFile{false, {}, std::move(reason)}; }

  // The clipboard's text now, as a paste would see it.
  std::string ClipboardText() const {
    return clipboard.empty() || clipboard.back() == kCleared ? std::string() : clipboard.back();
  }
  std::string LastCaption() const { return captions.empty() ? std::string() : captions.back(); }

  PictureFile LoadPicture(const std::string& path) override {
    loadedPaths.push_back(path);
    if (served_) return *served_;
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
  void SetCaption(std::string_view caption) override {
    if (recordCaptions) {
      captions.emplace_back(caption);
    } else {
      captions.assign(1, std::string(caption));
    }
  }
  void ClearClipboard() override {
    clipboard.emplace_back(kCleared);
    log.push_back("clear");
  }
  void SetClipboardText(std::string_view text) override {
    clipboard.emplace_back(text);
    log.push_back("set");
  }

  // Analyses of whole targets write thousands of captions; false keeps only the last one.
  bool recordCaptions = true;

  std::map<std::string, Picture> files;
  std::vector<std::string> loadedPaths;
  int targetChanges = 0;
  int resultChanges = 0;
  std::map<Control, Geometry> geometry;
  std::array<float, 2> windowSize{};
  std::vector<float> progress;
  std::array<Outline, 4> outlines{};
  int outlineCalls = 0;
  std::vector<std::array<int, 2>> refreshedRows;
  std::vector<std::string> captions;
  std::vector<std::string> clipboard;  // kCleared for a clear, else the text set
  std::vector<std::string> log;        // "progress", "refresh", "clear" and "set", in call order

 private:
  std::optional<PictureFile> served_;
};

}  // namespace holescan::fakes
