// The command as a user runs it: every error path with its message and exit status, several
// pictures in one run, standard output, and the selection by mouse presses.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "test_files.h"

extern char** environ;

namespace holescan::cli {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// White with black discs of radius 6 at the given centres.
testfiles::Bytes DiscsBmp(int width, int height, std::vector<std::pair<int, int>> centres) {
  return testfiles::Bmp24(width, height, [&](int x, int y) {
    for (const auto& [cx, cy] : centres)
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= 36) return 0x000000u;
    return 0xFFFFFFu;
  });
}

class Command : public testfiles::ScratchFolder {
 protected:
  // Runs holescan-cli in the scratch folder with LC_ALL=C and `environment` added.
  Outcome Run(const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment = {}) {
    std::vector<std::string> words{HOLESCAN_CLI};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables{"LC_ALL=C"};
    variables.insert(variables.end(), environment.begin(), environment.end());
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::strncmp(*e, "LC_ALL=", 7) != 0) variables.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    const std::string out = Path(".stdout"), err = Path(".stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, folder_.c_str());
    pid_t pid = 0;
    Outcome outcome;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    if (spawned != 0) return outcome;
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.out = testfiles::ReadFile(out);
    outcome.err = testfiles::ReadFile(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return outcome;
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
  Write("wide.bmp", testfiles::BmpHeaders(40000, 10, 24, 0, 0, 54, 54));
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
  const testfiles::Bytes whole = DiscsBmp(120, 90, {{30, 30}});
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
  const auto all = nlohmann::json::parse(testfiles::ReadFile(Path("all.json")));
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
  EXPECT_EQ(Run({"--report", "-", "a.bmp"}).out, testfiles::ReadFile(Path("r.txt")));

  // The darkness map: (W + 1) x (H + 1) bytes, row by row; the same on standard output.
  EXPECT_EQ(Run({"--save-darkmap", "d.dat", "-q", "a.bmp"}).status, kExitOk);
  const std::string map = testfiles::ReadFile(Path("d.dat"));
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
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.status, kExitOk);
  EXPECT_EQ(version.out.rfind("holescan-cli ", 0), 0u);
}

}  // namespace
}  // namespace holescan::cli
