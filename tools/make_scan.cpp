// holescan-make-scan: writes a realistic synthetic scan (scangen) as a 24-bit BMP with its
// truth file beside it (NAME.json, the format holescan-eval reads) and, on request, the true
// shot centres as CSV, for trying and measuring the calibrated analysis.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "groupgen.h"
#include "scangen.h"
#include "targetgen.h"

namespace {

constexpr char kProgram[] = "holescan-make-scan";

constexpr char kUsage[] =
    "Usage: holescan-make-scan [OPTION]... --out FILE.bmp\n"
    "Draw a realistic synthetic scan of a shot target with known shot centres, and its truth\n"
    "file FILE.json beside it.\n"
    "\n"
    "  --out FILE.bmp      the picture to write (24-bit BMP)\n"
    "  --look NAME         classic (default: the looks below), or one look of real targets:\n"
    "                      letters, digits, logos, dots, ring-numbers, ring-bands, photo,\n"
    "                      ragged, star, flap, tape, tinted, dark-on-dark, edge-white,\n"
    "                      edge-grey, edge-black, cluster, paster, outlined, or mixed;\n"
    "                      or group: one ragged group of --holes shots (2 to 15) in the\n"
    "                      middle of a --width square\n"
    "  --holes N           shots of a look other than classic (default 10)\n"
    "  --light             group: white holes in black print (default dark holes on paper)\n"
    "  --min-rim F         group: share of its rim every shot keeps visible (default 0.2)\n"
    "  --centres FILE.csv  also write the true shots of a classic scan: x,y,look,group per line\n"
    "  --dpi N             resolution in pixels per inch (default 150)\n"
    "  --calibre MM        hole diameter in millimetres (default 4.5)\n"
    "  --width MM          picture width in millimetres (default 90)\n"
    "  --height MM         picture height in millimetres (default 90)\n"
    "  --letter            a letter page, 215.9 x 279.4 mm\n"
    "  --seed N            random seed; the same seed gives the same picture (default 1)\n"
    "  --singles N         isolated holes (default 6)\n"
    "  --pairs N           touching or overlapping pairs (default 2)\n"
    "  --triples N         touching or overlapping triples (default 1)\n"
    "  --dark-only         no light holes (in the aiming mark), only the dark looks\n"
    "  --help              show this help and exit\n";

struct UsageError {
  std::string message;
};

template <typename Number>
Number Parse(std::string_view option, std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw UsageError{"invalid value '" + std::string(text) + "' for " + std::string(option)};
  }
  return value;
}

bool WriteCentres(const holescan::scangen::Scan& scan, const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  out << "x,y,look,group\n";
  char line[96];
  for (const auto& s : scan.shots) {
    std::snprintf(line, sizeof(line), "%.3f,%.3f,%s,%d\n", s.x, s.y,
                  holescan::scangen::LookName(s.look), s.group);
    out << line;
  }
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  holescan::scangen::ScanOptions o;
  o.widthMm = o.heightMm = 90;
  std::string out, centres;
  std::optional<holescan::scangen::PictureLook> look;
  int holes = 10;
  bool group = false, light = false;
  double minRim = 0.2;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string_view arg = argv[i];
      auto next = [&]() -> std::string_view {
        if (i + 1 >= argc) throw UsageError{std::string(arg) + " needs a value"};
        return argv[++i];
      };
      if (arg == "--help" || arg == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (arg == "--out") {
        out = next();
      } else if (arg == "--look") {
        const std::string_view name = next();
        group = name == "group";
        if (name != "classic" && !group) {
          look = holescan::scangen::ParsePictureLook(name);
          if (!look) throw UsageError{"unknown look '" + std::string(name) + "'"};
        }
      } else if (arg == "--holes") {
        holes = Parse<int>(arg, next());
      } else if (arg == "--light") {
        light = true;
      } else if (arg == "--min-rim") {
        minRim = Parse<double>(arg, next());
      } else if (arg == "--centres") {
        centres = next();
      } else if (arg == "--dpi") {
        o.dpi = Parse<double>(arg, next());
      } else if (arg == "--calibre") {
        o.calibreMm = Parse<double>(arg, next());
      } else if (arg == "--width") {
        o.widthMm = Parse<double>(arg, next());
      } else if (arg == "--height") {
        o.heightMm = Parse<double>(arg, next());
      } else if (arg == "--letter") {
        o.widthMm = 215.9;
        o.heightMm = 279.4;
      } else if (arg == "--seed") {
        o.seed = Parse<std::uint32_t>(arg, next());
      } else if (arg == "--singles") {
        o.singles = Parse<int>(arg, next());
      } else if (arg == "--pairs") {
        o.pairs = Parse<int>(arg, next());
      } else if (arg == "--triples") {
        o.triples = Parse<int>(arg, next());
      } else if (arg == "--dark-only") {
        o.looks = {holescan::scangen::Look::Black, holescan::scangen::Look::DarkGrey,
                   holescan::scangen::Look::Torn};
      } else {
        throw UsageError{"unknown option '" + std::string(arg) + "'"};
      }
    }
    if (out.empty()) throw UsageError{"--out FILE.bmp is required"};
  } catch (const UsageError& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                 error.message.c_str(), kProgram);
    return 2;
  }
  try {
    const std::filesystem::path picturePath(out);
    const std::string name = picturePath.stem().string();
    const std::string image = picturePath.filename().string();
    std::filesystem::path truthPath = picturePath;
    truthPath.replace_extension(".json");
    const double diameter = o.calibreMm * o.dpi / 25.4;
    holescan::scangen::Scan scan;
    std::string truth;
    if (group) {
      holescan::scangen::GroupOptions go;
      go.seed = o.seed;
      go.dpi = o.dpi;
      go.calibreMm = o.calibreMm;
      go.sideMm = o.widthMm;
      go.shots = holes;
      go.light = light;
      go.minRim = minRim;
      holescan::scangen::GroupScan made = holescan::scangen::MakeGroupScan(go);
      scan.picture = std::move(made.picture);
      truth = holescan::scangen::TruthJson(name, image, light ? "group-light" : "group-dark",
                                           made.holeDiameterPx, made.holes, {});
    } else if (look) {
      holescan::scangen::LookOptions lo;
      lo.seed = o.seed;
      lo.dpi = o.dpi;
      lo.calibreMm = o.calibreMm;
      lo.widthMm = o.widthMm;
      lo.heightMm = o.heightMm;
      lo.look = *look;
      lo.holes = holes;
      holescan::scangen::LookScan made = holescan::scangen::MakeLookScan(lo);
      scan.picture = std::move(made.picture);
      truth = holescan::scangen::TruthJson(name, image, holescan::scangen::PictureLookName(*look),
                                           made.holeDiameterPx, made.holes, made.nonHoles);
    } else {
      scan = holescan::scangen::MakeScan(o);
      truth = holescan::scangen::TruthJson(name, image, "classic", diameter,
                                           holescan::scangen::MarkedHoles(scan, diameter), {});
    }
    if (!holescan::targetgen::WriteBmp(scan.picture, out, o.dpi)) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, out.c_str(),
                   std::strerror(errno));
      return 1;
    }
    std::ofstream truthFile(truthPath, std::ios::trunc);
    truthFile << truth;
    truthFile.close();
    if (!truthFile) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, truthPath.c_str(),
                   std::strerror(errno));
      return 1;
    }
    if (!centres.empty() && !WriteCentres(scan, centres)) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, centres.c_str(),
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
