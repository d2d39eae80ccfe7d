// The calibration command through the calibration window: coordinate files on disk, the
// grid fields, the list box, the result fields, the plot bitmap and the messages.
#include "app/Alfa_form.h"
#include "data/TextFile.h"
#include "platform/Application.h"
#include "platform/ImageControl.h"
#include "support/ScriptedDialogHost.h"
#include "support/SyntheticField.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <vector>

using namespace vrma;
using test::DialogRecord;

namespace {

const QString kCalcMessage =
    QStringLiteral("Ошибка вычисления. Попробуйте изменить входные данные.");
const QString kCountMessage = QStringLiteral("Неверное количество столбцов или строк!");
const QString kReadMessage = QStringLiteral("Ошибка чтения файла сцены!");
const QString kCaption = QStringLiteral("Ошибка!");

using RatioField = test::RatioAt;
using Field = test::SyntheticField;

// A test field built backwards from the ratio wanted at each interior node.
Field MakeField(int nc, int nr, const RatioField& ratio) {
    return test::FieldWithRatios(nc, nr, ratio);
}

// The ratios of the interior nodes in the order in which they are listed.
std::vector<double> Listed(int nc, int nr, const RatioField& ratio) {
    return test::RatiosRowByRow(nc, nr, ratio);
}

QString Fixed4(double v) {
    return QString::number(v, 'f', 4);
}

struct Statistics {
    double mean;
    double sd;
};

Statistics Direct(const std::vector<double>& ratios) {
    long double sum = 0;
    for (double v : ratios)
        sum += v;
    const long double mean = sum / ratios.size();
    long double squares = 0;
    for (double v : ratios)
        squares += (v - mean) * (v - mean);
    const long double sd = ratios.size() > 1 ? std::sqrt(squares / (ratios.size() - 1)) : 0;
    return {double(mean), double(sd)};
}

QStringList ExpectedLines(const std::vector<double>& ratios) {
    QStringList lines;
    for (double v : ratios)
        lines << Fixed4(v);
    const Statistics st = Direct(ratios);
    lines << QString() << QStringLiteral("Среднее значение:") << Fixed4(st.mean) << QString()
          << QStringLiteral("СКО:") << Fixed4(st.sd);
    return lines;
}

// The default 6 x 6 field: a first row of different ratios (the last one 1, so the
// scale is 250), a zigzag second row at y = 312 and 437, level third and fourth rows.
double DefaultRatio(int i, int j) {
    static const double first[] = {0.875, 1.125, 0.9375, 1.0};
    static const double second[] = {1.25, 1.75, 1.25, 1.75};
    if (j == 1)
        return first[i - 1];
    if (j == 2)
        return second[i - 1];
    return j == 3 ? 0.75 : 0.5;
}

double Spread(int i, int j) {
    return 1.0 + 0.01 * ((7 * i + 13 * j) % 11 - 5);
}

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);

std::set<int> XsOf(const QImage& image, int y, QRgb colour) {
    std::set<int> xs;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) == colour)
            xs.insert(x);
    return xs;
}

std::set<int> YsOf(const QImage& image, QRgb colour) {
    std::set<int> ys;
    for (int y = 0; y < image.height(); ++y)
        if (!XsOf(image, y, colour).empty())
            ys.insert(y);
    return ys;
}

int Count(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        n += int(XsOf(image, y, colour).size());
    return n;
}

std::set<int> Span(int from, int to) {
    std::set<int> xs;
    for (int x = from; x <= to; ++x)
        xs.insert(x);
    return xs;
}

class CalibrationCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        form = CreateMainWindow();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    // Writes the field's two files and makes them the window's files and grid.
    void use(const Field& field, const QString& name = QStringLiteral("field")) {
        const QString scene = path(name + QStringLiteral("-scene.crd"));
        const QString image = path(name + QStringLiteral("-image.crd"));
        WriteTextLines(scene, field.SceneLines());
        WriteTextLines(image, field.ImageLines());
        form->sceneFileName = scene;
        form->imageFileName = image;
        grid(field.nc, field.nr);
    }

    void grid(int nc, int nr) {
        form->Edit5->setText(QString::number(nc));
        form->Edit3->setText(QString::number(nr));
    }

    void calibrate() { form->Button2->click(); }

    QImage plot() const { return form->Image1->Picture(); }
    QStringList lines() const { return form->ListBoxLines(); }

    void expectOneMessage(const QString& text) {
        ASSERT_EQ(host.records().size(), 1u);
        const DialogRecord& r = host.records()[0];
        EXPECT_EQ(r.kind, DialogRecord::Kind::MessageBox);
        EXPECT_EQ(r.text, text);
        EXPECT_EQ(r.caption, kCaption);
        EXPECT_EQ(r.type, MB_OK);
        host.clearRecords();
    }

    void expectResultsCleared() {
        EXPECT_TRUE(lines().isEmpty());
        EXPECT_TRUE(form->Edit8->text().isEmpty());
        EXPECT_TRUE(form->Edit9->text().isEmpty());
        EXPECT_EQ(Count(plot(), kWhite), 700 * 500);
    }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
};

TEST_F(CalibrationCommand, DefaultGridListsPlotsAndReports) {
    use(MakeField(6, 6, DefaultRatio));
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("6"));
    EXPECT_FALSE(form->Image2->isHidden());
    calibrate();
    EXPECT_TRUE(host.records().empty());

    const std::vector<double> ratios = Listed(6, 6, DefaultRatio);
    const Statistics st = Direct(ratios);
    const QStringList expected = ExpectedLines(ratios);
    ASSERT_EQ(expected.size(), 16 + 6);
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(form->Edit8->text(), Fixed4(st.mean));
    EXPECT_EQ(form->Edit9->text(), Fixed4(st.sd));
    EXPECT_NEAR(form->coefficient, st.mean, 1e-12);
    EXPECT_TRUE(form->Image2->isHidden());

    // The second row zigzags between its nodes: the vertices are the only pixels of
    // its extreme rows (312 and 437). Columns 1 to 4 lie at x = 146, 263, 380, 496.
    const QImage image = plot();
    EXPECT_EQ(XsOf(image, 312, kBlack), (std::set<int>{146, 380}));
    EXPECT_EQ(XsOf(image, 437, kBlack), (std::set<int>{263, 496}));
    EXPECT_EQ(XsOf(image, 187, kBlack), Span(146, 496)); // third row, level
    EXPECT_EQ(XsOf(image, 125, kBlack), Span(146, 496)); // fourth row, level
    std::set<int> blackXs;
    for (int y = 0; y < 500; ++y)
        blackXs.merge(XsOf(image, y, kBlack));
    EXPECT_EQ(*blackXs.begin(), 146);
    EXPECT_EQ(*blackXs.rbegin(), 496);

    // The mean line, pure red, from x = 30 to the last column's x = 613.
    const int meanY = int(std::trunc(st.mean * 250.0));
    EXPECT_EQ(YsOf(image, kRed), std::set<int>{meanY});
    EXPECT_EQ(XsOf(image, meanY, kRed), Span(30, 613));
}

TEST_F(CalibrationCommand, SmallestGridFromTheMenu) {
    const auto ratio = [](int, int) { return 1.0625; };
    use(MakeField(3, 3, ratio));
    form->N4->trigger();
    EXPECT_TRUE(host.records().empty());
    EXPECT_EQ(lines(),
              (QStringList{"1.0625", "", "Среднее значение:", "1.0625", "", "СКО:", "0.0000"}));
    EXPECT_EQ(form->Edit8->text(), QStringLiteral("1.0625"));
    EXPECT_EQ(form->Edit9->text(), QStringLiteral("0.0000"));
    EXPECT_EQ(form->coefficient, 1.0625);

    // One node a row draws nothing; the mean line runs from 30 to 496.
    const QImage image = plot();
    EXPECT_EQ(Count(image, kBlack), 0);
    const std::set<int> redRows = YsOf(image, kRed);
    ASSERT_EQ(redRows.size(), 1u);
    EXPECT_TRUE(*redRows.begin() == 250 || *redRows.begin() == 249);
    EXPECT_EQ(XsOf(image, *redRows.begin(), kRed), Span(30, 496));
    EXPECT_EQ(Count(image, kWhite) + 467, 700 * 500);
}

