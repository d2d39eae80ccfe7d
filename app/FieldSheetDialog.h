#pragma once
// "Файл" → "Создать тест-поле…": the board of a printable test field (app/BoardForm) and
// its sheet; "Создать…" asks for the PDF's name and the
// scene file's name and writes both (drawing/FieldSheet).
#include "app/BoardForm.h"
#include "platform/Dialogs.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace vrma {

class TFieldSheetForm : public QDialog {
    Q_OBJECT
public:
    explicit TFieldSheetForm(QWidget* parent = nullptr);

    TBoardForm* BoardForm = nullptr; // the board, in rows
    QComboBox* PageBox = nullptr;    // A4 / A3
    QLabel* StatusLabel = nullptr;   // what was written last
    QPushButton* CreateButton = nullptr;
    QPushButton* CloseButton = nullptr;

    FileDialog SaveFieldDialog{FileDialog::Mode::Save}; // the PDF
    FileDialog SaveSceneDialog{FileDialog::Mode::Save}; // its scene file

    // Checks the fields, then asks for both names and writes both files, and keeps the
    // board as the last one made. Returns true when they were written.
    bool CreateButtonClick(QObject* sender = nullptr);
};

} // namespace vrma
