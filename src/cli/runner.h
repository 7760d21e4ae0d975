// runner.h - one run of holescan-cli: its pictures in turn or in jobs, each through the exact
// or the calibrated analysis, and the outputs of results::Outputs() it asks for.
//
//   runner.cpp          the run: the clash check, the pictures one after the other, failures,
//                       the progress line, and every output walked from the one table
//   jobs.cpp            several pictures at once, each job a process of its own
//   exact_run.cpp       one picture through the exact analysis
//   calibrated_run.cpp  one picture through the calibrated analysis
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "io/output_file.h"
#include "io/picture_file.h"
#include "results/outputs.h"

namespace holescan::cli {

inline constexpr char kProgram[] = "holescan-cli";

class Runner {
 public:
  explicit Runner(const Options& options);
  ~Runner();
  int RunAll();

 private:
  // An output whose one file holds every picture, written as the pictures are done.
  struct Collected {
    const results::Output* output;
    std::unique_ptr<OutputFile> file;                 // null in a job
    std::unique_ptr<results::Collection> collection;  // null in a job
    std::string text;                                 // a job's part of its picture
  };

  // ---- runner.cpp
  void AnalyseOne(std::size_t i);
  void Analyse(const std::string& path);
  void FailRun(const std::string& reason);
  void Fail(const std::string& picture, const std::string& reason, int status);
  void Warn(const std::string& picture, const std::string& warning);
  void ShowProgress(float fraction);
  void ClearProgress();
  std::optional<Selection> SelectionFor(const std::string& path, int width, int height);
  // The collected outputs, their parts written to their files, or kept in memory (a job's).
  void BeginCollected(bool inMemory);
  void FinishCollected();
  results::WriteContext ContextFor(const results::Output& output) const;
  // Every output the options ask for that `analysis` makes, in the table's order. `own` makes
  // the outputs the analysis wrote itself and returns true for them; the rest have a writer.
  void WriteOutputs(const std::string& path, const results::PictureRecord& record,
                    results::Analysis analysis, const PictureView* picture,
                    const std::function<bool(const results::Output&)>& own);

  // ---- jobs.cpp
  int RunInProcesses(std::size_t jobs);
  [[noreturn]] void RunJob(int commands, int done, const std::string& folder);
  void ShowJobsProgress(std::size_t done);

  // ---- exact_run.cpp, calibrated_run.cpp
  void AnalyseExact(const std::string& path, const PictureFile& file,
                    std::chrono::steady_clock::time_point loadStart);
  void AnalyseCalibrated(const std::string& path, const PictureFile& file);

  const Options& o_;
  const char separator_;
  bool progressLine_;
  std::size_t index_ = 0;
  int shownPercent_ = -1;  // -1: no progress line on the screen
  std::chrono::steady_clock::time_point shownAt_;
  int status_ = 0;
  std::vector<Collected> collected_;
};

}  // namespace holescan::cli
