// The measuring window and the test field window of the calibration window, run on the
// offscreen platform with the scripted dialog host: a photograph of a printed field (the
// field's own PDF rendered, with pixels stretched along y by a known factor) is measured,
// saved and calibrated at once; a photograph without the grid gives its one message and
// writes nothing; a search can be stopped; the field window writes its two files; both
// windows start from the board last made or measured and check a board alike; a path
// typed into "Снимок:" is measured.
#include "app/MeasureWindow.h"
#include "app/Alfa_form.h"
#include "app/BoardForm.h"
#include "app/FieldSheetDialog.h"
#include "data/Messages.h"
#include "data/TextFile.h"
#include "drawing/FieldSheet.h"
#include "report/PdfText.h"
#include "support/ImageFiles.h"
#include "support/PhotoRenderer.h"
#include "support/ScriptedDialogHost.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace vrma {
namespace {

using test::DialogRecord;

// A photograph of the field seen straight on: the sheet rendered at dpi, its rows
// stretched by stretchY (pixels higher than wide by that factor, the coefficient the
// calibration must find), then scaled by zoom.
QImage PhotographOf(const FieldSheet& sheet, const QString& folder, int dpi, double stretchY,
                    double zoom = 1.0) {
    const QString pdf = QDir(folder).filePath(QStringLiteral("sheet.pdf"));
    WriteFileAtomically(pdf, FieldSheetPdf(sheet));
    const QString prefix = QDir(folder).filePath(QStringLiteral("sheet"));
    test::RunTool(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-gray"),
                   QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, prefix});
    QFile::remove(pdf);
    const QImage page(prefix + QStringLiteral(".png"));
    QFile::remove(prefix + QStringLiteral(".png"));
    return page.scaled(int(page.width() * zoom), int(page.height() * stretchY * zoom),
                       Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

FieldSheet Board() {
    FieldSheet sheet;
    sheet.kind = TargetKind::Chessboard;
    sheet.columns = 7;
    sheet.rows = 5;
    sheet.pitch = sheet.pitchY = 20.0;
    return sheet;
}

class MeasureWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        form = CreateMainWindow();
    }
    void TearDown() override { form.reset(); }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    // Opens the measuring window and picks the photograph in it.
    TMeasureForm& open(const QString& photo) {
        form->measureAction->trigger();
        TMeasureForm* window = form->MeasureForm;
        EXPECT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        host.answerFile(photo);
        window->PhotoButton->click();
        return *window;
    }

    // "Найти", then the wait for the search's end.
    static void find(TMeasureForm& window) {
        QSignalSpy finished(&window, &TMeasureForm::detectionFinished);
        window.FindButton->click();
        if (finished.isEmpty()) {
            ASSERT_TRUE(finished.wait(120000));
        }
        EXPECT_FALSE(window.running());
    }

    // "Найти" on a search that ends in one message box, the text given, and no targets.
    void findFailing(TMeasureForm& window, const QString& text) {
        host.clearRecords();
        host.answerOk();
        find(window);
        ASSERT_EQ(host.records().size(), 1u);
        EXPECT_EQ(host.records()[0].text, text);
        EXPECT_FALSE(window.targets().has_value());
    }

    QStringList files() const { return QDir(temp.path()).entryList(QDir::Files, QDir::Name); }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
};

