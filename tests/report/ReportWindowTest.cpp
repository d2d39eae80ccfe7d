// "Файл" → "Отчёт…" in the calibration window: offered only while a completed run is
// shown, saved through the save dialog, and telling what the export wrote.
#include "app/Alfa_form.h"
#include "data/GeometryFiles.h"
#include "data/Messages.h"
#include "data/TextFile.h"
#include "platform/Application.h"
#include "report/PdfText.h"
#include "support/ScriptedDialogHost.h"
#include "support/TiltedField.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <limits>

#include <sys/resource.h>
#include <unistd.h>

using namespace vrma;
using test::DialogRecord;

namespace {

const QString kExamples = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/");

// A number of the report, with either decimal separator.
double Number(QString text) {
    return text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
}

class ReportWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        form = CreateMainWindow();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->sceneFileName = kExamples + QStringLiteral("scene.crd");
        form->imageFileName = kExamples + QStringLiteral("image.crd");
    }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
};

TEST_F(ReportWindow, OfferedOnlyWhileACompletedRunIsShown) {
    EXPECT_EQ(form->reportAction->text(), QStringLiteral("Отчёт…"));
    EXPECT_FALSE(form->reportAction->isEnabled());
    form->SaveReport(form->reportAction);
    EXPECT_TRUE(host.records().empty());

    form->Button2->click();
    EXPECT_TRUE(form->reportAction->isEnabled());
    ASSERT_TRUE(form->lastReport.has_value());
    EXPECT_EQ(form->lastReport->sceneFile, kExamples + QStringLiteral("scene.crd"));
    // The nodes are analysed when the report is made, not with every calibration.
    EXPECT_FALSE(form->lastReport->analysis.has_value());
    EXPECT_EQ(ReportAnalysis(*form->lastReport).n, 16);

    // A count that does not fit clears the results, and the report with them.
    form->Edit5->setText(QStringLiteral("4"));
    host.answerOk();
    form->Button2->click();
    EXPECT_FALSE(form->reportAction->isEnabled());
    EXPECT_FALSE(form->lastReport.has_value());
}

// Ratios that cannot be analysed (a calibration never keeps such ratios; here one is
// spoiled by hand) give the calculation message before any file is asked for.
TEST_F(ReportWindow, RatiosThatCannotBeAnalysedAskForNoFile) {
    form->Button2->click();
    ASSERT_TRUE(form->lastReport.has_value());
    form->lastReport->run.ratios[3] = std::numeric_limits<double>::quiet_NaN();
    host.answerOk();
    form->reportAction->trigger();
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].kind, DialogRecord::Kind::MessageBox);
    EXPECT_EQ(host.records()[0].text,
              QStringLiteral("Ошибка вычисления. Попробуйте изменить входные данные."));
}

TEST_F(ReportWindow, SavedThroughTheDialogWithWhatTheExportWrote) {
    form->Button2->click();
    // The export: a new table, then a camera file.
    host.answerFile(path("cam1.tab"));
    host.answerYes();
    host.answerFile(path("cam1.cam"));
    host.answerModal();
    form->Button3->click();
    ASSERT_TRUE(QFile::exists(path("cam1T.cam")));
    host.clearRecords();

    host.answerFile(path("report.pdf"));
    form->reportAction->trigger();
    ASSERT_EQ(host.records().size(), 1u);
    const DialogRecord& dialog = host.records()[0];
    EXPECT_EQ(dialog.kind, DialogRecord::Kind::FileDialog);
    EXPECT_EQ(dialog.filter, QStringLiteral("Отчёты PDF|*.pdf|Все файлы|*.*"));
    EXPECT_EQ(dialog.defaultExt, QStringLiteral("pdf"));
    EXPECT_EQ(dialog.fileName, QStringLiteral("Report1"));

    EXPECT_EQ(test::PdfPages(path("report.pdf")), 3);
    const QString text = test::PdfText(path("report.pdf"));
    EXPECT_TRUE(text.contains(QStringLiteral("Коэффициент соотношения масштабов по осям "
                                             "изображения ") +
                              form->Edit8->text() + QStringLiteral(" ")));
    EXPECT_TRUE(text.contains(QStringLiteral("Выбросы: Выбросов нет.")));
    EXPECT_TRUE(text.contains(QStringLiteral("Таблица коррекции: ") + path("cam1.tab")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("Файл внутренней геометрии камеры: ") + path("cam1T.cam")));

    // An existing report is replaced only after the question is answered Yes.
    const QByteArray before = ReadFileBytes(path("report.pdf"));
    host.clearRecords();
    host.answerFile(path("report.pdf"));
    host.answerNo();
    form->reportAction->trigger();
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[1].text, QStringLiteral("Перезаписать существующий файл?"));
    EXPECT_EQ(ReadFileBytes(path("report.pdf")), before);

    // A new calibration forgets what the export wrote for the previous one.
    form->Button2->click();
    host.answerFile(path("again.pdf"));
    form->reportAction->trigger();
    EXPECT_TRUE(test::PdfText(path("again.pdf"))
                    .contains(QStringLiteral("Таблица коррекции и файл камеры не записывались.")));
}

