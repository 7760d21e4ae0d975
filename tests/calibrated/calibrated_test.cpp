#include "calibrated/calibrated.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "facegen.h"
#include "shots/aim.h"
#include "support/face_scans.h"

namespace holescan::calibrated {
namespace {

PictureFile Stored(std::optional<double> dpi) {
  PictureFile file;
  file.loaded = true;
  if (dpi) file.resolution = Resolution{*dpi, *dpi};
  return file;
}

TEST(Resolution, a_stored_value_within_metre_rounding_of_a_whole_number_is_that_number) {
  EXPECT_EQ(FileResolution(Stored(11811 * 0.0254)), 300.0);  // 299.9994
  EXPECT_EQ(FileResolution(Stored(2835 * 0.0254)), 72.0);    // 72.009
  EXPECT_EQ(FileResolution(Stored(72.3)), 72.3);
  EXPECT_EQ(FileResolution(Stored(std::nullopt)), std::nullopt);
  EXPECT_EQ(FileResolution(Stored(10)), std::nullopt);  // outside the limits: not usable
  EXPECT_EQ(FileResolution(Stored(9600)), std::nullopt);
}

TEST(Resolution, given_wins_then_the_file_then_the_fallback_as_given) {
  CalibratedSettings given;
  given.dpi = 150;
  given.dpiSource = ResolutionSource::Option;
  EXPECT_EQ(ResolveResolution(Stored(300), given), given);

  CalibratedSettings fromFile;
  fromFile.dpi = 200;  // the fallback
  const CalibratedSettings stored = ResolveResolution(Stored(11811 * 0.0254), fromFile);
  EXPECT_EQ(stored.dpi, 300);
  EXPECT_EQ(stored.dpiSource, ResolutionSource::File);
  const CalibratedSettings none = ResolveResolution(Stored(std::nullopt), fromFile);
  EXPECT_EQ(none.dpi, 200);
  EXPECT_EQ(none.dpiSource, ResolutionSource::Option);
  fromFile.dpi = 0;
  EXPECT_EQ(SettingsProblem(ResolveResolution(Stored(std::nullopt), fromFile)),
            "the resolution is not known");
}

TEST(Limits, one_message_each_for_resolution_calibre_and_a_hole_out_of_reach) {
  EXPECT_EQ(ResolutionProblem(49.9), "the resolution must lie between 50 and 4800 pixels per inch");
  EXPECT_EQ(ResolutionProblem(4800), std::nullopt);
  EXPECT_EQ(CalibreProblem(1.5), "the calibre must lie between 2 and 25 mm");
  EXPECT_EQ(CalibreProblem(25), std::nullopt);
  CalibratedSettings settings;
  settings.dpi = 4800;
  settings.calibreMm = 9;  // 1700 pixels across
  ASSERT_TRUE(SettingsProblem(settings));
  EXPECT_NE(SettingsProblem(settings)->find("at most 1000"), std::string::npos);
  settings.dpi = 50;
  settings.calibreMm = 4.5;
  settings.gaugeMm = 22;
  EXPECT_EQ(SettingsProblem(settings), "the gauge must lie between 1 and 20 mm");
  EXPECT_THROW(AnalysePicture(PictureView{}, settings), std::invalid_argument);
}

TEST(ResolutionSource, names_read_back_and_the_old_user_is_option) {
  for (const auto source :
       {ResolutionSource::File, ResolutionSource::Option, ResolutionSource::Face})
    EXPECT_EQ(ParseResolutionSource(ResolutionSourceName(source)), source);
  EXPECT_EQ(ParseResolutionSource("user"), ResolutionSource::Option);
  EXPECT_EQ(ParseResolutionSource("scanner"), std::nullopt);
}

class OnAFace : public ::testing::Test {
 protected:
  void SetUp() override {
    facegen::FaceOptions options;
    options.face = score::FindFace("issf-air-rifle");
    options.dpi = 150;
    options.seed = 3;
    options.numbers = false;
    options.shots = {{-9, 2}, {6, 8}, {14, -16, facegen::HoleLook::Dark}};
    card_ = facegen::MakeFace(options);
    settings_.dpi = 150;
    settings_.face = options.face;
  }
  facegen::FaceTarget card_;
  CalibratedSettings settings_;
};

TEST_F(OnAFace, the_shots_are_scored_from_the_black) {
  const CalibratedResult result = AnalysePicture(card_.picture.View(), settings_);
  ASSERT_EQ(result.shots.size(), 3u);
  EXPECT_TRUE(result.warnings.empty());
  EXPECT_EQ(result.aim.source, score::AimSource::Face);
  EXPECT_NEAR(result.aim.x, card_.aimX, 0.5);
  EXPECT_NEAR(result.aim.y, card_.aimY, 0.5);
  ASSERT_TRUE(result.total);
  int total = 0;
  double sumX = 0;
  for (const Shot& shot : result.shots) {
    ASSERT_TRUE(shot.score);
    total += shot.score->score;
    sumX += shot.x;
    EXPECT_FALSE(shot.edited);
    EXPECT_NEAR(shot.diameterPx, 4.5 * 150 / 25.4, 1e-9);
    // Millimetres right and up from the aim.
    EXPECT_NEAR(shot.xMm, (shot.x - result.aim.x) * 25.4 / 150, 1e-9);
    EXPECT_NEAR(shot.yMm, (result.aim.y - shot.y) * 25.4 / 150, 1e-9);
  }
  EXPECT_EQ(result.total->score, total);
  EXPECT_NEAR(result.groupCentreX, sumX / 3, 1e-9);
  EXPECT_EQ(result.group.count, 3);
  // The two shots in the black (15.25 mm across) and not the one far outside it.
  EXPECT_TRUE(result.shots[1].bull || result.shots[0].bull);
  EXPECT_FALSE(std::find_if(result.shots.begin(), result.shots.end(), [](const Shot& shot) {
                 return std::hypot(shot.xMm, shot.yMm) > 20 && shot.bull;
               }) != result.shots.end());
}

TEST_F(OnAFace, a_black_not_found_is_a_warning_and_the_group_is_the_aim) {
  settings_.face = score::FindFace("issf-air-pistol");  // a black twice the card's
  const CalibratedResult result = AnalysePicture(card_.picture.View(), settings_);
  ASSERT_EQ(result.shots.size(), 3u);
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0].rfind("no point of aim: ", 0), 0u) << result.warnings[0];
  EXPECT_EQ(result.aim.source, score::AimSource::BlackNotFound);
  EXPECT_NEAR(result.aim.x, result.groupCentreX, 1e-9);
  EXPECT_NEAR(result.aim.y, result.groupCentreY, 1e-9);
  EXPECT_FALSE(result.total);
  for (const Shot& shot : result.shots) EXPECT_FALSE(shot.score);
}

