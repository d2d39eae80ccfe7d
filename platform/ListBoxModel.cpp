#include "platform/ListBoxModel.h"

namespace vrma {

TListBoxModel::TListBoxModel(QObject* parent) : QAbstractListModel(parent) {}

void TListBoxModel::setStringList(const QStringList& lines) {
    beginResetModel();
    lines_ = lines;
    endResetModel();
}

int TListBoxModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(lines_.size());
}

QModelIndex TListBoxModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || row >= lines_.size() || column != 0 || parent.isValid())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex TListBoxModel::sibling(int row, int column, const QModelIndex& index) const {
    if (!index.isValid())
        return QModelIndex();
    return this->index(row, column);
}

QVariant TListBoxModel::data(const QModelIndex& index, int role) const {
    if (index.row() < 0 || index.row() >= lines_.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return lines_.at(index.row());
    return QVariant();
}

Qt::ItemFlags TListBoxModel::flags(const QModelIndex& index) const {
    // As a string-list model's rows: editable, dragged and dropped on (the view allows none
    // of it; the flags only keep the items' look).
    if (!index.isValid())
        return QAbstractListModel::flags(index) | Qt::ItemIsDropEnabled;
    return QAbstractListModel::flags(index) | Qt::ItemIsEditable | Qt::ItemIsDragEnabled |
           Qt::ItemIsDropEnabled;
}

} // namespace vrma
