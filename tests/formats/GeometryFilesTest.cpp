// Camera and orientation files: reading value texts, normalising, writing byte for byte.
#include "data/GeometryFiles.h"
#include "data/Errors.h"
#include "data/TextFile.h"
#include "platform/Locale.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vrma;

namespace {

struct SeparatorGuard {
    QChar saved = DecimalSeparator();
    explicit SeparatorGuard(QChar c) { SetDecimalSeparator(c); }
    ~SeparatorGuard() { SetDecimalSeparator(saved); }
};

QByteArray FileBytes(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

QByteArray Cp1251(const char* utf8) {
    return EncodeCp1251(QString::fromUtf8(utf8));
}

} // namespace

TEST(GeometryFiles, CameraLinesAreWrittenByteForByteInCp1251WithCrLf) {
    SeparatorGuard sep('.');
    QTemporaryDir dir;
    const QString path = dir.filePath("cam.cam");
    QStringList lines;
    ASSERT_EQ(BuildGeometryFile(GeometryFormat::Camera,
                                {"360.0000 ", "288", "C:/t/Table1.tab ", " ", "720", "576",
                                 "360.0000", "288.0000"},
                                &lines),
              -1);
    WriteTextLines(path, lines);
    QByteArray expected;
    expected += "360" + Cp1251(" ; Координата X центра изображения") + "\r\n";
    expected += "288" + Cp1251(" ; Координата Y центра изображения") + "\r\n";
    expected += "C:/t/Table1.tab" + Cp1251(" ; Таблица коррекции") + "\r\n";
    expected += Cp1251(" ; Фокусное расстояние") + "\r\n";
    expected += "720" + Cp1251(" ; Размер изображения по горизонтали") + "\r\n";
    expected += "576" + Cp1251(" ; Размер изображения по вертикали") + "\r\n";
    expected += "360" + Cp1251(" ; Координата X главной точки") + "\r\n";
    expected += "288" + Cp1251(" ; Координата Y главной точки") + "\r\n";
    EXPECT_EQ(FileBytes(path), expected);
}

TEST(GeometryFiles, OrientationCommentsInOrder) {
    const QStringList& c = GeometryComments(GeometryFormat::Orientation);
    ASSERT_EQ(c.size(), 21);
    EXPECT_EQ(c[0], QString::fromUtf8(" ; Координата X центра проекции в системе координат сцены"));
    EXPECT_EQ(c[5], QString::fromUtf8(" ; Расстояние от центра проекции до точки визирования"));
    EXPECT_EQ(c[6], QString::fromUtf8(" ; Продольный угол (фотограмм.) (градусы)"));
    EXPECT_EQ(c[9],
              QString::fromUtf8(" ; Угол поворота вокруг вертикальной оси (стенд.) (градусы)"));
    EXPECT_EQ(c[11], QString::fromUtf8(" ; Угол поворота изображения (стенд.) (градусы)"));
    EXPECT_EQ(c[12], QString::fromUtf8(" ; axx"));
    EXPECT_EQ(c[20], QString::fromUtf8(" ; azz"));

    QStringList values;
    for (int k = 0; k < 21; ++k)
        values << QString::number(k + 1);
    QStringList lines;
    ASSERT_EQ(BuildGeometryFile(GeometryFormat::Orientation, values, &lines), -1);
    ASSERT_EQ(lines.size(), 21);
    EXPECT_EQ(lines[15], QString::fromUtf8("16 ; ayx"));
}

TEST(GeometryFiles, ReadingTakesTextBeforeFirstSemicolonAndIgnoresTheRest) {
    const QStringList lines = {
        "360 ; any comment", "no semicolon", "a;b;c", " ; x", "5", "6;", ";7",
        "8 ; wrong comment", "extra line"};
    const QStringList v = GeometryValuesFromLines(lines, 8);
    EXPECT_EQ(v, QStringList({"360 ", "", "a", " ", "", "6", "", "8 "}));
    EXPECT_THROW(GeometryValuesFromLines(lines.mid(0, 7), 8), FormatError);
    QStringList twenty(20, "1 ; c");
    EXPECT_THROW(GeometryValuesFromLines(twenty, 21), FormatError);
    twenty << "2 ; c";
    EXPECT_EQ(GeometryValuesFromLines(twenty, 21).size(), 21);
}

TEST(GeometryFiles, ReadingAFileAndAMissingFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.cam");
    WriteTextLines(path, {"1 ; a", "2 ; b", "C:/x;y.tab ; c", "", "5", "6", "7", "8", "9"});
    const QStringList v = ReadGeometryValues(path, 8);
    EXPECT_EQ(v[2], "C:/x") << "a table name with a semicolon is cut there";
    EXPECT_EQ(v[3], "");
    EXPECT_THROW(ReadGeometryValues(dir.filePath("missing.cam"), 8), FileError);
}

TEST(GeometryFiles, NormalisingNumbers) {
    SeparatorGuard sep('.');
    EXPECT_EQ(NormaliseGeometryValue("123.4500"), QString("123.45"));
    EXPECT_EQ(NormaliseGeometryValue("0.00001"), QString("1E-5"));
    EXPECT_EQ(NormaliseGeometryValue("0"), QString("0"));
    EXPECT_EQ(NormaliseGeometryValue("360.0000 "), QString("360"));
    EXPECT_EQ(NormaliseGeometryValue(" 1.5e-5"), QString("1.5E-5"));
    EXPECT_EQ(NormaliseGeometryValue(" "), QString(""));
    EXPECT_EQ(NormaliseGeometryValue(""), QString(""));
    EXPECT_FALSE(NormaliseGeometryValue("  "));
    EXPECT_FALSE(NormaliseGeometryValue("12,5"));
    EXPECT_FALSE(NormaliseGeometryValue("abc"));
    SetDecimalSeparator(',');
    EXPECT_EQ(NormaliseGeometryValue("287,5"), QString("287,5"));
    EXPECT_FALSE(NormaliseGeometryValue("287.5"));
}

TEST(GeometryFiles, NormalisingKeepsTheParsersFullPrecision) {
    // At 15 digits these texts round differently from the nearest double: the long
    // double lies just below the decimal tie, the double just above it.
    SeparatorGuard sep('.');
    EXPECT_EQ(NormaliseGeometryValue("1.000000000000025"), QString("1.00000000000002"));
    EXPECT_EQ(NormaliseGeometryValue("1.000000000000055"), QString("1.00000000000005"));
}

TEST(GeometryFiles, FirstBadValueIsReportedAndNothingBuilt) {
    SeparatorGuard sep('.');
    QStringList values(21, "1");
    values[4] = "x1";
    values[9] = "  ";
    QStringList lines = {"untouched"};
    EXPECT_EQ(BuildGeometryFile(GeometryFormat::Orientation, values, &lines), 4);
    EXPECT_EQ(lines, QStringList({"untouched"}));
}

TEST(GeometryFiles, CorrectionTableTextIsFreeButLosesTrailingBlanks) {
    SeparatorGuard sep('.');
    QStringList values(8, "");
    values[2] = "  any text, 1;2  ";
    QStringList lines;
    ASSERT_EQ(BuildGeometryFile(GeometryFormat::Camera, values, &lines), -1);
    EXPECT_EQ(lines[2], QString::fromUtf8("  any text, 1;2 ; Таблица коррекции"));

    // Read-and-write cycles are stable: the blank before the comment does not pile up.
    QStringList cycle(8, "");
    cycle[2] = "T.tab";
    for (int round = 0; round < 3; ++round) {
        QStringList out;
        ASSERT_EQ(BuildGeometryFile(GeometryFormat::Camera, cycle, &out), -1);
        EXPECT_EQ(out[2], QString::fromUtf8("T.tab ; Таблица коррекции"));
        cycle = GeometryValuesFromLines(out, 8);
    }
}

TEST(GeometryFiles, NewCameraDocumentIsCommentsOnly) {
    QStringList lines;
    ASSERT_EQ(BuildGeometryFile(GeometryFormat::Camera, QStringList(8, ""), &lines), -1);
    EXPECT_EQ(lines[0], QString::fromUtf8(" ; Координата X центра изображения"));
    EXPECT_EQ(lines, GeometryComments(GeometryFormat::Camera));
}

TEST(GeometryFiles, OrientationLinesAreWrittenByteForByte) {
    SeparatorGuard sep('.');
    // The comments as the orientation format gives them, line 1 to 21.
    const char* const comments[] = {
        " ; Координата X центра проекции в системе координат сцены",
        " ; Координата Y центра проекции в системе координат сцены",
        " ; Координата Z центра проекции в системе координат сцены",
        " ; Координата X точки визирования в системе координат сцены",
        " ; Координата Y точки визирования в системе координат сцены",
        " ; Расстояние от центра проекции до точки визирования",
        " ; Продольный угол (фотограмм.) (градусы)",
        " ; Поперечный угол (фотограмм.) (градусы)",
        " ; Угол поворота изображения (фотограмм.) (градусы)",
        " ; Угол поворота вокруг вертикальной оси (стенд.) (градусы)",
        " ; Угол поворота вокруг горизонтальной оси (стенд.) (градусы)",
        " ; Угол поворота изображения (стенд.) (градусы)",
        " ; axx",
        " ; axy",
        " ; axz",
        " ; ayx",
        " ; ayy",
        " ; ayz",
        " ; azx",
        " ; azy",
        " ; azz",
    };
    QStringList values;
    QByteArray expected;
    for (int k = 0; k < 21; ++k) {
        // Line 4 absent, the others 0.5 * (k + 1) written back in the general format.
        values << (k == 3 ? QString(" ") : QString::number(0.5 * (k + 1), 'f', 3));
        const QByteArray number =
            k == 3 ? QByteArray() : QByteArray::number(0.5 * (k + 1), 'g', 15);
        expected += number + Cp1251(comments[k]) + "\r\n";
    }
    QStringList lines;
    ASSERT_EQ(BuildGeometryFile(GeometryFormat::Orientation, values, &lines), -1);
    QTemporaryDir dir;
    const QString path = dir.filePath("o.ort");
    WriteTextLines(path, lines);
    EXPECT_EQ(FileBytes(path), expected);
    EXPECT_TRUE(FileBytes(path).startsWith("0.5 ; \xCA\xEE\xEE\xF0\xE4")) << "Windows-1251 text";
}

TEST(GeometryFiles, FilesOfTooFewLinesFailAndExtraLinesAreLost) {
    SeparatorGuard sep('.');
    QTemporaryDir dir;
    const QString seven = dir.filePath("seven.cam");
    WriteTextLines(seven, QStringList(7, "1 ; c"));
    EXPECT_THROW(ReadGeometryValues(seven, kCameraLineCount), FormatError);
    const QString twenty = dir.filePath("twenty.ort");
    WriteTextLines(twenty, QStringList(20, "1 ; c"));
    EXPECT_THROW(ReadGeometryValues(twenty, kOrientationLineCount), FormatError);

    // Line ends of every kind; a ninth line is read past and not written back.
    QFile nine(dir.filePath("nine.cam"));
    ASSERT_TRUE(nine.open(QIODevice::WriteOnly));
    nine.write("1 ; a\r2 ; b\nt.tab ; c\r\n ; d\r\n5\r\n6 ; f\r\n7 ; g\r\n8 ; h\r\n9 ; i\r\n");
    nine.close();
    const QStringList values = ReadGeometryValues(nine.fileName(), kCameraLineCount);
    EXPECT_EQ(values, QStringList({"1 ", "2 ", "t.tab ", " ", "", "6 ", "7 ", "8 "}));
    QStringList lines;
    ASSERT_EQ(BuildGeometryFile(GeometryFormat::Camera, values, &lines), -1);
    EXPECT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[3], QString::fromUtf8(" ; Фокусное расстояние"));
    EXPECT_EQ(lines[4], QString::fromUtf8(" ; Размер изображения по горизонтали"));
    EXPECT_EQ(lines[7], QString::fromUtf8("8 ; Координата Y главной точки"));
}

