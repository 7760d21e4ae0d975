#include "eval/run.h"

#include "calibrated/calibrated.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <thread>

#include "io/output_file.h"
#include "io/qt/picture_loader.h"

namespace holescan::eval {
namespace {

namespace fs = std::filesystem;

constexpr char kProgram[] = "holescan-eval";
constexpr std::array<const char*, 11> kPictureSuffixes{
    ".png", ".bmp", ".jpg", ".jpeg", ".tif", ".tiff", ".webp", ".gif", ".ppm", ".pgm", ".PNG"};
// The picture with what the calibrated analysis allocates beside it, as holescan-cli counts.
constexpr std::int64_t kAnalysisBytesPerPixel = 8;

std::string PictureFor(const fs::path& truthPath, const Truth& truth) {
  const fs::path folder = truthPath.parent_path();
  if (!truth.image.empty()) {
    const fs::path named = folder / truth.image;
    return fs::exists(named) ? named.string() : std::string();
  }
  for (const char* suffix : kPictureSuffixes) {
    fs::path candidate = truthPath;
    candidate.replace_extension(suffix);
    if (fs::is_regular_file(candidate)) return candidate.string();
  }
  return {};
}

void AddTruth(const fs::path& path, bool fromFolder, Collected& collected) {
  TruthRead read = ReadTruthFile(path.string());
  if (!read.truth) {
    // A folder may hold other JSON (the analysis's own output): only truth files count there.
    if (!(fromFolder && !read.isTruth)) {
      collected.problems.push_back(path.string() + ": " + read.reason);
    }
    return;
  }
  Case c;
  c.truthPath = path.string();
  c.truth = std::move(*read.truth);
  c.picturePath = PictureFor(path, c.truth);
  if (c.picturePath.empty()) {
    collected.problems.push_back(path.string() + ": no picture beside it" +
                                 (c.truth.image.empty() ? "" : " named " + c.truth.image));
    return;
  }
  collected.cases.push_back(std::move(c));
}

PictureOutcome RunCase(const Case& c, const RunSettings& settings, const Detector& detector) {
  PictureOutcome outcome;
  outcome.truthPath = c.truthPath;
  outcome.picturePath = c.picturePath;
  outcome.truth = c.truth;
  outcome.dpi =
      settings.dpi > 0 ? settings.dpi : c.truth.holeDiameterPx * 25.4 / settings.calibreMm;
  shots::ShotSettings shotSettings;
  shotSettings.calibreMm = settings.calibreMm;
  shotSettings.dpi = outcome.dpi;
  shotSettings.look = settings.look;
  if (auto problem = shots::SettingsProblem(shotSettings)) {
    outcome.error = *problem;
  } else {
    PictureLimits limits;
    limits.analysisBytesPerPixel = kAnalysisBytesPerPixel;
    const PictureFile file = LoadPictureFile(c.picturePath, limits);
    if (!file.loaded) {
      outcome.error = file.reason;
    } else {
      try {
        outcome.detections = detector(file.picture.View(), shotSettings);
        if (settings.whyMissed) {
          const PictureScore score =
              ScorePicture(outcome.truth, outcome.detections, settings.tolerance);
          std::vector<std::pair<double, double>> places;
          for (const int j : score.missed) {
            const TruthHole& hole = outcome.truth.holes[static_cast<std::size_t>(j)];
            places.emplace_back(hole.x, hole.y);
          }
          if (!places.empty()) {
            outcome.missedAt =
                shots::TracePlaces(file.picture.View(), shotSettings, places,
                                   settings.tolerance * outcome.truth.holeDiameterPx);
            // A hole the shot stage keeps and the measured analysis still misses was dropped
            // after it (a face's printed centre, say).
            for (shots::PlaceTrace& trace : outcome.missedAt) {
              if (trace.lostAt == shots::LostAt::NotLost) trace.lostAt = shots::LostAt::Later;
            }
          }
        }
      } catch (const std::bad_alloc&) {
        outcome.error = "out of memory";
      } catch (const std::exception& error) {
        outcome.error = error.what();
      }
    }
  }
  outcome.score = ScorePicture(outcome.truth, outcome.detections, settings.tolerance);
  return outcome;
}

bool ParseNumber(const std::string& text, double& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::vector<Detection> RunAnalysis(const PictureView& picture,
                                   const shots::ShotSettings& settings) {
  calibrated::CalibratedSettings calibrated;
  calibrated.calibreMm = settings.calibreMm;
  calibrated.dpi = settings.dpi;
  calibrated.dpiSource = calibrated::ResolutionSource::Option;
  calibrated.look = settings.look;
  const calibrated::CalibratedResult found = calibrated::AnalysePicture(picture, calibrated);
  std::vector<Detection> detections;
  detections.reserve(found.shots.size());
  for (const calibrated::Shot& shot : found.shots) detections.push_back({shot.x, shot.y});
  return detections;
}

Collected CollectCases(const std::vector<std::string>& inputs) {
  Collected collected;
  for (const std::string& input : inputs) {
    const fs::path path(input);
    std::error_code error;
    if (fs::is_directory(path, error)) {
      std::vector<fs::path> truths;
      for (const auto& entry : fs::directory_iterator(path, error)) {
        if (entry.path().extension() == ".json" && entry.is_regular_file()) {
          truths.push_back(entry.path());
        }
      }
      std::sort(truths.begin(), truths.end());
      const std::size_t before = collected.cases.size();
      for (const fs::path& truth : truths) AddTruth(truth, true, collected);
      if (collected.cases.size() == before && truths.empty()) {
        collected.problems.push_back(input + ": no truth files in this folder");
      }
    } else if (!fs::exists(path, error)) {
      collected.problems.push_back(input + ": no such file or folder");
    } else if (path.extension() == ".json") {
      AddTruth(path, false, collected);
    } else {
      fs::path truth = path;
      truth.replace_extension(".json");
      if (!fs::exists(truth, error)) {
        collected.problems.push_back(input + ": no truth file " + truth.string());
        continue;
      }
      TruthRead read = ReadTruthFile(truth.string());
      if (!read.truth) {
        collected.problems.push_back(truth.string() + ": " + read.reason);
        continue;
      }
      collected.cases.push_back({truth.string(), input, std::move(*read.truth)});
    }
  }
  return collected;
}

std::vector<PictureOutcome> RunCases(const std::vector<Case>& cases, const RunSettings& settings,
                                     const Detector& detector) {
  std::vector<PictureOutcome> outcomes(cases.size());
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (std::size_t i = next++; i < cases.size(); i = next++) {
      outcomes[i] = RunCase(cases[i], settings, detector);
    }
  };
  const std::size_t workers =
      std::clamp<std::size_t>(settings.jobs, 1, std::max<std::size_t>(cases.size(), 1));
  std::vector<std::thread> threads;
  for (std::size_t t = 1; t < workers; ++t) threads.emplace_back(work);
  work();
  for (std::thread& thread : threads) thread.join();
  return outcomes;
}

int EvalMain(int argc, char** argv) {
  CLI::App app{
      "Runs the calibrated analysis over pictures with truth files (NAME.json beside "
      "NAME.png: hole_diameter_px, holes, ignore_regions) and prints, per picture and in "
      "total, recall, precision and the mean centre error in pixels and in calibres.",
      kProgram};
  std::vector<std::string> inputs;
  std::string calibre = "4.5mm";
  std::string dpiText;
  std::string lookText = "auto";
  std::string jsonPath;
  bool byLook = false;
  bool whyMissed = false;
  double tolerance = 0.5;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  app.add_option("INPUT", inputs, "folders, truth files (NAME.json) or pictures")
      ->required()
      ->type_name("");
  app.add_option("--calibre", calibre,
                 "the calibre: 4.5mm, 5.6mm, 9mm, 0.177in, .22in or millimetres (default 4.5mm)")
      ->type_name("D");
  app.add_option("--dpi", dpiText,
                 "the resolution given to the analysis (default: where a hole is the truth's D "
                 "pixels across, D * 25.4 / calibre)")
      ->type_name("N");
  app.add_option("--look", lookText, "the holes' look (default auto)")
      ->type_name("auto|dark|light");
  app.add_option("--json", jsonPath,
                 "also write the results as JSON to this file (- for standard output instead of "
                 "the tables)")
      ->type_name("FILE");
  app.add_flag("--by-look", byLook,
               "also break recall down by the holes' look and the figures by the pictures' look");
  app.add_flag("--why-missed", whyMissed,
               "also say where the analysis lost each missed hole: never proposed, set aside "
               "at the first look, judged too unlikely, or dropped later (runs it twice)");
  app.add_option("--tolerance", tolerance,
                 "match distance as a fraction of the hole diameter (default 0.5)")
      ->type_name("F")
      ->check(CLI::Range(0.01, 10.0));
  app.add_option("--jobs", jobs, "pictures analysed at once (default: the number of cores)")
      ->type_name("N")
      ->check(CLI::Range(1, 256));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitMeasured : kExitUsage;
  }

