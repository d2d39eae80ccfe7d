// The calibration window for cameras, opened from the calibration window's menus on the
// offscreen platform, on renders of a board turned every way through a known lens, with the
// scripted dialog host: photographs added, searched and fitted; one left out and the
// numbers changing, taken back and the numbers as they were; a photograph without the
// board, and a board typed wrong, saying why; the searches stopped; a photograph shown
// with its targets and residuals; files dropped on the window; the table, the camera file
// and the YAML written byte for byte as vrma-calib writes them for the same photographs;
// the report of the camera.
#include "app/CameraWindow.h"
#include "app/Alfa_form.h"
#include "app/BoardForm.h"
#include "app/MeasureWindow.h"
#include "batch/CalibProcess.h"
#include "data/CameraMessages.h"
#include "data/Messages.h"
#include "data/TextFile.h"
#include "drawing/FieldSheet.h"
#include "editor/Edit.h"
#include "report/PdfText.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"
#include "support/ScriptedDialogHost.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

namespace vrma {
namespace {

using test::DialogRecord;

QByteArray Bytes(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

// Eight photographs of a 9 x 6 chessboard, 800 x 600, through a barrel lens with the
// principal point off the centre, turned 0, 90, 180, 270, ... degrees, and a grey
// photograph of the same size in third place. Rendered once for all the tests.
class CameraWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        photos = new QStringList(test::WriteLensSet(folder->path()));
    }
    static void TearDownTestSuite() {
        delete folder;
        delete photos;
    }

    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        form = CreateMainWindow();
    }
    // The camera file's editor windows that a save opened go with the window, as they go
    // when the program ends.
    void TearDown() override {
        form.reset();
        DestroyEditorWindows();
    }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    // The window, from "Файл", with the board typed.
    TCameraForm& open(int columns = 9, int rows = 6) {
        form->cameraAction->trigger();
        TCameraForm* window = form->CameraForm;
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        window->BoardForm->KindBox->setCurrentIndex(0);
        window->BoardForm->ColumnsEdit->setText(QString::number(columns));
        window->BoardForm->RowsEdit->setText(QString::number(rows));
        window->BoardForm->PitchEdit->setText(QStringLiteral("20"));
        return *window;
    }

    static void waitIdle(TCameraForm& window) {
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return !window.searching() && !window.fitting(); }, 120000));
    }

    // "Добавить снимки…" with the files chosen, then the wait for the camera.
    void add(TCameraForm& window, const QStringList& files) {
        host.answerFiles(files);
        window.AddButton->click();
        waitIdle(window);
    }

    static QString cell(const TCameraForm& window, int row, int column) {
        const QTableWidgetItem* item = window.PhotoList->item(row, column);
        return item ? item->text() : QStringLiteral("(none)");
    }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
    static inline QTemporaryDir* folder = nullptr;
    static inline QStringList* photos = nullptr;
};

