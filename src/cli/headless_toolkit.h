// headless_toolkit.h - the window toolkit without a window, for the command line.
//
// Form1 runs on it exactly as in the window. What a user would see is handed on or kept:
// - captions go to a caption sink as they come (a scan can set millions of them, so none
//   is kept);
// - the clipboard keeps its text, as the system clipboard would;
// - the progress bar's fraction goes to a progress sink;
// - pictures are read by a picture source, LoadPictureFile unless a test gives another.
// Geometry, outline and repaints have nothing to show and are dropped.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "main_window/window_toolkit.h"

namespace holescan::cli {

class HeadlessToolkit final : public WindowToolkit {
 public:
  using PictureSource = std::function<PictureFile(const std::string& path)>;
  using CaptionSink = std::function<void(std::string_view caption)>;
  using ProgressSink = std::function<void(float fraction)>;

  explicit HeadlessToolkit(PictureSource source);

  // Either may be empty: captions or progress are then dropped.
  void SetCaptionSink(CaptionSink sink) { captionSink_ = std::move(sink); }
  void SetProgressSink(ProgressSink sink) { progressSink_ = std::move(sink); }

  // The clipboard's text; empty after ClearClipboard.
  const std::string& ClipboardText() const { return clipboard_; }

  // AnalysisHost
  void SetCaption(std::string_view caption) override;
  void ClearClipboard() override { clipboard_.clear(); }
  void SetClipboardText(std::string_view text) override { clipboard_.assign(text); }

  // WindowToolkit
  PictureFile LoadPicture(const std::string& path) override { return source_(path); }
  void TargetPictureChanged(const Picture&) override {}
  void ResultPictureChanged(const Picture&) override {}
  void SetGeometry(Control, const Geometry&) override {}
  void SetWindowSize(float, float) override {}
  void SetProgress(float fraction) override;
  void SetOutline(int, int, int, int, int) override {}
  void Refresh(int, int) override {}

 private:
  PictureSource source_;
  CaptionSink captionSink_;
  ProgressSink progressSink_;
  std::string clipboard_;
};

}  // namespace holescan::cli