TEST_F(CalibrationCommand, NoInteriorNodeClearsAndFails) {
    for (const auto& [nc, nr] : {std::pair{2, 6}, std::pair{6, 2}}) {
        use(MakeField(3, 3, Spread), QStringLiteral("before"));
        calibrate();
        ASSERT_NE(form->coefficient, 0.0);

        host.answerOk();
        use(MakeField(nc, nr, Spread));
        calibrate();
        expectOneMessage(kCalcMessage);
        expectResultsCleared();
        EXPECT_EQ(form->coefficient, 0.0) << nc << "x" << nr;
    }
}

TEST_F(CalibrationCommand, CountMismatchKeepsTheCoefficient) {
    use(MakeField(6, 6, DefaultRatio));
    calibrate();
    const double before = form->coefficient;
    ASSERT_NE(before, 0.0);

    const Field field = MakeField(6, 6, DefaultRatio);
    const QString full = path(QStringLiteral("full.crd"));
    const QString short35 = path(QStringLiteral("short.crd"));
    WriteTextLines(full, field.SceneLines());
    WriteTextLines(short35, field.SceneLines().mid(0, 35));
    for (const auto& [scene, image] : {std::pair{short35, full}, std::pair{full, short35}}) {
        form->sceneFileName = scene;
        form->imageFileName = image;
        host.answerOk();
        calibrate();
        expectOneMessage(kCountMessage);
        expectResultsCleared();
        EXPECT_EQ(form->coefficient, before); // what a save would write
    }
}

TEST_F(CalibrationCommand, SwappedRowsAndColumnsPairOtherNodes) {
    use(MakeField(4, 5, Spread));
    calibrate();
    const QStringList asLaidOut = lines();
    grid(5, 4);
    calibrate();
    const QStringList swapped = lines();
    EXPECT_TRUE(host.records().empty());
    ASSERT_EQ(asLaidOut.size(), 6 + 6);
    ASSERT_EQ(swapped.size(), 6 + 6);
    EXPECT_EQ(asLaidOut, ExpectedLines(Listed(4, 5, Spread)));
    EXPECT_NE(asLaidOut.mid(0, 6), swapped.mid(0, 6));
}

TEST_F(CalibrationCommand, EqualSceneXInALaterRowKeepsTheEarlierNodes) {
    Field field = MakeField(6, 6, DefaultRatio);
    field.Scene(3, 3).x = field.Scene(1, 3).x; // the neighbours of node (2, 3)
    use(field);
    host.answerOk();
    calibrate();
    expectOneMessage(kCalcMessage);

    // Rows 1 and 2 and the first node of row 3 were listed, drawn and summed.
    std::vector<double> done = Listed(6, 6, DefaultRatio);
    done.resize(9);
    QStringList expected;
    double sum = 0;
    for (double v : done) {
        expected << Fixed4(v);
        sum += v;
    }
    EXPECT_EQ(lines(), expected);
    EXPECT_TRUE(form->Edit8->text().isEmpty());
    EXPECT_TRUE(form->Edit9->text().isEmpty());
    EXPECT_NEAR(form->coefficient, sum, 1e-12);
    EXPECT_FALSE(form->Image2->isHidden()); // the statistics were never reached
    const QImage image = plot();
    EXPECT_EQ(XsOf(image, 437, kBlack), (std::set<int>{263, 496}));
    EXPECT_EQ(XsOf(image, 187, kBlack), std::set<int>{}); // row 3: one node, no line yet
    EXPECT_EQ(Count(image, kRed), 0);
}

