// scan_observer.h - what an analysis tells the front end around it while it runs.
//
// Every operation does nothing by default, so a caller implements only what it shows and a
// scan with a bare ScanObserver pays one empty virtual call per caption and per row.
#pragma once

#include <string_view>

namespace holescan {

class ScanObserver {
 public:
  virtual ~ScanObserver() = default;

  // A one-line message that replaces the whole message line.
  virtual void SetCaption(std::string_view) {}
  // Progress bar fill, 0 (empty) to 1 (full).
  virtual void SetProgress(float) {}
  // The result picture was cleared to its background.
  virtual void ResultCleared() {}
  // A window shows the result picture while the rows are scanned: it is then cleared whole
  // before the first row, as it always was, instead of only around the selection (the rows
  // of the selection are written anyway, which is all that a picture shown at the end needs).
  virtual bool ShowsResultWhileScanning() const { return false; }
  // Row y of the result picture is done; a window shows it (and the progress) before long.
  virtual void RowScanned(int) {}
  // Called now and then while the finishing passes run (every hole, every row of a vote
  // map), so that a window can keep painting through a long one.
  virtual void Working() {}

  // The vote report. An observer that takes it in parts gets each hole's text as soon as it
  // is written (the analysis then keeps none of it, so a report of any size costs no
  // memory); ReportReady then comes with what the analysis kept: the whole report, or
  // nothing for an observer that took the parts. ReportReady comes at the moment the report
  // is complete, before the shot holes are measured.
  virtual bool TakesReportInParts() const { return false; }
  virtual void ReportPart(std::string_view) {}
  virtual void ReportReady(std::string_view) {}
};

}  // namespace holescan