TEST_F(CameraWindow, FindsFitsLeavesOutAndTakesBack) {
    TCameraForm& window = open();
    // Both menus open the one window.
    form->cameraCountAction->trigger();
    EXPECT_EQ(form->CameraForm, &window);
    EXPECT_FALSE(window.SaveButton->isEnabled());

    add(window, *photos);
    const auto dialogs = host.records(DialogRecord::Kind::FileDialog);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(dialogs[0].openDialog);
    EXPECT_TRUE(dialogs[0].multiSelect);
    ASSERT_EQ(window.photos().size(), 9u);
    ASSERT_EQ(window.PhotoList->rowCount(), 9);
    ASSERT_TRUE(window.calibration().has_value()) << window.fitFailure().toStdString();
    const CameraCalibration first = *window.calibration();
    EXPECT_EQ(first.used, 8);
    EXPECT_NEAR(first.ratio, 1.004, 5e-4);
    EXPECT_EQ(window.ProgressBar1->value(), 100);
    EXPECT_FALSE(window.CancelButton->isEnabled());
    EXPECT_TRUE(window.SaveButton->isEnabled());
    EXPECT_TRUE(window.YamlButton->isEnabled());
    EXPECT_TRUE(window.ReportButton->isEnabled());

    // The list: the turn, the targets, the RMS; a check box for each photograph found.
    const char* const turns[] = {"0°", "90°", "—", "180°", "270°", "0°", "90°", "180°", "270°"};
    for (int row = 0; row < 9; ++row) {
        SCOPED_TRACE(row);
        const bool found = row != 2;
        EXPECT_EQ(cell(window, row, TCameraForm::NameColumn), QFileInfo((*photos)[row]).fileName());
        EXPECT_EQ(cell(window, row, TCameraForm::TurnColumn), QString::fromUtf8(turns[row]));
        EXPECT_EQ(cell(window, row, TCameraForm::TargetsColumn),
                  found ? QStringLiteral("54") : QString());
        const QTableWidgetItem* name = window.PhotoList->item(row, TCameraForm::NameColumn);
        EXPECT_EQ(name->data(Qt::CheckStateRole).isValid(), found);
        EXPECT_FALSE(name->icon().isNull()); // the thumbnail
        if (found) {
            EXPECT_EQ(cell(window, row, TCameraForm::ResultColumn), QStringLiteral("в калибровке"));
            EXPECT_EQ(cell(window, row, TCameraForm::RmsColumn),
                      QString::number(*first.photos[size_t(row)].rmsPx, 'f', 3));
            EXPECT_LT(*first.photos[size_t(row)].rmsPx, 0.1);
        }
    }
    // The photograph without the board says so, and why.
    EXPECT_TRUE(cell(window, 2, TCameraForm::ResultColumn)
                    .startsWith(QStringLiteral("поле не найдено — ")));
    EXPECT_GT(cell(window, 2, TCameraForm::ResultColumn).size(), 30);

    // The results: every parameter the model frees with its standard error, fy/fx, the RMS,
    // the verdict. The model is chosen from the photographs: the lens has no tangential
    // terms, so the radial model, p1 and p2 held at zero.
    EXPECT_EQ(window.ModelBox->currentText(), QStringLiteral("авто"));
    EXPECT_EQ(first.selection, CameraSelection::RadialOnly());
    ASSERT_EQ(window.ParameterValues.size(), 12u);
    for (size_t k = 0; k < window.ParameterValues.size(); ++k) {
        const QLabel* value = window.ParameterValues[k];
        EXPECT_EQ(value->isVisibleTo(&window), k < 9) << k;
        EXPECT_EQ(value->text().contains(QStringLiteral(" ± ")),
                  k < 9 && first.selection.Frees(kPinholeParameters[k]))
            << value->text().toStdString();
    }
    EXPECT_TRUE(window.ParameterValues[0]->text().startsWith(
        QString::number(first.camera.fx(), 'f', 2) + QStringLiteral(" ± ")));
    EXPECT_EQ(window.RatioValue->text(), QString::number(first.ratio, 'f', 6) +
                                             QStringLiteral(" ± ") +
                                             QString::number(first.ratioSe, 'f', 6));
    EXPECT_TRUE(window.RmsValue->text().endsWith(QStringLiteral("по 432 мишеням")));
    const QString verdict = window.VerdictLabel->text();
    EXPECT_TRUE(verdict.contains(QStringLiteral("В калибровке 8 снимков — это мало")))
        << verdict.toStdString();
    EXPECT_TRUE(verdict.contains(
        QStringLiteral("Модель камеры выбрана по снимкам: радиальная дисторсия (k1, k2, k3).")));
    EXPECT_TRUE(verdict.contains(QStringLiteral("Не взяты в калибровку (1): grey.png — поле не "
                                                "найдено")))
        << verdict.toStdString();
    // The chart has a column a photograph; the coverage view the targets of those found.
    EXPECT_EQ(window.RmsChart->layout().columns.size(), 9u);
    // Beside the coverage: the projection's uncertainty of the camera found, and the
    // verdict ends with its conclusion (eight photographs are too few to trust).
    EXPECT_EQ(window.Views->tabText(window.Views->indexOf(window.UncertaintyView)),
              QStringLiteral("Неопределённость"));
    EXPECT_TRUE(window.UncertaintyView->showing());
    EXPECT_TRUE(verdict.endsWith(QStringLiteral("Итог: камере доверять нельзя, пока не устранено "
                                                "сказанное выше.")))
        << verdict.toStdString();
    // The calibration window took the camera for its field check.
    ASSERT_TRUE(form->calibratedCamera.has_value());
    EXPECT_EQ(form->calibratedCamera->fx(), first.camera.fx());

    // Photograph 1 left out with its check box: the camera is fitted again without it.
    QSignalSpy fits(&window, &TCameraForm::fitFinished);
    window.PhotoList->item(0, TCameraForm::NameColumn)->setCheckState(Qt::Unchecked);
    waitIdle(window);
    EXPECT_EQ(fits.size(), 1);
    ASSERT_TRUE(window.calibration().has_value());
    const CameraCalibration without = *window.calibration();
    EXPECT_EQ(without.used, 7);
    EXPECT_EQ(without.photos[0].use, PhotoUse::LeftOutByUser);
    EXPECT_NE(without.ratio, first.ratio);
    EXPECT_NE(without.camera.fx(), first.camera.fx());
    EXPECT_TRUE(window.photos()[0].leftOut);
    EXPECT_EQ(cell(window, 0, TCameraForm::ResultColumn), QStringLiteral("исключён вами"));
    // Its RMS under the camera of the others is still shown.
    EXPECT_EQ(cell(window, 0, TCameraForm::RmsColumn),
              QString::number(*without.photos[0].rmsPx, 'f', 3));
    EXPECT_TRUE(window.RmsValue->text().endsWith(QStringLiteral("по 378 мишеням")));
    EXPECT_TRUE(window.VerdictLabel->text().contains(QStringLiteral("p1.png — исключён вами")));
    EXPECT_EQ(form->calibratedCamera->fx(), without.camera.fx());

    // Taken back: the same camera as before, to the last digit.
    window.PhotoList->item(0, TCameraForm::NameColumn)->setCheckState(Qt::Checked);
    waitIdle(window);
    ASSERT_TRUE(window.calibration().has_value());
    EXPECT_EQ(window.calibration()->used, 8);
    EXPECT_EQ(window.calibration()->ratio, first.ratio);
    EXPECT_EQ(window.calibration()->camera.values, first.camera.values);
    EXPECT_EQ(cell(window, 0, TCameraForm::ResultColumn), QStringLiteral("в калибровке"));

    // A model chosen in the list is fitted as asked: OpenCV's frees every term, and the
    // verdict no longer says the model was chosen.
    window.ModelBox->setCurrentIndex(
        window.ModelBox->findText(QStringLiteral("как в OpenCV (k1, k2, p1, p2, k3)")));
    waitIdle(window);
    ASSERT_TRUE(window.calibration().has_value());
    EXPECT_EQ(window.calibration()->selection, CameraSelection::OpenCvDefault());
    for (size_t k = 0; k < 9; ++k)
        EXPECT_TRUE(window.ParameterValues[k]->text().contains(QStringLiteral(" ± ")))
            << window.ParameterValues[k]->text().toStdString();
    EXPECT_FALSE(window.VerdictLabel->text().contains(QStringLiteral("выбрана по снимкам")));

    // The rational model on a lens too narrow to tell its denominator: k4, k5, k6 held and
    // named, the nine shown.
    window.ModelBox->setCurrentIndex(
        window.ModelBox->findText(QStringLiteral("рациональная (k1–k6, p1, p2)")));
    waitIdle(window);
    ASSERT_TRUE(window.calibration().has_value());
    EXPECT_EQ(window.calibration()->unfounded, CameraSelection::RationalTerms());
    for (size_t k = 0; k < window.ParameterValues.size(); ++k)
        EXPECT_EQ(window.ParameterValues[k]->isVisibleTo(&window), k < 9) << k;
    EXPECT_TRUE(window.VerdictLabel->text().contains(
        QStringLiteral("коэффициенты k4, k5, k6 не уточнялись")))
        << window.VerdictLabel->text().toStdString();
    EXPECT_TRUE(host.records(DialogRecord::Kind::MessageBox).empty());
}

