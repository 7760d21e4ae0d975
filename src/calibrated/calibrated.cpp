#include "calibrated/calibrated.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "shots/aim.h"

namespace holescan::calibrated {
namespace {

constexpr double kMmPerInch = 25.4;

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
  if (settings.dpi == 0) return std::string("the resolution is not known");
  if (auto problem = ResolutionProblem(settings.dpi)) return problem;
  if (auto problem = CalibreProblem(settings.calibreMm)) return problem;
  if (auto problem = shots::SettingsProblem({settings.calibreMm, settings.dpi, settings.look}))
    return problem;
  if (!(settings.gaugeMm >= score::kMinGaugeMm && settings.gaugeMm <= score::kMaxGaugeMm))
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
  if (const auto fit = shots::FindAim(picture, *settings.face, settings.dpi, &reason))
    search.centre = fit->centre;
  else
    search.warning = "no point of aim: " + reason;
  return search;
}

CalibratedResult AnalysePicture(const PictureView& picture, const CalibratedSettings& settings,
                                Observer* observer) {
  if (auto problem = SettingsProblem(settings)) throw std::invalid_argument(*problem);
  CalibratedResult result;
  result.width = picture.width;
  result.height = picture.height;
  result.selection = settings.selection.value_or(WholePicture(picture.width, picture.height));
  result.settings = settings;
  // The selection's bounds are inclusive, and column W and row H lie past the picture.
  const Selection& s = result.selection;
  const shots::Region region{s.SelLeft, s.SelTop, std::min(s.SelRight + 1, picture.width),
                             std::min(s.SelBottom + 1, picture.height)};
  shots::ShotSettings shotSettings{settings.calibreMm, settings.dpi, settings.look};
  // The shots fired are those in the selection analysed.
  shotSettings.expectedShots = settings.expectedShots;
  const shots::ShotResult found = shots::FindShots(
      picture, shotSettings, region,
      [observer](double fraction) { return observer == nullptr || observer->Progress(fraction); });
  if (found.cancelled) {
    result.cancelled = true;
    return result;
  }
  result.levels = found.levels;
  std::vector<Shot> shots;
  shots.reserve(found.shots.size());
  for (const shots::Shot& shot : found.shots) {
    Shot one;
    one.x = shot.x;
    one.y = shot.y;
    one.look = shot.look;
    one.contrast = shot.contrast;
    one.placed = shot.placed;
    shots.push_back(one);
  }
  result.shots = std::move(shots);
  return Rescore(std::move(result), settings, LookForBlack(picture, settings));
}

CalibratedResult Rescore(CalibratedResult result, const CalibratedSettings& settings,
                         const BlackSearch& black) {
  result.settings = settings;
  result.black = black;
  result.warnings.clear();
  if (!black.warning.empty()) result.warnings.push_back(black.warning);
  std::vector<Shot> shots = std::move(result.shots);
  return Rescore(std::move(result), std::move(shots));
}

CalibratedResult Rescore(CalibratedResult result, std::vector<Shot> shots) {
  const CalibratedSettings& settings = result.settings;
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
  for (const Shot& shot : shots) pixels.push_back({shot.x, shot.y});
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

std::optional<CountDifference> CountDiffers(const CalibratedResult& result) {
  const std::optional<int> expected = result.settings.expectedShots;
  const int found = static_cast<int>(result.shots.size());
  if (!expected || *expected == found) return std::nullopt;
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
