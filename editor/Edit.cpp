#include "editor/Edit.h"
#include "data/Messages.h"

#include "data/Numbers.h"
#include "data/TextFile.h"
#include "editor/Documents.h"
#include "editor/EditorIcons.h"
#include "editor/NumberTexts.h"
#include "platform/Application.h"
#include "platform/StringGrid.h"
#include "platform/WindowFont.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <utility>

namespace vrma {

namespace {

QToolButton* MakeToolButton(QToolBar* bar, const char* name, const QIcon& icon,
                            const QString& hint) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setFixedSize(24, 24);
    button->setAutoRaise(true); // flat
    button->setToolTip(hint);
    bar->addWidget(button);
    return button;
}

QToolBar* MakeToolBar(QWidget* parent, const char* name) {
    auto* bar = new QToolBar(parent);
    bar->setObjectName(QLatin1String(name));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setContentsMargins(0, 0, 0, 0);
    return bar;
}

} // namespace

TRedForm::TRedForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("RedForm"));
    setWindowTitle(QStringLiteral("Редактор"));
    setFont(DesignFont());
    setMinimumSize(300, 200);
    resize(710, 434);
    BuildControls();
}

TRedForm::~TRedForm() = default;

void TRedForm::BuildControls() {
    CreateMenu();
    CreateToolBars();
    CreateGrid();
}

void TRedForm::CreateMenu() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(MainMenu1);
    N1 = MainMenu1->addMenu(QStringLiteral("Файл"));
    N1->setObjectName(QStringLiteral("N1"));
    N3 = N1->addAction(QStringLiteral("Сохранить"));
    N3->setObjectName(QStringLiteral("N3"));
    N15 = N1->addSeparator();
    N15->setObjectName(QStringLiteral("N15"));
    N6 = N1->addAction(QStringLiteral("Выход"));
    N6->setObjectName(QStringLiteral("N6"));
    ConnectCommand(N3, &QAction::triggered, this, &TRedForm::N3Click);
    ConnectCommand(N6, &QAction::triggered, this, &TRedForm::N6Click);
}

void TRedForm::CreateToolBars() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    setCentralWidget(Panel1);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);

    ControlBar1 = new QWidget(Panel1);
    ControlBar1->setObjectName(QStringLiteral("ControlBar1"));
    ControlBar1->setFixedHeight(28);
    auto* barLayout = new QHBoxLayout(ControlBar1);
    barLayout->setContentsMargins(2, 1, 2, 1);
    barLayout->setSpacing(8);

    ToolBar2 = MakeToolBar(ControlBar1, "ToolBar2");
    ToolButton10 =
        MakeToolButton(ToolBar2, "ToolButton10", SaveIcon(), QStringLiteral("Сохранить"));
    ToolBar3 = MakeToolBar(ControlBar1, "ToolBar3");
    ToolButton3 =
        MakeToolButton(ToolBar3, "ToolButton3", InsertRowIcon(), QStringLiteral("Добавить"));
    ToolButton5 = MakeToolButton(ToolBar3, "ToolButton5", AppendRowIcon(),
                                 QStringLiteral("Добавить в конец"));
    ToolButton1 =
        MakeToolButton(ToolBar3, "ToolButton1", DeleteRowIcon(), QStringLiteral("Удалить"));
    ToolButton8 =
        MakeToolButton(ToolBar3, "ToolButton8", ClearTableIcon(), QStringLiteral("Очистить"));
    barLayout->addWidget(ToolBar2);
    barLayout->addWidget(ToolBar3);
    barLayout->addStretch(1);
    ConnectCommand(ToolButton10, &QToolButton::clicked, this, &TRedForm::ToolButton10Click);
    ConnectCommand(ToolButton3, &QToolButton::clicked, this, &TRedForm::ToolButton3Click);
    ConnectCommand(ToolButton5, &QToolButton::clicked, this, &TRedForm::ToolButton5Click);
    ConnectCommand(ToolButton1, &QToolButton::clicked, this, &TRedForm::ToolButton1Click);
    ConnectCommand(ToolButton8, &QToolButton::clicked, this, &TRedForm::ToolButton8Click);
}

