// review_xvfb_helper - the pieces of review_xvfb_check.sh that need the project's code:
//   review_xvfb_helper card OUT.bmp     a generated air-rifle card at 150 ppi with five shots
//   review_xvfb_helper count SHOTS.json "SHOTS EDITED" of a saved shots file
//   review_xvfb_helper grab OUT.png     a screenshot of the whole X screen
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstring>

#include "facegen.h"
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
  return holescan::facegen::WriteBmp(card.picture, options.dpi, out) ? 0 : 1;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "card") == 0) return WriteCard(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "count") == 0) return Count(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "grab") == 0) {
    QGuiApplication app(argc, argv);
    return QGuiApplication::primaryScreen()->grabWindow(0).save(argv[2]) ? 0 : 1;
  }
  std::fputs("usage: review_xvfb_helper card OUT.bmp | count SHOTS.json | grab OUT.png\n", stderr);
  return 2;
}
