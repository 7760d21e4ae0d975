// headless_toolkit.h - the least a WindowToolkit needs to run Form1 without a window: one
// picture to load, the latest caption and the clipboard. The GUI tests compare the window
// with a Form1 on this toolkit.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "main_window/window_toolkit.h"

namespace holescan::testing {

class HeadlessToolkit final : public WindowToolkit {
 public:
  explicit HeadlessToolkit(PictureFile file) : file_(std::move(file)) {}

  std::string caption;
  std::string clipboard;

  void SetCaption(std::string_view text) override { caption = text; }
  void ClearClipboard() override { clipboard.clear(); }
  void SetClipboardText(std::string_view text) override { clipboard = text; }
  PictureFile LoadPicture(const std::string&) override { return file_; }
  void TargetPictureChanged(const Picture&) override {}
  void ResultPictureChanged(const Picture&) override {}
  void SetGeometry(Control, const Geometry&) override {}
  void SetWindowSize(float, float) override {}
  void SetProgress(float) override {}
  void SetOutline(int, int, int, int, int) override {}
  void Refresh(int, int) override {}

 private:
  PictureFile file_;
};

}  // namespace holescan::testing
