// Keys mark the document; closing asks about unsaved data and keeps the window open
// when the edits would otherwise be lost.
#include "EditorTestSupport.h"
#include "platform/StringGrid.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

namespace vrma::test {
namespace {

const QString kQuestion = QStringLiteral("Данные не сохранены. Сохранить?");

class Closing : public EditorTest {
protected:
    // A shown kind 2 document of two rows, and its file.
    TRedForm* ShownDocument(QString* file = nullptr) {
        const QString path = Write(QStringLiteral("c.crd"), kContents);
        if (file)
            *file = path;
        TRedForm* w = Open(path, 2);
        w->show();
        return w;
    }

    void ExpectQuestion(size_t index = 0) const {
        ASSERT_GT(host.records().size(), index);
        const DialogRecord& q = host.records()[index];
        EXPECT_EQ(q.kind, DialogRecord::Kind::MessageBox);
        EXPECT_EQ(q.text, kQuestion);
        EXPECT_EQ(q.caption, QStringLiteral("Предупреждение"));
        EXPECT_EQ(q.type, MB_YESNO); // Yes and No, no icon
    }

    const QByteArray kContents = "1;2\r\n3;4\r\n";
};

TEST_F(Closing, AnUnchangedDocumentClosesWithoutAQuestion) {
    TRedForm* w = ShownDocument();
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(host.records().empty());
    EXPECT_EQ(EditorWindows().size(), 1); // hidden, not destroyed
}

TEST_F(Closing, ArrowKeysAloneMarkTheDocument) {
    QString file;
    TRedForm* w = ShownDocument(&file);
    QTest::keyClick(w->StringGrid1, Qt::Key_Down);
    EXPECT_TRUE(w->modified);
    EXPECT_EQ(w->StringGrid1->Cells(1, 2), QStringLiteral("3")); // nothing else changed
    host.answerNo();
    EXPECT_TRUE(w->close());
    ExpectQuestion();
    // No: closed at once, nothing written.
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(host.records().size(), 1u);
    EXPECT_EQ(Read(file), kContents);
}

TEST_F(Closing, KeysTypedInTheCellEditorMarkTheDocument) {
    TRedForm* w = ShownDocument();
    TStringGrid& g = *w->StringGrid1;
    g.SetRow(2);
    g.SetCol(1);
    g.edit(g.currentIndex());
    auto* editor = qobject_cast<QLineEdit*>(g.indexWidget(g.currentIndex()));
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_End);
    EXPECT_TRUE(w->modified);
    w->modified = false;
    QTest::keyClick(editor, Qt::Key_5);
    EXPECT_TRUE(w->modified);
    // The save takes the text being edited.
    host.answerYes();
    const QString saved = Path(QStringLiteral("typed.crd"));
    host.answerFile(saved);
    EXPECT_TRUE(w->close());
    EXPECT_EQ(Read(saved), QByteArray("1 ; 2\r\n35 ; 4\r\n"));
}

TEST_F(Closing, ARowCommandLeadsToTheQuestion) {
    TRedForm* w = ShownDocument();
    w->ToolButton5Click();
    host.answerNo();
    w->close();
    ExpectQuestion();
}

TEST_F(Closing, APasteWithoutKeysLeadsToTheQuestion) {
    TRedForm* w = ShownDocument();
    TStringGrid& g = *w->StringGrid1;
    g.SetRow(1);
    g.SetCol(2);
    g.edit(g.currentIndex());
    auto* editor = qobject_cast<QLineEdit*>(g.indexWidget(g.currentIndex()));
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("77"));
    editor->paste();
    EXPECT_TRUE(w->modified);
    host.answerYes();
    const QString saved = Path(QStringLiteral("pasted.crd"));
    host.answerFile(saved);
    w->close();
    ExpectQuestion();
    EXPECT_EQ(Read(saved), QByteArray("1 ; 77\r\n3 ; 4\r\n"));
}

