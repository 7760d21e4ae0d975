// darkness.h - colour components and the darkness weight of a pixel.
//
// A colour value is red + 256 * green + 65536 * blue (red in the lowest byte); -1 means
// "no pixel here". The darkness weight depends only on the sum s = red + green + blue:
//   s <= 20       -> 1
//   20 < s <= 55  -> 1 - (0.002 * (s - 20))^2   (computed in double, kept as float)
//   s > 55        -> 18 / (s - 18)              (kept as float)
// so near-black pixels weigh 1 and anything lighter falls off quickly. The scan stores
// the darkness byte: the float weight times 255 in float, rounded half to even. A byte
// above kDarkThreshold means exactly s <= 55.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>

namespace holescan {

inline constexpr int kMaxColourSum = 765;
inline constexpr std::uint8_t kDarkThreshold = 220;  // bytes above this are dark pixels

// Raised by GetBlue for a colour value outside 0..0xFFFFFF.
class ColourOverflow : public std::overflow_error {
 public:
  using std::overflow_error::overflow_error;
};

// Components of a colour value 0..0xFFFFFF.
std::uint8_t GetRed(std::int32_t colour);
std::uint8_t GetGreen(std::int32_t colour);
std::uint8_t GetBlue(std::int32_t colour);  // throws ColourOverflow outside 0..0xFFFFFF

// Weight of a colour-component sum 0..765, step by step.
float DarknessWeightOfSum(int sum);
// Weight of a colour value; 0 for -1 (no pixel).
float DarknessWeightOfColour(std::int32_t colour);
// The stored byte for a weight: weight * 255 in float, rounded half to even.
std::uint8_t DarknessByte(float weight);

// DarknessByte(DarknessWeightOfSum(s)) for every s in 0..765.
const std::array<std::uint8_t, kMaxColourSum + 1>& DarknessByteTable();

// Colour value of a 0xAARRGGBB pixel word (alpha dropped).
constexpr std::int32_t ColourValue(std::uint32_t pixel) {
  return static_cast<std::int32_t>(((pixel >> 16) & 0xFFu) | (pixel & 0xFF00u) |
                                   ((pixel & 0xFFu) << 16));
}
constexpr int ColourSum(std::uint32_t pixel) {
  return static_cast<int>(((pixel >> 16) & 0xFFu) + ((pixel >> 8) & 0xFFu) + (pixel & 0xFFu));
}

// Rounds to the nearest integer, halves to the even neighbour.
int RoundHalfEven(double value);

// The scan takes a row in blocks of kDarknessBlock pixels and tells which pixels of which
// blocks are dark, so that the labelling need not look at the others.
inline constexpr int kDarknessBlock = 32;

// Blocks of kDarknessBlock pixels in `count` pixels, the last one possibly shorter.
constexpr int DarknessBlocks(int count) {
  return (count + kDarknessBlock - 1) / kDarknessBlock;
}

// A block of a row with dark pixels: its first pixel, and one bit for each of its pixels,
// bit i for pixel first + i, set where the byte is above kDarkThreshold.
struct DarkBlock {
  int first;
  std::uint32_t pixels;
};

// The scan of one row of pixel words: dark[i] = DarknessByteTable()[ColourSum(pixels[i])] and
// grey[i] = Rgb(dark[i], dark[i], dark[i]) for i in 0..count-1. Every block (pixels
// b * kDarknessBlock onwards) with a byte above kDarkThreshold goes to darkBlocks, in
// increasing order; returns how many there are. darkBlocks needs room for
// DarknessBlocks(count) blocks. No two buffers may overlap. A null `grey` writes no grey words.
//
// Light pixels (s > 55, nearly all of a scan) get their byte from the weight's own float
// arithmetic in vector instructions (AVX2 where the processor has it), dark pixels from the
// table. Both give the table's byte exactly.
int DarknessRow(const std::uint32_t* pixels, int count, std::uint8_t* dark, std::uint32_t* grey,
                DarkBlock* darkBlocks);
// DarknessRow in portable C++ only (vectorised by the compiler for the baseline processor):
// what DarknessRow runs without AVX2, with the same results.
int DarknessRowPortable(const std::uint32_t* pixels, int count, std::uint8_t* dark,
                        std::uint32_t* grey, DarkBlock* darkBlocks);

}  // namespace holescan
