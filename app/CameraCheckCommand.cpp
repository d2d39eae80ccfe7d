// "Проверить камеру…" of the camera window: a saved camera (OpenCV's YAML) checked against
// the window's photographs as vrma-calib's --check checks it, on the session's fits' thread,
// and its outcome in the words vrma-calib prints.
#include "app/CameraWindow.h"
#include "calib/CameraCheck.h"
#include "data/CameraMessages.h"
#include "data/Messages.h"
#include "drawing/CameraVerdict.h"
#include "platform/Application.h"

#include <QPushButton>

namespace vrma {

void TCameraForm::CreateCheckControls() {
    CheckButton = new QPushButton(QStringLiteral("Проверить камеру…"), this);
    CheckButton->setObjectName(QStringLiteral("CheckButton"));
    CheckButton->setToolTip(
        QStringLiteral("Проверить, объясняет ли сохранённая камера (YAML OpenCV) эти снимки "
                       "или она изменилась"));
    OpenCameraDialog.Filter = QStringLiteral("Файлы YAML|*.yml;*.yaml|Все файлы|*.*");
    OpenCameraDialog.DefaultExt = QStringLiteral("yml");
    ConnectCommand(CheckButton, &QPushButton::clicked, this, [this] { CheckButtonClick(); });
    connect(&session_, &CameraSession::cameraChecked, this, &TCameraForm::CameraChecked);
}

bool TCameraForm::CheckButtonClick(QObject* /*sender*/) {
    if (searching() || checking() || photos().empty() || !OpenCameraDialog.Execute())
        return false;
    const std::optional<Camera> camera = ReadOpenCvCameraYaml(OpenCameraDialog.FileName);
    if (!camera) {
        MessageBoxA(this, messages::CameraYamlUnreadable(OpenCameraDialog.FileName),
                    messages::ErrorCaption(), MB_OK);
        return false;
    }
    session_.CheckCamera(*camera);
    UpdateButtons();
    return true;
}

void TCameraForm::CameraChecked() {
    UpdateButtons();
    if (const std::optional<CameraCheck>& check = session_.cameraCheck())
        MessageBoxA(this, CameraCheckLines(*check).join(QLatin1Char('\n')),
                    messages::CameraCheckCaption(), MB_OK);
    else
        MessageBoxA(this, session_.checkFailure(), messages::ErrorCaption(), MB_OK);
    emit cameraChecked();
}

} // namespace vrma
