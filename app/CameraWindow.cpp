// The calibration window for cameras: the user's commands to the session, what it has
// shown, and the saves.
#include "app/CameraWindow.h"

#include "app/Alfa_form.h"
#include "app/CameraSaving.h"
#include "app/MeasureWindow.h"
#include "app/NodeAnalysisWindow.h"
#include "data/CameraMessages.h"
#include "data/Errors.h"
#include "data/Messages.h"
#include "data/Numbers.h"
#include "drawing/CameraReport.h"
#include "drawing/CameraVerdict.h"
#include "drawing/PdfMemory.h"
#include "drawing/ScaleRatioReport.h"
#include "platform/Application.h"
#include "platform/WindowFont.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace vrma {

namespace {

// The models the window offers after "авто", leanest first.
constexpr CameraSelection kWindowModels[] = {
    CameraSelection::NoDistortion(),  CameraSelection::RadialOnly(),
    CameraSelection::OpenCvDefault(), CameraSelection::PrincipalPointFixed(),
    CameraSelection::Rational(),      CameraSelection::Fisheye()};
constexpr int kIconWidth = 68;
constexpr int kIconHeight = 48;

QImage GreyImage(const cv::Mat& grey) {
    if (grey.empty() || grey.type() != CV_8UC1)
        return {};
    return QImage(grey.data, grey.cols, grey.rows, int(grey.step), QImage::Format_Grayscale8)
        .copy();
}

// The list's picture of a photograph: its thumbnail, with a bar of its colour at the left
// while it has one (in the coverage view).
QIcon PhotoIcon(const QImage& thumbnail, const std::optional<QColor>& colour) {
    QPixmap picture(kIconWidth, kIconHeight);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    const QRect room(6, 0, kIconWidth - 6, kIconHeight);
    if (!thumbnail.isNull()) {
        const QImage scaled =
            thumbnail.scaled(room.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawImage(room.left() + (room.width() - scaled.width()) / 2,
                          (room.height() - scaled.height()) / 2, scaled);
    }
    if (colour)
        painter.fillRect(QRect(0, 4, 4, kIconHeight - 8), *colour);
    painter.end();
    return QIcon(picture);
}

} // namespace

// --- The window ------------------------------------------------------------------------

TCameraForm::TCameraForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("CameraForm"));
    setWindowTitle(QStringLiteral("Калибровка камеры по снимкам"));
    setFont(DesignFont());
    setAcceptDrops(true);
    viewPool_.setMaxThreadCount(1);
    CreateControls();
    CreateCheckControls();
    LayOut();
    SetUpDialogs();
    Connect();
    ConnectSession();
    ShowResults();
    ShowStatus();
    UpdateButtons();
}

TCameraForm::~TCameraForm() {
    viewPool_.waitForDone();
}

