// The finishing pass (FinishHoles, FinishPeaks), the centre marks and whole "Draw" scenarios.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "analysis_fixture.h"
#include "support/literal_vote.h"

namespace holescan {
namespace {

using testing::AnalysisFixture;
using testing::RecordingHost;
using Captions = std::vector<std::string>;
using Points = std::vector<HolePoint>;

constexpr std::uint32_t kWhite = Rgb(255, 255, 255);
constexpr std::uint32_t kBlack = Rgb(0, 0, 0);

// The report block of one hole, from the literal votes and the shortest float text.
std::string Block(const Points& points, const Hole& box) {
  std::string text;
  for (int y = box.MinY; y <= box.MaxY; ++y) {
    for (int x = box.MinX; x <= box.MaxX; ++x) {
      char digits[32];
      text.append(digits, std::to_chars(digits, digits + 32, LiteralVote(points, x, y)).ptr);
      text += '\t';
    }
    text += "\r\n";
  }
  return text + "\r\n";
}

bool Contains(const Captions& captions, const std::string& caption) {
  return std::find(captions.begin(), captions.end(), caption) != captions.end();
}

TEST(Finishing, scan_without_dark_pixels_votes_the_placeholder_and_marks_the_origin) {
  AnalysisFixture f(12, 8);
  f.Draw();
  EXPECT_EQ(f.host.captions, (Captions{"Removed (too small) : 0"}));
  ASSERT_EQ(f.Holes().Size(), 1u);
  EXPECT_EQ(f.analysis.ReportText(), "0\t\r\n\r\n");
  EXPECT_EQ(f.host.clipboard, (Captions{std::string(RecordingHost::kCleared), "0\t\r\n\r\n"}));
  ASSERT_EQ(f.Peaks().Size(), 1u);
  EXPECT_TRUE(f.Peaks()[0].Empty());
  EXPECT_EQ(f.result.At(0, 0), kWhite);
  EXPECT_EQ(f.result.At(1, 0), kResultBackground);
}

TEST(Finishing, rejected_middle_hole_leaves_the_other_reports_in_index_order) {
  AnalysisFixture f(20, 20);
  f.Paint({"#####", "#####", "#####", "#####", "#####"}, 2, 1);
  f.Paint({"##"}, 10, 8);
  f.Paint({"###", "###", "###"}, 4, 12);
  f.Draw();
  EXPECT_EQ(f.host.LastCaption(), "Removed (too small) : 1");
  ASSERT_EQ(f.Holes().Size(), 2u);
  const Hole& a = f.Holes()[0];
  const Hole& c = f.Holes()[1];
  EXPECT_EQ(f.Holes().Points(0).size(), 25u);
  EXPECT_EQ(a.MinX, 2);
  EXPECT_EQ(a.MaxY, 5);
  EXPECT_EQ(c.MinY, 12);
  EXPECT_EQ(f.analysis.ReportText(), Block(f.Holes().Points(0), a) + Block(f.Holes().Points(1), c));
  EXPECT_EQ(f.host.clipboard.back(), f.analysis.ReportText());
  EXPECT_EQ(f.Peaks().Size(), 1u);  // no vote reaches 50
}

TEST(Finishing, when_every_hole_is_rejected_all_are_voted_and_their_boxes_painted_black) {
  AnalysisFixture f(20, 12);
  f.Paint({"##", "#."}, 2, 2);
  f.Paint({"#..", "###"}, 10, 6);
  f.Draw();
  EXPECT_EQ(f.host.captions, (Captions{"=-=Made new Hole 1", "=-=Made new Hole 2",
                                       "Removed (too small) : 0", "Removed (too small) : 1"}));
  ASSERT_EQ(f.Holes().Size(), 2u);
  EXPECT_TRUE(f.Holes()[0].Empty());
  EXPECT_EQ(f.Holes()[1].MaxX, 12);
  EXPECT_EQ(f.analysis.ReportText(), "0\t0\t\r\n0\t0\t\r\n\r\n0\t0\t0\t\r\n0\t0\t0\t\r\n\r\n");
  for (int y = 6; y <= 7; ++y)
    for (int x = 10; x <= 12; ++x) EXPECT_EQ(f.result.At(x, y), kBlack);
  EXPECT_EQ(f.result.At(3, 3), kBlack);
  EXPECT_EQ(f.result.At(0, 0), kWhite);  // the placeholder peak
}

TEST(Finishing, round_holes_of_radius_7_fifteen_pixels_apart_are_two_shot_holes) {
  AnalysisFixture f(60, 40);
  f.PaintDisc(20, 20, 49);
  f.PaintDisc(35, 20, 49);
  f.Draw();
  ASSERT_EQ(f.Holes().Size(), 1u);  // touching in one column pair: one dark region
  ASSERT_EQ(f.Peaks().Size(), 2u);
  EXPECT_EQ(f.Peaks()[0].CenterX, 20);
  EXPECT_EQ(f.Peaks()[0].CenterY, 20);
  EXPECT_EQ(f.Peaks()[1].CenterX, 35);
  EXPECT_EQ(f.Peaks()[1].CenterY, 20);
  EXPECT_EQ(f.analysis.Votes().At(20, 20), 72.5f);
  EXPECT_EQ(f.result.At(20, 20), kWhite);
  EXPECT_EQ(f.result.At(35, 20), kWhite);
  EXPECT_EQ(f.result.At(21, 20),
            Rgb(static_cast<std::uint32_t>(RoundHalfEven(f.analysis.Votes().At(21, 20))), 0, 0));

  f.Draw();  // the peak label map starts empty again
  EXPECT_EQ(f.Peaks().Size(), 2u);
}

TEST(Finishing, plateau_of_two_equal_summits_is_one_shot_hole_marked_half_to_even) {
  AnalysisFixture f(42, 40);
  f.PaintDisc(20, 20, 49);
  f.PaintDisc(21, 20, 49);
  f.Draw();
  ASSERT_EQ(f.Peaks().Size(), 1u);
  EXPECT_EQ(f.Peaks().Points(0), (Points{{20, 20}, {21, 20}}));
  EXPECT_EQ(f.Peaks()[0].CenterX, 20.5f);
  EXPECT_EQ(f.host.captions.back(), "><--Adding to Hole 1 21,20");
  EXPECT_EQ(f.result.At(20, 20), kWhite);
  EXPECT_NE(f.result.At(21, 20), kWhite);
}

TEST(Finishing, centres_are_marked_rounding_halves_to_even) {
  AnalysisFixture f(20, 20);
  for (auto [cx, cy] : {std::pair{10.5f, 11.5f}, {10.4f, 11.6f}, {9.5f, 8.5f}}) {
    Hole& peak = f.Peaks()[f.Peaks().Add()];
    peak.CenterX = cx;
    peak.CenterY = cy;
  }
  f.analysis.MarkPeakCenters();
  int white = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) white += f.result.At(x, y) == kWhite;
  EXPECT_EQ(white, 3);
  EXPECT_EQ(f.result.At(10, 12), kWhite);
  EXPECT_EQ(f.result.At(10, 8), kWhite);
  EXPECT_EQ(f.result.At(0, 0), kWhite);  // the placeholder's centre
}

TEST(Finishing, second_draw_puts_only_its_own_report_on_the_cleared_clipboard) {
  AnalysisFixture f(30, 30);
  f.PaintDisc(10, 10, 9);
  f.Draw();
  const std::string first = f.analysis.ReportText();
  f.Paint({"####", "####"}, 20, 20);
  f.Draw();

  AnalysisFixture fresh(30, 30);
  fresh.PaintDisc(10, 10, 9);
  fresh.Paint({"####", "####"}, 20, 20);
  fresh.Draw();
  EXPECT_EQ(f.analysis.ReportText(), fresh.analysis.ReportText());
  EXPECT_EQ(f.host.clipboard,
            (Captions{std::string(RecordingHost::kCleared), first,
                      std::string(RecordingHost::kCleared), fresh.analysis.ReportText()}));
  EXPECT_EQ(f.Holes().Size(), 2u);
}

TEST(Finishing, more_than_300_holes_in_one_draw_are_measured_rejected_and_voted) {
  AnalysisFixture f(80, 64);
  for (int j = 0; j < 16; ++j) {
    for (int i = 0; i < 20; ++i) {
      const bool small = j == 15;  // the last row of holes: 2 x 2, too small
      for (int y = 0; y < (small ? 2 : 3); ++y)
        for (int x = 0; x < (small ? 2 : 3); ++x) f.dark.At(4 * i + x, 4 * j + y) = 255;
    }
  }
  f.Draw();
  EXPECT_TRUE(Contains(f.host.captions, "=-=Made new Hole 320"));
  EXPECT_TRUE(Contains(f.host.captions, "Removed (too small) : 300"));
  EXPECT_EQ(f.host.LastCaption(), "Removed (too small) : 319");
  ASSERT_EQ(f.Holes().Size(), 300u);
  EXPECT_EQ(f.Holes()[299].MinX, 76);
  EXPECT_EQ(f.Holes()[299].MinY, 56);
  std::string blocks;
  for (Label i = 0; i < 300; ++i) blocks += Block(f.Holes().Points(i), f.Holes()[i]);
  EXPECT_EQ(f.analysis.ReportText(), blocks);
}

TEST(Finishing, dark_region_of_more_than_40000_pixels_is_rejected_and_the_draw_goes_on) {
  AnalysisFixture f(260, 260);
  for (int y = 1; y <= 205; ++y)
    for (int x = 1; x <= 205; ++x) f.dark.At(x, y) = 255;
  f.PaintDisc(240, 240, 49);
  f.Draw();
  EXPECT_TRUE(Contains(f.host.captions, "Removed (too wide ) : 0"));
  EXPECT_TRUE(Contains(f.host.captions, "Removed (too tall ) : 0"));
  ASSERT_EQ(f.Holes().Size(), 1u);
  EXPECT_EQ(f.Holes()[0].MinX, 233);
  ASSERT_EQ(f.Peaks().Size(), 1u);
  EXPECT_EQ(f.Peaks()[0].CenterX, 240);
  EXPECT_EQ(f.result.At(240, 240), kWhite);

  // Alone, the region is the one rejected hole: it is voted over its whole box.
  AnalysisFixture g(260, 260);
  g.dark = f.dark;
  for (int y = 230; y <= 250; ++y)
    for (int x = 230; x <= 250; ++x) g.dark.At(x, y) = testing::kPaperByte;
  g.Draw();
  ASSERT_EQ(g.Holes().Size(), 1u);
  EXPECT_TRUE(g.Holes()[0].Empty());
  EXPECT_EQ(g.analysis.ReportText().size(), 205u * (205 * 2 + 2) + 2);
  EXPECT_EQ(g.result.At(205, 205), kBlack);
}

}  // namespace
}  // namespace holescan
