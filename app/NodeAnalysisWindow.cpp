// The node analysis window: the map of the ratios over the interior nodes, the
// statistics of the field, its outliers, and the saving of the map and the numbers.
#include "app/NodeAnalysisWindow.h"
#include "data/Messages.h"

#include "app/WindowFont.h"
#include "data/Errors.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Application.h"
#include "platform/Locale.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace vrma {

namespace {

constexpr int kGap = 6;
constexpr int kLegendBar = 14;    // height of the colour bar
constexpr int kLegendWidth = 300; // width of the colour bar at most
constexpr int kLargestCell = 100;
constexpr int kSmallestCell = 3;
constexpr int kPreferredSide = 460; // the grid's longer side, as first shown

const QColor kBelow(33, 102, 172);
const QColor kMean(247, 247, 247);
const QColor kAbove(178, 24, 43);

// A number in fixed notation with the regional decimal separator.
QString Fixed(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    return text.replace(QLatin1Char('.'), DecimalSeparator());
}

// A deviation with its sign ("+1,25", "-0,40", "0,00").
QString Signed(double value, int decimals) {
    QString text = Fixed(std::fabs(value), decimals);
    const bool zero = std::all_of(text.begin(), text.end(),
                                  [](QChar c) { return !c.isDigit() || c == QLatin1Char('0'); });
    if (zero)
        return text;
    return (value < 0 ? QStringLiteral("-") : QStringLiteral("+")) + text;
}

int Mix(int from, int to, double t) {
    return int(std::lround(from + (to - from) * t));
}

QColor Blend(const QColor& from, const QColor& to, double t) {
    return QColor(Mix(from.red(), to.red(), t), Mix(from.green(), to.green(), t),
                  Mix(from.blue(), to.blue(), t));
}

bool Dark(const QColor& colour) {
    return 0.299 * colour.red() + 0.587 * colour.green() + 0.114 * colour.blue() < 128.0;
}

} // namespace

QColor DivergingColour(double t) {
    if (std::isnan(t))
        t = 0.0;
    t = std::clamp(t, -1.0, 1.0);
    return t < 0 ? Blend(kMean, kBelow, -t) : Blend(kMean, kAbove, t);
}

double ColourScaleHalfWidth(const NodeAnalysis& analysis) {
    const double farthest = std::max(std::fabs(analysis.maxRatio - analysis.mean),
                                     std::fabs(analysis.minRatio - analysis.mean));
    if (analysis.minRatio == analysis.maxRatio || analysis.sd == 0.0)
        return 0.0;
    return std::min(farthest, 3.0 * analysis.sd);
}

QByteArray PngBytes(const QImage& picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG"))
        throw FileError("Не удаётся записать рисунок в формате PNG");
    return bytes;
}

bool SaveThroughDialog(QWidget* owner, FileDialog& dialog,
                       const std::function<QByteArray()>& bytes) {
    if (!dialog.Execute())
        return false;
    const QString fileName = dialog.FileName;
    if (QFileInfo::exists(fileName) &&
        MessageBoxA(owner, messages::Overwrite(), messages::WarningCaption(), MB_YESNO) != IDYES)
        return false;
    try {
        WriteFileAtomically(fileName, bytes());
    } catch (const std::exception&) {
        MessageBoxA(owner, messages::WriteFailed(), messages::ErrorCaption(), MB_OK);
        return false;
    }
    return true;
}

// --- The map ---------------------------------------------------------------------

