// options.h - the command line of holescan-cli: parsing and the rules between options.
//
//   holescan-cli [options] PICTURE...
//
// Every rule that needs no picture is checked here, so that a usage error stops the command
// before any picture is read. The one rule that needs the picture (the --select rectangle
// must lie within it) is checked by the runner after loading.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace holescan::cli {

inline constexpr char kNamePlaceholder[] = "{name}";
inline constexpr char kStandardOutput[] = "-";

// The scan rectangle in picture pixels, all bounds inclusive (SelLeft, SelTop, SelRight,
// SelBottom); the whole picture is 0,0,W,H.
struct ScanRectangle {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const ScanRectangle&, const ScanRectangle&) = default;
};

enum class PictureFormat { Png, Bmp };

struct Options {
  std::optional<ScanRectangle> select;
  // Output files; empty when not asked for, "-" for standard output, "{name}" replaced by the
  // picture's file name without folder and extension.
  std::string report;
  std::string result;
  std::string messages;
  std::string json;
  std::string saveDarkMap;
  PictureFormat resultFormat = PictureFormat::Png;
  bool quiet = false;
  bool timings = false;  // not in --help: durations of loading, analysis and writing
  bool help = false;
  bool version = false;
  std::vector<std::string> pictures;

  // One JSON document for all pictures (an array), written when the last one is done.
  bool JsonCollected() const {
    return !json.empty() && pictures.size() > 1 && json.find(kNamePlaceholder) == std::string::npos;
  }
  // No summary when asked for, or when an output goes to standard output.
  bool Summary() const;
};

struct ParsedArguments {
  Options options;
  std::string error;  // a usage error, one line; empty when the arguments are good
};

// Parses the arguments after the program name.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments);

// The picture's file name without folder and extension: "scans/a.b.bmp" -> "a.b".
std::string PictureName(const std::string& path);
// `pattern` with every "{name}" replaced by the picture's name.
std::string ExpandName(const std::string& pattern, const std::string& picturePath);

std::string HelpText();

}  // namespace holescan::cli