// A wide lens of the rational model: its twelve parameters shown, each with its standard
// error.
TEST_F(CameraWindow, RationalLensShowsItsTwelveParameters) {
    const QStringList wide =
        test::WriteScenes(temp.path(), test::CornerScenes(test::WideRationalLens(), 12, 5));
    TCameraForm& window = open();
    window.ModelBox->setCurrentIndex(
        window.ModelBox->findText(QStringLiteral("рациональная (k1–k6, p1, p2)")));
    add(window, wide);
    ASSERT_TRUE(window.calibration().has_value()) << window.fitFailure().toStdString();
    ASSERT_EQ(window.calibration()->selection, CameraSelection::Rational());
    for (const QLabel* value : window.ParameterValues) {
        EXPECT_TRUE(value->isVisibleTo(&window));
        EXPECT_TRUE(value->text().contains(QStringLiteral(" ± "))) << value->text().toStdString();
    }
    EXPECT_TRUE(window.ParameterValues[11]->text().startsWith(
        QString::number(window.calibration()->camera[CameraParameter::K6], 'f', 6)));
}

// A screen of 1366 x 768 holds the window: as opened, and at the least it can be.
TEST_F(CameraWindow, FitsAScreenOf1366By768) {
    TCameraForm& window = open();
    const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
    for (const QSize& size : {least, window.size()}) {
        EXPECT_LE(size.width(), 1366);
        EXPECT_LE(size.height(), 768 - 60); // less the title bar and a task bar
    }
}

