// The export through the calibration window: the correction table, the camera file and
// the modal editor on it, with every dialog answered by the scripted host.
#include "app/Alfa_form.h"
#include "data/ExportFiles.h"
#include "data/GeometryFiles.h"
#include "data/TextFile.h"
#include "editor/Edit.h"
#include "platform/Application.h"
#include "platform/Locale.h"
#include "platform/StringGrid.h"
#include "support/ScriptedDialogHost.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace vrma;
using test::DialogRecord;

namespace {

const QString kExistingTable =
    QStringLiteral("Сохранить вычисленный коэффициент в существующий файл?");
const QString kCameraQuestion = QStringLiteral(
    "Файл таблицы коррекции сохранен. Создать новый файл внутренней геометрии камеры?");
const QString kOverwrite = QStringLiteral("Перезаписать существующий файл?");
const QString kWarning = QStringLiteral("Предупреждение");
const QByteArray kTail = " X 0.0 1.0 - Y 0.0 1.0 - ;";

// The camera file's comments, line 1 to 8.
const char* const kComments[] = {
    " ; Координата X центра изображения",
    " ; Координата Y центра изображения",
    " ; Таблица коррекции",
    " ; Фокусное расстояние",
    " ; Размер изображения по горизонтали",
    " ; Размер изображения по вертикали",
    " ; Координата X главной точки",
    " ; Координата Y главной точки",
};

// The bytes of a camera file holding these eight values.
QByteArray CameraBytes(const QStringList& values) {
    QByteArray bytes;
    for (int k = 0; k < 8; ++k)
        bytes += EncodeCp1251(values[k] + QString::fromUtf8(kComments[k])) + "\r\n";
    return bytes;
}

QByteArray Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

class Export : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // The program's title, which captions the default error report.
        QCoreApplication::setApplicationName(QStringLiteral("VRMA"));
        form = CreateMainWindow();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    void TearDown() override {
        DestroyEditorWindows();
        SetDecimalSeparator(QLatin1Char('.'));
        QCoreApplication::setApplicationName(savedName);
    }

    QString path(const QString& name) const { return QDir(dir.path()).absoluteFilePath(name); }

    // The button, as the user presses it: a failure that leaves the handler goes to the
    // application's default error report.
    void save() { QTest::mouseClick(form->Button3, Qt::LeftButton); }

    std::vector<DialogRecord> boxes() const { return host.records(DialogRecord::Kind::MessageBox); }

    void expectQuestion(const DialogRecord& r, const QString& text, const QString& caption) {
        EXPECT_EQ(r.kind, DialogRecord::Kind::MessageBox);
        EXPECT_EQ(r.text, text);
        EXPECT_EQ(r.caption, caption);
        EXPECT_EQ(r.type, MB_YESNO);
        EXPECT_EQ(r.ownerName, form->objectName());
    }

    void expectDefaultReport(const DialogRecord& r) {
        EXPECT_EQ(r.kind, DialogRecord::Kind::MessageBox);
        EXPECT_EQ(r.caption, QStringLiteral("VRMA"));
        EXPECT_EQ(r.type, MB_OK | MB_ICONERROR);
        EXPECT_FALSE(r.text.isEmpty());
    }

    bool modalShown() const { return !host.records(DialogRecord::Kind::Modal).empty(); }

    const QString savedName = QCoreApplication::applicationName();
    QTemporaryDir dir;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
};

TEST_F(Export, SavedBeforeAnyCalibrationANewTableHoldsZero) {
    const QString table = path(QStringLiteral("Table1.tab"));
    host.answerFile(table);
    host.answerNo();
    save();
    EXPECT_EQ(Read(table), "0.0000\r\n0 0 720 576" + kTail + "\r\n");

    ASSERT_EQ(host.records().size(), 2u);
    const DialogRecord& dialog = host.records()[0];
    EXPECT_EQ(dialog.kind, DialogRecord::Kind::FileDialog);
    EXPECT_FALSE(dialog.openDialog);
    EXPECT_EQ(dialog.filter, QStringLiteral("Table Files|*.tab|All Files|*.*"));
    EXPECT_EQ(dialog.defaultExt, QStringLiteral("tab"));
    EXPECT_EQ(dialog.fileName, QStringLiteral("Table1"));
    expectQuestion(host.records()[1], kCameraQuestion, QStringLiteral("Файл внутренней геометрии"));
    EXPECT_TRUE(EditorWindows().isEmpty());
}

