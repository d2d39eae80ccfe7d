// The row commands: insert, append, delete and clear, their numbering and current row,
// against the rules written out and against a plain reference model.
#include "EditorTestSupport.h"
#include "platform/StringGrid.h"

#include <QToolButton>
#include <array>
#include <random>

namespace vrma::test {
namespace {

// The rows of a document as (x, y) texts; the number column is checked separately.
using Rows = std::vector<std::pair<QString, QString>>;

QString X(int i) {
    return QStringLiteral("%1").arg(i);
}
QString Y(int i) {
    return QStringLiteral("%1").arg(i * 10);
}

class RowCommands : public EditorTest {
protected:
    // A kind 2 document of n rows: row i holds (i, 10 i).
    TRedForm* Document(int n) {
        QByteArray bytes;
        for (int i = 1; i <= n; ++i)
            bytes += (X(i) + QLatin1Char(';') + Y(i) + QStringLiteral("\r\n")).toLatin1();
        return Open(Write(QStringLiteral("rows.crd"), bytes), 2);
    }

    static Rows Original(std::initializer_list<int> order) {
        Rows rows;
        for (int i : order)
            rows.push_back(i == 0 ? std::pair<QString, QString>() : std::pair{X(i), Y(i)});
        return rows;
    }

    // The grid holds exactly these rows, numbered 1, 2, 3 … below the header.
    static void Expect(const TRedForm& w, const Rows& rows, int current) {
        const TStringGrid& g = *w.StringGrid1;
        ASSERT_EQ(g.RowCount(), static_cast<int>(rows.size()) + 1);
        EXPECT_EQ(g.Cells(1, 0), QStringLiteral("x"));
        for (int r = 1; r < g.RowCount(); ++r) {
            EXPECT_EQ(g.Cells(0, r), QString::number(r)) << "row " << r;
            EXPECT_EQ(g.Cells(1, r), rows[static_cast<size_t>(r - 1)].first) << "row " << r;
            EXPECT_EQ(g.Cells(2, r), rows[static_cast<size_t>(r - 1)].second) << "row " << r;
        }
        EXPECT_EQ(g.Row(), current);
        EXPECT_TRUE(w.modified);
    }
};

TEST_F(RowCommands, InsertPutsAnEmptyRowAtTheCurrentOne) {
    TRedForm* last = Document(5);
    last->StringGrid1->SetRow(5);
    last->ToolButton3Click();
    Expect(*last, Original({1, 2, 3, 4, 0, 5}), 5);

    TRedForm* first = Document(5);
    first->StringGrid1->SetRow(1);
    first->ToolButton3Click();
    Expect(*first, Original({0, 1, 2, 3, 4, 5}), 1);

    TRedForm* middle = Document(5);
    middle->StringGrid1->SetRow(3);
    middle->ToolButton3Click();
    middle->ToolButton3Click();
    Expect(*middle, Original({1, 2, 0, 0, 3, 4, 5}), 3);
}

TEST_F(RowCommands, AppendAddsAnEmptyRowAtTheEnd) {
    TRedForm* one = Open(QString(), 2);
    one->ToolButton5Click();
    Expect(*one, Original({0, 0}), 1);

    TRedForm* many = Document(5);
    many->StringGrid1->SetRow(3);
    many->ToolButton5Click();
    many->ToolButton5Click();
    Expect(*many, Original({1, 2, 3, 4, 5, 0, 0}), 3);
}

TEST_F(RowCommands, DeleteRemovesTheCurrentRowButNeverTheLastDataRow) {
    TRedForm* one = Document(1);
    one->ToolButton1Click();
    Expect(*one, Original({0}), 1);
    one->ToolButton1Click();
    Expect(*one, Original({0}), 1);

    TRedForm* last = Document(5);
    last->StringGrid1->SetRow(5);
    last->ToolButton1Click();
    Expect(*last, Original({1, 2, 3, 4}), 4);

    TRedForm* first = Document(5);
    first->StringGrid1->SetRow(1);
    first->ToolButton1Click();
    Expect(*first, Original({2, 3, 4, 5}), 1);

    TRedForm* middle = Document(5);
    middle->StringGrid1->SetRow(3);
    middle->ToolButton1Click();
    Expect(*middle, Original({1, 2, 4, 5}), 3);
}

TEST_F(RowCommands, ClearLeavesOneEmptyRowNumberedOne) {
    TRedForm* w = Document(10);
    w->StringGrid1->SetRow(7);
    w->ToolButton8Click();
    Expect(*w, Original({0}), 1);
}

TEST_F(RowCommands, EveryCommandMarksTheDocumentEvenWhenNothingChanged) {
    using Command = void (TRedForm::*)(QObject*);
    for (Command command : {&TRedForm::ToolButton3Click, &TRedForm::ToolButton5Click,
                            &TRedForm::ToolButton1Click, &TRedForm::ToolButton8Click}) {
        TRedForm* w = Open(QString(), 2);
        ASSERT_FALSE(w->modified);
        (w->*command)(nullptr);
        EXPECT_TRUE(w->modified);
    }
}

TEST_F(RowCommands, OnADocumentWithoutDataRowsEachCommandMakesRowOne) {
    using Command = void (TRedForm::*)(QObject*);
    for (Command command : {&TRedForm::ToolButton3Click, &TRedForm::ToolButton5Click,
                            &TRedForm::ToolButton1Click, &TRedForm::ToolButton8Click}) {
        TRedForm* w = Open(Write(QStringLiteral("empty.crd"), ""), 2);
        ASSERT_EQ(w->StringGrid1->RowCount(), 1);
        (w->*command)(nullptr);
        Expect(*w, Original({0}), 1);
        EXPECT_EQ(w->StringGrid1->Cells(2, 0), QStringLiteral("y"));
    }
}

TEST_F(RowCommands, AllThreeDataColumnsMoveInASpatialDocument) {
    TRedForm* w = Open(Write(QStringLiteral("s.crd"), "1;2;3\r\n4;5;6\r\n"), 1);
    TStringGrid& g = *w->StringGrid1;
    g.SetRow(1);
    w->ToolButton3Click();
    EXPECT_EQ(g.Cells(3, 1), QString());
    EXPECT_EQ(g.Cells(3, 2), QStringLiteral("3"));
    EXPECT_EQ(g.Cells(3, 3), QStringLiteral("6"));
    w->ToolButton1Click();
    EXPECT_EQ(g.Cells(3, 1), QStringLiteral("3"));
    EXPECT_EQ(g.Cells(3, 2), QStringLiteral("6"));
}

TEST_F(RowCommands, TheButtonsRunTheCommands) {
    TRedForm* w = Document(3);
    w->show();
    w->ToolButton5->click();
    EXPECT_EQ(w->StringGrid1->RowCount(), 5);
    w->StringGrid1->SetRow(1);
    w->ToolButton1->click();
    EXPECT_EQ(w->StringGrid1->Cells(1, 1), X(2));
    w->ToolButton3->click();
    EXPECT_EQ(w->StringGrid1->Cells(1, 1), QString());
    w->ToolButton8->click();
    EXPECT_EQ(w->StringGrid1->RowCount(), 2);
    w->modified = false;
    w->hide();
}

TEST_F(RowCommands, GeometryDocumentsHaveNoRowCommands) {
    for (int kind : {5, 6, 7, 8}) {
        SCOPED_TRACE(kind);
        TRedForm* w = Open(QString(), kind);
        const int rows = w->StringGrid1->RowCount();
        for (QToolButton* b : {w->ToolButton3, w->ToolButton5, w->ToolButton1, w->ToolButton8}) {
            EXPECT_FALSE(b->isEnabled());
            b->click(); // a disabled button does nothing
        }
        EXPECT_EQ(w->StringGrid1->RowCount(), rows);
        EXPECT_FALSE(w->modified);
    }
}

// The rules written out literally, over a plain vector of rows (columns 0-3; a grid with
// fewer columns shows only its own).
class Reference {
public:
    std::vector<std::array<QString, 4>> rows; // row 0 is the header
    int current = 1;

