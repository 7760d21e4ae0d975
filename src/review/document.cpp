#include "review/document.h"

#include <QFileInfo>
#include <QUndoCommand>
#include <algorithm>
#include <cmath>
#include <utility>

namespace holescan::review {

namespace {

// Any change of the shot list or the settings: the whole state before and after, so undo and
// redo restore settings, numbers and edited flags exactly.
class StateCommand : public QUndoCommand {
 public:
  StateCommand(ReviewDocument& document, const QString& text, ReviewDocument::UndoState before,
               ReviewDocument::UndoState after)
      : QUndoCommand(text),
        document_(document),
        before_(std::move(before)),
        after_(std::move(after)) {}
  void undo() override { document_.RestoreState(before_); }
  void redo() override { document_.RestoreState(after_); }

 private:
  ReviewDocument& document_;
  ReviewDocument::UndoState before_, after_;
};

// The number after the highest of the shots (1 for none).
int NextShotNumber(const std::vector<ReviewShot>& shots) {
  int last = 0;
  for (std::size_t i = 0; i < shots.size(); ++i)
    last = std::max(last, calibrated::ShotNumber(shots[i], i));
  return last + 1;
}

}  // namespace

ReviewDocument::ReviewDocument(std::string path, ReviewSettings settings)
    : path_(std::move(path)), settings_(std::move(settings)) {
  Rescore();
}

std::unique_ptr<ReviewDocument> ReviewDocument::Snapshot() const {
  auto copy = std::make_unique<ReviewDocument>(path_, settings_);
  copy->stage_ = stage_;
  copy->problem_ = problem_;
  copy->picture_ = picture_;
  copy->levels_ = levels_;
  copy->result_ = result_;
  copy->info_ = info_;
  return copy;
}

QString ReviewDocument::Name() const {
  return QFileInfo(QString::fromLocal8Bit(path_)).fileName();
}

std::optional<score::Distance> ReviewDocument::Distance() const {
  if (settings_.distance.empty()) return std::nullopt;
  return score::ParseDistance(settings_.distance);
}

void ReviewDocument::MarkSaved() {
  undo_.setClean();
  settingsModified_ = false;
  emit stateChanged();
}

void ReviewDocument::AddShot(ReviewShot shot) {
  std::vector<ReviewShot> after = result_.shots;
  shot.edited = true;
  shot.number = NextShotNumber(after);
  after.push_back(shot);
  PushShots(tr("add shot %1").arg(shot.number), std::move(after));
}

void ReviewDocument::MoveShots(const std::vector<std::pair<int, ReviewShot>>& moves) {
  std::vector<ReviewShot> after = result_.shots;
  int moved = 0;
  for (const auto& [index, shot] : moves) {
    if (index < 0 || static_cast<std::size_t>(index) >= after.size()) continue;
    ReviewShot& target = after[static_cast<std::size_t>(index)];
    target.x = shot.x;
    target.y = shot.y;
    target.edited = true;
    ++moved;
  }
  if (moved == 0) return;
  PushShots(moved == 1 ? tr("move shot %1").arg(NumberAt(moves.front().first))
                       : tr("move %1 shots").arg(moved),
            std::move(after));
}

void ReviewDocument::DeleteShots(std::vector<int> indices) {
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  std::vector<ReviewShot> after;
  std::size_t next = 0;
  int deleted = 0;
  const std::vector<ReviewShot>& shots = result_.shots;
  for (std::size_t i = 0; i < shots.size(); ++i) {
    while (next < indices.size() && indices[next] < static_cast<int>(i)) ++next;
    if (next < indices.size() && indices[next] == static_cast<int>(i)) {
      ++deleted;
      continue;
    }
    after.push_back(shots[i]);
  }
  if (deleted == 0) return;
  PushShots(deleted == 1 ? tr("delete shot %1").arg(NumberAt(indices.front()))
                         : tr("delete %1 shots").arg(deleted),
            std::move(after));
}

bool ReviewDocument::MoveShotInOrder(int index, int step) {
  const int to = index + step;
  const int count = static_cast<int>(result_.shots.size());
  if (index < 0 || index >= count || to < 0 || to >= count || index == to) return false;
  std::vector<ReviewShot> after = result_.shots;
  std::swap(after[static_cast<std::size_t>(index)], after[static_cast<std::size_t>(to)]);
  PushShots(step < 0 ? tr("move shot %1 up").arg(NumberAt(index))
                     : tr("move shot %1 down").arg(NumberAt(index)),
            std::move(after));
  return true;
}

bool ReviewDocument::Renumber() {
  std::vector<ReviewShot> after = result_.shots;
  bool changed = false;
  for (std::size_t i = 0; i < after.size(); ++i) {
    changed = changed || after[i].number != static_cast<int>(i) + 1;
    after[i].number = static_cast<int>(i) + 1;
  }
  if (!changed) return false;
  PushShots(tr("renumber shots"), std::move(after));
  return true;
}

int ReviewDocument::NumberAt(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= result_.shots.size()) return index + 1;
  return calibrated::ShotNumber(result_.shots[static_cast<std::size_t>(index)],
                                static_cast<std::size_t>(index));
}

