#include "pixel/darkness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace holescan {
namespace {

TEST(Darkness, components_split_the_colour_value_bytes) {
  EXPECT_EQ(GetRed(0x123456), 0x56);
  EXPECT_EQ(GetGreen(0x123456), 0x34);
  EXPECT_EQ(GetBlue(0x123456), 0x12);
  EXPECT_EQ(GetRed(0xFFFFFF), 255);
  EXPECT_EQ(GetGreen(0xFFFFFF), 255);
  EXPECT_EQ(GetBlue(0xFFFFFF), 255);
  EXPECT_THROW(GetBlue(0x1000000), ColourOverflow);
  EXPECT_THROW(GetBlue(-5), ColourOverflow);
}

TEST(Darkness, components_equal_byte_extraction_for_every_colour) {
  for (std::int32_t colour = 0; colour <= 0xFFFFFF; colour += 997) {
    ASSERT_EQ(GetRed(colour), colour & 0xFF) << colour;
    ASSERT_EQ(GetGreen(colour), (colour >> 8) & 0xFF) << colour;
    ASSERT_EQ(GetBlue(colour), (colour >> 16) & 0xFF) << colour;
  }
}

TEST(Darkness, weight_table_edges) {
  struct Row {
    int sum;
    float weight;
    int byte;
  };
  const Row rows[] = {{0, 1.0f, 255},       {20, 1.0f, 255},      {21, 0.999996f, 255},
                      {42, 0.998064f, 255}, {43, 0.997884f, 254}, {55, 0.9951f, 254},
                      {56, 0.473684f, 121}, {57, 0.461538f, 118}, {100, 0.219512f, 56},
                      {765, 0.024096f, 6}};
  for (const Row& row : rows) {
    EXPECT_NEAR(DarknessWeightOfSum(row.sum), row.weight, 5e-7) << row.sum;
    EXPECT_EQ(DarknessByte(DarknessWeightOfSum(row.sum)), row.byte) << row.sum;
  }
  EXPECT_EQ(DarknessWeightOfSum(255), 18.0f / 237.0f);
  EXPECT_EQ(DarknessWeightOfColour(-1), 0.0f);
  EXPECT_EQ(DarknessByte(0.0f), 0);
}

// The stored byte computed step by step from a colour: components, sum as a float,
// weight, product in single precision, rounding half to even.
int StepByStepByte(std::int32_t colour) {
  const float t = static_cast<float>(GetGreen(colour) + GetRed(colour) + GetBlue(colour));
  float w;
  if (t <= 20) {
    w = 1;
  } else if (t <= 55) {
    w = static_cast<float>(1.0 - std::pow(0.002 * (static_cast<double>(t) - 20.0), 2.0));
  } else {
    w = static_cast<float>(18.0 / (static_cast<double>(t) - 18.0));
  }
  const float product = w * 255.0f;
  return static_cast<int>(std::nearbyint(product));
}

TEST(Darkness, table_equals_step_by_step_computation_for_every_sum) {
  const auto& table = DarknessByteTable();
  for (int s = 0; s <= kMaxColourSum; ++s) {
    // Spread the sum over the three components in two different ways.
    const int red = std::min(s, 255);
    const int green = std::min(s - red, 255);
    const int blue = s - red - green;
    const std::int32_t colour = red + 256 * green + 65536 * blue;
    const std::int32_t other = blue + 256 * red + 65536 * green;
    ASSERT_EQ(table[static_cast<std::size_t>(s)], StepByStepByte(colour)) << s;
    ASSERT_EQ(table[static_cast<std::size_t>(s)], StepByStepByte(other)) << s;
    ASSERT_EQ(DarknessByte(DarknessWeightOfColour(colour)), table[static_cast<std::size_t>(s)]);
  }
}

TEST(Darkness, dark_bytes_mean_exactly_sums_up_to_55) {
  const auto& table = DarknessByteTable();
  for (int s = 0; s <= kMaxColourSum; ++s)
    EXPECT_EQ(table[static_cast<std::size_t>(s)] > kDarkThreshold, s <= 55) << s;
}

TEST(Darkness, pixel_words_map_to_colour_values) {
  EXPECT_EQ(ColourValue(0xFF123456u), 0x563412);
  EXPECT_EQ(ColourSum(0x80FF0102u), 255 + 1 + 2);
}

TEST(Darkness, rounding_goes_half_to_even) {
  EXPECT_EQ(RoundHalfEven(10.5), 10);
  EXPECT_EQ(RoundHalfEven(11.5), 12);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(10.4), 10);
}

}  // namespace
}  // namespace holescan