void TCameraForm::CreateControls() {
    const auto button = [this](const char* name, const QString& text) {
        auto* made = new QPushButton(text, this);
        made->setObjectName(QString::fromLatin1(name));
        return made;
    };
    BoardForm = new TBoardForm(TBoardForm::Arrangement::Line, this);
    AddButton = button("AddButton", QStringLiteral("Добавить снимки…"));
    AddButton->setToolTip(QStringLiteral("Добавить снимки поля (можно и перетащить файлы в окно)"));
    RemoveButton = button("RemoveButton", QStringLiteral("Удалить"));
    RemoveButton->setToolTip(QStringLiteral("Убрать выбранные снимки из списка"));
    CancelButton = button("CancelButton", QStringLiteral("Отмена"));
    CancelButton->setToolTip(QStringLiteral("Остановить поиск поля на снимках"));
    ModelBox = new QComboBox(this);
    ModelBox->setObjectName(QStringLiteral("ModelBox"));
    ModelBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ModelBox->setMinimumContentsLength(14);
    ModelBox->addItem(messages::ModelAutomatic());
    for (CameraSelection model : kWindowModels)
        ModelBox->addItem(CameraModelLabel(model));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFixedWidth(180);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));

    PhotoList = new QTableWidget(0, ColumnCount, this);
    PhotoList->setObjectName(QStringLiteral("PhotoList"));
    PhotoList->setHorizontalHeaderLabels({QStringLiteral("Снимок"), QStringLiteral("Результат"),
                                          QStringLiteral("Поворот"), QStringLiteral("Мишеней"),
                                          QStringLiteral("СКО, пикс.")});
    PhotoList->setSelectionBehavior(QAbstractItemView::SelectRows);
    PhotoList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    PhotoList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PhotoList->setIconSize(QSize(kIconWidth, kIconHeight));
    PhotoList->verticalHeader()->setDefaultSectionSize(kIconHeight + 6);
    PhotoList->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Interactive);
    PhotoList->horizontalHeader()->setSectionResizeMode(ResultColumn, QHeaderView::Stretch);
    PhotoList->setColumnWidth(NameColumn, 200);
    for (int column : {TurnColumn, TargetsColumn, RmsColumn})
        PhotoList->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    PhotoList->setToolTip(QStringLiteral("Флажок берёт снимок в калибровку; снимите его, чтобы "
                                         "исключить снимок"));
    RmsChart = new TRmsChart(this);

    Views = new QTabWidget(this);
    Views->setObjectName(QStringLiteral("Views"));
    CoverageView = new TCoverageView(Views);
    auto* photoPage = new QWidget(Views);
    photoPage->setObjectName(QStringLiteral("PhotoPage"));
    PhotoLabel = new QLabel(photoPage);
    PhotoLabel->setObjectName(QStringLiteral("PhotoLabel"));
    PhotoLabel->setWordWrap(true);
    PhotoLabel->setText(QStringLiteral("Выберите снимок в списке."));
    PhotoView = new TPhotoView(photoPage);
    UndistortBox = new QCheckBox(QStringLiteral("Без дисторсии"), photoPage);
    UndistortBox->setObjectName(QStringLiteral("UndistortBox"));
    UndistortBox->setToolTip(QStringLiteral(
        "Показать снимок с устранённой дисторсией объектива (по найденной камере: те же fx, "
        "fy, cx, cy); мишени — там, где их видит камера без дисторсии"));
    auto* photoLayout = new QVBoxLayout(photoPage);
    photoLayout->setContentsMargins(4, 4, 4, 4);
    photoLayout->addWidget(PhotoLabel);
    photoLayout->addWidget(UndistortBox);
    photoLayout->addWidget(PhotoView, 1);
    Views->addTab(CoverageView, QStringLiteral("Покрытие кадра"));
    Views->addTab(photoPage, QStringLiteral("Снимок"));
    UncertaintyView = new TUncertaintyView(Views);
    Views->insertTab(1, UncertaintyView, QStringLiteral("Неопределённость"));

    for (CameraParameter p : kCameraParameters) {
        auto* value = new QLabel(this);
        value->setObjectName(QStringLiteral("Value_") + QLatin1String(CameraParameterName(p)));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        ParameterValues.push_back(value);
        ParameterNames.push_back(
            new QLabel(QString::fromLatin1(CameraParameterName(p)) + QLatin1Char(':'), this));
    }
    RatioValue = new QLabel(this);
    RatioValue->setObjectName(QStringLiteral("RatioValue"));
    RmsValue = new QLabel(this);
    RmsValue->setObjectName(QStringLiteral("RmsValue"));
    for (QLabel* value : {RatioValue, RmsValue})
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = RatioValue->font();
    bold.setBold(true);
    RatioValue->setFont(bold);
    VerdictLabel = new QLabel(this);
    VerdictLabel->setObjectName(QStringLiteral("VerdictLabel"));
    VerdictLabel->setWordWrap(true);
    VerdictLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    VerdictLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    VerdictLabel->setMinimumWidth(1);

    SaveButton = button("SaveButton", QStringLiteral("Сохранить…"));
    SaveButton->setToolTip(
        QStringLiteral("Записать fy/fx в таблицу коррекции и камеру в файл внутренней геометрии"));
    YamlButton = button("YamlButton", QStringLiteral("Экспорт в OpenCV YAML…"));
    YamlButton->setToolTip(QStringLiteral("Записать камеру в файл YAML, который читает OpenCV"));
    RosButton = button("RosButton", QStringLiteral("Экспорт camera_info ROS…"));
    RosButton->setToolTip(QStringLiteral(
        "Записать камеру в YAML camera_info ROS (plumb_bob), который читает любой разборщик YAML"));
    ReportButton = button("ReportButton", QStringLiteral("Отчёт…"));
    ReportButton->setToolTip(QStringLiteral("Записать отчёт о калибровке камеры в PDF"));
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(100);
}

