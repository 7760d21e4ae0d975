// The window on Qt's offscreen platform: a generated card opened, analysed, corrected with
// the mouse and keys, saved, reopened, and a picture that cannot be opened.
#include "review/review_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <fstream>

#include "review/exports.h"
#include "review/numbers.h"
#include "review/picture_image.h"
#include "review/shot_view.h"
#include "review/shots_file.h"
#include "review_support.h"

namespace holescan::review {
namespace {

using holescan::testing::Screenshot;
using holescan::testing::WaitIdle;

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings stored;
    stored.clear();
    stored.setValue("settings/dpi", 150.0);
    stored.setValue("settings/face", "issf-air-rifle");
    card_ = holescan::testing::WriteCard(dir_, "card.bmp", 150, holescan::testing::FiveShots());
    window_.show();
    window_.OpenFiles({card_.path});
    WaitIdle(window_.Analysis());
    ASSERT_NE(window_.Current(), nullptr);
    document_ = window_.Current();
    view_ = window_.View();
    table_ = window_.findChild<QTableView*>("shots");
    // What the engine finds on the card: the window must show exactly that, and every true
    // hole among it.
    calibrated::CalibratedSettings settings;
    settings.dpi = 150;
    settings.face = score::FindFace("issf-air-rifle");
    found_ = calibrated::AnalysePicture(card_.target.picture.View(), settings).shots.size();
  }
  QString Message() const { return window_.findChild<QLabel*>("message")->text(); }
  QString Cell(int row, int column) const {
    return table_->model()->index(row, column).data().toString();
  }
  QPoint At(double x, double y) const { return view_->ViewportPoint({x, y}); }
  void Drag(QPoint from, QPoint to) {
    QTest::mousePress(view_->viewport(), Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4; ++step) {
      QMouseEvent move(QEvent::MouseMove, from + (to - from) * step / 4,
                       view_->viewport()->mapToGlobal(from + (to - from) * step / 4), Qt::NoButton,
                       Qt::LeftButton, {});
      QCoreApplication::sendEvent(view_->viewport(), &move);
    }
    QTest::mouseRelease(view_->viewport(), Qt::LeftButton, {}, to);
  }

  QTemporaryDir dir_;
  holescan::testing::CardOnDisk card_;
  ReviewWindow window_;
  std::size_t found_ = 0;
  ReviewDocument* document_ = nullptr;
  ShotView* view_ = nullptr;
  QTableView* table_ = nullptr;
};

