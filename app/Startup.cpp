// Start-up: the application object, the calibration window as the main window, the
// about box made hidden, and the message loop.
#include "app/AboutBox.h"
#include "app/Alfa_form.h"
#include "calib/OpenCvProcess.h"
#include "data/TextFile.h"
#include "platform/Application.h"

#include <exception>

namespace vrma {

std::unique_ptr<TAlfaKalibr_Form> CreateMainWindow() {
    auto form = std::make_unique<TAlfaKalibr_Form>();
    // The about box is made once, hidden, and only hidden between showings.
    form->AboutBox = new TVRMAAboutBox(form.get());
    return form;
}

int RunVrma(int argc, char** argv) {
    KeepOpenCvOnProcessor();
    // A save beyond the file-size limit is a failed write, reported, with the edits kept.
    IgnoreFileSizeSignal();
    VrmaApplication app(argc, argv);
    try {
        InitApplication(app);
        const std::unique_ptr<TAlfaKalibr_Form> form = CreateMainWindow();
        form->show();
        VrmaApplication::exec();
    } catch (const std::exception& error) {
        ShowDefaultErrorReport(QString::fromUtf8(error.what()));
    }
    return 0;
}

} // namespace vrma
