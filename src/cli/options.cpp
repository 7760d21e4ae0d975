#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <set>
#include <string_view>
#include <thread>

#include "calibrated/calibrated.h"

namespace holescan::cli {
namespace {

constexpr char kDescription[] =
    R"(Finds the shot holes in scanned pictures of paper shooting targets, exactly as the
window does: each PICTURE is loaded as "&Load" loads it, the whole picture (or the
--select rectangle) is scanned as "Draw" scans it, and the outputs asked for are written.
Pictures: BMP, PNG, JPEG, PBM/PGM/PPM, GIF, and TIFF and WebP with Qt's image format
plugins; at most 32766 pixels on a side.

With --calibre, the calibrated analysis runs instead: every shot hole of that calibre is
found on real scans at any resolution (--dpi, or the one the file stores), and the shots
are given in millimetres from the point of aim, with ring scores (--face) and the group's
statistics.)";

constexpr char kFooter[] =
    R"(FILE may be "-" for standard output (for one output at most; there is then no summary).
With several pictures every FILE must contain {name}, replaced by the picture's file
name without folder and extension; only --json may leave it out, and then holds an
array with one object per picture analysed.

Pictures are analysed --jobs at a time; one that fails does not stop the others.
Nothing is written for a picture that cannot be loaded or whose rectangle does not fit;
when "Draw" stops on an error only the captions up to the error are written.

Exit status:
  0  every picture was analysed (also when it has no shot hole)
  1  "Draw" stopped on an error, or an output could not be written
  2  usage error (for --select not fitting a picture, or --calibre on a picture that
     stores no resolution without --dpi: nothing done for that picture)
  3  a picture could not be loaded
When several apply, the status is the largest.)";

struct FileOption {
  const char* name;
  std::string Options::*field;
  const char* help;
};

const std::array<FileOption, 6> kFileOptions = {{
    {"--report", &Options::report,
     "the vote report, byte for byte the text \"Draw\" puts on the clipboard"},
    {"--result", &Options::result,
     "the result picture as the window shows it after \"Draw\"; PNG or BMP by the file "
     "name's extension (PNG on standard output)"},
    {"--messages", &Options::messages, "every caption of the message line, one per line, in order"},
    {"--json", &Options::json, "holes and shot holes as JSON"},
    {"--save-darkmap", &Options::saveDarkMap,
     "the darkness map after \"Draw\": (W + 1) x (H + 1) bytes, row by row, no header"},
    {"--csv", &Options::csv,
     "with --calibre: one row per shot in millimetres, the point table that shot-group "
     "tools read (R's shotGroups); one file holds every picture"},
}};

// Two numbers "X,Y".
std::optional<std::array<double, 2>> ParsePoint(const std::string& text) {
  std::array<double, 2> values{};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      if (p == end || *p != ',') return std::nullopt;
      ++p;
    }
    const auto [next, failure] = std::from_chars(p, end, values[i]);
    if (failure != std::errc() || next == p || !std::isfinite(values[i]) || values[i] < 0)
      return std::nullopt;
    p = next;
  }
  if (p != end) return std::nullopt;
  return values;
}

// Options that set one value of the analysis; `apply` returns the usage error, or "".
struct SettingOption {
  const char* name;
  const char* type;
  const char* help;
  std::string (*apply)(Options& o, const std::string& value);
};