TEST_F(CalibrationCommand, UnreadableSceneFileLeavesThePreviousResults) {
    use(MakeField(6, 6, DefaultRatio));
    calibrate();
    const QStringList listBefore = lines();
    const QString edit8 = form->Edit8->text();
    const QString edit9 = form->Edit9->text();
    const QImage plotBefore = plot();
    const double coefficient = form->coefficient;
    ASSERT_EQ(form->imagePoints->Count(), 36);
    const double firstImageY = form->imagePoints->Get(1)->Y;

    // A readable 3 x 3 image file that must not be read.
    const Field small = MakeField(3, 3, Spread);
    const QString image = path(QStringLiteral("small-image.crd"));
    WriteTextLines(image, small.ImageLines());
    form->sceneFileName = path(QStringLiteral("missing.crd"));
    form->imageFileName = image;
    grid(3, 3);
    host.answerOk();
    calibrate();
    expectOneMessage(kReadMessage);

    EXPECT_EQ(form->imagePoints->Count(), 36);
    EXPECT_EQ(form->imagePoints->Get(1)->Y, firstImageY);
    EXPECT_EQ(lines(), listBefore);
    EXPECT_EQ(form->Edit8->text(), edit8);
    EXPECT_EQ(form->Edit9->text(), edit9);
    EXPECT_EQ(plot(), plotBefore);
    EXPECT_EQ(form->coefficient, coefficient);
}

// The field check's photograph is that of the results on screen: a scene file that reads
// into the lists and an image file that does not leave the earlier photograph, and the
// next calibration that reads both brings its own.
TEST_F(CalibrationCommand, ThePhotographOfTheResultsOnScreenOutlivesAFailedRead) {
    const Field first = MakeField(6, 6, DefaultRatio);
    use(first);
    calibrate();
    const Field second = MakeField(6, 6, Spread);
    use(second, QStringLiteral("second"));
    form->imageFileName = path(QStringLiteral("missing.crd"));
    host.answerOk();
    calibrate();
    expectOneMessage(kReadMessage);
    ASSERT_EQ(form->scenePoints->Get(7)->Y, second.scene[7].y); // the lists moved on

    const auto expectPhotograph = [&](const Field& field) {
        const FieldGeometry* geometry = form->LastGeometry();
        ASSERT_NE(geometry, nullptr);
        ASSERT_EQ(geometry->scene.size(), field.scene.size());
        ASSERT_EQ(geometry->image.size(), field.image.size());
        for (size_t k = 0; k < field.scene.size(); ++k) {
            EXPECT_EQ(geometry->scene[k].x, field.scene[k].x) << k;
            EXPECT_EQ(geometry->scene[k].y, field.scene[k].y) << k;
            EXPECT_EQ(geometry->image[k].x, field.image[k].x) << k;
            EXPECT_EQ(geometry->image[k].y, field.image[k].y) << k;
        }
        EXPECT_EQ(geometry->width, 720.0);
        EXPECT_EQ(geometry->height, 576.0);
    };
    expectPhotograph(first);

    use(second, QStringLiteral("second"));
    calibrate();
    expectPhotograph(second);
    // A size that is no positive number gives no photograph.
    form->Edit7->setText(QStringLiteral("0"));
    calibrate();
    EXPECT_EQ(form->LastGeometry(), nullptr);
}

