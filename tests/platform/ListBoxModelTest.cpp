// The list box's model answers its view as a string-list model does, and a view over it
// shows the same pixels.
#include "platform/ListBoxModel.h"

#include "data/Procedures.h"

#include <QApplication>
#include <QImage>
#include <QListView>
#include <QStringListModel>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace vrma {
namespace {

// Ratios as a calibration lists them (a few of them rounding alike, one negative).
std::vector<double> SomeValues(int n) {
    std::vector<double> values;
    for (int k = 0; k < n; ++k)
        values.push_back(k == 2 ? -0.99996 : 1.0 + k * 0.7e-4);
    return values;
}

QStringList Tail() {
    return {QString(),
            QStringLiteral("Среднее значение:"),
            QStringLiteral("1.0023"),
            QString(),
            QStringLiteral("СКО:"),
            QStringLiteral("0.0051")};
}

QStringList SomeLines(int n) {
    QStringList lines;
    for (double value : SomeValues(n))
        lines << FormatFixed4(value);
    return lines + Tail();
}

// The lines given as texts, and as numbers with the text after them.
class ListBoxModelKinds : public ::testing::TestWithParam<bool> {
protected:
    void Set(TListBoxModel& model, int n) const {
        if (GetParam())
            model.setFixed4Lines(SomeValues(n), Tail());
        else
            model.setStringList(SomeLines(n));
    }
};

INSTANTIATE_TEST_SUITE_P(TextsOrNumbers, ListBoxModelKinds, ::testing::Bool());

TEST_P(ListBoxModelKinds, AnswersAsAStringListModel) {
    const QStringList lines = SomeLines(5);
    TListBoxModel model;
    Set(model, 5);
    QStringListModel reference(lines);
    EXPECT_EQ(model.stringList(), lines);
    ASSERT_EQ(model.rowCount(), reference.rowCount());
    const QModelIndex parent = model.index(0);
    EXPECT_EQ(model.rowCount(parent), 0);
    for (int row : {-1, 0, 1, 5, 6, 10, 11, 12, 1000}) {
        for (int column : {-1, 0, 1}) {
            const QModelIndex ours = model.index(row, column);
            const QModelIndex theirs = reference.index(row, column);
            ASSERT_EQ(ours.isValid(), theirs.isValid()) << row << "," << column;
            EXPECT_EQ(model.flags(ours), reference.flags(theirs)) << row << "," << column;
            EXPECT_FALSE(model.index(row, column, parent).isValid());
            if (!ours.isValid())
                continue;
            EXPECT_EQ(ours.row(), row);
            EXPECT_EQ(ours.column(), column);
            EXPECT_EQ(ours.model(), &model);
            for (int role : {int(Qt::DisplayRole), int(Qt::EditRole), int(Qt::ToolTipRole),
                             int(Qt::DecorationRole), int(Qt::SizeHintRole)})
                EXPECT_EQ(model.data(ours, role), reference.data(theirs, role)) << row << role;
            for (int to : {-1, 0, 3, 11, 12})
                EXPECT_EQ(model.sibling(to, 0, ours).isValid(),
                          reference.sibling(to, 0, theirs).isValid())
                    << row << " -> " << to;
        }
    }
    EXPECT_EQ(model.flags(QModelIndex()), reference.flags(QModelIndex()));
    EXPECT_FALSE(model.sibling(0, 0, QModelIndex()).isValid());
}

TEST(ListBoxModel, ReplacingTheLinesResetsTheModel) {
    TListBoxModel model;
    model.setStringList(SomeLines(3));
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    model.setStringList({QStringLiteral("a")});
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0)).toString(), QStringLiteral("a"));
    model.setStringList({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.index(0).isValid());
}

// Two list views set up alike, over the two models with the same lines.
struct Views {
    QStringListModel reference;
    TListBoxModel ours;
    std::unique_ptr<QListView> referenceView = std::make_unique<QListView>();
    std::unique_ptr<QListView> ourView = std::make_unique<QListView>();

    explicit Views(const QStringList& lines) {
        reference.setStringList(lines);
        ours.setStringList(lines);
        referenceView->setModel(&reference);
        ourView->setModel(&ours);
        for (QListView* view : {referenceView.get(), ourView.get()}) {
            view->setUniformItemSizes(true);
            view->setEditTriggers(QAbstractItemView::NoEditTriggers);
            view->setSelectionMode(QAbstractItemView::SingleSelection);
            view->resize(185, 300);
            view->show();
        }
        QCoreApplication::processEvents();
    }
    void Select(int row) {
        referenceView->setCurrentIndex(reference.index(row));
        ourView->setCurrentIndex(ours.index(row));
        QCoreApplication::processEvents();
    }
    bool SamePixels() const { return referenceView->grab().toImage() == ourView->grab().toImage(); }
};

TEST_P(ListBoxModelKinds, AViewOverItShowsTheSamePixels) {
    Views views(SomeLines(20000));
    Set(views.ours, 20000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(views.SamePixels());
    views.Select(3);
    EXPECT_TRUE(views.SamePixels());
    views.Select(19999); // scrolled to the end
    EXPECT_TRUE(views.SamePixels());
    views.Select(20003); // "СКО:"
    EXPECT_TRUE(views.SamePixels());
    // The views do differ when their lines do.
    views.ours.setStringList(SomeLines(19999));
    QCoreApplication::processEvents();
    views.Select(20003);
    EXPECT_FALSE(views.SamePixels());
}

} // namespace
} // namespace vrma