TEST_F(Export, TheBundledExampleCalibratedAndSavedFromTheMenu) {
    form->sceneFileName = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/scene.crd");
    form->imageFileName = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/image.crd");
    form->Button2->click();
    ASSERT_TRUE(host.records().empty());
    ASSERT_EQ(form->Edit8->text(), QStringLiteral("1.0023"));

    const QString table = path(QStringLiteral("example.tab"));
    host.answerFile(table);
    host.answerNo();
    form->N16->trigger();
    EXPECT_EQ(Read(table), "1.0023\r\n0 0 720 576" + kTail + "\r\n");

    // The dialog keeps the name chosen last and proposes it again.
    host.answerCancel();
    save();
    ASSERT_EQ(host.records().size(), 3u);
    EXPECT_EQ(host.records()[2].fileName, table);
    EXPECT_EQ(Read(table), "1.0023\r\n0 0 720 576" + kTail + "\r\n");
}

TEST_F(Export, AnExistingTableGetsOnlyItsFirstLineReplacedOnYes) {
    form->coefficient = 1.0625;
    const QString table = path(QStringLiteral("old.tab"));
    const QByteArray old = "0.9990\r\n0 0 640 480 X 0.0 1.0 - Y 0.0 1.0 - ;\r\nthird line\r\n";
    WriteTextLines(table, DecodeTextLines(old));

    host.answerFile(table);
    host.answerNo(); // keep the table as it is
    save();
    EXPECT_EQ(Read(table), old);
    ASSERT_EQ(host.records().size(), 2u) << "the command ends at the No";
    expectQuestion(host.records()[1], kExistingTable, kWarning);

    host.clearRecords();
    host.answerFile(table);
    host.answerYes();
    host.answerNo();
    save();
    EXPECT_EQ(Read(table), "1.0625\r\n0 0 640 480 X 0.0 1.0 - Y 0.0 1.0 - ;\r\nthird line\r\n");
    ASSERT_EQ(host.records().size(), 3u);
    expectQuestion(host.records()[1], kExistingTable, kWarning);
    expectQuestion(host.records()[2], kCameraQuestion, QStringLiteral("Файл внутренней геометрии"));

    // Lines ended by LF or a lone CR are read as lines and written back with CR LF.
    QFile mixed(table);
    ASSERT_TRUE(mixed.open(QIODevice::WriteOnly));
    mixed.write("1\nsecond\rthird");
    mixed.close();
    host.answerFile(table);
    host.answerYes();
    host.answerNo();
    save();
    EXPECT_EQ(Read(table), "1.0625\r\nsecond\r\nthird\r\n");
}

TEST_F(Export, AnEmptyExistingTableAnsweredYesIsReportedAndLeftAlone) {
    const QString table = path(QStringLiteral("empty.tab"));
    WriteTextLines(table, {});
    host.answerFile(table);
    host.answerYes();
    host.answerOk();
    save();
    EXPECT_EQ(Read(table), QByteArray());
    ASSERT_EQ(host.records().size(), 3u);
    expectDefaultReport(host.records()[2]);
}

TEST_F(Export, ATableThatCannotBeWrittenIsReported) {
    const QString table = path(QStringLiteral("no-such-folder/t.tab"));
    host.answerFile(table);
    host.answerOk();
    save();
    ASSERT_EQ(host.records().size(), 2u) << "no question after the failure";
    expectDefaultReport(host.records()[1]);
    EXPECT_TRUE(host.records()[1].text.contains(QStringLiteral("no-such-folder/t.tab")));

    // A camera file that cannot be written: the table stays written, no editor opens.
    host.clearRecords();
    const QString written = path(QStringLiteral("t.tab"));
    host.answerFile(written);
    host.answerYes();
    host.answerFile(path(QStringLiteral("no-such-folder/c.cam")));
    host.answerOk();
    save();
    EXPECT_EQ(Read(written), "0.0000\r\n0 0 720 576" + kTail + "\r\n");
    ASSERT_EQ(host.records().size(), 4u);
    expectDefaultReport(host.records()[3]);
    EXPECT_TRUE(host.records()[3].text.contains(QStringLiteral("no-such-folder/cT.cam")));
    EXPECT_TRUE(EditorWindows().isEmpty());
}

