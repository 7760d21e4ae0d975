// result_picture.h - the annotated picture of one calibrated analysis, as every front end
// writes it: the scan with every shot outlined and numbered, the point of aim and the group's
// centre (on a sheet of several bulls, each bull's), and a legend, in the review window's
// colours (shots/legend.h).
#pragma once

#include <optional>
#include <vector>

#include "pixel/picture.h"
#include "results/calibrated_report.h"
#include "shots/legend.h"

namespace holescan::results {

// The legend's entries for the record: the shots as found (and edited, when any is), the
// point of aim unless it is the group's centre, and the group's centre when there are shots.
std::vector<shots::LegendEntry> ResultLegend(const CalibratedRecord& record);

// The centre of a sheet's bull's shots in picture pixels (their mean), none without shots.
std::optional<score::AimPoint> BullGroupCentre(const calibrated::CalibratedResult& result,
                                               const calibrated::Bull& bull);

// The scan with the record's shots and marks drawn over it, and the legend: the command
// line's --result and the review window's exported picture, and, on a copy of the scan resized
// by `scale` (the record's pixels times scale are the copy's), the picture of its printed
// report. Without `legend` the legend is left to the caller (the report prints it beside the
// scan, where it hides nothing).
Picture ResultPicture(const PictureView& picture, const CalibratedRecord& record,
                      double scale = 1, bool legend = true);

}  // namespace holescan::results
