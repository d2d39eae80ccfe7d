// The measuring window: the photograph, the search for the targets on a worker thread
// with its progress and its stop, the targets drawn over the photograph, and the save of
// both coordinate files.
#include "app/MeasureWindow.h"
#include "app/SaveClash.h"

#include "calib/PhotoCalibration.h"
#include "data/Messages.h"
#include "data/PointFileWriter.h"
#include "platform/Application.h"
#include "platform/WindowFont.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsEllipseItem>
#include <QGraphicsPathItem>
#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>
#include <opencv2/core/mat.hpp>

namespace vrma {

namespace {

constexpr double kWheelStep = 1.25; // zoom per notch of the wheel and per "+"/"-"
constexpr double kMinZoom = 0.02;
constexpr double kMaxZoom = 40.0;
constexpr int kFieldHeight = 22;

// Alternate columns in two colours that stand out on a grey photograph.
QColor ColumnColour(int column) {
    return column % 2 == 0 ? QColor(230, 40, 40) : QColor(20, 110, 255);
}

QLabel* MakeLabel(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

QPushButton* MakeButton(const char* name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

bool MayWrite(QWidget* owner, const QString& file) {
    return !QFileInfo::exists(file) ||
           MessageBoxA(owner, messages::Overwrite(), messages::WarningCaption(), MB_YESNO) == IDYES;
}

// The photograph as the sensor recorded it, its orientation tag not applied (as the
// detection reads it, so that the targets fall on their pixels); an empty picture when
// Qt cannot read it.
QImage ReadPhotoPicture(const QString& fileName) {
    QImageReader reader(fileName);
    reader.setAutoTransform(false);
    return reader.read();
}

} // namespace

// --- The photograph view -----------------------------------------------------------

TPhotoView::TPhotoView(QWidget* parent) : QGraphicsView(parent) {
    setObjectName(QStringLiteral("PhotoView"));
    scene_ = new QGraphicsScene(this);
    setScene(scene_);
    setDragMode(QGraphicsView::ScrollHandDrag);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setResizeAnchor(QGraphicsView::AnchorViewCenter);
    setRenderHint(QPainter::Antialiasing);
    setRenderHint(QPainter::SmoothPixmapTransform);
    setBackgroundBrush(palette().window());
    setFocusPolicy(Qt::StrongFocus);
}

void TPhotoView::ShowPhoto(const QImage& photo, const QSize& fullSize) {
    ClearTargets();
    if (photo_) {
        scene_->removeItem(photo_);
        delete photo_;
        photo_ = nullptr;
    }
    if (!photo.isNull()) {
        photo_ = scene_->addPixmap(QPixmap::fromImage(photo));
        photo_->setZValue(0);
        if (fullSize.isValid() && fullSize != photo.size())
            photo_->setTransform(QTransform::fromScale(double(fullSize.width()) / photo.width(),
                                                       double(fullSize.height()) / photo.height()));
        scene_->setSceneRect(photo_->sceneBoundingRect());
    } else {
        scene_->setSceneRect(QRectF());
    }
    FitToWindow();
}

void TPhotoView::ClearTargets() {
    for (QGraphicsItem* item : targets_) {
        scene_->removeItem(item);
        delete item;
    }
    targets_.clear();
    targetItems_ = 0;
}

void TPhotoView::ShowTargets(const DetectedTargets& targets) {
    ShowTargets(targets.columns, targets.rows, targets.points, {});
}

void TPhotoView::ShowTargets(int columns, int rows, const std::vector<PlanePoint>& points,
                             const std::vector<int>& indices) {
    ClearTargets();
    // A target's position is the centre of a pixel counted from the top left pixel's
    // centre; the pixmap's pixel (0, 0) covers 0..1 of the scene.
    const auto at = [&points](size_t n) {
        const PlanePoint& point = points[n];
        return QPointF(point.x + 0.5, point.y + 0.5);
    };
    // Target n is the grid's k-th (k = i * rows + j).
    const auto indexOf = [&](size_t n) { return indices.empty() ? int(n) : indices[n]; };
    QFont numberFont = font();
    numberFont.setPixelSize(11);
    if (rows < 1 || columns < 1)
        return;
    // Each column joined from target to target where they follow on in it.
    for (size_t n = 0; n < points.size();) {
        const int i = indexOf(n) / rows;
        if (i >= columns)
            break;
        QPen line(ColumnColour(i), 2);
        line.setCosmetic(true);
        QPainterPath path;
        path.moveTo(at(n));
        size_t next = n + 1;
        while (next < points.size() && indexOf(next) == indexOf(next - 1) + 1 &&
               indexOf(next) / rows == i) {
            path.lineTo(at(next));
            ++next;
        }
        if (next > n + 1) {
            QGraphicsPathItem* polyline = scene_->addPath(path, line);
            polyline->setZValue(1);
            targets_ << polyline;
        }
        n = next;
    }
    for (size_t n = 0; n < points.size(); ++n) {
        const int k = indexOf(n);
        if (k / rows >= columns)
            break;
        const QColor colour = ColumnColour(k / rows);
        // Marks and numbers keep their size on screen whatever the zoom.
        auto* mark =
            scene_->addEllipse(QRectF(-5, -5, 10, 10), QPen(colour, 2), QBrush(Qt::NoBrush));
        mark->setFlag(QGraphicsItem::ItemIgnoresTransformations);
        mark->setPos(at(n));
        mark->setZValue(2);
        // The number on a small white label beside the mark, readable on black and white
        // squares alike.
        auto* label = new QGraphicsRectItem;
        auto* number = new QGraphicsSimpleTextItem(QString::number(k + 1), label);
        number->setFont(numberFont);
        number->setBrush(colour.darker(130));
        const QRectF text = number->boundingRect();
        label->setRect(text.adjusted(-2, 0, 2, 0));
        label->setBrush(QColor(255, 255, 255, 225));
        label->setPen(QPen(colour, 1));
        label->setFlag(QGraphicsItem::ItemIgnoresTransformations);
        label->setPos(at(n));
        label->setTransform(QTransform::fromTranslate(7, -text.height() - 5));
        label->setZValue(3);
        scene_->addItem(label);
        targets_ << mark << label;
    }
    targetItems_ = int(targets_.size());
}

void TPhotoView::ShowResiduals(const std::vector<PlanePoint>& targets,
                               const std::vector<PlanePoint>& residuals, double magnify) {
    QPen pen(QColor(255, 140, 0), 2);
    pen.setCosmetic(true);
    QPainterPath path;
    for (size_t k = 0; k < targets.size() && k < residuals.size(); ++k) {
        const QPointF from(targets[k].x + 0.5, targets[k].y + 0.5);
        path.moveTo(from);
        path.lineTo(from + QPointF(magnify * residuals[k].x, magnify * residuals[k].y));
    }
    QGraphicsPathItem* lines = scene_->addPath(path, pen);
    lines->setZValue(4);
    targets_ << lines;
    targetItems_ = int(targets_.size());
}

double TPhotoView::Zoom() const {
    return transform().m11();
}

void TPhotoView::ZoomBy(double factor) {
    const double zoom = Zoom() * factor;
    if (!(zoom >= kMinZoom && zoom <= kMaxZoom))
        return;
    scale(factor, factor);
}

void TPhotoView::FitToWindow() {
    resetTransform();
    if (photo_)
        fitInView(photo_, Qt::KeepAspectRatio);
}

void TPhotoView::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0)
        ZoomBy(std::pow(kWheelStep, notches));
    event->accept();
}

void TPhotoView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal) {
        ZoomBy(kWheelStep);
    } else if (event->key() == Qt::Key_Minus) {
        ZoomBy(1.0 / kWheelStep);
    } else {
        QGraphicsView::keyPressEvent(event);
    }
}

