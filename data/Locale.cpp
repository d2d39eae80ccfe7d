#include "data/Locale.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace vrma {

namespace {
QChar g_separator = QLatin1Char('.');
}

QChar DecimalSeparator() {
    return g_separator;
}

void SetDecimalSeparator(QChar separator) {
    g_separator = separator;
}

void InitDecimalSeparatorFromSystem() {
    const QString point = QLocale::system().decimalPoint();
    g_separator = point.isEmpty() ? QLatin1Char('.') : point.at(0);
}

QString FormatFixed(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    return text.replace(QLatin1Char('.'), g_separator);
}

QString FormatSigned(double value, int decimals) {
    QString text = FormatFixed(std::fabs(value), decimals);
    const bool zero = std::all_of(text.begin(), text.end(),
                                  [](QChar c) { return !c.isDigit() || c == QLatin1Char('0'); });
    if (zero)
        return text;
    return (value < 0 ? QStringLiteral("-") : QStringLiteral("+")) + text;
}

} // namespace vrma
