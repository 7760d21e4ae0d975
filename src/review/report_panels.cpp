#include "review/report_panels.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

#include "review/numbers.h"
#include "review/overlay.h"
#include "review/review_settings.h"

namespace holescan::review {

namespace {

// Page millimetres of the label above a drawing and of its ratio below.
constexpr double kLabelMm = 3.6;
// Page millimetres of a line of the legend, and the legend's width.
constexpr double kLegendLineMm = 3.6;
constexpr double kLegendWidthMm = 62;

// Text at `at` (its left end on the baseline), black with a white halo so that it reads on
// the paper and on the black.
void HaloText(QPainter& painter, const QPointF& at, const QString& text, double heightPx,
              const QColor& fill = Qt::black, const QColor& halo = Qt::white) {
  QFont font;
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(heightPx))));
  QPainterPath path;
  path.addText(at, font, text);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(halo, heightPx * 0.25, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(path);
  painter.fillPath(path, fill);
}

// A card point's page position in the drawing (`scale.ratio` in page pixels per millimetre).
QPointF Place(const DrawingScale& scale, const QPointF& centre, double xMm, double yMm) {
  return {centre.x() + (xMm - scale.centreMm.x()) * scale.ratio,
          centre.y() - (yMm - scale.centreMm.y()) * scale.ratio};
}

// The largest reach of the shots (their calibre included) from the aim, in millimetres.
double ShotReach(const TargetDrawing& drawing) {
  double reach = 0;
  for (const DrawnShot& shot : drawing.shots)
    reach = std::max(reach, std::hypot(shot.xMm, shot.yMm) + drawing.calibreMm / 2);
  return reach;
}

}  // namespace

double RoundRatio(double extentMm, double boxMm, bool magnify) {
  // Page millimetres per card millimetre, largest first.
  static constexpr std::array<double, 26> kRatios = {
      10,      8,       6,       5,       4,       3,       2.5,     2,       1.5,
      1,       1 / 1.5, 1 / 2.,  1 / 2.5, 1 / 3.,  1 / 4.,  1 / 5.,  1 / 6.,  1 / 8.,
      1 / 10., 1 / 15., 1 / 20., 1 / 25., 1 / 30., 1 / 40., 1 / 50., 1 / 100.};
  for (const double ratio : kRatios) {
    if (!magnify && ratio > 1) continue;
    if (extentMm * ratio <= boxMm) return ratio;
  }
  return kRatios.back();
}

QString RatioText(double ratio) {
  if (ratio >= 1) return QStringLiteral("%1:1").arg(QString::number(ratio, 'g', 3));
  return QStringLiteral("1:%1").arg(QString::number(1 / ratio, 'g', 3));
}

void DrawFaceRings(QPainter& painter, const score::Face& face, QPointF centre, double pxPerMm,
                   double numberPx) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  const double black = face.blackDiameterMm / 2 * pxPerMm;
  if (black > 0) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(centre, black, black);
  }
  const double line = std::max(1.0, face.ringLineMm * pxPerMm);
  painter.setBrush(Qt::NoBrush);
  const auto ring = [&](double diameterMm) {
    const double radius = diameterMm / 2 * pxPerMm;
    // A line inside the black is printed white.
    const bool onBlack = radius < black - line / 2;
    painter.setPen(QPen(onBlack ? Qt::white : Qt::black, line));
    painter.drawEllipse(centre, radius, radius);
  };
  for (int n = face.lowestRing; n <= 10; ++n) ring(face.RingDiameterMm(n));
  if (face.innerTenDiameterMm > 0 && face.innerTenDiameterMm != face.RingDiameterMm(10))
    ring(face.innerTenDiameterMm);
  // The ring numbers on the left and right of the zones wide enough to hold them.
  for (int n = face.lowestRing; n < 10; ++n) {
    const double outer = face.RingDiameterMm(n) / 2 * pxPerMm;
    const double inner = face.RingDiameterMm(n + 1) / 2 * pxPerMm;
    const double height = std::min(0.6 * (outer - inner), numberPx);
    if (height < 6 || height < numberPx * 0.5) continue;
    const double middle = (outer + inner) / 2;
    const bool onBlack = middle < black;
    const QColor ink = onBlack ? QColor(Qt::white) : QColor(Qt::black);
    QFont font;
    font.setPixelSize(static_cast<int>(std::lround(height)));
    painter.setFont(font);
    painter.setPen(ink);
    const QString text = QString::number(n);
    for (const double side : {-1.0, 1.0})
      painter.drawText(
          QRectF(centre.x() + side * middle - height, centre.y() - height, 2 * height, 2 * height),
          Qt::AlignCenter, text);
  }
  painter.restore();
}

