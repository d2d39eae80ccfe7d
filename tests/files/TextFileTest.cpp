// Windows-1251 text files: line rules, the code page, and the whole-file replace.
#include "data/TextFile.h"
#include "data/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using vrma::DecodeTextLines;

QByteArray Bytes(const char* data, qsizetype size) {
    return QByteArray(data, size);
}

TEST(TextLinesTest, BreaksAndTheEndOfTheText) {
    EXPECT_EQ(DecodeTextLines(""), QStringList());
    EXPECT_EQ(DecodeTextLines("a"), QStringList({"a"}));
    EXPECT_EQ(DecodeTextLines("a\r\n"), QStringList({"a"}));
    EXPECT_EQ(DecodeTextLines("a\r\nb"), DecodeTextLines("a\r\nb\r\n"));
    EXPECT_EQ(DecodeTextLines("a\rb\nc\r\nd"), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(DecodeTextLines("a\n\nb"), QStringList({"a", "", "b"}));
    EXPECT_EQ(DecodeTextLines("a\n\r"), QStringList({"a", ""})); // LF CR: two breaks
    EXPECT_EQ(DecodeTextLines("a\r\r\n"), QStringList({"a", ""}));
    EXPECT_EQ(DecodeTextLines("\r\n"), QStringList({""}));
    EXPECT_EQ(DecodeTextLines("\r\n\r\n"), QStringList({"", ""}));
    EXPECT_EQ(DecodeTextLines(" \t x \r\n"), QStringList({" \t x "}));
    // A NUL ends the text.
    EXPECT_EQ(DecodeTextLines(Bytes("a\0b\r\nc", 6)), QStringList({"a"}));
    EXPECT_EQ(DecodeTextLines(Bytes("a\r\n\0b", 5)), QStringList({"a"}));
    EXPECT_EQ(DecodeTextLines(Bytes("\0abc", 4)), QStringList());
}

TEST(TextLinesTest, EncodingEndsEveryLineWithCrLf) {
    EXPECT_EQ(vrma::EncodeTextLines({}), QByteArray());
    EXPECT_EQ(vrma::EncodeTextLines({""}), QByteArray("\r\n"));
    EXPECT_EQ(vrma::EncodeTextLines({"a", "", "b c"}), QByteArray("a\r\n\r\nb c\r\n"));
}

TEST(CodePageTest, EveryHighByteSurvivesARoundTrip) {
    QSet<QChar> seen;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const char c = static_cast<char>(byte);
        const QString decoded = vrma::DecodeCp1251(&c, 1);
        ASSERT_EQ(decoded.size(), 1);
        EXPECT_NE(decoded[0], QChar::ReplacementCharacter) << byte;
        EXPECT_FALSE(seen.contains(decoded[0])) << byte;
        seen.insert(decoded[0]);
        EXPECT_EQ(vrma::EncodeCp1251(decoded), QByteArray(1, c)) << byte;
        EXPECT_EQ(vrma::Cp1251ByteOf(decoded[0]), byte);
    }
    EXPECT_EQ(vrma::DecodeCp1251("\xC0\xFF\xA8\xB8\x88\xB9", 6), QString::fromUtf8("АяЁё€№"));
    EXPECT_EQ(vrma::DecodeCp1251("\x98", 1), QString(QChar(0x98)));
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(vrma::EncodeCp1251(QString::fromUtf8("Ошибка! 1;2")),
              QByteArray("\xCE\xF8\xE8\xE1\xEA\xE0! 1;2"));
    EXPECT_EQ(vrma::EncodeCp1251(QString::fromUtf8("é中")), QByteArray("??"));
    EXPECT_EQ(vrma::EncodeCp1251(QString::fromUtf8("a\U0001F600b")), QByteArray("a?b"));
    EXPECT_EQ(vrma::EncodeCp1251(QString(QChar(0xD800))), QByteArray("?"));
    EXPECT_EQ(vrma::Cp1251ByteOf(QChar(0x4E2D)), -1);
    EXPECT_EQ(vrma::Cp1251ByteOf(QLatin1Char(',')), ',');
}

