// holescan-make-face: writes a synthetic scan of a printed target face as a 24-bit BMP (or,
// for a name ending in .png, a compressed PNG) that records its resolution, and on request the true
// point of aim and shot centres as CSV, for trying the point of aim and the scores on pictures
// whose answer is known.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "facegen.h"

namespace {

constexpr char kProgram[] = "holescan-make-face";

bool WriteTruth(const holescan::facegen::FaceTarget& target, const std::string& path) {
  std::ofstream out(path, std::ios::trunc);
  out << "what,x,y,look\n";
  char line[96];
  std::snprintf(line, sizeof line, "aim,%.4f,%.4f,\n", target.aimX, target.aimY);
  out << line;
  for (const auto& bull : target.bulls) {
    if (target.bulls.size() < 2) break;
    std::snprintf(line, sizeof line, "bull,%.4f,%.4f,\n", bull.x, bull.y);
    out << line;
  }
  for (const auto& shot : target.shots) {
    std::snprintf(line, sizeof line, "shot,%.4f,%.4f,%s\n", shot.x, shot.y,
                  shot.look == holescan::facegen::HoleLook::Light ? "light" : "dark");
    out << line;
  }
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  holescan::facegen::FaceOptions options;
  std::string faceName = "issf-air-rifle", out, truth;
  bool noNumbers = false;
  std::optional<double> storedDpi;
  CLI::App app{"Draw a synthetic scan of a printed target face with a known point of aim.",
               kProgram};
  app.add_option("--out", out, "the picture to write: 24-bit BMP, or PNG for a name ending in .png")
      ->required();
  app.add_option("--truth", truth, "also write the true aim and shots (pixels) as CSV");
  app.add_option("--face", faceName, "the face: " + holescan::score::FaceNames())
      ->capture_default_str();
  app.add_option("--dpi", options.dpi, "resolution, pixels per inch")->capture_default_str();
  app.add_option("--seed", options.seed, "random seed; the same seed gives the same picture")
      ->capture_default_str();
  app.add_option("--calibre", options.calibreMm, "hole diameter in mm")->capture_default_str();
  std::vector<std::string> given;
  app.add_option("--shot", given,
                 "a light shot hole at X,Y mm from the face's centre, x right and y down "
                 "(repeatable)")
      ->allow_extra_args(false);
  app.add_option("--edge-shots", options.edgeShots, "random shots cutting the black's edge");
  app.add_option("--shots", options.scatterShots,
                 "random shots anywhere within the lowest scoring ring");
  app.add_flag("--dark", options.darkEdgeShots, "random shots dark instead of light");
  app.add_option("--backing-grey", options.backingGrey,
                 "every hole shows this grey backing (0..255), light or dark alike")
      ->check(CLI::Range(0, 255));
  app.add_flag("--no-numbers", noNumbers, "leave out the ring numbers");
  app.add_option("--tilt", options.tiltDeg,
                 "photographed at this angle from square-on, degrees (0..60)");
  app.add_option("--tilt-axis", options.tiltAxisDeg,
                 "the direction that is foreshortened, degrees from x (default 0)");
  app.add_flag("--sheet", options.sheet,
               "every bull of the sheet the face is printed on (nra-a17); shots with --shot "
               "K:X,Y on bull K (from 0, the sheet's order)");
  app.add_option("--stored-dpi", storedDpi,
                 "the resolution the file records, when not the true one (0: none, as many "
                 "phone pictures and exported scans)");
  app.add_option("--margin", options.marginMm, "card around the lowest scoring ring, mm")
      ->capture_default_str();
  app.add_option("--lid", options.lidMm, "dark scanner lid around the card, mm");
  app.add_option("--noise", options.noise, "grain, standard deviation in grey levels");
  app.add_option("--ramp", options.ramp, "lighting falls by this fraction across (0..0.5)");
  app.add_option("--blur", options.blur, "box blur radius in pixels (0..3)");
  app.add_option("--jpeg", options.jpegQuality, "JPEG block quantisation at this quality");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  options.numbers = !noNumbers;
  for (const std::string& shot : given) {
    holescan::facegen::ShotMark mark;
    char comma = 0;
    std::string text = shot;
    if (const auto colon = text.find(':'); colon != std::string::npos) {
      try {
        mark.bull = std::stoi(text.substr(0, colon));
      } catch (const std::exception&) {
        std::fprintf(stderr, "%s: --shot %s: expected K:X,Y\n", kProgram, shot.c_str());
        return 2;
      }
      text.erase(0, colon + 1);
    }
    std::istringstream in(text);
    if (!(in >> mark.xMm >> comma >> mark.yMm) || comma != ',' || !(in >> std::ws).eof()) {
      std::fprintf(stderr, "%s: --shot %s: expected X,Y in mm\n", kProgram, shot.c_str());
      return 2;
    }
    options.shots.push_back(mark);
  }
  options.face = holescan::score::FindFace(faceName);
  if (!options.face) {
    std::fprintf(stderr, "%s: unknown face '%s'; known: %s\n", kProgram, faceName.c_str(),
                 holescan::score::FaceNames().c_str());
    return 2;
  }
  try {
    const auto target = holescan::facegen::MakeFace(options);
    const bool png = out.size() > 4 && out.compare(out.size() - 4, 4, ".png") == 0;
#ifdef HOLESCAN_FACEGEN_PNG
    const double stored = storedDpi.value_or(options.dpi);
    const bool written = png ? holescan::facegen::WritePng(target.picture, stored, out)
                             : holescan::facegen::WriteBmp(target.picture, out, stored);
#else
    if (png) {
      std::fprintf(stderr, "%s: PNG needs libdeflate at build time; write a .bmp\n", kProgram);
      return 2;
    }
    const bool written =
        holescan::facegen::WriteBmp(target.picture, out, storedDpi.value_or(options.dpi));
#endif
    if (!written) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, out.c_str(),
                   std::strerror(errno));
      return 1;
    }
    if (!truth.empty() && !WriteTruth(target, truth)) {
      std::fprintf(stderr, "%s: cannot write %s: %s\n", kProgram, truth.c_str(),
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
