// The node analysis window: the map of the ratios over the interior nodes, the
// statistics of the field, its outliers, and the saving of the map and the numbers.
#include "app/NodeAnalysisWindow.h"
#include "app/SaveClash.h"
#include "data/Messages.h"

#include "data/Errors.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "drawing/FieldCheckVerdict.h"
#include "platform/Application.h"
#include "platform/Locale.h"
#include "platform/WindowFont.h"

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
#include <new>

namespace vrma {

namespace {

constexpr int kGap = 6;

} // namespace

QByteArray PngBytes(const QImage& picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG"))
        throw FileError("Не удаётся записать рисунок в формате PNG");
    return bytes;
}

bool SaveThroughDialog(QWidget* owner, FileDialog& dialog, const std::function<QByteArray()>& bytes,
                       std::span<const NamedFile> inputs) {
    if (!dialog.Execute())
        return false;
    const QString fileName = dialog.FileName;
    if (!NotAnyOf(owner, fileName, inputs))
        return false;
    if (QFileInfo::exists(fileName) &&
        MessageBoxA(owner, messages::Overwrite(), messages::WarningCaption(), MB_YESNO) != IDYES)
        return false;
    try {
        WriteFileAtomically(fileName, bytes());
    } catch (const std::bad_alloc&) {
        MessageBoxA(owner, messages::OutOfMemory(), messages::ErrorCaption(), MB_OK);
        return false;
    } catch (const std::exception&) {
        MessageBoxA(owner, messages::WriteFailed(), messages::ErrorCaption(), MB_OK);
        return false;
    }
    return true;
}

// --- The map ---------------------------------------------------------------------

TNodeMap::TNodeMap(const NodeAnalysis& analysis, QWidget* parent)
    : QWidget(parent), analysis_(analysis) {
    setObjectName(QStringLiteral("NodeMap"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize TNodeMap::sizeHint() const {
    return NodeMapPreferredSize(analysis_, font());
}

QSize TNodeMap::minimumSizeHint() const {
    return QSize(240, 200);
}

QRect TNodeMap::cellRect(qint32 column, qint32 row) const {
    return NodeMapCell(analysis_, NodeMapLayoutFor(analysis_, font(), size()), column, row);
}

const NodeValue* TNodeMap::nodeAt(const QPoint& point) const {
    const NodeMapLayout layout = NodeMapLayoutFor(analysis_, font(), size());
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
    NodeMapStyle style;
    style.font = font();
    style.ink = palette().color(QPalette::Text);
    style.background = palette().color(QPalette::Base);
    style.hovered = hovered_;
    style.selected = selected_;
    PaintNodeMap(painter, analysis_, NodeMapLayoutFor(analysis_, font(), size()), style);
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
                       .arg(FormatFixed4(node.ratio), FormatSigned(node.deviation, 2));
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
    MeanValue = value("MeanValue", QStringLiteral("Среднее:"), FormatFixed(analysis_.mean, 6));
    MedianValue =
        value("MedianValue", QStringLiteral("Медиана:"), FormatFixed(analysis_.median, 6));
    SdValue = value("SdValue", QStringLiteral("СКО:"), FormatFixed(analysis_.sd, 6));
    SemValue = value("SemValue", QStringLiteral("Ошибка среднего (СКО/√n):"),
                     FormatFixed(analysis_.sem, 6));
    MadValue = value("MadValue", QStringLiteral("Медианное отклонение (MAD):"),
                     FormatFixed(analysis_.mad, 6));
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
                                    .arg(rule, FormatFixed(analysis_.threshold, 6))
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
    SaveMapDialog.Filter = QStringLiteral("Рисунки PNG|*.png|Все файлы|*.*");
    SaveMapDialog.DefaultExt = QStringLiteral("png");
    SaveMapDialog.FileName = QStringLiteral("NodeMap");
    SaveCsvDialog.Filter = QStringLiteral("Таблицы CSV|*.csv|Все файлы|*.*");
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
    if (geometry_->camera) {
        // The camera calibrated from photographs gives the focal length and its lens.
        FocalEdit->setText(FormatGeneral15(geometry_->camera->fx()));
        FocalEdit->setReadOnly(true);
        FocalEdit->setEnabled(false);
        FocalEdit->setToolTip(
            QStringLiteral("fx камеры, откалиброванной по снимкам в окне «Калибровка камеры по "
                           "снимкам»; её дисторсия и главная точка тоже учитываются"));
    } else if (geometry_->focal) {
        FocalEdit->setText(FormatGeneral15(*geometry_->focal));
    }
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
    if (geometry_->camera) {
        input.camera = geometry_->camera;
    } else if (!focalText.isEmpty()) {
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
    HomographyRmsValue->setText(FormatFixed(check.homographyRmsPx, 3));
    if (!check.tiltKnown || !check.correctedCoefficient) {
        SensitivityLabel->setText(QStringLiteral(
            "Введите фокусное расстояние (в пикселях), чтобы найти наклон поля и исправленный "
            "коэффициент; главная точка берётся в центре изображения."));
        return;
    }
    TiltVerticalValue->setText(FormatSigned(check.tiltVerticalDeg, 2) + QStringLiteral("°"));
    TiltHorizontalValue->setText(FormatSigned(check.tiltHorizontalDeg, 2) + QStringLiteral("°"));
    CorrectedValue->setText(FormatFixed(*check.correctedCoefficient, 6) + QStringLiteral(" ± ") +
                            FormatFixed(*check.correctedSe, 6));
    SensitivityLabel->setText(
        QStringLiteral("Ошибка фокусного расстояния ε меняет исправленный коэффициент примерно "
                       "на ε · sin²θ (θ = %1° — наклон поля к оптической оси): ошибка в 1 % "
                       "даёт около %2.")
            .arg(FormatFixed(check.tiltDeg, 1),
                 FormatFixed(0.01 * check.focalSensitivity * *check.correctedCoefficient, 6)));
    if (check.warning || check.referenceDoubtful) {
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
