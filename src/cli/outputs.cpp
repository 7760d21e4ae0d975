#include "cli/outputs.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <cstdint>
#include <new>

#include "io/qt/png_encode.h"

namespace holescan::cli {

std::optional<std::string> WriteBytes(const std::string& path, std::string_view bytes) {
  OutputFile file(path);
  file.Write(bytes);
  return file.Commit();
}

namespace {

// From a megapixel on, Qt's PNG writer (zlib level 6, a filter chosen per row) takes over a
// tenth of a second a megapixel, ten times the encoder of our own; smaller pictures, the
// tests' among them, keep Qt's bytes. Up to 64 megapixels, so that the encoder's two copies
// stay within 8 bytes a pixel.
constexpr std::int64_t kFastPngFrom = std::int64_t{1} << 20;
constexpr std::int64_t kFastPngUpTo = std::int64_t{64} << 20;

}  // namespace

std::optional<std::string> WritePicture(const Picture& picture, PictureFormat format,
                                        const std::string& path) {
  OutputFile file(path);
  if (!file.IsOpen()) return file.Commit();
  // A read-only view of the picture's words: no copy before encoding.
  const QImage view(reinterpret_cast<const uchar*>(picture.Data()), picture.Width(),
                    picture.Height(), static_cast<qsizetype>(picture.Stride() * 4),
                    QImage::Format_RGB32);
  const std::int64_t pixels = std::int64_t{picture.Width()} * picture.Height();
  if (format == PictureFormat::Png && pixels >= kFastPngFrom && pixels <= kFastPngUpTo) {
    try {
      // The resolution Qt's writer would store.
      EncodePng(picture.View(), view.dotsPerMeterX(), view.dotsPerMeterY(),
                [&](std::string_view bytes) { file.Write(bytes); });
    } catch (const std::bad_alloc&) {
      file.Discard();
      return "cannot write " + path + ": out of memory";
    }
    return file.Commit();
  }
  QFile device;
  if (!device.open(file.Stream(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
    return "cannot write " + path + ": " + device.errorString().toStdString();
  }
  QImageWriter writer(&device, format == PictureFormat::Png ? "png" : "bmp");
  const bool written = writer.write(view);
  device.close();  // flushes into the stream
  const bool deviceFailed = device.error() != QFileDevice::NoError;
  std::string deviceReason = device.errorString().toStdString();
  std::string writerReason = writer.errorString().toStdString();
  for (std::string* reason : {&deviceReason, &writerReason}) {
    if (!reason->empty() && (*reason)[0] >= 'A' && (*reason)[0] <= 'Z')
      (*reason)[0] = static_cast<char>((*reason)[0] - 'A' + 'a');
  }
  if (deviceFailed) return "cannot write " + path + ": " + deviceReason;
  if (!written) return "cannot write " + path + ": " + writerReason;
  return file.Commit();
}

}  // namespace holescan::cli
