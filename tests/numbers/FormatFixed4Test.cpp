// The four-decimal format, checked against an exact decimal expansion of each double.
#include "SeparatorGuard.h"
#include "data/Procedures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using vrma::FormatFixed4;

// ---- An independent reference: exact expansion with a small base-10^9 big integer. ----

struct Decimal {
    std::string integer;  // no leading zeros ("0" below one)
    std::string fraction; // exact, possibly long
};

using Limbs = std::vector<std::uint64_t>; // base 10^9, little-endian

void Multiply(Limbs& a, std::uint64_t factor) {
    std::uint64_t carry = 0;
    for (auto& limb : a) {
        const std::uint64_t t = limb * factor + carry;
        limb = t % 1000000000;
        carry = t / 1000000000;
    }
    while (carry) {
        a.push_back(carry % 1000000000);
        carry /= 1000000000;
    }
}

std::string ToText(const Limbs& a) {
    std::string s = std::to_string(a.back());
    for (std::size_t i = a.size() - 1; i-- > 0;) {
        const std::string part = std::to_string(a[i]);
        s += std::string(9 - part.size(), '0') + part;
    }
    return s;
}

Decimal ExactDecimal(double magnitude) {
    int exponent = 0;
    const double fraction = std::frexp(magnitude, &exponent);
    std::uint64_t mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    exponent -= 53;
    Limbs big{mantissa % 1000000000, mantissa / 1000000000 % 1000000000,
              mantissa / 1000000000000000000};
    while (big.size() > 1 && big.back() == 0)
        big.pop_back();
    if (exponent >= 0) {
        for (int left = exponent; left > 0; left -= 29)
            Multiply(big, std::uint64_t(1) << std::min(left, 29));
        return {ToText(big), ""};
    }
    for (int left = -exponent; left > 0; left -= 13) { // m * 5^k / 10^k
        std::uint64_t power = 1;
        for (int i = 0; i < std::min(left, 13); ++i)
            power *= 5;
        Multiply(big, power);
    }
    std::string digits = ToText(big);
    const std::size_t places = static_cast<std::size_t>(-exponent);
    if (digits.size() <= places)
        digits.insert(0, places - digits.size() + 1, '0');
    return {digits.substr(0, digits.size() - places), digits.substr(digits.size() - places)};
}

// Four decimals, never more than 18 significant digits, halves (exact) away from zero.
std::string ReferenceFixed4(double value) {
    const Decimal exact = ExactDecimal(std::fabs(value));
    std::string digits = exact.integer + exact.fraction + std::string(30, '0');
    const std::size_t point = exact.integer.size();
    std::size_t firstSignificant = digits.find_first_not_of('0');
    if (firstSignificant == std::string::npos)
        firstSignificant = digits.size();
    const std::size_t keep = std::min(point + 4, firstSignificant + 18);
    const bool up = keep < digits.size() && digits[keep] >= '5';
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
    std::string text = digits.substr(0, digits.size() - 4) + "." + digits.substr(digits.size() - 4);
    while (text.size() > 6 && text[0] == '0' && text[1] != '.')
        text.erase(0, 1);
    if (value < 0 && text.find_first_not_of("0.") != std::string::npos)
        return std::string(1, '-') + text;
    return text;
}

// ---- The cases ----

TEST(FormatFixed4Test, ExamplesUnderBothSeparators) {
    for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
        SeparatorGuard guard(separator);
        const QString s(separator);
        EXPECT_EQ(FormatFixed4(1), QStringLiteral("1") + s + QStringLiteral("0000"));
        EXPECT_EQ(FormatFixed4(0.99871), QStringLiteral("0") + s + QStringLiteral("9987"));
        EXPECT_EQ(FormatFixed4(-2.5), QStringLiteral("-2") + s + QStringLiteral("5000"));
        EXPECT_EQ(FormatFixed4(360), QStringLiteral("360") + s + QStringLiteral("0000"));
        EXPECT_EQ(FormatFixed4(1234567.25), QStringLiteral("1234567") + s + QStringLiteral("2500"));
    }
}