  RunSettings settings;
  std::string reason;
  const auto calibreMm = shots::ParseCalibreMm(calibre, &reason);
  if (!calibreMm) {
    std::fprintf(stderr, "%s: --calibre %s: %s\n", kProgram, calibre.c_str(), reason.c_str());
    return kExitUsage;
  }
  settings.calibreMm = *calibreMm;
  if (!dpiText.empty() && !(ParseNumber(dpiText, settings.dpi) && settings.dpi > 0)) {
    std::fprintf(stderr, "%s: --dpi %s: expected a positive number\n", kProgram, dpiText.c_str());
    return kExitUsage;
  }
  const auto look = shots::ParseHoleLook(lookText);
  if (!look) {
    std::fprintf(stderr, "%s: --look %s: expected auto, dark or light\n", kProgram,
                 lookText.c_str());
    return kExitUsage;
  }
  settings.look = *look;
  settings.tolerance = tolerance;
  settings.jobs = jobs;
  settings.whyMissed = whyMissed;

  const Collected collected = CollectCases(inputs);
  for (const std::string& problem : collected.problems) {
    std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
  }
  if (!collected.problems.empty()) return kExitUsage;

  const std::vector<PictureOutcome> outcomes = RunCases(collected.cases, settings);
  int status = kExitMeasured;
  for (const PictureOutcome& o : outcomes) {
    if (!o.error.empty()) {
      std::fprintf(stderr, "%s: %s: %s (counted with no detections)\n", kProgram,
                   o.picturePath.c_str(), o.error.c_str());
      status = kExitPictureFailed;
    }
  }