void TRedForm::CreateGrid() {
    // As designed: one fixed row and column, two rows, row height 20.
    StringGrid1 = new TStringGrid(Panel1);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->SetColCount(5);
    StringGrid1->SetRowCount(2);
    StringGrid1->SetFixedCols(1);
    StringGrid1->SetFixedRows(1);
    StringGrid1->SetDefaultRowHeight(20);
    connect(StringGrid1, &TStringGrid::KeyDown, this, [this](QKeyEvent* event) {
        StringGrid1KeyDown(StringGrid1, event->key(), event->modifiers());
    });
    connect(StringGrid1, &TStringGrid::CellEdited, this, [this] { modified = true; });

    auto* panelLayout = static_cast<QVBoxLayout*>(Panel1->layout());
    panelLayout->addWidget(ControlBar1);
    panelLayout->addWidget(StringGrid1, 1);
}

int TRedForm::OpenDocument(const QString& name, int documentKind) {
    try {
        kind = documentKind;
        fileName = name;
        const QString title = name.isEmpty() ? QStringLiteral("Untitled")
                                             : name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
        modified = false;
        const DocumentKind& layout = DocumentKindOf(kind);
        document_ = MakeDocument(kind);

        resize(width(), layout.height);
        resize(layout.width, height());
        setWindowTitle(title + layout.titleSuffix);
        TStringGrid& grid = *StringGrid1;
        grid.SetColCount(static_cast<int>(layout.colWidths.size()));
        for (size_t c = 0; c < layout.colWidths.size(); ++c)
            grid.SetColWidths(static_cast<int>(c), layout.colWidths[c]);
        grid.SetFixedCols(layout.fixedCols);
        grid.SetFixedRows(layout.fixedRows);
        grid.SetDefaultRowHeight(layout.rowHeight);
        for (QToolButton* button : {ToolButton3, ToolButton5, ToolButton1, ToolButton8})
            button->setEnabled(layout.rowButtons);

        document_->Fill(grid, fileName);
        return 1;
    } catch (...) {
        MessageBoxA(this, messages::InternalError(), messages::ErrorCaption(), MB_OK);
        close();
        return 0;
    }
}

bool TRedForm::SaveDocument() {
    if (!document_)
        return false;
    StringGrid1->CommitEdit();
    // The dialog is configured whether or not the check passes.
    const DocumentKind& layout = DocumentKindOf(kind);
    SaveDialog.FileName = fileName;
    SaveDialog.Filter = layout.filter;
    SaveDialog.DefaultExt = layout.defaultExt;
    QByteArray bytes;
    const bool write = document_->BuildFile(*StringGrid1, bytes);
    if (!write || !SaveDialog.Execute())
        return false;
    WriteFileAtomically(SaveDialog.FileName, bytes);
    modified = false;
    return true;
}

void TRedForm::N3Click(QObject* /*sender*/) {
    SaveDocument();
}

void TRedForm::ToolButton10Click(QObject* sender) {
    N3Click(sender);
}

int TRedForm::RowCommandColumns() const {
    return std::min(3, StringGrid1->ColCount() - 1);
}

bool TRedForm::EnsureOneDataRow() {
    TStringGrid& grid = *StringGrid1;
    if (grid.RowCount() >= 2)
        return false;
    grid.SetRowCount(2);
    grid.SetCell(0, 1, QStringLiteral("1"));
    grid.SetRow(1);
    return true;
}

bool TRedForm::BeginRowCommand() {
    // The row commands work on the point and list documents only; their buttons are
    // disabled for the other kinds.
    if (!document_ || !DocumentKindOf(kind).rowButtons)
        return false;
    StringGrid1->CommitEdit();
    return true;
}

void TRedForm::ToolButton3Click(QObject* /*sender*/) {
    if (!BeginRowCommand())
        return;
    TStringGrid& grid = *StringGrid1;
    if (!EnsureOneDataRow()) {
        const int current = grid.Row();
        const int last = grid.RowCount(); // the index of the new last row
        grid.BeginUpdate();
        grid.SetRowCount(last + 1);
        for (int c = 1; c <= RowCommandColumns(); ++c)
            grid.ShiftColumnDown(c, current);
        RowNumberText number;
        for (int i = current + 1; i <= last; ++i)
            grid.SetCell(0, i, number.Of(i));
        grid.EndUpdate();
        grid.SetRow(current);
    }
    modified = true;
}