TNodeMap::TNodeMap(const NodeAnalysis& analysis, QWidget* parent)
    : QWidget(parent), analysis_(analysis), halfWidth_(ColourScaleHalfWidth(analysis)) {
    setObjectName(QStringLiteral("NodeMap"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

TNodeMap::Layout TNodeMap::layoutFor(const QSize& size) const {
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    const int columns = std::max(1, analysis_.columns - 2);
    const int rows = std::max(1, analysis_.rows - 2);
    // Left: the caption "Строка" turned upright, then the row numbers.
    const int left =
        kGap + line + kGap + metrics.horizontalAdvance(QString::number(analysis_.rows - 2)) + kGap;
    // Top: the caption "Столбец", then the column numbers.
    const int top = kGap + 2 * line + kGap;
    const int legendHeight = kGap * 3 + kLegendBar + 3 * line;
    const int availableWidth = size.width() - left - kGap;
    const int availableHeight = size.height() - top - legendHeight - kGap;
    int cell = std::min(availableWidth / columns, availableHeight / rows);
    cell = std::clamp(cell, kSmallestCell, kLargestCell);

    Layout layout;
    layout.cell = cell;
    layout.grid = QRect(left, top, cell * columns, cell * rows);
    const int barWidth = std::clamp(size.width() - left - kGap, 120, kLegendWidth);
    layout.legend = QRect(left, layout.grid.bottom() + 1 + 2 * kGap, barWidth, kLegendBar);
    return layout;
}

QSize TNodeMap::sizeHint() const {
    const int columns = std::max(1, analysis_.columns - 2);
    const int rows = std::max(1, analysis_.rows - 2);
    const int cell = std::clamp(kPreferredSide / std::max(columns, rows), 8, 56);
    const Layout probe = layoutFor(QSize(100000, 100000));
    const QFontMetrics metrics(font());
    const int width =
        std::max(probe.grid.left() + cell * columns, probe.grid.left() + kLegendWidth);
    const int height =
        probe.grid.top() + cell * rows + kGap * 3 + kLegendBar + 3 * metrics.height();
    return QSize(width + kGap, height + kGap);
}

QSize TNodeMap::minimumSizeHint() const {
    return QSize(240, 200);
}

QRect TNodeMap::cellRect(qint32 column, qint32 row) const {
    if (!analysis_.at(column, row))
        return QRect();
    const Layout layout = layoutFor(size());
    return QRect(layout.grid.left() + (column - 1) * layout.cell,
                 layout.grid.top() + (row - 1) * layout.cell, layout.cell, layout.cell);
}

const NodeValue* TNodeMap::nodeAt(const QPoint& point) const {
    const Layout layout = layoutFor(size());
    if (!layout.grid.contains(point))
        return nullptr;
    const int column = 1 + (point.x() - layout.grid.left()) / layout.cell;
    const int row = 1 + (point.y() - layout.grid.top()) / layout.cell;
    return analysis_.at(column, row);
}

void TNodeMap::select(const NodeValue* node) {
    selected_ = node;
    update();
}

QImage TNodeMap::picture() {
    return grab().toImage();
}

void TNodeMap::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const Layout layout = layoutFor(size());
    paintMap(painter, layout);
    paintLegend(painter, layout);
}

void TNodeMap::paintMap(QPainter& painter, const Layout& layout) const {
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    const QColor ink = palette().color(QPalette::Text);
    painter.setPen(ink);

    // Captions and numbers along the edges; a number is left out where it would crowd
    // its neighbour.
    painter.drawText(QRect(layout.grid.left(), kGap, layout.grid.width(), line),
                     Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Столбец"));
    painter.save();
    const int middle = layout.grid.top() + layout.grid.height() / 2; // whole pixels
    painter.translate(kGap, middle);
    painter.rotate(-90);
    painter.drawText(QRect(-layout.grid.height() / 2, 0, layout.grid.height(), line),
                     Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Строка"));
    painter.restore();

    const int columns = analysis_.columns - 2;
    const int rows = analysis_.rows - 2;
    const int numberWidth = metrics.horizontalAdvance(QString::number(analysis_.columns - 2));
    const int columnStep = std::max(1, (numberWidth + kGap + layout.cell - 1) / layout.cell);
    const int rowStep = std::max(1, (line + layout.cell - 1) / layout.cell);
    for (int i = 1; i <= columns; ++i) {
        if ((i - 1) % columnStep != 0)
            continue;
        painter.drawText(QRect(layout.grid.left() + (i - 1) * layout.cell - layout.cell,
                               kGap + line, 3 * layout.cell, line + kGap),
                         Qt::AlignHCenter | Qt::AlignVCenter, QString::number(i));
    }
    for (int j = 1; j <= rows; ++j) {
        if ((j - 1) % rowStep != 0)
            continue;
        painter.drawText(QRect(0, layout.grid.top() + (j - 1) * layout.cell,
                               layout.grid.left() - kGap, layout.cell),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(j));
    }

    // The cells, coloured by the distance of their ratio from the mean.
    const bool labelled =
        metrics.horizontalAdvance(FormatFixed4(analysis_.maxRatio)) + 4 <= layout.cell &&
        line + 2 <= layout.cell;
    for (const NodeValue& node : analysis_.nodes) {
        const QRect cell(layout.grid.left() + (node.column - 1) * layout.cell,
                         layout.grid.top() + (node.row - 1) * layout.cell, layout.cell,
                         layout.cell);
        const double t = halfWidth_ > 0 ? (node.ratio - analysis_.mean) / halfWidth_ : 0.0;
        const QColor fill = DivergingColour(t);
        painter.fillRect(cell, fill);
        if (labelled) {
            painter.setPen(Dark(fill) ? QColor(Qt::white) : QColor(Qt::black));
            painter.drawText(cell, Qt::AlignCenter, FormatFixed4(node.ratio));
        }
    }
    // Thin lines between the cells.
    if (layout.cell >= 6) {
        painter.setPen(QColor(190, 190, 190));
        for (int i = 0; i <= columns; ++i) {
            const int x = layout.grid.left() + i * layout.cell;
            painter.drawLine(x, layout.grid.top(), x, layout.grid.top() + rows * layout.cell);
        }
        for (int j = 0; j <= rows; ++j) {
            const int y = layout.grid.top() + j * layout.cell;
            painter.drawLine(layout.grid.left(), y, layout.grid.left() + columns * layout.cell, y);
        }
    }
    // Outliers in a heavy black frame; the node under the pointer and the one chosen
    // in frames of their own.
    const int heavy = std::min(3, std::max(1, layout.cell / 4));
    const auto frame = [&](const NodeValue& node, const QColor& colour, int width) {
        QRect cell(layout.grid.left() + (node.column - 1) * layout.cell,
                   layout.grid.top() + (node.row - 1) * layout.cell, layout.cell, layout.cell);
        // Inside an outlier's frame, which stays visible.
        if (node.outlier && colour != Qt::black)
            cell.adjust(heavy, heavy, -heavy, -heavy);
        const int w = std::min(width, std::max(1, cell.width() / 4));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawRect(cell.left(), cell.top(), cell.width(), w);
        painter.drawRect(cell.left(), cell.bottom() + 1 - w, cell.width(), w);
        painter.drawRect(cell.left(), cell.top(), w, cell.height());
        painter.drawRect(cell.right() + 1 - w, cell.top(), w, cell.height());
        painter.setBrush(Qt::NoBrush);
    };
    for (const NodeValue& node : analysis_.nodes)
        if (node.outlier)
            frame(node, QColor(Qt::black), 3);
    if (hovered_)
        frame(*hovered_, QColor(90, 90, 90), 1);
    if (selected_)
        frame(*selected_, QColor(255, 190, 0), 2);
}

void TNodeMap::paintLegend(QPainter& painter, const Layout& layout) const {
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    const QRect bar = layout.legend;
    const int steps = std::max(1, bar.width());
    for (int x = 0; x < steps; ++x) {
        const double t = halfWidth_ > 0 ? 2.0 * (x + 0.5) / steps - 1.0 : 0.0;
        painter.fillRect(QRect(bar.left() + x, bar.top(), 1, bar.height()), DivergingColour(t));
    }
    painter.setPen(QColor(120, 120, 120));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Text));
    const int middle = bar.left() + bar.width() / 2;
    for (int x : {bar.left(), middle, bar.right()})
        painter.drawLine(x, bar.bottom() + 1, x, bar.bottom() + 4);

    const QRect values(bar.left() - 40, bar.bottom() + 5, bar.width() + 80, line);
    const QRect units = values.translated(0, line);
    if (halfWidth_ > 0) {
        const QString k = Fixed(halfWidth_ / analysis_.sd, 1);
        painter.drawText(values.adjusted(40, 0, 0, 0), Qt::AlignLeft,
                         FormatFixed4(analysis_.mean - halfWidth_));
        painter.drawText(values, Qt::AlignHCenter, FormatFixed4(analysis_.mean));
        painter.drawText(values.adjusted(0, 0, -40, 0), Qt::AlignRight,
                         FormatFixed4(analysis_.mean + halfWidth_));
        painter.drawText(units.adjusted(40, 0, 0, 0), Qt::AlignLeft,
                         QStringLiteral("-%1 СКО").arg(k));
        painter.drawText(units, Qt::AlignHCenter, QStringLiteral("среднее"));
        painter.drawText(units.adjusted(0, 0, -40, 0), Qt::AlignRight,
                         QStringLiteral("+%1 СКО").arg(k));
    } else {
        painter.drawText(
            values, Qt::AlignHCenter,
            QStringLiteral("Все отношения равны: %1").arg(FormatFixed4(analysis_.mean)));
    }
    // The outlier mark, explained.
    const QRect sample(bar.left(), units.bottom() + kGap, line, line);
    painter.fillRect(sample, kMean);
    painter.setPen(QPen(Qt::black, 3));
    painter.drawRect(sample.adjusted(1, 1, -1, -1));
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QRect(sample.right() + kGap, sample.top(), 400, line), Qt::AlignVCenter,
                     QStringLiteral("выброс"));
}

void TNodeMap::mouseMoveEvent(QMouseEvent* event) {
    const NodeValue* node = nodeAt(event->position().toPoint());
    if (node != hovered_) {
        hovered_ = node;
        update();
        emit hovered(node);
    }
}

void TNodeMap::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const NodeValue* node = nodeAt(event->position().toPoint());
    if (!node)
        return;
    select(node);
    emit clicked(node);
}

