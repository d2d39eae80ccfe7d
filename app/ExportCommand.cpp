// The export command of the calibration window: the coefficient into a new or existing
// correction table, then, on request, a camera file prefilled from the image size,
// opened modally in the data editor for the focal length. The calibration window for
// cameras saves its fy/fx and camera through the same steps (SaveResults).
//
// The command has no guard of its own: a failure (a file that cannot be written, a size
// that is not an integer, an existing table without a line, a text the code page cannot
// hold, a coefficient that a stopped calculation left as a partial sum) leaves the
// handler and is shown by the application's default error report. Files are replaced
// whole, so what was written before the failure stays and nothing is half-written.
#include "app/Alfa_form.h"
#include "app/SaveClash.h"
#include "data/Errors.h"
#include "data/ExportFiles.h"
#include "data/Messages.h"
#include "data/TextFile.h"
#include "editor/Documents.h"
#include "editor/Edit.h"
#include "platform/Dialogs.h"

#include <QFileInfo>
#include <QLineEdit>

namespace vrma {

namespace {

bool FileExists(const QString& name) {
    return QFileInfo(name).isFile();
}

} // namespace

void TAlfaKalibr_Form::N16Click(QObject* /*sender*/) {
    // A calculation that stopped while summing left a partial sum in the coefficient: it is
    // never saved as a ratio, neither into a new table nor over a good one.
    if (coefficientInterrupted)
        throw Exception(messages::NoCoefficientToSave().toStdString());
    ResultsToSave results;
    results.coefficient = coefficient;
    results.widthText = widthField->text();
    results.heightText = heightField->text();
    results.inputs = {{QStringLiteral("файл координат сцены"), sceneFileName},
                      {QStringLiteral("файл координат изображения"), imageFileName}};
    results.written = lastReport ? &lastReport->written : nullptr;
    SaveResults(this, results);
}

void TAlfaKalibr_Form::SaveResults(QWidget* owner, const ResultsToSave& results) {
    if (!TabSaveDialog.Execute())
        return;
    const QString tableName = TabSaveDialog.FileName;
    if (!NotAnyOf(owner, tableName, results.inputs))
        return;

    if (FileExists(tableName)) {
        const int answer = MessageBoxA(owner, messages::SaveIntoExistingTable(),
                                       messages::WarningCaption(), MB_YESNO);
        if (answer != IDYES)
            return; // the existing table stays as it is
        // Kept as bytes: a table of many (or many empty) lines costs no list of texts.
        WriteFileAtomically(tableName,
                            TableWithCoefficient(ReadFileBytes(tableName), results.coefficient));
    } else {
        WriteTextLines(tableName, NewCorrectionTableLines(results.coefficient, results.widthText,
                                                          results.heightText));
    }
    if (results.written)
        *results.written << messages::WrittenTableLine(tableName);

    QStringList lines;

    if (MessageBoxA(owner, messages::TableSavedMakeCamera(), messages::CameraFileCaption(),
                    MB_YESNO) != IDYES)
        return;
    if (!SaveCamDialog.Execute())
        return;

    lines = results.camera ? CameraFileLines(results.widthText, results.heightText, tableName,
                                             CameraFileInterior(*results.camera))
                           : CameraFileLines(results.widthText, results.heightText, tableName);
    const QString cameraName = CameraFileNameFor(SaveCamDialog.FileName);
    std::vector<NamedFile> others = results.inputs;
    others.push_back({QStringLiteral("таблица коррекции"), tableName});
    if (!NotAnyOf(owner, cameraName, others))
        return;
    if (FileExists(cameraName) &&
        MessageBoxA(owner, messages::Overwrite(), messages::WarningCaption(), MB_YESNO) != IDYES)
        return;
    WriteTextLines(cameraName, lines);
    if (results.written)
        *results.written << messages::WrittenCameraLine(cameraName);
    cameraFileName = cameraName;
    if (results.cameraFile)
        *results.cameraFile = cameraName;

    // A window of its own, kept by the application; the editor reports a failed open.
    TRedForm* editor = CreateEditorWindow();
    if (editor->OpenDocument(cameraName, kinds::kInteriorGeometry) == 1)
        CurrentDialogHost().execModal(*editor);
}

} // namespace vrma
