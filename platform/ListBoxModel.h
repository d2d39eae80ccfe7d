#pragma once
// The lines of a list box as its view reads them: one text a row, shown and edited as the
// text itself, as a string-list model gives them, but with an index that costs the view
// no virtual calls. A list view lays out every row when its lines change, and asks for the
// index of each row on the way; for a million lines that was a large part of the work.
#include <QAbstractListModel>
#include <QStringList>

namespace vrma {

class TListBoxModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TListBoxModel(QObject* parent = nullptr);

    QStringList stringList() const { return lines_; }
    // Replaces every line (a reset of the model).
    void setStringList(const QStringList& lines);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex index(int row, int column = 0,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QStringList lines_;
};

} // namespace vrma
