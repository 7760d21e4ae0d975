#include "results/result_picture.h"

#include <algorithm>
#include <span>

namespace holescan::results {

std::vector<shots::LegendEntry> ResultLegend(const CalibratedRecord& r) {
  using shots::LegendSymbol;
  const score::Sheet& sheet = *r.sheet;
  const bool anyEdited = std::find(r.edited.begin(), r.edited.end(), true) != r.edited.end();
  const bool anyFound =
      r.shots.size() > static_cast<std::size_t>(std::count(r.edited.begin(), r.edited.end(), true));
  std::vector<shots::LegendEntry> entries;
  if (anyFound) entries.push_back({LegendSymbol::Circle, shots::kFoundColour, "shot, as found"});
  if (anyEdited)
    entries.push_back({LegendSymbol::Circle, shots::kEditedColour, "shot, added or moved by hand"});
  if (sheet.source == score::AimSource::Face) {
    entries.push_back({LegendSymbol::Cross, shots::kAimColour, "point of aim: the black's centre"});
  } else if (sheet.source == score::AimSource::Given) {
    entries.push_back({LegendSymbol::Cross, shots::kAimColour, "point of aim, as given"});
  }
  if (sheet.group.count > 0) {
    entries.push_back({LegendSymbol::Cross, shots::kCentreColour,
                       sheet.source == score::AimSource::Group ? "group's centre, the point of aim"
                                                               : "group's centre"});
  }
  return entries;
}

Picture ResultPicture(const PictureView& picture, const CalibratedRecord& r) {
  const score::Sheet& sheet = *r.sheet;
  const double mmPerPixel = score::MmPerPixel(r.settings.dpi);
  std::vector<shots::Mark> marks;
  if (sheet.source != score::AimSource::Group)
    marks.push_back({sheet.aim.x, sheet.aim.y, shots::kAimColour});
  if (sheet.group.count > 0) {
    marks.push_back({sheet.aim.x + sheet.group.centreX / mmPerPixel,
                     sheet.aim.y - sheet.group.centreY / mmPerPixel, shots::kCentreColour});
  }
  Picture out = shots::Annotated(picture, r.shots, marks, r.edited);
  std::vector<shots::LegendAvoid> avoid;
  for (const shots::Shot& shot : r.shots) avoid.push_back({shot.x, shot.y});
  for (const shots::Mark& mark : marks) avoid.push_back({mark.x, mark.y});
  shots::DrawLegend(out, ResultLegend(r), avoid);
  return out;
}

}  // namespace holescan::results
