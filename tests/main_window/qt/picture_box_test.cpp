#include "main_window/qt/picture_box.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <set>
#include <utility>

#include "gui_test_support.h"

namespace holescan {
namespace {

using testing::Shown;

constexpr QRgb kYellow = 0xFFFFFF00u;

std::set<std::pair<int, int>> YellowPixels(PictureBox& box) {
  const QImage shown = Shown(&box);
  std::set<std::pair<int, int>> yellow;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x)
      if (shown.pixel(x, y) == kYellow) yellow.insert({x, y});
  return yellow;
}

TEST(PictureBox, shows_the_picture_buffer_itself_at_one_pixel_per_pixel) {
  Picture picture(30, 20, Rgb(10, 20, 30));
  PictureBox box("box", QColor(0, 0, 64), nullptr);
  box.resize(40, 25);
  box.SetImage(picture);
  EXPECT_EQ(box.Image().constBits(), reinterpret_cast<const uchar*>(picture.Data()));

  picture.Set(29, 19, Rgb(255, 0, 0));  // painted after SetImage: shown without re-wrapping
  const QImage shown = Shown(&box);
  EXPECT_EQ(shown.pixel(0, 0), Rgb(10, 20, 30));
  EXPECT_EQ(shown.pixel(29, 19), Rgb(255, 0, 0));
  EXPECT_EQ(shown.pixel(30, 19), Rgb(0, 0, 64));  // background beyond the picture
  EXPECT_EQ(shown.pixel(5, 20), Rgb(0, 0, 64));
}

TEST(PictureBox, lines_leave_out_their_last_point_so_the_outline_closes_at_each_corner) {
  const Picture picture(60, 50, Rgb(0, 0, 0));
  PictureBox box("box", Qt::black, nullptr);
  box.resize(60, 50);
  box.SetImage(picture);
  box.SetLineColour(QColor(255, 255, 0));
  // The outline of the rectangle (10, 5) - (40, 30), as the selection draws it.
  box.SetLine(0, QLine(10, 5, 10, 30));
  box.SetLine(1, QLine(10, 30, 41, 30));
  box.SetLine(2, QLine(40, 5, 40, 31));
  box.SetLine(3, QLine(10, 5, 40, 5));

  std::set<std::pair<int, int>> expected;
  for (int x = 10; x <= 40; ++x) expected.insert({{x, 5}, {x, 30}});
  for (int y = 5; y <= 30; ++y) expected.insert({{10, y}, {40, y}});
  EXPECT_EQ(YellowPixels(box), expected);

  // Each line alone: start point drawn, end point not, in either direction.
  for (int i = 1; i < PictureBox::kLineCount; ++i) box.SetLine(i, QLine(0, 0, 0, 0));
  box.SetLine(0, QLine(20, 12, 16, 12));
  EXPECT_EQ(YellowPixels(box),
            (std::set<std::pair<int, int>>{{20, 12}, {19, 12}, {18, 12}, {17, 12}}));
  box.SetLine(0, QLine(3, 3, 3, 3));
  EXPECT_TRUE(YellowPixels(box).empty());
}

TEST(PictureBox, reports_buttons_keys_and_position_as_the_mouse_down_event_does) {
  const Picture picture(100, 80, Rgb(0, 0, 0));
  PictureBox box("box", Qt::black, nullptr);
  box.resize(100, 80);
  box.SetImage(picture);
  QSignalSpy spy(&box, &PictureBox::MouseDown);

  QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
  QTest::mouseClick(&box, Qt::RightButton, Qt::ShiftModifier, QPoint(99, 79));
  QTest::mouseClick(&box, Qt::MiddleButton, Qt::ControlModifier | Qt::AltModifier, QPoint(0, 1));
  QTest::mouseClick(&box, Qt::BackButton, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier,
                    QPoint(5, 6));

  ASSERT_EQ(spy.count(), 4);
  const auto call = [&](int i) {
    const QList<QVariant> a = spy.at(i);
    return std::tuple(a[0].toInt(), a[1].toInt(), a[2].toFloat(), a[3].toFloat());
  };
  EXPECT_EQ(call(0), std::tuple(1, 0, 10.0f, 20.0f));
  EXPECT_EQ(call(1), std::tuple(2, 1, 99.0f, 79.0f));
  EXPECT_EQ(call(2), std::tuple(4, 6, 0.0f, 1.0f));
  EXPECT_EQ(call(3), std::tuple(0, 7, 5.0f, 6.0f));
}

}  // namespace
}  // namespace holescan
