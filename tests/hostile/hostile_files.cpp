#include "hostile_files.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <utility>

#include "support/bytes.h"
#include "support/picture_writers.h"
#include "support/random.h"
#include "support/scratch_folder.h"

namespace holescan::hostile {
namespace {

using testing::Bytes;

constexpr int kWidth = 37;  // odd: BMP rows of every depth are padded
constexpr int kHeight = 23;
constexpr char kTooBigSide[] = " (the limit is 32766 on a side)";
constexpr char kTooManyPixels[] = " (the limit is 268435456 pixels)";

using testing::GetLe16;
using testing::GetLe32;
using testing::PngChunk;
using testing::PutBe32;
using testing::PutLe16;
using testing::PutLe32;
using testing::Random;
using testing::SetBe16;
using testing::SetLe32;

bool InDisc(int x, int y) {
  return (x - 18) * (x - 18) + (y - 11) * (y - 11) <= 36;
}

// ---- Pictures and their palettes -----------------------------------------------------------

// Indices of a palette picture, row-major.
struct IndexPicture {
  int width = kWidth;
  int height = kHeight;
  std::vector<std::uint8_t> index;
  std::uint8_t At(int x, int y) const {
    return index[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)];
  }
};

// Entry 0 is black (the disc); the paper uses entries 1..entries-1.
IndexPicture Indices(int entries) {
  IndexPicture p;
  p.index.resize(static_cast<std::size_t>(p.width * p.height));
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      p.index[static_cast<std::size_t>(y * p.width + x)] =
          static_cast<std::uint8_t>(InDisc(x, y) ? 0 : 1 + (x * 7 + y * 13) % (entries - 1));
  return p;
}

// Light colours for entries 1.., every component a multiple of 8.
std::vector<std::uint32_t> Palette(int entries) {
  std::vector<std::uint32_t> palette{0x000000u};
  for (int i = 1; i < entries; ++i) {
    const auto r = static_cast<std::uint32_t>(248 - (i % 8) * 8);
    const auto g = static_cast<std::uint32_t>(240 - (i % 5) * 8);
    const auto b = static_cast<std::uint32_t>(200 + (i % 6) * 8);
    palette.push_back(r << 16 | g << 8 | b);
  }
  return palette;
}

// The picture a palette picture shows; indices past the palette are black.
Picture Apply(const IndexPicture& p, const std::vector<std::uint32_t>& palette) {
  Picture picture(p.width, p.height, 0);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const std::uint8_t i = p.At(x, y);
      picture.Set(x, y, 0xFF000000u | (i < palette.size() ? palette[i] : 0u));
    }
  return picture;
}

QImage ToImage(const Picture& picture) {
  QImage image(picture.Width(), picture.Height(), QImage::Format_RGB32);
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) image.setPixel(x, y, picture.At(x, y));
  return image;
}

Picture FromImage(const QImage& decoded) {
  const QImage image = decoded.convertToFormat(QImage::Format_RGB32);
  Picture picture(image.width(), image.height(), 0);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) picture.Set(x, y, image.pixel(x, y) | 0xFF000000u);
  return picture;
}

// ---- BMP -----------------------------------------------------------------------------------

struct Bmp {
  std::int32_t width = kWidth;
  std::int32_t height = kHeight;
  std::uint32_t planes = 1;
  std::uint32_t bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t infoLayout = 40;               // 12 (OS/2), 40, 108 or 124 bytes actually written
  std::optional<std::uint32_t> infoSizeField;  // what the header says its size is
  std::uint32_t coloursUsed = 0;
  std::optional<std::uint32_t> dataOffset;  // default: right after masks and palette
  std::optional<std::uint32_t> fileSize;
  std::array<std::uint32_t, 4> v4Masks{};  // red, green, blue, alpha of a 108/124 header
  Bytes masks;                             // bit-field masks after a 40-byte header
  std::vector<std::uint32_t> palette;
  Bytes data;

  Bytes Build() const {
    Bytes info;
    if (infoLayout == 12) {
      PutLe32(info, infoSizeField.value_or(12));
      PutLe16(info, static_cast<std::uint32_t>(width));
      PutLe16(info, static_cast<std::uint32_t>(height));
      PutLe16(info, planes);
      PutLe16(info, bits);
    } else {
      PutLe32(info, infoSizeField.value_or(infoLayout));
      PutLe32(info, static_cast<std::uint32_t>(width));
      PutLe32(info, static_cast<std::uint32_t>(height));
      PutLe16(info, planes);
      PutLe16(info, bits);
      PutLe32(info, compression);
      PutLe32(info, static_cast<std::uint32_t>(data.size()));
      PutLe32(info, 2835);
      PutLe32(info, 2835);
      PutLe32(info, coloursUsed);
      PutLe32(info, 0);
      if (infoLayout > 40) {
        for (std::uint32_t mask : v4Masks) PutLe32(info, mask);
        PutLe32(info, 0x73524742);  // 'sRGB'
        info.resize(infoLayout, '\0');
      }
    }
    Bytes table;
    for (std::uint32_t colour : palette) {
      table.push_back(static_cast<char>(colour & 0xFF));
      table.push_back(static_cast<char>((colour >> 8) & 0xFF));
      table.push_back(static_cast<char>((colour >> 16) & 0xFF));
      if (infoLayout != 12) table.push_back('\0');
    }
    const auto offset = static_cast<std::uint32_t>(14 + info.size() + masks.size() + table.size());
    Bytes b = "BM";
    PutLe32(b, fileSize.value_or(offset + static_cast<std::uint32_t>(data.size())));
    PutLe32(b, 0);
    PutLe32(b, dataOffset.value_or(offset));
    return b + info + masks + table + data;
  }
};

// Rows of a palette picture at 1, 4 or 8 bits, bottom row first unless top-down.
Bytes PackIndices(const IndexPicture& p, int bits, bool topDown = false) {
  const int rowBytes = (p.width * bits + 31) / 32 * 4;
  Bytes out;
  for (int row = 0; row < p.height; ++row) {
    const int y = topDown ? row : p.height - 1 - row;
    Bytes line(static_cast<std::size_t>(rowBytes), '\0');
    for (int x = 0; x < p.width; ++x) {
      const int bit = x * bits;
      const int shift = 8 - bits - bit % 8;
      line[static_cast<std::size_t>(bit / 8)] =
          static_cast<char>(static_cast<std::uint8_t>(line[static_cast<std::size_t>(bit / 8)]) |
                            (p.At(x, y) << shift));
    }
    out += line;
  }
  return out;
}

