// gui_test_main.cpp - runs the GUI tests inside one QApplication on Qt's offscreen platform,
// with a 1600 x 1000 screen and window frames of 2 pixels a side, so that the layout is
// tested with a platform frame around it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QLocale>
#include <QTemporaryFile>

#include "io/qt/picture_loader.h"

int main(int argc, char** argv) {
  holescan::ConfigurePictureReading();
  QTemporaryFile screen;
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.isEmpty() || platform == "offscreen") {
    if (!screen.open()) return 1;
    screen.write(R"({"windowFrameMargins": true, "screens": [{"name": "screen", "x": 0, "y": 0,
        "width": 1600, "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    screen.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screen.fileName().toLocal8Bit());
  }
  QApplication app(argc, argv);
  // The report's decimal separator follows the locale; tests compare against '.'.
  QLocale::setDefault(QLocale::c());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
