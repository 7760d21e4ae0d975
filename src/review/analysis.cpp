#include "review/analysis.h"

#include <QCoreApplication>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <stdexcept>

#include "io/qt/picture_loader.h"
#include "review/picture_image.h"
#include "review/shots_file.h"
#include "shots/shots.h"

namespace holescan::review {

namespace {

void FindAimFor(const Picture& picture, const ReviewSettings& settings, JobOutput& output) {
  const score::Face* face = FaceOf(settings);
  if (!face) return;
  output.aimSearched = true;
  std::string reason;
  if (auto fit = score::FindAim(picture.View(), *face, settings.dpi, &reason))
    output.aim = fit->centre;
  else
    output.aimProblem = "no point of aim: " + reason;
}

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
    if (file.resolution && file.resolution->x >= kMinDpi && file.resolution->x <= kMaxDpi)
      output.fileDpi = file.resolution->x;
    picture = std::make_shared<const Picture>(std::move(file.picture));
    output.picture = picture;
    output.levels = std::make_shared<const std::vector<QImage>>(HalvedLevels(ImageOf(*picture)));
  }
  ReviewSettings settings = input.settings;
  bool findShots = input.kind != JobKind::Aim;
  if (input.kind == JobKind::Open) {
    std::string reason;
    ShotsFileRead saved =
        ReadShotsFile(ShotsFilePath(input.path), picture->Width(), picture->Height());
    if (saved.file) {
      output.fromFile = true;
      settings = saved.file->settings;
      output.settings = settings;
      output.shots = std::move(saved.file->shots);
      findShots = false;
    } else if (saved.exists) {
      output.fileProblem = saved.reason;
    }
    if (!output.fromFile && output.fileDpi) {
      settings.dpi = *output.fileDpi;
      settings.dpiSource = "file";
      output.settings = settings;
    }
  }
  if (auto problem = SettingsProblem(settings)) {
    output.shotsProblem = *problem;
    return output;
  }
  FindAimFor(*picture, settings, output);
  if (findShots) {
    try {
      const shots::ShotResult result =
          shots::FindShots(picture->View(), {settings.calibreMm, settings.dpi, settings.look},
                           std::nullopt, [&](double fraction) {
                             progress.store(fraction, std::memory_order_relaxed);
                             return !cancel.load(std::memory_order_relaxed);
                           });
      if (result.cancelled) {
        output.cancelled = true;
        return output;
      }
      std::vector<ReviewShot> shots;
      shots.reserve(result.shots.size());
      for (const shots::Shot& shot : result.shots)
        shots.push_back({shot.x, shot.y, false, shot.look, shot.contrast});
      output.shots = std::move(shots);
      output.analysisLevels = result.levels;
    } catch (const std::exception& error) {
      output.shotsProblem = std::string("analysis failed: ") + error.what();
    }
  }
  return output;
}

void ApplyJob(ReviewDocument& document, const JobOutput& output) {
  if (!output.loadProblem.empty()) {
    document.SetFailed(output.loadProblem);
    return;
  }
  if (output.picture) document.SetPicture(output.picture, output.levels);
  if (output.generation != document.Generation()) return;
  if (output.cancelled) {
    document.SetAnalysisProblem("analysis cancelled");
    return;
  }
  if (!output.fromFile && output.fileDpi && output.kind == JobKind::Open)
    document.SetFileResolution(*output.fileDpi);
  if (output.aimSearched) document.SetAim(output.aim, output.aimProblem);
  if (output.fromFile) {
    document.SetShotsFromFile(output.settings, *output.shots);
  } else if (output.shots) {
    document.SetAnalysisLevels(output.analysisLevels);
    document.SetShotsFound(*output.shots, output.kind == JobKind::Shots);
  }
  if (!output.shotsProblem.empty()) {
    document.SetAnalysisProblem(output.shotsProblem);
  } else if (!output.fileProblem.empty()) {
    document.SetAnalysisProblem(output.fileProblem + "; analysed afresh");
  }
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
  if (input.kind == JobKind::Open)
    document->SetLoading();
  else
    document->SetAnalysing();
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
  if (document && output) ApplyJob(*document, *output);
  if (document) emit jobFinished(document);
  if (queue_.empty()) emit busyChanged(false);
  StartNext();
}

}  // namespace holescan::review