// Rows of an RGB picture: 24 bits (B, G, R), 32 bits (B, G, R, 0) or 16 bits (x5-5-5, or
// 5-6-5 when asked).
Bytes PackRgb(const Picture& p, int bits, bool topDown = false, bool rgb565 = false) {
  const int rowBytes = (p.Width() * bits + 31) / 32 * 4;
  Bytes out;
  for (int row = 0; row < p.Height(); ++row) {
    const int y = topDown ? row : p.Height() - 1 - row;
    Bytes line;
    for (int x = 0; x < p.Width(); ++x) {
      const std::uint32_t c = p.At(x, y);
      const std::uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
      if (bits == 16) {
        PutLe16(line, rgb565 ? (r >> 3) << 11 | (g >> 2) << 5 | b >> 3
                             : (r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
      } else {
        line.push_back(static_cast<char>(b));
        line.push_back(static_cast<char>(g));
        line.push_back(static_cast<char>(r));
        if (bits == 32) line.push_back('\0');
      }
    }
    line.resize(static_cast<std::size_t>(rowBytes), '\0');
    out += line;
  }
  return out;
}

// The base picture, every component a multiple of 8 so that 16-bit pixels hold it exactly.
Picture Base() {
  Picture p(kWidth, kHeight, 0);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      if (InDisc(x, y)) {
        p.Set(x, y, Rgb(0, 0, 0));
        continue;
      }
      p.Set(x, y,
            Rgb(static_cast<std::uint32_t>(192 + 8 * ((x + 2 * y) % 7)),
                static_cast<std::uint32_t>(184 + 8 * ((3 * x + y) % 6)),
                static_cast<std::uint32_t>(168 + 8 * ((x * y) % 5))));
    }
  return p;
}

// A 16-bit picture as the decoder widens it: each 5-bit component c becomes c << 3.
Picture Widened565Green(const Picture& p) {
  Picture out = p;
  for (int y = 0; y < p.Height(); ++y)
    for (int x = 0; x < p.Width(); ++x) {
      const std::uint32_t c = p.At(x, y);
      const std::uint32_t g6 = (c >> 10) & 0x3F;
      out.Set(x, y, (c & 0xFFFF00FFu) | (g6 << 2) << 8);
    }
  return out;
}

Bmp Bmp24() {
  Bmp b;
  b.data = PackRgb(Base(), 24);
  return b;
}

Bmp BmpIndexed(int bits, int entries) {
  Bmp b;
  b.bits = static_cast<std::uint32_t>(bits);
  b.palette = Palette(entries);
  b.data = PackIndices(Indices(entries), bits);
  return b;
}

// ---- Run-length streams --------------------------------------------------------------------

Bytes Run(int count, int value) {
  return Bytes{static_cast<char>(count), static_cast<char>(value)};
}
Bytes EndOfLine() {
  return Bytes("\0\0", 2);
}
Bytes EndOfBitmap() {
  return Bytes("\0\1", 2);
}
Bytes Delta(int dx, int dy) {
  return Bytes{'\0', '\2', static_cast<char>(dx), static_cast<char>(dy)};
}
Bytes Literal(const Bytes& pixels, int count) {
  Bytes b{'\0', static_cast<char>(count)};
  b += pixels;
  if (pixels.size() % 2 != 0) b.push_back('\0');
  return b;
}

// A whole 8-bit stream of a palette picture: one run per pixel pair of equal entries,
// bottom row first.
Bytes Rle8Of(const IndexPicture& p) {
  Bytes s;
  for (int y = p.height - 1; y >= 0; --y) {
    for (int x = 0; x < p.width;) {
      int n = 1;
      while (x + n < p.width && n < 255 && p.At(x + n, y) == p.At(x, y)) ++n;
      s += Run(n, p.At(x, y));
      x += n;
    }
    s += EndOfLine();
  }
  return s + EndOfBitmap();
}

Bmp BmpRle(int bits, const Bytes& stream, int entries = 16) {
  Bmp b;
  b.bits = static_cast<std::uint32_t>(bits);
  b.compression = bits == 8 ? 1 : 2;
  b.palette = Palette(entries);
  if (entries < 1 << bits) b.coloursUsed = static_cast<std::uint32_t>(entries);
  b.data = stream;
  return b;
}

// ---- PNG -----------------------------------------------------------------------------------

// A PNG of the given declared size whose only image data is the zlib stream of `raw`.
Bytes PngDeclaring(std::uint32_t width, std::uint32_t height, const Bytes& raw, bool end = true) {
  Bytes ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr += Bytes("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, not interlaced
  const QByteArray compressed =
      qCompress(QByteArray(raw.data(), static_cast<qsizetype>(raw.size())), 9);
  const QByteArray stream = compressed.mid(4);  // qCompress puts the length first
  const Bytes zlib(stream.constData(), static_cast<std::size_t>(stream.size()));
  Bytes png("\x89PNG\r\n\x1a\n", 8);
  png += PngChunk("IHDR", ihdr) + PngChunk("IDAT", zlib);
  if (end) png += PngChunk("IEND", {});
  return png;
}

// Rewrites the width and height of a Qt-written PNG's IHDR, with its checksum.
Bytes PngResized(Bytes png, std::uint32_t width, std::uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    png[16 + static_cast<std::size_t>(i)] = static_cast<char>(width >> (24 - 8 * i));
    png[20 + static_cast<std::size_t>(i)] = static_cast<char>(height >> (24 - 8 * i));
  }
  const std::uint32_t crc = testing::Crc32(png, 12, 17);
  for (int i = 0; i < 4; ++i)
    png[29 + static_cast<std::size_t>(i)] = static_cast<char>(crc >> (24 - 8 * i));
  return png;
}

// ---- GIF -----------------------------------------------------------------------------------

struct Gif {
  std::uint32_t screenWidth = kWidth;
  std::uint32_t screenHeight = kHeight;
  std::uint32_t imageWidth = kWidth;
  std::uint32_t imageHeight = kHeight;
  bool globalTable = true;
  char codeSize = 8;
  Bytes data;

  Bytes Build() const {
    Bytes b = "GIF89a";
    PutLe16(b, screenWidth);
    PutLe16(b, screenHeight);
    b.push_back(globalTable ? '\xF7' : '\x00');
    b.append(2, '\0');
    if (globalTable) {
      const std::vector<std::uint32_t> palette = Palette(256);
      for (std::uint32_t c : palette) {
        b.push_back(static_cast<char>(c >> 16));
        b.push_back(static_cast<char>(c >> 8));
        b.push_back(static_cast<char>(c));
      }
    }
    b += ",";
    PutLe32(b, 0);
    PutLe16(b, imageWidth);
    PutLe16(b, imageHeight);
    b.push_back('\0');
    b.push_back(codeSize);
    return b + data + ";";
  }
};

// ---- TIFF ----------------------------------------------------------------------------------

// The offset of the 12-byte entry of `tag` in the first directory of a little-endian TIFF.
std::optional<std::size_t> TiffEntry(const Bytes& tiff, std::uint32_t tag) {
  const std::size_t ifd = GetLe32(tiff, 4);
  const std::uint32_t count = GetLe16(tiff, ifd);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t entry = ifd + 2 + 12 * i;
    if (GetLe16(tiff, entry) == tag) return entry;
  }
  return std::nullopt;
}

