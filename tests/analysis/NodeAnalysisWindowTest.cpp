// The node analysis from the calibration window: when it can be opened, what it shows
// against the list box of the same run, the saving of the map, the numbers and the plot,
// and that none of it touches the calibration window's results.
#include "app/NodeAnalysisWindow.h"
#include "app/Alfa_form.h"
#include "data/TextFile.h"
#include "platform/Application.h"
#include "platform/ImageControl.h"
#include "support/ScriptedDialogHost.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <utility>

using namespace vrma;
using test::DialogRecord;

namespace {

const QString kExamples = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/");

// What the calibration window shows of a run.
struct Shown {
    QStringList lines;
    QString edit8;
    QString edit9;
    double coefficient;
    QImage plot;
    bool splashHidden;

    bool operator==(const Shown& o) const {
        return lines == o.lines && edit8 == o.edit8 && edit9 == o.edit9 &&
               std::memcmp(&coefficient, &o.coefficient, sizeof coefficient) == 0 &&
               plot == o.plot && splashHidden == o.splashHidden;
    }
};

class NodeAnalysisWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        form = CreateMainWindow();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        useExample();
    }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    void useExample() {
        form->sceneFileName = kExamples + QStringLiteral("scene.crd");
        form->imageFileName = kExamples + QStringLiteral("image.crd");
        form->Edit5->setText(QStringLiteral("6"));
        form->Edit3->setText(QStringLiteral("6"));
    }

    // The example with image point (i, j) moved by two pixels along both axes.
    void useExampleWithMovedPoint(int i, int j) {
        QStringList lines = ReadTextLines(kExamples + QStringLiteral("image.crd"));
        const QStringList xy = lines[i * 6 + j].split(QLatin1Char(';'));
        lines[i * 6 + j] = QString::number(xy[0].trimmed().toDouble() + 2.0, 'f', 3) +
                           QStringLiteral(" ; ") +
                           QString::number(xy[1].trimmed().toDouble() + 2.0, 'f', 3);
        WriteTextLines(path(QStringLiteral("moved.crd")), lines);
        form->imageFileName = path(QStringLiteral("moved.crd"));
    }

    Shown shown() const {
        return {form->ListBoxLines(), form->Edit8->text(),     form->Edit9->text(),
                form->coefficient,    form->Image1->Picture(), form->Image2->isHidden()};
    }

    // Opens the analysis and runs the check while it is shown.
    void withAnalysis(const std::function<void(TNodeAnalysisForm&)>& check) {
        bool ran = false;
        host.answerModal([&](QWidget& window) {
            auto* analysis = qobject_cast<TNodeAnalysisForm*>(&window);
            EXPECT_NE(analysis, nullptr);
            if (!analysis)
                return 0;
            EXPECT_TRUE(analysis->isVisible());
            EXPECT_TRUE(analysis->isModal());
            EXPECT_TRUE(QTest::qWaitForWindowExposed(analysis));
            check(*analysis);
            ran = true;
            return 0;
        });
        form->nodeAnalysisAction->trigger();
        EXPECT_TRUE(ran);
    }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
};

TEST_F(NodeAnalysisWindow, OpensOnlyWhileACompletedRunIsShown) {
    // Before any run: disabled, and the handler does nothing.
    EXPECT_FALSE(form->nodeAnalysisAction->isEnabled());
    form->OpenNodeAnalysis(form->nodeAnalysisAction);
    EXPECT_TRUE(host.records().empty());

    form->Button2->click();
    ASSERT_TRUE(host.records().empty());
    EXPECT_TRUE(form->nodeAnalysisAction->isEnabled());
    ASSERT_TRUE(form->lastRatios.has_value());
    EXPECT_EQ(form->lastRatios->ratios.size(), 16u);

    // A file that cannot be read leaves the results on screen, and the analysis of them.
    form->sceneFileName = path(QStringLiteral("missing.crd"));
    host.answerOk();
    form->Button2->click();
    EXPECT_TRUE(form->nodeAnalysisAction->isEnabled());
    EXPECT_EQ(form->ListBoxLines().size(), 22);

    // A count that does not fit clears the results: no analysis.
    useExample();
    form->Edit5->setText(QStringLiteral("4"));
    host.answerOk();
    form->Button2->click();
    EXPECT_EQ(host.records().back().text,
              QStringLiteral("Неверное количество столбцов или строк!"));
    EXPECT_FALSE(form->nodeAnalysisAction->isEnabled());
    EXPECT_FALSE(form->lastRatios.has_value());

    // A complete run again, then one that fails in the computation (no interior node).
    useExample();
    form->Button2->click();
    EXPECT_TRUE(form->nodeAnalysisAction->isEnabled());
    form->Edit5->setText(QStringLiteral("2"));
    form->Edit3->setText(QStringLiteral("18"));
    host.answerOk();
    form->Button2->click();
    EXPECT_EQ(host.records().back().text,
              QStringLiteral("Ошибка вычисления. Попробуйте изменить входные данные."));
    EXPECT_FALSE(form->nodeAnalysisAction->isEnabled());
    host.clearRecords();
    form->OpenNodeAnalysis(form->nodeAnalysisAction);
    EXPECT_TRUE(host.records().empty());
}

