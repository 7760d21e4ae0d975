#include "io/picture_limits.h"

#include <algorithm>

namespace holescan {

std::string SizeText(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::optional<std::string> SizeRefusal(std::int64_t width, std::int64_t height,
                                       const PictureLimits& limits) {
  if (width > limits.maxSide || height > limits.maxSide) {
    return "too large: " + SizeText(width, height) + " (the limit is " +
           std::to_string(limits.maxSide) + " on a side)";
  }
  if (width * height > limits.maxPixels) {
    return "too large: " + SizeText(width, height) + " (the limit is " +
           std::to_string(limits.maxPixels) + " pixels)";
  }
  return std::nullopt;
}

std::optional<std::string> BudgetRefusal(std::int64_t width, std::int64_t height,
                                         std::int64_t bytesPerPixel, const PictureLimits& limits) {
  // Sides are bounded by SizeRefusal first, so the product cannot overflow.
  const std::int64_t decoding = width * height * bytesPerPixel;
  const std::int64_t analysing = width * height * (4 + limits.analysisBytesPerPixel);
  const std::int64_t needed = std::max(decoding, analysing);
  if (needed <= limits.memoryBudget) return std::nullopt;
  constexpr std::int64_t kMiB = 1 << 20;
  return "too large: " + SizeText(width, height) + " need " +
         std::to_string((needed + kMiB - 1) / kMiB) + " MiB to " +
         (decoding >= analysing ? "decode" : "analyse") + " (the memory budget is " +
         ByteSizeText(limits.memoryBudget) + ")";
}

}  // namespace holescan
