// main.cpp - holescan, the window: Form1 on the picture named on the command line.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "main_window/qt/form_window.h"
#include "main_window/qt/picture_loader.h"

int main(int argc, char* argv[]) {
  holescan::ConfigurePictureReading();
  // Without this check Qt aborts when no display is available.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    std::fputs("holescan: no display is available; use holescan-cli PICTURE instead\n", stderr);
    return 1;
  }
  // One picture pixel is one screen pixel, whatever scale the desktop uses.
  if (!qEnvironmentVariableIsSet("QT_ENABLE_HIGHDPI_SCALING"))
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("holescan"));
  QApplication::setApplicationVersion(QStringLiteral(HOLESCAN_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("holescan"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QApplication::translate("main", "Finds shot holes in a scanned target."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("picture"),
                               QApplication::translate("main", "The picture to load."),
                               QStringLiteral("[PICTURE]"));
  parser.process(app);
  const QStringList pictures = parser.positionalArguments();
  if (pictures.size() > 1) parser.showHelp(2);

  holescan::FormWindow window(pictures.isEmpty() ? std::nullopt : std::optional(pictures.first()));
  window.show();
  return QApplication::exec();
}
