#include "score/aim.h"

namespace holescan::score {

std::optional<AimFit> FindAim(const PictureView&, const Face&, double, std::string* reason) {
  if (reason) *reason = "not yet";
  return std::nullopt;
}

}  // namespace holescan::score
