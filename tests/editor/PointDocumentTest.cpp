// Point and list documents: loading into the grid, the check on save, the written file,
// the save dialog and the modified flag.
#include "EditorTestSupport.h"
#include "data/TextFile.h"
#include "platform/StringGrid.h"

namespace vrma::test {
namespace {

using PointDocumentTest = EditorTest;

const QString kInternalError = QStringLiteral("Внутренняя ошибка. Обратитесь к разработчику.");

// A number text with its zeros after the separator dropped ("1,250" -> "1,25", "4,00" -> "4").
QString DropTrailingZeros(QString text) {
    if (!text.contains(QLatin1Char(',')))
        return text;
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char(',')))
        text.chop(1);
    return text;
}

TEST_F(PointDocumentTest, ThirtySixLinesLoadNormalisedAndSaveUnchanged) {
    QByteArray file = "12,50;3\r\n";
    QStringList xs{QStringLiteral("12,5")}, ys{QStringLiteral("3")};
    for (int i = 2; i <= 36; ++i) {
        const QString x = QStringLiteral("%1,%2").arg(i).arg((i % 4) * 25, 2, 10, QLatin1Char('0'));
        const QString y = QStringLiteral("-%1,0").arg(i * 3);
        file += (x + QLatin1Char(';') + y + QStringLiteral("\r\n")).toLatin1();
        xs << DropTrailingZeros(x);
        ys << DropTrailingZeros(y);
    }
    const QString path = Write(QStringLiteral("pts.crd"), file);
    TRedForm* w = Open(path, 2);
    TStringGrid& grid = *w->StringGrid1;
    ASSERT_EQ(grid.RowCount(), 37);
    EXPECT_EQ(grid.Cells(1, 0), QStringLiteral("x"));
    for (int r = 1; r <= 36; ++r) {
        EXPECT_EQ(grid.Cells(0, r), QString::number(r));
        EXPECT_EQ(grid.Cells(1, r), xs[r - 1]) << r;
        EXPECT_EQ(grid.Cells(2, r), ys[r - 1]) << r;
    }
    EXPECT_EQ(grid.Cells(1, 1), QStringLiteral("12,5"));
    EXPECT_FALSE(w->modified);

    const QString saved = Path(QStringLiteral("saved.crd"));
    host.answerFile(saved);
    w->N3Click();
    QByteArray expected;
    for (int i = 0; i < 36; ++i)
        expected += (xs[i] + QStringLiteral(" ; ") + ys[i] + QStringLiteral("\r\n")).toLatin1();
    EXPECT_EQ(Read(saved), expected);
    EXPECT_FALSE(w->modified);
}

TEST_F(PointDocumentTest, NumbersAreShownInTheGeneralFormat) {
    const QString path = Write(QStringLiteral("n.crd"), "1E3;2e-1\r\n"
                                                        "  12,5 ; -3  \r\n"
                                                        "0,00005;0,0001\r\n"
                                                        "+7;-0,5\r\n"
                                                        "999999999999999;1000000000000000\r\n"
                                                        "5,00000000000000499999;,5\r\n");
    TRedForm* w = Open(path, 10);
    const TStringGrid& g = *w->StringGrid1;
    ASSERT_EQ(g.RowCount(), 7);
    const char* expected[][2] = {{"1000", "0,2"},
                                 {"12,5", "-3"},
                                 {"5E-5", "0,0001"},
                                 {"7", "-0,5"},
                                 {"999999999999999", "1E15"},
                                 // Rounded from the text's full precision, not from a double
                                 // (which would give 5,00000000000001).
                                 {"5", "0,5"}};
    for (int r = 1; r <= 6; ++r) {
        EXPECT_EQ(g.Cells(1, r), QString::fromUtf8(expected[r - 1][0])) << r;
        EXPECT_EQ(g.Cells(2, r), QString::fromUtf8(expected[r - 1][1])) << r;
    }
}

