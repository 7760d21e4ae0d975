// The picture list model: a row per open picture, saying how it stands, following it.
#include "review/picture_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QColor>
#include <QSignalSpy>

#include "review_support.h"

namespace holescan::review {
namespace {

using holescan::testing::Finished;

TEST(PictureList, a_row_says_how_its_picture_stands_and_follows_it) {
  PictureListModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  ReviewSettings settings;
  settings.dpi = 254;
  settings.expectedShots = 3;
  ReviewDocument* card = model.Add(std::make_unique<ReviewDocument>("/scans/card.png", settings));
  ReviewDocument* bad = model.Add(std::make_unique<ReviewDocument>("/scans/bad.png", settings));
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.At(1), bad);
  EXPECT_EQ(model.RowOf(card), 0);
  EXPECT_EQ(model.At(2), nullptr);
  const auto text = [&](int row) { return model.index(row).data().toString().toStdString(); };
  EXPECT_EQ(text(0), "card.png: opening");
  EXPECT_EQ(model.index(0).data(Qt::ToolTipRole).toString(), "/scans/card.png");

  // Each change of the picture reaches the views as a change of its row.
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  const auto told = [&] {
    const bool row0 = !changed.isEmpty() && changed.back()[0].toModelIndex().row() == 0;
    changed.clear();
    return row0;
  };
  card->Apply(Finished(*card, {{100, 100, false}, {200, 100, false}}));
  EXPECT_TRUE(told());
  // Two found where three were shot: the list says so.
  EXPECT_EQ(text(0), "card.png: 2 shots (expected 3)");
  card->AddShot(300, 100);
  EXPECT_TRUE(told());
  EXPECT_EQ(text(0), "card.png: 3 shots *");
  card->MarkSaved();
  EXPECT_TRUE(told());
  EXPECT_EQ(text(0), "card.png: 3 shots");
  card->UndoStack().undo();
  EXPECT_TRUE(told());
  EXPECT_EQ(text(0), "card.png: 2 shots (expected 3) *");

  JobOutput unreadable;
  unreadable.loadProblem = "not a picture";
  bad->Apply(unreadable);
  EXPECT_EQ(text(1), "bad.png: not a picture");
  EXPECT_EQ(model.index(1).data(Qt::ForegroundRole).value<QColor>(), QColor(190, 0, 0));
  EXPECT_FALSE(model.index(0).data(Qt::ForegroundRole).isValid());
}

}  // namespace
}  // namespace holescan::review