void TNodeMap::leaveEvent(QEvent* /*event*/) {
    if (hovered_) {
        hovered_ = nullptr;
        update();
        emit hovered(nullptr);
    }
}

// --- The window ------------------------------------------------------------------

QString TNodeAnalysisForm::NodeText(const NodeValue& node) {
    QString text = QStringLiteral("Столбец %1, строка %2: отношение %3, отклонение %4 СКО")
                       .arg(node.column)
                       .arg(node.row)
                       .arg(FormatFixed4(node.ratio), Signed(node.deviation, 2));
    if (node.outlier)
        text += QStringLiteral(" — выброс");
    return text;
}

TNodeAnalysisForm::TNodeAnalysisForm(const NodeRatios& ratios, QWidget* parent)
    : TNodeAnalysisForm(ratios, nullptr, parent) {}

TNodeAnalysisForm::TNodeAnalysisForm(const NodeRatios& ratios, const FieldGeometry& geometry,
                                     QWidget* parent)
    : TNodeAnalysisForm(ratios, &geometry, parent) {}

TNodeAnalysisForm::TNodeAnalysisForm(const NodeRatios& ratios, const FieldGeometry* geometry,
                                     QWidget* parent)
    : QDialog(parent), analysis_(AnalyseNodes(ratios)) {
    if (geometry)
        geometry_ = *geometry;
    setObjectName(QStringLiteral("NodeAnalysis_Form"));
    setWindowTitle(QStringLiteral("Анализ соотношения масштабов по узлам"));
    setFont(DesignFont());
    setSizeGripEnabled(true);

    CreateMap();
    QGroupBox* summary = CreateSummary();
    CreateOutlierList();
    CreateButtons();
    LayOut(summary);
    SetUpDialogs();

    showNode(nullptr);
    resize(sizeHint().expandedTo(QSize(760, 520)));
}

