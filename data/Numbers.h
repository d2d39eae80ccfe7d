#pragma once
// The number syntax of the data files and fields, and the 15-digit general format.
// Only this code decides the syntax: no C library or locale conversion is used to
// accept or reject a text. The decimal separator is DecimalSeparator().
#include <QString>
#include <QStringView>
#include <optional>

namespace vrma {

// Real syntax: leading blanks, optional sign, digits with an optional decimal
// separator and more digits (at least one digit or the separator: a lone separator
// reads as zero), optional exponent (E/e, optional sign, at least one digit), trailing
// blanks. Blanks are spaces only. The value is the text rounded correctly to the 64-bit
// mantissa of long double. Beyond the range of long double: nullopt; a value too small
// for it reads as a subnormal or zero.
std::optional<long double> ParseReal(QStringView text);

// The same syntax, the value rounded correctly to a double; a value beyond the
// range of a double is invalid (nullopt).
std::optional<double> ParseRealDouble(QStringView text);

// Integer syntax: leading blanks, optional sign, decimal digits (or the hexadecimal
// forms $1F / 0x1F), signed 32-bit range, nothing after the last digit.
std::optional<qint32> ParseInteger(QStringView text);

// The 15-digit general format (fixed for 0 and for 1e-4 <= |v| < 1e15 after rounding,
// otherwise d.dddE[-]x), with DecimalSeparator(). NaN and infinities give "NAN",
// "INF" and "-INF".
QString FormatGeneral15(long double value);

// Plain decimal integer ("-" for negatives, no grouping).
QString FormatInteger(qint64 value);

} // namespace vrma