TEST_F(MeasureWindow, FindsSavesAndHandsTheFilesToTheCalibration) {
    const QString photo = path(QStringLiteral("board.png"));
    const QImage picture = PhotographOf(Board(), temp.path(), 60, 1.1);
    ASSERT_TRUE(picture.save(photo));
    TMeasureForm& window = open(photo);
    EXPECT_EQ(window.PhotoEdit->text(), QStringLiteral("board.png"));
    window.BoardForm->KindBox->setCurrentIndex(0);
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("7"));
    window.BoardForm->RowsEdit->setText(QStringLiteral("5"));
    window.BoardForm->PitchEdit->setText(QStringLiteral("20"));
    EXPECT_FALSE(window.SaveButton->isEnabled());

    find(window);
    ASSERT_TRUE(window.targets().has_value());
    const DetectedTargets& targets = *window.targets();
    EXPECT_EQ(targets.points.size(), 35u);
    EXPECT_EQ(targets.imageWidth, picture.width());
    EXPECT_EQ(targets.imageHeight, picture.height());
    // The calibration's order: down the first column, then the next one to the right.
    EXPECT_LT(targets.points[0].y, targets.points[1].y);
    EXPECT_LT(targets.points[0].x, targets.points[5].x);
    // Drawn: one line per column, a mark and a number per target.
    EXPECT_EQ(window.PhotoView->TargetItemCount(), 7 + 2 * 35);
    EXPECT_EQ(window.ProgressBar1->value(), 100);
    EXPECT_TRUE(window.SaveButton->isEnabled());
    EXPECT_FALSE(window.CancelButton->isEnabled());
    EXPECT_TRUE(host.records().size() == 1u); // the open dialog only

    const QString scene = path(QStringLiteral("field_scene.crd"));
    const QString image = path(QStringLiteral("field_image.crd"));
    host.answerFile(scene);
    host.answerFile(image);
    window.SaveButton->click();
    const auto dialogs = host.records(DialogRecord::Kind::FileDialog);
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_FALSE(dialogs[1].openDialog);
    EXPECT_EQ(dialogs[1].filter, QStringLiteral("Файлы координат (*.crd)|*.crd"));
    EXPECT_EQ(ReadTextLines(scene).size(), 35);
    EXPECT_EQ(ReadTextLines(scene).value(6), QStringLiteral("20 ; 20"));
    EXPECT_EQ(ReadTextLines(image).size(), 35);

    // The calibration window took the files, the grid and the photograph's size ...
    EXPECT_EQ(form->sceneFileName, scene);
    EXPECT_EQ(form->imageFileName, image);
    EXPECT_EQ(form->Edit11->text(), QStringLiteral("field_scene.crd"));
    EXPECT_EQ(form->Edit10->text(), QStringLiteral("field_image.crd"));
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("7"));
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("5"));
    EXPECT_EQ(form->Edit6->text(), QString::number(picture.width()));
    EXPECT_EQ(form->Edit7->text(), QString::number(picture.height()));
    // ... so that the calibration runs at once and finds the stretch of the pixels.
    host.clearRecords();
    form->N4->trigger();
    EXPECT_TRUE(host.records().empty());
    EXPECT_NEAR(form->coefficient, 1.1, 0.005);
    EXPECT_FALSE(form->Edit8->text().isEmpty());
}

// The coordinate files chosen in the save dialogs are never the photograph, nor one file
// twice (by any name): the choice is refused with a message and nothing is written; the
// test field's scene file is never its PDF.
TEST_F(MeasureWindow, SavesNeverOverThePhotographOrOneFileTwice) {
    const QString photo = path(QStringLiteral("board.png"));
    ASSERT_TRUE(PhotographOf(Board(), temp.path(), 60, 1.0).save(photo));
    const QByteArray photoBytes = ReadFileBytes(photo);
    TMeasureForm& window = open(photo);
    window.BoardForm->KindBox->setCurrentIndex(0);
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("7"));
    window.BoardForm->RowsEdit->setText(QStringLiteral("5"));
    window.BoardForm->PitchEdit->setText(QStringLiteral("20"));
    find(window);
    ASSERT_TRUE(window.targets().has_value());

    host.clearRecords();
    host.answerFile(photo);
    host.answerOk();
    EXPECT_FALSE(window.SaveButtonClick());
    const auto refused = host.records(DialogRecord::Kind::MessageBox);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].text, messages::SameFileChosen(photo, QStringLiteral("снимок")));
    EXPECT_EQ(ReadFileBytes(photo), photoBytes);

    host.clearRecords();
    ASSERT_TRUE(QDir(temp.path()).mkdir(QStringLiteral("sub")));
    host.answerFile(path(QStringLiteral("s.crd")));
    host.answerFile(path(QStringLiteral("sub/../s.crd")));
    host.answerOk();
    EXPECT_FALSE(window.SaveButtonClick());
    ASSERT_EQ(host.records(DialogRecord::Kind::MessageBox).size(), 1u);
    EXPECT_TRUE(host.records(DialogRecord::Kind::MessageBox)[0].text.contains(
        QStringLiteral("— это файл координат сцены.")));
    EXPECT_EQ(files(), QStringList{QStringLiteral("board.png")});

    bool ran = false;
    host.answerModal([&](QWidget& shown) {
        auto* dialog = qobject_cast<TFieldSheetForm*>(&shown);
        if (!dialog)
            return 0;
        ran = true;
        const QString pdf = path(QStringLiteral("field.pdf"));
        host.answerFile(pdf);
        host.answerFile(pdf);
        host.answerOk();
        EXPECT_FALSE(dialog->CreateButtonClick());
        EXPECT_EQ(host.records().back().text,
                  messages::SameFileChosen(pdf, QStringLiteral("PDF тест-поля")));
        return 0;
    });
    form->testFieldAction->trigger();
    EXPECT_TRUE(ran);
    EXPECT_EQ(files(), QStringList{QStringLiteral("board.png")});
}

