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
// A shot's number is its own: the analysis numbers its shots 1, 2, ... in its order, a shot
// added by hand takes the number after the highest, and a delete or a move in the order
// leaves the others' numbers as they were (1 2 4 5 after shot 3 is deleted), until Renumber
// numbers them in their order again. Saved files keep the numbers; one without them numbers
// its shots in its order.
//
// Every job the window starts ends in Ready or Failed: Ready with a note (Problem) when the
// resolution is unknown, the face's black was not found or the analysis was cancelled.
//
// A job's result comes in through one call, Apply (see job.h). After every change the document
// scores its shots again (millimetres from the point of aim, ring scores with a face, totals,
// group statistics) and says so through shotsChanged(); the shot table model (and through it
// the table and the picture view) and the window's statistics follow that one signal.
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
#include "review/job.h"
#include "review/review_settings.h"

namespace holescan::review {

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
  // when it cannot move. Its number stays.
  bool MoveShotInOrder(int index, int step);
  // Numbers the shots 1, 2, ... in their order again; false when they are so already.
  bool Renumber();
  // The number of the shot at `index` (index + 1 outside the list).
  int NumberAt(int index) const;

  // What the settings change asks for: a new analysis (the calibre, resolution, look, count or
  // face changed), or only scores.
  enum class Rework { None, Score, Shots };
  Rework SetSettings(const ReviewSettings& settings);

  // A job for the document starts: Loading for one that reads the picture, Analysing
  // otherwise.
  void Begin(JobKind kind);
  // A finished job taken in, in one step: the picture it read, the resolution its file
  // stores, the face's black, and its shots, a sheet's bulls with them (the first shots of a
  // document, and shots read from its saved file, are not an edit: the undo stack starts
  // empty and clean; shots found again under changed settings are one undoable step with
  // them). It ends Ready, with its problem as the note, or Failed when the picture could not
  // be read; a cancelled job gives back the settings it was for. A job started under another
  // generation is stale: only the picture it read is kept.
  void Apply(const JobOutput& output);

  // The levels the last analysis picked; nullopt when the shots came from a saved file.
  const std::optional<shots::Levels>& AnalysisLevels() const { return result_.levels; }

  // Generation of the settings; an analysis started under an older one is stale.
  int Generation() const { return generation_; }

  // What an undo command holds and gives back.
  struct UndoState {
    ReviewSettings settings;
    std::vector<ReviewShot> shots;
    calibrated::BlackSearch black;
    std::vector<calibrated::Bull> bulls;  // a sheet's, found with the shots
    int generation = 0;
  };
  void RestoreState(const UndoState& state);

 signals:
  void shotsChanged();
  void stateChanged();

 private:
  void PushShots(const QString& text, std::vector<ReviewShot> after);
  // Pushes the settings change waiting for its analysis (pendingBefore_ to now), if any.
  void PushSettingsChange(const QString& text);
  UndoState Current() const {
    return {settings_, result_.shots, result_.black, result_.bulls, generation_};
  }
  void Rescore();
  // Apply's steps: the picture read, shots found by the analysis, shots read from the file, a
  // cancelled analysis.
  void TakePicture(const JobOutput& output);
  void TakeFoundShots(std::vector<ReviewShot> shots, bool asEdit);
  void TakeSavedShots(const JobOutput& output);
  void TakeCancelled();

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
