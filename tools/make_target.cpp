// holescan-make-target: writes a synthetic target scan as a 24-bit BMP and, on request, the
// true hole centres as CSV, for trying the analysis on pictures whose answer is known.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "targetgen.h"

namespace {

constexpr char kProgram[] = "holescan-make-target";

constexpr char kUsage[] =
    "Usage: holescan-make-target [OPTION]... --out FILE.bmp\n"
    "Draw a synthetic scan of a shot paper target with known hole centres.\n"
    "\n"
    "  --out FILE.bmp     the picture to write (24-bit BMP, 75 pixels per inch)\n"
    "  --centres FILE.csv also write the true holes: x,y,radius,overlapping per line\n"
    "  --width N          picture width in pixels (default 600)\n"
    "  --height N         picture height in pixels (default 800)\n"
    "  --seed N           random seed; the same seed gives the same picture (default 1)\n"
    "  --holes N          isolated holes (default 10)\n"
    "  --pairs N          pairs of overlapping holes (default 1)\n"
    "  --specks N         dark specks of 1 to 4 pixels (default 30)\n"
    "  --min-radius R     smallest hole radius in pixels (default 5)\n"
    "  --max-radius R     largest hole radius in pixels (default 8)\n"
    "  --large-dark       add a black bull of more than 40000 pixels at the centre\n"
    "  --no-rings         leave out the scoring rings\n"
    "  --no-text          leave out the printed text and figures\n"
    "  --help             show this help and exit\n";

struct UsageError {
  std::string message;
};

template <typename Number>
Number Parse(std::string_view option, std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    throw UsageError{"invalid value '" + std::string(text) + "' for " + std::string(option)};
  return value;
}

struct Arguments {
  holescan::targetgen::TargetOptions options;
  std::string out;
  std::string centres;
  bool help = false;
};

Arguments ParseArguments(int argc, char** argv) {
  Arguments args;
  auto& o = args.options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view value;
    bool hasValue = false;
    if (const auto equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      hasValue = true;
    }
    auto flag = [&] {
      if (hasValue) throw UsageError{std::string(arg) + " takes no value"};
    };
    auto next = [&]() -> std::string_view {
      if (hasValue) return value;
      if (i + 1 >= argc) throw UsageError{std::string(arg) + " needs a value"};
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      flag();
      args.help = true;
    } else if (arg == "--out") {
      args.out = next();
    } else if (arg == "--centres") {
      args.centres = next();
    } else if (arg == "--width") {
      o.width = Parse<int>(arg, next());
    } else if (arg == "--height") {
      o.height = Parse<int>(arg, next());
    } else if (arg == "--seed") {
      o.seed = Parse<std::uint32_t>(arg, next());
    } else if (arg == "--holes") {
      o.holes = Parse<int>(arg, next());
    } else if (arg == "--pairs") {
      o.overlappingPairs = Parse<int>(arg, next());
    } else if (arg == "--specks") {
      o.specks = Parse<int>(arg, next());
    } else if (arg == "--min-radius") {
      o.minRadius = Parse<double>(arg, next());
    } else if (arg == "--max-radius") {
      o.maxRadius = Parse<double>(arg, next());
    } else if (arg == "--large-dark") {
      flag();
      o.largeDarkRegion = true;
    } else if (arg == "--no-rings") {
      flag();
      o.rings = false;
    } else if (arg == "--no-text") {
      flag();
      o.text = false;
    } else {
      throw UsageError{"unknown option '" + std::string(argv[i]) + "'"};
    }
  }
  if (!args.help && args.out.empty()) throw UsageError{"--out FILE.bmp is required"};
  return args;
}

bool WriteCentres(const std::vector<holescan::targetgen::TrueHole>& holes,
                  const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  out << "x,y,radius,overlapping\n";
  char line[96];
  for (const auto& h : holes) {
    std::snprintf(line, sizeof(line), "%.3f,%.3f,%.3f,%d\n", h.x, h.y, h.radius,
                  h.overlapping ? 1 : 0);
    out << line;
  }
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  try {
    args = ParseArguments(argc, argv);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                 error.message.c_str(), kProgram);
    return 2;
  }
  if (args.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    const auto target = holescan::targetgen::MakeTarget(args.options);
    if (!holescan::targetgen::WriteBmp(target.picture, args.out)) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, args.out.c_str(),
                   std::strerror(errno));
      return 1;
    }
    if (!args.centres.empty() && !WriteCentres(target.holes, args.centres)) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, args.centres.c_str(),
                   std::strerror(errno));
      return 1;
    }
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.what());
    return 1;
  }
  return 0;
}
