#include "score/sheet.h"

#include <cmath>
#include <stdexcept>

namespace holescan::score {

std::string_view AimSourceName(AimSource source) {
  switch (source) {
    case AimSource::Face:
      return "face";
    case AimSource::Given:
      return "given";
    case AimSource::Group:
      return "group";
    case AimSource::BlackNotFound:
      return "group-black-not-found";
  }
  return "group";
}

Sheet Score(std::span<const ShotPx> shots, const SheetOptions& options) {
  if (!std::isfinite(options.dpi) || options.dpi <= 0) {
    throw std::invalid_argument("resolution must be a positive number of pixels per inch");
  }
  if (!std::isfinite(options.calibreMm) || options.calibreMm <= 0) {
    throw std::invalid_argument("calibre must be a positive number of mm");
  }
  if (options.face && (!std::isfinite(options.gaugeMm) || options.gaugeMm < kMinGaugeMm ||
                       options.gaugeMm > kMaxGaugeMm)) {
    throw std::invalid_argument("gauge must be 1 to 20 mm");
  }
  Sheet sheet;
  sheet.dpi = options.dpi;
  sheet.calibreMm = options.calibreMm;
  sheet.face = options.face;
  if (options.aim) {
    sheet.aim = *options.aim;
    sheet.source = options.source;
  } else {
    sheet.source = AimSource::Group;
    double sumX = 0, sumY = 0;
    for (const ShotPx& shot : shots) {
      sumX += shot.x;
      sumY += shot.y;
    }
    if (!shots.empty()) {
      const double n = static_cast<double>(shots.size());
      sheet.aim = {sumX / n, sumY / n};
    }
  }

  const double mmPerPixel = MmPerPixel(options.dpi);
  std::vector<PointMm> points;
  points.reserve(shots.size());
  sheet.shots.reserve(shots.size());
  if (options.face) sheet.total = Totals{};
  int tenths = 0;
  for (const ShotPx& shot : shots) {
    ScoredShot scored;
    scored.xPx = shot.x;
    scored.yPx = shot.y;
    // Picture rows go down, elevation goes up.
    scored.xMm = (shot.x - sheet.aim.x) * mmPerPixel;
    scored.yMm = (sheet.aim.y - shot.y) * mmPerPixel;
    if (options.face) {
      scored.score = ScoreShot(*options.face, std::hypot(scored.xMm, scored.yMm), options.gaugeMm);
      sheet.total->score += scored.score->score;
      tenths += scored.score->tenths;
      if (scored.score->innerTen) ++sheet.total->innerTens;
    }
    points.push_back({scored.xMm, scored.yMm});
    sheet.shots.push_back(scored);
  }
  if (sheet.total) sheet.total->decimal = static_cast<double>(tenths) / 10.0;
  sheet.group = Group(points, options.calibreMm);
  return sheet;
}

}  // namespace holescan::score
