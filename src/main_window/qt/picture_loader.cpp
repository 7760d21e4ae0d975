#include "main_window/qt/picture_loader.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <QtGlobal>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace holescan {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;

PictureFile Refused(std::string reason) {
  PictureFile file;
  file.reason = std::move(reason);
  return file;
}

std::string LowercaseFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] + 32);
  return text;
}

std::string ErrnoReason(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "no such file";
    case EACCES:
    case EPERM:
      return "permission denied";
    default:
      return LowercaseFirst(std::generic_category().message(error));
  }
}

std::string SizeText(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// ---- Reading the file's bytes ----------------------------------------------------------

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

// Sequential reads through a buffer with pread, leaving the descriptor's offset alone for
// Qt. Every read reports whether the file still had the bytes.
class ByteStream {
 public:
  ByteStream(int fd, std::int64_t size, std::int64_t offset)
      : fd_(fd), size_(size), next_(offset) {}

  bool Get(std::uint8_t& byte) {
    if (pos_ == end_ && !Fill()) return false;
    byte = buffer_[pos_++];
    return true;
  }
  bool Skip(std::int64_t count) {
    const auto buffered = static_cast<std::int64_t>(end_ - pos_);
    if (count <= buffered) {
      pos_ += static_cast<std::size_t>(count);
      return true;
    }
    next_ += count - buffered;
    pos_ = end_ = 0;
    return next_ <= size_;
  }
  // Skips to the next 0xFF byte and consumes it.
  bool SkipPastFF() {
    for (;;) {
      if (pos_ == end_ && !Fill()) return false;
      const void* found = std::memchr(buffer_.data() + pos_, 0xFF, end_ - pos_);
      if (found != nullptr) {
        pos_ =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - buffer_.data()) + 1;
        return true;
      }
      pos_ = end_;
    }
  }

 private:
  bool Fill() {
    if (next_ >= size_) return false;
    const auto wanted =
        static_cast<std::size_t>(std::min(size_ - next_, std::int64_t{kBufferSize}));
    const ssize_t got = ::pread(fd_, buffer_.data(), wanted, static_cast<off_t>(next_));
    if (got <= 0) return false;
    pos_ = 0;
    end_ = static_cast<std::size_t>(got);
    next_ += got;
    return true;
  }

  int fd_;
  std::int64_t size_;
  std::int64_t next_;  // file offset of the byte after the buffer's end
  static constexpr std::int64_t kBufferSize = 65536;
  std::array<std::uint8_t, kBufferSize> buffer_{};
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

std::uint32_t Le16(const std::uint8_t* p) {
  return p[0] | (std::uint32_t{p[1]} << 8);
}
std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

// ---- Format from the first bytes --------------------------------------------------------

QByteArray SniffFormat(const std::uint8_t* head, std::size_t n) {
  auto starts = [&](const char* magic, std::size_t length, std::size_t at = 0) {
    return n >= at + length && std::memcmp(head + at, magic, length) == 0;
  };
  if (starts("BM", 2)) return "bmp";
  if (starts("\x89PNG\r\n\x1a\n", 8)) return "png";
  if (starts("\xFF\xD8\xFF", 3)) return "jpeg";
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return "gif";
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return "tiff";
  if (starts("RIFF", 4) && starts("WEBP", 4, 8)) return "webp";
  if (n >= 3 && head[0] == 'P' && std::strchr(" \t\r\n#", head[2]) != nullptr) {
    switch (head[1]) {
      case '1':
      case '4':
        return "pbm";
      case '2':
      case '5':
        return "pgm";
      case '3':
      case '6':
        return "ppm";
      default:
        break;
    }
  }
  return {};
}

// ---- Completeness of the formats Qt reads without noticing a short file ----------------

enum class Verdict { Complete, Truncated, Unknown };  // Unknown: Qt decides

// What a BMP's headers declare, as Qt's decoder reads them.
struct BmpHeader {
  Verdict headers = Verdict::Unknown;  // Truncated: the file ends inside the headers
  bool sized = false;                  // width and height were read
  std::int64_t width = 0;
  std::int64_t height = 0;  // positive also for a top-down picture
  std::uint32_t infoSize = 0;
  std::uint32_t bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t coloursUsed = 0;
  std::int32_t dataOffset = 0;
  bool topDown = false;  // a negative height in the header

  bool RunLength() const { return compression == 1 || compression == 2; }
};

// Walks a run-length stream (8 or 4 bits a pixel) the way the decoder consumes it.
Verdict WalkRunLength(ByteStream& in, std::int64_t width, std::int64_t height, bool fourBits) {
  std::int64_t x = 0, y = 0;
  std::uint8_t b = 0, c = 0;
  while (y < height) {
    if (!in.Get(b)) return Verdict::Truncated;
    if (b != 0) {  // a run of b pixels of one value
      if (!in.Get(c)) return Verdict::Truncated;
      x += b;
      continue;
    }
    if (!in.Get(c)) return Verdict::Truncated;
    if (c == 1) return Verdict::Complete;  // end of bitmap
    if (c == 0) {                          // end of line
      x = 0;
      ++y;
    } else if (c == 2) {  // delta, clamped inside the picture as the decoder does
      std::uint8_t dx = 0, dy = 0;
      if (!in.Get(dx) || !in.Get(dy)) return Verdict::Truncated;
      x = std::min(x + dx, width - 1);
      y = std::min(y + dy, height - 1);
    } else {  // c literal pixels, padded to a 16-bit boundary
      const std::int64_t bytes = fourBits ? (c + 1) / 2 : c;
      if (!in.Skip(bytes + (bytes & 1))) return Verdict::Truncated;
      x += c;
    }
  }
  return Verdict::Complete;
}

BmpHeader ReadBmpHeader(int fd, std::int64_t size) {
  constexpr std::int64_t kFileHeader = 14;
  std::array<std::uint8_t, kFileHeader + 40> h{};
  BmpHeader header;
  const auto got = ::pread(fd, h.data(), h.size(), 0);
  header.infoSize = got >= kFileHeader + 4 ? Le32(&h[14]) : 0;
  if (got < kFileHeader + 4 || size < kFileHeader + std::int64_t{header.infoSize}) {
    header.headers = Verdict::Truncated;
    return header;
  }
  header.dataOffset = static_cast<std::int32_t>(Le32(&h[10]));
  const std::uint32_t info = header.infoSize;
  if (info == 40 || info == 64 || info == 108 || info == 124) {
    header.width = static_cast<std::int32_t>(Le32(&h[18]));
    header.height = static_cast<std::int32_t>(Le32(&h[22]));
    header.bits = Le16(&h[28]);
    header.compression = Le32(&h[30]);
    header.coloursUsed = Le32(&h[46]);
  } else {  // the old OS/2 header (and anything unknown, as Qt reads it): 16-bit sizes
    header.width = static_cast<std::int16_t>(Le16(&h[18]));
    header.height = static_cast<std::int16_t>(Le16(&h[20]));
    header.bits = Le16(&h[24]);
  }
  header.topDown = header.height < 0;
  if (header.topDown) header.height = -header.height;
  header.sized = header.width > 0 && header.height > 0;
  header.headers = Verdict::Complete;
  return header;
}

// Whether the file holds the palette and all the pixel data the headers declare.
Verdict CheckBmpData(int fd, std::int64_t size, const BmpHeader& h) {
  constexpr std::int64_t kFileHeader = 14;
  const std::uint32_t bits = h.bits;
  const bool knownDepth =
      bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
  // Sizes out of range are refused before this check.
  if (!h.sized || h.width > kMaxPictureSide || h.height > kMaxPictureSide || h.compression > 3 ||
      !knownDepth) {
    return Verdict::Unknown;
  }
  const std::int64_t colours = bits <= 8 ? (h.coloursUsed != 0 ? h.coloursUsed : 1u << bits) : 0;
  if (colours > 256) return Verdict::Unknown;
  const std::int64_t paletteStart = kFileHeader + (h.infoSize >= 108 ? 40 : h.infoSize);
  const std::int64_t paletteEnd = paletteStart + colours * (h.infoSize == 12 ? 3 : 4);
  // Bit-field masks after a 40-byte header come before the data, which starts at the
  // header's offset unless that points back into the headers.
  std::int64_t dataStart = paletteEnd;
  if (h.dataOffset >= 0) dataStart = std::max<std::int64_t>(dataStart, h.dataOffset);
  if (size < dataStart || (colours > 0 && size <= paletteEnd)) return Verdict::Truncated;

  if (h.RunLength()) {
    if (bits != (h.compression == 1 ? 8u : 4u)) return Verdict::Unknown;
    ByteStream in(fd, size, dataStart);
    return WalkRunLength(in, h.width, h.height, h.compression == 2);
  }
  const std::int64_t rowBytes = (h.width * bits + 31) / 32 * 4;
  return size - dataStart >= rowBytes * h.height ? Verdict::Complete : Verdict::Truncated;
}

bool IsRestartOrStandalone(std::uint8_t marker) {
  return (marker >= 0xD0 && marker <= 0xD8) || marker == 0x01;
}

// The first frame header of a JPEG: its kind and the sampling factors of its components.
struct JpegFrame {
  std::uint8_t marker = 0;                    // 0xC0..0xCF; 0 when none was seen
  std::vector<std::pair<int, int>> sampling;  // horizontal and vertical factor per component
};

// Walks the JPEG markers up to the end-of-image marker; entropy-coded data after a
// start-of-scan ends at the first marker that is neither a stuffed 0xFF00 nor a restart.
Verdict CheckJpeg(int fd, std::int64_t size, JpegFrame& frame) {
  ByteStream in(fd, size, 2);  // after the start-of-image marker
  std::uint8_t b = 0;
  for (;;) {
    if (!in.SkipPastFF()) return Verdict::Truncated;
    do {
      if (!in.Get(b)) return Verdict::Truncated;
    } while (b == 0xFF);
    if (b == 0xD9) return Verdict::Complete;
    if (b == 0x00 || IsRestartOrStandalone(b)) continue;
    std::uint8_t hi = 0, lo = 0;
    if (!in.Get(hi) || !in.Get(lo)) return Verdict::Truncated;
    const int length = (hi << 8) | lo;
    if (length < 2) return Verdict::Unknown;
    const bool startOfFrame = b >= 0xC0 && b <= 0xCF && b != 0xC4 && b != 0xC8 && b != 0xCC;
    if (startOfFrame && frame.marker == 0 && length >= 8) {
      frame.marker = b;
      std::uint8_t header[6] = {};  // precision, height, width, component count
      for (std::uint8_t& byte : header) {
        if (!in.Get(byte)) return Verdict::Truncated;
      }
      int rest = length - 8;
      for (int i = 0; i < header[5] && rest >= 3; ++i, rest -= 3) {
        std::uint8_t id = 0, factors = 0, table = 0;
        if (!in.Get(id) || !in.Get(factors) || !in.Get(table)) return Verdict::Truncated;
        frame.sampling.emplace_back(factors >> 4, factors & 0x0F);
      }
      if (!in.Skip(rest)) return Verdict::Truncated;
      continue;
    }
    if (!in.Skip(length - 2)) return Verdict::Truncated;
    // After a scan header the entropy-coded data follows; SkipPastFF passes over it, and
    // stuffed bytes (0xFF00) and restart markers are passed over by the `continue` above.
  }
}

bool SkipGifSubBlocks(ByteStream& in) {
  std::uint8_t length = 0;
  do {
    if (!in.Get(length) || !in.Skip(length)) return false;
  } while (length != 0);
  return true;
}

// The first image of a GIF: its size and the minimum code size of its data.
struct GifImage {
  std::int64_t width = 0;
  std::int64_t height = 0;
  int codeSize = 0;
};

// Walks the GIF blocks up to the end of the first image's data.
Verdict CheckGif(int fd, std::int64_t size, GifImage& image) {
  ByteStream in(fd, size, 10);
  std::uint8_t flags = 0, b = 0;
  if (!in.Get(flags) || !in.Skip(2)) return Verdict::Truncated;
  if ((flags & 0x80) != 0 && !in.Skip(3 * (2 << (flags & 7)))) return Verdict::Truncated;
  for (;;) {
    if (!in.Get(b)) return Verdict::Truncated;
    if (b == 0x21) {  // extension: label, then sub-blocks
      if (!in.Skip(1) || !SkipGifSubBlocks(in)) return Verdict::Truncated;
    } else if (b == 0x2C) {    // image: descriptor, local colour table, code size, data
      std::uint8_t d[8] = {};  // left, top, width, height
      for (std::uint8_t& byte : d) {
        if (!in.Get(byte)) return Verdict::Truncated;
      }
      image.width = Le16(&d[4]);
      image.height = Le16(&d[6]);
      std::uint8_t codeSize = 0;
      if (!in.Get(flags)) return Verdict::Truncated;
      if ((flags & 0x80) != 0 && !in.Skip(3 * (2 << (flags & 7)))) return Verdict::Truncated;
      if (!in.Get(codeSize) || !SkipGifSubBlocks(in)) return Verdict::Truncated;
      image.codeSize = codeSize;
      return Verdict::Complete;
    } else {
      return Verdict::Unknown;  // trailer before any image, or garbage
    }
  }
}

// ---- Declared sizes that the file cannot hold -----------------------------------------

// The fewest bytes that can hold a TIFF's pixels, from its first directory: the raw size
// of the samples divided by the best ratio of its compression; 0 for compressions without a
// useful bound (the fax codings, JPEG) or a directory that cannot be read.
std::int64_t TiffMinimumSize(int fd, std::int64_t pixels) {
  std::array<std::uint8_t, 8> head{};
  if (::pread(fd, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) return 0;
  const bool little = head[0] == 'I';
  auto u16 = [&](const std::uint8_t* p) -> std::uint32_t {
    return little ? Le16(p) : (std::uint32_t{p[0]} << 8 | p[1]);
  };
  auto u32 = [&](const std::uint8_t* p) -> std::uint32_t {
    return little ? Le32(p) : (u16(p) << 16 | u16(p + 2));
  };
  if (u16(&head[2]) != 42) return 0;  // BigTIFF and anything else: no bound
  const std::uint32_t directory = u32(&head[4]);
  std::array<std::uint8_t, 2> count{};
  if (::pread(fd, count.data(), 2, static_cast<off_t>(directory)) != 2) return 0;
  const std::uint32_t entries = std::min<std::uint32_t>(u16(count.data()), 1000);
  std::vector<std::uint8_t> table(static_cast<std::size_t>(entries) * 12);
  if (::pread(fd, table.data(), table.size(), static_cast<off_t>(directory) + 2) !=
      static_cast<ssize_t>(table.size())) {
    return 0;
  }
  std::int64_t bits = 1, samples = 1;
  std::uint32_t compression = 1;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint8_t* entry = &table[static_cast<std::size_t>(i) * 12];
    const std::uint32_t tag = u16(entry);
    const std::uint32_t type = u16(entry + 2);
    // The first value: a SHORT or a LONG held in the entry itself.
    const std::uint32_t value = type == 3 ? u16(entry + 8) : u32(entry + 8);
    if (type != 3 && type != 4) continue;
    if (tag == 258 && u32(entry + 4) == 1) bits = value;  // one sample: its bits are inline
    if (tag == 259) compression = value;
    if (tag == 277) samples = value;
  }
  const std::int64_t rawBytes =
      pixels * std::max<std::int64_t>(bits, 1) * std::max<std::int64_t>(samples, 1) / 8;
  switch (compression) {
    case 1:  // none
      return rawBytes;
    case 32773:  // PackBits: a run of 128 bytes in 2
      return rawBytes / 64;
    case 5:  // LZW: codes of at least 9 bits for at most 4096 bytes each
      return rawBytes * 9 / (4096 * 8);
    case 8:
    case 32946:  // Deflate
      return rawBytes / 1032;
    default:
      return 0;
  }
}

// The fewest bytes of a file that can hold `pixels` pixels in this format, or 0 when the
// format's compression allows no useful bound (WebP, arithmetic-coded JPEG, fax-coded TIFF).
// A file smaller than this is damaged whatever its headers say, and is refused before its
// declared size is allocated: a few hundred bytes must not cost a gigabyte.
std::int64_t MinimumFileSize(const QByteArray& format, int fd, std::int64_t width,
                             std::int64_t height, const JpegFrame& jpeg) {
  const std::int64_t pixels = width * height;
  if (format == "png") {
    // Deflate codes at most 258 bytes in 2 bits; the rows hold at least the pixels' bits.
    std::array<std::uint8_t, 26> h{};
    if (::pread(fd, h.data(), h.size(), 0) != static_cast<ssize_t>(h.size())) return 0;
    static constexpr std::array<int, 7> kChannels = {1, 0, 3, 1, 2, 0, 4};
    const int channels = h[25] < kChannels.size() ? kChannels[h[25]] : 0;
    const std::int64_t rawBytes = pixels * h[24] * channels / 8;
    return rawBytes / 1032;
  }
  if (format == "jpeg") {
    // Every 8 x 8 block of a Huffman-coded component costs at least one bit in its first
    // scan (two in a sequential one: its DC difference and the end of its AC run).
    const bool huffman = jpeg.marker == 0xC0 || jpeg.marker == 0xC1 || jpeg.marker == 0xC2;
    if (!huffman || jpeg.sampling.empty()) return 0;
    int maxH = 0, maxV = 0;
    for (const auto& [h, v] : jpeg.sampling) {
      if (h == 0 || v == 0) return 0;
      maxH = std::max(maxH, h);
      maxV = std::max(maxV, v);
    }
    std::int64_t fewestBlocks = pixels;
    for (const auto& [h, v] : jpeg.sampling) {
      const std::int64_t columns = (width * h + maxH - 1) / maxH;
      const std::int64_t rows = (height * v + maxV - 1) / maxV;
      fewestBlocks = std::min(fewestBlocks, ((columns + 7) / 8) * ((rows + 7) / 8));
    }
    return fewestBlocks * (jpeg.marker == 0xC2 ? 1 : 2) / 8;
  }
  if (format == "tiff") return TiffMinimumSize(fd, pixels);
  if (format == "pbm" || format == "pgm" || format == "ppm") {
    char kind = 0;
    if (::pread(fd, &kind, 1, 1) != 1) return 0;
    if (kind == '4') return (width + 7) / 8 * height;      // bits
    return pixels * (kind == '3' || kind == '6' ? 3 : 1);  // one byte or digit a sample
  }
  return 0;
}

// ---- Decoding ---------------------------------------------------------------------------

// Collects what Qt and the decoders report while a file is decoded, instead of printing it.
class MessageCapture {
 public:
  MessageCapture() {
    messages_ = &captured_;
    previous_ = qInstallMessageHandler(&Handle);
  }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;
  ~MessageCapture() {
    qInstallMessageHandler(previous_);
    messages_ = nullptr;
  }
  const std::vector<std::string>& Warnings() const { return captured_; }

 private:
  static void Handle(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (messages_ != nullptr && type != QtDebugMsg && type != QtInfoMsg)
      messages_->push_back(message.toStdString());
  }

  static inline std::vector<std::string>* messages_ = nullptr;
  std::vector<std::string> captured_;
  QtMessageHandler previous_ = nullptr;
};

std::string CorruptDataReason(const std::string& message) {
  static constexpr std::string_view kPrefix = "Corrupt JPEG data: ";
  if (message.rfind(kPrefix, 0) == 0) return "corrupt data: " + message.substr(kPrefix.size());
  return "corrupt data: " + LowercaseFirst(message);
}

// Copies a decoded image into `picture` (reallocated when its size differs).
void CopyInto(const QImage& decoded, Picture& picture) {
  const int width = decoded.width();
  const int height = decoded.height();
  if (picture.Width() != width || picture.Height() != height) picture = Picture(width, height, 0);
  const QImage::Format format = decoded.format();
  const bool mono = format == QImage::Format_Mono || format == QImage::Format_MonoLSB;
  if (format == QImage::Format_Indexed8 || format == QImage::Format_Grayscale8 || mono) {
    std::array<std::uint32_t, 256> colours{};
    if (format == QImage::Format_Grayscale8) {
      for (std::uint32_t v = 0; v < 256; ++v) colours[v] = kOpaque | (v * 0x010101u);
    } else {
      // Indices past the colour table are black, whatever Qt's conversion would make of
      // them (a 1-bit BMP may have a single palette entry).
      colours.fill(kOpaque);
      const QList<QRgb> table = decoded.colorTable();
      for (qsizetype i = 0; i < std::min<qsizetype>(table.size(), 256); ++i)
        colours[static_cast<std::size_t>(i)] = kOpaque | table[i];
    }
    for (int y = 0; y < height; ++y) {
      const uchar* in = decoded.constScanLine(y);
      std::uint32_t* out = picture.Row(y);
      if (format == QImage::Format_Mono) {
        for (int x = 0; x < width; ++x) out[x] = colours[(in[x >> 3] >> (7 - (x & 7))) & 1];
      } else if (format == QImage::Format_MonoLSB) {
        for (int x = 0; x < width; ++x) out[x] = colours[(in[x >> 3] >> (x & 7)) & 1];
      } else {
        for (int x = 0; x < width; ++x) out[x] = colours[in[x]];
      }
    }
    return;
  }
  auto copyWords = [&](const QImage& words, int firstRow) {
    for (int y = 0; y < words.height(); ++y) {
      const auto* in = reinterpret_cast<const std::uint32_t*>(words.constScanLine(y));
      std::uint32_t* out = picture.Row(firstRow + y);
      for (int x = 0; x < width; ++x) out[x] = in[x] | kOpaque;
    }
  };
  if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32) {
    copyWords(decoded, 0);
    return;
  }
  // Other layouts are converted a band of rows at a time, so that a whole converted copy
  // never exists beside the picture. Unpremultiplied, so a translucent pixel keeps its colour.
  const QImage::Format words =
      decoded.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
  constexpr int kBandRows = 64;
  for (int y = 0; y < height; y += kBandRows) {
    const QImage band =
        decoded.copy(0, y, width, std::min(kBandRows, height - y)).convertToFormat(words);
    if (band.isNull()) throw std::bad_alloc();
    copyWords(band, y);
  }
}

