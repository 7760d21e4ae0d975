#include "calibrated/calibrated.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <span>
#include <stdexcept>

#include "shots/aim.h"

namespace holescan::calibrated {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPi = 3.14159265358979323846;

// A black measured as an ellipse: the face photographed at an angle, and how. A circle (minor
// axis 0) is a face seen square-on: no tilt, no stretch.
void MeasureTilt(FaceMeasure& measure, const shots::AimFit& black) {
  if (black.minorPx <= 0) {
    measure.tiltDeg = measure.tiltAxisDeg = measure.ellipseResidualPx = 0;
    measure.stretch = 1;
    return;
  }
  measure.tiltDeg = std::acos(std::min(1.0, black.minorPx / black.radiusPx)) * 180 / kPi;
  measure.tiltAxisDeg = std::fmod(black.axisRadians * 180 / kPi + 90 + 360, 180);
  measure.ellipseResidualPx = black.residualPx;
  measure.stretch = black.radiusPx / black.minorPx;
  measure.centreX = black.centre.x;
  measure.centreY = black.centre.y;
}

// A point of the picture as it would lie on the face seen square-on: stretched along the
// foreshortened direction about the black's centre (itself where it is).
score::ShotPx Rectified(const CalibratedResult& result, double x, double y) {
  if (!result.faceMeasure || result.faceMeasure->stretch == 1) return {x, y};
  const FaceMeasure& m = *result.faceMeasure;
  const double a = m.tiltAxisDeg * kPi / 180, ux = std::cos(a), uy = std::sin(a);
  const double dx = x - m.centreX, dy = y - m.centreY;
  const double along = (dx * ux + dy * uy) * (m.stretch - 1);
  return {x + along * ux, y + along * uy};
}

std::string Figure(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::string_view ResolutionSourceName(ResolutionSource source) {
  switch (source) {
    case ResolutionSource::File:
      return "file";
    case ResolutionSource::Face:
      return "face";
    case ResolutionSource::Option:
      break;
  }
  return "option";
}

std::optional<ResolutionSource> ParseResolutionSource(std::string_view name) {
  if (name == "file") return ResolutionSource::File;
  if (name == "option" || name == "user") return ResolutionSource::Option;
  if (name == "face") return ResolutionSource::Face;
  return std::nullopt;
}

std::optional<std::string> SettingsProblem(const CalibratedSettings& settings) {
  const bool toMeasure = settings.dpiSource == ResolutionSource::Face && settings.dpi == 0 &&
                         (settings.face != nullptr || settings.faceAuto);
  if (!toMeasure) {
    if (settings.dpi == 0) return std::string("the resolution is not known");
    if (auto problem = ResolutionProblem(settings.dpi)) return problem;
  }
  if (auto problem = CalibreProblem(settings.calibreMm)) return problem;
  if (!toMeasure) {
    if (auto problem = shots::SettingsProblem({settings.calibreMm, settings.dpi, settings.look}))
      return problem;
  }
  // With the face still to be chosen, a gauge of 0 is the chosen face's own.
  const bool gaugeToCome = settings.faceAuto && settings.face == nullptr && settings.gaugeMm == 0;
  if (!gaugeToCome &&
      !(settings.gaugeMm >= score::kMinGaugeMm && settings.gaugeMm <= score::kMaxGaugeMm))
    return "the gauge must lie between " + Figure(score::kMinGaugeMm) + " and " +
           Figure(score::kMaxGaugeMm) + " mm";
  return std::nullopt;
}

std::optional<double> FileResolution(const PictureFile& file) {
  if (!file.resolution || !(file.resolution->x > 0)) return std::nullopt;
  const double stored = file.resolution->x;
  // BMP and PNG store whole pixels per metre: half a pixel per metre either way.
  constexpr double kMetreRounding = 0.5 * 0.0254;
  const double whole = std::round(stored);
  const double dpi = std::abs(stored - whole) <= kMetreRounding ? whole : stored;
  if (ResolutionProblem(dpi)) return std::nullopt;
  return dpi;
}

CalibratedSettings ResolveResolution(const PictureFile& file, CalibratedSettings settings) {
  if (settings.dpiSource == ResolutionSource::Face) {
    settings.fileDpi = FileResolution(file);
    return settings;
  }
  if (settings.dpiSource != ResolutionSource::File) return settings;
  if (const auto stored = FileResolution(file)) {
    settings.dpi = *stored;
  } else {
    settings.dpiSource = ResolutionSource::Option;
  }
  return settings;
}

BlackSearch LookForBlack(const PictureView& picture, const CalibratedSettings& settings) {
  BlackSearch search;
  if (settings.face == nullptr || settings.aim) return search;
  std::string reason;
  if (const auto fit = shots::FindAim(picture, *settings.face, settings.dpi, &reason)) {
    search.centre = fit->centre;
    return search;
  }
  // A face photographed at an angle: its black, an ellipse, is not the circle looked for. The
  // face's own search measures it as one, at the scale known.
  const score::Face* face = settings.face;
  const auto tilted = shots::FindFaces(picture, std::span(&face, 1), settings.dpi / 25.4);
  if (tilted && tilted->bulls.size() == 1 && tilted->bulls.front().minorPx > 0) {
    search.centre = tilted->bulls.front().centre;
    search.ellipse = tilted->bulls.front();
    return search;
  }
  search.warning = "no point of aim: " + reason;
  return search;
}

namespace {

std::string Ppi(double dpi) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ppi", dpi);
  return text;
}

// The sighters among the bulls found: the sheet's printed places laid over the bulls (each
// bull in turn on each place, at the measured scale), the placing that puts most bulls on a
// place within a black's radius taken when it holds most of them. Fewer than three bulls, or
// no such placing: none is a sighter.
void MarkSighters(std::vector<Bull>& bulls, const score::Face& face, double pxPerMm) {
  if (face.sheet.empty() || bulls.size() < 3) return;
  std::size_t bestCount = 0;
  std::vector<int> bestPlaces;
  for (const Bull& anchor : bulls) {
    for (const score::BullPlace& place : face.sheet) {
      const double dx = anchor.x - place.xMm * pxPerMm, dy = anchor.y - place.yMm * pxPerMm;
      std::vector<int> places(bulls.size(), -1);
      std::size_t count = 0;
      for (std::size_t b = 0; b < bulls.size(); ++b) {
        for (std::size_t p = 0; p < face.sheet.size(); ++p) {
          const double px = face.sheet[p].xMm * pxPerMm + dx, py = face.sheet[p].yMm * pxPerMm + dy;
          if (std::hypot(bulls[b].x - px, bulls[b].y - py) < bulls[b].radiusPx) {
            places[b] = static_cast<int>(p);
            ++count;
            break;
          }
        }
      }
      if (count > bestCount) {
        bestCount = count;
        bestPlaces = places;
      }
    }
  }
  if (2 * bestCount <= bulls.size()) return;
  for (std::size_t b = 0; b < bulls.size(); ++b) {
    bulls[b].sighter =
        bestPlaces[b] >= 0 && face.sheet[static_cast<std::size_t>(bestPlaces[b])].sighter;
  }
}

// The face and its scale settled before the shots are looked for: measured when the source is
// Face, chosen when auto, every bull found on a face printed several to a sheet. nullopt when
// nothing was to be found or a known scale leaves it to LookForBlack.
std::optional<shots::FaceFound> SettleFace(const PictureView& picture, CalibratedSettings& settings,
                                           std::optional<FaceMeasure>& measure) {
  const bool measuring = settings.dpiSource == ResolutionSource::Face;
  const bool choosing = settings.faceAuto && settings.face == nullptr;
  const bool sheet = settings.face != nullptr && !settings.face->sheet.empty() && !settings.aim;
  if (!measuring && !choosing && !sheet) return std::nullopt;
  std::vector<const score::Face*> faces;
  if (choosing) {
    for (const score::Face& face : score::Faces()) faces.push_back(&face);
  } else {
    faces.push_back(settings.face);
  }
  const double known = measuring || choosing ? 0 : settings.dpi / 25.4;
  std::string reason;
  std::optional<shots::FaceFound> found;
  if (measuring && !choosing && !settings.fileDpi) {
    // Nothing to check the scale against but the rings: another face's black measured as this
    // one's would give a scale off by the ratio of the blacks, every shot scored wrong. The
    // faces are all tried; the one named, when its rings are the picture's, is found as well.
    std::vector<const score::Face*> all;
    for (const score::Face& face : score::Faces()) all.push_back(&face);
    found = shots::FindFaces(picture, all);
    if (found && found->face != settings.face) {
      throw NoScale("the rings are those of " + std::string(found->face->title) + ", not of " +
                    std::string(settings.face->title));
    }
  }
  if (!found) found = shots::FindFaces(picture, faces, known, &reason);
  if (!found) {
    // With auto, no face that fits is no face: the analysis goes on as without one, at the
    // resolution given or stored, and one line says which face came nearest.
    if (measuring) {
      if (!settings.fileDpi) {
        throw NoScale(choosing ? reason : "the face gives no scale (" + reason + ")");
      }
      settings.dpi = *settings.fileDpi;
      settings.dpiSource = ResolutionSource::File;
      measure.emplace();
      measure->fileDpi = settings.fileDpi;
      measure->warning = choosing
                             ? reason + "; analysed without a face, at the file's " +
                                   "resolution, " + Ppi(settings.dpi)
                             : "the face gives no scale (" + reason + "); the file's resolution, " +
                                   Ppi(settings.dpi) + ", is used";
    } else if (choosing) {
      measure.emplace();
      measure->warning = reason + "; analysed without a face";
    }
    if (choosing && settings.gaugeMm == 0) settings.gaugeMm = score::kRulesGaugeMm;
    return std::nullopt;
  }
  if (choosing) {
    settings.face = found->face;
    if (settings.gaugeMm == 0) settings.gaugeMm = found->face->rulesGaugeMm;
  }
  if (measuring || choosing) {
    measure.emplace();
    measure->dpi = found->pxPerMm * 25.4;
    measure->fileDpi = settings.fileDpi;
    measure->chosen = choosing;
    measure->match = found->match;
    measure->runnerUp = found->runnerUpMatch;
    measure->blacks = static_cast<int>(found->bulls.size());
    MeasureTilt(*measure, found->bulls.front());
  }
  if (measuring && settings.fileDpi) {
    // A stored resolution the face agrees with is the scanner's, exact: it stays, and the
    // analysis is the one every front end gives from the file. One the face disagrees with
    // stays too when the rings say the face named is not on the picture (another face's black
    // measured as this one's).
    const double measured = found->pxPerMm * 25.4;
    bool keepFile = std::abs(measured / *settings.fileDpi - 1) <= kFileDisagreement;
    if (!keepFile && !choosing) {
      std::vector<const score::Face*> all;
      for (const score::Face& face : score::Faces()) all.push_back(&face);
      const auto rings = shots::FindFaces(picture, all);
      keepFile = rings && rings->face != settings.face;
    }
    if (keepFile) {
      settings.dpi = *settings.fileDpi;
      settings.dpiSource = ResolutionSource::File;
      // A black seen at an angle stands as the ellipse measured here, with its tilt: found
      // again at the file's resolution it would be looked for as a circle, and missed.
      const bool tilted = found->bulls.front().minorPx > 0;
      if (!choosing && !tilted) measure.reset();
      // The bulls of a sheet stand; a face alone is found again at the file's resolution.
      if (settings.face->sheet.empty() && !tilted) return std::nullopt;
      return found;
    }
  }
  if (measuring) {
    settings.dpi = found->pxPerMm * 25.4;
    if (settings.fileDpi && std::abs(settings.dpi / *settings.fileDpi - 1) > kFileDisagreement) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "the face measures %.1f ppi, the file stores %.1f ppi (%.1f %% apart); the "
                    "face's is used",
                    settings.dpi, *settings.fileDpi,
                    100 * std::abs(settings.dpi / *settings.fileDpi - 1));
      measure->warning = text;
    }
  }
  return found;
}

