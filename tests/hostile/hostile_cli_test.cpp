// Every hostile file through holescan-cli, as a user runs it: each one gives the picture it
// holds or exit status 3 with one line naming the file and the reason; none crashes, takes
// more than 10 seconds or more than 1 GiB. A second run gives the same bytes, and memcheck
// finds no uninitialised pixel on the way to the analysis.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/outputs.h"
#include "hostile_files.h"
#include "io/qt/picture_loader.h"
#include "limited_run.h"
#include "support/json_floats.h"
#include "pixel/darkness.h"
#include "support/scratch_folder.h"

namespace holescan {
namespace {

using hostile::Expect;
using hostile::HostileCase;
using testing::Ending;
using testing::kMiB;

const std::chrono::seconds kTimeLimit{testing::kUnderAddressSanitizer ? 30 : 10};
constexpr std::uint64_t kMemoryLimit = 1024 * kMiB;
constexpr std::uint64_t kRefusalMemoryLimit = 128 * kMiB;
constexpr const char* kOutputs[] = {".report", ".messages", ".dat", ".png"};

// The darkness map "Draw" writes for a whole picture: (W + 1) x (H + 1) bytes.
std::string DarkMapOf(const Picture& picture) {
  const int columns = picture.Width() + 1;
  std::string map(
      static_cast<std::size_t>(columns) * static_cast<std::size_t>(picture.Height() + 1), '\0');
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x)
      map[static_cast<std::size_t>(y * columns + x)] = static_cast<char>(
          DarknessByteTable()[static_cast<std::size_t>(ColourSum(picture.At(x, y)))]);
  return map;
}

struct CaseRun {
  Ending ending;
  std::map<std::string, std::string> outputs;  // by extension; only the files written
};

class HostileFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_.emplace("hostile");
    folder_ = scratch_->Get();
    // An unprivileged user reads the folder and writes the outputs.
    ::chmod(folder_.c_str(), 0755);
    std::filesystem::create_directory(folder_ / "out");
    ::chmod((folder_ / "out").c_str(), 0777);
    cases_ = hostile::WriteHostileFiles(folder_);
  }
  static void TearDownTestSuite() { scratch_.reset(); }

  static std::string Output(std::size_t i, const char* extension) {
    return "out/" + std::to_string(i) + extension;
  }

  static CaseRun RunCase(std::size_t i) {
    const HostileCase& c = cases_[i];
    std::vector<std::string> arguments{
        HOLESCAN_CLI,           "--report",       Output(i, ".report"), "--messages",
        Output(i, ".messages"), "--save-darkmap", Output(i, ".dat")};
    // Not for a picture of many megapixels: encoding its PNG is not what is tested here.
    if (!c.large) arguments.insert(arguments.end(), {"--result", Output(i, ".png")});
    arguments.insert(arguments.end(), {"--", c.name});
    testing::Limits limits;
    limits.time = kTimeLimit;
    limits.addressSpace = kMemoryLimit;
    limits.asNobody = c.unreadable;
    CaseRun run;
    run.ending = testing::RunLimited(arguments, folder_, c.environment, limits);
    for (const char* extension : kOutputs) {
      const std::filesystem::path file = folder_ / Output(i, extension);
      if (std::filesystem::exists(file)) {
        run.outputs[extension] = testing::ReadFile(file);
        std::filesystem::remove(file);
      }
    }
    return run;
  }

  // The first run of the whole set, made once for all tests.
  static const std::vector<CaseRun>& FirstRun() {
    if (firstRun_.empty()) {
      for (std::size_t i = 0; i < cases_.size(); ++i) firstRun_.push_back(RunCase(i));
    }
    return firstRun_;
  }

  static inline std::optional<testing::TemporaryFolder> scratch_;
  static inline std::filesystem::path folder_;
  static inline std::vector<HostileCase> cases_;
  static inline std::vector<CaseRun> firstRun_;
};

