#include "review/analysis.h"

#include <QCoreApplication>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <exception>
#include <stdexcept>

#include "io/qt/picture_loader.h"
#include "review/picture_image.h"
#include "review/shots_file.h"

namespace holescan::review {

namespace {

// The job's progress, and its cancel flag, for the analysis.
class JobObserver final : public calibrated::Observer {
 public:
  JobObserver(const std::atomic<bool>& cancel, std::atomic<double>& progress)
      : cancel_(cancel), progress_(progress) {}
  bool Progress(double fraction) override {
    progress_.store(fraction, std::memory_order_relaxed);
    return !cancel_.load(std::memory_order_relaxed);
  }

 private:
  const std::atomic<bool>& cancel_;
  std::atomic<double>& progress_;
};

}  // namespace

JobOutput RunJob(const JobInput& input, const std::atomic<bool>& cancel,
                 std::atomic<double>& progress) {
  JobOutput output;
  output.kind = input.kind;
  output.generation = input.generation;
  output.settings = input.settings;
  std::shared_ptr<const Picture> picture = input.picture;
  if (!picture) {
    PictureFile file = LoadPictureFile(input.path);
    if (!file.loaded) {
      output.loadProblem = file.reason.empty() ? "cannot read the picture" : file.reason;
      return output;
    }
    output.fileDpi = calibrated::FileResolution(file);
    picture = std::make_shared<const Picture>(std::move(file.picture));
    output.picture = picture;
    output.levels = std::make_shared<const std::vector<QImage>>(HalvedLevels(ImageOf(*picture)));
  }
  ReviewSettings settings = input.settings;
  bool findShots = true;
  if (input.kind == JobKind::Open) {
    std::string reason;
    ShotsFileRead saved =
        ReadShotsFile(ShotsFilePath(input.path), picture->Width(), picture->Height());
    if (saved.file) {
      output.fromFile = true;
      settings = saved.file->settings;
      output.settings = settings;
      output.shots = std::move(saved.file->shots);
      output.info = saved.file->info;
      output.bulls = std::move(saved.file->bulls);
      findShots = false;
    } else if (saved.exists) {
      output.fileProblem = saved.reason;
    }
    if (!output.fromFile && output.fileDpi) {
      settings.dpi = *output.fileDpi;
      settings.dpiSource = calibrated::ResolutionSource::File;
      output.settings = settings;
    }
  }
  // No resolution, stored or given: the face's black gives it, with the shots found at once.
  if (settings.dpi == 0 && FaceOf(settings) != nullptr) {
    settings.dpiSource = calibrated::ResolutionSource::Face;
    findShots = true;
  }
  if (settings.dpi == 0 && settings.dpiSource != calibrated::ResolutionSource::Face) {
    output.shotsProblem = kResolutionUnknown;
    return output;
  }
  if (auto problem = SettingsProblem(settings)) {
    output.shotsProblem = *problem;
    return output;
  }
  const calibrated::CalibratedSettings calibratedSettings = CalibratedOf(settings);
  if (!findShots) {
    output.black = calibrated::LookForBlack(picture->View(), calibratedSettings);
    return output;
  }
  try {
    JobObserver observer(cancel, progress);
    const calibrated::CalibratedResult result =
        calibrated::AnalysePicture(picture->View(), calibratedSettings, &observer);
    if (result.cancelled) {
      output.cancelled = true;
      return output;
    }
    if (result.settings.dpiSource == calibrated::ResolutionSource::Face)
      output.faceDpi = result.settings.dpi;
    output.black = result.black;
    output.shots = result.shots;
    output.bulls = result.bulls;
    output.faceMeasure = result.faceMeasure;
    output.analysisLevels = result.levels;
  } catch (const calibrated::NoScale& none) {
    output.shotsProblem = std::string(kNoScaleFromFace) + none.what() +
                          "; give it under Settings, Resolution";
  } catch (const std::exception& error) {
    output.shotsProblem = std::string("analysis failed: ") + error.what();
  }
  return output;
}

Analyser::Analyser(QObject* parent) : QObject(parent) {
  connect(&watcher_, &QFutureWatcher<std::shared_ptr<JobOutput>>::finished, this,
          &Analyser::Finished);
  poll_.setInterval(50);
  connect(&poll_, &QTimer::timeout, this,
          [this] { emit progress(progress_.load(std::memory_order_relaxed)); });
}

Analyser::~Analyser() {
  queue_.clear();
  cancel_ = true;
  watcher_.waitForFinished();
}

void Analyser::Request(ReviewDocument* document, JobKind kind) {
  for (Queued& queued : queue_) {
    if (queued.document == document) {
      queued.kind = std::max(queued.kind, kind);
      return;
    }
  }
  if (running_ == document) cancel_ = true;
  queue_.push_back({document, kind});
  StartNext();
}

void Analyser::CancelAll() {
  queue_.clear();
  cancel_ = true;
  if (!running_) emit busyChanged(false);
}

void Analyser::WaitIdle() {
  while (Busy()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (Busy()) QThread::msleep(2);
  }
}

void Analyser::StartNext() {
  if (running_) return;
  while (!queue_.empty() && !queue_.front().document) queue_.pop_front();
  if (queue_.empty()) return;
  const Queued next = queue_.front();
  queue_.pop_front();
  ReviewDocument* document = next.document;
  JobInput input;
  input.kind = document->PictureData() ? next.kind : JobKind::Open;
  input.path = document->Path();
  input.picture = document->PictureData();
  input.settings = document->Settings();
  input.generation = document->Generation();
  document->Begin(input.kind);
  running_ = document;
  cancel_ = false;
  progress_ = 0;
  emit busyChanged(true);
  emit progress(0);
  poll_.start();
  watcher_.setFuture(QtConcurrent::run(
      [this, input] { return std::make_shared<JobOutput>(RunJob(input, cancel_, progress_)); }));
}

void Analyser::Finished() {
  poll_.stop();
  const std::shared_ptr<JobOutput> output = watcher_.result();
  QPointer<ReviewDocument> document = running_;
  running_ = nullptr;
  if (document && output) document->Apply(*output);
  // A result made stale by a change that asked for no job of its own (a distance typed while
  // the analysis ran) leaves the picture waiting: the job runs again under today's settings,
  // so every picture ends Ready or Failed.
  if (document && (document->State() == Stage::Analysing || document->State() == Stage::Loading) &&
      std::none_of(queue_.begin(), queue_.end(),
                   [&](const Queued& queued) { return queued.document == document; }))
    queue_.push_back({document, output ? output->kind : JobKind::Open});
  if (document) emit jobFinished(document);
  if (queue_.empty()) emit busyChanged(false);
  StartNext();
}

}  // namespace holescan::review