TEST_F(OnAFace, an_aim_given_is_taken_and_rescoring_follows_edits) {
  settings_.aim = score::AimPoint{card_.aimX, card_.aimY};
  const CalibratedResult found = AnalysePicture(card_.picture.View(), settings_);
  EXPECT_EQ(found.aim.source, score::AimSource::Given);
  EXPECT_FALSE(found.black.centre);  // not looked for
  std::vector<Shot> shots = found.shots;
  shots.push_back({card_.aimX, card_.aimY, true});
  const CalibratedResult edited = Rescore(found, shots);
  ASSERT_EQ(edited.shots.size(), 4u);
  EXPECT_EQ(edited.aim.x, found.aim.x);
  ASSERT_TRUE(edited.shots[3].score);
  EXPECT_EQ(edited.shots[3].score->score, 10);
  EXPECT_TRUE(edited.shots[3].score->innerTen);
  EXPECT_EQ(edited.total->score, found.total->score + 10);

  // Without a face or aim the aim is the group's centre, and follows the shots.
  CalibratedSettings plain = settings_;
  plain.face = nullptr;
  plain.aim.reset();
  const CalibratedResult group = Rescore(edited, plain, {});
  EXPECT_EQ(group.aim.source, score::AimSource::Group);
  EXPECT_NEAR(group.aim.x, group.groupCentreX, 1e-9);
  EXPECT_FALSE(group.total);
}