void TCameraForm::LayOut() {
    auto* boardRow = new QHBoxLayout;
    boardRow->addWidget(BoardForm);
    boardRow->addStretch(1);
    boardRow->addWidget(AddButton);
    boardRow->addWidget(RemoveButton);
    boardRow->addWidget(CancelButton);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(ProgressBar1);
    statusRow->addWidget(StatusLabel, 1);
    statusRow->addWidget(new QLabel(QStringLiteral("Модель:"), this));
    statusRow->addWidget(ModelBox);

    auto* left = new QSplitter(Qt::Vertical, this);
    left->setObjectName(QStringLiteral("ListSplitter"));
    left->addWidget(PhotoList);
    left->addWidget(RmsChart);
    left->setStretchFactor(0, 3);
    left->setStretchFactor(1, 1);
    auto* middle = new QSplitter(Qt::Horizontal, this);
    middle->setObjectName(QStringLiteral("ViewSplitter"));
    middle->addWidget(left);
    middle->addWidget(Views);
    middle->setStretchFactor(0, 1);
    middle->setStretchFactor(1, 1);
    middle->setChildrenCollapsible(false);

    auto* camera = new QGroupBox(QStringLiteral("Камера"), this);
    camera->setObjectName(QStringLiteral("CameraBox"));
    CameraGrid = new QGridLayout(camera);
    CameraGrid->setHorizontalSpacing(10);
    CameraGrid->setVerticalSpacing(2);
    ParameterNames.push_back(new QLabel(QStringLiteral("fy/fx:"), camera));
    ParameterNames.push_back(new QLabel(QStringLiteral("СКО:"), camera));
    PlaceParameters({kPinholeParameters.begin(), kPinholeParameters.end()});
    CameraGrid->setColumnStretch(1, 1);
    CameraGrid->setColumnStretch(3, 1);
    auto* verdict = new QGroupBox(QStringLiteral("Вывод"), this);
    verdict->setObjectName(QStringLiteral("VerdictBox"));
    auto* verdictLayout = new QVBoxLayout(verdict);
    verdictLayout->addWidget(VerdictLabel, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(SaveButton);
    buttons->addWidget(YamlButton);
    buttons->addWidget(RosButton);
    buttons->addWidget(ReportButton);
    buttons->addWidget(CheckButton);
    buttons->addStretch(1);
    auto* results = new QHBoxLayout;
    results->addWidget(camera, 3);
    results->addWidget(verdict, 4);
    results->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(boardRow);
    layout->addLayout(statusRow);
    layout->addWidget(middle, 1);
    layout->addLayout(results);
    // Within a screen of 1366 x 768 with its title bar and task bar.
    resize(1180, 660);
    middle->setSizes({560, 600});
    left->setSizes({420, 180});
}

void TCameraForm::SetUpDialogs() {
    OpenPhotosDialog.Filter =
        QStringLiteral("Снимки|*.jpg;*.jpeg;*.png;*.tif;*.tiff;*.bmp|Все файлы|*.*");
    OpenPhotosDialog.DefaultExt = QStringLiteral("jpg");
    OpenPhotosDialog.AllowMultiSelect = true;
    SaveYamlDialog.Filter = QStringLiteral("Файлы YAML|*.yml;*.yaml|Все файлы|*.*");
    SaveYamlDialog.DefaultExt = QStringLiteral("yml");
    SaveYamlDialog.FileName = QStringLiteral("camera");
    SaveReportDialog.Filter = QStringLiteral("Отчёты PDF|*.pdf|Все файлы|*.*");
    SaveRosDialog.Filter = QStringLiteral("Файлы YAML|*.yaml;*.yml|Все файлы|*.*");
    SaveRosDialog.DefaultExt = QStringLiteral("yaml");
    SaveRosDialog.FileName = QStringLiteral("camera_info");
    SaveReportDialog.DefaultExt = QStringLiteral("pdf");
    SaveReportDialog.FileName = QStringLiteral("CameraReport1");
}

void TCameraForm::Connect() {
    ConnectCommand(AddButton, &QPushButton::clicked, this, &TCameraForm::AddButtonClick);
    ConnectCommand(RemoveButton, &QPushButton::clicked, this, &TCameraForm::RemoveButtonClick);
    ConnectCommand(CancelButton, &QPushButton::clicked, this, &TCameraForm::CancelButtonClick);
    ConnectCommand(SaveButton, &QPushButton::clicked, this, [this] { SaveButtonClick(); });
    ConnectCommand(YamlButton, &QPushButton::clicked, this, [this] { YamlButtonClick(); });
    ConnectCommand(RosButton, &QPushButton::clicked, this, [this] { RosButtonClick(); });
    ConnectCommand(UndistortBox, &QCheckBox::toggled, this, [this] {
        ShowPicture();
        ShowOverlay();
    });
    ConnectCommand(ReportButton, &QPushButton::clicked, this, [this] { ReportButtonClick(); });
    connect(ModelBox, &QComboBox::currentIndexChanged, this,
            [this](int index) { RunCommand([&] { SetModel(index); }); });
    connect(progressTimer_, &QTimer::timeout, this, [this] { UpdateProgress(); });
    connect(PhotoList, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (updatingList_ || item->column() != NameColumn)
            return;
        const QVariant state = item->data(Qt::CheckStateRole);
        if (state.isValid())
            RunCommand([&] { SetLeftOut(item->row(), state.toInt() != Qt::Checked); });
    });
    connect(PhotoList, &QTableWidget::currentCellChanged, this,
            [this](int row) { RunCommand([&] { SelectPhoto(row); }); });
    connect(PhotoList, &QTableWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(RmsChart, &TRmsChart::photoClicked, this, [this](int fitted) {
        const std::vector<quint64>& ids = session_.fittedIds();
        if (fitted >= 0 && size_t(fitted) < ids.size()) {
            const int row = session_.RowOf(ids[size_t(fitted)]);
            if (row >= 0)
                PhotoList->setCurrentCell(row, NameColumn);
        }
    });
}

void TCameraForm::ConnectSession() {
    connect(&session_, &CameraSession::photoSearched, this, &TCameraForm::PhotoSearched);
    connect(&session_, &CameraSession::photoDropped, this, &TCameraForm::PhotoDropped);
    connect(&session_, &CameraSession::searchFinished, this, &TCameraForm::SearchFinished);
    connect(&session_, &CameraSession::fitsChanged, this, [this] {
        ShowStatus();
        UpdateButtons();
    });
    connect(&session_, &CameraSession::fitFinished, this, &TCameraForm::FitFinished);
}

// --- The user's commands ------------------------------------------------------------------

void TCameraForm::AddButtonClick(QObject* /*sender*/) {
    if (!OpenPhotosDialog.Execute())
        return;
    AddPhotos(OpenPhotosDialog.Files.isEmpty() ? QStringList{OpenPhotosDialog.FileName}
                                               : OpenPhotosDialog.Files);
}

void TCameraForm::AddPhotos(const QStringList& files) {
    const std::optional<Board> board = BoardForm->CheckedBoard(this);
    if (!board)
        return;
    // A photograph already in the set, or given twice (the same bytes), counts once; one
    // under another name is told.
    const std::vector<CameraSession::SamePhoto> repeats = session_.AddPhotos(files, *board);
    PhotoList->setRowCount(int(photos().size()));
    ShowRows();
    if (searching() && !progressTimer_->isActive())
        progressTimer_->start();
    UpdateProgress();
    ShowStatus();
    UpdateButtons();
    if (repeats.empty())
        return;
    QStringList repeated;
    for (const CameraSession::SamePhoto& repeat : repeats)
        repeated << QStringLiteral("%1: %2").arg(
            QFileInfo(repeat.file).fileName(),
            messages::SamePhotograph(QFileInfo(repeat.first).fileName()));
    MessageBoxA(this, messages::PhotosGivenTwice(repeated), messages::WarningCaption(), MB_OK);
}

void TCameraForm::CancelButtonClick(QObject* /*sender*/) {
    session_.CancelSearches();
    ShowStatus();
}

void TCameraForm::RemoveButtonClick(QObject* /*sender*/) {
    std::vector<int> rows;
    for (const QModelIndex& index : PhotoList->selectionModel()->selectedRows())
        rows.push_back(index.row());
    if (rows.empty())
        return;
    session_.RemovePhotos(rows);
    ShowStatus();
    UpdateButtons();
}

void TCameraForm::SetLeftOut(int row, bool leftOut) {
    if (row < 0 || size_t(row) >= photos().size() || photos()[size_t(row)].leftOut == leftOut)
        return;
    session_.SetLeftOut(row, leftOut);
    ShowRow(size_t(row));
    ShowStatus();
    UpdateButtons();
}

void TCameraForm::SetModel(int index) {
    session_.SetModel(index > 0 ? std::optional(kWindowModels[size_t(index - 1)]) : std::nullopt);
    ShowStatus();
    UpdateButtons();
}

// --- What the session tells -----------------------------------------------------------------

void TCameraForm::PhotoSearched(int row) {
    const Photo& photo = photos()[size_t(row)];
    thumbnails_[photo.id] = GreyImage(photo.detection.thumbnail);
    if (photo.detection.found && board())
        BoardForm->KeepAsLast(*board());
    ShowRow(size_t(row));
    if (row == shown_)
        LoadShownPhoto();
    UpdateProgress();
    ShowStatus();
    UpdateButtons();
}

void TCameraForm::PhotoDropped(int row) {
    if (shown_ == row)
        SelectPhoto(-1);
    else if (shown_ > row)
        --shown_;
    PhotoList->removeRow(row);
    // The thumbnails of the photographs no longer in the set go with them.
    std::erase_if(thumbnails_, [this](const auto& entry) {
        return std::none_of(photos().begin(), photos().end(),
                            [&](const Photo& photo) { return photo.id == entry.first; });
    });
    ShowStatus();
    UpdateButtons();
}

void TCameraForm::SearchFinished() {
    progressTimer_->stop();
    ProgressBar1->setValue(photos().empty() ? 0 : 100);
    ShowStatus();
    UpdateButtons();
    emit searchFinished();
}

void TCameraForm::UpdateProgress() {
    if (session_.searchTotal() <= 0)
        return;
    ProgressBar1->setValue(session_.Progress());
    ShowStatus();
}

void TCameraForm::FitFinished() {
    const std::optional<CameraCalibration>& fit = calibration();
    coverage_ = fit ? CoverageDataOf(*fit, fittedPhotos()) : CoverageData{};
    written_.clear();
    ShowRows();
    ShowResults();
    ShowStatus();
    UpdateButtons();
    if (shown_ >= 0)
        LoadShownPhoto();
    if (fit)
        emit calibrated(fit->camera);
    emit fitFinished();
}

// --- What is shown ---------------------------------------------------------------------------

void TCameraForm::ShowRows() {
    for (size_t k = 0; k < photos().size(); ++k)
        ShowRow(k);
}

void TCameraForm::ShowRow(size_t index) {
    if (index >= photos().size() || int(index) >= PhotoList->rowCount())
        return;
    const int row = int(index);
    const Photo& photo = photos()[index];
    const QScopedValueRollback<bool> quiet(updatingList_, true);
    const auto cell = [&](int column) {
        QTableWidgetItem* item = PhotoList->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            PhotoList->setItem(row, column, item);
        }
        return item;
    };
    const bool done = photo.state == Photo::State::Done;
    const PhotoDetection& detection = photo.detection;
    const int fitted = session_.FittedIndex(row);
    const PhotoFit* fit = fitted >= 0 ? &calibration()->photos[size_t(fitted)] : nullptr;

    QTableWidgetItem* name = cell(NameColumn);
    name->setText(QFileInfo(photo.file).fileName());
    name->setToolTip(photo.file);
    name->setIcon(
        PhotoIcon(thumbnails_[photo.id], fitted >= 0 && detection.found
                                             ? std::optional<QColor>(PhotoColour(size_t(fitted)))
                                             : std::nullopt));
    if (done && detection.found) {
        name->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        name->setCheckState(photo.leftOut ? Qt::Unchecked : Qt::Checked);
    } else {
        name->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        name->setData(Qt::CheckStateRole, QVariant());
    }

    QString result;
    QColor colour = palette().color(QPalette::Text);
    if (!done) {
        result = QStringLiteral("поиск…");
        colour = QColor(110, 110, 110);
    } else if (!detection.found) {
        result = (detection.read ? QStringLiteral("поле не найдено — ")
                                 : QStringLiteral("снимок не читается — ")) +
                 detection.reason;
        colour = QColor(170, 20, 20);
    } else if (fit && !(photo.leftOut && fit->use == PhotoUse::Used)) {
        result = PhotoUseText(detection, *fit, calibration()->camera);
        if (fit->use != PhotoUse::Used)
            colour = QColor(110, 110, 110);
    } else {
        result = photo.leftOut ? QStringLiteral("исключён вами") : QStringLiteral("поле найдено");
    }
    QTableWidgetItem* outcome = cell(ResultColumn);
    outcome->setText(result);
    outcome->setToolTip(result);
    outcome->setForeground(colour);
    cell(TurnColumn)->setText(done ? PhotoTurnText(detection) : QString());
    cell(TargetsColumn)
        ->setText(done && detection.found ? QString::number(detection.points()) : QString());
    cell(RmsColumn)->setText(fit ? PhotoRmsText(*fit) : QString());
    for (int column : {TurnColumn, TargetsColumn, RmsColumn})
        cell(column)->setTextAlignment(Qt::AlignCenter);
}

