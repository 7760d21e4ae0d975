#include "main_window/qt/form_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <cstring>
#include <vector>

#include "gui_test_support.h"
#include "io/qt/picture_loader.h"
#include "support/recording_window.h"
#include "main_window/form1.h"
#include "main_window/qt/picture_box.h"
#include "main_window/qt/qt_toolkit.h"
#include "targetgen.h"

namespace holescan {
namespace {

using testing::Find;
using testing::Shown;
using testing::WritePicture;

class FormWindowTest : public ::testing::Test {
 protected:
  // The controls of `window`, by the names of the design.
  struct Controls {
    explicit Controls(const FormWindow& w)
        : CmdLoad(Find<QPushButton>(w, "CmdLoad")),
          TextFilename(Find<QLineEdit>(w, "TextFilename")),
          CmdDraw(Find<QPushButton>(w, "CmdDraw")),
          PicFillOut(Find<QWidget>(w, "PicFillOut")),
          PicFillIn(Find<QWidget>(w, "PicFillIn")),
          PicNew(Find<PictureBox>(w, "PicNew")),
          PicTarget(Find<PictureBox>(w, "PicTarget")),
          LabelFilename(Find<QLabel>(w, "LabelFilename")),
          LabelVerbose(Find<QLabel>(w, "LabelVerbose")) {}
    QPushButton* CmdLoad;
    QLineEdit* TextFilename;
    QPushButton* CmdDraw;
    QWidget* PicFillOut;
    QWidget* PicFillIn;
    PictureBox* PicNew;
    PictureBox* PicTarget;
    QLabel* LabelFilename;
    QLabel* LabelVerbose;
  };

  static void Load(Controls& c, const QString& path) {
    c.TextFilename->setText(path);
    QTest::mouseClick(c.CmdLoad, Qt::LeftButton);
  }
  static void Press(Controls& c, Qt::MouseButton button, int x, int y,
                    Qt::KeyboardModifiers keys = {}) {
    QTest::mouseClick(c.PicTarget, button, keys, QPoint(x, y));
  }
  static Selection Sel(int left, int top, int right, int bottom) {
    return Selection{top, bottom, left, right};
  }

