// vrma-calib --make-field run as a process: the PDF and the scene file it writes, the
// default scene name, and the field that does not fit (nothing written, exit code 1).
#include "batch/CalibProcess.h"
#include "report/PdfText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using FieldRun = vrma::test::CalibResult;

// The command under the Russian locale, choosing its platform itself.
FieldRun MakeField(const QStringList& arguments) {
    QProcessEnvironment environment = vrma::test::CalibEnvironment(QStringLiteral("ru_RU.UTF-8"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return vrma::test::RunCalib(arguments, environment);
}

QByteArray Bytes(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

class MakeFieldCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }
    QTemporaryDir temp;
};

TEST_F(MakeFieldCommand, WritesThePdfAndTheSceneFileBesideIt) {
    const QString pdf = path(QStringLiteral("board.pdf"));
    const FieldRun run =
        MakeField({QStringLiteral("--make-field"), pdf, QStringLiteral("--target"),
                   QStringLiteral("chessboard"), QStringLiteral("--columns=3"),
                   QStringLiteral("--rows"), QStringLiteral("2"), QStringLiteral("--pitch"),
                   QStringLiteral("30"), QStringLiteral("--pitch-y"), QStringLiteral("22,5"),
                   QStringLiteral("--decimal-separator"), QStringLiteral(",")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(Bytes(path(QStringLiteral("board.crd"))),
              QByteArray("0 ; 0\r\n0 ; 22,5\r\n30 ; 0\r\n30 ; 22,5\r\n60 ; 0\r\n60 ; 22,5\r\n"));
    EXPECT_EQ(vrma::test::PdfPages(pdf), 1);
    EXPECT_TRUE(vrma::test::PdfInfo(pdf).contains(QStringLiteral("(A4)")));
    EXPECT_TRUE(vrma::test::PdfText(pdf).contains(
        QStringLiteral("Шаг сетки: 30 мм по x, 22,5 мм по y (3 столбцов × 2 строк")));
}

TEST_F(MakeFieldCommand, DotsOnA3UnderTheSceneNameGiven) {
    const QString pdf = path(QStringLiteral("dots.pdf"));
    const QString scene = path(QStringLiteral("other.crd"));
    const FieldRun run = MakeField(
        {QStringLiteral("--make-field"), pdf, QStringLiteral("--target"), QStringLiteral("dots"),
         QStringLiteral("--columns"), QStringLiteral("14"), QStringLiteral("--rows"),
         QStringLiteral("8"), QStringLiteral("--pitch"), QStringLiteral("25"),
         QStringLiteral("--page"), QStringLiteral("A3"), QStringLiteral("--scene-out"), scene,
         QStringLiteral("--decimal-separator"), QStringLiteral(".")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(vrma::test::PdfInfo(pdf).contains(QStringLiteral("(A3)")));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("dots.crd"))));
    const QList<QByteArray> lines = Bytes(scene).split('\n');
    ASSERT_EQ(lines.size(), 113); // 112 lines and what follows the last break
    EXPECT_EQ(lines[111], QByteArray("325 ; 175\r"));
}

TEST_F(MakeFieldCommand, RefusesWhatCannotBeDrawnAndWritesNothing) {
    const QString pdf = path(QStringLiteral("big.pdf"));
    const QStringList big = {QStringLiteral("--make-field"), pdf,
                             QStringLiteral("--target"),     QStringLiteral("chessboard"),
                             QStringLiteral("--columns"),    QStringLiteral("14"),
                             QStringLiteral("--rows"),       QStringLiteral("10"),
                             QStringLiteral("--pitch"),      QStringLiteral("25")};
    FieldRun run = MakeField(big);
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("не помещается на лист A4")))
        << run.err.toStdString();
    run = MakeField(big + QStringList{QStringLiteral("--page"), QStringLiteral("A3")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("не помещается на лист A3")));
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::Files).isEmpty());

    QStringList wrongKind = big;
    wrongKind[3] = QStringLiteral("circles");
    run = MakeField(wrongKind);
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("chessboard, dots или charuco")));
    run = MakeField(big.mid(0, 8));
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("--pitch")));
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::Files).isEmpty());

    run = MakeField({QStringLiteral("--make-field"), path(QStringLiteral("no/such/f.pdf")),
                     QStringLiteral("--target"), QStringLiteral("dots"),
                     QStringLiteral("--columns"), QStringLiteral("4"), QStringLiteral("--rows"),
                     QStringLiteral("4"), QStringLiteral("--pitch"), QStringLiteral("20")});
    EXPECT_EQ(run.code, 5);
}

