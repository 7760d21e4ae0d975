// holescan-make-scan: writes a realistic synthetic scan (scangen) as a 24-bit BMP with its
// truth file beside it (NAME.json, the format holescan-eval reads) and, on request, the true
// shot centres as CSV, for trying and measuring the calibrated analysis.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "groupgen.h"
#include "scangen.h"
#include "targetgen.h"

namespace {

constexpr char kProgram[] = "holescan-make-scan";

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
  std::string out, centres, lookName = "classic";
  std::optional<holescan::scangen::PictureLook> look;
  int holes = 10;
  bool light = false, letter = false, darkOnly = false;
  double minRim = 0.2;
  CLI::App app{"Draw a realistic synthetic scan of a shot target with known shot centres, and "
               "its truth file FILE.json beside it.",
               kProgram};
  app.add_option("--out", out, "the picture to write (24-bit BMP)")->required();
  app.add_option("--look", lookName,
                 "classic (the looks below), or one look of real targets: letters, digits, "
                 "logos, dots, ring-numbers, ring-bands, photo, ragged, star, flap, tape, "
                 "tinted, dark-on-dark, edge-white, edge-grey, edge-black, cluster, paster, "
                 "outlined, or mixed; or group: one ragged group of --holes shots (2 to 15) in "
                 "the middle of a --width square")
      ->capture_default_str();
  app.add_option("--holes", holes, "shots of a look other than classic")->capture_default_str();
  app.add_flag("--light", light, "group: white holes in black print (default dark holes on paper)");
  app.add_option("--min-rim", minRim, "group: share of its rim every shot keeps visible")
      ->capture_default_str();
  app.add_option("--centres", centres,
                 "also write the true shots of a classic scan: x,y,look,group per line");
  app.add_option("--dpi", o.dpi, "resolution in pixels per inch")->capture_default_str();
  app.add_option("--calibre", o.calibreMm, "hole diameter in millimetres")->capture_default_str();
  app.add_option("--width", o.widthMm, "picture width in millimetres")->capture_default_str();
  app.add_option("--height", o.heightMm, "picture height in millimetres")->capture_default_str();
  app.add_flag("--letter", letter, "a letter page, 215.9 x 279.4 mm");
  app.add_option("--seed", o.seed, "random seed; the same seed gives the same picture")
      ->capture_default_str();
  app.add_option("--singles", o.singles, "isolated holes")->capture_default_str();
  app.add_option("--pairs", o.pairs, "touching or overlapping pairs")->capture_default_str();
  app.add_option("--triples", o.triples, "touching or overlapping triples")->capture_default_str();
  app.add_flag("--dark-only", darkOnly, "no light holes (in the aiming mark), only the dark looks");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help is 0; every usage error 2, as the analysis tools say it.
    return app.exit(error) == 0 ? 0 : 2;
  }
  const bool group = lookName == "group";
  if (lookName != "classic" && !group) {
    look = holescan::scangen::ParsePictureLook(lookName);
    if (!look) {
      std::fprintf(stderr, "%s: unknown look '%s'\nRun with --help for more information.\n",
                   kProgram, lookName.c_str());
      return 2;
    }
  }
  if (letter) {
    o.widthMm = 215.9;
    o.heightMm = 279.4;
  }
  if (darkOnly)
    o.looks = {holescan::scangen::Look::Black, holescan::scangen::Look::DarkGrey,
               holescan::scangen::Look::Torn};
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