TEST_F(Closing, YesAndAWrittenFileCloses) {
    TRedForm* w = ShownDocument();
    w->StringGrid1->SetCell(1, 1, QStringLiteral("9"));
    w->modified = true;
    host.answerYes();
    const QString saved = Path(QStringLiteral("yes.crd"));
    host.answerFile(saved);
    EXPECT_TRUE(w->close());
    ExpectQuestion();
    EXPECT_EQ(host.records()[1].kind, DialogRecord::Kind::FileDialog);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->modified);
    EXPECT_EQ(Read(saved), QByteArray("9 ; 2\r\n3 ; 4\r\n"));
}

TEST_F(Closing, YesThenCancelKeepsTheWindowAndTheEdits) {
    TRedForm* w = ShownDocument();
    w->StringGrid1->SetCell(1, 1, QStringLiteral("9"));
    w->modified = true;
    host.answerYes();
    host.answerCancel();
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->modified);
    EXPECT_EQ(w->StringGrid1->Cells(1, 1), QStringLiteral("9"));
    // It can be closed later; the question comes again.
    host.answerNo();
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(host.records().size(), 3u);
    ExpectQuestion(2);
}

TEST_F(Closing, DismissingTheQuestionKeepsTheWindowAndTheEdits) {
    QString file;
    TRedForm* w = ShownDocument(&file);
    w->StringGrid1->SetCell(1, 1, QStringLiteral("9"));
    w->modified = true;
    // Escape or the title bar's close button: neither Yes nor No.
    host.answerDismiss();
    EXPECT_FALSE(w->close());
    ExpectQuestion();
    EXPECT_EQ(host.records().size(), 1u); // no save dialog
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->modified);
    EXPECT_EQ(w->StringGrid1->Cells(1, 1), QStringLiteral("9"));
    EXPECT_EQ(Read(file), kContents);
    // "Выход" asks the same question and is dismissed the same way.
    host.answerDismiss();
    w->N6->trigger();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->modified);
    // Then No lets the edits go.
    host.answerNo();
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(host.records().size(), 3u);
    ExpectQuestion(2);
    EXPECT_EQ(Read(file), kContents);
}

TEST_F(Closing, YesWithABadCellShowsTheMessageAndStaysOpen) {
    QString file;
    TRedForm* w = ShownDocument(&file);
    w->StringGrid1->SetCell(2, 2, QStringLiteral("4a"));
    w->modified = true;
    host.answerYes();
    host.answerOk();
    EXPECT_FALSE(w->close());
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[1].kind, DialogRecord::Kind::ShowMessage);
    EXPECT_EQ(host.records()[1].text, QStringLiteral("Ошибка в 2-й строке координат изображения!"));
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->modified);
    EXPECT_EQ(Read(file), kContents);
}

TEST_F(Closing, AFailedWriteIsReportedAndTheWindowStays) {
    TRedForm* w = ShownDocument();
    w->modified = true;
    host.answerYes();
    host.answerFile(Path(QStringLiteral("no-such-folder/x.crd")));
    host.answerOk(); // the default error report
    EXPECT_FALSE(w->close());
    ASSERT_EQ(host.records().size(), 3u);
    EXPECT_EQ(host.records()[2].kind, DialogRecord::Kind::MessageBox);
    EXPECT_FALSE(host.records()[2].text.isEmpty());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->modified);
}

TEST_F(Closing, ExitClosesThroughTheSameQuestion) {
    TRedForm* w = ShownDocument();
    w->modified = true;
    host.answerNo();
    w->N6->trigger();
    ExpectQuestion();
    EXPECT_FALSE(w->isVisible());
}

TEST_F(Closing, TheMenuAndTheSaveButtonRunTheSaveCommand) {
    TRedForm* w = ShownDocument();
    host.answerCancel();
    w->N3->trigger();
    host.answerCancel();
    w->ToolButton10->click();
    ASSERT_EQ(host.records().size(), 2u);
    EXPECT_EQ(host.records()[0].kind, DialogRecord::Kind::FileDialog);
    EXPECT_EQ(host.records()[1].kind, DialogRecord::Kind::FileDialog);
    w->hide();
}

TEST_F(Closing, AGeometryDocumentAsksLikeAnyOther) {
    TRedForm* w = Open(QString(), 5);
    w->show();
    QTest::keyClick(w->StringGrid1, Qt::Key_Down);
    host.answerNo();
    EXPECT_TRUE(w->close());
    ExpectQuestion();
}

} // namespace
} // namespace vrma::test
