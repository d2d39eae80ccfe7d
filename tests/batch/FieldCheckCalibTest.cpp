// vrma-calib with --focal, --view and --json, run as a process on photographs of synthetic
// tilted fields: the JSON keys and their values, the list box lines unchanged, the
// warning on standard error for a tilted field only, and the mistakes and degenerate
// views with their own exit codes.
#include "batch/CalibProcess.h"
#include "data/TextFile.h"
#include "report/PdfText.h"
#include "support/TiltedField.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vrma;

namespace {

using Result = test::CalibResult;

Result Calib(const QStringList& arguments) {
    return test::RunCalib(arguments);
}

class FieldCheckCalib : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    // Writes a photograph's two files; returns {scene, image}.
    QStringList write(const QString& name, const test::FieldPose& pose, unsigned seed) {
        const test::TiltedField field = test::MakeField(camera, pose, 11, 9, 0.05, seed);
        QStringList files = {path(name + QStringLiteral("-scene.crd")),
                             path(name + QStringLiteral("-image.crd"))};
        const std::vector<PlanePoint>* sets[] = {&field.scene, &field.image};
        for (int f = 0; f < 2; ++f) {
            QStringList lines;
            for (const PlanePoint& p : *sets[f])
                lines << QString::number(p.x, 'g', 17) + QStringLiteral(" ; ") +
                             QString::number(p.y, 'g', 17);
            WriteTextLines(files[f], lines);
        }
        return files;
    }

    static QStringList Grid(const QStringList& files) {
        return {QStringLiteral("--scene"),   files[0],
                QStringLiteral("--image"),   files[1],
                QStringLiteral("--columns"), QStringLiteral("11"),
                QStringLiteral("--rows"),    QStringLiteral("9")};
    }

