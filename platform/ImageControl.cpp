#include "platform/ImageControl.h"

#include <QPaintEvent>
#include <QPainter>

namespace vrma {

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void TImage::SetPictureWidth(int width) {
    ResizePicture(width, picture_.isNull() ? pendingHeight_ : picture_.height());
}

void TImage::SetPictureHeight(int height) {
    ResizePicture(picture_.isNull() ? pendingWidth_ : picture_.width(), height);
}

void TImage::ResizePicture(int width, int height) {
    if (!picture_.isNull() && picture_.width() == width && picture_.height() == height)
        return;
    if (width <= 0 || height <= 0) {
        // A bitmap with no area: remember the side that was set for the next call.
        pendingWidth_ = width;
        pendingHeight_ = height;
        picture_ = QImage();
        update();
        return;
    }
    QImage resized(width, height, QImage::Format_RGB32);
    resized.fill(Qt::white);
    if (!picture_.isNull()) {
        QPainter painter(&resized);
        painter.drawImage(0, 0, picture_);
    }
    picture_ = resized;
    update();
}

void TImage::paintEvent(QPaintEvent* /*event*/) {
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(rect(), picture_);
}

} // namespace vrma
