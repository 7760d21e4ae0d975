#include "io/picture_format.h"

#include <cstring>

namespace holescan {

PictureFormat SniffPictureFormat(std::string_view head) {
  auto starts = [&](std::string_view magic, std::size_t at = 0) {
    return head.size() >= at + magic.size() && head.substr(at, magic.size()) == magic;
  };
  using namespace std::string_view_literals;
  if (starts("BM"sv)) return PictureFormat::Bmp;
  if (starts("\x89PNG\r\n\x1a\n"sv)) return PictureFormat::Png;
  if (starts("\xFF\xD8\xFF"sv)) return PictureFormat::Jpeg;
  if (starts("GIF87a"sv) || starts("GIF89a"sv)) return PictureFormat::Gif;
  if (starts("II*\0"sv) || starts("MM\0*"sv)) return PictureFormat::Tiff;
  if (starts("RIFF"sv) && starts("WEBP"sv, 8)) return PictureFormat::WebP;
  if (head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' &&
      std::strchr(" \t\r\n#", head[2]) != nullptr) {  // a NUL third byte too: the decoder decides
    return PictureFormat::Pnm;
  }
  return PictureFormat::Unknown;
}

std::string_view PictureFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Bmp:
      return "bmp";
    case PictureFormat::Png:
      return "png";
    case PictureFormat::Jpeg:
      return "jpeg";
    case PictureFormat::Gif:
      return "gif";
    case PictureFormat::Tiff:
      return "tiff";
    case PictureFormat::WebP:
      return "webp";
    case PictureFormat::Pnm:
      return "pnm";
    case PictureFormat::Unknown:
      break;
  }
  return "";
}

}  // namespace holescan
