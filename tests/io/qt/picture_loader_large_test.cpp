// Pictures of hundreds of megapixels load within the memory budget: Qt's own allocation
// limit (128 MiB) would refuse them. Slow (about 800 MB of pixels each), so labelled "slow".
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "hostile_files.h"
#include "io/qt/picture_loader.h"
#include "support/picture_writers.h"
#include "support/scratch_folder.h"

namespace holescan {
namespace {

class LargePicture : public testing::ScratchFolder {};

TEST_F(LargePicture, two_hundred_megapixels_load) {
  // A 1-bit PBM: a 25 MB file that Qt decodes through its allocation limit, counted at
  // 32 bits a pixel.
  constexpr int kWidth = 16384;
  constexpr int kHeight = 12208;  // 200,015,872 pixels
  std::string pbm = "P4\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n";
  pbm.append(static_cast<std::size_t>(kWidth / 8) * kHeight, '\0');
  pbm[pbm.size() - 1] = '\x01';  // the last pixel black, every other white
  const PictureFile file = LoadPictureFile(Write("large.pbm", pbm));
  ASSERT_TRUE(file.loaded) << file.reason;
  EXPECT_EQ(file.picture.Width(), kWidth);
  EXPECT_EQ(file.picture.Height(), kHeight);
  EXPECT_EQ(file.picture.At(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(file.picture.At(kWidth - 1, kHeight - 1), 0xFF000000u);
}

TEST_F(LargePicture, sixteen_bit_colour_loads_within_the_budget) {
  // 12000 x 12000: Qt decodes it into 8 bytes a pixel (1.1 GB) beside the picture.
  const std::string path = Path("sixteen.png");
  hostile::WriteSixteenBitPng(path, 12000);
  const PictureFile file = LoadPictureFile(path);
  ASSERT_TRUE(file.loaded) << file.reason;
  EXPECT_EQ(file.picture.Width(), 12000);
  EXPECT_EQ(file.picture.At(11999, 11999), 0xFF000000u);
  PictureLimits limits;
  limits.memoryBudget = std::int64_t{1} << 30;
  EXPECT_EQ(LoadPictureFile(path, limits).reason,
            "too large: 12000 x 12000 pixels need 1648 MiB to decode (the memory budget is 1 GiB)");
}

}  // namespace
}  // namespace holescan