const std::array<SettingOption, 9> kSettings = {{
    {"--jobs", "N",
     "pictures analysed at once, each in a process of its own (at most N pictures in memory); "
     "every output comes in the pictures' order, as with one. Default: the number of cores",
     [](Options& o, const std::string& v) {
       std::size_t jobs = 0;
       const auto [end, failure] = std::from_chars(v.data(), v.data() + v.size(), jobs);
       if (failure != std::errc() || end != v.data() + v.size() || jobs < 1 || jobs > 256)
         return "--jobs " + v + ": expected a whole number from 1 to 256";
       o.jobs = jobs;
       return std::string();
     }},
    {"--memory-limit", "SIZE",
     "the memory the run of one picture may use: the decoded picture, the buffers, the hole "
     "records, the report and the outputs. SIZE in bytes or with K, M, G (powers of 1024). "
     "Default: 4G",
     [](Options& o, const std::string& v) {
       o.memoryLimit = ParseByteSize(v);
       return o.memoryLimit >= (std::int64_t{1} << 20)
                  ? std::string()
                  : "--memory-limit " + v + ": expected a size of at least 1M, e.g. 512M or 4G";
     }},
    {"--calibre", "D",
     "the calibrated analysis: every shot hole of this calibre, on scans at any resolution. "
     "D: 4.5mm, 5.6mm, 9mm, 0.177in, .22in, or a number in millimetres",
     [](Options& o, const std::string& v) {
       std::string reason;
       o.calibreMm = shots::ParseCalibreMm(v, &reason);
       return o.calibreMm ? std::string() : "--calibre " + v + ": " + reason;
     }},
    {"--dpi", "N",
     "the scan's resolution in pixels per inch. Default: the resolution the file stores",
     [](Options& o, const std::string& v) {
       double dpi = 0;
       const auto [end, failure] = std::from_chars(v.data(), v.data() + v.size(), dpi);
       if (failure != std::errc() || end != v.data() + v.size())
         return "--dpi " + v + ": expected a positive number of pixels per inch";
       if (auto problem = calibrated::ResolutionProblem(dpi)) return "--dpi " + v + ": " + *problem;
       o.dpi = dpi;
       return std::string();
     }},
    {"--holes", "auto|dark|light",
     "holes showing darker than the paper around them (a dark backing), lighter (a white "
     "backing seen through dark print), or either, decided per hole. Default: auto",
     [](Options& o, const std::string& v) {
       o.look = shots::ParseHoleLook(v);
       return o.look ? std::string() : "--holes " + v + ": expected auto, dark or light";
     }},
    {"--face", "NAME",
     "the printed target face, for the point of aim (the centre of its black) and ring "
     "scores: issf-air-rifle or issf-air-pistol",
     [](Options& o, const std::string& v) {
       o.face = score::FindFace(v);
       return o.face != nullptr ? std::string()
                                : "--face " + v + ": expected one of " + score::FaceNames();
     }},
    {"--aim", "X,Y",
     "the point of aim in picture pixels, instead of the face's black. Default: the face's "
     "black, or without a face the group's centre",
     [](Options& o, const std::string& v) {
       o.aim = ParsePoint(v);
       return o.aim ? std::string() : "--aim " + v + ": expected two numbers X,Y in pixels";
     }},
    {"--gauge", "D", "the gauge that scores a shot, as the rules gauge. Default: 4.5mm",
     [](Options& o, const std::string& v) {
       std::string reason;
       o.gaugeMm = shots::ParseCalibreMm(v, &reason);
       return o.gaugeMm ? std::string() : "--gauge " + v + ": " + reason;
     }},
    {"--distance", "D",
     "the shooting distance (10m, 25yd, 50ft): group sizes also as angles, in MOA and mrad",
     [](Options& o, const std::string& v) {
       std::string reason;
       o.distance = score::ParseDistance(v, &reason);
       return o.distance ? std::string() : "--distance " + v + ": " + reason;
     }},
}};

struct Flag {
  const char* names;  // CLI11 spelling: short and long names
  const char* name;   // as messages name it
  bool Options::*field;
  const char* help;  // nullptr: not listed in --help
};

const std::array<Flag, 4> kFlags = {{
    {"-q,--quiet", "--quiet", &Options::quiet, "no summary on standard output"},
    {"-h,--help", "--help", &Options::help, "this text"},
    {"--version", "--version", &Options::version, "the program's version"},
    {"--timings", "--timings", &Options::timings, nullptr},
}};

