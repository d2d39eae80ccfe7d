#pragma once
// The user's regional decimal separator.
#include <QChar>

namespace vrma {

// Read once at start-up from QLocale::system() (LC_ALL, LC_NUMERIC, LANG); "." until then.
QChar DecimalSeparator();
void SetDecimalSeparator(QChar separator);
// Sets the separator from QLocale::system(); called once by the start-up code.
void InitDecimalSeparatorFromSystem();

} // namespace vrma
