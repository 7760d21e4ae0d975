#include "holes/hole_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "analysis_fixture.h"

namespace holescan {
namespace {

using Points = std::vector<HolePoint>;
using Shades = std::vector<std::uint8_t>;

void ExpectFields(const Hole& h, int minX, int maxX, int minY, int maxY, float cx, float cy) {
  EXPECT_EQ(h.MinX, minX);
  EXPECT_EQ(h.MaxX, maxX);
  EXPECT_EQ(h.MinY, minY);
  EXPECT_EQ(h.MaxY, maxY);
  EXPECT_EQ(h.CenterX, cx);
  EXPECT_EQ(h.CenterY, cy);
}

TEST(HoleArray, reset_leaves_one_empty_placeholder_with_all_fields_zero) {
  HoleArray holes;
  holes.AddPoint(0, 4, 9, 200);
  holes.Add();
  holes.AddPoint(1, 7, 3, 100);
  holes.Measure(true);
  holes.Reset();
  ASSERT_EQ(holes.Size(), 1u);
  EXPECT_EQ(holes.UpperBound(), 0u);
  EXPECT_TRUE(holes[0].Empty());
  EXPECT_TRUE(holes.Points(0).empty());
  ExpectFields(holes[0], 0, 0, 0, 0, 0, 0);
}

TEST(HoleArray, add_appends_an_empty_record_and_keeps_earlier_records_whole) {
  HoleArray holes;
  EXPECT_EQ(holes.Add(), 1u);
  holes.AddPoint(1, 2, 3, 50);
  holes.AddPoint(1, 4, 7, 60);
  holes.Measure(true);
  EXPECT_EQ(holes.Add(), 2u);
  EXPECT_EQ(holes.Points(1), (Points{{2, 3}, {4, 7}}));
  EXPECT_EQ(holes.Shades(1), (Shades{50, 60}));
  ExpectFields(holes[1], 2, 4, 3, 7, 3, 5);
  EXPECT_TRUE(holes[2].Empty());
  ExpectFields(holes[2], 0, 0, 0, 0, 0, 0);
  EXPECT_TRUE(holes[0].Empty());
}

TEST(HoleArray, move_points_appends_source_after_target_and_empties_source) {
  HoleArray holes;
  const Label t = holes.Add();
  const Label s = holes.Add();
  holes.AddPoint(t, 1, 1, 10);
  holes.AddPoint(s, 2, 1, 20);
  holes.AddPoint(s, 2, 2, 30);
  holes.MeasureHole(s, true);
  holes.MovePoints(t, s);
  EXPECT_EQ(holes.Points(t), (Points{{1, 1}, {2, 1}, {2, 2}}));
  EXPECT_EQ(holes.Shades(t), (Shades{10, 20, 30}));
  EXPECT_TRUE(holes[s].Empty());
  EXPECT_TRUE(holes.Points(s).empty());
  ExpectFields(holes[t], 0, 0, 0, 0, 0, 0);
  ExpectFields(holes[s], 2, 2, 1, 2, 2, 1.5f);

  // An emptied source collects points anew without touching the target's chain.
  holes.AddPoint(s, 9, 9, 40);
  holes.AddPoint(t, 5, 5, 50);
  EXPECT_EQ(holes.Points(s), (Points{{9, 9}}));
  EXPECT_EQ(holes.Points(t), (Points{{1, 1}, {2, 1}, {2, 2}, {5, 5}}));

  // From an empty source nothing moves; into an empty target the source's points move.
  const Label empty = holes.Add();
  holes.MovePoints(t, empty);
  EXPECT_EQ(holes[t].count, 4u);
  holes.MovePoints(empty, s);
  EXPECT_EQ(holes.Points(empty), (Points{{9, 9}}));
  EXPECT_TRUE(holes[s].Empty());
}

TEST(HoleArray, clear_hole_empties_points_and_keeps_extents_and_centre) {
  HoleArray holes;
  holes.AddPoint(0, 10, 20, 1);
  holes.AddPoint(0, 12, 26, 1);
  holes.MeasureHole(0, true);
  holes.ClearHole(0);
  EXPECT_TRUE(holes[0].Empty());
  ExpectFields(holes[0], 10, 12, 20, 26, 11, 23);
  holes.MeasureHole(0, true);  // measuring an empty record changes nothing
  ExpectFields(holes[0], 10, 12, 20, 26, 11, 23);

  // Extents come from the current points only, not from values left behind.
  holes.AddPoint(0, 50, 51, 1);
  holes.MeasureHole(0, false);
  ExpectFields(holes[0], 50, 50, 51, 51, 11, 23);
}

TEST(HoleArray, compact_removes_empty_records_keeping_order_and_contents) {
  HoleArray holes;  // [empty, A, empty, B]
  const Label a = holes.Add();
  holes.Add();
  const Label b = holes.Add();
  holes.AddPoint(a, 1, 2, 11);
  holes.AddPoint(a, 3, 4, 12);
  holes.AddPoint(b, 7, 8, 13);
  holes.Measure(true);
  holes.Compact();
  ASSERT_EQ(holes.Size(), 2u);
  EXPECT_EQ(holes.Points(0), (Points{{1, 2}, {3, 4}}));
  EXPECT_EQ(holes.Shades(0), (Shades{11, 12}));
  ExpectFields(holes[0], 1, 3, 2, 4, 2, 3);
  EXPECT_EQ(holes.Points(1), (Points{{7, 8}}));
  ExpectFields(holes[1], 7, 7, 8, 8, 7, 8);

  holes.Compact();  // nothing empty: the same records in the same order
  ASSERT_EQ(holes.Size(), 2u);
  EXPECT_EQ(holes.Points(1), (Points{{7, 8}}));
}

TEST(HoleArray, compact_leaves_an_all_empty_array_unchanged) {
  HoleArray holes;
  holes.Compact();
  EXPECT_EQ(holes.Size(), 1u);

  for (int i = 1; i <= 3; ++i) {
    holes.Add();
    holes.AddPoint(static_cast<Label>(i), i, 2 * i, 1);
  }
  holes.Measure(true);
  for (Label i = 1; i <= 3; ++i) holes.ClearHole(i);
  holes.Compact();
  ASSERT_EQ(holes.Size(), 4u);
  ExpectFields(holes[0], 0, 0, 0, 0, 0, 0);
  ExpectFields(holes[3], 3, 3, 6, 6, 3, 6);
}

TEST(HoleArray, measure_sets_extents_and_for_peaks_the_mean_of_every_point) {
  HoleArray holes;
  holes.AddPoint(0, 12, 40, 1);
  const Label half = holes.Add();
  holes.AddPoint(half, 10, 0, 1);
  holes.AddPoint(half, 11, 0, 1);
  const Label third = holes.Add();
  for (int x : {1, 1, 2}) holes.AddPoint(third, x, 5, 1);  // the repeated point weighs twice
  holes.Measure(true);
  ExpectFields(holes[0], 12, 12, 40, 40, 12, 40);
  EXPECT_EQ(holes[half].CenterX, 10.5f);
  EXPECT_EQ(holes[third].CenterX, 1.3333334f);
  EXPECT_EQ(holes[third].MinX, 1);
  EXPECT_EQ(holes[third].MaxX, 2);

  // Holes get extents only; a centre already there stays.
  holes[0].CenterX = 7;
  holes.AddPoint(0, 20, 40, 1);
  holes.Measure(false);
  EXPECT_EQ(holes[0].MaxX, 20);
  EXPECT_EQ(holes[0].CenterX, 7);
  EXPECT_EQ(holes[0].CenterY, 40);
}

// Random sequences of operations against a plain list-of-lists model: point order and shades
// must survive any interleaving of appends, moves, clears and compactions.
TEST(HoleArray, any_sequence_of_operations_keeps_points_as_a_list_of_lists_would) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    HoleArray holes;
    std::vector<std::vector<std::pair<HolePoint, std::uint8_t>>> model(1);
    for (int step = 0; step < 400; ++step) {
      const auto pick = [&] {
        return static_cast<Label>(
            std::uniform_int_distribution<std::size_t>(0, model.size() - 1)(random));
      };
      switch (random() % 10) {
        case 0:
          holes.Add();
          model.emplace_back();
          break;
        case 1:
        case 2:
        case 3:
        case 4: {
          const Label i = pick();
          const HolePoint p{static_cast<std::int16_t>(random() % 50),
                            static_cast<std::int16_t>(random() % 50)};
          const auto shade = static_cast<std::uint8_t>(random());
          holes.AddPoint(i, p.x, p.y, shade);
          model[i].emplace_back(p, shade);
          break;
        }
        case 5:
        case 6:
        case 7: {
          const Label t = pick(), s = pick();
          if (t == s) break;
          holes.MovePoints(t, s);
          model[t].insert(model[t].end(), model[s].begin(), model[s].end());
          model[s].clear();
          break;
        }
        case 8: {
          const Label i = pick();
          holes.ClearHole(i);
          model[i].clear();
          break;
        }
        default: {
          holes.Compact();
          const auto emptyRecord = [](const auto& r) { return r.empty(); };
          if (!std::all_of(model.begin(), model.end(), emptyRecord))
            std::erase_if(model, emptyRecord);
          break;
        }
      }
      ASSERT_EQ(holes.Size(), model.size());
      for (Label i = 0; i < model.size(); ++i) {
        Points points;
        Shades shades;
        for (const auto& [p, shade] : model[i]) {
          points.push_back(p);
          shades.push_back(shade);
        }
        ASSERT_EQ(holes.Points(i), points) << "round " << round << " step " << step;
        ASSERT_EQ(holes.Shades(i), shades);
        ASSERT_EQ(holes[i].count, points.size());
      }
    }
  }
}

}  // namespace
}  // namespace holescan
