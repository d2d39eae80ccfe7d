// The list box shows what a list view of the same lines shows, pixel for pixel, as the
// lines are selected, scrolled and paged through, and answers positions, keys and the
// mouse as it does; its layout costs nothing per line.
#include "platform/ListBox.h"
#include "platform/ListBoxModel.h"

#include <QApplication>
#include <QListView>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace vrma {
namespace {

// A list view's rows of one height, as the calibration window set them before.
class HeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), 16);
    }
};

QStringList Lines(int n) {
    QStringList lines;
    for (int k = 0; k < n; ++k)
        lines << QString::number(1.0 + k * 1e-4, 'f', 4);
    lines << QString() << QStringLiteral("Среднее значение:") << QStringLiteral("1.0023")
          << QString() << QStringLiteral("СКО:") << QStringLiteral("0.0051");
    return lines;
}

struct Pair {
    TListBoxModel model;
    std::unique_ptr<QListView> view = std::make_unique<QListView>();
    std::unique_ptr<TListBox> box = std::make_unique<TListBox>();

    explicit Pair(const QStringList& lines, QSize size = QSize(185, 300)) {
        model.setStringList(lines);
        view->setModel(&model);
        view->setUniformItemSizes(true);
        view->setItemDelegate(new HeightDelegate(view.get()));
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        box->setModel(&model);
        box->SetRowHeight(16);
        box->setSelectionMode(QAbstractItemView::SingleSelection);
        for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(view.get()),
                                     static_cast<QAbstractItemView*>(box.get())}) {
            v->resize(size);
            v->show();
        }
        QCoreApplication::processEvents();
    }
    // Each grabbed with the keyboard focus, as the window on screen has it.
    bool SamePixels() const { return Focused(view.get()) == Focused(box.get()); }
    static QImage Focused(QAbstractItemView* v) {
        QApplication::setActiveWindow(v);
        v->setFocus();
        QCoreApplication::processEvents();
        EXPECT_TRUE(v->hasFocus());
        return v->grab().toImage();
    }
    void Key(int key) {
        QTest::keyClick(view.get(), Qt::Key(key));
        QTest::keyClick(box.get(), Qt::Key(key));
        QCoreApplication::processEvents();
    }
    void Select(int row) {
        view->setCurrentIndex(model.index(row));
        box->setCurrentIndex(model.index(row));
        QCoreApplication::processEvents();
    }
};

TEST(ListBox, ShowsWhatAListViewShows) {
    Pair pair(Lines(5000));
    EXPECT_TRUE(pair.SamePixels());
    pair.Select(3);
    EXPECT_TRUE(pair.SamePixels());
    pair.Select(5005); // the last line: scrolled to the end
    EXPECT_TRUE(pair.SamePixels());
    EXPECT_EQ(pair.box->verticalScrollBar()->value(), pair.view->verticalScrollBar()->value());
    EXPECT_EQ(pair.box->verticalScrollBar()->maximum(), pair.view->verticalScrollBar()->maximum());
    for (int key : {Qt::Key_Home, Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_Down, Qt::Key_Up,
                    Qt::Key_PageUp, Qt::Key_End, Qt::Key_Up}) {
        pair.Key(key);
        EXPECT_EQ(pair.box->currentIndex().row(), pair.view->currentIndex().row()) << key;
        EXPECT_EQ(pair.box->verticalScrollBar()->value(), pair.view->verticalScrollBar()->value())
            << key;
        EXPECT_TRUE(pair.SamePixels()) << key;
    }
    // The views do differ when their lines do: the comparison sees the text.
    TListBoxModel other;
    QStringList changed = Lines(5000);
    changed[5004] = QStringLiteral("СКО: ");
    other.setStringList(changed);
    pair.box->setModel(&other);
    pair.box->setCurrentIndex(other.index(5005));
    QCoreApplication::processEvents();
    EXPECT_FALSE(pair.SamePixels());
}