    void Insert() {
        if (OneRowIfNone())
            return;
        const int last = Count();
        rows.emplace_back(); // the row count grows by one
        for (int i = last; i >= current + 1; --i) {
            for (int c = 1; c <= 3; ++c)
                At(i)[c] = At(i - 1)[c];
            At(i)[0] = QString::number(i);
        }
        for (int c = 1; c <= 3; ++c)
            At(current)[c].clear();
    }
    void Append() {
        if (OneRowIfNone())
            return;
        const int count = Count();
        rows.emplace_back();
        At(count)[0] = QString::number(count);
    }
    void Delete() {
        if (OneRowIfNone())
            return;
        if (Count() <= 2) {
            for (int c = 1; c <= 3; ++c)
                At(1)[c].clear();
            return;
        }
        for (int i = current; i < Count(); ++i)
            for (int c = 1; c <= 3; ++c)
                At(i)[c] = i + 1 < Count() ? At(i + 1)[c] : QString();
        rows.pop_back();
        current = std::min(current, Count() - 1);
    }
    void Clear() {
        if (OneRowIfNone())
            return;
        rows.resize(2);
        for (int c = 1; c <= 3; ++c)
            At(1)[c].clear();
        current = 1;
    }

    int Count() const { return static_cast<int>(rows.size()); }
    std::array<QString, 4>& At(int i) { return rows[static_cast<size_t>(i)]; }

private:
    bool OneRowIfNone() {
        if (Count() >= 2)
            return false;
        rows.resize(2);
        At(1) = {QStringLiteral("1"), {}, {}, {}};
        current = 1;
        return true;
    }
};

TEST_F(RowCommands, RandomCommandsFollowTheRules) {
    std::mt19937 random(4242);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    int commands = 0;
    for (int kind : {2, 1, 4, 9}) {
        SCOPED_TRACE(kind);
        TRedForm* w = nullptr;
        Reference ref;
        auto start = [&](bool emptyFile) {
            w = emptyFile ? Open(Write(QStringLiteral("e.crd"), ""), kind) : Open(QString(), kind);
            ref = Reference();
            ref.rows.resize(1);
            for (int c = 0; c < w->StringGrid1->ColCount(); ++c)
                ref.At(0)[c] = w->StringGrid1->Cells(c, 0);
            if (!emptyFile) {
                ref.rows.push_back({QStringLiteral("1"), {}, {}, {}});
                ref.current = 1;
            }
        };
        start(false);
        for (int step = 0; step < 1500; ++step) {
            TStringGrid& g = *w->StringGrid1;
            const int what = pick(100);
            if (what < 2) {
                start(what == 0);
                continue;
            }
            if (what < 25 && g.RowCount() > 1) {
                // The user moves to a row and types a text in a data cell.
                const int row = 1 + pick(g.RowCount() - 1);
                const int col = 1 + pick(g.ColCount() - 1);
                g.SetRow(row);
                ref.current = row;
                const QString text = QString::number(pick(1000));
                g.SetCell(col, row, text);
                ref.At(row)[col] = text;
                continue;
            }
            w->modified = false;
            switch (what % 4) {
            case 0:
                w->ToolButton3Click();
                ref.Insert();
                break;
            case 1:
                w->ToolButton5Click();
                ref.Append();
                break;
            case 2:
                // Deletes are a little more likely, to keep the tables short.
            case 3:
                if (what % 8 == 7) {
                    w->ToolButton8Click();
                    ref.Clear();
                } else {
                    w->ToolButton1Click();
                    ref.Delete();
                }
                break;
            }
            ++commands;
            ASSERT_TRUE(w->modified);
            ASSERT_EQ(g.RowCount(), ref.Count()) << "step " << step;
            ASSERT_EQ(g.Row(), ref.current) << "step " << step;
            for (int r = 0; r < ref.Count(); ++r)
                for (int c = 0; c < g.ColCount(); ++c)
                    ASSERT_EQ(g.Cells(c, r), ref.At(r)[c])
                        << "step " << step << " cell " << c << "," << r;
        }
    }
    EXPECT_GT(commands, 4000);
}

} // namespace
} // namespace vrma::test
