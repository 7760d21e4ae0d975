// main.cpp - holescan, the window: Form1 on the picture named on the command line.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/qt/picture_loader.h"
#include "main_window/qt/form_window.h"

namespace {

constexpr char kNoDisplay[] = "holescan: no display is available";
constexpr char kUseCli[] = "; use holescan-cli PICTURE instead\n";

// While the application object starts its platform plugin. Qt ends the program with a fatal
// message (and an abort) when no plugin starts: no display, a display that refuses the
// connection, a platform that is not installed. The plugins' warnings before it say why;
// they are held back and either become the one line of the refusal or are passed on.
QtMessageHandler previousHandler = nullptr;
QStringList startupWarnings;

void StartupMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtFatalMsg) {
    if (startupWarnings.size() < 20) startupWarnings.append(message);
    return;
  }
  const QString why = startupWarnings.isEmpty() ? message : startupWarnings.first();
  std::fprintf(stderr, "%s (%s)%s", kNoDisplay, why.simplified().toLocal8Bit().constData(),
               kUseCli);
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[]) {
  holescan::ConfigurePictureReading();
  // Qt aborts when no display is available; this check answers the common case at once.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    std::fprintf(stderr, "%s%s", kNoDisplay, kUseCli);
    return 1;
  }
  // One picture pixel is one screen pixel, whatever scale the desktop uses.
  if (!qEnvironmentVariableIsSet("QT_ENABLE_HIGHDPI_SCALING"))
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  previousHandler = qInstallMessageHandler(&StartupMessage);
  QApplication app(argc, argv);
  qInstallMessageHandler(previousHandler);
  for (const QString& warning : startupWarnings) qWarning("%s", qUtf8Printable(warning));
  startupWarnings.clear();

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
  if (pictures.isEmpty()) {
    holescan::FormWindow window;
    window.show();
    return QApplication::exec();
  }
  // The picture's name as bytes: the decoded argument loses those that are not UTF-8. argv
  // holds what the application object left of the arguments.
  std::string bytes = QFile::encodeName(pictures.first()).toStdString();
  for (int i = argc - 1; i >= 1; --i) {
    if (QFile::decodeName(argv[i]) == pictures.first()) {
      bytes = argv[i];
      break;
    }
  }
  holescan::FormWindow window(holescan::FormWindow::FileName{bytes});
  window.show();
  return QApplication::exec();
}
