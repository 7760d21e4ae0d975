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
//               with a face: score, decimal, inner_ten; edited: true for a shot set by hand}]
//   total      {score, decimal, inner_tens}: with a face only
//   group      {count, centre_x_mm, centre_y_mm, extreme_spread_mm, extreme_spread_edge_mm,
//               mean_radius_mm, sd_x_mm, sd_y_mm, cep50_mm, max_radius_mm, and with a
//               distance the same sizes as _moa and _mrad}
//   warnings   ["no point of aim: ...", ...]: only when there are some
#pragma once

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
};

void WriteCalibratedJson(JsonWriter& json, const CalibratedRecord& record);

// The summary: "PATH: W x H pixels, N shot holes", then a table of the shots (number, x and
// y in mm, score with a face) and the total and group statistics, aligned; numbers with
// `decimalSeparator`.
std::string CalibratedSummary(const CalibratedRecord& record, char decimalSeparator);

}  // namespace holescan::results
