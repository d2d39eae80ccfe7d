// The filters the windows' own file dialogs hand to the dialog layer: Russian descriptions
// with the patterns of the files each dialog writes or reads.
#include "app/Alfa_form.h"
#include "app/FieldSheetDialog.h"
#include "app/MeasureWindow.h"
#include "app/NodeAnalysisWindow.h"
#include "support/ScriptedDialogHost.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vrma;

TEST(FileFilters, TheWindowsDialogsPassRussianFilters) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    test::ScopedCurrentFolder keep;
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed(host);

    const auto calibration = CreateMainWindow();
    TMeasureForm measure;
    TFieldSheetForm sheet;
    TNodeAnalysisForm nodes(NodeRatios{4, 4, {1.0, 1.01, 0.99, 1.0}});
    const QString images = QStringLiteral("*.jpg;*.jpeg;*.png;*.tif;*.tiff;*.bmp");
    struct Case {
        const char* dialog;
        FileDialog& file;
        QString filter;
    };
    const Case cases[] = {
        {"calibration report", calibration->SaveReportDialog,
         QStringLiteral("Отчёты PDF|*.pdf|Все файлы|*.*")},
        {"plot", calibration->SavePlotDialog, QStringLiteral("Рисунки PNG|*.png|Все файлы|*.*")},
        {"measure photograph", measure.OpenPhotoDialog,
         QStringLiteral("Снимки|") + images + QStringLiteral("|Все файлы|*.*")},
        {"measure scene", measure.SaveSceneDialog, QStringLiteral("Файлы координат (*.crd)|*.crd")},
        {"measure image", measure.SaveImageDialog, QStringLiteral("Файлы координат (*.crd)|*.crd")},
        {"field sheet", sheet.SaveFieldDialog, QStringLiteral("Файлы PDF|*.pdf|Все файлы|*.*")},
        {"field sheet scene", sheet.SaveSceneDialog,
         QStringLiteral("Файлы координат (*.crd)|*.crd")},
        {"node map", nodes.SaveMapDialog, QStringLiteral("Рисунки PNG|*.png|Все файлы|*.*")},
        {"node ratios", nodes.SaveCsvDialog, QStringLiteral("Таблицы CSV|*.csv|Все файлы|*.*")},
    };
    for (const Case& c : cases) {
        host.clearRecords();
        host.answerCancel();
        EXPECT_FALSE(c.file.Execute()) << c.dialog;
        ASSERT_EQ(host.records().size(), 1u) << c.dialog;
        EXPECT_EQ(host.records()[0].filter, c.filter) << c.dialog;
    }
}