DrawingScale FaceScale(const TargetDrawing& drawing, double boxMm) {
  double extent = 2 * ShotReach(drawing);
  if (drawing.face) {
    const double outer = drawing.face->OuterDiameterMm();
    // A shot far off the face shrinks it no further than this; the box clips it.
    extent = std::max(outer, std::min(extent, 1.5 * outer));
  }
  extent = std::max(extent, 4 * drawing.calibreMm) * 1.04;
  const double ratio = RoundRatio(extent, boxMm, false);
  return {QPointF(0, 0), ratio, RatioText(ratio)};
}

DrawingScale CloseUpScale(const TargetDrawing& drawing, double boxMm) {
  if (drawing.shots.empty()) return FaceScale(drawing, boxMm);
  double left = drawing.shots.front().xMm, right = left;
  double bottom = drawing.shots.front().yMm, top = bottom;
  for (const DrawnShot& shot : drawing.shots) {
    left = std::min(left, shot.xMm);
    right = std::max(right, shot.xMm);
    bottom = std::min(bottom, shot.yMm);
    top = std::max(top, shot.yMm);
  }
  const double size = std::max(right - left, top - bottom) + drawing.calibreMm;
  // A margin for the numbers beside the holes, and never closer than three calibres across.
  const double extent = std::max(size * 1.25 + 2, 3 * drawing.calibreMm);
  const double ratio = RoundRatio(extent, boxMm, true);
  return {QPointF((left + right) / 2, (bottom + top) / 2), ratio, RatioText(ratio)};
}

QRectF DrawingArea(const QRectF& box, double pagePxPerMm, bool compact) {
  if (compact) {
    const double side = std::max(0.0, std::min(box.width(), box.height()) - pagePxPerMm);
    return {box.center().x() - side / 2, box.center().y() - side / 2, side, side};
  }
  const double band = kLabelMm * pagePxPerMm;
  const double side = std::max(0.0, std::min(box.width(), box.height() - 2 * band));
  return {box.center().x() - side / 2, box.top() + band + (box.height() - 2 * band - side) / 2,
          side, side};
}

// The scale's bar of a round length (at most `widthPx` long) and its ratio, left at `at`.
void ScaleLine(QPainter& painter, const QPointF& at, double widthPx, double ringPx,
               double pagePxPerMm, const QString& ratio) {
  double barMm = 1;
  for (const double length : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0})
    if (length * ringPx <= widthPx) barMm = length;
  const double barPx = barMm * ringPx;
  const double band = kLabelMm * pagePxPerMm;
  painter.setPen(QPen(Qt::black, std::max(1.0, 0.3 * pagePxPerMm)));
  painter.drawLine(at + QPointF(0, band / 2), at + QPointF(barPx, band / 2));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(at.x() + barPx + pagePxPerMm, at.y(), 80 * pagePxPerMm, band),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1 mm   scale %2").arg(barMm).arg(ratio));
}

