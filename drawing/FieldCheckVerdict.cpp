#include "drawing/FieldCheckVerdict.h"

#include "data/Locale.h"
#include "data/Procedures.h"

#include <cmath>

namespace vrma {

namespace {

// A standard error as a number that does not round to zero: four decimals, or as many as
// show its first two significant digits.
QString ErrorText(double value) {
    if (!(value > 0.0) || value >= 0.0005)
        return FormatFixed4(value);
    const int decimals = std::min(12, 1 - int(std::floor(std::log10(value))));
    QString text = QString::number(value, 'f', decimals);
    text.replace(QLatin1Char('.'), DecimalSeparator());
    return text;
}

} // namespace

QString FieldCheckWarning(const FieldCheck& check) {
    if (check.referenceDoubtful && check.reference && check.referenceSe && check.referenceRmsPx)
        return QStringLiteral("Исправленное значение %1 ± %2 ненадёжно: камера с этим фокусным "
                              "расстоянием и главной точкой в центре изображения не согласуется "
                              "с точками (СКО %3 пикс. против %4 пикс. у проективного "
                              "преобразования). Проверьте фокусное расстояние и размеры "
                              "изображения.")
            .arg(FormatFixed4(*check.reference), ErrorText(*check.referenceSe),
                 FormatFixed4(*check.referenceRmsPx), FormatFixed4(check.homographyRmsPx));
    if (!check.warning || !check.bias || !check.reference || !check.biasSe)
        return {};
    return QStringLiteral("Поле наклонено: коэффициент смещён на %1, больше двух стандартных "
                          "ошибок (%2). Надёжнее исправленное значение %3.")
        .arg(FormatFixed4(*check.bias), ErrorText(*check.biasSe), FormatFixed4(*check.reference));
}

} // namespace vrma
