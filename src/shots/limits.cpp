#include "shots/limits.h"

#include <cstdio>

namespace holescan::shots {
namespace {

std::string Figure(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::optional<std::string> ResolutionProblem(double dpi) {
  if (dpi >= kMinDpi && dpi <= kMaxDpi) return std::nullopt;
  return "the resolution must lie between " + Figure(kMinDpi) + " and " + Figure(kMaxDpi) +
         " pixels per inch";
}

std::optional<std::string> CalibreProblem(double mm) {
  if (mm >= kMinCalibreMm && mm <= kMaxCalibreMm) return std::nullopt;
  return "the calibre must lie between " + Figure(kMinCalibreMm) + " and " + Figure(kMaxCalibreMm) +
         " mm";
}

}  // namespace holescan::shots
