#include "pixel/darkness.h"

#include <cmath>

namespace holescan {
namespace {

// Floor division of the colour value in double precision, as the components are defined.
double HighPart(std::int32_t colour) { return std::floor(static_cast<double>(colour) / 65536.0); }

std::array<std::uint8_t, kMaxColourSum + 1> MakeTable() {
  std::array<std::uint8_t, kMaxColourSum + 1> table{};
  for (int s = 0; s <= kMaxColourSum; ++s) table[static_cast<std::size_t>(s)] =
      DarknessByte(DarknessWeightOfSum(s));
  return table;
}

}  // namespace

int RoundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

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

}  // namespace holescan
