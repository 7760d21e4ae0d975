// options.h - the command line of holescan-cli: its options, declared once, and the rules
// between them.
//
//   holescan-cli [options] PICTURE...
//
// The options are declared to CLI11, which parses them and writes --help from the
// declarations; the rules between options are ours, checked after parsing. Every rule that
// needs no picture is checked here, so that a usage error stops the command before any
// picture is read. The one rule that needs the picture (the --select rectangle must lie
// within it) is checked by the runner after loading.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pixel/memory_budget.h"
#include "pixel/picture.h"
#include "results/outputs.h"
#include "score/faces.h"
#include "score/group.h"
#include "shots/shots.h"

namespace holescan::cli {

inline constexpr char kNamePlaceholder[] = "{name}";
inline constexpr char kStandardOutput[] = "-";

enum class PictureFormat { Png, Bmp };

// The number of cores.
std::size_t DefaultJobs();

struct Options {
  std::optional<Selection> select;
  // Output files, one for each output of results::Outputs(), in its order; empty when not
  // asked for, "-" for standard output, "{name}" replaced by the picture's file name without
  // folder and extension.
  std::vector<std::string> files = std::vector<std::string>(results::Outputs().size());
  // The calibrated analysis, chosen by --calibre; the rest only with it.
  std::optional<double> calibreMm;
  std::optional<double> dpi;
  std::optional<shots::HoleLook> look;
  const score::Face* face = nullptr;
  bool faceAuto = false;                     // --face auto: the face whose rings match the picture
  std::optional<std::array<double, 2>> aim;  // picture pixels
  std::optional<double> gaugeMm;
  std::optional<score::Distance> distance;
  std::optional<int> expectedShots;  // the shots fired on each picture
  std::int64_t memoryLimit = kDefaultMemoryBudget;  // bytes, for each picture's run
  std::size_t jobs = DefaultJobs();                 // pictures analysed at once
  PictureFormat resultFormat = PictureFormat::Png;
  bool quiet = false;
  bool timings = false;  // not in --help: durations of loading, analysis and writing
  bool help = false;
  bool version = false;
  std::vector<std::string> pictures;

  bool Calibrated() const { return calibreMm.has_value(); }
  // The file asked for the output of that name (results::Outputs()); empty when none.
  std::string& File(std::string_view output) { return files[results::OutputIndex(output)]; }
  const std::string& File(std::string_view output) const {
    return files[results::OutputIndex(output)];
  }
  const std::string& File(const results::Output& output) const { return File(output.name); }
  // One file holds every picture's part of the output (a JSON array, one CSV table): several
  // pictures and a file name without {name}.
  bool Collected(const results::Output& output) const;
  // No summary when asked for, or when an output goes to standard output.
  bool Summary() const;
};

// The outputs the command line can write: those of results::Outputs() with an option.
std::vector<const results::Output*> OutputOptions();

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

// --help; the manual page (roff) and the bash completion, from the same declarations.
std::string HelpText();
std::string ManPage();
std::string BashCompletion();

}  // namespace holescan::cli
