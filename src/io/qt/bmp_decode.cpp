#include <algorithm>
#include <vector>

#include "io/qt/direct_decode.h"

namespace holescan {
namespace {

constexpr std::int64_t kHeaders = 14 + 40;
constexpr std::size_t kBandBytes = std::size_t{256} << 10;  // stays in the second-level cache
constexpr std::uint32_t kOpaque = 0xFF000000u;

}  // namespace

std::optional<Picture> DecodeBmpDirect(const ByteSource& file, const BmpHeader& h) {
  std::uint8_t planes[2] = {};
  // Qt refuses a picture of other than one plane.
  if (!file.ReadExactly(26, planes, sizeof(planes)) || Le16(planes) != 1) return std::nullopt;
  if (h.headers != Verdict::Complete || !h.sized || h.infoSize != 40 || h.compression != 0 ||
      (h.bits != 24 && h.bits != 32) || h.width > kMaxPictureSide || h.height > kMaxPictureSide) {
    return std::nullopt;
  }
  const auto width = static_cast<int>(h.width);
  const auto height = static_cast<int>(h.height);
  // Qt reads the rows from the header's offset, or right after the headers when the offset
  // points back into them.
  const std::int64_t dataStart = std::max<std::int64_t>(kHeaders, h.dataOffset);
  const std::int64_t rowBytes = (h.width * h.bits + 31) / 32 * 4;
  if (file.Size() - dataStart < rowBytes * h.height) return std::nullopt;

  Picture picture = Picture::Unfilled(width, height);
  const auto rowSize = static_cast<std::size_t>(rowBytes);
  const int bandRows = static_cast<int>(std::clamp<std::size_t>(kBandBytes / rowSize, 1, 4096));
  std::vector<std::uint8_t> band(static_cast<std::size_t>(bandRows) * rowSize);
  for (int first = 0; first < height; first += bandRows) {
    const int rows = std::min(bandRows, height - first);
    if (!file.ReadExactly(dataStart + first * rowBytes, band.data(),
                          static_cast<std::size_t>(rows) * rowSize)) {
      return std::nullopt;
    }
    for (int i = 0; i < rows; ++i) {
      // Stored bottom up unless the header's height was negative.
      const int y = h.topDown ? first + i : height - 1 - (first + i);
      const std::uint8_t* in = band.data() + static_cast<std::size_t>(i) * rowSize;
      std::uint32_t* out = picture.Row(y);
      if (h.bits == 24) {
        for (int x = 0; x < width; ++x, in += 3)
          out[x] = kOpaque | (std::uint32_t{in[2]} << 16) | (std::uint32_t{in[1]} << 8) | in[0];
      } else {
        for (int x = 0; x < width; ++x, in += 4) out[x] = kOpaque | Le32(in);
      }
    }
  }
  return picture;
}

}  // namespace holescan
