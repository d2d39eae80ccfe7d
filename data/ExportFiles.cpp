#include "data/ExportFiles.h"

#include "data/Errors.h"
#include "data/GeometryFiles.h"
#include "data/Lines.h"
#include "data/Messages.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/TextFile.h"

#include <optional>

namespace vrma {

namespace {

// Half of an image size text, in the four-decimal format.
QString HalfOf(const QString& sizeText) {
    const std::optional<qint32> size = ParseInteger(sizeText);
    if (!size)
        throw FormatError(messages::NotAnInteger(sizeText).toStdString());
    return FormatFixed4(*size * 0.5);
}

} // namespace

QStringList NewCorrectionTableLines(double coefficient, const QString& widthText,
                                    const QString& heightText) {
    // The tail always carries points, whatever the decimal separator.
    return {FormatFixed4(coefficient), QStringLiteral("0 0 ") + widthText + QLatin1Char(' ') +
                                           heightText +
                                           QStringLiteral(" X 0.0 1.0 - Y 0.0 1.0 - ;")};
}

void ReplaceCoefficientLine(QStringList& lines, double coefficient) {
    if (lines.isEmpty())
        throw Exception(messages::TableHasNoLine().toStdString());
    lines[0] = FormatFixed4(coefficient);
}

QByteArray TableWithCoefficient(const QByteArray& text, double coefficient) {
    QByteArray out;
    bool first = true;
    // The code page maps every byte but NUL to a character and back: a line is kept as
    // its bytes.
    ForEachLine(text.constData(), text.size(), [&](const char* line, qsizetype size) {
        if (first) {
            // At most two bytes more per line than the text has: reserved once.
            out.reserve(2 * text.size() + 32);
            out += EncodeCp1251(FormatFixed4(coefficient));
            first = false;
        } else {
            out.append(line, size);
        }
        out += "\r\n";
    });
    if (first)
        throw Exception(messages::TableHasNoLine().toStdString());
    return out;
}

QStringList CameraFileLines(const QString& widthText, const QString& heightText,
                            const QString& tableFileName) {
    // Converted in line order: the width for line 1 first.
    const QString centreX = HalfOf(widthText);
    const QString centreY = HalfOf(heightText);
    const QString principalX = HalfOf(widthText);
    const QString principalY = HalfOf(heightText);
    // The camera format's lines and comments; the focal length is left to the user.
    return GeometryLines(GeometryFormat::Camera, {centreX, centreY, tableFileName, QString(),
                                                  widthText, heightText, principalX, principalY});
}

QStringList CameraFileLines(const QString& widthText, const QString& heightText,
                            const QString& tableFileName, const CameraInterior& camera) {
    const QString centreX = HalfOf(widthText);
    const QString centreY = HalfOf(heightText);
    return GeometryLines(GeometryFormat::Camera,
                         {centreX, centreY, tableFileName, FormatFixed4(camera.focal), widthText,
                          heightText, FormatFixed4(camera.principalX),
                          FormatFixed4(camera.principalY)});
}

QString CameraFileNameFor(const QString& chosenName) {
    QString name = chosenName;
    if (name.endsWith(QLatin1String(".cam"), Qt::CaseInsensitive))
        name.chop(4);
    return name + QStringLiteral("T.cam");
}

} // namespace vrma
