// vrma-calib with several --photo, run as a process on renders of a board turned every way
// through a known lens: the summary, the JSON's keys and values, the YAML read back by
// OpenCV, the table and the camera file; a photograph without the board marked; the
// mistakes of the command line and the photographs that give no camera, each with its
// code and nothing written. And --view of another grid refused by name.
#include "batch/CalibProcess.h"
#include "calib/CrossValidation.h"
#include "calib/Orientation.h"
#include "calib/PhotoCalibration.h"
#include "calib/ProjectionUncertainty.h"
#include "data/FixedFour.h"
#include "data/GeometryFiles.h"
#include "data/Locale.h"
#include "data/Numbers.h"
#include "data/TextFile.h"
#include "report/PdfText.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

using namespace vrma;

namespace {

QByteArray Bytes(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

QSet<QString> Keys(const QJsonObject& object) {
    const QStringList keys = object.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

// Eight photographs of a 9 x 6 chessboard, 800 x 600, through a barrel lens with the
// principal point off the centre, turned 0, 90, 180, 270, ... degrees; and a grey
// photograph of the same size in third place. Rendered once for every test.
class VrmaCalibCamera : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        test::PhotoScene camera;
        scenes = new std::vector<test::PhotoScene>;
        photos = new QStringList(test::WriteLensSet(folder->path(), &camera, scenes));
        truth = new Camera(test::TrueTargets(camera).camera);
    }
    static void TearDownTestSuite() {
        delete folder;
        delete photos;
        delete truth;
        delete scenes;
    }
    // The true pose of a photograph of the set (not the grey one).
    static Pose TruePose(int photo) {
        return test::TrueTargets((*scenes)[size_t(photo < 2 ? photo : photo - 1)]).pose;
    }

    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    static QStringList Arguments(const QStringList& files) {
        QStringList arguments;
        for (const QString& file : files)
            arguments << QStringLiteral("--photo") << file;
        return arguments << QStringLiteral("--target") << QStringLiteral("chessboard")
                         << QStringLiteral("--columns") << QStringLiteral("9")
                         << QStringLiteral("--rows") << QStringLiteral("6")
                         << QStringLiteral("--pitch") << QStringLiteral("20");
    }

    static QJsonObject Json(const QString& file) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(Bytes(file), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError);
        return document.object();
    }

    static inline QTemporaryDir* folder = nullptr;
    static inline QStringList* photos = nullptr;
    static inline Camera* truth = nullptr;
    static inline std::vector<test::PhotoScene>* scenes = nullptr;
    QTemporaryDir temp;
};