ReviewDocument::Rework ReviewDocument::SetSettings(const ReviewSettings& settings) {
  if (settings == settings_) return Rework::None;
  if (!pendingBefore_) pendingBefore_ = Current();
  const ReviewSettings before = std::exchange(settings_, settings);
  settingsModified_ = true;
  generation_ = ++generations_;
  Rework rework = Rework::Score;
  // The face finds shots too: its black may give the scale, and holes are looked for against
  // its print (the command line's shots with the face named, whenever it is named).
  if (before.calibreMm != settings.calibreMm || before.look != settings.look ||
      before.dpi != settings.dpi || before.expectedShots != settings.expectedShots ||
      before.face != settings.face)
    rework = Rework::Shots;
  if (rework != Rework::Score) result_.black = {};
  // Another face has other bulls, or none; they are found with the shots.
  if (before.face != settings.face) result_.bulls.clear();
  Rescore();
  // Only scores change: done at once, and undone as one step.
  if (rework == Rework::Score && stage_ == Stage::Ready) PushSettingsChange(tr("change settings"));
  emit shotsChanged();
  emit stateChanged();
  return rework;
}

void ReviewDocument::Begin(JobKind kind) {
  if (kind == JobKind::Open) {
    stage_ = Stage::Loading;
  } else {
    stage_ = Stage::Analysing;
    problem_.clear();
  }
  emit stateChanged();
}

void ReviewDocument::Apply(const JobOutput& output) {
  if (!output.loadProblem.empty()) {
    stage_ = Stage::Failed;
    problem_ = output.loadProblem;
    emit stateChanged();
    return;
  }
  TakePicture(output);
  // A newer job follows, or an undo gave back a complete state.
  if (output.generation != generation_) {
    emit stateChanged();
    return;
  }
  if (output.cancelled) {
    TakeCancelled();
    emit stateChanged();
    return;
  }
  if (!output.fromFile && output.fileDpi && output.kind == JobKind::Open) {
    settings_.dpi = *output.fileDpi;
    settings_.dpiSource = calibrated::ResolutionSource::File;
  }
  if (output.faceDpi) {
    settings_.dpi = *output.faceDpi;
    settings_.dpiSource = calibrated::ResolutionSource::Face;
  }
  result_.black = output.black;
  if (output.fromFile) {
    TakeSavedShots(output);
  } else if (output.shots) {
    result_.levels = output.analysisLevels;
    result_.bulls = output.bulls;
    result_.faceMeasure = output.faceMeasure;
    TakeFoundShots(*output.shots, output.kind == JobKind::Shots);
  }
  stage_ = Stage::Ready;
  problem_ = result_.black.warning;
  if (!output.shotsProblem.empty())
    problem_ = output.shotsProblem;
  else if (!output.fileProblem.empty())
    problem_ = output.fileProblem + "; analysed afresh";
  Rescore();
  emit shotsChanged();
  emit stateChanged();
}

void ReviewDocument::TakePicture(const JobOutput& output) {
  if (!output.picture) return;
  picture_ = output.picture;
  levels_ = output.levels;
  result_.width = picture_->Width();
  result_.height = picture_->Height();
  result_.selection = WholePicture(result_.width, result_.height);
}