TEST_F(OnAFace, a_shot_set_by_hand_is_centred_on_the_hole_under_it) {
  const Shot near =
      ShotAtPoint(card_.picture.View(), settings_, card_.shots[0].x + 3, card_.shots[0].y - 2);
  EXPECT_TRUE(near.edited);
  EXPECT_NEAR(near.x, card_.shots[0].x, 1);
  EXPECT_NEAR(near.y, card_.shots[0].y, 1);
  EXPECT_GT(near.contrast, 0);
  const Shot paper = ShotAtPoint(card_.picture.View(), settings_, 5, 5);
  EXPECT_EQ(paper.x, 5);
  EXPECT_EQ(paper.contrast, 0);
}

// ---- The face gives the scale ----------------------------------------------------------

// The card of OnAFace: a face and no resolution given, so the face's black measures it.
TEST_F(OnAFace, with_a_face_and_no_resolution_the_black_gives_the_scale) {
  CalibratedSettings settings = ResolveResolution(Stored(std::nullopt), settings_);
  settings.dpi = 0;
  settings.dpiSource = ResolutionSource::Face;
  settings = ResolveResolution(Stored(std::nullopt), settings);
  EXPECT_FALSE(SettingsProblem(settings));  // to be measured, not refused
  const CalibratedResult result = AnalysePicture(card_.picture.View(), settings);
  EXPECT_EQ(result.settings.dpiSource, ResolutionSource::Face);
  EXPECT_NEAR(result.settings.dpi / 150, 1, 0.003);
  ASSERT_TRUE(result.faceMeasure);
  EXPECT_FALSE(result.faceMeasure->fileDpi);
  EXPECT_TRUE(result.warnings.empty());
  ASSERT_EQ(result.shots.size(), 3u);
  ASSERT_TRUE(result.total);
  // The same scores as at the true resolution.
  const CalibratedResult truth = AnalysePicture(card_.picture.View(), settings_);
  EXPECT_EQ(result.total->score, truth.total->score);
  EXPECT_NEAR(result.total->decimal, truth.total->decimal, 0.1);

  // A file storing another resolution: reported beside it, one warning over 2 % apart.
  CalibratedSettings stored = settings;
  stored.fileDpi = 72;
  const CalibratedResult disagreeing = AnalysePicture(card_.picture.View(), stored);
  EXPECT_NEAR(disagreeing.settings.dpi / 150, 1, 0.003);
  ASSERT_EQ(disagreeing.warnings.size(), 1u);
  EXPECT_NE(disagreeing.warnings[0].find("the file stores 72.0 ppi"), std::string::npos)
      << disagreeing.warnings[0];
  // Within 2 %: the file's, exact, as every front end takes it, and no warning.
  stored.fileDpi = 151;
  const CalibratedResult agreeing = AnalysePicture(card_.picture.View(), stored);
  EXPECT_TRUE(agreeing.warnings.empty());
  EXPECT_EQ(agreeing.settings.dpi, 151);
  EXPECT_EQ(agreeing.settings.dpiSource, ResolutionSource::File);
}

TEST_F(OnAFace, a_face_that_gives_no_scale_falls_back_on_the_file_or_is_refused) {
  const Picture paper(600, 600, Rgb(238, 236, 226));
  CalibratedSettings settings = settings_;
  settings.dpi = 0;
  settings.dpiSource = ResolutionSource::Face;
  settings.fileDpi = 150;
  const CalibratedResult fallback = AnalysePicture(paper.View(), settings);
  EXPECT_EQ(fallback.settings.dpiSource, ResolutionSource::File);
  EXPECT_EQ(fallback.settings.dpi, 150);
  // One warning: the black, not found at the file's resolution either.
  ASSERT_EQ(fallback.warnings.size(), 1u);
  EXPECT_EQ(fallback.warnings[0].rfind("no point of aim: ", 0), 0u) << fallback.warnings[0];
  settings.fileDpi.reset();
  EXPECT_THROW(AnalysePicture(paper.View(), settings), std::invalid_argument);

  // The wrong face named: its black would measure half the resolution the file stores, but
  // the rings are another face's, so the file's stays and that face's black is not found.
  settings.face = score::FindFace("issf-air-pistol");
  settings.fileDpi = 150;
  const CalibratedResult wrong = AnalysePicture(card_.picture.View(), settings);
  EXPECT_EQ(wrong.settings.dpi, 150);
  EXPECT_EQ(wrong.settings.dpiSource, ResolutionSource::File);
  ASSERT_EQ(wrong.warnings.size(), 1u);
  EXPECT_EQ(wrong.warnings[0].rfind("no point of aim: ", 0), 0u) << wrong.warnings[0];
}

