// The coordinate-file reader: the points it makes, its failures and its message.
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"
#include "support/RecordingDialogHost.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using vrma::test::RecordingHost;

class ReadPointFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHost_ = vrma::SetDialogHost(&host_);
        previousSeparator_ = vrma::DecimalSeparator();
    }
    void TearDown() override {
        vrma::SetDialogHost(previousHost_);
        vrma::SetDecimalSeparator(previousSeparator_);
        vrma::SetPointFileParts(0, 0);
    }

    QString Write(const QByteArray& bytes) {
        const QString path = dir_.filePath(QStringLiteral("f%1.crd").arg(++files_));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // Reads the file and returns the points, checking the message against the result.
    bool Read(const QString& path, std::vector<std::pair<double, double>>& points) {
        host_.boxes.clear();
        const bool ok = vrma::ReadPointFile(path, &list_);
        points.clear();
        for (int i = 0; i < list_.Count(); ++i)
            points.emplace_back(list_.Get(i)->X, list_.Get(i)->Y);
        if (ok) {
            EXPECT_TRUE(host_.boxes.empty());
        } else {
            EXPECT_EQ(host_.boxes.size(), 1u);
            if (host_.boxes.size() == 1) {
                EXPECT_EQ(host_.boxes[0].owner, nullptr);
                EXPECT_EQ(host_.boxes[0].text, QString::fromUtf8("Ошибка чтения файла сцены!"));
                EXPECT_EQ(host_.boxes[0].caption, QString::fromUtf8("Ошибка!"));
                EXPECT_EQ(host_.boxes[0].type, vrma::MB_OK); // one button, no icon
            }
        }
        return ok;
    }

    using Points = std::vector<std::pair<double, double>>;

    RecordingHost host_;
    vrma::DialogHost* previousHost_ = nullptr;
    QChar previousSeparator_;
    QTemporaryDir dir_;
    int files_ = 0;
    vrma::VT_Points list_{1};
};

TEST_F(ReadPointFileTest, ExampleLinesUnderBothSeparators) {
    Points points;
    vrma::SetDecimalSeparator(QLatin1Char(','));
    ASSERT_TRUE(Read(Write("0;0\r\n12,5 ; -3\r\n1E3;2e-1\r\n"), points));
    EXPECT_EQ(points, (Points{{0, 0}, {12.5, -3}, {1000, 0.2}}));
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    ASSERT_TRUE(Read(Write("0;0\r\n12.5 ; -3\r\n1E3;2e-1\r\n"), points));
    EXPECT_EQ(points, (Points{{0, 0}, {12.5, -3}, {1000, 0.2}}));
}

TEST_F(ReadPointFileTest, LineBreaksAndTheEnd) {
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    Points points;
    const Points expected{{1, 2}, {3, 4}, {5, 6}};
    for (const char* text :
         {"1;2\r\n3;4\r\n5;6\r\n", "1;2\r\n3;4\r\n5;6", "1;2\n3;4\r5;6\n", "1;2\r3;4\n5;6\r"}) {
        ASSERT_TRUE(Read(Write(text), points)) << text;
        EXPECT_EQ(points, expected) << text;
    }
    // A NUL ends the text: what follows is not read, and that is no error.
    ASSERT_TRUE(Read(Write(QByteArray("1;2\r\n3;4\0garbage\r\n;;;\r\n", 24)), points));
    EXPECT_EQ(points, (Points{{1, 2}, {3, 4}}));
    // An empty file: no points.
    ASSERT_TRUE(Read(Write(""), points));
    EXPECT_TRUE(points.empty());
}

