// The calibrated analysis on generated scans whose true centres are known. The shot decision
// was trained on pictures of another generator (tools/train/holegen.py), never on these. The
// floors are what it reaches on them today, less a little: the goal is 0.97 for every look and
// a centre error of 0.05 calibre, which torn and dark-grey holes do not reach yet.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "scangen.h"
#include "shots/decision.h"
#include "shots/shots.h"
#include "stage_pictures.h"
#include "support/shot_matching.h"

namespace holescan::shots {
namespace {

struct Tally {
  int truth = 0, found = 0, matched = 0;
  double error = 0;  // sum of centre errors, in calibres
  double Recall() const { return truth ? static_cast<double>(matched) / truth : 1; }
  double Precision() const { return found ? static_cast<double>(matched) / found : 1; }
  double MeanError() const { return matched ? error / matched : 0; }
};

// Every true shot matched to a found one within half a calibre (support/shot_matching.h).
void Score(const scangen::Scan& scan, const ShotResult& result, double diameter,
           std::map<std::string, Tally>& byLook, Tally& all) {
  const std::vector<testing_support::ShotMatch> matches =
      testing_support::MatchShots(scan.shots, result.shots, 0.5 * diameter);
  for (std::size_t k = 0; k < scan.shots.size(); ++k) {
    Tally& look = byLook[scangen::LookName(scan.shots[k].look)];
    ++look.truth;
    ++all.truth;
    if (matches[k].found >= 0) {
      ++look.matched;
      ++all.matched;
      look.error += matches[k].distance / diameter;
      all.error += matches[k].distance / diameter;
    }
  }
  all.found += static_cast<int>(result.shots.size());
}

scangen::ScanOptions Options(double dpi, double calibre, std::uint32_t seed) {
  scangen::ScanOptions options;
  options.seed = seed;
  options.dpi = dpi;
  options.calibreMm = calibre;
  options.widthMm = options.heightMm = 20 * calibre;
  return options;
}

// The goal on a seeded set: every look, isolated and in pairs and a triple 0.5 to 1.1
// calibres apart, on printed targets with an aiming mark, specks and a border, at 75 to 600
// ppi and three calibres; two scans a case, each with a seed of its own.
TEST(FindShots, finds_the_shots_of_every_look_at_every_resolution_with_their_centres) {
  std::map<std::string, Tally> byLook;
  std::map<int, Tally> byResolution;
  Tally all;
  for (double dpi : {75.0, 150.0, 300.0, 600.0}) {
    for (double calibre : {4.5, 5.6, 9.0}) {
      for (std::uint32_t k = 0; k < 2; ++k) {
        const auto seed = static_cast<std::uint32_t>(7000 + 7 * dpi + 130 * calibre) + k;
        const scangen::Scan scan = scangen::MakeScan(Options(dpi, calibre, seed));
        const ShotSettings settings{calibre, dpi, HoleLook::Auto};
        const ShotResult result = FindShots(scan.picture.View(), settings);
        Tally& resolution = byResolution[static_cast<int>(dpi)];
        Tally scanTally;
        Score(scan, result, HoleDiameterPx(settings), byLook, scanTally);
        for (Tally* t : {&resolution, &all}) {
          t->truth += scanTally.truth;
          t->found += scanTally.found;
          t->matched += scanTally.matched;
          t->error += scanTally.error;
        }
      }
    }
  }
  for (const auto& [look, tally] : byLook) {
    std::printf("%-9s recall %.3f  centre error %.4f calibre  (%d shots)\n", look.c_str(),
                tally.Recall(), tally.MeanError(), tally.truth);
    const std::map<std::string, double> floor{
        {"black", 0.9}, {"dark-grey", 0.8}, {"light", 0.7}, {"torn", 0.55}};
    EXPECT_GE(tally.Recall(), floor.count(look) ? floor.at(look) : 0.95) << look;
  }
  for (const auto& [dpi, tally] : byResolution) {
    std::printf("%3d ppi   recall %.3f  precision %.3f  centre error %.4f calibre\n", dpi,
                tally.Recall(), tally.Precision(), tally.MeanError());
    EXPECT_GE(tally.Recall(), 0.6) << dpi;
    EXPECT_GE(tally.Precision(), 0.9) << dpi;
  }
  std::printf("all       recall %.3f  precision %.3f  centre error %.4f calibre  (%d shots)\n",
              all.Recall(), all.Precision(), all.MeanError(), all.truth);
  EXPECT_GE(all.Recall(), 0.7);
  EXPECT_GE(all.Precision(), 0.93);
  EXPECT_LE(all.MeanError(), 0.07);
}

// Rings, lines, figures, the aiming mark with its white rings, the border and its shadow,
// specks and the paper's shading and noise: at most two stray shots in all six targets.
TEST(FindShots, finds_next_to_nothing_on_a_target_without_holes) {
  std::size_t stray = 0;
  for (std::uint32_t seed : {23u, 24u, 25u}) {
    for (double dpi : {75.0, 300.0}) {
      scangen::ScanOptions options = Options(dpi, 4.5, seed);
      options.singles = options.pairs = options.triples = 0;
      options.specks = 40;
      const scangen::Scan scan = scangen::MakeScan(options);
      const std::size_t found =
          FindShots(scan.picture.View(), {4.5, dpi, HoleLook::Auto}).shots.size();
      EXPECT_LE(found, 2u) << seed << " " << dpi;
      stray += found;
    }
  }
  EXPECT_LE(stray, 2u);
}

TEST(FindShots, keeps_to_its_region_and_look_and_stops_when_cancelled) {
  scangen::ScanOptions options = Options(150, 4.5, 24);
  options.looks = {scangen::Look::Black, scangen::Look::Light};
  options.pairs = options.triples = 0;
  options.singles = 4;
  const scangen::Scan scan = scangen::MakeScan(options);
  const PictureView view = scan.picture.View();
  const ShotSettings settings{4.5, 150, HoleLook::Auto};

  const ShotResult whole = FindShots(view, settings);
  EXPECT_GE(whole.shots.size(), 3u);
  EXPECT_LE(whole.shots.size(), 4u);
  EXPECT_EQ(whole.look, HoleLook::Auto);
  EXPECT_GT(whole.levels.paperLevel, 150);
  // One look asked for: exactly the shots of that look the whole run finds, no other.
  for (HoleLook look : {HoleLook::Dark, HoleLook::Light}) {
    const ShotResult one = FindShots(view, {4.5, 150, look});
    std::size_t ofLook = 0;
    for (const Shot& shot : whole.shots) ofLook += shot.look == look;
    EXPECT_GE(ofLook, 1u);
    EXPECT_EQ(one.shots.size(), ofLook);
    for (const Shot& shot : one.shots) EXPECT_EQ(shot.look, look);
  }

  const scangen::TrueShot& first = scan.shots.front();
  const double d = HoleDiameterPx(settings);
  const Region around{static_cast<int>(first.x - d), static_cast<int>(first.y - d),
                      static_cast<int>(first.x + d), static_cast<int>(first.y + d)};
  const ShotResult inside = FindShots(view, settings, around);
  ASSERT_EQ(inside.shots.size(), 1u);
  EXPECT_NEAR(inside.shots[0].x, first.x, 0.05 * d);
  EXPECT_TRUE(FindShots(view, settings, Region{5, 5, 5, 50}).shots.empty());

  int calls = 0;
  const ShotResult cancelled = FindShots(view, settings, std::nullopt, [&](double fraction) {
    EXPECT_GE(fraction, 0);
    EXPECT_LE(fraction, 1);
    return ++calls < 3;
  });
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_TRUE(cancelled.shots.empty());
}

// Pictures the analysis must survive: tiny, uniform, a region half outside.
TEST(FindShots, copes_with_tiny_uniform_and_clipped_pictures) {
  for (int side : {1, 2, 7, 40}) {
    for (std::uint32_t colour : {Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(0, 0, 255)}) {
      const Picture picture(side, side + 3, colour);
      for (double dpi : {35.0, 600.0}) {
        const ShotResult result = FindShots(picture.View(), {4.5, dpi, HoleLook::Auto});
        EXPECT_TRUE(result.shots.empty()) << side;
        EXPECT_FALSE(ShotAt(picture.View(), {4.5, dpi, HoleLook::Auto}, 0, 0)) << side;
      }
    }
  }
  const Picture white(300, 200, Rgb(250, 250, 250));
  EXPECT_TRUE(FindShots(white.View(), {4.5, 150, HoleLook::Auto}, Region{-50, -50, 100, 9999})
                  .shots.empty());
  EXPECT_TRUE(FindShots(white.View(), {4.5, 150, HoleLook::Auto}, Region{500, 500, 600, 600})
                  .shots.empty());
}

// Paper with a grain of a grey level or two, and discs of diameter 16 whose edge fades over
// two pixels, each `depth` grey levels darker: faint dents of 6, 8 and 11 levels at x = 40, 90
// and 140, and a hole of 70 at x = 200, all at y = 60.
Picture DentedPaper() {
  Picture picture(240, 120, Rgb(236, 232, 226));
  // The paper's grain: a grey level or two either way, the same at every run.
  std::uint32_t state = 12345;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      state = state * 1664525u + 1013904223u;
      const int g = static_cast<int>(state >> 30) - 2 + static_cast<int>((state >> 28) & 1u);
      picture.Set(x, y, Rgb(236 + g, 232 + g, 226 + g));
    }
  }
  const auto dent = [&](double cx, double cy, int depth) {
    for (int y = 0; y < picture.Height(); ++y) {
      for (int x = 0; x < picture.Width(); ++x) {
        const double r = std::hypot(x - cx, y - cy);
        const double share = std::clamp((8.0 - r) / 3.0 + 0.5, 0.0, 1.0);
        if (share <= 0) continue;
        const std::uint32_t c = picture.At(x, y);
        const auto down = [&](int shift) {
          return static_cast<int>(std::lround(((c >> shift) & 0xFFu) - share * depth));
        };
        picture.Set(x, y, Rgb(down(16), down(8), down(0)));
      }
    }
  };
  dent(40, 60, 6);
  dent(90, 60, 8);
  dent(140, 60, 11);
  dent(200, 60, 70);
  return picture;
}

