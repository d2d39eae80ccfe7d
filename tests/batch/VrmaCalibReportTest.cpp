// vrma-calib --report: the report of the calibration it ran, with the files it wrote,
// made without a display; a report that cannot be written fails with code 5.
#include "batch/CalibProcess.h"
#include "report/PdfText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kExamples = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/");

using Outcome = vrma::test::CalibResult;

// The example calibrated in the folder, with the extra arguments.
Outcome Calib(const QString& folder, const QStringList& extra) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // No display of any kind: the report needs none.
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return vrma::test::RunCalib(
        QStringList{QStringLiteral("--scene"), kExamples + QStringLiteral("scene.crd"),
                    QStringLiteral("--image"), kExamples + QStringLiteral("image.crd"),
                    QStringLiteral("--columns"), QStringLiteral("6"), QStringLiteral("--rows"),
                    QStringLiteral("6"), QStringLiteral("--decimal-separator"), QStringLiteral(".")}
            << extra,
        environment, folder);
}

TEST(VrmaCalibReport, TheCalibrationAndWhatItWrote) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QDir folder(temp.path());
    const Outcome run =
        Calib(temp.path(), {QStringLiteral("--table"), QStringLiteral("cam1.tab"),
                            QStringLiteral("--camera=cam1.cam"), QStringLiteral("--report"),
                            QStringLiteral("report.pdf")});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    const QString pdf = folder.absoluteFilePath(QStringLiteral("report.pdf"));
    EXPECT_EQ(vrma::test::PdfPages(pdf), 3);
    const QString text = vrma::test::PdfText(pdf);
    EXPECT_TRUE(text.contains(
        QStringLiteral("Коэффициент соотношения масштабов по осям изображения 1.0023 ")));
    EXPECT_TRUE(text.contains(QStringLiteral("Выбросы: Выбросов нет.")));
    EXPECT_TRUE(text.contains(kExamples + QStringLiteral("scene.crd")));
    EXPECT_TRUE(text.contains(QStringLiteral("Таблица коррекции: ") +
                              folder.absoluteFilePath(QStringLiteral("cam1.tab"))));
    EXPECT_TRUE(text.contains(QStringLiteral("Файл внутренней геометрии камеры: ") +
                              folder.absoluteFilePath(QStringLiteral("cam1.cam"))));
}

TEST(VrmaCalibReport, AReportThatCannotBeWrittenWritesNoOtherFile) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const Outcome run = Calib(temp.path(), {QStringLiteral("--table=t.tab"),
                                            QStringLiteral("--report=no/folder/report.pdf")});
    EXPECT_EQ(run.code, 5);
    EXPECT_FALSE(run.err.isEmpty());
    EXPECT_FALSE(QFile::exists(QDir(temp.path()).absoluteFilePath(QStringLiteral("t.tab"))));
    EXPECT_FALSE(QFile::exists(QDir(temp.path()).absoluteFilePath(QStringLiteral("no"))));
}

} // namespace
