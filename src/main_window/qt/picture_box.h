// picture_box.h - a borderless picture box: an image at one image pixel per screen pixel on a
// background colour, with up to four outline lines drawn over it.
//
// The image is not copied: PictureBox keeps a QImage that wraps pixels owned by the window's
// logic, and shows whatever they hold at the next repaint. The owner re-wraps (SetImage)
// whenever the buffer is reallocated. Lines are drawn like the line shapes of the original
// toolkit: one pixel wide, from the start point up to but not including the end point.
#pragma once

#include <QColor>
#include <QImage>
#include <QLine>
#include <QWidget>
#include <array>
#include <optional>

#include "pixel/picture.h"

namespace holescan {

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kLineCount = 4;

  PictureBox(const QString& name, QColor background, QWidget* parent);

  // Shows `picture` from its top-left corner; the picture must outlive the box or be replaced.
  void SetImage(const Picture& picture);
  const QImage& Image() const { return image_; }

  // Line `index` (0..kLineCount - 1) now runs from line.p1() to line.p2(), in picture pixels.
  void SetLine(int index, QLine line);
  std::optional<QLine> Line(int index) const { return lines_.at(static_cast<std::size_t>(index)); }
  void SetLineColour(QColor colour);

 signals:
  // A mouse button went down: button 1 left, 2 right, 4 middle, 0 any other; shift bits 1
  // Shift, 2 Ctrl, 4 Alt; the position in picture pixels.
  void MouseDown(int button, int shift, float x, float y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QColor background_;
  QColor lineColour_;
  QImage image_;
  std::array<std::optional<QLine>, kLineCount> lines_;
};

// Wraps a picture's pixels in a QImage without copying them.
QImage WrapPicture(const Picture& picture);

}  // namespace holescan
