// A shot's number as its identity (through deletes, adds, moves in the order, undo, saving
// and exports, until renumbered), the table's series and their subtotals, and the scores
// drawn beside the holes.
#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QTemporaryDir>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "review/document.h"
#include "review/exports.h"
#include "review/numbers.h"
#include "review/shot_table_model.h"
#include "review/shot_view.h"
#include "review/shots_file.h"
#include "review_support.h"

namespace holescan::review {
namespace {

using holescan::testing::Finished;
using holescan::testing::TenPerMm;

std::vector<int> Numbers(const std::vector<ReviewShot>& shots) {
  std::vector<int> numbers;
  for (const ReviewShot& shot : shots) numbers.push_back(shot.number);
  return numbers;
}

std::vector<double> Xs(const std::vector<ReviewShot>& shots) {
  std::vector<double> xs;
  for (const ReviewShot& shot : shots) xs.push_back(shot.x);
  return xs;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Five shots found along a line, 100 px apart.
std::vector<ReviewShot> FiveFound() {
  return {{100, 100, false},
          {200, 100, false},
          {300, 100, false},
          {400, 100, false},
          {500, 100, false}};
}

using V = std::vector<int>;

TEST(ShotNumbers, stay_through_deletes_adds_and_moves_until_renumbered) {
  ReviewDocument document("card.png", TenPerMm());
  document.Apply(Finished(document, FiveFound()));
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 3, 4, 5}));

  document.DeleteShots({2});
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 4, 5}));
  QStringList column;
  for (const ShotRow& row : ShotRows(document)) column << row.number;
  EXPECT_EQ(column.join(' '), "1 2 4 5");
  // The undo list names the shot by its number, not its row.
  document.DeleteShots({2});
  EXPECT_EQ(document.UndoStack().undoText(), "delete shot 4");
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 5}));

  // An added shot takes the number after the highest.
  document.AddShot(600, 100);
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 5, 6}));
  document.UndoStack().undo();
  document.UndoStack().undo();
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 4, 5}));
  document.UndoStack().undo();
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 3, 4, 5}));
  document.UndoStack().redo();
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 4, 5}));

  // A move in the order changes the order, not the numbers; nor does a drag.
  ASSERT_TRUE(document.MoveShotInOrder(0, 1));
  EXPECT_EQ(Numbers(document.Shots()), (V{2, 1, 4, 5}));
  document.MoveShots({{3, {510, 110, false}}});
  EXPECT_EQ(Numbers(document.Shots()), (V{2, 1, 4, 5}));

  // Renumber: 1..n in the table's order, the shots where they were; one undoable step.
  const std::vector<double> xs = Xs(document.Shots());
  const int steps = document.UndoStack().count();
  ASSERT_TRUE(document.Renumber());
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 3, 4}));
  EXPECT_EQ(Xs(document.Shots()), xs);
  EXPECT_EQ(document.UndoStack().count(), steps + 1);
  EXPECT_FALSE(document.Renumber());  // in order already: no step
  EXPECT_EQ(document.UndoStack().count(), steps + 1);
  document.UndoStack().undo();
  EXPECT_EQ(Numbers(document.Shots()), (V{2, 1, 4, 5}));
  document.UndoStack().redo();
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 3, 4}));
  document.AddShot(700, 100);
  EXPECT_EQ(document.Shots().back().number, 5);

  // Shots found afresh are numbered in the analysis's order, and those placed by hand (the one
  // dragged and the one added) stay, numbered after them; the found shot under the dragged one
  // gives way to it.
  ReviewSettings settings = document.Settings();
  settings.calibreMm = 5.6;
  ASSERT_EQ(document.SetSettings(settings), ReviewDocument::Rework::Shots);
  document.Apply(Finished(document, {{100, 100, false}, {300, 100, false}, {512, 108, false}},
                          std::nullopt, JobKind::Shots));
  EXPECT_EQ(Numbers(document.Shots()), (V{1, 2, 3, 4}));
  EXPECT_EQ(Xs(document.Shots()), (std::vector<double>{100, 300, 510, 700}));
  document.UndoStack().undo();
  EXPECT_EQ(Numbers(document.Shots()).size(), 5u);
}