TEST_F(NodeAnalysisWindow, PlotAreaOffersTheMenu) {
    // A right click on the splash picture, which covers the plot before a run.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(40, 40),
                            form->Image2->mapToGlobal(QPoint(40, 40)));
    QApplication::sendEvent(form->Image2, &click);
    ASSERT_TRUE(form->plotMenu->isVisible());
    const QList<QAction*> items = form->plotMenu->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->text(), QStringLiteral("Анализ по узлам…"));
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_EQ(items[1]->text(), QStringLiteral("Сохранить график…"));
    EXPECT_TRUE(items[1]->isEnabled());
    form->plotMenu->hide();

    // After a run the plot itself takes the click, and the analysis is on offer.
    form->Button2->click();
    QContextMenuEvent again(QContextMenuEvent::Mouse, QPoint(100, 100),
                            form->Image1->mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(form->Image1, &again);
    ASSERT_TRUE(form->plotMenu->isVisible());
    EXPECT_TRUE(form->plotMenu->actions()[0]->isEnabled());
    form->plotMenu->hide();
}

TEST_F(NodeAnalysisWindow, ShowsTheRunOfTheListBoxAndChangesNothing) {
    form->Button2->click();
    const Shown before = shown();
    ASSERT_EQ(before.lines.size(), 22);

    withAnalysis([&](TNodeAnalysisForm& window) {
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Анализ соотношения масштабов по узлам"));
        EXPECT_EQ(window.CountValue->text(), QStringLiteral("16"));
        // The mean is the coefficient of the list box to its four decimals.
        EXPECT_TRUE(window.MeanValue->text().startsWith(before.lines[18]))
            << window.MeanValue->text().toStdString() << " vs " << before.lines[18].toStdString();
        EXPECT_TRUE(window.SdValue->text().startsWith(before.lines[21].left(5)));
        EXPECT_EQ(window.OutlierList->rowCount(), 0);
        EXPECT_TRUE(window.OutlierHeading->text().startsWith(QStringLiteral("Выбросов нет")));

        // Every cell, hovered, names its node and the ratio that the list box shows for
        // it (the ratios are listed row by row over columns 1 to 4).
        for (int row = 1; row <= 4; ++row) {
            for (int column = 1; column <= 4; ++column) {
                const QRect cell = window.NodeMap->cellRect(column, row);
                ASSERT_FALSE(cell.isEmpty());
                QMouseEvent move(QEvent::MouseMove, cell.center(),
                                 window.NodeMap->mapToGlobal(cell.center()), Qt::NoButton,
                                 Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(window.NodeMap, &move);
                const QString text = window.InfoLabel->text();
                const QString listed = before.lines[(row - 1) * 4 + (column - 1)];
                EXPECT_TRUE(text.startsWith(QStringLiteral("Столбец %1, строка %2: отношение %3")
                                                .arg(column)
                                                .arg(row)
                                                .arg(listed)))
                    << text.toStdString();
                EXPECT_TRUE(text.contains(QStringLiteral(" СКО")));
            }
        }
        // A click keeps the node when the pointer leaves the map.
        const QRect chosen = window.NodeMap->cellRect(3, 2);
        QTest::mouseClick(window.NodeMap, Qt::LeftButton, {}, chosen.center());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(window.NodeMap, &leave);
        EXPECT_TRUE(window.InfoLabel->text().startsWith(QStringLiteral("Столбец 3, строка 2:")));

        // Cells above the mean are red, below it blue, in the arrangement of the nodes.
        const QImage map = window.NodeMap->picture();
        const double mean = window.analysis().mean;
        for (const NodeValue& node : window.analysis().nodes) {
            const QRect cell = window.NodeMap->cellRect(node.column, node.row);
            // Off the centre, clear of the ratio written in the cell.
            const QColor c = map.pixelColor(cell.left() + 4, cell.top() + 4);
            if (node.ratio > mean) {
                EXPECT_GT(c.red(), c.blue()) << node.column << "," << node.row;
            } else if (node.ratio < mean) {
                EXPECT_GT(c.blue(), c.red()) << node.column << "," << node.row;
            }
        }

        // The map and the numbers into files.
        host.answerFile(path(QStringLiteral("map.png")));
        window.SaveMapButton->click();
        host.answerFile(path(QStringLiteral("nodes.csv")));
        window.SaveCsvButton->click();
    });

    const QImage saved(path(QStringLiteral("map.png")));
    EXPECT_FALSE(saved.isNull());
    EXPECT_GT(saved.width(), 200);
    QFile csv(path(QStringLiteral("nodes.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList rows =
        QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 17);
    for (int k = 0; k < 16; ++k) {
        const QStringList f = rows[k + 1].split(QLatin1Char(','));
        ASSERT_EQ(f.size(), 5);
        EXPECT_EQ(QString::number(f[2].toDouble(), 'f', 4), before.lines[k]);
    }

    // Nothing of the calibration window changed: lines, fields, coefficient, plot.
    EXPECT_TRUE(shown() == before);
    EXPECT_TRUE(form->nodeAnalysisAction->isEnabled());
}

TEST_F(NodeAnalysisWindow, FieldWithAMovedPointListsItsNeighboursAsOutliers) {
    useExampleWithMovedPoint(2, 3);
    form->Button2->click();
    ASSERT_TRUE(host.records().empty());
    const Shown before = shown();

    withAnalysis([&](TNodeAnalysisForm& window) {
        std::set<std::pair<int, int>> listed;
        ASSERT_EQ(window.OutlierList->rowCount(), 4);
        for (int r = 0; r < 4; ++r) {
            const int column = window.OutlierList->item(r, 0)->text().toInt();
            const int row = window.OutlierList->item(r, 1)->text().toInt();
            listed.insert({column, row});
            // The ratio is the one the list box shows for that node.
            EXPECT_EQ(window.OutlierList->item(r, 2)->text(),
                      before.lines[(row - 1) * 4 + (column - 1)]);
        }
        EXPECT_EQ(listed, (std::set<std::pair<int, int>>{{1, 3}, {3, 3}, {2, 2}, {2, 4}}));
        EXPECT_TRUE(window.OutlierHeading->text().endsWith(QStringLiteral(": 4")));

        // The outliers carry a black frame, the others do not.
        const QImage map = window.NodeMap->picture();
        for (const NodeValue& node : window.analysis().nodes) {
            const QRect cell = window.NodeMap->cellRect(node.column, node.row);
            const bool framed = map.pixelColor(cell.left() + 1, cell.center().y()) == Qt::black;
            EXPECT_EQ(framed, listed.count({node.column, node.row}) == 1)
                << node.column << "," << node.row;
        }
        // Choosing an outlier in the list chooses it on the map.
        window.OutlierList->setCurrentCell(1, 0);
        ASSERT_NE(window.NodeMap->selected(), nullptr);
        EXPECT_TRUE(window.NodeMap->selected()->outlier);
        EXPECT_TRUE(window.InfoLabel->text().endsWith(QStringLiteral("— выброс")));
    });
    EXPECT_TRUE(shown() == before);
}

TEST_F(NodeAnalysisWindow, PlotIsSavedAsItIsShownAndAnExistingFileIsAskedAbout) {
    form->Button2->click();
    const Shown before = shown();
    const QString file = path(QStringLiteral("plot.png"));

    host.answerFile(file);
    form->savePlotAction->trigger();
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].filter, QStringLiteral("Рисунки PNG|*.png|Все файлы|*.*"));
    EXPECT_FALSE(host.records()[0].openDialog);
    const QImage saved(file);
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32),
              form->Image1->Picture().convertToFormat(QImage::Format_RGB32));

    // The file exists now: "No" keeps it as it is, "Yes" replaces it.
    WriteTextLines(file, {QStringLiteral("keep")});
    host.clearRecords();
    host.answerFile(file);
    host.answerNo();
    form->savePlotAction->trigger();
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[1].text, QStringLiteral("Перезаписать существующий файл?"));
    EXPECT_EQ(host.records()[1].caption, QStringLiteral("Предупреждение"));
    EXPECT_EQ(ReadTextLines(file), QStringList{QStringLiteral("keep")});
    host.answerFile(file);
    host.answerYes();
    form->savePlotAction->trigger();
    EXPECT_FALSE(QImage(file).isNull());

    // A folder that does not exist: the message, and nothing else happens.
    host.clearRecords();
    host.answerFile(path(QStringLiteral("no/such/folder/plot.png")));
    host.answerOk();
    form->savePlotAction->trigger();
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[1].text, QStringLiteral("Ошибка записи файла!"));
    EXPECT_EQ(host.records()[1].caption, QStringLiteral("Ошибка!"));

    // A cancelled dialog writes nothing.
    host.answerCancel();
    form->savePlotAction->trigger();
    EXPECT_TRUE(shown() == before);
}

} // namespace
