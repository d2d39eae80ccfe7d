// The input step of the calibration, kept apart from the window's shell.
#include "app/Alfa_form.h"
#include "drawing/ScaleRatioCommand.h"

namespace vrma {

bool TAlfaKalibr_Form::LoadPointLists() {
    LastGeometry(); // the lists are read again: their photograph is taken out first
    return ReadCoordinateFiles(sceneFileName, imageFileName, *scenePoints, *imagePoints);
}

} // namespace vrma
