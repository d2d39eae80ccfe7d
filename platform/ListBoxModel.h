#pragma once
// The lines of a list box as its view reads them: one text a row, shown and edited as the
// text itself, as a string-list model gives them, but with an index that costs the view
// no virtual calls. A list view lays out every row when its lines change, and asks for the
// index of each row on the way; for a million lines that was a large part of the work.
//
// The lines can also be a run of numbers in the four-decimal format followed by a few
// lines of text (the ratios of a calibration and its summary): the model then keeps the
// numbers and makes the text of a row when the view asks for it, so that a million lines
// cost no million strings.
#include <QAbstractListModel>
#include <QStringList>
#include <span>
#include <vector>

namespace vrma {

class TListBoxModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TListBoxModel(QObject* parent = nullptr);

    // Every line as text (those of the numbers made now).
    QStringList stringList() const;
    // Replaces every line (a reset of the model).
    void setStringList(const QStringList& lines);
    // Replaces every line with FormatFixed4 of each value, then the lines of tail.
    void setFixed4Lines(std::span<const double> values, const QStringList& tail);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex index(int row, int column = 0,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QString Line(qsizetype row) const;

    std::vector<double> values_; // the first rows, in the four-decimal format
    QStringList lines_;          // the rows after them
    qsizetype count_ = 0;        // values_.size() + lines_.size(), within an int
};

} // namespace vrma