TEST(ShotNumbers, are_saved_reopened_and_exported) {
  QTemporaryDir dir;
  auto picture = std::make_shared<const Picture>(800, 300, Rgb(240, 238, 230));
  ReviewDocument document(dir.filePath("card.bmp").toStdString(), TenPerMm("issf-air-rifle"));
  JobOutput found = Finished(document, FiveFound(), score::AimPoint{300, 100});
  found.picture = picture;
  document.Apply(found);
  document.DeleteShots({1});
  ASSERT_TRUE(document.MoveShotInOrder(0, 1));
  ASSERT_EQ(Numbers(document.Shots()), (V{3, 1, 4, 5}));

  // Saved and read back: the numbers, in the order.
  const std::string saved = ShotsFilePath(document.Path());
  ASSERT_FALSE(WriteShotsFile(saved, "card.bmp",
                              {document.Settings(), document.Shots(), {}, &document.Result()}));
  const ShotsFileRead read = ReadShotsFile(saved, 800, 300);
  ASSERT_TRUE(read.file) << read.reason;
  EXPECT_EQ(Numbers(read.file->shots), (V{3, 1, 4, 5}));
  ReviewDocument reopened(document.Path(), TenPerMm());
  JobOutput fromFile = Finished(reopened, read.file->shots);
  fromFile.fromFile = true;
  fromFile.settings = read.file->settings;
  fromFile.picture = picture;
  reopened.Apply(fromFile);
  EXPECT_EQ(Numbers(reopened.Shots()), (V{3, 1, 4, 5}));
  reopened.AddShot(600, 200);
  EXPECT_EQ(reopened.Shots().back().number, 6);

  // The CSV's shot column has the numbers, its series the places (series of 2 here); the
  // JSON each shot's number.
  ReviewSettings two = document.Settings();
  two.seriesShots = 2;
  document.SetSettings(two);
  const std::string base = dir.filePath("out").toStdString();
  ASSERT_FALSE(ExportCsv(document, base + ".csv"));
  std::istringstream csv(ReadAll(base + ".csv"));
  std::string line;
  std::getline(csv, line);
  QStringList shotsAndSeries;
  while (std::getline(csv, line)) {
    const QStringList fields = QString::fromStdString(line).split(',');
    shotsAndSeries << fields[2] + ":" + fields.back();
  }
  EXPECT_EQ(shotsAndSeries.join(' '), "3:1 1:1 4:2 5:2");
  ASSERT_FALSE(ExportJson(document, base + ".json"));
  const auto json = nlohmann::json::parse(ReadAll(base + ".json"));
  std::vector<int> exported;
  for (const auto& shot : json["shots"]) exported.push_back(shot["number"].get<int>());
  EXPECT_EQ(exported, (V{3, 1, 4, 5}));

  // The annotated picture writes the numbers too: renumbered, it changes; undone, it is back.
  ASSERT_FALSE(ExportPng(document, base + "-kept.png"));
  ASSERT_TRUE(document.Renumber());
  ASSERT_FALSE(ExportPng(document, base + "-renumbered.png"));
  document.UndoStack().undo();
  ASSERT_FALSE(ExportPng(document, base + "-undone.png"));
  EXPECT_NE(QImage(QString::fromStdString(base + "-kept.png")),
            QImage(QString::fromStdString(base + "-renumbered.png")));
  EXPECT_EQ(QImage(QString::fromStdString(base + "-kept.png")),
            QImage(QString::fromStdString(base + "-undone.png")));
}

