// Draws the program's icon as PNG files for the icon theme: <folder>/<size>/vrma.png for
// every size given. The drawing is the one of assets/icon.png (a 3 x 3 field of circular
// targets on a white plate with a blue frame), laid out on a 64-unit square and scaled,
// so that every size is sharp.
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace {

QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    // The plate: a rounded square with a 5-unit frame reaching the edge.
    painter.setPen(QPen(QColor(0x1d, 0x35, 0x57), 5.0));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(2.5, 2.5, 59.0, 59.0), 8.0, 8.0);

    // The targets: black discs with a white centre, 16 units apart.
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const QPointF centre(16.5 + 16 * i, 16.5 + 16 * j);
            painter.setBrush(Qt::black);
            painter.drawEllipse(centre, 5.5, 5.5);
            painter.setBrush(Qt::white);
            painter.drawEllipse(centre, 2.5, 2.5);
        }
    }
    painter.end();
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: vrma-icon FOLDER SIZE...\n", stderr);
        return 1;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int k = 2; k < argc; ++k) {
        const int size = std::atoi(argv[k]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "vrma-icon: bad size %s\n", argv[k]);
            return 1;
        }
        const QString sub = QString::number(size);
        if (!folder.mkpath(sub)) {
            std::fprintf(stderr, "vrma-icon: cannot make %s\n", qPrintable(folder.filePath(sub)));
            return 1;
        }
        const QString path = folder.filePath(sub + QStringLiteral("/vrma.png"));
        if (!DrawIcon(size).save(path, "PNG")) {
            std::fprintf(stderr, "vrma-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
