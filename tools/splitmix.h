// splitmix.h - the seeded generator of every synthetic picture and test input: splitmix64,
// tiny, fast and identical on every platform, unlike the std:: distributions.
#pragma once

#include <cstdint>

namespace holescan {

class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1) with 53 random bits.
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  double Uniform(double low, double high) { return low + (high - low) * Unit(); }
  // Uniform in low..high inclusive; the modulo bias is far below anything visible.
  int IntIn(int low, int high) {
    return low + static_cast<int>(Next() % static_cast<std::uint64_t>(high - low + 1));
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }
  // Uniform enough in 0..bound-1 for test data.
  std::uint32_t Below(std::uint32_t bound) {
    return static_cast<std::uint32_t>((Next() >> 32) * bound >> 32);
  }

 private:
  std::uint64_t state_;
};

}  // namespace holescan
