// Hostile files: every reader ends in its failure (for the coordinate-file reader, the
// message "Ошибка чтения файла сцены!") or reads the file correctly; nothing crashes or
// hangs.
#include "app/Alfa_form.h"
#include "data/Errors.h"
#include "data/GeometryFiles.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "editor/Edit.h"
#include "fuzz/EditorProperties.h"
#include "platform/Locale.h"
#include "support/RecordingDialogHost.h"
#include "support/ScriptedDialogHost.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sys/stat.h>
#include <vector>

namespace {

using vrma::test::DialogRecord;
using vrma::test::ScopedDialogHost;
using vrma::test::ScriptedDialogHost;

const QString kReadError = QStringLiteral("Ошибка чтения файла сцены!");

using vrma::test::RecordingHost;

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        previousSeparator_ = vrma::DecimalSeparator();
        vrma::SetDecimalSeparator(QLatin1Char('.'));
    }
    void TearDown() override { vrma::SetDecimalSeparator(previousSeparator_); }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString Write(const QString& name, const QByteArray& bytes) const {
        const QString path = Path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return path;
    }

    // ReadPointFile on the path; on a failure the one message box of the design is
    // expected, otherwise none. Returns the result; the points stay in points_.
    bool ReadPoints(const QString& path) {
        RecordingHost host;
        ScopedDialogHost installed(host);
        points_.Add(new vrma::VT_Point(-1, -1)); // the reader empties the list first
        const bool ok = vrma::ReadPointFile(path, &points_);
        EXPECT_EQ(host.boxes.size(), ok ? 0u : 1u) << path.toStdString();
        if (!ok && host.boxes.size() == 1) {
            const RecordingHost::Box& box = host.boxes[0];
            EXPECT_EQ(box.text, kReadError);
            EXPECT_EQ(box.caption, QStringLiteral("Ошибка!"));
            EXPECT_EQ(box.type, vrma::MB_OK);
            EXPECT_EQ(box.owner, nullptr);
        }
        return ok;
    }

    QTemporaryDir dir_;
    QChar previousSeparator_;
    vrma::VT_Points points_{1};
};

#define EXPECT_READS(path) EXPECT_TRUE(ReadPoints(path))

TEST_F(HostileFiles, A200MegabyteLineWithoutABreak) {
    // "0;" and then 200,000,000 zeros: one long but valid line.
    constexpr qint64 kSize = 200'000'000;
    const QString path = Path(QStringLiteral("long.crd"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("0;"), 2);
        const QByteArray zeros(1 << 20, '0');
        for (qint64 left = kSize; left > 0; left -= zeros.size())
            ASSERT_EQ(file.write(zeros.constData(), std::min<qint64>(left, zeros.size())),
                      std::min<qint64>(left, zeros.size()));
    }
    ASSERT_EQ(QFileInfo(path).size(), kSize + 2);
    EXPECT_READS(path);
    ASSERT_EQ(points_.Count(), 1);
    EXPECT_EQ(points_.Get(0)->X, 0.0);
    EXPECT_EQ(points_.Get(0)->Y, 0.0);

    // The same line as text, and as a camera file (one line: too few).
    {
        const QStringList lines = vrma::ReadTextLines(path);
        ASSERT_EQ(lines.size(), 1);
        EXPECT_EQ(lines[0].size(), kSize + 2);
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("0;000")));
        EXPECT_TRUE(lines[0].endsWith(QStringLiteral("0000")));
        EXPECT_THROW(vrma::GeometryValuesFromLines(lines, vrma::kCameraLineCount),
                     vrma::FormatError);
    }

    // One byte more at its end makes the line invalid.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        ASSERT_EQ(file.write("x"), 1);
    }
    EXPECT_FALSE(ReadPoints(path));
    EXPECT_EQ(points_.Count(), 0);
    ASSERT_TRUE(QFile::remove(path));
}

