#pragma once
// "Файл" → "Создать тест-поле…": the kind of targets, their columns and rows, the pitch
// and the sheet of a printable test field; "Создать…" asks for the PDF's name and the
// scene file's name and writes both (drawing/FieldSheet).
#include "platform/Dialogs.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vrma {

class TFieldSheetForm : public QDialog {
    Q_OBJECT
public:
    explicit TFieldSheetForm(QWidget* parent = nullptr);

    QComboBox* KindBox = nullptr; // шахматная доска / точки
    QLineEdit* ColumnsEdit = nullptr;
    QLineEdit* RowsEdit = nullptr;
    QLineEdit* PitchEdit = nullptr;  // mm
    QLineEdit* PitchYEdit = nullptr; // mm; empty: the same as along x
    QComboBox* PageBox = nullptr;    // A4 / A3
    QLabel* StatusLabel = nullptr;   // what was written last
    QPushButton* CreateButton = nullptr;
    QPushButton* CloseButton = nullptr;

    FileDialog SaveFieldDialog{FileDialog::Mode::Save}; // the PDF
    FileDialog SaveSceneDialog{FileDialog::Mode::Save}; // its scene file

    // Checks the fields, then asks for both names and writes both files. Returns true
    // when they were written.
    bool CreateButtonClick(QObject* sender = nullptr);
};

} // namespace vrma
