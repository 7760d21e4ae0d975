#include "io/tiff_check.h"

#include <gtest/gtest.h>

#include "support/picture_writers.h"

namespace holescan {
namespace {

using testing::Bytes;
using testing::TiffField;

std::vector<TiffField> Fields(std::vector<std::uint32_t> x, std::vector<std::uint32_t> y,
                              std::optional<std::uint32_t> unit) {
  std::vector<TiffField> fields = {{256, 4, {640}}, {257, 3, {480}}, {258, 3, {8, 8, 8}},
                                   {259, 3, {8}},   {277, 3, {3}},   {282, 5, x},
                                   {283, 5, y}};
  if (unit) fields.push_back({296, 3, {*unit}});
  return fields;
}

TiffDirectory Read(bool little, const std::vector<TiffField>& fields) {
  return ReadTiffDirectory(ByteSource(testing::Tiff(little, fields)));
}

TEST(TiffCheck, reads_size_samples_and_resolution_in_both_byte_orders) {
  for (const bool little : {true, false}) {
    const TiffDirectory tiff = Read(little, Fields({300, 1}, {1200, 2}, 2));
    ASSERT_TRUE(tiff.read) << little;
    EXPECT_EQ(tiff.width, 640);
    EXPECT_EQ(tiff.height, 480);
    EXPECT_EQ(tiff.bitsPerPixel, 24);  // three values of 8, not one
    EXPECT_EQ(tiff.compression, 8u);
    ASSERT_TRUE(tiff.resolution);
    EXPECT_EQ(*tiff.resolution, (Resolution{300, 600}));
  }
}

TEST(TiffCheck, resolution_unit_decides_and_defaults_to_inches) {
  EXPECT_EQ(Read(true, Fields({300, 1}, {300, 1}, std::nullopt)).resolution,
            (Resolution{300, 300}));
  const auto cm = Read(false, Fields({118, 1}, {236, 1}, 3)).resolution;
  ASSERT_TRUE(cm);
  EXPECT_DOUBLE_EQ(cm->x, 118 * 2.54);
  EXPECT_DOUBLE_EQ(cm->y, 236 * 2.54);
  EXPECT_FALSE(Read(true, Fields({300, 1}, {300, 1}, 1)).resolution);  // no absolute unit
  EXPECT_FALSE(Read(true, Fields({300, 1}, {300, 1}, 7)).resolution);
}

TEST(TiffCheck, malformed_resolutions_are_none) {
  EXPECT_FALSE(Read(true, Fields({300, 0}, {300, 1}, 2)).resolution);  // zero denominator
  EXPECT_FALSE(Read(false, Fields({0, 1}, {300, 1}, 2)).resolution);
  std::vector<TiffField> onlyX = Fields({300, 1}, {300, 1}, 2);
  onlyX.erase(onlyX.begin() + 6);
  EXPECT_FALSE(Read(true, onlyX).resolution);
  std::vector<TiffField> shortType = Fields({300, 1}, {300, 1}, 2);
  shortType[5] = {282, 3, {300}};
  EXPECT_FALSE(Read(true, shortType).resolution);
}

TEST(TiffCheck, minimum_size_counts_every_sample) {
  TiffDirectory tiff = Read(true, Fields({1, 1}, {1, 1}, 2));
  // 16000 x 16000 RGB deflate: 768 MB raw, at least 744 KB of file.
  EXPECT_EQ(TiffMinimumSize(tiff, 16000 * 16000), std::int64_t{16000} * 16000 * 3 / 1032);
  std::vector<TiffField> single = Fields({1, 1}, {1, 1}, 2);
  single[2] = {258, 3, {8}};  // one value for every sample
  tiff = Read(true, single);
  EXPECT_EQ(tiff.bitsPerPixel, 24);
  tiff.compression = 1;
  EXPECT_EQ(TiffMinimumSize(tiff, 100), 300);
  tiff.compression = 4;  // fax coding: no bound
  EXPECT_EQ(TiffMinimumSize(tiff, 100), 0);
  EXPECT_EQ(TiffMinimumSize(TiffDirectory{}, 100), 0);
}

}  // namespace
}  // namespace holescan
