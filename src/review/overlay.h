// overlay.h - how shots and marks are drawn over a scan, for the exported picture and the
// printed report (the view draws its items with the same colours and the same two-tone line).
//
// A circle of the calibre stands out from whatever lies under it, white paper, black print or
// a hole, because it is two lines: a wide dark one and a narrow bright one along its middle.
// Shots found by the analysis are cyan, shots added or moved by hand magenta. Numbers are
// bright with a dark halo. The point of aim is a red cross, the group's centre a green one.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QString>
#include <optional>

#include "review/document.h"

namespace holescan::review {

inline const QColor kOutlineColour{0, 0, 0, 220};
inline const QColor kFoundColour{0, 230, 255};
inline const QColor kEditedColour{255, 70, 230};
inline const QColor kSelectedColour{255, 240, 0};
inline const QColor kAimColour{255, 50, 50};
inline const QColor kCentreColour{60, 255, 90};

// The two-tone line: a dark pen `width` wide, then a bright one of width / 2.5.
void StrokeTwoTone(QPainter& painter, const QPainterPath& path, const QColor& bright, double width);
// Text in bright colour with a dark halo, its baseline starting at `at`.
void DrawHaloText(QPainter& painter, const QPointF& at, const QString& text, const QFont& font,
                  const QColor& bright);
// The same for text already made a path (the view keeps its numbers' paths: shaping text is
// most of what a repaint would cost).
void DrawHaloPath(QPainter& painter, const QPainterPath& path, const QColor& bright, double halo);
// A cross of `size` across.
QPainterPath CrossPath(const QPointF& centre, double size);

// The mean of the shots in picture pixels; nullopt without shots.
std::optional<QPointF> GroupCentrePx(const ReviewDocument& document);

// Shots, numbers, point of aim and group centre on a painter in picture pixels; `unit` is the
// size of one output pixel in picture pixels (line widths and text keep a readable size).
void PaintOverlay(QPainter& painter, const ReviewDocument& document, double unit);

// The scan with the overlay at full resolution; a null image without a picture.
QImage AnnotatedImage(const ReviewDocument& document);

}  // namespace holescan::review
