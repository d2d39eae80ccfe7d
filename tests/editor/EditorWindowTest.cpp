// The editor window as designed, and its layout for each document kind.
#include "EditorTestSupport.h"
#include "platform/StringGrid.h"

#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

namespace vrma::test {
namespace {

using WindowTest = EditorTest;

TEST_F(WindowTest, AFreshWindowIsAsDesigned) {
    TRedForm* w = CreateEditorWindow();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->parent(), nullptr);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Редактор"));
    EXPECT_EQ(w->size(), QSize(710, 434));
    EXPECT_EQ(w->minimumSize(), QSize(300, 200));
    EXPECT_EQ(w->kind, 0);
    EXPECT_TRUE(w->fileName.isEmpty());
    EXPECT_FALSE(w->modified);

    // Every control is found by its design name.
    for (const char* name : {"Panel1", "ControlBar1", "ToolBar2", "ToolBar3", "StringGrid1"})
        EXPECT_NE(w->findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(w->menuBar(), w->MainMenu1);
    EXPECT_EQ(w->MainMenu1->objectName(), QStringLiteral("MainMenu1"));

    struct Button {
        QToolButton* button;
        const char* name;
        QString hint;
        QToolBar* bar;
    };
    const Button buttons[] = {
        {w->ToolButton10, "ToolButton10", QStringLiteral("Сохранить"), w->ToolBar2},
        {w->ToolButton3, "ToolButton3", QStringLiteral("Добавить"), w->ToolBar3},
        {w->ToolButton5, "ToolButton5", QStringLiteral("Добавить в конец"), w->ToolBar3},
        {w->ToolButton1, "ToolButton1", QStringLiteral("Удалить"), w->ToolBar3},
        {w->ToolButton8, "ToolButton8", QStringLiteral("Очистить"), w->ToolBar3},
    };
    for (const Button& b : buttons) {
        ASSERT_NE(b.button, nullptr) << b.name;
        EXPECT_EQ(b.button->objectName(), QLatin1String(b.name));
        EXPECT_EQ(b.button->toolTip(), b.hint);
        EXPECT_EQ(b.button->size(), QSize(24, 24));
        EXPECT_TRUE(b.button->autoRaise());
        EXPECT_FALSE(b.button->icon().isNull());
        EXPECT_TRUE(b.bar->isAncestorOf(b.button)) << b.name;
    }

    // The menu "Файл": Сохранить, a separator, Выход.
    ASSERT_EQ(w->MainMenu1->actions().size(), 1);
    EXPECT_EQ(w->N1->title(), QStringLiteral("Файл"));
    EXPECT_EQ(w->N1->objectName(), QStringLiteral("N1"));
    const QList<QAction*> items = w->N1->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0], w->N3);
    EXPECT_EQ(w->N3->text(), QStringLiteral("Сохранить"));
    EXPECT_EQ(items[1], w->N15);
    EXPECT_TRUE(w->N15->isSeparator());
    EXPECT_EQ(items[2], w->N6);
    EXPECT_EQ(w->N6->text(), QStringLiteral("Выход"));

    TStringGrid& grid = *w->StringGrid1;
    EXPECT_EQ(grid.FixedRows(), 1);
    EXPECT_EQ(grid.FixedCols(), 1);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.DefaultRowHeight(), 20);
    EXPECT_TRUE(grid.showGrid());
}

struct KindLayout {
    int kind;
    QString suffix;
    QSize size;
    std::vector<int> widths;
    QStringList header; // row 0, from column 0; empty for the geometry kinds
    int rows;
    int rowHeight;
    bool rowButtons;
};