TEST_F(PointDocumentTest, SpatialAndListFilesRoundTrip) {
    TRedForm* spatial = Open(Write(QStringLiteral("s.crd"), "1;2;3\r\n-1,5 ; 0 ; 2E20\r\n"), 1);
    const TStringGrid& s = *spatial->StringGrid1;
    ASSERT_EQ(s.RowCount(), 3);
    EXPECT_EQ(s.Cells(3, 2), QStringLiteral("2E20"));
    host.answerFile(Path(QStringLiteral("s2.crd")));
    spatial->N3Click();
    EXPECT_EQ(Read(Path(QStringLiteral("s2.crd"))), QByteArray("1 ; 2 ; 3\r\n-1,5 ; 0 ; 2E20\r\n"));

    TRedForm* list = Open(Write(QStringLiteral("l.lst"), "$1F\r\n0x10\r\n+5\r\n  7\r\n-12\r\n"), 4);
    const TStringGrid& l = *list->StringGrid1;
    ASSERT_EQ(l.RowCount(), 6);
    EXPECT_EQ(l.Cells(1, 1), QStringLiteral("31"));
    EXPECT_EQ(l.Cells(1, 4), QStringLiteral("7"));
    host.answerFile(Path(QStringLiteral("l2.lst")));
    list->N3Click();
    EXPECT_EQ(Read(Path(QStringLiteral("l2.lst"))), QByteArray("31\r\n16\r\n5\r\n7\r\n-12\r\n"));
}

TEST_F(PointDocumentTest, LinesEndAtCrLfOrCrLfAndTextEndsAtNul) {
    const QByteArray bytes("1;2\r3;4\n5;6\r\n7;8\0"
                           "9;10\r\n",
                           22);
    const QString path = Write(QStringLiteral("e.crd"), bytes);
    TRedForm* w = Open(path, 2);
    const TStringGrid& g = *w->StringGrid1;
    ASSERT_EQ(g.RowCount(), 5);
    EXPECT_EQ(g.RowCount() - 1, ReadTextLines(path).size());
    for (int r = 1; r <= 4; ++r) {
        EXPECT_EQ(g.Cells(1, r), QString::number(2 * r - 1));
        EXPECT_EQ(g.Cells(2, r), QString::number(2 * r));
    }
}

TEST_F(PointDocumentTest, MalformedFilesFailToOpen) {
    struct Case {
        int kind;
        QByteArray bytes;
    };
    const Case cases[] = {
        {1, "1;2;3\r\n1;2\r\n"},   // two fields for a spatial file
        {1, "1;2;3;4\r\n"},        // four fields
        {2, "1;2\r\n1;2;3\r\n"},   // three fields for a planar file
        {2, "12\r\n"},             // no semicolon
        {2, "1;2\r\n\r\n3;4\r\n"}, // a blank line
        {2, "1;2\r\n1\t;2\r\n"},   // a tab is no blank
        {2, "1;2\xE0\r\n"},        // a letter of the code page
        {9, "1.5;2\r\n"},          // a point under comma settings
        {4, "12 \r\n"},            // a blank after a list entry
        {4, "1,5\r\n"},            // not an integer
        {4, "2147483648\r\n"},     // beyond 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        host.clearRecords();
        host.answerOk();
        TRedForm* w = CreateEditorWindow();
        EXPECT_EQ(w->OpenDocument(Write(QStringLiteral("bad.crd"), c.bytes), c.kind), 0);
        ASSERT_EQ(host.records().size(), 1u);
        EXPECT_EQ(host.records()[0].text, kInternalError);
        EXPECT_EQ(host.records()[0].caption, QStringLiteral("Ошибка!"));
        EXPECT_FALSE(w->isVisible());
    }
}

TEST_F(PointDocumentTest, EveryLineIsConvertedBeforeTheGridIsSized) {
    // A bad line anywhere, the last included: the grid never takes the file's rows.
    for (const QByteArray& bytes :
         {QByteArray("1;2\r\n3;4\r\nx;6\r\n7;8\r\n"), QByteArray("1;2\r\n3;4\r\n5;6\r\n7;\r\n")}) {
        host.answerOk();
        TRedForm* w = CreateEditorWindow();
        EXPECT_EQ(w->OpenDocument(Write(QStringLiteral("p.crd"), bytes), 2), 0);
        const TStringGrid& g = *w->StringGrid1;
        EXPECT_EQ(g.RowCount(), 2) << bytes.toStdString();
        EXPECT_EQ(g.Cells(1, 1), QString());
    }
}

