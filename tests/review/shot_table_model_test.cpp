// The shot table model: rows that follow every edit, a selection that stays on its shot, the
// text and marks of each column, and the picture view drawing the rows it is given.
#include "review/shot_table_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QFont>
#include <QGraphicsItem>
#include <QSignalSpy>
#include <QTableView>

#include "review/overlay.h"
#include "review/shot_view.h"
#include "review_support.h"

namespace holescan::review {
namespace {

using holescan::testing::Finished;
using holescan::testing::TenPerMm;

// Five shots A..E across the card, found by the analysis.
std::vector<ReviewShot> FiveFound() {
  return {{100, 100, false},
          {200, 100, false},
          {300, 100, false},
          {400, 100, false},
          {500, 100, false}};
}

class ShotTable : public ::testing::Test {
 protected:
  void SetUp() override {
    document_.Apply(Finished(document_, FiveFound()));
    model_.SetDocument(&document_);
  }
  // The x of the shots the selected rows show.
  std::vector<double> SelectedX() const {
    std::vector<double> xs;
    for (int row : SelectedRows(selection_))
      xs.push_back(model_.Shots()[static_cast<std::size_t>(row)].x);
    return xs;
  }
  QString Text(int row, int column) const { return model_.index(row, column).data().toString(); }

  ReviewDocument document_{"card.png", TenPerMm()};
  ShotTableModel model_;
  // Checks every signal the model sends against what it then answers.
  QAbstractItemModelTester tester_{&model_, QAbstractItemModelTester::FailureReportingMode::Fatal};
  QItemSelectionModel selection_{&model_};
};

TEST_F(ShotTable, rows_follow_deletes_adds_undo_and_redo) {
  ASSERT_EQ(model_.rowCount(), 5);
  EXPECT_EQ(model_.columnCount(), static_cast<int>(ShotTableColumns().size()));
  QSignalSpy removed(&model_, &QAbstractItemModel::rowsRemoved);
  QSignalSpy inserted(&model_, &QAbstractItemModel::rowsInserted);
  QSignalSpy reset(&model_, &QAbstractItemModel::modelReset);

  document_.DeleteShots({1, 3});
  EXPECT_EQ(model_.rowCount(), 3);
  EXPECT_EQ(model_.Shots(), document_.Shots());
  // Two rows went, each where it was: the later one first.
  ASSERT_EQ(removed.size(), 2);
  EXPECT_EQ(removed[0][1].toInt(), 3);
  EXPECT_EQ(removed[1][1].toInt(), 1);
  EXPECT_EQ(Text(1, kNumberColumn), "3");  // each shot keeps its number
  EXPECT_EQ(model_.Shots()[1].x, 300);

  document_.UndoStack().undo();
  EXPECT_EQ(model_.rowCount(), 5);
  EXPECT_EQ(inserted.size(), 2);
  document_.UndoStack().redo();
  EXPECT_EQ(model_.rowCount(), 3);

  document_.AddShot(600, 100);
  EXPECT_EQ(model_.rowCount(), 4);
  EXPECT_EQ(Text(3, kNumberColumn), "6");  // the number after the highest
  document_.UndoStack().undo();
  EXPECT_EQ(model_.rowCount(), 3);
  EXPECT_EQ(model_.Shots(), document_.Shots());
  EXPECT_EQ(reset.size(), 0);

  // Another document: a reset, and its rows.
  ReviewDocument other("other.png", TenPerMm());
  other.Apply(Finished(other, {{10, 10, false}}));
  model_.SetDocument(&other);
  EXPECT_EQ(reset.size(), 1);
  EXPECT_EQ(model_.rowCount(), 1);
  model_.SetDocument(nullptr);
  EXPECT_EQ(model_.rowCount(), 0);
}

TEST_F(ShotTable, the_selection_stays_on_its_shot_wherever_its_row_goes) {
  SelectRows(selection_, {3});  // D
  document_.DeleteShots({1});   // B
  EXPECT_EQ(SelectedRows(selection_), std::vector<int>{2});
  EXPECT_EQ(SelectedX(), std::vector<double>{400});
  document_.UndoStack().undo();
  EXPECT_EQ(SelectedRows(selection_), std::vector<int>{3});

  // A shot one place later in the order: its row moves, the selection with it.
  SelectRows(selection_, {1, 3});
  ASSERT_TRUE(document_.MoveShotInOrder(1, 1));
  EXPECT_EQ(SelectedRows(selection_), (std::vector<int>{2, 3}));
  EXPECT_EQ(SelectedX(), (std::vector<double>{200, 400}));
  EXPECT_EQ(Text(1, kNumberColumn), "3");  // the number goes with its shot
  EXPECT_EQ(model_.Shots()[1].x, 300);

  // Moving a shot on the picture keeps its row and its selection.
  SelectRows(selection_, {4});
  document_.MoveShots({{4, {520, 130, false}}});
  EXPECT_EQ(SelectedRows(selection_), std::vector<int>{4});
  EXPECT_EQ(Text(4, kEditedColumn), "edited");

  // Deleting the selected shots leaves nothing selected.
  SelectRows(selection_, {0, 4});
  document_.DeleteShots(SelectedRows(selection_));
  EXPECT_TRUE(SelectedRows(selection_).empty());
  EXPECT_EQ(model_.rowCount(), 3);
}

TEST_F(ShotTable, a_new_analysis_keeps_the_rows_it_shares) {
  SelectRows(selection_, {0});
  ReviewSettings settings = document_.Settings();
  settings.calibreMm = 5.6;
  ASSERT_EQ(document_.SetSettings(settings), ReviewDocument::Rework::Shots);
  document_.Apply(
      Finished(document_, {{100, 100, false}, {250, 300, false}}, std::nullopt, JobKind::Shots));
  EXPECT_EQ(model_.rowCount(), 2);
  EXPECT_EQ(model_.Shots(), document_.Shots());
  EXPECT_EQ(SelectedRows(selection_), std::vector<int>{0});
  EXPECT_EQ(Text(1, kXColumn), "7.50");  // 250 px, from the group's centre at 175 px
}

// The printed table leaves out what no shot fills: the series of a single series, the scores
// of a picture without a face; a second series brings its columns back.
TEST(ShotTableColumns, the_report_prints_only_the_columns_some_shot_fills) {
  const auto titles = [](const ReviewDocument& document) {
    QStringList heads;
    for (const ShotColumn& column : ReportColumns(ShotRows(document), false))
      heads << column.title;
    return heads.join('|').toStdString();
  };
  ReviewSettings settings = TenPerMm("issf-air-rifle");
  settings.seriesShots = 2;
  ReviewDocument two("card.png", settings);
  two.Apply(Finished(two, {{522.5, 500, false}, {550, 500, false}}, score::AimPoint{500, 500}));
  EXPECT_EQ(titles(two), "#|x mm|y mm|score|decimal");
  two.Apply(Finished(two, {{522.5, 500, false}, {550, 500, false}, {500, 520, false}},
                     score::AimPoint{500, 500}));
  EXPECT_EQ(titles(two), "#|x mm|y mm|score|decimal|series|subtotal");
  ReviewDocument unscored("card.png", TenPerMm(""));
  unscored.Apply(Finished(unscored, {{522.5, 500, false}, {550, 500, false}, {500, 520, false}}));
  EXPECT_EQ(titles(unscored), "#|x mm|y mm");
}

TEST(ShotTableColumns, each_column_shows_a_found_an_edited_and_a_placed_shot) {
  ReviewDocument document("card.png", TenPerMm("issf-air-rifle"));
  ReviewShot placed{550, 500, false};
  placed.placed = true;
  // A ten 2.25 mm right of the aim, a nine 5 mm right, placed for the count, and one found
  // 3 mm below the aim, then moved there by hand.
  document.Apply(Finished(document, {{522.5, 500, false}, placed, {500, 520, false}},
                          score::AimPoint{500, 500}));
  document.MoveShots({{2, {500, 530, false}}});
  ShotTableModel model;
  model.SetDocument(&document);
  ASSERT_EQ(model.rowCount(), 3);
  const auto row = [&](int r) {
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c) cells << model.index(r, c).data().toString();
    return cells.join('|').toStdString();
  };
  EXPECT_EQ(row(0), "1|2.25|0.00|10|10.1|||");
  EXPECT_EQ(row(1), "2|5.00|0.00|9|9.0|||placed");
  EXPECT_EQ(row(2), "3|0.00|-3.00|9|9.8|||edited");