void SetTiffValue(Bytes& tiff, std::uint32_t tag, std::uint32_t value) {
  const auto entry = TiffEntry(tiff, tag);
  if (!entry) throw std::runtime_error("TIFF without tag " + std::to_string(tag));
  if (GetLe16(tiff, *entry + 2) == 3) {  // SHORT: the low half of the value field
    tiff[*entry + 8] = static_cast<char>(value & 0xFF);
    tiff[*entry + 9] = static_cast<char>((value >> 8) & 0xFF);
  } else {
    SetLe32(tiff, *entry + 8, value);
  }
}

// ---- The set -------------------------------------------------------------------------------

HostileCase Refusal(std::string name, std::string what, std::string reason) {
  HostileCase c;
  c.name = std::move(name);
  c.what = std::move(what);
  c.expect = Expect::Refused;
  c.reason = std::move(reason);
  return c;
}

class Writer {
 public:
  explicit Writer(std::filesystem::path folder) : folder_(std::move(folder)) {}

  void File(const std::string& name, const Bytes& bytes) {
    testing::WriteFile(folder_ / name, bytes);
  }

  Bytes Encode(const QImage& image, const char* format, int quality = -1,
               bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
      throw std::runtime_error(std::string("cannot encode ") + format + ": " +
                               writer.errorString().toStdString());
    return Bytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }

  void Refused(const std::string& name, const Bytes& bytes, const std::string& reason,
               const std::string& what) {
    File(name, bytes);
    Add(Refusal(name, what, reason));
  }
  void Loads(const std::string& name, const Bytes& bytes, const Picture& picture,
             const std::string& what) {
    File(name, bytes);
    HostileCase c = Refusal(name, what, "");
    c.expect = Expect::Loads;
    c.width = picture.Width();
    c.height = picture.Height();
    c.picture = picture;
    Add(std::move(c));
  }
  // Files whose pixels are the decoder's choice; only their size is certain.
  void LoadsSomehow(const std::string& name, const Bytes& bytes, int width, int height,
                    const std::string& what) {
    File(name, bytes);
    HostileCase c = Refusal(name, what, "");
    c.expect = Expect::Loads;
    c.width = width;
    c.height = height;
    Add(std::move(c));
  }
  // Files of a huge declared size that fits the limits, whole or (with a reason) not.
  void Huge(const std::string& name, const Bytes& bytes, int width, int height,
            const std::string& what, const std::string& reason = "") {
    File(name, bytes);
    HostileCase c = Refusal(name, what, reason);
    if (reason.empty()) c.expect = Expect::Loads;
    c.large = true;
    c.width = width;
    c.height = height;
    Add(std::move(c));
  }
  // Cuts `whole` at each offset; every piece must be refused with `reason`.
  void Cuts(const std::string& stem, const std::string& extension, const Bytes& whole,
            const std::vector<std::size_t>& offsets, const std::string& reason) {
    for (std::size_t keep : offsets)
      Refused(
          stem + "-cut-" + std::to_string(keep) + extension, whole.substr(0, keep), reason,
          "cut after " + std::to_string(keep) + " of " + std::to_string(whole.size()) + " bytes");
  }
  void Add(HostileCase c) { cases_.push_back(std::move(c)); }

  std::vector<HostileCase> Take() { return std::move(cases_); }
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::vector<HostileCase> cases_;
};

std::string CannotHold(std::size_t bytes, int width, int height) {
  return "corrupt data: " + std::to_string(bytes) + " bytes cannot hold " + std::to_string(width) +
         " x " + std::to_string(height) + " pixels";
}

std::string TooLarge(std::int64_t width, std::int64_t height, const char* limit) {
  return "too large: " + std::to_string(width) + " x " + std::to_string(height) + " pixels" + limit;
}

void WriteForeignFiles(Writer& w) {
  w.Refused("empty.bmp", "", "empty file", "no bytes at all");
  w.Refused("one-byte.bmp", "B", "not a picture", "a single byte of the BMP magic");
  Bytes wrongMagic = Bmp24().Build();
  wrongMagic[1] = 'X';
  w.Refused("wrong-magic.bmp", wrongMagic, "not a picture", "a whole BMP starting BX");
  w.Refused("text.png", "hello, world\n", "not a picture", "text named .png");
  w.Refused("zeros.jpg", Bytes(4096, '\0'), "not a picture", "4096 zero bytes");
  Random random(7);
  Bytes noise;
  for (int i = 0; i < 3000; ++i) noise.push_back(static_cast<char>(random.Byte()));
  noise[0] = 'x';
  w.Refused("noise.gif", noise, "not a picture", "random bytes");
  w.Refused("ico.bmp", Bytes("\0\0\1\0\1\0\20\20", 8) + Bytes(100, '\0'), "not a picture",
            "an icon header");
  const Bytes png = w.Encode(ToImage(Base()), "png");
  w.Loads("png-named.bmp", png, Base(), "a PNG named .bmp");
  w.Loads("bmp-named.png", Bmp24().Build(), Base(), "a BMP named .png");
}

