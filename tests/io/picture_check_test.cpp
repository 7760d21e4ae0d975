#include "io/picture_check.h"

#include <gtest/gtest.h>

#include "support/picture_writers.h"

namespace holescan {
namespace {

using testing::Bytes;

PictureCheck Check(const Bytes& bytes, const PictureLimits& limits = {}) {
  const ByteSource file(bytes);
  std::array<char, kSniffBytes> head{};
  const std::size_t got = file.ReadAt(0, head.data(), head.size());
  return CheckPicture(file, SniffPictureFormat(std::string_view(head.data(), got)), -1, -1, limits);
}

std::uint32_t Grey(int, int) {
  return 0x808080u;
}

TEST(PictureCheck, whole_files_pass_with_their_size_and_resolution) {
  const PictureCheck bmp = Check(testing::Bmp24(7, 5, Grey));
  EXPECT_FALSE(bmp.refusal) << *bmp.refusal;
  EXPECT_EQ(bmp.width, 7);
  EXPECT_EQ(bmp.height, 5);
  EXPECT_NEAR(bmp.resolution->x, 72.009, 1e-9);
  EXPECT_EQ(bmp.bytesPerPixel, 4);  // 24 bits decode straight into the picture
  const PictureCheck png = Check(testing::PngRgb(7, 5, Grey));
  EXPECT_FALSE(png.refusal);
  EXPECT_EQ(png.width, 7);
  EXPECT_FALSE(png.resolution);
  const PictureCheck jpeg = Check(testing::JpegSkeleton(64, 48));
  EXPECT_FALSE(jpeg.refusal);
  EXPECT_EQ(jpeg.height, 48);
  EXPECT_FALSE(Check(testing::Gif(3, 2, [](int x, int) { return x; })).refusal);
}

TEST(PictureCheck, size_limits_come_before_the_walks) {
  const Bytes wide = testing::BmpHeaders(40000, 10, 24, 0, 0, 54, 54);
  EXPECT_EQ(Check(wide).refusal, "too large: 40000 x 10 pixels (the limit is 32766 on a side)");
  EXPECT_EQ(Check(testing::JpegSkeleton(40000, 10)).refusal,
            "too large: 40000 x 10 pixels (the limit is 32766 on a side)");
  EXPECT_EQ(Check(testing::BmpHeaders(7, 5, 24, 0, 0, 54, 54)).refusal, "truncated file");
}

TEST(PictureCheck, bombs_are_refused_before_decoding) {
  EXPECT_EQ(Check(testing::JpegSkeleton(64, 48, {}, 10000, 0xC2)).refusal,
            "too many scans: 10000 (the limit is 100)");
  EXPECT_FALSE(Check(testing::JpegSkeleton(64, 48, {}, 100, 0xC2)).refusal);
  const Bytes text = testing::PngChunk("zTXt", Bytes("a\0\0", 3) + Bytes(70000, 'x'));
  const Bytes png = testing::PngRgb(2, 2, Grey, text);
  EXPECT_EQ(Check(png).refusal,
            "too much text: 70003 bytes of compressed text chunks (the limit is 65536)");
  EXPECT_EQ(RefusalBeforeHeaders(ByteSource(png), PictureFormat::Png), Check(png).refusal);
  // 16000 x 16000 RGB deflate in a few bytes: BitsPerSample's three values make it 768 MB.
  const Bytes tiff = testing::Tiff(
      true,
      {{256, 3, {16000}}, {257, 3, {16000}}, {258, 3, {8, 8, 8}}, {259, 3, {8}}, {277, 3, {3}}},
      Bytes(200000, '\0'));
  EXPECT_EQ(Check(tiff).refusal, "damaged or truncated file");
  // A GIF whose codes end after 3 of 40000 pixels.
  Bytes gif = testing::Gif(3, 1, [](int x, int) { return x; });
  gif[6] = gif[6 + 780] = static_cast<char>(200);
  gif[8] = gif[8 + 780] = static_cast<char>(200);
  EXPECT_EQ(Check(gif).refusal, "truncated file");
}

TEST(PictureCheck, memory_budget_counts_the_decoders_copy) {
  PictureLimits limits;
  limits.memoryBudget = 100 * 100 * 4;
  const Bytes rgb = testing::Bmp24(100, 100, Grey);
  EXPECT_FALSE(Check(rgb, limits).refusal);
  const Bytes indexed = testing::BmpRle8(100, 100, Bytes("\0\1", 2));
  EXPECT_EQ(Check(indexed, limits).refusal,
            "too large: 100 x 100 pixels need 1 MiB to decode (the memory budget is 40000 bytes)");
  Bytes sixteen = testing::Png(testing::PngHeader(100, 100, 16, 2), Bytes(60100, '\0'));
  limits.memoryBudget = 100 * 100 * 12;
  EXPECT_FALSE(Check(sixteen, limits).refusal);
  limits.memoryBudget -= 1;
  EXPECT_TRUE(Check(sixteen, limits).refusal);
}

}  // namespace
}  // namespace holescan
