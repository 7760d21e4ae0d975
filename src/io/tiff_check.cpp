#include "io/tiff_check.h"

#include <algorithm>
#include <array>
#include <vector>

namespace holescan {
namespace {

constexpr std::uint32_t kShort = 3;
constexpr std::uint32_t kLong = 4;
constexpr std::uint32_t kRational = 5;
constexpr std::uint32_t kMaxEntries = 1000;
constexpr std::uint32_t kMaxSamples = 16;

class TiffReader {
 public:
  TiffReader(const ByteSource& file, std::int64_t base, bool little)
      : file_(file), base_(base), little_(little) {}

  std::uint32_t U16(const std::uint8_t* p) const { return little_ ? Le16(p) : Be16(p); }
  std::uint32_t U32(const std::uint8_t* p) const { return little_ ? Le32(p) : Be32(p); }
  bool At(std::uint32_t offset, std::uint8_t* out, std::size_t count) const {
    return file_.ReadExactly(base_ + offset, out, count);
  }

  // The value of a RATIONAL entry (always held outside the entry); nothing for a zero
  // denominator or an unreadable one.
  std::optional<double> Rational(const std::uint8_t* entry) const {
    if (U16(entry + 2) != kRational || U32(entry + 4) < 1) return std::nullopt;
    std::array<std::uint8_t, 8> value{};
    if (!At(U32(entry + 8), value.data(), value.size())) return std::nullopt;
    const std::uint32_t denominator = U32(&value[4]);
    if (denominator == 0) return std::nullopt;
    return static_cast<double>(U32(&value[0])) / denominator;
  }

  // The sum of a SHORT entry's values, read inline or from the offset it gives.
  std::optional<std::int64_t> ShortSum(const std::uint8_t* entry) const {
    const std::uint32_t count = U32(entry + 4);
    if (U16(entry + 2) != kShort || count < 1 || count > kMaxSamples) return std::nullopt;
    std::array<std::uint8_t, 2 * kMaxSamples> values{};
    if (count <= 2) {
      std::copy(entry + 8, entry + 12, values.begin());
    } else if (!At(U32(entry + 8), values.data(), 2 * count)) {
      return std::nullopt;
    }
    std::int64_t sum = 0;
    for (std::uint32_t i = 0; i < count; ++i) sum += U16(&values[2 * i]);
    return sum;
  }

 private:
  const ByteSource& file_;
  std::int64_t base_;
  bool little_;
};

}  // namespace

TiffDirectory ReadTiffDirectory(const ByteSource& file, std::int64_t base) {
  TiffDirectory directory;
  std::array<std::uint8_t, 8> head{};
  if (!file.ReadExactly(base, head.data(), head.size())) return directory;
  const TiffReader tiff(file, base, head[0] == 'I');
  if (tiff.U16(&head[2]) != 42) return directory;  // BigTIFF and anything else
  const std::uint32_t start = tiff.U32(&head[4]);
  std::array<std::uint8_t, 2> count{};
  if (!tiff.At(start, count.data(), count.size())) return directory;
  const std::uint32_t entries = std::min(tiff.U16(count.data()), kMaxEntries);
  std::vector<std::uint8_t> table(static_cast<std::size_t>(entries) * 12);
  if (!tiff.At(start + 2, table.data(), table.size())) return directory;
  directory.read = true;

  std::int64_t bitsPerSample = 1, samples = 1;
  std::optional<std::int64_t> bitsPerPixel;  // from a BitsPerSample with a value per sample
  std::optional<double> x, y;
  std::uint32_t unit = 2;  // inches unless the file says otherwise
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::uint8_t* entry = &table[static_cast<std::size_t>(i) * 12];
    const std::uint32_t tag = tiff.U16(entry);
    const std::uint32_t type = tiff.U16(entry + 2);
    if (tag == 282) x = tiff.Rational(entry);
    if (tag == 283) y = tiff.Rational(entry);
    if (type != kShort && type != kLong) continue;
    // The first value: a SHORT or a LONG held in the entry itself.
    const std::uint32_t value = type == kShort ? tiff.U16(entry + 8) : tiff.U32(entry + 8);
    switch (tag) {
      case 256:
        directory.width = value;
        break;
      case 257:
        directory.height = value;
        break;
      case 258:
        if (tiff.U32(entry + 4) == 1) {
          bitsPerSample = value;
        } else {
          bitsPerPixel = tiff.ShortSum(entry);
        }
        break;
      case 259:
        directory.compression = value;
        break;
      case 277:
        samples = value;
        break;
      case 296:
        unit = value;
        break;
      default:
        break;
    }
  }
  directory.bitsPerPixel = bitsPerPixel.value_or(std::max<std::int64_t>(bitsPerSample, 1) *
                                                 std::max<std::int64_t>(samples, 1));
  directory.bitsPerPixel = std::max<std::int64_t>(directory.bitsPerPixel, 1);
  constexpr double kCentimetresPerInch = 2.54;
  if (x && y && *x > 0 && *y > 0 && (unit == 2 || unit == 3)) {
    const double scale = unit == 3 ? kCentimetresPerInch : 1.0;
    directory.resolution = Resolution{*x * scale, *y * scale};
  }
  return directory;
}

std::int64_t TiffMinimumSize(const TiffDirectory& directory, std::int64_t pixels) {
  if (!directory.read) return 0;
  const std::int64_t rawBytes = pixels * directory.bitsPerPixel / 8;
  switch (directory.compression) {
    case 1:  // none
      return rawBytes;
    case 32773:  // PackBits: a run of 128 bytes in 2
      return rawBytes / 64;
    case 5:  // LZW: codes of at least 9 bits for at most 4096 bytes each
      return rawBytes * 9 / (4096 * 8);
    case 8:
    case 32946:  // Deflate
      return rawBytes / 1032;
    default:
      return 0;
  }
}

}  // namespace holescan
