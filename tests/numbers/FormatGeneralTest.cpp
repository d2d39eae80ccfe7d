// The 15-digit general format, the integer syntax and the plain integer text.
#include "SeparatorGuard.h"
#include "data/Numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

using vrma::FormatGeneral15;

struct GeneralCase {
    long double value;
    const char* text; // with ',' as separator
};

const GeneralCase kGeneral[] = {
    {12.5, "12,5"},
    {-3, "-3"},
    {0.0001, "0,0001"},
    {0.00005, "5E-5"},
    {0.00001, "1E-5"},
    {1e15 - 1, "999999999999999"},
    {1e15, "1E15"},
    {1.0 / 3.0, "0,333333333333333"},
    {0, "0"},
    {-0.0, "0"},
    {999999999999999.9, "1E15"}, // rounds to 15 digits first
    {0.000099999999999999999, "0,0001"},
    {-0.00001, "-1E-5"},
    {0.1, "0,1"},
    {100, "100"},
    {1e14, "100000000000000"},
    {123456789012345678.0, "1,23456789012346E17"},
    {0.000123456789012345678, "0,000123456789012346"},
    {1e300, "1E300"},
    {-1.5e-300, "-1,5E-300"},
    {2.5e-5, "2,5E-5"},
    {1.0L / 3.0L, "0,333333333333333"},
    {2.0L / 3.0L, "0,666666666666667"},
    {1e4000L, "1E4000"},
    // Exact ties at the 16th digit go away from zero.
    {100000000000000.5, "100000000000001"},
    {-100000000000000.5, "-100000000000001"},
    {10000000000000.25, "10000000000000,3"},
    {6557.0 / 65536.0, "0,100051879882813"}, // 0.1000518798828125 exactly
};

TEST(FormatGeneralTest, ExamplesUnderBothSeparators) {
    for (QChar separator : {QLatin1Char(','), QLatin1Char('.')}) {
        SeparatorGuard guard(separator);
        for (const GeneralCase& c : kGeneral) {
            QString expected = QString::fromLatin1(c.text);
            expected.replace(QLatin1Char(','), separator);
            EXPECT_EQ(FormatGeneral15(c.value), expected) << c.text;
        }
    }
}

TEST(FormatGeneralTest, NonFiniteValues) {
    EXPECT_EQ(FormatGeneral15(std::numeric_limits<long double>::quiet_NaN()), "NAN");
    EXPECT_EQ(FormatGeneral15(std::numeric_limits<long double>::infinity()), "INF");
    EXPECT_EQ(FormatGeneral15(-std::numeric_limits<long double>::infinity()), "-INF");
}

// The value a 15-digit text must have: the double's exact decimal expansion (800 digits
// hold every double exactly) rounded by hand to 15 significant digits, halves away from
// zero.
double Rounded15(double v) {
    char buffer[1000];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v),
                                 std::chars_format::scientific, 800);
    std::string digits;
    digits += buffer[0];
    digits.append(buffer + 2, buffer + 16); // 15 digits
    const char* e = std::find(buffer, r.ptr, 'e');
    // to_chars writes no terminating NUL: read the exponent up to the end of its output.
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), r.ptr, exponent);
    if (buffer[16] >= '5') {
        int i = 14;
        while (i >= 0 && digits[size_t(i)] == '9')
            digits[size_t(i--)] = '0';
        if (i < 0) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        } else {
            ++digits[size_t(i)];
        }
    }
    const std::string text = (v < 0 ? "-" : "") + digits + "e" + std::to_string(exponent - 14);
    double rounded = 0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return rounded;
}

TEST(FormatGeneralTest, RandomDoublesRoundTripAtFifteenDigits) {
    std::mt19937_64 random(11);
    for (QChar separator : {QLatin1Char(','), QLatin1Char('.')}) {
        SeparatorGuard guard(separator);
        for (int i = 0; i < 20000; ++i) {
            double v;
            if (i % 2) {
                const std::uint64_t bits = random();
                std::memcpy(&v, &bits, sizeof v);
                if (!std::isfinite(v))
                    continue;
            } else {
                // ordinary magnitudes around the fixed/scientific borders
                v = std::ldexp(double(random() >> 11), int(random() % 120) - 110);
            }
            const QString text = FormatGeneral15(v);
            const std::optional<double> back = vrma::ParseRealDouble(text);
            ASSERT_TRUE(back) << text.toStdString();
            ASSERT_EQ(*back, Rounded15(v)) << text.toStdString() << " " << std::hexfloat << v;
            ASSERT_EQ(FormatGeneral15(*back), text);
            // fixed notation exactly where the magnitude allows it
            const bool scientific = text.contains(QLatin1Char('E'));
            const double a = std::fabs(Rounded15(v));
            ASSERT_EQ(scientific, !(a >= 1e-4 && a < 1e15)) << text.toStdString();
            ASSERT_FALSE(text.endsWith(separator));
        }
    }
}

TEST(ParseIntegerTest, Syntax) {
    using vrma::ParseInteger;
    EXPECT_EQ(ParseInteger(u"0"), 0);
    EXPECT_EQ(ParseInteger(u"123"), 123);
    EXPECT_EQ(ParseInteger(u"   -45"), -45);
    EXPECT_EQ(ParseInteger(u"+7"), 7);
    EXPECT_EQ(ParseInteger(u"0007"), 7);
    EXPECT_EQ(ParseInteger(u"$1F"), 31);
    EXPECT_EQ(ParseInteger(u"0x1F"), 31);
    EXPECT_EQ(ParseInteger(u"0X1f"), 31);
    EXPECT_EQ(ParseInteger(u" -$10"), -16);
    EXPECT_EQ(ParseInteger(u"-0x10"), -16);
    EXPECT_EQ(ParseInteger(u"2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger(u"-2147483648"), std::numeric_limits<qint32>::min());
    EXPECT_EQ(ParseInteger(u"$7FFFFFFF"), 2147483647);
    EXPECT_EQ(ParseInteger(u"-$80000000"), std::numeric_limits<qint32>::min());
    EXPECT_EQ(ParseInteger(u"00000000000000000000000000012"), 12);
    for (const char16_t* bad : {u"",
                                u" ",
                                u"-",
                                u"+",
                                u"$",
                                u"0x",
                                u"12 ",
                                u"1 2",
                                u"- 1",
                                u"\t1",
                                u"1.0",
                                u"1e3",
                                u"0x1G",
                                u"$-1",
                                u"2147483648",
                                u"-2147483649",
                                u"$80000000",
                                u"$FFFFFFFF",
                                u"99999999999999999999999",
                                u"1a",
                                u"x1",
                                u"\u0661"}) {
        EXPECT_FALSE(ParseInteger(bad)) << QString::fromUtf16(bad).toStdString();
    }
}

TEST(FormatIntegerTest, PlainDecimal) {
    EXPECT_EQ(vrma::FormatInteger(0), "0");
    EXPECT_EQ(vrma::FormatInteger(-17), "-17");
    EXPECT_EQ(vrma::FormatInteger(1234567), "1234567");
    EXPECT_EQ(vrma::FormatInteger(std::numeric_limits<qint64>::min()), "-9223372036854775808");
}

} // namespace
