// The command as a user runs it: every error path with its message and exit status, several
// pictures in one run, standard output, and the selection by mouse presses.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "io/qt/picture_loader.h"
#include "results/csv.h"
#include "support/picture_writers.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

namespace holescan::cli {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// White with black discs of radius 6 at the given centres.
testing::Bytes DiscsBmp(int width, int height, std::vector<std::pair<int, int>> centres) {
  return testing::Bmp24(width, height, [&](int x, int y) {
    for (const auto& [cx, cy] : centres)
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 36) return 0x000000u;
    return 0xFFFFFFu;
  });
}

class Command : public testing::ScratchFolder {
 protected:
  // Runs holescan-cli in the scratch folder with LC_ALL=C and `environment` added.
  Outcome Run(const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment = {}) {
    std::vector<std::string> words{HOLESCAN_CLI};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const testing::ProgramRun run = testing::RunProgram(words, folder_, environment);
    EXPECT_GE(run.status, 0) << "holescan-cli did not start";
    return {run.status, run.out, run.err};
  }

  bool Exists(const std::string& name) const { return std::filesystem::exists(folder_ / name); }

  // Every output, so that a test can check that none was written.
  const std::vector<std::string> allOutputs_{"--report",   "r.txt",          "--result", "r.png",
                                             "--messages", "m.txt",          "--json",   "j.json",
                                             "--quiet",    "--save-darkmap", "d.dat"};
  void ExpectNoOutputs() {
    for (const char* name : {"r.txt", "r.png", "m.txt", "j.json", "d.dat", "d.dat.tmp"})
      EXPECT_FALSE(Exists(name)) << name;
  }
  std::vector<std::string> WithAllOutputs(const std::string& picture) {
    std::vector<std::string> arguments = allOutputs_;
    arguments.push_back(picture);
    return arguments;
  }
};

TEST_F(Command, pictures_that_cannot_be_loaded_exit_3_and_write_nothing) {
  Write("text.bmp", "not a picture at all\n");
  std::filesystem::create_directory(folder_ / "folder.bmp");
  Write("wide.bmp", testing::BmpHeaders(40000, 10, 24, 0, 0, 54, 54));
  const std::pair<std::string, std::string> cases[] = {
      {"missing.bmp", "no such file"},
      {"text.bmp", "not a picture"},
      {"folder.bmp", "is a directory"},
      {"wide.bmp", "too large: 40000 x 10 pixels (the limit is 32766 on a side)"},
  };
  for (const auto& [picture, reason] : cases) {
    const Outcome o = Run(WithAllOutputs(picture));
    EXPECT_EQ(o.status, kExitLoadFailed) << picture;
    EXPECT_EQ(o.err, "holescan-cli: " + picture + ": " + reason + "\n");
    EXPECT_EQ(o.out, "");
    ExpectNoOutputs();
  }
}

TEST_F(Command, a_truncated_bmp_fails_the_same_way_every_run) {
  const testing::Bytes whole = DiscsBmp(120, 90, {{30, 30}});
  Write("cut.bmp", whole.substr(0, whole.size() * 3 / 5));
  const Outcome first = Run(WithAllOutputs("cut.bmp"));
  const Outcome second = Run(WithAllOutputs("cut.bmp"));
  EXPECT_EQ(first.status, kExitLoadFailed);
  EXPECT_EQ(first.err, "holescan-cli: cut.bmp: truncated file\n");
  EXPECT_EQ(second.status, first.status);
  EXPECT_EQ(second.err, first.err);
  ExpectNoOutputs();
}

TEST_F(Command, usage_errors_exit_2_before_any_picture_is_read) {
  Write("a.bmp", DiscsBmp(60, 40, {{20, 20}}));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--select", "1,2,3", "a.bmp"}, "--select 1,2,3: expected four whole numbers L,T,R,B"},
      {{"--select", "9,0,3,4", "a.bmp"},
       "--select 9,0,3,4: needs 0 <= L < R <= W and 0 <= T < B <= H (at most 32766)"},
      {{"--report", "r.txt", "a.bmp", "a.bmp"},
       "--report r.txt: with several pictures the file name must contain {name}"},
      {{"--frobnicate", "a.bmp"}, "unknown option '--frobnicate' (see --help)"},
      {{}, "no picture given (see --help)"},
  };
  for (const auto& [arguments, message] : cases) {
    const Outcome o = Run(arguments);
    EXPECT_EQ(o.status, kExitUsage);
    EXPECT_EQ(o.err, "holescan-cli: " + message + "\n");
    EXPECT_EQ(o.out, "");
  }
}