TEST_F(CameraWindow, ABoardTypedWrongSaysWhatWasSeenAndIsSearchedAgainWhenCorrected) {
    TCameraForm& window = open(10, 7);
    const QStringList three = photos->mid(0, 4); // p1, p2, grey, p3
    add(window, three);
    ASSERT_EQ(window.photos().size(), 4u);
    EXPECT_FALSE(window.calibration().has_value());
    for (int row : {0, 1, 3}) {
        const QString result = cell(window, row, TCameraForm::ResultColumn);
        EXPECT_TRUE(result.contains(QStringLiteral("9 × 6"))) << result.toStdString();
    }
    // No camera: why, in red, and nothing to save.
    EXPECT_TRUE(window.fitFailure().contains(QStringLiteral("не меньше трёх")))
        << window.fitFailure().toStdString();
    EXPECT_TRUE(window.VerdictLabel->text().startsWith(QStringLiteral("Камера не откалибрована.")));
    EXPECT_TRUE(
        window.VerdictLabel->text().contains(QStringLiteral("Поле найдено на 0 снимках из 4.")));
    EXPECT_FALSE(window.SaveButton->isEnabled());
    EXPECT_EQ(window.ParameterValues[0]->text(), QStringLiteral("—"));

    // The board corrected: the photographs in the set are searched again for it.
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("9"));
    window.BoardForm->RowsEdit->setText(QStringLiteral("6"));
    add(window, {photos->at(4)});
    ASSERT_EQ(window.photos().size(), 5u);
    ASSERT_TRUE(window.calibration().has_value()) << window.fitFailure().toStdString();
    EXPECT_EQ(window.calibration()->used, 4);
    EXPECT_EQ(cell(window, 0, TCameraForm::TargetsColumn), QStringLiteral("54"));
    // The board found is the one the other windows start from.
    ASSERT_TRUE(form->lastBoard.board().has_value());
    EXPECT_EQ(form->lastBoard.board()->columns, 9);
}

// A copy of a photograph with the same pixels but other bytes (a text chunk of its own):
// another photograph to the window, which counts the same bytes once.
bool DistinctCopy(const QString& from, const QString& to, int k) {
    QImage image(from);
    image.setText(QStringLiteral("copy"), QString::number(k));
    return !image.isNull() && image.save(to, "PNG");
}

