#include "data/Numbers.h"

#include "data/Locale.h"
#include "data/RealScan.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

namespace vrma {

namespace {

// ---------------------------------------------------------------------------------------
// Conversion of a validated real to its value.
//
// The canonical text handed to std::from_chars is ASCII with '.' as separator and without
// sign: digits, optional '.', digits, optional exponent. std::from_chars rounds correctly
// and does not depend on the locale. Texts of unusual length, and results beyond the range
// of the type, go through a normalising path that bounds the exponent first.

// Texts up to this length go to std::from_chars as they stand.
constexpr std::ptrdiff_t kDirectLength = 400;
// Significant digits kept by the normalising path; any further non-zero digit is kept as
// one sticky digit. Halfway points between neighbouring long doubles (subnormals included)
// have fewer significant digits than this, so the rounding is unaffected.
constexpr std::size_t kKeptDigits = 20000;

// Bounds on E for a value 0.ddd x 10^E: above kMaxE the value overflows for certain, below
// kMinE it rounds to zero for certain. Between them std::from_chars decides.
template <class F> struct DecimalRange;
template <> struct DecimalRange<double> {
    static constexpr std::int64_t kMaxE = 310;
    static constexpr std::int64_t kMinE = -324;
};
template <> struct DecimalRange<long double> {
    static constexpr std::int64_t kMaxE = 4934;
    static constexpr std::int64_t kMinE = -4952;
};

template <class F> F Signed(F value, bool negative) {
    return negative ? -value : value;
}

// A small unsigned big integer, little-endian 32-bit limbs, for the exact rounding of
// results below the normal range of long double.
using BigInt = std::vector<std::uint32_t>;

void Trim(BigInt& a) {
    while (!a.empty() && a.back() == 0)
        a.pop_back();
}

void MulAdd(BigInt& a, std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (std::uint32_t& limb : a) {
        const std::uint64_t t = std::uint64_t(limb) * factor + carry;
        limb = static_cast<std::uint32_t>(t);
        carry = t >> 32;
    }
    if (carry != 0)
        a.push_back(static_cast<std::uint32_t>(carry));
}

void ShiftLeft(BigInt& a, std::uint64_t bits) {
    if (a.empty())
        return;
    const std::size_t limbs = static_cast<std::size_t>(bits / 32);
    const unsigned rest = static_cast<unsigned>(bits % 32);
    if (rest != 0) {
        std::uint32_t carry = 0;
        for (std::uint32_t& limb : a) {
            const std::uint32_t next = limb >> (32 - rest);
            limb = (limb << rest) | carry;
            carry = next;
        }
        if (carry != 0)
            a.push_back(carry);
    }
    a.insert(a.begin(), limbs, 0u);
}

int Compare(const BigInt& a, const BigInt& b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = a.size(); i-- > 0;)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}

// a -= b, where a >= b.
void Subtract(BigInt& a, const BigInt& b) {
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::int64_t t = std::int64_t(a[i]) - borrow - (i < b.size() ? std::int64_t(b[i]) : 0);
        borrow = t < 0 ? 1 : 0;
        if (t < 0)
            t += std::int64_t(1) << 32;
        a[i] = static_cast<std::uint32_t>(t);
    }
    Trim(a);
}

// The value digits x 10^exp10 (digits: a decimal integer without sign), known to lie below
// the normal range of long double, rounded to the nearest subnormal (ties to even).
long double ExactSubnormal(const std::string& digits, std::int64_t exp10) {
    using L = std::numeric_limits<long double>;
    // The grid step of the subnormals is 2^-shift.
    const std::int64_t shift = -(std::int64_t(L::min_exponent) - L::digits);
    // value * 2^shift = digits * 2^(shift + exp10) / 5^(-exp10), with exp10 < 0 here.
    BigInt numerator;
    for (std::size_t i = 0; i < digits.size(); i += 9) {
        std::uint32_t chunk = 0;
        std::uint32_t scale = 1;
        for (std::size_t j = i; j < digits.size() && j < i + 9; ++j) {
            chunk = chunk * 10 + std::uint32_t(digits[j] - '0');
            scale *= 10;
        }
        MulAdd(numerator, scale, chunk);
    }
    Trim(numerator);
    BigInt denominator{1};
    for (std::int64_t left = -exp10; left > 0; left -= 13) {
        std::uint32_t factor = 1; // 5^min(left, 13)
        for (std::int64_t i = 0; i < left && i < 13; ++i)
            factor *= 5;
        MulAdd(denominator, factor, 0);
    }
    const std::int64_t twos = shift + exp10;
    if (twos >= 0)
        ShiftLeft(numerator, static_cast<std::uint64_t>(twos));
    else
        ShiftLeft(denominator, static_cast<std::uint64_t>(-twos));

    // The quotient is below 2^64, since the value lies below the normal range.
    std::uint64_t quotient = 0;
    BigInt rest = numerator;
    for (int bit = 63; bit >= 0; --bit) {
        BigInt step = denominator;
        ShiftLeft(step, static_cast<std::uint64_t>(bit));
        if (Compare(step, rest) <= 0) {
            Subtract(rest, step);
            quotient |= std::uint64_t(1) << bit;
        }
    }
    ShiftLeft(rest, 1);
    const int half = Compare(rest, denominator);
    if (half > 0 || (half == 0 && (quotient & 1) != 0))
        ++quotient;
    return std::ldexp(static_cast<long double>(quotient), -static_cast<int>(shift));
}