TEST_F(Command, a_rectangle_outside_the_picture_is_a_usage_error_for_that_picture) {
  Write("a.bmp", DiscsBmp(60, 40, {{20, 20}}));
  std::vector<std::string> arguments{"--select", "0,0,61,40"};
  arguments.insert(arguments.end(), allOutputs_.begin(), allOutputs_.end());
  arguments.push_back("a.bmp");
  const Outcome o = Run(arguments);
  EXPECT_EQ(o.status, kExitUsage);
  EXPECT_EQ(o.err,
            "holescan-cli: a.bmp: --select 0,0,61,40 does not fit the picture (60 x 40 pixels)\n");
  ExpectNoOutputs();
  EXPECT_EQ(Run({"-q", "--select", "0,0,60,40", "a.bmp"}).status, kExitOk);
}

TEST_F(Command, an_unwritable_output_exits_1_and_the_others_are_written) {
  Write("a.bmp", DiscsBmp(60, 40, {{20, 20}}));
  const Outcome o = Run({"--report", "missing/r.txt", "--messages", "/dev/full", "--json", "j.json",
                         "--save-darkmap", "missing/d.dat", "-q", "a.bmp"});
  EXPECT_EQ(o.status, kExitDrawFailed);
  const std::string prefix = "holescan-cli: a.bmp: cannot write ";
  EXPECT_EQ(o.err.substr(0, o.err.find("missing/d.dat")),
            prefix + "/dev/full: no space left on device\n" + prefix +
                "missing/r.txt: no such file or directory\n" + prefix);
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 3);
  EXPECT_TRUE(Exists("j.json"));
}

TEST_F(Command, several_pictures_go_on_after_a_failure) {
  Write("one.bmp", DiscsBmp(60, 40, {{20, 20}}));
  Write("two.bmp", DiscsBmp(80, 50, {{20, 20}, {60, 30}}));
  const Outcome o = Run({"--report", "{name}.txt", "--result", "{name}-result.bmp", "--json",
                         "all.json", "one.bmp", "missing.bmp", "two.bmp"});
  EXPECT_EQ(o.status, kExitLoadFailed);
  EXPECT_EQ(o.err, "holescan-cli: missing.bmp: no such file\n");  // no progress line: not a tty
  EXPECT_TRUE(Exists("one.txt") && Exists("two.txt") && Exists("one-result.bmp") &&
              Exists("two-result.bmp"));
  EXPECT_FALSE(Exists("missing.txt") || Exists("missing-result.bmp"));
  const auto all = nlohmann::json::parse(testing::ReadFile(Path("all.json")));
  ASSERT_TRUE(all.is_array());
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0]["picture"]["path"], "one.bmp");
  EXPECT_EQ(all[1]["picture"]["path"], "two.bmp");
  EXPECT_EQ(all[1]["shots"].size(), 2u);
  EXPECT_EQ(o.out.substr(0, o.out.find('\n')), "one.bmp: 60 x 40 pixels, 1 shot hole");
  EXPECT_NE(o.out.find("two.bmp: 80 x 50 pixels, 2 shot holes\n"), std::string::npos);
}

TEST_F(Command, one_output_may_go_to_standard_output_instead_of_the_summary) {
  Write("a.bmp", DiscsBmp(60, 40, {{20, 20}}));
  const Outcome json = Run({"--json", "-", "a.bmp"});
  EXPECT_EQ(json.status, kExitOk);
  EXPECT_EQ(nlohmann::json::parse(json.out)["picture"]["width"], 60);
  EXPECT_EQ(Run({"--report", "r.txt", "-q", "a.bmp"}).status, kExitOk);
  EXPECT_EQ(Run({"--report", "-", "a.bmp"}).out, testing::ReadFile(Path("r.txt")));

  // The darkness map: (W + 1) x (H + 1) bytes, row by row; the same on standard output.
  EXPECT_EQ(Run({"--save-darkmap", "d.dat", "-q", "a.bmp"}).status, kExitOk);
  const std::string map = testing::ReadFile(Path("d.dat"));
  ASSERT_EQ(map.size(), 61u * 41u);
  EXPECT_EQ(static_cast<unsigned char>(map[20 * 61 + 20]), 255);  // the disc's centre
  EXPECT_EQ(static_cast<unsigned char>(map[40 * 61 + 60]), 0);    // past the picture
  EXPECT_EQ(Run({"--save-darkmap", "-", "a.bmp"}).out, map);
}