TEST_F(HostileFiles, AFileOfNulBytes) {
    // A NUL ends the text: a file of them has no lines, and that is no error.
    const QString path = Write(QStringLiteral("nul.crd"), QByteArray(1 << 20, '\0'));
    EXPECT_READS(path);
    EXPECT_EQ(points_.Count(), 0);
    EXPECT_EQ(vrma::ReadTextLines(path), QStringList());
    EXPECT_THROW(vrma::ReadGeometryValues(path, vrma::kCameraLineCount), vrma::FormatError);
    EXPECT_THROW(vrma::ReadGeometryValues(path, vrma::kOrientationLineCount), vrma::FormatError);

    // After a valid line, the NULs end the file there.
    const QString after =
        Write(QStringLiteral("after.crd"), QByteArray("1;2\r\n") + QByteArray(4096, '\0'));
    EXPECT_READS(after);
    ASSERT_EQ(points_.Count(), 1);
    EXPECT_EQ(points_.Get(0)->Y, 2.0);
}

TEST_F(HostileFiles, BinaryFiles) {
    // Our own splash picture: a JPEG, whose fourth byte is followed by a NUL.
    QFile jpeg(QStringLiteral(VRMA_SOURCE_DIR "/assets/splash.jpg"));
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    const QString picture = Write(QStringLiteral("picture.crd"), jpeg.readAll());
    EXPECT_FALSE(ReadPoints(picture));
    EXPECT_EQ(points_.Count(), 0);
    EXPECT_EQ(vrma::ReadTextLines(picture).size(), 1);
    EXPECT_THROW(vrma::ReadGeometryValues(picture, vrma::kCameraLineCount), vrma::FormatError);

    // Random bytes without NUL: many lines of every byte.
    std::mt19937 random(3);
    QByteArray noise(1 << 18, '\0');
    for (char& c : noise)
        c = static_cast<char>(1 + random() % 255);
    noise[0] = '\xFF';
    const QString binary = Write(QStringLiteral("binary.crd"), noise);
    EXPECT_FALSE(ReadPoints(binary));
    EXPECT_EQ(points_.Count(), 0);
    const QStringList lines = vrma::ReadTextLines(binary);
    EXPECT_GT(lines.size(), 1000);
    // Read and written back, the bytes stay the same except that every break is CR LF.
    vrma::WriteTextLines(Path(QStringLiteral("copy.txt")), lines);
    EXPECT_EQ(vrma::ReadTextLines(Path(QStringLiteral("copy.txt"))), lines);
    // As a camera file it has lines enough; its values do not normalise.
    const QStringList values = vrma::ReadGeometryValues(binary, vrma::kOrientationLineCount);
    ASSERT_EQ(values.size(), vrma::kOrientationLineCount);
    QStringList out;
    EXPECT_EQ(vrma::BuildGeometryFile(vrma::GeometryFormat::Orientation, values, &out), 0);
}

TEST_F(HostileFiles, HighBytesEverywhere) {
    QByteArray high;
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        high += static_cast<char>(byte);
    ASSERT_TRUE(high.contains('\x98'));
    const QByteArray original = high + "\r\n" + high + high + "\r\n\x98\r\n";
    const QString path = Write(QStringLiteral("high.txt"), original);

    // Each byte reads as its own character and is written back as the same byte.
    const QStringList lines = vrma::ReadTextLines(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].size(), 128);
    EXPECT_EQ(QSet<QChar>(lines[0].begin(), lines[0].end()).size(), 128);
    EXPECT_EQ(lines[2], QString(QChar(0x98)));
    vrma::WriteTextLines(path, lines);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), original);
    file.close();

    // In a coordinate file: invalid, after the valid first line.
    EXPECT_FALSE(ReadPoints(Write(QStringLiteral("a.crd"), "1;2\r\n" + high + "\r\n")));
    EXPECT_EQ(points_.Count(), 1);
    EXPECT_FALSE(ReadPoints(Write(QStringLiteral("b.crd"), "1;2\x98\r\n")));
    EXPECT_EQ(points_.Count(), 0);
    EXPECT_FALSE(ReadPoints(Write(QStringLiteral("c.crd"), "\x98"
                                                           "1;2\r\n")));

    // A decimal separator that is a high byte of the code page (U+00B7, byte 0xB7).
    vrma::SetDecimalSeparator(QChar(0x00B7));
    EXPECT_READS(Write(QStringLiteral("d.crd"), "1\xB7"
                                                "5 ; -\xB7"
                                                "25\r\n"));
    ASSERT_EQ(points_.Count(), 1);
    EXPECT_EQ(points_.Get(0)->X, 1.5);
    EXPECT_EQ(points_.Get(0)->Y, -0.25);
    EXPECT_FALSE(ReadPoints(Write(QStringLiteral("e.crd"), "1.5;2\r\n")));
    vrma::SetDecimalSeparator(QLatin1Char('.'));

    // As the correction table of a camera file: read, normalised and written back as it was.
    QByteArray camera;
    for (int line = 0; line < vrma::kCameraLineCount; ++line)
        camera += (line == vrma::kCameraTableLine ? high : QByteArray("1.5")) + " ; x\r\n";
    const QString cam = Write(QStringLiteral("high.cam"), camera);
    const QStringList values = vrma::ReadGeometryValues(cam, vrma::kCameraLineCount);
    QStringList out;
    ASSERT_EQ(vrma::BuildGeometryFile(vrma::GeometryFormat::Camera, values, &out), -1);
    vrma::WriteTextLines(cam, out);
    const QStringList reread = vrma::ReadGeometryValues(cam, vrma::kCameraLineCount);
    EXPECT_EQ(vrma::EncodeCp1251(reread[vrma::kCameraTableLine]), high + " ");
}

