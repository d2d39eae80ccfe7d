#include "platform/StringGrid.h"

#include "data/Errors.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cstdint>

namespace vrma {

namespace {

// Where the text of one cell lies in the pool; an empty text has length 0.
struct CellSpan {
    quint32 offset = 0;
    quint32 length = 0;
};

// The cells of a grid, column by column, over one pool of UTF-16 text. A changed or
// dropped text stays in the pool as garbage until the pool is compacted, which happens
// once the garbage outweighs the live text.
class CellStore {
public:
    int Rows() const { return rows_; }
    int Cols() const { return static_cast<int>(cols_.size()); }

    QStringView View(int col, int row) const {
        const CellSpan s = cols_[static_cast<size_t>(col)][static_cast<size_t>(row)];
        return QStringView(text_.data() + s.offset, static_cast<qsizetype>(s.length));
    }

    void Set(int col, int row, QStringView text) {
        const char16_t* data = text.utf16();
        if (!text.isEmpty() && !text_.empty() && data >= text_.data() &&
            data < text_.data() + text_.size()) {
            // A text taken from the pool itself: the pool may move while it grows.
            const QString copy = text.toString();
            Set(col, row, copy);
            return;
        }
        CellSpan& span = Span(col, row);
        garbage_ += span.length;
        span = CellSpan{};
        if (text.isEmpty()) {
            CompactIfWorthIt();
            return;
        }
        const size_t length = static_cast<size_t>(text.size());
        if (text_.size() + length > UINT32_MAX) {
            Compact();
            if (text_.size() + length > UINT32_MAX)
                throw Exception("The grid cannot hold more text");
        }
        span.offset = static_cast<quint32>(text_.size());
        span.length = static_cast<quint32>(length);
        text_.insert(text_.end(), data, data + length);
        CompactIfWorthIt();
    }

    void SetRows(int rows) {
        for (auto& col : cols_) {
            for (size_t r = static_cast<size_t>(rows); r < col.size(); ++r)
                garbage_ += col[r].length;
            col.resize(static_cast<size_t>(rows));
        }
        rows_ = rows;
        CompactIfWorthIt();
    }

    void SetCols(int cols) {
        for (size_t c = static_cast<size_t>(cols); c < cols_.size(); ++c)
            for (const CellSpan& s : cols_[c])
                garbage_ += s.length;
        cols_.resize(static_cast<size_t>(cols), std::vector<CellSpan>(static_cast<size_t>(rows_)));
        CompactIfWorthIt();
    }

    void ShiftDown(int col, int row) {
        auto& c = cols_[static_cast<size_t>(col)];
        garbage_ += c.back().length;
        std::move_backward(c.begin() + row, c.end() - 1, c.end());
        c[static_cast<size_t>(row)] = CellSpan{};
    }

    void ShiftUp(int col, int row) {
        auto& c = cols_[static_cast<size_t>(col)];
        garbage_ += c[static_cast<size_t>(row)].length;
        std::move(c.begin() + row + 1, c.end(), c.begin() + row);
        c.back() = CellSpan{};
    }

    void Reserve(qsizetype chars) {
        if (chars > 0)
            text_.reserve(text_.size() + static_cast<size_t>(chars));
    }

private:
    CellSpan& Span(int col, int row) {
        return cols_[static_cast<size_t>(col)][static_cast<size_t>(row)];
    }

    void CompactIfWorthIt() {
        if (garbage_ > (size_t{1} << 16) && garbage_ * 2 > text_.size())
            Compact();
    }

    void Compact() {
        std::vector<char16_t> fresh;
        fresh.reserve(text_.size() - garbage_);
        for (auto& col : cols_) {
            for (CellSpan& s : col) {
                if (s.length == 0)
                    continue;
                const auto offset = static_cast<quint32>(fresh.size());
                fresh.insert(fresh.end(), text_.data() + s.offset,
                             text_.data() + s.offset + s.length);
                s.offset = offset;
            }
        }
        text_.swap(fresh);
        garbage_ = 0;
    }

    std::vector<std::vector<CellSpan>> cols_;
    std::vector<char16_t> text_;
    size_t garbage_ = 0;
    int rows_ = 0;
};

} // namespace

// The view's model: the cells below the fixed row and right of the fixed column; the
// fixed cells are the header data.
class StringGridModel final : public QAbstractTableModel {
public:
    CellStore store;
    int fixedRows = 0;
    int fixedCols = 0;
    std::function<void(int, int)> onEdited; // (col, row) of a cell the user changed
    // Whether a text is cut where it is shown: (grid column, text); column 0 of a grid
    // with a fixed column is the side header. Such a text is its own tool tip.
    std::function<bool(int, QStringView)> isCut;

