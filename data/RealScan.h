#pragma once
// The real-number syntax as a scanner over characters of any width, shared by the
// text routines (ParseReal) and the byte-level coordinate-file reader, so that both
// accept exactly the same texts and give exactly the same values.
#include <optional>

namespace vrma {

// A real found by ScanReal: the mantissa and exponent as they stand in the text,
// without the sign and the blanks.
template <class C> struct RealText {
    const C* begin = nullptr;     // first character of the mantissa
    const C* end = nullptr;       // one past the last digit of the exponent or mantissa
    const C* separator = nullptr; // the decimal separator inside the mantissa, if any
    bool negative = false;
};

// Scans "[blanks][sign]mantissa[exponent][blanks]" from p and returns the position after
// the trailing blanks, or nullptr when no real starts at p. The caller decides whether
// the character at the returned position may follow a number. Blanks are spaces only.
//
// The mantissa is digits with an optional separator and further digits; at least one
// digit or the separator must be present, so "5", "5.", ".5" and also a lone "." (zero)
// are mantissas. The formatter never writes a lone separator; it is accepted because the
// syntax admits a mantissa made of the separator alone. The exponent is E or e, an
// optional sign and at least one digit. A separator that can never occur in the text
// (useSeparator false) makes every number with a fraction invalid.
template <class C>
const C* ScanReal(const C* p, const C* end, C separator, bool useSeparator, RealText<C>& out) {
    const auto isDigit = [](C c) { return c >= C('0') && c <= C('9'); };
    while (p != end && *p == C(' '))
        ++p;
    out.negative = false;
    if (p != end && (*p == C('+') || *p == C('-'))) {
        out.negative = *p == C('-');
        ++p;
    }
    out.begin = p;
    out.separator = nullptr;
    while (p != end && isDigit(*p))
        ++p;
    if (useSeparator && p != end && *p == separator) {
        out.separator = p;
        ++p;
        while (p != end && isDigit(*p))
            ++p;
    }
    if (p == out.begin)
        return nullptr; // neither a digit nor the separator
    if (p != end && (*p == C('E') || *p == C('e'))) {
        ++p;
        if (p != end && (*p == C('+') || *p == C('-')))
            ++p;
        const C* digits = p;
        while (p != end && isDigit(*p))
            ++p;
        if (p == digits)
            return nullptr;
    }
    out.end = p;
    while (p != end && *p == C(' '))
        ++p;
    return p;
}

// The value of a scanned real: the text rounded correctly to a double (nullopt beyond
// the range of a double; a value too small for a double reads as a subnormal or zero).
std::optional<double> RealValueDouble(const RealText<char>& text);
std::optional<double> RealValueDouble(const RealText<char16_t>& text);
// The same for long double (nullopt beyond the range of a long double).
std::optional<long double> RealValueLong(const RealText<char16_t>& text);

} // namespace vrma