TEST(GeometryFiles, CameraFileFocalIsThePositiveNumberOfItsFourthLine) {
    SeparatorGuard sep(',');
    QTemporaryDir dir;
    const auto camera = [&](const QString& name, const QString& focal, int lines = 8) {
        QStringList values = {"360", "288", "C:/t/Table1.tab", focal, "720", "576", "360", "288"};
        QStringList text;
        for (int k = 0; k < lines; ++k)
            text << values[k] + GeometryComments(GeometryFormat::Camera)[k];
        const QString path = dir.filePath(name);
        WriteTextLines(path, text);
        return path;
    };
    EXPECT_EQ(kCameraFocalLine, 3);
    EXPECT_EQ(CameraFileFocal(camera("f.cam", "1234,5")), 1234.5);
    // The value as the save writes it, blanks and all.
    EXPECT_EQ(CameraFileFocal(camera("b.cam", " 800 ")), 800.0);
    for (const char* none : {"", " ", "0", "-5", "1234.5", "x"})
        EXPECT_FALSE(CameraFileFocal(camera("n.cam", QString::fromLatin1(none)))) << none;
    // A file too short for its format, and none at all: no focal length, no failure.
    EXPECT_FALSE(CameraFileFocal(camera("s.cam", "1000", 5)));
    EXPECT_FALSE(CameraFileFocal(dir.filePath("missing.cam")));
}