TEST_F(MeasureWindow, DotsInACameraPhotographGiveTheCamerasRatio) {
    // A JPEG of dots taken by a camera with fy / fx = 1.0035, blurred, noisy, unevenly lit,
    // with 25 mm between the columns and 20 mm between the rows.
    test::PhotoScene scene;
    scene.kind = TargetKind::Dots;
    scene.columns = 9;
    scene.rows = 6;
    scene.pitch = 25.0;
    scene.pitchY = 20.0;
    scene.blur = 0.8;
    scene.noise = 2.0;
    scene.lighting = 0.2;
    scene.jpegQuality = 90;
    const QString photo = path(QStringLiteral("dots.jpg"));
    test::WritePhoto(test::RenderPhoto(scene), photo);
    TMeasureForm& window = open(photo);
    window.BoardForm->KindBox->setCurrentIndex(1);
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("9"));
    window.BoardForm->RowsEdit->setText(QStringLiteral("6"));
    window.BoardForm->PitchEdit->setText(QStringLiteral("25"));
    window.BoardForm->PitchYEdit->setText(QStringLiteral("20"));
    find(window);
    ASSERT_TRUE(window.targets().has_value());
    host.answerFile(path(QStringLiteral("s.crd")));
    host.answerFile(path(QStringLiteral("i.crd")));
    ASSERT_TRUE(window.SaveButtonClick());
    EXPECT_EQ(ReadTextLines(path(QStringLiteral("s.crd"))).value(53), QStringLiteral("200 ; 100"));
    EXPECT_EQ(form->Edit6->text(), QStringLiteral("1600"));
    EXPECT_EQ(form->Edit7->text(), QStringLiteral("1200"));
    host.clearRecords();
    form->Button2->click();
    EXPECT_TRUE(host.records().empty());
    EXPECT_NEAR(form->coefficient, 2007.0 / 2000.0, 0.001);
}

TEST_F(MeasureWindow, ABoardTurnedByAQuarterIsTakenAsTheCalibrationReadsIt) {
    // The board printed 9 x 6, 25 mm between its columns and 20 between its rows,
    // photographed turned by a quarter: its columns run down the image.
    test::PhotoScene scene;
    scene.columns = 9;
    scene.rows = 6;
    scene.pitch = 25.0;
    scene.pitchY = 20.0;
    scene.roll = 90.0;
    scene.fill = 0.6;
    scene.blur = 0.8;
    const QString photo = path(QStringLiteral("turned.png"));
    test::WritePhoto(test::RenderPhoto(scene), photo);
    TMeasureForm& window = open(photo);
    window.BoardForm->KindBox->setCurrentIndex(0);
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("9"));
    window.BoardForm->RowsEdit->setText(QStringLiteral("6"));
    window.BoardForm->PitchEdit->setText(QStringLiteral("25"));
    window.BoardForm->PitchYEdit->setText(QStringLiteral("20"));
    find(window);
    ASSERT_TRUE(window.targets().has_value());
    EXPECT_TRUE(window.targets()->swapped);
    EXPECT_EQ(window.targets()->columns, 6);
    EXPECT_EQ(window.targets()->rows, 9);
    EXPECT_TRUE(window.StatusLabel->text().contains(QStringLiteral("повёрнуто на 90°")))
        << window.StatusLabel->text().toStdString();
    // Drawn as the calibration reads it: six columns.
    EXPECT_EQ(window.PhotoView->TargetItemCount(), 6 + 2 * 54);
    host.answerFile(path(QStringLiteral("s.crd")));
    host.answerFile(path(QStringLiteral("i.crd")));
    ASSERT_TRUE(window.SaveButtonClick());
    // Between the calibration's columns lie the board's rows, 20 mm apart.
    const QStringList sceneLines = ReadTextLines(path(QStringLiteral("s.crd")));
    EXPECT_EQ(sceneLines.value(1), QStringLiteral("0 ; 25"));
    EXPECT_EQ(sceneLines.value(9), QStringLiteral("20 ; 0"));
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("6"));
    EXPECT_EQ(form->Edit3->text(), QStringLiteral("9"));
    host.clearRecords();
    form->Button2->click();
    EXPECT_TRUE(host.records().empty());
    EXPECT_NEAR(form->coefficient, 2007.0 / 2000.0, 0.001);

    // One column fewer than the board has: what was seen is said.
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("8"));
    findFailing(window, messages::GridOfOtherSize(9, 6, 8, 6, true));
}

