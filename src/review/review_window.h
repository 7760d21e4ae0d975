// review_window.h - holescan-review's main window: the open pictures and their settings on the
// left, the scan with its shots in the middle, the shot table and the statistics on the right.
//
// Opening a picture reads it off the GUI thread, then shows its saved shots
// (PICTURE.shots.json) or analyses it; every change of a setting analyses it again. Edits go
// to the current picture's undo stack. A picture that cannot be opened keeps its reason in its
// list entry and the status bar, and the picture shown stays the one that was.
//
// The list of pictures and the shot table are views of two models (picture_list_model.h,
// shot_table_model.h); the table and the picture view share the shot table's selection model.
#pragma once

#include <QFutureWatcher>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <QUndoGroup>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "review/analysis.h"
#include "review/document.h"
#include "review/exports.h"
#include "review/picture_list_model.h"
#include "review/shot_table_model.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListView;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;

namespace holescan::review {

class ShotView;

class ReviewWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit ReviewWindow(QWidget* parent = nullptr);
  ~ReviewWindow() override;

  // Opens the pictures (file names as bytes); one already open is shown again.
  void OpenFiles(const std::vector<std::string>& paths);
  ReviewDocument* Current() const { return current_; }
  const std::vector<std::unique_ptr<ReviewDocument>>& Documents() const {
    return pictures_.Documents();
  }
  Analyser& Analysis() { return analyser_; }
  ShotView* View() const { return view_; }

  // Writes the current picture's shots beside it; false with the reason in the status bar.
  bool Save();
  // Exports the current picture to BASE.csv, .json, .png and .pdf off the window's thread;
  // false, with the one-line reason in the status bar, when it is refused (an output would be
  // a picture of the session or its saved shots, the user kept existing files, an export is
  // running). The proposed base is ProposedExportBase's.
  bool ExportTo(const QString& base);
  // Writes one PDF, PATH, of the report of every open picture that is ready (a page each, in
  // the list's order) off the window's thread; refused as ExportTo is.
  bool ExportReportsTo(const QString& path);
  bool Exporting() const { return exportWatcher_.isRunning(); }
  // Blocks, handling events, until the export is written (tests; closing).
  void WaitExport();
  // The current picture's settings given to the pictures selected in the list, or to all;
  // the resolution only to those that store none.
  void ApplyToPictures(bool all);
  // What closing asks when pictures have unsaved edits (Save, Discard or Cancel) and what an
  // export asks before replacing files (Yes or No). A test replaces the dialog.
  using Question = std::function<int(const QString& text)>;
  void SetQuestion(Question question) { question_ = std::move(question); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  QWidget* BuildSidePanel();
  QWidget* BuildNumbersPanel();
  void SetCurrent(ReviewDocument* document);
  void ShowSettings();
  void ApplySetting(const std::function<bool(ReviewSettings&)>& change);
  void RefreshStatistics();
  void RefreshStatus();
  void RefreshBusy();
  void ShowHelp();
  void JobFinished(ReviewDocument* document);
  void AddShotAt(QPointF point);
  void DeleteSelected();
  void Export();
  void ExportReportsDialog();
  // Asks before replacing `paths` that are there; false (with the status line) when kept.
  bool MayReplace(const ExportPaths& paths);
  void OpenDialog();
  ReviewSettings DefaultSettings() const;
  void RememberSettings(const ReviewSettings& settings) const;

  // The open pictures (owning them), and the shots of the one shown with their selection.
  PictureListModel pictures_;
  ShotTableModel shotTable_;
  QItemSelectionModel shotSelection_{&shotTable_};
  ReviewDocument* current_ = nullptr;
  // The first picture of the last batch opened, to be shown once it has loaded.
  std::vector<ReviewDocument*> pendingShow_;
  Analyser analyser_;
  QUndoGroup undoGroup_;
  Question question_;

  ShotView* view_ = nullptr;
  QListView* list_ = nullptr;
  QComboBox* calibre_ = nullptr;
  QDoubleSpinBox* dpi_ = nullptr;
  QComboBox* holes_ = nullptr;
  QComboBox* face_ = nullptr;
  QLineEdit* distance_ = nullptr;
  QSpinBox* series_ = nullptr;
  QSpinBox* expected_ = nullptr;
  QLineEdit* shooter_ = nullptr;
  QLineEdit* event_ = nullptr;
  QLineEdit* date_ = nullptr;
  QLineEdit* note_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* stats_ = nullptr;
  QLabel* message_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QMessageBox* help_ = nullptr;
  QPushButton* applySelected_ = nullptr;
  QPushButton* applyAll_ = nullptr;
  QString transient_;  // a message of the last action, shown until the next one

  // The export running, on snapshots of its pictures, and what the status line says when it
  // is written.
  QFutureWatcher<std::vector<std::string>> exportWatcher_;
  std::vector<std::unique_ptr<ReviewDocument>> exportSnapshots_;
  QString exportDone_;
  std::atomic<bool> exportCancel_{false};
  std::atomic<double> exportProgress_{0};
  QTimer exportPoll_;
};

}  // namespace holescan::review
