// vrma-calib run as a process, against the calibration window running the same files:
// its output is the list box, its failures carry the window's messages and their own
// exit codes.
#include "app/Alfa_form.h"
#include "data/TextFile.h"
#include "editor/Edit.h"
#include "platform/Application.h"
#include "platform/Locale.h"
#include "support/ScriptedDialogHost.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vrma;
using test::DialogRecord;

namespace {

const QString kExamples = QStringLiteral(VRMA_SOURCE_DIR "/examples/decimal-point/");
const QString kReadMessage = QStringLiteral("Ошибка чтения файла сцены!");
const QString kCountMessage = QStringLiteral("Неверное количество столбцов или строк!");
const QString kCalcMessage =
    QStringLiteral("Ошибка вычисления. Попробуйте изменить входные данные.");

struct Outcome {
    int code = -1;
    QStringList out; // stdout lines
    QString err;     // stderr as it stands
};

Outcome RunCalib(const QStringList& arguments, const QString& locale = QStringLiteral("C.UTF-8")) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), locale);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VRMA_CALIB_BINARY), arguments);
    Outcome outcome;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "vrma-calib did not finish: " << process.errorString().toStdString();
        return outcome;
    }
    outcome.code = process.exitCode();
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.out = out.split(QLatin1Char('\n'));
    EXPECT_TRUE(out.isEmpty() || out.endsWith(QLatin1Char('\n')));
    outcome.out.removeLast(); // after the last line break
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

QStringList Grid(const QString& scene, const QString& image, const QString& columns,
                 const QString& rows) {
    return {QStringLiteral("--scene"),   scene,   QStringLiteral("--image"), image,
            QStringLiteral("--columns"), columns, QStringLiteral("--rows"),  rows};
}

class VrmaCalib : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        form = CreateMainWindow();
    }

    void TearDown() override {
        DestroyEditorWindows();
        SetDecimalSeparator(QLatin1Char('.'));
    }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }

    // The calibration window run on the same input: its list box lines, and the one
    // message it showed ("" when none).
    struct Window {
        QStringList lines;
        QString message;
    };
    Window window(const QString& scene, const QString& image, const QString& columns,
                  const QString& rows, bool expectMessage) {
        form->sceneFileName = scene;
        form->imageFileName = image;
        form->Edit5->setText(columns);
        form->Edit3->setText(rows);
        host.clearRecords();
        if (expectMessage)
            host.answerOk();
        form->Button2->click();
        Window shown{form->ListBoxLines(), QString()};
        const auto messages = host.records(DialogRecord::Kind::MessageBox);
        EXPECT_EQ(messages.size(), expectMessage ? 1u : 0u);
        if (!messages.empty())
            shown.message = messages[0].text;
        return shown;
    }

    // A copy of an example file with its decimal points turned into commas.
    QString withCommas(const QString& name) {
        QStringList lines = ReadTextLines(kExamples + name);
        for (QString& line : lines)
            line.replace(QLatin1Char('.'), QLatin1Char(','));
        const QString copy = path(QStringLiteral("comma-") + name);
        WriteTextLines(copy, lines);
        return copy;
    }

    test::ScopedCurrentFolder keepFolder;
    QTemporaryDir temp;
    test::ScriptedDialogHost host;
    test::ScopedDialogHost installed{host};
    std::unique_ptr<TAlfaKalibr_Form> form;
};

TEST_F(VrmaCalib, PrintsTheListBoxOfTheSameRun) {
    const QString scene = kExamples + QStringLiteral("scene.crd");
    const QString image = kExamples + QStringLiteral("image.crd");
    const Outcome run = RunCalib(Grid(scene, image, QStringLiteral("6"), QStringLiteral("6")));
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, QString());
    const Window shown = window(scene, image, QStringLiteral("6"), QStringLiteral("6"), false);
    ASSERT_EQ(shown.lines.size(), 22);
    EXPECT_EQ(run.out, shown.lines);
    // The summary closes the output, as in the list box.
    EXPECT_EQ(run.out.mid(16, 6),
              (QStringList{QString(), QStringLiteral("Среднее значение:"), form->Edit8->text(),
                           QString(), QStringLiteral("СКО:"), form->Edit9->text()}));

    // Options written with "=" and in any order.
    const Outcome again =
        RunCalib({QStringLiteral("--rows=6"), QStringLiteral("--columns=6"),
                  QStringLiteral("--image=") + image, QStringLiteral("--scene=") + scene});
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.out, shown.lines);
}

