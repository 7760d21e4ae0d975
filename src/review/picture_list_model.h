// picture_list_model.h - the open pictures, as a list for Qt's item views.
//
// The model owns the documents, in the order they were opened. Each row shows the picture's
// list entry (numbers.h's ListEntry: "card.png: 10 shots (expected 12), 95 (98.3) *", or why
// it could not be opened, in red) and follows its document by itself: a row changes whenever
// its document's state, shots or unsaved mark do.
#pragma once

#include <QAbstractListModel>
#include <memory>
#include <vector>

#include "review/document.h"

namespace holescan::review {

class PictureListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit PictureListModel(QObject* parent = nullptr);

  // Appends the document as the last row; returns it.
  ReviewDocument* Add(std::unique_ptr<ReviewDocument> document);
  const std::vector<std::unique_ptr<ReviewDocument>>& Documents() const { return documents_; }
  // The document of a row, or null.
  ReviewDocument* At(int row) const;
  // The row of a document, or -1.
  int RowOf(const ReviewDocument* document) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  void Changed(const ReviewDocument* document);

  std::vector<std::unique_ptr<ReviewDocument>> documents_;
};

}  // namespace holescan::review
