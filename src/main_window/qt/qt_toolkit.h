// qt_toolkit.h - the window toolkit of the window's logic (Form1), on Qt widgets.
//
// Geometry arrives in twips and is shown at 15 twips a pixel; inside the picture boxes one
// picture pixel is one screen pixel. PicTarget and PicNew show the logic's own picture
// buffers without copying them.
//
// Repaint pacing: the logic asks for a refresh after every scanned row, and a 24-megapixel
// scan has thousands of rows and can write millions of captions. Captions and progress are
// only stored when they arrive; Refresh shows them, together with every result row scanned
// since the last repaint, at most once per repaint interval (about the pace of a display),
// handling paint and other non-input events only, so no click or key is handled while a
// command runs. Flush shows everything at once and ends every command.
#pragma once

#include <QMargins>
#include <QSize>
#include <chrono>
#include <climits>
#include <optional>
#include <string>

#include "main_window/window_toolkit.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace holescan {

class PictureBox;

class QtToolkit final : public PictureSource, public WindowView {
 public:
  struct Controls {
    QWidget* window = nullptr;   // the top-level window, frame included in its outer size
    QWidget* content = nullptr;  // the scrolled widget holding every control
    QPushButton* CmdLoad = nullptr;
    QLineEdit* TextFilename = nullptr;
    QPushButton* CmdDraw = nullptr;
    QWidget* PicFillOut = nullptr;
    QWidget* PicFillIn = nullptr;
    PictureBox* PicNew = nullptr;
    PictureBox* PicTarget = nullptr;
    QLabel* LabelFilename = nullptr;
    QLabel* LabelVerbose = nullptr;

    // The widget of a control.
    QWidget* Widget(Control control) const;
  };

  static constexpr std::chrono::milliseconds kRepaintInterval{30};

  explicit QtToolkit(const Controls& controls);

  void SetCaption(std::string_view caption) override;
  void ClearClipboard() override;
  void SetClipboardText(std::string_view text) override;
  PictureFile LoadPicture(const std::string& path) override;
  void TargetPictureChanged(const Picture& target) override;
  void ResultPictureChanged(const Picture& result) override;
  void SetGeometry(Control control, const Geometry& geometry) override;
  void SetWindowSize(float widthTwips, float heightTwips) override;
  void SetProgress(float fraction) override;
  void SetOutline(int index, int x1, int y1, int x2, int y2) override;
  void Refresh(int firstRow, int lastRow) override;
  void KeepPainting() override;

  // Shows the stored caption and progress and the result rows changed since the last
  // repaint; `wholeResult` repaints all of PicNew (after painting that did not come row by
  // row).
  void Flush(bool wholeResult = false);
  // The shortest time between two repaints during a command; zero repaints after every row.
  void SetRepaintInterval(std::chrono::milliseconds interval) { repaintInterval_ = interval; }

  // Sizes the window to the outer size last asked for, frame included, but never past the
  // screen: the content keeps its full size and scrolls instead. A platform frame thicker
  // than the layout allows for widens the window rather than hiding a control.
  void ApplyWindowSize();
  // The platform frame differs from the one ApplyWindowSize last allowed for.
  bool FrameChanged() const;

 private:
  void ShowProgress();

  Controls c_;
  std::string caption_;
  bool captionChanged_ = false;
  float progress_ = 0;
  bool progressChanged_ = false;
  int dirtyTop_ = INT_MAX;
  int dirtyBottom_ = INT_MIN;
  float windowWidthTwips_ = 0;
  float windowHeightTwips_ = 0;
  QMargins frameUsed_;
  std::chrono::milliseconds repaintInterval_ = kRepaintInterval;
  std::optional<std::chrono::steady_clock::time_point> lastRepaint_;
};

// Twips to whole pixels, halves away from zero.
int TwipsToPixels(float twips);

}  // namespace holescan
