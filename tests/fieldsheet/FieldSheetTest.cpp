// The printable test field read back with poppler's tools: the sheet's size and
// orientation (pdfinfo), its pitch line (pdftotext), and its geometry in a rendering at a
// known resolution (pdftoppm): the squares' and dots' pitch, the dots' size and the ruler's
// length in pixels. A field that does not fit its sheet is refused and writes nothing.
#include "drawing/FieldSheet.h"
#include "data/Locale.h"
#include "data/TextFile.h"
#include "report/PdfText.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <deque>
#include <gtest/gtest.h>
#include <vector>

namespace vrma {
namespace {

using test::PdfInfo;
using test::PdfText;
using test::RunTool;

constexpr double kMmPerInch = 25.4;

// The page's width and height in points as pdfinfo gives them, and the size's name.
struct PageSize {
    double width = 0.0;
    double height = 0.0;
    QString name;
};

PageSize PdfPageSize(const QString& pdf) {
    const QRegularExpression line(
        QStringLiteral("^Page size:\\s+([0-9.]+) x ([0-9.]+) pts \\((\\w+)\\)"),
        QRegularExpression::MultilineOption);
    const auto match = line.match(PdfInfo(pdf));
    if (!match.hasMatch())
        return {};
    return {match.captured(1).toDouble(), match.captured(2).toDouble(), match.captured(3)};
}

// A4 or A3 as it lies, to a point (the PDF gives its size in whole points).
void ExpectPage(const QString& pdf, const QString& name, bool landscape) {
    const PageSize size = PdfPageSize(pdf);
    const double shortSide = name == QStringLiteral("A3") ? 841.89 : 595.276;
    const double longSide = name == QStringLiteral("A3") ? 1190.55 : 841.89;
    EXPECT_EQ(size.name, name);
    EXPECT_NEAR(size.width, landscape ? longSide : shortSide, 1.0);
    EXPECT_NEAR(size.height, landscape ? shortSide : longSide, 1.0);
}

// The page as an 8-bit grey picture at dpi pixels per inch.
QImage Render(const QString& pdf, int dpi) {
    const QString prefix = pdf + QStringLiteral(".render");
    RunTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
             QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, prefix});
    return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_Grayscale8);
}

int Grey(const QImage& image, int x, int y) {
    return image.constScanLine(y)[x];
}

// Where a line of the picture crosses from light to dark or back (grey 128), to a
// fraction of a pixel; along a row (horizontal) or a column.
std::vector<double> Edges(const QImage& image, int at, bool horizontal) {
    std::vector<double> edges;
    const int length = horizontal ? image.width() : image.height();
    const auto value = [&](int k) { return horizontal ? Grey(image, k, at) : Grey(image, at, k); };
    for (int k = 1; k < length; ++k) {
        const int a = value(k - 1);
        const int b = value(k);
        if ((a < 128) != (b < 128))
            edges.push_back(k - 1 + double(128 - a) / double(b - a));
    }
    return edges;
}

int FirstDarkRow(const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Grey(image, x, y) < 128)
                return y;
    return -1;
}

struct Blob {
    double cx = 0.0;
    double cy = 0.0;
    qint64 area = 0;
    int left = 0, right = 0, top = 0, bottom = 0;
};

// The dark parts of the picture (4-connected), with their centroids and boxes.
std::vector<Blob> DarkBlobs(const QImage& image) {
    const int w = image.width();
    const int h = image.height();
    std::vector<char> seen(size_t(qint64{w} * h), 0);
    std::vector<Blob> blobs;
    for (int y0 = 0; y0 < h; ++y0)
        for (int x0 = 0; x0 < w; ++x0) {
            if (seen[size_t(qint64{y0} * w + x0)] || Grey(image, x0, y0) >= 128)
                continue;
            Blob blob{0, 0, 0, x0, x0, y0, y0};
            double sx = 0, sy = 0;
            std::deque<std::pair<int, int>> queue{{x0, y0}};
            seen[size_t(qint64{y0} * w + x0)] = 1;
            while (!queue.empty()) {
                const auto [x, y] = queue.front();
                queue.pop_front();
                ++blob.area;
                sx += x;
                sy += y;
                blob.left = std::min(blob.left, x);
                blob.right = std::max(blob.right, x);
                blob.top = std::min(blob.top, y);
                blob.bottom = std::max(blob.bottom, y);
                const int next[4][2] = {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}};
                for (const auto& n : next) {
                    if (n[0] < 0 || n[1] < 0 || n[0] >= w || n[1] >= h)
                        continue;
                    char& mark = seen[size_t(qint64{n[1]} * w + n[0])];
                    if (!mark && Grey(image, n[0], n[1]) < 128) {
                        mark = 1;
                        queue.emplace_back(n[0], n[1]);
                    }
                }
            }
            blob.cx = sx / double(blob.area);
            blob.cy = sy / double(blob.area);
            blobs.push_back(blob);
        }
    return blobs;
}

