#include "io/bmp_check.h"

#include <gtest/gtest.h>

#include "support/picture_writers.h"

namespace holescan {
namespace {

using testing::Bytes;

TEST(BmpCheck, resolution_is_the_pixels_per_metre_in_inches) {
  const Bytes bmp = testing::BmpHeaders(4, 4, 24, 0, 0, 54, 54 + 48);
  const BmpHeader header = ReadBmpHeader(ByteSource(bmp));
  ASSERT_TRUE(header.resolution);
  EXPECT_DOUBLE_EQ(header.resolution->x, 2835 * 0.0254);  // 72.009, kept exact
  EXPECT_NEAR(header.resolution->y, 72.009, 1e-9);
  const Bytes fine = testing::BmpHeaders(4, 4, 24, 0, 0, 54, 54, 23622, 11811);
  EXPECT_NEAR(ReadBmpHeader(ByteSource(fine)).resolution->x, 600.0, 0.01);
  EXPECT_NEAR(ReadBmpHeader(ByteSource(fine)).resolution->y, 300.0, 0.01);
}

TEST(BmpCheck, zero_or_negative_pixels_per_metre_store_no_resolution) {
  for (const auto& [x, y] : {std::pair{0, 2835}, std::pair{2835, 0}, std::pair{-2835, 2835}}) {
    const Bytes bmp = testing::BmpHeaders(4, 4, 24, 0, 0, 54, 54, x, y);
    EXPECT_FALSE(ReadBmpHeader(ByteSource(bmp)).resolution) << x << " " << y;
  }
}

TEST(BmpCheck, headers_and_rows_must_all_be_there) {
  const Bytes bmp = testing::Bmp24(5, 3, [](int, int) { return 0x808080u; });
  const BmpHeader header = ReadBmpHeader(ByteSource(bmp));
  EXPECT_EQ(header.width, 5);
  EXPECT_EQ(header.height, 3);
  EXPECT_EQ(CheckBmpData(ByteSource(bmp), header), Verdict::Complete);
  EXPECT_EQ(CheckBmpData(ByteSource(std::string_view(bmp).substr(0, bmp.size() - 1)), header),
            Verdict::Truncated);
  EXPECT_EQ(ReadBmpHeader(ByteSource(std::string_view(bmp).substr(0, 40))).headers,
            Verdict::Truncated);
}

}  // namespace
}  // namespace holescan