TEST_F(OnAFace, auto_chooses_the_face_and_its_gauge) {
  CalibratedSettings settings = settings_;
  settings.face = nullptr;
  settings.faceAuto = true;
  settings.gaugeMm = 0;
  settings.dpi = 0;
  settings.dpiSource = ResolutionSource::Face;
  const CalibratedResult result = AnalysePicture(card_.picture.View(), settings);
  ASSERT_EQ(result.settings.face, score::FindFace("issf-air-rifle"));
  EXPECT_EQ(result.settings.gaugeMm, result.settings.face->rulesGaugeMm);
  ASSERT_TRUE(result.faceMeasure);
  EXPECT_TRUE(result.faceMeasure->chosen);
  EXPECT_GT(result.faceMeasure->match, result.faceMeasure->runnerUp);
  EXPECT_TRUE(result.total);
}

facegen::FaceTarget ForeignBullScan() {
  facegen::FaceOptions options = testing_support::ForeignBullScan(286, 4);
  options.shots = {{1, -2}, {-3, 1}};
  return facegen::MakeFace(options);
}

// With auto, a face whose rings no face of ours matches well enough is no face: one warning
// naming the nearest, and the shots found as without a face at the resolution given or
// stored; with neither, the picture is refused for want of one. The right face is still
// chosen on its own card.
TEST(AutoFace, a_bull_of_no_known_kind_is_refused_and_the_shots_still_found) {
  const facegen::FaceTarget bull = ForeignBullScan();
  CalibratedSettings settings;
  settings.calibreMm = 5.6;
  settings.faceAuto = true;
  settings.gaugeMm = 0;
  settings.dpi = 0;
  settings.dpiSource = ResolutionSource::Face;
  settings.fileDpi = 286;
  const CalibratedResult stored = AnalysePicture(bull.picture.View(), settings);
  EXPECT_EQ(stored.settings.face, nullptr);
  EXPECT_EQ(stored.settings.dpi, 286);
  EXPECT_EQ(stored.settings.dpiSource, ResolutionSource::File);
  ASSERT_EQ(stored.warnings.size(), 1u);
  const std::string& warning = stored.warnings[0];
  EXPECT_EQ(warning.rfind("no known face's rings match", 0), 0u) << warning;
  EXPECT_NE(warning.find("the best, "), std::string::npos) << warning;
  EXPECT_NE(warning.find("matches 0."), std::string::npos) << warning;
  EXPECT_NE(warning.find("without a face"), std::string::npos) << warning;
  EXPECT_FALSE(stored.total);
  EXPECT_EQ(stored.aim.source, score::AimSource::Group);
  EXPECT_EQ(stored.shots.size(), 2u);

  // The resolution given instead: the same.
  settings.dpiSource = ResolutionSource::Option;
  settings.dpi = 286;
  settings.fileDpi.reset();
  const CalibratedResult given = AnalysePicture(bull.picture.View(), settings);
  EXPECT_EQ(given.settings.face, nullptr);
  ASSERT_EQ(given.warnings.size(), 1u);
  EXPECT_EQ(given.warnings[0].rfind("no known face's rings match", 0), 0u) << given.warnings[0];
  EXPECT_EQ(given.shots.size(), 2u);

  // Neither: refused, saying which face came nearest.
  settings.dpiSource = ResolutionSource::Face;
  settings.dpi = 0;
  try {
    AnalysePicture(bull.picture.View(), settings);
    ADD_FAILURE() << "analysed without a resolution";
  } catch (const NoScale& none) {
    EXPECT_EQ(std::string(none.what()).rfind("no known face's rings match", 0), 0u) << none.what();
  }
}