TEST_F(PointDocumentTest, AnEmptyFileHasNoDataRowAndSavesEmpty) {
    TRedForm* w = Open(Write(QStringLiteral("empty.crd"), ""), 2);
    const TStringGrid& g = *w->StringGrid1;
    EXPECT_EQ(g.RowCount(), 1);
    EXPECT_EQ(g.FixedRows(), 1);
    EXPECT_EQ(g.Cells(1, 0), QStringLiteral("x"));
    EXPECT_EQ(g.Cells(2, 0), QStringLiteral("y"));
    const QString saved = Write(QStringLiteral("old.crd"), "old contents\r\n");
    host.answerFile(saved);
    w->N3Click();
    EXPECT_EQ(Read(saved), QByteArray());
}

TEST_F(PointDocumentTest, ValuesBeyondADoubleAreInvalid) {
    // In a file: the open fails, as the coordinate reader would refuse the file.
    const QString huge = QStringLiteral("1") + QString(400, QLatin1Char('0'));
    for (const QByteArray& bytes :
         {QByteArray("1;2;3\r\n1,8e308;0;0\r\n"), "0;0;" + huge.toLatin1() + "\r\n"}) {
        host.answerOk();
        TRedForm* w = CreateEditorWindow();
        EXPECT_EQ(w->OpenDocument(Write(QStringLiteral("big.crd"), bytes), 1), 0);
        ASSERT_EQ(host.records().size(), 1u);
        EXPECT_EQ(host.records()[0].text, kInternalError);
        host.clearRecords();
    }
    // Typed: the row's message on save, nothing written.
    TRedForm* w = Open(Write(QStringLiteral("p.crd"), "1;1;1\r\n2;2;2\r\n"), 1);
    w->StringGrid1->SetCell(3, 2, QStringLiteral("-1,8e308"));
    w->modified = true;
    host.answerOk();
    w->N3Click();
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].text, QStringLiteral("Ошибка в 2-й строке координат точек сцены!"));
    EXPECT_EQ(Read(Path(QStringLiteral("p.crd"))), "1;1;1\r\n2;2;2\r\n");
    // The largest double itself is a coordinate.
    host.clearRecords();
    w->StringGrid1->SetCell(3, 2, QStringLiteral("1,79769313486231E308"));
    host.answerFile(Path(QStringLiteral("p.crd")));
    w->N3Click();
    EXPECT_EQ(Read(Path(QStringLiteral("p.crd"))), "1 ; 1 ; 1\r\n2 ; 2 ; 1,79769313486231E308\r\n");
}

TEST_F(PointDocumentTest, TheCheckReportsTheFirstBadRowOnly) {
    TRedForm* w = Open(Write(QStringLiteral("p.crd"), "1;1\r\n2;2\r\n3;3\r\n4;4\r\n5;5\r\n"), 2);
    TStringGrid& g = *w->StringGrid1;
    g.SetCell(2, 2, QStringLiteral("abc"));
    g.SetCell(1, 5, QString());
    w->modified = true;
    host.answerOk();
    w->N3Click();
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].kind, DialogRecord::Kind::ShowMessage);
    EXPECT_EQ(host.records()[0].text, QStringLiteral("Ошибка в 2-й строке координат изображения!"));
    // No dialog, no file; the cells as typed; the flag kept.
    EXPECT_EQ(g.Cells(2, 2), QStringLiteral("abc"));
    EXPECT_TRUE(w->modified);
}

