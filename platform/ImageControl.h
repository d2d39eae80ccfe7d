#pragma once
// An image control: a widget that shows a picture, stretched to the control.
#include <QImage>
#include <QWidget>

namespace vrma {

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    // The picture (the plot's bitmap). Paint on it, then call update().
    QImage& Picture() { return picture_; }
    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture);
    // Sets the bitmap's width, then its height; what was drawn inside stays.
    void SetPictureWidth(int width);
    void SetPictureHeight(int height);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ResizePicture(int width, int height);

    QImage picture_;
    // The sides of a bitmap that has no area yet (one side set, the other still 0).
    int pendingWidth_ = 0;
    int pendingHeight_ = 0;
};

} // namespace vrma
