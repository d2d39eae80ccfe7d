// vrma-calib --photo run as a process on rendered photographs: the files it writes
// calibrate as --scene and --image do, and a photograph without the grid, or one that
// cannot be read, leaves every file as it was.
#include "batch/CalibProcess.h"
#include "data/Messages.h"
#include "data/TextFile.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vrma;
using vrma::test::PhotoScene;
using vrma::test::RenderPhoto;
using vrma::test::WritePhoto;

namespace {

struct CalibRun {
    int code = -1;
    QStringList out;
    QString err;
};

CalibRun Calib(const QStringList& arguments) {
    const vrma::test::CalibResult result = vrma::test::RunCalib(arguments);
    CalibRun run{result.code, result.out.split(QLatin1Char('\n')), result.err};
    run.out.removeLast();
    return run;
}

QByteArray Bytes(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

class VrmaCalibPhoto : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    // The photograph of a 9 x 6 field, the camera's fy / fx = 1.0035.
    QString photograph(TargetKind kind, const QString& name) {
        PhotoScene scene;
        scene.kind = kind;
        scene.blur = 1.0;
        scene.noise = 1.0;
        const QString file = path(name);
        WritePhoto(RenderPhoto(scene), file);
        return file;
    }

    QStringList photoArguments(const QString& photo, const QString& target) const {
        return {QStringLiteral("--photo"),     photo,
                QStringLiteral("--target"),    target,
                QStringLiteral("--columns"),   QStringLiteral("9"),
                QStringLiteral("--rows"),      QStringLiteral("6"),
                QStringLiteral("--pitch"),     QStringLiteral("20"),
                QStringLiteral("--scene-out"), path(QStringLiteral("scene.crd")),
                QStringLiteral("--image-out"), path(QStringLiteral("image.crd"))};
    }

    QTemporaryDir temp;
};

TEST_F(VrmaCalibPhoto, DetectsWritesAndCalibratesAsTheFilesDo) {
    for (const auto& [kind, word] :
         {std::pair{TargetKind::Chessboard, "chessboard"}, std::pair{TargetKind::Dots, "dots"}}) {
        const QString photo = photograph(kind, QStringLiteral("field.png"));
        const QString table = path(QStringLiteral("t.tab"));
        const CalibRun run = Calib(photoArguments(photo, QString::fromLatin1(word))
                                   << QStringLiteral("--table") << table);
        ASSERT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_EQ(run.err, QString());
        // 7 x 4 interior nodes, then the summary; the mean is the camera's fy / fx.
        ASSERT_EQ(run.out.size(), 28 + 6);
        EXPECT_EQ(run.out[29], QStringLiteral("Среднее значение:"));
        EXPECT_NEAR(run.out[30].toDouble(), 1.0035, 2e-4);

        // The files written are coordinate files of 54 points that calibrate the same.
        const QString scene = path(QStringLiteral("scene.crd"));
        const QString image = path(QStringLiteral("image.crd"));
        EXPECT_EQ(Bytes(scene).count("\r\n"), 54);
        EXPECT_EQ(Bytes(image).count("\r\n"), 54);
        EXPECT_TRUE(Bytes(scene).startsWith("0 ; 0\r\n0 ; 20\r\n"));
        const CalibRun files = Calib({QStringLiteral("--scene"), scene, QStringLiteral("--image"),
                                      image, QStringLiteral("--columns"), QStringLiteral("9"),
                                      QStringLiteral("--rows"), QStringLiteral("6")});
        EXPECT_EQ(files.code, 0);
        EXPECT_EQ(files.out, run.out);
        // The table's image size is the photograph's.
        EXPECT_TRUE(Bytes(table).contains("\r\n0 0 1600 1200 X")) << Bytes(table).toStdString();
    }
}

TEST_F(VrmaCalibPhoto, RowPitchAndGivenSize) {
    const QString photo = photograph(TargetKind::Chessboard, QStringLiteral("field.png"));
    const QString table = path(QStringLiteral("t.tab"));
    const CalibRun run = Calib(photoArguments(photo, QStringLiteral("chessboard"))
                               << QStringLiteral("--pitch-y") << QStringLiteral("12,5")
                               << QStringLiteral("--decimal-separator") << QStringLiteral(",")
                               << QStringLiteral("--width") << QStringLiteral(" 1600")
                               << QStringLiteral("--table") << table);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(
        Bytes(path(QStringLiteral("scene.crd"))).startsWith("0 ; 0\r\n0 ; 12,5\r\n0 ; 25\r\n"));
    // The row pitch scales every ratio: 20 / 12.5 of the camera's.
    EXPECT_NEAR(QString(run.out[30]).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(),
                1.0035 * 20.0 / 12.5, 4e-4);
    // The width as typed.
    EXPECT_TRUE(Bytes(table).contains("\r\n0 0  1600 1200 X")) << Bytes(table).toStdString();
}

TEST_F(VrmaCalibPhoto, BoardTurnedByAQuarterCalibratesAsTheFilesDo) {
    // Printed 9 x 6, 20 mm between its columns and 25 between its rows, photographed
    // turned by a quarter: the calibration's columns are its rows, 25 mm apart.
    PhotoScene scene;
    scene.pitchY = 25.0;
    scene.roll = 90.0;
    scene.fill = 0.6;
    scene.blur = 1.0;
    const QString photo = path(QStringLiteral("turned.png"));
    WritePhoto(RenderPhoto(scene), photo);
    const CalibRun run = Calib(photoArguments(photo, QStringLiteral("chessboard"))
                               << QStringLiteral("--pitch-y") << QStringLiteral("25"));
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, QString());
    // 4 x 7 interior nodes, then the summary; the mean is the camera's fy / fx.
    ASSERT_EQ(run.out.size(), 28 + 6);
    EXPECT_NEAR(run.out[30].toDouble(), 1.0035, 2e-4);
    const QString sceneFile = path(QStringLiteral("scene.crd"));
    EXPECT_TRUE(Bytes(sceneFile).startsWith("0 ; 0\r\n0 ; 20\r\n"))
        << Bytes(sceneFile).toStdString();
    EXPECT_EQ(ReadTextLines(sceneFile).value(9), QStringLiteral("25 ; 0"));
    const CalibRun files =
        Calib({QStringLiteral("--scene"), sceneFile, QStringLiteral("--image"),
               path(QStringLiteral("image.crd")), QStringLiteral("--columns"), QStringLiteral("6"),
               QStringLiteral("--rows"), QStringLiteral("9")});
    EXPECT_EQ(files.code, 0);
    EXPECT_EQ(files.out, run.out);