void TNodeAnalysisForm::CreateMap() {
    NodeMap = new TNodeMap(analysis_, this);
    InfoLabel = new QLabel(this);
    InfoLabel->setObjectName(QStringLiteral("InfoLabel"));
    InfoLabel->setWordWrap(true);
    InfoLabel->setMinimumHeight(2 * QFontMetrics(font()).height());
    connect(NodeMap, &TNodeMap::hovered, this,
            [this](const NodeValue* node) { showNode(node ? node : NodeMap->selected()); });
    connect(NodeMap, &TNodeMap::clicked, this, [this](const NodeValue* node) { showNode(node); });
}

QGroupBox* TNodeAnalysisForm::CreateSummary() {
    auto* summary = new QGroupBox(QStringLiteral("Сводка"), this);
    summary->setObjectName(QStringLiteral("SummaryBox"));
    auto* form = new QFormLayout(summary);
    const auto value = [&](const char* name, const QString& label, const QString& text) {
        auto* field = new QLabel(text, summary);
        field->setObjectName(QString::fromLatin1(name));
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(label, field);
        return field;
    };
    CountValue =
        value("CountValue", QStringLiteral("Число узлов n:"), QString::number(analysis_.n));
    MeanValue = value("MeanValue", QStringLiteral("Среднее:"), Fixed(analysis_.mean, 6));
    MedianValue = value("MedianValue", QStringLiteral("Медиана:"), Fixed(analysis_.median, 6));
    SdValue = value("SdValue", QStringLiteral("СКО:"), Fixed(analysis_.sd, 6));
    SemValue =
        value("SemValue", QStringLiteral("Ошибка среднего (СКО/√n):"), Fixed(analysis_.sem, 6));
    MadValue =
        value("MadValue", QStringLiteral("Медианное отклонение (MAD):"), Fixed(analysis_.mad, 6));
    return summary;
}

