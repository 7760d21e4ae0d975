// report_panels.h - the printed report's drawn targets: the scored face at a true scale with
// the shots on it, a close-up of the group, and for a sheet of several bulls one small drawing
// per bull with its own shots and a close-up of each bull's group; and the band of the page that
// holds them beside the annotated scan and its legend, laid out so that nothing covers anything.
//
// Everything is drawn with QPainter from numbers, not from the scan: the rings from the face's
// table (millimetres), the shots as circles of the calibre at their millimetres from the point
// of aim (x right, y up), numbered as the table numbers them. A scale is one of a few round
// ratios (1:1, 1:2, 1:2.5, ... or 2:1, 3:1, ... for a close-up) and is printed under the
// drawing, so a ruler laid on the page measures millimetres on the card.
#pragma once

#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>
#include <span>
#include <vector>

#include "review/document.h"
#include "score/faces.h"
#include "shots/legend.h"

namespace holescan::review {

// One shot as drawn: millimetres from its aim (x right, y up), its number and whether it was
// set by hand.
struct DrawnShot {
  double xMm = 0, yMm = 0;
  QString number;
  bool edited = false;
};

// What one drawing shows: the face's rings when scored on one (about the aim, (0, 0)), the
// shots, the group's centre and the aim marked.
struct TargetDrawing {
  const score::Face* face = nullptr;
  std::vector<DrawnShot> shots;
  double calibreMm = 4.5;
  std::optional<QPointF> groupCentreMm;  // x right, y up
  QString label;                         // printed over the drawing, e.g. "bull 3"
  bool aimMarked = true;                 // the aim is not merely the group's centre
};

// How a drawing maps the card: `ratio` page millimetres per card millimetre about
// `centreMm` (the drawing's middle), and that ratio as printed ("1:2", "4:1").
struct DrawingScale {
  QPointF centreMm;
  double ratio = 1;
  QString text;
};

// The largest round ratio (card : page) at which `extentMm` (a diameter) fits in `boxMm`
// millimetres of the page; 1:1 or smaller when `magnify` is false.
double RoundRatio(double extentMm, double boxMm, bool magnify);
// "1:1", "1:2.5", "4:1".
QString RatioText(double ratio);

// The face's rings about `centre` (page pixels) at `pxPerMm`: the black filled, the rings
// as lines of the face's printed width (at least a hair), black on the white and white on the
// black, and the ring numbers, at most `numberPx` high (none for 0), in the zones wide enough.
void DrawFaceRings(QPainter& painter, const score::Face& face, QPointF centre, double pxPerMm,
                   double numberPx = 0);

// The scale of the whole face drawing in a box of `boxMm` page millimetres: the face's outer
// ring (and every shot) fits, about the aim.
DrawingScale FaceScale(const TargetDrawing& drawing, double boxMm);
// The scale of the close-up: the group's extent (its shots, their calibre and a margin) fills
// the box, about the middle of the group.
DrawingScale CloseUpScale(const TargetDrawing& drawing, double boxMm);

// The square a drawing takes in `box`, between its label and its scale's line (compact: the
// box less a small gap).
QRectF DrawingArea(const QRectF& box, double pagePxPerMm, bool compact = false);
// The drawing in `box` (page pixels, `pagePxPerMm` of them per page millimetre) at `scale`:
// rings (with a face), shots, the aim and the group's centre, the label above and the ratio
// below, all clipped to the box.
void PaintDrawing(QPainter& painter, const TargetDrawing& drawing, const DrawingScale& scale,
                  const QRectF& box, double pagePxPerMm, bool compact = false);

// A drawing, its scale and its box (page pixels) on the report.
struct PlacedDrawing {
  TargetDrawing drawing;
  DrawingScale scale;
  QRectF box;
  // One of a sheet's grid: its label inside the drawing, and the scale once under the grid.
  bool compact = false;
  int bull = 0;          // the sheet's bull it shows (from 1); 0 for a face alone
  bool closeUp = false;  // the close-up of the group, not the whole face
};
// Paints them; the bottom of what was painted (page pixels).
double PaintDrawings(QPainter& painter, const std::vector<PlacedDrawing>& placed,
                     double pagePxPerMm);

// The document's drawings laid out in `box` (page pixels, `pagePxPerMm` per page millimetre)
// from its top: for one face the whole face above a close-up of the group, for an unscored
// picture the close-up alone, for a sheet a grid of its bulls, the faces at one scale (printed
// once under the grid) and beside each bull with shots the close-up of its group at its own
// (printed in its label).
std::vector<PlacedDrawing> PlaceDrawings(const ReviewDocument& document, const QRectF& box,
                                         double pagePxPerMm);

// The report's band: the annotated scan on the left at the scan's aspect (`scanSize`), its
// legend of `legendLines` lines under it, the drawings on the right, all within `band` (page
// pixels) and none over another.
struct ReportBand {
  QRectF scan;
  QRectF legend;
  std::vector<PlacedDrawing> drawings;
  double bottom = 0;  // of everything, the sheet's scale line included
};
ReportBand LayOutBand(const ReviewDocument& document, const QRectF& band, QSizeF scanSize,
                      int legendLines, double pagePxPerMm);
// The legend in `box`: a line per entry, its mark and its text.
void PaintLegend(QPainter& painter, std::span<const shots::LegendEntry> entries,
                 const QRectF& box, double pagePxPerMm);

// The document's drawings: one for a single face or an unscored picture (the face only when
// its shots are scored from its aim), one per bull of a sheet (the sighters' labelled so).
std::vector<TargetDrawing> DrawingsOf(const ReviewDocument& document);

}  // namespace holescan::review
