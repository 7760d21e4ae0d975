// report.h - an evaluation's figures as a table for people and as JSON for scripts.
//
// The table has the columns of the scoring script (image, D, truth, det, TP, FP, FN, recall,
// prec, err_px, max_px, err_D, max_D), one row a picture and a TOTAL row; "n/a" where a ratio
// has no denominator. err_D is the centre error in calibres (D pixels is one calibre).
#pragma once

#include <map>
#include <span>
#include <string>
#include <vector>

#include "eval/matching.h"
#include "eval/truth.h"
#include "shots/shots.h"

namespace holescan::eval {

// One picture's outcome: its truth, what was detected, and how they match.
struct PictureOutcome {
  std::string truthPath;
  std::string picturePath;
  Truth truth;
  double dpi = 0;     // the resolution the analysis was given
  std::string error;  // why the picture could not be analysed (then no detections), or ""
  std::vector<Detection> detections;
  PictureScore score;
  // With --why-missed: where the analysis lost each missed hole, in the order of score.missed.
  std::vector<shots::PlaceTrace> missedAt;
};

struct ReportSettings {
  double calibreMm = 4.5;
  double dpi = 0;  // 0: from each truth's D
  std::string look = "auto";
  double tolerance = 0.5;
};

// Every picture's row and the TOTAL row.
std::string FormatTable(std::span<const PictureOutcome> outcomes);
// Where the missed holes were lost, stage by stage (shots::LostAt), a row a picture with missed
// holes and a TOTAL row; "best_p" is the highest probability the decision's second look gave a
// place within reach of a hole it judged too unlikely.
std::string FormatMissedTable(std::span<const PictureOutcome> outcomes);
// A table of looks: truth, TP, FP, FN, recall, precision, mean error (px and D); `withFalse`
// false prints "-" for FP and precision (hole looks: a false detection has no look).
std::string FormatLookTable(const std::string& title, const std::map<std::string, Score>& looks,
                            bool withFalse);

// The whole evaluation as one JSON document: settings, pictures (with their detections and
// the hole each matched), total, and with `byLook` the scores by hole look and by picture look.
std::string ReportJson(std::span<const PictureOutcome> outcomes, const ReportSettings& settings,
                       bool byLook);

// The totals over all pictures.
Score Total(std::span<const PictureOutcome> outcomes);

}  // namespace holescan::eval
