#include "review/overlay.h"

#include <QPainterPath>

namespace holescan::review {

void StrokeTwoTone(QPainter& painter, const QPainterPath& path, const QColor& bright,
                   double width) {
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(kOutlineColour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
  painter.setPen(QPen(bright, width / 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
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

}  // namespace holescan::review