TEST_F(VrmaCalibCamera, CalibratesWritesTheJsonTheYamlTheTableAndTheCamera) {
    const QString json = path(QStringLiteral("c.json"));
    const QString yaml = path(QStringLiteral("c.yml"));
    const QString table = path(QStringLiteral("c.tab"));
    const QString cam = path(QStringLiteral("c.cam"));
    const test::CalibResult run = test::RunCalib(
        Arguments(*photos) << QStringLiteral("--json") << json << QStringLiteral("--camera-yaml")
                           << yaml << QStringLiteral("--table") << table
                           << QStringLiteral("--camera") << cam);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, QString());
    const QStringList out = run.out.split(QLatin1Char('\n'));
    EXPECT_EQ(out[0], QStringLiteral("Снимков: 9, поле найдено на 8, в калибровке 8."));
    EXPECT_TRUE(out[3].startsWith(QStringLiteral("3. grey.png: поле не найдено.")));
    EXPECT_TRUE(out[2].startsWith(QStringLiteral("2. p2.png: поле повёрнуто на 90°, мишеней 54")))
        << out[2].toStdString();

    // The JSON: its keys exactly, the photographs in the order given, ending in a newline.
    EXPECT_TRUE(Bytes(json).endsWith("}\n"));
    const QJsonObject object = Json(json);
    EXPECT_EQ(Keys(object),
              (QSet<QString>{
                  QStringLiteral("photos"), QStringLiteral("camera"), QStringLiteral("camera_se"),
                  QStringLiteral("model"), QStringLiteral("ratio"), QStringLiteral("ratio_se"),
                  QStringLiteral("rms_px"), QStringLiteral("reason"), QStringLiteral("covariance"),
                  QStringLiteral("verdict"), QStringLiteral("uncertainty"),
                  QStringLiteral("cross_validation"), QStringLiteral("distortion_model")}));
    EXPECT_TRUE(object[QStringLiteral("reason")].isNull());
    EXPECT_EQ(object[QStringLiteral("distortion_model")].toString(), QStringLiteral("plumb_bob"));
    // Eight photographs are fewer than a trusted camera needs; the verdict's text is what
    // standard output says after the camera.
    const QJsonObject verdict = object[QStringLiteral("verdict")].toObject();
    EXPECT_FALSE(verdict[QStringLiteral("ok")].toBool(true));
    EXPECT_TRUE(
        verdict[QStringLiteral("reasons")].toArray().contains(QStringLiteral("too_few_photos")));
    EXPECT_TRUE(run.out.contains(
        verdict[QStringLiteral("text")].toString().section(QLatin1Char(' '), 0, 4)));
    // The cells cover the 800 x 600 frame evenly, their centres inside it.
    const QJsonObject map = object[QStringLiteral("uncertainty")].toObject();
    const QJsonArray cells = map[QStringLiteral("cells")].toArray();
    ASSERT_EQ(cells.size(), kUncertaintyColumns * 12);
    EXPECT_DOUBLE_EQ(cells[0].toArray()[0].toDouble(), 800.0 / 32 - 0.5);
    EXPECT_DOUBLE_EQ(cells.last().toArray()[1].toDouble(), 600.0 - 600.0 / 24 - 0.5);
    EXPECT_GE(map[QStringLiteral("worst_frame_px")].toDouble(),
              map[QStringLiteral("worst_seen_px")].toDouble());
    // The model chosen is the lens's own: its halves agree.
    const QJsonObject cross = object[QStringLiteral("cross_validation")].toObject();
    EXPECT_FALSE(cross[QStringLiteral("model_error")].toBool(true));
    EXPECT_LT(cross[QStringLiteral("median_sigma")].toDouble(kModelErrorRatio), kModelErrorRatio);
    const QJsonArray list = object[QStringLiteral("photos")].toArray();
    ASSERT_EQ(list.size(), 9);
    const int turns[] = {0, 90, -1, 180, 270, 0, 90, 180, 270};
    for (int k = 0; k < 9; ++k) {
        const QJsonObject photo = list[k].toObject();
        SCOPED_TRACE(k);
        EXPECT_EQ(Keys(photo), (QSet<QString>{QStringLiteral("file"), QStringLiteral("found"),
                                              QStringLiteral("used"), QStringLiteral("turned_deg"),
                                              QStringLiteral("points"), QStringLiteral("rms_px"),
                                              QStringLiteral("reason"), QStringLiteral("same_as"),
                                              QStringLiteral("pose")}));
        EXPECT_TRUE(photo[QStringLiteral("same_as")].isNull());
        EXPECT_EQ(photo[QStringLiteral("file")].toString(), (*photos)[k]);
        const bool found = k != 2;
        EXPECT_EQ(photo[QStringLiteral("found")].toBool(!found), found);
        EXPECT_EQ(photo[QStringLiteral("used")].toBool(!found), found);
        EXPECT_EQ(photo[QStringLiteral("points")].toInt(-1), found ? 54 : 0);
        if (found) {
            EXPECT_EQ(photo[QStringLiteral("turned_deg")].toInt(-1), turns[k]);
            EXPECT_LT(photo[QStringLiteral("rms_px")].toDouble(1.0), 0.1);
            EXPECT_TRUE(photo[QStringLiteral("reason")].isNull());
        } else {
            EXPECT_TRUE(photo[QStringLiteral("turned_deg")].isNull());
            EXPECT_TRUE(photo[QStringLiteral("rms_px")].isNull());
            // The search's own words, as the summary gives them.
            EXPECT_TRUE(out[3].endsWith(photo[QStringLiteral("reason")].toString()));
        }
    }
    const QJsonObject camera = object[QStringLiteral("camera")].toObject();
    const QJsonObject se = object[QStringLiteral("camera_se")].toObject();
    const QSet<QString> cameraKeys{
        QStringLiteral("width"), QStringLiteral("height"), QStringLiteral("fx"),
        QStringLiteral("fy"),    QStringLiteral("cx"),     QStringLiteral("cy"),
        QStringLiteral("k1"),    QStringLiteral("k2"),     QStringLiteral("p1"),
        QStringLiteral("p2"),    QStringLiteral("k3")};
    EXPECT_EQ(Keys(camera), cameraKeys);
    EXPECT_EQ(Keys(se), cameraKeys);
    EXPECT_EQ(camera[QStringLiteral("width")].toInt(), 800);
    EXPECT_EQ(camera[QStringLiteral("height")].toInt(), 600);
    // The lens has no tangential terms: the automatic model is the radial one, named, its
    // p1 and p2 held at the truth's zero (no standard error), every term it frees within 4
    // standard errors.
    EXPECT_TRUE(run.out.contains(QStringLiteral("Камера (модель auto: radial)")));
    EXPECT_EQ(object[QStringLiteral("model")].toString(), QStringLiteral("radial"));
    EXPECT_TRUE(verdict[QStringLiteral("text")].toString().contains(
        QStringLiteral("Модель камеры выбрана по снимкам: радиальная дисторсия")));
    for (CameraParameter p : kPinholeParameters) {
        const QString name = QString::fromLatin1(CameraParameterName(p));
        if (!CameraSelection::RadialOnly().Frees(p)) {
            EXPECT_TRUE(se[name].isNull()) << name.toStdString();
            EXPECT_EQ(camera[name].toDouble(-1.0), (*truth)[p]) << name.toStdString();
            continue;
        }
        EXPECT_GT(se[name].toDouble(), 0.0) << name.toStdString();
        EXPECT_LT(std::abs(camera[name].toDouble() - (*truth)[p]), 4.0 * se[name].toDouble())
            << name.toStdString();
    }
    const double ratio = object[QStringLiteral("ratio")].toDouble();
    EXPECT_LT(std::abs(ratio - truth->fy() / truth->fx()), 2e-4);
    EXPECT_GT(object[QStringLiteral("ratio_se")].toDouble(), 0.0);
    EXPECT_LT(object[QStringLiteral("rms_px")].toDouble(), 0.1);

    // The YAML holds the same camera, read by OpenCV.
    cv::FileStorage storage(yaml.toStdString(), cv::FileStorage::READ);
    ASSERT_TRUE(storage.isOpened());
    cv::Mat matrix;
    storage["camera_matrix"] >> matrix;
    EXPECT_DOUBLE_EQ(matrix.at<double>(0, 0), camera[QStringLiteral("fx")].toDouble());
    EXPECT_DOUBLE_EQ(matrix.at<double>(1, 2), camera[QStringLiteral("cy")].toDouble());
    EXPECT_EQ(int(storage["image_width"]), 800);
    EXPECT_DOUBLE_EQ(double(storage["avg_reprojection_error"]),
                     object[QStringLiteral("rms_px")].toDouble());

    // The table: fy/fx in four decimals and the photographs' size, as the window writes it;
    // the camera file: the focal length and the principal point.
    SetDecimalSeparator(QLatin1Char('.'));
    EXPECT_EQ(Bytes(table), (FormatFixed4(ratio) + QStringLiteral("\r\n0 0 800 600 X 0.0 1.0 - "
                                                                  "Y 0.0 1.0 - ;\r\n"))
                                .toLatin1());
    const QStringList lines = ReadTextLines(cam);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[2], table + QStringLiteral(" ; Таблица коррекции"));
    EXPECT_EQ(lines[3], FormatFixed4(camera[QStringLiteral("fx")].toDouble()) +
                            QStringLiteral(" ; Фокусное расстояние"));
    // The principal point moved to the file's pixels, counted from the first pixel's corner.
    EXPECT_EQ(lines[6], FormatFixed4(camera[QStringLiteral("cx")].toDouble() + 0.5) +
                            QStringLiteral(" ; Координата X главной точки"));
    EXPECT_EQ(lines[7], FormatFixed4(camera[QStringLiteral("cy")].toDouble() + 0.5) +
                            QStringLiteral(" ; Координата Y главной точки"));
}

