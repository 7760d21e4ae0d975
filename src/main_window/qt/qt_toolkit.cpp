#include "main_window/qt/qt_toolkit.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cmath>
#include <future>

#include "io/one_line.h"
#include "io/qt/picture_loader.h"
#include "main_window/qt/picture_box.h"

namespace holescan {
namespace {

QRect PixelRect(const Geometry& g) {
  return {TwipsToPixels(g.left), TwipsToPixels(g.top), TwipsToPixels(g.width),
          TwipsToPixels(g.height)};
}

QMargins FrameMargins(const QWidget* window) {
  const QRect outer = window->frameGeometry();
  const QRect inner = window->geometry();
  return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
          outer.bottom() - inner.bottom()};
}

}  // namespace

int TwipsToPixels(float twips) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QtToolkit::QtToolkit(const Controls& controls) : c_(controls) {}

void QtToolkit::SetCaption(std::string_view caption) {
  // Called up to once per labelled pixel during a scan: keep only the latest.
  caption_.assign(caption);
  captionChanged_ = true;
}

void QtToolkit::ClearClipboard() {
  QGuiApplication::clipboard()->clear();
}

void QtToolkit::SetClipboardText(std::string_view text) {
  QGuiApplication::clipboard()->setText(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

PictureFile QtToolkit::LoadPicture(const std::string& path) {
  // Decoded beside the window's thread, which meanwhile keeps painting (a 50-megapixel scan
  // takes seconds), handling no input: the command still runs to its end first.
  PictureLimits limits;
  limits.analysisBytesPerPixel = 5;  // the darkness map and the result picture
  auto decoding =
      std::async(std::launch::async, [&path, limits] { return LoadPictureFile(path, limits); });
  const auto pause = std::max(repaintInterval_, std::chrono::milliseconds(10));
  while (decoding.wait_for(pause) != std::future_status::ready)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return decoding.get();
}

void QtToolkit::TargetPictureChanged(const Picture& target) {
  c_.PicTarget->SetImage(target);
  c_.PicTarget->update();
}

void QtToolkit::ResultPictureChanged(const Picture& result) {
  // Re-wrapped at once: the old buffer may be gone before the next repaint.
  c_.PicNew->SetImage(result);
  c_.PicNew->update();
}

QWidget* QtToolkit::Controls::Widget(Control control) const {
  const std::array<QWidget*, kControls.size()> widgets = {CmdLoad,    TextFilename,  CmdDraw,
                                                          PicFillOut, PicFillIn,     PicNew,
                                                          PicTarget,  LabelFilename, LabelVerbose};
  return widgets[static_cast<std::size_t>(control)];
}

void QtToolkit::SetGeometry(Control control, const Geometry& geometry) {
  const QRect rect = PixelRect(geometry);
  switch (control) {
    case Control::PicFillIn:
      // Across, PicFillOut's interior is one unit wide; down, it keeps twips.
      c_.PicFillIn->setGeometry(
          static_cast<int>(std::lround(geometry.left * static_cast<float>(c_.PicFillOut->width()))),
          rect.top(), c_.PicFillIn->width(), rect.height());
      SetProgress(geometry.width);
      ShowProgress();
      break;
    case Control::LabelFilename:
      // Sizes itself to its caption.
      c_.LabelFilename->move(rect.topLeft());
      c_.LabelFilename->resize(c_.LabelFilename->sizeHint());
      break;
    default:
      c_.Widget(control)->setGeometry(rect);
      if (control == Control::PicFillOut) ShowProgress();
  }
}

void QtToolkit::SetWindowSize(float widthTwips, float heightTwips) {
  windowWidthTwips_ = widthTwips;
  windowHeightTwips_ = heightTwips;
  ApplyWindowSize();
}

void QtToolkit::ApplyWindowSize() {
  QWidget* window = c_.window;
  frameUsed_ = FrameMargins(window);
  const QSize frame(frameUsed_.left() + frameUsed_.right(), frameUsed_.top() + frameUsed_.bottom());
  const QSize outer(TwipsToPixels(windowWidthTwips_), TwipsToPixels(windowHeightTwips_));
  // The content is exactly the controls, so that one the window's size leaves out (a narrow
  // picture puts "&Load" past the right edge) is reached by scrolling.
  QRect controls(0, 0, 1, 1);
  for (QObject* child : c_.content->children()) {
    if (auto* control = qobject_cast<QWidget*>(child)) controls |= control->geometry();
  }
  const QSize content(controls.right() + 1, controls.bottom() + 1);
  c_.content->setFixedSize(content);
  // The interior is the outer size less the platform's frame; but the frame never hides what
  // that outer size would show (the layout leaves room for a thinner frame than most).
  const QSize interior = (outer - frame).expandedTo(content.boundedTo(outer)).expandedTo({1, 1});
  QSize shown = interior;
  if (const QScreen* screen = window->screen())
    shown = shown.boundedTo(screen->availableGeometry().size() - frame);
  window->resize(shown);
}

bool QtToolkit::FrameChanged() const {
  return FrameMargins(c_.window) != frameUsed_;
}

void QtToolkit::SetProgress(float fraction) {
  progress_ = fraction;
  progressChanged_ = true;
}

void QtToolkit::ShowProgress() {
  const double fraction = std::clamp(static_cast<double>(progress_), 0.0, 1.0);
  c_.PicFillIn->resize(static_cast<int>(std::lround(fraction * c_.PicFillOut->width())),
                       c_.PicFillOut->height());
  progressChanged_ = false;
}

void QtToolkit::SetOutline(int index, int x1, int y1, int x2, int y2) {
  c_.PicTarget->SetLine(index, QLine(x1, y1, x2, y2));
}

void QtToolkit::Refresh(int firstRow, int lastRow) {
  dirtyTop_ = std::min(dirtyTop_, firstRow);
  dirtyBottom_ = std::max(dirtyBottom_, lastRow);
  const auto now = std::chrono::steady_clock::now();
  if (lastRepaint_ && now - *lastRepaint_ < repaintInterval_) return;
  Flush();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  // Timed from the end of the repaint, so a slow repaint still leaves the scan its interval.
  lastRepaint_ = std::chrono::steady_clock::now();
}

void QtToolkit::KeepPainting() {
  // An empty range of rows: repaints what is due, no more often than during the scan.
  Refresh(INT_MAX, INT_MIN);
}

void QtToolkit::Flush(bool wholeResult) {
  if (captionChanged_) {
    // One line: a long caption (a failed load names the whole path) keeps its start and its
    // end, where the reason is; the tooltip holds all of it.
    QLabel* label = c_.LabelVerbose;
    const QString text =
        QString::fromStdString(OneLine(caption_));  // as holescan-cli writes it
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width()));
    label->setToolTip(text);
    captionChanged_ = false;
  }
  if (progressChanged_) ShowProgress();
  if (wholeResult) {
    c_.PicNew->update();
  } else if (dirtyTop_ <= dirtyBottom_) {
    c_.PicNew->update(0, dirtyTop_, c_.PicNew->width(), dirtyBottom_ - dirtyTop_ + 1);
  }
  dirtyTop_ = INT_MAX;
  dirtyBottom_ = INT_MIN;
}

}  // namespace holescan
