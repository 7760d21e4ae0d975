// run.h - holescan-eval: the calibrated analysis over pictures with truth files, measured.
//
//   holescan-eval [options] INPUT...
//
// An INPUT is a folder (every NAME.json in it that is a truth file, by name), a truth file,
// or a picture (its truth is NAME.json beside it). A truth's picture is the file its "image"
// names, else NAME.png, .bmp, .jpg, .jpeg, .tif, .tiff, .webp, .gif, .ppm or .pgm beside it.
// Each picture is analysed with the calibre (--calibre, 4.5 mm by default) at the resolution
// --dpi gives, else the one at which a hole is the truth's D pixels across
// (dpi = D * 25.4 / calibre), and scored as matching.h says. Standard output gets the table
// of report.h, and with --by-look the tables by hole look and by picture look.
//
// Exit status: 0 every picture measured, 1 some picture could not be loaded or analysed (it
// counts with no detections, every hole missed), 2 a usage error or a truth file that cannot
// be read.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "eval/report.h"
#include "pixel/picture.h"
#include "shots/shots.h"

namespace holescan::eval {

inline constexpr int kExitMeasured = 0;
inline constexpr int kExitPictureFailed = 1;
inline constexpr int kExitUsage = 2;

// The analysis being measured: the shots it finds on a whole picture.
using Detector = std::function<std::vector<Detection>(const PictureView& picture,
                                                      const shots::ShotSettings& settings)>;

// The analysis measured, the one place that names it (the calibrated entry once there is
// one).
std::vector<Detection> RunAnalysis(const PictureView& picture, const shots::ShotSettings& settings);

// A truth file with the picture it belongs to.
struct Case {
  std::string truthPath;
  std::string picturePath;  // "" when no picture was found
  Truth truth;
};

struct Collected {
  std::vector<Case> cases;
  std::vector<std::string> problems;  // "PATH: reason", one per input that gave no case
};

// The cases of the inputs, in the inputs' order and by name within a folder.
Collected CollectCases(const std::vector<std::string>& inputs);

struct RunSettings {
  double calibreMm = 4.5;
  double dpi = 0;  // 0: from each truth's D
  shots::HoleLook look = shots::HoleLook::Auto;
  double tolerance = 0.5;
  unsigned jobs = 1;       // pictures analysed at once
  bool whyMissed = false;  // trace each missed hole through the analysis's stages (runs it twice)
};

// Loads, analyses and scores every case, `jobs` at a time; the outcomes in the cases' order.
std::vector<PictureOutcome> RunCases(const std::vector<Case>& cases, const RunSettings& settings,
                                     const Detector& detector = RunAnalysis);

// The program: parses the arguments, runs, prints; returns the exit status.
int EvalMain(int argc, char** argv);

}  // namespace holescan::eval
