// Edits, undo and redo, and the numbers after an edit, on a document without a window.
#include "review/document.h"

#include <gtest/gtest.h>

#include "review/numbers.h"
#include "review_support.h"

namespace holescan::review {
namespace {

using holescan::testing::Finished;
using holescan::testing::TenPerMm;

TEST(ReviewDocument, edits_are_undone_and_redone_exactly) {
  ReviewDocument document("card.png", TenPerMm());
  const std::vector<ReviewShot> found{{100, 100, false}, {200, 120, false}, {300, 80, false}};
  document.Apply(Finished(document, found));
  EXPECT_FALSE(document.Modified());
  EXPECT_EQ(document.UndoStack().count(), 0);

  document.AddShot(400, 400);
  document.MoveShots({{0, {110, 90, false}}});
  document.DeleteShots({1, 1, 7});
  const std::vector<ReviewShot> edited{{110, 90, true}, {300, 80, false}, {400, 400, true}};
  EXPECT_EQ(document.Shots(), edited);
  EXPECT_TRUE(document.Modified());

  for (int i = 0; i < 3; ++i) document.UndoStack().undo();
  EXPECT_EQ(document.Shots(), found);
  EXPECT_FALSE(document.Modified());
  for (int i = 0; i < 3; ++i) document.UndoStack().redo();
  EXPECT_EQ(document.Shots(), edited);

  document.MarkSaved();
  EXPECT_FALSE(document.Modified());
  document.DeleteShots({5});  // nothing there: no command
  EXPECT_EQ(document.UndoStack().count(), 3);
}

TEST(ReviewDocument, scores_table_and_statistics_follow_every_edit) {
  ReviewDocument document("card.png", TenPerMm("issf-air-rifle"));
  int changes = 0;
  QObject::connect(&document, &ReviewDocument::shotsChanged, [&] { ++changes; });
  // 2.25 mm right of the aim: a ten, 10.1; then moved to 5 mm: a nine, 9.0 (the limits of the
  // rules: D(9)/2 + 4.5/2 = 5.0).
  document.Apply(Finished(document, {{522.5, 500, false}}, score::AimPoint{500, 500}));
  ASSERT_TRUE(document.Result().total);
  EXPECT_EQ(document.Result().total->score, 10);
  EXPECT_EQ(ShotRows(document)[0].decimal, "10.1");

  changes = 0;
  document.MoveShots({{0, {550, 500, false}}});
  EXPECT_EQ(changes, 1);
  const std::vector<ShotRow> rows = ShotRows(document);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].x, "5.00");
  EXPECT_EQ(rows[0].y, "0.00");
  EXPECT_EQ(rows[0].score, "9");
  EXPECT_EQ(rows[0].decimal, "9.0");
  EXPECT_EQ(rows[0].edited, "edited");

  document.AddShot(500, 530);  // 3 mm below the aim
  const std::vector<StatLine> lines = StatLines(document);
  const auto value = [&](const char* label) {
    for (const StatLine& line : lines)
      if (line.label == label) return line.value;
    return QString("missing");
  };
  EXPECT_EQ(value("Shots"), "2 (2 edited)");
  EXPECT_EQ(value("Total"), "18 (18.8), 0 inner tens");  // 9 (9.0) and, at d = 3 mm, 9 (9.8)
  EXPECT_EQ(value("Group centre"), "2.50, -1.50 mm");
  EXPECT_EQ(value("Extreme spread"), "5.83 mm");
  EXPECT_TRUE(ListEntry(document).startsWith("card.png: 2 shots, 18 (18.8)"));
}

// Shots on the target given: a count that differs is said in the statistics and the list, and
// a shot placed for the count is marked in the table.
TEST(ReviewDocument, a_count_that_differs_and_placed_shots_are_said) {
  ReviewSettings settings = TenPerMm();
  settings.expectedShots = 3;
  ReviewDocument document("card.png", settings);
  ReviewShot placed{200, 120, false};
  placed.placed = true;
  document.Apply(Finished(document, {{100, 100, false}, placed}));
  const auto value = [&](const char* label) {
    for (const StatLine& line : StatLines(document))
      if (line.label == label) return line.value;
    return QString("missing");
  };
  EXPECT_EQ(value("Count"), "expected 3, found 2: check the target");
  EXPECT_EQ(value("Placed"), "1 not seen, placed in the group's torn area");
  EXPECT_TRUE(ListEntry(document).startsWith("card.png: 2 shots (expected 3)"));
  EXPECT_EQ(ShotRows(document)[1].edited, "placed");
  document.AddShot(300, 80);
  EXPECT_EQ(value("Count"), "missing");
  EXPECT_TRUE(ListEntry(document).startsWith("card.png: 3 shots"));
}

