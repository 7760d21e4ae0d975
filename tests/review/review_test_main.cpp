// review_test_main.cpp - the review tests inside one QApplication on Qt's offscreen platform,
// with the window's remembered settings kept in a scratch folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>

#include "io/qt/picture_loader.h"

int main(int argc, char** argv) {
  holescan::ConfigurePictureReading();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir settings;
  QSettings::setDefaultFormat(QSettings::IniFormat);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("holescan-tests"));
  QApplication::setApplicationName(QStringLiteral("holescan-review-test"));
  QLocale::setDefault(QLocale::c());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