TEST_F(MeasureWindow, GridNotFoundGivesTheOneMessageAndWritesNothing) {
    QImage blank(800, 600, QImage::Format_Grayscale8);
    blank.fill(200);
    const QString photo = path(QStringLiteral("blank.png"));
    ASSERT_TRUE(blank.save(photo));
    TMeasureForm& window = open(photo);
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("7"));
    window.BoardForm->RowsEdit->setText(QStringLiteral("5"));
    host.clearRecords();
    host.answerOk();
    find(window);
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].text, messages::GridNotFound());
    EXPECT_EQ(host.records()[0].caption, QStringLiteral("Ошибка!"));
    EXPECT_FALSE(window.targets().has_value());
    EXPECT_FALSE(window.SaveButton->isEnabled());
    EXPECT_EQ(window.PhotoView->TargetItemCount(), 0);
    // The save has nothing to save: it asks nothing.
    EXPECT_FALSE(window.SaveButtonClick());
    EXPECT_EQ(host.records().size(), 1u);
    EXPECT_EQ(files(), QStringList{QStringLiteral("blank.png")});
    EXPECT_TRUE(form->sceneFileName.isEmpty());
    EXPECT_EQ(form->Edit5->text(), QStringLiteral("6"));

    // A grid asked for wrongly (dots on a chessboard) is not found either.
    const QString board = path(QStringLiteral("board.png"));
    ASSERT_TRUE(PhotographOf(Board(), temp.path(), 40, 1.0).save(board));
    host.answerFile(board);
    window.PhotoButton->click();
    window.BoardForm->KindBox->setCurrentIndex(1);
    findFailing(window, messages::GridNotFound());
}

TEST_F(MeasureWindow, CancelStopsTheSearch) {
    // A large photograph, so that the search is still under way when it is stopped.
    const QString photo = path(QStringLiteral("large.png"));
    ASSERT_TRUE(PhotographOf(Board(), temp.path(), 150, 1.0, 2.0).save(photo));
    TMeasureForm& window = open(photo);
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("7"));
    window.BoardForm->RowsEdit->setText(QStringLiteral("5"));
    host.clearRecords();
    QSignalSpy finished(&window, &TMeasureForm::detectionFinished);
    window.FindButton->click();
    ASSERT_TRUE(window.running());
    EXPECT_TRUE(window.CancelButton->isEnabled());
    EXPECT_FALSE(window.FindButton->isEnabled());
    window.CancelButton->click();
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_FALSE(window.running());
    EXPECT_FALSE(window.targets().has_value());
    EXPECT_EQ(window.StatusLabel->text(), QStringLiteral("Поиск отменён."));
    EXPECT_TRUE(host.records().empty());
    EXPECT_FALSE(window.SaveButton->isEnabled());
    EXPECT_TRUE(window.FindButton->isEnabled());

    // Closing the window while a search runs stops it and tells nothing afterwards.
    window.FindButton->click();
    ASSERT_TRUE(window.running());
    window.close();
    EXPECT_FALSE(window.running());
    QTest::qWait(50);
    EXPECT_TRUE(host.records().empty());
}

