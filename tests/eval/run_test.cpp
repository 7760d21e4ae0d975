// holescan-eval's run: which truth files and pictures an input names, the resolution the
// analysis is given, loading failures counted as misses, jobs in the cases' order, and the
// program on a generated scan with its truth.
#include "eval/run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "io/json_writer.h"
#include "scangen.h"
#include "support/picture_writers.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"
#include "targetgen.h"

namespace holescan::eval {
namespace {

std::string TruthText(double d, const std::vector<std::pair<double, double>>& holes,
                      const std::string& image = "") {
  std::string text = "{\"hole_diameter_px\": " + std::to_string(d) + ", ";
  if (!image.empty()) text += "\"image\": \"" + image + "\", ";
  text += "\"holes\": [";
  for (std::size_t i = 0; i < holes.size(); ++i) {
    text += (i ? ", " : "") + std::string("{\"x\": ") + std::to_string(holes[i].first) +
            ", \"y\": " + std::to_string(holes[i].second) + "}";
  }
  return text + "]}";
}

const testing::Bytes kWhite = testing::Bmp24(40, 30, [](int, int) { return 0xFFFFFFu; });

class Run : public testing::ScratchFolder {};

TEST_F(Run, collects_truth_files_of_a_folder_by_name_with_their_pictures) {
  std::filesystem::create_directory(folder_ / "set");
  Write("set/b.json", TruthText(10, {{5, 5}}));
  Write("set/b.bmp", kWhite);
  Write("set/a.json", TruthText(10, {}, "other.bmp"));
  Write("set/other.bmp", kWhite);
  Write("set/a.bmp", kWhite);
  Write("set/results.json", "{\"shots\": []}");  // not a truth file: passed over
  Write("c.json", TruthText(12, {}));
  Write("c.png", testing::PngRgb(8, 8, [](int, int) { return 0u; }));
  Write("d.json", TruthText(12, {}));
  Write("d.bmp", kWhite);

  const Collected collected = CollectCases({Path("set"), Path("c.json"), Path("d.bmp")});
  EXPECT_TRUE(collected.problems.empty());
  ASSERT_EQ(collected.cases.size(), 4u);
  EXPECT_EQ(collected.cases[0].picturePath, Path("set/other.bmp"));
  EXPECT_EQ(collected.cases[1].truthPath, Path("set/b.json"));
  EXPECT_EQ(collected.cases[1].picturePath, Path("set/b.bmp"));
  EXPECT_EQ(collected.cases[1].truth.holes.size(), 1u);
  EXPECT_EQ(collected.cases[2].picturePath, Path("c.png"));
  EXPECT_EQ(collected.cases[3].truthPath, Path("d.json"));
}

TEST_F(Run, names_every_input_that_gives_no_case) {
  Write("lonely.json", TruthText(10, {}));
  Write("broken.json", "{\"hole_diameter_px\": -1, \"holes\": []}");
  Write("broken.bmp", kWhite);
  Write("nameless.bmp", kWhite);
  std::filesystem::create_directory(folder_ / "empty");
  const Collected collected = CollectCases({Path("lonely.json"), Path("broken.json"),
                                            Path("nameless.bmp"), Path("nothing"), Path("empty")});
  EXPECT_TRUE(collected.cases.empty());
  ASSERT_EQ(collected.problems.size(), 5u);
  EXPECT_EQ(collected.problems[0], Path("lonely.json") + ": no picture beside it");
  EXPECT_EQ(collected.problems[1], Path("broken.json") + ": hole_diameter_px is not positive");
  EXPECT_EQ(collected.problems[2],
            Path("nameless.bmp") + ": no truth file " + Path("nameless.json"));
  EXPECT_EQ(collected.problems[3], Path("nothing") + ": no such file or folder");
  EXPECT_EQ(collected.problems[4], Path("empty") + ": no truth files in this folder");
}

TEST_F(Run, gives_the_analysis_the_resolution_of_the_truths_hole_size_unless_told) {
  Write("a.json", TruthText(20, {{10, 10}, {30, 10}}));
  Write("a.bmp", kWhite);
  const Collected collected = CollectCases({Path("a.json")});
  std::vector<double> dpis;
  const Detector recording = [&](const PictureView& picture, const shots::ShotSettings& s) {
    EXPECT_EQ(picture.width, 40);
    dpis.push_back(s.dpi);
    EXPECT_DOUBLE_EQ(s.calibreMm, 5.08);
    return std::vector<Detection>{{11, 10}, {35, 25}};
  };
  RunSettings settings;
  settings.calibreMm = 5.08;
  const auto outcomes = RunCases(collected.cases, settings, recording);
  settings.dpi = 300;
  RunCases(collected.cases, settings, recording);
  ASSERT_EQ(dpis.size(), 2u);
  EXPECT_DOUBLE_EQ(dpis[0], 100);  // 20 px * 25.4 / 5.08 mm
  EXPECT_DOUBLE_EQ(dpis[1], 300);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].error.empty());
  EXPECT_EQ(outcomes[0].score.score.tp, 1);
  EXPECT_EQ(outcomes[0].score.score.fp, 1);
  EXPECT_EQ(outcomes[0].score.score.fn, 1);
}

