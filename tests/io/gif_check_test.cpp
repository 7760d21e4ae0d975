#include "io/gif_check.h"

#include <gtest/gtest.h>

#include "support/picture_writers.h"

namespace holescan {
namespace {

using testing::Bytes;

// A 10 x 10 GIF with no colour table whose codes stand for `indices`.
Bytes GifOf(const std::vector<std::uint8_t>& indices, int side = 10) {
  Bytes b = "GIF89a";
  testing::PutLe16(b, static_cast<std::uint32_t>(side));
  testing::PutLe16(b, static_cast<std::uint32_t>(side));
  b += Bytes("\0\0\0,", 4);
  testing::PutLe32(b, 0);
  testing::PutLe16(b, static_cast<std::uint32_t>(side));
  testing::PutLe16(b, static_cast<std::uint32_t>(side));
  b += Bytes("\0\x08", 2);
  return b + testing::GifLzwData(indices) + ";";
}

GifImage Check(const Bytes& gif, Verdict expected = Verdict::Complete) {
  GifImage image;
  EXPECT_EQ(CheckGif(ByteSource(gif), image), expected);
  return image;
}

TEST(GifCheck, counts_the_pixels_of_the_codes) {
  const GifImage whole = Check(GifOf(std::vector<std::uint8_t>(100, 7)));
  EXPECT_EQ(whole.width, 10);
  EXPECT_EQ(whole.codeSize, 8);
  EXPECT_EQ(whole.pixels, Verdict::Complete);
  EXPECT_EQ(Check(GifOf(std::vector<std::uint8_t>(99, 7))).pixels, Verdict::Truncated);
  EXPECT_EQ(Check(GifOf({1, 2, 3}, 200)).pixels, Verdict::Truncated);
}

TEST(GifCheck, strings_of_the_table_count_their_length) {
  // Codes of 9 bits: 1, 1 (adds "11" as 258), 258 (two pixels, adds "11" as 259), 260 (the
  // code being defined: "11" and its own first pixel, three pixels), end.
  std::uint32_t bits = 0;
  int count = 0;
  Bytes codes;
  for (const std::uint32_t code : {256u, 1u, 1u, 258u, 260u, 257u}) {
    bits |= code << count;
    for (count += 9; count >= 8; count -= 8, bits >>= 8) codes.push_back(static_cast<char>(bits));
  }
  if (count > 0) codes.push_back(static_cast<char>(bits));
  Bytes data{static_cast<char>(codes.size())};
  data += codes + Bytes(1, '\0');
  Bytes gif = GifOf({});
  gif = gif.substr(0, gif.size() - testing::GifLzwData({}).size() - 1) + data + ";";
  Bytes sevenWide = gif;
  sevenWide[6] = sevenWide[18] = 7;  // screen and image 7 x 1
  sevenWide[8] = sevenWide[20] = 1;
  EXPECT_EQ(Check(sevenWide).pixels, Verdict::Complete);  // 1 + 1 + 2 + 3 pixels
  sevenWide[18] = 8;
  EXPECT_EQ(Check(sevenWide).pixels, Verdict::Truncated);
}

TEST(GifCheck, invalid_codes_are_left_to_the_decoder) {
  Bytes gif = GifOf(std::vector<std::uint8_t>(100, 7));
  const std::size_t data = gif.find(",") + 11;
  gif[data + 3] = '\xFF';  // a code far past the table
  EXPECT_EQ(Check(gif).pixels, Verdict::Unknown);
  EXPECT_EQ(Check(gif.substr(0, data + 5), Verdict::Truncated).pixels, Verdict::Unknown);
}

}  // namespace
}  // namespace holescan
