// Circle-vote map (VoteMap, LiteralVote, IsPeak) and the report text of VoteHole.
#include "holes/vote_map.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "analysis_fixture.h"
#include "support/literal_vote.h"

namespace holescan {
namespace {

using testing::AnalysisFixture;
using Points = std::vector<HolePoint>;

HolePoint P(int x, int y) {
  return {static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)};
}

// A vote map over the box (minX..maxX, minY..maxY) of a hole holding `points`.
struct Votes {
  Votes(const Points& points, int minX, int maxX, int minY, int maxY) {
    for (HolePoint p : points) holes.AddPoint(0, p.x, p.y, 255);
    map.Reset(minX, maxX, minY, maxY);
    map.Compute(holes, 0);
  }
  HoleArray holes;
  VoteMap map;
};

Points Repeated(HolePoint p, int times) {
  return Points(static_cast<std::size_t>(times), p);
}

TEST(VoteMap, a_point_votes_half_within_the_disc_of_squared_radius_47) {
  const Votes votes({P(20, 20)}, 10, 30, 10, 30);
  for (int y = 10; y <= 30; ++y) {
    for (int x = 10; x <= 30; ++x) {
      const int d2 = (x - 20) * (x - 20) + (y - 20) * (y - 20);
      const float expected = d2 <= 47 ? 0.5f : 0.0f;
      ASSERT_EQ(votes.map.At(x, y), expected) << x << "," << y;
      ASSERT_EQ(LiteralVote({P(20, 20)}, x, y), expected) << x << "," << y;
    }
  }
  // The zone limits: (6, 3) votes, (7, 0) and (5, 5) do not; (5, 3) and (4, 5) add 0.5 each.
  EXPECT_EQ(votes.map.At(26, 23), 0.5f);
  EXPECT_EQ(votes.map.At(27, 20), 0.0f);
  EXPECT_EQ(votes.map.At(25, 25), 0.0f);
  EXPECT_EQ(LiteralVote({P(5, 3), P(4, 5)}, 0, 0), 1.0f);
}

TEST(VoteMap, a_cell_whose_disc_lies_in_the_hole_reaches_72_5_and_the_cap_is_255) {
  Points square;
  for (int y = 0; y <= 20; ++y)
    for (int x = 0; x <= 20; ++x) square.push_back(P(x, y));
  const Votes full(square, 0, 20, 0, 20);
  EXPECT_EQ(full.map.At(10, 10), 72.5f);
  EXPECT_EQ(full.map.At(0, 0), 21.5f);  // a corner sees a quarter of the disc: 43 points

  const Votes capped(Repeated(P(5, 5), 600), 0, 10, 0, 10);
  EXPECT_EQ(capped.map.At(5, 5), 255.0f);
  EXPECT_EQ(LiteralVote(Repeated(P(5, 5), 600), 5, 5), 255.0f);
}

TEST(VoteMap, equals_the_literal_vote_on_random_holes) {
  std::mt19937 random(99);
  for (int round = 0; round < 200; ++round) {
    HoleArray holes;
    // Blobs of random discs, sparse scatters along the box edges, and repeated points.
    const int kind = round % 3;
    const int size = 3 + static_cast<int>(random() % 60);
    const int ox = static_cast<int>(random() % 40), oy = static_cast<int>(random() % 40);
    if (kind == 0) {
      for (int disc = 0; disc < 1 + static_cast<int>(random() % 4); ++disc) {
        const int cx = ox + static_cast<int>(random() % static_cast<unsigned>(size));
        const int cy = oy + static_cast<int>(random() % static_cast<unsigned>(size));
        const int r = 1 + static_cast<int>(random() % 12);
        for (int y = std::max(0, cy - r); y <= cy + r; ++y)
          for (int x = std::max(0, cx - r); x <= cx + r; ++x)
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) holes.AddPoint(0, x, y, 255);
      }
    } else {
      const int count = 1 + static_cast<int>(random() % 400);
      for (int k = 0; k < count; ++k) {
        int x = ox + static_cast<int>(random() % static_cast<unsigned>(size));
        int y = oy + static_cast<int>(random() % static_cast<unsigned>(size));
        if (kind == 1 && random() % 2) x = random() % 2 ? ox : ox + size - 1;
        holes.AddPoint(0, x, y, 255);
        if (kind == 2) holes.AddPoint(0, x, y, 255);
      }
    }
    holes.MeasureHole(0, false);
    const Hole& h = holes[0];
    VoteMap map;
    map.Reset(h.MinX, h.MaxX, h.MinY, h.MaxY);
    map.Compute(holes, 0);
    const Points points = holes.Points(0);
    for (int y = h.MinY; y <= h.MaxY; ++y)
      for (int x = h.MinX; x <= h.MaxX; ++x)
        ASSERT_EQ(map.At(x, y), LiteralVote(points, x, y)) << round << ": " << x << "," << y;
  }
}

TEST(VoteMap, peak_test_needs_50_votes_and_no_greater_edge_neighbour) {
  // Every cell within the disc of the stacked point has the same vote: a plateau.
  const Votes fifty(Repeated(P(10, 10), 100), 0, 20, 0, 20);
  EXPECT_EQ(fifty.map.At(10, 10), 50.0f);
  EXPECT_TRUE(IsPeak(fifty.map, 10, 10));
  EXPECT_TRUE(IsPeak(fifty.map, 11, 10));
  EXPECT_TRUE(IsPeak(fifty.map, 16, 10));   // the rim: neighbours equal or lower
  EXPECT_FALSE(IsPeak(fifty.map, 17, 10));  // just outside the disc: 0 votes

  const Votes below(Repeated(P(10, 10), 99), 0, 20, 0, 20);
  EXPECT_EQ(below.map.At(10, 10), 49.5f);
  EXPECT_FALSE(IsPeak(below.map, 10, 10));

  // A greater diagonal neighbour does not count.
  Points diagonal = Repeated(P(10, 10), 100);
  const Points extra = Repeated(P(14, 17), 10);  // within reach of (11, 11) only
  diagonal.insert(diagonal.end(), extra.begin(), extra.end());
  const Votes d(diagonal, 0, 30, 0, 30);
  EXPECT_EQ(d.map.At(11, 11), 55.0f);
  EXPECT_EQ(d.map.At(11, 10), 50.0f);
  EXPECT_EQ(d.map.At(10, 11), 50.0f);
  EXPECT_TRUE(IsPeak(d.map, 10, 10));
}

