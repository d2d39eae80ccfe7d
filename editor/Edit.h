#pragma once
// The data editor window: one document (a text data file) shown as a string grid, with
// row commands, a checked save and a question before unsaved edits are lost.
#include "platform/Dialogs.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <memory>

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QToolButton;

namespace vrma {

class EditorDocument;
class TStringGrid;

// What the close handler lets happen to the window.
enum class TCloseAction { caNone, caHide };

class TRedForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TRedForm(QWidget* parent = nullptr);
    ~TRedForm() override;

    // Controls, named as designed (objectName is the same name).
    QWidget* Panel1 = nullptr;
    QWidget* ControlBar1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QToolButton* ToolButton10 = nullptr; // "Сохранить"
    QToolBar* ToolBar3 = nullptr;
    QToolButton* ToolButton3 = nullptr; // "Добавить"
    QToolButton* ToolButton5 = nullptr; // "Добавить в конец"
    QToolButton* ToolButton1 = nullptr; // "Удалить"
    QToolButton* ToolButton8 = nullptr; // "Очистить"
    TStringGrid* StringGrid1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* N1 = nullptr;    // "Файл"
    QAction* N3 = nullptr;  // Файл / Сохранить
    QAction* N15 = nullptr; // separator
    QAction* N6 = nullptr;  // Файл / Выход
    FileDialog SaveDialog{FileDialog::Mode::Save};

    qint32 kind = 0;       // the document kind 1 … 10
    QString fileName;      // the name the document was opened with ("" for a new one)
    bool modified = false; // data not saved

    // Opens a document of the kind in this fresh window: 1 when it is laid out and
    // loaded; 0 after a failure, which has been reported, and the window closed.
    int OpenDocument(const QString& fileName, int kind);

    // The save command: checks the grid, asks for a name and writes the file.
    void N3Click(QObject* sender = nullptr);
    void ToolButton10Click(QObject* sender = nullptr);
    // The row commands: insert, append, delete, clear.
    void ToolButton3Click(QObject* sender = nullptr);
    void ToolButton5Click(QObject* sender = nullptr);
    void ToolButton1Click(QObject* sender = nullptr);
    void ToolButton8Click(QObject* sender = nullptr);
    // "Выход": closes the window.
    void N6Click(QObject* sender = nullptr);
    // Every key press that reaches the grid, in-place editing included.
    void StringGrid1KeyDown(QObject* sender, int key, Qt::KeyboardModifiers shift);
    // Run whenever the window closes; asks about unsaved data.
    void FormClose(QObject* sender, TCloseAction& action);

    // The save command's work: true when the file was written.
    bool SaveDocument();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls(); // the menu, the tool bars, the grid, in this order
    void CreateMenu();
    void CreateToolBars();
    void CreateGrid();
    void LayOut(int kind);
    // Makes a document that has no data row (an empty file) one empty row numbered 1.
    bool EnsureOneDataRow();
    bool BeginRowCommand();
    int RowCommandColumns() const;

    std::unique_ptr<EditorDocument> document_;
};

// A new, hidden editor window, owned by the application: parentless, it is kept until
// the program ends (QCoreApplication::aboutToQuit) or DestroyEditorWindows().
TRedForm* CreateEditorWindow();
// The editor windows made so far and not destroyed, oldest first.
QList<TRedForm*> EditorWindows();
// Destroys every editor window.
void DestroyEditorWindows();

} // namespace vrma