// The normalising path: any length of digits and of exponent.
template <class F> std::optional<F> FromNormalised(const char* p, const char* end, bool negative) {
    std::string digits;
    std::int64_t exp10 = 0; // value = 0.digits x 10^exp10
    bool nonzero = false;
    bool fraction = false;
    bool sticky = false;
    for (; p != end && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            fraction = true;
            continue;
        }
        if (!nonzero && *p == '0') {
            if (fraction)
                --exp10;
            continue;
        }
        nonzero = true;
        if (!fraction)
            ++exp10;
        if (digits.size() < kKeptDigits)
            digits.push_back(*p);
        else if (*p != '0')
            sticky = true;
    }
    std::int64_t exponent = 0;
    if (p != end) {
        ++p; // E
        bool expNegative = false;
        if (*p == '+' || *p == '-')
            expNegative = *p++ == '-';
        for (; p != end; ++p)
            if (exponent < 1000000000000000)
                exponent = exponent * 10 + (*p - '0');
        if (expNegative)
            exponent = -exponent;
    }
    if (!nonzero)
        return Signed(F(0), negative);
    exp10 += exponent;
    if (exp10 > DecimalRange<F>::kMaxE)
        return std::nullopt;
    if (exp10 < DecimalRange<F>::kMinE)
        return Signed(F(0), negative);
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    if (sticky)
        digits.push_back('1');
    const std::string canonical = "0." + digits + "e" + std::to_string(exp10);
    F value{};
    const auto result =
        std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
    if (result.ec == std::errc())
        return Signed(value, negative);
    if (exp10 > 0)
        return std::nullopt; // beyond the range
    // Below the normal range: double gets its subnormals from std::from_chars and reports
    // only a result of zero; long double is rounded to its subnormal grid here.
    if constexpr (std::is_same_v<F, long double>)
        return Signed(ExactSubnormal(digits, exp10 - std::int64_t(digits.size())), negative);
    else
        return Signed(F(0), negative);
}

// [p, end): a validated canonical text.
template <class F> std::optional<F> FromCanonical(const char* p, const char* end, bool negative) {
    if (end - p > kDirectLength)
        return FromNormalised<F>(p, end, negative);
    F value{};
    const auto result = std::from_chars(p, end, value);
    if (result.ec == std::errc() && result.ptr == end)
        return Signed(value, negative);
    if (result.ec == std::errc::invalid_argument) // a mantissa that is the separator alone
        return Signed(F(0), negative);
    return FromNormalised<F>(p, end, negative);
}

// Copies a scanned real into ASCII with '.' as its separator and converts it.
template <class F, class C> std::optional<F> FromText(const RealText<C>& text) {
    const std::size_t length = static_cast<std::size_t>(text.end - text.begin);
    std::array<char, 128> small;
    std::string large;
    char* out = small.data();
    if (length > small.size()) {
        large.resize(length);
        out = large.data();
    }
    for (std::size_t i = 0; i < length; ++i)
        out[i] = text.begin + i == text.separator ? '.' : static_cast<char>(text.begin[i]);
    return FromCanonical<F>(out, out + length, text.negative);
}

} // namespace

std::optional<double> RealValueDouble(const RealText<char>& text) {
    if (text.separator == nullptr || *text.separator == '.')
        return FromCanonical<double>(text.begin, text.end, text.negative);
    return FromText<double>(text);
}

std::optional<double> RealValueDouble(const RealText<char16_t>& text) {
    return FromText<double>(text);
}

std::optional<long double> RealValueLong(const RealText<char16_t>& text) {
    return FromText<long double>(text);
}

namespace {
// Scans the whole text as one real; false when it is not one.
bool ScanWhole(QStringView text, RealText<char16_t>& real) {
    const char16_t* begin = text.utf16();
    const char16_t* end = begin + text.size();
    const char16_t separator = DecimalSeparator().unicode();
    const char16_t* after = ScanReal(begin, end, separator, true, real);
    return after != nullptr && after == end;
}
} // namespace

std::optional<long double> ParseReal(QStringView text) {
    RealText<char16_t> real;
    if (!ScanWhole(text, real))
        return std::nullopt;
    return RealValueLong(real);
}

std::optional<double> ParseRealDouble(QStringView text) {
    RealText<char16_t> real;
    if (!ScanWhole(text, real))
        return std::nullopt;
    return RealValueDouble(real);
}