// Every spacing of consecutive values is the pitch (in pixels) to within a pixel, and
// their mean to within a tenth of a pixel.
void ExpectPitch(const std::vector<double>& positions, double pitchPx) {
    ASSERT_GE(positions.size(), 2u);
    for (size_t k = 1; k < positions.size(); ++k)
        EXPECT_NEAR(positions[k] - positions[k - 1], pitchPx, 1.0) << "spacing " << k;
    EXPECT_NEAR((positions.back() - positions.front()) / double(positions.size() - 1), pitchPx,
                0.1);
}

// The ruler bar: the widest dark part, far wider than high.
Blob Ruler(const std::vector<Blob>& blobs) {
    Blob ruler;
    for (const Blob& blob : blobs)
        if (blob.right - blob.left > ruler.right - ruler.left)
            ruler = blob;
    return ruler;
}

class FieldSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        SetDecimalSeparator(QLatin1Char('.'));
    }
    void TearDown() override { SetDecimalSeparator(QLatin1Char('.')); }
    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    QTemporaryDir temp;
};

TEST_F(FieldSheetTest, ChessboardAtTrueScaleOnLandscapeA4) {
    FieldSheet sheet;
    sheet.kind = TargetKind::Chessboard;
    sheet.columns = 7;
    sheet.rows = 5;
    sheet.pitch = sheet.pitchY = 20.0;
    const QString pdf = path(QStringLiteral("board.pdf"));
    WriteFieldSheet(pdf, path(QStringLiteral("board.crd")), sheet);

    // 8 x 6 squares of 20 mm and their quiet zone fit A4 only across.
    ExpectPage(pdf, QStringLiteral("A4"), true);
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Шаг сетки: 20 мм (7 столбцов × 5 строк мишеней")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("8 × 6 клеток")));
    EXPECT_TRUE(text.contains(
        QStringLiteral("Отрезок 100 мм — проверьте линейкой; печатайте в масштабе 100 %")));

    const int dpi = 200;
    const double px = dpi / kMmPerInch;
    const QImage page = Render(pdf, dpi);
    ASSERT_EQ(page.width(), 2339);
    ASSERT_NEAR(page.height(), 1654, 1);
    // A row through the first row of squares: the board's left edge, then a boundary every
    // square; the eighth square is white and runs into the quiet zone.
    const int top = FirstDarkRow(page);
    ASSERT_GT(top, 0);
    const std::vector<double> across = Edges(page, top + int(10 * px), true);
    ASSERT_EQ(across.size(), 8u);
    ExpectPitch(across, 20 * px);
    // A column through the first column: the top edge and a boundary every square; the
    // sixth square is white.
    const std::vector<double> down = Edges(page, int(across.front() + 10 * px), false);
    ASSERT_GE(down.size(), 6u);
    ExpectPitch(std::vector<double>(down.begin(), down.begin() + 6), 20 * px);
    // The quiet zone: a full square of white before the board on both axes.
    EXPECT_GT(across.front(), 20 * px + 10 * px);
    EXPECT_GT(down.front(), 20 * px);

    EXPECT_NEAR(Ruler(DarkBlobs(page)).right - Ruler(DarkBlobs(page)).left + 1, 100 * px, 1.5);
}

TEST_F(FieldSheetTest, DotsAtTheirPitchesAndSize) {
    FieldSheet sheet;
    sheet.kind = TargetKind::Dots;
    sheet.columns = 6;
    sheet.rows = 4;
    sheet.pitch = 20.0;
    sheet.pitchY = 25.0;
    const QString pdf = path(QStringLiteral("dots.pdf"));
    WriteFieldSheet(pdf, path(QStringLiteral("dots.crd")), sheet);
    // 110 x 85 mm of dots: wider than high, so across the sheet.
    ExpectPage(pdf, QStringLiteral("A4"), true);
    EXPECT_TRUE(PdfText(pdf).contains(QStringLiteral(
        "Шаг сетки: 20 мм по x, 25 мм по y (6 столбцов × 4 строк точек диаметром 10 мм)")))
        << PdfText(pdf).toStdString();

    const int dpi = 100;
    const double px = dpi / kMmPerInch;
    const QImage page = Render(pdf, dpi);
    const std::vector<Blob> blobs = DarkBlobs(page);
    // The dots: the parts of about the area of a 10 mm disc (the text and the ruler are
    // far from it).
    const double disc = M_PI * std::pow(5 * px, 2);
    std::vector<Blob> dots;
    for (const Blob& blob : blobs)
        if (std::fabs(double(blob.area) - disc) < 0.1 * disc)
            dots.push_back(blob);
    ASSERT_EQ(dots.size(), 24u);
    // Found row by row (top to bottom): each run of 6 is one row of the grid.
    for (int j = 0; j < 4; ++j) {
        std::vector<double> xs;
        for (int i = 0; i < 6; ++i) {
            xs.push_back(dots[size_t(j * 6 + i)].cx);
            EXPECT_NEAR(dots[size_t(j * 6 + i)].right - dots[size_t(j * 6 + i)].left + 1, 10 * px,
                        1.5);
        }
        std::sort(xs.begin(), xs.end());
        ExpectPitch(xs, 20 * px);
    }
    std::vector<double> ys;
    for (int j = 0; j < 4; ++j)
        ys.push_back(dots[size_t(j * 6)].cy);
    ExpectPitch(ys, 25 * px);
    EXPECT_NEAR(Ruler(blobs).right - Ruler(blobs).left + 1, 100 * px, 1.5);
}

TEST_F(FieldSheetTest, SceneFileListsTheTargetsColumnByColumnInMillimetres) {
    FieldSheet sheet;
    sheet.columns = 3;
    sheet.rows = 2;
    sheet.pitch = 12.5;
    sheet.pitchY = 20.0;
    const QString scene = path(QStringLiteral("scene.crd"));
    WriteFieldSheet(path(QStringLiteral("f.pdf")), scene, sheet);
    QFile file(scene);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("0 ; 0\r\n0 ; 20\r\n12.5 ; 0\r\n12.5 ; 20\r\n25 ; 0\r\n"
                                         "25 ; 20\r\n"));
    EXPECT_TRUE(PdfText(path(QStringLiteral("f.pdf")))
                    .contains(QStringLiteral("Шаг сетки: 12.5 мм по x, 20 мм по y")));
}

