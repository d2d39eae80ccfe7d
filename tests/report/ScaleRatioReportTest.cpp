// The calibration report as a PDF: read back with poppler's tools, it is A4, holds the
// inputs, the coefficient, every ratio, the statistics and the outlier verdict of the
// run it reports, embeds its fonts, and grows by pages for a large grid.
#include "drawing/ScaleRatioReport.h"
#include "calib/ScaleRatio.h"
#include "data/Errors.h"
#include "data/Locale.h"
#include "data/Messages.h"
#include "data/PlanePoint.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "report/PdfText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace vrma {
namespace {

using test::PdfFonts;
using test::PdfInfo;
using test::PdfPages;
using test::PdfText;

const QString kExamples = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/");

std::vector<PlanePoint> Points(const QString& file) {
    VT_Points list(1);
    LoadPointFile(file, &list);
    return PlanePoints(list);
}

// A field seen straight on with pixels 1.25 times as high as wide: every ratio is
// exactly 1.25.
void ExactField(int nc, int nr, std::vector<PlanePoint>& scene, std::vector<PlanePoint>& image) {
    for (int i = 0; i < nc; ++i)
        for (int j = 0; j < nr; ++j) {
            scene.push_back({double(10 * i), double(10 * j)});
            image.push_back({double(40 + 8 * i), double(30 + 10 * j)});
        }
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        SetDecimalSeparator(QLatin1Char('.'));
    }
    void TearDown() override { SetDecimalSeparator(QLatin1Char('.')); }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    ScaleRatioReport example(const std::vector<PlanePoint>& image) const {
        const ScaleRatioRun run =
            RunScaleRatio(6, 6, Points(kExamples + QStringLiteral("scene.crd")), image);
        return MakeScaleRatioReport(kExamples + QStringLiteral("scene.crd"),
                                    kExamples + QStringLiteral("image.crd"), 6, 6,
                                    QStringLiteral("720"), QStringLiteral("576"), run,
                                    QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5)));
    }

    // The report written and read back as text.
    QString written(const ScaleRatioReport& report, const QString& name) {
        WriteScaleRatioReport(path(name), report);
        return PdfText(path(name));
    }

    QTemporaryDir temp;
};

TEST_F(Report, OfTheBundledExample) {
    ScaleRatioReport report = example(Points(kExamples + QStringLiteral("image.crd")));
    // Letters a font may join into one glyph ("ff", "fi", "fl") stay letters in the text.
    report.written << messages::WrittenTableLine(QStringLiteral("/data/offfield/cam1.tab"))
                   << messages::WrittenCameraLine(QStringLiteral("/data/flight/cam1T.cam"));
    const QString text = written(report, QStringLiteral("example.pdf"));

    EXPECT_TRUE(QFile(path("example.pdf")).open(QIODevice::ReadOnly));
    EXPECT_TRUE(ReadFileBytes(path("example.pdf")).startsWith("%PDF-"));
    EXPECT_EQ(PdfPages(path("example.pdf")), 3);
    EXPECT_TRUE(PdfInfo(path("example.pdf")).contains(QStringLiteral("(A4)")));
    EXPECT_TRUE(PdfInfo(path("example.pdf"))
                    .contains(QStringLiteral("Отчёт о калибровке соотношения масштабов")));

    // The inputs.
    for (const QString& expected :
         {kExamples + QStringLiteral("scene.crd"), kExamples + QStringLiteral("image.crd"),
          QStringLiteral("6 столбцов × 6 строк, внутренних узлов: 16"),
          QStringLiteral("720 × 576 пикс."), QStringLiteral("08.12.2026 14:30:05")})
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString();
    // The coefficient right after its caption, and the standard deviation.
    EXPECT_TRUE(text.contains(
        QStringLiteral("Коэффициент соотношения масштабов по осям изображения 1.0023 ")));
    EXPECT_TRUE(text.contains(QStringLiteral("Среднеквадратическое отклонение: 0.0007")));
    // The verdict: the example's noise has no outlier.
    EXPECT_TRUE(text.contains(QStringLiteral("Выбросы: Выбросов нет.")));
    // Every ratio of the table, row by row as the list box shows them.
    QString rows;
    for (int j = 1; j <= 4; ++j) {
        QStringList cells{QStringLiteral("Строка %1").arg(j)};
        for (int i = 1; i <= 4; ++i)
            cells << FormatFixed4(ReportAnalysis(report).at(i, j)->ratio);
        EXPECT_TRUE(text.contains(cells.join(QLatin1Char(' ')))) << cells.join(' ').toStdString();
    }
    EXPECT_EQ(ReportAnalysis(report).at(1, 1)->ratio, report.run.ratios[0]);
    // The statistics of the node analysis.
    EXPECT_TRUE(text.contains(QStringLiteral("Число узлов (n): 16")));
    EXPECT_TRUE(text.contains(QStringLiteral("Медиана: ") +
                              QString::number(ReportAnalysis(report).median, 'f', 6)));
    EXPECT_TRUE(text.contains(QStringLiteral("Медианное отклонение (MAD): ") +
                              QString::number(ReportAnalysis(report).mad, 'f', 6)));
    EXPECT_TRUE(text.contains(QStringLiteral("Ошибка среднего (СКО/√n): ") +
                              QString::number(ReportAnalysis(report).sem, 'f', 6)));
    // The map's legend, and what the export wrote.
    EXPECT_TRUE(text.contains(QStringLiteral("Карта узлов")));
    EXPECT_TRUE(text.contains(QStringLiteral("выброс")));
    EXPECT_TRUE(text.contains(QStringLiteral("Таблица коррекции: /data/offfield/cam1.tab")));
    EXPECT_TRUE(
        text.contains(QStringLiteral("Файл внутренней геометрии камеры: /data/flight/cam1T.cam")));
    EXPECT_FALSE(text.contains(QStringLiteral("не записывались")));

    // Every font is embedded (the Cyrillic texts print anywhere).
    const QStringList fonts = PdfFonts(path("example.pdf"));
    ASSERT_FALSE(fonts.isEmpty());
    for (const QString& font : fonts) {
        const QStringList fields = font.simplified().split(QLatin1Char(' '));
        ASSERT_GE(fields.size(), 5);
        EXPECT_EQ(fields[fields.size() - 5], QStringLiteral("yes")) << font.toStdString();
    }
}

