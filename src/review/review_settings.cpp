#include "review/review_settings.h"

#include <array>
#include <cmath>
#include <cstdio>

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

std::optional<std::string> SettingsProblem(const ReviewSettings& settings) {
  if (!(settings.dpi >= kMinDpi && settings.dpi <= kMaxDpi)) {
    char text[96];
    std::snprintf(text, sizeof text, "the resolution must lie between %g and %g pixels per inch",
                  kMinDpi, kMaxDpi);
    return std::string(text);
  }
  if (!(settings.calibreMm >= shots::kMinCalibreMm && settings.calibreMm <= shots::kMaxCalibreMm))
    return std::string("the calibre lies outside what the analysis accepts");
  if (auto problem = shots::SettingsProblem({settings.calibreMm, settings.dpi, settings.look}))
    return problem;
  if (!settings.face.empty() && !score::FindFace(settings.face))
    return "unknown face " + settings.face + " (known: " + score::FaceNames() + ")";
  if (settings.dpiSource != "file" && settings.dpiSource != "user")
    return std::string("the resolution's source is neither the file nor the user");
  std::string reason;
  if (!settings.distance.empty() && !score::ParseDistance(settings.distance, &reason))
    return reason;
  return std::nullopt;
}

}  // namespace holescan::review
