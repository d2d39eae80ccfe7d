// The string grid: addressing with fixed rows and columns, the column moves of the row
// commands, the text pool, the current cell, in-place editing and its signals.
#include "platform/StringGrid.h"
#include "data/Errors.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <random>
#include <vector>

using vrma::TStringGrid;

namespace {

// A grid as the editor designs it: one fixed row and column.
void Lay(TStringGrid& grid, int cols, int rows) {
    grid.SetColCount(cols);
    grid.SetRowCount(rows);
    grid.SetFixedCols(1);
    grid.SetFixedRows(1);
}

QString Text(int col, int row) {
    return QStringLiteral("c%1r%2").arg(col).arg(row);
}

void FillAll(TStringGrid& grid) {
    for (int r = 0; r < grid.RowCount(); ++r)
        for (int c = 0; c < grid.ColCount(); ++c)
            grid.SetCell(c, r, Text(c, r));
}

// Counts the key presses the grid reports.
struct KeyCount {
    int n = 0;
    explicit KeyCount(TStringGrid& grid) {
        QObject::connect(&grid, &TStringGrid::KeyDown, &grid, [this] { ++n; });
    }
    int count() const { return n; }
};

} // namespace

TEST(StringGrid, CellsAreAddressedWithTheFixedOnesAndShownAsHeaders) {
    TStringGrid grid;
    Lay(grid, 3, 4);
    FillAll(grid);
    EXPECT_EQ(grid.RowCount(), 4);
    EXPECT_EQ(grid.ColCount(), 3);
    EXPECT_EQ(grid.FixedRows(), 1);
    EXPECT_EQ(grid.FixedCols(), 1);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(grid.Cells(c, r), Text(c, r));

    // The view: fixed row as the column header, fixed column as the row header.
    QAbstractItemModel* model = grid.model();
    EXPECT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->columnCount(), 2);
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), Text(1, 1));
    EXPECT_EQ(model->data(model->index(2, 1)).toString(), Text(2, 3));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), Text(2, 0));
    EXPECT_EQ(model->headerData(2, Qt::Vertical).toString(), Text(0, 3));
    EXPECT_FALSE(grid.horizontalHeader()->isHidden());
    EXPECT_FALSE(grid.verticalHeader()->isHidden());

    EXPECT_THROW(grid.Cells(3, 0), vrma::Exception);
    EXPECT_THROW(grid.Cells(0, 4), vrma::Exception);
    EXPECT_THROW(grid.SetCell(-1, 0, QStringLiteral("x")), vrma::Exception);
}

TEST(StringGrid, WithoutAFixedRowTheFirstColumnIsTheRowHeader) {
    TStringGrid grid;
    grid.SetColCount(2);
    grid.SetRowCount(8);
    grid.SetFixedCols(1);
    grid.SetFixedRows(0);
    FillAll(grid);
    QAbstractItemModel* model = grid.model();
    EXPECT_EQ(model->rowCount(), 8);
    EXPECT_EQ(model->columnCount(), 1);
    EXPECT_EQ(model->headerData(0, Qt::Vertical).toString(), Text(0, 0));
    EXPECT_EQ(model->data(model->index(7, 0)).toString(), Text(1, 7));
    EXPECT_TRUE(grid.horizontalHeader()->isHidden());
    // The fixed column is not editable: it is not a cell of the view at all.
    EXPECT_TRUE(model->flags(model->index(0, 0)).testFlag(Qt::ItemIsEditable));
}

TEST(StringGrid, AGridWithOnlyItsFixedRowKeepsTheHeader) {
    TStringGrid grid;
    Lay(grid, 3, 2);
    grid.SetCell(1, 0, QStringLiteral("x"));
    grid.SetRowCount(1);
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_EQ(grid.model()->rowCount(), 0);
    EXPECT_EQ(grid.Cells(1, 0), QStringLiteral("x"));
    EXPECT_EQ(grid.Row(), 1);
    EXPECT_THROW(grid.SetRowCount(0), vrma::Exception);
    EXPECT_THROW(grid.SetRow(1), vrma::Exception);
    // Rows added again are empty.
    grid.SetRowCount(3);
    EXPECT_EQ(grid.Cells(1, 1), QString());
    EXPECT_EQ(grid.Cells(0, 2), QString());
}

TEST(StringGrid, ShrinkingAndGrowingEmptiesTheRowsThatCameBack) {
    TStringGrid grid;
    Lay(grid, 4, 6);
    FillAll(grid);
    grid.SetRowCount(3);
    grid.SetColCount(2);
    grid.SetRowCount(6);
    grid.SetColCount(4);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(grid.Cells(c, r), (r < 3 && c < 2) ? Text(c, r) : QString()) << c << "," << r;
}