TEST_F(ReadPointFileTest, FailuresKeepThePointsOfTheLinesBefore) {
    vrma::SetDecimalSeparator(QLatin1Char(','));
    struct Case {
        const char* text;
        std::size_t kept;
    };
    const Case cases[] = {
        {"1;2\r\n\r\n3;4\r\n", 1},  // a blank line
        {"1;2\r\n3;4\r\n\r\n", 2},  // a blank last line (two breaks at the end)
        {"\r\n", 0},                // one blank line
        {"1;2\r\n1;2;3\r\n", 1},    // a third field
        {"1;2\r\n5\r\n", 1},        // no semicolon
        {"1;2\r\n;5\r\n", 1},       // empty x
        {"1;2\r\n5;\r\n", 1},       // empty y
        {"1;2\r\n5; \r\n", 1},      // blank y
        {"1;2\r\n1\t;2\r\n", 1},    // a tab is no blank
        {"1;2\r\n1;\t2\r\n", 1},    // a tab is no blank
        {"1,5;2\r\n1.5;2\r\n", 1},  // a point under comma settings
        {"1;2\r\n1e400;0\r\n", 1},  // beyond a double
        {"1;2\r\n0;-1e309\r\n", 1}, // beyond a double
        {"1;2\r\n1 000;2\r\n", 1},  // digit grouping
        {"1;2\r\n1,2,3;2\r\n", 1},  // a second separator
        {"1;2\r\n1;2x\r\n", 1},     // anything else after the number
        {"1;2\r\n\xA0"
         "1;2\r\n",
         1},                      // a no-break space is no blank
        {"1;2;\r\n", 0},          // an empty third field
        {"1;2\r\ninf;1\r\n", 1},  // no words
        {"1;2\r\n1;nan\r\n", 1},  // no words
        {"1;2\r\n1;-inf\r\n", 1}, // no words
        {"1;2\r\n0x10;1\r\n", 1}, // no hexadecimal
        {"1;2\r\n--1;2\r\n", 1},  // one sign only
        {"1;2\r\n+-1;2\r\n", 1},  // one sign only
        {"1;2\r\n1e;2\r\n", 1},   // an exponent needs digits
        {"1;2\r\n1;2e+\r\n", 1},  // an exponent needs digits
    };
    Points points;
    for (const Case& c : cases) {
        EXPECT_FALSE(Read(Write(c.text), points)) << c.text;
        EXPECT_EQ(points.size(), c.kept) << c.text;
        if (!points.empty()) {
            EXPECT_EQ(points[0].second, 2) << c.text;
        }
    }
}

TEST_F(ReadPointFileTest, BlanksAroundNumbersAreAllowed) {
    vrma::SetDecimalSeparator(QLatin1Char(','));
    Points points;
    ASSERT_TRUE(Read(Write("  12,5 ;  -3  \r\n1 ; 2 \r\n"), points));
    EXPECT_EQ(points, (Points{{12.5, -3}, {1, 2}}));
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    ASSERT_TRUE(Read(Write("1.5;2\r\n"), points));
    EXPECT_EQ(points, (Points{{1.5, 2}}));
}

TEST_F(ReadPointFileTest, ALoneSeparatorReadsAsZero) {
    vrma::SetDecimalSeparator(QLatin1Char(','));
    Points points;
    ASSERT_TRUE(Read(Write(", ; -,\r\n,5;5,\r\n"), points));
    EXPECT_EQ(points, (Points{{0, 0}, {0.5, 5}}));
    EXPECT_TRUE(std::signbit(points[0].second));
}

TEST_F(ReadPointFileTest, AMissingFileEmptiesTheList) {
    Points points;
    ASSERT_TRUE(Read(Write("1;2\r\n"), points));
    ASSERT_EQ(list_.Count(), 1);
    EXPECT_FALSE(Read(dir_.filePath("missing.crd"), points));
    EXPECT_TRUE(points.empty());
    EXPECT_FALSE(Read(dir_.path(), points)); // a folder
    EXPECT_TRUE(points.empty());
}

TEST_F(ReadPointFileTest, WrittenValuesReadBack) {
    // Lines as the editor writes them: general format, " ; " between the fields.
    std::mt19937_64 random(17);
    for (QChar separator : {QLatin1Char(','), QLatin1Char('.')}) {
        vrma::SetDecimalSeparator(separator);
        QStringList lines;
        Points expected;
        for (int i = 0; i < 500; ++i) {
            const double x = std::ldexp(double(random() >> 11), int(random() % 80) - 70);
            const double y = -std::ldexp(double(random() >> 11), int(random() % 80) - 70);
            const QString tx = vrma::FormatGeneral15(x);
            const QString ty = vrma::FormatGeneral15(y);
            lines << tx + QStringLiteral(" ; ") + ty;
            expected.emplace_back(*vrma::ParseRealDouble(tx), *vrma::ParseRealDouble(ty));
        }
        const QString path = dir_.filePath("written.crd");
        vrma::WriteTextLines(path, lines);
        Points points;
        ASSERT_TRUE(Read(path, points));
        EXPECT_EQ(points, expected);
    }
}

