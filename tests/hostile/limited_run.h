// limited_run.h - runs a program with a time limit and an address-space limit and reports
// how it ended, how long it took and the most memory it held (see run_limited.cpp).
//
// The program gets RLIMIT_AS (so that an allocation past the budget fails inside it, where
// it must be handled) unless the tests run under AddressSanitizer, whose shadow memory needs
// terabytes of address space. It is killed when the time limit passes. Its standard output
// and error are captured; it may be run as an unprivileged user (when the tests run as root)
// to see what a user without read permission sees. The test needs HOLESCAN_RUN_LIMITED, the
// path of run_limited.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/scratch_folder.h"


namespace holescan::testing {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderAddressSanitizer = true;
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif

inline constexpr std::uint64_t kMiB = 1024 * 1024;
inline constexpr uid_t kNobody = 65534;

struct Limits {
  std::chrono::seconds time{10};
  std::uint64_t addressSpace = 1024 * kMiB;  // ignored under AddressSanitizer
  bool asNobody = false;                     // drop to user and group 65534 first (as root)
};

struct Ending {
  int status = -1;  // exit status, or -1 when killed by a signal
  int signal = 0;   // the signal that ended it, 0 for a normal exit
  bool timedOut = false;
  double seconds = 0;
  std::uint64_t peakBytes = 0;  // largest resident set
  std::string out;
  std::string err;
};

// Runs `arguments` (the program first) in `folder` with `environment` added to this
// process's own (a NAME=value there replaces the inherited one) and LC_ALL=C, through the
// run_limited program, which measures it without counting this process's memory.
inline Ending RunLimited(const std::vector<std::string>& arguments,
                         const std::filesystem::path& folder,
                         const std::vector<std::string>& environment = {},
                         const Limits& limits = {}) {
  std::vector<std::string> variables = ProgramEnvironment(environment);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  const std::filesystem::path out = folder / ".limited-run-stdout";
  const std::filesystem::path err = folder / ".limited-run-stderr";
  const std::filesystem::path report = folder / ".limited-run-report";
  std::vector<std::string> words{
      HOLESCAN_RUN_LIMITED,
      std::to_string(limits.time.count()),
      std::to_string(kUnderAddressSanitizer ? std::uint64_t{0} : limits.addressSpace),
      limits.asNobody ? "1" : "0",
      report.string(),
      "--"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  Ending ending;
  const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (outFd < 0 || errFd < 0) return ending;
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    ::dup2(outFd, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(outFd);
  ::close(errFd);
  if (pid < 0) return ending;
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::ifstream in(report);
  int timedOut = 0;
  long peakKiB = 0;
  in >> ending.status >> ending.signal >> timedOut >> ending.seconds >> peakKiB;
  ending.timedOut = timedOut != 0;
  ending.peakBytes = static_cast<std::uint64_t>(peakKiB) * 1024;
  if (!in) ending.status = -2;  // run_limited itself failed
  ending.out = ReadFile(out);
  ending.err = ReadFile(err);
  for (const auto& file : {out, err, report}) std::filesystem::remove(file);
  return ending;
}

}  // namespace holescan::testing