// A round dent or shadow in blank paper a few grey levels deep, of a hole's size, is no shot;
// a grey hole (tape, a grey backing) of the same size beside it is one. At 16 pixels a hole,
// the working scale itself.
TEST(FindShots, a_faint_dent_in_the_paper_is_no_shot_but_a_grey_hole_is) {
  const double dpi = 16 * 25.4 / 4.5;
  const Picture picture = DentedPaper();
  const ShotResult result = FindShots(picture.View(), {4.5, dpi, HoleLook::Auto});
  ASSERT_EQ(result.shots.size(), 1u);
  EXPECT_NEAR(result.shots[0].x, 200, 1.5);
  EXPECT_NEAR(result.shots[0].y, 60, 1.5);
}

// A shooter's group: eight separate holes 1.06 to 1.3 calibres from their neighbours, some
// of them smaller than the calibre (paper closes on a bullet's path), once on blank paper and
// once inside a printed ring. Every hole is a shot of its own; close neighbours of the same
// look are not a printed row of dots.
TEST(FindShots, finds_every_hole_of_a_tight_group) {
  constexpr double kD = 24;
  const double dpi = kD * 25.4 / 4.5;
  Picture picture(440, 220, Rgb(236, 233, 228));
  cv::Mat canvas = testing::Canvas(picture);
  cv::circle(canvas, cv::Point(330, 110), 60, testing::Grey(40), 2, cv::LINE_AA);
  const std::array<cv::Point2d, 8> group{{{0, 0},
                                          {1.1, 0.2},
                                          {-0.9, 0.7},
                                          {0.3, 1.15},
                                          {-0.4, -1.1},
                                          {0.8, -1.0},
                                          {-1.25, -0.3},
                                          {1.5, 1.2}}};
  const std::array<double, 8> size{1.0, 0.8, 0.9, 0.7, 0.95, 0.75, 0.85, 1.0};
  std::vector<cv::Point2d> truth;
  for (const cv::Point2d aim : {cv::Point2d(100, 100), cv::Point2d(320, 105)}) {
    for (std::size_t k = 0; k < group.size(); ++k) {
      truth.push_back(aim + group[k] * kD);
      testing::Disc(canvas, truth.back().x, truth.back().y, size[k] * kD, testing::Grey(35));
    }
  }
  const ShotResult result = FindShots(picture.View(), {4.5, dpi, HoleLook::Auto});
  std::size_t found = 0;
  for (const cv::Point2d& hole : truth) {
    const bool hit = std::any_of(result.shots.begin(), result.shots.end(), [&](const Shot& s) {
      return std::hypot(s.x - hole.x, s.y - hole.y) <= 0.25 * kD;
    });
    EXPECT_TRUE(hit) << hole;
    found += hit ? 1 : 0;
  }
  EXPECT_EQ(result.shots.size(), found);
}