  QTemporaryDir dir_;
};

TEST_F(FormWindowTest, creates_the_controls_of_the_design_with_their_captions_and_tab_order) {
  FormWindow window;
  Controls c(window);
  EXPECT_EQ(window.windowTitle(), "Form1");
  EXPECT_EQ(c.CmdLoad->text(), "&Load");
  EXPECT_EQ(c.CmdLoad->shortcut(), QKeySequence(Qt::ALT | Qt::Key_L));
  EXPECT_EQ(c.TextFilename->text(), "D:\\FTP\\Quill\\17-12-99\\3.bmp");
  EXPECT_EQ(c.CmdDraw->text(), "Draw");
  EXPECT_EQ(c.LabelFilename->text(), "&Filename");
  EXPECT_EQ(c.LabelFilename->buddy(), c.TextFilename);
  EXPECT_EQ(c.PicFillIn->parentWidget(), c.PicFillOut);

  // Controls the Load command does not move keep their design geometry.
  EXPECT_EQ(c.CmdDraw->geometry(), QRect(208, 8, 73, 25));
  EXPECT_EQ(c.PicFillOut->geometry(), QRect(288, 8, 633, 25));
  EXPECT_EQ(c.LabelVerbose->geometry(), QRect(8, 8, 193, 25));
  EXPECT_EQ(c.PicFillIn->geometry(), QRect(0, 0, 0, 25));
  EXPECT_EQ(Shown(c.PicFillOut).pixel(5, 5), Rgb(0, 0, 0));

  std::vector<QWidget*> tabs;
  QWidget* w = c.PicTarget;
  do {
    if (w->focusPolicy() & Qt::TabFocus) tabs.push_back(w);
    w = w->nextInFocusChain();
  } while (w != c.PicTarget);
  EXPECT_EQ(tabs, (std::vector<QWidget*>{c.PicTarget, c.PicNew, c.PicFillOut, c.PicFillIn,
                                         c.CmdDraw, c.TextFilename, c.CmdLoad}));
}

TEST_F(FormWindowTest, access_keys_focus_the_path_and_run_load) {
  const QString small = WritePicture(dir_, "small.png", 50, 40);
  FormWindow window(dir_.filePath("missing.png"));
  Controls c(window);
  window.show();
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
  EXPECT_TRUE(c.TextFilename->hasFocus());
  c.TextFilename->setText(small);
  QTest::keyClick(&window, Qt::Key_L, Qt::AltModifier);
  // An access key clicks its button as a mouse would, after showing it pressed.
  EXPECT_TRUE(QTest::qWaitFor([&] { return c.PicTarget->geometry() == QRect(0, 40, 50, 40); }));
}

TEST_F(FormWindowTest, lays_the_window_out_around_a_picture_then_around_a_smaller_one) {
  FormWindow window(WritePicture(dir_, "large.png", 400, 300));
  Controls c(window);
  window.setWindowFlag(Qt::FramelessWindowHint);  // the outer size is then the window's own
  window.show();

  EXPECT_EQ(c.PicTarget->geometry(), QRect(0, 40, 400, 300));
  EXPECT_EQ(c.PicTarget->Image().size(), QSize(400, 300));
  EXPECT_EQ(c.PicNew->geometry(), QRect(400, 40, 400, 300));
  EXPECT_EQ(c.PicNew->Image().size(), QSize(400, 300));
  EXPECT_EQ(c.TextFilename->geometry(), QRect(56, 348, 713, 19));
  EXPECT_EQ(c.LabelFilename->pos(), QPoint(8, 348));
  EXPECT_EQ(c.CmdLoad->geometry(), QRect(784, 348, 81, 21));
  EXPECT_EQ(window.size(), QSize(800, 395));
  // "&Load" and the progress bar reach past the window's width: the content scrolls to them.
  EXPECT_EQ(window.ScrollArea()->widget()->size(), QSize(921, 369));
  EXPECT_EQ(window.Form().Dark().MaxX(), 400);
  EXPECT_EQ(window.Form().Dark().MaxY(), 300);
  EXPECT_EQ(window.Form().Sel(), Sel(0, 0, 400, 300));

  Load(c, WritePicture(dir_, "small.png", 200, 100));
  EXPECT_EQ(c.PicTarget->geometry(), QRect(0, 40, 200, 100));
  EXPECT_EQ(c.PicNew->geometry(), QRect(200, 40, 200, 100));
  EXPECT_EQ(c.PicNew->Image().size(), QSize(200, 100));
  EXPECT_EQ(c.TextFilename->geometry(), QRect(56, 148, 713, 19));
  EXPECT_EQ(c.LabelFilename->pos(), QPoint(8, 148));
  EXPECT_EQ(c.CmdLoad->geometry(), QRect(784, 148, 81, 21));
  EXPECT_EQ(window.size(), QSize(400, 195));
  EXPECT_EQ(window.Form().Dark().MaxX(), 200);
  EXPECT_EQ(window.Form().Sel(), Sel(0, 0, 200, 100));
  EXPECT_EQ(Shown(c.PicTarget).pixel(199, 99), Rgb(200, 190, 170));
}

TEST_F(FormWindowTest, a_bad_path_at_start_lays_out_the_empty_design_size_and_says_why) {
  const QString missing = dir_.filePath("missing.bmp");
  FormWindow window(missing);
  Controls c(window);
  window.show();

  EXPECT_EQ(c.TextFilename->text(), missing);
  EXPECT_EQ(c.PicTarget->geometry(), QRect(0, 40, 553, 433));
  EXPECT_EQ(c.PicNew->geometry(), QRect(553, 40, 553, 433));
  EXPECT_EQ(c.CmdLoad->geometry(), QRect(784, 481, 81, 21));
  // With a frame: the outer height is the computed one; the window is widened by the frame
  // rather than hide PicNew's right edge behind it.
  EXPECT_EQ(window.frameGeometry().height(), 528);
  EXPECT_EQ(window.width(), 1106);
  // The message line shows the start and the reason; the whole caption is its tooltip.
  EXPECT_TRUE(c.LabelVerbose->toolTip().startsWith("Cannot load " + missing + ": "))
      << c.LabelVerbose->toolTip().toStdString();
  EXPECT_TRUE(c.LabelVerbose->text().startsWith("Cannot load "));
  EXPECT_TRUE(c.LabelVerbose->text().endsWith(": no such file"))
      << c.LabelVerbose->text().toStdString();
  EXPECT_LE(c.LabelVerbose->fontMetrics().horizontalAdvance(c.LabelVerbose->text()), 193);
  EXPECT_EQ(Shown(c.PicTarget).pixel(552, 432), Rgb(0, 0, 0));
  EXPECT_EQ(Shown(c.PicNew).pixel(0, 0), Rgb(0, 0, 64));
  EXPECT_EQ(window.Form().Sel(), Sel(0, 0, 553, 433));
}

TEST_F(FormWindowTest, a_bad_path_after_a_good_one_keeps_the_picture_but_resets_the_rest) {
  Picture picture(400, 300, Rgb(200, 190, 170));
  for (int y = 100; y < 110; ++y)
    for (int x = 100; x < 110; ++x) picture.Set(x, y, Rgb(0, 0, 0));
  FormWindow window(WritePicture(dir_, "good.png", picture));
  Controls c(window);
  window.show();
  QTest::mouseClick(c.CmdDraw, Qt::LeftButton);
  ASSERT_EQ(c.PicFillIn->width(), 633);
  ASSERT_EQ(window.Form().Analysis().Holes()[0].count, 100u);
  Press(c, Qt::LeftButton, 10, 20);

  QFile garbage(dir_.filePath("garbage.png"));
  ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
  garbage.write("this is no picture");
  garbage.close();
  Load(c, garbage.fileName());

  EXPECT_TRUE(c.LabelVerbose->toolTip().startsWith("Cannot load " + garbage.fileName() + ": "));
  EXPECT_EQ(c.PicTarget->geometry(), QRect(0, 40, 400, 300));
  EXPECT_EQ(Shown(c.PicTarget).pixel(105, 105), Rgb(0, 0, 0));
  EXPECT_EQ(c.PicFillIn->width(), 0);
  EXPECT_EQ(window.Form().Analysis().Holes().Size(), 1u);
  EXPECT_TRUE(window.Form().Analysis().Holes()[0].Empty());
  EXPECT_EQ(window.Form().Sel(), Sel(0, 0, 400, 300));
}

TEST_F(FormWindowTest, presses_on_the_target_move_the_corners_by_the_selection_rules) {
  FormWindow window(WritePicture(dir_, "target.png", 400, 300));
  Controls c(window);
  window.show();

  Press(c, Qt::LeftButton, 10, 20);
  EXPECT_EQ(window.Form().Sel(), Sel(10, 20, 400, 300));
  Press(c, Qt::RightButton, 5, 100);  // 5 is not right of SelLeft: only the bottom moves
  EXPECT_EQ(window.Form().Sel(), Sel(10, 20, 400, 100));

  Press(c, Qt::LeftButton, 5, 5, Qt::ShiftModifier);
  Press(c, Qt::RightButton, 200, 150);
  EXPECT_EQ(window.Form().Sel(), Sel(0, 0, 200, 150));
  Press(c, Qt::LeftButton, 300, 20);  // right of SelRight: only the top moves
  EXPECT_EQ(window.Form().Sel(), Sel(0, 20, 200, 150));
  Press(c, Qt::LeftButton, 200, 150);  // exactly on the opposite edges: nothing moves
  EXPECT_EQ(window.Form().Sel(), Sel(0, 20, 200, 150));
  Press(c, Qt::MiddleButton, 50, 50);
  EXPECT_EQ(window.Form().Sel(), Sel(0, 20, 200, 150));
  EXPECT_EQ(c.PicTarget->Line(1), QLine(0, 150, 201, 150));
  EXPECT_EQ(c.PicTarget->Line(2), QLine(200, 20, 200, 151));

  for (auto [button, keys] :
       {std::pair{Qt::RightButton, Qt::KeyboardModifiers(Qt::ControlModifier)},
        std::pair{Qt::LeftButton, Qt::KeyboardModifiers(Qt::ShiftModifier)},
        std::pair{Qt::MiddleButton, Qt::KeyboardModifiers(Qt::AltModifier)}}) {
    Press(c, Qt::LeftButton, 30, 30);
    Press(c, Qt::RightButton, 90, 90);
    ASSERT_EQ(window.Form().Sel(), Sel(30, 30, 90, 90));
    Press(c, button, 60, 70, keys);
    EXPECT_EQ(window.Form().Sel(), Sel(0, 0, 400, 300)) << button << " " << keys.toInt();
  }
  EXPECT_EQ(c.PicTarget->Line(0), QLine(0, 0, 0, 300));
  EXPECT_EQ(c.PicTarget->Line(1), QLine(0, 300, 401, 300));
  EXPECT_EQ(c.PicTarget->Line(2), QLine(400, 0, 400, 301));
  EXPECT_EQ(c.PicTarget->Line(3), QLine(0, 0, 400, 0));
  EXPECT_EQ(Shown(c.PicTarget).pixel(0, 150), Rgb(255, 255, 0));  // LineL(0), yellow
}

TEST_F(FormWindowTest, draw_shows_what_the_logic_computes_headless_and_fills_the_bar) {
  targetgen::TargetOptions options;
  options.width = 400;
  options.height = 300;
  options.seed = 11;
  options.holes = 5;
  options.overlappingPairs = 1;
  options.specks = 8;
  const QString path = WritePicture(dir_, "target.png", targetgen::MakeTarget(options).picture);

  FormWindow window(path);
  Controls c(window);
  window.show();
  QGuiApplication::clipboard()->setText("old text");
  Press(c, Qt::LeftButton, 12, 15);
  Press(c, Qt::RightButton, 390, 290);
  QTest::mouseClick(c.CmdDraw, Qt::LeftButton);

  fakes::RecordingWindow fake;
  fake.Serve(LoadPictureFile(path.toStdString()));
  Form1 headless(fake, fake);
  headless.Form_Load();
  headless.PicTarget_MouseDown(1, 0, 12, 15);
  headless.PicTarget_MouseDown(2, 0, 390, 290);
  ASSERT_EQ(headless.CmdDraw_Click(), std::nullopt);
  ASSERT_GT(headless.Analysis().Peaks().Size(), 3u);  // the picture really has shot holes

  const Picture& shownResult = window.Form().PicNew();
  const Picture& expected = headless.PicNew();
  ASSERT_EQ(shownResult.Width(), expected.Width());
  ASSERT_EQ(shownResult.Height(), expected.Height());
  EXPECT_EQ(std::memcmp(shownResult.Data(), expected.Data(),
                        expected.Stride() * sizeof(std::uint32_t) *
                            static_cast<std::size_t>(expected.Height())),
            0);
  EXPECT_EQ(Shown(c.PicNew), WrapPicture(expected));
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), fake.ClipboardText());
  EXPECT_EQ(c.LabelVerbose->toolTip().toStdString(), fake.LastCaption());
  EXPECT_EQ(c.LabelVerbose->text(), c.LabelVerbose->toolTip());  // short enough to show whole
  EXPECT_FALSE(fake.LastCaption().empty());
  EXPECT_EQ(c.PicFillIn->geometry(), QRect(0, 0, 633, 25));
  EXPECT_EQ(Shown(c.PicFillOut).pixel(632, 24), Rgb(0, 0, 255));
}

