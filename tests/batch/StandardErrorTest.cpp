// vrma-calib's standard error holds its own messages and nothing else: the commands that
// set up Qt's GUI part for painting (--report, --make-field) run without XDG_RUNTIME_DIR,
// as under a plain ssh login or cron, where Qt would otherwise add its own notes.
#include "batch/CalibProcess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using vrma::test::CalibResult;

const QString kExample = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/");

// A session without a runtime folder; vrma-calib chooses its platform itself.
CalibResult RunBare(const QStringList& arguments) {
    QProcessEnvironment environment = vrma::test::CalibEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return vrma::test::RunCalib(arguments, environment);
}

QStringList ErrorLines(const CalibResult& run) {
    QStringList lines = run.err.split(QLatin1Char('\n'));
    EXPECT_TRUE(run.err.isEmpty() || run.err.endsWith(QLatin1Char('\n'))) << run.err.toStdString();
    lines.removeLast();
    return lines;
}

TEST(StandardError, HoldsOnlyTheProgramsOwnLines) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QDir dir(temp.path());
    const QStringList calibration{
        QStringLiteral("--scene"),     kExample + QStringLiteral("scene.crd"),
        QStringLiteral("--image"),     kExample + QStringLiteral("image.crd"),
        QStringLiteral("--columns=6"), QStringLiteral("--rows=6")};
    const QStringList field{QStringLiteral("--make-field"),  dir.filePath(QStringLiteral("f.pdf")),
                            QStringLiteral("--target=dots"), QStringLiteral("--columns=4"),
                            QStringLiteral("--rows=4"),      QStringLiteral("--pitch=20")};

    // Done: nothing at all on standard error, the files written.
    const CalibResult report =
        RunBare(QStringList(calibration)
                << QStringLiteral("--report") << dir.filePath(QStringLiteral("r.pdf")));
    EXPECT_EQ(report.code, 0);
    EXPECT_EQ(report.err, QString()) << report.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("r.pdf"))));
    const CalibResult made = RunBare(field);
    EXPECT_EQ(made.code, 0);
    EXPECT_EQ(made.err, QString()) << made.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("f.pdf"))));

    // Failed: the program's message lines, and only they.
    QStringList missing(calibration);
    missing[1] = dir.filePath(QStringLiteral("missing.crd"));
    const CalibResult unread =
        RunBare(missing << QStringLiteral("--report") << dir.filePath(QStringLiteral("u.pdf")));
    EXPECT_EQ(unread.code, 2);
    EXPECT_EQ(ErrorLines(unread), QStringList{QStringLiteral("Ошибка чтения файла сцены!")});

    const CalibResult big = RunBare(QStringList(field.mid(0, 3))
                                    << QStringLiteral("--columns=40") << QStringLiteral("--rows=40")
                                    << QStringLiteral("--pitch=20"));
    EXPECT_EQ(big.code, 1);
    const QStringList lines = ErrorLines(big);
    ASSERT_EQ(lines.size(), 2) << big.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Поле размером 830 × 850 мм")))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("Справка: vrma-calib --help"));
}

} // namespace
