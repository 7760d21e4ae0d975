// The point of aim on more seeds and on full pages at 600 ppi: seconds of drawing, so apart.
#include <gtest/gtest.h>

#include "support/face_scans.h"

namespace holescan::shots {
namespace {

using testing_support::ExpectAimWithinTenthOfMillimetre;

TEST(FindAimSlow, within_a_tenth_of_a_millimetre_on_more_seeds) {
  ExpectAimWithinTenthOfMillimetre("issf-air-rifle", 300, 5, 12);
  ExpectAimWithinTenthOfMillimetre("issf-air-pistol", 300, 3, 6);
  ExpectAimWithinTenthOfMillimetre("issf-air-rifle", 600, 2, 5);
  ExpectAimWithinTenthOfMillimetre("issf-air-pistol", 600, 1, 2);
}

}  // namespace
}  // namespace holescan::shots
