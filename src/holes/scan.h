// scan.h - the exact analysis of one picture ("Draw") as one call on its inputs.
//
//   Draw(analysis, target, selection, buffers, observer)
//     empties the progress (0), resets the analysis, then ScanSelection, then marks the
//     centre of every shot hole white in the result picture.
//   ScanSelection: ScanRows, the finishing passes over the holes and the shot holes, and the
//     progress set full.
//   ScanRows: for every row of the selection top to bottom and every pixel left to right
//     writes its darkness byte into the darkness map, its grey into the result picture, and
//     labels it when it is dark; the progress grows by one row's share after every row. Every
//     other pixel of the result picture becomes kResultBackground before the first row (the
//     pixels of the selection only when the scan stops early, for the rows it did not reach),
//     so that the picture is cleared and written once.
//
// Inputs: the target picture (read only), the selection (inclusive bounds, as the mouse sets
// it; column W and row H lie outside the picture and weigh 0), and the buffers written: the
// darkness map of (W + 1) x (H + 1) bytes and the result picture of W x H pixels, or no
// result picture at all when nobody will look at it (the analysis is the same without it).
// The analysis keeps the holes, the shot holes and the report until the next Draw.
//
// What a window would show reaches the caller through the ScanObserver, whose operations
// all do nothing by default: captions, progress, a repaint hint after every row, and the
// report at the moment it is complete (where the window's clipboard takes it). The observer
// is called from the scanning thread; a call that throws stops the scan there.
//
// Errors: a selection outside the buffers, or buffers whose size does not match the picture,
// stop the scan with std::out_of_range or std::runtime_error after the whole result picture
// is cleared; running out of memory throws std::bad_alloc. What was done so far stays.
#pragma once

#include <string>
#include <string_view>

#include "holes/hole_analysis.h"
#include "holes/scan_observer.h"
#include "pixel/picture.h"

namespace holescan {

inline constexpr std::uint32_t kResultBackground = Rgb(0, 0, 64);

// What a scan writes besides the analysis: sized for the picture by the caller. The result
// picture's pixels may be anything before the scan: it writes every one of them.
struct ScanBuffers {
  ScanBuffers(DarkMap& darkMap, Picture& resultPicture) : dark(darkMap), result(&resultPicture) {}
  // No result picture.
  explicit ScanBuffers(DarkMap& darkMap) : dark(darkMap) {}

  DarkMap& dark;              // bounds 0..W, 0..H
  Picture* result = nullptr;  // W x H, or none
};

// The outcome of a Draw: views into the analysis, valid until its next reset.
struct ScanResult {
  const HoleArray& holes;     // every hole after the finishing pass
  const HoleArray& shots;     // the shot holes (Peaks); empty entries are skipped by readers
  const std::string& report;  // the vote report; empty when the observer took it in parts
};

ScanResult Draw(HoleAnalysis& analysis, const PictureView& target, const Selection& selection,
                const ScanBuffers& buffers, ScanObserver& observer);
void ScanSelection(HoleAnalysis& analysis, const PictureView& target, const Selection& selection,
                   const ScanBuffers& buffers, ScanObserver& observer);
void ScanRows(HoleAnalysis& analysis, const PictureView& target, const Selection& selection,
              const ScanBuffers& buffers, ScanObserver& observer);

}  // namespace holescan
