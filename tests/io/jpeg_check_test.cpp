#include "io/jpeg_check.h"

#include <gtest/gtest.h>

#include "support/picture_writers.h"

namespace holescan {
namespace {

using testing::Bytes;

Bytes Jfif(char units, std::uint32_t x, std::uint32_t y) {
  Bytes body("JFIF\0\x01\x02", 7);
  body.push_back(units);
  testing::PutBe16(body, x);
  testing::PutBe16(body, y);
  body += Bytes(2, '\0');  // no thumbnail
  return testing::JpegSegment(0xE0, body);
}

Bytes Exif(bool little, std::vector<std::uint32_t> x, std::uint32_t unit) {
  const Bytes tiff = testing::Tiff(little, {{282, 5, x}, {283, 5, x}, {296, 3, {unit}}});
  return testing::JpegSegment(0xE1, Bytes("Exif\0\0", 6) + tiff);
}

JpegInfo Check(const Bytes& segments, Verdict expected = Verdict::Complete) {
  JpegInfo info;
  EXPECT_EQ(CheckJpeg(ByteSource(testing::JpegSkeleton(64, 48, segments)), info), expected);
  return info;
}

TEST(JpegCheck, walks_to_the_end_marker_and_reads_the_frame) {
  const JpegInfo info = Check({});
  EXPECT_EQ(info.marker, 0xC0);
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 48);
  EXPECT_EQ(info.sampling.size(), 3u);
  EXPECT_EQ(info.scans, 1);
  EXPECT_FALSE(info.resolution);
  const Bytes whole = testing::JpegSkeleton(64, 48);
  JpegInfo cut;
  EXPECT_EQ(CheckJpeg(ByteSource(std::string_view(whole).substr(0, whole.size() - 1)), cut),
            Verdict::Truncated);
}

TEST(JpegCheck, jfif_density_in_inches_or_centimetres) {
  EXPECT_EQ(Check(Jfif(1, 300, 600)).resolution, (Resolution{300, 600}));
  const auto cm = Check(Jfif(2, 118, 118)).resolution;
  ASSERT_TRUE(cm);
  EXPECT_DOUBLE_EQ(cm->x, 118 * 2.54);
  EXPECT_FALSE(Check(Jfif(0, 1, 1)).resolution);  // aspect ratio only
  EXPECT_FALSE(Check(Jfif(1, 0, 300)).resolution);
}

TEST(JpegCheck, exif_resolution_in_both_byte_orders_when_jfif_has_none) {
  EXPECT_EQ(Check(Exif(true, {600, 1}, 2)).resolution, (Resolution{600, 600}));
  EXPECT_EQ(Check(Exif(false, {1200, 2}, 2)).resolution, (Resolution{600, 600}));
  EXPECT_EQ(Check(Jfif(0, 1, 1) + Exif(false, {600, 1}, 2)).resolution, (Resolution{600, 600}));
  EXPECT_EQ(Check(Jfif(1, 300, 300) + Exif(true, {72, 1}, 2)).resolution, (Resolution{300, 300}));
  EXPECT_FALSE(Check(Exif(true, {600, 0}, 2)).resolution);  // zero denominator
  EXPECT_FALSE(Check(Exif(true, {600, 1}, 1)).resolution);  // no absolute unit
  // An Exif segment whose directory points past its end.
  Bytes broken = Exif(true, {600, 1}, 2);
  testing::SetLe32(broken, 4 + 6 + 4, 0xFFFF);
  EXPECT_FALSE(Check(broken).resolution);
}

TEST(JpegCheck, counts_scans_for_the_bound) {
  JpegInfo info;
  const Bytes many = testing::JpegSkeleton(64, 48, {}, kMaxJpegScans + 1, 0xC2);
  EXPECT_EQ(CheckJpeg(ByteSource(many), info), Verdict::Complete);
  EXPECT_EQ(info.scans, kMaxJpegScans + 1);
  EXPECT_TRUE(info.Progressive());
}

TEST(JpegCheck, decoder_bytes_of_a_progressive_file_count_its_coefficients) {
  JpegInfo info;
  info.marker = 0xC0;
  info.sampling = {{2, 2}, {1, 1}, {1, 1}};
  EXPECT_EQ(JpegDecoderBytesPerPixel(info), 0);
  info.marker = 0xC2;
  EXPECT_EQ(JpegDecoderBytesPerPixel(info), 3);  // 1.5 samples a pixel, 2 bytes each
  info.sampling = {{1, 1}};
  EXPECT_EQ(JpegDecoderBytesPerPixel(info), 3);  // grey bytes and coefficients
  EXPECT_EQ(JpegMinimumSize(info, 800, 800), 100 * 100 / 8);
}

}  // namespace
}  // namespace holescan