TEST_F(Report, OutliersOfAMovedPointAreNamed) {
    std::vector<PlanePoint> image = Points(kExamples + QStringLiteral("image.crd"));
    // Image point of column 3, row 2 two pixels off: its x reaches the nodes left and
    // right of it, its y the nodes above and below.
    image[3 * 6 + 2].x += 2.0;
    image[3 * 6 + 2].y += 2.0;
    ScaleRatioReport report = example(image);
    const QString verdict =
        QStringLiteral("Выбросы: 4 (столбец 3, строка 1; столбец 2, строка 2; столбец 4, строка "
                       "2; столбец 3, строка 3).");
    EXPECT_EQ(OutlierVerdict(ReportAnalysis(report)), verdict);
    const QString text = written(report, QStringLiteral("moved.pdf"));
    // Under the coefficient and in the statistics, its words kept whole where it wraps.
    EXPECT_EQ(text.count(verdict), 2) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Выбросов нет")));
    EXPECT_TRUE(text.contains(QStringLiteral("Таблица коррекции и файл камеры не записывались.")));
}

TEST_F(Report, LargeGridSplitsItsTableAndTakesMorePages) {
    std::vector<PlanePoint> scene, image;
    ExactField(40, 30, scene, image);
    const ScaleRatioRun run = RunScaleRatio(40, 30, scene, image);
    ASSERT_TRUE(run.complete());
    const ScaleRatioReport report =
        MakeScaleRatioReport(QStringLiteral("s.crd"), QStringLiteral("i.crd"), 40, 30,
                             QStringLiteral("720"), QStringLiteral("576"), run, QDateTime());
    const QString text = written(report, QStringLiteral("large.pdf"));
    EXPECT_GT(PdfPages(path("large.pdf")), 3);
    // Every one of the 38 x 28 ratios is printed in the table (the map's cells are too
    // small for numbers).
    EXPECT_GE(text.count(QStringLiteral("1.2500")), 38 * 28);
    EXPECT_TRUE(text.contains(QStringLiteral("Строка 28")));
    EXPECT_TRUE(text.contains(QStringLiteral("Выбросы: Выбросов нет.")));
    EXPECT_TRUE(text.contains(QStringLiteral("Коэффициент соотношения масштабов по осям "
                                             "изображения 1.2500")));
}

TEST_F(Report, NumbersWithTheRegionalSeparatorAndFurtherSections) {
    ScaleRatioReport report = example(Points(kExamples + QStringLiteral("image.crd")));
    SetDecimalSeparator(QLatin1Char(','));
    report.sections.push_back(
        {QStringLiteral("Проверка наклона поля"),
         {{QStringLiteral("Наклон:"), QStringLiteral("0,3°")},
          {QStringLiteral("Исправленный коэффициент:"), QStringLiteral("1,0021")}},
         QStringLiteral("Примечание к проверке.")});
    const QString text = written(report, QStringLiteral("comma.pdf"));
    EXPECT_TRUE(text.contains(
        QStringLiteral("Коэффициент соотношения масштабов по осям изображения 1,0023 ")));
    EXPECT_FALSE(text.contains(QStringLiteral("1.0023")));
    const qsizetype section = text.indexOf(QStringLiteral("Проверка наклона поля"));
    ASSERT_GE(section, 0);
    EXPECT_TRUE(text.contains(QStringLiteral("Исправленный коэффициент: 1,0021")));
    EXPECT_TRUE(text.contains(QStringLiteral("Примечание к проверке.")));
    EXPECT_LT(section, text.indexOf(QStringLiteral("Экспорт")));
    EXPECT_GT(section, text.indexOf(QStringLiteral("Статистика")));
}

TEST_F(Report, OnlyOfACompletedRunAndOnlyIntoAWritableFile) {
    std::vector<PlanePoint> scene, image;
    ExactField(6, 6, scene, image);
    // The scene points on both sides of node (1, 1) on one x: a zero divisor.
    scene[2 * 6 + 1] = scene[0 * 6 + 1];
    const ScaleRatioRun failed = RunScaleRatio(6, 6, scene, image);
    ASSERT_FALSE(failed.complete());
    EXPECT_THROW(MakeScaleRatioReport(QString(), QString(), 6, 6, QStringLiteral("720"),
                                      QStringLiteral("576"), failed, QDateTime()),
                 CalcError);

    const ScaleRatioReport report = example(Points(kExamples + QStringLiteral("image.crd")));
    EXPECT_THROW(WriteScaleRatioReport(path("no/such/folder/r.pdf"), report), FileError);
    EXPECT_FALSE(QFile::exists(path("no/such/folder/r.pdf")));
}

} // namespace
} // namespace vrma