  ReportSettings reportSettings;
  reportSettings.calibreMm = settings.calibreMm;
  reportSettings.dpi = settings.dpi;
  reportSettings.look = std::string(shots::HoleLookName(settings.look));
  reportSettings.tolerance = settings.tolerance;
  if (!jsonPath.empty()) {
    OutputFile out(jsonPath);
    if (out.IsOpen()) out.Write(ReportJson(outcomes, reportSettings, byLook));
    const auto failure = out.IsOpen() ? out.Commit() : std::optional(out.OpenError());
    if (failure) {
      std::fprintf(stderr, "%s: %s\n", kProgram, failure->c_str());
      status = kExitPictureFailed;
    }
    if (jsonPath == kStandardOutput) return status;
  }
  std::string text = FormatTable(outcomes);
  if (byLook) {
    std::vector<Truth> truths;
    std::vector<PictureScore> scores;
    for (const PictureOutcome& o : outcomes) {
      truths.push_back(o.truth);
      scores.push_back(o.score);
    }
    text += "\n" + FormatLookTable("hole look", ScoreByHoleLook(truths, scores), false);
    const auto pictureLooks = ScoreByPictureLook(truths, scores);
    if (!pictureLooks.empty()) text += "\n" + FormatLookTable("picture look", pictureLooks, true);
  }
  if (settings.whyMissed) text += "\n" + FormatMissedTable(outcomes);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return status;
}

}  // namespace holescan::eval