TEST_F(Command, qt_allocation_variable_does_not_decide_the_limit) {
  // A grey PGM of 1500 x 1000: Qt counts it as 6 MB, over a limit of 1 MiB.
  std::string pgm = "P5\n1500 1000\n255\n";
  pgm.append(1500 * 1000, '\xF0');
  Write("grey.pgm", pgm);
  const Outcome o = Run({"-q", "grey.pgm"}, {"QT_IMAGEIO_MAXALLOC=1"});
  EXPECT_EQ(o.status, kExitOk) << o.err;
  EXPECT_EQ(o.err, "");
}

TEST_F(Command, help_and_version_exit_0) {
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_EQ(help.out.rfind("Usage: holescan-cli [options] PICTURE...\n", 0), 0u);
  // For shooters first: the calibrated analysis and its options, then the exact one, in
  // words without the names of the older window's controls.
  const std::size_t calibrated = help.out.find("\nThe calibrated analysis");
  const std::size_t exact = help.out.find("\nThe exact analysis (without --calibre)");
  ASSERT_NE(calibrated, std::string::npos) << help.out;
  ASSERT_NE(exact, std::string::npos) << help.out;
  EXPECT_LT(calibrated, exact);
  EXPECT_LT(help.out.find("  --calibre D "), exact);
  EXPECT_LT(help.out.find("  --face NAME "), exact);
  EXPECT_GT(help.out.find("  --select L,T,R,B "), exact);
  EXPECT_GT(help.out.find("  --report FILE "), exact);
  for (const char* jargon : {"&Load", "Load", "\"Draw\"", "SelLeft", "SelTop", "SelRight",
                             "SelBottom", "Form1", "clipboard report"})
    EXPECT_EQ(help.out.find(jargon), std::string::npos) << jargon;
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.status, kExitOk);
  EXPECT_EQ(version.out.rfind("holescan-cli ", 0), 0u);
}

// ---- The calibrated analysis ---------------------------------------------------------

TEST_F(Command, calibrated_analysis_reports_shots_in_pixels_and_millimetres) {
  // Discs of 13 pixels at the 72 ppi the BMP stores: 4.6 mm holes.
  Write("a.bmp", DiscsBmp(160, 100, {{40, 30}, {110, 60}}));
  const Outcome o = Run({"--calibre", "4.5mm", "--json", "j.json", "--csv", "s.csv", "a.bmp"});
  ASSERT_EQ(o.status, kExitOk) << o.err;
  EXPECT_EQ(o.out.substr(0, o.out.find('\n')),
            "a.bmp: 2 shots, x right and y up in mm from the point of aim");
  const auto j = nlohmann::json::parse(testing::ReadFile(Path("j.json")));
  EXPECT_EQ(j["analysis"]["mode"], "calibrated");
  EXPECT_EQ(j["analysis"]["dpi_source"], "file");
  EXPECT_EQ(j["analysis"]["dpi"].get<double>(), 72.0);  // 2835 pixels per metre
  EXPECT_EQ(j["aim"]["source"], "group");
  ASSERT_EQ(j["shots"].size(), 2u);
  const double mmPerPixel = 25.4 / j["analysis"]["dpi"].get<double>();
  for (int i = 0; i < 2; ++i) {
    const auto& shot = j["shots"][static_cast<std::size_t>(i)];
    EXPECT_NEAR(shot["x"].get<double>(), i == 0 ? 40 : 110, 0.5);
    EXPECT_NEAR(shot["y"].get<double>(), i == 0 ? 30 : 60, 0.5);
    EXPECT_NEAR(shot["diameter_px"].get<double>(), 4.5 / mmPerPixel, 0.01);
    // From the group's centre, right and up.
    EXPECT_NEAR(shot["x_mm"].get<double>(), (i == 0 ? -35 : 35) * mmPerPixel, 0.2);
    EXPECT_NEAR(shot["y_mm"].get<double>(), (i == 0 ? 15 : -15) * mmPerPixel, 0.2);
  }
  EXPECT_EQ(j["group"]["count"], 2);
  EXPECT_NEAR(j["group"]["extreme_spread_mm"].get<double>(), std::hypot(70, 30) * mmPerPixel, 0.3);
  const std::string csv = testing::ReadFile(Path("s.csv"));
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
  EXPECT_EQ(csv.rfind("file,group,shot,point.x,", 0), 0u);

  const Outcome given = Run({"--calibre", "4.5", "--dpi", "150", "--json", "-", "a.bmp"});
  ASSERT_EQ(given.status, kExitOk) << given.err;
  EXPECT_EQ(nlohmann::json::parse(given.out)["analysis"]["dpi_source"], "option");
}

