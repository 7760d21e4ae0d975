#include "cli/outputs.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <charconv>
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

// ---- JSON ---------------------------------------------------------------------------------

void WriteAnalysisJson(JsonWriter& json, const AnalysisRecord& r) {
  json.BeginObject();
  json.Key("picture").BeginObject();
  json.Member("path", r.path).Member("width", r.width).Member("height", r.height);
  json.EndObject();
  const Selection& s = r.selection;
  json.Key("selection").BeginObject();
  json.Member("left", s.SelLeft).Member("top", s.SelTop);
  json.Member("right", s.SelRight).Member("bottom", s.SelBottom);
  json.EndObject();
  json.Key("holes").BeginArray();
  for (Label i = 0; r.holes.Size() != 0 && i <= r.holes.UpperBound(); ++i) {
    const Hole& hole = r.holes[i];
    json.BeginObject();
    json.Member("minX", hole.MinX).Member("maxX", hole.MaxX);
    json.Member("minY", hole.MinY).Member("maxY", hole.MaxY);
    json.Member("points", hole.count);
    json.EndObject();
  }
  json.EndArray();
  json.Key("shots").BeginArray();
  for (Label i = 0; r.shots.Size() != 0 && i <= r.shots.UpperBound(); ++i) {
    const Hole& peak = r.shots[i];
    if (peak.Empty()) continue;
    json.BeginObject();
    json.Member("x", peak.CenterX).Member("y", peak.CenterY).Member("points", peak.count);
    json.Member("minX", peak.MinX).Member("maxX", peak.MaxX);
    json.Member("minY", peak.MinY).Member("maxY", peak.MaxY);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

// ---- Text for people -------------------------------------------------------------------

std::string FormatFloat(float value, char decimalSeparator) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof(text), value).ptr;
  std::string formatted(text, end);
  for (char& c : formatted) {
    if (c == '.') c = decimalSeparator;
  }
  return formatted;
}

std::string SummaryText(const AnalysisRecord& r, char decimalSeparator) {
  std::string lines;
  int shots = 0;
  for (Label i = 0; r.shots.Size() != 0 && i <= r.shots.UpperBound(); ++i) {
    const Hole& peak = r.shots[i];
    if (peak.Empty()) continue;
    ++shots;
    lines += "  shot " + std::to_string(shots) + ": x " +
             FormatFloat(peak.CenterX, decimalSeparator) + "  y " +
             FormatFloat(peak.CenterY, decimalSeparator) + "  " + std::to_string(peak.count) +
             (peak.count == 1 ? " point\n" : " points\n");
  }
  return OneLine(r.path) + ": " + std::to_string(r.width) + " x " + std::to_string(r.height) +
         " pixels, " + std::to_string(shots) + (shots == 1 ? " shot hole\n" : " shot holes\n") +
         lines;
}

}  // namespace holescan::cli
