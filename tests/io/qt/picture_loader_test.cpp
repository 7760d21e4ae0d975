#include "io/qt/picture_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <QImage>
#include <QImageWriter>

#include <sys/stat.h>
#include <unistd.h>

#include "support/picture_writers.h"
#include "support/scratch_folder.h"

namespace holescan {
namespace {

using testing::Bytes;

// A picture with a different colour in every pixel, so that a row or channel out of place
// shows.
std::uint32_t Pattern(int x, int y) {
  return static_cast<std::uint32_t>((x * 37 + y * 11) & 0xFF) << 16 |
         static_cast<std::uint32_t>((x * 5 + y * 71) & 0xFF) << 8 |
         static_cast<std::uint32_t>((x * y + 3) & 0xFF);
}

constexpr int kWidth = 37;  // odd, so BMP rows are padded
constexpr int kHeight = 23;

QImage PatternImage() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) image.setPixel(x, y, 0xFF000000u | Pattern(x, y));
  return image;
}

void ExpectPixels(const PictureFile& file, const std::function<std::uint32_t(int, int)>& rgb) {
  ASSERT_TRUE(file.loaded) << file.reason;
  ASSERT_EQ(file.picture.Width(), kWidth);
  ASSERT_EQ(file.picture.Height(), kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_EQ(file.picture.At(x, y), 0xFF000000u | rgb(x, y)) << x << "," << y;
}

class PictureLoader : public testing::ScratchFolder {
 protected:
  std::string Save(const QImage& image, const std::string& name, const char* format,
                   int quality = -1) {
    QImageWriter writer(QString::fromStdString(Path(name)), format);
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return Path(name);
  }
  std::string Truncated(const std::string& path, std::size_t keep, const std::string& name) {
    return Write(name, testing::ReadFile(path).substr(0, keep));
  }
};

TEST_F(PictureLoader, reads_lossless_formats_pixel_for_pixel) {
  const QImage image = PatternImage();
  const auto same = [](int x, int y) { return Pattern(x, y); };
  ExpectPixels(LoadPictureFile(Write("a.bmp", testing::Bmp24(kWidth, kHeight, Pattern))), same);
  ExpectPixels(LoadPictureFile(Write("down.bmp", testing::Bmp24(kWidth, kHeight, Pattern, true))),
               same);
  ExpectPixels(LoadPictureFile(Save(image, "a.png", "png")), same);
  ExpectPixels(LoadPictureFile(Save(image, "a.ppm", "ppm")), same);
  ExpectPixels(LoadPictureFile(Save(image, "a.tif", "tiff")), same);
  ExpectPixels(LoadPictureFile(Save(image, "a.webp", "webp", 100)), same);
}

TEST_F(PictureLoader, grey_and_palette_pictures_become_rgb) {
  const auto grey = [](int x, int y) { return static_cast<std::uint8_t>(x * 7 + y * 3); };
  const auto greyRgb = [&](int x, int y) { return grey(x, y) * 0x010101u; };
  ExpectPixels(LoadPictureFile(Write("a.gif", testing::Gif(kWidth, kHeight, grey))), greyRgb);
  QImage image(kWidth, kHeight, QImage::Format_Grayscale8);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) image.scanLine(y)[x] = grey(x, y);
  ExpectPixels(LoadPictureFile(Save(image, "a.pgm", "pgm")), greyRgb);
  ExpectPixels(LoadPictureFile(Save(image, "grey.png", "png")), greyRgb);
}

TEST_F(PictureLoader, jpeg_gives_what_qt_decodes) {
  const std::string path = Save(PatternImage(), "a.jpg", "jpeg", 90);
  const QImage reference =
      QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
  ExpectPixels(LoadPictureFile(path),
               [&](int x, int y) { return reference.pixel(x, y) & 0xFFFFFFu; });
}

