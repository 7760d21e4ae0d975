// A picture of 200 megapixels loads: Qt's own allocation limit (128 MiB) would refuse it.
// Slow (about 800 MB of pixels), so labelled "slow".
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "main_window/qt/picture_loader.h"
#include "test_files.h"

namespace holescan {
namespace {

class LargePicture : public testfiles::ScratchFolder {};

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

}  // namespace
}  // namespace holescan
