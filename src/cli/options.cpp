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
    R"(Finds the shot holes in scanned pictures of paper shooting targets. With --calibre it
gives every shot in millimetres from the point of aim (x to the right, y up), with its ring
score on an ISSF target face and the group's size and spread, for example:

  holescan-cli --calibre 4.5mm --face issf-air-rifle --distance 10m \
               --csv shots.csv --result marked.png scan.png

Without --calibre it runs the exact analysis of the holescan window instead, in pixels.
Pictures: BMP, PNG, JPEG, PBM/PGM/PPM, GIF, and TIFF and WebP with Qt's image format
plugins; at most 32766 pixels on a side.)";

// The sections of --help and of the manual page, in order: the analyses, then what both take.
constexpr char kCalibratedSection[] =
    "The calibrated analysis: shots in millimetres, ring scores and the group";
constexpr char kExactSection[] =
    "The exact analysis (without --calibre): the holescan window's, in pixels";
constexpr char kCommonSection[] = "Both analyses";

constexpr char kOutputNotes[] =
    R"(FILE may be "-" for standard output (for one output at most; there is then no summary).
With several pictures every FILE must contain {name}, replaced by the picture's file
name without folder and extension; only --json and --csv may leave it out, and then hold
every picture (--json an array with one object per picture analysed).

Pictures are analysed --jobs at a time; one that fails does not stop the others.
Nothing is written for a picture that cannot be loaded or whose rectangle does not fit;
when the exact analysis stops on an error, only the messages up to the error are written.)";

struct ExitStatus {
  int status;
  const char* meaning;
};

constexpr ExitStatus kExitStatuses[] = {
    {0,
     "every picture was analysed (also when it has no shot hole, or when the face's black "
     "was not found and the group's centre stood in for the point of aim)"},
    {1, "an analysis stopped on an error, or an output could not be written"},
    {2,
     "usage error (for --select not fitting a picture, or --calibre on a picture that "
     "stores no resolution without --dpi and with no face that gives one: nothing done for "
     "that picture)"},
    {3, "a picture could not be loaded"},
};
constexpr char kExitStatusNote[] = "When several apply, the status is the largest.";

// The outputs with an option, from the one table of outputs: an output of the exact analysis
// alone in its section, the others in the calibrated one's (with the exact one's help too).
struct FileOption {
  std::string name;
  const char* section;
  std::string help;
  std::string exactHelp;  // for an output of both analyses: what the exact one writes
  std::size_t output;     // its index in results::Outputs()
  const results::Output* declared;
};

const std::vector<FileOption>& FileOptions() {
  static const std::vector<FileOption> options = [] {
    std::vector<FileOption> listed;
    const auto outputs = results::Outputs();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      const results::Output& output = outputs[i];
      if (output.option.empty()) continue;
      listed.push_back({std::string(output.option),
                        output.analysis == results::Analysis::Exact ? kExactSection
                                                                    : kCalibratedSection,
                        std::string(output.help),
                        output.analysis == results::Analysis::Both ? std::string(output.exactHelp)
                                                                   : std::string(),
                        i, &output});
    }
    return listed;
  }();
  return options;
}

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
  const char* section;
  const char* type;
  const char* help;
  std::string (*apply)(Options& o, const std::string& value);
  // Values the shell's completion offers, separated by spaces; nullptr for none.
  std::string (*suggestions)() = nullptr;
};

std::string CalibreSuggestions() {
  return "4.5mm 5.6mm 9mm 0.177in .22in";
}