// Every value as given, one entry per use, so that the rules below can tell a repeated
// option and an empty value.
struct Given {
  std::vector<std::string> select;
  std::array<std::vector<std::string>, kFileOptions.size()> files;
  std::array<std::vector<std::string>, kSettings.size()> settings;
  std::array<bool, kFlags.size()> flags{};
  std::vector<std::string> pictures;
};

// --help from the declarations: the usage line, the description, every listed option with
// its value and its text wrapped beside it, then the footer.
class HelpFormatter final : public CLI::FormatterBase {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    std::string text = "Usage: " + app->get_name() + " [options] PICTURE...\n\n";
    text += app->get_description() + "\n\nOptions:\n";
    for (const CLI::Option* option : app->get_options()) {
      if (option->get_positional() || option->get_group().empty()) continue;
      std::string names;
      for (const std::string& name : option->get_snames()) names += "-" + name + ", ";
      for (const std::string& name : option->get_lnames()) names += "--" + name + ", ";
      names.resize(names.size() - 2);
      if (!option->get_type_name().empty()) names += " " + option->get_type_name();
      text += Wrapped("  " + names, option->get_description());
    }
    return text + "\n" + app->get_footer() + "\n";
  }

 private:
  static constexpr std::size_t kColumn = 23;
  static constexpr std::size_t kWidth = 90;

  // `head`, then `words` filled into lines from kColumn to kWidth.
  static std::string Wrapped(std::string head, const std::string& words) {
    std::string text;
    std::string line = std::move(head);
    if (line.size() + 1 > kColumn) {
      text += line + "\n";
      line.clear();
    }
    line.resize(kColumn, ' ');
    std::size_t filled = kColumn;
    std::size_t from = 0;
    while (from < words.size()) {
      std::size_t to = words.find(' ', from);
      if (to == std::string::npos) to = words.size();
      const std::string word = words.substr(from, to - from);
      if (filled > kColumn && filled + 1 + word.size() > kWidth) {
        text += line + "\n";
        line.assign(kColumn, ' ');
        filled = kColumn;
      }
      if (filled > kColumn) {
        line += ' ';
        ++filled;
      }
      line += word;
      filled += word.size();
      from = to + 1;
    }
    return text + line + "\n";
  }
};

// The declarations: the parser and --help both come from here.
std::unique_ptr<CLI::App> Declare(Given& given) {
  auto app = std::make_unique<CLI::App>(kDescription, "holescan-cli");
  app->set_help_flag();
  app->allow_extras();
  app->footer(kFooter);
  app->formatter(std::make_shared<HelpFormatter>());
  app->add_option("--select", given.select,
                  "scan rectangle in picture pixels, all bounds inclusive (SelLeft, SelTop, "
                  "SelRight, SelBottom); 0 <= L < R <= W and 0 <= T < B <= H. Default: the "
                  "whole picture, 0,0,W,H.")
      ->type_name("L,T,R,B")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    app->add_option(kSettings[i].name, given.settings[i], kSettings[i].help)
        ->type_name(kSettings[i].type)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
  }
  for (std::size_t i = 0; i < kFileOptions.size(); ++i) {
    app->add_option(kFileOptions[i].name, given.files[i], kFileOptions[i].help)
        ->type_name("FILE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
  }
  for (std::size_t i = 0; i < kFlags.size(); ++i) {
    CLI::Option* flag =
        app->add_flag(kFlags[i].names, given.flags[i], kFlags[i].help ? kFlags[i].help : "")
            ->disable_flag_override();
    if (kFlags[i].help == nullptr) flag->group("");
  }
  app->add_option("PICTURE", given.pictures, "picture files")->type_name("");
  return app;
}

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// The option a CLI11 message names first ("--report: 1 required FILE missing", "quiet was
// given a disallowed flag override"), spelled as our messages spell it.
std::string NamedOption(const std::string& message) {
  std::string name = message.substr(0, message.find_first_of(": "));
  if (name.rfind("-", 0) != 0) name = "--" + name;
  return name;
}

