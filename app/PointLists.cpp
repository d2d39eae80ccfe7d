// The input step of the calibration, kept apart from the window's shell.
#include "app/Alfa_form.h"
#include "data/Procedures.h"

namespace vrma {

bool TAlfaKalibr_Form::LoadPointLists() {
    // The image file is read only when the scene file was read.
    if (!ReadPointFile(sceneFileName, scenePoints.get()))
        return false;
    return ReadPointFile(imageFileName, imagePoints.get());
}

} // namespace vrma
