// random.h - the seeded generator of the tests: splitmix64, tiny and identical everywhere,
// unlike the std:: distributions.
#pragma once

#include <cstdint>

#include "splitmix.h"

namespace holescan::testing {

using Random = SplitMix;

}  // namespace holescan::testing
