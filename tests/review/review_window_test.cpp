// The window on Qt's offscreen platform: a generated card opened, analysed, corrected with
// the mouse and keys, saved, reopened, and a picture that cannot be opened.
#include "review/review_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <fstream>

#include "review/exports.h"
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
    table_ = window_.findChild<QTableWidget*>("shots");
    // What the engine finds on the card: the window must show exactly that, and every true
    // hole among it.
    calibrated::CalibratedSettings settings;
    settings.dpi = 150;
    settings.face = score::FindFace("issf-air-rifle");
    found_ = calibrated::AnalysePicture(card_.target.picture.View(), settings).shots.size();
  }
  QString Message() const { return window_.findChild<QLabel*>("message")->text(); }
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
  QTableWidget* table_ = nullptr;
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
  EXPECT_EQ(table_->rowCount(), n);
  ASSERT_TRUE(document_->Aim());
  EXPECT_NEAR(document_->Aim()->x, card_.target.aimX, 1.0);
  EXPECT_TRUE(window_.findChild<QLabel*>("statistics")->text().contains("Total"));

  // Ctrl+click on bare card adds a shot there; a click near a hole adds one on the hole.
  const QPointF bare(card_.target.aimX + 10 * 150 / 25.4, card_.target.aimY + 25 * 150 / 25.4);
  QTest::mouseClick(view_->viewport(), Qt::LeftButton, Qt::ControlModifier, At(bare.x(), bare.y()));
  ASSERT_EQ(shots.size(), found_ + 1);
  EXPECT_NEAR(shots[found_].x, bare.x(), 1.0 / view_->Zoom());
  EXPECT_TRUE(shots[found_].edited);
  EXPECT_EQ(table_->rowCount(), n + 1);
  EXPECT_EQ(table_->item(n, 5)->text(), "edited");
  EXPECT_EQ(table_->selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(table_->selectionModel()->selectedRows().front().row(), n);
  Screenshot(window_, "added");

  QTest::keyClick(&window_, Qt::Key_Delete);
  ASSERT_EQ(shots.size(), found_);
  EXPECT_EQ(table_->rowCount(), n);
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
  EXPECT_EQ(table_->item(1, 5)->text(), "edited");
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
  EXPECT_EQ(table_->rowCount(), n - 2);
}

TEST_F(Window, zooms_with_keys_and_wheel_and_fits_again) {
  const double fit = view_->Zoom();
  QTest::keyClick(&window_, Qt::Key_Plus);
  EXPECT_NEAR(view_->Zoom(), fit * 1.25, 1e-9);
  QTest::keyClick(&window_, Qt::Key_Minus);
  EXPECT_NEAR(view_->Zoom(), fit, 1e-9);
  // The picture point under the cursor stays under it.
  const QPoint cursor = At(card_.target.aimX + 40, card_.target.aimY);
  const QPointF before = view_->mapToScene(cursor);
  QWheelEvent wheel(cursor, view_->viewport()->mapToGlobal(cursor), {}, {0, 240}, Qt::NoButton, {},
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(view_->viewport(), &wheel);
  EXPECT_NEAR(view_->Zoom(), fit * 1.5625, 1e-9);
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
  EXPECT_EQ(again.findChild<QTableWidget*>("shots")->rowCount(), static_cast<int>(saved.size()));

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
  EXPECT_EQ(table_->rowCount(), static_cast<int>(found_));
  auto* list = window_.findChild<QListWidget*>("pictures");
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(1)->text(), "notes.png: not a picture");
  EXPECT_EQ(list->item(2)->text(), "missing.bmp: no such file");
  EXPECT_TRUE(Message().startsWith("cannot open ")) << Message().toStdString();
  EXPECT_EQ(list->currentRow(), 0);
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
  document.SetShotsFound({{1, 2, false}}, false);
  ApplyJob(document, output);
  EXPECT_EQ(document.Shots().size(), 1u);
  EXPECT_EQ(document.Problem(), "analysis cancelled");
}

}  // namespace
}  // namespace holescan::review
