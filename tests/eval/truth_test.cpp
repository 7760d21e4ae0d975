// Truth files as the measured sets write them, the optional members' defaults, and a
// one-line reason for every malformed one.
#include "eval/truth.h"

#include <gtest/gtest.h>

#include "support/scratch_folder.h"

namespace holescan::eval {
namespace {

TEST(ParseTruth, reads_holes_regions_and_looks_and_skips_everything_else) {
  const TruthRead read = ParseTruth(R"({
    "name": "scan-x", "image": "scan-x.png", "source": {"repo": "a/b"}, "licence": "none",
    "hole_diameter_px": 12.5, "non_holes": "digits", "look": "letters",
    "ignore_regions": [{"rect": [0, 1, 20, 30]}, {"outside_circle": [50, 60, 40]}],
    "holes": [
      {"x": 10.5, "y": 20, "r": 6, "uncertain": false, "look": "dark"},
      {"x": 30, "y": 40.25, "uncertain": true, "look": "grey", "note": "faint"},
      {"x": 1, "y": 2}
    ]})",
                                    "fallback");
  ASSERT_TRUE(read.truth) << read.reason;
  const Truth& t = *read.truth;
  EXPECT_EQ(t.name, "scan-x");
  EXPECT_EQ(t.image, "scan-x.png");
  EXPECT_EQ(t.look, "letters");
  EXPECT_DOUBLE_EQ(t.holeDiameterPx, 12.5);
  ASSERT_EQ(t.holes.size(), 3u);
  EXPECT_DOUBLE_EQ(t.holes[0].x, 10.5);
  EXPECT_DOUBLE_EQ(t.holes[0].r, 6);
  EXPECT_FALSE(t.holes[0].uncertain);
  EXPECT_EQ(t.holes[0].look, "dark");
  EXPECT_DOUBLE_EQ(t.holes[1].y, 40.25);
  EXPECT_TRUE(t.holes[1].uncertain);
  EXPECT_FALSE(t.holes[2].uncertain);
  EXPECT_EQ(t.holes[2].look, "?");
  ASSERT_EQ(t.ignoreRegions.size(), 2u);
  EXPECT_EQ(t.ignoreRegions[0].kind, IgnoreRegion::Kind::Rect);
  EXPECT_DOUBLE_EQ(t.ignoreRegions[0].d, 30);
  EXPECT_EQ(t.ignoreRegions[1].kind, IgnoreRegion::Kind::OutsideCircle);
  EXPECT_DOUBLE_EQ(t.ignoreRegions[1].c, 40);
}

TEST(ParseTruth, takes_the_file_name_without_a_name_and_no_regions_without_any) {
  const TruthRead read = ParseTruth(R"({"hole_diameter_px": 8, "holes": []})", "fallback");
  ASSERT_TRUE(read.truth);
  EXPECT_EQ(read.truth->name, "fallback");
  EXPECT_TRUE(read.truth->holes.empty());
  EXPECT_TRUE(read.truth->ignoreRegions.empty());
}

TEST(ParseTruth, reads_uncertain_as_the_scoring_script_does) {
  const TruthRead read = ParseTruth(
      R"({"hole_diameter_px": 8, "holes": [{"x": 1, "y": 1, "uncertain": 1},
          {"x": 1, "y": 1, "uncertain": 0}, {"x": 1, "y": 1, "uncertain": null}]})",
      "t");
  ASSERT_TRUE(read.truth);
  EXPECT_TRUE(read.truth->holes[0].uncertain);
  EXPECT_FALSE(read.truth->holes[1].uncertain);
  EXPECT_FALSE(read.truth->holes[2].uncertain);
}

TEST(ParseTruth, tells_other_json_from_a_broken_truth_file) {
  EXPECT_FALSE(ParseTruth("{\"shots\": []}", "t").isTruth);
  EXPECT_FALSE(ParseTruth("[1, 2]", "t").isTruth);
  EXPECT_FALSE(ParseTruth("{oops", "t").isTruth);
  const struct {
    const char* text;
    const char* reason;
  } broken[] = {
      {R"({"hole_diameter_px": 0, "holes": []})", "hole_diameter_px is not positive"},
      {R"({"hole_diameter_px": "9", "holes": []})", "hole_diameter_px is not a number"},
      {R"({"hole_diameter_px": 9})", "holes is not an array"},
      {R"({"hole_diameter_px": 9, "holes": [{"x": 1}]})", "holes[0].y is not a number"},
      {R"({"hole_diameter_px": 9, "holes": [{"x": 1, "y": 2}, 3]})", "holes[1] is not an object"},
      {R"({"hole_diameter_px": 9, "holes": [{"x": 1, "y": 2, "uncertain": "yes"}]})",
       "holes[0].uncertain is not true or false"},
      {R"({"hole_diameter_px": 9, "holes": [], "ignore_regions": [{"rect": [1, 2, 3]}]})",
       "ignore_regions[0].rect is not an array of 4 numbers"},
      {R"({"hole_diameter_px": 9, "holes": [], "ignore_regions": [{"circle": [1, 2, 3]}]})",
       "ignore_regions[0] is neither a rect nor an outside_circle"},
  };
  for (const auto& b : broken) {
    const TruthRead read = ParseTruth(b.text, "t");
    EXPECT_FALSE(read.truth) << b.text;
    EXPECT_TRUE(read.isTruth) << b.text;
    EXPECT_EQ(read.reason, b.reason) << b.text;
  }
}

TEST(InIgnoreRegion, keeps_the_right_and_bottom_edges_of_a_rect_and_a_circle_outside) {
  const std::vector<IgnoreRegion> rect{{IgnoreRegion::Kind::Rect, 10, 20, 30, 40}};
  EXPECT_TRUE(InIgnoreRegion(10, 20, rect));
  EXPECT_TRUE(InIgnoreRegion(29.9, 39.9, rect));
  EXPECT_FALSE(InIgnoreRegion(30, 25, rect));
  EXPECT_FALSE(InIgnoreRegion(15, 40, rect));
  EXPECT_FALSE(InIgnoreRegion(9.9, 25, rect));
  const std::vector<IgnoreRegion> circle{{IgnoreRegion::Kind::OutsideCircle, 0, 0, 5, 0}};
  EXPECT_FALSE(InIgnoreRegion(3, 4, circle));
  EXPECT_TRUE(InIgnoreRegion(3, 4.01, circle));
}

class TruthFile : public testing::ScratchFolder {};

TEST_F(TruthFile, is_named_after_the_file_and_refused_when_missing) {
  const std::string text = R"({"hole_diameter_px": 8, "holes": [{"x": 1, "y": 2}]})";
  const std::string path = Write("target-7.json", testing::Bytes(text.begin(), text.end()));
  const TruthRead read = ReadTruthFile(path);
  ASSERT_TRUE(read.truth);
  EXPECT_EQ(read.truth->name, "target-7");
  const TruthRead missing = ReadTruthFile(Path("none.json"));
  EXPECT_FALSE(missing.truth);
  EXPECT_NE(missing.reason.find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace holescan::eval
