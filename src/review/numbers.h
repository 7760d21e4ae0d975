// numbers.h - the shot table, the statistics panel and the picture list as text, from a
// document's scored sheet: what the window shows and the printed report repeats.
#pragma once

#include <QString>
#include <QStringList>
#include <span>
#include <vector>

#include "review/document.h"

namespace holescan::review {

struct ShotRow {
  QString number, x, y, score, decimal, edited;  // x, y in mm from the point of aim
};
// One row per shot, in the document's order; score and decimal empty without a face.
std::vector<ShotRow> ShotRows(const ReviewDocument& document);

// The shot table's columns, declared once: the window's table, the report and the tests walk
// this list. `text` is the row's field the column shows; a numeric column is right-aligned.
struct ShotColumn {
  const char* title;  // untranslated; ShotColumns() gives it translated
  QString ShotRow::*text;
  bool numeric;
};
std::span<const ShotColumn> ShotTableColumns();
// Where a column sits in that list, for code that needs one by name.
enum ShotColumnIndex : int {
  kNumberColumn,
  kXColumn,
  kYColumn,
  kScoreColumn,
  kDecimalColumn,
  kEditedColumn
};
// The table's column titles.
QStringList ShotColumns();

struct StatLine {
  QString label, value;
};
// Total (with a face), series subtotals (with a face and more shots than one series), the
// point of aim, and the group's statistics, with angles when the
// settings give a distance.
std::vector<StatLine> StatLines(const ReviewDocument& document);

// A resolution as set: "300 ppi", "72.5 ppi" (a stored 299.9994 is 300).
QString ResolutionText(double dpi);

// The picture list's entry: "target.png: 10 shots, 95 (98.3)", or its problem.
QString ListEntry(const ReviewDocument& document);

}  // namespace holescan::review
