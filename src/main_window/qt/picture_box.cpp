#include "main_window/qt/picture_box.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cstdlib>

namespace holescan {
namespace {

// The pixels a one-pixel line covers, start point included, end point left out; empty for
// a diagonal line, which QPainter draws instead.
QRect AxisLinePixels(QLine line) {
  const auto span = [](int from, int to) -> std::pair<int, int> {
    return to >= from ? std::pair{from, to - 1} : std::pair{to + 1, from};
  };
  if (line.y1() == line.y2()) {
    const auto [first, last] = span(line.x1(), line.x2());
    return QRect(QPoint(first, line.y1()), QPoint(last, line.y1()));
  }
  if (line.x1() == line.x2()) {
    const auto [first, last] = span(line.y1(), line.y2());
    return QRect(QPoint(line.x1(), first), QPoint(line.x1(), last));
  }
  return {};
}

int ButtonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::RightButton:
      return 2;
    case Qt::MiddleButton:
      return 4;
    default:
      return 0;
  }
}

int ShiftCode(Qt::KeyboardModifiers modifiers) {
  return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) |
         (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) |
         (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

}  // namespace

QImage WrapPicture(const Picture& picture) {
  if (picture.Width() <= 0 || picture.Height() <= 0) return {};
  // The const constructor keeps the QImage read-only, so it never detaches into a copy.
  return QImage(reinterpret_cast<const uchar*>(picture.Data()), picture.Width(), picture.Height(),
                static_cast<qsizetype>(picture.Stride() * sizeof(std::uint32_t)),
                QImage::Format_RGB32);
}

PictureBox::PictureBox(const QString& name, QColor background, QWidget* parent)
    : QWidget(parent), background_(background), lineColour_(Qt::yellow) {
  setObjectName(name);
  // Every pixel is painted below, so Qt need not clear the box first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::SetImage(const Picture& picture) {
  image_ = WrapPicture(picture);
}

void PictureBox::SetLine(int index, QLine line) {
  auto& slot = lines_.at(static_cast<std::size_t>(index));
  if (slot) update(QRect(slot->p1(), slot->p2()).normalized().adjusted(-1, -1, 1, 1));
  slot = line;
  update(QRect(line.p1(), line.p2()).normalized().adjusted(-1, -1, 1, 1));
}

void PictureBox::SetLineColour(QColor colour) {
  lineColour_ = colour;
  update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect shown = event->rect() & image_.rect();
  if (!shown.isEmpty()) painter.drawImage(shown.topLeft(), image_, shown);
  for (const QRect& rest : QRegion(event->rect()).subtracted(shown))
    painter.fillRect(rest, background_);

  QPen pen(lineColour_, 0);  // cosmetic: one pixel wide
  pen.setCapStyle(Qt::FlatCap);
  painter.setPen(pen);
  for (const auto& line : lines_) {
    if (!line || line->p1() == line->p2()) continue;
    const QRect pixels = AxisLinePixels(*line);
    if (pixels.isValid()) {
      painter.fillRect(pixels, lineColour_);
    } else {
      painter.drawLine(*line);
    }
  }
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  const QPointF position = event->position();
  emit MouseDown(ButtonCode(event->button()), ShiftCode(event->modifiers()),
                 static_cast<float>(position.x()), static_cast<float>(position.y()));
}

}  // namespace holescan
