// The matching rule against hand-made cases (greedy nearest first, the tolerance's edge,
// uncertain holes, ignore regions, totals) and against the project's scoring script on
// seeded random cases: the same counts, misses and errors, picture by picture and in total.
#include "eval/matching.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "io/json_writer.h"
#include "support/random.h"
#include "support/scratch_folder.h"

namespace holescan::eval {
namespace {

Truth MakeTruth(double d, std::vector<TruthHole> holes, std::vector<IgnoreRegion> ignore = {}) {
  Truth truth;
  truth.name = "case";
  truth.holeDiameterPx = d;
  truth.holes = std::move(holes);
  truth.ignoreRegions = std::move(ignore);
  return truth;
}

TruthHole Hole(double x, double y, bool uncertain = false, std::string look = "dark") {
  return {x, y, 5, uncertain, std::move(look)};
}

TEST(ScorePicture, takes_pairs_greedily_nearest_first_not_the_best_assignment) {
  // P is nearer B than A, so P takes B and Q (in reach of B only) finds nothing; the
  // assignment P-A, Q-B would match both.
  const Truth truth = MakeTruth(10, {Hole(0, 0), Hole(6, 0)});
  const std::vector<Detection> dets{{4, 0}, {9, 0}};
  const PictureScore s = ScorePicture(truth, dets);
  EXPECT_EQ(s.score.tp, 1);
  EXPECT_EQ(s.score.fp, 1);
  EXPECT_EQ(s.score.fn, 1);
  EXPECT_EQ(s.detectionHole, (std::vector<int>{1, -1}));
  EXPECT_EQ(s.missed, (std::vector<int>{0}));
  EXPECT_DOUBLE_EQ(s.score.MeanErrPx(), 2);
  EXPECT_DOUBLE_EQ(s.score.MeanErrD(), 0.2);
}

TEST(ScorePicture, counts_a_detection_exactly_half_a_calibre_away_and_not_beyond) {
  const Truth truth = MakeTruth(10, {Hole(100, 100), Hole(200, 100)});
  const std::vector<Detection> dets{{103, 104}, {203, 104.001}};
  const PictureScore s = ScorePicture(truth, dets);
  EXPECT_EQ(s.score.tp, 1);
  EXPECT_EQ(s.score.fp, 1);
  EXPECT_DOUBLE_EQ(s.score.maxErrPx, 5);
  EXPECT_DOUBLE_EQ(s.score.maxErrD, 0.5);
  // A wider tolerance takes the second one too.
  EXPECT_EQ(ScorePicture(truth, dets, 0.6).score.tp, 2);
}

TEST(ScorePicture, breaks_equal_distances_by_detection_then_hole_order) {
  const Truth truth = MakeTruth(10, {Hole(0, 0), Hole(4, 0)});
  const std::vector<Detection> dets{{2, 0}, {2, 0}};
  const PictureScore s = ScorePicture(truth, dets);
  EXPECT_EQ(s.detectionHole, (std::vector<int>{0, 1}));
  EXPECT_EQ(s.score.tp, 2);
}

TEST(ScorePicture, counts_uncertain_holes_neither_as_found_nor_as_missed) {
  const Truth truth =
      MakeTruth(10, {Hole(0, 0, true), Hole(50, 0, true), Hole(100, 0), Hole(104, 0)});
  // The first takes an uncertain hole. The second and third both lie 1 from the hole at 104:
  // the second, first in order, takes it, and the third is left the hole at 100, 5 away.
  const std::vector<Detection> dets{{1, 0}, {103, 0}, {105, 0}};
  const PictureScore s = ScorePicture(truth, dets);
  EXPECT_EQ(s.score.neutral, 1);
  EXPECT_EQ(s.score.uncertain, 2);
  EXPECT_EQ(s.score.truth, 2);
  EXPECT_EQ(s.score.tp, 2);
  EXPECT_EQ(s.score.fp, 0);
  EXPECT_EQ(s.score.fn, 0);
  EXPECT_DOUBLE_EQ(s.score.Recall(), 1);
  EXPECT_DOUBLE_EQ(s.score.Precision(), 1);
  EXPECT_DOUBLE_EQ(s.score.sumErrPx, 6);
}

TEST(ScorePicture, lets_an_uncertain_hole_take_the_detection_a_certain_one_needed) {
  const Truth truth = MakeTruth(10, {Hole(0, 0), Hole(3, 0, true)});
  const std::vector<Detection> dets{{2, 0}};
  const PictureScore s = ScorePicture(truth, dets);
  EXPECT_EQ(s.score.neutral, 1);
  EXPECT_EQ(s.score.tp, 0);
  EXPECT_EQ(s.score.fn, 1);
  EXPECT_TRUE(std::isnan(s.score.Precision()));
  EXPECT_DOUBLE_EQ(s.score.Recall(), 0);
  EXPECT_TRUE(std::isnan(s.score.MeanErrPx()));
}

TEST(ScorePicture, ignores_unmatched_detections_in_ignore_regions_only) {
  const Truth truth = MakeTruth(10, {Hole(15, 15)},
                                {{IgnoreRegion::Kind::Rect, 10, 10, 30, 30},
                                 {IgnoreRegion::Kind::OutsideCircle, 50, 50, 60}});
  const std::vector<Detection> dets{
      {16, 15},   // matches the hole inside the rectangle: a TP all the same
      {29, 29},   // inside the rectangle: ignored
      {30, 20},   // on its right edge, which is outside: a FP
      {10, 10},   // on its top-left corner, inside: ignored
      {50, 111},  // 61 from the circle's centre: ignored
      {50, 110},  // exactly on the circle: a FP
  };
  const PictureScore s = ScorePicture(truth, dets);
  EXPECT_EQ(s.score.tp, 1);
  EXPECT_EQ(s.score.ignored, 3);
  EXPECT_EQ(s.score.fp, 2);
  EXPECT_DOUBLE_EQ(s.score.Precision(), 1.0 / 3);
}

TEST(ScorePicture, names_the_looks_of_the_missed_holes_once_each) {
  const Truth truth = MakeTruth(
      10, {Hole(0, 0, false, "light"), Hole(50, 0, false, "dark"), Hole(100, 0, false, "dark"),
           Hole(150, 0, false, ""), Hole(200, 0, true, "grey"), Hole(250, 0, false, "flap")});
  const std::vector<Detection> dets{{250, 1}};
  const PictureScore s = ScorePicture(truth, dets);
  EXPECT_EQ(s.missed, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(s.missedLooks, (std::vector<std::string>{"", "dark", "light"}));
}

TEST(Score, totals_over_pictures_count_holes_not_pictures) {
  const Truth a = MakeTruth(10, {Hole(0, 0), Hole(50, 0), Hole(100, 0), Hole(150, 0)});
  const Truth b = MakeTruth(20, {Hole(0, 0)});
  const Truth c = MakeTruth(10, {Hole(0, 0)});
  const std::vector<Detection> onA{{1, 0}, {50, 0}, {300, 300}};
  const std::vector<Detection> onB{{0, 8}};
  Score total;
  total.Add(ScorePicture(a, onA).score);
  total.Add(ScorePicture(b, onB).score);
  total.Add(ScorePicture(c, {}).score);  // no TP: its maximum stays out
  EXPECT_EQ(total.tp, 3);
  EXPECT_EQ(total.fn, 3);
  EXPECT_EQ(total.fp, 1);
  EXPECT_DOUBLE_EQ(total.Recall(), 0.5);
  EXPECT_DOUBLE_EQ(total.Precision(), 0.75);
  EXPECT_DOUBLE_EQ(total.MeanErrPx(), 3);  // (1 + 0 + 8) / 3
  EXPECT_DOUBLE_EQ(total.MeanErrD(), (0.1 + 0.4) / 3);
  EXPECT_DOUBLE_EQ(total.maxErrPx, 8);
  EXPECT_DOUBLE_EQ(total.maxErrD, 0.4);
}

TEST(ScoreByLook, splits_recall_by_hole_look_and_everything_by_picture_look) {
  std::vector<Truth> truths{
      MakeTruth(10, {Hole(0, 0, false, "dark"), Hole(50, 0, false, "light")}),
      MakeTruth(10, {Hole(0, 0, false, "dark"), Hole(50, 0, true, "light")}),
  };
  truths[0].look = "letters";
  truths[1].look = "photo";
  const std::vector<Detection> first{{0, 1}, {200, 0}};
  const std::vector<Detection> second{{0, 2}, {50, 0}, {300, 0}, {400, 0}};
  const std::vector<PictureScore> scores{ScorePicture(truths[0], first),
                                         ScorePicture(truths[1], second)};
  const auto holes = ScoreByHoleLook(truths, scores);
  ASSERT_EQ(holes.size(), 2u);
  EXPECT_EQ(holes.at("dark").truth, 2);
  EXPECT_EQ(holes.at("dark").tp, 2);
  EXPECT_DOUBLE_EQ(holes.at("dark").MeanErrPx(), 1.5);
  EXPECT_EQ(holes.at("light").truth, 1);
  EXPECT_EQ(holes.at("light").uncertain, 1);
  EXPECT_EQ(holes.at("light").fn, 1);
  const auto pictures = ScoreByPictureLook(truths, scores);
  EXPECT_DOUBLE_EQ(pictures.at("letters").Recall(), 0.5);
  EXPECT_DOUBLE_EQ(pictures.at("letters").Precision(), 0.5);
  EXPECT_DOUBLE_EQ(pictures.at("photo").Recall(), 1);
  EXPECT_DOUBLE_EQ(pictures.at("photo").Precision(), 1.0 / 3);
}

// Seeded random cases: holes in a few clumps (so detections reach several), some uncertain,
// ignore regions of both kinds, detections near holes, doubled, and far from any.
struct RandomCase {
  Truth truth;
  std::vector<Detection> detections;
};

RandomCase MakeRandomCase(std::uint64_t seed) {
  testing::Random random(seed);
  RandomCase c;
  c.truth.name = "random-" + std::to_string(seed);
  c.truth.holeDiameterPx = random.Uniform(6, 40);
  const double d = c.truth.holeDiameterPx;
  const double side = 30 * d;
  const char* looks[] = {"dark", "light", "grey", ""};
  const int clumps = random.IntIn(1, 5);
  for (int k = 0; k < clumps; ++k) {
    const double cx = random.Uniform(0, side);
    const double cy = random.Uniform(0, side);
    const int n = random.IntIn(1, 6);
    for (int i = 0; i < n; ++i) {
      c.truth.holes.push_back({cx + random.Uniform(-d, d), cy + random.Uniform(-d, d), d / 2,
                               random.Unit() < 0.15, looks[random.IntIn(0, 3)]});
    }
  }
  if (random.Unit() < 0.6) {
    const double x0 = random.Uniform(-side / 2, side / 2);
    const double y0 = random.Uniform(-side / 2, side / 2);
    c.truth.ignoreRegions.push_back({IgnoreRegion::Kind::Rect, x0, y0,
                                     x0 + random.Uniform(side / 3, side),
                                     y0 + random.Uniform(side / 3, side)});
  }
  if (random.Unit() < 0.5) {
    c.truth.ignoreRegions.push_back({IgnoreRegion::Kind::OutsideCircle, side / 2, side / 2,
                                     random.Uniform(0.3, 0.6) * side, 0});
  }
  for (const TruthHole& hole : c.truth.holes) {
    const int copies = random.Unit() < 0.25 ? 0 : (random.Unit() < 0.2 ? 2 : 1);
    for (int i = 0; i < copies; ++i) {
      c.detections.push_back(
          {hole.x + random.Uniform(-0.6, 0.6) * d, hole.y + random.Uniform(-0.6, 0.6) * d});
    }
  }
  const int strays = random.IntIn(0, 8);
  for (int i = 0; i < strays; ++i) {
    c.detections.push_back({random.Uniform(0, side), random.Uniform(0, side)});
  }
  // Shuffled, so that the input order decides nothing by accident.
  for (std::size_t i = c.detections.size(); i > 1; --i) {
    std::swap(c.detections[i - 1], c.detections[random.Below(static_cast<std::uint32_t>(i))]);
  }
  return c;
}

constexpr std::uint64_t kRandomSeeds[] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};

// What the scoring script reported for each seed (TP, FP, FN, neutral, ignored), so that the
// rule is checked where Python is absent too.
struct Expected {
  int tp, fp, fn, neutral, ignored;
};
constexpr Expected kExpected[] = {
    {3, 1, 0, 0, 0}, {4, 6, 9, 1, 7}, {3, 7, 2, 0, 3},  {13, 10, 5, 0, 2},
    {3, 4, 3, 0, 0}, {8, 6, 7, 2, 1}, {3, 7, 12, 3, 3}, {3, 0, 3, 2, 4},
    {1, 5, 0, 0, 2}, {7, 3, 4, 0, 5}, {9, 9, 10, 4, 3}, {1, 1, 3, 1, 3},
};

TEST(ScorePicture, agrees_with_the_recorded_figures_of_the_scoring_script) {
  ASSERT_EQ(std::size(kExpected), std::size(kRandomSeeds));
  for (std::size_t k = 0; k < std::size(kRandomSeeds); ++k) {
    const RandomCase c = MakeRandomCase(kRandomSeeds[k]);
    const Score s = ScorePicture(c.truth, c.detections).score;
    SCOPED_TRACE(c.truth.name);
    EXPECT_EQ(s.tp, kExpected[k].tp);
    EXPECT_EQ(s.fp, kExpected[k].fp);
    EXPECT_EQ(s.fn, kExpected[k].fn);
    EXPECT_EQ(s.neutral, kExpected[k].neutral);
    EXPECT_EQ(s.ignored, kExpected[k].ignored);
  }
}

std::string TruthJson(const Truth& truth) {
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text.append(bytes); });
    json.BeginObject().Member("name", truth.name).Member("hole_diameter_px", truth.holeDiameterPx);
    json.Key("ignore_regions").BeginArray();
    for (const IgnoreRegion& g : truth.ignoreRegions) {
      json.BeginObject();
      if (g.kind == IgnoreRegion::Kind::Rect) {
        json.Key("rect").BeginArray().Double(g.a).Double(g.b).Double(g.c).Double(g.d).EndArray();
      } else {
        json.Key("outside_circle").BeginArray().Double(g.a).Double(g.b).Double(g.c).EndArray();
      }
      json.EndObject();
    }
    json.EndArray().Key("holes").BeginArray();
    for (const TruthHole& h : truth.holes) {
      json.BeginObject()
          .Member("x", h.x)
          .Member("y", h.y)
          .Member("r", h.r)
          .Member("uncertain", h.uncertain)
          .Member("look", h.look)
          .EndObject();
    }
    json.EndArray().EndObject();
  }
  return text;
}

