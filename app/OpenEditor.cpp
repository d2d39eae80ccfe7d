// Double clicks on the calibration window's file-name fields open the coordinate file
// in a new data editor window beside it.
#include "app/Alfa_form.h"
#include "editor/Documents.h"
#include "editor/Edit.h"

namespace vrma {

namespace {

void OpenCoordinateFile(const QString& fileName) {
    TRedForm* editor = CreateEditorWindow();
    if (editor->OpenDocument(fileName, kinds::kReferencePoints) == 1)
        editor->show(); // not modal: both windows stay usable
}

} // namespace

void TAlfaKalibr_Form::Edit11DblClick(QObject* /*sender*/) {
    OpenCoordinateFile(sceneFileName);
}

void TAlfaKalibr_Form::Edit10DblClick(QObject* /*sender*/) {
    OpenCoordinateFile(imageFileName);
}

} // namespace vrma