TEST(StringGrid, ColumnShiftsMoveOneColumnOnly) {
    TStringGrid grid;
    Lay(grid, 3, 6);
    FillAll(grid);
    grid.ShiftColumnDown(1, 2);
    // Rows 2..4 of column 1 moved to 3..5, row 2 empty, the old row 5 dropped.
    EXPECT_EQ(grid.Cells(1, 1), Text(1, 1));
    EXPECT_EQ(grid.Cells(1, 2), QString());
    EXPECT_EQ(grid.Cells(1, 3), Text(1, 2));
    EXPECT_EQ(grid.Cells(1, 5), Text(1, 4));
    for (int r = 0; r < 6; ++r) {
        EXPECT_EQ(grid.Cells(0, r), Text(0, r));
        EXPECT_EQ(grid.Cells(2, r), Text(2, r));
    }
    grid.ShiftColumnUp(2, 1);
    EXPECT_EQ(grid.Cells(2, 0), Text(2, 0));
    EXPECT_EQ(grid.Cells(2, 1), Text(2, 2));
    EXPECT_EQ(grid.Cells(2, 4), Text(2, 5));
    EXPECT_EQ(grid.Cells(2, 5), QString());
    // Shifting at the last row only empties it.
    grid.ShiftColumnUp(0, 5);
    EXPECT_EQ(grid.Cells(0, 5), QString());
    EXPECT_EQ(grid.Cells(0, 4), Text(0, 4));
}

// Many random changes against a plain copy: the pool, its garbage and its compaction
// never lose or mix up a text.
TEST(StringGrid, RandomChangesKeepEveryTextAgainstAPlainCopy) {
    TStringGrid grid;
    Lay(grid, 4, 50);
    std::vector<std::vector<QString>> copy(4, std::vector<QString>(50));
    std::mt19937 random(20240611);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 60000; ++step) {
        const int rows = grid.RowCount();
        const int what = pick(100);
        if (what < 80) {
            const int c = pick(4), r = pick(rows);
            QString text;
            const int length = pick(4) == 0 ? 0 : 1 + pick(40);
            for (int i = 0; i < length; ++i)
                text += QChar(u'а' + pick(32));
            grid.SetCell(c, r, text);
            copy[c][r] = text;
        } else if (what < 85) {
            // A text taken from the grid itself.
            const int c = pick(4), r = pick(rows), c2 = pick(4), r2 = pick(rows);
            grid.SetCell(c, r, grid.CellView(c2, r2));
            copy[c][r] = copy[c2][r2];
        } else if (what < 90) {
            const int c = pick(4), r = pick(rows);
            grid.ShiftColumnDown(c, r);
            for (int i = rows - 1; i > r; --i)
                copy[c][i] = copy[c][i - 1];
            copy[c][r].clear();
        } else if (what < 95) {
            const int c = pick(4), r = pick(rows);
            grid.ShiftColumnUp(c, r);
            for (int i = r; i + 1 < rows; ++i)
                copy[c][i] = copy[c][i + 1];
            copy[c][rows - 1].clear();
        } else {
            const int n = 1 + pick(80);
            grid.SetRowCount(n);
            for (auto& col : copy)
                col.resize(n);
        }
        if (step % 1000 == 0 || step == 59999) {
            ASSERT_EQ(grid.RowCount(), static_cast<int>(copy[0].size()));
            for (int c = 0; c < 4; ++c)
                for (int r = 0; r < grid.RowCount(); ++r)
                    ASSERT_EQ(grid.Cells(c, r), copy[c][r]) << "step " << step;
        }
    }
}