// The doubles next to 1: 1 + 2^-52, and the halfway point between them written out.
const char kHalfAfterOne[] = "1.00000000000000011102230246251565404236316680908203125";

TEST_F(HostileFiles, NumbersWithFiveThousandDigits) {
    const double next = std::nextafter(1.0, 2.0);
    // The exact halfway point between 1 and the next double, padded with zeros to 5,000
    // digits: a tie, which goes to the even neighbour, 1. One more digit 1 at the very end
    // puts the value above the tie.
    QString tie = QLatin1String(kHalfAfterOne);
    tie += QString(5001 - tie.size(), QLatin1Char('0'));
    ASSERT_EQ(tie.size() - 1, 5000); // digits, without the separator
    QString above = tie;
    above[above.size() - 1] = QLatin1Char('1');
    EXPECT_EQ(vrma::ParseRealDouble(tie), 1.0);
    EXPECT_EQ(vrma::ParseRealDouble(above), next);

    // 5,000 digits in other shapes.
    const QString big = QStringLiteral("1") + QString(4999, QLatin1Char('0'));
    const QString leadingZeros = QString(4998, QLatin1Char('0')) + QStringLiteral("1.5");
    const QString scaled = big + QStringLiteral("e-4999");
    const QString tiny =
        QStringLiteral("0.") + QString(4997, QLatin1Char('0')) + QStringLiteral("1");
    EXPECT_EQ(vrma::ParseRealDouble(big), std::nullopt); // 10^4999: beyond a double
    EXPECT_EQ(vrma::ParseReal(big), std::nullopt);       // and beyond a long double
    EXPECT_EQ(vrma::ParseRealDouble(leadingZeros), 1.5);
    EXPECT_EQ(vrma::ParseRealDouble(scaled), 1.0);
    EXPECT_EQ(vrma::ParseReal(scaled), 1.0L);
    EXPECT_EQ(vrma::ParseRealDouble(tiny), 0.0); // 10^-4998: too small, zero
    EXPECT_EQ(vrma::ParseReal(tiny), 0.0L);

    // The long double's own tie next to 1 (1 + 2^-64), padded to 5,000 digits.
    QString longTie =
        QStringLiteral("1.0000000000000000000542101086242752217003726400434970855712890625");
    longTie += QString(5001 - longTie.size(), QLatin1Char('0'));
    QString longAbove = longTie;
    longAbove[longAbove.size() - 1] = QLatin1Char('3');
    EXPECT_EQ(vrma::ParseReal(longTie), 1.0L);
    EXPECT_EQ(vrma::ParseReal(longAbove), std::nextafter(1.0L, 2.0L));

    // The same lines through the coordinate-file reader, under both separators.
    for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
        vrma::SetDecimalSeparator(separator);
        const auto bytes = [&](QString text) {
            return text.replace(QLatin1Char('.'), separator).toLatin1();
        };
        const QByteArray file = bytes(tie) + " ; " + bytes(above) + "\r\n" + bytes(leadingZeros) +
                                ";" + bytes(scaled) + "\r\n-" + bytes(tiny) + ";0\r\n";
        EXPECT_READS(Write(QStringLiteral("digits.crd"), file));
        ASSERT_EQ(points_.Count(), 3);
        EXPECT_EQ(points_.Get(0)->X, 1.0);
        EXPECT_EQ(points_.Get(0)->Y, next);
        EXPECT_EQ(points_.Get(1)->X, 1.5);
        EXPECT_EQ(points_.Get(1)->Y, 1.0);
        EXPECT_EQ(points_.Get(2)->X, 0.0);
        EXPECT_TRUE(std::signbit(points_.Get(2)->X));
        // 10^4999 fails the line.
        EXPECT_FALSE(ReadPoints(Write(QStringLiteral("big.crd"), file + "0;" + bytes(big))));
        EXPECT_EQ(points_.Count(), 3);
    }
    vrma::SetDecimalSeparator(QLatin1Char('.'));

    // Integers of 5,000 digits are beyond the 32-bit range.
    EXPECT_EQ(vrma::ParseInteger(QString(5000, QLatin1Char('9'))), std::nullopt);
    EXPECT_EQ(vrma::ParseInteger(QString(4999, QLatin1Char('0')) + QStringLiteral("7")), 7);

    // Geometry values: normalised to 15 digits, or rejected.
    EXPECT_EQ(vrma::NormaliseGeometryValue(above), QStringLiteral("1"));
    EXPECT_EQ(vrma::NormaliseGeometryValue(leadingZeros), QStringLiteral("1.5"));
    EXPECT_EQ(vrma::NormaliseGeometryValue(big), std::nullopt);
}