// The direct decoders (and Qt where they decline) must give Qt's own pixels: PNGs, JPEGs of every
// subsampling Qt writes, grey ones, sizes that are not a whole number of blocks, and
// a picture larger than one band of BMP rows.
TEST_F(PictureLoader, direct_decoders_give_the_pixels_qt_decodes) {
  QImage large(1531, 407, QImage::Format_RGB32);
  for (int y = 0; y < large.height(); ++y)
    for (int x = 0; x < large.width(); ++x) large.setPixel(x, y, 0xFF000000u | Pattern(x, y));
  QImage grey = large.convertToFormat(QImage::Format_Grayscale8);
  std::vector<std::string> paths;
  for (const int quality : {30, 75, 100}) {
    const std::string q = std::to_string(quality);
    paths.push_back(Save(large, "q" + q + ".jpg", "jpeg", quality));
    paths.push_back(Save(grey, "grey" + q + ".jpg", "jpeg", quality));
  }
  paths.push_back(Save(large, "large.bmp", "bmp"));
  // Qt's writer picks each row's filter: all five kinds appear.
  paths.push_back(Save(large, "large.png", "png"));
  paths.push_back(Save(grey, "grey.png", "png"));
  paths.push_back(Write("stored.png", testing::PngRgb(kWidth, kHeight, Pattern)));
  // A 32-bit BMP: the fourth byte of each pixel is not alpha.
  Bytes bmp32 = testing::BmpHeaders(5, -3, 32, 0, 0, 54, 54 + 60);
  for (int i = 0; i < 15; ++i) testing::PutLe32(bmp32, 0x12000000u | Pattern(i, 7 * i));
  paths.push_back(Write("a32.bmp", bmp32));
  for (const std::string& path : paths) {
    const QImage reference =
        QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(reference.isNull()) << path;
    const PictureFile file = LoadPictureFile(path);
    ASSERT_TRUE(file.loaded) << path << ": " << file.reason;
    ASSERT_EQ(file.picture.Width(), reference.width()) << path;
    ASSERT_EQ(file.picture.Height(), reference.height()) << path;
    for (int y = 0; y < reference.height(); ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(reference.constScanLine(y));
      ASSERT_TRUE(std::equal(row, row + reference.width(), file.picture.Row(y)))
          << path << " row " << y;
    }
  }
}

// A BMP the direct decoder declines still gets Qt's verdict.
TEST_F(PictureLoader, bmp_of_two_planes_is_refused_as_qt_refuses_it) {
  Bytes bmp = testing::Bmp24(4, 4, Pattern);
  bmp[26] = 2;
  EXPECT_EQ(LoadPictureFile(Write("planes.bmp", bmp)).reason, "damaged or truncated file");
}

TEST_F(PictureLoader, alpha_is_ignored_and_colour_kept) {
  QImage image(kWidth, kHeight, QImage::Format_ARGB32);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      image.setPixel(x, y, static_cast<std::uint32_t>(x * 7) << 24 | Pattern(x, y));
  const PictureFile png = LoadPictureFile(Save(image, "alpha.png", "png"));
  ExpectPixels(png, [](int x, int y) { return Pattern(x, y); });
}

TEST_F(PictureLoader, format_comes_from_content_not_name) {
  ExpectPixels(LoadPictureFile(Save(PatternImage(), "really-png.bmp", "png")),
               [](int x, int y) { return Pattern(x, y); });
  EXPECT_EQ(LoadPictureFile(Write("text.bmp", "hello, world\n")).reason, "not a picture");
  EXPECT_EQ(LoadPictureFile(Write("zeros.png", Bytes(4096, '\0'))).reason, "not a picture");
  EXPECT_EQ(LoadPictureFile(Write("empty.bmp", "")).reason, "empty file");
}

TEST_F(PictureLoader, returns_the_resolution_the_file_stores) {
  const PictureFile bmp = LoadPictureFile(Write("r.bmp", testing::Bmp24(4, 4, Pattern)));
  ASSERT_TRUE(bmp.resolution);
  EXPECT_DOUBLE_EQ(bmp.resolution->x, 2835 * 0.0254);
  QImage image = PatternImage();
  image.setDotsPerMeterX(11811);
  image.setDotsPerMeterY(23622);
  const PictureFile png = LoadPictureFile(Save(image, "r.png", "png"));
  ASSERT_TRUE(png.resolution);
  EXPECT_NEAR(png.resolution->x, 300, 0.01);
  EXPECT_NEAR(png.resolution->y, 600, 0.01);
  const PictureFile tiff = LoadPictureFile(Save(image, "r.tif", "tiff"));
  ASSERT_TRUE(tiff.resolution);
  EXPECT_NEAR(tiff.resolution->x, 300, 0.01);
  const PictureFile jpeg = LoadPictureFile(Save(image, "r.jpg", "jpeg"));
  ASSERT_TRUE(jpeg.resolution);
  EXPECT_NEAR(jpeg.resolution->y, 600, 0.5);  // JFIF keeps whole dots per inch
  EXPECT_FALSE(
      LoadPictureFile(Write("r.gif", testing::Gif(2, 2, [](int, int) { return 0; }))).resolution);
  EXPECT_FALSE(LoadPictureFile(Save(image, "r.ppm", "ppm")).resolution);
}

