// The check of a coordinate file that does not read: whether the line where the reader
// stops reads with the other decimal separator.
#include "data/SeparatorCheck.h"
#include "data/Locale.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using vrma::CheckDecimalSeparator;
using vrma::DecimalSeparator;
using vrma::SeparatorCheck;

// The separator in use is the parameter; the files are written with it or with the other.
class SeparatorCheckTest : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override {
        previous_ = DecimalSeparator();
        vrma::SetDecimalSeparator(QLatin1Char(GetParam()));
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override { vrma::SetDecimalSeparator(previous_); }

    QChar inUse() const { return QLatin1Char(GetParam()); }
    QChar other() const { return QLatin1Char(GetParam() == ',' ? '.' : ','); }

    // The lines with "#" standing for the separator given, each ended by CR LF.
    QString Write(QStringList lines, QChar separator) {
        QByteArray bytes;
        for (QString& line : lines)
            bytes += line.replace(QLatin1Char('#'), separator).toLatin1() + "\r\n";
        const QString path = dir_.filePath(QStringLiteral("f%1.crd").arg(++files_));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    SeparatorCheck Check(const QString& path) {
        const SeparatorCheck check = CheckDecimalSeparator(path);
        EXPECT_EQ(DecimalSeparator(), inUse()) << "the separator in use is left as it was";
        return check;
    }

private:
    QChar previous_;
    QTemporaryDir dir_;
    int files_ = 0;
};

TEST_P(SeparatorCheckTest, AFileWrittenWithTheOtherSeparatorIsToldByItsFirstFraction) {
    // Whole numbers read with either separator: the reader stops at the first fraction.
    const QStringList lines{QStringLiteral("-50 ; -50"), QStringLiteral("-50 ; -30"),
                            QStringLiteral("112#545 ; 36#472"), QStringLiteral("111#5 ; 136")};
    const SeparatorCheck theirs = Check(Write(lines, other()));
    EXPECT_FALSE(theirs.reads);
    EXPECT_EQ(theirs.failedLine, 3);
    EXPECT_EQ(theirs.otherSeparator, other());

    // With a blank line further on it fails there too, but gets past line 3: still the
    // separator stops it first.
    const SeparatorCheck blank = Check(Write(QStringList(lines) << QString(), other()));
    EXPECT_FALSE(blank.reads);
    EXPECT_EQ(blank.failedLine, 3);
    EXPECT_EQ(blank.otherSeparator, other());

    // Written with the separator in use, the same lines read, and nothing else is said.
    const SeparatorCheck ours = Check(Write(lines, inUse()));
    EXPECT_TRUE(ours.reads);
    EXPECT_EQ(ours.failedLine, 0);
    EXPECT_TRUE(ours.otherSeparator.isNull());
}

TEST_P(SeparatorCheckTest, OtherFailuresAreNotBlamedOnTheSeparator) {
    const struct {
        const char* what;
        QStringList lines;
        QChar writtenWith;
        qsizetype failedLine;
    } cases[] = {
        // The other separator would stop at line 1, before the blank line.
        {"a blank line",
         {QStringLiteral("1#5 ; 2"), QStringLiteral("3 ; 4"), QString()},
         inUse(),
         3},
        {"a third field", {QStringLiteral("1 ; 2"), QStringLiteral("1#5 ; 2 ; 3")}, other(), 2},
        {"no semicolon", {QStringLiteral("1 ; 2"), QStringLiteral("1#5 2")}, other(), 2},
        {"a second separator", {QStringLiteral("1#2#3 ; 4")}, other(), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const SeparatorCheck check = Check(Write(c.lines, c.writtenWith));
        EXPECT_FALSE(check.reads);
        EXPECT_EQ(check.failedLine, c.failedLine);
        EXPECT_TRUE(check.otherSeparator.isNull()) << QString(check.otherSeparator).toStdString();
    }

    const SeparatorCheck missing = Check(QStringLiteral("/nonexistent/folder/scene.crd"));
    EXPECT_FALSE(missing.reads);
    EXPECT_EQ(missing.failedLine, 0);
    EXPECT_TRUE(missing.otherSeparator.isNull());
}

INSTANTIATE_TEST_SUITE_P(BothSeparators, SeparatorCheckTest, ::testing::Values(',', '.'));

TEST(SeparatorCheck, UnderASeparatorOfNeitherKindBothAreTried) {
    const QChar previous = DecimalSeparator();
    vrma::SetDecimalSeparator(QChar(0x066B)); // the Arabic decimal separator
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char separator : {',', '.'}) {
        const QString path = dir.filePath(QStringLiteral("%1.crd").arg(separator == ',' ? 1 : 2));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("2") + separator + "5 ; 1\r\n");
        file.close();
        const SeparatorCheck check = CheckDecimalSeparator(path);
        EXPECT_FALSE(check.reads);
        EXPECT_EQ(check.failedLine, 1);
        EXPECT_EQ(check.otherSeparator, QLatin1Char(separator));
    }
    EXPECT_EQ(DecimalSeparator(), QChar(0x066B));
    vrma::SetDecimalSeparator(previous);
}

} // namespace
