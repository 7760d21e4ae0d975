#include "pixel/memory_budget.h"

#include <gtest/gtest.h>

namespace holescan {
namespace {

TEST(MemoryBudget, takes_what_fits_and_names_what_does_not) {
  MemoryBudget budget(std::int64_t{1} << 20);
  budget.Take(1000, "a");
  budget.Take((1 << 20) - 1000, "b");  // exactly full
  EXPECT_EQ(budget.Used(), 1 << 20);
  try {
    budget.Take(1, "3 dark pixels");
    FAIL() << "took more than the budget";
  } catch (const BudgetExceeded& error) {
    EXPECT_STREQ(error.what(), "3 dark pixels need more than the memory budget of 1 MiB");
  }
  EXPECT_EQ(budget.Used(), 1 << 20);  // a refused part takes nothing
  budget.Give(1000);
  EXPECT_NO_THROW(budget.Take(1000, "c"));
}

TEST(MemoryBudget, sizes_read_and_write_in_powers_of_1024) {
  EXPECT_EQ(ParseByteSize("4G"), std::int64_t{4} << 30);
  EXPECT_EQ(ParseByteSize("512m"), std::int64_t{512} << 20);
  EXPECT_EQ(ParseByteSize("3KiB"), 3072);
  EXPECT_EQ(ParseByteSize("2GB"), std::int64_t{2} << 30);
  EXPECT_EQ(ParseByteSize("1048576"), 1048576);
  for (const char* bad : {"", "G", "-4G", "4X", "1.5G", "0", "9999999999T"})
    EXPECT_EQ(ParseByteSize(bad), -1) << bad;
  EXPECT_EQ(ByteSizeText(std::int64_t{4} << 30), "4 GiB");
  EXPECT_EQ(ByteSizeText(1536 << 20), "1536 MiB");
  EXPECT_EQ(ByteSizeText(1000), "1000 bytes");
}

}  // namespace
}  // namespace holescan