TEST_F(MeasureWindow, ZoomAndFit) {
    const QString photo = path(QStringLiteral("board.png"));
    ASSERT_TRUE(PhotographOf(Board(), temp.path(), 60, 1.0).save(photo));
    TMeasureForm& window = open(photo);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.FitButton->click();
    const double fitted = window.PhotoView->Zoom();
    EXPECT_GT(fitted, 0.0);
    window.ZoomInButton->click();
    EXPECT_NEAR(window.PhotoView->Zoom(), fitted * 1.25, 1e-9);
    QTest::keyClick(window.PhotoView, Qt::Key_Minus);
    QTest::keyClick(window.PhotoView, Qt::Key_Minus);
    EXPECT_NEAR(window.PhotoView->Zoom(), fitted / 1.25, 1e-9);
    window.FitButton->click();
    EXPECT_NEAR(window.PhotoView->Zoom(), fitted, 1e-9);
}

TEST_F(MeasureWindow, FieldWindowWritesThePdfAndTheSceneFile) {
    const QString pdf = path(QStringLiteral("field.pdf"));
    const QString scene = path(QStringLiteral("field.crd"));
    bool ran = false;
    host.answerModal([&](QWidget& shown) {
        auto* window = qobject_cast<TFieldSheetForm*>(&shown);
        EXPECT_NE(window, nullptr);
        if (!window)
            return 0;
        ran = true;
        // A field too large for the sheet: its message, and no file dialog.
        window->BoardForm->ColumnsEdit->setText(QStringLiteral("30"));
        window->BoardForm->RowsEdit->setText(QStringLiteral("5"));
        host.answerOk();
        EXPECT_FALSE(window->CreateButtonClick());
        EXPECT_TRUE(host.records().back().text.contains(QStringLiteral("не помещается")));
        EXPECT_TRUE(host.records(DialogRecord::Kind::FileDialog).empty());

        window->BoardForm->ColumnsEdit->setText(QStringLiteral("7"));
        window->BoardForm->KindBox->setCurrentIndex(1);
        window->BoardForm->PitchEdit->setText(QStringLiteral("25"));
        host.answerFile(pdf);
        host.answerFile(scene);
        EXPECT_TRUE(window->CreateButtonClick());
        const auto dialogs = host.records(DialogRecord::Kind::FileDialog);
        EXPECT_EQ(dialogs.size(), 2u);
        if (dialogs.size() == 2u) {
            EXPECT_EQ(dialogs[0].filter, QStringLiteral("Файлы PDF|*.pdf|Все файлы|*.*"));
            EXPECT_EQ(dialogs[1].fileName, scene); // proposed beside the PDF
        }
        return 0;
    });
    form->testFieldAction->trigger();
    ASSERT_TRUE(ran);
    EXPECT_EQ(test::PdfPages(pdf), 1);
    EXPECT_TRUE(test::PdfText(pdf).contains(QStringLiteral("Шаг сетки: 25 мм (7 столбцов × 5 "
                                                           "строк точек диаметром 12.5 мм)")));
    const QStringList lines = ReadTextLines(scene);
    ASSERT_EQ(lines.size(), 35);
    EXPECT_EQ(lines[34], QStringLiteral("150 ; 100"));
}

// The fields of a board form as texts: kind, columns, rows, pitch, pitch along y.
QStringList Fields(const TBoardForm& form) {
    return {form.KindBox->currentText(), form.ColumnsEdit->text(), form.RowsEdit->text(),
            form.PitchEdit->text(), form.PitchYEdit->text()};
}