TEST_F(HostileFiles, AnExponentOf99999) {
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral("1e99999")), std::nullopt);
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral("-1E+99999")), std::nullopt);
    EXPECT_EQ(vrma::ParseReal(QStringLiteral("1e99999")), std::nullopt);
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral("1e-99999")), 0.0);
    EXPECT_EQ(vrma::ParseReal(QStringLiteral("1e-99999")), 0.0L);
    EXPECT_TRUE(std::signbit(*vrma::ParseRealDouble(QStringLiteral("-1e-99999"))));
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral("0e99999")), 0.0);
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral(" .e99999 ")), 0.0);
    // An exponent that cancels a long mantissa, and exponents of 5,000 digits.
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral("0.") + QString(99998, QLatin1Char('0')) +
                                    QStringLiteral("25e99999")),
              2.5);
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral("1e") + QString(5000, QLatin1Char('9'))),
              std::nullopt);
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral("1e-") + QString(5000, QLatin1Char('9'))), 0.0);
    EXPECT_EQ(vrma::ParseRealDouble(QStringLiteral("1e-") + QString(5000, QLatin1Char('0')) +
                                    QStringLiteral("1")),
              0.1);

    EXPECT_READS(Write(QStringLiteral("small.crd"), "1e-99999 ; 0e99999\r\n"));
    ASSERT_EQ(points_.Count(), 1);
    EXPECT_EQ(points_.Get(0)->X, 0.0);
    EXPECT_EQ(points_.Get(0)->Y, 0.0);
    EXPECT_FALSE(ReadPoints(Write(QStringLiteral("large.crd"), "1;2\r\n1e99999;0\r\n")));
    EXPECT_EQ(points_.Count(), 1);
    EXPECT_FALSE(ReadPoints(Write(QStringLiteral("large2.crd"), "0 ; -1e+99999\r\n")));
    EXPECT_EQ(points_.Count(), 0);

    EXPECT_EQ(vrma::NormaliseGeometryValue(QStringLiteral("1e99999")), std::nullopt);
    EXPECT_EQ(vrma::NormaliseGeometryValue(QStringLiteral("1e-99999")), QStringLiteral("0"));
}