    QJsonObject json(const QString& file) const {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(f.readAll(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError);
        return document.object();
    }

    test::PinholeCamera camera;
    QTemporaryDir temp;
};

TEST_F(FieldCheckCalib, TiltedFieldWithFocalAndViewsWritesEveryKeyAndWarns) {
    const QStringList main = write(QStringLiteral("a"), {12.0, 3.0, 1.0}, 1);
    const QStringList second = write(QStringLiteral("b"), {-5.0, 18.0, -2.0}, 2);
    const QStringList third = write(QStringLiteral("c"), {-12.0, -12.0, 4.0}, 3);
    const Result plain = Calib(Grid(main));
    ASSERT_EQ(plain.code, 0) << plain.err.toStdString();

    const QString out = path(QStringLiteral("check.json"));
    const Result r =
        Calib(Grid(main) + QStringList{QStringLiteral("--focal"), QStringLiteral("1000"),
                                       QStringLiteral("--view"), second[0], second[1],
                                       QStringLiteral("--view"), third[0], third[1],
                                       QStringLiteral("--json"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, plain.out); // the list box lines, nothing else
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("Поле наклонено"))) << r.err.toStdString();

    const QJsonObject o = json(out);
    for (const char* key : {"coefficient", "sd", "n", "sem", "homography_rms_px",
                            "tilt_vertical_deg", "tilt_horizontal_deg", "corrected_coefficient",
                            "multiview_ratio", "multiview_ratio_se", "bias", "warning"})
        EXPECT_TRUE(o.contains(QLatin1String(key))) << key;
    EXPECT_EQ(o.value("n").toInteger(), 63);
    // The coefficient is the mean of the list box ("Среднее значение:" then the value).
    const QStringList lines = plain.out.split(QLatin1Char('\n'));
    const qsizetype meanLine = lines.indexOf(QStringLiteral("Среднее значение:"));
    ASSERT_GE(meanLine, 0);
    EXPECT_NEAR(o.value("coefficient").toDouble(), lines[meanLine + 1].toDouble(), 5e-5);
    EXPECT_NEAR(o.value("tilt_vertical_deg").toDouble(), 12.0, 0.5);
    EXPECT_NEAR(o.value("corrected_coefficient").toDouble(), camera.ratio(), 3e-4);
    EXPECT_NEAR(o.value("multiview_ratio").toDouble(), camera.ratio(), 3e-4);
    EXPECT_GT(o.value("multiview_ratio_se").toDouble(), 0.0);
    EXPECT_NEAR(o.value("bias").toDouble(),
                o.value("coefficient").toDouble() - o.value("multiview_ratio").toDouble(), 1e-12);
    EXPECT_EQ(o.value("views").toInt(), 3);
    EXPECT_TRUE(o.value("warning").toBool());
}

TEST_F(FieldCheckCalib, SquareFieldHasNoWarningAndUnknownValuesAreNull) {
    const QStringList main = write(QStringLiteral("a"), {}, 4);
    const QString out = path(QStringLiteral("check.json"));
    Result r = Calib(Grid(main) +
                     QStringList{QStringLiteral("--focal=1000"), QStringLiteral("--json"), out});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    QJsonObject o = json(out);
    EXPECT_FALSE(o.value("warning").toBool());
    EXPECT_LT(std::fabs(o.value("tilt_vertical_deg").toDouble()), 0.1);
    EXPECT_TRUE(o.value("multiview_ratio").isNull());

    // Without --focal: only the homography.
    r = Calib(Grid(main) + QStringList{QStringLiteral("--json"), out});
    ASSERT_EQ(r.code, 0);
    o = json(out);
    EXPECT_TRUE(o.value("tilt_vertical_deg").isNull());
    EXPECT_TRUE(o.value("corrected_coefficient").isNull());
    EXPECT_TRUE(o.value("bias").isNull());
    EXPECT_GT(o.value("homography_rms_px").toDouble(), 0.0);
}

// The report carries the field check: the tilt, the corrected and the multi-view ratios
// with the values the JSON holds, and the warning; a check that fails is named in it.
TEST_F(FieldCheckCalib, TheReportHoldsTheFieldCheck) {
    const QStringList main = write(QStringLiteral("a"), {12.0, 3.0, 1.0}, 1);
    const QStringList second = write(QStringLiteral("b"), {-5.0, 18.0, -2.0}, 2);
    const QString out = path(QStringLiteral("check.json"));
    const QString pdf = path(QStringLiteral("report.pdf"));
    Result r = Calib(Grid(main) + QStringList{QStringLiteral("--focal"), QStringLiteral("1000"),
                                              QStringLiteral("--view"), second[0], second[1],
                                              QStringLiteral("--json"), out,
                                              QStringLiteral("--report"), pdf});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonObject o = json(out);
    const QString text = test::PdfText(pdf);
    const auto fixed = [](double value, int decimals) {
        return QString::number(value, 'f', decimals);
    };
    EXPECT_TRUE(text.contains(QStringLiteral("Геометрия поля")));
    EXPECT_TRUE(text.contains(QStringLiteral("Наклон вокруг вертикальной оси: +") +
                              fixed(o.value("tilt_vertical_deg").toDouble(), 2) +
                              QStringLiteral("°")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Исправленный коэффициент (fy/fx): ") +
                              fixed(o.value("corrected_coefficient").toDouble(), 6) +
                              QStringLiteral(" ± ") +
                              fixed(o.value("corrected_se").toDouble(), 6)));
    EXPECT_TRUE(text.contains(QStringLiteral("fy/fx по всем снимкам: ") +
                              fixed(o.value("multiview_ratio").toDouble(), 6)));
    EXPECT_TRUE(text.contains(QStringLiteral("Снимков: 2")));
    EXPECT_TRUE(text.contains(QStringLiteral("Поле наклонено: коэффициент смещён")));
    EXPECT_LT(text.indexOf(QStringLiteral("Геометрия поля")),
              text.indexOf(QStringLiteral("Экспорт")));

    // Without a focal length or views: the homography's fit only, and why no tilt.
    r = Calib(Grid(main) + QStringList{QStringLiteral("--report"), pdf});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString plain = test::PdfText(pdf);
    EXPECT_TRUE(plain.contains(QStringLiteral("Ошибка гомографии (СКО):")));
    EXPECT_FALSE(plain.contains(QStringLiteral("Исправленный коэффициент")));
    EXPECT_TRUE(plain.contains(QStringLiteral("Наклон поля не оценивался")));

    // The same photograph twice fixes the focal lengths by its own tilt about both axes;
    // one whose field is tilted about one axis does not: the report names the failure,
    // the exit code is 7.
    r = Calib(Grid(main) + QStringList{QStringLiteral("--view"), main[0], main[1],
                                       QStringLiteral("--report"), pdf});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList flat = write(QStringLiteral("b"), {8.0, 0.0}, 5);
    r = Calib(Grid(flat) + QStringList{QStringLiteral("--view"), flat[0], flat[1],
                                       QStringLiteral("--report"), pdf});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(test::PdfText(pdf).contains(QStringLiteral("не определяют фокусные")));
}

TEST_F(FieldCheckCalib, MistakesAndDegenerateViewsHaveTheirCodes) {
    const QStringList main = write(QStringLiteral("a"), {8.0, 0.0}, 5);
    const QString out = path(QStringLiteral("check.json"));
    // The same photograph twice, tilted about one axis: the list is printed, the JSON is
    // not written.
    Result r = Calib(Grid(main) + QStringList{QStringLiteral("--view"), main[0], main[1],
                                              QStringLiteral("--json"), out});
    EXPECT_EQ(r.code, 7);
    EXPECT_TRUE(r.err.contains(QStringLiteral("не определяют фокусные расстояния")))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Среднее значение:")));
    EXPECT_FALSE(QFile::exists(out));

    r = Calib(Grid(main) + QStringList{QStringLiteral("--view"), main[0]});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("два файла")));
    r = Calib(Grid(main) + QStringList{QStringLiteral("--focal"), QStringLiteral("-5")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty());
    r = Calib(Grid(main) +
              QStringList{QStringLiteral("--view"), main[0], path(QStringLiteral("missing.crd"))});
    EXPECT_EQ(r.code, 2);
}

} // namespace
