// Camera (kinds 5, 6) and orientation (kinds 7, 8) documents in the editor window:
// labels, loading the value texts as read, the checked save and its messages.
#include "calib/CameraExports.h"
#include "calib/Orientation.h"
#include "data/Numbers.h"
#include "data/TextFile.h"
#include "editor/Documents.h"
#include "editor/EditorTestSupport.h"
#include "platform/StringGrid.h"

#include <QFile>
#include <QHeaderView>

#include <QTest>
#include <QToolButton>

namespace vrma::test {
namespace {

const QString kCameraMessage = QStringLiteral("Ошибка в калибровочных данных!");
const QString kOrientationMessage = QStringLiteral("Ошибка в параметрах внешней геометрии!");

QByteArray Cp1251(const char* utf8) {
    return EncodeCp1251(QString::fromUtf8(utf8));
}

// A camera file as the calibration window's export writes it (comma settings).
QByteArray ExportedCamera(const QByteArray& table) {
    return "360,0000" + Cp1251(" ; Координата X центра изображения") + "\r\n" + "288,0000" +
           Cp1251(" ; Координата Y центра изображения") + "\r\n" + table +
           Cp1251(" ; Таблица коррекции") + "\r\n" + Cp1251(" ; Фокусное расстояние") + "\r\n" +
           "720" + Cp1251(" ; Размер изображения по горизонтали") + "\r\n" + "576" +
           Cp1251(" ; Размер изображения по вертикали") + "\r\n" + "360,0000" +
           Cp1251(" ; Координата X главной точки") + "\r\n" + "288,0000" +
           Cp1251(" ; Координата Y главной точки") + "\r\n";
}

class GeometryDocument : public EditorTest {
protected:
    QStringList Values(const TRedForm* w) const {
        QStringList values;
        for (int r = 0; r < w->StringGrid1->RowCount(); ++r)
            values << w->StringGrid1->Cells(1, r);
        return values;
    }

    // Runs the save command, answering the dialog with the path; returns its record.
    DialogRecord SaveAs(TRedForm* w, const QString& path) {
        host.clearRecords();
        host.answerFile(path);
        w->N3->trigger();
        EXPECT_EQ(host.records().size(), 1u);
        return host.records().empty() ? DialogRecord() : host.records().back();
    }

    // Runs the save command on a document that must be rejected with the message.
    void ExpectRejected(TRedForm* w, const QString& message) {
        host.clearRecords();
        host.answerOk();
        w->ToolButton10->click();
        ASSERT_EQ(host.records().size(), 1u) << "no file dialog after a rejection";
        EXPECT_EQ(host.records()[0].kind, DialogRecord::Kind::ShowMessage);
        EXPECT_EQ(host.records()[0].text, message);
        EXPECT_EQ(host.records()[0].caption, QStringLiteral("VRMA"));
    }
};

TEST_F(GeometryDocument, ANewCameraDocumentSavesEightCommentOnlyLines) {
    for (int kind : {5, 6}) {
        SCOPED_TRACE(kind);
        TRedForm* w = Open(QString(), kind);
        TStringGrid& g = *w->StringGrid1;
        ASSERT_EQ(g.RowCount(), 8);
        EXPECT_EQ(g.Cells(0, 0), QStringLiteral("Координата X центра изображения (пикс.)"));
        EXPECT_EQ(g.Cells(0, 2), QStringLiteral("Таблица коррекции"));
        EXPECT_EQ(g.Cells(0, 3), QStringLiteral("Фокусное расстояние (пикс.)"));
        EXPECT_EQ(g.Cells(0, 7), QStringLiteral("Координата Y главной точки (пикс.)"));
        EXPECT_EQ(Values(w), QStringList(8, QString()));

        const QString path = Path(QStringLiteral("new%1.cam").arg(kind));
        const DialogRecord dialog = SaveAs(w, path);
        EXPECT_EQ(dialog.kind, DialogRecord::Kind::FileDialog);
        EXPECT_FALSE(dialog.openDialog);
        EXPECT_EQ(dialog.filter, QStringLiteral("Cam Files|*.cam|All Files|*.*"));
        EXPECT_EQ(dialog.defaultExt, QStringLiteral("*.cam"));
        EXPECT_EQ(dialog.fileName, QString());
        const QByteArray expected =
            Cp1251(" ; Координата X центра изображения\r\n ; Координата Y центра изображения\r\n"
                   " ; Таблица коррекции\r\n ; Фокусное расстояние\r\n"
                   " ; Размер изображения по горизонтали\r\n ; Размер изображения по вертикали\r\n"
                   " ; Координата X главной точки\r\n ; Координата Y главной точки\r\n");
        EXPECT_EQ(Read(path), expected);
        EXPECT_FALSE(w->modified);
    }
}

TEST_F(GeometryDocument, AnExportedCameraFileOpensAsReadAndSavesNormalised) {
    const QString file = Write(QStringLiteral("cam1T.cam"), ExportedCamera("/data/Table1.tab"));
    TRedForm* w = Open(file, 5);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("cam1T.cam Внутренняя геометрия"));
    // Blanks kept: each value carries the blank that stood before its semicolon.
    EXPECT_EQ(Values(w), QStringList({"360,0000 ", "288,0000 ", "/data/Table1.tab ", " ", "720 ",
                                      "576 ", "360,0000 ", "288,0000 "}));
    EXPECT_FALSE(w->modified);

