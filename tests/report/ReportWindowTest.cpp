// "Файл" → "Отчёт…" in the calibration window: offered only while a completed run is
// shown, saved through the save dialog, and telling what the export wrote.
#include "app/Alfa_form.h"
#include "data/TextFile.h"
#include "platform/Application.h"
#include "report/PdfText.h"
#include "support/ScriptedDialogHost.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace vrma;
using test::DialogRecord;

namespace {

const QString kExamples = QStringLiteral(VRMA_SOURCE_DIR "/examples/");

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
    EXPECT_EQ(form->N19->text(), QStringLiteral("Отчёт…"));
    EXPECT_FALSE(form->N19->isEnabled());
    form->N19Click(form->N19);
    EXPECT_TRUE(host.records().empty());

    form->Button2->click();
    EXPECT_TRUE(form->N19->isEnabled());
    ASSERT_TRUE(form->lastReport.has_value());
    EXPECT_EQ(form->lastReport->sceneFile, kExamples + QStringLiteral("scene.crd"));
    EXPECT_EQ(form->lastReport->analysis.n, 16);

    // A count that does not fit clears the results, and the report with them.
    form->Edit5->setText(QStringLiteral("4"));
    host.answerOk();
    form->Button2->click();
    EXPECT_FALSE(form->N19->isEnabled());
    EXPECT_FALSE(form->lastReport.has_value());
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
    form->N19->trigger();
    ASSERT_EQ(host.records().size(), 1u);
    const DialogRecord& dialog = host.records()[0];
    EXPECT_EQ(dialog.kind, DialogRecord::Kind::FileDialog);
    EXPECT_EQ(dialog.filter, QStringLiteral("PDF Files|*.pdf|All Files|*.*"));
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
    form->N19->trigger();
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[1].text, QStringLiteral("Перезаписать существующий файл?"));
    EXPECT_EQ(ReadFileBytes(path("report.pdf")), before);

    // A new calibration forgets what the export wrote for the previous one.
    form->Button2->click();
    host.answerFile(path("again.pdf"));
    form->N19->trigger();
    EXPECT_TRUE(test::PdfText(path("again.pdf"))
                    .contains(QStringLiteral("Таблица коррекции и файл камеры не записывались.")));
}

} // namespace