TEST(ShotNumbers, files_without_numbers_number_their_shots_in_order) {
  QTemporaryDir dir;
  const auto write = [&](const char* name, const std::string& text) {
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  };
  const std::string settings =
      R"("settings": {"calibre_mm": 4.5, "dpi": 300, "holes": "auto", "face": "", "distance": ""})";
  const auto v1 = [&](const std::string& shots) {
    return R"({"format": "holescan-review shots", "version": 1, )" + settings + R"(, "shots": [)" +
           shots + "]}";
  };
  // Version 1, no numbers.
  ShotsFileRead read = ReadShotsFile(
      write("v1.json", v1(R"({"x": 5, "y": 5, "edited": false}, {"x": 9, "y": 5, "edited": true},
                             {"x": 1, "y": 5, "edited": false})")),
      100, 100);
  ASSERT_TRUE(read.file) << read.reason;
  EXPECT_EQ(Numbers(read.file->shots), (V{1, 2, 3}));

  // Version 2 as saved before numbers were kept: the calibrated JSON without them.
  ReviewDocument document("card.png", TenPerMm());
  document.Apply(Finished(document, {{10, 10, false}, {20, 10, false}}));
  calibrated::CalibratedResult result = document.Result();
  for (ReviewShot& shot : result.shots) shot.number = 0;
  const std::string v2 = dir.filePath("v2.json").toStdString();
  ASSERT_FALSE(WriteShotsFile(v2, "card.png", {document.Settings(), result.shots, {}, &result}));
  ASSERT_EQ(ReadAll(v2).find("\"number\""), std::string::npos);
  read = ReadShotsFile(v2, 100, 100);
  ASSERT_TRUE(read.file) << read.reason;
  EXPECT_EQ(Numbers(read.file->shots), (V{1, 2}));

  // Some numbered, some not: those without have their place's number, which no other may.
  read = ReadShotsFile(write("some.json", v1(R"({"x": 5, "y": 5, "edited": false},
                                                {"x": 9, "y": 5, "edited": false, "number": 7})")),
                       100, 100);
  ASSERT_TRUE(read.file) << read.reason;
  EXPECT_EQ(Numbers(read.file->shots), (V{1, 7}));
  read = ReadShotsFile(write("clash.json", v1(R"({"x": 5, "y": 5, "edited": false},
                                                 {"x": 9, "y": 5, "edited": false, "number": 1})")),
                       100, 100);
  EXPECT_FALSE(read.file);
  EXPECT_NE(read.reason.find("shot number 1 is there twice"), std::string::npos) << read.reason;

  // Numbers that cannot be a shot's: refused with the reason.
  const std::pair<const char*, const char*> refused[] = {
      {R"("number": 0)", "not a whole number from 1"},
      {R"("number": 2.5)", "not a whole number from 1"},
      {R"("number": "2")", "\"number\" is not a number"},
  };
  for (const auto& [number, reason] : refused) {
    read = ReadShotsFile(
        write("bad.json", v1(std::string(R"({"x": 5, "y": 5, "edited": false, )") + number + "}")),
        100, 100);
    EXPECT_FALSE(read.file) << number;
    EXPECT_NE(read.reason.find(reason), std::string::npos) << read.reason;
  }
  read = ReadShotsFile(write("twice.json", v1(R"({"x": 5, "y": 5, "edited": false, "number": 2},
                                                 {"x": 6, "y": 5, "edited": false, "number": 2})")),
                       100, 100);
  EXPECT_FALSE(read.file);
  EXPECT_NE(read.reason.find("shot number 2 is there twice"), std::string::npos) << read.reason;
}

// The table's series: each shot's series by its place, the subtotal on each series' last
// row, every second series shaded; figures worked out by hand.
TEST(ShotTableSeries, each_row_has_its_series_and_each_series_its_subtotal) {
  ReviewDocument document("card.png", TenPerMm("issf-air-rifle"));
  // On the aim 10.9, 5 mm right 9.0 (the nine's limit: 9 / 2 + 4.5 / 2 mm), 2.25 mm right 10.1.
  document.Apply(Finished(document,
                          {{500, 500, false},
                           {550, 500, false},
                           {522.5, 500, false},
                           {500, 500, false},
                           {550, 500, false}},
                          score::AimPoint{500, 500}));
  ReviewSettings settings = document.Settings();
  settings.seriesShots = 2;
  document.SetSettings(settings);
  ShotTableModel model;
  model.SetDocument(&document);
  const auto column = [&](int c) {
    QStringList cells;
    for (int r = 0; r < model.rowCount(); ++r) cells << model.index(r, c).data().toString();
    return cells.join('|').toStdString();
  };
  EXPECT_EQ(column(kSeriesColumn), "1|1|2|2|3");
  // 10.9 + 9.0; 10.1 + 10.9; 9.0.
  EXPECT_EQ(column(kSubtotalColumn), "|19 (19.9)||20 (21.0)|9 (9.0)");
  EXPECT_EQ(model.headerData(kSeriesColumn, Qt::Horizontal).toString(), "series");
  EXPECT_EQ(model.headerData(kSubtotalColumn, Qt::Horizontal).toString(), "subtotal");
  const auto shaded = [&](int r) { return model.index(r, 0).data(Qt::BackgroundRole).isValid(); };
  EXPECT_EQ((std::vector<bool>{shaded(0), shaded(1), shaded(2), shaded(3), shaded(4)}),
            (std::vector<bool>{false, false, true, true, false}));
  const auto bold = [&](int r) {
    const QVariant font = model.index(r, kSubtotalColumn).data(Qt::FontRole);
    return font.isValid() && font.value<QFont>().bold();
  };
  EXPECT_FALSE(bold(0));
  EXPECT_TRUE(bold(1));
  EXPECT_TRUE(bold(4));

  // The first shot deleted: the series are counted by place again, the numbers stay.
  document.DeleteShots({0});
  EXPECT_EQ(column(kNumberColumn), "2|3|4|5");
  EXPECT_EQ(column(kSeriesColumn), "1|1|2|2");
  EXPECT_EQ(column(kSubtotalColumn), "|19 (19.1)||19 (19.9)");
  QStringList lines;
  for (const StatLine& line : StatLines(document))
    if (line.label.startsWith("Series ")) lines << line.value;
  EXPECT_EQ(lines.join(" | "), "19 (19.1), shots 2-3 | 19 (19.9), shots 4-5");

  // One series: nothing to subtotal; no face: series without subtotals.
  settings.seriesShots = 10;
  document.SetSettings(settings);
  EXPECT_EQ(column(kSeriesColumn), "|||");
  EXPECT_EQ(column(kSubtotalColumn), "|||");
  settings.seriesShots = 3;
  settings.face.clear();
  document.SetSettings(settings);
  EXPECT_EQ(column(kSeriesColumn), "1|1|1|2");
  EXPECT_EQ(column(kSubtotalColumn), "|||");
}

// What the picture view draws, as a picture.
QImage Drawn(ShotView& view) {
  QCoreApplication::processEvents();
  return view.grab().toImage();
}

// Shots found on a blank 600 x 300 air-rifle card at 10 pixels a millimetre, shown in a
// picture view at actual size.
struct ShownShots {
  explicit ShownShots(std::vector<ReviewShot> shots)
      : document("card.png", TenPerMm("issf-air-rifle")) {
    JobOutput found = Finished(document, std::move(shots), score::AimPoint{300, 150});
    found.picture = std::make_shared<const Picture>(600, 300, Rgb(240, 238, 230));
    document.Apply(found);
    model.SetDocument(&document);
    view.resize(600, 300);
    view.SetModel(&model, &selection);
    view.show();
    view.ActualSize();
  }
  ReviewDocument document;
  ShotTableModel model;
  QItemSelectionModel selection{&model};
  ShotView view;
};

TEST(ShotLabels, the_picture_shows_the_shots_numbers_and_scores_when_asked) {
  ShownShots shown({{300, 150, false}, {350, 150, false}, {420, 150, false}});
  ReviewDocument& document = shown.document;
  ShotView& view = shown.view;

  // The labels are the shots' numbers: 1 and 3 after shot 2 is deleted, not 1 and 2.
  document.DeleteShots({1});
  const QImage kept = Drawn(view);
  ASSERT_TRUE(document.Renumber());
  const QImage renumbered = Drawn(view);
  EXPECT_NE(kept, renumbered);
  document.UndoStack().undo();
  EXPECT_EQ(Drawn(view), kept);

  // Scores beside the holes: drawn when shown, gone when not.
  EXPECT_FALSE(view.ScoresShown());
  view.SetScoresShown(true);
  const QImage scored = Drawn(view);
  EXPECT_NE(scored, kept);
  holescan::testing::Screenshot(view, "picture-scores-beside-holes");
  view.SetScoresShown(false);
  EXPECT_EQ(Drawn(view), kept);

  // Not scored (no face): nothing to show, the picture as without scores.
  ReviewSettings settings = document.Settings();
  settings.face.clear();
  document.SetSettings(settings);
  const QImage unscored = Drawn(view);
  view.SetScoresShown(true);
  EXPECT_EQ(Drawn(view), unscored);
}

TEST(ShotLabels, a_tight_groups_numbers_hide_no_other_shot_at_any_zoom) {
  // A hole 45 pixels across.
  ShownShots shown({{300, 150, false},
                    {338, 122, false},
                    {345, 168, false},
                    {305, 196, false},
                    {382, 140, false}});
  ShotView& view = shown.view;
  const ShotTableModel& model = shown.model;
  const double diameter = 45;
  for (const double zoom : {1.0, 2.0}) {
    view.ActualSize();
    view.ZoomBy(zoom);
    QCoreApplication::processEvents();
    const std::vector<QRectF> labels = view.LabelBoxes();
    const std::vector<ReviewShot>& shots = model.Shots();
    ASSERT_EQ(labels.size(), shots.size());
    for (std::size_t i = 0; i < shots.size(); ++i) {
      // Beside its own circle: within a number's height of the drawn line.
      const QPointF centre(shots[i].x, shots[i].y);
      const QRectF near(centre - QPointF(diameter, diameter), QSizeF(2 * diameter, 2 * diameter));
      EXPECT_TRUE(near.adjusted(-labels[i].width(), -labels[i].height(), labels[i].width(),
                                labels[i].height())
                      .contains(labels[i]))
          << "zoom " << zoom << ": number " << i + 1 << " strays from its shot";
      for (std::size_t j = 0; j < shots.size(); ++j) {
        if (i == j) continue;
        const QRectF middle(QPointF(shots[j].x, shots[j].y) - QPointF(15, 15), QSizeF(30, 30));
        EXPECT_FALSE(labels[i].intersects(middle))
            << "zoom " << zoom << ": number " << i + 1 << " over shot " << j + 1;
        EXPECT_FALSE(labels[i].intersects(labels[j]))
            << "zoom " << zoom << ": numbers " << i + 1 << " and " << j + 1;
      }
    }
  }
  holescan::testing::Screenshot(view, "picture-tight-group-numbers");
}

}  // namespace
}  // namespace holescan::review