TEST_F(MeasureWindow, BothWindowsStartFromTheBoardLastMadeOrMeasured) {
    // Before any board: the calibration window's grid and the form's pitch.
    form->Edit5->setText(QStringLiteral("8"));
    form->Edit3->setText(QStringLiteral("7"));
    const QString pdf = path(QStringLiteral("dots.pdf"));
    host.answerModal([&](QWidget& shown) {
        auto* window = qobject_cast<TFieldSheetForm*>(&shown);
        if (!window) {
            ADD_FAILURE() << "no field window";
            return 0;
        }
        EXPECT_EQ(Fields(*window->BoardForm),
                  (QStringList{QStringLiteral("шахматная доска"), QStringLiteral("8"),
                               QStringLiteral("7"), QStringLiteral("20"), QString()}));
        // A field of dots, 7 x 5 at 25 mm across and 20 mm down, is made.
        window->BoardForm->KindBox->setCurrentIndex(1);
        window->BoardForm->ColumnsEdit->setText(QStringLiteral("7"));
        window->BoardForm->RowsEdit->setText(QStringLiteral("5"));
        window->BoardForm->PitchEdit->setText(QStringLiteral("25"));
        window->BoardForm->PitchYEdit->setText(QStringLiteral("20"));
        host.answerFile(pdf);
        host.answerFile(path(QStringLiteral("dots.crd")));
        EXPECT_TRUE(window->CreateButtonClick());
        return 0;
    });
    form->testFieldAction->trigger();
    ASSERT_TRUE(QFile::exists(pdf));
    const QStringList made = {QStringLiteral("точки"), QStringLiteral("7"), QStringLiteral("5"),
                              QStringLiteral("25"), QStringLiteral("20")};
    ASSERT_TRUE(form->lastBoard.board().has_value());

    // The measuring window opens with the field just made, not the calibration's grid.
    const QString photo = path(QStringLiteral("board.png"));
    ASSERT_TRUE(PhotographOf(Board(), temp.path(), 60, 1.0).save(photo));
    TMeasureForm& window = open(photo);
    EXPECT_EQ(Fields(*window.BoardForm), made);

    // A chessboard measured there is the board the field window starts from next.
    window.BoardForm->KindBox->setCurrentIndex(0);
    window.BoardForm->PitchEdit->setText(QStringLiteral("20"));
    window.BoardForm->PitchYEdit->clear();
    find(window);
    ASSERT_TRUE(window.targets().has_value());
    const QStringList measured = {QStringLiteral("шахматная доска"), QStringLiteral("7"),
                                  QStringLiteral("5"), QStringLiteral("20"), QString()};
    bool shown = false;
    host.answerModal([&](QWidget& dialog) {
        auto* next = qobject_cast<TFieldSheetForm*>(&dialog);
        if (next) {
            shown = true;
            EXPECT_EQ(Fields(*next->BoardForm), measured);
            next->BoardForm->ColumnsEdit->setText(QStringLiteral("4")); // changed, not made
        }
        return 0;
    });
    form->testFieldAction->trigger();
    EXPECT_TRUE(shown);

    // A board typed but neither made nor measured stays in its window: reopened, the
    // measuring window keeps what it shows until a newer board is made.
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("6"));
    window.close();
    form->measureAction->trigger();
    EXPECT_EQ(window.BoardForm->ColumnsEdit->text(), QStringLiteral("6"));
    window.close();
    host.answerModal([&](QWidget& dialog) {
        if (auto* next = qobject_cast<TFieldSheetForm*>(&dialog)) {
            next->BoardForm->RowsEdit->setText(QStringLiteral("4"));
            host.answerFile(path(QStringLiteral("small.pdf")));
            host.answerFile(path(QStringLiteral("small.crd")));
            EXPECT_TRUE(next->CreateButtonClick());
        }
        return 0;
    });
    form->testFieldAction->trigger();
    form->measureAction->trigger();
    EXPECT_EQ(Fields(*window.BoardForm),
              (QStringList{QStringLiteral("шахматная доска"), QStringLiteral("7"),
                           QStringLiteral("4"), QStringLiteral("20"), QString()}));
}