TEST_F(Window, opens_analyses_and_is_corrected_with_the_mouse_and_keys) {
  const auto& shots = document_->Shots();
  Screenshot(window_, "opened");
  ASSERT_EQ(shots.size(), found_);
  for (const auto& truth : card_.target.shots)
    EXPECT_TRUE(std::any_of(shots.begin(), shots.end(),
                            [&](const ReviewShot& shot) {
                              return std::hypot(shot.x - truth.x, shot.y - truth.y) < 1.0;
                            }))
        << truth.x << ", " << truth.y;
  const int n = static_cast<int>(found_);
  EXPECT_EQ(table_->model()->rowCount(), n);
  ASSERT_TRUE(document_->Aim());
  EXPECT_NEAR(document_->Aim()->x, card_.target.aimX, 1.0);
  EXPECT_TRUE(window_.findChild<QLabel*>("statistics")->text().contains("Total"));

  // Ctrl+click on bare card adds a shot there; a click near a hole adds one on the hole.
  const QPointF bare(card_.target.aimX + 10 * 150 / 25.4, card_.target.aimY + 25 * 150 / 25.4);
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::ControlModifier, At(bare.x(), bare.y()));
  ASSERT_EQ(shots.size(), found_ + 1);
  EXPECT_NEAR(shots[found_].x, bare.x(), 1.0 / view_->Zoom());
  EXPECT_TRUE(shots[found_].edited);
  EXPECT_EQ(table_->model()->rowCount(), n + 1);
  EXPECT_EQ(Cell(n, kEditedColumn), "edited");
  EXPECT_EQ(table_->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(table_->selectionModel()->selectedRows().front().row(), n);
  Screenshot(window_, "added");

  QTest::keyClick(&window_, Qt::Key_Delete);
  ASSERT_EQ(shots.size(), found_);
  EXPECT_EQ(table_->model()->rowCount(), n);
  QTest::keyClick(&window_, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(shots.size(), found_ + 1);
  QTest::keyClick(&window_, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(shots.size(), found_);

  const auto& truth = card_.target.shots[2];  // a dark hole on the white
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    At(truth.x + 3, truth.y - 2));
  ASSERT_EQ(shots.size(), found_ + 1);
  EXPECT_LT(std::hypot(shots[found_].x - truth.x, shots[found_].y - truth.y), 1.5);
  document_->UndoStack().undo();

  // Dragging a shot moves it and marks it edited; the table follows.
  const ReviewShot before = shots[1];
  const QPoint from = At(before.x, before.y);
  Drag(from, from + QPoint(30, 10));
  EXPECT_NEAR(shots[1].x - before.x, 30 / view_->Zoom(), 0.01);
  EXPECT_NEAR(shots[1].y - before.y, 10 / view_->Zoom(), 0.01);
  EXPECT_TRUE(shots[1].edited);
  EXPECT_EQ(Cell(1, kEditedColumn), "edited");
  document_->UndoStack().undo();
  EXPECT_EQ(shots[1], before);

  // Selection both ways.
  table_->selectRow(2);
  EXPECT_EQ(view_->SelectedShots(), std::vector<int>{2});
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, At(shots[3].x, shots[3].y));
  ASSERT_EQ(table_->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(table_->selectionModel()->selectedRows().front().row(), 3);
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                    At(shots[0].x, shots[0].y));
  EXPECT_EQ(view_->SelectedShots(), (std::vector<int>{0, 3}));
  EXPECT_EQ(table_->selectionModel()->selectedRows().size(), 2);
  Screenshot(window_, "selected");
  if (const QString folder = qEnvironmentVariable("HOLESCAN_REVIEW_SCREENSHOTS");
      !folder.isEmpty()) {
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_TRUE(ExportAll(*document_, (folder + "/export").toStdString(), now).empty());
    ReportImage(*document_, now, 100).save(folder + "/export-report.png");
  }
  QTest::keyClick(&window_, Qt::Key_Delete);
  EXPECT_EQ(shots.size(), found_ - 2);
  EXPECT_EQ(table_->model()->rowCount(), n - 2);
}

