#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "shots/shots.h"

namespace holescan::shots {
namespace {

int Distance(std::uint32_t a, std::uint32_t b) {
  int sum = 0;
  for (int shift : {0, 8, 16}) {
    const int d = static_cast<int>((a >> shift) & 0xFFu) - static_cast<int>((b >> shift) & 0xFFu);
    sum += d < 0 ? -d : d;
  }
  return sum;
}

TEST(Annotated, outlines_each_shot_in_a_colour_that_stands_out_and_leaves_the_rest) {
  for (std::uint32_t paper : {Rgb(255, 255, 255), Rgb(200, 20, 20), Rgb(20, 20, 20)}) {
    Picture picture(200, 100, paper);
    const std::array<Shot, 1> shots{Shot{50, 50, 30, HoleLook::Dark, 100}};
    const std::array<Mark, 1> marks{Mark{150, 50, Rgb(0, 0, 255)}};
    const Picture out = Annotated(picture.View(), shots, marks);
    ASSERT_EQ(out.Width(), 200);
    ASSERT_EQ(out.Height(), 100);
    EXPECT_GT(Distance(out.At(65, 50), paper), 200);  // on the circle, right of the centre
    EXPECT_GT(Distance(out.At(50, 35), paper), 200);  // and above it
    EXPECT_EQ(out.At(50, 50), paper);                 // the hole itself stays visible
    EXPECT_EQ(out.At(5, 95), paper);
    EXPECT_LT(Distance(out.At(150, 50), Rgb(0, 0, 255)), 40);  // the mark's cross
  }
  EXPECT_EQ(Annotated(PictureView{}, {}).Width(), 0);
}

}  // namespace
}  // namespace holescan::shots