// The A-17's ten is a light ring narrower than a .22 hole, printed in every black: with the
// face named it is print, while a shot that tore it out still counts. Without the face the ring
// passes for a hole.
TEST(PrintedTen, a_light_ten_ring_narrower_than_the_calibre_is_print_unless_shot_out) {
  const score::Face* face = score::FindFace("nra-a17");
  facegen::FaceOptions options;
  options.face = face;
  options.dpi = 150;
  options.calibreMm = 5.6;
  options.seed = 3;
  const facegen::FaceTarget empty = facegen::MakeFace(options);
  options.shots = {{0, 0, facegen::HoleLook::Light}, {8, 0, facegen::HoleLook::Light}};
  const facegen::FaceTarget shot = facegen::MakeFace(options);

  CalibratedSettings settings;
  settings.calibreMm = 5.6;
  settings.dpi = 150;
  settings.dpiSource = ResolutionSource::Option;
  EXPECT_EQ(AnalysePicture(empty.picture.View(), settings).shots.size(), 1u);
  settings.face = face;
  EXPECT_TRUE(AnalysePicture(empty.picture.View(), settings).shots.empty());
  const CalibratedResult found = AnalysePicture(shot.picture.View(), settings);
  ASSERT_EQ(found.shots.size(), 2u);
  const bool centre = std::any_of(found.shots.begin(), found.shots.end(), [](const Shot& s) {
    return std::hypot(s.xMm, s.yMm) < 0.3 && s.score && s.score->score == 10;
  });
  EXPECT_TRUE(centre);
  // Two shots either side of the ring, 1.5 to 2.5 mm beyond its line: the ring's arc between
  // them, with the black inside it, is a rim too, and print as well.
  options.shots = {{-4, 0, facegen::HoleLook::Light}, {4, 2, facegen::HoleLook::Light}};
  for (const std::uint32_t seed : {3u, 5u, 8u}) {
    options.seed = seed;
    const CalibratedResult pair =
        AnalysePicture(facegen::MakeFace(options).picture.View(), settings);
    EXPECT_EQ(pair.shots.size(), 2u) << seed;
  }
}

// The air rifle's ring 9 round its ten dot is a dark disc in a thin light line, a little wider
// than a 4.5 mm hole; the air pistol's inner ten is one too. With the face named, neither is a
// shot among the shots of a card, while a shot that tore the centre out scores its ten.
TEST(PrintedTen, a_dark_disc_in_a_light_ring_at_the_centre_is_print_unless_shot_out) {
  for (const char* name : {"issf-air-rifle", "issf-air-pistol"}) {
    SCOPED_TRACE(name);
    const score::Face* face = score::FindFace(name);
    facegen::FaceOptions options = testing_support::ShotCard(name, 300, 11, false);
    const facegen::FaceTarget card = facegen::MakeFace(options);
    options.shots = {{0, 0, facegen::HoleLook::Light}};
    const facegen::FaceTarget shotOut = facegen::MakeFace(options);

    CalibratedSettings settings;
    settings.calibreMm = 4.5;
    settings.dpi = 300;
    settings.dpiSource = ResolutionSource::Option;
    settings.face = face;
    const double diameter = 4.5 * 300 / 25.4;
    const auto atCentre = [&](const CalibratedResult& r, const facegen::FaceTarget& t) {
      return std::count_if(r.shots.begin(), r.shots.end(), [&](const Shot& s) {
        return std::hypot(s.x - t.aimX, s.y - t.aimY) < 0.5 * diameter;
      });
    };
    const CalibratedResult found = AnalysePicture(card.picture.View(), settings);
    EXPECT_GE(found.shots.size(), 4u);
    EXPECT_EQ(atCentre(found, card), 0);
    const CalibratedResult ten = AnalysePicture(shotOut.picture.View(), settings);
    ASSERT_EQ(atCentre(ten, shotOut), 1);
    const auto centre = std::find_if(ten.shots.begin(), ten.shots.end(), [&](const Shot& s) {
      return std::hypot(s.x - shotOut.aimX, s.y - shotOut.aimY) < 0.5 * diameter;
    });
    ASSERT_TRUE(centre->score);
    EXPECT_EQ(centre->score->score, 10);
  }
}

// ---- Sheets of several bulls -----------------------------------------------------------

