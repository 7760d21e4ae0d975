#include "io/picture_check.h"

#include "io/bmp_check.h"
#include "io/gif_check.h"
#include "io/jpeg_check.h"
#include "io/png_check.h"
#include "io/pnm_check.h"
#include "io/tiff_check.h"

namespace holescan {
namespace {

std::string CannotHold(std::int64_t bytes, std::int64_t width, std::int64_t height) {
  return "corrupt data: " + std::to_string(bytes) + " bytes cannot hold " + SizeText(width, height);
}

PictureCheck Refusal(PictureCheck check, std::string reason) {
  check.refusal = std::move(reason);
  return check;
}

}  // namespace

std::optional<std::string> RefusalBeforeHeaders(const ByteSource& file, PictureFormat format) {
  if (format == PictureFormat::Png) return PngTextRefusal(ReadPng(file));
  return std::nullopt;
}

PictureCheck CheckPicture(const ByteSource& file, PictureFormat format, std::int64_t decoderWidth,
                          std::int64_t decoderHeight, const PictureLimits& limits) {
  PictureCheck check;
  std::int64_t& width = check.width;
  std::int64_t& height = check.height;
  if (decoderWidth >= 0 && decoderHeight >= 0) {
    width = decoderWidth;
    height = decoderHeight;
  }
  const auto standIn = [&](std::int64_t w, std::int64_t h) {
    if ((width < 0 || height < 0) && w >= 0 && h >= 0) {
      width = w;
      height = h;
    }
  };
  const std::int64_t size = file.Size();

  BmpHeader bmp;
  PngInfo png;
  TiffDirectory tiff;
  std::int64_t decoderBytes = 4;  // ARGB words unless the format says otherwise
  switch (format) {
    case PictureFormat::Bmp:
      bmp = ReadBmpHeader(file);
      if (bmp.headers == Verdict::Truncated) return Refusal(check, "truncated file");
      if (bmp.sized) {
        width = bmp.width;
        height = bmp.height;
      }
      check.resolution = bmp.resolution;
      check.runLengthBmp = bmp.RunLength();
      decoderBytes = bmp.RunLength() || bmp.bits <= 8 ? 1 : bmp.bits == 32 ? 4 : 0;
      break;
    case PictureFormat::Png:
      png = ReadPng(file);
      if (png.header && png.width <= 0x7FFFFFFF && png.height <= 0x7FFFFFFF)
        standIn(png.width, png.height);
      check.resolution = png.resolution;
      decoderBytes = PngDecoderBytesPerPixel(png);
      break;
    case PictureFormat::Tiff:
      tiff = ReadTiffDirectory(file);
      standIn(tiff.width, tiff.height);
      check.resolution = tiff.resolution;
      decoderBytes = tiff.bitsPerPixel > 32 ? 8 : 4;
      break;
    case PictureFormat::Pnm:
      decoderBytes = PnmDecoderBytesPerPixel(file);
      break;
    default:
      break;
  }
  if (width >= 0 && height >= 0) {
    if (auto refusal = SizeRefusal(width, height, limits)) return Refusal(check, *refusal);
  }
  if (bmp.RunLength() && bmp.topDown)
    return Refusal(check, "corrupt data: run-length BMP stored top-down");

  Verdict verdict = Verdict::Unknown;
  JpegInfo jpeg;
  GifImage gif;
  if (format == PictureFormat::Bmp) verdict = CheckBmpData(file, bmp);
  if (format == PictureFormat::Jpeg) verdict = CheckJpeg(file, jpeg);
  if (format == PictureFormat::Gif) verdict = CheckGif(file, gif);
  if (verdict == Verdict::Truncated) return Refusal(check, "truncated file");
  if (format == PictureFormat::Jpeg) {
    check.resolution = jpeg.resolution;
    decoderBytes = JpegDecoderBytesPerPixel(jpeg);
    if (width < 0 || height < 0) {
      standIn(jpeg.width, jpeg.height);
      if (auto refusal = SizeRefusal(width, height, limits)) return Refusal(check, *refusal);
    }
    if (jpeg.scans > kMaxJpegScans) {
      return Refusal(check, "too many scans: " + std::to_string(jpeg.scans) + " (the limit is " +
                                std::to_string(kMaxJpegScans) + ")");
    }
  }
  if (format == PictureFormat::Gif && verdict == Verdict::Complete &&
      (gif.codeSize < 1 || gif.codeSize > 8)) {
    return Refusal(check, "corrupt data: LZW code size " + std::to_string(gif.codeSize));
  }
  if (format == PictureFormat::Png) {
    if (auto refusal = PngTextRefusal(png)) return Refusal(check, *refusal);
  }
  if (width > 0 && height > 0) {
    std::int64_t needed = 0;
    if (format == PictureFormat::Png) needed = PngMinimumSize(png, width * height);
    if (format == PictureFormat::Jpeg) needed = JpegMinimumSize(jpeg, width, height);
    if (format == PictureFormat::Tiff) needed = TiffMinimumSize(tiff, width * height);
    if (format == PictureFormat::Pnm) needed = PnmMinimumSize(file, width, height);
    if (size < needed) {
      // As Qt's readers say of a short PNM or TIFF file.
      if (format != PictureFormat::Png && format != PictureFormat::Jpeg)
        return Refusal(check, "damaged or truncated file");
      return Refusal(check, CannotHold(size, width, height));
    }
  }
  if (format == PictureFormat::Gif && verdict == Verdict::Complete) {
    // LZW codes are at least 3 bits long and stand for at most 4096 pixels each.
    if (gif.width * gif.height > size * 8 / 3 * 4096)
      return Refusal(check, CannotHold(size, gif.width, gif.height));
    if (gif.pixels == Verdict::Truncated) return Refusal(check, "truncated file");
  }
  check.bytesPerPixel = 4 + decoderBytes;
  if (width > 0 && height > 0) {
    if (auto refusal = BudgetRefusal(width, height, check.bytesPerPixel, limits))
      return Refusal(check, *refusal);
  }
  return check;
}

}  // namespace holescan