TEST_F(ReadPointFileTest, LongFilesWithBreaksAtEveryOffsetOfAReadBoundary) {
    // The reader takes the file in pieces of 256 KiB; the line breaks are placed on and
    // around the borders between them, the CR LF pair split across one among them.
    vrma::SetDecimalSeparator(QLatin1Char(','));
    constexpr qsizetype kPiece = 256 * 1024;
    for (const char* breakText : {"\r\n", "\r", "\n"}) {
        for (qsizetype shift = -3; shift <= 3; ++shift) {
            QByteArray file = "0,5 ; -1";
            // blanks after y bring the first break to the border (plus the shift)
            file += QByteArray(kPiece - 1 + shift - file.size(), ' ');
            file += breakText;
            Points expected{{0.5, -1}};
            for (int i = 1; file.size() < 2 * kPiece + 100; ++i) {
                file += QByteArray::number(i) + ",25;" + QByteArray::number(-i) + breakText;
                expected.emplace_back(i + 0.25, -i);
            }
            Points points;
            ASSERT_TRUE(Read(Write(file), points)) << shift;
            ASSERT_EQ(points, expected) << shift;
        }
    }
    // A file that ends with a CR exactly at the border.
    QByteArray file = "1;2";
    file += QByteArray(kPiece - 1 - file.size(), ' ');
    file += '\r';
    Points points;
    ASSERT_TRUE(Read(Write(file), points));
    EXPECT_EQ(points, (Points{{1, 2}}));
    // A NUL far into the file ends it there.
    file = QByteArray(kPiece * 3, ' ');
    for (qsizetype i = 0; i + 5 < file.size(); i += 5)
        file.replace(i, 5, "1;2\r\n");
    const qsizetype lineStart = kPiece * 2 / 5 * 5;
    file[lineStart + 4] = '\0'; // between the CR and the LF of a line
    ASSERT_TRUE(Read(Write(file), points));
    EXPECT_EQ(points.size(), std::size_t(lineStart / 5 + 1));
    // A line longer than the pieces.
    file = "1" + QByteArray(700000, '0') + "e-700000 ; 0" + QByteArray(600000, '0') + ",5\r\n3;4";
    ASSERT_TRUE(Read(Write(file), points));
    EXPECT_EQ(points, (Points{{1, 0.5}, {3, 4}}));
}

// ---- The byte-level reader against ParseRealDouble on the decoded field texts ----

std::string RandomDigits(std::mt19937_64& random, int max) {
    std::string s;
    const int n = int(random() % std::uint64_t(max + 1));
    for (int i = 0; i < n; ++i)
        s += char('0' + random() % 10);
    return s;
}

// A field that is usually valid, sometimes not, sometimes extreme.
std::string RandomField(std::mt19937_64& random, char separator) {
    std::string s(random() % 4 == 0 ? random() % 3 : 0, ' ');
    switch (random() % 4) {
    case 0:
        s += '-';
        break;
    case 1:
        s += '+';
        break;
    default:
        break;
    }
    const int kind = int(random() % 100);
    if (kind < 2) {
        s += std::string(std::size_t(300 + random() % 900), char('0' + random() % 10)); // long
    } else {
        s += RandomDigits(random, 20);
    }
    if (random() % 3) {
        s += separator;
        s += RandomDigits(random, kind < 4 ? 600 : 20);
    }
    if (random() % 4 == 0) {
        s += random() % 2 ? 'e' : 'E';
        if (random() % 2)
            s += random() % 2 ? '-' : '+';
        s += kind < 10 ? std::to_string(random() % 400) : RandomDigits(random, 3);
    }
    s += std::string(random() % 5 == 0 ? random() % 3 : 0, ' ');
    if (random() % 200 == 0) // a stray character
        s.insert(std::size_t(random() % (s.size() + 1)), 1, "x.,\t;Ee+-\xB9"[random() % 10]);
    return s;
}

