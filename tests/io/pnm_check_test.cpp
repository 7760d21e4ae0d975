#include "io/pnm_check.h"

#include <gtest/gtest.h>

#include <string>

namespace holescan {
namespace {

std::int64_t Minimum(const std::string& bytes, std::int64_t width, std::int64_t height) {
  return PnmMinimumSize(ByteSource(bytes), width, height);
}
std::int64_t DecoderBytes(const std::string& bytes) {
  return PnmDecoderBytesPerPixel(ByteSource(bytes));
}

TEST(PnmCheck, minimum_size_is_a_bit_or_a_sample_a_pixel) {
  EXPECT_EQ(Minimum("P4\n9 2\n", 9, 2), 4);
  EXPECT_EQ(Minimum("P5\n9 2\n255\n", 9, 2), 18);
  EXPECT_EQ(Minimum("P6\n9 2\n255\n", 9, 2), 54);
  EXPECT_EQ(Minimum("P3\n9 2\n255\n", 9, 2), 54);
  EXPECT_EQ(Minimum("P", 9, 2), 0);
}

TEST(PnmCheck, decoder_bytes_follow_kind_and_sample_depth) {
  EXPECT_EQ(DecoderBytes("P6\n640 480\n255\n"), 0);
  EXPECT_EQ(DecoderBytes("P6 # a comment\n640\t480 65535\n"), 8);
  EXPECT_EQ(DecoderBytes("P5\n640 480\n255\n"), 1);
  EXPECT_EQ(DecoderBytes("P4\n640 480\n"), 1);
  EXPECT_EQ(DecoderBytes("P2\n# 99999\n640 480\n4095\n"), 8);
}

}  // namespace
}  // namespace holescan
