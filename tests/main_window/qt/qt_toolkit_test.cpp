#include "main_window/qt/qt_toolkit.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <vector>

#include "gui_test_support.h"
#include "main_window/form1.h"
#include "main_window/qt/form_window.h"
#include "main_window/qt/picture_box.h"

namespace holescan {
namespace {

using namespace std::chrono_literals;
using testing::Find;
using testing::WritePicture;

// Records, at every repaint of PicNew, the progress bar's width and the message line.
struct RepaintRecorder {
  explicit RepaintRecorder(const QWidget& window)
      : fill(Find<QWidget>(window, "PicFillIn")),
        message(Find<QLabel>(window, "LabelVerbose")),
        hook(Find<QWidget>(window, "PicNew"), QEvent::Paint, [this] {
          widths.push_back(fill->width());
          messages.push_back(message->text());
        }) {}
  QWidget* fill;
  QLabel* message;
  std::vector<int> widths;
  QStringList messages;
  testing::EventHook hook;
};

// 60 rows with a dark dot in every tenth row, so captions arrive during the scan.
Picture DottedPicture() {
  Picture picture(80, 60, Rgb(220, 220, 220));
  for (int y = 2; y < 60; y += 10)
    for (int dy = 0; dy < 3; ++dy)
      for (int x = 30; x < 33; ++x) picture.Set(x, y + dy, Rgb(0, 0, 0));
  return picture;
}

TEST(QtToolkit, with_no_interval_repaints_the_grey_map_and_bar_after_every_row) {
  QTemporaryDir dir;
  FormWindow window(WritePicture(dir, "dots.png", DottedPicture()));
  window.show();
  QCoreApplication::processEvents();
  window.Toolkit().SetRepaintInterval(0ms);
  RepaintRecorder recorder(window);

  QTest::mouseClick(Find<QPushButton>(window, "CmdDraw"), Qt::LeftButton);

  // Every row on the picture is shown as it is scanned (the 61st lies past the picture).
  ASSERT_GE(recorder.widths.size(), 60u);
  for (std::size_t i = 1; i < 60; ++i) EXPECT_GT(recorder.widths[i], recorder.widths[i - 1]) << i;
  EXPECT_EQ(recorder.widths[59], 623);  // 60 / 61 of 633 pixels
  EXPECT_TRUE(recorder.messages.contains("=-=Made new Hole 1"))
      << recorder.messages.join("|").toStdString();
}

TEST(QtToolkit, coalesces_the_repaints_of_a_scan_into_the_repaint_interval) {
  QTemporaryDir dir;
  FormWindow window(WritePicture(dir, "dots.png", DottedPicture()));
  window.show();
  QCoreApplication::processEvents();
  window.Toolkit().SetRepaintInterval(std::chrono::hours(1));
  QLabel* message = Find<QLabel>(window, "LabelVerbose");
  RepaintRecorder recorder(window);
  QTest::mouseClick(Find<QPushButton>(window, "CmdDraw"), Qt::LeftButton);
  const std::size_t duringScan = recorder.widths.size();
  EXPECT_LE(duringScan, 1u);  // at most the repaint at the first row

  // The latest caption and the full bar are shown once the command ends.
  EXPECT_FALSE(message->text().isEmpty());
  EXPECT_NE(message->text(), "Label1");
  QCoreApplication::processEvents();
  ASSERT_GT(recorder.widths.size(), duringScan);
  EXPECT_EQ(recorder.widths.back(), 633);
}

}  // namespace
}  // namespace holescan