TEST_F(ReadPointFileTest, SameValuesAsParseRealDoubleOnRandomLines) {
    std::mt19937_64 random(23);
    int validLines = 0;
    int invalidLines = 0;
    for (int round = 0; round < 40; ++round) {
        const QChar separator = round % 2 ? QLatin1Char(',') : QLatin1Char('.');
        vrma::SetDecimalSeparator(separator);
        QByteArray validFile;
        Points expected;
        std::vector<QByteArray> invalid;
        for (int line = 0; line < 250; ++line) {
            const std::string text = RandomField(random, char(separator.unicode())) + ";" +
                                     RandomField(random, char(separator.unicode()));
            // The meaning of the line: split at the first ";", parse both texts.
            const QString decoded = vrma::DecodeCp1251(text.data(), qsizetype(text.size()));
            const qsizetype semicolon = decoded.indexOf(QLatin1Char(';'));
            const auto x = vrma::ParseRealDouble(QStringView(decoded).left(semicolon));
            const auto y = vrma::ParseRealDouble(QStringView(decoded).mid(semicolon + 1));
            if (x && y) {
                validFile += QByteArray::fromStdString(text) + "\r\n";
                expected.emplace_back(*x, *y);
            } else {
                invalid.push_back(QByteArray::fromStdString(text));
            }
        }
        // All valid lines, then one invalid line: every point, then the failure.
        Points points;
        const bool last = invalid.empty();
        ASSERT_EQ(Read(Write(validFile + (last ? QByteArray() : invalid[0])), points), last);
        ASSERT_EQ(points.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            // bit for bit, so that the sign of zero counts as well
            ASSERT_EQ(std::memcmp(&points[i].first, &expected[i].first, sizeof(double)), 0) << i;
            ASSERT_EQ(std::memcmp(&points[i].second, &expected[i].second, sizeof(double)), 0) << i;
        }
        // Every invalid line fails on its own, after a valid one.
        for (const QByteArray& line : invalid) {
            ASSERT_FALSE(Read(Write("1;1\r\n" + line + "\r\n"), points)) << line.toStdString();
            ASSERT_EQ(points.size(), 1u);
        }
        validLines += int(expected.size());
        invalidLines += int(invalid.size());
    }
    EXPECT_GT(validLines, 5000);
    EXPECT_GT(invalidLines, 200);
}

TEST_F(ReadPointFileTest, DigitRunsAroundWordsAndTheLimitsOfExactReading) {
    // Digit runs that end on either side of an eight-byte word, integers on either side of
    // 2^53, 19 and 20 digits, 22 and 23 decimals, each both at the end of a line and
    // before the separator, every value bit for bit as ParseRealDouble gives it.
    std::vector<std::string> numbers = {"9007199254740992",
                                        "9007199254740993",
                                        "9007199254740991.5",
                                        "1234567890123456789",
                                        "12345678901234567890",
                                        "0.0000000000000000000001",
                                        "0.00000000000000000000001",
                                        "1e5",
                                        "00000000000000000000012.5",
                                        ".5",
                                        "5.",
                                        "0"};
    std::string digits;
    for (int n = 1; n <= 18; ++n) {
        digits += char('0' + (n * 7) % 10);
        numbers.push_back(digits); // n digits
        numbers.push_back(digits.substr(0, (n + 1) / 2) + "." + digits.substr((n + 1) / 2));
        numbers.push_back("0." + digits);
    }
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    QByteArray file;
    Points expected;
    for (std::size_t k = 0; k < numbers.size(); ++k) {
        const std::string& a = numbers[k];
        const std::string& b = numbers[numbers.size() - 1 - k];
        file += QByteArray::fromStdString("-" + a + ";" + b + (k % 2 ? "\r\n" : " \n"));
        expected.emplace_back(-*vrma::ParseRealDouble(QString::fromStdString(a)),
                              *vrma::ParseRealDouble(QString::fromStdString(b)));
    }
    Points points;
    ASSERT_TRUE(Read(Write(file), points));
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(std::memcmp(&points[i].first, &expected[i].first, sizeof(double)), 0)
            << numbers[i];
        EXPECT_EQ(std::memcmp(&points[i].second, &expected[i].second, sizeof(double)), 0)
            << numbers[numbers.size() - 1 - i];
    }
}

