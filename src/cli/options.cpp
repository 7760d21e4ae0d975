#include "cli/options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <set>
#include <string_view>

#include "pixel/picture.h"

namespace holescan::cli {
namespace {

struct FileOption {
  std::string_view name;
  std::string Options::*field;
};

constexpr std::array<FileOption, 5> kFileOptions = {{
    {"--report", &Options::report},
    {"--result", &Options::result},
    {"--messages", &Options::messages},
    {"--json", &Options::json},
    {"--save-darkmap", &Options::saveDarkMap},
}};

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

// "L,T,R,B": four decimal integers; the rectangle must not be empty or inside out.
std::optional<ScanRectangle> ParseRectangle(std::string_view text, std::string& error) {
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
  const ScanRectangle r{values[0], values[1], values[2], values[3]};
  if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom ||
      r.right > kMaxPictureSide || r.bottom > kMaxPictureSide) {
    error = "--select " + std::string(text) +
            ": needs 0 <= L < R <= W and 0 <= T < B <= H (at most " +
            std::to_string(kMaxPictureSide) + ")";
    return std::nullopt;
  }
  return r;
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
    const bool collected = option.field == &Options::json && o.JsonCollected();
    if (o.pictures.size() > 1 && !file.empty() && !collected &&
        file.find(kNamePlaceholder) == std::string::npos) {
      return std::string(option.name) + " " + file +
             ": with several pictures the file name must contain {name}";
    }
  }
  if (toStandardOutput > 1) return "only one output can go to standard output (-)";
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
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded || argument == kStandardOutput || argument.rfind("-", 0) != 0) {
      o.pictures.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    // "--option=value" or "--option value"
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    std::optional<std::string> inlineValue;
    if (equals != std::string::npos) inlineValue = argument.substr(equals + 1);
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 < arguments.size()) return arguments[++i];
      error = name + " needs a value (see --help)";
      return std::nullopt;
    };
    auto flag = [&](bool& field) {
      if (inlineValue) {
        error = name + " takes no value";
        return;
      }
      field = true;
    };

    if (name == "--help" || name == "-h") {
      flag(o.help);
    } else if (name == "--version") {
      flag(o.version);
    } else if (name == "--quiet" || name == "-q") {
      flag(o.quiet);
    } else if (name == "--timings") {
      flag(o.timings);
    } else if (name == "--select") {
      const auto text = value();
      if (text) {
        if (o.select)
          error = "--select given twice";
        else
          o.select = ParseRectangle(*text, error);
      }
    } else {
      const FileOption* option = nullptr;
      for (const FileOption& candidate : kFileOptions) {
        if (candidate.name == name) option = &candidate;
      }
      if (option == nullptr) {
        error = "unknown option " + Quoted(name) + " (see --help)";
      } else if (const auto file = value()) {
        std::string& field = o.*option->field;
        if (!field.empty())
          error = name + " given twice";
        else if (file->empty())
          error = name + " needs a file name";
        else
          field = *file;
      }
    }
    if (!error.empty()) return parsed;
  }
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
  return R"(Usage: holescan-cli [options] PICTURE...

Finds the shot holes in scanned pictures of paper shooting targets, exactly as the
window does: each PICTURE is loaded as "&Load" loads it, the whole picture (or the
--select rectangle) is scanned as "Draw" scans it, and the outputs asked for are written.
Pictures: BMP, PNG, JPEG, PBM/PGM/PPM, GIF, and TIFF and WebP with Qt's image format
plugins; at most 32766 pixels on a side.

Options:
  --select L,T,R,B     scan rectangle in picture pixels, all bounds inclusive
                       (SelLeft, SelTop, SelRight, SelBottom); 0 <= L < R <= W and
                       0 <= T < B <= H. Default: the whole picture, 0,0,W,H.
  --report FILE        the vote report, byte for byte the text "Draw" puts on the
                       clipboard
  --result FILE        the result picture as the window shows it after "Draw";
                       PNG or BMP by the file name's extension (PNG on standard output)
  --messages FILE      every caption of the message line, one per line, in order
  --json FILE          holes and shot holes as JSON
  --save-darkmap FILE  the darkness map after "Draw": (W + 1) x (H + 1) bytes, row by
                       row, no header
  -q, --quiet          no summary on standard output
  -h, --help           this text
  --version            the program's version

FILE may be "-" for standard output (for one output at most; there is then no summary).
With several pictures every FILE must contain {name}, replaced by the picture's file
name without folder and extension; only --json may leave it out, and then holds an
array with one object per picture analysed.

Pictures are analysed one after the other; one that fails does not stop the others.
Nothing is written for a picture that cannot be loaded or whose rectangle does not fit;
when "Draw" stops on an error only the captions up to the error are written.

Exit status:
  0  every picture was analysed (also when it has no shot hole)
  1  "Draw" stopped on an error, or an output could not be written
  2  usage error (for --select not fitting a picture: nothing done for that picture)
  3  a picture could not be loaded
When several apply, the status is the largest.
)";
}

}  // namespace holescan::cli
