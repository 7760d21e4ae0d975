#include "results/result_picture.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
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
  if (!r.bulls.empty()) {
    // A sheet: every bull its own aim and group.
    entries.push_back({LegendSymbol::Cross, shots::kAimColour, "point of aim: each bull's centre"});
    if (std::any_of(r.bulls.begin(), r.bulls.end(),
                    [](const calibrated::Bull& bull) { return !bull.shots.empty(); }))
      entries.push_back({LegendSymbol::Cross, shots::kCentreColour, "each bull's group centre"});
    return entries;
  }
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

std::optional<score::AimPoint> BullGroupCentre(const calibrated::CalibratedResult& result,
                                               const calibrated::Bull& bull) {
  double x = 0, y = 0;
  std::size_t count = 0;
  for (const std::size_t index : bull.shots) {
    if (index >= result.shots.size()) continue;
    x += result.shots[index].x;
    y += result.shots[index].y;
    ++count;
  }
  if (count == 0) return std::nullopt;
  return score::AimPoint{x / static_cast<double>(count), y / static_cast<double>(count)};
}

Picture ResultPicture(const PictureView& picture, const CalibratedRecord& record, double scale,
                      bool legend) {
  const calibrated::CalibratedResult& r = *record.result;
  const bool aimIsCentre = r.aim.source == score::AimSource::Group ||
                           r.aim.source == score::AimSource::BlackNotFound;
  // Pixel (i, j)'s centre is at (i, j) on either picture: the corners meet, the centres do not.
  const auto at = [scale](double px) { return (px + 0.5) * scale - 0.5; };
  std::vector<shots::Mark> marks;
  if (!r.bulls.empty()) {
    // A sheet: each bull's aim (its black's centre) and the centre of its own shots; a
    // sheet-wide aim or centre would lie between the bulls and mean nothing.
    for (const calibrated::Bull& bull : r.bulls) {
      marks.push_back({at(bull.x), at(bull.y), shots::kAimColour});
      if (const auto centre = BullGroupCentre(r, bull))
        marks.push_back({at(centre->x), at(centre->y), shots::kCentreColour});
    }
  } else {
    if (!aimIsCentre) marks.push_back({at(r.aim.x), at(r.aim.y), shots::kAimColour});
    if (!r.shots.empty())
      marks.push_back({at(r.groupCentreX), at(r.groupCentreY), shots::kCentreColour});
  }
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
  if (!legend) return out;
  std::vector<shots::LegendAvoid> avoid;
  for (const shots::Shot& shot : outlined) avoid.push_back({shot.x, shot.y});
  for (const shots::Mark& mark : marks) avoid.push_back({mark.x, mark.y});
  // A sheet's bulls fill its page: the legend hides no bull's black either.
  constexpr int kRimPoints = 24;
  for (const calibrated::Bull& bull : r.bulls) {
    for (const double reach : {1.0, 0.55}) {  // its rim, and a ring inside it
      for (int k = 0; k < kRimPoints; ++k) {
        const double a = 2 * std::numbers::pi * k / kRimPoints;
        avoid.push_back({at(bull.x + reach * bull.radiusPx * std::cos(a)),
                         at(bull.y + reach * bull.radiusPx * std::sin(a))});
      }
    }
  }
  shots::DrawLegend(out, ResultLegend(record), avoid);
  return out;
}

}  // namespace holescan::results