TEST_F(Window, zooms_with_keys_and_wheel_and_fits_again) {
  const double fit = view_->Zoom();
  QTest::keyClick(&window_, Qt::Key_Plus);
  EXPECT_NEAR(view_->Zoom(), fit * 1.25, 1e-9);
  QTest::keyClick(&window_, Qt::Key_Minus);
  EXPECT_NEAR(view_->Zoom(), fit, 1e-9);
  // The picture point under the cursor stays under it, once the picture is larger than the
  // view (a picture smaller than the view stays centred in it, whatever the cursor).
  QTest::keyClick(&window_, Qt::Key_Plus);
  QTest::keyClick(&window_, Qt::Key_Plus);
  const double zoomed = view_->Zoom();
  const QPoint cursor = At(card_.target.aimX + 40, card_.target.aimY);
  const QPointF before = view_->mapToScene(cursor);
  QWheelEvent wheel(cursor, view_->viewport()->mapToGlobal(cursor), {}, {0, 240}, Qt::NoButton, {},
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(view_->viewport(), &wheel);
  EXPECT_NEAR(view_->Zoom(), zoomed * 1.5625, 1e-9);
  const QPointF after = view_->mapToScene(cursor);
  EXPECT_LT(std::hypot(after.x() - before.x(), after.y() - before.y()), 2 / view_->Zoom());
  Screenshot(window_, "zoomed");
  QTest::keyClick(&window_, Qt::Key_1, Qt::ControlModifier);
  EXPECT_EQ(view_->Zoom(), 1.0);
  QTest::keyClick(&window_, Qt::Key_0, Qt::ControlModifier);
  EXPECT_NEAR(view_->Zoom(), fit, 1e-9);
}

TEST_F(Window, saved_shots_come_back_instead_of_a_new_analysis) {
  document_->AddShot(20, 30);
  document_->DeleteShots({0});
  const std::vector<ReviewShot> saved = document_->Shots();
  EXPECT_TRUE(window_.Save());
  EXPECT_FALSE(document_->Modified());
  EXPECT_TRUE(Message().startsWith("saved "));

  ReviewWindow again;
  again.OpenFiles({card_.path});
  WaitIdle(again.Analysis());
  ASSERT_NE(again.Current(), nullptr);
  EXPECT_EQ(again.Current()->Shots(), saved);
  EXPECT_EQ(again.Current()->Settings(), document_->Settings());
  EXPECT_FALSE(again.Current()->Modified());
  EXPECT_EQ(again.findChild<QTableView*>("shots")->model()->rowCount(),
            static_cast<int>(saved.size()));

  // A damaged saved file is named, and the picture analysed afresh.
  std::ofstream(ShotsFilePath(card_.path), std::ios::trunc) << "{\"format\": 3";
  ReviewWindow third;
  third.OpenFiles({card_.path});
  WaitIdle(third.Analysis());
  ASSERT_NE(third.Current(), nullptr);
  EXPECT_EQ(third.Current()->Shots().size(), found_);
  EXPECT_TRUE(QString::fromStdString(third.Current()->Problem()).contains("cannot read"))
      << third.Current()->Problem();
}

TEST_F(Window, a_picture_that_cannot_be_opened_shows_why_and_changes_nothing_else) {
  const std::string bad = dir_.filePath("notes.png").toStdString();
  std::ofstream(bad) << "not a picture at all";
  window_.OpenFiles({bad, dir_.filePath("missing.bmp").toStdString()});
  WaitIdle(window_.Analysis());
  EXPECT_EQ(window_.Current(), document_);
  EXPECT_EQ(table_->model()->rowCount(), static_cast<int>(found_));
  auto* list = window_.findChild<QListView*>("pictures");
  ASSERT_EQ(list->model()->rowCount(), 3);
  EXPECT_EQ(list->model()->index(1, 0).data().toString(), "notes.png: not a picture");
  EXPECT_EQ(list->model()->index(2, 0).data().toString(), "missing.bmp: no such file");
  EXPECT_TRUE(Message().startsWith("cannot open ")) << Message().toStdString();
  EXPECT_EQ(list->currentIndex().row(), 0);
  Screenshot(window_, "bad-picture");
  // The keyboard moves through the list; a broken entry keeps the shown picture.
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(window_.Current(), document_);
  EXPECT_TRUE(Message().contains("not a picture"));
}

TEST_F(Window, a_setting_analyses_again_and_closing_with_edits_asks) {
  auto* calibre = window_.findChild<QComboBox*>("calibre");
  calibre->setEditText("9 mm");
  emit calibre->lineEdit()->editingFinished();
  WaitIdle(window_.Analysis());
  EXPECT_EQ(document_->Settings().calibreMm, 9.0);
  EXPECT_EQ(QSettings().value("settings/calibre_mm").toDouble(), 9.0);
  EXPECT_EQ(document_->UndoStack().undoText(), "analyse again");
  calibre->setEditText("a lot");
  emit calibre->lineEdit()->editingFinished();
  EXPECT_EQ(document_->Settings().calibreMm, 9.0);
  EXPECT_FALSE(Message().isEmpty());
  EXPECT_EQ(calibre->currentText(), "9 mm");

  int asked = 0;
  int answer = QMessageBox::Cancel;
  window_.SetQuestion([&](const QString& text) {
    ++asked;
    EXPECT_TRUE(text.contains("card.bmp"));
    return answer;
  });
  EXPECT_FALSE(window_.close());
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(window_.isVisible());
  answer = QMessageBox::Discard;
  EXPECT_TRUE(window_.close());
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(Window, export_never_replaces_a_picture_of_the_session) {
  // A second picture named as the first one's export would be by default.
  const auto other =
      holescan::testing::WriteCard(dir_, "card-shots.png", 150, holescan::testing::FiveShots());
  window_.OpenFiles({other.path});
  WaitIdle(window_.Analysis());
  {
    auto* list = window_.findChild<QListView*>("pictures");
    list->setCurrentIndex(list->model()->index(0, 0));
  }
  ASSERT_EQ(window_.Current(), document_);
  const std::string cardBytes = Bytes(card_.path), otherBytes = Bytes(other.path);

  int asked = 0;
  int answer = QMessageBox::No;
  window_.SetQuestion([&](const QString& text) {
    ++asked;
    EXPECT_TRUE(text.startsWith("Replace ")) << text.toStdString();
    return answer;
  });
  EXPECT_FALSE(window_.ExportTo(dir_.filePath("card-shots")));
  EXPECT_EQ(Message().toStdString(),
            "refused: " + other.path + " is the open picture card-shots.png");
  EXPECT_FALSE(window_.ExportTo(QString::fromStdString(card_.path + ".shots")));
  EXPECT_TRUE(Message().startsWith("refused: ")) << Message().toStdString();
  EXPECT_EQ(asked, 0);

  const QString proposed =
      QString::fromStdString(ProposedExportBase(card_.path, {card_.path, other.path}));
  EXPECT_EQ(proposed, dir_.filePath("card-shots-2"));
  ASSERT_TRUE(window_.ExportTo(proposed));
  window_.WaitExport();
  EXPECT_TRUE(Message().startsWith("exported ")) << Message().toStdString();
  for (const char* suffix : {".csv", ".json", ".png", ".pdf"})
    EXPECT_TRUE(QFile::exists(proposed + suffix)) << suffix;

  // Again: the files are there now, and kept unless the user says to replace them.
  std::ofstream(proposed.toStdString() + ".csv", std::ios::trunc) << "mine";
  EXPECT_FALSE(window_.ExportTo(proposed));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Bytes(proposed.toStdString() + ".csv"), "mine");
  answer = QMessageBox::Yes;
  EXPECT_TRUE(window_.ExportTo(proposed));
  window_.WaitExport();
  EXPECT_NE(Bytes(proposed.toStdString() + ".csv"), "mine");
  EXPECT_EQ(Bytes(card_.path), cardBytes);
  EXPECT_EQ(Bytes(other.path), otherBytes);
}

TEST_F(Window, one_pdf_holds_every_ready_picture_a_page_each_and_replaces_no_input) {
  // A second picture under the name the PDF would have by default.
  const auto other = holescan::testing::WriteCard(dir_, "card-all-shots.pdf", 150,
                                                  holescan::testing::FiveShots());
  window_.OpenFiles({other.path});
  WaitIdle(window_.Analysis());
  ASSERT_EQ(window_.Documents().size(), 2u);
  ASSERT_EQ(window_.Documents()[1]->State(), Stage::Ready) << Message().toStdString();
  const std::string otherBytes = Bytes(other.path);
  int asked = 0;
  window_.SetQuestion([&](const QString&) {
    ++asked;
    return QMessageBox::No;
  });
  // A picture of the session is never the PDF.
  EXPECT_FALSE(window_.ExportReportsTo(QString::fromStdString(other.path)));
  EXPECT_EQ(Message().toStdString(),
            "refused: " + other.path + " is the open picture card-all-shots.pdf");
  EXPECT_EQ(Bytes(other.path), otherBytes);
  EXPECT_EQ(asked, 0);

  const QString proposed = QString::fromStdString(ProposedReportsPath({card_.path, other.path}));
  EXPECT_EQ(proposed, dir_.filePath("card-all-shots-2.pdf"));
  ASSERT_TRUE(window_.ExportReportsTo(proposed));
  window_.WaitExport();
  EXPECT_TRUE(Message().startsWith("exported ")) << Message().toStdString();
  EXPECT_TRUE(Message().contains("2 pages")) << Message().toStdString();
  const std::string pdf = Bytes(proposed.toStdString());
  ASSERT_TRUE(pdf.starts_with("%PDF-"));
  std::size_t pages = 0;
  for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos;
       at = pdf.find("/Type /Page", at + 1))
    if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
  EXPECT_EQ(pages, 2u);
  // Written once, it is kept unless the user says otherwise.
  EXPECT_FALSE(window_.ExportReportsTo(proposed));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(Bytes(proposed.toStdString()), pdf);
  EXPECT_EQ(Bytes(other.path), otherBytes);
}