TEST(FormatFixed4Test, RoundingAtTheFourthDecimal) {
    SeparatorGuard guard(QLatin1Char('.'));
    // Exact halves go away from zero.
    EXPECT_EQ(FormatFixed4(0.03125), "0.0313");
    EXPECT_EQ(FormatFixed4(-0.03125), "-0.0313");
    EXPECT_EQ(FormatFixed4(0.15625), "0.1563");
    EXPECT_EQ(FormatFixed4(2.03125), "2.0313");
    EXPECT_EQ(FormatFixed4(-7.96875), "-7.9688");
    // Otherwise the exact binary value decides.
    EXPECT_EQ(FormatFixed4(99999.99995), "99999.9999"); // just below the half
    EXPECT_EQ(FormatFixed4(9.99995), "10.0000");        // just above it
    EXPECT_EQ(FormatFixed4(0.00005), "0.0001");
    EXPECT_EQ(FormatFixed4(0.12345), "0.1235");
    // A value that rounds to zero has no sign.
    EXPECT_EQ(FormatFixed4(-0.00001), "0.0000");
    EXPECT_EQ(FormatFixed4(-0.0), "0.0000");
    EXPECT_EQ(FormatFixed4(0), "0.0000");
    EXPECT_EQ(FormatFixed4(-0.00005), "-0.0001");
}

TEST(FormatFixed4Test, NoMoreThanEighteenSignificantDigits) {
    SeparatorGuard guard(QLatin1Char(','));
    // 123456789012345.671875 exactly: the 18th digit is the third decimal.
    EXPECT_EQ(FormatFixed4(123456789012345.6789), "123456789012345,6720");
    // 100000000000000.0625 exactly: a half at the 18th digit goes away from zero.
    EXPECT_EQ(FormatFixed4(100000000000000.0625), "100000000000000,0630");
    EXPECT_EQ(FormatFixed4(-1000000000000000.125), "-1000000000000000,1300");
    EXPECT_EQ(FormatFixed4(1e20), "100000000000000000000,0000");
    // 123456789012345685803008 exactly
    EXPECT_EQ(FormatFixed4(123456789012345678901234.0), "123456789012345686000000,0000");
    EXPECT_EQ(FormatFixed4(99999999999999.98), "99999999999999,9844"); // 18 digits, all kept
}

TEST(FormatFixed4Test, NonFiniteValues) {
    EXPECT_EQ(FormatFixed4(std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatFixed4(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(FormatFixed4(-std::numeric_limits<double>::infinity()), "-INF");
}

TEST(FormatFixed4Test, ReferenceAgreesOnTheWrittenExamples) {
    // The reference itself reproduces the hand-made cases above.
    EXPECT_EQ(ReferenceFixed4(0.03125), "0.0313");
    EXPECT_EQ(ReferenceFixed4(-0.00001), "0.0000");
    EXPECT_EQ(ReferenceFixed4(100000000000000.0625), "100000000000000.0630");
    EXPECT_EQ(ReferenceFixed4(123456789012345678901234.0), "123456789012345686000000.0000");
}

void ExpectLikeReference(double v) {
    ASSERT_EQ(FormatFixed4(v).toStdString(), ReferenceFixed4(v)) << std::hexfloat << v;
}

TEST(FormatFixed4Test, ValuesNextToRoundingTies) {
    SeparatorGuard guard(QLatin1Char('.'));
    std::mt19937_64 random(5);
    int exactTies = 0;
    for (int i = 0; i < 20000; ++i) {
        // An exact half at the fourth decimal: an odd multiple of 1/32 ...
        const double whole = double(random() % (std::uint64_t(1) << (i % 46)));
        const double tie = whole + double(2 * (random() % 16) + 1) / 32;
        const double sign = i % 2 ? -1.0 : 1.0;
        for (double v : {tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300)}) {
            ExpectLikeReference(sign * v);
        }
        if (tie < 1e14)
            ++exactTies;
        // ... and the nearest doubles to decimal halves, which lie just beside them.
        char text[64];
        const int n = std::snprintf(text, sizeof text, "%llu.%04llu5",
                                    static_cast<unsigned long long>(random() % 100000000000ULL),
                                    static_cast<unsigned long long>(random() % 10000));
        double near = 0;
        std::from_chars(text, text + n, near);
        ExpectLikeReference(sign * near);
        ExpectLikeReference(sign * std::nextafter(near, 0.0));
        ExpectLikeReference(sign * std::nextafter(near, 1e300));
    }
    EXPECT_GT(exactTies, 10000);
}

TEST(FormatFixed4Test, LargeValuesAndTheirHalvesAtTheEighteenthDigit) {
    SeparatorGuard guard(QLatin1Char('.'));
    std::mt19937_64 random(9);
    for (int i = 0; i < 20000; ++i) {
        // 1e14 .. 2^53: multiples of 1/64 .. 1, halves at the 18th digit among them
        const double base = std::ldexp(1.0, 46 + int(random() % 7));
        const double v = base + double(random() % (std::uint64_t(1) << 40)) / 64 * (i % 3 + 1);
        ExpectLikeReference(v);
        ExpectLikeReference(-v);
        // beyond: integers up to the largest double
        const double big = std::ldexp(double(random() >> 11 | 1), 10 + int(random() % 960));
        ExpectLikeReference(big);
    }
    ExpectLikeReference(std::numeric_limits<double>::max());
}

TEST(FormatFixed4Test, RandomDoublesOfEveryMagnitude) {
    SeparatorGuard guard(QLatin1Char('.'));
    std::mt19937_64 random(13);
    for (int i = 0; i < 20000; ++i) {
        double v;
        const std::uint64_t bits = random();
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v))
            continue;
        ExpectLikeReference(v);
        // and values of everyday size
        ExpectLikeReference(std::ldexp(double(random() >> 11), -int(random() % 60)));
    }
    ExpectLikeReference(std::numeric_limits<double>::denorm_min());
    ExpectLikeReference(-std::numeric_limits<double>::min());
}

