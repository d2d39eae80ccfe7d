#pragma once
// Checked arithmetic: a zero divisor (0 / 0 included) and any result beyond the range of
// a double are failures (CalcError), never carried on as infinities or NaN.
#include "data/Errors.h"

#include <QtGlobal>
#include <cmath>

namespace vrma::checked {

inline double Finite(double value) {
    if (!std::isfinite(value))
        throw CalcError("result beyond the range of a double");
    return value;
}

inline double Add(double a, double b) {
    return Finite(a + b);
}
inline double Sub(double a, double b) {
    return Finite(a - b);
}
inline double Mul(double a, double b) {
    return Finite(a * b);
}

inline double Div(double numerator, double divisor) {
    if (divisor == 0.0)
        throw CalcError(numerator == 0.0 ? "zero divided by zero" : "division by zero");
    return Finite(numerator / divisor);
}

// Truncation toward zero to a pixel coordinate; it must fit in 32 bits.
inline qint32 Trunc(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0))
        throw CalcError("pixel coordinate beyond 32 bits");
    return static_cast<qint32>(value);
}

} // namespace vrma::checked
