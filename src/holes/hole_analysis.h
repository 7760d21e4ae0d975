// hole_analysis.h - the working state of one analysis and the operations on it.
//
// A "Draw" runs, in this order:
//   ResetHoleArrays(W, H)
//   LabelDarkPixel(x, y) for every dark pixel of the scan rectangle, rows top to bottom,
//     each row left to right (the scan driver calls it)
//   FinishHoles()      compact, measure, reject, compact, vote every hole, clipboard report
//   FinishPeaks()      compact and measure the shot holes
//   MarkPeakCenters()  a white point at the centre of every shot hole
//
// First pass (labelling). Dark pixels are grouped into 4-connected holes while they arrive,
// looking only at the left and upper neighbour. A pixel touching two different holes merges
// the left neighbour's hole into the upper neighbour's hole, whatever their numbers. Hole
// numbers are handed out 1, 2, 3, ... and never reused within a scan; merged-away holes stay
// as empty entries until compaction. Labels are 32 bits wide: any picture within the
// coordinate limit fits. The label map keeps only the two most recent rows (all the
// labelling reads), and a merge joins label sets with a union-find instead of relabelling
// pixels, so every merge costs constant amortised time.
//
// Second pass (peaks). Every cell of a hole's vote map that passes IsPeak is grouped with
// its earlier neighbours (left, upper left, upper right, up) into the records of `Peaks`.
// When left and up carry different labels, left's record is moved into up's; the peak
// label map is deliberately not rewritten, so later cells may refill the emptied record.
//
// Everything painted goes into the result picture, when there is one; captions and the
// report go to the ScanObserver. The analysis keeps pointers to the darkness map, the result
// picture and the observer it is bound to, which must outlive it or its next Bind.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "holes/hole_array.h"
#include "holes/scan_observer.h"
#include "holes/vote_map.h"
#include "pixel/picture.h"

namespace holescan {

inline constexpr int kMinHolePoints = 5;  // holes of 4 points or fewer are too small
inline constexpr int kMaxHoleSpan = 150;  // MaxX - MinX and MaxY - MinY at most this

inline constexpr std::uint32_t kNewHoleColour = Rgb(0, 255, 0);
inline constexpr std::uint32_t kJoinColour = Rgb(255, 0, 0);
inline constexpr std::uint32_t kMergeColour = Rgb(255, 255, 255);
inline constexpr std::uint32_t kCentreColour = Rgb(255, 255, 255);

class HoleAnalysis {
 public:
  HoleAnalysis();
  ~HoleAnalysis() { SetBudget(nullptr); }
  HoleAnalysis(const DarkMap& darkMap, Picture& result, ScanObserver& observer);
  HoleAnalysis(const DarkMap& darkMap, Picture* result, ScanObserver& observer);

  // The buffers and observer of the next operations; a null result paints nothing.
  void Bind(const DarkMap& darkMap, Picture& result, ScanObserver& observer) {
    Bind(darkMap, &result, observer);
  }
  void Bind(const DarkMap& darkMap, Picture* result, ScanObserver& observer);
  // The budget the hole records, the shot holes and a report kept whole are taken from;
  // nullptr: no limit. Must outlive the analysis or the next call.
  void SetBudget(MemoryBudget* budget);

  // Empties Holes and Peaks to their placeholder and clears both label maps, sized for a
  // picture of maxX x maxY (bounds 0..maxX, 0..maxY).
  void ResetHoleArrays(int maxX, int maxY);

  // First pass: adds the dark pixel (x, y) to a hole. Calls must come in scan order, at
  // most once per pixel; a pixel already labelled is left alone.
  void LabelDarkPixel(int x, int y);
  // The current hole number of (x, y) in the row being labelled or the one above it; 0 for
  // an unlabelled pixel or any older row.
  Label HoleMapAt(int x, int y) const;

  // Finishing pass over Holes, then over Peaks.
  void FinishHoles();
  void FinishPeaks();
  void MarkPeakCenters();

  // The steps of the finishing pass, public for tests.
  void CompactHoles() { holes_.Compact(); }
  void MeasureHoles() { holes_.Measure(false); }
  void CompactPeaks() { peaks_.Compact(); }
  void MeasurePeaks() { peaks_.Measure(true); }
  void RejectHoles();
  bool HoleRejected(Label index);
  void VoteHole(Label index);
  void GroupPeak(int x, int y);
  Label PeakMapAt(int x, int y) const;

  HoleArray& Holes() { return holes_; }
  const HoleArray& Holes() const { return holes_; }
  HoleArray& Peaks() { return peaks_; }
  const HoleArray& Peaks() const { return peaks_; }
  const VoteMap& Votes() const { return voteMap_; }
  const std::string& ReportText() const { return reportText_; }

  // The separator written before the half of a vote ('.' unless the user's settings say
  // otherwise).
  void SetDecimalSeparator(char separator) { decimalSeparator_ = separator; }

  // Appends a point to a record with the darkness byte now under it.
  void AddPoint(HoleArray& array, Label index, int x, int y) {
    array.AddPoint(index, x, y, darkMap_->At(x, y));
  }

 private:
  struct LabelRow;
  void ChargeReport();
  Label FindHole(Label label);
  LabelRow* HoleMapRow(int y);
  const LabelRow* HoleMapRow(int y) const;
  void SeekHoleMapRow(int y);
  void Paint(int x, int y, std::uint32_t colour) {
    if (result_ != nullptr) result_->Set(x, y, colour);
  }
  static std::uint32_t PeakKey(int x, int y) {
    return (static_cast<std::uint32_t>(y) << 16) | static_cast<std::uint32_t>(x);
  }

  const DarkMap* darkMap_;
  Picture* result_;  // null: nobody looks at the result picture
  ScanObserver* observer_;
  char decimalSeparator_ = '.';
  MemoryBudget* budget_ = nullptr;
  std::int64_t reportCharged_ = 0;

  HoleArray holes_;
  HoleArray peaks_;
  VoteMap voteMap_;
  std::string reportText_;

  // One row of HoleMap. Only the columns begin..end-1 may hold labels, so that clearing a row
  // costs its labelled span, not the picture's width.
  struct LabelRow {
    std::vector<Label> labels;
    int begin = 0;
    int end = 0;

    void Set(int x, Label label) {
      labels[static_cast<std::size_t>(x)] = label;
      begin = end <= begin ? x : std::min(begin, x);
      end = std::max(end, x + 1);
    }
    void Clear();
  };

  // HoleMap: the rows currentRow_ and currentRow_ - 1, as labels to resolve with FindHole.
  int holeMapColumns_ = 1;
  int currentRow_ = -2;
  LabelRow currentLabels_;
  LabelRow previousLabels_;
  std::vector<Label> mergedInto_;  // union-find parent of every hole number (0 maps to 0)

  // PeakMap: labels only where peak cells are.
  std::unordered_map<std::uint32_t, Label> peakMap_;
};

}  // namespace holescan