TEST(VoteMap, cells_on_the_border_of_the_box_are_never_peaks) {
  Points disc;
  for (int y = 0; y <= 20; ++y)
    for (int x = 0; x <= 20; ++x)
      if ((x - 10) * (x - 10) + (y - 10) * (y - 10) <= 49) disc.push_back(P(x, y));
  const Votes inside(disc, 9, 11, 9, 11);
  EXPECT_EQ(inside.map.At(10, 10), 72.5f);
  EXPECT_TRUE(IsPeak(inside.map, 10, 10));
  for (const auto& [minX, maxX, minY, maxY] :
       {std::array{10, 12, 9, 11}, std::array{8, 10, 9, 11}, std::array{9, 11, 10, 12},
        std::array{9, 11, 8, 10}, std::array{9, 10, 0, 20}, std::array{0, 20, 10, 11}}) {
    const Votes border(disc, minX, maxX, minY, maxY);
    for (int y = minY; y <= maxY; ++y)
      for (int x = minX; x <= maxX; ++x) EXPECT_FALSE(IsPeak(border.map, x, y)) << x << "," << y;
  }

  const Votes empty({}, 0, 20, 0, 20);
  for (int y = 0; y <= 20; ++y)
    for (int x = 0; x <= 20; ++x) EXPECT_FALSE(IsPeak(empty.map, x, y));
}

TEST(VoteMap, votes_are_written_as_shortest_decimals_with_the_separator) {
  std::string text;
  for (int doubled : {0, 1, 2, 25, 145, 510}) {
    AppendVote(text, static_cast<std::uint16_t>(doubled), '.');
    text += ' ';
  }
  AppendVote(text, 3, ',');
  EXPECT_EQ(text, "0 0.5 1 12.5 72.5 255 1,5");
}

// Points outside a box set by hand vote into it: (14, 4) reaches (11, 10) and (12, 10),
// (15, 4) only (12, 10). The box 10..12 x 10..11 then holds the votes 0, 0.5, 1 / 0, 0, 0.
TEST(VoteHole, report_of_a_3_by_2_box_is_tab_separated_rows_and_an_empty_line) {
  AnalysisFixture f(20, 20);
  Hole& h = f.Holes()[0];
  h.MinX = 10, h.MaxX = 12, h.MinY = 10, h.MaxY = 11;
  f.analysis.AddPoint(f.Holes(), 0, 14, 4);
  f.analysis.AddPoint(f.Holes(), 0, 15, 4);
  f.analysis.VoteHole(0);
  EXPECT_EQ(f.analysis.ReportText(), "0\t0.5\t1\t\r\n0\t0\t0\t\r\n\r\n");
  EXPECT_EQ(f.result.At(10, 10), Rgb(0, 0, 0));
  EXPECT_EQ(f.result.At(11, 10), Rgb(0, 0, 0));  // 0.5 rounds to 0
  EXPECT_EQ(f.result.At(12, 10), Rgb(1, 0, 0));
  EXPECT_EQ(f.result.At(13, 10), kResultBackground);
}

TEST(VoteHole, empty_placeholder_reports_one_zero_field) {
  AnalysisFixture f(20, 20);
  f.analysis.SetDecimalSeparator(',');
  f.analysis.VoteHole(0);
  EXPECT_EQ(f.analysis.ReportText(), "0\t\r\n\r\n");
  EXPECT_EQ(f.result.At(0, 0), Rgb(0, 0, 0));
}

TEST(VoteHole, paints_the_vote_rounded_half_to_even_as_red) {
  AnalysisFixture f(20, 20);
  for (int i = 0; i < 5; ++i) f.analysis.AddPoint(f.Holes(), 0, 5, 5);
  f.Holes().MeasureHole(0, false);
  f.analysis.VoteHole(0);
  EXPECT_EQ(f.analysis.ReportText(), "2.5\t\r\n\r\n");
  EXPECT_EQ(f.result.At(5, 5), Rgb(2, 0, 0));

  AnalysisFixture g(20, 20);
  for (int i = 0; i < 3; ++i) g.analysis.AddPoint(g.Holes(), 0, 5, 5);
  Hole& h = g.Holes()[0];
  h.MinX = 5, h.MaxX = 12, h.MinY = 5, h.MaxY = 5;
  g.analysis.SetDecimalSeparator(',');
  g.analysis.VoteHole(0);
  EXPECT_EQ(g.analysis.ReportText(), "1,5\t1,5\t1,5\t1,5\t1,5\t1,5\t1,5\t0\t\r\n\r\n");
  EXPECT_EQ(g.result.At(5, 5), Rgb(2, 0, 0));
}

TEST(VoteMap, user_separator_leaves_the_process_locale_alone) {
  ASSERT_EQ(::setenv("LC_ALL", "C", 1), 0);
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  EXPECT_EQ(UserDecimalSeparator(), '.');
  EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), before);
  ::unsetenv("LC_ALL");
}

}  // namespace
}  // namespace holescan
