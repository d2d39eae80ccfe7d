// The camera report's pictures of trust on the page of its verdict: the projection's
// uncertainty map painted as the window paints it (a map made by hand, its quarters of
// known sigma found back in the rendered page where the frame puts them), and the
// cross-validation's figures on its line.
#include "data/Locale.h"
#include "drawing/CameraReport.h"
#include "drawing/UncertaintyPainting.h"
#include "report/PdfText.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vrma {
namespace {

constexpr int kColumns = 16;
constexpr int kRows = 12;
constexpr double kCellPx = 100.0; // a frame of 1600 x 1200 pixels
constexpr double kLowPx = 0.02;   // the top left quarter
constexpr double kHighPx = 5.0;   // the bottom right quarter
constexpr double kMiddlePx = 0.3; // the rest

// The map: the frame's quarters of kLowPx (top left) and kHighPx (bottom right).
ProjectionUncertainty QuarterMap() {
    ProjectionUncertainty map;
    map.distance = 500.0;
    map.columns = kColumns;
    map.rows = kRows;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c) {
            const bool left = c < kColumns / 2, top = r < kRows / 2;
            map.cells.push_back({(c + 0.5) * kCellPx, (r + 0.5) * kCellPx,
                                 left && top     ? kLowPx
                                 : !left && !top ? kHighPx
                                                 : kMiddlePx,
                                 false});
        }
    map.worstFramePx = map.worstSeenPx = kHighPx;
    map.medianSeenPx = kMiddlePx;
    return map;
}

// The box of the pixels of `colour` (each channel within 4) in the rows and columns holding
// at least `least` of them: a block of the map, not the scale's thin steps.
QRect BlockOf(const QImage& page, const QColor& colour, int least) {
    const auto near = [&](int x, int y) {
        const QColor c = page.pixelColor(x, y);
        return std::abs(c.red() - colour.red()) <= 4 && std::abs(c.green() - colour.green()) <= 4 &&
               std::abs(c.blue() - colour.blue()) <= 4;
    };
    std::vector<int> rows(size_t(page.height())), columns(size_t(page.width()));
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (near(x, y)) {
                ++rows[size_t(y)];
                ++columns[size_t(x)];
            }
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (rows[size_t(y)] >= least && columns[size_t(x)] >= least && near(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(CameraReportPictures, TheUncertaintyMapAndTheHalvesDifferenceHeadTheVerdict) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CameraReport report;
    report.date = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    report.calibration.camera = Camera::Centred(kColumns * kCellPx, kRows * kCellPx, 1500, 1500);
    CameraAssessment assessment;
    assessment.uncertainty = QuarterMap();
    CrossValidation halves;
    halves.medianPx = 0.5;
    halves.worstSeenPx = 2.0;
    assessment.crossValidation = halves;
    report.assessment = assessment;
    const QString pdf = QDir(folder.path()).absoluteFilePath(QStringLiteral("camera.pdf"));
    WriteCameraReport(pdf, report);

    // The first page, the verdict's, as pixels.
    const QString prefix = QDir(folder.path()).absoluteFilePath(QStringLiteral("page"));
    test::RunTool(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QStringLiteral("60"), QStringLiteral("-f"),
                   QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                   QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, prefix});
    const QImage page(prefix + QStringLiteral(".png"));
    ASSERT_FALSE(page.isNull());
    const QString text =
        test::RunTool(QStringLiteral("pdftotext"),
                      {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                       QStringLiteral("1"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                       QStringLiteral("-")})
            .simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("Вывод")));
    EXPECT_TRUE(text.contains(QStringLiteral("σ проекции, пикс.")));

    // The quarters of the frame where the map puts them: the low one at the top left, the
    // high one below it to the right, each of the frame's shape (4 : 3), side by side.
    const QRect low = BlockOf(page, HeatColour(kLowPx), 20);
    const QRect high = BlockOf(page, HeatColour(kHighPx), 20);
    ASSERT_TRUE(low.isValid() && high.isValid()) << low.width() << " " << high.width();
    EXPECT_NEAR(double(low.width()) / low.height(), 4.0 / 3.0, 0.06);
    EXPECT_NEAR(double(high.width()) / high.height(), 4.0 / 3.0, 0.06);
    EXPECT_NEAR(low.width(), high.width(), 2);
    EXPECT_NEAR(high.left(), low.right() + 1, 2);
    EXPECT_NEAR(high.top(), low.bottom() + 1, 2);
    EXPECT_GT(low.width(), page.width() / 8); // a picture, not a swatch

    // The cross-validation's line: the halves' median and largest difference, and the
    // map's median sigma beside them.
    for (const QString& figure :
         {QStringLiteral("медиана %1").arg(FormatFixed(halves.medianPx, 3)),
          QStringLiteral("наибольшее %1").arg(FormatFixed(halves.worstSeenPx, 3)),
          QStringLiteral("σ %1").arg(FormatFixed(kMiddlePx, 3))})
        EXPECT_TRUE(text.contains(figure)) << figure.toStdString();
}

} // namespace
} // namespace vrma