void WriteLyingBmps(Writer& w) {
  const Picture base = Base();
  auto with = [](const std::function<void(Bmp&)>& change) {
    Bmp b = Bmp24();
    change(b);
    return b.Build();
  };
  const std::string damaged = "damaged or truncated file";

  w.Loads("bmp-24.bmp", Bmp24().Build(), base, "plain 24-bit");
  w.Refused("bmp-width-0.bmp", with([](Bmp& b) { b.width = 0; }), damaged, "width 0");
  w.Refused("bmp-height-0.bmp", with([](Bmp& b) { b.height = 0; }), damaged, "height 0");
  w.Refused("bmp-width-negative.bmp", with([](Bmp& b) { b.width = -kWidth; }), damaged,
            "negative width");
  w.Loads("bmp-top-down.bmp", with([&](Bmp& b) {
            b.height = -kHeight;
            b.data = PackRgb(base, 24, true);
          }),
          base, "top-down rows (negative height)");
  w.Refused("bmp-top-down-cut.bmp", with([&](Bmp& b) {
              b.height = -kHeight;
              b.data = PackRgb(base, 24, true).substr(0, 1000);
            }),
            "truncated file", "top-down rows, file cut short");
  w.Refused("bmp-width-40000.bmp", with([](Bmp& b) { b.width = 40000; }),
            TooLarge(40000, kHeight, kTooBigSide), "width past the side limit");
  w.Refused("bmp-height-minus-40000.bmp", with([](Bmp& b) { b.height = -40000; }),
            TooLarge(kWidth, 40000, kTooBigSide), "top-down height past the side limit");
  w.Refused("bmp-20000-square.bmp", with([](Bmp& b) { b.width = b.height = 20000; }),
            TooLarge(20000, 20000, kTooManyPixels), "past the pixel limit");
  w.Refused("bmp-width-int-max.bmp", with([](Bmp& b) { b.width = 0x7FFFFFFF; }),
            TooLarge(0x7FFFFFFF, kHeight, kTooBigSide), "width 2^31 - 1");
  w.Refused("bmp-height-int-min.bmp",
            with([](Bmp& b) { b.height = std::numeric_limits<std::int32_t>::min(); }),
            TooLarge(kWidth, 2147483648, kTooBigSide), "height -2^31, top-down");
  // 118 bytes: headers, a 16-colour palette and nothing else.
  Bmp bomb = BmpIndexed(4, 16);
  bomb.width = bomb.height = 16000;
  bomb.data.clear();
  HostileCase maxAlloc =
      Refusal("bmp-16000-square-118-bytes.bmp",
              "118 bytes claiming 16000 x 16000 with QT_IMAGEIO_MAXALLOC=0", "truncated file");
  maxAlloc.environment = {"QT_IMAGEIO_MAXALLOC=0"};
  w.File(maxAlloc.name, bomb.Build());
  w.Add(std::move(maxAlloc));

  w.Refused("bmp-offset-past-end.bmp", with([](Bmp& b) { b.dataOffset = 100000; }),
            "truncated file", "pixel data offset past the end");
  w.Loads("bmp-offset-0.bmp", with([](Bmp& b) { b.dataOffset = 0; }), base,
          "pixel data offset 0, into the headers");
  w.Loads("bmp-offset-negative.bmp", with([](Bmp& b) { b.dataOffset = 0x80000000u; }), base,
          "pixel data offset -2^31");
  w.Loads("bmp-file-size-lies.bmp", with([](Bmp& b) { b.fileSize = 0xFFFFFFFFu; }), base,
          "file size field 4 GiB");
  w.Refused("bmp-info-size-0.bmp", with([](Bmp& b) { b.infoSizeField = 0; }), damaged,
            "info header size 0");
  w.Refused("bmp-info-size-1000.bmp", with([](Bmp& b) { b.infoSizeField = 1000; }), damaged,
            "info header longer than the file");
  w.Refused("bmp-info-size-39.bmp", with([](Bmp& b) { b.infoSizeField = 39; }), damaged,
            "info header size 39");
  w.Refused("bmp-info-size-12-lies.bmp", with([](Bmp& b) { b.infoSizeField = 12; }), damaged,
            "a 40-byte info header that says it is the 12-byte one");
  w.Loads("bmp-os2.bmp", with([](Bmp& b) { b.infoLayout = 12; }), base,
          "OS/2 12-byte info header, 24 bits");
  w.Loads("bmp-v4.bmp", with([](Bmp& b) { b.infoLayout = 108; }), base, "108-byte info header");
  w.Loads("bmp-v5.bmp", with([](Bmp& b) { b.infoLayout = 124; }), base, "124-byte info header");
  w.Refused("bmp-planes-0.bmp", with([](Bmp& b) { b.planes = 0; }), damaged, "0 planes");
  w.Refused("bmp-planes-9.bmp", with([](Bmp& b) { b.planes = 9; }), damaged, "9 planes");
  for (std::uint32_t bits : {0u, 2u, 7u, 64u, 65535u}) {
    w.Refused("bmp-bits-" + std::to_string(bits) + ".bmp", with([&](Bmp& b) { b.bits = bits; }),
              damaged, std::to_string(bits) + " bits a pixel");
  }

  // Every depth whole and cut short.
  const std::pair<int, int> indexed[] = {{1, 2}, {4, 16}, {8, 256}};
  for (const auto& [bits, entries] : indexed) {
    const Bmp b = BmpIndexed(bits, entries);
    const std::string stem = "bmp-" + std::to_string(bits);
    w.Loads(stem + ".bmp", b.Build(), Apply(Indices(entries), Palette(entries)),
            std::to_string(bits) + " bits, whole");
    const Bytes whole = b.Build();
    w.Refused(stem + "-cut.bmp", whole.substr(0, whole.size() - 5), "truncated file",
              std::to_string(bits) + " bits, last row short");
  }
  for (int bits : {16, 24, 32}) {
    Bmp b = Bmp24();
    b.bits = static_cast<std::uint32_t>(bits);
    b.data = PackRgb(base, bits);
    const std::string stem = "bmp-" + std::to_string(bits);
    if (bits != 24) w.Loads(stem + ".bmp", b.Build(), base, std::to_string(bits) + " bits, whole");
    const Bytes whole = b.Build();
    w.Refused(stem + "-cut.bmp", whole.substr(0, 54 + whole.size() / 2), "truncated file",
              std::to_string(bits) + " bits, half the rows missing");
  }
  w.Refused("bmp-palette-cut.bmp", BmpIndexed(8, 256).Build().substr(0, 54 + 500), "truncated file",
            "file ends inside the palette");

  // Bit fields.
  auto fields = [&](int bits, std::array<std::uint32_t, 3> masks) {
    Bmp b = Bmp24();
    b.bits = static_cast<std::uint32_t>(bits);
    b.compression = 3;
    for (std::uint32_t m : masks) PutLe32(b.masks, m);
    return b;
  };
  Bmp b565 = fields(16, {0xF800, 0x07E0, 0x001F});
  b565.data = PackRgb(base, 16, false, true);
  w.Loads("bmp-16-565.bmp", b565.Build(), Widened565Green(base), "16 bits, 5-6-5 bit fields");
  Bmp zeroMasks = fields(32, {0, 0, 0});
  zeroMasks.data = PackRgb(base, 32);
  w.Loads("bmp-32-zero-masks.bmp", zeroMasks.Build(), Picture(kWidth, kHeight, Rgb(0, 0, 0)),
          "32 bits, every bit-field mask 0");
  Bmp fullMasks = fields(32, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu});
  fullMasks.data = PackRgb(base, 32);
  w.Refused("bmp-32-full-masks.bmp", fullMasks.Build(), damaged,
            "32 bits, every bit-field mask all ones");
  Bmp cutMasks = fields(16, {0xF800, 0x07E0, 0x001F});
  w.Refused("bmp-16-masks-cut.bmp", cutMasks.Build().substr(0, 60), "truncated file",
            "file ends inside the bit-field masks");
  Bmp fields24 = fields(24, {0xFF0000, 0xFF00, 0xFF});
  fields24.data = PackRgb(base, 24);
  w.Refused("bmp-24-bitfields.bmp", fields24.Build(), damaged, "bit fields on 24 bits");
  for (std::uint32_t compression : {4u, 5u, 99u}) {
    w.Refused("bmp-compression-" + std::to_string(compression) + ".bmp",
              with([&](Bmp& b) { b.compression = compression; }), damaged,
              "compression " + std::to_string(compression));
  }

  // Palettes that lie.
  auto palette = [](int bits, int entries, std::uint32_t coloursUsed) {
    Bmp b = BmpIndexed(bits, entries);
    b.coloursUsed = coloursUsed;
    b.palette.resize(std::min<std::size_t>(b.palette.size(), coloursUsed));
    return b.Build();
  };
  w.Loads("bmp-8-index-past-palette.bmp", palette(8, 256, 2),
          Apply(Indices(256), {Palette(256)[0], Palette(256)[1]}),
          "8 bits, 2 palette entries, indices up to 255");
  w.Loads("bmp-4-index-past-palette.bmp", palette(4, 16, 3),
          Apply(Indices(16), {Palette(16)[0], Palette(16)[1], Palette(16)[2]}),
          "4 bits, 3 palette entries, indices up to 15");
  w.Loads("bmp-1-index-past-palette.bmp", palette(1, 2, 1), Apply(Indices(2), {Palette(2)[0]}),
          "1 bit, 1 palette entry, indices 0 and 1");
  Bmp manyColours = BmpIndexed(8, 256);
  manyColours.coloursUsed = 300;
  w.Refused("bmp-8-colours-300.bmp", manyColours.Build(), damaged, "8 bits, 300 colours used");
  manyColours.coloursUsed = 0xFFFFFFFFu;
  w.Refused("bmp-8-colours-4g.bmp", manyColours.Build(), damaged, "8 bits, 2^32 - 1 colours");
}

