// shot_table_model.h - the shots of the picture shown, as a table for Qt's item views.
//
// One row per shot in the document's order, the columns of numbers.h's ShotTableColumns(). The
// table view and the picture view (ShotView) share one QItemSelectionModel over this model, so
// a shot selected in one is selected in the other, and no view is kept in step by hand.
//
// The model keeps its own copy of the shots it shows. When the document says its shots
// changed, the model compares the copy with the new list (shots are the same when their
// position, look and edited flag are) and tells the views what happened as Qt's models do:
// rows removed (a delete, an undone add), rows inserted (an add, an undone delete), a row
// moved (a shot moved one place in the order), data changed (moves, scores). The selection
// model then keeps every selected shot selected, wherever its row went. A change it cannot
// read as one of those (a new analysis) keeps the rows it can and adds or removes at the end.
// After every change it emits synced(), for the picture view to draw the shots again.
//
// A sheet of several bulls has the bull's column besides (ShotTableColumns(true)); a new
// analysis that turns a single face into a sheet, or back, resets the model.
//
// With more shots than one series, every second series is shaded and each series' subtotal,
// on its last row, is bold.
//
// Foreground marks shots edited or placed by hand; placed shots (put in the group's torn area
// for the expected count, not seen) are in italics, as the picture view dashes them.
#pragma once

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QMetaObject>
#include <vector>

#include "review/document.h"
#include "review/numbers.h"

namespace holescan::review {

class ShotTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ShotTableModel(QObject* parent = nullptr);
  ~ShotTableModel() override;

  // The document whose shots are shown (null: none); a new one resets the model.
  void SetDocument(ReviewDocument* document);
  ReviewDocument* Document() const { return document_; }
  // The shots as the rows show them.
  const std::vector<ReviewShot>& Shots() const { return shots_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 signals:
  // The rows are the document's shots again.
  void synced();

 private:
  void Sync();
  void RemoveRows(int first, int last);
  void InsertRows(int at, const std::vector<ReviewShot>& shots);

  ReviewDocument* document_ = nullptr;
  std::vector<ReviewShot> shots_;
  std::vector<ShotRow> rows_;
  bool sheet_ = false;
  QMetaObject::Connection changed_, destroyed_;
};

// The rows selected in a selection model, each once, in order.
std::vector<int> SelectedRows(const QItemSelectionModel& selection);
// Selects these whole rows, and only these.
void SelectRows(QItemSelectionModel& selection, const std::vector<int>& rows);

}  // namespace holescan::review