TEST_F(Run, counts_a_picture_that_cannot_be_loaded_as_all_missed) {
  Write("bad.json", TruthText(10, {{5, 5}, {20, 5}}));
  Write("bad.bmp", "BM not really");
  const Detector never = [](const PictureView&, const shots::ShotSettings&) {
    ADD_FAILURE() << "analysed a picture that did not load";
    return std::vector<Detection>{};
  };
  const auto outcomes = RunCases(CollectCases({Path("bad.json")}).cases, {}, never);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_FALSE(outcomes[0].error.empty());
  EXPECT_EQ(outcomes[0].score.score.fn, 2);
  EXPECT_DOUBLE_EQ(outcomes[0].score.score.Recall(), 0);
}

TEST_F(Run, keeps_the_cases_order_with_several_jobs) {
  std::vector<std::string> inputs;
  for (int i = 0; i < 9; ++i) {
    const std::string name = "p" + std::to_string(i);
    Write(name + ".json", TruthText(10 + i, {{5, 5}}));
    Write(name + ".bmp", kWhite);
    inputs.push_back(Path(name + ".json"));
  }
  std::mutex mutex;
  const Detector echo = [&](const PictureView&, const shots::ShotSettings& s) {
    std::lock_guard lock(mutex);  // gtest's assertions are thread-safe; this is for the data
    return std::vector<Detection>{{s.dpi, 0}};
  };
  RunSettings settings;
  settings.jobs = 3;
  const auto outcomes = RunCases(CollectCases(inputs).cases, settings, echo);
  ASSERT_EQ(outcomes.size(), 9u);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(outcomes[static_cast<std::size_t>(i)].truth.holeDiameterPx, 10 + i);
    EXPECT_DOUBLE_EQ(outcomes[static_cast<std::size_t>(i)].detections[0].x, (10 + i) * 25.4 / 4.5);
  }
}

// A generated scan with its truth, written as holescan-make-scan writes them.
void WriteScan(const std::string& stem, std::uint32_t seed) {
  scangen::ScanOptions options;
  options.seed = seed;
  options.dpi = 200;
  options.widthMm = options.heightMm = 90;
  options.looks = {scangen::Look::Black, scangen::Look::DarkGrey};
  options.aimingMark = false;
  const scangen::Scan scan = scangen::MakeScan(options);
  ASSERT_TRUE(targetgen::WriteBmp(scan.picture, stem + ".bmp", options.dpi));
  std::ofstream out(stem + ".json");
  JsonWriter json([&](std::string_view bytes) { out << bytes; });
  json.BeginObject().Member("hole_diameter_px", 4.5 * 200 / 25.4).Key("holes").BeginArray();
  for (const scangen::TrueShot& s : scan.shots) {
    json.BeginObject().Member("x", s.x).Member("y", s.y).Member("look", scangen::LookName(s.look));
    json.EndObject();
  }
  json.EndArray().EndObject();
}

struct Outcome {
  int status = -1;
  std::string out;  // standard output, then standard error
};

// holescan-eval with `arguments`, in the scratch folder.
Outcome RunEval(const std::vector<std::string>& arguments, const std::filesystem::path& folder) {
  std::vector<std::string> words{HOLESCAN_EVAL};
  words.insert(words.end(), arguments.begin(), arguments.end());
  const testing::ProgramRun run = testing::RunProgram(words, folder);
  return {run.status, run.out + run.err};
}