TEST_F(Export, CancellingADialogEndsTheCommandQuietly) {
    host.answerCancel();
    save();
    EXPECT_EQ(host.records().size(), 1u);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    const QString table = path(QStringLiteral("t.tab"));
    host.answerFile(table);
    host.answerYes();
    host.answerCancel();
    save();
    EXPECT_EQ(host.records().size(), 4u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("t.tab")});
}

TEST_F(Export, TheCameraFileAndTheModalEditorOnIt) {
    const QString table = path(QStringLiteral("Table1.tab"));
    const QString camera = path(QStringLiteral("cam1T.cam"));
    const QByteArray written =
        CameraBytes({"360.0000", "288.0000", table, "", "720", "576", "360.0000", "288.0000"});
    host.answerFile(table);
    host.answerYes();
    host.answerFile(path(QStringLiteral("cam1.cam")));
    TRedForm* shown = nullptr;
    host.answerModal([&](QWidget& window) {
        shown = qobject_cast<TRedForm*>(&window);
        EXPECT_NE(shown, nullptr);
        if (!shown)
            return 0;
        EXPECT_TRUE(shown->isVisible());
        EXPECT_EQ(Read(camera), written) << "written before the editor opens";
        EXPECT_EQ(shown->kind, 5);
        EXPECT_EQ(shown->fileName, camera);
        EXPECT_EQ(shown->windowTitle(), QStringLiteral("cam1T.cam Внутренняя геометрия"));
        const TStringGrid& g = *shown->StringGrid1;
        const QStringList values = {"360.0000 ", "288.0000 ", table + " ", " ",
                                    "720 ",      "576 ",      "360.0000 ", "288.0000 "};
        for (int r = 0; r < 8; ++r)
            EXPECT_EQ(g.Cells(1, r), values[r]) << "row " << r;
        EXPECT_TRUE(g.Cells(1, 3).trimmed().isEmpty()) << "the focal length is left empty";

        // The user fills in the focal length, saves and closes.
        shown->StringGrid1->SetCell(1, 3, QStringLiteral("1250.5"));
        host.answerFile(camera);
        shown->N3->trigger();
        EXPECT_TRUE(shown->close());
        return 0;
    });
    save();

    EXPECT_EQ(Read(table), "0.0000\r\n0 0 720 576" + kTail + "\r\n");
    EXPECT_EQ(Read(camera),
              CameraBytes({"360", "288", table, "1250.5", "720", "576", "360", "288"}));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("cam1.cam"))));

    const auto files = host.records(DialogRecord::Kind::FileDialog);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[1].filter, QStringLiteral("Camera Files|*.cam|All Files|*.*"));
    const auto modal = host.records(DialogRecord::Kind::Modal);
    ASSERT_EQ(modal.size(), 1u);
    EXPECT_EQ(modal[0].className, QStringLiteral("vrma::TRedForm"));
    // A window of its own, kept by the application and hidden after closing.
    ASSERT_EQ(EditorWindows().size(), 1);
    EXPECT_EQ(EditorWindows()[0], shown);
    EXPECT_EQ(shown->parent(), nullptr);
    EXPECT_FALSE(shown->isVisible());
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Export, TheCameraFileNameIsDerivedFromTheChosenOne) {
    QDir(dir.path()).mkpath(QStringLiteral("x.cameras"));
    QDir(dir.path()).mkpath(QStringLiteral("plain"));
    QTemporaryDir elsewhere;
    test::ScopedCurrentFolder keep;
    QDir::setCurrent(elsewhere.path());

    const struct {
        const char* chosen;
        const char* written;
    } cases[] = {
        {"cam1.cam", "cam1T.cam"},         {"cam1T.cam", "cam1TT.cam"},
        {"CAM1.CAM", "CAM1T.cam"},         {"x.cameras/cam2.Cam", "x.cameras/cam2T.cam"},
        {"plain/cam3", "plain/cam3T.cam"},
    };
    QString previous;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        host.clearRecords();
        const QString table = path(QStringLiteral("t%1.tab").arg(++n));
        const QString chosen = path(QString::fromUtf8(c.chosen));
        const QString expected = path(QString::fromUtf8(c.written));
        host.answerFile(table);
        host.answerYes();
        host.answerFile(chosen);
        host.answerModal();
        save();
        ASSERT_TRUE(QFile::exists(expected));
        EXPECT_EQ(ReadTextLines(expected).value(2), table + QStringLiteral(" ; Таблица коррекции"));
        EXPECT_EQ(EditorWindows().last()->fileName, expected);
        // The camera dialog proposes the name chosen the time before.
        const auto files = host.records(DialogRecord::Kind::FileDialog);
        ASSERT_EQ(files.size(), 2u);
        EXPECT_EQ(files[1].fileName, previous);
        previous = chosen;
    }
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty()) << "nothing written into the current folder";
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("cam1.cam"))));
}