TEST(StringGrid, CurrentCellStaysOnDataCells) {
    TStringGrid grid;
    Lay(grid, 3, 5);
    grid.SetRow(3);
    grid.SetCol(2);
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_EQ(grid.Col(), 2);
    EXPECT_THROW(grid.SetRow(0), vrma::Exception);
    EXPECT_THROW(grid.SetRow(5), vrma::Exception);
    EXPECT_THROW(grid.SetCol(0), vrma::Exception);
    // Removing the current row moves the current cell to the new last row.
    grid.SetRow(4);
    grid.SetRowCount(3);
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(grid.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(grid.selectionBehavior(), QAbstractItemView::SelectItems);
}

TEST(StringGrid, WidthsAndRowHeightReachTheView) {
    TStringGrid grid;
    Lay(grid, 3, 4);
    grid.SetDefaultRowHeight(20);
    grid.SetColWidths(0, 50);
    grid.SetColWidths(1, 100);
    grid.SetColWidths(2, 70);
    EXPECT_EQ(grid.ColWidths(1), 100);
    EXPECT_EQ(grid.horizontalHeader()->sectionSize(0), 100);
    EXPECT_EQ(grid.horizontalHeader()->sectionSize(1), 70);
    EXPECT_EQ(grid.verticalHeader()->width(), 50);
    EXPECT_EQ(grid.verticalHeader()->defaultSectionSize(), 20);
    EXPECT_EQ(grid.rowHeight(2), 20);
    EXPECT_EQ(grid.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    // A width the user drags is kept, and survives a change of the fixed rows.
    grid.horizontalHeader()->resizeSection(1, 133);
    EXPECT_EQ(grid.ColWidths(2), 133);
    grid.SetFixedRows(0);
    EXPECT_EQ(grid.horizontalHeader()->sectionSize(1), 133);
    EXPECT_EQ(grid.horizontalHeader()->sectionSize(0), 100);
}

TEST(StringGrid, BulkChangesReachTheViewAtTheEnd) {
    TStringGrid grid;
    Lay(grid, 3, 3);
    QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);
    grid.BeginUpdate();
    grid.SetRowCount(1000);
    for (int r = 1; r < 1000; ++r)
        grid.SetCell(1, r, QString::number(r));
    EXPECT_EQ(changed.count(), 0);
    grid.EndUpdate();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(grid.model()->data(grid.model()->index(998, 0)).toString(), QStringLiteral("999"));
}

TEST(StringGrid, KeysReachTheGridAndItsEditor) {
    TStringGrid grid;
    Lay(grid, 3, 4);
    grid.show();
    KeyCount keys(grid);
    QSignalSpy edited(&grid, &TStringGrid::CellEdited);
    grid.SetRow(1);
    grid.SetCol(1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_GE(keys.count(), 1);
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(edited.count(), 0);

    // F2 opens the in-place editor; keys typed there count too.
    QTest::keyClick(&grid, Qt::Key_F2);
    ASSERT_TRUE(grid.IsEditing());
    auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(grid.currentIndex()));
    ASSERT_NE(editor, nullptr);
    const int before = keys.count();
    QTest::keyClicks(editor, QStringLiteral("4,5"));
    EXPECT_GE(keys.count(), before + 3);
    EXPECT_GE(edited.count(), 1);
    grid.CommitEdit();
    EXPECT_FALSE(grid.IsEditing());
    EXPECT_EQ(grid.Cells(1, 2), QStringLiteral("4,5"));
    grid.close();
}

TEST(StringGrid, APasteWithoutKeysIsAnEdit) {
    TStringGrid grid;
    Lay(grid, 3, 4);
    grid.show();
    grid.SetRow(3);
    grid.SetCol(2);
    KeyCount keys(grid);
    QSignalSpy edited(&grid, &TStringGrid::CellEdited);
    grid.edit(grid.currentIndex());
    auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(grid.currentIndex()));
    ASSERT_NE(editor, nullptr);
    QApplication::clipboard()->setText(QStringLiteral("17"));
    editor->paste();
    EXPECT_EQ(keys.count(), 0);
    ASSERT_GE(edited.count(), 1);
    EXPECT_EQ(edited.first().at(0).toInt(), 2);
    EXPECT_EQ(edited.first().at(1).toInt(), 3);
    grid.CommitEdit();
    EXPECT_EQ(grid.Cells(2, 3), QStringLiteral("17"));
    // A programmatic change is not an edit.
    const int count = edited.count();
    grid.SetCell(2, 3, QStringLiteral("18"));
    EXPECT_EQ(edited.count(), count);
    grid.close();
}

TEST(StringGrid, CommittingAnUnchangedTextIsNoEdit) {
    TStringGrid grid;
    Lay(grid, 2, 3);
    grid.SetCell(1, 1, QStringLiteral("5"));
    QSignalSpy edited(&grid, &TStringGrid::CellEdited);
    QAbstractItemModel* model = grid.model();
    EXPECT_TRUE(model->setData(model->index(0, 0), QStringLiteral("5"), Qt::EditRole));
    EXPECT_EQ(edited.count(), 0);
    EXPECT_TRUE(model->setData(model->index(0, 0), QStringLiteral("6"), Qt::EditRole));
    EXPECT_EQ(edited.count(), 1);
    EXPECT_EQ(grid.Cells(1, 1), QStringLiteral("6"));
}