TEST_F(HostileFiles, APathWithCyrillicLettersAndBlanks) {
    const QString folder = Path(QStringLiteral("Данные калибровки/съёмка 1"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString scene = folder + QStringLiteral("/сцена №1 (поле 6 × 6).crd");
    const QString image = folder + QStringLiteral("/снимок ё.crd");
    vrma::WriteTextLines(scene, {QStringLiteral("0 ; 0"), QStringLiteral("10 ; 20")});
    vrma::WriteTextLines(image, {QStringLiteral("1.5 ; 2.5"), QStringLiteral("3 ; 4")});
    // The names on disk are the names as given.
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).contains(QStringLiteral("снимок ё.crd")));
    EXPECT_READS(scene);
    ASSERT_EQ(points_.Count(), 2);
    EXPECT_EQ(points_.Get(1)->Y, 20.0);
    EXPECT_EQ(vrma::ReadTextLines(image), QStringList({"1.5 ; 2.5", "3 ; 4"}));

    // A camera file naming a path of Cyrillic letters, "№" and blanks keeps it as it is.
    const QString cam = folder + QStringLiteral("/камера.cam");
    QStringList lines;
    ASSERT_EQ(vrma::BuildGeometryFile(vrma::GeometryFormat::Camera,
                                      {"360", "288", image, "", "720", "576", "360", "288"},
                                      &lines),
              -1);
    vrma::WriteTextLines(cam, lines);
    EXPECT_EQ(vrma::ReadGeometryValues(cam, vrma::kCameraLineCount)[vrma::kCameraTableLine],
              image + " ");
    // "×" has no byte in Windows-1251: a camera file naming the scene file is not written.
    const QByteArray written = vrma::ReadFileBytes(cam);
    ASSERT_EQ(vrma::BuildGeometryFile(vrma::GeometryFormat::Camera,
                                      {"360", "288", scene, "", "720", "576", "360", "288"},
                                      &lines),
              -1);
    EXPECT_THROW(vrma::WriteTextLines(cam, lines), vrma::EncodingError);
    EXPECT_EQ(vrma::ReadFileBytes(cam), written);

    // Chosen with the window's pickers and read by the calibration's input step.
    ScriptedDialogHost host;
    ScopedDialogHost installed(host);
    vrma::test::ScopedCurrentFolder keepFolder;
    vrma::TAlfaKalibr_Form form;
    host.answerFile(scene);
    form.Button5Click(form.Button5);
    host.answerFile(image);
    form.Button1Click(form.Button1);
    EXPECT_EQ(form.Edit11->text(), QStringLiteral("сцена №1 (поле 6 × 6).crd"));
    ASSERT_TRUE(form.LoadPointLists());
    EXPECT_EQ(form.scenePoints->Count(), 2);
    ASSERT_EQ(form.imagePoints->Count(), 2);
    EXPECT_EQ(form.imagePoints->Get(0)->X, 1.5);
    EXPECT_EQ(host.records(DialogRecord::Kind::MessageBox).size(), 0u);
}

TEST_F(HostileFiles, AMissingFolder) {
    const QString path = Path(QStringLiteral("нет такой папки/a.crd"));
    EXPECT_FALSE(ReadPoints(path));
    EXPECT_EQ(points_.Count(), 0);
    EXPECT_THROW(vrma::ReadTextLines(path), vrma::FileError);
    EXPECT_THROW(vrma::ReadGeometryValues(path, vrma::kCameraLineCount), vrma::FileError);
    EXPECT_THROW(vrma::WriteTextLines(path, {"1 ; 2"}), vrma::FileError);
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("нет такой папки"))));
}

TEST_F(HostileFiles, AFolderInPlaceOfAFile) {
    const QString path = Path(QStringLiteral("folder.crd"));
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
    EXPECT_FALSE(ReadPoints(path));
    EXPECT_EQ(points_.Count(), 0);
    EXPECT_THROW(vrma::ReadTextLines(path), vrma::FileError);
    EXPECT_THROW(vrma::ReadGeometryValues(path, vrma::kOrientationLineCount), vrma::FileError);
    EXPECT_THROW(vrma::WriteTextLines(path, {"1 ; 2"}), vrma::FileError);
    EXPECT_TRUE(QFileInfo(path + QStringLiteral("/inside")).isDir());
    EXPECT_EQ(QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList({"inside"}));
}

