// run_program.h - a program run as a user runs it: in a folder, with the C locale, its
// standard output and error captured.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace holescan::testing {

struct ProgramRun {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

// This process's environment with LC_ALL=C and `environment` (NAME=value each) added; a
// variable given replaces the inherited one of its name, and LC_ALL=C replaces the inherited
// LC_ALL unless `environment` names one.
std::vector<std::string> ProgramEnvironment(const std::vector<std::string>& environment);

// Runs `arguments` (the program's path first) in `folder` with ProgramEnvironment(environment)
// and waits for it. Its output goes through scratch files in `folder`, removed afterwards.
ProgramRun RunProgram(const std::vector<std::string>& arguments,
                      const std::filesystem::path& folder,
                      const std::vector<std::string>& environment = {});

}  // namespace holescan::testing
