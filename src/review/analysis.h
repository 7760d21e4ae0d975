// analysis.h - the slow work for a document, off the GUI thread, one job at a time.
//
// A job (job.h) reads the picture (when it is not read yet), looks for the picture's saved
// shots (PICTURE.shots.json), and runs what the document asks for: the calibrated analysis,
// the face's point of aim, or both. RunJob is the work itself, a plain function a test can
// call; Analyser queues jobs, runs them on Qt's thread pool, reports progress on the GUI
// thread and hands each result to its document there (ReviewDocument::Apply).
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <deque>

#include "review/document.h"
#include "review/job.h"

namespace holescan::review {

// Runs the job. `cancel` is polled while the analysis runs; `progress` receives 0..1.
JobOutput RunJob(const JobInput& input, const std::atomic<bool>& cancel,
                 std::atomic<double>& progress);

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