// --check: the true camera of the renders explains them (0); one 1 % longer does not (9).
TEST_F(VrmaCalibCamera, CheckTellsTheSameCameraFromALongerOne) {
    Camera longer = *truth;
    longer[CameraParameter::Fx] *= 1.01;
    longer[CameraParameter::Fy] *= 1.01;
    for (const auto& [camera, code] : {std::pair{*truth, 0}, std::pair{longer, 9}}) {
        CameraCalibration saved;
        saved.camera = camera;
        const QString yaml = path(QStringLiteral("saved.yml"));
        WriteOpenCvCameraYaml(yaml, saved);
        const QString json = path(QStringLiteral("check.json"));
        const test::CalibResult run =
            test::RunCalib(Arguments(*photos) << QStringLiteral("--check") << yaml
                                              << QStringLiteral("--json") << json);
        EXPECT_EQ(run.code, code) << run.err.toStdString() << run.out.toStdString();
        const QJsonObject check = Json(json)[QStringLiteral("check")].toObject();
        EXPECT_EQ(check[QStringLiteral("ok")].toBool(code != 0), code == 0);
        EXPECT_GE(check[QStringLiteral("worst_px")].toDouble(),
                  check[QStringLiteral("rms_px")].toDouble());
    }
}

TEST_F(VrmaCalibCamera, ReportOfTheCameraTellsThePhotographsTheCameraAndTheFilesWritten) {
    const QString json = path(QStringLiteral("c.json"));
    const QString yaml = path(QStringLiteral("c.yml"));
    const QString table = path(QStringLiteral("c.tab"));
    const QString pdf = path(QStringLiteral("c.pdf"));
    const test::CalibResult run = test::RunCalib(
        Arguments(*photos) << QStringLiteral("--json") << json << QStringLiteral("--camera-yaml")
                           << yaml << QStringLiteral("--table") << table
                           << QStringLiteral("--report") << pdf);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.err, QString());
    EXPECT_GE(test::PdfPages(pdf), 2);
    const QString text = test::PdfText(pdf);
    const QJsonObject object = Json(json);
    for (const QString& phrase :
         {QStringLiteral("Отчёт о калибровке камеры по снимкам"),
          QStringLiteral("9, поле найдено на 8, в калибровке 8"), QStringLiteral("grey.png"),
          QStringLiteral("p8.png"), QStringLiteral("Размер снимков: 800 × 600 пикс."),
          QStringLiteral("Уточнялись: fx, fy, cx, cy, k1, k2, k3"),
          QString::number(object[QStringLiteral("ratio")].toDouble(), 'f', 6),
          QStringLiteral("В калибровке 8 снимков — это мало"), QStringLiteral("СКО по снимкам"),
          QStringLiteral("Покрытие кадра"), QStringLiteral("Таблица коррекции: ") + table,
          QStringLiteral("Камера в YAML OpenCV: ") + yaml})
        EXPECT_TRUE(text.contains(phrase)) << phrase.toStdString();
    // The first page leads with the camera and the verdict.
    const QString first = test::RunTool(
        QStringLiteral("pdftotext"),
        {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
         QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    for (const QString& phrase :
         {QStringLiteral("Камера"), QStringLiteral("k1"), QStringLiteral("k3"),
          QStringLiteral("Вывод"), QStringLiteral("В калибровке 8 снимков — это мало")})
        EXPECT_TRUE(first.contains(phrase)) << phrase.toStdString();
    EXPECT_LT(first.indexOf(QStringLiteral("Камера")), first.indexOf(QStringLiteral("Исходные")));
    // Each photograph's RMS as the JSON gives it.
    const QJsonObject photo1 = object[QStringLiteral("photos")].toArray()[0].toObject();
    EXPECT_TRUE(text.contains(QStringLiteral("p1.png в калибровке 0° 54 ") +
                              QString::number(photo1[QStringLiteral("rms_px")].toDouble(), 'f', 3)))
        << text.toStdString();

    // A report that cannot be written: code 5, and none of the other files either.
    QFile::remove(table);
    const test::CalibResult failed = test::RunCalib(
        Arguments(*photos) << QStringLiteral("--table") << table << QStringLiteral("--report")
                           << path(QStringLiteral("missing/c.pdf")));
    EXPECT_EQ(failed.code, 5) << failed.err.toStdString();
    EXPECT_FALSE(QFile::exists(table));
}

TEST_F(VrmaCalibCamera, ModelsHoldWhatTheyDoNotFreeAndTheSeparatorIsTaken) {
    const QString json = path(QStringLiteral("c.json"));
    const QString table = path(QStringLiteral("c.tab"));
    const QString cam = path(QStringLiteral("c.cam"));
    const test::CalibResult run =
        test::RunCalib(Arguments(photos->mid(3))
                       << QStringLiteral("--model") << QStringLiteral("fixed-centre")
                       << QStringLiteral("--json") << json << QStringLiteral("--decimal-separator")
                       << QStringLiteral(",") << QStringLiteral("--table") << table
                       << QStringLiteral("--camera") << cam);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    // The camera file in one convention: its image centre is its principal point.
    const QStringList values = ReadGeometryValues(cam, kCameraLineCount);
    EXPECT_EQ(values[0], QStringLiteral("400,0000 "));
    EXPECT_EQ(values[1], QStringLiteral("300,0000 "));
    EXPECT_EQ(values[6], values[0]);
    EXPECT_EQ(values[7], values[1]);
    const QJsonObject object = Json(json);
    const QJsonObject camera = object[QStringLiteral("camera")].toObject();
    const QJsonObject se = object[QStringLiteral("camera_se")].toObject();
    EXPECT_DOUBLE_EQ(camera[QStringLiteral("cx")].toDouble(), 399.5);
    EXPECT_TRUE(se[QStringLiteral("cx")].isNull());
    EXPECT_TRUE(se[QStringLiteral("cy")].isNull());
    EXPECT_FALSE(se[QStringLiteral("k1")].isNull());
    EXPECT_EQ(object[QStringLiteral("photos")].toArray().size(), 6);
    EXPECT_TRUE(Bytes(table).startsWith("1,00")) << Bytes(table).toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("  cx = 399,500 (не уточнялся)")))
        << run.out.toStdString();

    const test::CalibResult none = test::RunCalib(
        Arguments(photos->mid(3)) << QStringLiteral("--model") << QStringLiteral("no-distortion")
                                  << QStringLiteral("--json") << json);
    ASSERT_EQ(none.code, 0) << none.err.toStdString();
    const QJsonObject plain = Json(json);
    EXPECT_EQ(plain[QStringLiteral("camera")].toObject()[QStringLiteral("k1")].toDouble(-1), 0.0);
    EXPECT_TRUE(plain[QStringLiteral("camera_se")].toObject()[QStringLiteral("k1")].isNull());
    // Without the lens the points are not met: the RMS grows far beyond the noise.
    EXPECT_GT(plain[QStringLiteral("rms_px")].toDouble(), 0.2);
}