TEST_F(HostileFiles, the_set_holds_every_kind_of_damage) {
  EXPECT_GE(cases_.size(), 60u);
  std::set<std::string> extensions;
  int refused = 0, loaded = 0;
  for (const HostileCase& c : cases_) {
    extensions.insert(std::filesystem::path(c.name).extension().string());
    (c.expect == Expect::Refused ? refused : loaded) += 1;
  }
  for (const char* extension : {".bmp", ".png", ".jpg", ".gif", ".tif", ".webp", ".ppm"})
    EXPECT_TRUE(extensions.count(extension)) << extension;
  EXPECT_GE(refused, 60);
  EXPECT_GE(loaded, 20);
}

TEST_F(HostileFiles, each_gives_its_picture_or_one_line_naming_it_within_the_limits) {
  const std::vector<CaseRun>& runs = FirstRun();
  for (std::size_t i = 0; i < cases_.size(); ++i) {
    const HostileCase& c = cases_[i];
    const Ending& e = runs[i].ending;
    SCOPED_TRACE(::testing::Message()
                 << "case " << i << " " << cli::OneLine(c.name) << " (" << c.what << ")");
    ASSERT_FALSE(e.timedOut);
    ASSERT_EQ(e.signal, 0) << e.err;
    EXPECT_LT(e.seconds, static_cast<double>(kTimeLimit.count()));
    if (!testing::kUnderAddressSanitizer) {
      EXPECT_LT(e.peakBytes, kMemoryLimit);
    }

    const std::string prefix = "holescan-cli: " + cli::OneLine(c.name) + ": ";
    const bool outOfMemory =
        c.large && e.err == prefix + "out of memory\n" && !testing::kUnderAddressSanitizer;
    if (c.expect == Expect::Refused || outOfMemory) {
      EXPECT_EQ(e.status, 3);
      EXPECT_EQ(e.err, prefix + (outOfMemory ? "out of memory" : c.reason) + "\n");
      EXPECT_EQ(e.out, "");
      EXPECT_TRUE(runs[i].outputs.empty()) << "an output was written for a refused picture";
      // A refusal costs no picture-sized memory: declared sizes are checked before anything
      // is allocated for them.
      if (!testing::kUnderAddressSanitizer && !outOfMemory) {
        EXPECT_LT(e.peakBytes, kRefusalMemoryLimit);
      }
      continue;
    }
    EXPECT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(e.err, "");
    const std::string size = std::to_string(c.width) + " x " + std::to_string(c.height);
    EXPECT_EQ(e.out.rfind(cli::OneLine(c.name) + ": " + size + " pixels, ", 0), 0u) << e.out;
    ASSERT_EQ(runs[i].outputs.size(), c.large ? 3u : 4u);
    const std::string& map = runs[i].outputs.at(".dat");
    EXPECT_EQ(map.size(), static_cast<std::size_t>(c.width + 1) * (c.height + 1));
    if (c.picture) {
      EXPECT_TRUE(map == DarkMapOf(*c.picture)) << "the pixels differ";
    }
  }
  const auto slowest = std::max_element(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
    return a.ending.seconds < b.ending.seconds;
  });
  const auto largest = std::max_element(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
    return a.ending.peakBytes < b.ending.peakBytes;
  });
  std::printf("[ measured ] %zu cases; slowest %s %.2f s; largest %s %.0f MiB\n", runs.size(),
              cli::OneLine(cases_[static_cast<std::size_t>(slowest - runs.begin())].name).c_str(),
              slowest->ending.seconds,
              cli::OneLine(cases_[static_cast<std::size_t>(largest - runs.begin())].name).c_str(),
              static_cast<double>(largest->ending.peakBytes) / kMiB);
}