CalibratedResult ScoreSheet(CalibratedResult result, std::vector<Shot> shots);

// A result of the picture and settings, with the face's measure and nothing found yet.
CalibratedResult Started(const PictureView& picture, const CalibratedSettings& settings,
                         std::optional<FaceMeasure> measure) {
  CalibratedResult result;
  result.width = picture.width;
  result.height = picture.height;
  result.selection = settings.selection.value_or(WholePicture(picture.width, picture.height));
  result.settings = settings;
  result.faceMeasure = std::move(measure);
  return result;
}

// The diameter in millimetres of the light ring or dot of about a hole's size that the face
// prints about its centre and in its black (0 where it prints none): the smallest printed circle
// there that is not a mere dot. The air rifle's ring 9 (5.5 mm) round its 0.5 mm ten dot, the air
// pistol's 5 mm inner ten and the A-17's ten make a dark disc in a thin light line, or a light
// one, that passes for a hole of 4.5 to 5.6 mm at every bull's centre (shots::ShotSettings).
double CentrePrintLikeAHoleMm(const CalibratedSettings& settings) {
  const score::Face* face = settings.face;
  if (face == nullptr) return 0;
  // A dot under this share of the calibre (the air rifle's half millimetre) is too small to
  // pass for a hole; a circle over this many calibres is too wide.
  constexpr double kLikeAHole = 0.4;
  constexpr double kWiderThanAHole = 1.5;
  double printed = 0;
  for (int ring = 10; ring >= face->lowestRing && printed == 0; --ring) {
    const double d = face->RingDiameterMm(ring);
    if (d >= kLikeAHole * settings.calibreMm) printed = d;
  }
  if (face->innerTenDiameterMm >= kLikeAHole * settings.calibreMm)
    printed = printed == 0 ? face->innerTenDiameterMm : std::min(printed, face->innerTenDiameterMm);
  const bool likeAHole = printed > 0 && printed < kWiderThanAHole * settings.calibreMm &&
                         printed < face->blackDiameterMm;
  return likeAHole ? printed : 0;
}