TEST_F(Window, choosing_a_face_ends_ready_and_a_face_not_found_says_so) {
  auto* face = window_.findChild<QComboBox*>("face");
  const auto choose = [&](const char* name) {
    face->setCurrentIndex(face->findData(QString::fromLatin1(name)));
    emit face->activated(face->currentIndex());
    WaitIdle(window_.Analysis());
  };
  choose("");
  EXPECT_EQ(document_->State(), Stage::Ready);
  EXPECT_FALSE(document_->Result().total);
  choose("issf-air-rifle");
  EXPECT_EQ(document_->State(), Stage::Ready);
  ASSERT_TRUE(document_->Result().total);
  EXPECT_TRUE(window_.Save()) << Message().toStdString();
  EXPECT_EQ(document_->UndoStack().undoText(), "analyse again");
  Screenshot(window_, "face-chosen");

  // A blank sheet: no black to find, a note saying so, and still Ready.
  QImage blank(600, 600, QImage::Format_RGB32);
  blank.fill(Qt::white);
  blank.setDotsPerMeterX(5906);  // 150 ppi
  blank.setDotsPerMeterY(5906);
  const QString path = dir_.filePath("blank.png");
  ASSERT_TRUE(blank.save(path));
  window_.OpenFiles({path.toStdString()});
  WaitIdle(window_.Analysis());
  ASSERT_NE(window_.Current(), document_);
  choose("issf-air-pistol");
  EXPECT_EQ(window_.Current()->State(), Stage::Ready);
  EXPECT_TRUE(Message().contains("no point of aim")) << Message().toStdString();
  EXPECT_TRUE(window_.findChild<QLabel*>("statistics")->text().contains("no point of aim"));
  Screenshot(window_, "face-not-found");
}