  const auto foreground = [&](int r) { return model.index(r, 0).data(Qt::ForegroundRole); };
  EXPECT_FALSE(foreground(0).isValid());
  EXPECT_EQ(foreground(1).value<QColor>(), kEditedColour.darker(160));
  EXPECT_EQ(foreground(2).value<QColor>(), kEditedColour.darker(160));
  const auto italic = [&](int r) {
    const QVariant font = model.index(r, kEditedColumn).data(Qt::FontRole);
    return font.isValid() && font.value<QFont>().italic();
  };
  EXPECT_FALSE(italic(0));
  EXPECT_TRUE(italic(1));
  EXPECT_FALSE(italic(2));
  {
    QTableView table;
    table.setModel(&model);
    table.resize(460, 140);
    table.show();
    holescan::testing::Screenshot(table, "table-found-placed-edited");
  }

  // Numbers right-aligned, the flag left; the titles as declared.
  const auto alignment = [&](int c) {
    return model.index(0, c).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
           Qt::AlignHorizontal_Mask;
  };
  EXPECT_EQ(alignment(kDecimalColumn), Qt::AlignRight);
  EXPECT_EQ(alignment(kEditedColumn), Qt::AlignLeft);
  for (int c = 0; c < model.columnCount(); ++c)
    EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), ShotColumns()[c]);
  EXPECT_EQ(ShotColumns().join(','), "#,x mm,y mm,score,decimal,series,subtotal,edited");

  // Without a face: no score, no decimal.
  ReviewSettings settings = document.Settings();
  settings.face.clear();
  ASSERT_EQ(document.SetSettings(settings), ReviewDocument::Rework::Shots);
  EXPECT_EQ(model.index(0, kScoreColumn).data().toString(), "");
  EXPECT_EQ(model.index(0, kDecimalColumn).data().toString(), "");
}

