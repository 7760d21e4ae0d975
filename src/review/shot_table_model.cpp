#include "review/shot_table_model.h"

#include <QCoreApplication>
#include <QColor>
#include <QFont>
#include <algorithm>

#include "review/overlay.h"

namespace holescan::review {

namespace {

// Marks the shots of `from` that `to` keeps, in order, when `to` is `from` with some shots
// taken out; false when it is not.
bool KeptInOrder(const std::vector<ReviewShot>& from, const std::vector<ReviewShot>& to,
                 std::vector<bool>& kept) {
  kept.assign(from.size(), false);
  std::size_t next = 0;
  for (std::size_t i = 0; i < from.size(); ++i)
    if (next < to.size() && from[i] == to[next]) {
      kept[i] = true;
      ++next;
    }
  return next == to.size();
}

}  // namespace

ShotTableModel::ShotTableModel(QObject* parent) : QAbstractTableModel(parent) {}

ShotTableModel::~ShotTableModel() {
  disconnect(changed_);
  disconnect(destroyed_);
}

void ShotTableModel::SetDocument(ReviewDocument* document) {
  beginResetModel();
  disconnect(changed_);
  disconnect(destroyed_);
  document_ = document;
  shots_.clear();
  rows_.clear();
  sheet_ = false;
  if (document_) {
    changed_ = connect(document_, &ReviewDocument::shotsChanged, this, &ShotTableModel::Sync);
    destroyed_ = connect(document_, &QObject::destroyed, this, [this] { SetDocument(nullptr); });
    shots_ = document_->Shots();
    rows_ = ShotRows(*document_);
    sheet_ = IsSheet(*document_);
  }
  endResetModel();
  emit synced();
}

void ShotTableModel::RemoveRows(int first, int last) {
  beginRemoveRows({}, first, last);
  shots_.erase(shots_.begin() + first, shots_.begin() + last + 1);
  rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
  endRemoveRows();
}

void ShotTableModel::InsertRows(int at, const std::vector<ReviewShot>& shots) {
  if (shots.empty()) return;
  beginInsertRows({}, at, at + static_cast<int>(shots.size()) - 1);
  shots_.insert(shots_.begin() + at, shots.begin(), shots.end());
  rows_.insert(rows_.begin() + at, shots.size(), ShotRow{});
  endInsertRows();
}

void ShotTableModel::Sync() {
  const std::vector<ReviewShot>& now = document_->Shots();
  if (IsSheet(*document_) != sheet_) {
    // The columns change: the views read the model afresh.
    beginResetModel();
    shots_ = now;
    rows_ = ShotRows(*document_);
    sheet_ = !sheet_;
    endResetModel();
    emit synced();
    return;
  }
  // What is the same at both ends; the change lies between.
  const std::size_t shorter = std::min(shots_.size(), now.size());
  std::size_t head = 0;
  while (head < shorter && shots_[head] == now[head]) ++head;
  std::size_t tail = 0;
  while (tail < shorter - head && shots_[shots_.size() - 1 - tail] == now[now.size() - 1 - tail])
    ++tail;
  const std::vector<ReviewShot> was(shots_.begin() + static_cast<long>(head),
                                    shots_.end() - static_cast<long>(tail));
  const std::vector<ReviewShot> is(now.begin() + static_cast<long>(head),
                                   now.end() - static_cast<long>(tail));
  const int at = static_cast<int>(head);
  std::vector<bool> kept;
  if (was.size() == 2 && is.size() == 2 && was[0] == is[1] && was[1] == is[0]) {
    // Two neighbours swapped: the later one moves up a place.
    beginMoveRows({}, at + 1, at + 1, {}, at);
    std::swap(shots_[head], shots_[head + 1]);
    endMoveRows();
  } else if (is.size() < was.size() && KeptInOrder(was, is, kept)) {
    // Shots taken out: each run of them removed, the last first so the rows stay put.
    for (int i = static_cast<int>(was.size()) - 1; i >= 0;) {
      if (kept[static_cast<std::size_t>(i)]) {
        --i;
        continue;
      }
      const int last = i;
      while (i >= 0 && !kept[static_cast<std::size_t>(i)]) --i;
      RemoveRows(at + i + 1, at + last);
    }
  } else if (is.size() > was.size() && KeptInOrder(is, was, kept)) {
    // Shots put in (an undone delete): each run inserted where it now stands.
    for (std::size_t i = 0; i < is.size();) {
      if (kept[i]) {
        ++i;
        continue;
      }
      const std::size_t first = i;
      while (i < is.size() && !kept[i]) ++i;
      InsertRows(at + static_cast<int>(first),
                 std::vector<ReviewShot>(is.begin() + static_cast<long>(first),
                                         is.begin() + static_cast<long>(i)));
    }
  } else if (is.size() < was.size()) {
    RemoveRows(at + static_cast<int>(is.size()), at + static_cast<int>(was.size()) - 1);
  } else if (is.size() > was.size()) {
    InsertRows(at + static_cast<int>(was.size()),
               std::vector<ReviewShot>(is.begin() + static_cast<long>(was.size()), is.end()));
  }
  // Moves and new scores: every row's numbers are read again.
  shots_ = now;
  rows_ = ShotRows(*document_);
  if (!shots_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  emit synced();
}

int ShotTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shots_.size());
}

int ShotTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(ShotTableColumns(sheet_).size());
}

QVariant ShotTableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  const std::size_t row = static_cast<std::size_t>(index.row());
  const ShotColumn& column = ShotTableColumns(sheet_)[static_cast<std::size_t>(index.column())];
  const ReviewShot& shot = shots_[row];
  switch (role) {
    case Qt::DisplayRole:
      return rows_[row].*column.text;
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(column.numeric ? Qt::AlignRight | Qt::AlignVCenter
                                                : Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
      if (shot.edited || shot.placed) return kEditedColour.darker(160);
      return {};
    case Qt::FontRole: {
      // A series' subtotal stands out; placed shots are in italics.
      const bool subtotal = column.text == &ShotRow::subtotal && !rows_[row].subtotal.isEmpty();
      const bool italic = shot.placed && !shot.edited;
      if (!subtotal && !italic) return {};
      QFont font;
      font.setBold(subtotal);
      font.setItalic(italic);
      return font;
    }
    case Qt::BackgroundRole:
      // Every second series shaded, so the series read as blocks.
      if (rows_[row].series.toInt() % 2 == 0 && !rows_[row].series.isEmpty())
        return QColor(128, 128, 128, 40);
      return {};
    default:
      return {};
  }
}

QVariant ShotTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
      section >= columnCount())
    return QAbstractTableModel::headerData(section, orientation, role);
  return ShotColumns(sheet_)[section];
}

std::vector<int> SelectedRows(const QItemSelectionModel& selection) {
  std::vector<int> rows;
  for (const QModelIndex& index : selection.selectedIndexes()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void SelectRows(QItemSelectionModel& selection, const std::vector<int>& rows) {
  const QAbstractItemModel& model = *selection.model();
  QItemSelection wanted;
  for (int row : rows)
    if (row >= 0 && row < model.rowCount())
      wanted.select(model.index(row, 0), model.index(row, model.columnCount() - 1));
  selection.select(wanted, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace holescan::review
