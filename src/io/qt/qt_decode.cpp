#include "io/qt/qt_decode.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <QtGlobal>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

namespace holescan {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;

std::string LowercaseFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] + 32);
  return text;
}

PictureFile Refused(std::string reason) {
  PictureFile file;
  file.reason = std::move(reason);
  return file;
}

// Standard error goes to /dev/null while it lives, and comes back whatever happens.
class SilencedStandardError {
 public:
  SilencedStandardError() {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    null_ = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    silenced_ = saved_ >= 0 && null_ >= 0 && ::dup2(null_, STDERR_FILENO) >= 0;
  }
  SilencedStandardError(const SilencedStandardError&) = delete;
  SilencedStandardError& operator=(const SilencedStandardError&) = delete;
  ~SilencedStandardError() {
    if (silenced_) {
      std::fflush(stderr);
      ::dup2(saved_, STDERR_FILENO);
    }
    if (null_ >= 0) ::close(null_);
    if (saved_ >= 0) ::close(saved_);
  }

 private:
  int saved_ = -1;
  int null_ = -1;
  bool silenced_ = false;
};

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

// Qt's names; a PNM file's own kind is told by Qt's reader from its magic.
QByteArray QtFormatName(PictureFormat format, int fd) {
  if (format != PictureFormat::Pnm) return QByteArray(PictureFormatName(format).data());
  char kind = 0;
  if (::pread(fd, &kind, 1, 1) != 1) return "ppm";
  return kind == '1' || kind == '4' ? "pbm" : kind == '2' || kind == '5' ? "pgm" : "ppm";
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

}  // namespace

void ConfigurePictureReading() {
  static std::once_flag once;
  // Qt 6.4 reads QT_IMAGEIO_MAXALLOC once, on the first call of
  // QImageReader::allocationLimit(), and then prefers it to any limit set by the program.
  std::call_once(once, [] { qunsetenv("QT_IMAGEIO_MAXALLOC"); });
}

// Declared in this order so that the reader goes before the file, and standard error and
// the message handler come back last.
struct QtPictureDecoder::Qt {
  SilencedStandardError silenced;
  MessageCapture messages;
  QFile file;
  std::optional<QImageReader> reader;
};

QtPictureDecoder::QtPictureDecoder(int fd, PictureFormat format, std::int64_t memoryBudget)
    : qt_(std::make_unique<Qt>()), format_(format) {
  ConfigurePictureReading();
  const std::int64_t budgetMiB = std::clamp<std::int64_t>(memoryBudget >> 20, 1, INT_MAX);
  QImageReader::setAllocationLimit(static_cast<int>(budgetMiB));
  if (!qt_->file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
    refusal_ = LowercaseFirst(qt_->file.errorString().toStdString());
    return;
  }
  const QByteArray name = QtFormatName(format, fd);
  QImageReader& reader = qt_->reader.emplace(&qt_->file, name);
  reader.setAutoDetectImageFormat(false);
  reader.setAutoTransform(false);
  if (!reader.canRead()) {
    if (reader.error() == QImageReader::UnsupportedFormatError) {
      refusal_ = "unsupported picture format: " + name.toStdString() +
                 " (Qt's image format plugins are not installed)";
    } else {
      refusal_ = "damaged or truncated file";
    }
    return;
  }
  if (const QSize size = reader.size(); size.isValid()) {
    width_ = size.width();
    height_ = size.height();
  }
}

QtPictureDecoder::~QtPictureDecoder() = default;

PictureFile QtPictureDecoder::Decode(const PictureCheck& check, const PictureLimits& limits) {
  if (refusal_ || !qt_->reader) return Refused(refusal_.value_or("damaged or truncated file"));
  QImageReader& reader = *qt_->reader;
  const std::vector<std::string>& warnings = qt_->messages.Warnings();
  const bool jpeg = format_ == PictureFormat::Jpeg;
  const QSize declared = check.width > 0 && check.height > 0
                             ? QSize(static_cast<int>(check.width), static_cast<int>(check.height))
                             : QSize();
  PictureFile result;
  Picture& picture = result.picture;
  QImage image;
  const bool known = declared.isValid() && !declared.isEmpty();
  if (known && check.runLengthBmp) {
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
    if (jpeg && !warnings.empty()) return Refused(CorruptDataReason(warnings.front()));
    if (reader.error() == QImageReader::DeviceError) return Refused("read error");
    // Only when Qt read QT_IMAGEIO_MAXALLOC before ConfigurePictureReading could remove it.
    for (const std::string& warning : warnings) {
      if (warning.find("allocation limit") != std::string::npos) {
        return Refused("too large for Qt's image allocation limit of " +
                       std::to_string(QImageReader::allocationLimit()) + " MiB");
      }
    }
    return Refused("damaged or truncated file");
  }
  if (jpeg && !warnings.empty()) return Refused(CorruptDataReason(warnings.front()));
  if (auto refusal = SizeRefusal(image.width(), image.height(), limits)) return Refused(*refusal);
  if (image.isNull()) return Refused("damaged or truncated file");

  const bool decodedInPlace = inPlace != nullptr && image.constBits() == inPlace &&
                              image.format() == QImage::Format_RGB32 && image.size() == declared &&
                              !check.runLengthBmp;
  if (decodedInPlace) {
    image = QImage();
    std::uint32_t* word = picture.Data();
    const std::size_t count = picture.Stride() * static_cast<std::size_t>(picture.Height());
    for (std::size_t i = 0; i < count; ++i) word[i] |= kOpaque;
  } else {
    CopyInto(image, picture);
  }
  result.loaded = true;
  return result;
}

}  // namespace holescan
