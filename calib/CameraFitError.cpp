#include "calib/CameraFitError.h"

#include "calib/Camera.h"
#include "data/CameraMessages.h"

#include <QString>

namespace vrma {

namespace {

QString Words(CameraFitError::Code code, int needed, int usable, std::size_t total) {
    using Code = CameraFitError::Code;
    switch (code) {
    case Code::NotConverged:
        return messages::CameraFitNotConverged();
    case Code::FocalsUndetermined:
        return messages::FocalsUndetermined();
    case Code::TooFewPhotos:
        return messages::TooFewPhotosOfField(needed);
    case Code::TooFewUsable:
        return messages::TooFewUsablePhotos(needed, usable, qsizetype(total));
    case Code::SizeNotPositive:
        return messages::PhotoSizeNotPositive();
    case Code::TooFewPoints:
        return messages::TooFewPointsForCamera();
    case Code::Inseparable:
        return messages::ParameterInseparable(
            QString::fromLatin1(CameraParameterName(CameraParameter(needed))));
    }
    return messages::CameraFitNotConverged();
}

} // namespace

CameraFitError::CameraFitError(Code code, int needed, int usable, std::size_t total)
    : CalcError(Words(code, needed, usable, total).toStdString()), code_(code), needed_(needed),
      usable_(usable), total_(total) {}

} // namespace vrma
