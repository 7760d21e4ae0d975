// calibrated_report.h - one picture's calibrated analysis and its scoring, as the front ends
// write them: the JSON document, and the summary for people.
//
// JSON (keys in this order; pixels as the shots give them, millimetres right and up from the
// point of aim, figures rounded to a thousandth, decimal scores to a tenth):
//   picture    {path, width, height}
//   selection  {left, top, right, bottom}: the rectangle analysed, bounds inclusive
//   analysis   {mode "calibrated", calibre_mm, dpi, dpi_source "file" | "option",
//               holes "auto" | "dark" | "light", face (name or null), gauge_mm,
//               distance {value, unit, metres} or null, levels {...}}
//   aim        {x, y, source "face" | "given" | "group" | "group-black-not-found"}
//   shots      [{x, y, diameter_px, look "dark" | "light", contrast, x_mm, y_mm,
//               with a face: score, decimal, inner_ten;
//               number: the review's own number of the shot (the same through deletes, so
//               they may skip) where it is not the shot's place from 1, which numbers a
//               shot without it; edited: true for a shot set by hand;
//               placed: true for a shot not seen, placed in a group's torn area for the count}]
//   total      {score, decimal, inner_tens}: with a face only
//   group      {count, centre_x_mm, centre_y_mm, extreme_spread_mm, extreme_spread_edge_mm,
//               mean_radius_mm, sd_x_mm, sd_y_mm, cep50_mm, max_radius_mm, and with a
//               distance the same sizes as _moa and _mrad}
//   expected, found: the shots fired as given, and the number found; only when given
//   warnings   ["no point of aim: ...", ...]: only when there are some
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "calibrated/calibrated.h"
#include "io/json_writer.h"

namespace holescan::results {

// One picture's report: its path as given and its calibrated result.
struct CalibratedRecord {
  std::string_view path;
  const calibrated::CalibratedResult* result = nullptr;
  // The shots' x, y and contrast to the last bit rather than to a thousandth: a file that is
  // read back (the review's saved shots) gives the same shots.
  bool exactShots = false;
};

// `first`, when given, writes members of its own at the start of the object (the review's
// saved-shots file puts its format and settings there).
void WriteCalibratedJson(JsonWriter& json, const CalibratedRecord& record,
                         const std::function<void(JsonWriter&)>& first = {});

// The summary, numbers with `decimalSeparator` and never "-0.00":
//   PATH: N shots, x right and y up in mm from the point of aim   ("no shot holes found")
//     point of aim: the centre of the face's black, at x 602.4 px, y 611.8 px on the picture
//     ISSF 10 m air rifle, calibre 4.5 mm, 300 ppi (from the file), 1200 x 1200 pixels
//   then a table of the shots (number, x and y in mm, score and decimal with a face), the
//   total with a face, and the group's statistics in mm (and MOA and mrad with a distance).
// With the shots fired given and another count found, a line says so ("expected 10 shots,
// found 9: check the count on the target"); shots placed for the count are marked and said.
// Rows that would say nothing are left out: the group's centre when it is the point of aim,
// its sizes for fewer than two shots, the point of aim without shots when it is their centre.
std::string CalibratedSummary(const CalibratedRecord& record, char decimalSeparator);

}  // namespace holescan::results
