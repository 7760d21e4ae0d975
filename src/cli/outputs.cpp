#include "cli/outputs.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <system_error>

namespace holescan::cli {
namespace {

std::string LowercaseFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] + 32);
  return text;
}

}  // namespace

// ---- OutputFile ---------------------------------------------------------------------------

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  if (path_ == kStandardOutput) {
    stream_ = stdout;
    return;
  }
  stream_ = std::fopen(path_.c_str(), "wb");
  if (stream_ == nullptr) openError_ = Failure(errno);
}

OutputFile::~OutputFile() {
  if (stream_ != nullptr && stream_ != stdout) std::fclose(stream_);
}

std::string OutputFile::Failure(int error) const {
  return "cannot write " + path_ + ": " + LowercaseFirst(std::generic_category().message(error));
}

void OutputFile::Write(std::string_view bytes) {
  if (stream_ == nullptr || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size() && error_ == 0)
    error_ = errno != 0 ? errno : EIO;
}

std::optional<std::string> OutputFile::Close() {
  if (stream_ == nullptr) return openError_.empty() ? std::nullopt : std::optional(openError_);
  std::FILE* stream = stream_;
  stream_ = nullptr;
  errno = 0;
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  if (!flushed && error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (stream != stdout && std::fclose(stream) != 0 && error_ == 0) error_ = errno;
  if (error_ != 0) return Failure(error_);
  return std::nullopt;
}

std::optional<std::string> WriteBytes(const std::string& path, std::string_view bytes) {
  OutputFile file(path);
  file.Write(bytes);
  return file.Close();
}

std::optional<std::string> WritePicture(const Picture& picture, PictureFormat format,
                                        const std::string& path) {
  OutputFile file(path);
  if (!file.IsOpen()) return file.Close();
  // A read-only view of the picture's words: no copy before encoding.
  const QImage view(reinterpret_cast<const uchar*>(picture.Data()), picture.Width(),
                    picture.Height(), static_cast<qsizetype>(picture.Stride() * 4),
                    QImage::Format_RGB32);
  QFile device;
  if (!device.open(file.Stream(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
    file.Close();
    return "cannot write " + path + ": " + device.errorString().toStdString();
  }
  QImageWriter writer(&device, format == PictureFormat::Png ? "png" : "bmp");
  const bool written = writer.write(view);
  device.close();  // flushes into the stream
  const bool deviceFailed = device.error() != QFileDevice::NoError;
  const std::string deviceReason = device.errorString().toStdString();
  const auto closed = file.Close();
  if (deviceFailed) return "cannot write " + path + ": " + LowercaseFirst(deviceReason);
  if (!written) {
    return "cannot write " + path + ": " + LowercaseFirst(writer.errorString().toStdString());
  }
  return closed;
}

// ---- JSON ---------------------------------------------------------------------------------

Json AnalysisJson(const std::string& picturePath, const Form1& form) {
  const Picture& target = form.PicTarget();
  const Selection& s = form.Sel();
  Json holes = Json::array();
  const HoleArray& holeArray = form.Analysis().Holes();
  for (Label i = 0; i <= holeArray.UpperBound(); ++i) {
    const Hole& hole = holeArray[i];
    holes.push_back({{"minX", hole.MinX},
                     {"maxX", hole.MaxX},
                     {"minY", hole.MinY},
                     {"maxY", hole.MaxY},
                     {"points", hole.count}});
  }
  Json shots = Json::array();
  const HoleArray& peaks = form.Analysis().Peaks();
  for (Label i = 0; i <= peaks.UpperBound(); ++i) {
    const Hole& peak = peaks[i];
    if (peak.Empty()) continue;
    shots.push_back({{"x", peak.CenterX},
                     {"y", peak.CenterY},
                     {"points", peak.count},
                     {"minX", peak.MinX},
                     {"maxX", peak.MaxX},
                     {"minY", peak.MinY},
                     {"maxY", peak.MaxY}});
  }
  Json document;
  document["picture"] = {
      {"path", picturePath}, {"width", target.Width()}, {"height", target.Height()}};
  document["selection"] = {
      {"left", s.SelLeft}, {"top", s.SelTop}, {"right", s.SelRight}, {"bottom", s.SelBottom}};
  document["holes"] = std::move(holes);
  document["shots"] = std::move(shots);
  return document;
}

// ---- Numbers for people -------------------------------------------------------------------

std::string FormatFloat(float value, char decimalSeparator) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof(text), value).ptr;
  std::string formatted(text, end);
  for (char& c : formatted) {
    if (c == '.') c = decimalSeparator;
  }
  return formatted;
}

char UserDecimalSeparator() {
  const char* current = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = current != nullptr ? current : "C";
  char separator = '.';
  if (std::setlocale(LC_NUMERIC, "") != nullptr) {
    const char* point = std::localeconv()->decimal_point;
    if (point != nullptr && point[0] != '\0' && point[1] == '\0') separator = point[0];
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  return separator;
}

std::string SummaryText(const std::string& picturePath, const Form1& form, char decimalSeparator) {
  const HoleArray& peaks = form.Analysis().Peaks();
  std::string lines;
  int shots = 0;
  for (Label i = 0; i <= peaks.UpperBound(); ++i) {
    const Hole& peak = peaks[i];
    if (peak.Empty()) continue;
    ++shots;
    lines += "  shot " + std::to_string(shots) + ": x " +
             FormatFloat(peak.CenterX, decimalSeparator) + "  y " +
             FormatFloat(peak.CenterY, decimalSeparator) + "  " + std::to_string(peak.count) +
             (peak.count == 1 ? " point\n" : " points\n");
  }
  return picturePath + ": " + std::to_string(form.PicTarget().Width()) + " x " +
         std::to_string(form.PicTarget().Height()) + " pixels, " + std::to_string(shots) +
         (shots == 1 ? " shot hole\n" : " shot holes\n") + lines;
}

}  // namespace holescan::cli
