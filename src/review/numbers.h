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
  // On a sheet of several bulls: the shot's bull ("3", "11 (sighter)") or "off" (off target).
  QString bull;
  // With more shots than one series: the shot's series ("2"), and on the series' last row its
  // subtotal ("95 (98.3)", with a face).
  QString series, subtotal;
};
// One row per shot, in the document's order, numbered with the shots' own numbers; score,
// decimal and subtotal empty without a face, bull empty without a sheet.
std::vector<ShotRow> ShotRows(const ReviewDocument& document);

// One series of the settings' N shots, in the table's order: rows first..last (from 0,
// inclusive) and the sum of their scores.
struct SeriesTotal {
  std::size_t first = 0, last = 0;
  int score = 0, tenths = 0;
};
// The series when there are more shots than one holds (none otherwise, or without a series
// length); the last may be short.
std::vector<SeriesTotal> SeriesTotals(const ReviewDocument& document);
// The series (from 0) of the row, under SeriesTotals.
std::size_t SeriesOfRow(const ReviewDocument& document, std::size_t row);

// The shot table's columns, declared once: the window's table, the report and the tests walk
// this list. `text` is the row's field the column shows; a numeric column is right-aligned.
// A sheet of several bulls has one column more, its bull, right after the number.
struct ShotColumn {
  const char* title;  // untranslated; ShotColumns() gives it translated
  QString ShotRow::*text;
  bool numeric;
  double width;             // the printed report's share of a table's width
  bool scoredOnly = false;  // printed only when some shot is scored
  bool sheetOnly = false;   // shown only for a sheet of several bulls
};
std::span<const ShotColumn> ShotTableColumns(bool sheet = false);
// The columns the printed report shows for these rows: those some shot fills (no score columns
// when nothing is scored, no series columns for a single series); with no shot, the headings
// of all but the scored ones.
std::vector<ShotColumn> ReportColumns(std::span<const ShotRow> rows, bool sheet);
// The document's result is a sheet of several bulls.
bool IsSheet(const ReviewDocument& document);
// Where a column sits in a single face's list, for code that needs one by name (on a sheet,
// the bull's column comes second and the others follow it).
enum ShotColumnIndex : int {
  kNumberColumn,
  kXColumn,
  kYColumn,
  kScoreColumn,
  kDecimalColumn,
  kSeriesColumn,
  kSubtotalColumn,
  kEditedColumn
};
// The table's column titles.
QStringList ShotColumns(bool sheet = false);

struct StatLine {
  QString label, value;
};
// Total (with a face), on a sheet one line per bull (shots, score and decimal, sighters
// marked, the expected count where the bull's differs), series subtotals (with a face and
// more shots than one series), the point of aim, and the group's statistics, with angles
// when the settings give a distance.
std::vector<StatLine> StatLines(const ReviewDocument& document);

// A resolution as set: "300 ppi", "72.5 ppi" (a stored 299.9994 is 300).
QString ResolutionText(double dpi);

// The picture list's entry: "target.png: 10 shots, 95 (98.3)", or its problem.
QString ListEntry(const ReviewDocument& document);

}  // namespace holescan::review