TEST_F(Command, a_face_whose_black_is_not_found_is_a_warning_and_the_group_is_the_aim) {
  Write("a.bmp", DiscsBmp(400, 300, {{140, 130}, {210, 160}}));
  const Outcome o = Run({"--calibre", "4.5mm", "--face", "issf-air-rifle", "--json", "j.json",
                         "--csv", "s.csv", "--result", "r.png", "a.bmp"});
  EXPECT_EQ(o.status, kExitOk) << o.err;
  EXPECT_EQ(o.err.rfind("holescan-cli: a.bmp: warning: no point of aim: ", 0), 0u) << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
  EXPECT_NE(o.err.find("the group's centre stands in"), std::string::npos) << o.err;
  EXPECT_NE(o.out.find("point of aim: the group's centre, as the face's black was not found"),
            std::string::npos)
      << o.out;
  const auto j = nlohmann::json::parse(testing::ReadFile(Path("j.json")));
  EXPECT_EQ(j["aim"]["source"], "group-black-not-found");
  ASSERT_EQ(j["warnings"].size(), 1u);
  EXPECT_EQ(j["warnings"][0].get<std::string>().rfind("no point of aim: ", 0), 0u);
  EXPECT_EQ(j["shots"].size(), 2u);
  EXPECT_FALSE(j["shots"][0].contains("score"));  // no scores from the group's centre
  EXPECT_TRUE(Exists("s.csv"));
  EXPECT_TRUE(Exists("r.png"));
}

