// First-pass labelling (LabelDarkPixel): hole numbers, point order, captions and colours.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "analysis_fixture.h"

namespace holescan {
namespace {

using testing::AnalysisFixture;
using Points = std::vector<HolePoint>;
using Captions = std::vector<std::string>;

constexpr std::uint32_t kGreen = Rgb(0, 255, 0);
constexpr std::uint32_t kRed = Rgb(255, 0, 0);
constexpr std::uint32_t kWhite = Rgb(255, 255, 255);

TEST(Labeling, single_dark_pixel_makes_hole_1_painted_green) {
  AnalysisFixture f(10, 10);
  f.dark.At(5, 5) = 230;
  f.Label();
  ASSERT_EQ(f.Holes().UpperBound(), 1u);
  EXPECT_EQ(f.Holes().Points(1), (Points{{5, 5}}));
  EXPECT_EQ(f.Holes().Shades(1), (std::vector<std::uint8_t>{230}));
  EXPECT_EQ(f.analysis.HoleMapAt(5, 5), 1u);
  EXPECT_EQ(f.result.At(5, 5), kGreen);
  EXPECT_EQ(f.host.captions, (Captions{"=-=Made new Hole 1"}));
}

TEST(Labeling, run_joins_the_hole_on_its_left_without_a_message) {
  AnalysisFixture f(10, 10);
  f.Paint({"#####"}, 5, 5);
  f.dark.At(8, 5) = f.dark.At(9, 5) = testing::kPaperByte;
  f.Label();
  EXPECT_EQ(f.Holes().Points(1), (Points{{5, 5}, {6, 5}, {7, 5}}));
  EXPECT_EQ(f.host.captions, (Captions{"=-=Made new Hole 1"}));
  EXPECT_EQ(f.result.At(5, 5), kGreen);
  EXPECT_EQ(f.result.At(6, 5), kRed);
  EXPECT_EQ(f.result.At(7, 5), kRed);
  EXPECT_EQ(f.result.At(8, 5), kResultBackground);
}

TEST(Labeling, first_row_and_first_column_join_their_only_neighbour) {
  AnalysisFixture f(4, 4);
  f.Paint({"##.#",  //
           "#...",  //
           "#..#"});
  f.Label();
  EXPECT_EQ(f.Holes().Points(1), (Points{{0, 0}, {1, 0}, {0, 1}, {0, 2}}));
  EXPECT_EQ(f.Holes().Points(2), (Points{{3, 0}}));
  EXPECT_EQ(f.Holes().Points(3), (Points{{3, 2}}));
  EXPECT_EQ(f.result.At(0, 0), kGreen);
  EXPECT_EQ(f.result.At(1, 0), kRed);
  EXPECT_EQ(f.result.At(0, 2), kRed);
  EXPECT_EQ(f.host.LastCaption(), "=-=Made new Hole 3");
}

TEST(Labeling, pixels_touching_only_at_a_corner_are_separate_holes) {
  AnalysisFixture f(10, 10);
  f.dark.At(5, 5) = f.dark.At(6, 6) = testing::kDarkByte;
  f.Label();
  EXPECT_EQ(f.Holes().Points(1), (Points{{5, 5}}));
  EXPECT_EQ(f.Holes().Points(2), (Points{{6, 6}}));
}

TEST(Labeling, widening_region_merges_the_new_left_hole_into_the_upper_hole) {
  AnalysisFixture f(6, 3);
  f.Paint({"...##.",  //
           "..###."});
  f.Label();
  EXPECT_EQ(f.host.captions,
            (Captions{"=-=Made new Hole 1", "=-=Made new Hole 2", "==Merging Hole 2 to 1"}));
  EXPECT_EQ(f.Holes().Points(1), (Points{{3, 0}, {4, 0}, {2, 1}, {3, 1}, {4, 1}}));
  EXPECT_TRUE(f.Holes()[2].Empty());
  EXPECT_EQ(f.analysis.HoleMapAt(2, 1), 1u);
  EXPECT_EQ(f.result.At(3, 0), kGreen);
  EXPECT_EQ(f.result.At(4, 0), kRed);
  EXPECT_EQ(f.result.At(2, 1), kGreen);
  EXPECT_EQ(f.result.At(3, 1), kWhite);
  EXPECT_EQ(f.result.At(4, 1), kRed);
}

TEST(Labeling, u_shape_merges_left_into_upper_even_into_the_higher_number) {
  AnalysisFixture f(3, 2);
  f.Paint({"#.#",  //
           "###"});
  f.Label();
  EXPECT_EQ(f.host.LastCaption(), "==Merging Hole 1 to 2");
  EXPECT_EQ(f.Holes().Points(2), (Points{{2, 0}, {0, 0}, {0, 1}, {1, 1}, {2, 1}}));
  EXPECT_TRUE(f.Holes()[1].Empty());
  EXPECT_EQ(f.analysis.HoleMapAt(0, 1), 2u);
  EXPECT_EQ(f.result.At(2, 1), kWhite);
}

TEST(Labeling, a_pixel_labelled_already_is_left_alone) {
  AnalysisFixture f(10, 10);
  f.dark.At(5, 5) = testing::kDarkByte;
  f.Label();
  f.result.Set(5, 5, Rgb(1, 2, 3));
  f.analysis.LabelDarkPixel(5, 5);
  EXPECT_EQ(f.Holes().Points(1), (Points{{5, 5}}));
  EXPECT_EQ(f.Holes().UpperBound(), 1u);
  EXPECT_EQ(f.host.captions.size(), 1u);
  EXPECT_EQ(f.result.At(5, 5), Rgb(1, 2, 3));
}

TEST(Labeling, rows_without_dark_pixels_break_a_column_into_separate_holes) {
  AnalysisFixture f(3, 8);
  f.Paint({".#.", "...", ".#.", "...", "...", ".#.", ".#."});
  f.Label();
  EXPECT_EQ(f.Holes().UpperBound(), 3u);
  EXPECT_EQ(f.Holes().Points(3), (Points{{1, 5}, {1, 6}}));
}

TEST(Labeling, scan_rectangle_right_of_column_0_never_sees_the_unscanned_left_neighbour) {
  AnalysisFixture f(8, 4);
  f.Paint({"..####",  //
           "..####"});
  f.Label(3, 0, 5, 1);
  EXPECT_EQ(f.Holes().UpperBound(), 1u);
  EXPECT_EQ(f.Holes().Points(1), (Points{{3, 0}, {4, 0}, {5, 0}, {3, 1}, {4, 1}, {5, 1}}));
  EXPECT_EQ(f.analysis.HoleMapAt(2, 0), 0u);
  EXPECT_EQ(f.result.At(3, 0), kGreen);
  EXPECT_EQ(f.result.At(3, 1), kRed);
}

TEST(Labeling, more_than_255_holes_in_one_scan_keep_their_numbers) {
  AnalysisFixture f(60, 24);
  for (int y = 0; y < 24; y += 2)
    for (int x = 0; x < 60; x += 2) f.dark.At(x, y) = testing::kDarkByte;
  f.Label();
  ASSERT_EQ(f.Holes().UpperBound(), 360u);
  EXPECT_EQ(f.host.captions[255], "=-=Made new Hole 256");
  EXPECT_EQ(f.host.LastCaption(), "=-=Made new Hole 360");
  EXPECT_EQ(f.Holes().Points(300), (Points{{58, 18}}));
  EXPECT_EQ(f.analysis.HoleMapAt(58, 22), 360u);
}

// The labelling as first designed: a label map over the whole picture, a list of points per
// hole, and a merge that moves the points one by one and then relabels every pixel of the
// surviving hole. The engine must give exactly its holes, captions and colours.
struct LiteralLabelling {
  LiteralLabelling(int width, int height)
      : columns(width + 1),
        map(static_cast<std::size_t>(columns * (height + 1)), 0),
        result(width, height, kResultBackground) {}

