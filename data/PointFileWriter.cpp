#include "data/PointFileWriter.h"

#include "data/Numbers.h"
#include "data/TextFile.h"

#include <stdexcept>

namespace vrma {

QStringList PointFileLines(std::span<const PlanePoint> points) {
    QStringList lines;
    lines.reserve(qsizetype(points.size()));
    for (const PlanePoint& p : points)
        lines.append(FormatGeneral15(p.x) + QStringLiteral(" ; ") + FormatGeneral15(p.y));
    return lines;
}

QByteArray EncodePointFile(std::span<const PlanePoint> points) {
    return EncodeTextLines(PointFileLines(points));
}

void WritePointFiles(const QString& sceneFile, std::span<const PlanePoint> scene,
                     const QString& imageFile, std::span<const PlanePoint> image) {
    if (scene.size() != image.size())
        throw std::invalid_argument("The scene and the image files pair their points");
    const QByteArray sceneBytes = EncodePointFile(scene);
    const QByteArray imageBytes = EncodePointFile(image);
    WriteFilePair(sceneFile, sceneBytes, imageFile, imageBytes);
}

} // namespace vrma