// The pictures scripts/demo analyses: every shot, scored from the face's black.
TEST_F(Command, the_bundled_samples_give_every_shot_where_it_was_drawn) {
  for (const char* face : {"air-rifle", "air-pistol"}) {
    const std::string sample = std::string(HOLESCAN_SAMPLES) + "/" + face + ".png";
    const Outcome o = Run({"--calibre", "4.5mm", "--face", std::string("issf-") + face,
                           "--distance", "10m", "--json", "j.json", "--result", "r.png", sample});
    ASSERT_EQ(o.status, kExitOk) << o.err;
    EXPECT_EQ(o.err, "");
    // The air-rifle card's light holes in its small black, between its white rings, are what
    // the learned decision misses most: 5 of its 10 are found today (see the README's limits).
    // The air-pistol card's every shot is found, within a tenth of a calibre; its ring numbers
    // "2", closed loops in the card's segmented figures, are taken for shots (two today).
    const bool rifle = std::string(face) == "air-rifle";
    const double tolerance = 0.1 * 4.5 / 25.4 * (rifle ? 300 : 200);  // pixels
    EXPECT_NE(o.out.find(" shots, x right and y up in mm from the point of aim\n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("\n  total "), std::string::npos) << o.out;
    const auto j = nlohmann::json::parse(testing::ReadFile(Path("j.json")));
    EXPECT_EQ(j["aim"]["source"], "face");
    // The truth: "aim,x,y," then "shot,x,y,look" rows, in pixels.
    std::istringstream truth(
        testing::ReadFile(std::string(HOLESCAN_SAMPLES) + "/" + face + "-truth.csv"));
    std::string line;
    std::getline(truth, line);
    int shots = 0, found = 0;
    while (std::getline(truth, line)) {
      std::istringstream row(line);
      std::string what, x, y;
      std::getline(row, what, ',');
      std::getline(row, x, ',');
      std::getline(row, y, ',');
      const double tx = std::stod(x), ty = std::stod(y);
      if (what == "aim") {
        EXPECT_NEAR(j["aim"]["x"].get<double>(), tx, 1.0) << face;
        EXPECT_NEAR(j["aim"]["y"].get<double>(), ty, 1.0) << face;
        continue;
      }
      ++shots;
      double nearest = 1e9;
      for (const auto& shot : j["shots"])
        nearest = std::min(nearest,
                           std::hypot(shot["x"].get<double>() - tx, shot["y"].get<double>() - ty));
      if (!rifle) {
        EXPECT_LT(nearest, tolerance) << face << " shot at " << tx << ", " << ty;
      }
      found += nearest < tolerance ? 1 : 0;
    }
    EXPECT_EQ(shots, 10);
    EXPECT_GE(found, rifle ? 5 : 10) << face;
    if (!rifle) {
      EXPECT_LE(j["shots"].size(), 12u) << face;
    }
    // The legend sits in the top-left corner, on white, over the tinted card.
    const PictureFile result = LoadPictureFile(Path("r.png"));
    ASSERT_TRUE(result.loaded) << result.reason;
    const int corner =
        static_cast<int>(
            std::max(12.0, std::min(result.picture.Width(), result.picture.Height()) / 60.0)) +
        5;
    EXPECT_EQ(result.picture.At(corner, corner), Rgb(255, 255, 255)) << face;
  }
}

// The air-pistol sample (200 ppi) with its stored resolution taken out: the face gives the
// scale, and without a face the picture is refused.
TEST_F(Command, a_picture_with_no_resolution_is_measured_on_its_face) {
  std::string png = testing::ReadFile(std::string(HOLESCAN_SAMPLES) + "/air-pistol.png");
  const std::size_t chunk = png.find("pHYs");
  ASSERT_NE(chunk, std::string::npos);
  png.erase(chunk - 4, 4 + 4 + 9 + 4);  // length, type, 9 bytes, CRC
  Write("bare.png", png);
  const Outcome refused = Run({"-q", "--calibre", "4.5mm", "bare.png"});
  EXPECT_EQ(refused.status, kExitUsage);
  for (const char* face : {"issf-air-pistol", "auto"}) {
    const Outcome o = Run({"--calibre", "4.5mm", "--face", face, "--json", "j.json", "bare.png"});
    ASSERT_EQ(o.status, kExitOk) << o.err;
    EXPECT_EQ(o.err, "") << face;
    EXPECT_NE(o.out.find("(measured on the face's black)"), std::string::npos) << o.out;
    const auto j = nlohmann::json::parse(testing::ReadFile(Path("j.json")));
    EXPECT_EQ(j["analysis"]["dpi_source"], "face");
    EXPECT_EQ(j["analysis"]["face"], "issf-air-pistol");
    EXPECT_NEAR(j["analysis"]["dpi"].get<double>() / 200, 1, 0.003);
    EXPECT_TRUE(j["analysis"]["face_measure"]["file_dpi"].is_null());
    EXPECT_EQ(j["analysis"]["face_measure"]["chosen"], std::string(face) == "auto");
    EXPECT_TRUE(j.contains("total"));
  }
  // Another face named: its black would be the pistol's at half the scale; the rings say so.
  const Outcome wrong = Run({"-q", "--calibre", "4.5mm", "--face", "issf-air-rifle", "bare.png"});
  EXPECT_EQ(wrong.status, kExitUsage);
  EXPECT_EQ(wrong.err,
            "holescan-cli: bare.png: the rings are those of ISSF 10 m air pistol, not of ISSF 10 m "
            "air rifle, and the file stores no resolution: give it with --dpi\n");
  // --dpi still wins, and the file's own resolution is the source without a face.
  const Outcome given = Run({"--calibre", "4.5mm", "--face", "issf-air-pistol", "--dpi", "190",
                             "--json", "j.json", "bare.png"});
  ASSERT_EQ(given.status, kExitOk) << given.err;
  EXPECT_EQ(nlohmann::json::parse(testing::ReadFile(Path("j.json")))["analysis"]["dpi_source"],
            "option");
}

TEST_F(Command, calibrated_analysis_needs_a_resolution_and_refuses_the_exact_outputs) {
  Write("a.bmp", DiscsBmp(60, 40, {{20, 20}}));
  Write("plain.png", testing::PngRgb(60, 40, [](int, int) { return 0xFFFFFFu; }));
  const Outcome o = Run({"-q", "--calibre", "4.5mm", "plain.png", "a.bmp"});
  EXPECT_EQ(o.status, kExitUsage);
  EXPECT_EQ(o.err,
            "holescan-cli: plain.png: the file stores no resolution; give it with --dpi or name "
            "the face with --face\n");

  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--calibre", "4.5furlong", "a.bmp"}, "--calibre 4.5furlong: "},
      {{"--calibre", "4.5mm", "--report", "r.txt", "a.bmp"}, "--report writes what the exact"},
      {{"--calibre", "4.5mm", "--save-darkmap", "d.dat", "a.bmp"}, "--save-darkmap writes"},
      {{"--face", "issf-air-rifle", "a.bmp"}, "--face needs --calibre"},
      {{"--calibre", "9mm", "--holes", "pink", "a.bmp"}, "--holes pink: expected auto, dark"},
      {{"--calibre", "9mm", "--face", "bullseye", "a.bmp"},
       "--face bullseye: expected auto or one of"},
      {{"--calibre", "9mm", "--aim", "1,x", "a.bmp"}, "--aim 1,x: expected two numbers"},
      {{"--calibre", "9mm", "--dpi", "-3", "a.bmp"}, "--dpi -3: the resolution must lie between"},
      {{"--calibre", "9mm", "--dpi", "x", "a.bmp"}, "--dpi x: expected a positive number"},
      {{"--calibre", "9mm", "--distance", "far", "a.bmp"}, "--distance far: "},
      {{"--shots", "10", "a.bmp"}, "--shots needs --calibre"},
      {{"--calibre", "9mm", "--shots", "0", "a.bmp"}, "--shots 0: expected a whole number"},
      {{"--calibre", "9mm", "--shots", "ten", "a.bmp"}, "--shots ten: expected a whole number"},
  };
  for (const auto& [arguments, message] : cases) {
    const Outcome bad = Run(arguments);
    EXPECT_EQ(bad.status, kExitUsage) << message;
    EXPECT_EQ(bad.err.rfind("holescan-cli: " + message, 0), 0u) << bad.err;
  }
}

TEST_F(Command, the_memory_budget_stops_one_picture_and_the_next_goes_on) {
  Write("black.bmp", testing::Bmp24(300, 300, [](int, int) { return 0u; }));
  Write("a.bmp", DiscsBmp(60, 40, {{20, 20}}));
  const Outcome o = Run({"-q", "--memory-limit", "1M", "black.bmp", "a.bmp"});
  EXPECT_EQ(o.status, kExitDrawFailed);
  EXPECT_EQ(o.err.rfind("holescan-cli: black.bmp: Draw stopped: ", 0), 0u) << o.err;
  EXPECT_NE(o.err.find(" dark pixels and more need more than the memory budget of 1 MiB\n"),
            std::string::npos)
      << o.err;
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1);  // a.bmp was analysed
  const Outcome small = Run({"-q", "--memory-limit", "1M", "--calibre", "4.5", "black.bmp"});
  EXPECT_EQ(small.err,
            "holescan-cli: black.bmp: too large: 300 x 300 pixels need 2 MiB to analyse (the "
            "memory budget is 1 MiB)\n");
  EXPECT_EQ(Run({"--memory-limit", "12Q", "a.bmp"}).err,
            "holescan-cli: --memory-limit 12Q: expected a size of at least 1M, e.g. 512M or 4G\n");
}

