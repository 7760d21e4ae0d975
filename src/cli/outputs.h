// outputs.h - how holescan-cli puts an output in its file: bytes, or a picture as PNG or BMP.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "io/one_line.h"
#include "io/output_file.h"
#include "pixel/picture.h"
#include "results/exact_report.h"

namespace holescan::cli {

// Writes `bytes` to `path` ("-": standard output); the reason on failure.
std::optional<std::string> WriteBytes(const std::string& path, std::string_view bytes);

// Writes the picture as PNG or BMP to `path` ("-": standard output); the reason on failure.
std::optional<std::string> WritePicture(const Picture& picture, PictureFormat format,
                                        const std::string& path);

using holescan::OneLine;
using results::AnalysisRecord;
using results::FormatFloat;
using results::SummaryText;
using results::WriteAnalysisJson;

}  // namespace holescan::cli