TEST_F(HostileFiles, DevicesAndPipesAreNoDataFiles) {
    // A pipe with a writer that never closes it, and an endless device: refused at
    // once instead of waiting for an end that never comes.
    const QString fifo = Path(QStringLiteral("pipe.crd"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile writer(fifo);
    ASSERT_TRUE(writer.open(QIODevice::ReadWrite | QIODevice::Unbuffered)); // never blocks
    ASSERT_EQ(writer.write("1;2\r\n"), 5);
    EXPECT_FALSE(ReadPoints(fifo));
    EXPECT_THROW(vrma::ReadTextLines(fifo), vrma::FileError);
    EXPECT_THROW(vrma::ReadGeometryValues(fifo, vrma::kCameraLineCount), vrma::FileError);
    writer.close();

    if (QFileInfo::exists(QStringLiteral("/dev/zero"))) {
        EXPECT_FALSE(ReadPoints(QStringLiteral("/dev/zero")));
        EXPECT_THROW(vrma::ReadTextLines(QStringLiteral("/dev/zero")), vrma::FileError);
    }
}

// The file chosen in the dialog is gone (or replaced by a folder) when it is read.
TEST_F(HostileFiles, AFileThatVanishesBetweenTheDialogAndTheRead) {
    // A 3 x 3 grid, column by column; the image is the scene at twice the scale in y.
    QByteArray sceneText;
    QByteArray imageText;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            sceneText += QByteArray::number(10 * i) + " ; " + QByteArray::number(10 * j) + "\r\n";
            imageText += QByteArray::number(10 * i) + " ; " + QByteArray::number(20 * j) + "\r\n";
        }
    const QString scene = Write(QStringLiteral("scene.crd"), sceneText);
    const QString image = Write(QStringLiteral("image.crd"), imageText);

    ScriptedDialogHost host;
    ScopedDialogHost installed(host);
    vrma::test::ScopedCurrentFolder keepFolder;
    vrma::TAlfaKalibr_Form form;
    form.Edit3->setText(QStringLiteral("3"));
    form.Edit5->setText(QStringLiteral("3"));
    host.answerFile(scene);
    form.Button5Click(form.Button5);
    host.answerFile(image);
    form.Button1Click(form.Button1);
    form.N4Click(form.N4);
    ASSERT_TRUE(host.records(DialogRecord::Kind::MessageBox).empty());
    ASSERT_EQ(form.Edit8->text(), QStringLiteral("2.0000"));
    const QStringList results = form.ListBoxLines();

    // The image file vanishes: the scene is read, the image fails with the reader's
    // message alone, and the results of the last run stay.
    ASSERT_TRUE(QFile::remove(image));
    host.clearRecords();
    host.answerOk();
    form.N4Click(form.N4);
    EXPECT_EQ(form.scenePoints->Count(), 9);
    EXPECT_EQ(form.imagePoints->Count(), 0);
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].text, kReadError);
    EXPECT_EQ(host.records()[0].caption, QStringLiteral("Ошибка!"));
    EXPECT_EQ(form.ListBoxLines(), results);
    EXPECT_EQ(form.Edit8->text(), QStringLiteral("2.0000"));

    // The scene file is replaced by a folder of the same name.
    ASSERT_TRUE(QFile::remove(scene));
    ASSERT_TRUE(QDir().mkdir(scene));
    host.clearRecords();
    host.answerOk();
    form.Button2Click(form.Button2);
    EXPECT_EQ(form.scenePoints->Count(), 0);
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].text, kReadError);
    EXPECT_EQ(form.ListBoxLines(), results);

    // Directly: ReadPointFile on a name that was valid a moment ago.
    const QString gone = Write(QStringLiteral("gone.crd"), "1;2\r\n");
    ASSERT_TRUE(QFile::remove(gone));
    EXPECT_FALSE(ReadPoints(gone));
    EXPECT_EQ(points_.Count(), 0);
}

