// The four-decimal format against an exact decimal reference on a million doubles.
//
// The reference writes out the binary value m x 2^e of each double in full decimal:
// m x 2^e for e >= 0 (an integer), m x 5^-e with the point -e places from the right for
// e < 0. It then rounds once, at the fourth decimal or at the 18th significant digit,
// whichever comes first, the first dropped digit deciding (5 and above: away from zero,
// which also sends exact halves away from zero); the digits after the 18th significant
// digit are zeros. A result of zero carries no sign.
//
// The number of values can be lowered for slow builds (the sanitizer build) with the
// environment variable VRMA_FIXED4_PROPERTY_COUNT.
#include "data/Procedures.h"
#include "platform/Locale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kBase = 1000000000; // limbs in base 10^9, least significant first
using Limbs = std::vector<std::uint32_t>;

void MultiplySmall(Limbs& a, std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : a) {
        const std::uint64_t t = std::uint64_t(limb) * factor + carry;
        limb = static_cast<std::uint32_t>(t % kBase);
        carry = t / kBase;
    }
    while (carry != 0) {
        a.push_back(static_cast<std::uint32_t>(carry % kBase));
        carry /= kBase;
    }
}

// a x m for a mantissa m < 2^53 (two limbs of base 10^9).
Limbs MultiplyMantissa(const Limbs& a, std::uint64_t m) {
    const std::uint64_t m0 = m % kBase;
    const std::uint64_t m1 = m / kBase;
    Limbs out(a.size() + 3, 0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        // Each partial product < 10^18; added to a limb and a carry it stays below 2^64.
        std::uint64_t t = out[i] + a[i] * m0;
        out[i] = static_cast<std::uint32_t>(t % kBase);
        std::uint64_t carry = t / kBase;
        t = out[i + 1] + a[i] * m1 + carry;
        out[i + 1] = static_cast<std::uint32_t>(t % kBase);
        carry = t / kBase;
        for (std::size_t j = i + 2; carry != 0; ++j) {
            t = out[j] + carry;
            out[j] = static_cast<std::uint32_t>(t % kBase);
            carry = t / kBase;
        }
    }
    while (out.size() > 1 && out.back() == 0)
        out.pop_back();
    return out;
}

std::string Digits(const Limbs& a) {
    std::string s = std::to_string(a.back());
    for (std::size_t i = a.size() - 1; i-- > 0;) {
        const std::string part = std::to_string(a[i]);
        s.append(9 - part.size(), '0');
        s += part;
    }
    return s;
}

// Powers of two and of five in base 10^9, made once.
struct Powers {
    std::vector<Limbs> two;  // 2^0 .. 2^971 (the largest exponent of an integer mantissa)
    std::vector<Limbs> five; // 5^0 .. 5^1074 (the smallest subnormal is 2^-1074)
    Powers() {
        two.push_back({1});
        for (int k = 1; k <= 971; ++k) {
            two.push_back(two.back());
            MultiplySmall(two.back(), 2);
        }
        five.push_back({1});
        for (int k = 1; k <= 1074; ++k) {
            five.push_back(five.back());
            MultiplySmall(five.back(), 5);
        }
    }
};

const Powers& ThePowers() {
    static const Powers powers;
    return powers;
}

// The exact decimal expansion of |value| as integer digits and fraction digits.
void ExactExpansion(double value, std::string& integer, std::string& fraction) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t m = bits & ((std::uint64_t(1) << 52) - 1);
    int e;
    if (biased == 0) {
        e = -1074; // subnormal (or zero)
    } else {
        m |= std::uint64_t(1) << 52;
        e = biased - 1075;
    }
    if (e >= 0) {
        integer = Digits(MultiplyMantissa(ThePowers().two[static_cast<std::size_t>(e)], m));
        fraction.clear();
        return;
    }
    const std::size_t places = static_cast<std::size_t>(-e);
    std::string digits = Digits(MultiplyMantissa(ThePowers().five[places], m));
    if (digits.size() <= places)
        digits.insert(0, places - digits.size() + 1, '0');
    integer = digits.substr(0, digits.size() - places);
    fraction = digits.substr(digits.size() - places);
}

