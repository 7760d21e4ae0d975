// Second-pass grouping of peak cells (GroupPeak) into Peaks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis_fixture.h"

namespace holescan {
namespace {

using testing::AnalysisFixture;
using Points = std::vector<HolePoint>;
using Captions = std::vector<std::string>;

void Group(AnalysisFixture& f, std::initializer_list<std::pair<int, int>> cells) {
  for (auto [x, y] : cells) f.analysis.GroupPeak(x, y);
}

TEST(PeakGrouping, isolated_cell_makes_a_new_peak_with_two_captions) {
  AnalysisFixture f(130, 100);
  f.dark.At(120, 88) = 240;
  Group(f, {{120, 88}});
  ASSERT_EQ(f.Peaks().UpperBound(), 1u);
  EXPECT_EQ(f.Peaks().Points(1), (Points{{120, 88}}));
  EXPECT_EQ(f.Peaks().Shades(1), (std::vector<std::uint8_t>{240}));
  EXPECT_EQ(f.analysis.PeakMapAt(120, 88), 1u);
  EXPECT_EQ(f.host.captions, (Captions{"><=-=Made new Hole 1", "><--Adding to Hole 1 120,88"}));

  Group(f, {{120, 88}});  // labelled already: nothing happens
  EXPECT_EQ(f.host.captions.size(), 2u);
  EXPECT_EQ(f.Peaks().Points(1).size(), 1u);
}

TEST(PeakGrouping, row_of_three_and_a_square_join_one_record_without_merging) {
  AnalysisFixture f(20, 20);
  Group(f, {{5, 5}, {6, 5}, {7, 5}, {5, 6}, {6, 6}});
  ASSERT_EQ(f.Peaks().UpperBound(), 1u);
  EXPECT_EQ(f.Peaks().Points(1), (Points{{5, 5}, {6, 5}, {7, 5}, {5, 6}, {6, 6}}));
  EXPECT_EQ(f.host.captions, (Captions{"><=-=Made new Hole 1", "><--Adding to Hole 1 5,5",
                                       "><--Adding to Hole 1 6,5", "><--Adding to Hole 1 7,5",
                                       "><--Adding to Hole 1 5,6", "><--Adding to Hole 1 6,6"}));
}

TEST(PeakGrouping, diagonal_neighbours_join_and_their_different_labels_stay_apart) {
  AnalysisFixture f(20, 20);
  Group(f, {{6, 5}, {5, 6}, {9, 5}, {10, 6}});  // upper right, then upper left
  EXPECT_EQ(f.Peaks().Points(1), (Points{{6, 5}, {5, 6}}));
  EXPECT_EQ(f.Peaks().Points(2), (Points{{9, 5}, {10, 6}}));

  AnalysisFixture g(20, 20);
  // (4, 5) sees 2 on its left and 1 on its upper right: it joins 1, nothing is merged.
  Group(g, {{5, 4}, {3, 5}, {4, 5}});
  EXPECT_EQ(g.Peaks().Points(1), (Points{{5, 4}, {4, 5}}));
  EXPECT_EQ(g.Peaks().Points(2), (Points{{3, 5}}));
  EXPECT_EQ(g.host.LastCaption(), "><--Adding to Hole 1 4,5");
}

// Two columns grow side by side; where a cell has left and up neighbours with different
// labels, the left record moves into the upper one. The label map is not rewritten, so the
// left column keeps label 1: its next cell refills the emptied record 1, and the cell after
// that merges it again.
TEST(PeakGrouping, left_record_merges_into_upper_and_the_old_label_refills_it) {
  AnalysisFixture f(20, 20);
  Group(f, {{10, 10}, {12, 10}, {10, 11}, {11, 11}, {12, 11}, {10, 12}, {11, 12}});
  EXPECT_TRUE(f.Peaks()[1].Empty());
  EXPECT_EQ(f.Peaks().Points(2),
            (Points{{12, 10}, {11, 11}, {12, 11}, {10, 10}, {10, 11}, {10, 12}, {11, 12}}));
  EXPECT_EQ(f.analysis.PeakMapAt(10, 12), 1u);

  Group(f, {{10, 13}});
  EXPECT_EQ(f.Peaks().Points(1), (Points{{10, 13}}));
  Group(f, {{11, 13}});
  EXPECT_TRUE(f.Peaks()[1].Empty());
  EXPECT_EQ(f.Peaks().Points(2).size(), 9u);
  EXPECT_EQ(f.Peaks().Points(2).back(), (HolePoint{11, 13}));
  EXPECT_EQ(f.analysis.PeakMapAt(10, 13), 1u);

  EXPECT_EQ(f.host.captions,
            (Captions{"><=-=Made new Hole 1", "><--Adding to Hole 1 10,10", "><=-=Made new Hole 2",
                      "><--Adding to Hole 2 12,10", "><--Adding to Hole 1 10,11",
                      "><--Adding to Hole 2 11,11", "><--Adding to Hole 2 12,11",
                      "><--Adding to Hole 1 10,12", "><==Merging Hole 1 to 2",
                      "><--Adding to Hole 2 11,12", "><--Adding to Hole 1 10,13",
                      "><==Merging Hole 1 to 2", "><--Adding to Hole 2 11,13"}));

  f.analysis.CompactPeaks();
  EXPECT_EQ(f.Peaks().Size(), 1u);
}

TEST(PeakGrouping, more_than_255_peaks_keep_their_labels) {
  AnalysisFixture f(100, 30);
  for (int y = 1; y < 25; y += 2)
    for (int x = 1; x < 100; x += 4) f.analysis.GroupPeak(x, y);
  ASSERT_EQ(f.Peaks().UpperBound(), 300u);
  EXPECT_EQ(f.analysis.PeakMapAt(97, 23), 300u);
  EXPECT_EQ(f.host.LastCaption(), "><--Adding to Hole 300 97,23");
  f.analysis.FinishPeaks();
  ASSERT_EQ(f.Peaks().Size(), 300u);
  EXPECT_EQ(f.Peaks()[299].CenterX, 97.0f);
}

}  // namespace
}  // namespace holescan