TEST_F(PictureLoader, refuses_a_decode_past_the_memory_budget) {
  PictureLimits limits;
  limits.memoryBudget = kWidth * kHeight * 4;
  const std::string bmp = Write("b.bmp", testing::Bmp24(kWidth, kHeight, Pattern));
  EXPECT_TRUE(LoadPictureFile(bmp, limits).loaded);
  const std::string gif = Write("b.gif", testing::Gif(kWidth, kHeight, [](int, int) { return 0; }));
  EXPECT_EQ(LoadPictureFile(gif, limits).reason,
            "too large: 37 x 23 pixels need 1 MiB to decode (the memory budget is 3404 bytes)");
  EXPECT_EQ(LoadPictureBytes(testing::ReadFile(gif), limits).reason,
            LoadPictureFile(gif, limits).reason);
}

TEST_F(PictureLoader, refuses_what_is_not_a_readable_regular_file) {
  EXPECT_EQ(LoadPictureFile("").reason, "no file name");
  EXPECT_EQ(LoadPictureFile(Path("missing.bmp")).reason, "no such file");
  EXPECT_EQ(LoadPictureFile(Path("missing/a.bmp")).reason, "no such file");
  EXPECT_EQ(LoadPictureFile(folder_.string()).reason, "is a directory");
  EXPECT_EQ(LoadPictureFile("/dev/null").reason, "not a regular file");
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(LoadPictureFile(Path("fifo")).reason, "not a regular file");  // and does not block
  const std::string locked = Write("locked.bmp", testing::Bmp24(4, 4, Pattern));
  ::chmod(locked.c_str(), 0);
  if (::geteuid() != 0) {  // root reads it anyway
    EXPECT_EQ(LoadPictureFile(locked).reason, "permission denied");
  }
}

TEST_F(PictureLoader, refuses_sizes_over_the_limits_from_the_header_alone) {
  // Headers only: the limits are checked before any pixel is read.
  const auto header = [](std::int32_t w, std::int32_t h) {
    return testing::BmpHeaders(w, h, 24, 0, 0, 54, 54);
  };
  EXPECT_EQ(LoadPictureFile(Write("wide.bmp", header(40000, 10))).reason,
            "too large: 40000 x 10 pixels (the limit is 32766 on a side)");
  EXPECT_EQ(LoadPictureFile(Write("tall.bmp", header(10, -32767))).reason,
            "too large: 10 x 32767 pixels (the limit is 32766 on a side)");
  EXPECT_EQ(LoadPictureFile(Write("huge.bmp", header(20000, 20000))).reason,
            "too large: 20000 x 20000 pixels (the limit is 268435456 pixels)");
}

TEST_F(PictureLoader, truncated_bmp_is_refused_wherever_it_ends) {
  const Bytes whole = testing::Bmp24(kWidth, kHeight, Pattern);
  const std::string path = Write("whole.bmp", whole);
  ASSERT_TRUE(LoadPictureFile(path).loaded);
  for (const std::size_t keep : {std::size_t{20}, std::size_t{53}, std::size_t{54},
                                 std::size_t{54 + 112 * 5 + 7}, whole.size() - 1}) {
    EXPECT_EQ(LoadPictureFile(Truncated(path, keep, "cut.bmp")).reason, "truncated file") << keep;
  }
  // Bytes after the pixel data are no harm.
  EXPECT_TRUE(LoadPictureFile(Write("longer.bmp", whole + "trailer")).loaded);
}

TEST_F(PictureLoader, truncated_palette_bmp_is_refused) {
  // 8 bits a pixel, uncompressed, grey palette of 256 entries.
  const std::uint32_t offset = 54 + 1024;
  Bytes bmp = testing::BmpHeaders(4, 2, 8, 0, 0, offset, offset + 8);
  for (std::uint32_t i = 0; i < 256; ++i) testing::PutLe32(bmp, i * 0x010101u);
  const Bytes pixels = "\x10\x20\x30\x40\x50\x60\x70\x80";
  const PictureFile whole = LoadPictureFile(Write("p.bmp", bmp + pixels));
  ASSERT_TRUE(whole.loaded) << whole.reason;
  EXPECT_EQ(whole.picture.At(0, 0), 0xFF505050u);  // bottom-up: the second row comes first
  EXPECT_EQ(LoadPictureFile(Write("cut1.bmp", bmp.substr(0, 54 + 500))).reason, "truncated file");
  EXPECT_EQ(LoadPictureFile(Write("cut2.bmp", bmp + pixels.substr(0, 7))).reason, "truncated file");
}

