// document.h - one picture under review: its pixels, its settings, its shots and their edits.
//
// The shots are the document's own list, seeded by the calibrated analysis (or by a saved
// PICTURE.shots.json) and then corrected by hand. Every change to the list, and every change of
// a setting once its analysis is done, is a command on the document's undo stack; a command
// holds the settings, the face's black and the list before and after it, so undo and redo give
// back exactly the shots there were under the settings they were found with, numbers and
// edited flags included. Shots added or moved by hand carry the edited flag; the analysis's
// own do not.
//
// Every job the window starts ends in Ready or Failed: Ready with a note (Problem) when the
// resolution is unknown, the face's black was not found or the analysis was cancelled.
//
// After every change the document scores its shots again (millimetres from the point of aim,
// ring scores with a face, totals, group statistics) and says so through shotsChanged(); the
// window redraws its view, table and statistics from that one signal.
//
// Qt Gui only (QUndoStack): the widgets are the window's business.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QUndoStack>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calibrated/calibrated.h"
#include "pixel/picture.h"
#include "review/review_settings.h"

namespace holescan::review {

// The calibrated analysis's own shot: position, look, edited flag, millimetres and score.
using ReviewShot = calibrated::Shot;

// Where the document's picture and analysis stand.
enum class Stage { Loading, Failed, Analysing, Ready };

class ReviewDocument : public QObject {
  Q_OBJECT

 public:
  explicit ReviewDocument(std::string path, ReviewSettings settings = {});

  const std::string& Path() const { return path_; }
  // The file's name without its folder, for lists and titles.
  QString Name() const;

  // A copy of the picture, settings and scored shots, without undo history, for work on
  // another thread (an export) while this one goes on being edited.
  std::unique_ptr<ReviewDocument> Snapshot() const;

  Stage State() const { return stage_; }
  // The one-line reason the picture could not be opened, or why the last analysis or the
  // point of aim failed; empty when there is none.
  const std::string& Problem() const { return problem_; }
  // Null until the picture is loaded.
  const std::shared_ptr<const Picture>& PictureData() const { return picture_; }
  // The picture halved again and again, for drawing it zoomed out (see picture_image.h).
  const std::shared_ptr<const std::vector<QImage>>& Levels() const { return levels_; }

  const ReviewSettings& Settings() const { return settings_; }
  // Shooter, event, date and note, for the report; saved with the shots.
  const ReportInfo& Info() const { return info_; }
  void SetInfo(const ReportInfo& info);
  const std::vector<ReviewShot>& Shots() const { return result_.shots; }
  // The shots measured and scored, the aim, totals and the group's statistics.
  const calibrated::CalibratedResult& Result() const { return result_; }
  // The face's point of aim when one was found; nullopt otherwise.
  const std::optional<score::AimPoint>& Aim() const { return result_.black.centre; }
  // The parsed distance of the settings, when they name one.
  std::optional<score::Distance> Distance() const;

  QUndoStack& UndoStack() { return undo_; }
  // Unsaved: an edit or a setting changed since the document was opened, saved or analysed
  // afresh.
  bool Modified() const { return !undo_.isClean() || settingsModified_; }
  void MarkSaved();

  // Hand edits, each one undoable command. Indices outside the list are ignored. A shot added
  // on a hole the analysis knows (calibrated::ShotAtPoint) keeps its look and contrast.
  void AddShot(ReviewShot shot);
  void AddShot(double x, double y) { AddShot(ReviewShot{x, y, true}); }
  void MoveShots(const std::vector<std::pair<int, ReviewShot>>& moves);
  void DeleteShots(std::vector<int> indices);
  // Moves a shot one place earlier (-1) or later (+1) in the order, as it was shot; false
  // when it cannot move.
  bool MoveShotInOrder(int index, int step);

  // What the settings change asks for: a new analysis, a new point of aim, or only scores.
  enum class Rework { None, Score, Aim, Shots };
  Rework SetSettings(const ReviewSettings& settings);

  // Results from the analysing thread (see analysis.h). The first shots of a document, and
  // shots read from its saved file, are not an edit: the undo stack starts empty and clean.
  void SetLoading();
  void SetFailed(std::string reason);
  void SetPicture(std::shared_ptr<const Picture> picture,
                  std::shared_ptr<const std::vector<QImage>> levels = {});
  void SetAnalysing();
  void SetShotsFound(std::vector<ReviewShot> shots, bool asEdit);
  // A job that looked only for the face's black is done: Ready, with its warning as the note.
  void SetAimDone();
  void SetShotsFromFile(const ReviewSettings& settings, std::vector<ReviewShot> shots,
                        const ReportInfo& info = {});
  void SetAim(std::optional<score::AimPoint> aim, std::string problem);
  void SetAnalysisProblem(std::string problem);
  // The analysis was cancelled: the settings it was for are taken back, with the note
  // "analysis cancelled".
  void SetCancelled();

  // The levels the last analysis picked; nullopt when the shots came from a saved file.
  const std::optional<shots::Levels>& AnalysisLevels() const { return result_.levels; }
  void SetAnalysisLevels(std::optional<shots::Levels> levels) { result_.levels = levels; }
  // Takes the resolution stored in the picture file, before any shot is known.
  void SetFileResolution(double dpi);

  // Generation of the settings; an analysis started under an older one is stale.
  int Generation() const { return generation_; }

  // What an undo command holds and gives back.
  struct UndoState {
    ReviewSettings settings;
    std::vector<ReviewShot> shots;
    calibrated::BlackSearch black;
    int generation = 0;
  };
  void RestoreState(const UndoState& state);
  void ReplaceShots(std::vector<ReviewShot> shots);

 signals:
  void shotsChanged();
  void stateChanged();

 private:
  void PushShots(const QString& text, std::vector<ReviewShot> after);
  // Pushes the settings change waiting for its analysis (pendingBefore_ to now), if any.
  void PushSettingsChange(const QString& text);
  UndoState Current() const { return {settings_, result_.shots, result_.black, generation_}; }
  void Rescore();

  std::string path_;
  Stage stage_ = Stage::Loading;
  std::string problem_;

  std::shared_ptr<const Picture> picture_;
  std::shared_ptr<const std::vector<QImage>> levels_;
  ReviewSettings settings_;
  ReportInfo info_;
  calibrated::CalibratedResult result_;
  QUndoStack undo_;
  bool settingsModified_ = false;
  bool shotsSeeded_ = false;
  int generation_ = 0;
  // Generations are never reused, so a job started under settings that an undo took back
  // stays stale even when a later change comes.
  int generations_ = 0;
  // The state before the first settings change whose analysis has not come back yet.
  std::optional<UndoState> pendingBefore_;
};

}  // namespace holescan::review
