#include "platform/ListBox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cmath>

namespace vrma {

TListBox::TListBox(QWidget* parent) : QAbstractItemView(parent) {
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
}

void TListBox::SetRowHeight(int height) {
    rowHeight_ = std::max(1, height);
    scheduleDelayedItemsLayout();
}

int TListBox::Rows() const {
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int TListBox::RowsInView() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

QModelIndex TListBox::Row(int row) const {
    return model() ? model()->index(row, 0, rootIndex()) : QModelIndex();
}

// Positions are worked out from the first line in view, in 64 bits: a list of more than
// INT_MAX / RowHeight() lines is taller than an int can say.
QRect TListBox::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.parent() != rootIndex() || index.column() != 0)
        return QRect();
    const qint64 top = (qint64(index.row()) - verticalScrollBar()->value()) * rowHeight_;
    const qint64 limit = qint64(INT_MAX) - rowHeight_;
    return QRect(0, int(std::clamp<qint64>(top, -limit, limit)), viewport()->width(), rowHeight_);
}

qint64 TListBox::RowAt(int y) const {
    return verticalScrollBar()->value() + qint64(std::floor(double(y) / rowHeight_));
}

void TListBox::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid())
        return;
    const int row = index.row();
    const int first = verticalScrollBar()->value();
    const int inView = RowsInView();
    int top = first;
    switch (hint) {
    case EnsureVisible:
        if (row < first)
            top = row;
        else if (row >= first + inView)
            top = row - inView + 1;
        break;
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - inView + 1;
        break;
    case PositionAtCenter:
        top = row - inView / 2;
        break;
    }
    verticalScrollBar()->setValue(top);
}

QModelIndex TListBox::indexAt(const QPoint& point) const {
    if (point.x() < 0 || point.x() >= viewport()->width() || point.y() < 0)
        return QModelIndex();
    const qint64 row = RowAt(point.y());
    return row < Rows() ? Row(int(row)) : QModelIndex();
}

int TListBox::sizeHintForRow(int row) const {
    return row >= 0 && row < Rows() ? rowHeight_ : -1;
}

void TListBox::reset() {
    QAbstractItemView::reset();
    verticalScrollBar()->setValue(0);
}

QModelIndex TListBox::moveCursor(CursorAction action, Qt::KeyboardModifiers /*modifiers*/) {
    const int rows = Rows();
    if (rows == 0)
        return QModelIndex();
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return Row(0);
    const int row = current.row();
    int to = row;
    switch (action) {
    case MoveUp:
    case MovePrevious:
        to = row - 1;
        break;
    case MoveDown:
    case MoveNext:
        to = row + 1;
        break;
    case MovePageUp: // the line a page above that leaves the current one in view
        to = row - (RowsInView() - 1);
        break;
    case MovePageDown:
        to = row + (RowsInView() - 1);
        break;
    case MoveHome:
        to = 0;
        break;
    case MoveEnd:
        to = rows - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break;
    }
    return Row(std::clamp(to, 0, rows - 1));
}

int TListBox::horizontalOffset() const {
    return 0;
}

int TListBox::verticalOffset() const {
    return int(std::min(qint64(verticalScrollBar()->value()) * rowHeight_, qint64(INT_MAX)));
}

bool TListBox::isIndexHidden(const QModelIndex& /*index*/) const {
    return false;
}

void TListBox::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) {
    if (!selectionModel())
        return;
    const int rows = Rows();
    const QRect area = rect.normalized();
    const qint64 top = RowAt(std::max(area.top(), 0));
    const qint64 bottom = RowAt(area.bottom());
    QItemSelection selection;
    if (rows > 0 && area.bottom() >= 0 && top < rows && area.right() >= 0 &&
        area.left() < viewport()->width())
        selection.select(Row(int(top)), Row(int(std::min<qint64>(bottom, rows - 1))));
    selectionModel()->select(selection, flags);
}

QRegion TListBox::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const QRect view = viewport()->rect();
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex() || range.left() > 0)
            continue;
        const QRect top = visualRect(Row(range.top()));
        const QRect bottom = visualRect(Row(range.bottom()));
        region += (top | bottom) & view;
    }
    return region;
}

void TListBox::paintEvent(QPaintEvent* event) {
    const int rows = Rows();
    if (rows == 0)
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const bool enabled = (state & QStyle::State_Enabled) != 0;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QItemSelectionModel* selections = selectionModel();
    const QPoint mouse = viewport()->mapFromGlobal(QCursor::pos());
    const QModelIndex hover = viewport()->underMouse() ? indexAt(mouse) : QModelIndex();

    const QRect area = event->rect();
    const qint64 first = RowAt(std::max(area.top(), 0));
    const qint64 last = std::min<qint64>(RowAt(area.bottom()), rows - 1);
    QPainter painter(viewport());
    for (qint64 row = first; row <= last; ++row) {
        const QModelIndex index = Row(int(row));
        option.rect = visualRect(index);
        option.state = state;
        if (selections && selections->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (enabled) {
            QPalette::ColorGroup group = QPalette::Normal;
            if (!(model()->flags(index) & Qt::ItemIsEnabled)) {
                option.state &= ~QStyle::State_Enabled;
                group = QPalette::Disabled;
            }
            option.palette.setCurrentColorGroup(group);
        }
        if (focus && current == index)
            option.state |= QStyle::State_HasFocus;
        option.state.setFlag(QStyle::State_MouseOver, index == hover);
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

void TListBox::updateGeometries() {
    const int inView = RowsInView();
    verticalScrollBar()->setRange(0, std::max(0, Rows() - inView));
    verticalScrollBar()->setPageStep(inView);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, 0);
    QAbstractItemView::updateGeometries();
}

} // namespace vrma
