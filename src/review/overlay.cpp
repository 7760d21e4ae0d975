#include "review/overlay.h"

#include <QPainterPath>
#include <algorithm>

#include "review/picture_image.h"

namespace holescan::review {

void StrokeTwoTone(QPainter& painter, const QPainterPath& path, const QColor& bright,
                   double width) {
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kOutlineColour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
  painter.setPen(QPen(bright, width / 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
}

void DrawHaloText(QPainter& painter, const QPointF& at, const QString& text, const QFont& font,
                  const QColor& bright) {
  QPainterPath path;
  path.addText(at, font, text);
  DrawHaloPath(
      painter, path, bright,
      std::max(2.0, font.pointSizeF() > 0 ? font.pointSizeF() / 4 : font.pixelSize() / 4.0));
}

void DrawHaloPath(QPainter& painter, const QPainterPath& path, const QColor& bright, double halo) {
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kOutlineColour, halo, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
  painter.fillPath(path, bright);
}

QPainterPath CrossPath(const QPointF& centre, double size) {
  QPainterPath path;
  path.moveTo(centre.x() - size / 2, centre.y());
  path.lineTo(centre.x() + size / 2, centre.y());
  path.moveTo(centre.x(), centre.y() - size / 2);
  path.lineTo(centre.x(), centre.y() + size / 2);
  return path;
}

std::optional<QPointF> GroupCentrePx(const ReviewDocument& document) {
  const calibrated::CalibratedResult& result = document.Result();
  if (result.shots.empty()) return std::nullopt;
  return QPointF(result.groupCentreX, result.groupCentreY);
}

void PaintOverlay(QPainter& painter, const ReviewDocument& document, double unit) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const double diameter = HoleDiameterPx(document.Settings());
  const double line = std::max(3 * unit, diameter / 10);
  QFont font;
  font.setBold(true);
  font.setPixelSize(std::max(1, static_cast<int>(std::max(14 * unit, diameter * 0.45))));
  const auto& shots = document.Shots();
  for (std::size_t i = 0; i < shots.size(); ++i) {
    const ReviewShot& shot = shots[i];
    QPainterPath circle;
    circle.addEllipse(QPointF(shot.x, shot.y), diameter / 2, diameter / 2);
    const QColor colour = shot.edited ? kEditedColour : kFoundColour;
    StrokeTwoTone(painter, circle, colour, line);
    DrawHaloText(painter, QPointF(shot.x + diameter * 0.45, shot.y - diameter * 0.45),
                 QString::number(i + 1), font, colour);
  }
  const double cross = std::max(diameter * 1.5, 24 * unit);
  if (const auto& aim = document.Aim())
    StrokeTwoTone(painter, CrossPath({aim->x, aim->y}, cross), kAimColour, line);
  if (const auto centre = GroupCentrePx(document))
    StrokeTwoTone(painter, CrossPath(*centre, cross), kCentreColour, line);
  painter.restore();
}

QImage AnnotatedImage(const ReviewDocument& document) {
  const auto& picture = document.PictureData();
  if (!picture) return {};
  QImage image = ImageOf(*picture).copy();
  QPainter painter(&image);
  // Pixel (i, j)'s centre is the point (i, j): the painter's (0, 0) is the corner of pixel 0.
  painter.translate(0.5, 0.5);
  PaintOverlay(painter, document, std::max(1.0, std::max(image.width(), image.height()) / 2000.0));
  painter.end();
  return image;
}

}  // namespace holescan::review