QStringList TCameraForm::VerdictLines(const CameraCalibration& fit) const {
    QStringList lines = CameraVerdictLines(fit, fittedPhotos());
    if (const std::optional<CameraAssessment>& assessment = session_.assessment())
        lines += CameraTrustLines(*assessment, fit, fittedPhotos());
    return lines;
}

void TCameraForm::PlaceParameters(const std::vector<CameraParameter>& shown) {
    const size_t count = ParameterValues.size();
    std::vector<bool> visible(count, false);
    std::vector<std::pair<QLabel*, QLabel*>> cells;
    for (size_t k = 0; k < count; ++k) {
        visible[k] = std::find(shown.begin(), shown.end(), kCameraParameters[k]) != shown.end();
        CameraGrid->removeWidget(ParameterNames[k]);
        CameraGrid->removeWidget(ParameterValues[k]);
        if (visible[k])
            cells.emplace_back(ParameterNames[k], ParameterValues[k]);
    }
    cells.emplace_back(ParameterNames[count], RatioValue);
    cells.emplace_back(ParameterNames[count + 1], RmsValue);
    for (size_t k = 0; k < cells.size(); ++k) {
        const int row = int(k / 2);
        const int column = int(k % 2) * 2;
        CameraGrid->removeWidget(cells[k].first);
        CameraGrid->removeWidget(cells[k].second);
        CameraGrid->addWidget(cells[k].first, row, column);
        CameraGrid->addWidget(cells[k].second, row, column + 1);
    }
    // Once the grid has them: a widget shown before it moves into the group box would be
    // shown only on the event loop's next turn.
    for (size_t k = 0; k < count; ++k) {
        ParameterNames[k]->setVisible(visible[k]);
        ParameterValues[k]->setVisible(visible[k]);
    }
}