TEST_F(VrmaCalib, DecimalSeparatorComesFromTheLocaleOrTheOption) {
    const QString scene = withCommas(QStringLiteral("scene.crd"));
    const QString image = withCommas(QStringLiteral("image.crd"));
    const QChar keep = DecimalSeparator();
    SetDecimalSeparator(QLatin1Char(','));
    const Window shown = window(scene, image, QStringLiteral("6"), QStringLiteral("6"), false);
    SetDecimalSeparator(keep);
    ASSERT_EQ(shown.lines.size(), 22);
    ASSERT_TRUE(shown.lines[18].contains(QLatin1Char(',')));

    QStringList arguments = Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"));
    // The regional settings' separator...
    const Outcome russian = RunCalib(arguments, QStringLiteral("ru_RU.UTF-8"));
    EXPECT_EQ(russian.code, 0) << russian.err.toStdString();
    EXPECT_EQ(russian.out, shown.lines);
    // ...and the option, which overrides them.
    arguments << QStringLiteral("--decimal-separator") << QStringLiteral(",");
    const Outcome option = RunCalib(arguments);
    EXPECT_EQ(option.code, 0);
    EXPECT_EQ(option.out, shown.lines);

    // No conversion: the example's points do not read with a comma.
    const Outcome points = RunCalib(Grid(kExamples + QStringLiteral("scene.crd"),
                                         kExamples + QStringLiteral("image.crd"),
                                         QStringLiteral("6"), QStringLiteral("6"))
                                    << QStringLiteral("--decimal-separator=,"));
    EXPECT_EQ(points.code, 2);
    // The reader's message, then the reason (the scene file holds whole numbers and reads).
    const QStringList err = points.err.split(QLatin1Char('\n'));
    ASSERT_EQ(err.size(), 4) << points.err.toStdString();
    EXPECT_EQ(err[0], kReadMessage);
    EXPECT_TRUE(err[1].startsWith(QStringLiteral("Файл «") + kExamples +
                                  QStringLiteral("image.crd», строка 1:")))
        << err[1].toStdString();
    EXPECT_TRUE(err[2].contains(QStringLiteral("--decimal-separator .")));
}