// A generated A-17 sheet without ring figures, its shots yet to be given.
facegen::FaceOptions A17Sheet(double dpi, std::uint32_t seed) {
  facegen::FaceOptions options;
  options.face = score::FindFace("nra-a17");
  options.sheet = true;
  options.dpi = dpi;
  options.numbers = false;
  options.seed = seed;
  return options;
}

// An A-17 sheet: one shot in each of the ten record bulls, three in the first sighter, one
// off every bull. Bulls and sighters come from the analysis; the shots are set where they
// were drawn, so the sheet's scoring is what is tested, not the shot finder.
TEST(Sheet, ten_record_bulls_scored_and_the_sighter_left_out) {
  const score::Face* face = score::FindFace("nra-a17");
  facegen::FaceOptions options = A17Sheet(200, 2);
  const int records[] = {0, 1, 2, 3, 4, 7, 8, 9, 10, 11};
  // Ring 10 down to ring 6 and back: 10, 9, 8, 7, 6, 10, 9, 8, 7, 6 by the distance.
  const double distances[] = {0, 5, 9.5, 13.7, 18, 0.5, 5.5, 10, 14, 18.2};
  for (int k = 0; k < 10; ++k)
    options.shots.push_back({distances[k], 0, facegen::HoleLook::Light, records[k]});
  for (const double x : {0.0, 1.0, -1.0})
    options.shots.push_back({x, 0, facegen::HoleLook::Light, 5});
  const facegen::FaceTarget sheet = facegen::MakeFace(options);

  CalibratedSettings settings;
  settings.calibreMm = 5.6;
  settings.face = face;
  settings.gaugeMm = face->rulesGaugeMm;
  settings.dpiSource = ResolutionSource::Face;
  const CalibratedResult found = AnalysePicture(sheet.picture.View(), settings);
  EXPECT_NEAR(found.settings.dpi / 200, 1, 0.003);
  ASSERT_EQ(found.bulls.size(), 12u);
  // Reading order: the top row, the sighters' row, the bottom row.
  for (std::size_t b = 0; b < 12; ++b) {
    EXPECT_EQ(found.bulls[b].number, static_cast<int>(b + 1));
    EXPECT_NEAR(found.bulls[b].x, sheet.bulls[b].x, 0.5);
    EXPECT_NEAR(found.bulls[b].y, sheet.bulls[b].y, 0.5);
    EXPECT_EQ(found.bulls[b].sighter, b == 5 || b == 6) << b;
  }

  std::vector<Shot> shots;
  for (const auto& drawn : sheet.shots) shots.push_back({drawn.x, drawn.y});
  const double off = 40 * 200 / 25.4;  // 40 mm left of the first bull: on no bull
  shots.push_back({sheet.bulls[0].x, sheet.bulls[0].y + off});
  const CalibratedResult scored = Rescore(found, shots);
  int expected = 0;
  for (int k = 0; k < 10; ++k) {
    const Bull& bull = scored.bulls[static_cast<std::size_t>(records[k])];
    ASSERT_EQ(bull.shots.size(), 1u) << k;
    const Shot& shot = scored.shots[bull.shots[0]];
    EXPECT_EQ(shot.sheetBull, records[k] + 1);
    ASSERT_TRUE(shot.score);
    EXPECT_EQ(shot.score->score, 10 - k % 5) << k;
    expected += 10 - k % 5;
    EXPECT_NEAR(std::hypot(shot.xMm, shot.yMm), distances[k], 0.05) << k;
    ASSERT_TRUE(bull.total);
    EXPECT_EQ(bull.total->score, shot.score->score);
  }
  EXPECT_EQ(scored.bulls[5].shots.size(), 3u);
  EXPECT_EQ(scored.bulls[5].total->score, 30);
  EXPECT_TRUE(scored.bulls[6].shots.empty());
  ASSERT_TRUE(scored.total);
  EXPECT_EQ(scored.total->score, expected);  // 80: the sighter's 30 left out
  EXPECT_EQ(scored.group.count, 10);
  const Shot& outside = scored.shots.back();
  EXPECT_EQ(outside.sheetBull, 0);
  ASSERT_TRUE(outside.score);
  EXPECT_EQ(outside.score->score, 0);
}