  int& MapAt(int x, int y) { return map[static_cast<std::size_t>(y * columns + x)]; }

  void Label(int x, int y) {
    if (MapAt(x, y) != 0) return;
    int label = 0;
    if (x != 0 && MapAt(x - 1, y) != 0) label = MapAt(x - 1, y);
    if (y != 0 && MapAt(x, y - 1) != 0) label = MapAt(x, y - 1);
    if (label == 0) {
      holes.emplace_back();
      label = static_cast<int>(holes.size()) - 1;
      result.Set(x, y, kGreen);
      captions.push_back("=-=Made new Hole " + std::to_string(label));
    } else if (x != 0 && y != 0 && MapAt(x - 1, y) != 0 && MapAt(x, y - 1) != 0 &&
               MapAt(x - 1, y) != MapAt(x, y - 1)) {
      const int a = MapAt(x - 1, y), b = MapAt(x, y - 1);
      result.Set(x, y, kWhite);
      captions.push_back("==Merging Hole " + std::to_string(a) + " to " + std::to_string(b));
      for (HolePoint p : holes[static_cast<std::size_t>(a)])
        holes[static_cast<std::size_t>(b)].push_back(p);
      holes[static_cast<std::size_t>(a)].clear();
      for (HolePoint p : holes[static_cast<std::size_t>(b)]) MapAt(p.x, p.y) = b;
    } else {
      result.Set(x, y, kRed);
    }
    holes[static_cast<std::size_t>(label)].push_back(
        {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)});
    MapAt(x, y) = label;
  }