    // A board of another size: what was seen is said.
    QStringList eight = photoArguments(photo, QStringLiteral("chessboard"));
    eight[eight.indexOf(QStringLiteral("--columns")) + 1] = QStringLiteral("8");
    const CalibRun other = Calib(eight);
    EXPECT_EQ(other.code, 6);
    EXPECT_EQ(other.err, messages::GridOfOtherSize(9, 6, 8, 6, true) + QLatin1Char('\n'));
}

TEST_F(VrmaCalibPhoto, NoGridOrNoPhotographWritesNothing) {
    const QString dots = photograph(TargetKind::Dots, QStringLiteral("dots.png"));
    const QString scene = path(QStringLiteral("scene.crd"));
    const QString image = path(QStringLiteral("image.crd"));
    const QString table = path(QStringLiteral("t.tab"));

    // No files before: none after.
    CalibRun run = Calib(photoArguments(dots, QStringLiteral("chessboard"))
                         << QStringLiteral("--table") << table);
    EXPECT_EQ(run.code, 6);
    EXPECT_EQ(run.err, messages::GridNotFound() + QLatin1Char('\n'));
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_FALSE(QFile::exists(scene));
    EXPECT_FALSE(QFile::exists(image));
    EXPECT_FALSE(QFile::exists(table));

    // Old files stay as they were, byte for byte.
    for (const QString& name : {scene, image}) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("1 ; 2\r\n");
    }
    run = Calib(photoArguments(dots, QStringLiteral("chessboard")));
    EXPECT_EQ(run.code, 6);
    QFile truncated(path(QStringLiteral("cut.jpg")));
    ASSERT_TRUE(truncated.open(QIODevice::WriteOnly));
    PhotoScene field;
    field.jpegQuality = 90;
    const auto jpeg = RenderPhoto(field).jpeg;
    truncated.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size() / 2));
    truncated.close();
    for (const QString& photo : {truncated.fileName(), path(QStringLiteral("missing.png"))}) {
        run = Calib(photoArguments(photo, QStringLiteral("chessboard")));
        EXPECT_EQ(run.code, 2) << photo.toStdString();
        EXPECT_EQ(run.err, messages::PhotoUnreadable() + QLatin1Char('\n'));
    }
    EXPECT_EQ(Bytes(scene), QByteArray("1 ; 2\r\n"));
    EXPECT_EQ(Bytes(image), QByteArray("1 ; 2\r\n"));
}

TEST_F(VrmaCalibPhoto, CommandLineMistakes) {
    const QString photo = path(QStringLiteral("field.png")); // never read: code 1 comes first
    const auto without = [&](const QString& option) {
        QStringList arguments = photoArguments(photo, QStringLiteral("dots"));
        const qsizetype at = arguments.indexOf(option);
        arguments.remove(at, 2);
        return arguments;
    };
    const auto with = [&](const QString& option, const QString& value) {
        QStringList arguments = photoArguments(photo, QStringLiteral("dots"));
        const qsizetype at = arguments.indexOf(option);
        if (at >= 0)
            arguments[at + 1] = value;
        else
            arguments << option << value;
        return arguments;
    };
    const QList<QStringList> mistakes = {
        without(QStringLiteral("--target")),
        without(QStringLiteral("--pitch")),
        without(QStringLiteral("--scene-out")),
        without(QStringLiteral("--image-out")),
        with(QStringLiteral("--target"), QStringLiteral("circles")),
        with(QStringLiteral("--pitch"), QStringLiteral("0")),
        with(QStringLiteral("--pitch-y"), QStringLiteral("-1")),
        with(QStringLiteral("--columns"), QStringLiteral("1")),
        with(QStringLiteral("--rows"), QStringLiteral("six")),
        with(QStringLiteral("--image-out"), path(QStringLiteral("scene.crd"))),
        with(QStringLiteral("--scene"), path(QStringLiteral("other.crd"))),
    };
    for (const QStringList& arguments : mistakes) {
        const CalibRun run = Calib(arguments);
        EXPECT_EQ(run.code, 1) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.endsWith(QStringLiteral("Справка: vrma-calib --help\n")));
    }
    EXPECT_TRUE(QDir(temp.path()).isEmpty());
    // The help tells of the photograph and of its exit code.
    const CalibRun help = Calib({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    const QString text = help.out.join(QLatin1Char('\n'));
    EXPECT_TRUE(text.contains(QStringLiteral("--photo ФАЙЛ")));
    EXPECT_TRUE(text.contains(QStringLiteral("  6  «Сетка мишеней на снимке не найдена")));
}

} // namespace