    using QAbstractTableModel::beginInsertColumns;
    using QAbstractTableModel::beginInsertRows;
    using QAbstractTableModel::beginRemoveColumns;
    using QAbstractTableModel::beginRemoveRows;
    using QAbstractTableModel::beginResetModel;
    using QAbstractTableModel::endInsertColumns;
    using QAbstractTableModel::endInsertRows;
    using QAbstractTableModel::endRemoveColumns;
    using QAbstractTableModel::endRemoveRows;
    using QAbstractTableModel::endResetModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : store.Rows() - fixedRows;
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : store.Cols() - fixedCols;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        const int col = index.column() + fixedCols;
        const QStringView text = store.View(col, index.row() + fixedRows);
        if (role == Qt::ToolTipRole)
            return isCut && isCut(col, text) ? QVariant(text.toString()) : QVariant();
        if (role != Qt::DisplayRole && role != Qt::EditRole)
            return {};
        return text.toString();
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        int col = 0;
        QStringView text;
        if (orientation == Qt::Horizontal) {
            if (fixedRows == 0 || section < 0 || section + fixedCols >= store.Cols())
                return {};
            col = section + fixedCols;
            text = store.View(col, 0);
        } else {
            if (fixedCols == 0 || section < 0 || section + fixedRows >= store.Rows())
                return {};
            text = store.View(0, section + fixedRows);
        }
        if (role == Qt::ToolTipRole)
            return isCut && isCut(col, text) ? QVariant(text.toString()) : QVariant();
        return text.toString();
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!index.isValid() || role != Qt::EditRole)
            return false;
        const int col = index.column() + fixedCols;
        const int row = index.row() + fixedRows;
        const QString text = value.toString();
        if (store.View(col, row) == text)
            return true;
        store.Set(col, row, text);
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
        if (onEdited)
            onEdited(col, row);
        return true;
    }
};

namespace {

// The in-place editor: a frameless line edit that reports the user's changes at once,
// so a text pasted with the mouse counts before it is committed.
class GridDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    std::function<void(const QModelIndex&)> onTextEdited;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                          const QModelIndex& index) const override {
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        const QPersistentModelIndex where(index);
        QObject::connect(editor, &QLineEdit::textEdited, editor, [this, where] {
            if (where.isValid() && onTextEdited)
                onTextEdited(where);
        });
        return editor;
    }
};

} // namespace

TStringGrid::TStringGrid(QWidget* parent) : QTableView(parent), model_(new StringGridModel) {
    model_->setParent(this);
    model_->onEdited = [this](int col, int row) { emit CellEdited(col, row); };
    model_->isCut = [this](int col, QStringView text) { return IsTextCut(col, text); };
    setModel(model_);

    auto* delegate = new GridDelegate(this);
    delegate->onTextEdited = [this](const QModelIndex& index) { OnEditorTextEdited(index); };
    setItemDelegate(delegate);

    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false);

    QHeaderView* top = horizontalHeader();
    top->setMinimumSectionSize(1);
    top->setDefaultSectionSize(defaultColWidth_);
    top->setSectionResizeMode(QHeaderView::Interactive);
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setStretchLastSection(false);
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(top, &QHeaderView::sectionResized, this, &TStringGrid::OnSectionResized);

    QHeaderView* side = verticalHeader();
    side->setMinimumSectionSize(1);
    side->setSectionResizeMode(QHeaderView::Fixed);
    side->setSectionsClickable(false);
    side->setHighlightSections(false);
    side->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    SetDefaultRowHeight(defaultRowHeight_);
    ApplyHeaders();
}

TStringGrid::~TStringGrid() = default;

void TStringGrid::CheckCell(int col, int row) const {
    if (col < 0 || row < 0 || col >= ColCount() || row >= RowCount())
        throw Exception("Grid index out of range");
}

QString TStringGrid::Cells(int col, int row) const {
    return CellView(col, row).toString();
}

QStringView TStringGrid::CellView(int col, int row) const {
    CheckCell(col, row);
    return model_->store.View(col, row);
}

void TStringGrid::SetCell(int col, int row, const QString& text) {
    SetCell(col, row, QStringView(text));
}

void TStringGrid::SetCell(int col, int row, QStringView text) {
    CheckCell(col, row);
    if (model_->store.View(col, row) == text)
        return;
    model_->store.Set(col, row, text);
    CellsChanged(col, row, row);
}

int TStringGrid::RowCount() const {
    return model_->store.Rows();
}

