// Hole rejection (RejectHoles, HoleRejected): the three limits and their captions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis_fixture.h"

namespace holescan {
namespace {

using testing::AnalysisFixture;
using Captions = std::vector<std::string>;

// A new hole of `count` points along a line from (x0, y0) to (x1, y1), ends included.
Label AddHole(AnalysisFixture& f, int count, int x0, int y0, int x1, int y1) {
  const Label i = f.Holes().Add();
  for (int k = 0; k < count; ++k) {
    const int x = count == 1 ? x0 : x0 + (x1 - x0) * k / (count - 1);
    const int y = count == 1 ? y0 : y0 + (y1 - y0) * k / (count - 1);
    f.analysis.AddPoint(f.Holes(), i, x, y);
  }
  return i;
}

TEST(Rejection, four_points_are_too_small_and_five_pass_silently) {
  AnalysisFixture f(300, 300);
  AddHole(f, 5, 10, 10, 14, 10);
  AddHole(f, 4, 20, 10, 23, 10);
  f.analysis.CompactHoles();
  f.analysis.MeasureHoles();
  EXPECT_FALSE(f.analysis.HoleRejected(0));
  EXPECT_TRUE(f.host.captions.empty());
  EXPECT_TRUE(f.analysis.HoleRejected(1));
  EXPECT_EQ(f.host.captions, (Captions{"Removed (too small) : 1"}));
}

TEST(Rejection, span_of_150_passes_and_151_is_too_wide_or_too_tall) {
  AnalysisFixture f(300, 300);
  AddHole(f, 10, 100, 5, 250, 5);    // 0: columns 100..250
  AddHole(f, 10, 100, 20, 251, 20);  // 1
  AddHole(f, 10, 5, 100, 5, 250);    // 2
  AddHole(f, 10, 20, 100, 20, 251);  // 3
  f.analysis.CompactHoles();
  f.analysis.MeasureHoles();
  f.analysis.RejectHoles();
  EXPECT_EQ(f.host.captions, (Captions{"Removed (too wide ) : 1", "Removed (too tall ) : 3"}));
  EXPECT_FALSE(f.Holes()[0].Empty());
  EXPECT_TRUE(f.Holes()[1].Empty());
  EXPECT_FALSE(f.Holes()[2].Empty());
  EXPECT_TRUE(f.Holes()[3].Empty());
  for (const std::string& caption : f.host.captions)
    EXPECT_EQ(caption.find(':') + 2, 22u);  // all prefixes 22 characters long
}

TEST(Rejection, every_failed_test_writes_its_caption_and_the_hole_keeps_its_extents) {
  AnalysisFixture f(300, 300);
  AddHole(f, 3, 0, 0, 200, 180);
  f.analysis.CompactHoles();
  f.analysis.MeasureHoles();
  f.analysis.RejectHoles();
  EXPECT_EQ(f.host.captions, (Captions{"Removed (too small) : 0", "Removed (too wide ) : 0",
                                       "Removed (too tall ) : 0"}));
  ASSERT_EQ(f.Holes().Size(), 1u);
  EXPECT_TRUE(f.Holes()[0].Empty());
  EXPECT_EQ(f.Holes()[0].MaxX, 200);
  EXPECT_EQ(f.Holes()[0].MaxY, 180);
}

TEST(Rejection, placeholder_of_a_scan_without_dark_pixels_is_too_small_with_index_0) {
  AnalysisFixture f(10, 10);
  f.analysis.CompactHoles();
  f.analysis.MeasureHoles();
  f.analysis.RejectHoles();
  EXPECT_EQ(f.host.captions, (Captions{"Removed (too small) : 0"}));
  EXPECT_EQ(f.Holes().Size(), 1u);
}

TEST(Rejection, clearing_keeps_the_indices_of_the_following_holes) {
  AnalysisFixture f(300, 300);
  AddHole(f, 6, 0, 0, 5, 0);
  AddHole(f, 2, 0, 2, 1, 2);
  AddHole(f, 6, 0, 4, 5, 4);
  AddHole(f, 1, 9, 9, 9, 9);
  f.analysis.CompactHoles();
  f.analysis.MeasureHoles();
  f.analysis.RejectHoles();
  EXPECT_EQ(f.host.captions, (Captions{"Removed (too small) : 1", "Removed (too small) : 3"}));
  f.analysis.CompactHoles();
  ASSERT_EQ(f.Holes().Size(), 2u);
  EXPECT_EQ(f.Holes()[1].MinY, 4);
}

}  // namespace
}  // namespace holescan