TEST_F(Export, AnExistingCameraFileIsReplacedOnlyOnYes) {
    const QString camera = path(QStringLiteral("camT.cam"));
    WriteTextLines(camera, {QStringLiteral("old")});
    const QString table = path(QStringLiteral("t.tab"));
    host.answerFile(table);
    host.answerYes();
    host.answerFile(path(QStringLiteral("cam.cam")));
    host.answerNo();
    save();
    EXPECT_EQ(Read(camera), "old\r\n");
    EXPECT_EQ(Read(table), "0.0000\r\n0 0 720 576" + kTail + "\r\n");
    ASSERT_EQ(host.records().size(), 4u);
    expectQuestion(host.records()[3], kOverwrite, kWarning);
    EXPECT_FALSE(modalShown());
    EXPECT_TRUE(EditorWindows().isEmpty());

    host.clearRecords();
    host.answerFile(table);
    host.answerYes(); // the table exists now
    host.answerYes();
    host.answerFile(path(QStringLiteral("cam.cam")));
    host.answerYes();
    host.answerModal();
    save();
    EXPECT_EQ(ReadTextLines(camera).size(), 8);
    expectQuestion(host.records()[4], kOverwrite, kWarning);
    EXPECT_TRUE(modalShown());
}

TEST_F(Export, ImageSizeTextsAreCopiedAsTypedAndHalvedAsIntegers) {
    form->Edit6->setText(QStringLiteral(" 720"));
    form->Edit7->setText(QStringLiteral("575"));
    const QString table = path(QStringLiteral("t.tab"));
    const QString camera = path(QStringLiteral("cT.cam"));
    host.answerFile(table);
    host.answerYes();
    host.answerFile(path(QStringLiteral("c.cam")));
    host.answerModal();
    save();
    EXPECT_EQ(Read(table), "0.0000\r\n0 0  720 575" + kTail + "\r\n");
    EXPECT_EQ(Read(camera), CameraBytes({"360.0000", "287.5000", table, "", " 720", "575",
                                         "360.0000", "287.5000"}));
}

TEST_F(Export, AWidthThatIsNotAnIntegerStopsAfterTheTable) {
    for (const char* width : {"720 ", "7.2E2", "", "3000000000"}) {
        SCOPED_TRACE(width);
        host.clearRecords();
        form->Edit6->setText(QString::fromUtf8(width));
        const QString table = path(QStringLiteral("w%1.tab").arg(qsizetype(strlen(width))));
        QFile::remove(table);
        host.answerFile(table);
        host.answerYes();
        host.answerFile(path(QStringLiteral("c.cam")));
        host.answerOk();
        save();
        EXPECT_EQ(Read(table), "0.0000\r\n0 0 " + QByteArray(width) + " 576" + kTail + "\r\n");
        ASSERT_EQ(host.records().size(), 4u);
        expectDefaultReport(host.records()[3]);
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("cT.cam"))));
        EXPECT_TRUE(EditorWindows().isEmpty());
    }
    // The window goes on working.
    form->Edit6->setText(QStringLiteral("+0x2D0"));
    host.clearRecords();
    host.answerFile(path(QStringLiteral("hex.tab")));
    host.answerYes();
    host.answerFile(path(QStringLiteral("c.cam")));
    host.answerModal();
    save();
    EXPECT_EQ(ReadTextLines(path(QStringLiteral("cT.cam"))).value(0),
              QStringLiteral("360.0000 ; Координата X центра изображения"));
}

