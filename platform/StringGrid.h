#pragma once
// A string grid: a table of text cells with fixed rows and columns, in-place editing,
// column widths the user can drag and one current cell.
//
// Cells are addressed (column, row) from (0, 0) at the top left; the fixed rows and
// columns are part of the addressing. A fixed row is shown as the column header and a
// fixed column as the row header of the view, so both stay in view while the cells
// scroll and neither can be edited. At most one fixed row and one fixed column.
//
// The texts are kept in one character pool with an (offset, length) entry per cell,
// column by column, so a grid of millions of cells costs little more than its text.
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QStringView>
#include <QTableView>
#include <functional>
#include <memory>
#include <vector>

class QKeyEvent;

namespace vrma {

class StringGridModel;

class TStringGrid : public QTableView {
    Q_OBJECT
public:
    explicit TStringGrid(QWidget* parent = nullptr);
    ~TStringGrid() override;

    // The text of a cell; an index outside the grid throws Exception.
    QString Cells(int col, int row) const;
    // The same text without a copy; valid until the next change of any cell.
    QStringView CellView(int col, int row) const;
    void SetCell(int col, int row, const QString& text);
    void SetCell(int col, int row, QStringView text);

    int RowCount() const;
    // Rows added at the end are empty; the row count may not fall below FixedRows().
    void SetRowCount(int count);
    int ColCount() const;
    void SetColCount(int count);
    int FixedRows() const;
    void SetFixedRows(int count); // 0 or 1, at most RowCount()
    int FixedCols() const;
    void SetFixedCols(int count); // 0 or 1, at most ColCount()

    // The current cell. Row() is FixedRows() while the grid has no row below the fixed
    // ones; SetRow() and SetCol() accept only cells that are not fixed.
    int Row() const;
    void SetRow(int row);
    int Col() const;
    void SetCol(int col);

    int ColWidths(int col) const;
    void SetColWidths(int col, int width);
    int DefaultColWidth() const { return defaultColWidth_; }
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int height);

    // Column moves of the row commands. ShiftColumnDown moves the texts of rows
    // row … RowCount()-2 of the column one row down (the text of the last row is
    // dropped) and empties (col, row). ShiftColumnUp moves rows row+1 … RowCount()-1
    // one row up (the text of (col, row) is dropped) and empties the last row.
    void ShiftColumnDown(int col, int row);
    void ShiftColumnUp(int col, int row);

    // Between BeginUpdate and EndUpdate the view is not told of changed cell texts one
    // by one; EndUpdate repaints it once. Calls nest.
    void BeginUpdate();
    void EndUpdate();
    // Room for this many more characters of cell text (a loader that knows the size).
    void ReserveText(qsizetype chars);

    // Whether a text is wider than the room its column (or the side header, for column 0
    // of a grid with a fixed column) gives it in the grid's font: such a text is cut on
    // screen, and its cell or header shows it in full as a tool tip.
    bool IsTextCut(int col, QStringView text) const;

    // Whether a cell is being edited in place, and which.
    bool IsEditing() const;
    // Writes the text of the in-place editor into its cell and closes the editor.
    void CommitEdit();
    using QTableView::edit; // starts in-place editing of a cell

signals:
    // Every key press that reaches the grid or its in-place editor.
    void KeyDown(QKeyEvent* event);
    // The user changed the text of a cell: typing or pasting in the in-place editor
    // (before it is committed) or committing a different text.
    void CellEdited(int col, int row);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    void CheckCell(int col, int row) const;
    void CellsChanged(int col, int firstRow, int lastRow);
    void ResetModel(const std::function<void()>& change);
    void ApplyHeaders();
    void ApplyColWidths();
    void EnsureCurrentCell();
    void OnSectionResized(int logical, int oldSize, int newSize);
    void OnEditorTextEdited(const QModelIndex& index);

    StringGridModel* model_ = nullptr;
    std::vector<int> colWidths_;
    int defaultColWidth_ = 64;
    int defaultRowHeight_ = 24;
    int updating_ = 0;
    bool cellsChangedInUpdate_ = false;
    bool applyingWidths_ = false;
    QPointer<QWidget> editor_;
    QPersistentModelIndex editorIndex_;
};

} // namespace vrma
