#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "shots/legend.h"
#include "shots/shots.h"

namespace holescan::shots {
namespace {

int Distance(std::uint32_t a, std::uint32_t b) {
  int sum = 0;
  for (int shift : {0, 8, 16}) {
    const int d = static_cast<int>((a >> shift) & 0xFFu) - static_cast<int>((b >> shift) & 0xFFu);
    sum += d < 0 ? -d : d;
  }
  return sum;
}

TEST(Annotated, outlines_each_shot_in_the_review_windows_colours_and_leaves_the_rest) {
  for (std::uint32_t paper : {Rgb(255, 255, 255), Rgb(200, 20, 20), Rgb(20, 20, 20)}) {
    Picture picture(200, 100, paper);
    const std::array<Shot, 2> shots{Shot{50, 50, 30, HoleLook::Dark, 100},
                                    Shot{100, 50, 30, HoleLook::Dark, 100}};
    const std::array<Mark, 1> marks{Mark{150, 50, kAimColour}};
    const std::array<bool, 2> edited{false, true};
    const Picture out = Annotated(picture.View(), shots, marks, edited);
    ASSERT_EQ(out.Width(), 200);
    ASSERT_EQ(out.Height(), 100);
    // The bright middle of the two-tone line: cyan as found, magenta edited.
    EXPECT_LT(Distance(out.At(65, 50), kFoundColour), 60);  // on the circle, right of the centre
    EXPECT_LT(Distance(out.At(50, 35), kFoundColour), 60);  // and above it
    EXPECT_LT(Distance(out.At(115, 50), kEditedColour), 60);
    EXPECT_EQ(out.At(50, 50), paper);  // the hole itself stays visible
    EXPECT_EQ(out.At(5, 95), paper);
    EXPECT_LT(Distance(out.At(150, 50), kAimColour), 60);  // the mark's cross
  }
  EXPECT_EQ(Annotated(PictureView{}, {}).Width(), 0);
}

bool Overlaps(const LabelBox& a, double left, double top, double right, double bottom) {
  return std::min(a.left + a.width, right) > std::max(a.left, left) &&
         std::min(a.top + a.height, bottom) > std::max(a.top, top);
}

TEST(PlaceLabels, a_number_hides_no_other_shot_nor_number_and_stays_on_the_picture) {
  const std::pair<double, double> size{14, 11};
  // A lone shot's number: up and to the right of its circle, by its rim at 45 degrees.
  {
    const std::array<Shot, 1> shot{Shot{100, 100, 30, HoleLook::Dark, 50}};
    const std::array<std::pair<double, double>, 1> sizes{size};
    const std::vector<LabelBox> box = PlaceLabels(shot, sizes, 400, 400);
    ASSERT_EQ(box.size(), 1u);
    EXPECT_DOUBLE_EQ(box[0].left, 100 + 12);
    EXPECT_DOUBLE_EQ(box[0].top + box[0].height, 100 - 12);
  }
  // A tight group: every shot's usual place is taken by a neighbour's circle or number.
  {
    const std::array<Shot, 5> group{
        Shot{100, 100, 30, HoleLook::Dark, 50}, Shot{122, 78, 30, HoleLook::Dark, 50},
        Shot{128, 104, 30, HoleLook::Dark, 50}, Shot{106, 126, 30, HoleLook::Dark, 50},
        Shot{146, 84, 30, HoleLook::Dark, 50}};
    const std::vector<std::pair<double, double>> sizes(group.size(), size);
    const std::vector<LabelBox> boxes = PlaceLabels(group, sizes, 400, 400);
    ASSERT_EQ(boxes.size(), group.size());
    for (std::size_t i = 0; i < group.size(); ++i) {
      for (std::size_t j = 0; j < group.size(); ++j) {
        if (i == j) continue;
        const double k = 0.4 * group[j].diameterPx;
        EXPECT_FALSE(
            Overlaps(boxes[i], group[j].x - k, group[j].y - k, group[j].x + k, group[j].y + k))
            << "number " << i + 1 << " over shot " << j + 1;
        EXPECT_FALSE(Overlaps(boxes[i], boxes[j].left, boxes[j].top, boxes[j].left + boxes[j].width,
                              boxes[j].top + boxes[j].height))
            << "numbers " << i + 1 << " and " << j + 1;
      }
    }
  }
  // A neighbour up and to the right, its rim a little apart: the first place hides nothing
  // but sits nearer the neighbour's centre, where it reads as that shot's number.
  {
    const std::array<Shot, 2> pair{Shot{100, 100, 30, HoleLook::Dark, 50},
                                   Shot{140, 70, 30, HoleLook::Dark, 50}};
    const std::vector<std::pair<double, double>> sizes(pair.size(), size);
    const std::vector<LabelBox> boxes = PlaceLabels(pair, sizes, 400, 400);
    ASSERT_EQ(boxes.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      const double cx = boxes[i].left + boxes[i].width / 2;
      const double cy = boxes[i].top + boxes[i].height / 2;
      const Shot& other = pair[1 - i];
      EXPECT_LT(std::hypot(cx - pair[i].x, cy - pair[i].y), std::hypot(cx - other.x, cy - other.y))
          << "number " << i + 1 << " nearer the other shot";
    }
  }
  // A shot at the picture's top right corner: its number goes where it can be read.
  {
    const std::array<Shot, 1> shot{Shot{385, 12, 30, HoleLook::Dark, 50}};
    const std::array<std::pair<double, double>, 1> sizes{size};
    const LabelBox box = PlaceLabels(shot, sizes, 400, 400)[0];
    EXPECT_GE(box.left, 0);
    EXPECT_GE(box.top, 0);
    EXPECT_LE(box.left + box.width, 400);
    EXPECT_LE(box.top + box.height, 400);
  }
}

TEST(Legend, goes_to_the_corner_that_hides_the_fewest_marks) {
  const std::array<LegendEntry, 3> entries{
      {{LegendSymbol::Circle, kFoundColour, "shot, as found"},
       {LegendSymbol::Cross, kAimColour, "point of aim"},
       {LegendSymbol::Cross, kCentreColour, "group's centre"}}};
  const auto white = Rgb(255, 255, 255);
  const auto paper = Rgb(230, 225, 220);
  {
    Picture picture(900, 900, paper);
    DrawLegend(picture, entries);
    EXPECT_EQ(picture.At(20, 20), white);  // top left, where nothing is
    EXPECT_EQ(picture.At(880, 20), paper);
    int cyan = 0, red = 0, green = 0;
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 450; ++x) {
        cyan += picture.At(x, y) == kFoundColour;
        red += picture.At(x, y) == kAimColour;
        green += picture.At(x, y) == kCentreColour;
      }
    }
    EXPECT_GT(cyan, 10);
    EXPECT_GT(red, 10);
    EXPECT_GT(green, 10);
  }
  {
    Picture picture(900, 900, paper);
    const std::array<LegendAvoid, 2> shots{{{40, 40}, {60, 870}}};
    DrawLegend(picture, entries, shots);
    EXPECT_EQ(picture.At(20, 20), paper);
    EXPECT_EQ(picture.At(880, 20), white);  // top right
  }
  {
    // A mark in every corner (a sheet of bulls fills its page): the legend goes where it hides
    // none, not to the corner that hides fewest.
    Picture picture(900, 900, paper);
    const std::array<LegendAvoid, 4> corners{{{40, 40}, {860, 40}, {40, 860}, {860, 860}}};
    DrawLegend(picture, entries, corners);
    int legend = 0;
    for (int y = 0; y < 900; ++y)
      for (int x = 0; x < 900; ++x) legend += picture.At(x, y) == white;
    EXPECT_GT(legend, 1000);
    for (const LegendAvoid& corner : corners) {
      for (int d = -15; d <= 15; d += 5) {
        EXPECT_EQ(picture.At(static_cast<int>(corner.x) + d, static_cast<int>(corner.y)), paper);
        EXPECT_EQ(picture.At(static_cast<int>(corner.x), static_cast<int>(corner.y) + d), paper);
      }
    }
  }
  {
    Picture tiny(80, 60, paper);  // too small to hold it: left alone
    DrawLegend(tiny, entries);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 80; ++x) ASSERT_EQ(tiny.At(x, y), paper);
  }
}

}  // namespace
}  // namespace holescan::shots
