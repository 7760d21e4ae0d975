// random.h - the seeded generator of the tests: splitmix64, tiny and identical everywhere,
// unlike the std:: distributions.
#pragma once

#include <cstdint>

namespace holescan::testing {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }
  // Uniform enough in 0..bound-1 for test data.
  std::uint32_t Below(std::uint32_t bound) {
    return static_cast<std::uint32_t>((Next() >> 32) * bound >> 32);
  }

 private:
  std::uint64_t state_;
};

}  // namespace holescan::testing