TEST_F(Run, says_where_each_missed_hole_was_lost_when_asked) {
  // A blank page with a hole marked on it: the analysis finds nothing, and never looked there.
  Write("blank.bmp", kWhite);
  Write("blank.json", TruthText(10, {{20, 15}}));
  const Outcome plain = RunEval({"--json", Path("plain.json"), folder_.string()}, folder_);
  EXPECT_EQ(plain.out.find("missed at"), std::string::npos) << plain.out;
  std::ifstream plainIn(Path("plain.json"));
  EXPECT_FALSE(nlohmann::json::parse(plainIn)["pictures"][0].contains("missed_at"));

  const Outcome run =
      RunEval({"--why-missed", "--json", Path("eval.json"), folder_.string()}, folder_);
  EXPECT_EQ(run.status, kExitMeasured) << run.out;
  EXPECT_NE(run.out.find("missed at"), std::string::npos) << run.out;
  std::ifstream in(Path("eval.json"));
  const nlohmann::json report = nlohmann::json::parse(in);
  const nlohmann::json& missedAt = report["pictures"][0]["missed_at"];
  ASSERT_EQ(missedAt.size(), 1u) << run.out;
  EXPECT_EQ(missedAt[0]["hole"], 0);
  EXPECT_EQ(missedAt[0]["stage"], "proposals");
  EXPECT_EQ(missedAt[0]["probability"], 0);
}

TEST_F(Run, a_hole_the_shot_stage_keeps_but_the_analysis_misses_was_lost_later) {
  WriteScan(Path("scan"), 9103);
  // An analysis that drops every shot after the shot stage has found them.
  const Detector dropsAll = [](const PictureView&, const shots::ShotSettings&) {
    return std::vector<Detection>{};
  };
  RunSettings settings;
  settings.whyMissed = true;
  const auto outcomes = RunCases(CollectCases({Path("scan.json")}).cases, settings, dropsAll);
  ASSERT_EQ(outcomes.size(), 1u);
  const PictureOutcome& o = outcomes[0];
  ASSERT_EQ(o.missedAt.size(), o.truth.holes.size());
  int later = 0;
  for (const shots::PlaceTrace& trace : o.missedAt) {
    EXPECT_NE(trace.lostAt, shots::LostAt::NotLost);
    later += trace.lostAt == shots::LostAt::Later;
  }
  // The shot stage finds nearly all of these (see the test below).
  EXPECT_GE(later, 0.8 * static_cast<double>(o.truth.holes.size()));
  EXPECT_NE(FormatMissedTable(outcomes).find("TOTAL"), std::string::npos);
}

TEST_F(Run, measures_the_calibrated_analysis_on_generated_scans) {
  WriteScan(Path("scan-1"), 9101);
  WriteScan(Path("scan-2"), 9102);
  const Outcome run =
      RunEval({"--jobs", "2", "--by-look", "--json", Path("eval.json"), folder_.string()}, folder_);
  EXPECT_EQ(run.status, kExitMeasured) << run.out;
  EXPECT_NE(run.out.find("TOTAL"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("dark-grey"), std::string::npos) << run.out;
  std::ifstream in(Path("eval.json"));
  const nlohmann::json report = nlohmann::json::parse(in);
  ASSERT_EQ(report["pictures"].size(), 2u);
  EXPECT_EQ(report["pictures"][0]["name"], "scan-1");
  EXPECT_NEAR(report["pictures"][0]["dpi"].get<double>(), 200, 1e-9);
  // The calibrated analysis finds nearly every hole of these; a wrong resolution or a
  // shifted coordinate would find none.
  const nlohmann::json& total = report["total"];
  EXPECT_GE(total["recall"].get<double>(), 0.8) << run.out;
  EXPECT_GE(total["precision"].get<double>(), 0.8) << run.out;
  EXPECT_LE(total["mean_err_D"].get<double>(), 0.1) << run.out;
  EXPECT_EQ(report["by_hole_look"]["black"]["truth"].get<int>() +
                report["by_hole_look"]["dark-grey"]["truth"].get<int>(),
            total["truth"].get<int>());
}

TEST_F(Run, refuses_bad_options_and_unreadable_truths_with_status_2) {
  Write("a.json", TruthText(10, {}));
  Write("a.bmp", kWhite);
  EXPECT_EQ(RunEval({"--calibre", "100mm", Path("a.json")}, folder_).status, kExitUsage);
  EXPECT_EQ(RunEval({"--look", "sideways", Path("a.json")}, folder_).status, kExitUsage);
  EXPECT_EQ(RunEval({"--dpi", "-3", Path("a.json")}, folder_).status, kExitUsage);
  EXPECT_EQ(RunEval({Path("missing.json")}, folder_).status, kExitUsage);
  const Outcome fine = RunEval({Path("a.json")}, folder_);
  EXPECT_EQ(fine.status, kExitMeasured) << fine.out;
}

}  // namespace
}  // namespace holescan::eval
