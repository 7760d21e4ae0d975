#include "io/picture_limits.h"

#include <gtest/gtest.h>

namespace holescan {
namespace {

TEST(PictureLimits, sizes_at_the_limits_pass_and_one_more_is_refused) {
  const PictureLimits limits;
  EXPECT_FALSE(SizeRefusal(32766, 8192, limits));
  EXPECT_EQ(SizeRefusal(32767, 1, limits),
            "too large: 32767 x 1 pixels (the limit is 32766 on a side)");
  EXPECT_FALSE(SizeRefusal(16384, 16384, limits));
  EXPECT_EQ(SizeRefusal(16384, 16385, limits),
            "too large: 16384 x 16385 pixels (the limit is 268435456 pixels)");
}

TEST(PictureLimits, budget_counts_the_decoders_bytes_per_pixel) {
  PictureLimits limits;
  limits.memoryBudget = std::int64_t{1} << 30;
  EXPECT_FALSE(BudgetRefusal(16384, 16384, 4, limits));
  EXPECT_EQ(BudgetRefusal(16384, 16384, 5, limits),
            "too large: 16384 x 16384 pixels need 1280 MiB to decode (the memory budget is 1 GiB)");
  EXPECT_FALSE(BudgetRefusal(16384, 16384, 12, PictureLimits{}));  // 3 GiB of the default 4
}

TEST(PictureLimits, byte_sizes_name_the_largest_exact_unit) {
  EXPECT_EQ(ByteSizeText(std::int64_t{4} << 30), "4 GiB");
  EXPECT_EQ(ByteSizeText(1536 << 20), "1536 MiB");
  EXPECT_EQ(ByteSizeText(65536), "64 KiB");
  EXPECT_EQ(ByteSizeText(1000), "1000 bytes");
  EXPECT_EQ(ByteSizeText(0), "0 bytes");
}

}  // namespace
}  // namespace holescan
