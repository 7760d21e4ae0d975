// window_toolkit.h - what the window's logic needs from a window toolkit, cut by use: a
// source of pictures, and a view that shows the window.
//
// The logic (Form1) computes every geometry, selection and pixel itself and hands the
// results to the view: implemented for Qt in main_window/qt, and recorded by the tests.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

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

// Every control of the window, in the order it is created (later controls lie above
// earlier ones) and of Control: its name and its geometry as designed, in twips. PicFillIn's
// left and width are in PicFillOut's units, one unit across.
struct ControlDesign {
  Control control;
  std::string_view name;
  Geometry design;
};
inline constexpr std::array<ControlDesign, 9> kControls = {{
    {Control::CmdLoad, "CmdLoad", {11760, 10200, 1215, 315}},
    {Control::TextFilename, "TextFilename", {840, 10200, 10695, 285}},
    {Control::CmdDraw, "CmdDraw", {3120, 120, 1095, 375}},
    {Control::PicFillOut, "PicFillOut", {4320, 120, 9495, 375}},
    {Control::PicFillIn, "PicFillIn", {0, 0, 0, 375}},
    {Control::PicNew, "PicNew", {8280, 600, 8295, 6495}},
    {Control::PicTarget, "PicTarget", {0, 600, 8295, 6495}},
    {Control::LabelFilename, "LabelFilename", {120, 10200, 630, 195}},
    {Control::LabelVerbose, "LabelVerbose", {120, 120, 2895, 375}},
}};

constexpr const ControlDesign& Design(Control control) {
  return kControls[static_cast<std::size_t>(control)];
}
// The design geometry of a control, in twips.
constexpr Geometry DesignGeometry(Control control) {
  return Design(control).design;
}

// Where the Load command reads pictures from. Never throws for a bad file: the Load command
// relies on every one of its statements running.
class PictureSource {
 public:
  virtual ~PictureSource() = default;
  virtual PictureFile LoadPicture(const std::string& path) = 0;
};

// What the window shows of its logic. Geometry of the window and its direct children is in
// twips; inside the picture boxes everything is in pixels.
class WindowView {
 public:
  virtual ~WindowView() = default;

  // Replaces the whole caption of the message line.
  virtual void SetCaption(std::string_view caption) = 0;
  // Removes everything from the system clipboard.
  virtual void ClearClipboard() = 0;
  // Places one plain text on the clipboard.
  virtual void SetClipboardText(std::string_view text) = 0;
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