TEST_F(FieldSheetTest, TooLargeOrBadFieldIsRefusedAndWritesNothing) {
    FieldSheet sheet;
    sheet.columns = 10;
    sheet.rows = 7;
    sheet.pitch = sheet.pitchY = 25.0;
    const QString pdf = path(QStringLiteral("big.pdf"));
    const QString scene = path(QStringLiteral("big.crd"));
    try {
        WriteFieldSheet(pdf, scene, sheet);
        ADD_FAILURE() << "a board of 11 x 8 squares of 25 mm was put on A4";
    } catch (const FieldSheetError& error) {
        const QString message = QString::fromUtf8(error.what());
        EXPECT_TRUE(message.contains(QStringLiteral("не помещается на лист A4")))
            << message.toStdString();
        EXPECT_TRUE(message.contains(QStringLiteral("выберите лист A3")));
    }
    EXPECT_FALSE(QFile::exists(pdf));
    EXPECT_FALSE(QFile::exists(scene));

    // The same board fits A3 across.
    sheet.page = SheetPage::A3;
    const FieldSheetLayout layout = LayOutFieldSheet(sheet);
    EXPECT_TRUE(layout.landscape);
    EXPECT_DOUBLE_EQ(layout.patternWidth, 275.0);
    EXPECT_DOUBLE_EQ(layout.patternHeight, 200.0);
    EXPECT_DOUBLE_EQ(layout.firstTargetX - layout.patternLeft, 25.0);
    WriteFieldSheet(pdf, scene, sheet);
    ExpectPage(pdf, QStringLiteral("A3"), true);

    // One row of squares more does not fit A3 either.
    sheet.rows = 8;
    EXPECT_THROW(LayOutFieldSheet(sheet), FieldSheetError);

    FieldSheet bad;
    bad.columns = 1;
    EXPECT_THROW(LayOutFieldSheet(bad), FieldSheetError);
    bad = FieldSheet{};
    bad.pitch = std::nan("");
    EXPECT_THROW(LayOutFieldSheet(bad), FieldSheetError);
    bad.pitch = 1.0;
    EXPECT_THROW(LayOutFieldSheet(bad), FieldSheetError);

    SheetPage page = SheetPage::A4;
    EXPECT_TRUE(ParseSheetPage(u"a3", page));
    EXPECT_EQ(page, SheetPage::A3);
    EXPECT_FALSE(ParseSheetPage(u"A5", page));
}

} // namespace
} // namespace vrma