TEST_F(ReadPointFileTest, EveryShapeOfAShortDecimalBitForBit) {
    // 0 to 9 digits before the separator and 0 to 18 after it (or no separator), with and
    // without an exponent, under both separators; the lines are long enough that most
    // numbers have 24 bytes or more ahead of them, and the last ones of the file do not.
    std::mt19937_64 random(5);
    for (const QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
        vrma::SetDecimalSeparator(separator);
        QByteArray file;
        Points expected;
        std::vector<std::string> texts;
        for (int whole = 0; whole <= 9; ++whole) {
            for (int decimals = -1; decimals <= 18; ++decimals) {
                for (int exponent = 0; exponent < 2; ++exponent) {
                    std::string x;
                    for (int k = 0; k < whole; ++k)
                        x += char('0' + random() % 10);
                    if (decimals >= 0) {
                        x += char(separator.unicode());
                        for (int k = 0; k < decimals; ++k)
                            x += char('0' + random() % 10);
                    }
                    if (exponent)
                        x += random() % 2 ? "e3" : "E-2";
                    const std::string y = std::to_string(random() % 1000);
                    const auto vx = vrma::ParseRealDouble(QString::fromStdString(x));
                    if (!vx)
                        continue; // no digit at all
                    const bool negative = random() % 2 == 0;
                    file +=
                        QByteArray::fromStdString((negative ? "-" : "") + x + " ; " + y + "\r\n");
                    expected.emplace_back(negative ? -*vx : *vx, double(std::stoi(y)));
                    texts.push_back(x);
                }
            }
        }
        Points points;
        ASSERT_TRUE(Read(Write(file), points));
        ASSERT_EQ(points.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(std::memcmp(&points[i].first, &expected[i].first, sizeof(double)), 0)
                << texts[i] << " read as " << points[i].first;
            EXPECT_EQ(points[i].second, expected[i].second) << texts[i];
        }
    }
}

TEST_F(ReadPointFileTest, ASeparatorOutsideTheCodePageReadsNoFractions) {
    vrma::SetDecimalSeparator(QChar(0x066B));
    Points points;
    ASSERT_TRUE(Read(Write("1;2e3\r\n"), points));
    EXPECT_EQ(points, (Points{{1, 2000}}));
    EXPECT_FALSE(Read(Write("1;2\r\n1.5;2\r\n"), points));
    EXPECT_FALSE(Read(Write("1;2\r\n1?5;2\r\n"), points));
    EXPECT_EQ(points.size(), 1u);
}

} // namespace

namespace {

// A large file is read in parts at once; the list must end as a read from the start ends,
// wherever the parts begin: within a CR LF, at a CR of its own, on a NUL, in an invalid line.
TEST_F(ReadPointFileTest, AFileReadInPartsEndsAsAReadFromItsStart) {
    std::mt19937_64 random(5);
    const char* const breaks[] = {"\r\n", "\r", "\n"};
    int failed = 0;
    int endedByNul = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray file;
        const int lines = 20 + int(random() % 300);
        const int breakKinds = 1 + int(random() % 3); // CR alone, LF alone, or all
        for (int line = 0; line < lines; ++line) {
            file += QByteArray::number(line) + "." + QByteArray::number(random() % 1000) +
                    std::string(random() % 3, ' ').c_str() + ";-" +
                    QByteArray::number(random() % 100000);
            if (random() % 400 == 0)
                file += random() % 2 ? "x" : ";"; // an invalid line
            if (random() % 500 == 0)
                file += '\0';
            file += breaks[random() % std::uint64_t(breakKinds)];
        }
        if (random() % 2)
            file.chop(1); // no break after the last line, or half of a CR LF
        const QString path = Write(file);
        Points whole;
        vrma::SetPointFileParts(1, 0);
        const bool ok = Read(path, whole);
        Points parts;
        vrma::SetPointFileParts(2 + unsigned(random() % 3), 1 + qint64(random() % 64));
        ASSERT_EQ(Read(path, parts), ok) << round;
        ASSERT_EQ(parts, whole) << round;
        failed += !ok;
        endedByNul += ok && file.contains('\0');
    }
    EXPECT_GT(failed, 20);
    EXPECT_GT(endedByNul, 20);
}

// Reading the same large file again and again into one list takes no more memory in the
// end: the room of the previous read is shared out among the parts, and what none of them
// needed is freed.
TEST_F(ReadPointFileTest, ReadingInPartsAgainAndAgainKeepsItsRoomBounded) {
    constexpr int kLines = 200000;
    QByteArray file;
    for (int i = 0; i < kLines; ++i)
        file += QByteArray::number(i) + ".5;" + QByteArray::number(-i) + "\r\n";
    const QString path = Write(file);
    vrma::SetPointFileParts(4, 1024);
    std::size_t most = 0;
    for (int read = 0; read < 12; ++read) {
        ASSERT_NO_THROW(vrma::LoadPointFile(path, &list_));
        ASSERT_EQ(list_.Count(), kLines);
        ASSERT_EQ(list_.Get(123456)->X, 123456.5);
        most = std::max(most, std::size_t(list_.Count()) + list_.RecordRoom());
    }
    EXPECT_LE(most, std::size_t(2 * kLines)); // the records and the room of their chunks
}

} // namespace