    const QString saved = Path(QStringLiteral("saved.cam"));
    EXPECT_EQ(SaveAs(w, saved).fileName, file) << "the dialog proposes the opened name";
    const QByteArray expected = "360" + Cp1251(" ; Координата X центра изображения\r\n") + "288" +
                                Cp1251(" ; Координата Y центра изображения\r\n") +
                                "/data/Table1.tab" +
                                Cp1251(" ; Таблица коррекции\r\n ; Фокусное расстояние\r\n") +
                                "720" + Cp1251(" ; Размер изображения по горизонтали\r\n") + "576" +
                                Cp1251(" ; Размер изображения по вертикали\r\n") + "360" +
                                Cp1251(" ; Координата X главной точки\r\n") + "288" +
                                Cp1251(" ; Координата Y главной точки\r\n");
    EXPECT_EQ(Read(saved), expected);
    EXPECT_EQ(Read(file), ExportedCamera("/data/Table1.tab")) << "the opened file is untouched";

    // The correction table does not grow a blank with each read-and-write cycle.
    TRedForm* again = Open(saved, 5);
    EXPECT_EQ(again->StringGrid1->Cells(1, 2), QStringLiteral("/data/Table1.tab "));
    const QString twice = Path(QStringLiteral("twice.cam"));
    SaveAs(again, twice);
    EXPECT_EQ(Read(twice), expected);
}

TEST_F(GeometryDocument, TheFocalLengthTypedInIsWrittenInTheGeneralFormat) {
    TRedForm* w = Open(Write(QStringLiteral("c.cam"), ExportedCamera("t.tab")), 5);
    TStringGrid& g = *w->StringGrid1;
    g.SetCell(1, 3, QStringLiteral(" 1234,50 "));
    g.SetCell(1, 2, QStringLiteral("  a;b  ")); // free text, leading blanks kept
    g.SetCell(1, 5, QStringLiteral("-2,5E-7"));
    const QString saved = Path(QStringLiteral("f.cam"));
    SaveAs(w, saved);
    const QStringList lines = ReadTextLines(saved);
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[2], QStringLiteral("  a;b ; Таблица коррекции"));
    EXPECT_EQ(lines[3], QStringLiteral("1234,5 ; Фокусное расстояние"));
    EXPECT_EQ(lines[5], QStringLiteral("-2,5E-7 ; Размер изображения по вертикали"));
}