TEST_F(FormWindowTest, a_draw_that_stops_says_why_and_leaves_the_window_usable) {
  FormWindow window(WritePicture(dir_, "target.png", 100, 80));
  Controls c(window);
  window.show();
  window.Form().PicTarget_MouseDown(2, 0, 500, 500);  // past the picture: no press gives this
  QTest::mouseClick(c.CmdDraw, Qt::LeftButton);
  EXPECT_EQ(c.LabelVerbose->toolTip(), "Draw stopped: the scan rectangle lies outside the picture");
  EXPECT_TRUE(c.LabelVerbose->text().startsWith("Draw stopped: "));

  Press(c, Qt::LeftButton, 1, 1, Qt::ShiftModifier);
  QTest::mouseClick(c.CmdDraw, Qt::LeftButton);
  EXPECT_FALSE(c.LabelVerbose->toolTip().startsWith("Draw stopped"));
  EXPECT_EQ(c.PicFillIn->width(), 633);
}

TEST_F(FormWindowTest, a_close_request_during_draw_waits_for_the_draw_to_end) {
  FormWindow window(WritePicture(dir_, "target.png", 100, 80));
  Controls c(window);
  window.show();
  window.Toolkit().SetRepaintInterval(std::chrono::milliseconds(0));
  int requests = 0;
  bool openAfterRequest = false;
  testing::EventHook closeAtFirstRepaint(c.PicNew, QEvent::Paint, [&] {
    if (requests++ == 0) {
      window.close();
      openAfterRequest = window.isVisible();
    }
  });
  QTest::mouseClick(c.CmdDraw, Qt::LeftButton);

  EXPECT_GT(requests, 1);  // the scan went on repainting
  EXPECT_TRUE(openAfterRequest);
  EXPECT_EQ(c.PicFillIn->width(), 633);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(FormWindowTest, a_dropped_file_is_put_into_the_path_and_loaded) {
  const QString path = WritePicture(dir_, "dropped.png", 64, 48);
  FormWindow window(dir_.filePath("missing.png"));
  Controls c(window);
  window.show();

  QMimeData text;
  text.setText("no file here");
  QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &refused);
  EXPECT_FALSE(refused.isAccepted());

  QMimeData file;
  file.setUrls({QUrl::fromLocalFile(path)});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);

  EXPECT_EQ(c.TextFilename->text(), path);
  EXPECT_EQ(c.PicTarget->geometry(), QRect(0, 40, 64, 48));
  EXPECT_EQ(window.Form().Sel(), Sel(0, 0, 64, 48));
}

TEST_F(FormWindowTest, a_scan_larger_than_the_screen_scrolls_with_every_geometry_kept) {
  FormWindow window(WritePicture(dir_, "wide.png", 1000, 600));
  Controls c(window);
  window.show();
  const QSize available = window.screen()->availableGeometry().size();
  ASSERT_LT(available.width(), 2000) << "the test needs a screen narrower than the layout";

  EXPECT_EQ(window.frameGeometry().size(), QSize(available.width(), 695));
  EXPECT_EQ(window.ScrollArea()->widget()->size(), QSize(2000, 669));
  EXPECT_TRUE(window.ScrollArea()->horizontalScrollBar()->isVisible());
  EXPECT_EQ(c.PicTarget->geometry(), QRect(0, 40, 1000, 600));
  EXPECT_EQ(c.PicNew->geometry(), QRect(1000, 40, 1000, 600));
  EXPECT_EQ(c.CmdLoad->geometry(), QRect(784, 648, 81, 21));
}

}  // namespace
}  // namespace holescan
