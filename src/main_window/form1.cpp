#include "main_window/form1.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

#include "holes/caption.h"
#include "holes/vote_map.h"
#include "io/dark_map_file.h"
#include "pixel/darkness.h"

namespace holescan {
namespace {

constexpr float kTextFilenameHeight = 285;

int RoundToInt(float value) {
  return RoundHalfEven(static_cast<double>(value));
}

// A picture of the new size keeping what the old one had where they overlap.
Picture Resized(const Picture& old, int width, int height, std::uint32_t background) {
  Picture resized(width, height, background);
  const int columns = std::min(width, old.Width());
  for (int y = 0; y < std::min(height, old.Height()); ++y)
    std::copy_n(old.Row(y), columns, resized.Row(y));
  return resized;
}

}  // namespace

// Tells the window what a Draw does as it goes: captions, progress, a repaint after every
// row, and the report for the clipboard.
class Form1::DrawObserver final : public ScanObserver {
 public:
  explicit DrawObserver(Form1& form) : form_(form) {}

  void SetCaption(std::string_view caption) override { form_.view_.SetCaption(caption); }
  void SetProgress(float fraction) override { form_.SetProgress(fraction); }
  void ResultCleared() override { form_.view_.ResultPictureChanged(form_.result_); }
  bool ShowsResultWhileScanning() const override { return true; }
  void RowScanned(int y) override { form_.view_.Refresh(y, y); }
  void Working() override { form_.view_.KeepPainting(); }

  // A paste of a report of hundreds of megabytes can take the receiving program down (or
  // this one, which hands the clipboard a copy): past the limit the message line says so.
  void ReportReady(std::string_view report) override {
    form_.view_.ClearClipboard();
    if (report.size() <= kClipboardReportLimit) {
      form_.view_.SetClipboardText(report);
    } else {
      form_.view_.SetCaption("The vote report (" + std::to_string(report.size()) +
                             " bytes) is larger than the clipboard's limit of " +
                             std::to_string(kClipboardReportLimit >> 20) +
                             " MiB; it was not copied");
    }
  }

