#include "results/result_picture.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

namespace holescan::results {

std::vector<shots::LegendEntry> ResultLegend(const CalibratedRecord& record) {
  using shots::LegendSymbol;
  const calibrated::CalibratedResult& r = *record.result;
  const auto edited = [](const calibrated::Shot& shot) { return shot.edited; };
  const bool anyEdited = std::any_of(r.shots.begin(), r.shots.end(), edited);
  const bool anyFound = !std::all_of(r.shots.begin(), r.shots.end(), edited);
  std::vector<shots::LegendEntry> entries;
  if (anyFound) entries.push_back({LegendSymbol::Circle, shots::kFoundColour, "shot, as found"});
  if (anyEdited)
    entries.push_back({LegendSymbol::Circle, shots::kEditedColour, "shot, added or moved by hand"});
  const bool aimIsCentre = r.aim.source == score::AimSource::Group ||
                           r.aim.source == score::AimSource::BlackNotFound;
  if (r.aim.source == score::AimSource::Face) {
    entries.push_back({LegendSymbol::Cross, shots::kAimColour, "point of aim: the black's centre"});
  } else if (r.aim.source == score::AimSource::Given) {
    entries.push_back({LegendSymbol::Cross, shots::kAimColour, "point of aim, as given"});
  }
  if (!r.shots.empty()) {
    entries.push_back({LegendSymbol::Cross, shots::kCentreColour,
                       aimIsCentre ? "group's centre, the point of aim" : "group's centre"});
  }
  return entries;
}

Picture ResultPicture(const PictureView& picture, const CalibratedRecord& record, double scale) {
  const calibrated::CalibratedResult& r = *record.result;
  const bool aimIsCentre = r.aim.source == score::AimSource::Group ||
                           r.aim.source == score::AimSource::BlackNotFound;
  // Pixel (i, j)'s centre is at (i, j) on either picture: the corners meet, the centres do not.
  const auto at = [scale](double px) { return (px + 0.5) * scale - 0.5; };
  std::vector<shots::Mark> marks;
  if (!aimIsCentre) marks.push_back({at(r.aim.x), at(r.aim.y), shots::kAimColour});
  if (!r.shots.empty())
    marks.push_back({at(r.groupCentreX), at(r.groupCentreY), shots::kCentreColour});
  std::vector<shots::Shot> outlined;
  // One flag per shot; std::vector<bool> has no contiguous storage for a span.
  std::unique_ptr<bool[]> edited(new bool[r.shots.size() + 1]);
  std::vector<int> numbers;
  outlined.reserve(r.shots.size());
  numbers.reserve(r.shots.size());
  for (const calibrated::Shot& shot : r.shots) {
    numbers.push_back(calibrated::ShotNumber(shot, outlined.size()));
    outlined.push_back({at(shot.x), at(shot.y), shot.diameterPx * scale, shot.look, shot.contrast});
    edited[outlined.size() - 1] = shot.edited;
  }
  Picture out = shots::Annotated(picture, outlined, marks,
                                 std::span<const bool>(edited.get(), outlined.size()), numbers);
  std::vector<shots::LegendAvoid> avoid;
  for (const shots::Shot& shot : outlined) avoid.push_back({shot.x, shot.y});
  for (const shots::Mark& mark : marks) avoid.push_back({mark.x, mark.y});
  shots::DrawLegend(out, ResultLegend(record), avoid);
  return out;
}

}  // namespace holescan::results