void WriteRunLengthBmps(Writer& w) {
  const IndexPicture indices = Indices(16);
  const std::vector<std::uint32_t> palette = Palette(16);
  const Picture truth = Apply(indices, palette);
  const std::string damaged = "damaged or truncated file";
  w.Loads("rle8.bmp", BmpRle(8, Rle8Of(indices)).Build(), truth, "8-bit runs, whole");
  const Bytes stream = Rle8Of(indices);
  w.Refused("rle8-no-end-cut.bmp", BmpRle(8, stream.substr(0, stream.size() / 2)).Build(),
            "truncated file", "8-bit runs, stream cut in the middle");

  // Rows of the picture: the first rows from the bottom, written as given, then the rest of
  // the picture left to palette entry 0 (black) by an end-of-bitmap marker.
  auto rows = [&](const Bytes& head) { return head + EndOfBitmap(); };
  Picture firstRowsBlack(kWidth, kHeight, Rgb(0, 0, 0));
  w.Loads("rle8-end-only.bmp", BmpRle(8, EndOfBitmap()).Build(), firstRowsBlack,
          "8-bit runs: only the end-of-bitmap marker");

  Picture runPast = firstRowsBlack;
  for (int x = 0; x < kWidth; ++x) runPast.Set(x, kHeight - 1, 0xFF000000u | palette[5]);
  w.Loads(
      "rle8-run-past-row.bmp", BmpRle(8, rows(Run(200, 5) + EndOfLine() + Run(3, 6))).Build(),
      [&] {
        Picture p = runPast;
        for (int x = 0; x < 3; ++x) p.Set(x, kHeight - 2, 0xFF000000u | palette[6]);
        return p;
      }(),
      "8-bit run of 200 pixels on a row of 37");
  w.Loads(
      "rle8-literal-past-row.bmp",
      BmpRle(8, rows(Run(30, 5) + Literal(Bytes(20, '\x07'), 20))).Build(),
      [&] {
        Picture p = runPast;
        for (int x = 30; x < kWidth; ++x) p.Set(x, kHeight - 1, 0xFF000000u | palette[7]);
        return p;
      }(),
      "8-bit literal of 20 pixels from column 30 of 37");
  w.Loads(
      "rle8-delta-past-picture.bmp", BmpRle(8, rows(Delta(200, 200) + Run(4, 9))).Build(),
      [&] {
        Picture p = firstRowsBlack;
        // The delta stops at the last column of the top row; the run is cut there.
        p.Set(kWidth - 1, 0, 0xFF000000u | palette[9]);
        return p;
      }(),
      "8-bit delta far past the picture, then a run");
  Bytes manyRows;
  for (int y = 0; y < kHeight + 30; ++y) manyRows += Run(kWidth, 3) + EndOfLine();
  w.Loads("rle8-rows-past-top.bmp", BmpRle(8, manyRows + EndOfBitmap()).Build(),
          Picture(kWidth, kHeight, 0xFF000000u | palette[3]),
          "8-bit runs for 30 rows more than the picture has");
  w.Loads("rle8-index-past-palette.bmp", BmpRle(8, rows(Run(kWidth, 200))).Build(), firstRowsBlack,
          "8-bit run of entry 200 with a 16-entry palette");
  w.Refused("rle8-rows-missing-no-end.bmp", BmpRle(8, Run(kWidth, 4) + EndOfLine()).Build(),
            "truncated file", "8-bit runs: one row of 23, no end marker");
  w.Refused("rle8-in-literal-cut.bmp", BmpRle(8, Run(3, 4) + Bytes("\0\x20\1\2\3", 5)).Build(),
            "truncated file", "8-bit literal of 32 pixels with 3 present");
  w.Refused(
      "rle8-on-24-bits.bmp",
      [&] {
        Bmp b = BmpRle(8, Rle8Of(indices));
        b.bits = 24;
        return b.Build();
      }(),
      damaged, "8-bit run-length compression on a 24-bit header");
  w.Refused(
      "rle8-top-down.bmp",
      [&] {
        Bmp b = BmpRle(8, Rle8Of(indices));
        b.height = -kHeight;
        return b.Build();
      }(),
      "corrupt data: run-length BMP stored top-down", "8-bit runs, top-down (negative height)");

  // Four bits a pixel: runs alternate two entries, literals pack two pixels a byte.
  Bytes stream4;
  for (int y = kHeight - 1; y >= 0; --y) {
    for (int x = 0; x < kWidth; x += 2) {
      const int a = indices.At(x, y), b = x + 1 < kWidth ? indices.At(x + 1, y) : 0;
      stream4 += Run(x + 1 < kWidth ? 2 : 1, a << 4 | b);
    }
    stream4 += EndOfLine();
  }
  stream4 += EndOfBitmap();
  w.Loads("rle4.bmp", BmpRle(4, stream4).Build(), truth, "4-bit runs, whole");
  w.Refused("rle4-cut.bmp", BmpRle(4, stream4.substr(0, stream4.size() / 3)).Build(),
            "truncated file", "4-bit runs, stream cut");
  Picture run4 = firstRowsBlack;
  for (int x = 0; x < kWidth; ++x)
    run4.Set(x, kHeight - 1, 0xFF000000u | palette[x % 2 == 0 ? 1 : 2]);
  w.Loads("rle4-run-past-row.bmp", BmpRle(4, rows(Run(255, 0x12))).Build(), run4,
          "4-bit run of 255 pixels on a row of 37");
  Picture literal4 = firstRowsBlack;
  for (int x = 30; x < kWidth; ++x)
    literal4.Set(x, kHeight - 1, 0xFF000000u | palette[x % 2 == 0 ? 3 : 4]);
  w.Loads("rle4-literal-past-row.bmp",
          BmpRle(4, rows(Delta(30, 0) + Literal(Bytes(10, '\x34'), 19))).Build(), literal4,
          "4-bit literal of 19 pixels from column 30 of 37");
  w.Refused(
      "rle4-on-8-bits.bmp",
      [&] {
        Bmp b = BmpRle(4, stream4);
        b.bits = 8;
        b.coloursUsed = 16;
        return b.Build();
      }(),
      damaged, "4-bit run-length compression on an 8-bit header");

  // A huge picture that is all palette entry 0, here white: a whole, valid file of 82 bytes.
  Bmp huge = BmpRle(8, EndOfBitmap(), 1);
  huge.palette = {0xFFFFFFu};
  huge.width = huge.height = 8000;
  w.Huge("rle8-8000-square-end-only.bmp", huge.Build(), 8000, 8000,
         "8000 x 8000 of 8-bit runs holding only the end marker");
}

