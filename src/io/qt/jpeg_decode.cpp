#include <turbojpeg.h>

#include <memory>
#include <vector>

#include "io/qt/direct_decode.h"

namespace holescan {
namespace {

struct HandleCloser {
  void operator()(void* handle) const { tjDestroy(handle); }
};

}  // namespace

std::optional<Picture> DecodeJpegDirect(const ByteSource& file, const PictureCheck& check,
                                        const PictureLimits& limits) {
  const std::int64_t size = file.Size();
  if (check.width <= 0 || check.height <= 0 || check.width > kMaxPictureSide ||
      check.height > kMaxPictureSide) {
    return std::nullopt;
  }
  // The file in memory beside the picture: within the budget, or Qt reads it in pieces.
  const std::int64_t pictureBytes = 4 * check.width * check.height;
  if (size <= 0 || size > limits.memoryBudget - pictureBytes) return std::nullopt;
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  if (!file.ReadExactly(0, bytes.data(), bytes.size())) return std::nullopt;

  const std::unique_ptr<void, HandleCloser> handle(tjInitDecompress());
  if (!handle) throw std::bad_alloc();
  int width = 0, height = 0, subsampling = 0, colourSpace = 0;
  if (tjDecompressHeader3(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()),
                          &width, &height, &subsampling, &colourSpace) != 0) {
    return std::nullopt;
  }
  // CMYK and YCCK files take Qt's own conversion.
  if (width != check.width || height != check.height ||
      (colourSpace != TJCS_RGB && colourSpace != TJCS_YCbCr && colourSpace != TJCS_GRAY)) {
    return std::nullopt;
  }
  Picture picture = Picture::Unfilled(width, height);
  // BGRA words are 0xAARRGGBB in memory order with alpha 0xFF. Any warning of libjpeg stops
  // the decode, as it refuses the file in Qt's reader; the default method and upsampling are
  // those Qt's reader asks for.
  if (tjDecompress2(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()),
                    reinterpret_cast<unsigned char*>(picture.Data()), width, width * 4, height,
                    TJPF_BGRA, TJFLAG_STOPONWARNING) != 0) {
    return std::nullopt;
  }
  return picture;
}

std::optional<Picture> DecodeDirect(const ByteSource& file, PictureFormat format,
                                    const PictureCheck& check, const PictureLimits& limits) {
  switch (format) {
    case PictureFormat::Bmp:
      return DecodeBmpDirect(file, ReadBmpHeader(file));
    case PictureFormat::Jpeg:
      return DecodeJpegDirect(file, check, limits);
    case PictureFormat::Png:
      return DecodePngDirect(file, check, limits);
    default:
      return std::nullopt;
  }
}

}  // namespace holescan
