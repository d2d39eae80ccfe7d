// The pictures and the words of a camera calibrated from several photographs, on sets made
// by hand with a known answer: the residuals of a photograph, the rule's limit, the
// coverage of the frame's corners, the magnification of the residuals and its words; the
// chart's bars and limit and the coverage view's corners and targets in their pixels; the
// verdict for enough photographs or not, corners covered or not, and each reason a
// photograph is left out.
#include "drawing/CameraPainting.h"
#include "data/Messages.h"
#include "drawing/CameraVerdict.h"
#include "support/PhotoRenderer.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace vrma {
namespace {

// A set of `used` photographs of a 1000 x 750 frame, each with the given RMS, whose
// targets lie where `targets` puts them; the camera's principal point at the centre.
struct HandSet {
    CameraCalibration calibration;
    std::vector<PhotoDetection> photos;

    void add(PhotoUse use, std::optional<double> rms, std::vector<PlanePoint> targets,
             const QString& name) {
        PhotoFit fit;
        fit.use = use;
        fit.rmsPx = rms;
        fit.points = targets.size();
        calibration.photos.push_back(fit);
        PhotoDetection photo;
        photo.file = QStringLiteral("/photos/") + name;
        photo.read = true;
        photo.found = use != PhotoUse::NotFound;
        photo.image = std::move(targets);
        photo.board = photo.image;
        calibration.used += use == PhotoUse::Used ? 1 : 0;
        photos.push_back(std::move(photo));
    }
};

HandSet Frame() {
    HandSet set;
    set.calibration.camera = Camera::Centred(1000.0, 750.0, 1200.0, 1200.0);
    set.calibration.camera[CameraParameter::Cx] = 499.5;
    set.calibration.camera[CameraParameter::Cy] = 374.5;
    return set;
}

std::vector<PlanePoint> Around(double x, double y) {
    return {{x - 5, y - 5}, {x + 5, y - 5}, {x - 5, y + 5}, {x + 5, y + 5}};
}

TEST(CameraPictures, ResidualsAreFoundMinusProjected) {
    test::PhotoScene scene;
    scene.width = 800;
    scene.height = 600;
    scene.fx = 900.0;
    scene.fy = 905.0;
    scene.k1 = -0.1;
    scene.tiltX = 20.0;
    const test::SceneTargets truth = test::TrueTargets(scene);
    CameraCalibration calibration;
    calibration.camera = truth.camera;
    PhotoFit fit;
    fit.rmsPx = 0.0;
    fit.pose = truth.pose;
    calibration.photos = {fit};
    PhotoDetection photo;
    photo.found = true;
    photo.board = truth.board;
    photo.image = truth.boardTruth;
    photo.image[7].x += 0.5;
    photo.image[7].y -= 0.25;
    const std::vector<PlanePoint> residuals = PhotoResiduals(calibration, 0, photo);
    ASSERT_EQ(residuals.size(), truth.board.size());
    for (size_t k = 0; k < residuals.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(residuals[k].x, k == 7 ? 0.5 : 0.0, 1e-6);
        EXPECT_NEAR(residuals[k].y, k == 7 ? -0.25 : 0.0, 1e-6);
    }
    // Without a pose there is nothing to measure against.
    calibration.photos[0].rmsPx.reset();
    EXPECT_TRUE(PhotoResiduals(calibration, 0, photo).empty());
}

TEST(CameraPictures, TheRulesLimitIsThreeMediansOfThoseUsedAndNoLessThanTheFloor) {
    HandSet set = Frame();
    set.add(PhotoUse::Used, 0.1, {}, QStringLiteral("a"));
    set.add(PhotoUse::Used, 0.4, {}, QStringLiteral("b"));
    set.add(PhotoUse::Used, 0.2, {}, QStringLiteral("c"));
    set.add(PhotoUse::Used, 0.3, {}, QStringLiteral("d"));
    set.add(PhotoUse::LeftOutRms, 5.0, {}, QStringLiteral("e"));    // not counted
    set.add(PhotoUse::LeftOutByUser, 9.0, {}, QStringLiteral("f")); // not counted
    EXPECT_DOUBLE_EQ(RmsLimit(set.calibration), 3.0 * 0.25);
    HandSet sharp = Frame();
    for (double rms : {0.004, 0.005, 0.006})
        sharp.add(PhotoUse::Used, rms, {}, QStringLiteral("s"));
    EXPECT_DOUBLE_EQ(RmsLimit(sharp.calibration), kRmsFloorPx);
}

TEST(CameraPictures, CornersAreCoveredByTargetsOfPhotographsUsed) {
    HandSet set = Frame();
    set.add(PhotoUse::Used, 0.1, Around(500, 375), QStringLiteral("middle"));
    set.add(PhotoUse::Used, 0.1, Around(100, 100), QStringLiteral("top-left"));
    set.add(PhotoUse::Used, 0.1, Around(900, 650), QStringLiteral("bottom-right"));
    // A photograph left out covers nothing.
    set.add(PhotoUse::LeftOutByUser, 0.1, Around(900, 100), QStringLiteral("top-right"));
    FrameCoverage coverage = CoverageOf(set.calibration, set.photos);
    EXPECT_TRUE(coverage.corners[0]);
    EXPECT_FALSE(coverage.corners[1]);
    EXPECT_TRUE(coverage.corners[2]);
    EXPECT_FALSE(coverage.corners[3]);
    EXPECT_FALSE(coverage.AllCorners());
    // The farthest target: (905, 655) from the centre (499.5, 374.5), of the half-diagonal.
    EXPECT_NEAR(coverage.reach, std::hypot(405.5, 280.5) / std::hypot(499.5, 374.5), 1e-12);
    // Just inside a fifth of the width and the height from the corner counts.
    set.add(PhotoUse::Used, 0.1, {{199.0, 600.5}}, QStringLiteral("bottom-left"));
    set.calibration.photos[3].use = PhotoUse::Used;
    coverage = CoverageOf(set.calibration, set.photos);
    EXPECT_TRUE(coverage.AllCorners());
}

TEST(CameraPictures, ResidualsAreMagnifiedByARoundFactorThatTheLegendStates) {
    CoverageData data;
    data.width = 1000.0;
    data.height = 750.0; // diagonal 1250
    CoveragePhoto photo;
    photo.used = true;
    photo.targets = std::vector<PlanePoint>(20, PlanePoint{500, 300});
    photo.residuals = std::vector<PlanePoint>(20, PlanePoint{0.06, 0.08}); // 0.1 px
    data.photos = {photo};
    EXPECT_DOUBLE_EQ(ResidualMagnification(data), 500.0); // 0.04 * 1250 / 0.1
    data.photos[0].residuals.assign(20, PlanePoint{0.3, 0.0});
    EXPECT_DOUBLE_EQ(ResidualMagnification(data), 100.0); // 166.7 rounded down
    data.photos[0].residuals.assign(20, PlanePoint{20.0, 0.0});
    EXPECT_DOUBLE_EQ(ResidualMagnification(data), 2.0); // 2.5 rounded down
    data.photos[0].used = false;                        // those left out do not count
    EXPECT_DOUBLE_EQ(ResidualMagnification(data), 1.0);

    CoverageLayout layout;
    for (const auto& [factor, words] : {std::pair{500.0, "в 500 раз"}, std::pair{2.0, "в 2 раза"},
                                        std::pair{1.0, "в 1 раз"}, std::pair{0.5, "в 0.5 раза"}}) {
        layout.magnify = factor;
        EXPECT_TRUE(CoverageLegend(layout).startsWith(QStringLiteral("Невязки увеличены ") +
                                                      QString::fromUtf8(words)))
            << CoverageLegend(layout).toStdString();
    }
}

QColor At(const QImage& image, QPointF point) {
    return image.pixelColor(int(point.x()), int(point.y()));
}

TEST(CameraPictures, TheChartDrawsABarAPhotographAndTheLimit) {
    HandSet set = Frame();
    set.add(PhotoUse::Used, 0.2, {}, QStringLiteral("a"));
    set.add(PhotoUse::Used, 0.25, {}, QStringLiteral("b"));
    set.add(PhotoUse::LeftOutByUser, 0.3, {}, QStringLiteral("c"));
    set.add(PhotoUse::LeftOutRms, 1.2, {}, QStringLiteral("d"));
    set.add(PhotoUse::NotFound, std::nullopt, {}, QStringLiteral("e"));
    set.add(PhotoUse::Used, 0.3, {}, QStringLiteral("f"));
    QImage image(600, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    QFont font;
    font.setPixelSize(12);
    const RmsChartLayout layout =
        RmsChartLayoutFor(set.calibration, font, QRectF(0, 0, image.width(), image.height()));
    ASSERT_EQ(layout.columns.size(), 6u);
    EXPECT_DOUBLE_EQ(layout.limit, 0.75);
    EXPECT_GE(layout.top, 1.2);
    {
        QPainter painter(&image);
        CameraPaintStyle style;
        style.font = font;
        PaintRmsChart(painter, set.calibration, layout, style);
    }
    const auto yOf = [&](double rms) {
        return layout.plot.bottom() - layout.plot.height() * rms / layout.top;
    };
    const auto barMiddle = [&](size_t k, double rms) {
        return QPointF(layout.columns[k].center().x(), (yOf(rms) + layout.plot.bottom()) / 2);
    };
    const QColor used = At(image, barMiddle(0, 0.2));
    EXPECT_LT(used.red(), 100);
    EXPECT_GT(used.blue(), 140);
    // Left out: grey, whatever the reason.
    const QColor leftOut = At(image, barMiddle(2, 0.3));
    EXPECT_EQ(leftOut.red(), leftOut.blue());
    EXPECT_GT(leftOut.red(), 150);
    EXPECT_EQ(At(image, barMiddle(3, 1.2)), leftOut);
    // No bar where the board was not found; above a bar's top, the background.
    EXPECT_EQ(At(image, barMiddle(4, 0.3)), QColor(Qt::white));
    EXPECT_EQ(At(image, QPointF(layout.columns[0].center().x(), yOf(0.2) - 6)), QColor(Qt::white));
    // The limit: dashed red across, between the bars too.
    int red = 0;
    for (int x = int(layout.plot.left()) + 2; x < int(layout.plot.right()) - 2; ++x) {
        bool any = false;
        for (int dy = -1; dy <= 1; ++dy) {
            const QColor c = image.pixelColor(x, int(yOf(0.75)) + dy);
            any = any || c.red() > c.green() + 60;
        }
        red += any ? 1 : 0;
    }
    EXPECT_GT(red, int(layout.plot.width() / 4));
    // A click on a column names its photograph.
    EXPECT_EQ(RmsChartPhotoAt(layout, barMiddle(5, 0.3)), 5);
    EXPECT_EQ(RmsChartPhotoAt(layout, QPointF(1, 1)), -1);
}

TEST(CameraPictures, TheCoverageViewShadesTheCornersAndDrawsEveryTarget) {
    HandSet set = Frame();
    // No poses in a hand-made set: the photographs have no RMS and no residuals.
    set.add(PhotoUse::Used, std::nullopt, Around(100, 100), QStringLiteral("top-left"));
    set.add(PhotoUse::Used, std::nullopt, Around(500, 375), QStringLiteral("middle"));
    CoverageData data = CoverageDataOf(set.calibration, set.photos);
    ASSERT_EQ(data.photos.size(), 2u);
    EXPECT_TRUE(data.photos[0].residuals.empty());
    QImage image(500, 460, QImage::Format_RGB32);
    image.fill(Qt::white);
    QFont font;
    font.setPixelSize(11);
    const CoverageLayout layout =
        CoverageLayoutFor(data, font, QRectF(0, 0, image.width(), image.height()));
    EXPECT_NEAR(layout.frame.width() / layout.frame.height(), 1000.0 / 750.0, 0.01);
    EXPECT_GT(layout.legend.top(), layout.frame.bottom());
    {
        QPainter painter(&image);
        CameraPaintStyle style;
        style.font = font;
        PaintCoverage(painter, data, layout, style);
    }
    const auto at = [&](double x, double y) {
        return QPointF(layout.frame.left() + (x + 0.5) * layout.scale,
                       layout.frame.top() + (y + 0.5) * layout.scale);
    };
    // The covered corner green, the others red.
    const QColor covered = At(image, at(20, 20));
    const QColor bare = At(image, at(980, 730));
    EXPECT_GT(covered.green(), covered.red());
    EXPECT_GT(bare.red(), bare.green());
    EXPECT_EQ(At(image, at(980, 20)), bare);
    // Each photograph's targets in its colour.
    const QColor first = PhotoColour(0);
    const QColor mark = At(image, at(95, 95));
    EXPECT_NEAR(mark.hue(), first.hue(), 8);
    EXPECT_NEAR(At(image, at(505, 380)).hue(), PhotoColour(1).hue(), 8);
    EXPECT_NE(PhotoColour(0).hue(), PhotoColour(1).hue());
}

TEST(CameraWords, TheVerdictTellsTheCountTheCornersAndWhatWasLeftOut) {
    HandSet set = Frame();
    for (int k = 0; k < 10; ++k)
        set.add(PhotoUse::Used, 0.1, k == 0 ? Around(100, 100) : Around(500, 375),
                QStringLiteral("u%1.jpg").arg(k));
    QStringList lines = CameraVerdictLines(set.calibration, set.photos);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("В калибровке 10 снимков — этого достаточно."));
    EXPECT_EQ(lines[1], QStringLiteral("Углы кадра покрыты не все: нет мишеней в правом верхнем, "
                                       "правом нижнем, левом нижнем углах. Там дисторсия "
                                       "объектива не определена — добавьте снимки, на которых "
                                       "поле заходит в эти углы. Поле, видное целиком, в "
                                       "угол кадра заходит с трудом: напечатайте доску ChArUco "
                                       "— её углы находятся и там, где доска видна частично."));
    EXPECT_EQ(lines[2], QStringLiteral("Все снимки взяты в калибровку."));

    set.calibration.photos[1].use = PhotoUse::LeftOutByUser;
    set.calibration.used = 9;
    set.add(PhotoUse::LeftOutRms, 0.9, Around(900, 100), QStringLiteral("blur.jpg"));
    set.add(PhotoUse::LeftOutNoPose, std::nullopt, Around(900, 650), QStringLiteral("odd.jpg"));
    set.add(PhotoUse::LeftOutSize, std::nullopt, Around(900, 650), QStringLiteral("big.jpg"));
    set.photos.back().width = 1001;
    set.photos.back().height = 751;
    set.add(PhotoUse::NotFound, std::nullopt, {}, QStringLiteral("wall.jpg"));
    set.photos.back().found = false;
    set.add(PhotoUse::NotFound, std::nullopt, {}, QStringLiteral("broken.jpg"));
    set.photos.back().found = false;
    set.photos.back().read = false;
    lines = CameraVerdictLines(set.calibration, set.photos);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("В калибровке 9 снимков — это мало: для "
                                                   "надёжной калибровки нужно 10–20 снимков")))
        << lines[0].toStdString();
    EXPECT_EQ(lines[2],
              QStringLiteral("Не взяты в калибровку (6): u1.jpg — исключён вами; blur.jpg — "
                             "СКО 0.900 пикс. больше трёх медиан СКО снимков (0.300 пикс.); "
                             "odd.jpg — положение поля не определяется; big.jpg — снимок "
                             "1001 × 751 пикселей, а снимки калибровки 1000 × 750; wall.jpg — "
                             "поле не найдено; broken.jpg — снимок не читается."));
    // The list says the same of each, as vrma-calib does.
    EXPECT_EQ(PhotoUseText(set.photos[10], set.calibration.photos[10], set.calibration.camera),
              QStringLiteral("не взят: СКО больше трёх медиан СКО снимков"));
    EXPECT_EQ(
        PhotoUseText(set.photos[12], set.calibration.photos[12], set.calibration.camera),
        QStringLiteral("не взят: снимок 1001 × 751 пикселей, а снимки калибровки 1000 × 750"));

    // All four corners.
    HandSet corners = Frame();
    for (const PlanePoint& c :
         {PlanePoint{50, 50}, PlanePoint{950, 50}, PlanePoint{950, 700}, PlanePoint{50, 700}})
        corners.add(PhotoUse::Used, 0.1, Around(c.x, c.y), QStringLiteral("c.jpg"));
    EXPECT_EQ(CameraVerdictLines(corners.calibration, corners.photos)[1],
              QStringLiteral("Углы кадра покрыты: мишени есть во всех четырёх углах, дисторсия "
                             "объектива определена по всему кадру."));
    EXPECT_TRUE(CameraVerdictLines(corners.calibration, corners.photos)[0].startsWith(
        QStringLiteral("В калибровке 4 снимка — это мало")));

    // A photograph whose file asks to be shown turned, and one of several TIFF pages: both
    // said at the end, the pixels being used as stored.
    corners.photos[1].orientation = 6;
    corners.photos[2].pages = 3;
    const QStringList noted = CameraVerdictLines(corners.calibration, corners.photos);
    ASSERT_EQ(noted.size(), 5);
    EXPECT_EQ(noted[3], QStringLiteral("c.jpg: ") + messages::PhotoOrientationNote(6) + '.');
    EXPECT_EQ(noted[4], QStringLiteral("c.jpg: ") + messages::PhotoPagesNote(3) + '.');
    EXPECT_EQ(CameraFailureLines(QStringLiteral("Мало снимков."), corners.photos).mid(2),
              noted.mid(3));
}