void WritePngs(Writer& w) {
  const Picture base = Base();
  const Bytes png = w.Encode(ToImage(base), "png");
  w.Loads("png.png", png, base, "plain PNG");
  w.Cuts("png", ".png", png,
         {8, 16, 33, 41, png.size() / 4, png.size() / 2, png.size() * 3 / 4, png.size() - 12},
         "damaged or truncated file");
  w.Loads("png-end-checksum-cut.png", png.substr(0, png.size() - 1), base,
          "every image byte, the end chunk's checksum cut short");
  Bytes badCrc = png;
  badCrc[30] = static_cast<char>(badCrc[30] ^ 0x55);
  w.Refused("png-ihdr-crc.png", badCrc, "damaged or truncated file", "IHDR checksum wrong");
  Bytes badData = png;
  badData[png.size() / 2] = static_cast<char>(badData[png.size() / 2] ^ 0x55);
  w.Refused("png-idat-flipped.png", badData, "damaged or truncated file",
            "a byte of the image data changed");
  w.Refused("png-width-0.png", PngResized(png, 0, kHeight), "damaged or truncated file",
            "IHDR width 0 (checksum right)");
  // Decompression bombs: a few hundred bytes declaring far more pixels than they hold.
  const Bytes rows(30001 * 4, '\0');
  w.Refused("png-bomb-30000-square.png", PngDeclaring(30000, 30000, rows),
            TooLarge(30000, 30000, kTooManyPixels), "30000 x 30000 in 170 bytes");
  const Bytes bomb = PngDeclaring(16000, 16000, Bytes(48001 * 8, '\0'));
  w.Refused("png-bomb-16000-square.png", bomb, CannotHold(bomb.size(), 16000, 16000),
            "16000 x 16000 holding 8 rows");
  const Bytes endless = PngDeclaring(16000, 16000, Bytes(48001 * 8, '\0'), false);
  w.Refused("png-bomb-16000-no-end.png", endless, CannotHold(endless.size(), 16000, 16000),
            "16000 x 16000 holding 8 rows and no end chunk");
  w.Refused("png-height-40000.png", PngResized(png, kWidth, 40000),
            TooLarge(kWidth, 40000, kTooBigSide), "IHDR height 40000");
  QImage palette = ToImage(Apply(Indices(16), Palette(16)))
                       .convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
  const Picture paletteTruth = FromImage(palette);
  w.Loads("png-palette.png", w.Encode(palette, "png"), paletteTruth, "palette PNG");
  w.Loads("png-16-bits.png", w.Encode(ToImage(base).convertToFormat(QImage::Format_RGBA64), "png"),
          base, "16 bits a channel with alpha");
  // 100 zTXt chunks of 7 MB each in 684 KB: the decoder would inflate all of them.
  const QByteArray text = qCompress(QByteArray(7 << 20, 'x'), 9).mid(4);
  const Bytes zText =
      PngChunk("zTXt", Bytes("Comment\0\0", 9) +
                           Bytes(text.constData(), static_cast<std::size_t>(text.size())));
  const Bytes small = w.Encode(ToImage(base).scaled(10, 10), "png");
  Bytes textBomb = small.substr(0, 33);
  for (int i = 0; i < 100; ++i) textBomb += zText;
  textBomb += small.substr(33);
  w.Refused("png-ztxt-bomb.png", textBomb,
            "too much text: " + std::to_string(100 * (zText.size() - 12)) +
                " bytes of compressed text chunks (the limit is 65536)",
            "10 x 10 with 100 zTXt chunks of 7 MB each");
}

// JPEG entropy-coded bits, most significant first, with 0xFF stuffed.
class JpegBits {
 public:
  void Put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = (byte_ << 1) | ((value >> i) & 1u);
      if (++filled_ == 8) Flush();
    }
  }
  Bytes Done() {
    while (filled_ != 0) Put(1, 1);
    return std::move(bytes_);
  }

 private:
  void Flush() {
    bytes_.push_back(static_cast<char>(byte_));
    if (byte_ == 0xFF) bytes_.push_back('\0');
    byte_ = 0;
    filled_ = 0;
  }
  Bytes bytes_;
  std::uint32_t byte_ = 0;
  int filled_ = 0;
};

// A progressive grey JPEG of side x side, all mid grey: a DC scan, then `scans` - 1 identical
// AC scans that each hold one end-of-band run a 32767 blocks (one bit and 14), which libjpeg
// accepts again and again and walks block by block every time.
Bytes ProgressiveScans(int side, int scans) {
  const int blocks = ((side + 7) / 8) * ((side + 7) / 8);
  const auto size = static_cast<std::uint32_t>(side);
  Bytes frame("\x08", 1);
  testing::PutBe16(frame, size);
  testing::PutBe16(frame, size);
  frame += Bytes("\x01\x01\x11\x00", 4);
  const Bytes oneCode = Bytes("\x01", 1) + Bytes(15, '\0');  // a single code of length 1
  Bytes b = Bytes("\xFF\xD8", 2) + testing::JpegSegment(0xDB, Bytes(1, '\0') + Bytes(64, '\1')) +
            testing::JpegSegment(0xC2, frame) +
            testing::JpegSegment(0xC4, Bytes(1, '\x00') + oneCode + Bytes(1, '\x00')) +
            testing::JpegSegment(0xC4, Bytes(1, '\x10') + oneCode + Bytes(1, '\xE0'));
  JpegBits dc;
  for (int i = 0; i < blocks; ++i) dc.Put(0, 1);  // DC difference category 0
  b += testing::JpegSegment(0xDA, Bytes("\x01\x01\x00\x00\x00\x00", 6)) + dc.Done();
  JpegBits ac;
  for (int left = blocks; left > 0; left -= 32767) {
    ac.Put(0, 1);  // EOB14, then the run's low 14 bits
    ac.Put(static_cast<std::uint32_t>(std::min(left, 32767) - 16384), 14);
  }
  const Bytes run = testing::JpegSegment(0xDA, Bytes("\x01\x01\x00\x01\x3F\x00", 6)) + ac.Done();
  for (int i = 1; i < scans; ++i) b += run;
  return b + "\xFF\xD9";
}

