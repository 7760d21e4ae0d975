// review_settings.h - the settings of one picture under review, as the user chooses them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "calibrated/calibrated.h"

namespace holescan::review {

struct ReviewSettings {
  double calibreMm = 4.5;
  double dpi = 300;  // pixels per inch
  shots::HoleLook look = shots::HoleLook::Auto;
  std::string face;      // a face's name from score::Faces(); empty for none
  std::string distance;  // as score::ParseDistance reads it ("10m"); empty for none
  // Where the resolution came from: stored in the picture, or typed in.
  calibrated::ResolutionSource dpiSource = calibrated::ResolutionSource::Option;
  // Shots of one series, for the subtotals (the shots counted in their order in the table).
  int seriesShots = 10;
  // The shots fired on this target, when known (0: not known); the analysis may use it.
  int expectedShots = 0;
  friend bool operator==(const ReviewSettings&, const ReviewSettings&) = default;
};

// What the report says of the picture besides its shots: who shot, at which event, when, and
// a note; free text, each may be empty.
struct ReportInfo {
  std::string shooter, event, date, note;
  friend bool operator==(const ReportInfo&, const ReportInfo&) = default;
};

inline constexpr int kMaxSeriesShots = 100;
inline constexpr int kMaxExpectedShots = 1000;

// The calibres offered in the list, as shown.
struct CalibrePreset {
  std::string_view text;
  double mm;
};
std::span<const CalibrePreset> CalibrePresets();

// A calibre as typed or picked: a preset's text, or anything shots::ParseCalibreMm reads.
std::optional<double> ParseCalibreChoice(std::string_view text, std::string* reason = nullptr);
// The preset's text for that calibre, or "N mm".
std::string CalibreText(double mm);

// The face of the settings, or nullptr for none (or a name that is not in the table).
const score::Face* FaceOf(const ReviewSettings& settings);

// The settings as the calibrated analysis takes them (an unreadable distance is none).
calibrated::CalibratedSettings CalibratedOf(const ReviewSettings& settings);
// The diameter of a hole of the settings' calibre in picture pixels.
double HoleDiameterPx(const ReviewSettings& settings);

// A one-line reason when the settings cannot be analysed (see calibrated::SettingsProblem),
// the face is unknown or the distance unreadable; nullopt otherwise.
std::optional<std::string> SettingsProblem(const ReviewSettings& settings);

}  // namespace holescan::review