TEST_F(CameraWindow, CancellingStopsTheSearchesAndLeavesOutThoseNotSearched) {
    // Twenty-four copies of one photograph: a search a processor at a time, the rest still
    // waiting when "Отмена" is pressed.
    QStringList copies;
    for (int k = 0; k < 24; ++k) {
        copies << path(QStringLiteral("copy%1.png").arg(k, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(DistinctCopy(photos->at(0), copies.back(), k));
    }
    TCameraForm& window = open();
    window.AddPhotos(copies);
    EXPECT_TRUE(window.searching());
    EXPECT_TRUE(window.CancelButton->isEnabled());
    QSignalSpy finished(&window, &TCameraForm::searchFinished);
    window.CancelButton->click();
    EXPECT_EQ(window.StatusLabel->text(), QStringLiteral("Поиск останавливается…"));
    ASSERT_TRUE(finished.wait(60000));
    waitIdle(window);
    // Those not searched left the list; those searched stay, found.
    const size_t kept = window.photos().size();
    EXPECT_LT(kept, 24u);
    EXPECT_EQ(window.PhotoList->rowCount(), int(kept));
    for (const auto& photo : window.photos()) {
        EXPECT_EQ(photo.state, TCameraForm::Photo::State::Done);
        EXPECT_TRUE(photo.detection.found);
    }
    EXPECT_TRUE(window.StatusLabel->text().contains(
        QStringLiteral("убранных из списка непросмотренными: %1").arg(24 - kept)))
        << window.StatusLabel->text().toStdString();
    EXPECT_FALSE(window.CancelButton->isEnabled());

    // Added again, all are searched (those in the list are not taken twice).
    window.AddPhotos(copies);
    waitIdle(window);
    EXPECT_EQ(window.photos().size(), 24u);

    // A window closed during a search stops it at once.
    QStringList more;
    for (int k = 0; k < 16; ++k) {
        more << path(QStringLiteral("more%1.png").arg(k));
        ASSERT_TRUE(DistinctCopy(photos->at(1), more.back(), k));
    }
    window.AddPhotos(more);
    ASSERT_TRUE(window.searching());
    window.close();
    EXPECT_FALSE(window.searching());
    EXPECT_LT(window.photos().size(), 40u);
    EXPECT_EQ(window.PhotoList->rowCount(), int(window.photos().size()));
    waitIdle(window);
}

TEST_F(CameraWindow, SelectingAPhotographShowsItWithItsTargetsAndResiduals) {
    TCameraForm& window = open();
    add(window, *photos);
    QSignalSpy shown(&window, &TCameraForm::photoShown);
    window.PhotoList->setCurrentCell(1, TCameraForm::NameColumn);
    ASSERT_TRUE(shown.wait(30000));
    EXPECT_EQ(window.shownPhoto(), 1);
    EXPECT_EQ(window.Views->currentIndex(), 1);
    // A line a column of the board, a mark and a number a target, and the residuals.
    EXPECT_EQ(window.PhotoView->TargetItemCount(), 9 + 2 * 54 + 1);
    const QString label = window.PhotoLabel->text();
    EXPECT_TRUE(label.startsWith(QStringLiteral("p2.png: поле повёрнуто на 90°, мишеней 54, СКО ")))
        << label.toStdString();
    EXPECT_TRUE(label.contains(QStringLiteral("невязки, увеличенные в")));

    // "Без дисторсии": the photograph undistorted, its targets without their residuals; and
    // back.
    ASSERT_TRUE(window.UndistortBox->isEnabled());
    window.UndistortBox->setChecked(true);
    EXPECT_EQ(window.PhotoView->TargetItemCount(), 9 + 2 * 54);
    EXPECT_TRUE(window.PhotoLabel->text().contains(QStringLiteral("Снимок показан без дисторсии")));
    window.UndistortBox->setChecked(false);
    EXPECT_EQ(window.PhotoView->TargetItemCount(), 9 + 2 * 54 + 1);
    EXPECT_EQ(window.PhotoLabel->text(), label);

    // The grey photograph: no targets, and why.
    window.PhotoList->setCurrentCell(2, TCameraForm::NameColumn);
    ASSERT_TRUE(shown.wait(30000));
    EXPECT_EQ(window.PhotoView->TargetItemCount(), 0);
    EXPECT_TRUE(window.PhotoLabel->text().startsWith(QStringLiteral("grey.png: поле не найдено.")));

    // A click on a photograph's column of the chart selects it.
    window.Views->setCurrentIndex(0);
    window.show();
    const QRectF column = window.RmsChart->layout().columns.at(4);
    QTest::mouseClick(window.RmsChart, Qt::LeftButton, {},
                      QPoint(int(column.center().x()), int(column.bottom() - 2)));
    ASSERT_TRUE(shown.wait(30000));
    EXPECT_EQ(window.shownPhoto(), 4);
    EXPECT_EQ(window.PhotoList->currentRow(), 4);

    // "Удалить" takes the selected photographs out, and the camera is fitted again.
    window.PhotoList->selectRow(4);
    window.RemoveButton->click();
    waitIdle(window);
    EXPECT_EQ(window.photos().size(), 8u);
    for (const auto& photo : window.photos())
        EXPECT_NE(photo.file, photos->at(4));
    // The view follows the row that is current now.
    EXPECT_EQ(window.shownPhoto(), window.PhotoList->currentRow());
    ASSERT_TRUE(window.calibration().has_value());
    EXPECT_EQ(window.calibration()->used, 7);
}

TEST_F(CameraWindow, FilesDroppedOnTheWindowAreAdded) {
    TCameraForm& window = open();
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& file : photos->mid(0, 5))
        urls << QUrl::fromLocalFile(file);
    urls << QUrl::fromLocalFile(photos->at(0)); // twice: taken once
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    waitIdle(window);
    ASSERT_EQ(window.photos().size(), 5u);
    EXPECT_EQ(window.photos()[4].file, photos->at(4));
    ASSERT_TRUE(window.calibration().has_value());
    EXPECT_EQ(window.calibration()->used, 4);

    // Text dropped is no photograph.
    QMimeData text;
    text.setText(QStringLiteral("p1.png"));
    QDragEnterEvent other(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    other.setAccepted(false);
    QCoreApplication::sendEvent(&window, &other);
    EXPECT_FALSE(other.isAccepted());
}

// A photograph under another name (a copy: the same bytes) counts once, as vrma-calib
// counts it: the camera's standard errors are those of the set without it, and the user
// is told which it was.
TEST_F(CameraWindow, APhotographGivenAgainUnderAnotherNameCountsOnceAndIsTold) {
    TCameraForm& window = open();
    add(window, photos->mid(0, 5));
    ASSERT_TRUE(window.calibration().has_value());
    const CameraCalibration once = *window.calibration();
    const QString copy = path(QStringLiteral("again.png"));
    ASSERT_TRUE(QFile::copy(photos->at(1), copy));
    host.clearRecords();
    host.answerOk();
    window.AddPhotos({copy, photos->at(3)});
    waitIdle(window);
    const auto told = host.records(DialogRecord::Kind::MessageBox);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].text, messages::PhotosGivenTwice(
                                {QStringLiteral("again.png: ") +
                                 messages::SamePhotograph(QFileInfo(photos->at(1)).fileName())}));
    ASSERT_EQ(window.photos().size(), 5u);
    ASSERT_TRUE(window.calibration().has_value());
    EXPECT_EQ(window.calibration()->used, once.used);
    for (CameraParameter p : kCameraParameters)
        EXPECT_EQ(window.calibration()->covariance.StandardError(p),
                  once.covariance.StandardError(p));
}