TEST_F(PointDocumentTest, EachKindNamesItsRowsInTheMessage) {
    struct Case {
        int kind;
        int row;
        QString bad;
        QString message;
    };
    const Case cases[] = {
        {1, 1, QStringLiteral("x"), QStringLiteral("Ошибка в 1-й строке координат точек сцены!")},
        {2, 3, QStringLiteral("1.5"), QStringLiteral("Ошибка в 3-й строке координат изображения!")},
        {3, 2, QString(), QStringLiteral("Ошибка в 2-й строке координат изображения!")},
        {9, 3, QStringLiteral("1,5 5"),
         QStringLiteral("Ошибка в 3-й строке координат изображения!")},
        {10, 1, QStringLiteral("--1"),
         QStringLiteral("Ошибка в 1-й строке координат изображения!")},
        {4, 2, QStringLiteral("12 "), QStringLiteral("Ошибка в 2-й строке!")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TRedForm* w = Open(QString(), c.kind);
        TStringGrid& g = *w->StringGrid1;
        w->ToolButton5Click();
        w->ToolButton5Click();
        for (int r = 1; r <= 3; ++r)
            for (int col = 1; col < g.ColCount(); ++col)
                g.SetCell(col, r, QStringLiteral(" 1 "));
        if (c.kind == 4)
            for (int r = 1; r <= 3; ++r)
                g.SetCell(1, r, QStringLiteral("  1"));
        g.SetCell(g.ColCount() - 1, c.row, c.bad);
        host.clearRecords();
        host.answerOk();
        w->N3Click();
        ASSERT_EQ(host.records().size(), 1u);
        EXPECT_EQ(host.records()[0].kind, DialogRecord::Kind::ShowMessage);
        EXPECT_EQ(host.records()[0].text, c.message);
    }
}

TEST_F(PointDocumentTest, BlanksAroundCoordinatesAreAcceptedAndDropped) {
    for (int kind : {1, 2, 3, 9, 10}) {
        SCOPED_TRACE(kind);
        TRedForm* w = Open(QString(), kind);
        TStringGrid& g = *w->StringGrid1;
        for (int col = 1; col < g.ColCount(); ++col)
            g.SetCell(col, 1, QStringLiteral("  1,50 "));
        const QString saved = Path(QStringLiteral("b%1.crd").arg(kind));
        host.answerFile(saved);
        w->N3Click();
        EXPECT_EQ(Read(saved),
                  kind == 1 ? QByteArray("1,5 ; 1,5 ; 1,5\r\n") : QByteArray("1,5 ; 1,5\r\n"));
    }
}

TEST_F(PointDocumentTest, ANewDocumentSavedAtOnceIsRejected) {
    TRedForm* w = Open(QString(), 2);
    host.answerOk();
    w->N3Click();
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_EQ(host.records()[0].kind, DialogRecord::Kind::ShowMessage);
    EXPECT_EQ(host.records()[0].caption, QStringLiteral("VRMA"));
    EXPECT_EQ(host.records()[0].text, QStringLiteral("Ошибка в 1-й строке координат изображения!"));
}

TEST_F(PointDocumentTest, TheDialogProposesTheOpenedNameWithTheKindsFilter) {
    struct Case {
        int kind;
        QString filter, ext;
    };
    const QString crd = QStringLiteral("Coordinate Files|*.crd|All Files|*.*");
    const Case cases[] = {
        {1, crd, QStringLiteral("*.crd")},
        {2, crd, QStringLiteral("*.crd")},
        {3, crd, QStringLiteral("*.crd")},
        {4, QStringLiteral("List Files|*.lst|All Files|*.*"), QStringLiteral("*.lst")},
        {9, crd, QStringLiteral("*.crd")},
        {10, crd, QStringLiteral("*.crd")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const QString path = Write(QStringLiteral("k%1").arg(c.kind), c.kind == 1   ? "1;2;3\r\n"
                                                                      : c.kind == 4 ? "5\r\n"
                                                                                    : "1;2\r\n");
        TRedForm* w = Open(path, c.kind);
        host.clearRecords();
        host.answerCancel();
        w->N3Click();
        ASSERT_EQ(host.records().size(), 1u);
        EXPECT_EQ(host.records()[0].kind, DialogRecord::Kind::FileDialog);
        EXPECT_EQ(host.records()[0].filter, c.filter);
        EXPECT_EQ(host.records()[0].defaultExt, c.ext);
        EXPECT_EQ(host.records()[0].fileName, path);
    }
    // A new document proposes no name.
    TRedForm* w = Open(QString(), 4);
    w->StringGrid1->SetCell(1, 1, QStringLiteral("3"));
    host.clearRecords();
    host.answerCancel();
    w->N3Click();
    ASSERT_EQ(host.records().size(), 1u);
    EXPECT_TRUE(host.records()[0].fileName.isEmpty());
}

TEST_F(PointDocumentTest, TheGeometryKindsConfigureTheirOwnDialog) {
    struct Case {
        int kind;
        QString filter, ext;
    };
    const QString cam = QStringLiteral("Cam Files|*.cam|All Files|*.*");
    const QString ort = QStringLiteral("Orientation Files|*.ort|All Files|*.*");
    const Case cases[] = {{5, cam, QStringLiteral("*.cam")},
                          {6, cam, QStringLiteral("*.cam")},
                          {7, ort, QStringLiteral("*.ort")},
                          {8, ort, QStringLiteral("*.ort")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TRedForm* w = Open(QString(), c.kind);
        // The dialog is configured before the geometry check decides; cancelled, it
        // leaves the configuration as it was.
        host.answerCancel();
        try {
            w->N3Click();
        } catch (const std::exception&) {
        }
        if (host.pendingAnswers() > 0) {
            EXPECT_FALSE(w->SaveDialog.Execute());
        }
        const auto dialogs = host.records(DialogRecord::Kind::FileDialog);
        ASSERT_EQ(dialogs.size(), 1u);
        EXPECT_EQ(dialogs[0].filter, c.filter);
        EXPECT_EQ(dialogs[0].defaultExt, c.ext);
        EXPECT_TRUE(dialogs[0].fileName.isEmpty());
        host.clearRecords();
    }
}

TEST_F(PointDocumentTest, SavingUnderAnotherNameKeepsTheCaptionAndTheProposal) {
    const QString path = Write(QStringLiteral("orig.crd"), "1;2\r\n");
    TRedForm* w = Open(path, 2);
    const QString caption = w->windowTitle();
    const QString other = Path(QStringLiteral("other.crd"));
    host.answerFile(other);
    w->N3Click();
    EXPECT_EQ(Read(other), QByteArray("1 ; 2\r\n"));
    EXPECT_EQ(w->windowTitle(), caption);
    EXPECT_EQ(w->fileName, path);
    host.answerCancel();
    w->N3Click();
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[1].fileName, path);
}

TEST_F(PointDocumentTest, TheFlagIsClearedOnlyWhenTheFileWasWritten) {
    TRedForm* w = Open(Write(QStringLiteral("m.crd"), "1;2\r\n"), 2);
    // Cancelled dialog.
    w->modified = true;
    host.answerCancel();
    w->N3Click();
    EXPECT_TRUE(w->modified);
    // Rejected check.
    w->StringGrid1->SetCell(1, 1, QStringLiteral("?"));
    host.answerOk();
    w->N3Click();
    EXPECT_TRUE(w->modified);
    // Written.
    w->StringGrid1->SetCell(1, 1, QStringLiteral("3"));
    host.answerFile(Path(QStringLiteral("m2.crd")));
    w->N3Click();
    EXPECT_FALSE(w->modified);
    EXPECT_EQ(Read(Path(QStringLiteral("m2.crd"))), QByteArray("3 ; 2\r\n"));
}

TEST_F(PointDocumentTest, AFailedWriteReachesTheCallerAndKeepsTheFlag) {
    TRedForm* w = Open(Write(QStringLiteral("w.crd"), "1;2\r\n"), 2);
    w->modified = true;
    host.answerFile(Path(QStringLiteral("no-such-folder/w.crd")));
    EXPECT_THROW(w->N3Click(), std::exception);
    EXPECT_TRUE(w->modified);
}

TEST_F(PointDocumentTest, ThePointDecimalSeparatorWorksUnderPointSettings) {
    SetDecimalSeparator(QLatin1Char('.'));
    host.answerOk();
    TRedForm* bad = CreateEditorWindow();
    EXPECT_EQ(bad->OpenDocument(Write(QStringLiteral("p.crd"), "1.50;2,5\r\n"), 2), 0);
    TRedForm* good = Open(Write(QStringLiteral("q.crd"), "1.50;-2.5E1\r\n"), 2);
    EXPECT_EQ(good->StringGrid1->Cells(1, 1), QStringLiteral("1.5"));
    EXPECT_EQ(good->StringGrid1->Cells(2, 1), QStringLiteral("-25"));
}

} // namespace
} // namespace vrma::test