TEST_F(Export, CommaSettingsGiveCommasExceptInTheTableTail) {
    SetDecimalSeparator(QLatin1Char(','));
    form->coefficient = 1.0625;
    const QString table = path(QStringLiteral("t.tab"));
    const QString camera = path(QStringLiteral("cT.cam"));
    host.answerFile(table);
    host.answerYes();
    host.answerFile(path(QStringLiteral("c.cam")));
    host.answerModal([&](QWidget& window) {
        auto& editor = static_cast<TRedForm&>(window);
        EXPECT_EQ(editor.StringGrid1->Cells(1, 6), QStringLiteral("360,0000 "));
        host.answerFile(camera);
        editor.N3->trigger(); // saved unchanged
        editor.close();
        return 0;
    });
    save();
    EXPECT_EQ(Read(table), "1,0625\r\n0 0 720 576" + kTail + "\r\n");
    EXPECT_EQ(Read(camera), CameraBytes({"360", "288", table, "", "720", "576", "360", "288"}));
}

// A 4 x 4 field listed column by column: scene (10 i, 10 j), image (20 i, 30 j), so every
// interior node has the ratio 1.5. With stopAtLastNode the scene x of node (3, 2) equals
// that of node (1, 2): the last interior node divides by zero after three were summed.
QStringList FieldLines(bool scene, bool stopAtLastNode = false) {
    QStringList lines;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            int x = scene ? 10 * i : 20 * i;
            const int y = scene ? 10 * j : 30 * j;
            if (scene && stopAtLastNode && i == 3 && j == 2)
                x = 10;
            lines << QStringLiteral("%1 ; %2").arg(x).arg(y);
        }
    return lines;
}

class ExportAfterCalculation : public Export {
protected:
    // Runs the calibration on the field (or its first `points` points); `message` is the
    // one message the run shows, if any.
    void calibrate(bool stopAtLastNode, const QString& message = QString(), int columns = 4,
                   int points = 16) {
        const QString scene = path(QStringLiteral("scene.crd"));
        const QString image = path(QStringLiteral("image.crd"));
        WriteTextLines(scene, FieldLines(true, stopAtLastNode).mid(0, points));
        WriteTextLines(image, FieldLines(false).mid(0, points));
        form->sceneFileName = scene;
        form->imageFileName = image;
        form->Edit5->setText(QString::number(columns));
        form->Edit3->setText(QStringLiteral("4"));
        if (!message.isEmpty())
            host.answerOk();
        form->Button2->click();
        const auto shown = boxes();
        ASSERT_EQ(shown.size(), message.isEmpty() ? 0u : 1u);
        if (!message.isEmpty()) {
            EXPECT_EQ(shown[0].text, message);
        }
        host.clearRecords();
    }

    // "Сохранить" refused: the one default error report, no file dialog, nothing written.
    void expectRefused(const std::function<void()>& command) {
        const QStringList before = QDir(dir.path()).entryList(QDir::Files);
        host.answerOk();
        command();
        ASSERT_EQ(host.records().size(), 1u);
        expectDefaultReport(host.records()[0]);
        EXPECT_EQ(host.records()[0].text, kNothingToSave);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before);
        host.clearRecords();
    }

    const QString kCalc = QStringLiteral("Ошибка вычисления. Попробуйте изменить входные данные.");
    const QString kCount = QStringLiteral("Неверное количество столбцов или строк!");
    const QString kNothingToSave = QStringLiteral(
        "Последний расчёт был прерван: вычисленного коэффициента нет, сохранять нечего.");
};