std::optional<std::string> SizeRefusal(std::int64_t width, std::int64_t height,
                                       const PictureLimits& limits) {
  if (width > limits.maxSide || height > limits.maxSide) {
    return "too large: " + SizeText(width, height) + " (the limit is " +
           std::to_string(limits.maxSide) + " on a side)";
  }
  if (width * height > limits.maxPixels) {
    return "too large: " + SizeText(width, height) + " (the limit is " +
           std::to_string(limits.maxPixels) + " pixels)";
  }
  return std::nullopt;
}

// Held while a picture is decoded: the message capture is process-wide.
std::mutex& LoadsInProgress() {
  static std::mutex mutex;
  return mutex;
}

PictureFile Decode(int fd, std::int64_t size, const PictureLimits& limits) {
  std::array<std::uint8_t, 16> head{};
  const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
  if (got < 0) return Refused(ErrnoReason(errno));
  const QByteArray format = SniffFormat(head.data(), static_cast<std::size_t>(got));
  if (format.isEmpty()) return Refused("not a picture");

  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
    return Refused(LowercaseFirst(file.errorString().toStdString()));
  MessageCapture messages;
  QImageReader reader(&file, format);
  reader.setAutoDetectImageFormat(false);
  reader.setAutoTransform(false);
  if (!reader.canRead()) {
    if (reader.error() == QImageReader::UnsupportedFormatError) {
      return Refused("unsupported picture format: " + format.toStdString() +
                     " (Qt's image format plugins are not installed)");
    }
    return Refused("damaged or truncated file");
  }
  // The declared size; Qt gives a top-down BMP a negative height, so a BMP's own header
  // decides.
  std::int64_t width = -1, height = -1;
  if (const QSize qtSize = reader.size(); qtSize.isValid()) {
    width = qtSize.width();
    height = qtSize.height();
  }
  BmpHeader bmp;
  if (format == "bmp") {
    bmp = ReadBmpHeader(fd, size);
    if (bmp.headers == Verdict::Truncated) return Refused("truncated file");
    if (bmp.sized) {
      width = bmp.width;
      height = bmp.height;
    }
  }
  if (width >= 0 && height >= 0) {
    if (auto refusal = SizeRefusal(width, height, limits)) return Refused(*refusal);
  }

  if (format == "bmp" && bmp.RunLength() && bmp.topDown)
    return Refused("corrupt data: run-length BMP stored top-down");

  Verdict verdict = Verdict::Unknown;
  JpegFrame jpeg;
  GifImage gif;
  if (format == "bmp") verdict = CheckBmpData(fd, size, bmp);
  if (format == "jpeg") verdict = CheckJpeg(fd, size, jpeg);
  if (format == "gif") verdict = CheckGif(fd, size, gif);
  if (verdict == Verdict::Truncated) return Refused("truncated file");
  if (format == "gif" && verdict == Verdict::Complete && (gif.codeSize < 1 || gif.codeSize > 8))
    return Refused("corrupt data: LZW code size " + std::to_string(gif.codeSize));
  if (width > 0 && height > 0) {
    const std::int64_t needed = MinimumFileSize(format, fd, width, height, jpeg);
    if (size < needed) {
      // As Qt's readers say of a short PNM or TIFF file.
      if (format != "png" && format != "jpeg") return Refused("damaged or truncated file");
      return Refused("corrupt data: " + std::to_string(size) + " bytes cannot hold " +
                     SizeText(width, height));
    }
  }
  if (format == "gif" && verdict == Verdict::Complete) {
    // LZW codes are at least 3 bits long and stand for at most 4096 pixels each.
    if (gif.width * gif.height > size * 8 / 3 * 4096) {
      return Refused("corrupt data: " + std::to_string(size) + " bytes cannot hold " +
                     SizeText(gif.width, gif.height));
    }
  }
  const QSize declared =
      width > 0 && height > 0 ? QSize(static_cast<int>(width), static_cast<int>(height)) : QSize();

  PictureFile result;
  Picture& picture = result.picture;
  try {
    QImage image;
    const bool known = declared.isValid() && !declared.isEmpty();
    if (known && bmp.RunLength()) {
      image = QImage(declared, QImage::Format_Indexed8);
      if (image.isNull()) throw std::bad_alloc();
      image.fill(0);
    } else if (known) {
      // Decoders that produce 32-bit RGB of this size write straight into the picture.
      picture = Picture(declared.width(), declared.height(), kOpaque);
      image = QImage(reinterpret_cast<uchar*>(picture.Data()), declared.width(), declared.height(),
                     static_cast<qsizetype>(picture.Stride() * 4), QImage::Format_RGB32);
    }
    const uchar* inPlace = image.constBits();
    if (!reader.read(&image)) {
      if (format == "jpeg" && !messages.Warnings().empty())
        return Refused(CorruptDataReason(messages.Warnings().front()));
      if (reader.error() == QImageReader::DeviceError) return Refused("read error");
      // Only when Qt read QT_IMAGEIO_MAXALLOC before ConfigurePictureReading could remove it.
      for (const std::string& warning : messages.Warnings()) {
        if (warning.find("allocation limit") != std::string::npos) {
          return Refused("too large for Qt's image allocation limit of " +
                         std::to_string(QImageReader::allocationLimit()) + " MiB");
        }
      }
      return Refused("damaged or truncated file");
    }
    if (format == "jpeg" && !messages.Warnings().empty())
      return Refused(CorruptDataReason(messages.Warnings().front()));
    if (auto refusal = SizeRefusal(image.width(), image.height(), limits)) {
      return Refused(*refusal);
    }
    if (image.isNull()) return Refused("damaged or truncated file");

    const bool decodedInPlace = inPlace != nullptr && image.constBits() == inPlace &&
                                image.format() == QImage::Format_RGB32 &&
                                image.size() == declared && !bmp.RunLength();
    if (decodedInPlace) {
      image = QImage();
      std::uint32_t* word = picture.Data();
      const std::size_t count = picture.Stride() * static_cast<std::size_t>(picture.Height());
      for (std::size_t i = 0; i < count; ++i) word[i] |= kOpaque;
    } else {
      CopyInto(image, picture);
    }
  } catch (const std::bad_alloc&) {
    return Refused("out of memory");
  }
  result.loaded = true;
  return result;
}

}  // namespace