TEST_F(VrmaCalib, EachFailureHasTheWindowsMessageAndItsOwnCode) {
    const QString scene = kExamples + QStringLiteral("scene.crd");
    const QString image = kExamples + QStringLiteral("image.crd");
    const QString missing = path(QStringLiteral("missing.crd"));

    // A scene point in column 2 of row 2 with the x of column 0: the node (1, 2) divides
    // by zero after the four ratios of the first interior row.
    QStringList lines = ReadTextLines(scene);
    lines[2 * 6 + 2] = lines[0 * 6 + 2];
    const QString broken = path(QStringLiteral("broken.crd"));
    WriteTextLines(broken, lines);

    const struct {
        const char* what;
        QString scene, image, columns, rows;
        int code;
        QString message;
        int lines; // listed before the failure
    } cases[] = {
        {"scene missing", missing, image, QStringLiteral("6"), QStringLiteral("6"), 2, kReadMessage,
         0},
        {"image missing", scene, missing, QStringLiteral("6"), QStringLiteral("6"), 2, kReadMessage,
         0},
        {"counts", scene, image, QStringLiteral("4"), QStringLiteral("6"), 3, kCountMessage, 0},
        {"columns not a number", scene, image, QStringLiteral("six"), QStringLiteral("6"), 4,
         kCalcMessage, 0},
        {"no interior node", scene, image, QStringLiteral("2"), QStringLiteral("18"), 4,
         kCalcMessage, 0},
        {"zero divisor", broken, image, QStringLiteral("6"), QStringLiteral("6"), 4, kCalcMessage,
         4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome run = RunCalib(Grid(c.scene, c.image, c.columns, c.rows));
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(run.err, c.message + QLatin1Char('\n'));
        const Window shown = window(c.scene, c.image, c.columns, c.rows, true);
        EXPECT_EQ(shown.message, c.message);
        if (c.code == 2)
            continue; // the window keeps what the previous run showed
        EXPECT_EQ(shown.lines.size(), c.lines);
        EXPECT_EQ(run.out, shown.lines);
    }
}

QByteArray Take(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    const QByteArray bytes = f.readAll();
    f.close();
    f.remove();
    return bytes;
}

TEST_F(VrmaCalib, WritesTheTableAndTheCameraFileOfTheExport) {
    const struct {
        const char* what;
        QChar separator;
        QString width, height;
    } cases[] = {
        {"default size, point", QLatin1Char('.'), QStringLiteral("720"), QStringLiteral("576")},
        {"a blank before the width, odd height, comma", QLatin1Char(','), QStringLiteral(" 720"),
         QStringLiteral("575")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool comma = c.separator == QLatin1Char(',');
        const QString scene = comma ? withCommas(QStringLiteral("scene.crd"))
                                    : kExamples + QStringLiteral("scene.crd");
        const QString image = comma ? withCommas(QStringLiteral("image.crd"))
                                    : kExamples + QStringLiteral("image.crd");
        const QString table = path(QStringLiteral("cam1.tab"));

        // The export from the window: a new table, then the camera file "cam1T.cam" and
        // the editor on it.
        SetDecimalSeparator(c.separator);
        ASSERT_EQ(
            window(scene, image, QStringLiteral("6"), QStringLiteral("6"), false).lines.size(), 22);
        form->Edit6->setText(c.width);
        form->Edit7->setText(c.height);
        host.clearRecords();
        host.answerFile(table);
        host.answerYes();
        host.answerFile(path(QStringLiteral("cam1.cam")));
        host.answerModal();
        form->N16->trigger();
        host.expectAllAnswersUsed();
        SetDecimalSeparator(QLatin1Char('.'));
        const QByteArray exportedTable = Take(table);
        const QByteArray exportedCamera = Take(path(QStringLiteral("cam1T.cam")));
        ASSERT_NE(exportedTable, "<missing>");
        ASSERT_NE(exportedCamera, "<missing>");

        // The same from the command line, the camera file at the name given.
        const QString camera = path(QStringLiteral("cam1T.cam"));
        const Outcome run =
            RunCalib(Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"))
                     << QStringLiteral("--width") << c.width << QStringLiteral("--height")
                     << c.height << QStringLiteral("--table") << table << QStringLiteral("--camera")
                     << camera << QStringLiteral("--decimal-separator") << c.separator);
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_EQ(run.out.size(), 22);
        EXPECT_EQ(Take(table), exportedTable);
        EXPECT_EQ(Take(camera), exportedCamera);
    }

    // A table given by a relative name: the camera file names it by its full path.
    ASSERT_TRUE(QDir(temp.path()).mkdir(QStringLiteral("sub")));
    QProcess process;
    process.setWorkingDirectory(temp.path());
    process.start(QStringLiteral(VRMA_CALIB_BINARY),
                  Grid(kExamples + QStringLiteral("scene.crd"),
                       kExamples + QStringLiteral("image.crd"), QStringLiteral("6"),
                       QStringLiteral("6"))
                      << QStringLiteral("--table=sub/../t.tab") << QStringLiteral("--camera=c.cam")
                      << QStringLiteral("--decimal-separator=."));
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 0);
    const QStringList cameraLines = ReadTextLines(path(QStringLiteral("c.cam")));
    ASSERT_EQ(cameraLines.size(), 8);
    EXPECT_EQ(cameraLines[2], QDir(temp.path()).absoluteFilePath(QStringLiteral("t.tab")) +
                                  QStringLiteral(" ; Таблица коррекции"));
}

TEST_F(VrmaCalib, AFileThatCannotBeWrittenIsNamedAndEndsTheRun) {
    const QString scene = kExamples + QStringLiteral("scene.crd");
    const QString image = kExamples + QStringLiteral("image.crd");
    const QString table = path(QStringLiteral("no/folder/t.tab"));
    const Outcome run = RunCalib(Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"))
                                 << QStringLiteral("--table") << table);
    EXPECT_EQ(run.code, 5);
    EXPECT_EQ(run.out.size(), 22) << "the results come first";
    EXPECT_TRUE(run.err.contains(table)) << run.err.toStdString();

    // The camera file cannot be written: the table is not written either.
    const QString good = path(QStringLiteral("t.tab"));
    const Outcome camera =
        RunCalib(Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"))
                 << QStringLiteral("--table") << good << QStringLiteral("--camera")
                 << path(QStringLiteral("no/folder/c.cam")));
    EXPECT_EQ(camera.code, 5);
    EXPECT_TRUE(camera.err.contains(QStringLiteral("c.cam")));
    EXPECT_FALSE(QFile::exists(good));
}

TEST_F(VrmaCalib, TextTheCodePageCannotHoldWritesNeitherFile) {
    const QString scene = kExamples + QStringLiteral("scene.crd");
    const QString image = kExamples + QStringLiteral("image.crd");
    ASSERT_TRUE(QDir(temp.path()).mkdir(QString::fromUtf8("data_é")));
    const QString table = path(QString::fromUtf8("data_é/t.tab"));
    const QString camera = path(QStringLiteral("c.cam"));
    const QByteArray old = "old camera\r\n\xC0\x98\r\n";
    {
        QFile file(camera);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    const Outcome run =
        RunCalib(Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"))
                 << QStringLiteral("--table") << table << QStringLiteral("--camera") << camera);
    EXPECT_EQ(run.code, 5);
    EXPECT_EQ(run.out.size(), 22) << "the results come first";
    // The camera file names the table on its third line.
    for (const QString& part :
         {camera, QString::fromUtf8("«é» (U+00E9)"), QStringLiteral("Строка 3")})
        EXPECT_TRUE(run.err.contains(part)) << run.err.toStdString();
    QFile file(camera);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), old);
    EXPECT_FALSE(QFile::exists(table)) << "not the table either";
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files), QStringList{QStringLiteral("c.cam")});

    // Without the camera file, the same table is written: its name is no text of a file.
    const Outcome alone = RunCalib(Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"))
                                   << QStringLiteral("--table") << table);
    EXPECT_EQ(alone.code, 0) << alone.err.toStdString();
    EXPECT_EQ(ReadTextLines(table).size(), 2);
    // A width of such characters stops the table itself.
    const Outcome width = RunCalib(Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"))
                                   << QStringLiteral("--width") << QString::fromUtf8("720é")
                                   << QStringLiteral("--table") << path(QStringLiteral("w.tab")));
    EXPECT_EQ(width.code, 5);
    EXPECT_TRUE(width.err.contains(QStringLiteral("Строка 2"))) << width.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("w.tab"))));
}