// --- The window ----------------------------------------------------------------------

TMeasureForm::TMeasureForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("MeasureForm"));
    setWindowTitle(QStringLiteral("Измерение снимка тест-поля"));
    setFont(DesignFont());

    PhotoEdit = new QLineEdit(this);
    PhotoEdit->setObjectName(QStringLiteral("PhotoEdit"));
    PhotoEdit->setToolTip(QStringLiteral("Имя снимка; можно ввести путь и нажать «Найти»"));
    PhotoEdit->setFixedHeight(kFieldHeight);
    PhotoEdit->setMinimumWidth(200);
    PhotoButton = MakeButton("PhotoButton", QStringLiteral("..."), this);
    PhotoButton->setFixedSize(22, 22);
    PhotoButton->setToolTip(QStringLiteral("Выбрать снимок"));
    BoardForm = new TBoardForm(TBoardForm::Arrangement::Line, this);
    FindButton = MakeButton("FindButton", QStringLiteral("Найти"), this);
    FindButton->setToolTip(QStringLiteral("Найти мишени на снимке"));
    CancelButton = MakeButton("CancelButton", QStringLiteral("Отмена"), this);
    CancelButton->setEnabled(false);
    SaveButton = MakeButton("SaveButton", QStringLiteral("Сохранить"), this);
    SaveButton->setToolTip(
        QStringLiteral("Записать файлы координат сцены и изображения и передать их в окно "
                       "калибровки"));
    SaveButton->setEnabled(false);
    ZoomInButton = MakeButton("ZoomInButton", QStringLiteral("+"), this);
    ZoomOutButton = MakeButton("ZoomOutButton", QStringLiteral("−"), this);
    for (QPushButton* button : {ZoomInButton, ZoomOutButton})
        button->setFixedSize(26, 24);
    FitButton = MakeButton("FitButton", QStringLiteral("По размеру окна"), this);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFixedWidth(160);
    StatusLabel = new QLabel(QStringLiteral("Выберите снимок тест-поля."), this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    PhotoView = new TPhotoView(this);

    auto* photoRow = new QHBoxLayout;
    photoRow->addWidget(MakeLabel(QStringLiteral("Снимок:"), this));
    photoRow->addWidget(PhotoEdit, 1);
    photoRow->addWidget(PhotoButton);
    auto* gridRow = new QHBoxLayout;
    gridRow->addWidget(BoardForm);
    gridRow->addStretch(1);
    gridRow->addWidget(FindButton);
    gridRow->addWidget(CancelButton);
    gridRow->addWidget(SaveButton);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(ProgressBar1);
    statusRow->addWidget(StatusLabel, 1);
    statusRow->addWidget(ZoomOutButton);
    statusRow->addWidget(ZoomInButton);
    statusRow->addWidget(FitButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(photoRow);
    layout->addLayout(gridRow);
    layout->addLayout(statusRow);
    layout->addWidget(PhotoView, 1);
    resize(900, 680);

    OpenPhotoDialog.Filter =
        QStringLiteral("Снимки|*.jpg;*.jpeg;*.png;*.tif;*.tiff;*.bmp|Все файлы|*.*");
    OpenPhotoDialog.DefaultExt = QStringLiteral("jpg");
    SaveSceneDialog.Filter = QStringLiteral("Файлы координат (*.crd)|*.crd");
    SaveSceneDialog.DefaultExt = QStringLiteral("*.crd");
    SaveImageDialog.Filter = QStringLiteral("Файлы координат (*.crd)|*.crd");
    SaveImageDialog.DefaultExt = QStringLiteral("*.crd");

    ConnectCommand(PhotoButton, &QPushButton::clicked, this, &TMeasureForm::PhotoButtonClick);
    ConnectCommand(FindButton, &QPushButton::clicked, this, &TMeasureForm::FindButtonClick);
    ConnectCommand(PhotoEdit, &QLineEdit::returnPressed, this, &TMeasureForm::FindButtonClick);
    ConnectCommand(CancelButton, &QPushButton::clicked, this, &TMeasureForm::CancelButtonClick);
    ConnectCommand(SaveButton, &QPushButton::clicked, this,
                   [this] { SaveButtonClick(SaveButton); });
    connect(ZoomInButton, &QPushButton::clicked, this, [this] { PhotoView->ZoomBy(kWheelStep); });
    connect(ZoomOutButton, &QPushButton::clicked, this,
            [this] { PhotoView->ZoomBy(1.0 / kWheelStep); });
    connect(FitButton, &QPushButton::clicked, this, [this] { PhotoView->FitToWindow(); });
}

TMeasureForm::~TMeasureForm() {
    StopWorker();
}

void TMeasureForm::PhotoButtonClick(QObject* /*sender*/) {
    if (!OpenPhotoDialog.Execute())
        return;
    SetPhoto(OpenPhotoDialog.FileName);
}

void TMeasureForm::SetPhoto(const QString& fileName) {
    photoFile_ = fileName;
    photoShown_ = QFileInfo(fileName).fileName();
    PhotoEdit->setText(photoShown_);
    targets_.reset();
    SaveButton->setEnabled(false);
    ProgressBar1->setValue(0);
    const QImage picture = ReadPhotoPicture(fileName);
    PhotoView->ShowPhoto(picture);
    StatusLabel->setText(picture.isNull()
                             ? QStringLiteral("Снимок не удаётся показать.")
                             : QStringLiteral("Снимок %1 × %2 пикс. Задайте вид мишеней, "
                                              "столбцы, строки и шаг и нажмите «Найти».")
                                   .arg(picture.width())
                                   .arg(picture.height()));
}

void TMeasureForm::SetRunning(bool running) {
    FindButton->setEnabled(!running);
    CancelButton->setEnabled(running);
    PhotoButton->setEnabled(!running);
    SaveButton->setEnabled(!running && targets_.has_value());
}

std::optional<QString> TMeasureForm::TypedPhoto() const {
    const QString typed = PhotoEdit->text().trimmed();
    if (typed.isEmpty() || typed == photoShown_)
        return std::nullopt;
    const QDir folder = photoFile_.isEmpty() ? QDir::current() : QFileInfo(photoFile_).dir();
    return QDir::cleanPath(folder.absoluteFilePath(typed));
}

namespace {

// How the board lies, when it is turned: the calibration's columns are then the board's
// rows, or they are taken from the right.
QString TurnNote(const DetectedTargets& found) {
    if (found.turn.degrees == 0)
        return QString();
    return QStringLiteral(" Поле повёрнуто на %1°%2.")
        .arg(found.turn.degrees)
        .arg(found.swapped ? QStringLiteral(": столбцы калибровки — строки поля") : QString());
}

} // namespace

void TMeasureForm::FindButtonClick(QObject* /*sender*/) {
    if (running())
        return;
    if (const std::optional<QString> typed = TypedPhoto())
        SetPhoto(*typed);
    if (photoFile_.isEmpty()) {
        MessageBoxA(this, QStringLiteral("Сначала выберите снимок тест-поля."),
                    messages::ErrorCaption(), MB_OK);
        return;
    }
    const std::optional<Board> board = BoardForm->CheckedBoard(this);
    if (!board)
        return;
    board_ = *board;
    targets_.reset();
    PhotoView->ClearTargets();
    ProgressBar1->setValue(0);
    StatusLabel->setText(QStringLiteral("Поиск мишеней…"));
    StartSearch();
}

void TMeasureForm::StartSearch() {
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    const std::shared_ptr<std::atomic<bool>> cancel = cancel_;
    const QString file = photoFile_;
    const Board board = board_;
    const int search = ++search_;
    worker_ = QThread::create([this, cancel, file, board, search] {
        const DetectionProgress progress = [this, cancel](int percent) {
            QMetaObject::invokeMethod(
                this, [this, percent] { ProgressBar1->setValue(percent); }, Qt::QueuedConnection);
            return !cancel->load();
        };
        // The search of the camera window and vrma-calib, with its outcomes: the
        // photograph unread (the reader's reason), the board not found (what was seen),
        // found but not to be calibrated alone (turned by about 45 degrees).
        Outcome outcome = Outcome::Failed;
        DetectedTargets found;
        QString seen; // the reason, when the targets are not to be had
        try {
            const PhotoDetection detection = DetectBoardInPhoto(file, board, progress);
            if (!detection.read) {
                outcome = Outcome::Unreadable;
                seen = detection.reason;
            } else if (!detection.found || !detection.single) {
                outcome = Outcome::NotFound;
                seen = detection.found ? detection.singleReason : detection.reason;
            } else {
                outcome = Outcome::Found;
                found = *detection.single;
            }
        } catch (const DetectionCancelled&) {
            outcome = Outcome::Cancelled;
        } catch (const std::exception&) {
            outcome = Outcome::Failed;
        }
        QMetaObject::invokeMethod(
            this,
            [this, outcome, found, seen, search] {
                // A search stopped by closing the window tells nothing any more.
                if (search == search_)
                    RunCommand([&] { Finish(outcome, found, seen); });
            },
            Qt::QueuedConnection);
    });
    worker_->setObjectName(QStringLiteral("DetectionThread"));
    SetRunning(true);
    worker_->start();
}

void TMeasureForm::CancelButtonClick(QObject* /*sender*/) {
    if (!running() || !cancel_)
        return;
    cancel_->store(true);
    StatusLabel->setText(QStringLiteral("Поиск останавливается…"));
}

void TMeasureForm::StopWorker() {
    if (!worker_)
        return;
    if (cancel_)
        cancel_->store(true);
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
}

void TMeasureForm::Finish(Outcome outcome, const DetectedTargets& found, const QString& seen) {
    StopWorker(); // the thread has ended its work: joined here
    if (outcome == Outcome::Found) {
        targets_ = found;
        BoardForm->KeepAsLast(board_);
    }
    SetRunning(false);
    switch (outcome) {
    case Outcome::Found:
        ProgressBar1->setValue(100);
        PhotoView->ShowTargets(found);
        StatusLabel->setText(QStringLiteral("Найдено мишеней: %1 (%2 столбцов × %3 строк), "
                                            "снимок %4 × %5 пикс.%6")
                                 .arg(found.points.size())
                                 .arg(found.columns)
                                 .arg(found.rows)
                                 .arg(found.imageWidth)
                                 .arg(found.imageHeight)
                                 .arg(TurnNote(found)));
        break;
    case Outcome::Cancelled:
        ProgressBar1->setValue(0);
        StatusLabel->setText(QStringLiteral("Поиск отменён."));
        break;
    case Outcome::NotFound:
        ProgressBar1->setValue(0);
        StatusLabel->setText(QStringLiteral("Сетка мишеней не найдена."));
        MessageBoxA(this, seen.isEmpty() ? messages::GridNotFound() : seen,
                    messages::ErrorCaption(), MB_OK);
        break;
    case Outcome::Unreadable:
        ProgressBar1->setValue(0);
        StatusLabel->setText(QStringLiteral("Снимок не прочитан."));
        MessageBoxA(this, seen.isEmpty() ? messages::PhotoUnreadable() : seen,
                    messages::ErrorCaption(), MB_OK);
        break;
    case Outcome::Failed:
        ProgressBar1->setValue(0);
        StatusLabel->setText(QString());
        MessageBoxA(this, messages::CalculationFailed(), messages::ErrorCaption(), MB_OK);
        break;
    }
    emit detectionFinished();
}

bool TMeasureForm::SaveButtonClick(QObject* /*sender*/) {
    if (!targets_ || running())
        return false;
    const QFileInfo photo(photoFile_);
    if (SaveSceneDialog.FileName.isEmpty())
        SaveSceneDialog.FileName =
            photo.dir().filePath(photo.completeBaseName() + QStringLiteral("_scene.crd"));
    if (!SaveSceneDialog.Execute())
        return false;
    const QString sceneFile = SaveSceneDialog.FileName;
    const NamedFile photoFile{QStringLiteral("снимок"), photoFile_};
    if (!NotAnyOf(this, sceneFile, {photoFile}) || !MayWrite(this, sceneFile))
        return false;
    if (SaveImageDialog.FileName.isEmpty())
        SaveImageDialog.FileName =
            photo.dir().filePath(photo.completeBaseName() + QStringLiteral("_image.crd"));
    if (!SaveImageDialog.Execute())
        return false;
    const QString imageFile = SaveImageDialog.FileName;
    if (!NotAnyOf(this, imageFile,
                  {photoFile, {QStringLiteral("файл координат сцены"), sceneFile}}) ||
        !MayWrite(this, imageFile))
        return false;
    try {
        WritePointFiles(sceneFile, CalibrationScene(board_, *targets_), imageFile,
                        targets_->points);
    } catch (const std::exception&) {
        MessageBoxA(this, messages::WriteFailed(), messages::ErrorCaption(), MB_OK);
        return false;
    }
    StatusLabel->setText(
        QStringLiteral("Записаны %1 и %2; они переданы в окно калибровки.")
            .arg(QFileInfo(sceneFile).fileName(), QFileInfo(imageFile).fileName()));
    if (onSaved)
        onSaved(MeasuredFiles{sceneFile, imageFile, targets_->columns, targets_->rows,
                              targets_->imageWidth, targets_->imageHeight});
    return true;
}

void TMeasureForm::closeEvent(QCloseEvent* event) {
    // A search does not go on behind a closed window.
    ++search_;
    StopWorker();
    SetRunning(false);
    if (!targets_)
        ProgressBar1->setValue(0);
    QWidget::closeEvent(event);
}

} // namespace vrma