TEST(ListBox, FewerLinesThanTheViewHolds) {
    Pair pair(Lines(3));
    EXPECT_TRUE(pair.SamePixels());
    EXPECT_EQ(pair.box->verticalScrollBar()->maximum(), 0);
    pair.Select(8);
    EXPECT_TRUE(pair.SamePixels());
    pair.model.setStringList({});
    QCoreApplication::processEvents();
    EXPECT_TRUE(pair.SamePixels());
    EXPECT_FALSE(pair.box->indexAt(QPoint(5, 5)).isValid());
}

TEST(ListBox, PositionsAndClicksAnswerAsTheRows) {
    Pair pair(Lines(1000));
    TListBox& box = *pair.box;
    EXPECT_EQ(box.sizeHintForRow(0), 16);
    EXPECT_EQ(box.visualRect(pair.model.index(1)).top(),
              box.visualRect(pair.model.index(0)).top() + 16);
    EXPECT_EQ(box.indexAt(QPoint(10, 16 * 4 + 3)).row(), 4);
    for (const QPoint at : {QPoint(10, 3), QPoint(10, 16 * 7 + 15), QPoint(60, 16 * 12)}) {
        EXPECT_EQ(box.indexAt(at), pair.view->indexAt(at)) << at.x() << "," << at.y();
        EXPECT_EQ(box.visualRect(box.indexAt(at)), pair.view->visualRect(pair.view->indexAt(at)));
    }
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(10, 16 * 5 + 8));
    EXPECT_EQ(box.currentIndex().row(), 5);
    EXPECT_TRUE(box.selectionModel()->isSelected(pair.model.index(5)));
    // Scrolled by the wheel's worth of lines, the same line is under the same point.
    box.scrollTo(pair.model.index(500), QAbstractItemView::PositionAtTop);
    EXPECT_EQ(box.indexAt(QPoint(10, 2)).row(), 500);
    EXPECT_EQ(box.visualRect(pair.model.index(500)).top(), 0);
}

// A list box of 16-pixel lines over the model, shown at the window's size of it.
void Show(TListBox& box, QAbstractItemModel& model) {
    box.SetRowHeight(16);
    box.setModel(&model);
    box.resize(185, 300);
    box.show();
    QCoreApplication::processEvents();
}

TEST(ListBox, AMillionLinesAreShownWithoutLayingThemOut) {
    TListBoxModel model;
    std::vector<double> values(1000000, 1.0023);
    values.back() = 0.5;
    model.setFixed4Lines(values, {QStringLiteral("СКО:")});
    TListBox box;
    Show(box, model);
    box.scrollTo(model.index(1000000), QAbstractItemView::EnsureVisible);
    QCoreApplication::processEvents();
    EXPECT_EQ(box.indexAt(QPoint(5, box.visualRect(model.index(999999)).center().y())).row(),
              999999);
    EXPECT_EQ(box.verticalScrollBar()->maximum(), 1000001 - box.viewport()->height() / 16);
}

// Lines beyond what an int can say in pixels (200 million of 16 pixels): the positions
// are those of the lines in view all the same.
class TallModel : public QAbstractListModel {
public:
    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : 200000000;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        return role == Qt::DisplayRole ? QVariant(QString::number(index.row())) : QVariant();
    }
};

TEST(ListBox, ListsTallerThanAnIntCanSay) {
    TallModel model;
    TListBox box;
    Show(box, model);
    const QModelIndex last = model.index(199999999);
    box.scrollTo(last);
    QCoreApplication::processEvents();
    const QRect rect = box.visualRect(last);
    EXPECT_TRUE(box.viewport()->rect().contains(rect)) << rect.y();
    EXPECT_EQ(box.indexAt(rect.center()), last);
    EXPECT_EQ(box.indexAt(QPoint(5, 2)).row(), box.verticalScrollBar()->value());
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(box.currentIndex(), last);
    QTest::keyClick(&box, Qt::Key_Home);
    EXPECT_EQ(box.currentIndex().row(), 0);
    EXPECT_EQ(box.visualRect(model.index(0)).top(), 0);
    EXPECT_FALSE(box.grab().isNull());
}

} // namespace
} // namespace vrma