// "L,T,R,B": four decimal integers; the rectangle must not be empty or inside out.
std::optional<Selection> ParseRectangle(std::string_view text, std::string& error) {
  std::array<int, 4> values{};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  std::size_t parsed = 0;
  for (; parsed < values.size(); ++parsed) {
    if (parsed > 0) {
      if (p == end || *p != ',') break;
      ++p;
    }
    const auto [next, failure] = std::from_chars(p, end, values[parsed]);
    if (failure != std::errc() || next == p) break;
    p = next;
  }
  if (parsed != values.size() || p != end) {
    error = "--select " + std::string(text) + ": expected four whole numbers L,T,R,B";
    return std::nullopt;
  }
  const auto [left, top, right, bottom] = values;
  if (left < 0 || top < 0 || left >= right || top >= bottom || right > kMaxPictureSide ||
      bottom > kMaxPictureSide) {
    error = "--select " + std::string(text) +
            ": needs 0 <= L < R <= W and 0 <= T < B <= H (at most " +
            std::to_string(kMaxPictureSide) + ")";
    return std::nullopt;
  }
  return Selection{top, bottom, left, right};
}

std::optional<PictureFormat> ResultFormatOf(const std::string& path) {
  if (path == kStandardOutput) return PictureFormat::Png;
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (extension == ".png") return PictureFormat::Png;
  if (extension == ".bmp") return PictureFormat::Bmp;
  return std::nullopt;
}

// The rules between options, once all are read.
std::string CheckTogether(const Options& o) {
  if (o.pictures.empty()) return "no picture given (see --help)";
  if (!o.result.empty() && !ResultFormatOf(o.result)) {
    return "--result " + o.result + ": the file name must end in .png or .bmp";
  }
  int toStandardOutput = 0;
  for (const FileOption& option : kFileOptions) {
    const std::string& file = o.*option.field;
    if (file == kStandardOutput) ++toStandardOutput;
    const bool collected = (option.field == &Options::json && o.JsonCollected()) ||
                           (option.field == &Options::csv && o.CsvCollected());
    if (o.pictures.size() > 1 && !file.empty() && !collected &&
        file.find(kNamePlaceholder) == std::string::npos) {
      return std::string(option.name) + " " + file +
             ": with several pictures the file name must contain {name}";
    }
  }
  if (toStandardOutput > 1) return "only one output can go to standard output (-)";
  if (o.Calibrated()) {
    for (const auto& [name, file] :
         {std::pair{"--report", &o.report}, std::pair{"--messages", &o.messages},
          std::pair{"--save-darkmap", &o.saveDarkMap}}) {
      if (!file->empty()) {
        return std::string(name) +
               " writes what the exact analysis makes (vote maps, captions, the darkness map); "
               "the calibrated analysis of --calibre makes none";
      }
    }
  } else {
    for (const auto& [name, given] :
         {std::pair{"--dpi", o.dpi.has_value()}, std::pair{"--holes", o.look.has_value()},
          std::pair{"--face", o.face != nullptr}, std::pair{"--aim", o.aim.has_value()},
          std::pair{"--gauge", o.gaugeMm.has_value()},
          std::pair{"--distance", o.distance.has_value()}, std::pair{"--csv", !o.csv.empty()}}) {
      if (given) return std::string(name) + " needs --calibre (the calibrated analysis)";
    }
  }
  const bool named = std::any_of(kFileOptions.begin(), kFileOptions.end(), [&](const auto& option) {
    return (o.*option.field).find(kNamePlaceholder) != std::string::npos;
  });
  if (named) {
    std::set<std::string> names;
    for (const std::string& picture : o.pictures) {
      if (!names.insert(PictureName(picture)).second) {
        return "two pictures are named " + Quoted(PictureName(picture)) +
               ": their outputs would overwrite each other";
      }
    }
  }
  return {};
}

}  // namespace

std::size_t DefaultJobs() {
  return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 256);
}

std::span<const OutputOption> OutputOptions() {
  static const std::array<OutputOption, kFileOptions.size()> table = [] {
    std::array<OutputOption, kFileOptions.size()> outputs{};
    for (std::size_t i = 0; i < kFileOptions.size(); ++i)
      outputs[i] = {kFileOptions[i].name, kFileOptions[i].field};
    return outputs;
  }();
  return table;
}