std::vector<Shot> FromHoles(const std::vector<shots::Shot>& holes) {
  std::vector<Shot> shots;
  shots.reserve(holes.size());
  for (const shots::Shot& hole : holes) {
    Shot one;
    one.x = hole.x;
    one.y = hole.y;
    one.look = hole.look;
    one.contrast = hole.contrast;
    one.placed = hole.placed;
    shots.push_back(one);
  }
  return shots;
}

// A sheet with the shots fired on each bull given: a record bull holding fewer is analysed again
// on its own, its ragged groups made that count where their torn areas allow, and its shots
// become the new ones when there are more of them. Sighters are left as found.
CalibratedResult CountEachBull(const PictureView& picture, const shots::ShotSettings& settings,
                               const shots::Region& region, CalibratedResult result,
                               Observer* observer) {
  const std::size_t expected = static_cast<std::size_t>(settings.expectedShots.value_or(0));
  std::vector<Shot> found = std::move(result.shots);
  result = ScoreSheet(std::move(result), std::move(found));
  // The bull's square: its scoring rings, with a tilted face's stretch.
  const double reach = (result.settings.face->OuterDiameterMm() + result.settings.gaugeMm) / 2 *
                       settings.dpi / 25.4 *
                       (result.faceMeasure ? result.faceMeasure->stretch : 1.0);
  for (std::size_t b = 0; b < result.bulls.size(); ++b) {
    const Bull& bull = result.bulls[b];
    if (bull.sighter || bull.shots.size() >= expected) continue;
    const shots::Region box{
        std::max(region.left, static_cast<int>(std::floor(bull.x - reach))),
        std::max(region.top, static_cast<int>(std::floor(bull.y - reach))),
        std::min(region.right, static_cast<int>(std::ceil(bull.x + reach)) + 1),
        std::min(region.bottom, static_cast<int>(std::ceil(bull.y + reach)) + 1)};
    if (box.right <= box.left || box.bottom <= box.top) continue;
    const shots::ShotResult again = shots::FindShots(picture, settings, box, [observer](double) {
      return observer == nullptr || observer->Progress(1.0);
    });
    if (again.cancelled) {
      result.cancelled = true;
      return result;
    }
    // Every other bull's shots as they were, and this bull's found again.
    std::vector<Shot> shots;
    for (std::size_t i = 0; i < result.shots.size(); ++i)
      if (std::find(bull.shots.begin(), bull.shots.end(), i) == bull.shots.end())
        shots.push_back(result.shots[i]);
    const std::size_t kept = shots.size();
    for (const Shot& shot : FromHoles(again.shots)) shots.push_back(shot);
    const CalibratedResult trial = ScoreSheet(result, shots);
    // New shots the sheet gives to another bull, or none, were found there already.
    std::vector<Shot> mine(shots.begin(), shots.begin() + static_cast<std::ptrdiff_t>(kept));
    for (const std::size_t i : trial.bulls[b].shots)
      if (i >= kept) mine.push_back(shots[i]);
    if (mine.size() - kept <= bull.shots.size()) continue;
    // In reading order, as the analysis gives them.
    std::stable_sort(mine.begin(), mine.end(), [](const Shot& a, const Shot& b) {
      return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    result = ScoreSheet(std::move(result), std::move(mine));
  }
  return result;
}

// A sheet's shots bull by bull, each bull's in reading order as found and the shots on no bull
// last: a shot's number then goes with its bull's (1 to 3 on bull 1, 4 on bull 2, ...), where
// the sheet's reading order would put a shot high in bull 2 before one low in bull 1.
std::vector<Shot> InBullOrder(const CalibratedResult& result) {
  const CalibratedResult scored = ScoreSheet(result, result.shots);
  std::vector<std::size_t> order(result.shots.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  const auto key = [&](std::size_t i) {
    const int bull = scored.shots[i].sheetBull;
    return bull > 0 ? bull : std::numeric_limits<int>::max();
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  std::vector<Shot> shots;
  shots.reserve(order.size());
  for (const std::size_t i : order) shots.push_back(result.shots[i]);
  return shots;
}

}  // namespace

CalibratedResult AnalysePicture(const PictureView& picture, const CalibratedSettings& given,
                                Observer* observer) {
  if (auto problem = SettingsProblem(given)) throw std::invalid_argument(*problem);
  CalibratedSettings settings = given;
  std::optional<FaceMeasure> measure;
  const std::optional<shots::FaceFound> faces = SettleFace(picture, settings, measure);
  if (auto problem = SettingsProblem(settings)) throw std::invalid_argument(*problem);
  CalibratedResult result = Started(picture, settings, std::move(measure));
  // The selection's bounds are inclusive, and column W and row H lie past the picture.
  const Selection& s = result.selection;
  const shots::Region region{s.SelLeft, s.SelTop, std::min(s.SelRight + 1, picture.width),
                             std::min(s.SelBottom + 1, picture.height)};
  // The face first: its bulls, or its black, and the print at their centres.
  BlackSearch black;
  if (faces && !settings.aim) {
    black.centre = faces->bulls.front().centre;
    if (faces->bulls.front().minorPx > 0) black.ellipse = faces->bulls.front();
    if (!settings.face->sheet.empty() || faces->bulls.size() > 1) {
      for (const shots::AimFit& fit : faces->bulls) {
        Bull bull;
        bull.number = static_cast<int>(result.bulls.size()) + 1;
        bull.x = fit.centre.x;
        bull.y = fit.centre.y;
        bull.radiusPx = fit.radiusPx;
        result.bulls.push_back(bull);
      }
      MarkSighters(result.bulls, *settings.face, settings.dpi / 25.4);
    }
  } else {
    black = LookForBlack(picture, settings);
    // The face gave no scale and its black is not found at the file's either: one warning,
    // the black's.
    if (!black.warning.empty() && result.faceMeasure && result.faceMeasure->dpi == 0 &&
        settings.dpiSource == ResolutionSource::File)
      result.faceMeasure->warning.clear();
  }
  shots::ShotSettings shotSettings{settings.calibreMm, settings.dpi, settings.look};
  if (const double printed = CentrePrintLikeAHoleMm(settings); printed > 0 && !settings.aim) {
    shotSettings.printedCentreRadiusPx = printed / 2 * settings.dpi / 25.4;
    for (const Bull& bull : result.bulls) shotSettings.printedCentres.push_back({bull.x, bull.y});
    if (result.bulls.empty() && black.centre)
      shotSettings.printedCentres.push_back({black.centre->x, black.centre->y});
  }
  // Shots are also looked for against the print of every bull found (not about an aim given:
  // nothing says the face's rings are there).
  if (settings.face != nullptr && !settings.aim) {
    const double reach =
        (settings.face->OuterDiameterMm() / 2 + settings.calibreMm) * settings.dpi / 25.4;
    const double blackRadius = settings.face->blackDiameterMm / 2 * settings.dpi / 25.4;
    const auto add = [&](double x, double y, const shots::AimFit* shape) {
      shots::ShotSettings::Bull bull{x, y, reach};
      bull.blackRadiusPx = blackRadius;
      if (shape != nullptr && shape->minorPx > 0 && shape->radiusPx > 0) {
        bull.flatten = shape->minorPx / shape->radiusPx;
        bull.axisRadians = shape->axisRadians;
      }
      shotSettings.bulls.push_back(bull);
    };
    if (faces) {
      for (const shots::AimFit& fit : faces->bulls) add(fit.centre.x, fit.centre.y, &fit);
    } else if (black.centre) {
      add(black.centre->x, black.centre->y, black.ellipse ? &*black.ellipse : nullptr);
    }
  }
  // The shots fired are those in the selection analysed, or on a sheet those of each record
  // bull (counted bull by bull below).
  if (result.bulls.empty()) shotSettings.expectedShots = settings.expectedShots;
  const shots::ShotResult found = shots::FindShots(
      picture, shotSettings, region,
      [observer](double fraction) { return observer == nullptr || observer->Progress(fraction); });
  if (found.cancelled) {
    result.cancelled = true;
    return result;
  }
  result.levels = found.levels;
  result.shots = FromHoles(found.shots);
  if (!result.bulls.empty() && settings.expectedShots) {
    shotSettings.expectedShots = settings.expectedShots;
    result = CountEachBull(picture, shotSettings, region, std::move(result), observer);
    if (result.cancelled) return result;
  }
  if (!result.bulls.empty()) result.shots = InBullOrder(result);
  return Rescore(std::move(result), settings, black);
}

CalibratedResult Rescore(CalibratedResult result, const CalibratedSettings& settings,
                         const BlackSearch& black) {
  // Another face has other bulls (the review finds its black again).
  if (settings.face != result.settings.face) result.bulls.clear();
  result.settings = settings;
  result.black = black;
  // The tilt is the black's: measured on its ellipse, none when it is found round. A black not
  // looked for (an aim given) or not found leaves the tilt measured before.
  if (black.ellipse) {
    if (!result.faceMeasure) result.faceMeasure.emplace();
    result.faceMeasure->blacks = std::max(result.faceMeasure->blacks, 1);
    MeasureTilt(*result.faceMeasure, *black.ellipse);
  } else if (black.centre && result.faceMeasure) {
    MeasureTilt(*result.faceMeasure, shots::AimFit{});
  }
  result.warnings.clear();
  if (result.faceMeasure && !result.faceMeasure->warning.empty())
    result.warnings.push_back(result.faceMeasure->warning);
  if (!black.warning.empty()) result.warnings.push_back(black.warning);
  std::vector<Shot> shots = std::move(result.shots);
  return Rescore(std::move(result), std::move(shots));
}

namespace {

// A sheet of several bulls scored: each shot to the nearest bull within reach of its scoring
// rings (the lowest ring's radius and half the gauge: the hole touches it), else off target
// and scored 0; each bull scored from its own centre; the sheet's total and group those of the
// record bulls' shots, each from its own bull.
CalibratedResult ScoreSheet(CalibratedResult result, std::vector<Shot> shots) {
  const CalibratedSettings& settings = result.settings;
  const score::Face& face = *settings.face;
  const double pxPerMm = settings.dpi / 25.4;
  const double reachMm = (face.OuterDiameterMm() + settings.gaugeMm) / 2;
  const double blackReachMm = (face.blackDiameterMm + settings.calibreMm) / 2;
  const double diameter = shots::HoleDiameterPx({settings.calibreMm, settings.dpi, settings.look});
  for (Bull& bull : result.bulls) bull.shots.clear();
  double sumX = 0, sumY = 0;
  for (std::size_t i = 0; i < shots.size(); ++i) {
    Shot& shot = shots[i];
    shot.diameterPx = diameter;
    sumX += shot.x;
    sumY += shot.y;
    std::size_t nearest = 0;
    double distance = std::numeric_limits<double>::infinity();
    const score::ShotPx at = Rectified(result, shot.x, shot.y);
    for (std::size_t b = 0; b < result.bulls.size(); ++b) {
      const score::ShotPx centre = Rectified(result, result.bulls[b].x, result.bulls[b].y);
      const double d = std::hypot(at.x - centre.x, at.y - centre.y);
      if (d < distance) {
        distance = d;
        nearest = b;
      }
    }
    const Bull& bull = result.bulls[nearest];
    const score::ShotPx nearCentre = Rectified(result, bull.x, bull.y);
    shot.xMm = (at.x - nearCentre.x) / pxPerMm;
    shot.yMm = (nearCentre.y - at.y) / pxPerMm;
    shot.bull = false;
    if (distance / pxPerMm <= reachMm) {
      shot.sheetBull = bull.number;
      result.bulls[nearest].shots.push_back(i);
    } else {
      shot.sheetBull = 0;
      shot.score = score::RingScore{};  // off target
    }
  }
  score::Totals sheetTotal;
  int sheetTenths = 0;
  std::vector<score::PointMm> record;
  for (Bull& bull : result.bulls) {
    score::SheetOptions options;
    options.dpi = settings.dpi;
    options.calibreMm = settings.calibreMm;
    options.gaugeMm = settings.gaugeMm;
    const score::ShotPx centre = Rectified(result, bull.x, bull.y);
    options.aim = score::AimPoint{centre.x, centre.y};
    options.source = score::AimSource::Face;
    options.face = &face;
    std::vector<score::ShotPx> pixels;
    for (const std::size_t i : bull.shots)
      pixels.push_back(Rectified(result, shots[i].x, shots[i].y));
    const score::Sheet scored = score::Score(pixels, options);
    bull.group = scored.group;
    bull.total = scored.total;
    for (std::size_t k = 0; k < bull.shots.size(); ++k) {
      Shot& shot = shots[bull.shots[k]];
      shot.xMm = scored.shots[k].xMm;
      shot.yMm = scored.shots[k].yMm;
      shot.score = scored.shots[k].score;
      shot.bull = std::hypot(shot.xMm, shot.yMm) <= blackReachMm;
      if (!bull.sighter) record.push_back({shot.xMm, shot.yMm});
      if (!bull.sighter && shot.score) sheetTenths += shot.score->tenths;
    }
    if (!bull.sighter && scored.total) {
      sheetTotal.score += scored.total->score;
      sheetTotal.innerTens += scored.total->innerTens;
    }
  }
  sheetTotal.decimal = sheetTenths / 10.0;
  const double n = static_cast<double>(shots.size());
  result.groupCentreX = shots.empty() ? 0 : sumX / n;
  result.groupCentreY = shots.empty() ? 0 : sumY / n;
  result.shots = std::move(shots);
  const auto first = std::find_if(result.bulls.begin(), result.bulls.end(),
                                  [](const Bull& bull) { return !bull.sighter; });
  const Bull& aim = first != result.bulls.end() ? *first : result.bulls.front();
  result.aim = {aim.x, aim.y, score::AimSource::Face};
  result.group = score::Group(record, settings.calibreMm);
  result.total = sheetTotal;
  return result;
}

}  // namespace

CalibratedResult Rescore(CalibratedResult result, std::vector<Shot> shots) {
  const CalibratedSettings& settings = result.settings;
  if (!result.bulls.empty() && settings.face != nullptr && !settings.aim &&
      !SettingsProblem(settings))
    return ScoreSheet(std::move(result), std::move(shots));
  score::SheetOptions options;
  options.dpi = settings.dpi;
  options.calibreMm = settings.calibreMm;
  options.gaugeMm = settings.gaugeMm;
  if (settings.aim) {
    options.aim = settings.aim;
    options.source = score::AimSource::Given;
    options.face = settings.face;
  } else if (settings.face != nullptr && result.black.centre) {
    options.aim = result.black.centre;
    options.source = score::AimSource::Face;
    options.face = settings.face;
  }
  std::vector<score::ShotPx> pixels;
  pixels.reserve(shots.size());
  for (const Shot& shot : shots) pixels.push_back(Rectified(result, shot.x, shot.y));
  score::Sheet sheet;
  if (!SettingsProblem(settings)) sheet = score::Score(pixels, options);
  if (!options.aim && settings.face != nullptr) sheet.source = score::AimSource::BlackNotFound;

  const double diameter = shots::HoleDiameterPx({settings.calibreMm, settings.dpi, settings.look});
  const double blackReachMm =
      settings.face != nullptr ? (settings.face->blackDiameterMm + settings.calibreMm) / 2 : 0;
  double sumX = 0, sumY = 0;
  for (std::size_t i = 0; i < shots.size(); ++i) {
    Shot& shot = shots[i];
    shot.diameterPx = diameter;
    shot.sheetBull = 0;
    sumX += shot.x;
    sumY += shot.y;
    if (i < sheet.shots.size()) {
      const score::ScoredShot& scored = sheet.shots[i];
      shot.xMm = scored.xMm;
      shot.yMm = scored.yMm;
      shot.score = scored.score;
      shot.bull = scored.score.has_value() && std::hypot(scored.xMm, scored.yMm) <= blackReachMm;
    } else {
      shot.xMm = shot.yMm = 0;
      shot.score.reset();
      shot.bull = false;
    }
  }
  const double n = static_cast<double>(shots.size());
  result.groupCentreX = shots.empty() ? 0 : sumX / n;
  result.groupCentreY = shots.empty() ? 0 : sumY / n;
  result.shots = std::move(shots);
  result.aim = {sheet.aim.x, sheet.aim.y, sheet.source};
  result.group = sheet.group;
  result.total = sheet.total;
  return result;
}

std::optional<CountDifference> ExpectedCount(const CalibratedResult& result) {
  const std::optional<int> expected = result.settings.expectedShots;
  if (!expected) return std::nullopt;
  CountDifference count{*expected, static_cast<int>(result.shots.size())};
  if (!result.bulls.empty()) {  // a sheet: the count is each record bull's
    count = {};
    for (const Bull& bull : result.bulls) {
      if (bull.sighter) continue;
      count.expected += *expected;
      count.found += static_cast<int>(bull.shots.size());
    }
  }
  return count;
}

std::optional<CountDifference> CountDiffers(const CalibratedResult& result) {
  const std::optional<CountDifference> count = ExpectedCount(result);
  if (!count || count->expected == count->found) return std::nullopt;
  return count;
}

std::optional<CountDifference> CountDiffers(const CalibratedResult& result, const Bull& bull) {
  const std::optional<int> expected = result.settings.expectedShots;
  const int found = static_cast<int>(bull.shots.size());
  if (!expected || bull.sighter || *expected == found) return std::nullopt;
  return CountDifference{*expected, found};
}

Shot ShotAtPoint(const PictureView& picture, const CalibratedSettings& settings, double x,
                 double y) {
  Shot shot;
  shot.x = x;
  shot.y = y;
  shot.edited = true;
  if (const auto hole =
          shots::ShotAt(picture, {settings.calibreMm, settings.dpi, settings.look}, x, y)) {
    shot.x = hole->x;
    shot.y = hole->y;
    shot.look = hole->look;
    shot.contrast = hole->contrast;
  }
  return shot;
}

}  // namespace holescan::calibrated
