// form1.h - the logic of the main window, independent of any toolkit.
//
// Form1 owns the target picture (PicTarget), the result picture (PicNew), the darkness map,
// the scan rectangle and the hole analysis. Its operations are the window's commands:
//   Form_Load / CmdLoad_Click  load the picture named in TextFilename, lay the window out
//                              around it, allocate the darkness map, reset the analysis and
//                              select the whole picture
//   PicTarget_MouseDown        move a corner of the scan rectangle, redraw its outline
//   CmdDraw_Click              scan the rectangle and run the whole analysis
//   SaveDarkMap / LoadDarkMap  raw dump of the darkness map and back
// Each statement of the Load command fails on its own without stopping the rest; a picture
// that cannot be loaded keeps the previous one and says why in the message line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "holes/hole_analysis.h"
#include "holes/scan.h"
#include "main_window/window_toolkit.h"
#include "pixel/memory_budget.h"
#include "pixel/picture.h"

namespace holescan {

inline constexpr char kDefaultFilename[] = "D:\\FTP\\Quill\\17-12-99\\3.bmp";
inline constexpr std::uint32_t kTargetBackground = Rgb(0, 0, 0);
// PicTarget's design size, 8295 x 6495 twips: the interior shown with no picture loaded.
inline constexpr int kDesignTargetWidth = 553;
inline constexpr int kDesignTargetHeight = 433;

// The largest vote report placed on the clipboard: a paste of more could take the program
// that receives it down.
inline constexpr std::size_t kClipboardReportLimit = std::size_t{64} << 20;

// Mouse buttons and modifier bits of PicTarget_MouseDown.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kShiftKey = 1;
inline constexpr int kCtrlKey = 2;
inline constexpr int kAltKey = 4;

class Form1 {
 public:
  Form1(PictureSource& pictures, WindowView& view);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // The text of the path box; the Load command reads it.
  std::string TextFilename = kDefaultFilename;

  void Form_Load() { CmdLoad_Click(); }
  // Returns the reason when the picture could not be loaded (the rest still ran).
  std::optional<std::string> CmdLoad_Click();
  // Returns the reason when Draw stopped on an error (what was done so far stays).
  std::optional<std::string> CmdDraw_Click();
  void PicTarget_MouseDown(int button, int shift, float x, float y);

  // Weight of the target pixel (x, y); 0 outside the picture.
  float DarknessWeight(int x, int y) const;

  // Raw dump of the darkness map: (W + 1) x (H + 1) bytes, row by row, no header. A save
  // replaces the file atomically; a load needs a file of exactly the map's size. Both
  // return a one-line reason on failure and leave the map unchanged.
  std::optional<std::string> SaveDarkMap(const std::string& path) const;
  std::optional<std::string> LoadDarkMap(const std::string& path);

  const Picture& PicTarget() const { return target_; }
  const Picture& PicNew() const { return result_; }
  const DarkMap& Dark() const { return darkMap_; }
  const Selection& Sel() const { return selection_; }
  HoleAnalysis& Analysis() { return analysis_; }
  const HoleAnalysis& Analysis() const { return analysis_; }
  float Progress() const { return progress_; }

  // Geometry of PicTarget in twips (it sizes itself to its picture).
  Geometry TargetGeometry() const;

 private:
  class DrawObserver;

  void LayOut();
  void SetProgress(float fraction);

  PictureSource& pictures_;
  WindowView& view_;
  Picture target_;
  Picture result_;
  DarkMap darkMap_;
  Selection selection_;
  MemoryBudget budget_;  // before the analysis, which gives back to it when destroyed
  HoleAnalysis analysis_;
  float progress_ = 0;
  char decimalSeparator_;
};

// Where the darkness map is saved and loaded when no path is given: "c:\file.dat" on
// Windows, "file.dat" in the user's home folder elsewhere.
std::string DefaultDarkMapPath();

}  // namespace holescan