std::vector<KindLayout> Layouts() {
    const QStringList planar{QString(), QStringLiteral("x"), QStringLiteral("y")};
    const QString points = QStringLiteral(" Реперные точки");
    const QString corresponding = QStringLiteral(" Соответственные точки");
    return {
        {1,
         points,
         {400, 500},
         {50, 100, 100, 100},
         {QString(), QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")},
         2,
         20,
         true},
        {2, points, {300, 500}, {50, 100, 100}, planar, 2, 20, true},
        {3, points, {300, 500}, {50, 100, 100}, planar, 2, 20, true},
        // 200 wide asked; the minimum width wins.
        {4,
         QStringLiteral(" Список реперных точек"),
         {300, 500},
         {50, 50},
         {QString(), QStringLiteral("Номер")},
         2,
         20,
         true},
        {5, QStringLiteral(" Внутренняя геометрия"), {520, 290}, {290, 200}, {}, 8, 24, false},
        {6, QStringLiteral(" Внутренняя геометрия"), {520, 290}, {290, 200}, {}, 8, 24, false},
        {7, QStringLiteral(" Внешняя геометрия"), {410, 500}, {260, 110}, {}, 21, 24, false},
        {8, QStringLiteral(" Внешняя геометрия"), {410, 500}, {260, 110}, {}, 21, 24, false},
        {9, corresponding, {300, 500}, {50, 100, 100}, planar, 2, 20, true},
        {10, corresponding, {300, 500}, {50, 100, 100}, planar, 2, 20, true},
    };
}

TEST_F(WindowTest, EveryKindHasItsCaptionSizeColumnsHeaderAndButtons) {
    for (const KindLayout& k : Layouts()) {
        SCOPED_TRACE(k.kind);
        TRedForm* w = Open(QString(), k.kind);
        EXPECT_EQ(w->kind, k.kind);
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Untitled") + k.suffix);
        EXPECT_EQ(w->size(), k.size);
        TStringGrid& grid = *w->StringGrid1;
        ASSERT_EQ(grid.ColCount(), static_cast<int>(k.widths.size()));
        for (int c = 0; c < grid.ColCount(); ++c)
            EXPECT_EQ(grid.ColWidths(c), k.widths[static_cast<size_t>(c)]) << "column " << c;
        // What the view shows: the first width is the fixed column's.
        EXPECT_EQ(grid.verticalHeader()->width(), k.widths[0]);
        EXPECT_EQ(grid.horizontalHeader()->sectionSize(0), k.widths[1]);
        EXPECT_EQ(grid.RowCount(), k.rows);
        EXPECT_EQ(grid.DefaultRowHeight(), k.rowHeight);
        EXPECT_EQ(grid.FixedCols(), 1);
        EXPECT_EQ(grid.FixedRows(), k.header.isEmpty() ? 0 : 1);
        EXPECT_EQ(grid.horizontalHeader()->isHidden(), k.header.isEmpty());
        for (int c = 0; c < k.header.size(); ++c)
            EXPECT_EQ(grid.Cells(c, 0), k.header[c]);
        for (QToolButton* b : {w->ToolButton3, w->ToolButton5, w->ToolButton1, w->ToolButton8})
            EXPECT_EQ(b->isEnabled(), k.rowButtons) << b->objectName().toStdString();
        // Saving and the menu work in every kind.
        EXPECT_TRUE(w->ToolButton10->isEnabled());
        EXPECT_TRUE(w->N3->isEnabled());
        EXPECT_FALSE(w->modified);
        EXPECT_TRUE(host.records().empty());
    }
}

TEST_F(WindowTest, ANewPointOrListDocumentHasOneEmptyRowNumberedOne) {
    for (int kind : {1, 2, 3, 4, 9, 10}) {
        SCOPED_TRACE(kind);
        TRedForm* w = Open(QString(), kind);
        TStringGrid& grid = *w->StringGrid1;
        ASSERT_EQ(grid.RowCount(), 2);
        EXPECT_EQ(grid.Cells(0, 1), QStringLiteral("1"));
        for (int c = 1; c < grid.ColCount(); ++c)
            EXPECT_TRUE(grid.Cells(c, 1).isEmpty());
        EXPECT_EQ(grid.Row(), 1);
        EXPECT_TRUE(w->fileName.isEmpty());
    }
}

TEST_F(WindowTest, TheTitleIsTheNameAfterTheLastSlash) {
    const QString file = Write(QStringLiteral("pts.crd"), "1;2\r\n");
    TRedForm* w = Open(file, 2);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("pts.crd Реперные точки"));
    EXPECT_EQ(w->fileName, file);

    // Relative names: without a slash the whole name stays, a backslash is no separator.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    TRedForm* plain = Open(QStringLiteral("pts.crd"), 9);
    EXPECT_EQ(plain->windowTitle(), QStringLiteral("pts.crd Соответственные точки"));
    Write(QStringLiteral("a\\b.lst"), "7\r\n");
    TRedForm* backslash = Open(QStringLiteral("a\\b.lst"), 4);
    EXPECT_EQ(backslash->windowTitle(), QStringLiteral("a\\b.lst Список реперных точек"));
    EXPECT_EQ(backslash->StringGrid1->Cells(1, 1), QStringLiteral("7"));
    QDir::setCurrent(cwd);
}

TEST_F(WindowTest, AFailedOpenReportsClosesAndReturnsZero) {
    TRedForm* w = CreateEditorWindow();
    w->show();
    host.answerOk();
    EXPECT_EQ(w->OpenDocument(Path(QStringLiteral("missing.crd")), 2), 0);
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].kind, DialogRecord::Kind::MessageBox);
    EXPECT_EQ(host.records()[0].text,
              QStringLiteral("Внутренняя ошибка. Обратитесь к разработчику."));
    EXPECT_EQ(host.records()[0].caption, QStringLiteral("Ошибка!"));
    EXPECT_EQ(host.records()[0].type, MB_OK);
    EXPECT_TRUE(host.records()[0].hasOwner);
    EXPECT_EQ(host.records()[0].ownerName, w->objectName());
    // Closed through the ordinary path: nothing was asked, the window is hidden.
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->modified);
}

TEST_F(WindowTest, WindowsAreKeptUntilDestroyed) {
    TRedForm* a = CreateEditorWindow();
    TRedForm* b = CreateEditorWindow();
    EXPECT_NE(a, b);
    EXPECT_EQ(EditorWindows(), (QList<TRedForm*>{a, b}));
    a->show();
    a->close();
    EXPECT_EQ(EditorWindows().size(), 2); // closing hides, it does not destroy
    DestroyEditorWindows();
    EXPECT_TRUE(EditorWindows().isEmpty());
}

} // namespace
} // namespace vrma::test
