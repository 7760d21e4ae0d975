// main.cpp - holescan-review, the window to check, correct, score and export a scan's shots.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <cstdio>

#include "io/qt/picture_loader.h"
#include "review/review_window.h"

int main(int argc, char* argv[]) {
  holescan::ConfigurePictureReading();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    std::fputs("holescan-review: no display is available; use holescan-cli instead\n", stderr);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("holescan"));
  QApplication::setApplicationName(QStringLiteral("holescan-review"));
  QApplication::setApplicationVersion(QStringLiteral(HOLESCAN_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("holescan-review"));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Check, correct, score and export shots."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("pictures"), QStringLiteral("Pictures to open."),
                               QStringLiteral("[PICTURE...]"));
  parser.process(app);
  holescan::review::ReviewWindow window;
  std::vector<std::string> paths;
  for (const QString& name : parser.positionalArguments())
    paths.push_back(QFile::encodeName(name).toStdString());
  window.OpenFiles(paths);
  window.show();
  return QApplication::exec();
}