void TRedForm::ToolButton5Click(QObject* /*sender*/) {
    if (!BeginRowCommand())
        return;
    TStringGrid& grid = *StringGrid1;
    if (!EnsureOneDataRow()) {
        const int count = grid.RowCount();
        grid.SetRowCount(count + 1); // the new row is empty
        grid.SetCell(0, count, FormatInteger(count));
    }
    modified = true;
}

void TRedForm::ToolButton1Click(QObject* /*sender*/) {
    if (!BeginRowCommand())
        return;
    TStringGrid& grid = *StringGrid1;
    if (!EnsureOneDataRow()) {
        const int count = grid.RowCount();
        if (count <= 2) {
            for (int c = 1; c <= RowCommandColumns(); ++c)
                grid.SetCell(c, 1, QString());
        } else {
            const int current = grid.Row();
            grid.BeginUpdate();
            for (int c = 1; c <= RowCommandColumns(); ++c)
                grid.ShiftColumnUp(c, current);
            grid.SetRowCount(count - 1); // column 0 keeps its numbers
            grid.EndUpdate();
            grid.SetRow(std::min(current, count - 2));
        }
    }
    modified = true;
}

void TRedForm::ToolButton8Click(QObject* /*sender*/) {
    if (!BeginRowCommand())
        return;
    TStringGrid& grid = *StringGrid1;
    if (!EnsureOneDataRow()) {
        grid.SetRowCount(2);
        for (int c = 1; c <= RowCommandColumns(); ++c)
            grid.SetCell(c, 1, QString());
        grid.SetRow(1);
    }
    modified = true;
}

void TRedForm::N6Click(QObject* /*sender*/) {
    close();
}

void TRedForm::StringGrid1KeyDown(QObject* /*sender*/, int /*key*/,
                                  Qt::KeyboardModifiers /*shift*/) {
    modified = true;
}

void TRedForm::FormClose(QObject* /*sender*/, TCloseAction& action) {
    action = TCloseAction::caHide;
    if (!modified)
        return;
    const int answer =
        MessageBoxA(this, messages::NotSavedSave(), messages::WarningCaption(), MB_YESNO);
    // Only No lets the edits go. A question dismissed without an answer keeps the window,
    // and so does Yes when nothing was written.
    if (answer == IDCANCEL || (answer == IDYES && !SaveDocument()))
        action = TCloseAction::caNone;
}

void TRedForm::closeEvent(QCloseEvent* event) {
    // Stays open unless the close handler lets it go. A save that fails here (a file
    // that cannot be written) keeps the window and its edits; the failure goes to the
    // application's default error report, as from any command.
    event->ignore();
    TCloseAction action = TCloseAction::caHide;
    try {
        FormClose(this, action);
    } catch (const std::exception& error) {
        ShowDefaultErrorReport(QString::fromUtf8(error.what()));
        return;
    }
    if (action == TCloseAction::caHide)
        event->accept(); // hidden, not destroyed
}

// The application's editor windows.
namespace {

QList<QPointer<TRedForm>>& Registry() {
    static QList<QPointer<TRedForm>> windows;
    return windows;
}

} // namespace

TRedForm* CreateEditorWindow() {
    static bool hooked = false;
    if (!hooked && QCoreApplication::instance()) {
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                         QCoreApplication::instance(), [] { DestroyEditorWindows(); });
        hooked = true;
    }
    auto* window = new TRedForm(nullptr);
    Registry().append(window);
    return window;
}

QList<TRedForm*> EditorWindows() {
    QList<TRedForm*> windows;
    for (const QPointer<TRedForm>& window : Registry())
        if (window)
            windows.append(window.data());
    return windows;
}

void DestroyEditorWindows() {
    const QList<QPointer<TRedForm>> windows = std::exchange(Registry(), {});
    for (const QPointer<TRedForm>& window : windows)
        delete window.data();
}

} // namespace vrma
