// review_xvfb_helper - the pieces of review_xvfb_check.sh that need the project's code:
//   review_xvfb_helper card OUT.bmp     a generated air-rifle card at 150 ppi with five shots
//   review_xvfb_helper card OUT.ppm     the card's part right of its black (one shot), in a
//                                       format that stores no resolution: no black to measure
//                                       one on either
//   review_xvfb_helper count SHOTS.json "SHOTS EDITED" of a saved shots file
//   review_xvfb_helper setting SHOTS.json KEY   a setting of a saved shots file (face, dpi)
//   review_xvfb_helper grab OUT.png     a screenshot of the whole X screen
//   review_xvfb_helper marks IN.png X0 Y0 X1 Y1   the pixels in the rectangle drawn in the
//                                       colour of found shots (their circles' bright middle)
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "facegen.h"
#include "review/overlay.h"
#include "review/picture_image.h"
#include "review/shots_file.h"

namespace {

int WriteCard(const char* out) {
  holescan::facegen::FaceOptions options;
  options.face = holescan::score::FindFace("issf-air-rifle");
  options.dpi = 150;
  options.seed = 7;
  options.numbers = false;
  options.shots = {{-9, 2},
                   {6, 8},
                   {14, -16, holescan::facegen::HoleLook::Dark},
                   {-17, 12, holescan::facegen::HoleLook::Dark},
                   {19, 5, holescan::facegen::HoleLook::Dark}};
  const auto card = holescan::facegen::MakeFace(options);
  const std::string name = out;
  if (name.size() > 4 && name.substr(name.size() - 4) == ".ppm") {
    // From 16.3 mm right of the centre: the black's radius is 15.25 mm.
    const QImage whole = holescan::review::ImageOf(card.picture);
    const int left = static_cast<int>(card.aimX + 16.3 * options.dpi / 25.4);
    return whole.copy(left, 0, whole.width() - left, whole.height())
                   .save(QString::fromLocal8Bit(out), "PPM")
               ? 0
               : 1;
  }
  return holescan::facegen::WriteBmp(card.picture, out, options.dpi) ? 0 : 1;
}

int Count(const char* path) {
  const auto read =
      holescan::review::ReadShotsFile(path, holescan::kMaxPictureSide, holescan::kMaxPictureSide);
  if (!read.file) {
    std::fprintf(stderr, "%s\n", read.exists ? read.reason.c_str() : "no saved shots");
    return 1;
  }
  int edited = 0;
  for (const auto& shot : read.file->shots) edited += shot.edited ? 1 : 0;
  std::printf("%zu %d\n", read.file->shots.size(), edited);
  return 0;
}

int Setting(const char* path, const char* key) {
  const auto read =
      holescan::review::ReadShotsFile(path, holescan::kMaxPictureSide, holescan::kMaxPictureSide);
  if (!read.file) return 1;
  if (std::strcmp(key, "face") == 0) std::printf("%s\n", read.file->settings.face.c_str());
  if (std::strcmp(key, "dpi") == 0) std::printf("%g\n", read.file->settings.dpi);
  return 0;
}

int Marks(char** argv) {
  const QImage image(QString::fromLocal8Bit(argv[2]));
  if (image.isNull()) return 1;
  const QRect box = QRect(QPoint(std::atoi(argv[3]), std::atoi(argv[4])),
                          QPoint(std::atoi(argv[5]), std::atoi(argv[6])))
                        .intersected(image.rect());
  const QColor found = holescan::review::kFoundColour;
  long count = 0;
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      count += std::abs(c.red() - found.red()) + std::abs(c.green() - found.green()) +
                           std::abs(c.blue() - found.blue()) <
                       60
                   ? 1
                   : 0;
    }
  std::printf("%ld\n", count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "card") == 0) return WriteCard(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "count") == 0) return Count(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "setting") == 0) return Setting(argv[2], argv[3]);
  if (argc == 7 && std::strcmp(argv[1], "marks") == 0) return Marks(argv);
  if (argc == 3 && std::strcmp(argv[1], "grab") == 0) {
    QGuiApplication app(argc, argv);
    return QGuiApplication::primaryScreen()->grabWindow(0).save(argv[2]) ? 0 : 1;
  }
  std::fputs(
      "usage: review_xvfb_helper card OUT.bmp|OUT.ppm | count SHOTS.json | setting SHOTS.json "
      "KEY | grab OUT.png | marks IN.png X0 Y0 X1 Y1\n",
      stderr);
  return 2;
}