// `cut` (optional) tells whether the 18-digit rule decided the place of the rounding.
std::string Reference(double value, bool* cut = nullptr) {
    std::string integer;
    std::string fraction;
    ExactExpansion(value, integer, fraction);
    // All the digits, the point after integer.size() of them.
    std::string digits = integer + fraction;
    const std::size_t point = integer.size();
    digits.append(point + 5 > digits.size() ? point + 5 - digits.size() : 0, '0');
    const std::size_t first = digits.find_first_not_of('0');
    std::size_t keep = point + 4;
    if (first != std::string::npos && first + 18 < keep)
        keep = first + 18;
    if (cut != nullptr)
        *cut = keep < point + 4;
    const bool up = digits[keep] >= '5';
    digits.resize(point + 4);
    for (std::size_t i = keep; i < digits.size(); ++i)
        digits[i] = '0';
    if (up) {
        std::size_t i = keep;
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[i - 1];
    }
    const std::size_t integerDigits = digits.size() - 4;
    std::size_t start = 0;
    while (start + 1 < integerDigits && digits[start] == '0')
        ++start;
    std::string text =
        digits.substr(start, integerDigits - start) + "." + digits.substr(integerDigits);
    if (std::signbit(value) && digits.find_first_not_of('0') != std::string::npos)
        text.insert(text.begin(), '-');
    return text;
}

int ValueCount() {
    const char* text = std::getenv("VRMA_FIXED4_PROPERTY_COUNT");
    if (text != nullptr && *text != '\0')
        return std::max(1, std::atoi(text));
    return 1000000;
}

class FormatFixed4Property : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = vrma::DecimalSeparator();
        vrma::SetDecimalSeparator(QLatin1Char('.'));
    }
    void TearDown() override { vrma::SetDecimalSeparator(previous_); }
    QChar previous_;
};

TEST_F(FormatFixed4Property, TheReferenceItself) {
    // Hand-checked expansions and roundings, so that the reference is not merely
    // consistent with the formatter.
    std::string integer;
    std::string fraction;
    ExactExpansion(0.1, integer, fraction);
    EXPECT_EQ(integer, "0");
    // 0.1 is 0x1999999999999A x 2^-56: 56 places, the last a zero (the mantissa is even)
    EXPECT_EQ(fraction, "10000000000000000555111512312578270211815834045410156250");
    ExactExpansion(std::ldexp(1.0, 64), integer, fraction);
    EXPECT_EQ(integer, "18446744073709551616");
    EXPECT_EQ(fraction, "");
    ExactExpansion(std::numeric_limits<double>::denorm_min(), integer, fraction);
    EXPECT_EQ(fraction.size(), 1074u);
    EXPECT_EQ(fraction.substr(fraction.size() - 5), "65625"); // 5^1074 ends in ...5
    EXPECT_EQ(fraction.substr(0, 323), std::string(323, '0'));
    EXPECT_EQ(fraction.substr(323, 6), "494065"); // 4.94065...e-324
    ExactExpansion(std::numeric_limits<double>::max(), integer, fraction);
    EXPECT_EQ(integer.size(), 309u);
    EXPECT_EQ(integer.substr(0, 10), "1797693134");

    EXPECT_EQ(Reference(0.0), "0.0000");
    EXPECT_EQ(Reference(-0.0), "0.0000");
    EXPECT_EQ(Reference(1), "1.0000");
    EXPECT_EQ(Reference(0.99871), "0.9987");
    EXPECT_EQ(Reference(-2.5), "-2.5000");
    EXPECT_EQ(Reference(360), "360.0000");
    EXPECT_EQ(Reference(0.03125), "0.0313");       // an exact half: away from zero
    EXPECT_EQ(Reference(-0.03125), "-0.0313");     // on both sides
    EXPECT_EQ(Reference(0.00005), "0.0001");       // 5.00000000000000023960868e-05
    EXPECT_EQ(Reference(1.00005), "1.0001");       // 1.00005000000000010551...
    EXPECT_EQ(Reference(-0.00004), "0.0000");      // no sign on zero
    EXPECT_EQ(Reference(9999.99995), "9999.9999"); // 9999.99994999999944411...
    EXPECT_EQ(Reference(9999.99996), "10000.0000");
    // From 10^14 on the 18th significant digit comes before the fourth decimal.
    EXPECT_EQ(Reference(100000000000000.0625), "100000000000000.0630");
    EXPECT_EQ(Reference(1e20), "100000000000000000000.0000");
    EXPECT_EQ(Reference(123456789012345678901234.0), "123456789012345686000000.0000");
}