TEST_F(PictureLoader, run_length_bmp_reads_whole_streams_and_refuses_cut_ones) {
  // 6 x 3, bottom-up: row 2 = run of 4 x 0x40 then EOL; delta (2, 1) skips to x 2 of row 0
  // (skipped pixels stay palette entry 0); literal 3 pixels 0x11 0x22 0x33 (padded); EOB.
  const Bytes stream = Bytes("\x04\x40\x00\x00", 4) + Bytes("\x00\x02\x02\x01", 4) +
                       Bytes("\x00\x03\x11\x22\x33\x00", 6) + Bytes("\x00\x01", 2);
  const PictureFile rle = LoadPictureFile(Write("rle8.bmp", testing::BmpRle8(6, 3, stream)));
  ASSERT_TRUE(rle.loaded) << rle.reason;
  EXPECT_EQ(rle.picture.At(0, 2), 0xFF404040u);
  EXPECT_EQ(rle.picture.At(3, 2), 0xFF404040u);
  EXPECT_EQ(rle.picture.At(4, 2), 0xFF000000u);
  EXPECT_EQ(rle.picture.At(0, 1), 0xFF000000u);
  EXPECT_EQ(rle.picture.At(2, 0), 0xFF111111u);
  EXPECT_EQ(rle.picture.At(4, 0), 0xFF333333u);
  EXPECT_EQ(rle.picture.At(5, 0), 0xFF000000u);
  for (std::size_t keep = 0; keep < stream.size(); keep += 3) {
    EXPECT_EQ(
        LoadPictureFile(Write("cut8.bmp", testing::BmpRle8(6, 3, stream.substr(0, keep)))).reason,
        "truncated file")
        << keep;
  }
  // A stream that ends its last row without the end marker is whole.
  const Bytes rows = Bytes("\x02\x05\x00\x00", 4) + Bytes("\x02\x06\x00\x00", 4);
  EXPECT_TRUE(LoadPictureFile(Write("rows.bmp", testing::BmpRle8(2, 2, rows))).loaded);
  // 4 bits: a run of 5 pixels alternating entries 1 and 2, a literal of 3 pixels in 2
  // bytes (an even count, so no padding), end of bitmap.
  const Bytes stream4 = Bytes("\x05\x12", 2) + Bytes("\x00\x03\x34\x50", 4) + Bytes("\x00\x01", 2);
  const PictureFile rle4 = LoadPictureFile(Write("rle4.bmp", testing::BmpRle4(8, 1, stream4)));
  ASSERT_TRUE(rle4.loaded) << rle4.reason;
  EXPECT_EQ(rle4.picture.At(0, 0), 0xFF111111u);
  EXPECT_EQ(rle4.picture.At(1, 0), 0xFF222222u);
  EXPECT_EQ(rle4.picture.At(5, 0), 0xFF333333u);
  EXPECT_EQ(rle4.picture.At(7, 0), 0xFF555555u);
  EXPECT_EQ(LoadPictureFile(Write("cut4.bmp", testing::BmpRle4(8, 1, stream4.substr(0, 5)))).reason,
            "truncated file");
}

TEST_F(PictureLoader, truncated_or_corrupt_jpeg_is_refused) {
  const std::string path = Save(PatternImage(), "a.jpg", "jpeg", 90);
  const Bytes whole = testing::ReadFile(path);
  for (const std::size_t keep : {whole.size() / 3, whole.size() * 2 / 3, whole.size() - 2}) {
    EXPECT_EQ(LoadPictureFile(Truncated(path, keep, "cut.jpg")).reason, "truncated file") << keep;
  }
  // A piece missing from the middle of the scan, the end marker still in place.
  const std::size_t scan = whole.find("\xFF\xDA") + 14;
  const std::size_t middle = scan + (whole.size() - scan) / 2;
  const Bytes damaged = whole.substr(0, middle) + whole.substr(middle + 200);
  EXPECT_EQ(LoadPictureFile(Write("damaged.jpg", damaged)).reason,
            "corrupt data: premature end of data segment");
  EXPECT_TRUE(LoadPictureFile(Write("trailer.jpg", whole + "trailer")).loaded);
}

TEST_F(PictureLoader, truncated_gif_png_and_tiff_are_refused) {
  const Bytes gif = testing::Gif(kWidth, kHeight, [](int x, int) { return x; });
  EXPECT_EQ(LoadPictureFile(Write("cut.gif", gif.substr(0, gif.size() / 2))).reason,
            "truncated file");
  EXPECT_EQ(LoadPictureFile(Write("nolut.gif", gif.substr(0, 100))).reason, "truncated file");
  const QImage image = PatternImage();
  for (const char* format : {"png", "tiff", "webp", "ppm"}) {
    const std::string path = Save(image, std::string("a.") + format, format);
    const std::size_t keep = testing::ReadFile(path).size() / 2;
    EXPECT_EQ(LoadPictureFile(Truncated(path, keep, std::string("cut.") + format)).reason,
              "damaged or truncated file")
        << format;
  }
}

}  // namespace
}  // namespace holescan