void ReviewDocument::TakeFoundShots(std::vector<ReviewShot> shots, bool asEdit) {
  // Found again: what the shooter placed by hand stays, after the shots found, in place of any
  // found within half a hole of it.
  std::vector<ReviewShot> mine;
  if (asEdit && shotsSeeded_) {
    for (const ReviewShot& shot : result_.shots) {
      if (!shot.edited) continue;
      const double reach = 0.5 * shot.diameterPx;
      std::erase_if(shots, [&](const ReviewShot& found) {
        return std::hypot(found.x - shot.x, found.y - shot.y) < reach;
      });
      mine.push_back(shot);
    }
  }
  shots.insert(shots.end(), mine.begin(), mine.end());
  // Shots found afresh are numbered in the analysis's order.
  for (std::size_t i = 0; i < shots.size(); ++i) shots[i].number = static_cast<int>(i) + 1;
  if (asEdit && shotsSeeded_) {
    UndoState before = pendingBefore_.value_or(Current());
    pendingBefore_.reset();
    UndoState after = Current();
    after.shots = std::move(shots);
    undo_.push(new StateCommand(*this, tr("analyse again"), std::move(before), std::move(after)));
  } else {
    // The first shots of the picture (settingsModified_ stays: settings typed before them,
    // such as a resolution the picture did not store, are worth saving).
    pendingBefore_.reset();
    result_.shots = std::move(shots);
    undo_.clear();
  }
  shotsSeeded_ = true;
}

void ReviewDocument::TakeSavedShots(const JobOutput& output) {
  settings_ = output.settings;
  info_ = output.info;
  generation_ = ++generations_;
  result_.bulls = output.bulls;
  pendingBefore_.reset();
  shotsSeeded_ = true;
  result_.shots = *output.shots;
  // Numbered as the file reads them; any left without one have their place's number.
  for (std::size_t i = 0; i < result_.shots.size(); ++i)
    result_.shots[i].number = calibrated::ShotNumber(result_.shots[i], i);
  undo_.clear();
  settingsModified_ = false;
}

void ReviewDocument::PushSettingsChange(const QString& text) {
  if (!pendingBefore_) return;
  UndoState before = std::move(*pendingBefore_);
  pendingBefore_.reset();
  if (!shotsSeeded_) return;
  undo_.push(new StateCommand(*this, text, std::move(before), Current()));
}

void ReviewDocument::RestoreState(const UndoState& state) {
  pendingBefore_.reset();
  const bool settingsBack = state.settings != settings_ || state.generation != generation_;
  settings_ = state.settings;
  generation_ = state.generation;
  result_.black = state.black;
  result_.shots = state.shots;
  result_.bulls = state.bulls;
  // What was given back is complete: a job still running for other settings is stale.
  if (settingsBack && stage_ == Stage::Analysing) {
    stage_ = Stage::Ready;
    problem_ = result_.black.warning;
  }
  Rescore();
  emit shotsChanged();
  if (settingsBack) emit stateChanged();
}

void ReviewDocument::SetInfo(const ReportInfo& info) {
  if (info == info_) return;
  info_ = info;
  settingsModified_ = true;
  emit stateChanged();
}

void ReviewDocument::TakeCancelled() {
  // A copy: RestoreState clears what it would otherwise read from.
  if (pendingBefore_ && shotsSeeded_) RestoreState(UndoState(*pendingBefore_));
  stage_ = Stage::Ready;
  problem_ = "analysis cancelled";
}

void ReviewDocument::PushShots(const QString& text, std::vector<ReviewShot> after) {
  UndoState next = Current();
  next.shots = std::move(after);
  undo_.push(new StateCommand(*this, text, Current(), std::move(next)));
  emit stateChanged();
}

void ReviewDocument::Rescore() {
  const calibrated::BlackSearch black = result_.black;
  const calibrated::CalibratedSettings settings = CalibratedOf(settings_);
  // The bulls held are the settings' face's (from its job, or an undo): kept.
  result_.settings.face = settings.face;
  result_ = calibrated::Rescore(std::move(result_), settings, black);
}

}  // namespace holescan::review