TEST_F(MeasureWindow, ATypedPathIsMeasured) {
    const QString photo = path(QStringLiteral("board.png"));
    ASSERT_TRUE(PhotographOf(Board(), temp.path(), 60, 1.0).save(photo));
    QDir(temp.path()).mkdir(QStringLiteral("more"));
    ASSERT_TRUE(QFile::copy(photo, path(QStringLiteral("more/again.png"))));
    form->measureAction->trigger();
    TMeasureForm& window = *form->MeasureForm;
    window.BoardForm->ColumnsEdit->setText(QStringLiteral("7"));
    window.BoardForm->RowsEdit->setText(QStringLiteral("5"));
    EXPECT_FALSE(window.PhotoEdit->isReadOnly());

    // A full path, typed with no photograph chosen, and "Найти".
    window.PhotoEdit->setText(photo);
    find(window);
    EXPECT_TRUE(host.records().empty());
    EXPECT_EQ(window.photoFileName(), photo);
    EXPECT_EQ(window.PhotoEdit->text(), QStringLiteral("board.png"));
    ASSERT_TRUE(window.targets().has_value());
    EXPECT_EQ(window.targets()->points.size(), 35u);

    // A relative path is taken in the folder of the photograph before; Enter searches too.
    window.PhotoEdit->setText(QStringLiteral("more/again.png"));
    QSignalSpy finished(&window, &TMeasureForm::detectionFinished);
    QTest::keyClick(window.PhotoEdit, Qt::Key_Return);
    if (finished.isEmpty()) {
        ASSERT_TRUE(finished.wait(120000));
    }
    EXPECT_EQ(window.photoFileName(), path(QStringLiteral("more/again.png")));
    EXPECT_TRUE(window.targets().has_value());

    // The name shown is not taken as typed; a path to nothing is the photograph's message.
    find(window);
    EXPECT_EQ(window.photoFileName(), path(QStringLiteral("more/again.png")));
    window.PhotoEdit->setText(path(QStringLiteral("none.png")));
    findFailing(window, messages::PhotoUnreadable());
    // A photograph the reader refuses by its format: the reader's reason, as the camera
    // window and vrma-calib tell it.
    const QString gif = path(QStringLiteral("photo.gif"));
    test::WriteBytes(gif, test::OtherFormatFile("gif", 64, 48));
    window.PhotoEdit->setText(gif);
    findFailing(window, messages::PhotoFormatNotRead(QStringLiteral("GIF")));
}

TEST_F(MeasureWindow, BothWindowsCheckABoardAlike) {
    const QString photo = path(QStringLiteral("board.png"));
    ASSERT_TRUE(PhotographOf(Board(), temp.path(), 40, 1.0).save(photo));
    TMeasureForm& window = open(photo);
    // The one form: its placeholder and field widths are the field window's.
    QStringList fieldWindow;
    std::vector<int> fieldWidths;
    const struct {
        const char* what;
        const char* columns;
        const char* pitch;
        const char* pitchY;
        BoardFault fault;
    } cases[] = {
        {"one column", "1", "20", "", BoardFault::Grid},
        {"no number", "7,5", "20", "", BoardFault::Grid},
        {"a pitch too fine to print", "7", "1", "", BoardFault::Pitch},
        {"a pitch along y too large", "7", "20", "600", BoardFault::PitchY},
    };
    QStringList told[2];
    for (int w = 0; w < 2; ++w) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            host.clearRecords();
            const auto fill = [&](TBoardForm& board) {
                board.ColumnsEdit->setText(QString::fromLatin1(c.columns));
                board.RowsEdit->setText(QStringLiteral("5"));
                board.PitchEdit->setText(QString::fromLatin1(c.pitch));
                board.PitchYEdit->setText(QString::fromLatin1(c.pitchY));
            };
            if (w == 0) {
                host.answerOk();
                fill(*window.BoardForm);
                window.FindButton->click();
                EXPECT_FALSE(window.running());
                EXPECT_FALSE(window.targets().has_value());
            } else {
                host.answerModal([&](QWidget& shown) {
                    if (auto* dialog = qobject_cast<TFieldSheetForm*>(&shown)) {
                        fill(*dialog->BoardForm);
                        EXPECT_FALSE(dialog->CreateButtonClick());
                        fieldWindow = {dialog->BoardForm->PitchYEdit->placeholderText()};
                        fieldWidths = {dialog->BoardForm->ColumnsEdit->width(),
                                       dialog->BoardForm->PitchEdit->width()};
                    }
                    return 0;
                });
                host.answerOk();
                form->testFieldAction->trigger();
            }
            const auto boxes = host.records(DialogRecord::Kind::MessageBox);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, BoardFaultMessage(c.fault));
            EXPECT_TRUE(host.records(DialogRecord::Kind::FileDialog).empty());
            told[w] << boxes[0].text;
        }
    }
    EXPECT_EQ(told[0], told[1]);
    EXPECT_EQ(QStringList{window.BoardForm->PitchYEdit->placeholderText()}, fieldWindow);
    EXPECT_EQ((std::vector<int>{window.BoardForm->ColumnsEdit->width(),
                                window.BoardForm->PitchEdit->width()}),
              fieldWidths);
    EXPECT_EQ(files(), QStringList{QStringLiteral("board.png")});
}

} // namespace
} // namespace vrma