TEST_F(VrmaCalibCamera, MistakesWriteNothingAndRunsWithoutACameraTheJsonAlone) {
    const QString json = path(QStringLiteral("c.json"));
    const auto with = [&](const QStringList& more) {
        return Arguments(*photos) << QStringLiteral("--json") << json << more;
    };
    const QList<QStringList> mistakes = {
        with({QStringLiteral("--report"), (*photos)[1]}),
        with({QStringLiteral("--camera"), path(QStringLiteral("c.cam"))}),
        with({QStringLiteral("--model"), QStringLiteral("omnidirectional")}),
        with({QStringLiteral("--width"), QStringLiteral("800")}),
        with({QStringLiteral("--table"), json}),
        with({QStringLiteral("--camera-yaml"), (*photos)[0]}),
        with({QStringLiteral("--pitch-y"), QStringLiteral("0")}),
    };
    for (const QStringList& arguments : mistakes) {
        const test::CalibResult run = test::RunCalib(arguments);
        EXPECT_EQ(run.code, 1) << arguments.mid(arguments.size() - 2).join(' ').toStdString();
        EXPECT_TRUE(run.err.endsWith(QStringLiteral("Справка: vrma-calib --help\n")))
            << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_TRUE(QDir(temp.path()).isEmpty());

    // Runs that give no camera: each with its code and message, and the JSON alone, with
    // every photograph's outcome, the camera null and the message as its reason.
    const QString missing = path(QStringLiteral("missing.jpg"));
    const QString small = path(QStringLiteral("small.png"));
    cv::Mat picture = cv::imread((*photos)[0].toStdString(), cv::IMREAD_GRAYSCALE);
    cv::Mat larger;
    cv::copyMakeBorder(picture, larger, 0, 40, 0, 40, cv::BORDER_REPLICATE);
    ASSERT_TRUE(cv::imwrite(small.toStdString(), larger));
    const QString table = path(QStringLiteral("c.tab"));
    struct Case {
        QStringList photos;
        int code;
        QString message;
    };
    const Case failures[] = {
        {*photos + QStringList{missing}, 2, missing},
        {photos->mid(0, 3), 6, QStringLiteral("Поле найдено на 2 снимках из 3")},
        // Two photographs of the set's size left beside one of another size.
        {{(*photos)[0], (*photos)[1], small}, 7, QStringLiteral("пригодных 2 из 3")},
    };
    for (const Case& c : failures) {
        QFile::remove(json);
        const test::CalibResult run =
            test::RunCalib(Arguments(c.photos) << QStringLiteral("--json") << json
                                               << QStringLiteral("--table") << table);
        EXPECT_EQ(run.code, c.code) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(table));
        const QJsonObject object = Json(json);
        EXPECT_TRUE(object[QStringLiteral("camera")].isNull());
        EXPECT_TRUE(object[QStringLiteral("ratio")].isNull());
        const QString reason = object[QStringLiteral("reason")].toString();
        EXPECT_TRUE(reason.contains(c.message) && run.err.contains(reason)) << reason.toStdString();
        EXPECT_EQ(object[QStringLiteral("photos")].toArray().size(), c.photos.size());
    }

    // A photograph of another size beside the set: left out, named with both sizes in the
    // summary and in the JSON's reason, and the others calibrate.
    const test::CalibResult run = test::RunCalib(with({QStringLiteral("--photo"), small}));
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    const QString otherSize = QStringLiteral("снимок %1 × %2 пикселей, а снимки калибровки %3 × %4")
                                  .arg(larger.cols)
                                  .arg(larger.rows)
                                  .arg(picture.cols)
                                  .arg(picture.rows);
    EXPECT_TRUE(run.out.contains(
        QStringLiteral("10. small.png: поле повёрнуто на 0°, мишеней 54 — не взят: ") + otherSize))
        << run.out.toStdString();
    const QJsonObject leftOut = Json(json)[QStringLiteral("photos")].toArray()[9].toObject();
    EXPECT_FALSE(leftOut[QStringLiteral("used")].toBool());
    EXPECT_EQ(leftOut[QStringLiteral("reason")].toString(), otherSize);

    // The help tells of the call.
    const test::CalibResult help = test::RunCalib({QStringLiteral("--help")});
    EXPECT_TRUE(help.out.contains(QStringLiteral("--photo СНИМОК1 --photo СНИМОК2")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--camera-yaml")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("10–20 снимков")));
}

// A --view of another grid (35 points against 54) is a mistake of the command line that
// names the view; nothing is printed or written.
TEST_F(VrmaCalibCamera, ViewOfAnotherGridRefusedByName) {
    const auto write = [&](const QString& name, int columns, int rows) {
        QStringList lines;
        for (int i = 0; i < columns; ++i)
            for (int j = 0; j < rows; ++j)
                lines << QStringLiteral("%1 ; %2").arg(20 * i).arg(20 * j);
        WriteTextLines(path(name), lines);
        return path(name);
    };
    const QString scene = write(QStringLiteral("s.crd"), 9, 6);
    const QString other = write(QStringLiteral("o.crd"), 7, 5);
    const QString table = path(QStringLiteral("t.tab"));
    const test::CalibResult run = test::RunCalib(
        {QStringLiteral("--scene"), scene, QStringLiteral("--image"), scene,
         QStringLiteral("--columns"), QStringLiteral("9"), QStringLiteral("--rows"),
         QStringLiteral("6"), QStringLiteral("--table"), table, QStringLiteral("--view"), scene,
         scene, QStringLiteral("--view"), other, other});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.startsWith(QStringLiteral("Снимок --view 2 (") + other +
                                   QStringLiteral("): в файле 35 точек, а в основной сетке 54")))
        << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_FALSE(QFile::exists(table));
}

// Every photograph used gets its orientation file (21 lines, CR LF), its projection
// centre where the render's camera stood; the JSON gives the same pose and the
// covariance whose diagonal is the standard errors squared. The grey photograph has none.
TEST_F(VrmaCalibCamera, OrientationFilesPlaceEachCameraWhereItStood) {
    const QString json = path(QStringLiteral("c.json"));
    const test::CalibResult run =
        test::RunCalib(Arguments(*photos) << QStringLiteral("--orientation-folder") << temp.path()
                                          << QStringLiteral("--json") << json);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    const QJsonObject object = Json(json);
    const QJsonArray list = object[QStringLiteral("photos")].toArray();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("grey.ort"))));
    EXPECT_TRUE(list[2].toObject()[QStringLiteral("pose")].isNull());
    for (int k : {0, 1, 3, 4, 5, 6, 7, 8}) {
        SCOPED_TRACE(k);
        const QString ort =
            path(QFileInfo((*photos)[k]).completeBaseName() + QStringLiteral(".ort"));
        const QByteArray bytes = Bytes(ort);
        EXPECT_EQ(bytes.count("\r\n"), 21);
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        const QStringList lines = ReadTextLines(ort);
        ASSERT_EQ(lines.size(), 21);
        EXPECT_TRUE(lines[0].endsWith(
            QStringLiteral(" ; Координата X центра проекции в системе координат сцены")));
        std::vector<double> v;
        for (const QString& value : ReadGeometryValues(ort, kOrientationLineCount))
            v.push_back(ParseRealDouble(value).value_or(NAN));
        const ExteriorOrientation truth = OrientationOf(TruePose(k));
        const cv::Vec3d centre(v[0], v[1], v[2]);
        EXPECT_LT(cv::norm(centre - truth.centre), 1.0);
        EXPECT_LT(std::abs(v[5] - *truth.distance), 1.0);
        cv::Matx33d matrix;
        std::copy(v.begin() + 12, v.end(), matrix.val);
        // Both triples give the matrix back, to the file's fifteen digits.
        EXPECT_LT(cv::norm(RotationYXZ({v[6], v[7], v[8]}).t() - matrix), 1e-9);
        EXPECT_LT(cv::norm(RotationYXZ({v[9], v[10], v[11]}) - matrix), 1e-9);
        const QJsonArray jsonCentre = list[k]
                                          .toObject()[QStringLiteral("pose")]
                                          .toObject()[QStringLiteral("centre")]
                                          .toArray();
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(jsonCentre[i].toDouble(), centre[i], 1e-9 * (1 + std::abs(centre[i])));
    }
    const QJsonObject covariance = object[QStringLiteral("covariance")].toObject();
    const QJsonArray matrix = covariance[QStringLiteral("matrix")].toArray();
    const QJsonObject se = object[QStringLiteral("camera_se")].toObject();
    ASSERT_EQ(matrix.size(), 9);
    for (int p = 0; p < 9; ++p) {
        const QString name = covariance[QStringLiteral("parameters")].toArray()[p].toString();
        EXPECT_NEAR(std::sqrt(matrix[p].toArray()[p].toDouble()), se[name].toDouble(), 1e-12)
            << name.toStdString();
    }
}

