#pragma once
// The user's regional decimal separator.
#include <QChar>
#include <QString>

namespace vrma {

// Read once at start-up from QLocale::system() (LC_ALL, LC_NUMERIC, LANG); "." until then.
QChar DecimalSeparator();
void SetDecimalSeparator(QChar separator);
// Sets the separator from QLocale::system(); called once by the start-up code.
void InitDecimalSeparatorFromSystem();

// Fixed notation with `decimals` digits after DecimalSeparator() (what the windows, the
// reports and the command's own lines show; the files have their own formats).
QString FormatFixed(double value, int decimals);
// The same with a sign for a deviation ("+1,25", "-0,40"); a value that rounds to zero
// has none ("0,00").
QString FormatSigned(double value, int decimals);

} // namespace vrma
