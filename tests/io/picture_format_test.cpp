#include "io/picture_format.h"

#include <gtest/gtest.h>

namespace holescan {
namespace {

TEST(PictureFormat, comes_from_the_signature_alone) {
  using namespace std::string_view_literals;
  EXPECT_EQ(SniffPictureFormat("BM\x36\0\0\0"sv), PictureFormat::Bmp);
  EXPECT_EQ(SniffPictureFormat("\x89PNG\r\n\x1a\n"sv), PictureFormat::Png);
  EXPECT_EQ(SniffPictureFormat("\xFF\xD8\xFF\xE0"sv), PictureFormat::Jpeg);
  EXPECT_EQ(SniffPictureFormat("GIF87a"sv), PictureFormat::Gif);
  EXPECT_EQ(SniffPictureFormat("GIF89a"sv), PictureFormat::Gif);
  EXPECT_EQ(SniffPictureFormat("II*\0"sv), PictureFormat::Tiff);
  EXPECT_EQ(SniffPictureFormat("MM\0*"sv), PictureFormat::Tiff);
  EXPECT_EQ(SniffPictureFormat("RIFF\0\0\0\0WEBPVP8 "sv), PictureFormat::WebP);
  EXPECT_EQ(SniffPictureFormat("P6\n4 4\n255\n"sv), PictureFormat::Pnm);
  EXPECT_EQ(SniffPictureFormat("P1#c\n"sv), PictureFormat::Pnm);
}

TEST(PictureFormat, near_misses_are_unknown) {
  using namespace std::string_view_literals;
  for (const std::string_view head :
       {""sv, "B"sv, "BX"sv, "\x89PNG\r\n\x1a"sv, "\xFF\xD8"sv, "GIF88a"sv, "II*"sv, "MM*\0"sv,
        "RIFF\0\0\0\0WEBQ"sv, "P7\n"sv, "P6x"sv, "P6"sv, "hello"sv}) {
    EXPECT_EQ(SniffPictureFormat(head), PictureFormat::Unknown) << head;
  }
  EXPECT_EQ(PictureFormatName(PictureFormat::Tiff), "tiff");
  EXPECT_EQ(PictureFormatName(PictureFormat::Unknown), "");
}

}  // namespace
}  // namespace holescan