TEST_F(GeometryDocument, ATablePathTheCodePageCannotHoldIsNotSaved) {
    const QByteArray old = ExportedCamera("/data/Table1.tab");
    const QString file = Write(QStringLiteral("c.cam"), old);
    TRedForm* w = Open(file, 5);
    w->StringGrid1->SetCell(1, 2, QString::fromUtf8("/data/é/t.tab"));
    w->modified = true;
    host.clearRecords();
    host.answerOk(); // the default error report, before any file is chosen
    w->N3->trigger();
    ASSERT_EQ(host.records().size(), 1u);
    const DialogRecord& report = host.records()[0];
    EXPECT_EQ(report.kind, DialogRecord::Kind::MessageBox);
    EXPECT_TRUE(report.text.contains(QString::fromUtf8("«é»"))) << report.text.toStdString();
    EXPECT_TRUE(report.text.contains(QStringLiteral("Строка 3"))) << report.text.toStdString();
    EXPECT_EQ(Read(file), old);
    EXPECT_TRUE(w->modified) << "the edits are still unsaved";
    EXPECT_EQ(w->StringGrid1->Cells(1, 2), QString::fromUtf8("/data/é/t.tab"));
}

TEST_F(GeometryDocument, ABadCameraValueIsRejectedWithoutADialog) {
    for (const char* bad : {"  ", "12.5", "x", "1 2"}) {
        SCOPED_TRACE(bad);
        TRedForm* w = Open(QString(), 6);
        w->StringGrid1->SetCell(1, 7, QString::fromLatin1(bad));
        w->StringGrid1->SetCell(1, 2, QStringLiteral("any text is a table")); // never checked
        w->modified = true;
        ExpectRejected(w, kCameraMessage);
        // The grid stays for a correction; the flag is cleared only by a written file.
        EXPECT_EQ(w->StringGrid1->Cells(1, 7), QString::fromLatin1(bad));
        EXPECT_TRUE(w->modified);
        w->StringGrid1->SetCell(1, 7, QStringLiteral(" "));
        const QString path = Path(QStringLiteral("fixed.cam"));
        SaveAs(w, path);
        EXPECT_TRUE(ReadTextLines(path)[7].startsWith(QStringLiteral(" ; ")));
        EXPECT_FALSE(w->modified);
    }
}

TEST_F(GeometryDocument, OrientationDocumentsLoadCheckAndSave) {
    QStringList fileLines;
    for (int k = 1; k <= 21; ++k)
        fileLines << QStringLiteral("  %1,250 ; comment %1").arg(k);
    fileLines[5] = QStringLiteral("no semicolon: absent");
    fileLines << QStringLiteral("22 ; extra line");
    const QString file = Path(QStringLiteral("e.ort"));
    WriteTextLines(file, fileLines);

    for (int kind : {7, 8}) {
        SCOPED_TRACE(kind);
        TRedForm* w = Open(file, kind);
        TStringGrid& g = *w->StringGrid1;
        ASSERT_EQ(g.RowCount(), 21);
        EXPECT_EQ(g.Cells(0, 0), QStringLiteral("Координата X центра проекции"));
        EXPECT_EQ(g.Cells(0, 9), QStringLiteral("Продольный угол (стенд.) (градусы)"));
        EXPECT_EQ(g.Cells(0, 10), QStringLiteral("Поперечный угол (стенд.) (градусы)"));
        EXPECT_EQ(g.Cells(0, 20), QStringLiteral("azz"));
        EXPECT_EQ(g.Cells(1, 0), QStringLiteral("  1,250 "));
        EXPECT_EQ(g.Cells(1, 5), QString());
        EXPECT_EQ(g.Cells(1, 20), QStringLiteral("  21,250 "));

        // A letter in any value: the message, nothing written, the grid kept.
        g.SetCell(1, 20, QStringLiteral("21,25a"));
        ExpectRejected(w, kOrientationMessage);
        g.SetCell(1, 20, QStringLiteral("21,25"));
        g.SetCell(1, 12, QStringLiteral("O"));
        ExpectRejected(w, kOrientationMessage);
        g.SetCell(1, 12, QStringLiteral("13,25"));

        const QString saved = Path(QStringLiteral("saved%1.ort").arg(kind));
        const DialogRecord dialog = SaveAs(w, saved);
        EXPECT_EQ(dialog.filter, QStringLiteral("Orientation Files|*.ort|All Files|*.*"));
        EXPECT_EQ(dialog.defaultExt, QStringLiteral("*.ort"));
        EXPECT_EQ(dialog.fileName, file);
        const QStringList lines = ReadTextLines(saved);
        ASSERT_EQ(lines.size(), 21);
        EXPECT_EQ(lines[0],
                  QStringLiteral("1,25 ; Координата X центра проекции в системе координат сцены"));
        EXPECT_EQ(lines[5],
                  QStringLiteral(" ; Расстояние от центра проекции до точки визирования"));
        EXPECT_EQ(
            lines[9],
            QStringLiteral("10,25 ; Угол поворота вокруг вертикальной оси (стенд.) (градусы)"));
        EXPECT_EQ(lines[20], QStringLiteral("21,25 ; azz"));
    }
}