TEST_F(MakeFieldCommand, CharucoBoardWithItsMarkersAndDictionary) {
    const QString pdf = path(QStringLiteral("charuco.pdf"));
    const FieldRun run =
        MakeField({QStringLiteral("--make-field"), pdf, QStringLiteral("--target"),
                   QStringLiteral("charuco"), QStringLiteral("--columns"), QStringLiteral("7"),
                   QStringLiteral("--rows"), QStringLiteral("5"), QStringLiteral("--pitch"),
                   QStringLiteral("18"), QStringLiteral("--marker"), QStringLiteral("13"),
                   QStringLiteral("--dictionary"), QStringLiteral("DICT_4X4_50")});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(vrma::test::PdfPages(pdf), 1);
    EXPECT_TRUE(vrma::test::PdfText(pdf).contains(QStringLiteral("доски ChArUco")));
    // The corners are the board's targets: 7 x 5, column by column.
    const QList<QByteArray> lines = Bytes(path(QStringLiteral("charuco.crd"))).split('\n');
    ASSERT_EQ(lines.size(), 36);
    EXPECT_EQ(lines[34], QByteArray("108 ; 72\r"));
}

TEST_F(MakeFieldCommand, CharucoMistakesRefusedWithTheirMessages) {
    const QStringList board = {QStringLiteral("--make-field"), path(QStringLiteral("c.pdf")),
                               QStringLiteral("--rows"),       QStringLiteral("5"),
                               QStringLiteral("--pitch"),      QStringLiteral("25")};
    struct Case {
        const char* columns;
        QStringList more;
        QString message;
    };
    const Case cases[] = {
        {"7",
         {QStringLiteral("--target"), QStringLiteral("chessboard"), QStringLiteral("--marker"),
          QStringLiteral("18")},
         QStringLiteral("задаются только для доски ChArUco")},
        {"7",
         {QStringLiteral("--target"), QStringLiteral("dots"), QStringLiteral("--dictionary"),
          QStringLiteral("DICT_4X4_50")},
         QStringLiteral("задаются только для доски ChArUco")},
        {"7",
         {QStringLiteral("--target"), QStringLiteral("charuco"), QStringLiteral("--pitch-y"),
          QStringLiteral("20")},
         QStringLiteral("--pitch-y не задаётся")},
        // The marker's side from a quarter to 0.9 of the square's.
        {"7",
         {QStringLiteral("--target"), QStringLiteral("charuco"), QStringLiteral("--marker"),
          QStringLiteral("23")},
         QStringLiteral("Сторона маркера (--marker) должна быть числом от")},
        {"7",
         {QStringLiteral("--target"), QStringLiteral("charuco"), QStringLiteral("--marker"),
          QStringLiteral("6")},
         QStringLiteral("шага сетки: 6")},
        {"7",
         {QStringLiteral("--target"), QStringLiteral("charuco"), QStringLiteral("--dictionary"),
          QStringLiteral("DICT_5X5")},
         QStringLiteral("одним из словарей OpenCV")},
        // 13 x 6 squares carry 39 markers.
        {"12",
         {QStringLiteral("--target"), QStringLiteral("charuco"), QStringLiteral("--dictionary"),
          QStringLiteral("DICT_APRILTAG_16h5")},
         QStringLiteral("В словаре DICT_APRILTAG_16h5 30 маркеров, а доске 13 × 6 клеток их "
                        "нужно 39")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.more.join(u' ').toStdString());
        const FieldRun run =
            MakeField(board + c.more +
                      QStringList{QStringLiteral("--columns"), QString::fromLatin1(c.columns)});
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_TRUE(QDir(temp.path()).entryList(QDir::Files).isEmpty());
    }
}

} // namespace
