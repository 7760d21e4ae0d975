// run_limited - runs a program under a time limit and an address-space limit and writes how
// it ended to a file:
//
//   run_limited SECONDS ADDRESS_SPACE_BYTES AS_NOBODY REPORT -- PROGRAM ARGUMENT...
//
// REPORT receives one line: "status signal timed_out seconds peak_kib". ADDRESS_SPACE_BYTES
// 0 sets no limit; AS_NOBODY 1 drops to user and group 65534 first when running as root.
//
// Why a program of its own: the peak resident memory the kernel reports for a child counts
// what the child inherited from its parent at fork. A test process that holds large
// pictures would inflate every measurement; this small process forks the program instead.
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char* argv[]) {
  if (argc < 7 || std::strcmp(argv[5], "--") != 0) {
    std::fprintf(stderr, "usage: run_limited SECONDS BYTES AS_NOBODY REPORT -- PROGRAM...\n");
    return 2;
  }
  const double limitSeconds = std::strtod(argv[1], nullptr);
  const rlim_t addressSpace = std::strtoull(argv[2], nullptr, 10);
  const bool asNobody = std::strcmp(argv[3], "1") == 0;
  const char* report = argv[4];
  constexpr uid_t kNobody = 65534;

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (addressSpace != 0) {
      const rlimit space{addressSpace, addressSpace};
      ::setrlimit(RLIMIT_AS, &space);
    }
    if (asNobody && ::getuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
        ::_exit(125);
    }
    ::execv(argv[6], argv + 6);
    ::_exit(127);
  }
  if (pid < 0) return 1;
  int status = 0;
  rusage usage{};
  bool timedOut = false;
  for (;;) {
    if (::wait4(pid, &status, WNOHANG, &usage) == pid) break;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed > limitSeconds) {
      timedOut = true;
      ::kill(pid, SIGKILL);
      ::wait4(pid, &status, 0, &usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::FILE* out = std::fopen(report, "w");
  if (out == nullptr) return 1;
  std::fprintf(out, "%d %d %d %.3f %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1,
               WIFSIGNALED(status) ? WTERMSIG(status) : 0, timedOut ? 1 : 0, seconds,
               usage.ru_maxrss);
  return std::fclose(out) == 0 ? 0 : 1;
}