void WriteJpegs(Writer& w) {
  const QImage image = ToImage(Base());
  const Bytes jpeg = w.Encode(image, "jpeg", 90);
  const Picture decoded = FromImage(
      QImage::fromData(QByteArray(jpeg.data(), static_cast<qsizetype>(jpeg.size())), "jpeg"));
  w.Loads("jpeg.jpg", jpeg, decoded, "plain JPEG");
  w.Cuts("jpeg", ".jpg", jpeg,
         {3, 20, 100, jpeg.size() / 4, jpeg.size() / 2, jpeg.size() * 3 / 4, jpeg.size() - 2,
          jpeg.size() - 1},
         "truncated file");
  w.Refused("jpeg-cut-2.jpg", jpeg.substr(0, 2), "not a picture", "only the start-of-image marker");
  const Bytes progressive = w.Encode(image, "jpeg", 90, true);
  w.Loads("jpeg-progressive.jpg", progressive,
          FromImage(QImage::fromData(
              QByteArray(progressive.data(), static_cast<qsizetype>(progressive.size())), "jpeg")),
          "progressive JPEG");
  w.Cuts("jpeg-progressive", ".jpg", progressive, {progressive.size() / 2, progressive.size() - 3},
         "truncated file");
  w.Refused("jpeg-progressive-10000-scans.jpg", ProgressiveScans(4000, 10000),
            "too many scans: 10000 (the limit is 100)",
            "4000 x 4000 grey in 341 KB: 10000 scans of end-of-band runs, each decoded anew");
  const std::size_t scan = jpeg.find("\xFF\xDA") + 14;
  const std::size_t middle = scan + (jpeg.size() - scan) / 2;
  w.Refused("jpeg-hole-in-scan.jpg", jpeg.substr(0, middle) + jpeg.substr(middle + 40),
            "corrupt data: premature end of data segment", "40 bytes missing inside the scan");
  const std::size_t frame = jpeg.find("\xFF\xC0");
  auto sized = [&](std::uint32_t width, std::uint32_t height) {
    Bytes b = jpeg;
    SetBe16(b, frame + 5, height);
    SetBe16(b, frame + 7, width);
    return b;
  };
  w.Refused("jpeg-65000-square.jpg", sized(65000, 65000), TooLarge(65000, 65000, kTooBigSide),
            "frame header 65000 x 65000");
  const Bytes big = sized(16000, 16000);
  w.Refused("jpeg-16000-square.jpg", big, CannotHold(big.size(), 16000, 16000),
            "frame header 16000 x 16000, data for 37 x 23");
  w.Refused("jpeg-height-0.jpg", sized(kWidth, 0),
            "corrupt data: empty JPEG image (DNL not supported)", "frame header height 0");
  w.Refused("jpeg-no-scan.jpg", jpeg.substr(0, jpeg.find("\xFF\xDA")) + "\xFF\xD9",
            "corrupt data: invalid JPEG file structure: missing SOS marker",
            "no scan before the end marker");
}

void WriteGifs(Writer& w) {
  const IndexPicture indices = Indices(256);
  const Picture truth = Apply(indices, Palette(256));
  Gif gif;
  gif.data = testing::GifLzwData(indices.index);
  const Bytes whole = gif.Build();
  w.Loads("gif.gif", whole, truth, "plain GIF");
  w.Cuts("gif", ".gif", whole, {6, 10, 13, 100, 900, whole.size() / 2, whole.size() - 2},
         "truncated file");
  w.Loads("gif-no-trailer.gif", whole.substr(0, whole.size() - 1), truth,
          "no trailer after the image");
  Gif screen = gif;
  screen.screenWidth = screen.screenHeight = 65535;
  w.Refused("gif-screen-65535.gif", screen.Build(), "damaged or truncated file",
            "logical screen 65535 x 65535");
  Gif noTable = gif;
  noTable.globalTable = false;
  w.LoadsSomehow("gif-no-palette.gif", noTable.Build(), kWidth, kHeight,
                 "no colour table at all: the decoder's own colours");
  Gif garbage = gif;
  Random random(11);
  Bytes noise;
  for (int i = 0; i < 40; ++i) {
    noise.push_back('\xFF');
    for (int k = 0; k < 255; ++k) noise.push_back(static_cast<char>(random.Byte()));
  }
  garbage.data = noise + Bytes(1, '\0');
  w.Refused("gif-lzw-garbage.gif", garbage.Build(), "damaged or truncated file",
            "random LZW codes");
  Gif codeSize = gif;
  codeSize.codeSize = 12;
  w.Refused("gif-code-size-12.gif", codeSize.Build(), "corrupt data: LZW code size 12",
            "LZW minimum code size 12");
  Gif wide = gif;
  wide.imageWidth = 300;
  w.Refused("gif-image-wider-than-screen.gif", wide.Build(), "truncated file",
            "image 300 wide on a screen 37 wide, data for 37 columns");
  Gif few;
  few.screenWidth = few.screenHeight = few.imageWidth = few.imageHeight = 200;
  few.globalTable = false;
  few.data = testing::GifLzwData({0, 1, 2, 3});
  w.Refused("gif-lzw-short-200-square.gif", few.Build(), "truncated file",
            "200 x 200 whose codes end after 4 pixels");
}

