#include "review/document.h"

#include <QFileInfo>
#include <QUndoCommand>
#include <algorithm>
#include <utility>

namespace holescan::review {

namespace {

// Any change of the shot list: the whole list before and after, so undo and redo restore
// numbers and edited flags exactly.
class ShotsCommand : public QUndoCommand {
 public:
  ShotsCommand(ReviewDocument& document, const QString& text, std::vector<ReviewShot> before,
               std::vector<ReviewShot> after)
      : QUndoCommand(text),
        document_(document),
        before_(std::move(before)),
        after_(std::move(after)) {}
  void undo() override { document_.ReplaceShots(before_); }
  void redo() override { document_.ReplaceShots(after_); }

 private:
  ReviewDocument& document_;
  std::vector<ReviewShot> before_, after_;
};

}  // namespace

ReviewDocument::ReviewDocument(std::string path, ReviewSettings settings)
    : path_(std::move(path)), settings_(std::move(settings)) {
  Rescore();
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
  after.push_back(shot);
  PushShots(tr("add shot %1").arg(after.size()), std::move(after));
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
  PushShots(
      moved == 1 ? tr("move shot %1").arg(moves.front().first + 1) : tr("move %1 shots").arg(moved),
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
  PushShots(deleted == 1 ? tr("delete shot %1").arg(indices.front() + 1)
                         : tr("delete %1 shots").arg(deleted),
            std::move(after));
}

ReviewDocument::Rework ReviewDocument::SetSettings(const ReviewSettings& settings) {
  if (settings == settings_) return Rework::None;
  const ReviewSettings before = std::exchange(settings_, settings);
  settingsModified_ = true;
  ++generation_;
  Rework rework = Rework::Score;
  if (before.calibreMm != settings.calibreMm || before.look != settings.look ||
      before.dpi != settings.dpi)
    rework = Rework::Shots;
  else if (before.face != settings.face)
    rework = Rework::Aim;
  if (rework != Rework::Score) result_.black = {};
  Rescore();
  emit shotsChanged();
  emit stateChanged();
  return rework;
}

void ReviewDocument::SetFileResolution(double dpi) {
  settings_.dpi = dpi;
  settings_.dpiSource = calibrated::ResolutionSource::File;
  Rescore();
}

void ReviewDocument::SetLoading() {
  stage_ = Stage::Loading;
  emit stateChanged();
}

void ReviewDocument::SetFailed(std::string reason) {
  stage_ = Stage::Failed;
  problem_ = std::move(reason);
  emit stateChanged();
}

void ReviewDocument::SetPicture(std::shared_ptr<const Picture> picture,
                                std::shared_ptr<const std::vector<QImage>> levels) {
  picture_ = std::move(picture);
  levels_ = std::move(levels);
  if (picture_) {
    result_.width = picture_->Width();
    result_.height = picture_->Height();
    result_.selection = WholePicture(result_.width, result_.height);
  }
  emit stateChanged();
}

void ReviewDocument::SetAnalysing() {
  stage_ = Stage::Analysing;
  problem_.clear();
  emit stateChanged();
}

void ReviewDocument::SetShotsFound(std::vector<ReviewShot> shots, bool asEdit) {
  stage_ = Stage::Ready;
  problem_ = result_.black.warning;
  if (asEdit && shotsSeeded_) {
    PushShots(tr("analyse again"), std::move(shots));
  } else {
    ReplaceShots(std::move(shots));
    undo_.clear();
    settingsModified_ = false;
  }
  shotsSeeded_ = true;
  emit stateChanged();
}

void ReviewDocument::SetShotsFromFile(const ReviewSettings& settings,
                                      std::vector<ReviewShot> shots) {
  settings_ = settings;
  ++generation_;
  stage_ = Stage::Ready;
  problem_ = result_.black.warning;
  shotsSeeded_ = true;
  ReplaceShots(std::move(shots));
  undo_.clear();
  settingsModified_ = false;
  emit stateChanged();
}

void ReviewDocument::SetAim(std::optional<score::AimPoint> aim, std::string problem) {
  result_.black = {aim, std::move(problem)};
  if (stage_ == Stage::Ready) problem_ = result_.black.warning;
  Rescore();
  emit shotsChanged();
  emit stateChanged();
}

void ReviewDocument::SetAnalysisProblem(std::string problem) {
  stage_ = Stage::Ready;
  problem_ = std::move(problem);
  emit stateChanged();
}

void ReviewDocument::ReplaceShots(std::vector<ReviewShot> shots) {
  result_.shots = std::move(shots);
  Rescore();
  emit shotsChanged();
}

void ReviewDocument::PushShots(const QString& text, std::vector<ReviewShot> after) {
  undo_.push(new ShotsCommand(*this, text, result_.shots, std::move(after)));
  emit stateChanged();
}

void ReviewDocument::Rescore() {
  const calibrated::BlackSearch black = result_.black;
  result_ = calibrated::Rescore(std::move(result_), CalibratedOf(settings_), black);
}

}  // namespace holescan::review