// The calibrated analysis of every picture the loader accepts: a result within the same limits,
// or for a picture too small to hold a hole, no shot.
TEST_F(HostileFiles, the_calibrated_analysis_of_every_loaded_picture_ends_within_the_limits) {
  for (std::size_t i = 0; i < cases_.size(); ++i) {
    const HostileCase& c = cases_[i];
    if (c.expect == Expect::Refused || c.unreadable) continue;
    SCOPED_TRACE(::testing::Message() << "case " << i << " (" << c.what << ")");
    testing::Limits limits;
    limits.time = kTimeLimit;
    limits.addressSpace = kMemoryLimit;
    const Ending e = testing::RunLimited(
        {HOLESCAN_CLI, "--calibre", "4.5mm", "--dpi", "300", "--json", Output(i, ".json"), "--",
         c.name},
        folder_, c.environment, limits);
    ASSERT_FALSE(e.timedOut);
    ASSERT_EQ(e.signal, 0) << e.err;
    if (e.status == 3 && c.large) continue;  // out of memory under the address-space limit
    EXPECT_EQ(e.status, 0) << e.err;
    const auto json = nlohmann::json::parse(testing::ReadFile(folder_ / Output(i, ".json")));
    EXPECT_TRUE(json.contains("shots"));
    std::filesystem::remove(folder_ / Output(i, ".json"));
  }
}

TEST_F(HostileFiles, a_load_out_of_memory_leaves_one_line_and_the_next_pictures_theirs) {
  if (testing::kUnderAddressSanitizer) GTEST_SKIP() << "no address-space limit under ASan";
  testing::Limits limits;
  limits.time = kTimeLimit;
  limits.addressSpace = 320 * kMiB;  // the program and less than the 8000 x 8000 picture
  const Ending e = testing::RunLimited(
      {HOLESCAN_CLI, "rle8-8000-square-end-only.bmp", "png-ztxt-bomb.png", "missing.bmp"}, folder_,
      {}, limits);
  EXPECT_EQ(e.status, 3);
  const std::string first = "holescan-cli: rle8-8000-square-end-only.bmp: out of memory\n";
  const std::string second = "holescan-cli: png-ztxt-bomb.png: too much text: ";
  const std::string third = "holescan-cli: missing.bmp: no such file\n";
  EXPECT_EQ(std::count(e.err.begin(), e.err.end(), '\n'), 3) << e.err;
  EXPECT_EQ(e.err.rfind(first + second, 0), 0u) << e.err;
  EXPECT_EQ(e.err.size() - e.err.rfind(third), third.size()) << e.err;
}

TEST_F(HostileFiles, a_name_with_a_line_break_stays_on_one_line) {
  for (std::size_t i = 0; i < cases_.size(); ++i) {
    if (cases_[i].name == "missing\nline-break.bmp") {
      EXPECT_EQ(RunCase(i).ending.err, "holescan-cli: missing\\nline-break.bmp: no such file\n");
      return;
    }
  }
  FAIL() << "no such case";
}

TEST_F(HostileFiles, a_second_run_gives_the_same_bytes) {
  const std::vector<CaseRun>& first = FirstRun();
  for (std::size_t i = 0; i < cases_.size(); ++i) {
    if (cases_[i].large) continue;  // 60 megapixels twice: checked by the first run only
    SCOPED_TRACE(::testing::Message() << "case " << i << " " << cli::OneLine(cases_[i].name));
    const CaseRun second = RunCase(i);
    EXPECT_EQ(second.ending.status, first[i].ending.status);
    EXPECT_EQ(second.ending.out, first[i].ending.out);
    EXPECT_EQ(second.ending.err, first[i].ending.err);
    EXPECT_TRUE(second.outputs == first[i].outputs) << "an output file differs";
  }
}

// The loader's entry point for bytes in memory (used by the fuzzing harness) answers every
// file exactly as the file itself is answered.
TEST_F(HostileFiles, bytes_in_memory_load_as_the_file_does) {
  std::size_t compared = 0;
  for (const HostileCase& c : cases_) {
    const std::filesystem::path path = folder_ / c.name;
    std::error_code error;
    if (c.unreadable || !std::filesystem::is_regular_file(path, error)) continue;
    SCOPED_TRACE(cli::OneLine(c.name));
    const PictureFile file = LoadPictureFile(path.string());
    const PictureFile bytes = LoadPictureBytes(testing::ReadFile(path));
    EXPECT_EQ(bytes.loaded, file.loaded);
    EXPECT_EQ(bytes.reason, file.reason);
    ASSERT_EQ(bytes.picture.Width(), file.picture.Width());
    ASSERT_EQ(bytes.picture.Height(), file.picture.Height());
    EXPECT_TRUE(
        std::equal(bytes.picture.Data(),
                   bytes.picture.Data() +
                       bytes.picture.Stride() * static_cast<std::size_t>(bytes.picture.Height()),
                   file.picture.Data()));
    ++compared;
  }
  EXPECT_GE(compared, 140u);
}