// The orientation file of a photograph as the camera's calibration writes it opens in the
// editor with its numbers and saves back byte for byte.
TEST_F(GeometryDocument, AnOrientationFileOfACalibrationOpensAndSavesUnchanged) {
    Pose pose;
    pose.rotation = {0.3, -0.5, 2.9};
    pose.translation = {-80.0, 40.5, 612.25};
    const QString file = Path(QStringLiteral("p1.ort"));
    WriteTextLines(file, OrientationFileLines(pose));
    TRedForm* w = Open(file, kinds::kExteriorGeometry);
    ASSERT_EQ(w->StringGrid1->RowCount(), 21);
    const QStringList values = Values(w);
    EXPECT_EQ(values[12].trimmed(), FormatGeneral15(OrientationOf(pose).matrix(0, 0)));
    const QString saved = Path(QStringLiteral("saved.ort"));
    SaveAs(w, saved);
    QFile a(file);
    QFile b(saved);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), a.readAll());
}

TEST_F(GeometryDocument, TwinKindsGiveTheSameWindowAndFile) {
    const QString file = Write(QStringLiteral("c.cam"), ExportedCamera("t.tab"));
    QStringList orientation(21, QStringLiteral("0,5 ; c"));
    orientation[3] = QStringLiteral("-7 ; c");
    const QString ort = Path(QStringLiteral("o.ort"));
    WriteTextLines(ort, orientation);

    for (const auto& [first, second, name] : {std::tuple{5, 6, file}, std::tuple{7, 8, ort}}) {
        SCOPED_TRACE(first);
        TRedForm* a = Open(name, first);
        TRedForm* b = Open(name, second);
        EXPECT_EQ(a->windowTitle(), b->windowTitle());
        EXPECT_EQ(a->size(), b->size());
        ASSERT_EQ(a->StringGrid1->RowCount(), b->StringGrid1->RowCount());
        for (int r = 0; r < a->StringGrid1->RowCount(); ++r)
            for (int c = 0; c < 2; ++c)
                EXPECT_EQ(a->StringGrid1->Cells(c, r), b->StringGrid1->Cells(c, r));
        const QString pa = Path(QStringLiteral("a%1").arg(first));
        const QString pb = Path(QStringLiteral("b%1").arg(first));
        const DialogRecord da = SaveAs(a, pa);
        const DialogRecord db = SaveAs(b, pb);
        EXPECT_EQ(da.filter, db.filter);
        EXPECT_EQ(da.defaultExt, db.defaultExt);
        EXPECT_EQ(Read(pa), Read(pb));
        EXPECT_NE(Read(pa), QByteArray("<missing>"));

        for (TRedForm* w : {a, b})
            w->StringGrid1->SetCell(1, 0, QStringLiteral("?"));
        host.clearRecords();
        host.answerOk();
        a->N3->trigger();
        host.answerOk();
        b->N3->trigger();
        ASSERT_EQ(host.records().size(), 2u);
        EXPECT_EQ(host.records()[0].text, host.records()[1].text);
    }
}