TEST_F(Command, an_output_naming_a_picture_or_another_output_is_refused_before_any_work) {
  Write("in.bmp", DiscsBmp(60, 40, {{20, 20}}));
  const std::string before = testing::ReadFile(Path("in.bmp"));
  std::filesystem::create_symlink("in.bmp", folder_ / "link.bmp");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--report", "in.bmp", "in.bmp"}, "--report in.bmp names the picture in.bmp"},
      {{"--result", "{name}.bmp", "in.bmp"}, "--result in.bmp names the picture in.bmp"},
      {{"--json", "link.bmp", "in.bmp"}, "--json link.bmp names the picture in.bmp"},
      {{"--json", "x.json", "--messages", "./x.json", "in.bmp"},
       "--json x.json and --messages ./x.json name the same file"},
  };
  for (const auto& [arguments, message] : cases) {
    const Outcome o = Run(arguments);
    EXPECT_EQ(o.status, kExitUsage);
    EXPECT_EQ(o.err.rfind("holescan-cli: " + message, 0), 0u) << o.err;
  }
  EXPECT_EQ(testing::ReadFile(Path("in.bmp")), before);
  EXPECT_FALSE(Exists("x.json"));
  EXPECT_EQ(Run({"-q", "--json", "/dev/null", "--report", "/dev/null", "in.bmp"}).status, kExitOk);
}