TEST(ReviewDocument, a_setting_asks_for_what_it_changes) {
  ReviewDocument document("card.png", TenPerMm());
  document.Apply(Finished(document, {{100, 100, false}, {200, 100, false}}));
  ReviewSettings settings = document.Settings();
  settings.distance = "10m";
  EXPECT_EQ(document.SetSettings(settings), ReviewDocument::Rework::Score);
  EXPECT_TRUE(StatLines(document)[3].value.contains("MOA"));  // extreme spread at 10 m
  const int at10m = document.Generation();
  EXPECT_EQ(document.UndoStack().undoText(), "change settings");
  settings.face = "issf-air-pistol";
  EXPECT_EQ(document.SetSettings(settings), ReviewDocument::Rework::Shots);
  settings.calibreMm = 5.6;
  EXPECT_EQ(document.SetSettings(settings), ReviewDocument::Rework::Shots);
  EXPECT_EQ(document.SetSettings(settings), ReviewDocument::Rework::None);
  EXPECT_TRUE(document.Modified());

  // An analysis run again is an edit that can be undone, with the settings it ran under: the
  // generation goes back with them (a job for the newer settings is stale) and comes again
  // with a redo.
  const int generation = document.Generation();
  document.Apply(Finished(document, {{150, 100, false}}, std::nullopt, JobKind::Shots));
  EXPECT_EQ(document.Shots().size(), 1u);
  document.UndoStack().undo();
  EXPECT_EQ(document.Shots().size(), 2u);
  EXPECT_EQ(document.Generation(), at10m);
  EXPECT_EQ(document.Settings().calibreMm, 4.5);
  EXPECT_EQ(document.Settings().face, "");
  EXPECT_EQ(document.Settings().distance, "10m");
  document.UndoStack().undo();
  EXPECT_EQ(document.Settings().distance, "");
  EXPECT_FALSE(StatLines(document)[3].value.contains("MOA"));
  document.UndoStack().redo();
  document.UndoStack().redo();
  EXPECT_EQ(document.Generation(), generation);
  EXPECT_EQ(document.Settings(), settings);
  EXPECT_EQ(document.Shots().size(), 1u);
  // A later change never takes a generation an undo gave back.
  document.UndoStack().undo();
  settings.calibreMm = 9;
  document.SetSettings(settings);
  EXPECT_GT(document.Generation(), generation);
}

TEST(ReviewDocument, cancelling_an_analysis_gives_the_settings_back) {
  ReviewDocument document("card.png", TenPerMm());
  document.Apply(Finished(document, {{100, 100, false}, {200, 100, false}}));
  ReviewSettings settings = document.Settings();
  settings.calibreMm = 9;
  EXPECT_EQ(document.SetSettings(settings), ReviewDocument::Rework::Shots);
  document.Begin(JobKind::Shots);
  EXPECT_EQ(document.State(), Stage::Analysing);
  JobOutput cancelled;
  cancelled.kind = JobKind::Shots;
  cancelled.generation = document.Generation();
  cancelled.cancelled = true;
  document.Apply(cancelled);
  EXPECT_EQ(document.State(), Stage::Ready);
  EXPECT_EQ(document.Settings().calibreMm, 4.5);
  EXPECT_EQ(document.Shots().size(), 2u);
  EXPECT_EQ(document.Problem(), "analysis cancelled");
}