// Hostile files given to the calibration command: the reader's message and nothing else;
// a long line or a binary file neither hangs the window nor leaves partial results.
TEST_F(HostileFiles, TheCalibrationCommandOnHostileFiles) {
    ScriptedDialogHost host;
    ScopedDialogHost installed(host);
    vrma::TAlfaKalibr_Form form;
    form.imageFileName = Write(QStringLiteral("image.crd"), "0;0\r\n");
    QFile jpeg(QStringLiteral(VRMA_SOURCE_DIR "/assets/splash.jpg"));
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    const QString cases[] = {
        Write(QStringLiteral("picture.crd"), jpeg.readAll()),
        Write(QStringLiteral("long.crd"), "1;" + QByteArray(4 << 20, '7')),
        Write(QStringLiteral("high.crd"), "1;2\r\n\x98\xC0\xFF;1\r\n"),
        Write(QStringLiteral("exponent.crd"), "1;1e99999\r\n"),
        Path(QStringLiteral("нет папки/сцена.crd")),
        dir_.path(),
    };
    for (const QString& scene : cases) {
        form.sceneFileName = scene;
        host.clearRecords();
        host.answerOk();
        form.N4Click(form.N4);
        ASSERT_EQ(host.records().size(), 1u) << scene.toStdString();
        EXPECT_EQ(host.records()[0].text, kReadError);
        EXPECT_TRUE(form.ListBoxLines().isEmpty());
        EXPECT_TRUE(form.Edit8->text().isEmpty());
    }
    // A file of NUL bytes reads as an empty file: the count check speaks instead.
    form.sceneFileName = Write(QStringLiteral("nul.crd"), QByteArray(1000, '\0'));
    host.clearRecords();
    host.answerOk();
    form.N4Click(form.N4);
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].text, QStringLiteral("Неверное количество столбцов или строк!"));
}

// The editor's open operation on hostile files, for every document kind: loaded as the
// editor's property says (every line converted and shown normalised, saved back the same),
// or failed with the internal-error message.
TEST_F(HostileFiles, TheEditorOnHostileContents) {
    QFile jpeg(QStringLiteral(VRMA_SOURCE_DIR "/assets/splash.jpg"));
    ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly));
    QByteArray high;
    for (int byte = 0x80; byte <= 0xFF; ++byte)
        high += static_cast<char>(byte);
    const QByteArray digits = "1." + QByteArray(4998, '0') + "1";
    const QByteArray contents[] = {
        QByteArray(4096, '\0'),
        jpeg.readAll(),
        high + "\r\n" + high + "\r\n",
        "1;2;3\r\n" + high,
        digits + ";" + digits + ";" + digits + "\r\n" + digits + "\r\n",
        "1e99999;0;0\r\n",
        "1e-99999;0e99999;-1e-99999\r\n7\r\n",
        "12\r\n" + QByteArray(5000, '9') + "\r\n",
        "1;" + QByteArray(1 << 22, '7') + "\r\n",
    };
    struct Handler {
        Handler() {
            vrma::fuzz::CurrentFailureHandler() = [](const std::string& what) {
                throw std::runtime_error(what);
            };
        }
        ~Handler() { vrma::fuzz::CurrentFailureHandler() = nullptr; }
    } handler;
    for (std::uint8_t kind = 1; kind <= 10; ++kind) {
        for (const QByteArray& content : contents) {
            const QByteArray input = QByteArray(1, char(kind - 1)) + content;
            try {
                vrma::fuzz::CheckEditorDocument(reinterpret_cast<const std::uint8_t*>(input.data()),
                                                std::size_t(input.size()));
            } catch (const std::runtime_error& violation) {
                ADD_FAILURE() << "kind " << int(kind) << ", " << content.size()
                              << " bytes: " << violation.what();
            }
        }
    }
}

TEST_F(HostileFiles, TheEditorOnPlacesThatAreNoFiles) {
    const QString fifo = Path(QStringLiteral("pipe.crd"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile writer(fifo);
    ASSERT_TRUE(writer.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    ASSERT_EQ(writer.write("1;2\r\n"), 5);
    const QString gone = Write(QStringLiteral("gone.crd"), "1;2\r\n");
    ASSERT_TRUE(QFile::remove(gone));
    const QString places[] = {Path(QStringLiteral("нет такой папки/точки.crd")), dir_.path(), fifo,
                              gone};
    ScriptedDialogHost host;
    ScopedDialogHost installed(host);
    for (int kind : {1, 2, 4, 5, 7}) {
        for (const QString& place : places) {
            host.clearRecords();
            host.answerOk();
            vrma::TRedForm* window = vrma::CreateEditorWindow();
            EXPECT_EQ(window->OpenDocument(place, kind), 0) << place.toStdString();
            ASSERT_EQ(host.records().size(), 1u);
            EXPECT_EQ(host.records()[0].text,
                      QStringLiteral("Внутренняя ошибка. Обратитесь к разработчику."));
            EXPECT_FALSE(window->isVisible());
        }
    }
    vrma::DestroyEditorWindows();
}

} // namespace
