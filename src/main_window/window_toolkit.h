// window_toolkit.h - everything the window's logic needs from a window toolkit.
//
// The logic (Form1) computes every geometry, selection and pixel itself and hands the
// results to this interface: implemented once for Qt (main_window/qt) and once headless
// (the command line). Geometry of the window and its direct children is in twips
// (15 twips = 1 pixel); inside the picture boxes everything is in pixels.
#pragma once

#include <string>
#include <string_view>

#include "holes/analysis_host.h"
#include "io/picture_file.h"
#include "pixel/picture.h"

namespace holescan {

inline constexpr float kTwipsPerPixel = 15.0f;

enum class Control {
  CmdLoad,
  TextFilename,
  CmdDraw,
  PicFillOut,
  PicFillIn,
  PicNew,
  PicTarget,
  LabelFilename,
  LabelVerbose,
};

struct Geometry {  // twips, relative to the window's interior
  float left = 0;
  float top = 0;
  float width = 0;
  float height = 0;
  friend bool operator==(const Geometry&, const Geometry&) = default;
};

// Implementations report failures through their results (PictureFile) and never throw:
// the Load command relies on every one of its statements running.
class WindowToolkit : public AnalysisHost {
 public:
  // Reads and decodes a picture file. Never throws for a bad file.
  virtual PictureFile LoadPicture(const std::string& path) = 0;
  // The target picture was replaced (show it at one picture pixel per screen pixel).
  virtual void TargetPictureChanged(const Picture& target) = 0;
  // The result picture was reallocated or cleared.
  virtual void ResultPictureChanged(const Picture& result) = 0;
  // A control moved or was resized.
  virtual void SetGeometry(Control control, const Geometry& geometry) = 0;
  // The window's outer size, frame and title bar included.
  virtual void SetWindowSize(float widthTwips, float heightTwips) = 0;
  // Progress bar fill, 0 (empty) to 1 (full).
  virtual void SetProgress(float fraction) = 0;
  // End points of the outline line `index` (0..3), in PicTarget pixels.
  virtual void SetOutline(int index, int x1, int y1, int x2, int y2) = 0;
  // The rows `firstRow`..`lastRow` of the result picture changed during a scan; the window
  // should show them (and the progress bar) before long. Called once per scanned row.
  virtual void Refresh(int firstRow, int lastRow) = 0;
};

}  // namespace holescan