TEST_F(CalibrationCommand, SecondRunClearsTheFirst) {
    use(MakeField(6, 6, DefaultRatio));
    calibrate();
    ASSERT_TRUE(form->Image2->isHidden());
    const Field small = MakeField(3, 3, Spread);
    use(small, QStringLiteral("small"));
    calibrate();
    EXPECT_TRUE(host.records().empty());
    EXPECT_EQ(lines(), ExpectedLines(Listed(3, 3, Spread)));
    EXPECT_TRUE(form->Image2->isHidden());

    // Exactly what a window that never ran the first shows.
    const std::unique_ptr<TAlfaKalibr_Form> fresh = CreateMainWindow();
    fresh->sceneFileName = form->sceneFileName;
    fresh->imageFileName = form->imageFileName;
    fresh->Edit5->setText(QStringLiteral("3"));
    fresh->Edit3->setText(QStringLiteral("3"));
    fresh->N4Click(nullptr);
    EXPECT_EQ(plot(), fresh->Image1->Picture());
}

TEST_F(CalibrationCommand, RatioOneEverywhereLiesOnTheLevelLine) {
    use(MakeField(6, 6, [](int, int) { return 1.0; }));
    calibrate();
    QStringList expected(16, QStringLiteral("1.0000"));
    expected << ""
             << "Среднее значение:"
             << "1.0000"
             << ""
             << "СКО:"
             << "0.0000";
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(form->coefficient, 1.0);
    // The polylines (146 to 496) lie under the mean line (30 to 613), all on y = 250.
    const QImage image = plot();
    EXPECT_EQ(XsOf(image, 250, kRed), Span(30, 613));
    EXPECT_EQ(Count(image, kWhite), 700 * 500 - 584);
}

TEST_F(CalibrationCommand, GridFieldsMustBeIntegers) {
    use(MakeField(3, 3, Spread));
    calibrate();
    const QStringList before = lines();
    form->sceneFileName = path(QStringLiteral("missing.crd")); // never read
    for (const auto& [columns, rows] :
         {std::pair{"3.0", "3"}, std::pair{"3", "three"}, std::pair{"", "3"},
          std::pair{"3", "99999999999"}, std::pair{"3 ", "3"}}) {
        form->Edit5->setText(QString::fromUtf8(columns));
        form->Edit3->setText(QString::fromUtf8(rows));
        host.answerOk();
        calibrate();
        expectOneMessage(kCalcMessage);
        EXPECT_EQ(lines(), before) << columns << " " << rows;
    }

    // The hexadecimal forms and leading blanks are integers.
    use(MakeField(3, 3, Spread));
    form->Edit5->setText(QStringLiteral("  $3"));
    form->Edit3->setText(QStringLiteral("0x3"));
    calibrate();
    EXPECT_TRUE(host.records().empty());
    EXPECT_EQ(lines(), before);
}

TEST_F(CalibrationCommand, NegativeSizesWhoseProductMatches) {
    use(MakeField(3, 3, Spread));
    calibrate();
    const double before = form->coefficient;
    use(MakeField(6, 6, DefaultRatio));
    for (const auto& [nc, nr] : {std::pair{-6, -6}, std::pair{-4, -9}}) {
        grid(nc, nr);
        host.answerOk();
        calibrate();
        expectOneMessage(kCalcMessage);
        expectResultsCleared();
        // The run stopped before the coefficient was started again.
        EXPECT_EQ(form->coefficient, before);
    }
}

TEST_F(CalibrationCommand, BundledExampleGivesTheReadmeCoefficient) {
    const QDir root(QStringLiteral(VRMA_SOURCE_DIR));
    form->sceneFileName = root.absoluteFilePath(QStringLiteral("examples/decimal-point/scene.crd"));
    form->imageFileName = root.absoluteFilePath(QStringLiteral("examples/decimal-point/image.crd"));
    calibrate();
    ASSERT_TRUE(host.records().empty());
    EXPECT_EQ(lines().size(), 16 + 6);
    QFile readme(root.absoluteFilePath(QStringLiteral("README.md")));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const QString stated = QStringLiteral("they are ") + form->Edit8->text() +
                           QStringLiteral(" and ") + form->Edit9->text();
    EXPECT_TRUE(text.contains(stated)) << stated.toStdString();
    EXPECT_EQ(form->Edit8->text(), QStringLiteral("1.0023"));
}

} // namespace