// A sheet's shots come bull by bull, so that a shot's number goes with its bull's: a shot high
// in bull 2 comes after one low in bull 1, though the sheet's reading order puts it first.
TEST(Sheet, the_shots_come_bull_by_bull) {
  facegen::FaceOptions options = A17Sheet(200, 3);
  // Millimetres from each bull's centre, y down.
  options.shots.push_back({0, 6, facegen::HoleLook::Light, 0});
  options.shots.push_back({-4, -6, facegen::HoleLook::Light, 1});
  options.shots.push_back({4, -7, facegen::HoleLook::Light, 1});
  options.shots.push_back({1, -7, facegen::HoleLook::Light, 2});
  const facegen::FaceTarget sheet = facegen::MakeFace(options);
  CalibratedSettings settings;
  settings.calibreMm = 5.6;
  settings.face = score::FindFace("nra-a17");
  settings.gaugeMm = settings.face->rulesGaugeMm;
  settings.dpiSource = ResolutionSource::Face;
  const CalibratedResult found = AnalysePicture(sheet.picture.View(), settings);
  std::vector<int> bulls;
  for (const Shot& shot : found.shots) bulls.push_back(shot.sheetBull);
  EXPECT_EQ(bulls, (std::vector<int>{1, 2, 2, 3}));
  // Within a bull, reading order: the higher shot first.
  ASSERT_EQ(found.shots.size(), 4u);
  EXPECT_LT(found.shots[1].y, found.shots[2].y);
  EXPECT_GT(found.shots[1].x, found.shots[2].x);
}

// The count given is each record bull's: the sheet is first analysed without it (ten times
// the count found on ten bulls would be taken for too many), then a bull holding fewer is
// analysed again on its own with it; a bull holding fewer says so, a sighter has no count,
// and the sheet's count is the record bulls' together.
TEST(Sheet, the_expected_count_is_each_record_bulls) {
  const score::Face* face = score::FindFace("nra-a17");
  facegen::FaceOptions options = A17Sheet(150, 3);
  options.calibreMm = 5.6;
  // Bull 1: a ragged group of four; bull 2: five shots apart.
  const double step = 0.3 * 5.6;
  for (const auto& [x, y] : std::vector<std::pair<double, double>>{
           {8 + step, step}, {8 - step, step}, {8 + step, -step}, {8 - step, -step}})
    options.shots.push_back({x, y, facegen::HoleLook::Light, 0});
  for (const auto& [x, y] :
       std::vector<std::pair<double, double>>{{-5.6, -5.6}, {8, 0}, {-8, 0}, {0, 8}, {0, -8}})
    options.shots.push_back({x, y, facegen::HoleLook::Light, 1});
  const facegen::FaceTarget sheet = facegen::MakeFace(options);

  CalibratedSettings settings;
  settings.calibreMm = 5.6;
  settings.face = face;
  settings.gaugeMm = face->rulesGaugeMm;
  settings.dpi = 150;
  settings.dpiSource = ResolutionSource::Option;
  const CalibratedResult plain = AnalysePicture(sheet.picture.View(), settings);
  settings.expectedShots = 4;
  const CalibratedResult found = AnalysePicture(sheet.picture.View(), settings);
  ASSERT_EQ(found.bulls.size(), 12u);
  // Every shot the sheet holds is found with the count as without it.
  EXPECT_GE(found.shots.size(), plain.shots.size());
  EXPECT_EQ(found.bulls[0].shots.size(), 4u);
  EXPECT_GE(found.bulls[1].shots.size(), 5u);
  EXPECT_FALSE(CountDiffers(found, found.bulls[0]));
  const auto more = CountDiffers(found, found.bulls[1]);
  ASSERT_TRUE(more);
  EXPECT_EQ(more->expected, 4);
  const auto empty = CountDiffers(found, found.bulls[2]);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->found, static_cast<int>(found.bulls[2].shots.size()));
  EXPECT_FALSE(CountDiffers(found, found.bulls[5]));  // a sighter has no count
  const auto sheetCount = ExpectedCount(found);
  ASSERT_TRUE(sheetCount);
  EXPECT_EQ(sheetCount->expected, 40);
  int onRecords = 0;
  for (const Bull& bull : found.bulls)
    if (!bull.sighter) onRecords += static_cast<int>(bull.shots.size());
  EXPECT_EQ(sheetCount->found, onRecords);
}

