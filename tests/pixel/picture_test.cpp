// Picture buffers: filling, small (row copies) and large (streamed past the caches).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "pixel/picture.h"

namespace holescan {
namespace {

bool AllPixelsAre(const Picture& picture, std::uint32_t colour) {
  const std::uint32_t* words = picture.Data();
  const std::size_t count = picture.Stride() * static_cast<std::size_t>(picture.Height());
  return std::all_of(words, words + count, [colour](std::uint32_t w) { return w == colour; });
}

TEST(Picture, fill_sets_every_pixel_of_small_and_odd_sizes) {
  for (const auto& [width, height] : {std::pair{1, 1}, {3, 7}, {553, 433}, {1, 5000}}) {
    Picture picture(width, height, Rgb(1, 2, 3));
    picture.Fill(Rgb(0, 0, 64));
    EXPECT_TRUE(AllPixelsAre(picture, Rgb(0, 0, 64))) << width << " x " << height;
  }
}

// Above four megapixels the fill streams past the caches; odd sizes leave a
// head and a tail of single words around the 16-byte stores.
TEST(Picture, fill_sets_every_pixel_of_large_pictures) {
  for (const auto& [width, height] : {std::pair{2048, 2048}, {2049, 2051}}) {
    Picture picture(width, height, 0);
    picture.Fill(0xFF000040u);
    EXPECT_TRUE(AllPixelsAre(picture, 0xFF000040u)) << width << " x " << height;
    picture.Fill(Rgb(255, 255, 255));
    EXPECT_TRUE(AllPixelsAre(picture, Rgb(255, 255, 255))) << width << " x " << height;
  }
}

TEST(Picture, fill_of_an_empty_picture_does_nothing) {
  Picture empty(0, 0, 0);
  empty.Fill(Rgb(1, 1, 1));
  Picture noColumns(0, 10, 0);
  noColumns.Fill(Rgb(1, 1, 1));
  EXPECT_EQ(noColumns.Height(), 10);
}

}  // namespace
}  // namespace holescan