void ConfigurePictureReading() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Qt 6.4 reads QT_IMAGEIO_MAXALLOC once, on the first call of
    // QImageReader::allocationLimit(), and then prefers it to any limit set by the program.
    qunsetenv("QT_IMAGEIO_MAXALLOC");
    QImageReader::setAllocationLimit(kPictureMemoryLimitMiB);
  });
}

PictureFile LoadPictureFile(const std::string& path) {
  const std::lock_guard lock(LoadsInProgress());
  ConfigurePictureReading();
  if (path.empty()) return Refused("no file name");

  // Checked before opening, so that opening has no effect on a device or a FIFO.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return Refused(ErrnoReason(errno));
  if (S_ISDIR(status.st_mode)) return Refused("is a directory");
  if (!S_ISREG(status.st_mode)) return Refused("not a regular file");

  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.Get() < 0) return Refused(ErrnoReason(errno));
  if (::fstat(fd.Get(), &status) != 0) return Refused(ErrnoReason(errno));
  if (!S_ISREG(status.st_mode)) return Refused("not a regular file");
  if (status.st_size == 0) return Refused("empty file");
  return Decode(fd.Get(), static_cast<std::int64_t>(status.st_size), PictureLimits{});
}

PictureFile LoadPictureBytes(std::string_view bytes, const PictureLimits& limits) {
  const std::lock_guard lock(LoadsInProgress());
  ConfigurePictureReading();
  if (bytes.empty()) return Refused("empty file");
  // An anonymous file in memory: the decoders read it exactly as they read a file.
  const FileDescriptor fd(::memfd_create("holescan-picture", MFD_CLOEXEC));
  if (fd.Get() < 0) return Refused(ErrnoReason(errno));
  for (std::size_t written = 0; written < bytes.size();) {
    const ssize_t n = ::write(fd.Get(), bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Refused(errno == ENOMEM || errno == ENOSPC ? "out of memory" : ErrnoReason(errno));
    }
    written += static_cast<std::size_t>(n);
  }
  // Qt reads through the descriptor's offset, from the start like a freshly opened file.
  if (::lseek(fd.Get(), 0, SEEK_SET) != 0) return Refused(ErrnoReason(errno));
  return Decode(fd.Get(), static_cast<std::int64_t>(bytes.size()), limits);
}

}  // namespace holescan
