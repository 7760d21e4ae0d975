// outputs.h - what holescan-cli writes: output files, the JSON document, the result picture
// and the summary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "cli/options.h"
#include "main_window/form1.h"
#include "pixel/picture.h"

namespace holescan::cli {

// Keys in the order they are set; floats in single precision, so that a centre is written as
// the shortest decimal that reads back as the same float (4/3 -> 1.3333334).
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

// A file written from the start (created or truncated), or standard output for "-". Write
// errors are remembered; Close reports the first one.
class OutputFile {
 public:
  explicit OutputFile(std::string path);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Empty when the file is open; otherwise "cannot write PATH: reason".
  const std::string& OpenError() const { return openError_; }
  bool IsOpen() const { return stream_ != nullptr; }
  std::FILE* Stream() { return stream_; }

  void Write(std::string_view bytes);
  void WriteLine(std::string_view line) {
    Write(line);
    Write("\n");
  }
  // Flushes and closes (standard output is flushed only); "cannot write PATH: reason" on
  // the first error met since opening.
  std::optional<std::string> Close();

 private:
  std::string Failure(int error) const;

  std::string path_;
  std::FILE* stream_ = nullptr;
  std::string openError_;
  int error_ = 0;
};

// Writes `bytes` to `path` ("-": standard output); the reason on failure.
std::optional<std::string> WriteBytes(const std::string& path, std::string_view bytes);

// Writes the picture as PNG or BMP to `path` ("-": standard output); the reason on failure.
std::optional<std::string> WritePicture(const Picture& picture, PictureFormat format,
                                        const std::string& path);

// The JSON object of one analysed picture: the picture, the scan rectangle, every entry of
// Holes after the finishing pass, and the non-empty entries of Peaks (the shot holes).
Json AnalysisJson(const std::string& picturePath, const Form1& form);

// Writes AnalysisJson(picturePath, form) as JsonText writes it, less the final newline, with
// every line after the first indented by `depth` more levels (for an element of an array),
// without building the document: a picture of millions of holes costs no memory beyond its
// analysis.
void WriteAnalysisJson(OutputFile& out, const std::string& picturePath, const Form1& form,
                       int depth = 0);

// The document as text, indented by two, ending in a newline. Bytes of a picture's path that
// are not UTF-8 become U+FFFD: the path of a file need not be UTF-8, a JSON string must.
std::string JsonText(const Json& document);

// `text` fit for one line of a message: control characters are written as \n, \r, \t or
// \xNN, so that a file name holding a line break cannot split the line.
std::string OneLine(std::string_view text);

// The shortest decimal that reads back as `value`, with the given decimal separator.
std::string FormatFloat(float value, char decimalSeparator);

// The decimal separator of the user's locale (LC_NUMERIC from the environment); '.' when it
// is not a single byte. The process's own locale is left as it was.
char UserDecimalSeparator();

// The human summary: the picture, its size and number of shot holes, then one line per
// shot hole with its centre and point count.
std::string SummaryText(const std::string& picturePath, const Form1& form, char decimalSeparator);

}  // namespace holescan::cli