// Values of every magnitude, with a fixed seed:
//  - any bit pattern (the binary exponent uniform over its whole range);
//  - a random mantissa with a binary exponent between -20 and 70, where the fourth
//    decimal and the 18th digit meet the value's own digits;
//  - exact halves at the fourth decimal (odd multiples of 1/32) and their neighbours;
//  - the doubles nearest to decimal halves d.dddd5 and their neighbours.
double NextValue(std::mt19937_64& random, int i) {
    switch (i % 4) {
    case 0: {
        for (;;) {
            const std::uint64_t bits = random();
            double v;
            std::memcpy(&v, &bits, sizeof v);
            if (std::isfinite(v))
                return v;
        }
    }
    case 1: {
        const double m = double(random() >> 11) / double(std::uint64_t(1) << 53);
        const double v = std::ldexp(m, int(random() % 91) - 20);
        return random() % 2 ? -v : v;
    }
    case 2: {
        const double whole = double(random() >> (11 + random() % 53));
        const double v = whole + double(2 * (random() % 16) + 1) / 32;
        const int step = int(random() % 3);
        const double near = step == 0 ? v : std::nextafter(v, step == 1 ? 0.0 : 1e308);
        return random() % 2 ? -near : near;
    }
    default: {
        // digits.dddd5 exactly, as the nearest double
        const std::uint64_t scaled = (random() >> (14 + random() % 40)) * 10 + 5;
        const double v = double(scaled) / 100000.0;
        const int step = int(random() % 3);
        const double near = step == 0 ? v : std::nextafter(v, step == 1 ? 0.0 : 1e308);
        return random() % 2 ? -near : near;
    }
    }
}

TEST_F(FormatFixed4Property, AMillionDoublesOfEveryMagnitude) {
    const int count = ValueCount();
    std::mt19937_64 random(20240611);
    int failures = 0;
    int cutAtEighteen = 0; // values where the 18-digit rule decided
    for (int i = 0; i < count; ++i) {
        const double v = NextValue(random, i);
        bool cut = false;
        const std::string expected = Reference(v, &cut);
        cutAtEighteen += cut;
        const QString actual = vrma::FormatFixed4(v);
        if (actual.toLatin1().toStdString() != expected) {
            if (++failures <= 20)
                ADD_FAILURE() << std::hexfloat << v << std::defaultfloat << ": got "
                              << actual.toStdString() << ", expected " << expected;
        }
    }
    EXPECT_EQ(failures, 0) << "of " << count;
    // Both rules were exercised (about half of the bit patterns are 10^14 or more).
    if (count >= 1000) {
        EXPECT_GT(cutAtEighteen, count / 40);
    }
}

TEST_F(FormatFixed4Property, TheSeparatorIsTheRegionalOne) {
    std::mt19937_64 random(7);
    vrma::SetDecimalSeparator(QLatin1Char(','));
    for (int i = 0; i < 2000; ++i) {
        const double v = NextValue(random, i);
        std::string expected = Reference(v);
        expected[expected.find('.')] = ',';
        ASSERT_EQ(vrma::FormatFixed4(v).toLatin1().toStdString(), expected);
    }
}

} // namespace
