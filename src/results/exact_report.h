// exact_report.h - one picture's exact analysis as it is written: the JSON document and the
// summary for people.
#pragma once

#include <string>

#include "holes/hole_array.h"
#include "io/json_writer.h"
#include "io/one_line.h"
#include "pixel/picture.h"

namespace holescan::results {

// What the JSON of one analysed picture holds.
struct AnalysisRecord {
  const std::string& path;
  int width;
  int height;
  const Selection& selection;
  const HoleArray& holes;  // every entry after the finishing pass
  const HoleArray& shots;  // the non-empty entries are written
};

// The JSON object of one analysed picture: the picture, the scan rectangle, every hole and
// the shot holes, written as it goes (a picture of millions of holes costs no memory).
void WriteAnalysisJson(JsonWriter& json, const AnalysisRecord& record);

// The shortest decimal that reads back as `value`, with the given decimal separator.
std::string FormatFloat(float value, char decimalSeparator);

// The human summary: the picture, its size and number of shot holes, then one line per
// shot hole with its centre and point count.
std::string SummaryText(const AnalysisRecord& record, char decimalSeparator);

}  // namespace holescan::results