  int columns;
  std::vector<int> map;
  std::vector<Points> holes{1};
  Captions captions;
  Picture result;
};

void ExpectSameAsLiteral(AnalysisFixture& f) {
  const int width = f.result.Width(), height = f.result.Height();
  LiteralLabelling literal(width, height);
  for (int y = 0; y <= height; ++y)
    for (int x = 0; x <= width; ++x)
      if (f.dark.At(x, y) > kDarkThreshold) literal.Label(x, y);
  f.Label();
  ASSERT_EQ(f.host.captions, literal.captions);
  ASSERT_EQ(f.Holes().Size(), literal.holes.size());
  for (Label i = 0; i < literal.holes.size(); ++i)
    ASSERT_EQ(f.Holes().Points(i), literal.holes[i]) << i;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ASSERT_EQ(f.result.At(x, y), literal.result.At(x, y));
}

TEST(Labeling, random_pictures_label_exactly_as_the_literal_design) {
  std::mt19937 random(2024);
  for (int round = 0; round < 60; ++round) {
    AnalysisFixture f(40, 30);
    const double density = 0.3 + 0.04 * (round % 10);
    std::bernoulli_distribution dark(density);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x)
        if (dark(random)) f.dark.At(x, y) = testing::kDarkByte;
    SCOPED_TRACE(round);
    ExpectSameAsLiteral(f);
  }
}

TEST(Labeling, comb_merges_every_stripe_in_turn_as_the_literal_design) {
  AnalysisFixture f(41, 14);
  for (int y = 1; y <= 12; ++y)
    for (int x = 1; x < 40; x += 2) f.dark.At(x, y) = testing::kDarkByte;
  for (int x = 1; x < 40; ++x) f.dark.At(x, 12) = f.dark.At(x, 13) = testing::kDarkByte;
  ExpectSameAsLiteral(f);
  EXPECT_EQ(f.host.LastCaption(), "==Merging Hole 19 to 20");
}

TEST(Labeling, dark_region_of_more_than_40000_pixels_is_one_hole) {
  AnalysisFixture f(240, 240);
  f.PaintDisc(119, 119, 116 * 116);
  ExpectSameAsLiteral(f);
  f.Holes().Compact();
  ASSERT_EQ(f.Holes().Size(), 1u);
  EXPECT_GT(f.Holes()[0].count, 40000u);
}

}  // namespace
}  // namespace holescan