// ---- The formatter of long runs of values ----

using vrma::FixedFourTexts;

// Values that land in every slot of the formatter's store and meet earlier ones there:
// ratios near 1 (the calibration's), values that round to a signed or unsigned zero,
// exact ties, large and non-finite values, and random doubles of every size.
std::vector<double> MixedRun() {
    std::mt19937_64 random(21);
    std::normal_distribution<double> ratio(1.0023, 0.05);
    std::vector<double> values = {0.0,
                                  -0.0,
                                  -0.00004,
                                  0.00004,
                                  -0.00005,
                                  0.03125,
                                  -0.03125,
                                  1e14,
                                  -2e15,
                                  1e300,
                                  -1e-300,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < 60000; ++i) {
        values.push_back(ratio(random));
        values.push_back(-ratio(random));
        values.push_back(std::ldexp(double(random() >> 11), -int(random() % 70)));
    }
    return values;
}

TEST(FixedFourTextsTest, SameTextsAsFormatFixed4UnderBothSeparators) {
    const std::vector<double> values = MixedRun();
    for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
        SeparatorGuard guard(separator);
        FixedFourTexts fixed4;
        for (double v : values)
            ASSERT_EQ(fixed4(v), FormatFixed4(v)) << std::hexfloat << v;
        // And once more, now that the store is full of other values' texts.
        for (auto it = values.rbegin(); it != values.rend(); ++it)
            ASSERT_EQ(fixed4(*it), FormatFixed4(*it)) << std::hexfloat << *it;
    }
}

TEST(FixedFourTextsTest, EqualTextsShareOneString) {
    SeparatorGuard guard(QLatin1Char('.'));
    FixedFourTexts fixed4;
    const QString first = fixed4(1.00231);
    const QString second = fixed4(1.00229); // also 1.0023
    EXPECT_EQ(second, "1.0023");
    EXPECT_TRUE(second.isSharedWith(first));
    // A negative value and its magnitude differ, and so do their strings.
    const QString negative = fixed4(-1.00231);
    EXPECT_EQ(negative, "-1.0023");
    EXPECT_FALSE(negative.isSharedWith(first));
    // A negative value that rounds to zero shares the text of zero.
    EXPECT_TRUE(fixed4(-0.00001).isSharedWith(fixed4(0.0)));
}

TEST(FixedFourTextsTest, SeparatorIsTheOneOfItsMaking) {
    SeparatorGuard guard(QLatin1Char(','));
    FixedFourTexts fixed4;
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    EXPECT_EQ(fixed4(2.5), "2,5000");
    EXPECT_EQ(fixed4(123456789012345.6789), "123456789012345,6720");
}

// The shorter fixed texts of the windows and reports: the separator of the moment, and a
// sign only on a deviation that does not round to zero.
TEST(FormatFixedTest, SeparatorAndSign) {
    SeparatorGuard guard(QLatin1Char(','));
    EXPECT_EQ(vrma::FormatFixed(1.005, 1), "1,0");
    EXPECT_EQ(vrma::FormatFixed(-2.25, 3), "-2,250");
    EXPECT_EQ(vrma::FormatSigned(1.254, 2), "+1,25");
    EXPECT_EQ(vrma::FormatSigned(-0.4, 2), "-0,40");
    EXPECT_EQ(vrma::FormatSigned(-0.004, 2), "0,00");
    EXPECT_EQ(vrma::FormatSigned(0.0, 6), "0,000000");
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    EXPECT_EQ(vrma::FormatSigned(-12.5, 1), "-12.5");
}

} // namespace