void TCameraForm::ShowResults() {
    const int selected = session_.FittedIndex(shown_);
    const std::optional<CameraCalibration>& fit = calibration();
    if (fit) {
        const auto rows = CameraResultRows(*fit);
        const std::vector<CameraParameter> shown = ModelParameters(fit->camera, fit->selection);
        PlaceParameters(shown);
        for (size_t k = 0; k < shown.size(); ++k)
            ParameterValues[size_t(shown[k])]->setText(rows[k].second);
        RatioValue->setText(rows[rows.size() - 2].second);
        RmsValue->setText(rows.back().second);
        VerdictLabel->setStyleSheet(QString());
        VerdictLabel->setText(VerdictLines(*fit).join(QStringLiteral("\n")));
        RmsChart->Show(&*fit, selected);
        CoverageView->Show(&coverage_, selected);
        const std::optional<CameraAssessment>& assessment = session_.assessment();
        UncertaintyView->Show(assessment ? &assessment->uncertainty : nullptr);
        return;
    }
    const QString dash = QStringLiteral("—");
    PlaceParameters({kPinholeParameters.begin(), kPinholeParameters.end()});
    for (QLabel* value : ParameterValues)
        value->setText(dash);
    RatioValue->setText(dash);
    RmsValue->setText(dash);
    if (!fitFailure().isEmpty()) {
        VerdictLabel->setStyleSheet(QStringLiteral("color: rgb(178, 24, 43);"));
        VerdictLabel->setText(
            CameraFailureLines(fitFailure(), fittedPhotos()).join(QStringLiteral("\n")));
    } else {
        VerdictLabel->setStyleSheet(QString());
        VerdictLabel->setText(QStringLiteral(
            "Снимите поле 10–20 раз, наклоняя его на 20–40° в разные стороны, так чтобы оно "
            "побывало во всех частях кадра, в том числе в углах; задайте поле как оно "
            "напечатано и добавьте снимки."));
    }
    RmsChart->Show(nullptr, -1);
    CoverageView->Show(nullptr, -1);
    UncertaintyView->Show(nullptr);
}