 private:
  Form1& form_;
};

Form1::Form1(PictureSource& pictures, WindowView& view)
    : pictures_(pictures),
      view_(view),
      target_(kDesignTargetWidth, kDesignTargetHeight, kTargetBackground),
      result_(kDesignTargetWidth, kDesignTargetHeight, kResultBackground),
      darkMap_(kDesignTargetWidth, kDesignTargetHeight),
      decimalSeparator_(UserDecimalSeparator()) {}

Geometry Form1::TargetGeometry() const {
  const Geometry design = DesignGeometry(Control::PicTarget);
  return {design.left, design.top, static_cast<float>(target_.Width()) * kTwipsPerPixel,
          static_cast<float>(target_.Height()) * kTwipsPerPixel};
}

std::optional<std::string> Form1::CmdLoad_Click() {
  std::optional<std::string> failure;
  // 1. The picture; on failure the old one stays and the rest still runs. The result picture
  // and the darkness map of the new size are made before anything is replaced, so that a
  // picture too large for them leaves the old one, its maps and the layout as they were.
  std::optional<DarkMap> newDarkMap;
  try {
    PictureFile file = pictures_.LoadPicture(TextFilename);
    if (file.loaded) {
      const int width = file.picture.Width(), height = file.picture.Height();
      Picture newResult = Resized(result_, width, height, kResultBackground);
      newDarkMap.emplace(width, height);
      target_ = std::move(file.picture);
      result_ = std::move(newResult);
      view_.TargetPictureChanged(target_);
      view_.ResultPictureChanged(result_);
    } else {
      failure = file.reason;
    }
  } catch (const std::bad_alloc&) {
    newDarkMap.reset();
    failure = "out of memory";
  } catch (const std::exception& error) {
    failure = error.what();
  }
  if (failure) {
    view_.SetCaption("Cannot load " + TextFilename + ": " + *failure);
  }
  // The remaining statements run whatever happens to the one before; only memory can fail.
  const auto step = [this](auto&& statement) {
    try {
      statement();
    } catch (const std::bad_alloc&) {
      view_.SetCaption("Cannot load " + TextFilename + ": out of memory");
    }
  };
  // 2-9. Lay the window out around the picture.
  step([this] { LayOut(); });
  // 10. The darkness map, one column and one row larger than the picture.
  step([&] {
    darkMap_ = newDarkMap ? std::move(*newDarkMap) : DarkMap(target_.Width(), target_.Height());
  });
  // 11.
  step([this] { analysis_.ResetHoleArrays(darkMap_.MaxX(), darkMap_.MaxY()); });
  // 12.
  SetProgress(0);
  // 13. Select the whole picture.
  PicTarget_MouseDown(0, kShiftKey, 0, 0);
  return failure;
}

void Form1::LayOut() {
  const Geometry target = TargetGeometry();
  Geometry picNew = DesignGeometry(Control::PicNew);
  picNew.left = 2 * target.left + target.width;
  picNew.height = target.height;
  picNew.width = target.width;
  if (result_.Width() != target_.Width() || result_.Height() != target_.Height()) {
    result_ = Resized(result_, target_.Width(), target_.Height(), kResultBackground);
    view_.ResultPictureChanged(result_);
  }
  const float textTop = target.top + target.height + 120;
  Geometry text = DesignGeometry(Control::TextFilename);
  text.top = textTop;
  Geometry label = DesignGeometry(Control::LabelFilename);
  label.top = textTop;
  Geometry load = DesignGeometry(Control::CmdLoad);
  load.top = textTop;

  view_.SetGeometry(Control::PicTarget, target);
  view_.SetGeometry(Control::PicNew, picNew);
  view_.SetGeometry(Control::TextFilename, text);
  view_.SetGeometry(Control::LabelFilename, label);
  view_.SetGeometry(Control::CmdLoad, load);
  view_.SetWindowSize(2 * target.width,
                      target.height + 240 + target.top + kTextFilenameHeight + 300);
}

void Form1::SetProgress(float fraction) {
  progress_ = fraction;
  view_.SetProgress(fraction);
}

void Form1::PicTarget_MouseDown(int button, int shift, float x, float y) {
  Selection& s = selection_;
  if (button == kLeftButton) {
    if (y < static_cast<float>(s.SelBottom)) s.SelTop = RoundToInt(y);
    if (x < static_cast<float>(s.SelRight)) s.SelLeft = RoundToInt(x);
  } else if (button == kRightButton) {
    if (y > static_cast<float>(s.SelTop)) s.SelBottom = RoundToInt(y);
    if (x > static_cast<float>(s.SelLeft)) s.SelRight = RoundToInt(x);
  }
  if (shift != 0) {
    s.SelTop = 0;
    s.SelLeft = 0;
    s.SelRight = target_.Width();
    s.SelBottom = target_.Height();
  }
  view_.SetOutline(0, s.SelLeft, s.SelTop, s.SelLeft, s.SelBottom);
  view_.SetOutline(1, s.SelLeft, s.SelBottom, s.SelRight + 1, s.SelBottom);
  view_.SetOutline(2, s.SelRight, s.SelTop, s.SelRight, s.SelBottom + 1);
  view_.SetOutline(3, s.SelLeft, s.SelTop, s.SelRight, s.SelTop);
}

float Form1::DarknessWeight(int x, int y) const {
  if (!target_.Contains(x, y)) return 0.0f;
  return DarknessWeightOfColour(ColourValue(target_.At(x, y)));
}

std::optional<std::string> Form1::CmdDraw_Click() {
  try {
    DrawObserver observer(*this);
    analysis_.SetDecimalSeparator(decimalSeparator_);
    // A fresh budget for every Draw: the buffers the Load made, then what the analysis grows.
    analysis_.SetBudget(nullptr);
    budget_ = MemoryBudget(kDefaultMemoryBudget);
    budget_.Take(static_cast<std::int64_t>(target_.Width()) * target_.Height() * 9,
                 "the picture and its buffers");
    analysis_.SetBudget(&budget_);
    Draw(analysis_, target_.View(), selection_, {darkMap_, result_}, observer);
  } catch (const std::bad_alloc&) {
    std::string reason = "Draw stopped: out of memory";
    view_.SetCaption(reason);
    return reason;
  } catch (const std::exception& error) {
    std::string reason = std::string("Draw stopped: ") + error.what();
    view_.SetCaption(reason);
    return reason;
  }
  return std::nullopt;
}

std::optional<std::string> Form1::SaveDarkMap(const std::string& path) const {
  return SaveDarkMapFile(darkMap_, path);
}

std::string DefaultDarkMapPath() {
#ifdef _WIN32
  return "c:\\file.dat";
#else
  const char* home = std::getenv("HOME");
  return (home != nullptr && *home != '\0' ? std::string(home) : std::string(".")) + "/file.dat";
#endif
}

std::optional<std::string> Form1::LoadDarkMap(const std::string& path) {
  return LoadDarkMapFile(darkMap_, path);
}

}  // namespace holescan