// The picture view draws the model's rows and shows the shared selection on them; a shot
// picked on the picture is a row selected.
TEST_F(ShotTable, the_picture_view_draws_the_rows_and_shares_their_selection) {
  JobOutput picture = Finished(document_, FiveFound());
  picture.picture = std::make_shared<const Picture>(700, 300, Rgb(240, 238, 230));
  document_.Apply(picture);
  ShotView view;
  view.resize(700, 300);
  view.SetModel(&model_, &selection_);
  view.show();
  const auto drawn = [&] {
    std::vector<std::pair<double, bool>> shots;  // x, selected
    for (QGraphicsItem* item : view.scene()->items(Qt::AscendingOrder))
      if (item->flags() & QGraphicsItem::ItemIsSelectable)
        shots.push_back({item->pos().x(), item->isSelected()});
    std::sort(shots.begin(), shots.end());
    return shots;
  };
  ASSERT_EQ(drawn().size(), 5u);

  SelectRows(selection_, {2});
  std::vector<std::pair<double, bool>> expected{
      {100, false}, {200, false}, {300, true}, {400, false}, {500, false}};
  EXPECT_EQ(drawn(), expected);

  document_.DeleteShots({0});
  expected = {{200, false}, {300, true}, {400, false}, {500, false}};
  EXPECT_EQ(drawn(), expected);

  // Picked on the picture (as a click does): the row is selected, and only it.
  for (QGraphicsItem* item : view.scene()->items())
    if ((item->flags() & QGraphicsItem::ItemIsSelectable) && item->pos().x() == 500)
      item->setSelected(true);
  EXPECT_EQ(SelectedX(), (std::vector<double>{300, 500}));
  view.SelectShots({});
  EXPECT_TRUE(SelectedRows(selection_).empty());
  expected = {{200, false}, {300, false}, {400, false}, {500, false}};
  EXPECT_EQ(drawn(), expected);
}

}  // namespace
}  // namespace holescan::review
