#include "data/GeometryFiles.h"

#include "data/Errors.h"
#include "data/Numbers.h"
#include "data/TextFile.h"

namespace vrma {

int GeometryLineCount(GeometryFormat format) {
    return format == GeometryFormat::Camera ? kCameraLineCount : kOrientationLineCount;
}

const QStringList& GeometryComments(GeometryFormat format) {
    static const QStringList camera = {
        QStringLiteral(" ; Координата X центра изображения"),
        QStringLiteral(" ; Координата Y центра изображения"),
        QStringLiteral(" ; Таблица коррекции"),
        QStringLiteral(" ; Фокусное расстояние"),
        QStringLiteral(" ; Размер изображения по горизонтали"),
        QStringLiteral(" ; Размер изображения по вертикали"),
        QStringLiteral(" ; Координата X главной точки"),
        QStringLiteral(" ; Координата Y главной точки"),
    };
    static const QStringList orientation = {
        QStringLiteral(" ; Координата X центра проекции в системе координат сцены"),
        QStringLiteral(" ; Координата Y центра проекции в системе координат сцены"),
        QStringLiteral(" ; Координата Z центра проекции в системе координат сцены"),
        QStringLiteral(" ; Координата X точки визирования в системе координат сцены"),
        QStringLiteral(" ; Координата Y точки визирования в системе координат сцены"),
        QStringLiteral(" ; Расстояние от центра проекции до точки визирования"),
        QStringLiteral(" ; Продольный угол (фотограмм.) (градусы)"),
        QStringLiteral(" ; Поперечный угол (фотограмм.) (градусы)"),
        QStringLiteral(" ; Угол поворота изображения (фотограмм.) (градусы)"),
        QStringLiteral(" ; Угол поворота вокруг вертикальной оси (стенд.) (градусы)"),
        QStringLiteral(" ; Угол поворота вокруг горизонтальной оси (стенд.) (градусы)"),
        QStringLiteral(" ; Угол поворота изображения (стенд.) (градусы)"),
        QStringLiteral(" ; axx"),
        QStringLiteral(" ; axy"),
        QStringLiteral(" ; axz"),
        QStringLiteral(" ; ayx"),
        QStringLiteral(" ; ayy"),
        QStringLiteral(" ; ayz"),
        QStringLiteral(" ; azx"),
        QStringLiteral(" ; azy"),
        QStringLiteral(" ; azz"),
    };
    return format == GeometryFormat::Camera ? camera : orientation;
}

QStringList GeometryValuesFromLines(const QStringList& lines, int count) {
    if (count < 0 || lines.size() < count)
        throw FormatError("the file has fewer lines than its format");
    QStringList values;
    values.reserve(count);
    for (int k = 0; k < count; ++k) {
        const QString& line = lines.at(k);
        const qsizetype semicolon = line.indexOf(QLatin1Char(';'));
        values << (semicolon < 0 ? QString() : line.left(semicolon));
    }
    return values;
}

QStringList ReadGeometryValues(const QString& fileName, int count) {
    // Only the lines the format has are read: the rest of the file is never looked at.
    return GeometryValuesFromLines(ReadFirstTextLines(fileName, count), count);
}

std::optional<QString> NormaliseGeometryValue(const QString& text) {
    if (text.isEmpty() || text == QLatin1String(" "))
        return QString();
    const std::optional<long double> value = ParseReal(text);
    if (!value)
        return std::nullopt;
    return FormatGeneral15(*value);
}

QStringList GeometryLines(GeometryFormat format, const QStringList& values) {
    const QStringList& comments = GeometryComments(format);
    if (values.size() != comments.size())
        throw Exception("wrong number of geometry values");
    QStringList lines;
    lines.reserve(comments.size());
    for (qsizetype k = 0; k < comments.size(); ++k)
        lines << values.at(k) + comments.at(k);
    return lines;
}

int BuildGeometryFile(GeometryFormat format, const QStringList& values, QStringList* out) {
    const int count = GeometryLineCount(format);
    if (values.size() != count)
        throw Exception("wrong number of geometry values");
    QStringList normalised;
    normalised.reserve(count);
    for (int k = 0; k < count; ++k) {
        if (format == GeometryFormat::Camera && k == kCameraTableLine) {
            QString table = values.at(k);
            qsizetype end = table.size();
            while (end > 0 && table.at(end - 1) == QLatin1Char(' '))
                --end;
            table.truncate(end);
            normalised << table;
            continue;
        }
        const std::optional<QString> value = NormaliseGeometryValue(values.at(k));
        if (!value)
            return k;
        normalised << *value;
    }
    *out = GeometryLines(format, normalised);
    return -1;
}

std::optional<double> CameraFileFocal(const QString& fileName) {
    try {
        const QStringList values = ReadGeometryValues(fileName, kCameraLineCount);
        if (values.size() <= kCameraFocalLine)
            return std::nullopt;
        const std::optional<double> focal = ParseRealDouble(values[kCameraFocalLine].trimmed());
        if (focal && *focal > 0.0)
            return focal;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

} // namespace vrma