TEST_F(VrmaCalib, AFileSizeLimitFailsTheWriteWithItsCode) {
    // Under ulimit -f 0 every write to a file fails: a write failure (exit 5), not a
    // death by SIGXFSZ; the old table stays as it was.
    const QString scene = kExamples + QStringLiteral("scene.crd");
    const QString image = kExamples + QStringLiteral("image.crd");
    const QString table = path(QStringLiteral("t.tab"));
    QFile old(table);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("1.0000\r\nrest\r\n");
    old.close();
    QProcess process;
    process.start(QStringLiteral("/bin/sh"),
                  QStringList{QStringLiteral("-c"),
                              QStringLiteral("ulimit -f 0 && exec \"$0\" \"$@\""),
                              QStringLiteral(VRMA_CALIB_BINARY)}
                      << Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"))
                      << QStringLiteral("--table") << table);
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "killed by a signal";
    EXPECT_EQ(process.exitCode(), 5);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains(table));
    EXPECT_EQ(ReadTextLines(table), QStringList({"1.0000", "rest"}));
}

TEST_F(VrmaCalib, CommandLineMistakesAreExplainedAndComputeNothing) {
    const QString scene = kExamples + QStringLiteral("scene.crd");
    const QString image = kExamples + QStringLiteral("image.crd");
    const QStringList grid = Grid(scene, image, QStringLiteral("6"), QStringLiteral("6"));
    const QString table = path(QStringLiteral("t.tab"));
    const struct {
        const char* what;
        QStringList arguments;
        QString mentions;
    } cases[] = {
        {"nothing", {}, QStringLiteral("--scene")},
        {"no rows", grid.mid(0, 6), QStringLiteral("--rows")},
        {"unknown", QStringList(grid) << QStringLiteral("--colums=6"),
         QStringLiteral("--colums=6")},
        {"no value", QStringList(grid) << QStringLiteral("--width"), QStringLiteral("--width")},
        {"twice", QStringList(grid) << QStringLiteral("--rows=6"), QStringLiteral("--rows")},
        {"separator", QStringList(grid) << QStringLiteral("--decimal-separator=;"),
         QStringLiteral(";")},
        {"camera without table", QStringList(grid) << QStringLiteral("--camera=c.cam"),
         QStringLiteral("--table")},
        {"width not an integer",
         QStringList(grid) << QStringLiteral("--table=") + table
                           << QStringLiteral("--camera=") + path(QStringLiteral("c.cam"))
                           << QStringLiteral("--width=720 "),
         QStringLiteral("ширина")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome run = RunCalib(c.arguments);
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.contains(c.mentions)) << run.err.toStdString();
        EXPECT_TRUE(run.err.endsWith(QStringLiteral("Справка: vrma-calib --help\n")));
    }
    EXPECT_FALSE(QFile::exists(table));
}

TEST_F(VrmaCalib, HelpExplainsEveryOptionAndExitCode) {
    const Outcome help = RunCalib({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.err.isEmpty());
    const QString text = help.out.join(QLatin1Char('\n'));
    for (const char* option :
         {"--scene", "--image", "--columns", "--rows", "--width", "--height", "--table", "--camera",
          "--decimal-separator", "--focal", "--view", "--json", "--help"})
        EXPECT_TRUE(text.contains(QLatin1String(option))) << option;
    for (const QString& message : {kReadMessage, kCountMessage, kCalcMessage})
        EXPECT_TRUE(text.contains(message)) << message.toStdString();
    for (const int code : {0, 1, 2, 3, 4, 5, 7})
        EXPECT_TRUE(text.contains(QStringLiteral("\n  %1  ").arg(code))) << code;
    EXPECT_EQ(RunCalib({QStringLiteral("-h")}).out, help.out);
}

} // namespace
