// The editor's coordinate texts agree with the data layer's reading and writing of
// numbers (FormatGeneral15 of ParseReal) for every text, valid or not; a value beyond a
// double's range is no coordinate, as for the coordinate reader (ParseRealDouble).
#include "editor/NumberTexts.h"
#include "data/Numbers.h"
#include "platform/Locale.h"

#include <gtest/gtest.h>
#include <random>

namespace vrma {
namespace {

std::optional<QString> Expected(const QString& text) {
    const std::optional<long double> value = ParseReal(text);
    if (!value || !ParseRealDouble(text))
        return std::nullopt;
    return FormatGeneral15(*value);
}

void ExpectSame(RealText15& fast, const QString& text) {
    const std::optional<QStringView> got = fast.Of(text);
    const std::optional<QString> want = Expected(text);
    ASSERT_EQ(got.has_value(), want.has_value()) << "text \"" << text.toStdString() << "\"";
    if (got) {
        ASSERT_EQ(got->toString(), *want) << "text \"" << text.toStdString() << "\"";
    }
}

class NumberTexts : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override { SetDecimalSeparator(QLatin1Char(GetParam())); }
    void TearDown() override { SetDecimalSeparator(QLatin1Char('.')); }
};

TEST_P(NumberTexts, EdgeCasesAgreeWithTheDataLayer) {
    const QChar s = DecimalSeparator();
    const QString texts[] = {
        QStringLiteral("0"),
        QStringLiteral("-0"),
        QStringLiteral("000"),
        QString(s),
        QStringLiteral("-") + s,
        QStringLiteral("  +") + s + QStringLiteral("5  "),
        QStringLiteral("0") + s + QStringLiteral("0001"),
        QStringLiteral("0") + s + QStringLiteral("00001"),
        QStringLiteral("0") + s + QStringLiteral("00005"),
        QStringLiteral("12") + s + QStringLiteral("50"),
        QStringLiteral("999999999999999"),
        QStringLiteral("1000000000000000"),
        QStringLiteral("999999999999999") + s + QStringLiteral("9"),
        QStringLiteral("123456789012345678"),
        QStringLiteral("1") + s + QStringLiteral("23456789012345E17"),
        QStringLiteral("5") + s + QStringLiteral("00000000000000499999"),
        QStringLiteral("1E3"),
        QStringLiteral("2e-1"),
        QStringLiteral("1e0015"),
        QStringLiteral("1E+4"),
        QStringLiteral("1e4900"),
        QStringLiteral("1e4931"),
        QStringLiteral("1e4933"),
        QStringLiteral("1e-4900"),
        QStringLiteral("1e-4940"),
        QStringLiteral("1e-5000"),
        QStringLiteral("1e999999999999"),
        QStringLiteral("0e999999999999"),
        QStringLiteral("-0") + s + QStringLiteral("000123400"),
        QStringLiteral("100") + s,
        QStringLiteral("1e308"),
        QStringLiteral("-1") + s + QStringLiteral("7976931348623157e308"),
        QStringLiteral("1e-320"),
        QString(308, QLatin1Char('9')),
        // Not reals, or beyond a double's range.
        QStringLiteral("1") + s + QStringLiteral("8e308"),
        QStringLiteral("-1") + s + QStringLiteral("8e308"),
        QStringLiteral("1e309"),
        QStringLiteral("1") + QString(400, QLatin1Char('0')),
        QString(309, QLatin1Char('9')),
        QString(),
        QStringLiteral(" "),
        QStringLiteral("E5"),
        QStringLiteral("1E"),
        QStringLiteral("1e+"),
        QStringLiteral("--1"),
        QStringLiteral("1 2"),
        QStringLiteral("1\t"),
        QStringLiteral("1") + s + s,
        QStringLiteral("x"),
        QStringLiteral("1;2"),
        QStringLiteral("1,000.5"),
        QStringLiteral("١"),
    };
    RealText15 fast;
    for (const QString& text : texts)
        ExpectSame(fast, text);
    // Beyond a double: invalid, whichever way the text is read.
    for (const QString& text : {QStringLiteral("1") + s + QStringLiteral("8e308"),
                                QStringLiteral("1") + QString(400, QLatin1Char('0'))})
        EXPECT_FALSE(fast.Of(text).has_value()) << text.toStdString();
}

TEST_P(NumberTexts, RandomTextsAgreeWithTheDataLayer) {
    std::mt19937 random(GetParam() == ',' ? 11 : 12);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto digits = [&](int n) {
        QString d;
        for (int i = 0; i < n; ++i)
            d += QChar(u'0' + pick(10));
        return d;
    };
    const char* noise[] = {".", ",", " ", "e", "E", "+", "-", "x", "\t", ";"};
    RealText15 fast;
    for (int i = 0; i < 100000; ++i) {
        QString text = QString(pick(3), QLatin1Char(' '));
        text += QString::fromLatin1(pick(3) == 0 ? "" : pick(2) ? "-" : "+");
        text += QString(pick(4) == 0 ? pick(4) : 0, QLatin1Char('0'));
        text += digits(pick(19));
        if (pick(3) != 0)
            text += DecimalSeparator() + digits(pick(19)) + QString(pick(3), QLatin1Char('0'));
        if (pick(3) == 0) {
            text += QLatin1Char(pick(2) ? 'E' : 'e');
            text += QString::fromLatin1(pick(3) == 0 ? "" : pick(2) ? "-" : "+");
            text += pick(20) == 0 ? QStringLiteral("49") + digits(2) : digits(1 + pick(3));
        }
        text += QString(pick(3), QLatin1Char(' '));
        if (pick(20) == 0)
            text.insert(pick(static_cast<int>(text.size()) + 1), QLatin1String(noise[pick(10)]));
        ExpectSame(fast, text);
        if (HasFatalFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(BothSeparators, NumberTexts, ::testing::Values(',', '.'));

} // namespace
} // namespace vrma
