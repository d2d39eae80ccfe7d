#pragma once
// The coordinate files that the program writes itself (the scene of a test field, the
// targets measured in a photograph): one point a line, "x ; y" in the 15-digit general
// format with the decimal separator of the moment, Windows-1251, CR LF, as the reader of
// coordinate files reads them.
#include "data/PlanePoint.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <span>

namespace vrma {

// The lines of a coordinate file, in the points' order.
QStringList PointFileLines(std::span<const PlanePoint> points);
// The file's bytes.
QByteArray EncodePointFile(std::span<const PlanePoint> points);

// The two files of a calibration, the k-th scene point and the k-th image point one node:
// both encoded before either is written, and written as a pair: both replaced or neither
// (WriteFilePair). Throws std::invalid_argument when the lists differ in length (nothing
// written), FileError on a failed write.
void WritePointFiles(const QString& sceneFile, std::span<const PlanePoint> scene,
                     const QString& imageFile, std::span<const PlanePoint> image);

} // namespace vrma
