#include "editor/NumberTexts.h"

#include "data/Numbers.h"
#include "data/RealScan.h"
#include "platform/Locale.h"

#include <cstdlib>

namespace vrma {

QStringView RowNumberText::Of(int n) {
    char16_t* end = digits_.data() + digits_.size();
    char16_t* p = end;
    const bool negative = n < 0;
    auto u = negative ? 0u - static_cast<unsigned>(n) : static_cast<unsigned>(n);
    do {
        *--p = static_cast<char16_t>(u'0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (negative)
        *--p = u'-';
    return QStringView(p, end - p);
}

std::optional<QStringView> RealText15::Of(QStringView text) {
    const char16_t* begin = text.utf16();
    const char16_t* end = begin + text.size();
    const char16_t separator = DecimalSeparator().unicode();
    RealText<char16_t> real;
    const char16_t* after = ScanReal(begin, end, separator, true, real);
    if (after == nullptr || after != end)
        return std::nullopt;

    // The mantissa's digits: up to 15 significant ones, where the separator stands, and
    // the exponent.
    char16_t digits[15];
    int count = 0;         // significant digits kept (trailing zeros included)
    int beforePoint = 0;   // mantissa digits before the separator, leading zeros included
    int firstNonZero = -1; // index among the mantissa digits
    int index = 0;
    bool pointSeen = false;
    const char16_t* p = real.begin;
    for (; p != real.end && *p != u'E' && *p != u'e'; ++p) {
        if (p == real.separator) {
            pointSeen = true;
            continue;
        }
        if (!pointSeen)
            ++beforePoint;
        if (firstNonZero < 0 && *p != u'0')
            firstNonZero = index;
        if (firstNonZero >= 0) {
            if (count == 15) {
                if (*p != u'0')
                    return Slow(text); // more than 15 significant digits
                ++index;
                continue;
            }
            digits[count++] = *p;
        }
        ++index;
    }
    if (firstNonZero < 0)
        return QStringView(u"0"); // zero, whatever its sign
    while (digits[count - 1] == u'0')
        --count;

    long exponent = 0;
    if (p != real.end) {
        ++p; // E or e
        bool negative = false;
        if (*p == u'+' || *p == u'-')
            negative = *p++ == u'-';
        for (; p != real.end; ++p) {
            exponent = exponent * 10 + (*p - u'0');
            if (exponent > 100000)
                return Slow(text);
        }
        if (negative)
            exponent = -exponent;
    }
    // The decimal exponent of the first significant digit.
    exponent += beforePoint - firstNonZero - 1;
    if (exponent < -4900 || exponent > 307)
        return Slow(text); // near the ends of the range: subnormals and overflow

    char16_t* out = buffer_.data();
    if (real.negative)
        *out++ = u'-';
    const char16_t point = separator;
    if (exponent >= -4 && exponent < 15) {
        if (exponent >= 0) {
            for (int i = 0; i <= exponent; ++i)
                *out++ = i < count ? digits[i] : u'0';
            if (count > exponent + 1) {
                *out++ = point;
                for (int i = static_cast<int>(exponent) + 1; i < count; ++i)
                    *out++ = digits[i];
            }
        } else {
            *out++ = u'0';
            *out++ = point;
            for (long i = -1; i > exponent; --i)
                *out++ = u'0';
            for (int i = 0; i < count; ++i)
                *out++ = digits[i];
        }
    } else {
        *out++ = digits[0];
        if (count > 1) {
            *out++ = point;
            for (int i = 1; i < count; ++i)
                *out++ = digits[i];
        }
        *out++ = u'E';
        if (exponent < 0)
            *out++ = u'-';
        RowNumberText magnitude;
        for (QChar c : magnitude.Of(static_cast<int>(std::labs(exponent))))
            *out++ = c.unicode();
    }
    return QStringView(buffer_.data(), out - buffer_.data());
}

std::optional<QStringView> RealText15::Slow(QStringView text) {
    const std::optional<long double> value = ParseReal(text);
    // Coordinates are doubles: a value beyond a double's range is no coordinate.
    if (!value || !ParseRealDouble(text))
        return std::nullopt;
    slow_ = FormatGeneral15(*value);
    return QStringView(slow_);
}

} // namespace vrma