TEST_F(HostileFiles, bytes_in_memory_keep_to_the_limits_given) {
  const std::string bmp = testing::ReadFile(folder_ / "bmp-24.bmp");
  EXPECT_TRUE(LoadPictureBytes(bmp, {37, 37 * 23}).loaded);
  EXPECT_EQ(LoadPictureBytes(bmp, {36, 10000}).reason,
            "too large: 37 x 23 pixels (the limit is 36 on a side)");
  EXPECT_EQ(LoadPictureBytes(bmp, {100, 850}).reason,
            "too large: 37 x 23 pixels (the limit is 850 pixels)");
  EXPECT_EQ(LoadPictureBytes("").reason, "empty file");
}

// The JSON is written line by line (a picture may have millions of holes); it must read
// back as exactly what the JSON library writes, for one picture and for several, whatever
// the bytes of their names.
TEST_F(HostileFiles, json_written_line_by_line_is_what_the_library_writes) {
  const std::vector<std::vector<std::string>> runs = {
      {"--json", "out/one.json", "bmp-24.bmp"},
      {"--json", "out/odd.json", "line\nbreak.bmp"},
      {"--json", "out/latin.json", "latin-1-\xe9t\xe9-\xff.bmp"},
      {"--json", "out/all.json", "bmp-24.bmp", "missing.bmp", "gif.gif", "line\nbreak.bmp"},
      {"--json", "out/none.json", "missing.bmp", "empty.bmp"},
  };
  for (const std::vector<std::string>& options : runs) {
    std::vector<std::string> arguments{HOLESCAN_CLI, "-q"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const Ending e = testing::RunLimited(arguments, folder_);
    const std::string text = testing::ReadFile(folder_ / options[1]);
    SCOPED_TRACE(options[1] + ":\n" + text.substr(0, 300));
    EXPECT_TRUE(e.status == 0 || e.status == 3) << e.err;
    using Json = testing::FloatJson;
    const Json document = Json::parse(text);
    EXPECT_EQ(text, document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
    EXPECT_EQ(document.is_array(), options.size() > 3);
  }
}

// Memcheck over every small case in one run of the command: no read of uninitialised or
// unallocated memory anywhere, in our code or in the decoders behind Qt.
#ifdef HOLESCAN_VALGRIND
TEST_F(HostileFiles, Valgrind_finds_no_uninitialised_memory) {
  std::vector<std::string> arguments{HOLESCAN_VALGRIND,
                                     "--tool=memcheck",
                                     "--error-exitcode=99",
                                     "--leak-check=no",
                                     "--track-origins=yes",
                                     HOLESCAN_CLI,
                                     "-q",
                                     "--report",
                                     "out/{name}.vg.report",
                                     "--save-darkmap",
                                     "out/{name}.vg.dat",
                                     "--"};
  std::set<std::string> stems;  // outputs named after the picture must not collide
  std::size_t pictures = 0;
  for (const HostileCase& c : cases_) {
    const std::string stem = std::filesystem::path(c.name).stem().string();
    if (c.large || !c.environment.empty() || !stems.insert(stem).second) continue;
    arguments.push_back(c.name);
    ++pictures;
  }
  testing::Limits limits;
  limits.time = std::chrono::seconds(900);
  limits.addressSpace = 64 * 1024 * kMiB;  // memcheck's own bookkeeping
  const Ending e = testing::RunLimited(arguments, folder_, {}, limits);
  EXPECT_GE(pictures, 100u);
  EXPECT_FALSE(e.timedOut);
  EXPECT_EQ(e.signal, 0);
  EXPECT_EQ(e.status, 3) << "memcheck found errors (status 99) or the run failed:\n" << e.err;
  EXPECT_EQ(e.err.find("uninitialised"), std::string::npos) << e.err;
}
#endif

}  // namespace
}  // namespace holescan