TEST_F(CameraWindow, SavesTheTableTheCameraFileAndTheYamlAsVrmaCalibDoes) {
    TCameraForm& window = open();
    add(window, *photos);
    ASSERT_TRUE(window.calibration().has_value());
    const QString table = path(QStringLiteral("cam.tab"));
    const QString chosen = path(QStringLiteral("cam.cam"));
    const QString camera = path(QStringLiteral("camT.cam"));
    const QString yaml = path(QStringLiteral("cam.yml"));

    // The calibration window's dialogs and questions, then the data editor; then the lens
    // beside the camera file and the photographs' orientations in a folder asked, each asked.
    const QString poses = path(QStringLiteral("poses"));
    ASSERT_TRUE(QDir().mkpath(poses));
    host.clearRecords();
    host.answerFile(table);
    host.answerYes();
    host.answerFile(chosen);
    host.answerModal();
    host.answerYes();
    host.answerYes();
    host.answerFolder(poses);
    window.SaveButton->click();
    const auto& records = host.records();
    ASSERT_EQ(records.size(), 7u);
    const QString lens = path(QStringLiteral("camT.yml"));
    EXPECT_EQ(records[4].text, messages::SaveLensYamlQuestion(lens));
    EXPECT_EQ(records[5].text, messages::SaveOrientationsQuestion(8));
    EXPECT_EQ(records[6].kind, DialogRecord::Kind::Folder);
    EXPECT_EQ(records[6].initialDir, QDir(temp.path()).absolutePath());
    EXPECT_EQ(records[6].ownerName, QStringLiteral("CameraForm"));
    EXPECT_EQ(records[0].filter, QStringLiteral("Table Files|*.tab|All Files|*.*"));
    EXPECT_EQ(records[0].fileName, QStringLiteral("Table1"));
    EXPECT_EQ(records[1].text, messages::TableSavedMakeCamera());
    EXPECT_EQ(records[1].ownerName, QStringLiteral("CameraForm"));
    EXPECT_EQ(records[2].filter, QStringLiteral("Camera Files|*.cam|All Files|*.*"));
    EXPECT_EQ(records[3].kind, DialogRecord::Kind::Modal);
    EXPECT_EQ(records[3].objectName, QStringLiteral("RedForm"));
    // The table holds fy/fx; the camera file the focal length and the principal point.
    EXPECT_EQ(ReadTextLines(table).value(0), QString::number(window.calibration()->ratio, 'f', 4));
    EXPECT_EQ(ReadTextLines(table).value(1),
              QStringLiteral("0 0 800 600 X 0.0 1.0 - Y 0.0 1.0 - ;"));
    EXPECT_EQ(ReadTextLines(camera).value(3),
              QString::number(window.calibration()->camera.fx(), 'f', 4) +
                  QStringLiteral(" ; Фокусное расстояние"));
    EXPECT_EQ(form->cameraFileName, camera);

    host.answerFile(yaml);
    window.YamlButton->click();
    EXPECT_EQ(Bytes(lens), Bytes(yaml));
    QStringList orientations;
    for (const QString& photo : *photos)
        if (!photo.endsWith(QStringLiteral("grey.png")))
            orientations << QDir(poses).filePath(QFileInfo(photo).completeBaseName() +
                                                 QStringLiteral(".ort"));
    std::vector<QByteArray> windowOrientations;
    for (const QString& file : orientations)
        windowOrientations.push_back(Bytes(file));
    EXPECT_FALSE(QFile::exists(QDir(poses).filePath(QStringLiteral("grey.ort"))));
    EXPECT_TRUE(QDir(temp.path()).entryList({QStringLiteral("*.ort")}).isEmpty());
    const QByteArray windowTable = Bytes(table);
    const QByteArray windowCamera = Bytes(camera);
    const QByteArray windowYaml = Bytes(yaml);
    ASSERT_TRUE(windowYaml.startsWith("%YAML")) << windowYaml.left(40).toStdString();
    for (const QString& file : QStringList{table, camera, yaml} + orientations)
        ASSERT_TRUE(QFile::remove(file));

    // vrma-calib on the same photographs, in the same order, writes the same bytes.
    QStringList arguments;
    for (const QString& photo : *photos)
        arguments << QStringLiteral("--photo") << photo;
    arguments << QStringLiteral("--target") << QStringLiteral("chessboard")
              << QStringLiteral("--columns") << QStringLiteral("9") << QStringLiteral("--rows")
              << QStringLiteral("6") << QStringLiteral("--pitch") << QStringLiteral("20")
              << QStringLiteral("--table") << table << QStringLiteral("--camera") << camera
              << QStringLiteral("--camera-yaml") << yaml << QStringLiteral("--orientation-folder")
              << poses;
    const test::CalibResult run = test::RunCalib(arguments);
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(Bytes(table), windowTable);
    EXPECT_EQ(Bytes(camera), windowCamera);
    EXPECT_EQ(Bytes(yaml), windowYaml);
    for (size_t k = 0; k < windowOrientations.size(); ++k)
        EXPECT_EQ(Bytes(orientations[qsizetype(k)]), windowOrientations[k]) << k;

    // A photograph is never written over.
    host.clearRecords();
    host.answerFile(photos->at(0));
    host.answerOk();
    EXPECT_FALSE(window.YamlButtonClick());
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_TRUE(host.records()[1].text.contains(QStringLiteral("это снимок")));
    EXPECT_FALSE(Bytes(photos->at(0)).startsWith("%YAML"));
}

