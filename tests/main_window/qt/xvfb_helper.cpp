// xvfb_helper - what xvfb_check.sh needs besides the window:
//   xvfb_helper picture OUT.png              a generated 400 x 300 target
//   xvfb_helper report PICTURE L T R B       the report "Draw" gives for that rectangle, headless
//   xvfb_helper grab OUT.png                 a screenshot of the whole X screen
//   xvfb_helper pixel PNG X Y                the colour of one pixel, as #rrggbb
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/qt/picture_loader.h"
#include "support/recording_window.h"
#include "main_window/form1.h"
#include "main_window/qt/picture_box.h"
#include "targetgen.h"

namespace {

int Usage() {
  std::fputs("usage: xvfb_helper picture OUT | report PICTURE L T R B | grab OUT | pixel PNG X Y\n",
             stderr);
  return 2;
}

int WriteTarget(const char* out) {
  holescan::targetgen::TargetOptions options;
  options.width = 400;
  options.height = 300;
  options.seed = 5;
  options.holes = 5;
  options.overlappingPairs = 1;
  options.specks = 8;
  return holescan::WrapPicture(holescan::targetgen::MakeTarget(options).picture).save(out) ? 0 : 1;
}

// The rectangle is set as the presses of the check set it: left at (L, T), right at (R, B).
int PrintReport(char** argv) {
  holescan::PictureFile file = holescan::LoadPictureFile(argv[0]);
  if (!file.loaded) {
    std::fprintf(stderr, "xvfb_helper: %s: %s\n", argv[0], file.reason.c_str());
    return 1;
  }
  holescan::fakes::RecordingWindow toolkit;
  toolkit.Serve(std::move(file));
  holescan::Form1 form(toolkit, toolkit);
  form.Form_Load();
  form.PicTarget_MouseDown(1, 0, std::stof(argv[1]), std::stof(argv[2]));
  form.PicTarget_MouseDown(2, 0, std::stof(argv[3]), std::stof(argv[4]));
  if (const auto error = form.CmdDraw_Click()) {
    std::fprintf(stderr, "xvfb_helper: %s\n", error->c_str());
    return 1;
  }
  const std::string report = toolkit.ClipboardText();
  std::fwrite(report.data(), 1, report.size(), stdout);
  return 0;
}

int Grab(int argc, char** argv, const char* out) {
  QGuiApplication app(argc, argv);
  return QGuiApplication::primaryScreen()->grabWindow(0).save(out) ? 0 : 1;
}

int PrintPixel(const char* png, int x, int y) {
  const QImage image(png);
  if (!image.valid(x, y)) return 1;
  std::printf("%s\n", QColor(image.pixel(x, y)).name().toLatin1().constData());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  holescan::ConfigurePictureReading();
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  if (command == "picture") return WriteTarget(argv[2]);
  if (command == "report" && argc == 7) return PrintReport(argv + 2);
  if (command == "grab") return Grab(argc, argv, argv[2]);
  if (command == "pixel" && argc == 5)
    return PrintPixel(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  return Usage();
}