TEST(CameraWords, TheResultRowsAndAFailure) {
    CameraCalibration calibration;
    calibration.camera = Camera::Centred(800, 600, 1000.0, 1004.0);
    calibration.camera[CameraParameter::K1] = -0.2;
    calibration.selection = CameraSelection::PrincipalPointFixed();
    calibration.covariance(CameraParameter::Fx, CameraParameter::Fx) = 0.25;
    calibration.covariance(CameraParameter::K1, CameraParameter::K1) = 1e-6;
    calibration.ratio = 1.004;
    calibration.ratioSe = 0.000012;
    calibration.rmsPx = 0.0234;
    calibration.points = 432;
    const auto rows = CameraResultRows(calibration);
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[0], std::pair(QStringLiteral("fx:"), QStringLiteral("1000.00 ± 0.50 пикс.")));
    EXPECT_EQ(rows[2],
              std::pair(QStringLiteral("cx:"), QStringLiteral("400.00 пикс. (не уточнялся)")));
    EXPECT_EQ(rows[4], std::pair(QStringLiteral("k1:"), QStringLiteral("-0.200000 ± 0.001000")));
    EXPECT_EQ(rows[9], std::pair(QStringLiteral("fy/fx:"), QStringLiteral("1.004000 ± 0.000012")));
    EXPECT_EQ(rows[10],
              std::pair(QStringLiteral("СКО:"), QStringLiteral("0.023 пикс. по 432 мишеням")));

    std::vector<PhotoDetection> photos(3);
    photos[0].found = true;
    photos[1].file = QStringLiteral("/x/wall.jpg");
    photos[1].read = true;
    photos[2].file = QStringLiteral("/x/gone.jpg");
    EXPECT_EQ(CameraFailureLines(QStringLiteral("Мало снимков."), photos),
              (QStringList{QStringLiteral("Камера не откалибрована. Мало снимков."),
                           QStringLiteral("Поле найдено на 1 снимке из 3."),
                           QStringLiteral("Без поля: wall.jpg — поле не найдено; gone.jpg — "
                                          "снимок не читается.")}));
}

} // namespace
} // namespace vrma
