#include "main_window/form1.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "holes/caption.h"
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

std::string ErrnoReason(int error) {
  return std::generic_category().message(error);
}

}  // namespace

Geometry DesignGeometry(Control control) {
  switch (control) {
    case Control::CmdLoad:
      return {11760, 10200, 1215, 315};
    case Control::TextFilename:
      return {840, 10200, 10695, 285};
    case Control::CmdDraw:
      return {3120, 120, 1095, 375};
    case Control::PicFillOut:
      return {4320, 120, 9495, 375};
    case Control::PicFillIn:
      return {0, 0, 0, 375};
    case Control::PicNew:
      return {8280, 600, 8295, 6495};
    case Control::PicTarget:
      return {0, 600, 8295, 6495};
    case Control::LabelFilename:
      return {120, 10200, 630, 195};
    case Control::LabelVerbose:
      return {120, 120, 2895, 375};
  }
  return {};
}

Form1::Form1(WindowToolkit& toolkit)
    : toolkit_(toolkit),
      target_(kDesignTargetWidth, kDesignTargetHeight, kTargetBackground),
      result_(kDesignTargetWidth, kDesignTargetHeight, kResultBackground),
      darkMap_(kDesignTargetWidth, kDesignTargetHeight),
      analysis_(darkMap_, result_, toolkit) {}

Geometry Form1::TargetGeometry() const {
  const Geometry design = DesignGeometry(Control::PicTarget);
  return {design.left, design.top, static_cast<float>(target_.Width()) * kTwipsPerPixel,
          static_cast<float>(target_.Height()) * kTwipsPerPixel};
}

std::optional<std::string> Form1::CmdLoad_Click() {
  std::optional<std::string> failure;
  // 1. The picture; on failure the old one stays and the rest still runs.
  try {
    PictureFile file = toolkit_.LoadPicture(TextFilename);
    if (file.loaded) {
      target_ = std::move(file.picture);
      toolkit_.TargetPictureChanged(target_);
    } else {
      failure = file.reason;
    }
  } catch (const std::exception& error) {
    failure = error.what();
  }
  if (failure) {
    toolkit_.SetCaption("Cannot load " + TextFilename + ": " + *failure);
  }
  // The remaining statements run whatever happens to the one before; only memory can fail.
  const auto step = [this](auto&& statement) {
    try {
      statement();
    } catch (const std::bad_alloc&) {
      toolkit_.SetCaption("Cannot load " + TextFilename + ": out of memory");
    }
  };
  // 2-9. Lay the window out around the picture.
  step([this] { LayOut(); });
  // 10. The darkness map, one column and one row larger than the picture.
  step([this] { darkMap_ = DarkMap(target_.Width(), target_.Height()); });
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
    toolkit_.ResultPictureChanged(result_);
  }
  const float textTop = target.top + target.height + 120;
  Geometry text = DesignGeometry(Control::TextFilename);
  text.top = textTop;
  Geometry label = DesignGeometry(Control::LabelFilename);
  label.top = textTop;
  Geometry load = DesignGeometry(Control::CmdLoad);
  load.top = textTop;

  toolkit_.SetGeometry(Control::PicTarget, target);
  toolkit_.SetGeometry(Control::PicNew, picNew);
  toolkit_.SetGeometry(Control::TextFilename, text);
  toolkit_.SetGeometry(Control::LabelFilename, label);
  toolkit_.SetGeometry(Control::CmdLoad, load);
  toolkit_.SetWindowSize(2 * target.width,
                         target.height + 240 + target.top + kTextFilenameHeight + 300);
}

void Form1::SetProgress(float fraction) {
  progress_ = fraction;
  toolkit_.SetProgress(fraction);
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
  toolkit_.SetOutline(0, s.SelLeft, s.SelTop, s.SelLeft, s.SelBottom);
  toolkit_.SetOutline(1, s.SelLeft, s.SelBottom, s.SelRight + 1, s.SelBottom);
  toolkit_.SetOutline(2, s.SelRight, s.SelTop, s.SelRight, s.SelBottom + 1);
  toolkit_.SetOutline(3, s.SelLeft, s.SelTop, s.SelRight, s.SelTop);
}

float Form1::DarknessWeight(int x, int y) const {
  if (!target_.Contains(x, y)) return 0.0f;
  return DarknessWeightOfColour(ColourValue(target_.At(x, y)));
}

std::optional<std::string> Form1::CmdDraw_Click() {
  try {
    SetProgress(0);
    analysis_.ResetHoleArrays(darkMap_.MaxX(), darkMap_.MaxY());
    ScanSelection();
    analysis_.MarkPeakCenters();
  } catch (const std::bad_alloc&) {
    std::string reason = "Draw stopped: out of memory";
    toolkit_.SetCaption(reason);
    return reason;
  } catch (const std::exception& error) {
    std::string reason = std::string("Draw stopped: ") + error.what();
    toolkit_.SetCaption(reason);
    return reason;
  }
  return std::nullopt;
}