void PaintDrawing(QPainter& painter, const TargetDrawing& drawing, const DrawingScale& scale,
                  const QRectF& box, double pagePxPerMm, bool compact) {
  const QRectF area = DrawingArea(box, pagePxPerMm, compact);
  const QPointF centre = area.center();
  const double textPx = 2.6 * pagePxPerMm;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  QFont caption;
  caption.setPixelSize(static_cast<int>(std::lround(textPx)));
  painter.setFont(caption);
  painter.setPen(Qt::black);
  const double band = kLabelMm * pagePxPerMm;
  if (!compact)
    painter.drawText(QRectF(box.left(), area.top() - band, box.width(), band),
                     Qt::AlignHCenter | Qt::AlignVCenter, drawing.label);

  painter.save();
  painter.setClipRect(area);
  painter.fillRect(area, Qt::white);
  const double ringPx = scale.ratio * pagePxPerMm;  // page pixels per card millimetre
  const DrawingScale onPage{scale.centreMm, ringPx, scale.text};
  if (drawing.face)
    DrawFaceRings(painter, *drawing.face, Place(onPage, centre, 0, 0), ringPx, 2.4 * pagePxPerMm);
  // The shots: a disc of the calibre, tinted, in a dark outline; the number beside it.
  const double radius = drawing.calibreMm / 2 * ringPx;
  const double numberPx = std::clamp(radius * 0.9, 1.9 * pagePxPerMm, 3.2 * pagePxPerMm);
  for (const DrawnShot& shot : drawing.shots) {
    const QPointF at = Place(onPage, centre, shot.xMm, shot.yMm);
    QColor fill = shot.edited ? kEditedColour : kFoundColour;
    fill.setAlpha(150);
    painter.setBrush(fill);
    painter.setPen(QPen(kOutlineColour, std::max(1.0, 0.18 * pagePxPerMm)));
    painter.drawEllipse(at, radius, radius);
  }
  for (const DrawnShot& shot : drawing.shots) {
    const QPointF at = Place(onPage, centre, shot.xMm, shot.yMm);
    HaloText(painter, at + QPointF(radius * 0.75, -radius * 0.75), shot.number, numberPx);
  }
  const double cross = std::max(radius * 1.6, 3 * pagePxPerMm);
  const double width = std::max(1.0, 0.35 * pagePxPerMm);
  if (drawing.aimMarked)
    StrokeTwoTone(painter, CrossPath(Place(onPage, centre, 0, 0), cross), kAimColour, width);
  if (drawing.groupCentreMm)
    StrokeTwoTone(
        painter,
        CrossPath(Place(onPage, centre, drawing.groupCentreMm->x(), drawing.groupCentreMm->y()),
                  cross),
        kCentreColour, width);
  if (compact) {
    // On a white tab in the corner: it reads on the paper and on a close-up's black alike.
    QFont small;
    small.setPixelSize(std::max(1, static_cast<int>(std::lround(2.1 * pagePxPerMm))));
    painter.setFont(small);
    const double tabW = QFontMetricsF(small).horizontalAdvance(drawing.label) + 1.2 * pagePxPerMm;
    const QRectF tab(area.topLeft(), QSizeF(std::min(tabW, area.width()), 3.0 * pagePxPerMm));
    painter.fillRect(tab, Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(tab.adjusted(0.6 * pagePxPerMm, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     drawing.label);
  }
  painter.restore();

  painter.setPen(QPen(QColor(150, 150, 150), std::max(1.0, 0.15 * pagePxPerMm)));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(area);
  if (!compact)
    ScaleLine(painter, area.bottomLeft(), area.width() * 0.3, ringPx, pagePxPerMm, scale.text);
  painter.restore();
}

double PaintDrawings(QPainter& painter, const std::vector<PlacedDrawing>& placed,
                     double pagePxPerMm) {
  double bottom = 0, left = 1e300, right = 0;
  bool compact = false;
  for (const PlacedDrawing& one : placed) {
    PaintDrawing(painter, one.drawing, one.scale, one.box, pagePxPerMm, one.compact);
    bottom = std::max(bottom, one.box.bottom());
    left = std::min(left, one.box.left());
    right = std::max(right, one.box.right());
    compact = compact || one.compact;
  }
  if (compact && !placed.empty()) {
    // A sheet's grid: its one scale under it.
    painter.save();
    QFont caption;
    caption.setPixelSize(static_cast<int>(std::lround(2.6 * pagePxPerMm)));
    painter.setFont(caption);
    ScaleLine(painter, QPointF(left, bottom), (right - left) * 0.25,
              placed.front().scale.ratio * pagePxPerMm, pagePxPerMm,
              placed.front().scale.text + QStringLiteral(", every bull's face"));
    painter.restore();
    bottom += kLabelMm * pagePxPerMm;
  }
  return bottom;
}

std::vector<TargetDrawing> DrawingsOf(const ReviewDocument& document) {
  const calibrated::CalibratedResult& result = document.Result();
  const score::Face* face = FaceOf(document.Settings());
  // Rings only about an aim the shots are measured from: the face's black or one given.
  const bool onFace = face != nullptr && (result.aim.source == score::AimSource::Face ||
                                          result.aim.source == score::AimSource::Given);
  const double calibre = document.Settings().calibreMm;
  const auto shotOf = [&](std::size_t index) {
    const calibrated::Shot& shot = result.shots[index];
    return DrawnShot{shot.xMm, shot.yMm, QString::number(index + 1), shot.edited};
  };
  std::vector<TargetDrawing> drawings;
  if (result.bulls.empty()) {
    TargetDrawing drawing;
    drawing.face = onFace ? face : nullptr;
    drawing.aimMarked =
        result.aim.source == score::AimSource::Face || result.aim.source == score::AimSource::Given;
    drawing.calibreMm = calibre;
    for (std::size_t i = 0; i < result.shots.size(); ++i) drawing.shots.push_back(shotOf(i));
    if (!result.shots.empty())
      drawing.groupCentreMm = QPointF(result.group.centreX, result.group.centreY);
    drawings.push_back(std::move(drawing));
    return drawings;
  }
  for (const calibrated::Bull& bull : result.bulls) {
    TargetDrawing drawing;
    drawing.face = face;
    drawing.calibreMm = calibre;
    drawing.label = bull.sighter ? QStringLiteral("bull %1, sighter").arg(bull.number)
                                 : QStringLiteral("bull %1").arg(bull.number);
    for (const std::size_t index : bull.shots)
      if (index < result.shots.size()) drawing.shots.push_back(shotOf(index));
    if (!drawing.shots.empty())
      drawing.groupCentreMm = QPointF(bull.group.centreX, bull.group.centreY);
    drawings.push_back(std::move(drawing));
  }
  return drawings;
}

std::vector<PlacedDrawing> PlaceDrawings(const ReviewDocument& document, const QRectF& box,
                                         double pagePxPerMm) {
  std::vector<TargetDrawing> drawings = DrawingsOf(document);
  std::vector<PlacedDrawing> placed;
  const auto areaMm = [&](const QRectF& cell) {
    return DrawingArea(cell, pagePxPerMm).width() / pagePxPerMm;
  };
  if (document.Result().bulls.empty()) {
    TargetDrawing& drawing = drawings.front();
    const double side = std::min(box.width(), box.height() / 2);
    QRectF cell(box.left(), box.top(), box.width(), side);
    if (drawing.face) {
      TargetDrawing whole = drawing;
      whole.label = QString::fromUtf8(drawing.face->title.data(),
                                      static_cast<qsizetype>(drawing.face->title.size()));
      placed.push_back({whole, FaceScale(whole, areaMm(cell)), cell});
      cell.translate(0, side);
    }
    drawing.label = QStringLiteral("close-up of the group");
    placed.push_back({drawing, CloseUpScale(drawing, areaMm(cell)), cell, false, 0, true});
    return placed;
  }
  // A sheet: each bull's face, and beside it the close-up of its group when any bull has
  // shots, in the grid of pairs that keeps its cells largest, its scale's line under it.
  const QRectF grid(box.left(), box.top(), box.width(), box.height() - kLabelMm * pagePxPerMm);
  const int count = static_cast<int>(drawings.size());
  const bool closeUps = std::any_of(drawings.begin(), drawings.end(),
                                    [](const TargetDrawing& one) { return !one.shots.empty(); });
  const int across = closeUps ? 2 : 1;  // cells a bull takes
  int perRow = 1;
  double side = 0;
  for (int c = 1; c <= count; ++c) {
    const int rows = (count + c - 1) / c;
    const double s = std::min(grid.width() / (c * across), grid.height() / rows);
    if (s > side) {
      side = s;
      perRow = c;
    }
  }
  const auto compactMm = [&](const QRectF& cell) {
    return DrawingArea(cell, pagePxPerMm, true).width() / pagePxPerMm;
  };
  double ratio = 1;
  DrawingScale common;
  std::vector<std::size_t> faces;
  for (int i = 0; i < count; ++i) {
    TargetDrawing& drawing = drawings[static_cast<std::size_t>(i)];
    const int bull = document.Result().bulls[static_cast<std::size_t>(i)].number;
    const QRectF cell(grid.left() + (i % perRow) * across * side, grid.top() + (i / perRow) * side,
                      side, side);
    const DrawingScale scale = FaceScale(drawing, compactMm(cell));
    if (faces.empty() || scale.ratio < ratio) {
      ratio = scale.ratio;
      common = scale;
    }
    faces.push_back(placed.size());
    placed.push_back({drawing, scale, cell, true, bull, false});
    if (drawing.shots.empty()) continue;
    TargetDrawing group = drawing;
    const QRectF next = cell.translated(side, 0);
    const DrawingScale closer = CloseUpScale(group, compactMm(next));
    group.label = QStringLiteral("close-up ") + closer.text;
    placed.push_back({group, closer, next, true, bull, true});
  }
  for (const std::size_t i : faces) placed[i].scale = common;
  return placed;
}

ReportBand LayOutBand(const ReviewDocument& document, const QRectF& band, QSizeF scanSize,
                      int legendLines, double pagePxPerMm) {
  const double mm = pagePxPerMm;
  ReportBand layout;
  // The drawings' column: wider for a sheet's grid.
  const double drawW = (IsSheet(document) ? 80 : 70) * mm, gap = 4 * mm;
  const double scanW = band.width() - drawW - gap;
  const double legendH = legendLines > 0 ? (legendLines * kLegendLineMm + 1.6) * mm : 0;
  const double scanH = std::max(0.0, band.height() - (legendH > 0 ? legendH + 2 * mm : 0));
  double scale = 0;
  if (scanSize.width() > 0 && scanSize.height() > 0)
    scale = std::min(scanW / scanSize.width(), scanH / scanSize.height());
  const QSizeF shown(scanSize.width() * scale, scanSize.height() * scale);
  layout.scan =
      QRectF(band.left() + (scanW - shown.width()) / 2, band.top(), shown.width(), shown.height());
  if (legendH > 0)
    layout.legend = QRectF(band.left(), layout.scan.bottom() + 2 * mm,
                           std::min(scanW, kLegendWidthMm * mm), legendH);
  layout.drawings = PlaceDrawings(
      document, QRectF(band.left() + scanW + gap, band.top(), drawW, band.height()), pagePxPerMm);
  // A sheet's grid has its scale's line under it.
  double drawn = 0;
  bool grid = false;
  for (const PlacedDrawing& one : layout.drawings) {
    drawn = std::max(drawn, one.box.bottom());
    grid = grid || one.compact;
  }
  layout.bottom = std::max({layout.scan.bottom(), legendH > 0 ? layout.legend.bottom() : 0.0,
                            drawn + (grid ? kLabelMm * mm : 0.0)});
  return layout;
}

void PaintLegend(QPainter& painter, std::span<const shots::LegendEntry> entries, const QRectF& box,
                 double pagePxPerMm) {
  if (entries.empty() || box.isEmpty()) return;
  const double mm = pagePxPerMm, line = kLegendLineMm * mm;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(QColor(150, 150, 150), std::max(1.0, 0.15 * mm)));
  painter.setBrush(Qt::white);
  painter.drawRect(box);
  QFont font;
  font.setPixelSize(static_cast<int>(std::lround(2.4 * mm)));
  painter.setFont(font);
  double y = box.top() + 0.8 * mm;
  for (const shots::LegendEntry& entry : entries) {
    const QPointF mark(box.left() + 2.6 * mm, y + line / 2);
    const QColor colour = QColor::fromRgb(entry.colour);
    if (entry.symbol == shots::LegendSymbol::Circle) {
      QColor fill = colour;
      fill.setAlpha(150);
      painter.setBrush(fill);
      painter.setPen(QPen(kOutlineColour, std::max(1.0, 0.18 * mm)));
      painter.drawEllipse(mark, 1.2 * mm, 1.2 * mm);
    } else {
      StrokeTwoTone(painter, CrossPath(mark, 3 * mm), colour, std::max(1.0, 0.35 * mm));
    }
    painter.setPen(Qt::black);
    painter.drawText(QRectF(box.left() + 5 * mm, y, box.width() - 6 * mm, line),
                     Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(entry.text));
    y += line;
  }
  painter.restore();
}

}  // namespace holescan::review
