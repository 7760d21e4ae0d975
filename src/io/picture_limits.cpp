#include "io/picture_limits.h"

namespace holescan {

std::string SizeText(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::string ByteSizeText(std::int64_t bytes) {
  static constexpr const char* kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (unit < 4 && bytes != 0 && bytes % 1024 == 0) {
    bytes /= 1024;
    ++unit;
  }
  return std::to_string(bytes) + " " + kUnits[unit];
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
  const std::int64_t needed = width * height * bytesPerPixel;
  if (needed <= limits.memoryBudget) return std::nullopt;
  constexpr std::int64_t kMiB = 1 << 20;
  return "too large: " + SizeText(width, height) + " need " +
         std::to_string((needed + kMiB - 1) / kMiB) + " MiB to decode (the memory budget is " +
         ByteSizeText(limits.memoryBudget) + ")";
}

}  // namespace holescan
