#pragma once
// A list box: one column of lines of one height over a list model, as a list view shows
// them (the same delegate, the same look, scrolled an item at a time), but laid out by
// arithmetic. A list view lays out every row whenever its lines change, even when all
// rows are known to be of one height; for the million ratios of a large calibration
// that was a tenth of the command. This view's work is that of the rows in sight.
//
// Selection, the current line, the keyboard (arrows, Page Up/Down, Home, End) and the
// wheel work as in a list view; there is no editing, dragging or horizontal scrolling.
#include <QAbstractItemView>

namespace vrma {

class TListBox : public QAbstractItemView {
    Q_OBJECT
public:
    explicit TListBox(QWidget* parent = nullptr);

    // The height of every line, in pixels (at least 1).
    int RowHeight() const { return rowHeight_; }
    void SetRowHeight(int height);

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    int sizeHintForRow(int row) const override;
    void reset() override;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;

private:
    int Rows() const;
    // Lines that fit whole in the viewport (at least 1).
    int RowsInView() const;
    QModelIndex Row(int row) const;
    // The line at height y of the viewport (before the first or past the last, as it falls).
    qint64 RowAt(int y) const;

    int rowHeight_ = 16;
};

} // namespace vrma
