#include "review/review_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cstring>

#include "review/exports.h"
#include "review/numbers.h"
#include "review/shot_view.h"
#include "review/shots_file.h"

namespace holescan::review {

namespace {

QString Local(const std::string& bytes) {
  return QString::fromLocal8Bit(bytes);
}

std::string Bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

ReviewWindow::ReviewWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("ReviewWindow"));
  setWindowTitle(tr("holescan-review"));
  setAcceptDrops(true);

  view_ = new ShotView;
  view_->setObjectName(QStringLiteral("view"));
  auto* splitter = new QSplitter;
  splitter->addWidget(BuildSidePanel());
  splitter->addWidget(view_);
  splitter->addWidget(BuildNumbersPanel());
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setStretchFactor(2, 0);
  splitter->setChildrenCollapsible(false);
  setCentralWidget(splitter);

  message_ = new QLabel;
  message_->setObjectName(QStringLiteral("message"));
  progress_ = new QProgressBar;
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, 1000);
  progress_->setMaximumWidth(220);
  progress_->setTextVisible(false);
  progress_->hide();
  cancel_ = new QPushButton(tr("Cancel"));
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->hide();
  statusBar()->addWidget(message_, 1);
  statusBar()->addPermanentWidget(progress_);
  statusBar()->addPermanentWidget(cancel_);

  BuildMenus();

  connect(cancel_, &QPushButton::clicked, this, [this] {
    analyser_.CancelAll();
    exportCancel_ = true;
  });
  connect(&analyser_, &Analyser::progress, this,
          [this](double fraction) { progress_->setValue(static_cast<int>(fraction * 1000)); });
  connect(&analyser_, &Analyser::busyChanged, this, [this] { RefreshBusy(); });
  exportPoll_.setInterval(50);
  connect(&exportPoll_, &QTimer::timeout, this,
          [this] { progress_->setValue(static_cast<int>(exportProgress_.load() * 1000)); });
  connect(&exportWatcher_, &QFutureWatcher<std::vector<std::string>>::finished, this, [this] {
    exportPoll_.stop();
    const std::vector<std::string> problems = exportWatcher_.result();
    exportSnapshots_.clear();
    transient_ = problems.empty() ? exportDone_ : Local(problems.front());
    RefreshBusy();
    RefreshStatus();
  });
  connect(&analyser_, &Analyser::jobFinished, this, &ReviewWindow::JobFinished);
  connect(view_, &ShotView::addRequested, this, &ReviewWindow::AddShotAt);
  connect(view_, &ShotView::moveRequested, this,
          [this](const std::vector<std::pair<int, ReviewShot>>& moves) {
            if (current_) current_->MoveShots(moves);
          });
  // One selection for the table and the picture: a shot picked in either is picked in both.
  view_->SetModel(&shotTable_, &shotSelection_);
  connect(&shotSelection_, &QItemSelectionModel::selectionChanged, this, [this] {
    const std::vector<int> rows = SelectedRows(shotSelection_);
    if (rows.size() == 1) table_->scrollTo(shotTable_.index(rows.front(), 0));
  });
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& index) {
            if (ReviewDocument* document = pictures_.At(index.row())) SetCurrent(document);
          });
  resize(1280, 800);
  ShowSettings();
  RefreshStatistics();
  RefreshStatus();
}

ReviewWindow::~ReviewWindow() {
  exportCancel_ = true;
  exportWatcher_.waitForFinished();
  analyser_.CancelAll();
  // The views let go of the models before the models go.
  view_->SetModel(nullptr, nullptr);
  table_->setModel(nullptr);
  list_->setModel(nullptr);
  shotTable_.SetDocument(nullptr);
}

void ReviewWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* open = file->addAction(tr("&Open..."), this, &ReviewWindow::OpenDialog);
  open->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
  QAction* save = file->addAction(tr("&Save"), this, [this] { Save(); });
  save->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
  QAction* exportAction = file->addAction(tr("&Export..."), this, &ReviewWindow::Export);
  exportAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
  file->addAction(tr("Export All Pictures to &PDF..."), this, &ReviewWindow::ExportReportsDialog)
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+E")));
  file->addSeparator();
  file->addAction(tr("&Quit"), this, &QWidget::close)
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  QAction* undo = undoGroup_.createUndoAction(this, tr("&Undo"));
  undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
  QAction* redo = undoGroup_.createRedoAction(this, tr("&Redo"));
  redo->setShortcuts(
      {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
  edit->addAction(undo);
  edit->addAction(redo);
  edit->addSeparator();
  QAction* remove = edit->addAction(tr("&Delete Shots"), this, &ReviewWindow::DeleteSelected);
  remove->setShortcut(QKeySequence(QKeySequence::Delete));
  remove->setObjectName(QStringLiteral("deleteShots"));
  // The order as shot, for the series: the selected shot one place earlier or later.
  const auto reorder = [this](int step) {
    if (!current_) return;
    const std::vector<int> selected = view_->SelectedShots();
    if (selected.size() != 1) {
      transient_ = tr("select one shot to move in the order");
      RefreshStatus();
      return;
    }
    // The selection follows the shot: the table model moves its row.
    current_->MoveShotInOrder(selected.front(), step);
  };
  // The shots' order and numbers. (No mnemonic: every letter of its name is taken.)
  QMenu* shots = menuBar()->addMenu(tr("Shots"));
  QAction* up = shots->addAction(tr("Move Shot &Up"), this, [reorder] { reorder(-1); });
  up->setShortcut(QKeySequence(QStringLiteral("Ctrl+Up")));
  QAction* down = shots->addAction(tr("Move Shot Do&wn"), this, [reorder] { reorder(1); });
  down->setShortcut(QKeySequence(QStringLiteral("Ctrl+Down")));
  shots->addSeparator();
  // Numbers stay through deletes and moves; this gives 1, 2, ... in the table's order again.
  QAction* renumber = shots->addAction(tr("&Renumber in Table Order"), this, [this] {
    if (!current_) return;
    if (!current_->Renumber()) transient_ = tr("the shots are numbered in order already");
    RefreshStatus();
  });
  renumber->setObjectName(QStringLiteral("renumber"));
  addAction(up);
  addAction(down);

  QMenu* view = menuBar()->addMenu(tr("&View"));
  view->addAction(tr("Zoom &In"), this, [this] { view_->ZoomBy(1.25); })
      ->setShortcuts({QKeySequence(QStringLiteral("+")), QKeySequence(QStringLiteral("=")),
                      QKeySequence(QKeySequence::ZoomIn)});
  view->addAction(tr("Zoom &Out"), this, [this] { view_->ZoomBy(0.8); })
      ->setShortcuts({QKeySequence(QStringLiteral("-")), QKeySequence(QKeySequence::ZoomOut)});
  view->addAction(tr("&Fit to Window"), this, [this] { view_->FitToWindow(); })
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+0")));
  view->addAction(tr("&Actual Size (1:1)"), this, [this] { view_->ActualSize(); })
      ->setShortcut(QKeySequence(QStringLiteral("Ctrl+1")));
  view->addSeparator();
  // Scores beside the holes, as the user left it last time.
  QAction* scores = view->addAction(tr("&Scores Beside Holes"));
  scores->setObjectName(QStringLiteral("scoresBesideHoles"));
  scores->setCheckable(true);
  scores->setChecked(QSettings().value("view/scores_beside_holes", false).toBool());
  view_->SetScoresShown(scores->isChecked());
  connect(scores, &QAction::toggled, this, [this](bool on) {
    view_->SetScoresShown(on);
    QSettings().setValue("view/scores_beside_holes", on);
  });

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  QAction* helpAction = help->addAction(tr("holescan-review &Help"), this, &ReviewWindow::ShowHelp);
  helpAction->setShortcut(QKeySequence(QKeySequence::HelpContents));
  helpAction->setObjectName(QStringLiteral("help"));
  help->addAction(tr("&About holescan-review"), this, [this] {
    QMessageBox::about(
        this, tr("About holescan-review"),
        tr("<b>holescan-review</b> %1<p>Finds the shot holes of a scanned target, lets you "
           "correct them, and gives the score and the group.</p>"
           "<p>Ctrl+click adds a shot, Delete removes the selected ones, dragging a shot moves "
           "it, dragging the paper pans, the wheel zooms.</p>")
            .arg(QApplication::applicationVersion()));
  });
  for (QAction* action : {open, save, exportAction, undo, redo, remove, helpAction})
    addAction(action);
}

QWidget* ReviewWindow::BuildSidePanel() {
  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(new QLabel(tr("Pictures")));
  list_ = new QListView;
  list_->setObjectName(QStringLiteral("pictures"));
  list_->setModel(&pictures_);
  list_->setWordWrap(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  layout->addWidget(list_, 1);

  auto* box = new QGroupBox(tr("Settings"));
  auto* form = new QFormLayout(box);
  calibre_ = new QComboBox;
  calibre_->setObjectName(QStringLiteral("calibre"));
  calibre_->setEditable(true);
  calibre_->setInsertPolicy(QComboBox::NoInsert);
  for (const CalibrePreset& preset : CalibrePresets())
    calibre_->addItem(
        QString::fromUtf8(preset.text.data(), static_cast<qsizetype>(preset.text.size())));
  calibre_->setToolTip(tr("A preset, or any calibre in mm (5.6mm) or inches (.22in)"));
  form->addRow(tr("&Calibre"), calibre_);
  dpi_ = new QDoubleSpinBox;
  dpi_->setObjectName(QStringLiteral("dpi"));
  // 0 is "not known yet"; what lies below kMinDpi is refused with the limit's own line.
  dpi_->setRange(0, calibrated::kMaxDpi);
  dpi_->setSpecialValueText(tr("resolution unknown"));
  dpi_->setDecimals(1);
  dpi_->setSuffix(tr(" ppi"));
  dpi_->setKeyboardTracking(false);
  form->addRow(tr("&Resolution"), dpi_);
  holes_ = new QComboBox;
  holes_->setObjectName(QStringLiteral("holes"));
  holes_->addItem(tr("auto"), int(shots::HoleLook::Auto));
  holes_->addItem(tr("dark"), int(shots::HoleLook::Dark));
  holes_->addItem(tr("light"), int(shots::HoleLook::Light));
  form->addRow(tr("H&oles"), holes_);
  face_ = new QComboBox;
  face_->setObjectName(QStringLiteral("face"));
  face_->addItem(tr("none"), QString());
  for (const score::Face& face : score::Faces())
    face_->addItem(QString::fromUtf8(face.title.data(), static_cast<qsizetype>(face.title.size())),
                   QString::fromUtf8(face.name.data(), static_cast<qsizetype>(face.name.size())));
  form->addRow(tr("F&ace"), face_);
  distance_ = new QLineEdit;
  distance_->setObjectName(QStringLiteral("distance"));
  distance_->setPlaceholderText(tr("e.g. 10m, 25yd"));
  form->addRow(tr("&Distance"), distance_);
  series_ = new QSpinBox;
  series_->setObjectName(QStringLiteral("series"));
  series_->setRange(1, kMaxSeriesShots);
  series_->setSuffix(tr(" shots"));
  series_->setKeyboardTracking(false);
  series_->setToolTip(tr("Subtotals for every so many shots, in the table's order"));
  form->addRow(tr("Series of"), series_);
  expected_ = new QSpinBox;
  expected_->setObjectName(QStringLiteral("expectedShots"));
  expected_->setRange(0, kMaxExpectedShots);
  expected_->setSpecialValueText(tr("not known"));
  expected_->setKeyboardTracking(false);
  expected_->setToolTip(tr("The shots fired on this target, when known"));
  form->addRow(tr("Shots on tar&get"), expected_);
  connect(series_, &QSpinBox::valueChanged, this, [this](int shots) {
    ApplySetting([shots](ReviewSettings& settings) {
      settings.seriesShots = shots;
      return true;
    });
  });
  connect(expected_, &QSpinBox::valueChanged, this, [this](int shots) {
    ApplySetting([shots](ReviewSettings& settings) {
      settings.expectedShots = shots;
      return true;
    });
  });
  applySelected_ = new QPushButton(tr("Apply to selected pictures"));
  applySelected_->setObjectName(QStringLiteral("applySelected"));
  applySelected_->setToolTip(
      tr("These settings for the pictures selected in the list (the resolution only where "
         "the picture stores none)"));
  applyAll_ = new QPushButton(tr("Apply to all pictures"));
  applyAll_->setObjectName(QStringLiteral("applyAll"));
  applyAll_->setToolTip(applySelected_->toolTip().replace(tr("selected in the list"), tr("open")));
  form->addRow(applySelected_);
  form->addRow(applyAll_);
  connect(applySelected_, &QPushButton::clicked, this, [this] { ApplyToPictures(false); });
  connect(applyAll_, &QPushButton::clicked, this, [this] { ApplyToPictures(true); });
  layout->addWidget(box);

  // What the report says besides the shots, per picture, saved with them.
  auto* report = new QGroupBox(tr("Report"));
  auto* reportForm = new QFormLayout(report);
  const auto infoEdit = [&](QLineEdit*& edit, const char* name, const QString& label,
                            const QString& hint) {
    edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setPlaceholderText(hint);
    reportForm->addRow(label, edit);
    connect(edit, &QLineEdit::editingFinished, this, [this] {
      if (!current_ || current_->State() == Stage::Failed || current_->State() == Stage::Loading)
        return;
      current_->SetInfo({shooter_->text().toStdString(), event_->text().toStdString(),
                         date_->text().toStdString(), note_->text().toStdString()});
    });
  };
  infoEdit(shooter_, "shooter", tr("&Shooter"), tr("name"));
  infoEdit(event_, "event", tr("Eve&nt"), tr("match, training..."));
  infoEdit(date_, "date", tr("Da&te"), tr("e.g. 2026-12-09"));
  infoEdit(note_, "note", tr("Note"), tr("anything worth keeping"));
  layout->addWidget(report);
  panel->setMinimumWidth(240);
  panel->setMaximumWidth(360);

  const auto fail = [this](const std::string& reason) {
    transient_ = Local(reason);
    RefreshStatus();
    return false;
  };
  connect(calibre_->lineEdit(), &QLineEdit::editingFinished, this, [this, fail] {
    ApplySetting([&](ReviewSettings& settings) {
      std::string reason;
      const auto mm = ParseCalibreChoice(calibre_->currentText().trimmed().toStdString(), &reason);
      if (!mm) return fail(reason);
      settings.calibreMm = *mm;
      return true;
    });
  });
  connect(calibre_, &QComboBox::activated, this, [this] {
    ApplySetting([&](ReviewSettings& settings) {
      const auto mm = ParseCalibreChoice(calibre_->currentText().toStdString());
      if (mm) settings.calibreMm = *mm;
      return mm.has_value();
    });
  });
  connect(dpi_, &QDoubleSpinBox::valueChanged, this, [this](double dpi) {
    ApplySetting([dpi](ReviewSettings& settings) {
      settings.dpi = dpi;
      settings.dpiSource = calibrated::ResolutionSource::Option;
      return true;
    });
  });
  connect(holes_, &QComboBox::activated, this, [this] {
    ApplySetting([this](ReviewSettings& settings) {
      settings.look = static_cast<shots::HoleLook>(holes_->currentData().toInt());
      return true;
    });
  });
  connect(face_, &QComboBox::activated, this, [this] {
    ApplySetting([this](ReviewSettings& settings) {
      settings.face = face_->currentData().toString().toStdString();
      return true;
    });
  });
  connect(distance_, &QLineEdit::editingFinished, this, [this, fail] {
    ApplySetting([&](ReviewSettings& settings) {
      const std::string text = distance_->text().trimmed().toStdString();
      std::string reason;
      if (!text.empty() && !score::ParseDistance(text, &reason)) return fail(reason);
      settings.distance = text;
      return true;
    });
  });
  return panel;
}

QWidget* ReviewWindow::BuildNumbersPanel() {
  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(4, 4, 4, 4);
  table_ = new QTableView;
  table_->setObjectName(QStringLiteral("shots"));
  table_->setModel(&shotTable_);
  table_->setSelectionModel(&shotSelection_);
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  // The last column, "edited", is short: the table keeps its width for the numbers.
  table_->horizontalHeader()->setStretchLastSection(false);
  layout->addWidget(table_, 1);
  stats_ = new QLabel;
  stats_->setObjectName(QStringLiteral("statistics"));
  stats_->setTextFormat(Qt::RichText);
  stats_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  stats_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  stats_->setWordWrap(true);
  // The statistics (with series subtotals, a note) scroll when the window is too low.
  auto* statsArea = new QScrollArea;
  statsArea->setWidgetResizable(true);
  statsArea->setFrameShape(QFrame::NoFrame);
  statsArea->setMinimumHeight(200);
  statsArea->setWidget(stats_);
  layout->addWidget(statsArea, 1);
  // Wide enough for every column of the table, series and subtotals with them.
  panel->setMinimumWidth(430);
  return panel;
}

// A new picture starts from the calibre, face and distance chosen last, shown in the settings
// as they are. Its resolution is the file's or unknown, never the last picture's, and its
// holes are looked for in both looks: what one scan needed says nothing of the next.
ReviewSettings ReviewWindow::DefaultSettings() const {
  QSettings stored;
  ReviewSettings settings;
  settings.calibreMm = stored.value("settings/calibre_mm", settings.calibreMm).toDouble();
  settings.face = stored.value("settings/face").toString().toStdString();
  settings.distance = stored.value("settings/distance").toString().toStdString();
  // What another version or a hand edit left there may not be usable.
  if (SettingsProblem(settings)) settings = {};
  settings.dpi = 0;
  settings.dpiSource = calibrated::ResolutionSource::Option;
  return settings;
}

void ReviewWindow::RememberSettings(const ReviewSettings& settings) const {
  QSettings stored;
  stored.setValue("settings/calibre_mm", settings.calibreMm);
  stored.setValue("settings/face", Local(settings.face));
  stored.setValue("settings/distance", Local(settings.distance));
}

void ReviewWindow::OpenFiles(const std::vector<std::string>& paths) {
  pendingShow_.clear();
  for (const std::string& path : paths) {
    const auto& open = pictures_.Documents();
    const auto same = std::find_if(open.begin(), open.end(),
                                   [&](const auto& document) { return document->Path() == path; });
    if (same != open.end()) {
      if (pendingShow_.empty()) SetCurrent(same->get());
      continue;
    }
    ReviewDocument* document =
        pictures_.Add(std::make_unique<ReviewDocument>(path, DefaultSettings()));
    undoGroup_.addStack(&document->UndoStack());
    connect(document, &ReviewDocument::stateChanged, this, [this] { RefreshStatus(); });
    connect(document, &ReviewDocument::shotsChanged, this, [this, document] {
      // An undo may give back settings with the shots.
      if (document == current_) {
        RefreshStatistics();
        ShowSettings();
      }
    });
    pendingShow_.push_back(document);
    analyser_.Request(document, JobKind::Open);
  }
  RefreshStatus();
}

void ReviewWindow::JobFinished(ReviewDocument* document) {
  if (!pendingShow_.empty() && pendingShow_.front() == document) {
    if (document->State() == Stage::Failed) {
      transient_ = tr("cannot open %1: %2").arg(document->Name(), Local(document->Problem()));
      pendingShow_.erase(pendingShow_.begin());
    } else {
      pendingShow_.clear();
      SetCurrent(document);
    }
  } else if (document->State() == Stage::Failed) {
    transient_ = tr("cannot open %1: %2").arg(document->Name(), Local(document->Problem()));
  }
  if (document == current_) {
    ShowSettings();
    RefreshStatistics();
  }
  RefreshStatus();
}

void ReviewWindow::SetCurrent(ReviewDocument* document) {
  if (document == current_) return;
  if (document && document->State() == Stage::Failed) {
    transient_ = tr("cannot open %1: %2").arg(document->Name(), Local(document->Problem()));
    RefreshStatus();
    return;
  }
  current_ = document;
  transient_.clear();
  undoGroup_.setActiveStack(document ? &document->UndoStack() : nullptr);
  shotTable_.SetDocument(document);
  // The list shows it as current; its news of that comes back here and finds it so.
  list_->selectionModel()->setCurrentIndex(pictures_.index(pictures_.RowOf(document)),
                                           QItemSelectionModel::ClearAndSelect);
  setWindowTitle(document ? tr("%1 - holescan-review").arg(document->Name())
                          : tr("holescan-review"));
  ShowSettings();
  RefreshStatistics();
  RefreshStatus();
}

void ReviewWindow::ShowSettings() {
  const ReviewSettings settings = current_ ? current_->Settings() : DefaultSettings();
  const QSignalBlocker b1(calibre_), b2(dpi_), b3(holes_), b4(face_), b5(distance_), b6(series_),
      b7(expected_);
  series_->setValue(settings.seriesShots);
  expected_->setValue(settings.expectedShots);
  const ReportInfo info = current_ ? current_->Info() : ReportInfo{};
  shooter_->setText(QString::fromStdString(info.shooter));
  event_->setText(QString::fromStdString(info.event));
  date_->setText(QString::fromStdString(info.date));
  note_->setText(QString::fromStdString(info.note));
  calibre_->setEditText(Local(CalibreText(settings.calibreMm)));
  dpi_->setValue(settings.dpi);
  // An unknown resolution is the one thing to give before anything is shown: it says so.
  dpi_->setStyleSheet(current_ && settings.dpi == 0
                          ? QStringLiteral("QDoubleSpinBox { background: #ffe08a; }")
                          : QString());
  // A measured resolution says so where it is read, not only in its tooltip.
  dpi_->setSuffix(settings.dpiSource == calibrated::ResolutionSource::Face
                      ? tr(" ppi, from the face")
                      : tr(" ppi"));
  dpi_->setToolTip(settings.dpiSource == calibrated::ResolutionSource::File
                       ? tr("as the picture file stores it")
                   : settings.dpiSource == calibrated::ResolutionSource::Face
                       ? tr("measured on the face's black (the picture stores none)")
                       : tr("as given (the picture stores none, or it was changed)"));
  holes_->setCurrentIndex(holes_->findData(int(settings.look)));
  face_->setCurrentIndex(std::max(0, face_->findData(Local(settings.face))));
  distance_->setText(Local(settings.distance));
}

void ReviewWindow::ApplySetting(const std::function<bool(ReviewSettings&)>& change) {
  if (!current_ || current_->State() == Stage::Failed || current_->State() == Stage::Loading)
    return;
  ReviewSettings settings = current_->Settings();
  if (!change(settings)) {
    ShowSettings();
    return;
  }
  if (auto problem = SettingsProblem(settings)) {
    transient_ = Local(*problem);
    ShowSettings();
    RefreshStatus();
    return;
  }
  transient_.clear();
  RememberSettings(settings);
  switch (current_->SetSettings(settings)) {
    case ReviewDocument::Rework::Shots:
      analyser_.Request(current_, JobKind::Shots);
      break;
    case ReviewDocument::Rework::Score:
    case ReviewDocument::Rework::None:
      break;
  }
  ShowSettings();
  RefreshStatus();
}

void ReviewWindow::RefreshStatistics() {
  if (!current_) {
    stats_->setText(
        tr("<i>Open a picture: File &gt; Open, drop it here, or name it on the "
           "command line.</i>"));
    return;
  }
  QString html = QStringLiteral("<table cellspacing='2'>");
  for (const StatLine& line : StatLines(*current_))
    html += QStringLiteral("<tr><td><b>%1</b>&nbsp;&nbsp;</td><td>%2</td></tr>")
                .arg(line.label.toHtmlEscaped(), line.value.toHtmlEscaped());
  html += QStringLiteral("</table>");
  stats_->setText(html);
}

void ReviewWindow::RefreshStatus() {
  QString text = transient_;
  if (text.isEmpty() && current_) {
    switch (current_->State()) {
      case Stage::Loading:
        text = tr("opening %1").arg(current_->Name());
        break;
      case Stage::Analysing:
        text = tr("analysing %1").arg(current_->Name());
        break;
      case Stage::Failed:
      case Stage::Ready:
        text = Local(current_->Problem());
        break;
    }
    if (text.isEmpty())
      text = tr("%1 shots. Ctrl+click adds a shot, Delete removes the selected ones, drag moves "
                "one.")
                 .arg(current_->Shots().size());
  }
  if (text.isEmpty() && analyser_.Busy()) text = tr("opening...");
  message_->setText(text);
}

void ReviewWindow::AddShotAt(QPointF point) {
  if (!current_ || !current_->PictureData() || current_->State() != Stage::Ready) return;
  if (current_->Settings().dpi == 0) {
    transient_ = tr("give the resolution of %1 first").arg(current_->Name());
    RefreshStatus();
    return;
  }
  ReviewShot shot;
  try {
    shot = calibrated::ShotAtPoint(current_->PictureData()->View(),
                                   CalibratedOf(current_->Settings()), point.x(), point.y());
  } catch (const std::invalid_argument& error) {
    transient_ = Local(error.what());
    RefreshStatus();
    return;
  }
  transient_.clear();
  current_->AddShot(shot);
  view_->SelectShots({static_cast<int>(current_->Shots().size()) - 1});
  RefreshStatus();
}

void ReviewWindow::DeleteSelected() {
  if (!current_) return;
  const std::vector<int> selected = view_->SelectedShots();
  if (selected.empty()) {
    transient_ = tr("no shot is selected");
    RefreshStatus();
    return;
  }
  view_->SelectShots({});
  current_->DeleteShots(selected);
  transient_.clear();
  RefreshStatus();
}

bool ReviewWindow::Save() {
  if (!current_ || current_->State() != Stage::Ready) {
    transient_ = tr("nothing to save");
    RefreshStatus();
    return false;
  }
  if (current_->Settings().dpi == 0) {
    transient_ = tr("cannot save %1: give its resolution first").arg(current_->Name());
    RefreshStatus();
    return false;
  }
  const std::string path = ShotsFilePath(current_->Path());
  if (auto problem = WriteShotsFile(
          path, current_->Name().toStdString(),
          {current_->Settings(), current_->Shots(), current_->Info(), &current_->Result()})) {
    transient_ = Local(*problem);
    RefreshStatus();
    return false;
  }
  current_->MarkSaved();
  transient_ = tr("saved %1").arg(Local(path));
  RefreshStatus();
  return true;
}

std::vector<std::string> OpenPaths(const std::vector<std::unique_ptr<ReviewDocument>>& documents) {
  std::vector<std::string> paths;
  for (const auto& document : documents) paths.push_back(document->Path());
  return paths;
}

void ReviewWindow::Export() {
  if (!current_ || !current_->PictureData() || current_->State() != Stage::Ready) {
    transient_ = tr("nothing to export");
    RefreshStatus();
    return;
  }
  const QString suggested = Local(ProposedExportBase(current_->Path(), OpenPaths(Documents())));
  const QString base = QFileDialog::getSaveFileName(
      this, tr("Export: CSV, JSON, annotated PNG and PDF report"), suggested,
      tr("Base name (the files get %1) (*)").arg(QString::fromStdString(ExportSuffixes())), nullptr,
      QFileDialog::DontConfirmOverwrite);
  if (base.isEmpty()) return;
  ExportTo(base);
}

bool ReviewWindow::ExportTo(const QString& base) {
  const auto refuse = [this](const QString& reason) {
    transient_ = reason;
    RefreshStatus();
    return false;
  };
  if (!current_ || !current_->PictureData() || current_->State() != Stage::Ready)
    return refuse(tr("nothing to export"));
  if (current_->Settings().dpi == 0)
    return refuse(tr("cannot export %1: give its resolution first").arg(current_->Name()));
  if (Exporting()) return refuse(tr("an export is running"));
  QString stem = base;
  for (const results::Output* output : ExportedOutputs()) {
    const QString suffix =
        QString::fromUtf8(output->suffix.data(), static_cast<qsizetype>(output->suffix.size()));
    if (stem.endsWith(suffix)) stem.chop(suffix.size());
  }
  const ExportPaths paths = ExportPathsFor(Bytes(stem));
  if (auto clash = ExportClash(paths, OpenPaths(Documents()))) return refuse(Local(*clash));
  if (!MayReplace(paths)) return false;
  exportSnapshots_.clear();
  exportSnapshots_.push_back(current_->Snapshot());
  exportDone_ = tr("exported %1%2").arg(stem, QString::fromStdString(ExportSuffixes()));
  exportCancel_ = false;
  exportProgress_ = 0;
  const ReviewDocument* snapshot = exportSnapshots_.front().get();
  const std::string where = Bytes(stem);
  const QDateTime when = QDateTime::currentDateTime();
  exportWatcher_.setFuture(QtConcurrent::run([this, snapshot, where, when] {
    return ExportAll(*snapshot, where, when, [this](double fraction) {
      exportProgress_ = fraction;
      return !exportCancel_.load();
    });
  }));
  exportPoll_.start();
  transient_ = tr("exporting %1...").arg(stem);
  RefreshBusy();
  RefreshStatus();
  return true;
}

bool ReviewWindow::MayReplace(const ExportPaths& paths) {
  const std::vector<std::string> existing = ExistingFiles(paths);
  if (existing.empty()) return true;
  QStringList names;
  for (const std::string& path : existing) names << QFileInfo(Local(path)).fileName();
  const QString text = tr("Replace %1 (already there)?").arg(names.join(", "));
  const int answer =
      question_ ? question_(text)
                : QMessageBox::question(this, tr("Replace files"), text,
                                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer == QMessageBox::Yes) return true;
  transient_ = tr("export not written: the files are kept");
  RefreshStatus();
  return false;
}

void ReviewWindow::ExportReportsDialog() {
  if (Documents().empty()) {
    transient_ = tr("nothing to export");
    RefreshStatus();
    return;
  }
  const QString suggested = Local(ProposedReportsPath(OpenPaths(Documents())));
  const QString path =
      QFileDialog::getSaveFileName(this, tr("Export all pictures to one PDF"), suggested,
                                   tr("PDF (*.pdf)"), nullptr, QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return;
  ExportReportsTo(path);
}

bool ReviewWindow::ExportReportsTo(const QString& chosen) {
  const auto refuse = [this](const QString& reason) {
    transient_ = reason;
    RefreshStatus();
    return false;
  };
  if (Exporting()) return refuse(tr("an export is running"));
  // Pictures still analysing, failed or without a resolution are left out, and said so.
  std::vector<std::unique_ptr<ReviewDocument>> snapshots;
  int left = 0;
  for (const auto& document : Documents()) {
    if (document->PictureData() && document->State() == Stage::Ready &&
        document->Settings().dpi > 0)
      snapshots.push_back(document->Snapshot());
    else
      ++left;
  }
  if (snapshots.empty()) return refuse(tr("nothing to export: no picture is ready"));
  const QString path = chosen.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)
                           ? chosen
                           : chosen + QStringLiteral(".pdf");
  const ExportPaths paths = ReportsPaths(Bytes(path));
  if (auto clash = ExportClash(paths, OpenPaths(Documents()))) return refuse(Local(*clash));
  if (!MayReplace(paths)) return false;
  exportSnapshots_ = std::move(snapshots);
  const auto pages = exportSnapshots_.size();
  exportDone_ = pages == 1 ? tr("exported %1: 1 page").arg(path)
                           : tr("exported %1: %2 pages").arg(path).arg(pages);
  if (left > 0)
    exportDone_ += left == 1 ? tr(", 1 picture not ready left out")
                             : tr(", %1 pictures not ready left out").arg(left);
  exportCancel_ = false;
  exportProgress_ = 0;
  std::vector<const ReviewDocument*> documents;
  for (const auto& snapshot : exportSnapshots_) documents.push_back(snapshot.get());
  const std::string where = Bytes(path);
  const QDateTime when = QDateTime::currentDateTime();
  exportWatcher_.setFuture(QtConcurrent::run([this, documents, where, when] {
    std::vector<std::string> problems;
    if (auto problem = ExportReports(documents, where, when, [this](double fraction) {
          exportProgress_ = fraction;
          return !exportCancel_.load();
        }))
      problems.push_back(*problem);
    return problems;
  }));
  exportPoll_.start();
  transient_ = tr("exporting %1...").arg(path);
  RefreshBusy();
  RefreshStatus();
  return true;
}

void ReviewWindow::WaitExport() {
  while (Exporting()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (Exporting()) QThread::msleep(2);
  }
  QCoreApplication::processEvents();
}

void ReviewWindow::RefreshBusy() {
  const bool busy = analyser_.Busy() || Exporting();
  progress_->setVisible(busy);
  cancel_->setVisible(busy);
}

void ReviewWindow::ApplyToPictures(bool all) {
  if (!current_) return;
  std::vector<ReviewDocument*> targets;
  for (int row = 0; row < pictures_.rowCount(); ++row) {
    ReviewDocument* document = pictures_.At(row);
    if (document == current_ || document->State() == Stage::Failed ||
        document->State() == Stage::Loading)
      continue;
    if (all || list_->selectionModel()->isRowSelected(row)) targets.push_back(document);
  }
  const ReviewSettings given = current_->Settings();
  for (ReviewDocument* document : targets) {
    ReviewSettings settings = given;
    // A resolution the picture stores is its own.
    // So is one measured on its face, and the current picture's measured one is not another's.
    if (document->Settings().dpiSource == calibrated::ResolutionSource::File || given.dpi == 0 ||
        given.dpiSource == calibrated::ResolutionSource::Face) {
      settings.dpi = document->Settings().dpi;
      settings.dpiSource = document->Settings().dpiSource;
    }
    switch (document->SetSettings(settings)) {
      case ReviewDocument::Rework::Shots:
        analyser_.Request(document, JobKind::Shots);
        break;
      case ReviewDocument::Rework::Score:
      case ReviewDocument::Rework::None:
        break;
    }
  }
  transient_ =
      targets.empty()
          ? (all ? tr("no other picture is open") : tr("no other picture is selected in the list"))
          : tr("settings given to %n picture(s)", nullptr, static_cast<int>(targets.size()));
  RefreshStatus();
}

void ReviewWindow::ShowHelp() {
  // Not modal: it may stay open beside the work.
  if (help_) {
    help_->show();
    help_->raise();
    return;
  }
  help_ = new QMessageBox(this);
  QMessageBox& box = *help_;
  box.setObjectName(QStringLiteral("helpPage"));
  box.setWindowTitle(tr("holescan-review Help"));
  box.setTextFormat(Qt::RichText);
  box.setModal(false);
  box.setText(tr(
      "<h3>A scan's way</h3><ol>"
      "<li>Scan the target (300 ppi or more; the resolution stored in the file is used).</li>"
      "<li>Open it: File &gt; Open (Ctrl+O), drop it on the window, or name it on the "
      "command line. Several pictures may be open; the list on the left shows each.</li>"
      "<li>Check the settings: calibre, resolution (a picture storing none is measured on "
      "the face's black; without a face it shows <i>resolution unknown</i> and is not "
      "analysed until it is given), holes, face and "
      "distance. <i>Apply to selected / all pictures</i> gives them to others.</li>"
      "<li>Check the shots: add, move or delete what the analysis got wrong.</li>"
      "<li>Save (Ctrl+S) keeps the shots beside the picture (PICTURE.shots.json); Export "
      "(Ctrl+E) writes NAME-shots.csv, .json, .png and .pdf; Ctrl+Shift+E writes one PDF "
      "of every ready picture, a page each. No export replaces a picture "
      "that is open; other files are replaced only when you say so.</li></ol>"
      "<h3>Keys and mouse</h3><table cellspacing='4'>"
      "<tr><td><b>Ctrl+click</b></td><td>add a shot (on the hole there, if one is found)</td></tr>"
      "<tr><td><b>drag a shot</b></td><td>move it</td></tr>"
      "<tr><td><b>click, Shift+click</b></td><td>select shots (the table follows)</td></tr>"
      "<tr><td><b>Delete</b></td><td>delete the selected shots</td></tr>"
      "<tr><td><b>Ctrl+Up, Ctrl+Down</b></td><td>move the selected shot earlier or later in "
      "the order (series of N shots are counted in this order; the table shades every "
      "second series and gives each series' subtotal on its last row)</td></tr>"
      "<tr><td><b>Shots &gt; Renumber</b></td><td>a shot keeps its number when others are "
      "deleted or moved; this numbers them 1, 2, ... in the table's order again</td></tr>"
      "<tr><td><b>View &gt; Scores Beside Holes</b></td><td>each scored shot's score beside "
      "its number on the picture</td></tr>"
      "<tr><td><b>Ctrl+Z, Ctrl+Shift+Z</b></td><td>undo, redo (settings and shots "
      "together)</td></tr>"
      "<tr><td><b>drag the paper, wheel</b></td><td>pan, zoom</td></tr>"
      "<tr><td><b>+ / -, Ctrl+0, Ctrl+1</b></td><td>zoom in, out, fit, actual size</td></tr>"
      "<tr><td><b>Ctrl+O, Ctrl+S, Ctrl+E</b></td><td>open, save, export</td></tr>"
      "<tr><td><b>Ctrl+Shift+E</b></td><td>one PDF of all pictures</td></tr>"
      "<tr><td><b>Ctrl+Q</b></td><td>quit (offers to save every changed picture)</td></tr>"
      "<tr><td><b>F1</b></td><td>this page</td></tr></table>"));
  box.setStandardButtons(QMessageBox::Close);
  box.show();
}

void ReviewWindow::OpenDialog() {
  const QStringList names = QFileDialog::getOpenFileNames(
      this, tr("Open pictures"), QString(),
      tr("Pictures (*.bmp *.png *.jpg *.jpeg *.tif *.tiff *.gif *.webp *.pbm *.pgm *.ppm);;"
         "All files (*)"));
  std::vector<std::string> paths;
  for (const QString& name : names) paths.push_back(Bytes(name));
  if (!paths.empty()) OpenFiles(paths);
}

void ReviewWindow::closeEvent(QCloseEvent* event) {
  // What is being analysed or exported ends first, so every changed picture is offered.
  analyser_.WaitIdle();
  WaitExport();
  std::vector<ReviewDocument*> unsaved;
  for (const auto& document : Documents())
    if (document->State() == Stage::Ready && document->Modified())
      unsaved.push_back(document.get());
  if (!unsaved.empty()) {
    QStringList names;
    for (ReviewDocument* document : unsaved) names << document->Name();
    const QString text = tr("Save the edits of %1 before closing?").arg(names.join(", "));
    const int answer =
        question_
            ? question_(text)
            : QMessageBox::question(this, tr("Unsaved edits"), text,
                                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                    QMessageBox::Save);
    if (answer == QMessageBox::Cancel) {
      event->ignore();
      return;
    }
    if (answer == QMessageBox::Save) {
      ReviewDocument* was = current_;
      for (ReviewDocument* document : unsaved) {
        SetCurrent(document);
        if (!Save()) {
          event->ignore();
          return;
        }
      }
      SetCurrent(was);
    }
  }
  analyser_.CancelAll();
  analyser_.WaitIdle();
  event->accept();
}

void ReviewWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ReviewWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(Bytes(url.toLocalFile()));
  if (paths.empty()) return;
  event->acceptProposedAction();
  OpenFiles(paths);
}

}  // namespace holescan::review