// Hexadecimal forms take the sign like decimal ones: "-$10" and "-0x10" are -16, and the
// magnitude must fit the signed 32-bit range as well ("$80000000" is invalid, "-$80000000"
// is the smallest integer). Both "0x" and "0X" are accepted.
std::optional<qint32> ParseInteger(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    const qint64 limit = negative ? qint64(1) << 31 : (qint64(1) << 31) - 1;
    qint64 magnitude = 0;
    const qsizetype first = i;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt; // nothing may follow the last digit
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    if (i == first)
        return std::nullopt;
    return static_cast<qint32>(negative ? -magnitude : magnitude);
}

namespace {

// Adds one unit in the last place of a string of decimal digits; true when a carry
// comes out of the first digit (the digits are then all zeros).
bool IncrementDigits(char* first, char* last) {
    while (last != first) {
        --last;
        if (*last != '9') {
            ++*last;
            return false;
        }
        *last = '0';
    }
    return true;
}

// True when n x 10^exp10 (n < 10^16) is exactly the long double `value`.
bool IsExactly(std::uint64_t n, int exp10, long double value) {
    if (exp10 >= 0) {
        for (int i = 0; i < exp10; ++i) {
            if (n > std::numeric_limits<std::uint64_t>::max() / 5)
                return false; // more significant bits than a long double holds
            n *= 5;
        }
        return std::ldexp(static_cast<long double>(n), exp10) == value;
    }
    for (int i = 0; i < -exp10; ++i) {
        if (n % 5 != 0)
            return false; // not a binary fraction
        n /= 5;
    }
    return std::ldexp(static_cast<long double>(n), exp10) == value;
}

// Scientific notation with the given precision, correctly rounded; a value that a double
// holds exactly takes the double's much faster conversion (the digits are the same).
std::to_chars_result Scientific(char* first, char* last, long double value, int precision) {
    const double asDouble = static_cast<double>(value);
    if (static_cast<long double>(asDouble) == value)
        return std::to_chars(first, last, asDouble, std::chars_format::scientific, precision);
    return std::to_chars(first, last, value, std::chars_format::scientific, precision);
}

// The 15 significant digits of |value| (finite, non-zero), rounded to nearest with exact
// ties away from zero, and the decimal exponent of the first digit.
void Digits15(long double magnitude, char (&digits)[15], int& exponent) {
    char text[64];
    // 16 digits, correctly rounded: unless the 16th is 5 they decide the 15-digit rounding.
    auto r = Scientific(text, text + sizeof text, magnitude, 15);
    const auto exponentOf = [&](const char* endOfText) {
        const char* e = text;
        while (*e != 'e')
            ++e;
        int x = 0;
        std::from_chars(e + (e[1] == '+' ? 2 : 1), endOfText, x);
        return x;
    };
    exponent = exponentOf(r.ptr);
    char sixteen[16];
    sixteen[0] = text[0];
    for (int i = 1; i < 16; ++i)
        sixteen[i] = text[i + 1];
    bool up = sixteen[15] > '5';
    if (sixteen[15] == '5') {
        std::uint64_t n = 0;
        for (char c : sixteen)
            n = n * 10 + std::uint64_t(c - '0');
        if (IsExactly(n, exponent - 15, magnitude)) {
            up = true; // an exact tie: away from zero
        } else {
            // Not a tie: the 15-digit conversion rounds correctly by itself.
            r = Scientific(text, text + sizeof text, magnitude, 14);
            exponent = exponentOf(r.ptr);
            digits[0] = text[0];
            for (int i = 1; i < 15; ++i)
                digits[i] = text[i + 1];
            return;
        }
    }
    for (int i = 0; i < 15; ++i)
        digits[i] = sixteen[i];
    if (up && IncrementDigits(digits, digits + 15)) {
        digits[0] = '1';
        ++exponent;
    }
}

} // namespace

QString FormatGeneral15(long double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0"); // negative zero too
    char digits[15];
    int exponent = 0;
    Digits15(std::fabs(value), digits, exponent);
    int count = 15;
    while (count > 1 && digits[count - 1] == '0')
        --count;

    const QChar separator = DecimalSeparator();
    QString out;
    out.reserve(24);
    if (value < 0)
        out += QLatin1Char('-');
    if (exponent >= -4 && exponent < 15) {
        if (exponent >= 0) {
            for (int i = 0; i <= exponent; ++i)
                out += QLatin1Char(i < count ? digits[i] : '0');
            if (count > exponent + 1) {
                out += separator;
                for (int i = exponent + 1; i < count; ++i)
                    out += QLatin1Char(digits[i]);
            }
        } else {
            out += QLatin1Char('0');
            out += separator;
            for (int i = -1; i > exponent; --i)
                out += QLatin1Char('0');
            for (int i = 0; i < count; ++i)
                out += QLatin1Char(digits[i]);
        }
    } else {
        out += QLatin1Char(digits[0]);
        if (count > 1) {
            out += separator;
            for (int i = 1; i < count; ++i)
                out += QLatin1Char(digits[i]);
        }
        out += QLatin1Char('E');
        out += QString::number(exponent);
    }
    return out;
}

QString FormatInteger(qint64 value) {
    return QString::number(value);
}

} // namespace vrma