void TCameraForm::ShowStatus() {
    QString text;
    const std::vector<Photo>& all = photos();
    const auto found = std::count_if(all.begin(), all.end(), [](const Photo& p) {
        return p.state == Photo::State::Done && p.detection.found;
    });
    if (searching() && session_.stopping()) {
        text = QStringLiteral("Поиск останавливается…");
    } else if (searching()) {
        text = QStringLiteral("Поиск поля на снимках: просмотрено %1 из %2…")
                   .arg(session_.searchDone())
                   .arg(session_.searchTotal());
    } else if (all.empty()) {
        text = QStringLiteral("Задайте поле и добавьте снимки (кнопкой или перетащив файлы в "
                              "окно).");
    } else {
        text = QStringLiteral("Снимков: %1, поле найдено на %2.")
                   .arg(qulonglong(all.size()))
                   .arg(qlonglong(found));
        if (fitting())
            text += QStringLiteral(" Расчёт камеры…");
        else if (calibration())
            text += QStringLiteral(" Камера откалибрована по %1 из них.").arg(calibration()->used);
        else
            text += QStringLiteral(" Камера не откалибрована.");
    }
    if (session_.dropped() > 0)
        text += QStringLiteral(" Поиск остановлен: снимков, убранных из списка непросмотренными: "
                               "%1.")
                    .arg(session_.dropped());
    StatusLabel->setText(text);
}

void TCameraForm::UpdateButtons() {
    const bool ready = calibration().has_value() && !searching() && !fitting();
    CancelButton->setEnabled(searching());
    RemoveButton->setEnabled(PhotoList->selectionModel()->hasSelection());
    SaveButton->setEnabled(ready);
    YamlButton->setEnabled(ready);
    RosButton->setEnabled(ready);
    UndistortBox->setEnabled(calibration().has_value());
    ReportButton->setEnabled(ready);
    CheckButton->setEnabled(!searching() && !checking() && !photos().empty());
}

// --- The window's events ----------------------------------------------------------------------

void TCameraForm::closeEvent(QCloseEvent* event) {
    // No search goes on behind a closed window: those not ended leave the list.
    if (searching()) {
        session_.StopSearches();
        ProgressBar1->setValue(0);
    }
    QWidget::closeEvent(event);
}

namespace {

QStringList LocalFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

} // namespace

void TCameraForm::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TCameraForm::dropEvent(QDropEvent* event) {
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    RunCommand([&] { AddPhotos(files); });
}

} // namespace vrma
