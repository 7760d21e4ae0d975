#include "pixel/darkness.h"

#include <bit>
#include <cmath>

#if defined(__GNUC__) || defined(__clang__)
#define HOLESCAN_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define HOLESCAN_ALWAYS_INLINE inline
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define HOLESCAN_AVX2_SCAN 1
#else
#define HOLESCAN_AVX2_SCAN 0
#endif

namespace holescan {
namespace {

// Floor division of the colour value in double precision, as the components are defined.
double HighPart(std::int32_t colour) {
  return std::floor(static_cast<double>(colour) / 65536.0);
}

std::array<std::uint8_t, kMaxColourSum + 1> MakeTable() {
  std::array<std::uint8_t, kMaxColourSum + 1> table{};
  for (int s = 0; s <= kMaxColourSum; ++s)
    table[static_cast<std::size_t>(s)] = DarknessByte(DarknessWeightOfSum(s));
  return table;
}

}  // namespace

int RoundHalfEven(double value) {
  return static_cast<int>(std::nearbyint(value));
}

std::uint8_t GetBlue(std::int32_t colour) {
  const double blue = HighPart(colour);
  if (blue < 0 || blue > 255) throw ColourOverflow("Overflow");
  return static_cast<std::uint8_t>(blue);
}

std::uint8_t GetGreen(std::int32_t colour) {
  const double rest = static_cast<double>(colour) - 65536.0 * HighPart(colour);
  return static_cast<std::uint8_t>(std::floor(rest / 256.0));
}

std::uint8_t GetRed(std::int32_t colour) {
  const double green = GetGreen(colour);
  return static_cast<std::uint8_t>((static_cast<double>(colour) - 256.0 * green) -
                                   65536.0 * HighPart(colour));
}

float DarknessWeightOfSum(int sum) {
  const float t = static_cast<float>(sum);
  if (t <= 20.0f) return 1.0f;
  if (t <= 55.0f) {
    const double f = 0.002 * (static_cast<double>(t) - 20.0);
    return static_cast<float>(1.0 - f * f);
  }
  return 18.0f / ((t - 20.0f) + 2.0f);
}

float DarknessWeightOfColour(std::int32_t colour) {
  if (colour < 0) return 0.0f;
  const int sum = GetGreen(colour) + GetRed(colour) + GetBlue(colour);
  return DarknessWeightOfSum(sum);
}

std::uint8_t DarknessByte(float weight) {
  const float product = weight * 255.0f;
  return static_cast<std::uint8_t>(RoundHalfEven(product));
}

const std::array<std::uint8_t, kMaxColourSum + 1>& DarknessByteTable() {
  static const auto table = MakeTable();
  return table;
}

namespace {

// With a constant trip count a block's loop vectorises without a scalar remainder, which GCC
// requires at -O2.
static_assert(kDarknessBlock == 32);
constexpr int kLightestDarkSum = 55;  // s <= 55 is exactly a byte above kDarkThreshold
// Adding and subtracting 1.5 * 2^23 rounds a float below 2^22 to an integer, halves to even,
// in the default rounding mode: the same as RoundHalfEven on it.
constexpr float kRoundingBias = 12582912.0f;

constexpr std::uint32_t GreyWord(std::uint32_t v) {
  return v * 0x010101u | 0xFF000000u;
}

// One whole block as if every pixel were light; returns true when one is not. Grey words are
// written only with kGrey (a scan without a result picture has no use for them).
template <bool kGrey>
inline bool LightBlock(const std::uint32_t* __restrict pixels, std::uint8_t* __restrict dark,
                       std::uint32_t* __restrict grey) {
  int smallestSum = kMaxColourSum;
  for (int i = 0; i < kDarknessBlock; ++i) {
    const int sum = ColourSum(pixels[i]);
    smallestSum = sum < smallestSum ? sum : smallestSum;
    // DarknessWeightOfSum and DarknessByte for s > 55, operation by operation: s - 18 is
    // exactly (s - 20) + 2 in float. A dark pixel gets the byte of s = 56 here.
    const auto divisor = static_cast<float>((sum > kLightestDarkSum ? sum : 56) - 18);
    const float product = 18.0f / divisor * 255.0f;
    const auto v =
        static_cast<std::uint32_t>(static_cast<int>((product + kRoundingBias) - kRoundingBias));
    dark[i] = static_cast<std::uint8_t>(v);
    if constexpr (kGrey) grey[i] = GreyWord(v);
  }
  return smallestSum <= kLightestDarkSum;
}

// Up to one block from the table; returns its dark pixels, bit i for pixel i.
template <bool kGrey>
std::uint32_t TableBlock(const std::uint32_t* pixels, int count, std::uint8_t* dark,
                         std::uint32_t* grey) {
  const auto& table = DarknessByteTable();
  std::uint32_t darkPixels = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t v = table[static_cast<std::size_t>(ColourSum(pixels[i]))];
    dark[i] = v;
    if constexpr (kGrey) grey[i] = GreyWord(v);
    if (v > kDarkThreshold) darkPixels |= std::uint32_t{1} << i;
  }
  return darkPixels;
}

// A whole block in portable code; returns its dark pixels.
template <bool kGrey>
inline std::uint32_t PortableBlock(const std::uint32_t* pixels, std::uint8_t* dark,
                                   std::uint32_t* grey) {
  return LightBlock<kGrey>(pixels, dark, grey)
             ? TableBlock<kGrey>(pixels, kDarknessBlock, dark, grey)
             : 0;
}

// Always inlined, so that the block function is inlined into a caller built for its
// instruction set.
template <bool kGrey, std::uint32_t (*Block)(const std::uint32_t*, std::uint8_t*, std::uint32_t*)>
HOLESCAN_ALWAYS_INLINE int ScanBlocks(const std::uint32_t* pixels, int count, std::uint8_t* dark,
                                      std::uint32_t* grey, DarkBlock* darkBlocks) {
  int blocks = 0;
  int i = 0;
  for (; i + kDarknessBlock <= count; i += kDarknessBlock) {
    if (const std::uint32_t darkPixels = Block(pixels + i, dark + i, kGrey ? grey + i : nullptr))
      darkBlocks[blocks++] = {i, darkPixels};
  }
  if (i < count) {
    if (const std::uint32_t darkPixels =
            TableBlock<kGrey>(pixels + i, count - i, dark + i, kGrey ? grey + i : nullptr))
      darkBlocks[blocks++] = {i, darkPixels};
  }
  return blocks;
}

#if HOLESCAN_AVX2_SCAN
// PortableBlock in AVX2, eight pixels to an instruction, for the same bytes:
// - maddubs multiplies the bytes B, G, R, A by 1, 1, 1, 0 and adds pairs, madd adds the two
//   16-bit halves: the exact sum (at most 765, no saturation);
// - the divisor is an exact small integer; division and product are single IEEE operations,
//   as in LightBlock (never fused);
// - cvtps rounds in the current rounding mode, as nearbyint in RoundHalfEven does;
// - bytes 6..121 pass the saturating packs unchanged.
// Only the dark pixels themselves are then redone from the table.
template <bool kGrey>
__attribute__((target("avx2"))) inline std::uint32_t Avx2Block(const std::uint32_t* pixels,
                                                               std::uint8_t* dark,
                                                               std::uint32_t* grey) {
  const __m256i channelWeights = _mm256_set1_epi32(0x00010101);
  const __m256i pairWeights = _mm256_set1_epi16(1);
  const __m256i lightest = _mm256_set1_epi32(kLightestDarkSum + 1);
  const __m256i eighteen = _mm256_set1_epi32(18);
  const __m256 numerator = _mm256_set1_ps(18.0f);
  const __m256 scale = _mm256_set1_ps(255.0f);
  const __m256i greyChannels = _mm256_set1_epi32(0x010101);
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  std::uint32_t darkPixels = 0;
  __m256i v[4];
  for (int k = 0; k < 4; ++k) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + 8 * k));
    const __m256i sum = _mm256_madd_epi16(_mm256_maddubs_epi16(p, channelWeights), pairWeights);
    const __m256i isDark = _mm256_cmpgt_epi32(lightest, sum);
    darkPixels |= static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(isDark)))
                  << (8 * k);
    const __m256 divisor =
        _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_max_epi32(sum, lightest), eighteen));
    v[k] = _mm256_cvtps_epi32(_mm256_mul_ps(_mm256_div_ps(numerator, divisor), scale));
    if constexpr (kGrey) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(grey + 8 * k),
                          _mm256_or_si256(_mm256_mullo_epi32(v[k], greyChannels), opaque));
    }
  }
  // The packs work within 128-bit lanes; the permutation puts the pixels back in order.
  const __m256i packed =
      _mm256_packus_epi16(_mm256_packs_epi32(v[0], v[1]), _mm256_packs_epi32(v[2], v[3]));
  _mm256_storeu_si256(
      reinterpret_cast<__m256i*>(dark),
      _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
  if (darkPixels != 0) {
    const auto& table = DarknessByteTable();
    for (std::uint32_t bits = darkPixels; bits != 0; bits &= bits - 1) {
      const int i = std::countr_zero(bits);
      const std::uint8_t byte = table[static_cast<std::size_t>(ColourSum(pixels[i]))];
      dark[i] = byte;
      if constexpr (kGrey) grey[i] = GreyWord(byte);
    }
  }
  return darkPixels;
}