// Too little memory for the report: its message, no file, and the window goes on (the same
// report saved once the memory is there). The process's address space is held to a little
// above what it takes for the while.
TEST_F(ReportWindow, TooLittleMemoryForTheReportIsToldAndTheWindowGoesOn) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer maps memory of its own at any time";
#endif
    form->Button2->click();
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &before), 0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    ASSERT_TRUE(statm.open(QIODevice::ReadOnly));
    const rlim_t used =
        rlim_t(statm.readAll().split(' ').value(0).toULongLong()) * rlim_t(::sysconf(_SC_PAGESIZE));
    host.clearRecords();
    host.answerFile(path("report.pdf"));
    host.answerOk();
    rlimit held = before;
    held.rlim_cur = used + (rlim_t(32) << 20);
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &held), 0);
    form->reportAction->trigger();
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &before), 0);
    const auto told = host.records(DialogRecord::Kind::MessageBox);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, messages::OutOfMemory());
    EXPECT_FALSE(QFile::exists(path("report.pdf")));

    host.answerFile(path("report.pdf"));
    form->reportAction->trigger();
    EXPECT_EQ(test::PdfPages(path("report.pdf")), 3);
}

// The report of a tilted field tells its tilt and the corrected coefficient, found with
// the focal length of the camera file; without a camera file only the homography's fit.
TEST_F(ReportWindow, TellsTheTiltOfTheFieldWithTheCameraFilesFocalLength) {
    const test::PinholeCamera camera;
    const test::TiltedField field = test::MakeField(camera, {12.0, 3.0, 1.0}, 11, 9, 0.0, 1);
    const auto write = [this](const QString& name, const std::vector<PlanePoint>& points) {
        QStringList lines;
        for (const PlanePoint& p : points)
            lines << QString::number(p.x, 'g', 17) + QStringLiteral(" ; ") +
                         QString::number(p.y, 'g', 17);
        WriteTextLines(path(name), lines);
        return path(name);
    };
    form->sceneFileName = write(QStringLiteral("scene.crd"), field.scene);
    form->imageFileName = write(QStringLiteral("image.crd"), field.image);
    form->Edit5->setText(QStringLiteral("11"));
    form->Edit3->setText(QStringLiteral("9"));
    form->Button2->click();
    ASSERT_TRUE(form->reportAction->isEnabled());

    host.answerFile(path("plain.pdf"));
    form->reportAction->trigger();
    const QString plain = test::PdfText(path("plain.pdf"));
    EXPECT_TRUE(plain.contains(QStringLiteral("Ошибка гомографии (СКО):")));
    EXPECT_TRUE(plain.contains(QStringLiteral("Наклон поля не оценивался")));

    WriteTextLines(path("cam.cam"), GeometryLines(GeometryFormat::Camera,
                                                  {QStringLiteral("360"), QStringLiteral("288"),
                                                   path("t.tab"), QString::number(camera.fx),
                                                   QStringLiteral("720"), QStringLiteral("576"),
                                                   QStringLiteral("360"), QStringLiteral("288")}));
    form->cameraFileName = path("cam.cam");
    host.answerFile(path("tilt.pdf"));
    form->reportAction->trigger();
    const QString text = test::PdfText(path("tilt.pdf"));
    const QRegularExpression tilt(QStringLiteral("вертикальной оси: ([-+][0-9.,]+)°"));
    const QRegularExpressionMatch tiltMatch = tilt.match(text);
    ASSERT_TRUE(tiltMatch.hasMatch()) << text.toStdString();
    EXPECT_NEAR(Number(tiltMatch.captured(1)), field.tiltVerticalDeg(), 0.05);
    const QRegularExpression corrected(
        QStringLiteral("Исправленный коэффициент \\(fy/fx\\): ([0-9.,]+) ± "));
    const QRegularExpressionMatch correctedMatch = corrected.match(text);
    ASSERT_TRUE(correctedMatch.hasMatch());
    EXPECT_NEAR(Number(correctedMatch.captured(1)), camera.ratio(), 1e-5);
    // The plain coefficient of a field tilted by 12 degrees is off by far more than its
    // error: the report warns.
    EXPECT_TRUE(text.contains(QStringLiteral("Поле наклонено: коэффициент смещён")));
}

} // namespace
