#pragma once
// The files that the export of a calibration writes: the correction table (.tab) and the
// camera file (.cam) prefilled from the image size, or filled in from a camera calibrated
// from several photographs.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vrma {

// A new correction table: the coefficient in the four-decimal format, then
// "0 0 <width> <height> X 0.0 1.0 - Y 0.0 1.0 - ;" with the size texts as typed.
QStringList NewCorrectionTableLines(double coefficient, const QString& widthText,
                                    const QString& heightText);

// An existing table's lines with the first one replaced by the coefficient in the
// four-decimal format. Throws Exception when the table has no line.
void ReplaceCoefficientLine(QStringList& lines, double coefficient);

// The same on the table file's text as read (ReadFileBytes): the bytes to write, each line
// ended by CR LF, the first one the coefficient. The other lines are kept as bytes, not
// as a list of texts, so that the memory taken is a few times the text, whatever its
// count of lines. Equal to EncodeTextLines of ReplaceCoefficientLine of DecodeTextLines.
QByteArray TableWithCoefficient(const QByteArray& text, double coefficient);

// The eight lines of a camera file: image centre and principal point at half the image
// size (four-decimal), the correction table's name, no focal length, the size texts as
// typed. Throws FormatError when a size text is not an integer.
QStringList CameraFileLines(const QString& widthText, const QString& heightText,
                            const QString& tableFileName);

// What the camera file takes of a camera calibrated from photographs: its focal length fx
// and its principal point, pixels, in the camera file's pixel coordinates (counted from
// the first pixel's outer corner, like the image centre at half the image size; the
// camera's own convention converts by CameraFileInterior, calib/Camera.h).
struct CameraInterior {
    double focal = 0.0;
    double principalX = 0.0;
    double principalY = 0.0;
};

// The eight lines of the camera file of a camera calibrated from photographs of that
// size (the size texts as they are to be written): the image centre at half the image
// size as above, the correction table's name, the camera's focal length and principal
// point, all in the four-decimal format. Throws FormatError when a size text is not an
// integer.
QStringList CameraFileLines(const QString& widthText, const QString& heightText,
                            const QString& tableFileName, const CameraInterior& camera);

// The camera file written for a name chosen in the save dialog: a ".cam" ending in any
// letter case is dropped, then "T.cam" is appended ("cam1.cam" -> "cam1T.cam").
QString CameraFileNameFor(const QString& chosenName);

} // namespace vrma
