#include "platform/ListBoxModel.h"

#include "data/Errors.h"
#include "data/Procedures.h"

#include <climits>

namespace vrma {

TListBoxModel::TListBoxModel(QObject* parent) : QAbstractListModel(parent) {}

QStringList TListBoxModel::stringList() const {
    QStringList lines;
    lines.reserve(count_);
    FixedFourTexts fixed4;
    for (double value : values_)
        lines.append(fixed4(value));
    lines.append(lines_);
    return lines;
}

void TListBoxModel::setStringList(const QStringList& lines) {
    setFixed4Lines({}, lines);
}

void TListBoxModel::setFixed4Lines(std::span<const double> values, const QStringList& tail) {
    const qsizetype count = qsizetype(values.size()) + tail.size();
    if (count > INT_MAX)
        throw Exception("Too many lines for a list box");
    beginResetModel();
    // Into the room of the previous lines: the next calibration's ratios need no new memory.
    values_.assign(values.begin(), values.end());
    lines_ = tail;
    count_ = count;
    endResetModel();
}

QString TListBoxModel::Line(qsizetype row) const {
    const auto numbers = qsizetype(values_.size());
    return row < numbers ? FormatFixed4(values_[size_t(row)]) : lines_.at(row - numbers);
}

int TListBoxModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(count_);
}

QModelIndex TListBoxModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || row >= count_ || column != 0 || parent.isValid())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex TListBoxModel::sibling(int row, int column, const QModelIndex& index) const {
    if (!index.isValid())
        return QModelIndex();
    return this->index(row, column);
}

QVariant TListBoxModel::data(const QModelIndex& index, int role) const {
    if (index.row() < 0 || index.row() >= count_)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return Line(index.row());
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
