#include "io/png_check.h"

#include <gtest/gtest.h>

#include "support/picture_writers.h"

namespace holescan {
namespace {

using testing::Bytes;

Bytes Phys(std::uint32_t x, std::uint32_t y, char unit) {
  Bytes body;
  testing::PutBe32(body, x);
  testing::PutBe32(body, y);
  body.push_back(unit);
  return testing::PngChunk("pHYs", body);
}

PngInfo Read(const Bytes& chunks) {
  return ReadPng(ByteSource(testing::PngRgb(
      2, 2, [](int, int) { return 0u; }, chunks)));
}

TEST(PngCheck, reads_the_header) {
  const PngInfo png = Read({});
  EXPECT_TRUE(png.header);
  EXPECT_EQ(png.width, 2);
  EXPECT_EQ(png.height, 2);
  EXPECT_EQ(png.bitDepth, 8);
  EXPECT_EQ(png.colourType, 2);
  EXPECT_FALSE(png.resolution);
}

TEST(PngCheck, resolution_comes_from_phys_in_pixels_per_metre) {
  const PngInfo png = Read(Phys(11811, 2835, '\x01'));
  ASSERT_TRUE(png.resolution);
  EXPECT_NEAR(png.resolution->x, 300.0, 0.001);
  EXPECT_DOUBLE_EQ(png.resolution->y, 2835 * 0.0254);
  EXPECT_FALSE(Read(Phys(11811, 11811, '\x00')).resolution);  // an aspect ratio only
  EXPECT_FALSE(Read(Phys(0, 11811, '\x01')).resolution);
  EXPECT_FALSE(Read(Phys(11811, 11811, '\x02')).resolution);  // no such unit
  // Cut inside the chunk.
  const Bytes cut = testing::PngRgb(
      2, 2, [](int, int) { return 0u; }, Phys(11811, 11811, 1));
  EXPECT_FALSE(ReadPng(ByteSource(std::string_view(cut).substr(0, 33 + 12))).resolution);
}

TEST(PngCheck, text_chunks_are_refused_beyond_a_small_total) {
  const Bytes keyword("Comment\0", 8);
  const Bytes plain = testing::PngChunk("tEXt", keyword + Bytes(1000, 'a'));
  EXPECT_FALSE(PngTextRefusal(Read(plain + plain)));
  const Bytes compressed = testing::PngChunk("zTXt", keyword + Bytes(40000, 'z'));
  EXPECT_FALSE(PngTextRefusal(Read(compressed)));
  EXPECT_EQ(PngTextRefusal(Read(compressed + compressed)),
            "too much text: 80016 bytes of compressed text chunks (the limit is 65536)");
  // iTXt: compressed when the flag after the keyword says so.
  const Bytes international =
      testing::PngChunk("iTXt", keyword + Bytes("\x01\x00", 2) + Bytes(70000, 'i'));
  EXPECT_TRUE(PngTextRefusal(Read(international)));
  const Bytes uncompressed =
      testing::PngChunk("iTXt", keyword + Bytes("\x00\x00", 2) + Bytes(600000, 'i'));
  EXPECT_FALSE(PngTextRefusal(Read(uncompressed)));
  EXPECT_EQ(PngTextRefusal(Read(uncompressed + uncompressed)),
            "too much text: 1200020 bytes of text chunks (the limit is 1048576)");
}

TEST(PngCheck, decoder_bytes_follow_depth_and_colour_type) {
  PngInfo png;
  png.bitDepth = 8;
  png.colourType = 2;
  EXPECT_EQ(PngDecoderBytesPerPixel(png), 0);
  png.colourType = 3;
  EXPECT_EQ(PngDecoderBytesPerPixel(png), 1);
  png.colourType = 6;
  EXPECT_EQ(PngDecoderBytesPerPixel(png), 4);
  png.bitDepth = 16;
  EXPECT_EQ(PngDecoderBytesPerPixel(png), 8);
}

}  // namespace
}  // namespace holescan