// A finished job is taken in by one call, whichever way it ended.
TEST(ReviewDocument, a_finished_job_is_taken_in_whole_or_as_stale) {
  ReviewSettings settings = TenPerMm("issf-air-rifle");
  settings.dpi = 0;  // not known until the file says
  ReviewDocument document("card.png", settings);
  document.Begin(JobKind::Open);
  EXPECT_EQ(document.State(), Stage::Loading);
  JobOutput opened = Finished(document, {{100, 100, false}}, score::AimPoint{50, 60});
  opened.picture = std::make_shared<const Picture>(200, 150, Rgb(240, 238, 230));
  opened.fileDpi = 254;
  document.Apply(opened);
  EXPECT_EQ(document.State(), Stage::Ready);
  EXPECT_EQ(document.PictureData(), opened.picture);
  EXPECT_EQ(document.Result().width, 200);
  EXPECT_EQ(document.Settings().dpi, 254);
  EXPECT_EQ(document.Settings().dpiSource, calibrated::ResolutionSource::File);
  ASSERT_TRUE(document.Aim());
  EXPECT_EQ(document.Aim()->x, 50);
  EXPECT_EQ(document.Shots().size(), 1u);
  EXPECT_NEAR(document.Shots()[0].xMm, 5.0, 1e-9);  // scored against the aim taken in
  EXPECT_EQ(document.UndoStack().count(), 0);

  // Settings changed while a job ran: its shots and aim are dropped, its picture kept.
  JobOutput stale =
      Finished(document, {{1, 1, false}, {2, 2, false}}, score::AimPoint{1, 1}, JobKind::Shots);
  stale.picture = std::make_shared<const Picture>(300, 150, Rgb(240, 238, 230));
  ReviewSettings wider = document.Settings();
  wider.calibreMm = 9;
  ASSERT_EQ(document.SetSettings(wider), ReviewDocument::Rework::Shots);
  document.Begin(JobKind::Shots);
  document.Apply(stale);
  EXPECT_EQ(document.PictureData(), stale.picture);
  EXPECT_EQ(document.Shots().size(), 1u);
  EXPECT_EQ(document.State(), Stage::Analysing);

  // A picture that cannot be read: Failed, with its reason.
  JobOutput unreadable;
  unreadable.loadProblem = "not a picture";
  document.Apply(unreadable);
  EXPECT_EQ(document.State(), Stage::Failed);
  EXPECT_EQ(document.Problem(), "not a picture");
}

TEST(ReviewDocument, series_subtotals_follow_the_order_as_shot) {
  ReviewDocument document("card.png", TenPerMm("issf-air-rifle"));
  // Three tens (on the aim) and two nines (5 mm right), in series of two.
  document.Apply(Finished(document,
                          {{500, 500, false},
                           {550, 500, false},
                           {500, 500, false},
                           {550, 500, false},
                           {500, 500, false}},
                          score::AimPoint{500, 500}));
  ReviewSettings settings = document.Settings();
  settings.seriesShots = 2;
  EXPECT_EQ(document.SetSettings(settings), ReviewDocument::Rework::Score);
  const auto series = [&] {
    QStringList values;
    for (const StatLine& line : StatLines(document))
      if (line.label.startsWith("Series ")) values << line.label + ": " + line.value;
    return values.join(" | ").toStdString();
  };
  EXPECT_EQ(series(),
            "Series 1: 19 (19.9), shots 1-2 | Series 2: 19 (19.9), shots 3-4 | "
            "Series 3: 10 (10.9), shots 5");
  // Shot 4 (a nine) one place down: the last series has it, under its own number.
  EXPECT_TRUE(document.MoveShotInOrder(3, 1));
  EXPECT_EQ(series(),
            "Series 1: 19 (19.9), shots 1-2 | Series 2: 20 (21.8), shots 3, 5 | "
            "Series 3: 9 (9.0), shots 4");
  EXPECT_FALSE(document.MoveShotInOrder(4, 1));
  document.UndoStack().undo();
  EXPECT_EQ(document.Shots()[3].x, 550);
  // One series, or no scores: no subtotals.
  settings.seriesShots = 10;
  document.SetSettings(settings);
  EXPECT_EQ(series(), "");
}

TEST(ReviewSettings, calibre_choices_and_refused_settings) {
  EXPECT_EQ(ParseCalibreChoice(".22 (5.6 mm)"), 5.6);
  EXPECT_EQ(ParseCalibreChoice("9 mm"), 9.0);
  EXPECT_NEAR(*ParseCalibreChoice(".177in"), 4.4958, 1e-9);
  std::string reason;
  EXPECT_FALSE(ParseCalibreChoice("big", &reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(CalibreText(5.6), ".22 (5.6 mm)");
  EXPECT_EQ(CalibreText(7.62), "7.62 mm");

  ReviewSettings settings;
  EXPECT_FALSE(SettingsProblem(settings));
  settings.dpi = 5;
  EXPECT_TRUE(SettingsProblem(settings));
  settings = {};
  settings.face = "moving-boar";
  EXPECT_TRUE(SettingsProblem(settings)->starts_with("unknown face"));
  settings = {};
  settings.distance = "ten metres";
  EXPECT_TRUE(SettingsProblem(settings));
  settings = {};
  settings.seriesShots = 0;
  EXPECT_TRUE(SettingsProblem(settings));
  settings = {};
  settings.expectedShots = 12;
  EXPECT_EQ(CalibratedOf(settings).expectedShots, 12);
  settings.expectedShots = 0;
  EXPECT_FALSE(CalibratedOf(settings).expectedShots);
}

}  // namespace
}  // namespace holescan::review
