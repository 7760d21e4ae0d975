// overlay.h - how the picture view draws shots and marks over a scan: the colours and the
// two-tone line of the exported picture and the printed report, which the command line's
// result picture writer draws (results/result_picture.h, shots/legend.h).
//
// A circle of the calibre stands out from whatever lies under it, white paper, black print or
// a hole, because it is two lines: a wide dark one and a narrow bright one along its middle.
// Shots found by the analysis are cyan, shots added or moved by hand magenta. Numbers are
// bright with a dark halo; a shot's score, when shown, is white beside its number. The point
// of aim is a red cross, the group's centre a green one.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QString>
#include <optional>

#include "review/document.h"
#include "shots/legend.h"

namespace holescan::review {

inline const QColor kOutlineColour{0, 0, 0, 220};
inline const QColor kFoundColour = QColor::fromRgb(shots::kFoundColour);
inline const QColor kEditedColour = QColor::fromRgb(shots::kEditedColour);
inline const QColor kSelectedColour{255, 240, 0};
inline const QColor kScoreColour{255, 255, 255};  // a shot's score beside its number
inline const QColor kAimColour = QColor::fromRgb(shots::kAimColour);
inline const QColor kCentreColour = QColor::fromRgb(shots::kCentreColour);

// The two-tone line: a dark pen `width` wide, then a bright one of width / 2.5.
void StrokeTwoTone(QPainter& painter, const QPainterPath& path, const QColor& bright, double width);
// Text already made a path, bright with a dark halo `halo` wide (the view keeps its numbers'
// paths: shaping text is most of what a repaint would cost).
void DrawHaloPath(QPainter& painter, const QPainterPath& path, const QColor& bright, double halo);
// A cross of `size` across.
QPainterPath CrossPath(const QPointF& centre, double size);

// The mean of the shots in picture pixels; nullopt without shots.
std::optional<QPointF> GroupCentrePx(const ReviewDocument& document);

}  // namespace holescan::review
