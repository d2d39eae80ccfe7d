// The real-number syntax and the values it reads.
#include "SeparatorGuard.h"
#include "data/Numbers.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <locale>
#include <random>
#include <sstream>

namespace {

using vrma::ParseReal;
using vrma::ParseRealDouble;

// Texts are written with '.' and the separator under test is put in its place.
QString WithSeparator(const char* text, QChar separator) {
    QString s = QString::fromUtf8(text);
    s.replace(QLatin1Char('.'), separator);
    return s;
}

bool SameDouble(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct ValidCase {
    const char* text;
    double value;
};

const ValidCase kValid[] = {
    {"0", 0.0},
    {"12.5", 12.5},
    {"  12.5", 12.5},
    {"12.5   ", 12.5},
    {" -3 ", -3.0},
    {"+1", 1.0},
    {"1E3", 1000.0},
    {"2e-1", 0.2},
    {"1e+2", 100.0},
    {"5.", 5.0},
    {".5", 0.5},
    {"-.5e1", -5.0},
    {"007", 7.0},
    {"0.1", 0.1},
    {"1.5E0", 1.5},
    {"-0", -0.0},
    {"123456789012345678901234567890", 123456789012345678901234567890.0},
    {"4.9e-324", 4.9e-324}, // the smallest subnormal
    {"1e-310", 1e-310},
    {"1.7976931348623157e308", 1.7976931348623157e308},
    // A lone separator is a mantissa of its own: zero.
    {".", 0.0},
    {"-.", -0.0},
    {".e7", 0.0},
};

const char* const kInvalid[] = {
    "",
    " ",
    "+",
    "-",
    "e5",
    "E5",
    "1e",
    "1e+",
    "1e-",
    "1.2.3",
    "1..2",
    "1\t",
    "\t1",
    "1;2",
    "1 2",
    "1 .5",
    "- 1",
    "+-1",
    "1e 5",
    "1e5.",
    "1.5f",
    "0x10",
    "inf",
    "nan",
    "1,000.5",
    "1\n",
    ("\xc2\xa0"
     "1"), // a no-break space before the digit (the escape may not run into the "1")
    "1e1e1",
    "++1",
    "1-",
    ".e",
    "1 e5",
};

TEST(ParseRealTest, SyntaxTableUnderBothSeparators) {
    for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
        SeparatorGuard guard(separator);
        for (const ValidCase& c : kValid) {
            const QString text = WithSeparator(c.text, separator);
            const std::optional<double> d = ParseRealDouble(text);
            ASSERT_TRUE(d.has_value()) << text.toStdString();
            EXPECT_TRUE(SameDouble(*d, c.value)) << text.toStdString() << " -> " << *d;
            const std::optional<long double> l = ParseReal(text);
            ASSERT_TRUE(l.has_value()) << text.toStdString();
            EXPECT_EQ(static_cast<double>(*l), c.value) << text.toStdString();
        }
        for (const char* bad : kInvalid) {
            const QString text = WithSeparator(bad, separator);
            EXPECT_FALSE(ParseRealDouble(text).has_value()) << "[" << text.toStdString() << "]";
            EXPECT_FALSE(ParseReal(text).has_value()) << "[" << text.toStdString() << "]";
        }
    }
}

TEST(ParseRealTest, OnlyTheRegionalSeparatorIsAccepted) {
    {
        SeparatorGuard guard(QLatin1Char(','));
        EXPECT_FALSE(ParseRealDouble(u"1.5"));
        EXPECT_EQ(ParseRealDouble(u"1,5"), 1.5);
        EXPECT_EQ(ParseRealDouble(u"12"), 12.0); // no fraction: no separator needed
    }
    {
        SeparatorGuard guard(QLatin1Char('.'));
        EXPECT_FALSE(ParseRealDouble(u"1,5"));
        EXPECT_EQ(ParseRealDouble(u"1.5"), 1.5);
    }
    {
        // A separator outside ASCII works as well (the Arabic decimal separator).
        SeparatorGuard guard(QChar(0x066B));
        EXPECT_EQ(ParseRealDouble(u"2\u066B25"), 2.25);
        EXPECT_FALSE(ParseRealDouble(u"2.25"));
        EXPECT_FALSE(ParseRealDouble(u"2,25"));
    }
}

TEST(ParseRealTest, RangeLimits) {
    SeparatorGuard guard(QLatin1Char('.'));
    // Beyond a double: invalid as a double, a long double still holds it.
    EXPECT_FALSE(ParseRealDouble(u"1e309"));
    EXPECT_FALSE(ParseRealDouble(u"-1e309"));
    EXPECT_FALSE(ParseRealDouble(u"1.7976931348623159e308")); // rounds past the largest double
    ASSERT_TRUE(ParseReal(u"1e309"));
    EXPECT_EQ(*ParseReal(u"1e309"), 1e309L);
    EXPECT_EQ(*ParseReal(u"1e4932"), 1e4932L);
    EXPECT_FALSE(ParseReal(u"1e4933"));
    EXPECT_FALSE(ParseReal(u"-1e5000"));
    // Too small to hold: zero (with its sign), not an error.
    EXPECT_TRUE(SameDouble(*ParseRealDouble(u"1e-400"), 0.0));
    EXPECT_TRUE(SameDouble(*ParseRealDouble(u"-1e-400"), -0.0));
    EXPECT_TRUE(SameDouble(*ParseRealDouble(u"2.4703282292062327e-324"), 0.0)); // below half
    EXPECT_EQ(*ParseRealDouble(u"2.4703282292062328e-324"), 4.9406564584124654e-324);
    EXPECT_EQ(*ParseReal(u"1e-5000"), 0.0L);
    EXPECT_TRUE(std::signbit(*ParseReal(u"-1e-5000")));
}

TEST(ParseRealTest, HugeTextsAndExponents) {
    SeparatorGuard guard(QLatin1Char('.'));
    const QString zeros(5000, QLatin1Char('0'));
    EXPECT_FALSE(ParseRealDouble(QStringLiteral("1") + zeros)); // 1e5000
    EXPECT_FALSE(ParseReal(QStringLiteral("1") + zeros));       // 1e5000
    EXPECT_EQ(ParseRealDouble(QStringLiteral("1") + zeros + QStringLiteral("e-5000")), 1.0);
    EXPECT_EQ(ParseRealDouble(QStringLiteral("0.") + zeros + QStringLiteral("1")), 0.0);
    EXPECT_EQ(ParseRealDouble(QStringLiteral("0.") + zeros + QStringLiteral("1e5002")), 10.0);
    EXPECT_EQ(ParseReal(QStringLiteral("0.") + zeros + QStringLiteral("25e5001")), 2.5L);
    EXPECT_EQ(ParseRealDouble(QString(5000, QLatin1Char('9')) + QStringLiteral("e-5000")), 1.0);
    EXPECT_FALSE(ParseRealDouble(u"1e99999"));
    EXPECT_FALSE(ParseReal(u"1e99999"));
    EXPECT_EQ(ParseRealDouble(u"0e99999"), 0.0);
    EXPECT_EQ(ParseRealDouble(u"1e-99999"), 0.0);
    EXPECT_EQ(ParseRealDouble(u"1e-99999999999999999999999999"), 0.0);
    EXPECT_FALSE(ParseRealDouble(u"1e99999999999999999999999999"));
    EXPECT_EQ(ParseRealDouble(u"1e0000000000000000000000000000000000001"), 10.0);
    EXPECT_EQ(ParseRealDouble(u"1e-0000000000000000000000000000000000001"), 0.1);
}

TEST(ParseRealTest, LongMantissasRoundOnAllTheirDigits) {
    SeparatorGuard guard(QLatin1Char('.'));
    // 2^53 + 1 lies halfway between two doubles: the tie goes to even, and any non-zero
    // digit however far out decides it upward.
    const QString tie = QStringLiteral("9007199254740993");
    EXPECT_EQ(ParseRealDouble(tie), 9007199254740992.0);
    EXPECT_EQ(ParseRealDouble(tie + QStringLiteral(".") + QString(3000, QLatin1Char('0'))),
              9007199254740992.0);
    EXPECT_EQ(ParseRealDouble(tie + QStringLiteral(".") + QString(3000, QLatin1Char('0')) +
                              QStringLiteral("1")),
              9007199254740994.0);
    EXPECT_EQ(ParseRealDouble(tie + QString(30000, QLatin1Char('0')) + QStringLiteral("1e-30001")),
              9007199254740994.0);
    EXPECT_EQ(ParseRealDouble(QStringLiteral("9007199254740992") + QString(3000, QLatin1Char('9')) +
                              QStringLiteral("e-3000")),
              9007199254740992.0);
}

// The reference for long double values: the C++ stream conversion in the classic locale.
long double StreamReference(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    long double value = 0;
    in >> value;
    return value;
}

TEST(ParseRealTest, LongDoubleAgreesWithTheStreamConversionDownToSubnormals) {
    SeparatorGuard guard(QLatin1Char('.'));
    std::mt19937_64 random(42);
    int subnormals = 0;
    for (int i = 0; i < 3000; ++i) {
        // 1 to 25 significant digits, exponents across the whole range and below it.
        const int digits = 1 + int(random() % 25);
        std::string text;
        text += char('1' + random() % 9);
        for (int k = 1; k < digits; ++k)
            text += char('0' + random() % 10);
        const int exponent = i % 3 == 0 ? -4950 - int(random() % 30) : int(random() % 9800) - 4950;
        text += "e" + std::to_string(exponent);
        const std::optional<long double> parsed = ParseReal(QString::fromStdString(text));
        const long double reference = StreamReference(text);
        if (exponent + digits > 4933) {
            continue; // may be beyond the range; covered elsewhere
        }
        ASSERT_TRUE(parsed.has_value()) << text;
        ASSERT_EQ(*parsed, reference) << text;
        if (reference != 0 && std::fabs(reference) < std::numeric_limits<long double>::min())
            ++subnormals;
    }
    EXPECT_GT(subnormals, 100);
    // Half the smallest subnormal is 1.82259976594123730126420296680970990819952...e-4951:
    // just below it the value is zero, just above it the smallest subnormal.
    const long double smallest = std::numeric_limits<long double>::denorm_min();
    EXPECT_EQ(*ParseReal(u"1.8225997659412373012642029668097099082e-4951"), smallest);
    EXPECT_EQ(*ParseReal(u"1.8225997659412373012642029668097099081e-4951"), 0.0L);
    EXPECT_EQ(*ParseReal(u"3.6451995318824746025284059336194198164e-4951"), smallest);
    EXPECT_EQ(*ParseReal(u"5.4677992978237119037926089004291297246e-4951"), 2 * smallest);
}

TEST(ParseRealTest, ShortestTextsOfRandomDoublesReadBackExactly) {
    SeparatorGuard guard(QLatin1Char(','));
    std::mt19937_64 random(3);
    for (int i = 0; i < 20000; ++i) {
        double v;
        do {
            const std::uint64_t bits = random();
            std::memcpy(&v, &bits, sizeof v);
        } while (!std::isfinite(v));
        char buffer[64];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
        QString text = QString::fromLatin1(buffer, r.ptr - buffer);
        text.replace(QLatin1Char('.'), QLatin1Char(','));
        const std::optional<double> parsed = ParseRealDouble(text);
        ASSERT_TRUE(parsed) << text.toStdString();
        ASSERT_TRUE(SameDouble(*parsed, v)) << text.toStdString();
    }
}

} // namespace
