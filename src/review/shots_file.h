// shots_file.h - PICTURE.shots.json: the reviewed shots of a picture and the settings they
// were found and scored with, saved beside the picture.
//
// The file is the calibrated JSON document (results/calibrated_report.h, what the command
// line's --json and the review's export write) with the review's own members first:
//   {
//     "format": "holescan-review shots",
//     "version": 2,
//     "settings": {"calibre_mm": 4.5, "dpi": 300, "holes": "auto", "face": "", "distance": "",
//                  "dpi_source": "file", "series": 10, "expected_shots": 0},
//     "report": {"shooter": "A. Shooter", "event": "club evening", "date": "2026-12-09",
//                "note": "new pellets"},
//     "picture": {"path": "target.png", ...}, "selection": ..., "analysis": ..., "aim": ...,
//     "shots": [{"x": 812.5, "y": 640.25, "look": "dark", "contrast": 61.5, ..., "number": 4,
//                "edited": true for a shot set by hand, "placed": true for one placed for the
//                count}],
//     ...
//   }
//
// Three layouts read: this one; the calibrated JSON alone (the settings from its "analysis",
// series and expected shots as by default, no report); and version 1, which files saved
// before hold: the same "format", "settings" and "report", "picture" the file name, and
// every shot {"x", "y", "edited", "look", "contrast", "placed"}. In version 1, dpi_source
// ("file" or "option"; "user" reads as "option"), series, expected_shots, look, contrast,
// placed and report may be absent ("option", 10, 0, "dark", 0, false, all empty). A shot's
// number (1 to kMaxShotNumber, each once) may be absent in every layout, and is where it is
// the shot's place in the list from 1: such a shot has its place's number.
//
// A sheet of several bulls has its "bulls" [{"bull": K, "aim": {"x", "y"}, "sighter"}, ...]
// (numbered 1, 2, ... in order, at most kMaxSavedBulls, each aim on the picture): they come
// back with the shots, which are scored on them again.
//
// x and y are picture pixels, pixel (i, j)'s centre at (i, j). The file is written whole or
// not at all. Reading treats it as hostile: at most kMaxShotsFileBytes and kMaxSavedShots, every
// member of the right type, every value in range, every shot on the picture; anything else
// is "cannot read" with a one-line reason, and the picture is analysed afresh.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "review/document.h"

namespace holescan::review {

inline constexpr std::size_t kMaxShotsFileBytes = 16u << 20;
inline constexpr std::size_t kMaxSavedShots = 100000;
inline constexpr std::size_t kMaxSavedBulls = 100;
inline constexpr int kMaxShotNumber = 1000000;
inline constexpr char kShotsFormat[] = "holescan-review shots";

struct ShotsFile {
  ReviewSettings settings;
  std::vector<ReviewShot> shots;
  ReportInfo info;
  // Writing: the analysis the shots were measured in (the document's result); without it,
  // the shots are measured under the settings for the file.
  const calibrated::CalibratedResult* result = nullptr;
  // Reading: a sheet's bulls (number, aim, sighter); writing takes them from `result`.
  std::vector<calibrated::Bull> bulls{};
};

// PICTURE.shots.json for the picture's path.
std::string ShotsFilePath(const std::string& picturePath);

// Writes the file; "cannot write PATH: reason" on failure.
std::optional<std::string> WriteShotsFile(const std::string& path, const std::string& pictureName,
                                          const ShotsFile& file);

struct ShotsFileRead {
  bool exists = false;  // a file is there (readable or not)
  std::optional<ShotsFile> file;
  std::string reason;  // "cannot read PATH: reason" when it exists but cannot be used
};

// Reads the file for a picture of width x height pixels.
ShotsFileRead ReadShotsFile(const std::string& path, int width, int height);

}  // namespace holescan::review