TEST_F(Window, a_picture_without_resolution_takes_its_faces_scale) {
  // A PPM stores no resolution; the face offered (the last one chosen) measures it.
  const QString path = dir_.filePath("card.ppm");
  ASSERT_TRUE(ImageOf(card_.target.picture).save(path, "PPM"));
  window_.OpenFiles({path.toStdString()});
  WaitIdle(window_.Analysis());
  ReviewDocument* ppm = window_.Current();
  ASSERT_NE(ppm, document_);
  EXPECT_EQ(ppm->State(), Stage::Ready) << Message().toStdString();
  EXPECT_EQ(ppm->Settings().dpiSource, calibrated::ResolutionSource::Face);
  EXPECT_NEAR(ppm->Settings().dpi / 150, 1, 0.003);
  EXPECT_EQ(ppm->Shots().size(), found_);
  ASSERT_TRUE(ppm->Result().total);
  auto* dpi = window_.findChild<QDoubleSpinBox*>("dpi");
  EXPECT_TRUE(dpi->toolTip().startsWith("measured on the face's black"));
  EXPECT_TRUE(dpi->text().endsWith(" ppi, from the face")) << dpi->text().toStdString();
  Screenshot(window_, "resolution-from-face");

  // Another face: its black is not on the picture at any scale the rings allow.
  auto* face = window_.findChild<QComboBox*>("face");
  face->setCurrentIndex(face->findData(QStringLiteral("issf-air-pistol")));
  emit face->activated(face->currentIndex());
  WaitIdle(window_.Analysis());
  EXPECT_EQ(ppm->State(), Stage::Ready);
  EXPECT_TRUE(Message().startsWith("resolution unknown: the picture stores none, and "))
      << Message().toStdString();
  EXPECT_TRUE(Message().contains("the rings are those of ISSF 10 m air rifle"));
  // The right face again measures it again.
  face->setCurrentIndex(face->findData(QStringLiteral("issf-air-rifle")));
  emit face->activated(face->currentIndex());
  WaitIdle(window_.Analysis());
  EXPECT_EQ(ppm->State(), Stage::Ready);
  EXPECT_FALSE(Message().startsWith("resolution unknown")) << Message().toStdString();
  EXPECT_NEAR(ppm->Settings().dpi / 150, 1, 0.003);
  EXPECT_EQ(ppm->Shots().size(), found_);
}

