// The camera window's photograph chosen in the list: the photograph (or its undistorted
// copy) with the targets found and their residuals drawn over it.
#include "app/CameraWindow.h"

#include "app/CameraSaving.h"
#include "app/MeasureWindow.h"
#include "data/CameraMessages.h"
#include "data/Messages.h"
#include "drawing/CameraVerdict.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QTableWidget>

namespace vrma {

namespace {

// The photograph view reads a large photograph reduced to this many pixels a side at
// most (libjpeg's scaled decoding for a JPEG): enough to zoom in, and quick to read.
constexpr int kViewSide = 3000;

} // namespace

void TCameraForm::SelectPhoto(int row) {
    if (row >= int(photos().size()))
        row = -1;
    shown_ = row;
    const int fitted = session_.FittedIndex(row);
    RmsChart->Show(calibration() ? &*calibration() : nullptr, fitted);
    CoverageView->Show(calibration() ? &coverage_ : nullptr, fitted);
    if (row < 0) {
        ++viewGeneration_;
        loading_ = false;
        pictureOf_ = 0;
        PhotoView->ShowPhoto(QImage());
        PhotoLabel->setText(QStringLiteral("Выберите снимок в списке."));
        return;
    }
    Views->setCurrentIndex(1);
    LoadShownPhoto();
}

void TCameraForm::LoadShownPhoto() {
    if (shown_ < 0 || size_t(shown_) >= photos().size())
        return;
    const quint64 id = photos()[size_t(shown_)].id;
    if (pictureOf_ == id) {
        // The photograph is on screen: only what is drawn over it changes, and its
        // undistorted picture with the camera.
        if (UndistortBox->isChecked())
            ShowPicture();
        ShowOverlay();
        return;
    }
    const quint64 generation = ++viewGeneration_;
    const QString file = photos()[size_t(shown_)].file;
    loading_ = true;
    PhotoLabel->setText(QStringLiteral("%1: снимок читается…").arg(QFileInfo(file).fileName()));
    viewPool_.start([this, generation, file, id] {
        QImageReader reader(file);
        reader.setAutoTransform(false);
        const QSize full = reader.size();
        if (full.isValid() && std::max(full.width(), full.height()) > kViewSide)
            reader.setScaledSize(full.scaled(kViewSide, kViewSide, Qt::KeepAspectRatio));
        const QImage picture = reader.read();
        QMetaObject::invokeMethod(
            this,
            [this, generation, id, picture, full] {
                if (generation != viewGeneration_)
                    return;
                loading_ = false;
                const int row = session_.RowOf(id);
                if (row < 0 || row != shown_)
                    return;
                picture_ = picture;
                full_ = full;
                ShowPicture();
                pictureOf_ = id;
                pictureShown_ = !picture.isNull();
                ShowOverlay();
            },
            Qt::QueuedConnection);
    });
}

void TCameraForm::ShowPicture() {
    undistorted_ = UndistortBox->isChecked() && calibration() && !picture_.isNull();
    PhotoView->ShowPhoto(undistorted_ ? UndistortedPicture(picture_, full_, calibration()->camera)
                                      : picture_,
                         full_);
}

void TCameraForm::ShowOverlay() {
    if (shown_ < 0 || size_t(shown_) >= photos().size())
        return;
    const Photo& photo = photos()[size_t(shown_)];
    const PhotoDetection& detection = photo.detection;
    PhotoView->ClearTargets();
    QString text = QFileInfo(photo.file).fileName() + QStringLiteral(": ");
    if (!pictureShown_)
        text += QStringLiteral("снимок не удаётся показать. ");
    if (photo.state != Photo::State::Done) {
        text += QStringLiteral("поиск поля…");
    } else if (!detection.found) {
        text += (detection.read ? QStringLiteral("поле не найдено. ")
                                : QStringLiteral("снимок не читается. ")) +
                detection.reason;
    } else {
        const bool plain = undistorted_ && calibration();
        PhotoView->ShowTargets(board() ? board()->columns : 0, board() ? board()->rows : 0,
                               plain ? UndistortImagePoints(calibration()->camera, detection.image)
                                     : detection.image,
                               detection.indices);
        text += QStringLiteral("поле повёрнуто на %1, мишеней %2")
                    .arg(PhotoTurnText(detection))
                    .arg(qulonglong(detection.points()));
        const int fitted = session_.FittedIndex(shown_);
        if (plain)
            text += QStringLiteral(". Снимок показан без дисторсии");
        if (fitted >= 0 && !plain) {
            const PhotoFit& fit = calibration()->photos[size_t(fitted)];
            const double magnify = ResidualMagnification(coverage_);
            PhotoView->ShowResiduals(detection.image,
                                     PhotoResiduals(*calibration(), size_t(fitted), detection),
                                     magnify);
            text += QStringLiteral(", СКО %1 пикс. (%2). Линии из мишеней — невязки, "
                                   "увеличенные %3.")
                        .arg(PhotoRmsText(fit), PhotoUseText(detection, fit, calibration()->camera),
                             MagnifiedWords(magnify));
        } else {
            text += QLatin1Char('.');
        }
    }
    PhotoLabel->setText(text);
    emit photoShown();
}

} // namespace vrma
