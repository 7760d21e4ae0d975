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

namespace {

// The document of one picture; its holes only when asked for (they may be millions).
Json Document(const std::string& picturePath, const Form1& form, bool withHoles) {
  const Picture& target = form.PicTarget();
  const Selection& s = form.Sel();
  Json holes = Json::array();
  const HoleArray& holeArray = form.Analysis().Holes();
  for (Label i = 0; withHoles && i <= holeArray.UpperBound(); ++i) {
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

}  // namespace

Json AnalysisJson(const std::string& picturePath, const Form1& form) {
  return Document(picturePath, form, true);
}

std::string JsonText(const Json& document) {
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

namespace {

// `text` with `indent` after every line break.
std::string Indented(const std::string& text, const std::string& indent) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    out.push_back(c);
    if (c == '\n') out += indent;
  }
  return out;
}

}  // namespace

void WriteAnalysisJson(OutputFile& out, const std::string& picturePath, const Form1& form,
                       int depth) {
  // The small parts as the library writes them; the holes, which may be millions, line by
  // line in the same layout.
  Json document = Document(picturePath, form, false);
  const std::string in0(static_cast<std::size_t>(2 * depth), ' ');
  const std::string in1 = in0 + "  ", in2 = in1 + "  ", in3 = in2 + "  ";
  auto part = [&](const char* key) {
    out.Write(in1 + "\"" + key + "\": ");
    out.Write(Indented(document[key].dump(2, ' ', false, Json::error_handler_t::replace), in1));
  };
  out.Write("{\n");
  part("picture");
  out.Write(",\n");
  part("selection");
  out.Write(",\n" + in1 + "\"holes\": ");
  const HoleArray& holes = form.Analysis().Holes();
  if (holes.Size() == 0) {
    out.Write("[]");
  } else {
    std::string line;
    for (Label i = 0; i <= holes.UpperBound(); ++i) {
      const Hole& hole = holes[i];
      line.assign(i == 0 ? "[\n" : ",\n");
      line += in2 + "{\n";
      line += in3 + "\"minX\": " + std::to_string(hole.MinX) + ",\n";
      line += in3 + "\"maxX\": " + std::to_string(hole.MaxX) + ",\n";
      line += in3 + "\"minY\": " + std::to_string(hole.MinY) + ",\n";
      line += in3 + "\"maxY\": " + std::to_string(hole.MaxY) + ",\n";
      line += in3 + "\"points\": " + std::to_string(hole.count) + "\n";
      line += in2 + "}";
      out.Write(line);
    }
    out.Write("\n" + in1 + "]");
  }
  out.Write(",\n");
  part("shots");
  out.Write("\n" + in0 + "}");
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

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line.push_back(c);
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\t') {
      line += "\\t";
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      line += "\\x";
      line.push_back(kHex[byte >> 4]);
      line.push_back(kHex[byte & 0x0F]);
    }
  }
  return line;
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
  return OneLine(picturePath) + ": " + std::to_string(form.PicTarget().Width()) + " x " +
         std::to_string(form.PicTarget().Height()) + " pixels, " + std::to_string(shots) +
         (shots == 1 ? " shot hole\n" : " shot holes\n") + lines;
}

}  // namespace holescan::cli