TEST_F(GeometryDocument, FilesOfTooFewLinesFailToOpen) {
    QByteArray seven = ExportedCamera("t.tab");
    seven.chop(1);
    seven.truncate(seven.lastIndexOf('\n') + 1); // the last of the eight lines dropped
    QByteArray twenty;
    for (int k = 0; k < 20; ++k)
        twenty += "1 ; c\r\n";
    const QString missing = Path(QStringLiteral("missing.cam"));
    for (const auto& [kind, name] :
         {std::pair{5, Write(QStringLiteral("seven.cam"), seven)},
          std::pair{7, Write(QStringLiteral("twenty.ort"), twenty)}, std::pair{6, missing}}) {
        SCOPED_TRACE(kind);
        host.clearRecords();
        host.answerOk();
        TRedForm* w = CreateEditorWindow();
        EXPECT_EQ(w->OpenDocument(name, kind), 0);
        ASSERT_EQ(host.records().size(), 1u);
        const DialogRecord& box = host.records()[0];
        EXPECT_EQ(box.kind, DialogRecord::Kind::MessageBox);
        EXPECT_EQ(box.text, QStringLiteral("Внутренняя ошибка. Обратитесь к разработчику."));
        EXPECT_EQ(box.caption, QStringLiteral("Ошибка!"));
        EXPECT_EQ(box.type, MB_OK);
        EXPECT_FALSE(w->isVisible());
    }
}

TEST_F(GeometryDocument, TheRowCountIsFixed) {
    TRedForm* w = Open(Write(QStringLiteral("c.cam"), ExportedCamera("t.tab")), 5);
    w->show();
    for (QToolButton* b : {w->ToolButton3, w->ToolButton5, w->ToolButton1, w->ToolButton8}) {
        EXPECT_FALSE(b->isEnabled());
        QTest::mouseClick(b, Qt::LeftButton);
    }
    EXPECT_EQ(w->StringGrid1->RowCount(), 8);
    EXPECT_EQ(w->StringGrid1->Cells(1, 0), QStringLiteral("360,0000 "));
    EXPECT_FALSE(w->modified);
    w->hide();
}

} // namespace
} // namespace vrma::test

namespace vrma::test {
namespace {

// The labels of both geometry layouts fit the column the design gives them in the window's
// font; a text that does not fit (a narrowed column, a long value) is its own tool tip.
TEST_F(GeometryDocument, LabelsFitTheirColumnAndACutTextIsItsOwnToolTip) {
    for (const int kind : {kinds::kInteriorGeometry, kinds::kExteriorGeometry}) {
        SCOPED_TRACE(kind);
        TRedForm* w = Open(QString(), kind);
        const TStringGrid* grid = w->StringGrid1;
        ASSERT_GT(grid->RowCount(), 0);
        for (int r = 0; r < grid->RowCount(); ++r) {
            const QString label = grid->Cells(0, r);
            EXPECT_FALSE(grid->IsTextCut(0, label)) << label.toStdString();
            EXPECT_FALSE(grid->model()->headerData(r, Qt::Vertical, Qt::ToolTipRole).isValid());
        }
    }

    TRedForm* w = Open(QString(), kinds::kInteriorGeometry);
    TStringGrid* grid = w->StringGrid1;
    const QString table = QStringLiteral("/очень/длинный/путь/к/таблице/коррекции/Table1.tab");
    grid->SetCell(1, 2, table);
    grid->SetCell(1, 3, QStringLiteral("1250"));
    EXPECT_EQ(grid->model()->index(2, 0).data(Qt::ToolTipRole).toString(), table);
    EXPECT_FALSE(grid->model()->index(3, 0).data(Qt::ToolTipRole).isValid());
    // Narrow the side header below the longest label: that label tells itself in full.
    grid->verticalHeader()->setFixedWidth(60);
    const QString label = grid->Cells(0, 0);
    EXPECT_TRUE(grid->IsTextCut(0, label));
    EXPECT_EQ(grid->model()->headerData(0, Qt::Vertical, Qt::ToolTipRole).toString(), label);
}

} // namespace
} // namespace vrma::test