void TNodeAnalysisForm::CreateOutlierList() {
    const QString rule = QStringLiteral("3") + DecimalSeparator() + QStringLiteral("5 · 1") +
                         DecimalSeparator() + QStringLiteral("4826 · MAD");
    OutlierHeading = new QLabel(this);
    OutlierHeading->setObjectName(QStringLiteral("OutlierHeading"));
    OutlierHeading->setWordWrap(true);
    const std::vector<NodeValue> outliers = analysis_.outliers();
    if (outliers.empty())
        OutlierHeading->setText(
            QStringLiteral("Выбросов нет: ни один узел не отстоит от медианы больше чем на %1.")
                .arg(rule));
    else
        OutlierHeading->setText(QStringLiteral("Выбросы (отклонение от медианы больше %1 = %2): %3")
                                    .arg(rule, Fixed(analysis_.threshold, 6))
                                    .arg(outliers.size()));

    OutlierList = new QTableWidget(int(outliers.size()), 3, this);
    OutlierList->setObjectName(QStringLiteral("OutlierList"));
    OutlierList->setHorizontalHeaderLabels(
        {QStringLiteral("Столбец"), QStringLiteral("Строка"), QStringLiteral("Отношение")});
    OutlierList->verticalHeader()->hide();
    OutlierList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    OutlierList->setSelectionBehavior(QAbstractItemView::SelectRows);
    OutlierList->setSelectionMode(QAbstractItemView::SingleSelection);
    OutlierList->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < int(outliers.size()); ++r) {
        const NodeValue& node = outliers[size_t(r)];
        const QString texts[] = {QString::number(node.column), QString::number(node.row),
                                 FormatFixed4(node.ratio)};
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            OutlierList->setItem(r, c, item);
        }
    }
    OutlierList->resizeColumnsToContents();
    connect(OutlierList, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (row < 0)
            return;
        const auto list = analysis_.outliers();
        if (size_t(row) >= list.size())
            return;
        const NodeValue* node = analysis_.at(list[size_t(row)].column, list[size_t(row)].row);
        NodeMap->select(node);
        showNode(node);
    });
}

