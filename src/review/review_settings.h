// review_settings.h - the settings of one picture under review, as the user chooses them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "score/faces.h"
#include "score/group.h"
#include "shots/shots.h"

namespace holescan::review {

struct ReviewSettings {
  double calibreMm = 4.5;
  double dpi = 300;  // pixels per inch
  shots::HoleLook look = shots::HoleLook::Auto;
  std::string face;      // a face's name from score::Faces(); empty for none
  std::string distance;  // as score::ParseDistance reads it ("10m"); empty for none
  // Where the resolution came from: "file" (stored in the picture) or "user".
  std::string dpiSource = "user";
  friend bool operator==(const ReviewSettings&, const ReviewSettings&) = default;
};

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

// A one-line reason when the settings cannot be analysed (see shots::SettingsProblem), the
// face is unknown or the distance unreadable; nullopt otherwise.
std::optional<std::string> SettingsProblem(const ReviewSettings& settings);

// Resolutions the settings accept, pixels per inch.
inline constexpr double kMinDpi = 10;
inline constexpr double kMaxDpi = 9600;

}  // namespace holescan::review