void WriteTiffs(Writer& w) {
  const Picture base = Base();
  const Bytes tiff = w.Encode(ToImage(base), "tiff");
  if (tiff.substr(0, 4) != Bytes("II*\0", 4)) throw std::runtime_error("TIFF not little-endian");
  w.Loads("tiff.tif", tiff, base, "plain TIFF");
  w.Cuts("tiff", ".tif", tiff, {4, 8, tiff.size() / 4, tiff.size() / 2, tiff.size() - 1},
         "damaged or truncated file");
  Bytes wide = tiff;
  SetTiffValue(wide, 256, 40000);
  w.Refused("tiff-width-40000.tif", wide, TooLarge(40000, kHeight, kTooBigSide),
            "ImageWidth 40000");
  Bytes farDirectory = tiff;
  SetLe32(farDirectory, 4, 0x7FFFFFF0u);
  w.Refused("tiff-directory-past-end.tif", farDirectory, "damaged or truncated file",
            "first directory past the end");
  Bytes loop = tiff;
  const std::size_t ifd = GetLe32(tiff, 4);
  SetLe32(loop, ifd + 2 + 12 * GetLe16(tiff, ifd), static_cast<std::uint32_t>(ifd));
  w.Loads("tiff-directory-loop.tif", loop, base, "next directory is the first one again");
  Bytes strips = tiff;
  SetTiffValue(strips, 273, 0x7FFFFF00u);
  w.Refused("tiff-strip-past-end.tif", strips, "damaged or truncated file",
            "strip offset past the end");
  // 12000 x 12000 in 2.7 KB: refused before the declared size is allocated.
  Bytes big = tiff;
  SetTiffValue(big, 256, 12000);
  SetTiffValue(big, 257, 12000);
  w.Refused("tiff-12000-square.tif", big, "damaged or truncated file",
            "ImageWidth and ImageLength 12000, data for 37 x 23");
  // 16000 x 16000 RGB deflate: BitsPerSample's three values make at least 744 KB.
  Random random(23);
  Bytes strip;
  for (int i = 0; i < 300000; ++i) strip.push_back(static_cast<char>(random.Byte()));
  const auto stripBytes = static_cast<std::uint32_t>(strip.size());
  const Bytes rgb = testing::Tiff(true,
                                  {{256, 4, {16000}},
                                   {257, 4, {16000}},
                                   {258, 3, {8, 8, 8}},
                                   {259, 3, {8}},
                                   {262, 3, {2}},
                                   {273, 4, {8}},
                                   {277, 3, {3}},
                                   {278, 4, {16000}},
                                   {279, 4, {stripBytes}}},
                                  strip);
  w.Refused("tiff-16000-rgb-deflate-short.tif", rgb, "damaged or truncated file",
            "16000 x 16000 RGB deflate in 300 KB");
}

void WriteOtherFormats(Writer& w) {
  const Picture base = Base();
  const Bytes webp = w.Encode(ToImage(base), "webp", 100);
  w.Loads("webp.webp", webp,
          FromImage(QImage::fromData(QByteArray(webp.data(), static_cast<qsizetype>(webp.size())))),
          "plain WebP");
  w.Cuts("webp", ".webp", webp, {12, webp.size() / 2}, "damaged or truncated file");
  const Bytes ppm = w.Encode(ToImage(base), "ppm");
  w.Loads("ppm.ppm", ppm, base, "plain PPM");
  w.Refused("ppm-cut.ppm", ppm.substr(0, ppm.size() / 2), "damaged or truncated file",
            "PPM cut in half");
  w.Refused("ppm-30000-square.ppm", "P6\n30000 30000\n255\n" + Bytes(300, '\x80'),
            TooLarge(30000, 30000, kTooManyPixels), "PPM header 30000 x 30000");
  w.Refused("pgm-16000-square.pgm", "P5\n16000 16000\n255\n" + Bytes(300, '\x80'),
            "damaged or truncated file", "PGM header 16000 x 16000, 300 bytes of data");
  w.Refused("ppm-maxval-0.ppm", "P6\n4 4\n0\n" + Bytes(48, '\0'), "damaged or truncated file",
            "PPM maximum value 0");
  w.Refused("pbm-ascii-garbage.pbm", "P1\n4 4\n1 0 x y z\n", "damaged or truncated file",
            "ASCII PBM with letters for pixels");
}

void WritePaths(Writer& w) {
  const std::filesystem::path& folder = w.Folder();
  const Bytes bmp = Bmp24().Build();
  std::filesystem::create_directory(folder / "folder.bmp");
  w.Add(Refusal("folder.bmp", "a folder", "is a directory"));
  if (::mkfifo((folder / "fifo.bmp").c_str(), 0600) != 0)
    throw std::runtime_error("cannot make a FIFO");
  w.Add(Refusal("fifo.bmp", "a FIFO with no writer", "not a regular file"));
  w.Add(Refusal("/dev/zero", "an endless device", "not a regular file"));
  w.Add(Refusal("missing.bmp", "no such file", "no such file"));
  w.Add(Refusal("missing-folder/a.bmp", "a folder that does not exist", "no such file"));
  w.File("plain-file", bmp);
  w.Add(Refusal("plain-file/a.bmp", "a file used as a folder", "no such file"));
  std::filesystem::create_symlink("loop-b.bmp", folder / "loop-a.bmp");
  std::filesystem::create_symlink("loop-a.bmp", folder / "loop-b.bmp");
  w.Add(Refusal("loop-a.bmp", "symbolic links in a loop", "too many levels of symbolic links"));
  w.Add(Refusal(std::string(300, 'n') + ".bmp", "a name of 304 bytes", "file name too long"));
  w.Loads("latin-1-\xe9t\xe9-\xff.bmp", bmp, Base(), "a name that is not UTF-8");
  w.Add(Refusal("missing-\xff\xfe.bmp", "a missing name that is not UTF-8", "no such file"));
  w.Loads("line\nbreak.bmp", bmp, Base(), "a name with a line break");
  w.Add(Refusal("missing\nline-break.bmp", "a missing name with a line break", "no such file"));
  HostileCase locked = Refusal("unreadable.bmp", "no read permission", "permission denied");
  locked.unreadable = true;
  w.File(locked.name, bmp);
  ::chmod((folder / locked.name).c_str(), 0);
  w.Add(std::move(locked));
  HostileCase anyLimit = Refusal("max-alloc-0.bmp", "a whole BMP with QT_IMAGEIO_MAXALLOC=0", "");
  anyLimit.expect = Expect::Loads;
  anyLimit.environment = {"QT_IMAGEIO_MAXALLOC=0"};
  anyLimit.width = kWidth;
  anyLimit.height = kHeight;
  anyLimit.picture = Base();
  w.File(anyLimit.name, bmp);
  w.Add(std::move(anyLimit));
}

}  // namespace

Picture BasePicture() {
  return Base();
}

void WriteSixteenBitPng(const std::filesystem::path& path, int side) {
  const Bytes row(static_cast<std::size_t>(side) * 6 + 1, '\0');  // filter byte and pixels
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, 15, 9, Z_RLE) != Z_OK)
    throw std::runtime_error("cannot start deflate");
  Bytes stream;
  std::array<char, 65536> out{};
  for (int y = 0; y <= side; ++y) {
    const bool last = y == side;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.data()));
    z.avail_in = last ? 0 : static_cast<uInt>(row.size());
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      stream.append(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  const auto sideBytes = static_cast<std::uint32_t>(side);
  testing::WriteFile(path, Bytes("\x89PNG\r\n\x1a\n", 8) +
                               PngChunk("IHDR", testing::PngHeader(sideBytes, sideBytes, 16, 2)) +
                               PngChunk("IDAT", stream) + PngChunk("IEND", {}));
}

std::vector<HostileCase> WriteHostileFiles(const std::filesystem::path& folder) {
  Writer w(folder);
  WriteForeignFiles(w);
  WriteLyingBmps(w);
  WriteRunLengthBmps(w);
  WritePngs(w);
  WriteJpegs(w);
  WriteGifs(w);
  WriteTiffs(w);
  WriteOtherFormats(w);
  WritePaths(w);
  return w.Take();
}

}  // namespace holescan::hostile
