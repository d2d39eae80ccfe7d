#include "data/Locale.h"

#include <QLocale>

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

} // namespace vrma
