// holescan-make-target: writes a synthetic target scan as a 24-bit BMP and, on request, the
// true hole centres as CSV, for trying the analysis on pictures whose answer is known.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "targetgen.h"

namespace {

constexpr char kProgram[] = "holescan-make-target";

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
  holescan::targetgen::TargetOptions o;
  std::string out, centres;
  bool noRings = false, noText = false;
  CLI::App app{"Draw a synthetic scan of a shot paper target with known hole centres.", kProgram};
  app.add_option("--out", out, "the picture to write (24-bit BMP, 75 pixels per inch)")
      ->required();
  app.add_option("--centres", centres,
                 "also write the true holes: x,y,radius,overlapping per line");
  app.add_option("--width", o.width, "picture width in pixels")->capture_default_str();
  app.add_option("--height", o.height, "picture height in pixels")->capture_default_str();
  app.add_option("--seed", o.seed, "random seed; the same seed gives the same picture")
      ->capture_default_str();
  app.add_option("--holes", o.holes, "isolated holes")->capture_default_str();
  app.add_option("--pairs", o.overlappingPairs, "pairs of overlapping holes")
      ->capture_default_str();
  app.add_option("--specks", o.specks, "dark specks of 1 to 4 pixels")->capture_default_str();
  app.add_option("--min-radius", o.minRadius, "smallest hole radius in pixels")
      ->capture_default_str();
  app.add_option("--max-radius", o.maxRadius, "largest hole radius in pixels")
      ->capture_default_str();
  app.add_flag("--large-dark", o.largeDarkRegion,
               "add a black bull of more than 40000 pixels at the centre");
  app.add_flag("--no-rings", noRings, "leave out the scoring rings");
  app.add_flag("--no-text", noText, "leave out the printed text and figures");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help is 0; every usage error 2, as the analysis tools say it.
    return app.exit(error) == 0 ? 0 : 2;
  }
  o.rings = !noRings;
  o.text = !noText;
  try {
    const auto target = holescan::targetgen::MakeTarget(o);
    if (!holescan::targetgen::WriteBmp(target.picture, out)) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, out.c_str(),
                   std::strerror(errno));
      return 1;
    }
    if (!centres.empty() && !WriteCentres(target.holes, centres)) {
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
