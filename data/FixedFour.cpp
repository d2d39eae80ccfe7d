// The four-decimal format (FormatFixed4) and its formatter for long runs of values.
#include "data/FixedFour.h"

#include "data/Locale.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

namespace vrma {

namespace {

constexpr double kExactLimit = 1e14; // below it the fourth decimal is within 18 digits

__extension__ typedef unsigned __int128 Unsigned128;

// The value in units of the fourth decimal, rounded to the nearest with ties away from
// zero, for a finite magnitude below 10^14. The exact binary value decides: the magnitude
// is M * 2^-shift with an integer M < 2^53, so magnitude * 10^4 is M * 10^4 (below 2^67)
// over 2^shift, whose quotient and remainder are exact in 128 bits.
quint64 FourDecimalUnits(double magnitude) {
    if (magnitude < 1e-5)
        return 0; // below a tenth of a unit (and so every subnormal)
    const auto bits = std::bit_cast<quint64>(magnitude);
    const quint64 mantissa = (bits & ((quint64(1) << 52) - 1)) | (quint64(1) << 52);
    const int shift = 1075 - static_cast<int>(bits >> 52); // 6 ... 69 here
    const Unsigned128 scaled = Unsigned128(mantissa) * 10000u;
    const Unsigned128 half = Unsigned128(1) << (shift - 1);
    const auto units = static_cast<quint64>(scaled >> shift);
    return units + ((scaled & ((half << 1) - 1)) >= half ? 1 : 0);
}

// The text of a number of units of the fourth decimal: the integer part without leading
// zeros (at least one digit), the separator, four decimals.
QString UnitsText(quint64 units, bool negative, QChar separator) {
    char16_t digits[24];
    char16_t* const end = digits + std::size(digits);
    char16_t* p = end;
    for (int k = 0; k < 4; ++k) {
        *--p = static_cast<char16_t>(u'0' + units % 10);
        units /= 10;
    }
    *--p = separator.unicode();
    do {
        *--p = static_cast<char16_t>(u'0' + units % 10);
        units /= 10;
    } while (units != 0);
    if (negative)
        *--p = u'-';
    return QString(reinterpret_cast<const QChar*>(p), end - p);
}

// Adds one unit in the last place of the decimal text [first, last), which may hold a
// '.'; on a carry out of the first digit a '1' is written before it and first moves back
// (the caller leaves room for it).
void RoundUpDecimal(char*& first, char* last) {
    for (char* p = last; p != first;) {
        --p;
        if (*p == '.')
            continue;
        if (*p != '9') {
            ++*p;
            return;
        }
        *p = '0';
    }
    *--first = '1';
}

// From 10^14 on the value's decimal expansion is short enough to be written out exactly
// (it is a multiple of 1/64), and it is rounded to 18 significant digits by hand, the
// decimals after them being zeros.
QString LargeFixed4(double value, QChar separator) {
    const double magnitude = std::fabs(value);
    char buffer[400];
    char* first = buffer + 1; // room for a carry digit
    char* last = std::to_chars(first, std::end(buffer), magnitude, std::chars_format::fixed, 6).ptr;
    const char* point = static_cast<const char*>(std::memchr(first, '.', size_t(last - first)));
    const std::ptrdiff_t integerDigits = point - first;
    // Position of the 19th significant digit (the first is never zero here).
    char* nineteenth = first + (integerDigits >= 19 ? 18 : 19);
    const bool up = *nineteenth >= '5';
    for (char* p = nineteenth; p != last; ++p)
        if (*p != '.')
            *p = '0';
    if (up)
        RoundUpDecimal(first, nineteenth);
    last -= 2; // six decimals to four

    QString text;
    text.reserve(last - first + 1);
    if (value < 0)
        text += QLatin1Char('-');
    for (const char* p = first; p != last; ++p)
        text += *p == '.' ? separator : QLatin1Char(*p);
    return text;
}

QString NonFiniteText(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

} // namespace

QString FormatFixed4(double value) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const double magnitude = std::fabs(value);
    if (magnitude < kExactLimit) {
        const quint64 units = FourDecimalUnits(magnitude);
        return UnitsText(units, value < 0 && units != 0, DecimalSeparator());
    }
    return LargeFixed4(value, DecimalSeparator());
}

FixedFourTexts::FixedFourTexts() : separator_(DecimalSeparator()), cache_(kCacheSize) {}

FixedFourTexts::~FixedFourTexts() = default;

QString FixedFourTexts::operator()(double value) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const double magnitude = std::fabs(value);
    if (magnitude >= kExactLimit)
        return LargeFixed4(value, separator_);
    const quint64 units = FourDecimalUnits(magnitude);
    const bool negative = value < 0 && units != 0;
    const quint64 key = units << 1 | (negative ? 1 : 0); // units < 2^60
    Entry& entry = cache_[static_cast<std::size_t>(key >> 1 ^ key << 11) & (kCacheSize - 1)];
    if (entry.key != key || entry.text.isNull()) {
        entry.key = key;
        entry.text = UnitsText(units, negative, separator_);
    }
    return entry.text;
}

} // namespace vrma