TEST_F(Window, a_picture_without_resolution_shows_no_shots_until_it_is_given) {
  // A PPM stores no resolution, and no face is offered to measure it on; the last picture's
  // 150 ppi must not be taken for it.
  QSettings().setValue("settings/face", QString());
  const QString path = dir_.filePath("card.ppm");
  ASSERT_TRUE(ImageOf(card_.target.picture).save(path, "PPM"));
  window_.OpenFiles({path.toStdString()});
  WaitIdle(window_.Analysis());
  ReviewDocument* ppm = window_.Current();
  ASSERT_NE(ppm, document_);
  EXPECT_EQ(ppm->State(), Stage::Ready);
  EXPECT_EQ(ppm->Settings().dpi, 0);
  EXPECT_TRUE(ppm->Shots().empty());
  EXPECT_EQ(table_->model()->rowCount(), 0);
  auto* dpi = window_.findChild<QDoubleSpinBox*>("dpi");
  EXPECT_EQ(dpi->text(), "resolution unknown");
  EXPECT_TRUE(Message().startsWith("resolution unknown")) << Message().toStdString();
  EXPECT_EQ(ListEntry(*ppm), "card.ppm: resolution unknown");
  EXPECT_FALSE(window_.Save());
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    At(card_.target.aimX, card_.target.aimY));
  EXPECT_TRUE(ppm->Shots().empty());
  Screenshot(window_, "resolution-unknown");

  dpi->setValue(150);
  WaitIdle(window_.Analysis());
  EXPECT_EQ(ppm->Settings().dpi, 150);
  EXPECT_EQ(ppm->Shots().size(), found_);
  EXPECT_EQ(table_->model()->rowCount(), static_cast<int>(found_));
  // The resolution typed is worth keeping: the picture counts as changed.
  EXPECT_TRUE(ppm->Modified());
  Screenshot(window_, "resolution-given");
}

TEST_F(Window, settings_go_to_the_selected_or_all_pictures_and_undo_takes_them_back) {
  const QString ppm = dir_.filePath("card.ppm");
  ASSERT_TRUE(ImageOf(card_.target.picture).save(ppm, "PPM"));
  const auto second =
      holescan::testing::WriteCard(dir_, "second.bmp", 150, holescan::testing::FiveShots());
  window_.OpenFiles({ppm.toStdString(), second.path});
  WaitIdle(window_.Analysis());
  auto* list = window_.findChild<QListView*>("pictures");
  list->setCurrentIndex(list->model()->index(0, 0));
  ASSERT_EQ(window_.Current(), document_);
  auto* calibre = window_.findChild<QComboBox*>("calibre");
  calibre->setEditText("9 mm");
  emit calibre->lineEdit()->editingFinished();
  WaitIdle(window_.Analysis());

  // Selected: only the PPM, which takes the resolution too, as it stores none.
  const auto select = [&](int row, QItemSelectionModel::SelectionFlag flag) {
    list->selectionModel()->select(list->model()->index(row, 0), flag);
  };
  select(0, QItemSelectionModel::Select);
  select(1, QItemSelectionModel::Select);
  select(2, QItemSelectionModel::Deselect);
  window_.ApplyToPictures(false);
  WaitIdle(window_.Analysis());
  const auto& documents = window_.Documents();
  EXPECT_EQ(documents[1]->Settings().calibreMm, 9.0);
  EXPECT_EQ(documents[1]->Settings().dpi, 150);
  EXPECT_EQ(documents[2]->Settings().calibreMm, 4.5);
  window_.ApplyToPictures(true);
  WaitIdle(window_.Analysis());
  EXPECT_EQ(documents[2]->Settings().calibreMm, 9.0);
  EXPECT_EQ(documents[2]->Settings().dpiSource, calibrated::ResolutionSource::File);
  EXPECT_EQ(documents[2]->State(), Stage::Ready);

  // Undo of the analysis gives back the calibre with the shots, and the panel shows it.
  const std::vector<ReviewShot> shots = document_->Shots();
  document_->UndoStack().undo();
  EXPECT_EQ(document_->Settings().calibreMm, 4.5);
  EXPECT_EQ(calibre->currentText(), "4.5 mm");
  EXPECT_EQ(document_->Shots().size(), found_);
  document_->UndoStack().redo();
  EXPECT_EQ(document_->Settings().calibreMm, 9.0);
  EXPECT_EQ(document_->Shots(), shots);
}