void TStringGrid::SetRowCount(int count) {
    if (count < model_->fixedRows)
        throw Exception("Grid row count below its fixed rows");
    const int old = RowCount();
    if (count == old)
        return;
    const int fr = model_->fixedRows;
    if (count > old) {
        model_->beginInsertRows(QModelIndex(), old - fr, count - fr - 1);
        model_->store.SetRows(count);
        model_->endInsertRows();
    } else {
        model_->beginRemoveRows(QModelIndex(), count - fr, old - fr - 1);
        model_->store.SetRows(count);
        model_->endRemoveRows();
    }
    EnsureCurrentCell();
}

int TStringGrid::ColCount() const {
    return model_->store.Cols();
}

void TStringGrid::SetColCount(int count) {
    if (count < model_->fixedCols)
        throw Exception("Grid column count below its fixed columns");
    const int old = ColCount();
    if (count == old)
        return;
    colWidths_.resize(static_cast<size_t>(count), defaultColWidth_);
    const int fc = model_->fixedCols;
    if (count > old) {
        model_->beginInsertColumns(QModelIndex(), old - fc, count - fc - 1);
        model_->store.SetCols(count);
        model_->endInsertColumns();
    } else {
        model_->beginRemoveColumns(QModelIndex(), count - fc, old - fc - 1);
        model_->store.SetCols(count);
        model_->endRemoveColumns();
    }
    ApplyColWidths();
    EnsureCurrentCell();
}

int TStringGrid::FixedRows() const {
    return model_->fixedRows;
}

void TStringGrid::SetFixedRows(int count) {
    if (count < 0 || count > 1 || count > RowCount())
        throw Exception("Grid fixed row count out of range");
    if (count == model_->fixedRows)
        return;
    ResetModel([&] { model_->fixedRows = count; });
}

int TStringGrid::FixedCols() const {
    return model_->fixedCols;
}

void TStringGrid::SetFixedCols(int count) {
    if (count < 0 || count > 1 || count > ColCount())
        throw Exception("Grid fixed column count out of range");
    if (count == model_->fixedCols)
        return;
    ResetModel([&] { model_->fixedCols = count; });
}

int TStringGrid::Row() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + model_->fixedRows : model_->fixedRows;
}

void TStringGrid::SetRow(int row) {
    if (row < model_->fixedRows || row >= RowCount())
        throw Exception("Grid row out of range");
    const QModelIndex current = currentIndex();
    const int col = current.isValid() ? current.column() : 0;
    setCurrentIndex(model_->index(row - model_->fixedRows, col));
}

int TStringGrid::Col() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() + model_->fixedCols : model_->fixedCols;
}

void TStringGrid::SetCol(int col) {
    if (col < model_->fixedCols || col >= ColCount())
        throw Exception("Grid column out of range");
    const QModelIndex current = currentIndex();
    const int row = current.isValid() ? current.row() : 0;
    setCurrentIndex(model_->index(row, col - model_->fixedCols));
}

int TStringGrid::ColWidths(int col) const {
    if (col < 0 || col >= ColCount())
        throw Exception("Grid column out of range");
    return colWidths_[static_cast<size_t>(col)];
}

void TStringGrid::SetColWidths(int col, int width) {
    if (col < 0 || col >= ColCount())
        throw Exception("Grid column out of range");
    colWidths_[static_cast<size_t>(col)] = width;
    ApplyColWidths();
}

void TStringGrid::SetDefaultRowHeight(int height) {
    defaultRowHeight_ = height;
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->setFixedHeight(height);
}

void TStringGrid::ShiftColumnDown(int col, int row) {
    CheckCell(col, row);
    model_->store.ShiftDown(col, row);
    CellsChanged(col, row, RowCount() - 1);
}

void TStringGrid::ShiftColumnUp(int col, int row) {
    CheckCell(col, row);
    model_->store.ShiftUp(col, row);
    CellsChanged(col, row, RowCount() - 1);
}

void TStringGrid::CellsChanged(int col, int firstRow, int lastRow) {
    if (updating_ > 0) {
        cellsChangedInUpdate_ = true;
        return;
    }
    const int fr = model_->fixedRows;
    const int fc = model_->fixedCols;
    if (firstRow < fr) {
        if (col >= fc)
            emit model_->headerDataChanged(Qt::Horizontal, col - fc, col - fc);
        firstRow = fr;
    }
    if (firstRow > lastRow)
        return;
    if (col < fc) {
        emit model_->headerDataChanged(Qt::Vertical, firstRow - fr, lastRow - fr);
    } else {
        emit model_->dataChanged(model_->index(firstRow - fr, col - fc),
                                 model_->index(lastRow - fr, col - fc),
                                 {Qt::DisplayRole, Qt::EditRole});
    }
}