TEST_F(CameraWindow, CancellingTheOrientationFolderWritesNoOrientationFile) {
    TCameraForm& window = open();
    add(window, *photos);
    ASSERT_TRUE(window.calibration().has_value());
    host.clearRecords();
    host.answerFile(path(QStringLiteral("c.tab")));
    host.answerYes();
    host.answerFile(path(QStringLiteral("c.cam")));
    host.answerModal();
    host.answerNo(); // no lens
    host.answerYes();
    host.answerCancel();
    window.SaveButton->click();
    ASSERT_EQ(host.records().size(), 7u);
    EXPECT_EQ(host.records().back().kind, DialogRecord::Kind::Folder);
    EXPECT_TRUE(QDir(temp.path()).entryList({QStringLiteral("*.ort")}).isEmpty());
    for (const QString& line : window.written())
        EXPECT_FALSE(line.contains(QStringLiteral("внешней геометрии"))) << line.toStdString();
}

TEST_F(CameraWindow, ReportOfTheCameraWithWhatWasWritten) {
    TCameraForm& window = open();
    add(window, *photos);
    ASSERT_TRUE(window.calibration().has_value());
    const QString table = path(QStringLiteral("r.tab"));
    host.answerFile(table);
    host.answerNo(); // no camera file
    window.SaveButton->click();
    ASSERT_EQ(window.written().size(), 1);

    const QString pdf = path(QStringLiteral("camera.pdf"));
    host.answerFile(pdf);
    ASSERT_TRUE(window.ReportButtonClick());
    EXPECT_GE(test::PdfPages(pdf), 2);
    const QString text = test::PdfText(pdf);
    for (const QString& phrase :
         {QStringLiteral("Отчёт о калибровке камеры по снимкам"),
          QStringLiteral("шахматная доска, 9 столбцов × 6 строк мишеней"),
          QStringLiteral("9, поле найдено на 8, в калибровке 8"), QStringLiteral("p8.png"),
          QStringLiteral("grey.png"), QStringLiteral("В калибровке 8 снимков — это мало"),
          QStringLiteral("СКО по снимкам"), QStringLiteral("Покрытие кадра"),
          QStringLiteral("Невязки увеличены в"),
          QStringLiteral("fx: ") + QString::number(window.calibration()->camera.fx(), 'f', 2),
          QString::number(window.calibration()->ratio, 'f', 6),
          QStringLiteral("Таблица коррекции: ") + table})
        EXPECT_TRUE(text.contains(phrase)) << phrase.toStdString();
}