TEST_F(Window, quitting_offers_to_save_every_changed_picture) {
  const auto second =
      holescan::testing::WriteCard(dir_, "second.bmp", 150, holescan::testing::FiveShots());
  window_.OpenFiles({second.path});
  WaitIdle(window_.Analysis());
  ReviewDocument* other = window_.Current();
  ASSERT_NE(other, document_);
  other->AddShot(20, 30);
  auto* face = window_.findChild<QComboBox*>("face");
  {
    auto* list = window_.findChild<QListView*>("pictures");
    list->setCurrentIndex(list->model()->index(0, 0));
  }
  face->setCurrentIndex(face->findData(QString()));
  emit face->activated(face->currentIndex());  // only a setting changed on the first
  QString asked;
  window_.SetQuestion([&](const QString& text) {
    asked = text;
    return QMessageBox::Save;
  });
  EXPECT_TRUE(window_.close());
  EXPECT_TRUE(asked.contains("card.bmp") && asked.contains("second.bmp")) << asked.toStdString();
  const ShotsFileRead first = ReadShotsFile(ShotsFilePath(card_.path), 10000, 10000);
  ASSERT_TRUE(first.file) << first.reason;
  EXPECT_EQ(first.file->settings.face, "");
  const ShotsFileRead read = ReadShotsFile(ShotsFilePath(second.path), 10000, 10000);
  ASSERT_TRUE(read.file) << read.reason;
  EXPECT_EQ(read.file->shots.size(), found_ + 1);
}

TEST_F(Window, shooter_event_date_and_note_are_kept_per_picture) {
  auto* shooter = window_.findChild<QLineEdit*>("shooter");
  auto* note = window_.findChild<QLineEdit*>("note");
  ASSERT_TRUE(shooter && note);
  shooter->setText("A. Shooter");
  emit shooter->editingFinished();
  note->setText("new pellets");
  emit note->editingFinished();
  EXPECT_EQ(document_->Info().shooter, "A. Shooter");
  EXPECT_TRUE(document_->Modified());
  EXPECT_TRUE(window_.Save());
  Screenshot(window_, "report-info");
  if (const QString folder = qEnvironmentVariable("HOLESCAN_REVIEW_SCREENSHOTS");
      !folder.isEmpty()) {
    EXPECT_FALSE(ExportPdf(*document_, (folder + "/report-info.pdf").toStdString(),
                           QDateTime::currentDateTime()));
  }

  // Another picture has its own (empty) ones; the first's come back with its saved shots.
  const auto second =
      holescan::testing::WriteCard(dir_, "second.bmp", 150, holescan::testing::FiveShots());
  window_.OpenFiles({second.path});
  WaitIdle(window_.Analysis());
  EXPECT_EQ(shooter->text(), "");
  ReviewWindow again;
  again.OpenFiles({card_.path});
  WaitIdle(again.Analysis());
  ASSERT_NE(again.Current(), nullptr);
  EXPECT_EQ(again.Current()->Info().shooter, "A. Shooter");
  EXPECT_EQ(again.Current()->Info().note, "new pellets");
  EXPECT_EQ(again.findChild<QLineEdit*>("shooter")->text(), "A. Shooter");
}