void TStringGrid::BeginUpdate() {
    if (updating_++ == 0)
        cellsChangedInUpdate_ = false;
}

void TStringGrid::EndUpdate() {
    if (updating_ == 0 || --updating_ > 0 || !cellsChangedInUpdate_)
        return;
    cellsChangedInUpdate_ = false;
    const int rows = model_->rowCount();
    const int cols = model_->columnCount();
    if (model_->fixedRows > 0 && cols > 0)
        emit model_->headerDataChanged(Qt::Horizontal, 0, cols - 1);
    if (model_->fixedCols > 0 && rows > 0)
        emit model_->headerDataChanged(Qt::Vertical, 0, rows - 1);
    if (rows > 0 && cols > 0)
        emit model_->dataChanged(model_->index(0, 0), model_->index(rows - 1, cols - 1),
                                 {Qt::DisplayRole, Qt::EditRole});
}

void TStringGrid::ResetModel(const std::function<void()>& change) {
    CommitEdit();
    const int row = Row();
    const int col = Col();
    applyingWidths_ = true;
    model_->beginResetModel();
    change();
    model_->endResetModel();
    applyingWidths_ = false;
    ApplyHeaders();
    ApplyColWidths();
    const QModelIndex index = model_->index(std::min(row, RowCount() - 1) - model_->fixedRows,
                                            std::min(col, ColCount() - 1) - model_->fixedCols);
    if (index.isValid())
        setCurrentIndex(index);
    EnsureCurrentCell();
}

void TStringGrid::ReserveText(qsizetype chars) {
    model_->store.Reserve(chars);
}

bool TStringGrid::IsEditing() const {
    return editor_ && editorIndex_.isValid() && indexWidget(editorIndex_) == editor_.data();
}

void TStringGrid::CommitEdit() {
    if (!IsEditing())
        return;
    QWidget* editor = editor_.data();
    editor_ = nullptr;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool TStringGrid::IsTextCut(int col, QStringView text) const {
    if (text.isEmpty() || col < 0 || col >= ColCount())
        return false;
    // The room a cell or header section leaves for its text: the style's margins on
    // either side (three pixels each, as the item views draw them).
    constexpr int kTextMargins = 2 * 3;
    const bool sideHeader = col == 0 && FixedCols() == 1;
    const QHeaderView* header = sideHeader ? verticalHeader() : horizontalHeader();
    const int room = (sideHeader ? header->width() : ColWidths(col)) - kTextMargins;
    return QFontMetrics(header->font()).horizontalAdvance(text.toString()) > room;
}

bool TStringGrid::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress)
        emit KeyDown(static_cast<QKeyEvent*>(event));
    return QTableView::event(event);
}

bool TStringGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && editor_ && watched == editor_.data())
        emit KeyDown(static_cast<QKeyEvent*>(event));
    return QTableView::eventFilter(watched, event);
}

bool TStringGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    const bool editing = QTableView::edit(index, trigger, event);
    if (editing) {
        QWidget* editor = indexWidget(index);
        if (editor && editor != editor_.data()) {
            editor_ = editor;
            editorIndex_ = index;
            // Installed after the delegate's own filter, so it sees every key first.
            editor->installEventFilter(this);
        }
    }
    return editing;
}

void TStringGrid::ApplyHeaders() {
    horizontalHeader()->setVisible(model_->fixedRows > 0);
    verticalHeader()->setVisible(model_->fixedCols > 0);
}

void TStringGrid::ApplyColWidths() {
    applyingWidths_ = true;
    const int fc = model_->fixedCols;
    for (int c = fc; c < ColCount(); ++c)
        horizontalHeader()->resizeSection(c - fc, colWidths_[static_cast<size_t>(c)]);
    if (fc > 0)
        verticalHeader()->setFixedWidth(colWidths_[0]);
    applyingWidths_ = false;
}

void TStringGrid::EnsureCurrentCell() {
    if (!currentIndex().isValid() && model_->rowCount() > 0 && model_->columnCount() > 0)
        setCurrentIndex(model_->index(0, 0));
}

void TStringGrid::OnSectionResized(int logical, int /*oldSize*/, int newSize) {
    if (applyingWidths_)
        return;
    const size_t col = static_cast<size_t>(logical) + static_cast<size_t>(model_->fixedCols);
    if (col < colWidths_.size())
        colWidths_[col] = newSize;
}

void TStringGrid::OnEditorTextEdited(const QModelIndex& index) {
    emit CellEdited(index.column() + model_->fixedCols, index.row() + model_->fixedRows);
}

} // namespace vrma
