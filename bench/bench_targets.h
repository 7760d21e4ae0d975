// bench_targets.h - the generated targets the whole-picture benchmarks share, and the window
// logic loaded with one of them on a toolkit that shows nothing.
//
// Targets are scans of 6 and 24 megapixels (3000 x 2000 and 6000 x 4000), each with 300 round
// shot holes (290 alone and 5 overlapping pairs, radius 5 to 8), printed rings and text, and
// 300 dark specks. They are generated once per process and shared by every case, so that a
// case and its baseline read identical pixels.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "main_window/form1.h"
#include "main_window/window_toolkit.h"
#include "pixel/picture.h"
#include "targetgen.h"

namespace holescan::bench {

inline targetgen::TargetOptions TargetOptionsFor(int megapixels) {
  targetgen::TargetOptions options;
  options.width = megapixels == 24 ? 6000 : 3000;
  options.height = megapixels == 24 ? 4000 : 2000;
  options.seed = 2024;
  options.holes = 290;
  options.overlappingPairs = 5;
  options.specks = 300;
  options.rings = true;
  options.text = true;
  return options;
}

// The target of 6 or 24 megapixels, generated on first use.
inline const Picture& GeneratedTarget(int megapixels) {
  static std::map<int, Picture> targets;
  auto found = targets.find(megapixels);
  if (found == targets.end())
    found = targets.emplace(megapixels, targetgen::MakeTarget(TargetOptionsFor(megapixels)).picture)
                .first;
  return found->second;
}

// A toolkit with no window: LoadPicture serves a copy of one picture, the rest is dropped.
class SilentToolkit final : public WindowToolkit {
 public:
  explicit SilentToolkit(const Picture& picture) : picture_(&picture) {}

  const std::string& ClipboardText() const { return clipboard_; }

  void SetCaption(std::string_view) override {}
  void ClearClipboard() override { clipboard_.clear(); }
  void SetClipboardText(std::string_view text) override { clipboard_.assign(text); }
  PictureFile LoadPicture(const std::string&) override { return {true, *picture_, {}}; }
  void TargetPictureChanged(const Picture&) override {}
  void ResultPictureChanged(const Picture&) override {}
  void SetGeometry(Control, const Geometry&) override {}
  void SetWindowSize(float, float) override {}
  void SetProgress(float) override {}
  void SetOutline(int, int, int, int, int) override {}
  void Refresh(int, int) override {}

 private:
  const Picture* picture_;
  std::string clipboard_;
};

// Form1 after its Load command on a generated target: the whole picture selected, every
// buffer allocated.
struct LoadedForm {
  explicit LoadedForm(int megapixels) : toolkit(GeneratedTarget(megapixels)), form(toolkit) {
    form.TextFilename = "generated.bmp";
    form.CmdLoad_Click();
  }

  SilentToolkit toolkit;
  Form1 form;
};

}  // namespace holescan::bench
