// analysis.h - the slow work for a document, off the GUI thread, one job at a time.
//
// A job reads the picture (when it is not read yet), looks for the picture's saved shots
// (PICTURE.shots.json), and runs what the document asks for: the calibrated analysis, the
// face's point of aim, or both. RunJob is the work itself, a plain function a test can call;
// Analyser queues jobs, runs them on Qt's thread pool, reports progress on the GUI thread and
// hands each result to its document there. A job started before the document's settings
// changed again is stale: its shots and aim are dropped (a picture it read is kept).
#pragma once

#include <QFutureWatcher>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "review/document.h"

namespace holescan::review {

enum class JobKind { Aim, Shots, Open };

// The note of a picture that stores no resolution and has none given yet: no shots are
// looked for until it is given.
inline constexpr char kResolutionUnknown[] =
    "resolution unknown: the picture stores none; give it under Settings, Resolution";

struct JobInput {
  JobKind kind = JobKind::Open;
  std::string path;
  std::shared_ptr<const Picture> picture;  // null: read it from path
  ReviewSettings settings;
  int generation = 0;
};

struct JobOutput {
  JobKind kind = JobKind::Open;
  int generation = 0;
  bool cancelled = false;
  std::shared_ptr<const Picture> picture;             // set when the job read it
  std::shared_ptr<const std::vector<QImage>> levels;  // with it
  std::string loadProblem;                            // the picture could not be read
  std::optional<double> fileDpi;  // the resolution stored in the picture file (FileResolution)
  // Open only: the saved shots and settings, or why the saved file could not be read.
  bool fromFile = false;
  ReviewSettings settings;
  std::string fileProblem;
  std::optional<std::vector<ReviewShot>> shots;
  ReportInfo info;                              // with the saved shots
  std::optional<shots::Levels> analysisLevels;  // with shots found by the analysis
  std::string shotsProblem;
  // The face's black as looked for under the job's settings.
  calibrated::BlackSearch black;
};

// Runs the job. `cancel` is polled while the analysis runs; `progress` receives 0..1.
JobOutput RunJob(const JobInput& input, const std::atomic<bool>& cancel,
                 std::atomic<double>& progress);

// Hands a job's result to its document.
void ApplyJob(ReviewDocument& document, const JobOutput& output);

class Analyser : public QObject {
  Q_OBJECT

 public:
  explicit Analyser(QObject* parent = nullptr);
  ~Analyser() override;

  // Queues a job for the document; a queued one for the same document becomes the larger of
  // the two, and a running one for it is cancelled (its result would be stale).
  void Request(ReviewDocument* document, JobKind kind);
  // Cancels the running job and forgets the queued ones.
  void CancelAll();
  bool Busy() const { return running_ != nullptr || !queue_.empty(); }
  ReviewDocument* Running() const { return running_; }
  // Blocks, handling events, until no job is left (tests; closing).
  void WaitIdle();

 signals:
  void progress(double fraction);
  void busyChanged(bool busy);
  void jobFinished(holescan::review::ReviewDocument* document);

 private:
  void StartNext();
  void Finished();

  struct Queued {
    QPointer<ReviewDocument> document;
    JobKind kind;
  };
  std::deque<Queued> queue_;
  QPointer<ReviewDocument> running_;
  QFutureWatcher<std::shared_ptr<JobOutput>> watcher_;
  QTimer poll_;
  std::atomic<bool> cancel_{false};
  std::atomic<double> progress_{0};
};

}  // namespace holescan::review