// The undistorted copies show the board where the camera without its lens sees it; the
// ROS camera_info holds the camera of the JSON in plain YAML.
TEST_F(VrmaCalibCamera, UndistortedCopiesAndRosCameraInfo) {
    const QString json = path(QStringLiteral("c.json"));
    const QString ros = path(QStringLiteral("c.yaml"));
    const test::CalibResult run =
        test::RunCalib(Arguments(*photos)
                       << QStringLiteral("--undistort-folder") << temp.path()
                       << QStringLiteral("--ros-yaml") << ros << QStringLiteral("--json") << json);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    Camera plain = *truth;
    for (CameraParameter p : {CameraParameter::K1, CameraParameter::K2, CameraParameter::P1,
                              CameraParameter::P2, CameraParameter::K3})
        plain[p] = 0.0;
    const Board board{TargetKind::Chessboard, 9, 6, 20.0, 20.0};
    for (int k : {0, 4, 7}) {
        SCOPED_TRACE(k);
        const QString copy =
            path(QFileInfo((*photos)[k]).completeBaseName() + QStringLiteral(".png"));
        const cv::Mat image = cv::imread(copy.toStdString(), cv::IMREAD_UNCHANGED);
        EXPECT_EQ(image.cols, 800);
        EXPECT_EQ(image.rows, 600);
        const PhotoDetection found = DetectBoardInPhoto(copy, board);
        ASSERT_TRUE(found.found);
        const std::vector<PlanePoint> expected =
            ProjectFieldPoints(plain, TruePose(k), found.board);
        double worst = 0.0;
        for (size_t i = 0; i < expected.size(); ++i)
            worst = std::max(worst, std::hypot(found.image[i].x - expected[i].x,
                                               found.image[i].y - expected[i].y));
        EXPECT_LT(worst, 0.5);
    }
    const QJsonObject camera = Json(json)[QStringLiteral("camera")].toObject();
    const auto number = [&camera](const char* name) {
        return camera[QLatin1String(name)].toDouble();
    };
    const QList<QByteArray> lines = Bytes(ros).split('\n');
    EXPECT_TRUE(lines.contains("distortion_model: plumb_bob"));
    EXPECT_TRUE(lines.contains("image_width: 800"));
    const qsizetype at = lines.indexOf("camera_matrix:");
    ASSERT_GE(at, 0);
    const QByteArray data = lines[at + 3].trimmed();
    ASSERT_TRUE(data.startsWith("data: [") && data.endsWith("]"));
    const QList<QByteArray> values = data.mid(7, data.size() - 8).split(',');
    const double expected[] = {
        number("fx"), 0, number("cx"), 0, number("fy"), number("cy"), 0, 0, 1};
    ASSERT_EQ(values.size(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(values[i].trimmed().toDouble(), expected[i]) << i;
}

} // namespace