TEST_F(ExportAfterCalculation, APartialSumIsNeverSavedAsTheCoefficient) {
    const QString table = path(QStringLiteral("good.tab"));
    const QByteArray good = "1.0023\r\n0 0 720 576" + kTail + "\r\n";
    WriteTextLines(table, DecodeTextLines(good));

    calibrate(true, kCalc);
    ASSERT_NEAR(form->coefficient, 4.5, 1e-12); // three ratios summed, not divided
    expectRefused([this] { save(); });
    expectRefused([this] { form->N16->trigger(); });
    EXPECT_EQ(Read(table), good);

    // A count mismatch reads nothing new: the sum is still no coefficient.
    calibrate(false, kCount, 4, 15);
    expectRefused([this] { save(); });

    // A completed run saves its mean, into the existing table too.
    calibrate(false);
    host.answerFile(table);
    host.answerYes();
    host.answerNo();
    save();
    EXPECT_EQ(Read(table), "1.5000\r\n0 0 720 576" + kTail + "\r\n");
    host.clearRecords();

    // After a count mismatch the previous run's mean is what is saved.
    calibrate(false, kCount, 4, 15);
    const QString fresh = path(QStringLiteral("fresh.tab"));
    host.answerFile(fresh);
    host.answerNo();
    save();
    EXPECT_EQ(Read(fresh), "1.5000\r\n0 0 720 576" + kTail + "\r\n");
    host.clearRecords();

    // No interior node: the run stops dividing a sum of nothing, which is no mean either.
    calibrate(false, kCalc, 2, 8);
    EXPECT_EQ(form->coefficient, 0.0);
    expectRefused([this] { save(); });
    EXPECT_EQ(Read(table), "1.5000\r\n0 0 720 576" + kTail + "\r\n");
}

TEST_F(Export, DismissedQuestionsGoNoFurther) {
    // Only Yes goes on: a question closed without an answer is taken as No.
    const QString table = path(QStringLiteral("t.tab"));
    const QByteArray old = "2.0000\r\nold\r\n";
    WriteTextLines(table, DecodeTextLines(old));
    host.answerFile(table);
    host.answerDismiss();
    save();
    EXPECT_EQ(Read(table), old);
    EXPECT_EQ(host.records().size(), 2u);

    const QString camera = path(QStringLiteral("camT.cam"));
    WriteTextLines(camera, {QStringLiteral("old")});
    host.clearRecords();
    host.answerFile(path(QStringLiteral("new.tab")));
    host.answerDismiss(); // no camera file
    save();
    EXPECT_EQ(host.records().size(), 2u);
    host.clearRecords();
    host.answerFile(path(QStringLiteral("new.tab")));
    host.answerYes();
    host.answerYes();
    host.answerFile(path(QStringLiteral("cam.cam")));
    host.answerDismiss(); // not overwritten
    save();
    EXPECT_EQ(host.records().size(), 5u);
    EXPECT_EQ(Read(camera), "old\r\n");
    EXPECT_FALSE(modalShown());
}

TEST_F(Export, ATablePathTheCodePageCannotHoldWritesNoCameraFile) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QString::fromUtf8("data_é")));
    const QString table = path(QString::fromUtf8("data_é/t.tab"));
    const QString camera = path(QStringLiteral("camT.cam"));
    const QByteArray old = CameraBytes(
        {"360.0000", "288.0000", "/old/t.tab", "800", "720", "576", "360.0000", "288.0000"});
    {
        QFile file(camera);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    host.answerFile(table);
    host.answerYes();
    host.answerFile(path(QStringLiteral("cam.cam")));
    host.answerYes(); // overwrite
    host.answerOk();  // the default error report
    save();
    // The table itself is written (its name is the file system's business, not its text).
    EXPECT_EQ(Read(table), "0.0000\r\n0 0 720 576" + kTail + "\r\n");
    ASSERT_EQ(host.records().size(), 5u);
    const DialogRecord& report = host.records()[4];
    expectDefaultReport(report);
    EXPECT_TRUE(report.text.contains(QString::fromUtf8("«é» (U+00E9)")))
        << report.text.toStdString();
    EXPECT_TRUE(report.text.contains(QStringLiteral("Строка 3"))) << report.text.toStdString();
    EXPECT_EQ(Read(camera), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("camT.cam")});
    EXPECT_FALSE(modalShown());
    EXPECT_TRUE(EditorWindows().isEmpty());

    // Image sizes typed with such a character stop the table the same way.
    form->Edit6->setText(QString::fromUtf8("720中"));
    const QString other = path(QStringLiteral("other.tab"));
    host.clearRecords();
    host.answerFile(other);
    host.answerOk();
    save();
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_TRUE(host.records()[1].text.contains(QString::fromUtf8("«中»")));
    EXPECT_FALSE(QFile::exists(other));
}

