// picture_limits.h - the bounds a picture file must keep, checked on the size it declares
// before any pixel is decoded.
//
// The memory budget counts the returned picture (4 bytes a pixel) and the copy a decoder
// makes in a layout of its own (1 to 8 bytes a pixel: palette indices, grey bytes, ARGB
// words, 16-bit channels, a progressive JPEG's coefficients), both alive at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pixel/picture.h"

namespace holescan {

inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 28;  // 1 GiB at 4 bytes
inline constexpr std::int64_t kDefaultMemoryBudget = std::int64_t{4} << 30;

struct PictureLimits {
  std::int64_t maxSide = kMaxPictureSide;
  std::int64_t maxPixels = kMaxPicturePixels;
  std::int64_t memoryBudget = kDefaultMemoryBudget;  // bytes
};

// "too large: 40000 x 10 pixels (the limit is 32766 on a side)" or the pixel-count
// equivalent; nothing when the size keeps the limits.
std::optional<std::string> SizeRefusal(std::int64_t width, std::int64_t height,
                                       const PictureLimits& limits);

// A refusal naming the budget when `width` x `height` pixels at `bytesPerPixel` (the picture
// and the decoder's own copy together) need more than it; nothing otherwise.
std::optional<std::string> BudgetRefusal(std::int64_t width, std::int64_t height,
                                         std::int64_t bytesPerPixel, const PictureLimits& limits);

// "40000 x 10 pixels".
std::string SizeText(std::int64_t width, std::int64_t height);

// "4 GiB", "1536 MiB", "65536 bytes": the largest unit that states `bytes` exactly.
std::string ByteSizeText(std::int64_t bytes);

}  // namespace holescan
