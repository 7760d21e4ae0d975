// The row scan (DarknessRow, DarknessRowPortable) against the darkness byte table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "pixel/darkness.h"
#include "pixel/picture.h"

namespace holescan {
namespace {

// A pixel word with the component sum 0..765, shared out between the channels
// in one of three ways, with an alpha the scan must ignore.
std::uint32_t PixelOfSum(int sum, int variant) {
  const int red = std::min(255, sum / (variant % 3 + 1));
  const int green = std::min(255, sum - red);
  const int blue = sum - red - green;
  return static_cast<std::uint32_t>(variant * 37 % 256) << 24 |
         (Rgb(static_cast<std::uint32_t>(red), static_cast<std::uint32_t>(green),
              static_cast<std::uint32_t>(blue)) &
          0xFFFFFFu);
}

struct Scanned {
  std::vector<std::uint8_t> dark;
  std::vector<std::uint32_t> grey;
  std::vector<DarkBlock> blocks;
};

using RowScan = int (*)(const std::uint32_t*, int, std::uint8_t*, std::uint32_t*, DarkBlock*);

Scanned Scan(RowScan scan, const std::vector<std::uint32_t>& pixels) {
  const int count = static_cast<int>(pixels.size());
  Scanned out{std::vector<std::uint8_t>(pixels.size(), 0),
              std::vector<std::uint32_t>(pixels.size(), 0),
              std::vector<DarkBlock>(static_cast<std::size_t>(DarknessBlocks(count)), {-1, 0})};
  const int found = scan(pixels.data(), count, out.dark.data(), out.grey.data(), out.blocks.data());
  out.blocks.resize(static_cast<std::size_t>(found));
  return out;
}

// Both implementations: the one this processor runs and the portable one.
class DarknessRowTest : public ::testing::TestWithParam<RowScan> {};

// Rows of every length around the block size and longer than all sums, with
// every sum in every position of a block (and of the short last block): each
// pixel gets the table's byte and grey word, and exactly the dark pixels are
// reported, block by block.
TEST_P(DarknessRowTest, equals_the_table_for_every_sum_in_every_position) {
  const auto& table = DarknessByteTable();
  for (const int count : {0, 1, 5, 31, 32, 33, 63, 64, 65, 100, 766, 800, 3000}) {
    for (const int step : {1, 7, 31, 33}) {
      std::vector<std::uint32_t> pixels(static_cast<std::size_t>(count));
      for (int i = 0; i < count; ++i)
        pixels[static_cast<std::size_t>(i)] = PixelOfSum(i * step % (kMaxColourSum + 1), i);
      const Scanned scanned = Scan(GetParam(), pixels);

      std::vector<std::pair<int, std::uint32_t>> expected;
      for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const std::uint8_t v = table[static_cast<std::size_t>(ColourSum(pixels[at]))];
        ASSERT_EQ(scanned.dark[at], v) << "count " << count << " step " << step << " pixel " << i;
        ASSERT_EQ(scanned.grey[at], Rgb(v, v, v)) << "count " << count << " pixel " << i;
        if (v <= kDarkThreshold) continue;
        const int first = i / kDarknessBlock * kDarknessBlock;
        if (expected.empty() || expected.back().first != first) expected.emplace_back(first, 0);
        expected.back().second |= std::uint32_t{1} << (i - first);
      }
      ASSERT_EQ(scanned.blocks.size(), expected.size()) << "count " << count << " step " << step;
      for (std::size_t b = 0; b < expected.size(); ++b) {
        EXPECT_EQ(scanned.blocks[b].first, expected[b].first) << "count " << count;
        EXPECT_EQ(scanned.blocks[b].pixels, expected[b].second) << "count " << count;
      }
    }
  }
}

TEST_P(DarknessRowTest, reports_no_block_for_light_pixels_and_the_last_short_block) {
  std::vector<std::uint32_t> pixels(200, Rgb(20, 20, 16));  // sum 56: the darkest light pixel
  Scanned scanned = Scan(GetParam(), pixels);
  EXPECT_TRUE(scanned.blocks.empty());
  EXPECT_EQ(scanned.dark[0], 121);

  pixels[199] = Rgb(20, 20, 15);  // sum 55, the last pixel of the short last block
  pixels[32] = Rgb(0, 0, 0);      // the first pixel of the second block
  scanned = Scan(GetParam(), pixels);
  ASSERT_EQ(scanned.blocks.size(), 2u);
  EXPECT_EQ(scanned.blocks[0].first, 32);
  EXPECT_EQ(scanned.blocks[0].pixels, 1u);
  EXPECT_EQ(scanned.blocks[1].first, 192);
  EXPECT_EQ(scanned.blocks[1].pixels, 1u << 7);
  EXPECT_EQ(scanned.dark[199], 254);
  EXPECT_EQ(scanned.dark[32], 255);
  EXPECT_EQ(scanned.grey[32], Rgb(255, 255, 255));
}

INSTANTIATE_TEST_SUITE_P(Scans, DarknessRowTest,
                         ::testing::Values(&DarknessRow, &DarknessRowPortable));

}  // namespace
}  // namespace holescan