// A card photographed 30 degrees from square-on: the black's ellipse gives the scale (its
// longer axis), the tilt, and the shots' millimetres on the face.
TEST(Photographed, a_tilted_face_is_rectified_from_its_black) {
  for (const double axis : {0.0, 60.0}) {
    facegen::FaceOptions options;
    options.face = score::FindFace("issf-air-pistol");
    options.dpi = 150;
    options.numbers = false;
    options.tiltDeg = 30;
    options.tiltAxisDeg = axis;
    options.noise = 3;
    options.shots = {{0, 0}, {20, 0}, {0, 30}, {-45, 10}};
    const facegen::FaceTarget card = facegen::MakeFace(options);
    CalibratedSettings settings;
    settings.face = options.face;
    settings.dpiSource = ResolutionSource::Face;
    const CalibratedResult found = AnalysePicture(card.picture.View(), settings);
    EXPECT_NEAR(found.settings.dpi / 150, 1, 0.005) << axis;
    // Chosen by auto as well: its rings compared with the picture stretched round again.
    CalibratedSettings chosen = settings;
    chosen.face = nullptr;
    chosen.faceAuto = true;
    chosen.gaugeMm = 0;
    const CalibratedResult auto_ = AnalysePicture(card.picture.View(), chosen);
    EXPECT_EQ(auto_.settings.face, options.face) << axis;
    ASSERT_TRUE(auto_.faceMeasure);
    EXPECT_GE(auto_.faceMeasure->match, shots::kLeastRingMatch) << axis;
    EXPECT_NEAR(auto_.faceMeasure->tiltDeg, 30, 1) << axis;
    ASSERT_TRUE(found.faceMeasure);
    EXPECT_NEAR(found.faceMeasure->tiltDeg, 30, 1) << axis;
    // Directions are the same half a turn apart.
    EXPECT_NEAR(std::fmod(found.faceMeasure->tiltAxisDeg - axis + 450, 180) - 90, 0, 2) << axis;
    EXPECT_LT(found.faceMeasure->ellipseResidualPx, 1) << axis;
    std::vector<Shot> shots;
    for (const auto& drawn : card.shots) shots.push_back({drawn.x, drawn.y});
    const auto expectOnTheFace = [&](const CalibratedResult& result, const char* how) {
      const CalibratedResult scored = Rescore(result, shots);
      for (std::size_t i = 0; i < shots.size(); ++i) {
        // Millimetres right and up on the face.
        EXPECT_NEAR(scored.shots[i].xMm, options.shots[i].xMm, 0.25)
            << how << axis << " shot " << i;
        EXPECT_NEAR(scored.shots[i].yMm, -options.shots[i].yMm, 0.25)
            << how << axis << " shot " << i;
      }
    };
    expectOnTheFace(found, "");
    // The same photo with its resolution stored in the file: the file's stays, and the black
    // is the ellipse measured, not looked for again as a circle (where it is missed).
    CalibratedSettings stored = settings;
    stored.fileDpi = 150;
    const CalibratedResult withFile = AnalysePicture(card.picture.View(), stored);
    EXPECT_EQ(withFile.settings.dpiSource, ResolutionSource::File) << axis;
    ASSERT_TRUE(withFile.faceMeasure) << axis;
    EXPECT_NEAR(withFile.faceMeasure->tiltDeg, 30, 1) << axis;
    expectOnTheFace(withFile, "file's resolution ");
    // And with the resolution given: the black is measured as the ellipse it is, at that scale.
    CalibratedSettings given = settings;
    given.dpi = 150;
    given.dpiSource = ResolutionSource::Option;
    const CalibratedResult withOption = AnalysePicture(card.picture.View(), given);
    EXPECT_TRUE(withOption.warnings.empty()) << axis;
    ASSERT_TRUE(withOption.faceMeasure) << axis;
    EXPECT_NEAR(withOption.faceMeasure->tiltDeg, 30, 1) << axis;
    expectOnTheFace(withOption, "resolution given ");
  }
}

}  // namespace
}  // namespace holescan::calibrated