void TNodeAnalysisForm::CreateButtons() {
    SaveMapButton = new QPushButton(QStringLiteral("Сохранить рисунок…"), this);
    SaveMapButton->setObjectName(QStringLiteral("SaveMapButton"));
    SaveMapButton->setToolTip(QStringLiteral("Сохранить карту узлов в файл PNG"));
    SaveCsvButton = new QPushButton(QStringLiteral("Сохранить таблицу…"), this);
    SaveCsvButton->setObjectName(QStringLiteral("SaveCsvButton"));
    SaveCsvButton->setToolTip(QStringLiteral("Сохранить значения по узлам в файл CSV"));
    CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    ConnectCommand(SaveMapButton, &QPushButton::clicked, this,
                   &TNodeAnalysisForm::SaveMapButtonClick);
    ConnectCommand(SaveCsvButton, &QPushButton::clicked, this,
                   &TNodeAnalysisForm::SaveCsvButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TNodeAnalysisForm::LayOut(QGroupBox* summary) {
    auto* left = new QVBoxLayout;
    left->addWidget(NodeMap, 1);
    left->addWidget(InfoLabel);
    auto* right = new QVBoxLayout;
    right->addWidget(summary);
    if (geometry_) {
        CreateFieldBox();
        right->addWidget(FieldBox);
    }
    right->addSpacing(kGap);
    right->addWidget(OutlierHeading);
    right->addWidget(OutlierList, 1);
    right->addWidget(SaveMapButton);
    right->addWidget(SaveCsvButton);
    right->addSpacing(kGap);
    right->addWidget(CloseButton);
    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 1);
    main->addLayout(right, 0);
}

void TNodeAnalysisForm::SetUpDialogs() {
    SaveMapDialog.Filter = QStringLiteral("PNG Files|*.png|All Files|*.*");
    SaveMapDialog.DefaultExt = QStringLiteral("png");
    SaveMapDialog.FileName = QStringLiteral("NodeMap");
    SaveCsvDialog.Filter = QStringLiteral("CSV Files|*.csv|All Files|*.*");
    SaveCsvDialog.DefaultExt = QStringLiteral("csv");
    SaveCsvDialog.FileName = QStringLiteral("NodeRatios");
}

void TNodeAnalysisForm::CreateFieldBox() {
    FieldBox = new QGroupBox(QStringLiteral("Наклон поля"), this);
    FieldBox->setObjectName(QStringLiteral("FieldBox"));
    auto* form = new QFormLayout(FieldBox);
    const auto value = [&](const char* name, const QString& label) {
        auto* field = new QLabel(FieldBox);
        field->setObjectName(QString::fromLatin1(name));
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(label, field);
        return field;
    };
    const auto note = [&](const char* name) {
        auto* label = new QLabel(FieldBox);
        label->setObjectName(QString::fromLatin1(name));
        label->setWordWrap(true);
        form->addRow(label);
        return label;
    };
    HomographyRmsValue =
        value("HomographyRmsValue", QStringLiteral("Невязка гомографии (СКО, пикс.):"));
    FocalEdit = new QLineEdit(FieldBox);
    FocalEdit->setObjectName(QStringLiteral("FocalEdit"));
    FocalEdit->setToolTip(QStringLiteral("Номинальное фокусное расстояние в пикселях"));
    if (geometry_->focal)
        FocalEdit->setText(FormatGeneral15(*geometry_->focal));
    form->addRow(QStringLiteral("Фокусное расстояние (пикс.):"), FocalEdit);
    TiltVerticalValue =
        value("TiltVerticalValue", QStringLiteral("Наклон вокруг вертикальной оси:"));
    TiltHorizontalValue =
        value("TiltHorizontalValue", QStringLiteral("Наклон вокруг горизонтальной оси:"));
    CorrectedValue = value("CorrectedValue", QStringLiteral("Исправленный коэффициент:"));
    SensitivityLabel = note("SensitivityLabel");
    TiltWarning = note("TiltWarning");
    QFont bold = TiltWarning->font();
    bold.setBold(true);
    TiltWarning->setFont(bold);
    QPalette red = TiltWarning->palette();
    red.setColor(QPalette::WindowText, QColor(178, 24, 43));
    TiltWarning->setPalette(red);
    FieldError = note("FieldError");
    // Enter in the focal length field confirms the value; it presses no button.
    for (QPushButton* button : {SaveMapButton, SaveCsvButton, CloseButton})
        button->setAutoDefault(false);
    connect(FocalEdit, &QLineEdit::editingFinished, this, [this] { FocalEditChange(FocalEdit); });
    FocalEditChange(nullptr);
}

void TNodeAnalysisForm::FocalEditChange(QObject* /*sender*/) {
    if (!geometry_)
        return;
    const QString dash = QStringLiteral("—");
    fieldCheck_.reset();
    HomographyRmsValue->setText(dash);
    TiltVerticalValue->setText(dash);
    TiltHorizontalValue->setText(dash);
    CorrectedValue->setText(dash);
    SensitivityLabel->clear();
    TiltWarning->clear();
    TiltWarning->hide();
    FieldError->clear();
    FieldError->hide();

    FieldCheckInput input;
    input.scene = geometry_->scene;
    input.image = geometry_->image;
    input.width = geometry_->width;
    input.height = geometry_->height;
    input.coefficient = analysis_.mean;
    input.sd = analysis_.sd;
    input.n = analysis_.n;
    const QString focalText = FocalEdit->text().trimmed();
    if (!focalText.isEmpty()) {
        const std::optional<double> focal = ParseRealDouble(focalText);
        if (!focal || !(*focal > 0.0)) {
            FieldError->setText(
                QStringLiteral("Фокусное расстояние должно быть положительным числом."));
            FieldError->show();
            return;
        }
        input.focal = focal;
    }
    try {
        fieldCheck_ = CheckField(input);
    } catch (const std::exception& e) {
        FieldError->setText(QString::fromUtf8(e.what()));
        FieldError->show();
        return;
    }
    const FieldCheck& check = *fieldCheck_;
    HomographyRmsValue->setText(Fixed(check.homographyRmsPx, 3));
    if (!check.tiltKnown || !check.correctedCoefficient) {
        SensitivityLabel->setText(QStringLiteral(
            "Введите фокусное расстояние (в пикселях), чтобы найти наклон поля и исправленный "
            "коэффициент; главная точка берётся в центре изображения."));
        return;
    }
    TiltVerticalValue->setText(Signed(check.tiltVerticalDeg, 2) + QStringLiteral("°"));
    TiltHorizontalValue->setText(Signed(check.tiltHorizontalDeg, 2) + QStringLiteral("°"));
    CorrectedValue->setText(Fixed(*check.correctedCoefficient, 6) + QStringLiteral(" ± ") +
                            Fixed(*check.correctedSe, 6));
    SensitivityLabel->setText(
        QStringLiteral("Ошибка фокусного расстояния ε меняет исправленный коэффициент примерно "
                       "на ε · sin²θ (θ = %1° — наклон поля к оптической оси): ошибка в 1 % "
                       "даёт около %2.")
            .arg(Fixed(check.tiltDeg, 1),
                 Fixed(0.01 * check.focalSensitivity * *check.correctedCoefficient, 6)));
    if (check.warning) {
        TiltWarning->setText(FieldCheckWarning(check));
        TiltWarning->show();
    }
}

void TNodeAnalysisForm::showNode(const NodeValue* node) {
    InfoLabel->setText(node ? NodeText(*node)
                            : QStringLiteral("Наведите указатель на клетку, чтобы увидеть узел; "
                                             "щелчок выбирает узел."));
}

void TNodeAnalysisForm::SaveMapButtonClick(QObject* /*sender*/) {
    SaveThroughDialog(this, SaveMapDialog, [this] { return PngBytes(NodeMap->picture()); });
}

void TNodeAnalysisForm::SaveCsvButtonClick(QObject* /*sender*/) {
    SaveThroughDialog(this, SaveCsvDialog, [this] { return NodeAnalysisCsv(analysis_); });
}

} // namespace vrma
