// "Файл" → "Создать тест-поле…", "Измерить снимок…" and "Калибровка камеры по снимкам…"
// of the calibration window: the printable field's window (modal), the measuring window,
// whose save fills the calibration's files, grid and image size, and the calibration
// window for cameras, whose save goes through the export and whose camera the field check
// takes. All start from the board last made or measured in this run.
#include "app/Alfa_form.h"
#include "app/CameraWindow.h"
#include "app/FieldSheetDialog.h"
#include "app/MeasureWindow.h"

#include <QLineEdit>

namespace vrma {

namespace {

QString LastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FolderOf(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// A board form opened for the first time starts from the board last made or measured,
// or, before there is one, from the calibration window's grid.
void StartBoardForm(TBoardForm& form, TLastBoard& last, const QString& columns,
                    const QString& rows) {
    form.Follow(&last);
    if (form.TakeLastBoard())
        return;
    form.ColumnsEdit->setText(columns);
    form.RowsEdit->setText(rows);
}

} // namespace

void TAlfaKalibr_Form::MakeTestField(QObject* /*sender*/) {
    TFieldSheetForm form(this);
    StartBoardForm(*form.BoardForm, lastBoard, columnsField->text(), rowsField->text());
    CurrentDialogHost().execModal(form);
}

void TAlfaKalibr_Form::OpenMeasureWindow(QObject* /*sender*/) {
    if (!MeasureForm) {
        MeasureForm = new TMeasureForm(this);
        StartBoardForm(*MeasureForm->BoardForm, lastBoard, columnsField->text(), rowsField->text());
        MeasureForm->onSaved = [this](const MeasuredFiles& files) { TakeMeasuredFiles(files); };
    } else {
        // A board made or measured since the window last showed one.
        MeasureForm->BoardForm->TakeLastBoard();
    }
    MeasureForm->show();
    MeasureForm->raise();
    MeasureForm->activateWindow();
}

void TAlfaKalibr_Form::OpenCameraWindow(QObject* /*sender*/) {
    if (!CameraForm) {
        CameraForm = new TCameraForm(this);
        StartBoardForm(*CameraForm->BoardForm, lastBoard, columnsField->text(), rowsField->text());
        CameraForm->onSave = [this](const ResultsToSave& results) {
            SaveResults(CameraForm, results);
        };
        connect(CameraForm, &TCameraForm::calibrated, this,
                [this](const Camera& camera) { TakeCalibratedCamera(camera); });
    } else if (CameraForm->photos().empty()) {
        CameraForm->BoardForm->TakeLastBoard();
    }
    CameraForm->show();
    CameraForm->raise();
    CameraForm->activateWindow();
}

void TAlfaKalibr_Form::TakeMeasuredFiles(const MeasuredFiles& files) {
    // As if both files had been chosen with "...": typed names are then taken in their
    // folders.
    sceneFileName = files.sceneFile;
    sceneChosenFolder = FolderOf(sceneFileName);
    sceneField->setText(LastComponent(sceneFileName));
    imageFileName = files.imageFile;
    imageChosenFolder = FolderOf(imageFileName);
    imageField->setText(LastComponent(imageFileName));
    columnsField->setText(QString::number(files.columns));
    rowsField->setText(QString::number(files.rows));
    widthField->setText(QString::number(files.imageWidth));
    heightField->setText(QString::number(files.imageHeight));
}

} // namespace vrma
