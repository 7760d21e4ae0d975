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

// A batch reuses one picture and one map: smaller sizes keep the memory, and a reset map is
// zero again however it was written.
TEST(Picture, reshape_and_reset_keep_the_memory_and_a_reset_map_is_zero) {
  Picture picture(3000, 2000, 0);
  EXPECT_TRUE(AllPixelsAre(picture, 0));
  const std::uint32_t* memory = picture.Data();
  picture.Reshape(2000, 1500);
  EXPECT_EQ(picture.Data(), memory);
  EXPECT_EQ(picture.Width(), 2000);
  picture.Fill(Rgb(9, 9, 9));
  EXPECT_TRUE(AllPixelsAre(picture, Rgb(9, 9, 9)));
  const Picture copy = picture;
  EXPECT_TRUE(AllPixelsAre(copy, Rgb(9, 9, 9)));

  DarkMap map(1999, 999);
  EXPECT_EQ(std::count(map.Bytes().begin(), map.Bytes().end(), 0), 2000 * 1000);
  map.At(5, 5) = 7;
  map.Reset(999, 499);
  EXPECT_EQ(map.Row(0), map.Bytes().data());
  EXPECT_EQ(map.Bytes().size(), 1000u * 500u);
  EXPECT_EQ(std::count(map.Bytes().begin(), map.Bytes().end(), 0), 1000 * 500);
  map.Reset(2999, 1999);  // larger: new memory, zero as well
  EXPECT_EQ(std::count(map.Bytes().begin(), map.Bytes().end(), 0), 3000 * 2000);
}

}  // namespace
}  // namespace holescan