// The message of the encoding error that the lines give ("" when they encode).
QString EncodingFailure(const QStringList& lines) {
    try {
        vrma::EncodeTextLines(lines);
    } catch (const vrma::EncodingError& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

TEST(CodePageTest, LinesThatTheCodePageCannotHoldAreRefusedNamingTheCharacterAndTheLine) {
    const QString e = QString::fromUtf8("data_é/t.tab");
    QString message = EncodingFailure({"720", "576", e, "x"});
    EXPECT_TRUE(message.contains(QStringLiteral("Строка 3:"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromUtf8("«é» (U+00E9)"))) << message.toStdString();
    // The first character that fails is named, in the first line that holds one.
    message = EncodingFailure({QString::fromUtf8("Ёё"), QString::fromUtf8("a中é")});
    EXPECT_TRUE(message.contains(QStringLiteral("Строка 2:")));
    EXPECT_TRUE(message.contains(QString::fromUtf8("«中» (U+4E2D)"))) << message.toStdString();
    // A character beyond the basic plane is one character; a lone surrogate has no glyph.
    message = EncodingFailure({QString::fromUtf8("a\U0001F600b")});
    EXPECT_TRUE(message.contains(QString::fromUtf8("«\U0001F600» (U+1F600)")))
        << message.toStdString();
    message = EncodingFailure({"ok", QString(QChar(0xDC00))});
    EXPECT_TRUE(message.contains(QStringLiteral("Строка 2: символ U+DC00 ")))
        << message.toStdString();
    // An encoding error is a file error to whoever does not tell them apart.
    EXPECT_THROW(vrma::EncodeTextLines({QString::fromUtf8("é")}), vrma::FileError);

    // Every character of the code page still encodes, 0x98 as U+0098 included.
    QByteArray all;
    for (int byte = 1; byte < 256; ++byte)
        if (byte != '\r' && byte != '\n')
            all += static_cast<char>(byte);
    const QStringList lines = DecodeTextLines(all);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(EncodingFailure(lines), QString());
    EXPECT_EQ(vrma::EncodeTextLines(lines), all + "\r\n");
    EXPECT_EQ(vrma::EncodeTextLines({QString(QChar(0x98))}), QByteArray("\x98\r\n"));
}

class TextFileTest : public ::testing::Test {
protected:
    void TearDown() override { vrma::SetWriteFailureAfterBytes(-1); }

    QString Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    static void WriteRaw(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QStringList Entries() const {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir_;
};

TEST_F(TextFileTest, WrittenLinesReadBack) {
    const QStringList lines = {QString::fromUtf8("Калибровка"), "", "1 ; 2",
                               QString(QChar(0x98)) + "x"};
    vrma::WriteTextLines(Path("a.txt"), lines);
    EXPECT_EQ(vrma::ReadFileBytes(Path("a.txt")),
              QByteArray("\xCA\xE0\xEB\xE8\xE1\xF0\xEE\xE2\xEA\xE0\r\n\r\n1 ; 2\r\n\x98x\r\n"));
    EXPECT_EQ(vrma::ReadTextLines(Path("a.txt")), lines);
    EXPECT_EQ(Entries(), QStringList({"a.txt"}));
}

TEST_F(TextFileTest, TheByte98SurvivesReadAndWriteBack) {
    const QByteArray original("a\x98z\r\n\x98\r\n", 8);
    WriteRaw(Path("b.txt"), original);
    vrma::WriteTextLines(Path("b.txt"), vrma::ReadTextLines(Path("b.txt")));
    EXPECT_EQ(vrma::ReadFileBytes(Path("b.txt")), original);
}

TEST_F(TextFileTest, MissingFilesAndFoldersCannotBeRead) {
    EXPECT_THROW(vrma::ReadFileBytes(Path("missing.txt")), vrma::FileError);
    EXPECT_THROW(vrma::ReadTextLines(Path("missing.txt")), vrma::FileError);
    EXPECT_THROW(vrma::ReadFileBytes(dir_.path()), vrma::FileError);
}

TEST_F(TextFileTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    WriteRaw(Path("c.txt"), "old\r\n");
    // A disk that fills up at any byte of the new text, the last included.
    for (qint64 after : {0, 3, 13}) {
        vrma::SetWriteFailureAfterBytes(after);
        EXPECT_THROW(vrma::WriteTextLines(Path("c.txt"), {"new", "content"}), vrma::FileError);
        EXPECT_EQ(vrma::ReadFileBytes(Path("c.txt")), QByteArray("old\r\n"));
        EXPECT_EQ(Entries(), QStringList({"c.txt"}));
    }
    // A new file is not created either.
    EXPECT_THROW(vrma::WriteTextLines(Path("d.txt"), {"x"}), vrma::FileError);
    EXPECT_FALSE(QFile::exists(Path("d.txt")));
    vrma::SetWriteFailureAfterBytes(-1);
    vrma::WriteTextLines(Path("c.txt"), {"new"});
    EXPECT_EQ(vrma::ReadFileBytes(Path("c.txt")), QByteArray("new\r\n"));
}

TEST_F(TextFileTest, TextTheCodePageCannotHoldLeavesTheOldFileAsItWas) {
    const QByteArray old = "1.5 ; x\r\n\xC0\x98\r\n";
    WriteRaw(Path("c.cam"), old);
    const QStringList lines = {"1.5 ; x", QString::fromUtf8("/home/u/data_é/t.tab ; y")};
    EXPECT_THROW(vrma::WriteTextLines(Path("c.cam"), lines), vrma::EncodingError);
    EXPECT_EQ(vrma::ReadFileBytes(Path("c.cam")), old);
    // No new file either, and no temporary left behind.
    EXPECT_THROW(vrma::WriteTextLines(Path("d.cam"), lines), vrma::EncodingError);
    EXPECT_EQ(Entries(), QStringList({"c.cam"}));
}

TEST_F(TextFileTest, TheNewFileKeepsThePermissions) {
    WriteRaw(Path("e.txt"), "old\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(Path("e.txt")).constData(), 0640), 0);
    vrma::WriteTextLines(Path("e.txt"), {"new"});
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(Path("e.txt")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(vrma::ReadFileBytes(Path("e.txt")), QByteArray("new\r\n"));
}

TEST_F(TextFileTest, AReadOnlyTargetIsAFailure) {
    WriteRaw(Path("f.txt"), "old\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(Path("f.txt")).constData(), 0444), 0);
    EXPECT_THROW(vrma::WriteTextLines(Path("f.txt"), {"new"}), vrma::FileError);
    EXPECT_EQ(vrma::ReadFileBytes(Path("f.txt")), QByteArray("old\r\n"));
    EXPECT_EQ(Entries(), QStringList({"f.txt"}));
}

TEST_F(TextFileTest, UnwritablePlacesAreFailures) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir("sub"));
    EXPECT_THROW(vrma::WriteTextLines(Path("sub"), {"x"}), vrma::FileError);
    EXPECT_THROW(vrma::WriteTextLines(Path("no/such/folder.txt"), {"x"}), vrma::FileError);
}

} // namespace
