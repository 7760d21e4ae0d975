// outputs.h - what holescan-cli writes: output files, the JSON document, the result picture
// and the summary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "holes/hole_array.h"
#include "io/json_writer.h"
#include "io/one_line.h"
#include "io/output_file.h"
#include "pixel/picture.h"

namespace holescan::cli {

// Writes `bytes` to `path` ("-": standard output); the reason on failure.
std::optional<std::string> WriteBytes(const std::string& path, std::string_view bytes);

// Writes the picture as PNG or BMP to `path` ("-": standard output); the reason on failure.
std::optional<std::string> WritePicture(const Picture& picture, PictureFormat format,
                                        const std::string& path);

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

using holescan::OneLine;

// The shortest decimal that reads back as `value`, with the given decimal separator.
std::string FormatFloat(float value, char decimalSeparator);

// The human summary: the picture, its size and number of shot holes, then one line per
// shot hole with its centre and point count.
std::string SummaryText(const AnalysisRecord& record, char decimalSeparator);

}  // namespace holescan::cli
