// csv.h - shots as the point table that analysis tools for shot groups read.
//
// One header, then one row per shot; several pictures go into one file one after the other:
//   file,group,shot,point.x,point.y,aim.x,aim.y,distance,distance.unit,point.unit,caliber,
//   target,score,score.decimal,inner.ten,bull
//   file           the picture's path as given, quoted as CSV quotes (RFC 4180) when needed
//   group          the picture's number in the command, from 1
//   shot           the shot's number in the picture, from 1 (the review's own, which a delete
//                  leaves as they were, so they may skip)
//   point.x/.y     the shot in mm from the picture's top-left corner, y downwards (the corner
//   aim.x/.y       of pixel (0, 0), half a pixel left of and above its centre); the aim alike
//   distance       the shooting distance in its unit, and distance.unit "m", "yd" or "ft";
//                  both empty without a distance
//   point.unit     "mm"
//   caliber        the calibre in mm
//   target         the face's name as R shotGroups knows it (ISSF_10mAR, ...; faces.cpp);
//                  empty without a face
//   score, score.decimal, inner.ten   with a face: 0..10, 0.0..10.9, TRUE/FALSE (logical
//                  values as R reads them); empty without a face
//   bull           on a sheet of several bulls, the shot's bull (1-based, reading order; 0 off
//                  target), whose centre is then the row's aim; empty for a face alone
//   edited         with the edited column only: TRUE for a shot set by hand (the review's)
//   placed         with the placed column only: TRUE for a shot not seen, placed in a group's
//                  torn area to make the count given (the command line's with --shots)
//   from.aim.x/.y  with the aim columns only (the review's): the shot in mm from the point of
//                  aim, x right and y up, as the review's table shows it; the point table's
//                  columns above stay as they are
//   series         with series only (the review's): the shot's series, from 1, counting
//                  seriesShots shots in their order
// Numbers are written with a point and no thousands separator, whatever the locale.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "calibrated/calibrated.h"

namespace holescan::results {

inline constexpr std::string_view kCsvHeader =
    "file,group,shot,point.x,point.y,aim.x,aim.y,distance,distance.unit,point.unit,caliber,"
    "target,score,score.decimal,inner.ten,bull";

// The field as CSV writes it: quoted, with quotes doubled, when it holds a comma, a quote,
// a line break or leading or trailing blanks; as it is otherwise.
std::string CsvField(std::string_view text);

// The columns after the point table's, each only when asked for.
struct CsvColumns {
  bool edited = false;   // edited
  bool fromAim = false;  // from.aim.x, from.aim.y
  int seriesShots = 0;   // series, when positive
  bool placed = false;   // placed (after edited)
};

// Streams rows to `out`; the header goes out with the first picture, or on Finish when
// there was none. Whether writing failed is the stream's state, for the caller to check.
class CsvWriter {
 public:
  explicit CsvWriter(std::ostream& out, bool editedColumn = false, bool placedColumn = false)
      : CsvWriter(out, CsvColumns{editedColumn, false, 0, placedColumn}) {}
  CsvWriter(std::ostream& out, CsvColumns columns) : out_(out), columns_(columns) {}

  // The rows of one picture (none for a picture without shots).
  void Add(std::string_view file, int group, const calibrated::CalibratedResult& result);
  // Writes the header if nothing was written yet, and flushes.
  void Finish();
  // Rows only: the header is written elsewhere (a file holding several pictures' rows).
  void SkipHeader() { headerWritten_ = true; }

 private:
  void Header();

  std::ostream& out_;
  CsvColumns columns_;
  bool headerWritten_ = false;
};

}  // namespace holescan::results
