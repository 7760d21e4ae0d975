#include "review/review_settings.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>

namespace holescan::review {

namespace {

constexpr std::array<CalibrePreset, 3> kPresets{{
    {"4.5 mm", 4.5},
    {".22 (5.6 mm)", 5.6},
    {"9 mm", 9.0},
}};

}  // namespace

std::span<const CalibrePreset> CalibrePresets() {
  return kPresets;
}

std::optional<double> ParseCalibreChoice(std::string_view text, std::string* reason) {
  for (const CalibrePreset& preset : kPresets)
    if (text == preset.text) return preset.mm;
  return shots::ParseCalibreMm(text, reason);
}

std::string CalibreText(double mm) {
  for (const CalibrePreset& preset : kPresets)
    if (std::abs(preset.mm - mm) < 1e-9) return std::string(preset.text);
  char text[32];
  std::snprintf(text, sizeof text, "%g mm", mm);
  return text;
}

const score::Face* FaceOf(const ReviewSettings& settings) {
  return settings.face.empty() ? nullptr : score::FindFace(settings.face);
}

calibrated::CalibratedSettings CalibratedOf(const ReviewSettings& settings) {
  calibrated::CalibratedSettings calibrated;
  calibrated.calibreMm = settings.calibreMm;
  calibrated.dpi = settings.dpi;
  calibrated.dpiSource = settings.dpiSource;
  calibrated.look = settings.look;
  calibrated.face = FaceOf(settings);
  // A scale measured on a face no longer chosen stays as the picture's, as if given.
  if (calibrated.face == nullptr && calibrated.dpiSource == calibrated::ResolutionSource::Face)
    calibrated.dpiSource = calibrated::ResolutionSource::Option;
  if (!settings.distance.empty()) calibrated.distance = score::ParseDistance(settings.distance);
  if (settings.expectedShots > 0) calibrated.expectedShots = settings.expectedShots;
  return calibrated;
}

double HoleDiameterPx(const ReviewSettings& settings) {
  return shots::HoleDiameterPx({settings.calibreMm, settings.dpi, settings.look});
}

std::optional<std::string> SettingsProblem(const ReviewSettings& settings) {
  if (auto problem = calibrated::SettingsProblem(CalibratedOf(settings))) return problem;
  if (settings.seriesShots < 1 || settings.seriesShots > kMaxSeriesShots)
    return "a series must have 1 to " + std::to_string(kMaxSeriesShots) + " shots";
  if (settings.expectedShots < 0 || settings.expectedShots > kMaxExpectedShots)
    return "the shots on a target must be 0 (not known) to " + std::to_string(kMaxExpectedShots);
  if (!settings.face.empty() && !score::FindFace(settings.face))
    return "unknown face " + settings.face + " (known: " + score::FaceNames() + ")";
  std::string reason;
  if (!settings.distance.empty() && !score::ParseDistance(settings.distance, &reason))
    return reason;
  return std::nullopt;
}

}  // namespace holescan::review
