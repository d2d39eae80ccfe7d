#include "calib/ExportFiles.h"

#include "data/Errors.h"
#include "data/GeometryFiles.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/TextFile.h"

#include <cstring>

#include <optional>

namespace vrma {

namespace {

// Half of an image size text, in the four-decimal format.
QString HalfOf(const QString& sizeText) {
    const std::optional<qint32> size = ParseInteger(sizeText);
    if (!size)
        throw FormatError(
            QStringLiteral("'%1' не является целым числом").arg(sizeText).toStdString());
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
        throw Exception("В файле таблицы коррекции нет ни одной строки");
    lines[0] = FormatFixed4(coefficient);
}

QByteArray TableWithCoefficient(const QByteArray& text, double coefficient) {
    const char* p = text.constData();
    const auto* nul = static_cast<const char*>(std::memchr(p, 0, std::size_t(text.size())));
    const char* const end = nul ? nul : p + text.size();
    if (p == end)
        throw Exception("В файле таблицы коррекции нет ни одной строки");
    QByteArray out;
    // At most one break more per line than the text has bytes: reserved once.
    out.reserve(2 * (end - p) + 32);
    out += EncodeCp1251(FormatFixed4(coefficient));
    out += "\r\n";
    bool first = true;
    while (p != end) {
        const char* q = p;
        while (q != end && *q != '\r' && *q != '\n')
            ++q;
        // The code page maps every byte but NUL to a character and back: a line is kept
        // as its bytes.
        if (!first) {
            out.append(p, q - p);
            out += "\r\n";
        }
        first = false;
        if (q != end)
            q += (*q == '\r' && q + 1 != end && q[1] == '\n') ? 2 : 1;
        p = q;
    }
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

QString CameraFileNameFor(const QString& chosenName) {
    QString name = chosenName;
    if (name.endsWith(QLatin1String(".cam"), Qt::CaseInsensitive))
        name.chop(4);
    return name + QStringLiteral("T.cam");
}

} // namespace vrma