void Form1::ScanSelection() {
  ScanRows();
  analysis_.FinishHoles();
  analysis_.FinishPeaks();
  SetProgress(1);
}

void Form1::ScanRows() {
  result_.Fill(kResultBackground);
  toolkit_.ResultPictureChanged(result_);
  const Selection s = selection_;
  // A Load that ran out of memory may have left the maps smaller than the picture.
  if (result_.Width() != target_.Width() || result_.Height() != target_.Height() ||
      darkMap_.MaxX() != target_.Width() || darkMap_.MaxY() != target_.Height()) {
    throw std::runtime_error("the picture was not loaded completely; load it again");
  }
  if (s.SelTop <= s.SelBottom && (s.SelTop < 0 || s.SelLeft < 0 || s.SelBottom > darkMap_.MaxY() ||
                                  s.SelRight > darkMap_.MaxX())) {
    throw std::out_of_range("the scan rectangle lies outside the picture");
  }
  const double step = 1.0 / (static_cast<double>(s.SelBottom) - s.SelTop + 1);
  // Columns of the rectangle that lie on the picture; the rest (column W) weigh 0.
  const int pictureEnd = std::min(s.SelRight + 1, target_.Width());
  std::vector<DarkBlock> darkBlocks(
      static_cast<std::size_t>(DarknessBlocks(std::max(pictureEnd - s.SelLeft, 0))));
  for (int y = s.SelTop; y <= s.SelBottom; ++y) {
    std::uint8_t* dark = darkMap_.Row(y);
    int x = s.SelLeft;
    int blocks = 0;
    if (y < target_.Height() && x < pictureEnd) {
      blocks = DarknessRow(target_.Row(y) + x, pictureEnd - x, dark + x, result_.Row(y) + x,
                           darkBlocks.data());
      x = pictureEnd;
    }
    for (; x <= s.SelRight; ++x) dark[x] = 0;
    // Labelling after the row's bytes are in place gives the same pixels and captions as
    // labelling pixel by pixel: it paints only the pixel it labels and reads only its byte.
    // The dark pixels are those the row scan reports, left to right.
    for (int b = 0; b < blocks; ++b) {
      const DarkBlock& block = darkBlocks[static_cast<std::size_t>(b)];
      for (std::uint32_t bits = block.pixels; bits != 0; bits &= bits - 1)
        analysis_.LabelDarkPixel(s.SelLeft + block.first + std::countr_zero(bits), y);
    }
    SetProgress(static_cast<float>(static_cast<double>(progress_) + step));
    toolkit_.Refresh(y, y);
  }
}

std::optional<std::string> Form1::SaveDarkMap(const std::string& path) const {
  namespace fs = std::filesystem;
  // Written beside the target under a fresh name, then renamed over it: a failed save
  // leaves the old file as it was, and the new file holds exactly the map.
  std::random_device random;
  std::string temporary;
  std::FILE* out = nullptr;
  for (int attempt = 0; attempt < 100 && out == nullptr; ++attempt) {
    temporary = path + "." + std::to_string(random() % 1000000u) + ".tmp";
    errno = 0;
    out = std::fopen(temporary.c_str(), "wbx");  // never replaces an existing file
    if (out == nullptr && errno != EEXIST) break;
  }
  if (out == nullptr) return "cannot write " + path + ": " + ErrnoReason(errno);
  const auto& bytes = darkMap_.Bytes();
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  const int writeError = errno;
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed) {
    const std::string reason = ErrnoReason(written ? errno : writeError);
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return "cannot write " + path + ": " + reason;
  }
  std::error_code error;
  fs::rename(temporary, path, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return "cannot write " + path + ": " + error.message();
  }
  return std::nullopt;
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
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot read " + path + ": " + ErrnoReason(errno);
  auto& bytes = darkMap_.Bytes();
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return "cannot read " + path + ": " + error.message();
  if (size != bytes.size()) {
    return "cannot read " + path + ": it holds " + std::to_string(size) + " bytes, the map " +
           std::to_string(bytes.size()) + " (" + std::to_string(darkMap_.Columns()) + " x " +
           std::to_string(darkMap_.Rows()) + ")";
  }
  std::vector<std::uint8_t> incoming(bytes.size());
  in.read(reinterpret_cast<char*>(incoming.data()), static_cast<std::streamsize>(incoming.size()));
  if (in.gcount() != static_cast<std::streamsize>(incoming.size()))
    return "cannot read " + path + ": the file ended early";
  bytes.swap(incoming);
  return std::nullopt;
}

}  // namespace holescan