std::string DetectionsJson(const std::vector<Detection>& dets) {
  std::string text;
  {
    JsonWriter json([&](std::string_view bytes) { text.append(bytes); });
    json.BeginObject().Key("shots").BeginArray();
    for (const Detection& d : dets)
      json.BeginObject().Member("x", d.x).Member("y", d.y).EndObject();
    json.EndArray().EndObject();
  }
  return text;
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

void ExpectSame(double mine, const nlohmann::json& theirs, const char* what) {
  // Python writes NaN, read back as null.
  const double other = theirs.is_number() ? theirs.get<double>() : std::nan("");
  if (std::isnan(other)) {
    EXPECT_TRUE(std::isnan(mine)) << what;
  } else {
    EXPECT_NEAR(mine, other, 1e-9 * (1 + std::abs(other))) << what;
  }
}

class ScoringScript : public testing::ScratchFolder {
 protected:
  void SetUp() override {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    if (!std::filesystem::exists(HOLESCAN_SCORE_SCRIPT)) {
      GTEST_SKIP() << "no scoring script at " << HOLESCAN_SCORE_SCRIPT;
    }
  }

  nlohmann::json RunScript(const std::string& arguments) {
    const std::string out = Path("out.json");
    const std::string command = std::string("python3 ") + HOLESCAN_SCORE_SCRIPT + " " + arguments +
                                " --json " + out + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(out);
    // Python writes NaN, which is not JSON; nlohmann reads it only as a string.
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (std::size_t at = text.find("NaN"); at != std::string::npos; at = text.find("NaN", at)) {
      text.replace(at, 3, "null");
    }
    return nlohmann::json::parse(text);
  }
};

TEST_F(ScoringScript, gives_the_same_figures_picture_by_picture_and_in_total) {
  std::string table = "--table";
  std::vector<PictureScore> mine;
  Score total;
  for (std::uint64_t seed : kRandomSeeds) {
    const RandomCase c = MakeRandomCase(seed);
    const std::string truth = Path(c.truth.name + ".json");
    const std::string dets = Path(c.truth.name + ".dets.json");
    WriteText(truth, TruthJson(c.truth));
    WriteText(dets, DetectionsJson(c.detections));
    table += " " + c.truth.name + "=" + truth + "=" + dets;
    mine.push_back(ScorePicture(c.truth, c.detections));
    total.Add(mine.back().score);
  }
  // One row a picture, then the total.
  const nlohmann::json rows = RunScript(table);
  ASSERT_EQ(rows.size(), mine.size() + 1);
  for (std::size_t k = 0; k < mine.size(); ++k) {
    const nlohmann::json& theirs = rows[k];
    SCOPED_TRACE(theirs["name"].get<std::string>());
    const Score& s = mine[k].score;
    EXPECT_EQ(s.detections, theirs["detections"].get<int>());
    EXPECT_EQ(s.truth, theirs["truth"].get<int>());
    EXPECT_EQ(s.uncertain, theirs["uncertain"].get<int>());
    EXPECT_EQ(s.tp, theirs["TP"].get<int>());
    EXPECT_EQ(s.fp, theirs["FP"].get<int>());
    EXPECT_EQ(s.fn, theirs["FN"].get<int>());
    EXPECT_EQ(s.neutral, theirs["neutral"].get<int>());
    EXPECT_EQ(s.ignored, theirs["ignored"].get<int>());
    ExpectSame(s.Recall(), theirs["recall"], "recall");
    ExpectSame(s.Precision(), theirs["precision"], "precision");
    ExpectSame(s.MeanErrPx(), theirs["mean_err_px"], "mean_err_px");
    ExpectSame(s.MeanErrD(), theirs["mean_err_D"], "mean_err_D");
    ExpectSame(s.tp > 0 ? s.maxErrPx : std::nan(""), theirs["max_err_px"], "max_err_px");
    EXPECT_EQ(mine[k].missed, theirs["missed"].get<std::vector<int>>());
    EXPECT_EQ(mine[k].missedLooks, theirs["missed_looks"].get<std::vector<std::string>>());
  }
  const nlohmann::json& theirs = rows.back();
  EXPECT_EQ(total.tp, theirs["TP"].get<int>());
  EXPECT_EQ(total.fp, theirs["FP"].get<int>());
  EXPECT_EQ(total.fn, theirs["FN"].get<int>());
  ExpectSame(total.Recall(), theirs["recall"], "total recall");
  ExpectSame(total.Precision(), theirs["precision"], "total precision");
  ExpectSame(total.MeanErrPx(), theirs["mean_err_px"], "total mean_err_px");
  ExpectSame(total.MeanErrD(), theirs["mean_err_D"], "total mean_err_D");
  ExpectSame(total.maxErrD, theirs["max_err_D"], "total max_err_D");
}

}  // namespace
}  // namespace holescan::eval