// A logo on a black field: a blue square two calibres wide with a white ring in it. The decision
// may take the ring for a light hole; the group stage then explains the square by eight discs
// of the calibre, as it would a ragged hole of several shots (eight are found without the
// decision's second say). Looking at those discs, the decision sees print: none of them is a
// shot, and only the decision's own shot on the ring stands.
TEST(FindShots, a_printed_figure_explained_by_discs_is_no_group_of_shots) {
  constexpr double kD = 18;
  const double dpi = kD * 25.4 / 4.5;
  Picture picture(200, 160, Rgb(8, 8, 8));
  cv::Mat canvas = testing::Canvas(picture);
  cv::rectangle(canvas, cv::Point(82, 62), cv::Point(117, 97), cv::Scalar(130, 50, 20, 255),
                cv::FILLED);
  cv::circle(canvas, cv::Point(100 * 16, 80 * 16), static_cast<int>(0.55 * kD * 16),
             testing::Grey(236), static_cast<int>(0.25 * kD), cv::LINE_AA, 4);
  const ShotResult result = FindShots(picture.View(), {4.5, dpi, HoleLook::Auto});
  EXPECT_LE(result.shots.size(), 1u);
}

// Where each place of the dented paper, and of print added to it, leaves the analysis. The
// print's stages are the decision's of today: a new model may move a mark from one to another.
TEST(TracePlaces, says_which_stage_let_each_place_go) {
  const double dpi = 16 * 25.4 / 4.5;
  Picture picture = DentedPaper();
  // Print on the lower half: a ring the hole's size (two pixels of ink, as a torn rim shows
  // against a white backing), a bar, a dot under half a hole across and a disc two holes wide.
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const bool ink = std::abs(std::hypot(x - 60, y - 100) - 7) <= 1 ||
                       (x >= 120 && x < 170 && y >= 97 && y < 103) ||
                       std::hypot(x - 95, y - 100) <= 3.5 || std::hypot(x - 212, y - 100) <= 15;
      if (ink) picture.Set(x, y, Rgb(30, 30, 30));
    }
  }
  struct Expected {
    double x, y;
    LostAt lostAt;
  };
  const std::vector<Expected> expected = {
      {200, 60, LostAt::NotLost},     // the hole
      {60, 100, LostAt::NotLost},     // the ring: a shot's rim, to the analysis
      {170, 20, LostAt::Proposals},   // blank paper
      {40, 60, LostAt::Proposals},    // a dent of 6 levels: the paper's grain
      {145, 100, LostAt::Screen},     // the bar
      {212, 100, LostAt::FirstLook},  // the wide disc
      {95, 100, LostAt::Decision},    // the dot
      {90, 60, LostAt::Later},        // dents of 8 and 11 levels: a shot to the network, too
      {140, 60, LostAt::Later},       // faint to stand out from the paper
  };
  std::vector<std::pair<double, double>> places;
  for (const Expected& e : expected) places.emplace_back(e.x, e.y);
  const std::vector<PlaceTrace> traces =
      TracePlaces(picture.View(), {4.5, dpi, HoleLook::Auto}, places, 8);
  ASSERT_EQ(traces.size(), places.size());
  for (std::size_t i = 0; i < traces.size(); ++i) {
    const PlaceTrace& trace = traces[i];
    const std::string where = "(" + std::to_string(expected[i].x) + ", " +
                              std::to_string(expected[i].y) +
                              "): " + std::string(LostAtName(trace.lostAt));
    EXPECT_EQ(trace.lostAt, expected[i].lostAt) << where;
    // A probability only where the decision looked a second time: below the threshold where
    // it said no, above where it said yes.
    switch (trace.lostAt) {
      case LostAt::Decision:
        EXPECT_GT(trace.probability, 0) << where;
        EXPECT_LT(trace.probability, ShotThreshold()) << where;
        break;
      case LostAt::Later:
      case LostAt::NotLost:
        EXPECT_GE(trace.probability, ShotThreshold()) << where;
        break;
      default:
        EXPECT_EQ(trace.probability, 0) << where;
    }
  }
}

TEST(ShotAt, recentres_a_click_on_a_hole_and_finds_nothing_on_paper) {
  scangen::ScanOptions options = Options(300, 4.5, 25);
  options.pairs = options.triples = 0;
  options.singles = 2;
  options.looks = {scangen::Look::DarkGrey};
  const scangen::Scan scan = scangen::MakeScan(options);
  const ShotSettings settings{4.5, 300, HoleLook::Auto};
  const double d = HoleDiameterPx(settings);
  const scangen::TrueShot& truth = scan.shots.front();
  const std::optional<Shot> shot =
      ShotAt(scan.picture.View(), settings, truth.x + 0.3 * d, truth.y - 0.2 * d);
  ASSERT_TRUE(shot);
  EXPECT_NEAR(shot->x, truth.x, 0.05 * d);
  EXPECT_NEAR(shot->y, truth.y, 0.05 * d);
  EXPECT_DOUBLE_EQ(shot->diameterPx, d);
  EXPECT_FALSE(ShotAt(scan.picture.View(), settings, truth.x + 2 * d, truth.y));
  EXPECT_FALSE(ShotAt(scan.picture.View(), settings, -5, 10));
}

}  // namespace
}  // namespace holescan::shots