TEST_F(Command, outputs_replace_files_whole_and_never_a_device) {
  Write("a.bmp", DiscsBmp(60, 40, {{20, 20}}));
  // The darkness map never renames over a device; a long name still leaves room for the
  // scratch file; a replaced file keeps its permission bits.
  EXPECT_EQ(Run({"-q", "--save-darkmap", "/dev/null", "a.bmp"}).err,
            "holescan-cli: a.bmp: cannot write /dev/null: not a regular file\n");
  const std::string longName(250, 'n');
  EXPECT_EQ(Run({"-q", "--json", longName + ".json", "a.bmp"}).status, kExitOk);
  Write("old.json", "old");
  ASSERT_EQ(::chmod(Path("old.json").c_str(), 0640), 0);
  ASSERT_EQ(Run({"-q", "--json", "old.json", "a.bmp"}).status, kExitOk);
  struct stat status {};
  ASSERT_EQ(::stat(Path("old.json").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  // Runs writing one file at once each leave a whole document, never a mixture.
  std::vector<std::thread> runs;
  for (int i = 0; i < 4; ++i)
    runs.emplace_back([&] { Run({"-q", "--json", "same.json", "a.bmp", "a.bmp", "a.bmp"}); });
  for (std::thread& run : runs) run.join();
  EXPECT_NO_THROW(nlohmann::json::parse(testing::ReadFile(Path("same.json"))));
  for (const auto& entry : std::filesystem::directory_iterator(folder_))
    EXPECT_NE(entry.path().filename().string().rfind(".hs-", 0), 0u) << entry.path();
}

TEST_F(Command, several_jobs_write_exactly_what_one_job_writes) {
  Write("one.bmp", DiscsBmp(60, 40, {{20, 20}}));
  Write("two.bmp", DiscsBmp(80, 40, {{20, 20}, {60, 20}}));
  Write("cut.bmp", DiscsBmp(60, 40, {{20, 20}}).substr(0, 300));
  // The exact analysis; the calibrated one; the calibrated one with the shots fired given,
  // whose table has a column more.
  for (const int mode : {0, 1, 2}) {
    const bool calibrated = mode > 0;
    std::vector<std::string> outputs[2];
    for (const char* jobs : {"1", "3"}) {
      std::vector<std::string> arguments{"--jobs", jobs, "--json", std::string("j") + jobs};
      if (calibrated) arguments.insert(arguments.end(), {"--calibre", "4.5", "--csv", "c.csv"});
      if (mode == 2) arguments.insert(arguments.end(), {"--shots", "2"});
      arguments.insert(arguments.end(), {"one.bmp", "cut.bmp", "two.bmp", "one.bmp"});
      const Outcome o = Run(arguments);
      EXPECT_EQ(o.status, kExitLoadFailed);
      outputs[jobs[0] == '3'] = {o.out, o.err, testing::ReadFile(Path(std::string("j") + jobs)),
                                 calibrated ? testing::ReadFile(Path("c.csv")) : ""};
    }
    EXPECT_EQ(outputs[0], outputs[1]) << mode;
    EXPECT_EQ(outputs[1][1], "holescan-cli: cut.bmp: truncated file\n");
    if (mode == 2) {
      EXPECT_TRUE(outputs[1][3].starts_with(std::string(results::kCsvHeader) + ",placed\n"));
    }
  }
}

}  // namespace
}  // namespace holescan::cli