bool Options::Summary() const {
  if (quiet) return false;
  for (const FileOption& option : kFileOptions) {
    if (this->*option.field == kStandardOutput) return false;
  }
  return true;
}

ParsedArguments ParseArguments(const std::vector<std::string>& arguments) {
  ParsedArguments parsed;
  Options& o = parsed.options;
  std::string& error = parsed.error;

  // CLI11 reads "--report=" as "--report" followed by the next word; an empty value is ours
  // to refuse, so it is handed over as a word of its own. CLI11 takes the words last first.
  std::vector<std::string> words;
  bool optionsEnded = false;
  for (const std::string& argument : arguments) {
    if (argument == "--") optionsEnded = true;
    if (!optionsEnded && argument.rfind("--", 0) == 0 && argument.size() > 2 &&
        argument.back() == '=' && argument.find('=') == argument.size() - 1) {
      words.push_back(argument.substr(0, argument.size() - 1));
      words.emplace_back();
    } else {
      words.push_back(argument);
    }
  }
  std::reverse(words.begin(), words.end());

  Given given;
  const auto app = Declare(given);
  try {
    app->parse(words);
  } catch (const CLI::ArgumentMismatch& mismatch) {
    const std::string message = mismatch.what();
    const std::string name = NamedOption(message);
    error = message.find("flag override") != std::string::npos
                ? name + " takes no value"
                : name + " needs a value (see --help)";
    return parsed;
  } catch (const CLI::ParseError& failure) {
    error = std::string(failure.what()) + " (see --help)";
    return parsed;
  }
  for (const std::string& unknown : app->remaining()) {
    if (unknown == "--") continue;  // the end of the options, which CLI11 hands back
    error = "unknown option " + Quoted(unknown) + " (see --help)";
    return parsed;
  }

  for (std::size_t i = 0; i < kFlags.size(); ++i) o.*kFlags[i].field = given.flags[i];
  if (given.select.size() > 1) {
    error = "--select given twice";
    return parsed;
  }
  if (!given.select.empty()) {
    o.select = ParseRectangle(given.select.front(), error);
    if (!error.empty()) return parsed;
  }
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    const std::vector<std::string>& values = given.settings[i];
    if (values.size() > 1) {
      error = std::string(kSettings[i].name) + " given twice";
      return parsed;
    }
    if (!values.empty()) {
      error = kSettings[i].apply(o, values.front());
      if (!error.empty()) return parsed;
    }
  }
  for (std::size_t i = 0; i < kFileOptions.size(); ++i) {
    const std::vector<std::string>& files = given.files[i];
    if (files.size() > 1) {
      error = std::string(kFileOptions[i].name) + " given twice";
      return parsed;
    }
    if (!files.empty() && files.front().empty()) {
      error = std::string(kFileOptions[i].name) + " needs a file name";
      return parsed;
    }
    if (!files.empty()) o.*kFileOptions[i].field = files.front();
  }
  o.pictures = std::move(given.pictures);
  if (o.help || o.version) return parsed;
  error = CheckTogether(o);
  if (error.empty() && !o.result.empty()) o.resultFormat = *ResultFormatOf(o.result);
  return parsed;
}

std::string PictureName(const std::string& path) {
  return std::filesystem::path(path).stem().string();
}

std::string ExpandName(const std::string& pattern, const std::string& picturePath) {
  const std::string name = PictureName(picturePath);
  std::string expanded;
  std::size_t from = 0;
  for (std::size_t at; (at = pattern.find(kNamePlaceholder, from)) != std::string::npos;) {
    expanded.append(pattern, from, at - from).append(name);
    from = at + std::string_view(kNamePlaceholder).size();
  }
  return expanded.append(pattern, from);
}

std::string HelpText() {
  Given given;
  return Declare(given)->help();
}

}  // namespace holescan::cli