const std::array<SettingOption, 10> kSettings = {{
    {"--calibre", kCalibratedSection, "D",
     "the calibre of the shots, which asks for this analysis: every shot hole of that size, "
     "on scans at any resolution. D: 4.5mm, 5.6mm, 9mm, 0.177in, .22in, or millimetres",
     [](Options& o, const std::string& v) {
       std::string reason;
       o.calibreMm = shots::ParseCalibreMm(v, &reason);
       return o.calibreMm ? std::string() : "--calibre " + v + ": " + reason;
     },
     &CalibreSuggestions},
    {"--face", kCalibratedSection, "NAME",
     "the printed target face (auto: the one whose rings match): the point of aim is the "
     "centre of its black, every shot gets its ring score, and without --dpi its black gives "
     "the scale. When the black is not found, a warning says so and the group's centre "
     "stands in, without scores",
     [](Options& o, const std::string& v) {
       o.faceAuto = v == "auto";
       o.face = o.faceAuto ? nullptr : score::FindFace(v);
       return o.face != nullptr || o.faceAuto
                  ? std::string()
                  : "--face " + v + ": expected auto or one of " + score::FaceNames();
     },
     [] {
       std::string names = "auto";
       for (const score::Face& face : score::Faces())
         names += (names.empty() ? "" : " ") + std::string(face.name);
       return names;
     }},
    {"--distance", kCalibratedSection, "D",
     "the shooting distance (10m, 25yd, 50ft): group sizes also as angles, in MOA and mrad",
     [](Options& o, const std::string& v) {
       std::string reason;
       o.distance = score::ParseDistance(v, &reason);
       return o.distance ? std::string() : "--distance " + v + ": " + reason;
     },
     [] { return std::string("10m 25m 50m 25yd 50yd 100yd"); }},
    {"--dpi", kCalibratedSection, "N",
     "the scan's resolution in pixels per inch. Default: with --face, measured on the face's "
     "black (the file's beside it, a disagreement over 2 % a warning); else the file's",
     [](Options& o, const std::string& v) {
       double dpi = 0;
       const auto [end, failure] = std::from_chars(v.data(), v.data() + v.size(), dpi);
       if (failure != std::errc() || end != v.data() + v.size())
         return "--dpi " + v + ": expected a positive number of pixels per inch";
       if (auto problem = calibrated::ResolutionProblem(dpi)) return "--dpi " + v + ": " + *problem;
       o.dpi = dpi;
       return std::string();
     }},
    {"--aim", kCalibratedSection, "X,Y",
     "the point of aim in picture pixels, instead of the face's black. Default: the face's "
     "black, or without a face the group's centre",
     [](Options& o, const std::string& v) {
       o.aim = ParsePoint(v);
       return o.aim ? std::string() : "--aim " + v + ": expected two numbers X,Y in pixels";
     }},
    {"--holes", kCalibratedSection, "auto|dark|light",
     "holes showing darker than the paper around them (a dark backing), lighter (a white "
     "backing seen through dark print), or either, decided per hole. Default: auto",
     [](Options& o, const std::string& v) {
       o.look = shots::ParseHoleLook(v);
       return o.look ? std::string() : "--holes " + v + ": expected auto, dark or light";
     },
     [] { return std::string("auto dark light"); }},
    {"--gauge", kCalibratedSection, "D",
     "the gauge that scores a shot. Default: 4.5mm, the rules' gauge",
     [](Options& o, const std::string& v) {
       std::string reason;
       o.gaugeMm = shots::ParseCalibreMm(v, &reason);
       return o.gaugeMm ? std::string() : "--gauge " + v + ": " + reason;
     },
     &CalibreSuggestions},
    {"--shots", kCalibratedSection, "N",
     "the shots fired on each picture: a ragged group is split into that many where its torn "
     "area allows, a shot hidden under the others is placed where the torn area is least "
     "explained (marked placed), and a picture where another count is found says so",
     [](Options& o, const std::string& v) {
       int shots = 0;
       const auto [end, failure] = std::from_chars(v.data(), v.data() + v.size(), shots);
       if (failure != std::errc() || end != v.data() + v.size() || shots < 1 || shots > 10000)
         return "--shots " + v + ": expected a whole number of shots from 1 to 10000";
       o.expectedShots = shots;
       return std::string();
     }},
    {"--jobs", kCommonSection, "N",
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
    {"--memory-limit", kCommonSection, "SIZE",
     "the memory the run of one picture may use: the decoded picture, the buffers, the hole "
     "records, the report and the outputs. SIZE in bytes or with K, M, G (powers of 1024). "
     "Default: 4G",
     [](Options& o, const std::string& v) {
       o.memoryLimit = ParseByteSize(v);
       return o.memoryLimit >= (std::int64_t{1} << 20)
                  ? std::string()
                  : "--memory-limit " + v + ": expected a size of at least 1M, e.g. 512M or 4G";
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
    {"-h,--help", "--help", &Options::help, "this help"},
    {"--version", "--version", &Options::version, "the program's version"},
    {"--timings", "--timings", &Options::timings, nullptr},
}};

// Every value as given, one entry per use, so that the rules below can tell a repeated
// option and an empty value.
struct Given {
  std::vector<std::string> select;
  std::vector<std::vector<std::string>> files = std::vector<std::vector<std::string>>(FileOptions().size());
  std::array<std::vector<std::string>, kSettings.size()> settings;
  std::array<bool, kFlags.size()> flags{};
  std::vector<std::string> pictures;
};

// One option as --help and the manual page list it.
struct ListedOption {
  std::vector<std::string> names;  // "-q", "--quiet"
  std::string type;                // "FILE"; empty for a flag
  std::string text;
};

struct ListedSection {
  std::string title;
  std::vector<ListedOption> options;
};

// The listed options of the declarations, by section, in the order of kSections: each
// option in its CLI11 group, and an output of both analyses in the exact one's section too,
// with what the exact analysis writes.
std::vector<ListedSection> Listed(const CLI::App& app) {
  std::vector<ListedSection> sections;
  for (const char* title : {kCalibratedSection, kExactSection, kCommonSection}) {
    ListedSection section{title, {}};
    for (const CLI::Option* option : app.get_options()) {
      if (option->get_positional() || option->get_group().empty()) continue;
      ListedOption listed;
      for (const std::string& name : option->get_snames()) listed.names.push_back("-" + name);
      for (const std::string& name : option->get_lnames()) listed.names.push_back("--" + name);
      listed.type = option->get_type_name();
      listed.text = option->get_description();
      if (option->get_group() != title) {
        const auto both = std::find_if(
            FileOptions().begin(), FileOptions().end(),
            [&](const auto& f) { return !f.exactHelp.empty() && listed.names.back() == f.name; });
        if (title != std::string_view(kExactSection) || both == FileOptions().end()) continue;
        listed.text = both->exactHelp;
      }
      section.options.push_back(std::move(listed));
    }
    sections.push_back(std::move(section));
  }
  return sections;
}

std::string Joined(const std::vector<std::string>& words, const char* between) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : between) + word;
  return text;
}

// --help from the declarations: the usage line, the description, the options of each
// section with their value and their text wrapped beside them, then the notes and the exit
// statuses.
class HelpFormatter final : public CLI::FormatterBase {
 public:
  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    std::string text = "Usage: " + app->get_name() + " [options] PICTURE...\n\n";
    text += app->get_description() + "\n";
    for (const ListedSection& section : Listed(*app)) {
      text += "\n" + section.title + ":\n";
      for (const ListedOption& option : section.options) {
        std::string head = "  " + Joined(option.names, ", ");
        if (!option.type.empty()) head += " " + option.type;
        text += Wrapped(head, option.text, kColumn);
      }
    }
    text += "\n" + std::string(kOutputNotes) + "\n\nExit status:\n";
    for (const ExitStatus& exit : kExitStatuses)
      text += Wrapped("  " + std::to_string(exit.status), exit.meaning, 5);
    return text + kExitStatusNote + "\n";
  }

 private:
  static constexpr std::size_t kColumn = 23;
  static constexpr std::size_t kWidth = 90;

  // `head`, then `words` filled into lines from `column` to kWidth.
  static std::string Wrapped(std::string head, const std::string& words, std::size_t column) {
    std::string text;
    std::string line = std::move(head);
    if (line.size() + 1 > column) {
      text += line + "\n";
      line.clear();
    }
    line.resize(column, ' ');
    std::size_t filled = column;
    std::size_t from = 0;
    while (from < words.size()) {
      std::size_t to = words.find(' ', from);
      if (to == std::string::npos) to = words.size();
      const std::string word = words.substr(from, to - from);
      if (filled > column && filled + 1 + word.size() > kWidth) {
        text += line + "\n";
        line.assign(column, ' ');
        filled = column;
      }
      if (filled > column) {
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

// The declarations: the parser, --help, the manual page and the completion all come from here.
std::unique_ptr<CLI::App> Declare(Given& given) {
  auto app = std::make_unique<CLI::App>(kDescription, "holescan-cli");
  app->set_help_flag();
  app->allow_extras();
  app->formatter(std::make_shared<HelpFormatter>());
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    app->add_option(kSettings[i].name, given.settings[i], kSettings[i].help)
        ->type_name(kSettings[i].type)
        ->group(kSettings[i].section)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
  }
  app->add_option("--select", given.select,
                  "the rectangle to analyse, in picture pixels: left, top, right and bottom, "
                  "all inclusive; 0 <= L < R <= W and 0 <= T < B <= H. Default: the whole "
                  "picture, 0,0,W,H")
      ->type_name("L,T,R,B")
      ->group(kExactSection)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  // The calibrated analysis's outputs first, then the exact one's.
  for (const char* section : {kCalibratedSection, kExactSection}) {
    for (std::size_t i = 0; i < FileOptions().size(); ++i) {
      if (FileOptions()[i].section != section) continue;
      app->add_option(FileOptions()[i].name, given.files[i], FileOptions()[i].help)
          ->type_name("FILE")
          ->group(section)
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false);
    }
  }
  for (std::size_t i = 0; i < kFlags.size(); ++i) {
    CLI::Option* flag =
        app->add_flag(kFlags[i].names, given.flags[i], kFlags[i].help ? kFlags[i].help : "")
            ->disable_flag_override();
    flag->group(kFlags[i].help ? kCommonSection : "");
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
  const std::string& result = o.File("result");
  if (!result.empty() && !ResultFormatOf(result)) {
    return "--result " + result + ": the file name must end in .png or .bmp";
  }
  int toStandardOutput = 0;
  for (const FileOption& option : FileOptions()) {
    const std::string& file = o.files[option.output];
    if (file == kStandardOutput) ++toStandardOutput;
    if (o.pictures.size() > 1 && !file.empty() && !o.Collected(*option.declared) &&
        file.find(kNamePlaceholder) == std::string::npos) {
      return option.name + " " + file + ": with several pictures the file name must contain {name}";
    }
  }
  if (toStandardOutput > 1) return "only one output can go to standard output (-)";
  if (o.Calibrated()) {
    for (const FileOption& option : FileOptions()) {
      if (!o.files[option.output].empty() && !option.declared->Of(results::Analysis::Calibrated)) {
        return option.name +
               " writes what the exact analysis makes (vote maps, captions, the darkness map); "
               "the calibrated analysis of --calibre makes none";
      }
    }
  } else {
    for (const auto& [name, given] :
         {std::pair{"--dpi", o.dpi.has_value()}, std::pair{"--holes", o.look.has_value()},
          std::pair{"--face", o.face != nullptr || o.faceAuto},
          std::pair{"--aim", o.aim.has_value()}, std::pair{"--gauge", o.gaugeMm.has_value()},
          std::pair{"--distance", o.distance.has_value()},
          std::pair{"--shots", o.expectedShots.has_value()}}) {
      if (given) return std::string(name) + " needs --calibre (the calibrated analysis)";
    }
    for (const FileOption& option : FileOptions()) {
      if (!o.files[option.output].empty() && !option.declared->Of(results::Analysis::Exact))
        return option.name + " needs --calibre (the calibrated analysis)";
    }
  }
  const bool named = std::any_of(o.files.begin(), o.files.end(), [](const std::string& file) {
    return file.find(kNamePlaceholder) != std::string::npos;
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

std::vector<const results::Output*> OutputOptions() {
  std::vector<const results::Output*> outputs;
  for (const FileOption& option : FileOptions()) outputs.push_back(option.declared);
  return outputs;
}

bool Options::Collected(const results::Output& output) const {
  const std::string& file = File(output);
  return output.holds == results::Holds::EveryPicture && !file.empty() && pictures.size() > 1 &&
         file.find(kNamePlaceholder) == std::string::npos;
}

bool Options::Summary() const {
  if (quiet) return false;
  return std::none_of(files.begin(), files.end(),
                      [](const std::string& file) { return file == kStandardOutput; });
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
  for (std::size_t i = 0; i < FileOptions().size(); ++i) {
    const std::vector<std::string>& files = given.files[i];
    if (files.size() > 1) {
      error = FileOptions()[i].name + " given twice";
      return parsed;
    }
    if (!files.empty() && files.front().empty()) {
      error = FileOptions()[i].name + " needs a file name";
      return parsed;
    }
    if (!files.empty()) o.files[FileOptions()[i].output] = files.front();
  }
  o.pictures = std::move(given.pictures);
  if (o.help || o.version) return parsed;
  error = CheckTogether(o);
  if (error.empty() && !o.File("result").empty())
    o.resultFormat = *ResultFormatOf(o.File("result"));
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

namespace {

// Text as roff reads it: backslashes and minus signs escaped, no line starting with a
// control character.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  std::string lines;
  std::size_t from = 0;
  while (from <= out.size()) {
    std::size_t to = out.find('\n', from);
    if (to == std::string::npos) to = out.size();
    std::string line = out.substr(from, to - from);
    if (!line.empty() && (line.front() == '.' || line.front() == '\'')) line.insert(0, "\\&");
    lines += line;
    if (to < out.size()) lines += '\n';
    from = to + 1;
  }
  return lines;
}

// Paragraphs of plain text (blank lines between them) as roff: indented lines are an
// example, kept as they are.
std::string RoffParagraphs(std::string_view text) {
  std::string page = ".PP\n";
  bool example = false;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t to = text.find('\n', from);
    if (to == std::string::npos) to = text.size();
    const std::string_view line = text.substr(from, to - from);
    from = to + 1;
    const bool indented = line.rfind("  ", 0) == 0;
    if (indented != example) {
      page += indented ? ".PP\n.RS 4\n.nf\n" : ".fi\n.RE\n";
      example = indented;
    }
    if (line.empty()) {
      if (!example) page += ".PP\n";
      continue;
    }
    page += Roff(indented ? line.substr(2) : line) + "\n";
  }
  if (example) page += ".fi\n.RE\n";
  return page;
}

}  // namespace

std::string ManPage() {
  Given given;
  const auto app = Declare(given);
  std::string page =
      ".\\\" holescan-cli(1), made from the program's option declarations (src/cli/options.cpp)\n"
      ".TH HOLESCAN\\-CLI 1 \"\" \"holescan " HOLESCAN_VERSION
      "\" \"User Commands\"\n"
      ".nh\n"
      ".SH NAME\n"
      "holescan\\-cli \\- find, measure and score the shot holes in scans of paper targets\n"
      ".SH SYNOPSIS\n"
      ".B holescan\\-cli\n"
      "[\\fIoptions\\fR] \\fIPICTURE\\fR...\n"
      ".SH DESCRIPTION\n";
  page += RoffParagraphs(app->get_description());
  page += ".SH OPTIONS\n";
  for (const ListedSection& section : Listed(*app)) {
    page += ".SS \"" + Roff(section.title) + "\"\n";
    for (const ListedOption& option : section.options) {
      page += ".TP\n";
      std::string head;
      for (const std::string& name : option.names)
        head += (head.empty() ? "" : ", ") + ("\\fB" + Roff(name) + "\\fR");
      if (!option.type.empty()) head += " \\fI" + Roff(option.type) + "\\fR";
      page += head + "\n" + Roff(option.text) + "\n";
    }
  }
  page += ".SH OUTPUTS\n" + RoffParagraphs(kOutputNotes);
  page += ".SH \"EXIT STATUS\"\n";
  for (const ExitStatus& exit : kExitStatuses)
    page += ".TP\n.B " + std::to_string(exit.status) + "\n" + Roff(exit.meaning) + "\n";
  page += ".PP\n" + Roff(kExitStatusNote) + "\n";
  page += ".SH \"SEE ALSO\"\n.BR holescan\\-review (1),\n.BR holescan (1)\n";
  return page;
}

std::string BashCompletion() {
  Given given;
  const auto app = Declare(given);
  std::string names;
  std::string files;
  std::string values;
  for (const CLI::Option* option : app->get_options()) {
    if (option->get_positional() || option->get_group().empty()) continue;
    for (const std::string& name : option->get_snames()) names += " -" + name;
    for (const std::string& name : option->get_lnames()) names += " --" + name;
  }
  for (const FileOption& option : FileOptions()) files += (files.empty() ? "" : "|") + option.name;
  std::string free;
  for (const SettingOption& option : kSettings) {
    if (option.suggestions == nullptr) {
      free += (free.empty() ? "" : "|") + std::string(option.name);
      continue;
    }
    values += "    " + std::string(option.name) + ")\n      COMPREPLY=($(compgen -W '" +
              option.suggestions() + "' -- \"$cur\"))\n      return\n      ;;\n";
  }
  return "# bash completion for holescan-cli, made from its option declarations\n"
         "# (src/cli/options.cpp)\n"
         "_holescan_cli() {\n"
         "  local cur prev words cword\n"
         "  _init_completion || return\n"
         "  case $prev in\n" +
         values + "    " + files +
         ")\n"
         "      _filedir\n"
         "      return\n"
         "      ;;\n"
         "    " +
         free +
         "|--select)\n"
         "      return\n"
         "      ;;\n"
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W '" +
         names.substr(1) +
         "' -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  _filedir '@(bmp|png|jpg|jpeg|jpe|jfif|pbm|pgm|ppm|pnm|gif|tif|tiff|webp)'\n"
         "} &&\n"
         "  complete -F _holescan_cli holescan-cli\n";
}

}  // namespace holescan::cli