// The camera file of a camera calibrated from photographs: the focal length and the
// principal point filled in (four decimals, the separator of the moment), the image centre
// and the table's line as the export writes them; the editor's reader finds the focal
// length. What "Сохранить" writes is not touched (its focal length stays empty).
TEST(CalibratedCameraFile, FocalLengthAndPrincipalPointFilledIn) {
    const CameraInterior camera{2000.12345, 811.25, 590.56789};
    SetDecimalSeparator(QLatin1Char(','));
    const QStringList lines = CameraFileLines(QStringLiteral("1600"), QStringLiteral("1200"),
                                              QStringLiteral("/data/cam1.tab"), camera);
    const QStringList values{QStringLiteral("800,0000"),       QStringLiteral("600,0000"),
                             QStringLiteral("/data/cam1.tab"), QStringLiteral("2000,1235"),
                             QStringLiteral("1600"),           QStringLiteral("1200"),
                             QStringLiteral("811,2500"),       QStringLiteral("590,5679")};
    ASSERT_EQ(lines.size(), 8);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(lines[k], values[k] + QString::fromUtf8(kComments[k])) << k;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("cam1.cam"));
    WriteTextLines(file, lines);
    EXPECT_EQ(CameraFileFocal(file), std::optional<double>(2000.1235));
    EXPECT_EQ(CameraFileLines(QStringLiteral("1600"), QStringLiteral("1200"),
                              QStringLiteral("/data/cam1.tab"))[3],
              QString::fromUtf8(kComments[3]));
    SetDecimalSeparator(QLatin1Char('.'));
}

} // namespace

namespace {

// The table and the camera file chosen in the save dialogs are never the two coordinate
// files of the calibration (by any name): the dialog's choice is refused with a message,
// and nothing is asked or written.
TEST_F(Export, TheTableAndTheCameraFileAreNeverTheCoordinateFiles) {
    const QString scene = path(QStringLiteral("scene.crd"));
    const QString image = path(QStringLiteral("camT.cam")); // a name the camera file may take
    const QByteArray points = "0 ; 0\r\n1 ; 1\r\n";
    WriteFileAtomically(scene, points);
    WriteFileAtomically(image, points);
    ASSERT_TRUE(QFile::link(scene, path(QStringLiteral("link.tab"))));
    form->sceneFileName = scene;
    form->imageFileName = image;

    for (const QString& chosen : {scene, path(QStringLiteral("link.tab"))}) {
        host.clearRecords();
        host.answerFile(chosen);
        host.answerOk();
        save();
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(boxes()[0].text,
                  QStringLiteral("Файл «%1» — это файл координат сцены. Результат не "
                                 "записывается поверх него: выберите другой файл. Ничего не "
                                 "записано.")
                      .arg(chosen));
        EXPECT_EQ(boxes()[0].caption, QStringLiteral("Ошибка!"));
        EXPECT_EQ(Read(scene), points);
    }

    // The camera file "cam.cam" is written as camT.cam: the image file.
    const QString table = path(QStringLiteral("t.tab"));
    host.clearRecords();
    host.answerFile(table);
    host.answerYes(); // a camera file
    host.answerFile(path(QStringLiteral("cam.cam")));
    host.answerOk();
    save();
    ASSERT_EQ(boxes().size(), 2u);
    EXPECT_TRUE(boxes()[1].text.contains(QStringLiteral("— это файл координат изображения")))
        << boxes()[1].text.toStdString();
    EXPECT_EQ(Read(image), points);
    EXPECT_TRUE(QFile::exists(table));
    EXPECT_FALSE(modalShown());
}

} // namespace
