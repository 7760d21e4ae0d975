// shots_file.h - PICTURE.shots.json: the reviewed shots of a picture and the settings they
// were found and scored with, saved beside the picture.
//
//   {
//     "format": "holescan-review shots",
//     "version": 1,
//     "picture": "target.png",
//     "settings": {"calibre_mm": 4.5, "dpi": 300, "holes": "auto", "face": "", "distance": "",
//                  "dpi_source": "file"},
//     "shots": [{"x": 812.5, "y": 640.25, "edited": false, "look": "dark", "contrast": 61.5},
//               ...],
//     "report": {"shooter": "A. Shooter", "event": "club evening", "date": "2026-12-09",
//                "note": "new pellets"}
//
// report may be absent (all empty).
// dpi_source ("file" or "option"; "user" reads as "option"), series, expected_shots, look and
// contrast may be absent ("option", 10, 0, "dark", 0).
//   }
//
// A calibrated JSON document (the command line's --json of one picture, the review's export)
// reads as a saved file too: the settings from its "analysis", the shots with their pixels,
// look, contrast and "edited" (absent: found by the analysis).
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
inline constexpr char kShotsFormat[] = "holescan-review shots";

struct ShotsFile {
  ReviewSettings settings;
  std::vector<ReviewShot> shots;
  ReportInfo info;
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