__attribute__((target("avx2"))) int DarknessRowAvx2(const std::uint32_t* pixels, int count,
                                                    std::uint8_t* dark, std::uint32_t* grey,
                                                    DarkBlock* darkBlocks) {
  return grey != nullptr
             ? ScanBlocks<true, Avx2Block<true>>(pixels, count, dark, grey, darkBlocks)
             : ScanBlocks<false, Avx2Block<false>>(pixels, count, dark, grey, darkBlocks);
}
#endif

}  // namespace

int DarknessRow(const std::uint32_t* pixels, int count, std::uint8_t* dark, std::uint32_t* grey,
                DarkBlock* darkBlocks) {
#if HOLESCAN_AVX2_SCAN
  static const bool avx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  if (avx2) return DarknessRowAvx2(pixels, count, dark, grey, darkBlocks);
#endif
  return DarknessRowPortable(pixels, count, dark, grey, darkBlocks);
}

int DarknessRowPortable(const std::uint32_t* pixels, int count, std::uint8_t* dark,
                        std::uint32_t* grey, DarkBlock* darkBlocks) {
  return grey != nullptr
             ? ScanBlocks<true, PortableBlock<true>>(pixels, count, dark, grey, darkBlocks)
             : ScanBlocks<false, PortableBlock<false>>(pixels, count, dark, grey, darkBlocks);
}

}  // namespace holescan