TEST_F(CameraWindow, BoardFormReadsAChArUcoBoard) {
    TBoardForm& board = *open(7, 5).BoardForm;
    board.KindBox->setCurrentIndex(board.KindBox->findText(QStringLiteral("доска ChArUco")));
    EXPECT_FALSE(board.PitchYEdit->isEnabled());
    EXPECT_TRUE(board.MarkerEdit->isEnabled());
    struct Case {
        const char* marker;
        const char* dictionary;
        double side; // 0: refused
        int id;
    };
    const Case cases[] = {
        {"", "DICT_5X5_1000", 15.0, 7}, // three quarters of the 20 mm square
        {"12", "DICT_4X4_50", 12.0, 0},
        {"10", "DICT_APRILTAG_36h11", 10.0, 20},
        {"19", "DICT_5X5_1000", 0.0, 0}, // over 0.9 of the square
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.marker);
        board.MarkerEdit->setText(QString::fromLatin1(c.marker));
        board.DictionaryBox->setCurrentIndex(
            board.DictionaryBox->findText(QString::fromLatin1(c.dictionary)));
        if (c.side == 0.0)
            host.answerOk();
        const std::optional<Board> read = board.CheckedBoard(&board);
        if (c.side == 0.0) {
            EXPECT_FALSE(read.has_value());
            EXPECT_EQ(host.records().back().text, BoardFaultMessage(BoardFault::Marker));
            continue;
        }
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->kind, TargetKind::Charuco);
        EXPECT_EQ(read->columns, 7);
        EXPECT_EQ(read->marker, c.side);
        EXPECT_EQ(read->dictionary, c.id);
    }
}

} // namespace
} // namespace vrma
