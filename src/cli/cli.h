// cli.h - holescan-cli: the window's logic (Form1) run headless on each picture in turn.
//
// For every picture: a new Form1 on a HeadlessToolkit; TextFilename = the picture and
// CmdLoad_Click; the --select rectangle by two mouse presses, the right one first at
// (R, B), then the left one at (L, T), which sets exactly SelLeft = L, SelTop = T,
// SelRight = R, SelBottom = B whenever 0 <= L < R <= W and 0 <= T < B <= H; CmdDraw_Click
// with the captions streamed to --messages; then the outputs. Errors are one line on
// standard error: "holescan-cli: PICTURE: reason".
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "main_window/form1.h"

namespace holescan::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitDrawFailed = 1;  // also: an output could not be written
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLoadFailed = 3;

// Sets the scan rectangle as a user would, with a right press at (R, B), then a left press at
// (L, T). Exact for a rectangle with 0 <= L < R <= W and 0 <= T < B <= H.
void SelectByMouse(Form1& form, const ScanRectangle& rectangle);

// Runs the command on the arguments after the program name; returns the exit status.
int Run(const std::vector<std::string>& arguments);

}  // namespace holescan::cli