TEST_F(Window, ctrl_down_moves_a_shot_later_in_the_order_and_the_selection_follows) {
  const std::vector<ReviewShot> before = document_->Shots();
  table_->selectRow(1);
  QTest::keyClick(&window_, Qt::Key_Down, Qt::ControlModifier);
  ASSERT_EQ(document_->Shots().size(), before.size());
  EXPECT_EQ(document_->Shots()[2], before[1]);
  EXPECT_EQ(document_->Shots()[1], before[2]);
  EXPECT_EQ(view_->SelectedShots(), std::vector<int>{2});
  QTest::keyClick(&window_, Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(document_->Shots(), before);
  // Series of 2 in the statistics, and the spin box saved with the picture.
  auto* series = window_.findChild<QSpinBox*>("series");
  series->setValue(2);
  EXPECT_EQ(document_->Settings().seriesShots, 2);
  EXPECT_TRUE(window_.findChild<QLabel*>("statistics")->text().contains("Series 3"));
  Screenshot(window_, "series");
  EXPECT_TRUE(window_.Save());
  const ShotsFileRead read = ReadShotsFile(ShotsFilePath(card_.path), 10000, 10000);
  ASSERT_TRUE(read.file);
  EXPECT_EQ(read.file->settings.seriesShots, 2);
}

TEST_F(Window, renumber_and_scores_beside_holes_from_the_menus) {
  ASSERT_GE(document_->Shots().size(), 3u);
  table_->selectRow(1);
  QTest::keyClick(&window_, Qt::Key_Delete);
  EXPECT_EQ(Cell(1, kNumberColumn), "3");  // shot 2 gone, shot 3 keeps its number
  auto* renumber = window_.findChild<QAction*>("renumber");
  ASSERT_NE(renumber, nullptr);
  renumber->trigger();
  EXPECT_EQ(Cell(1, kNumberColumn), "2");
  QTest::keyClick(&window_, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Cell(1, kNumberColumn), "3");

  // The toggle shows the scores on the picture, and is remembered for the next window.
  auto* scores = window_.findChild<QAction*>("scoresBesideHoles");
  ASSERT_NE(scores, nullptr);
  EXPECT_TRUE(scores->isCheckable());
  EXPECT_FALSE(view_->ScoresShown());
  scores->trigger();
  EXPECT_TRUE(view_->ScoresShown());
  EXPECT_TRUE(QSettings().value("view/scores_beside_holes").toBool());
  {
    ReviewWindow next;
    EXPECT_TRUE(next.findChild<QAction*>("scoresBesideHoles")->isChecked());
    EXPECT_TRUE(next.View()->ScoresShown());
  }
  auto* series = window_.findChild<QSpinBox*>("series");
  series->setValue(2);
  Screenshot(window_, "table-series-and-scores");
  scores->trigger();
  EXPECT_FALSE(view_->ScoresShown());
  EXPECT_FALSE(QSettings().value("view/scores_beside_holes").toBool());
}

TEST_F(Window, a_distance_typed_while_the_analysis_runs_still_ends_ready) {
  auto* calibre = window_.findChild<QComboBox*>("calibre");
  auto* distance = window_.findChild<QLineEdit*>("distance");
  calibre->setEditText("9 mm");
  emit calibre->lineEdit()->editingFinished();
  ASSERT_EQ(document_->State(), Stage::Analysing);
  distance->setText("10m");
  emit distance->editingFinished();
  WaitIdle(window_.Analysis());
  EXPECT_EQ(document_->State(), Stage::Ready);
  EXPECT_EQ(document_->Settings().calibreMm, 9.0);
  EXPECT_EQ(document_->Settings().distance, "10m");
  EXPECT_EQ(document_->UndoStack().undoText(), "analyse again");
  // The shots are those of the 9-mm analysis.
  ASSERT_FALSE(document_->Shots().empty());
  EXPECT_NEAR(document_->Shots()[0].diameterPx, 9.0 / 25.4 * 150, 1e-9);
}

TEST_F(Window, f1_shows_the_help_page_with_the_keys) {
  QTest::keyClick(&window_, Qt::Key_F1);
  auto* help = window_.findChild<QMessageBox*>("helpPage");
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  for (const char* key : {"Ctrl+click", "Delete", "Ctrl+Z", "Ctrl+E", "resolution unknown"})
    EXPECT_TRUE(help->text().contains(key)) << key;
  Screenshot(*help, "help");
  help->close();
}

TEST(AnalysisJob, a_cancelled_analysis_leaves_the_shots_as_they_were) {
  QTemporaryDir dir;
  const auto card = holescan::testing::WriteCard(dir, "card.bmp", 150, {{0, 0}});
  std::atomic<bool> cancel{true};
  std::atomic<double> progress{0};
  JobInput input;
  input.path = card.path;
  input.settings.dpi = 300;
  const JobOutput output = RunJob(input, cancel, progress);
  EXPECT_TRUE(output.cancelled);
  // The resolution stored in the file wins over the last one used.
  EXPECT_EQ(output.settings.dpi, 150);  // as pixels per metre store it, taken whole
  EXPECT_EQ(output.settings.dpiSource, calibrated::ResolutionSource::File);
  ReviewDocument document(card.path, input.settings);
  document.Apply(holescan::testing::Finished(document, {{1, 2, false}}));
  document.Apply(output);
  EXPECT_EQ(document.Shots().size(), 1u);
  EXPECT_EQ(document.Problem(), "analysis cancelled");
}

}  // namespace
}  // namespace holescan::review
