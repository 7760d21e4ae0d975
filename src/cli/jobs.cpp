// jobs.cpp - several pictures at once.
//
// Each job is a process of its own (the decoders serialise within one), handed picture
// numbers one at a time. A job writes what one picture prints, its status and its parts of
// the outputs that hold every picture into files of a private folder; the command passes them
// on in the pictures' order, so every output is what one job would have written, and memory
// holds at most one picture per job.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/cli.h"
#include "cli/runner.h"
#include "io/errno_reason.h"
#include "io/one_line.h"

namespace holescan::cli {
namespace {

// The files one picture's run leaves in `folder`.
std::string PartFile(const std::string& folder, std::size_t i, std::string_view part) {
  return folder + "/" + std::to_string(i) + "." + std::string(part);
}


std::string ReadPart(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());
  return bytes;
}

}  // namespace

void Runner::RunJob(int commands, int done, const std::string& folder) {
  progressLine_ = false;  // the command shows the progress of the whole batch
  std::uint32_t i = 0;
  while (::read(commands, &i, sizeof i) == static_cast<ssize_t>(sizeof i)) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int out =
        ::open(PartFile(folder, i, "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err =
        ::open(PartFile(folder, i, "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    ::close(out);
    ::close(err);
    status_ = kExitOk;
    BeginCollected(true);
    AnalyseOne(i);
    std::fflush(stdout);
    std::fflush(stderr);
    for (const Collected& c : collected_)
      std::ofstream(PartFile(folder, i, c.output->name), std::ios::binary) << c.text;
    collected_.clear();
    std::ofstream(PartFile(folder, i, "status")) << status_;
    if (::write(done, &i, sizeof i) != static_cast<ssize_t>(sizeof i)) break;
  }
  std::fflush(nullptr);
  std::_Exit(0);
}

int Runner::RunInProcesses(std::size_t jobs) {
  std::string folder = (std::filesystem::temp_directory_path() / "holescan-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) {
    FailRun("cannot make a folder for the jobs: " + ErrnoReason(errno));
    return status_;
  }
  struct Job {
    pid_t pid = -1;
    int commands = -1;  // picture numbers to the job
    int done = -1;      // numbers of the pictures it finished
  };
  std::vector<Job> running;
  std::fflush(nullptr);
  for (std::size_t j = 0; j < jobs; ++j) {
    int toJob[2], fromJob[2];
    if (::pipe2(toJob, O_CLOEXEC) != 0 || ::pipe2(fromJob, O_CLOEXEC) != 0) break;
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(toJob[1]);
      ::close(fromJob[0]);
      for (const Job& other : running) {
        ::close(other.commands);
        ::close(other.done);
      }
      RunJob(toJob[0], fromJob[1], folder);
    }
    ::close(toJob[0]);
    ::close(fromJob[1]);
    if (pid < 0) {
      ::close(toJob[1]);
      ::close(fromJob[0]);
      break;
    }
    running.push_back({pid, toJob[1], fromJob[0]});
  }
  if (running.empty()) {
    FailRun("cannot start the jobs: " + ErrnoReason(errno));
    std::filesystem::remove_all(folder);
    return status_;
  }

  const std::size_t count = o_.pictures.size();
  std::size_t next = 0;     // the next picture to hand out
  std::size_t written = 0;  // pictures passed on so far, in order
  std::vector<bool> finished(count, false);
  std::vector<std::optional<std::size_t>> handling(running.size());
  const auto handOut = [&](std::size_t j) {
    handling[j].reset();
    if (next >= count) return;
    const auto i = static_cast<std::uint32_t>(next);
    if (::write(running[j].commands, &i, sizeof i) == static_cast<ssize_t>(sizeof i))
      handling[j] = next++;
  };
  for (std::size_t j = 0; j < running.size(); ++j) handOut(j);

  BeginCollected(false);
  while (written < count) {
    std::vector<pollfd> waiting;
    std::vector<std::size_t> jobOf;
    for (std::size_t j = 0; j < running.size(); ++j) {
      if (!handling[j]) continue;
      waiting.push_back({running[j].done, POLLIN, 0});
      jobOf.push_back(j);
    }
    if (waiting.empty()) break;  // every job is gone
    if (::poll(waiting.data(), waiting.size(), -1) < 0 && errno != EINTR) break;
    for (std::size_t w = 0; w < waiting.size(); ++w) {
      if (waiting[w].revents == 0) continue;
      const std::size_t j = jobOf[w];
      std::uint32_t i = 0;
      if (::read(running[j].done, &i, sizeof i) == static_cast<ssize_t>(sizeof i)) {
        finished[i] = true;
        handOut(j);
      } else {
        // The job died with the picture: say so in its place and go on without the job.
        const std::size_t lost = *handling[j];
        std::ofstream(PartFile(folder, lost, "err"))
            << kProgram << ": " << OneLine(o_.pictures[lost]) << ": the job analysing it "
            << "ended unexpectedly\n";
        std::ofstream(PartFile(folder, lost, "status")) << kExitDrawFailed;
        finished[lost] = true;
        handling[j].reset();
      }
    }
    for (; written < count && finished[written]; ++written) {
      const std::string out = ReadPart(PartFile(folder, written, "out"));
      const std::string err = ReadPart(PartFile(folder, written, "err"));
      int status = kExitDrawFailed;
      std::istringstream(ReadPart(PartFile(folder, written, "status"))) >> status;
      status_ = std::max(status_, status);
      if (!out.empty() || !err.empty()) ClearProgress();
      std::fwrite(out.data(), 1, out.size(), stdout);
      std::fflush(stdout);
      std::fwrite(err.data(), 1, err.size(), stderr);
      for (Collected& c : collected_)
        c.collection->AddText(ReadPart(PartFile(folder, written, c.output->name)));
      ShowJobsProgress(written + 1);
    }
  }
  for (Job& job : running) {
    ::close(job.commands);
    ::close(job.done);
    int ignored = 0;
    ::waitpid(job.pid, &ignored, 0);
  }
  std::filesystem::remove_all(folder);
  ClearProgress();
  if (written < count) FailRun("the jobs ended before every picture was analysed");
  FinishCollected();
  return status_;
}

void Runner::ShowJobsProgress(std::size_t done) {
  if (!progressLine_) return;
  std::fprintf(stderr, "\r%s: %zu of %zu pictures analysed\033[K", kProgram, done,
               o_.pictures.size());
  std::fflush(stderr);
  shownPercent_ = 0;
}

}  // namespace holescan::cli
