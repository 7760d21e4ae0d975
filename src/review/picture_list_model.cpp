#include "review/picture_list_model.h"

#include <QColor>
#include <algorithm>

#include "review/numbers.h"

namespace holescan::review {

PictureListModel::PictureListModel(QObject* parent) : QAbstractListModel(parent) {}

ReviewDocument* PictureListModel::Add(std::unique_ptr<ReviewDocument> document) {
  ReviewDocument* added = document.get();
  const int row = rowCount();
  beginInsertRows({}, row, row);
  documents_.push_back(std::move(document));
  endInsertRows();
  const auto changed = [this, added] { Changed(added); };
  connect(added, &ReviewDocument::stateChanged, this, changed);
  connect(added, &ReviewDocument::shotsChanged, this, changed);
  connect(&added->UndoStack(), &QUndoStack::cleanChanged, this, changed);
  return added;
}

ReviewDocument* PictureListModel::At(int row) const {
  if (row < 0 || row >= rowCount()) return nullptr;
  return documents_[static_cast<std::size_t>(row)].get();
}

int PictureListModel::RowOf(const ReviewDocument* document) const {
  const auto at = std::find_if(documents_.begin(), documents_.end(),
                               [&](const auto& open) { return open.get() == document; });
  return at == documents_.end() ? -1 : static_cast<int>(at - documents_.begin());
}

int PictureListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(documents_.size());
}

QVariant PictureListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  const ReviewDocument& document = *documents_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return ListEntry(document);
    case Qt::ToolTipRole:
      return QString::fromLocal8Bit(document.Path());
    case Qt::ForegroundRole:
      if (document.State() == Stage::Failed) return QColor(190, 0, 0);
      return {};
    default:
      return {};
  }
}

void PictureListModel::Changed(const ReviewDocument* document) {
  const int row = RowOf(document);
  if (row >= 0) emit dataChanged(index(row), index(row));
}

}  // namespace holescan::review
