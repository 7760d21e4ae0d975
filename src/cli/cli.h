// cli.h - holescan-cli: the exact analysis of each picture in turn, without a window.
//
// For every picture: the file is read; the darkness map and the result picture are
// allocated for it; the selection is the whole picture or the --select rectangle, exactly
// as the window's mouse would set it; the analysis runs with its captions streamed to
// --messages and its report to --report; then the other outputs are written. Errors are one
// line on standard error: "holescan-cli: PICTURE: reason".
#pragma once

#include <string>
#include <vector>

namespace holescan::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitDrawFailed = 1;  // also: an output could not be written
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLoadFailed = 3;

// Runs the command on the arguments after the program name; returns the exit status.
int Run(const std::vector<std::string>& arguments);

}  // namespace holescan::cli
