// The calibration window: its controls, defaults, menu and the handlers of the shell
// (file pickers, typed file names, help, about, exit, plot bitmap size).
#include "app/Alfa_form.h"
#include "platform/Application.h"

#include "app/AboutBox.h"
#include "calib/Photograph.h"
#include "platform/ImageControl.h"
#include "platform/ListBox.h"
#include "platform/ListBoxModel.h"
#include "platform/WindowFont.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

namespace vrma {

namespace {

constexpr int kRowHeight = 29;   // each row of the top band
constexpr int kFieldHeight = 22; // fields and "..." buttons in the band
constexpr int kFileFieldWidth = 150;
constexpr int kNumberFieldWidth = 40;
constexpr int kPickerSize = 22;
constexpr int kGroupMargin = 8; // from a group's edge to its first and last control
constexpr int kLabelGap = 6;    // between a label and its field
constexpr int kBevelWidth = 2;
constexpr int kPlotWidth = 700;
constexpr int kPlotHeight = 500;
constexpr int kPanelWidth = 185; // the result panel
constexpr int kItemHeight = 16;  // list box items
constexpr int kSplitterWidth = 3;

QLabel* MakeLabel(const QString& text, QWidget* parent, const QRect& geometry,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

QLineEdit* MakeField(const QString& name, const QString& text, QWidget* parent, int x, int width) {
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(name);
    field->setGeometry(x, (kRowHeight - kFieldHeight) / 2, width, kFieldHeight);
    return field;
}

void MakeBevel(QWidget* row, int x) {
    auto* line = new QFrame(row);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, 0, kBevelWidth, kRowHeight);
}

QWidget* MakeRow(const QString& name, QWidget* parent) {
    auto* row = new QWidget(parent);
    row->setObjectName(name);
    row->setFixedHeight(kRowHeight);
    return row;
}

// The last component of a path: what follows its last "/".
QString LastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The folder of a path, up to and including its last "/" ("" when it has none).
QString FolderOf(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

TAlfaKalibr_Form::TAlfaKalibr_Form(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("AlfaKalibr_Form"));
    setWindowTitle(QStringLiteral("Построение таблицы коррекции"));
    setFont(DesignFont());

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainPanel"));
    setCentralWidget(central);
    auto* mainLayout = new QVBoxLayout(central);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);

    CreateTopBand(central, mainLayout);
    CreatePlotArea(central, mainLayout);
    CreateResultPanel();
    CreateMenu();
    CreatePlotMenu();
    ConnectCommands();
    SetUpDialogs();
    PlaceWindow();
    FormCreate();
}

void TAlfaKalibr_Form::CreateTopBand(QWidget* band, QVBoxLayout* bandLayout) {
    // The top band: headings, then the scene row, then the image row. The three groups
    // line up across the rows; their widths follow the labels in the window's font.
    const QFontMetrics metrics(font());
    const auto widest = [&metrics](std::initializer_list<const char*> texts) {
        int width = 0;
        for (const char* text : texts)
            width = std::max(width, metrics.horizontalAdvance(QString::fromUtf8(text)));
        return width;
    };
    const QString heading1 = QStringLiteral("Реперные точки");
    const QString heading2 = QStringLiteral("Размеры реперного поля");
    const QString heading3 = QStringLiteral("Размеры изображения");
    const int label1 = widest({"Сцена:", "Изображение:"});
    const int label2 = widest({"Количество строк:", "Количество столбцов:"});
    const int label3 = widest({"Ширина (пикс.):", "Высота (пикс.):"});
    const int group1 = std::max(2 * kGroupMargin + label1 + kLabelGap + kFileFieldWidth,
                                metrics.horizontalAdvance(heading1) + 2 * kGroupMargin);
    const int group2 = std::max(2 * kGroupMargin + label2 + kLabelGap + kNumberFieldWidth,
                                metrics.horizontalAdvance(heading2) + 2 * kGroupMargin);
    const int group3 = std::max(2 * kGroupMargin + label3 + kLabelGap + kNumberFieldWidth,
                                metrics.horizontalAdvance(heading3) + 2 * kGroupMargin);
    const int x1 = 0;
    const int bevel1 = x1 + group1;
    const int x2 = bevel1 + kBevelWidth;
    const int bevel2 = x2 + group2;
    const int x3 = bevel2 + kBevelWidth;
    const int field1 = x1 + kGroupMargin + label1 + kLabelGap;
    const int field2 = x2 + kGroupMargin + label2 + kLabelGap;
    const int field3 = x3 + kGroupMargin + label3 + kLabelGap;

    QWidget* headings = MakeRow(QStringLiteral("HeadingRow"), band);
    MakeLabel(heading1, headings, QRect(x1, 0, group1, kRowHeight), Qt::AlignCenter);
    MakeLabel(heading2, headings, QRect(x2, 0, group2, kRowHeight), Qt::AlignCenter);
    MakeLabel(heading3, headings, QRect(x3, 0, group3, kRowHeight), Qt::AlignCenter);
    MakeBevel(headings, bevel1);
    MakeBevel(headings, bevel2);

    QWidget* sceneRow = MakeRow(QStringLiteral("SceneRow"), band);
    MakeLabel(QStringLiteral("Сцена:"), sceneRow, QRect(x1 + kGroupMargin, 0, label1, kRowHeight));
    sceneField = MakeField(QStringLiteral("Edit11"), QString(), sceneRow, field1, kFileFieldWidth);
    scenePickButton = new QPushButton(QStringLiteral("..."), sceneRow);
    MakeLabel(QStringLiteral("Количество строк:"), sceneRow,
              QRect(x2 + kGroupMargin, 0, label2, kRowHeight));
    rowsField = MakeField(QStringLiteral("Edit3"), QStringLiteral("6"), sceneRow, field2,
                          kNumberFieldWidth);
    MakeLabel(QStringLiteral("Ширина (пикс.):"), sceneRow,
              QRect(x3 + kGroupMargin, 0, label3, kRowHeight));
    widthField = MakeField(QStringLiteral("Edit6"), QStringLiteral("720"), sceneRow, field3,
                           kNumberFieldWidth);
    MakeBevel(sceneRow, bevel1);
    MakeBevel(sceneRow, bevel2);

    QWidget* imageRow = MakeRow(QStringLiteral("ImageRow"), band);
    MakeLabel(QStringLiteral("Изображение:"), imageRow,
              QRect(x1 + kGroupMargin, 0, label1, kRowHeight));
    imageField = MakeField(QStringLiteral("Edit10"), QString(), imageRow, field1, kFileFieldWidth);
    imagePickButton = new QPushButton(QStringLiteral("..."), imageRow);
    MakeLabel(QStringLiteral("Количество столбцов:"), imageRow,
              QRect(x2 + kGroupMargin, 0, label2, kRowHeight));
    columnsField = MakeField(QStringLiteral("Edit5"), QStringLiteral("6"), imageRow, field2,
                             kNumberFieldWidth);
    MakeLabel(QStringLiteral("Высота (пикс.):"), imageRow,
              QRect(x3 + kGroupMargin, 0, label3, kRowHeight));
    heightField = MakeField(QStringLiteral("Edit7"), QStringLiteral("576"), imageRow, field3,
                            kNumberFieldWidth);
    MakeBevel(imageRow, bevel1);
    MakeBevel(imageRow, bevel2);

    // The "..." buttons lie over the right end of their fields and take no focus.
    const struct {
        QPushButton* button;
        QLineEdit* field;
        const char* name;
    } pickers[] = {{scenePickButton, sceneField, "Button5"},
                   {imagePickButton, imageField, "Button1"}};
    for (const auto& picker : pickers) {
        picker.button->setObjectName(QString::fromLatin1(picker.name));
        picker.button->setFocusPolicy(Qt::NoFocus);
        picker.button->setGeometry(field1 + kFileFieldWidth - kPickerSize,
                                   (kRowHeight - kPickerSize) / 2, kPickerSize, kPickerSize);
        picker.button->raise();
        picker.field->setTextMargins(0, 0, kPickerSize - 2, 0);
        picker.field->installEventFilter(this);
    }

    bandLayout->addWidget(headings);
    bandLayout->addWidget(sceneRow);
    bandLayout->addWidget(imageRow);
}

void TAlfaKalibr_Form::CreatePlotArea(QWidget* central, QVBoxLayout* layout) {
    // Below the band: the plot area, then (CreateResultPanel) the splitter's right side.
    plotSplitter = new QSplitter(Qt::Horizontal, central);
    plotSplitter->setObjectName(QStringLiteral("Splitter2"));
    plotSplitter->setHandleWidth(kSplitterWidth);
    plotSplitter->setChildrenCollapsible(false);
    layout->addWidget(plotSplitter, 1);

    plotArea = new QScrollArea(plotSplitter);
    plotArea->setObjectName(QStringLiteral("ScrollBox1"));
    plotArea->setBackgroundRole(QPalette::Base);
    plotArea->setWidgetResizable(false);
    plotArea->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    plotImage = new TImage;
    plotImage->setObjectName(QStringLiteral("Image1"));
    plotImage->setFixedSize(kPlotWidth, kPlotHeight);
    plotArea->setWidget(plotImage);
    splashImage = new TImage(plotArea->viewport());
    splashImage->setObjectName(QStringLiteral("Image2"));
    splashImage->setGeometry(plotArea->viewport()->rect());
    splashImage->raise();
    plotArea->installEventFilter(this);
    plotArea->viewport()->installEventFilter(this);
}

void TAlfaKalibr_Form::CreateResultPanel() {
    resultPanel = new QWidget(plotSplitter);
    resultPanel->setObjectName(QStringLiteral("Panel5"));
    auto* panelLayout = new QVBoxLayout(resultPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);

    ratioListModel = new TListBoxModel(this);
    ratioListModel->setObjectName(QStringLiteral("ListBox1Model"));
    ratioList = new TListBox(resultPanel);
    ratioList->setObjectName(QStringLiteral("ListBox1"));
    ratioList->setModel(ratioListModel);
    ratioList->SetRowHeight(kItemHeight);
    ratioList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ratioList->setSelectionMode(QAbstractItemView::SingleSelection);
    panelLayout->addWidget(ratioList, 1);

    auto* lower = new QWidget(resultPanel);
    lower->setObjectName(QStringLiteral("ResultPanel"));
    resultsBox_ = lower;
    lower->setFixedHeight(kResultPanelHeight);
    panelLayout->addWidget(lower);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(5, 6, 5, 8);
    lowerLayout->setSpacing(4);

    auto* coefficientLabel =
        new QLabel(QStringLiteral("Коэффициент соотношения масштабов по осям изображения"), lower);
    coefficientLabel->setObjectName(QStringLiteral("CoefficientLabel"));
    coefficientLabel->setWordWrap(true);
    coefficientField = new QLineEdit(lower);
    coefficientField->setObjectName(QStringLiteral("Edit8"));
    auto* deviationLabel = new QLabel(QStringLiteral("Среднеквадратическое отклонение"), lower);
    deviationLabel->setObjectName(QStringLiteral("DeviationLabel"));
    deviationLabel->setWordWrap(true);
    // A word wider than the panel in some font must not widen the panel.
    for (QLabel* label : {coefficientLabel, deviationLabel})
        label->setMinimumWidth(1);
    sdField = new QLineEdit(lower);
    sdField->setObjectName(QStringLiteral("Edit9"));
    for (QLineEdit* result : {coefficientField, sdField}) {
        result->setReadOnly(true);
        result->setEnabled(false);
        result->setFixedHeight(kFieldHeight);
    }
    TiltWarning = new QLabel(lower);
    TiltWarning->setObjectName(QStringLiteral("TiltWarning"));
    TiltWarning->setWordWrap(true);
    TiltWarning->setMinimumWidth(1);
    QPalette red = TiltWarning->palette();
    red.setColor(QPalette::WindowText, QColor(178, 24, 43));
    TiltWarning->setPalette(red);
    TiltWarning->hide();
    countButton = new QPushButton(QStringLiteral("Счет"), lower);
    countButton->setObjectName(QStringLiteral("Button2"));
    countButton->setToolTip(QStringLiteral("Найти координаты главной точки"));
    saveButton = new QPushButton(QStringLiteral("Сохранить"), lower);
    saveButton->setObjectName(QStringLiteral("Button3"));
    saveButton->setToolTip(QStringLiteral("Сохранить результаты"));
    for (QPushButton* button : {countButton, saveButton})
        button->setFixedHeight(30);

    lowerLayout->addWidget(coefficientLabel);
    lowerLayout->addWidget(coefficientField);
    lowerLayout->addSpacing(6);
    lowerLayout->addWidget(deviationLabel);
    lowerLayout->addWidget(sdField);
    lowerLayout->addWidget(TiltWarning);
    lowerLayout->addStretch(1);
    lowerLayout->addWidget(countButton);
    lowerLayout->addSpacing(4);
    lowerLayout->addWidget(saveButton);

    plotSplitter->addWidget(plotArea);
    plotSplitter->addWidget(resultPanel);
    plotSplitter->setStretchFactor(0, 1);
    plotSplitter->setStretchFactor(1, 0);
}

void TAlfaKalibr_Form::CreateMenu() {
    // The main menu.
    mainMenu = new QMenuBar(this);
    mainMenu->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(mainMenu);
    QMenu* fileMenu = mainMenu->addMenu(QStringLiteral("&Файл"));
    fileMenu->setObjectName(QStringLiteral("FileMenu"));
    QMenu* calcMenu = mainMenu->addMenu(QStringLiteral("Счёт"));
    calcMenu->setObjectName(QStringLiteral("CalcMenu"));
    QMenu* helpMenu = mainMenu->addMenu(QStringLiteral("Помощь"));
    helpMenu->setObjectName(QStringLiteral("HelpMenu"));
    const auto makeAction = [this](const char* name, const QString& text, QMenu* menu) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        menu->addAction(action);
        return action;
    };
    testFieldAction = makeAction("N22", QStringLiteral("Создать тест-поле…"), fileMenu);
    measureAction = makeAction("N23", QStringLiteral("Измерить снимок…"), fileMenu);
    cameraAction = makeAction("N25", QStringLiteral("Калибровка камеры по снимкам…"), fileMenu);
    photoSeparator = fileMenu->addSeparator();
    photoSeparator->setObjectName(QStringLiteral("N24"));
    saveAction = makeAction("N16", QStringLiteral("Сохранить"), fileMenu);
    reportAction = makeAction("N19", QStringLiteral("Отчёт…"), fileMenu);
    reportAction->setEnabled(false);
    exitSeparator = fileMenu->addSeparator();
    exitSeparator->setObjectName(QStringLiteral("N5"));
    exitAction = makeAction("N15", QStringLiteral("Выход"), fileMenu);
    countAction = makeAction("N4", QStringLiteral("Калибровка масштабов"), calcMenu);
    cameraCountAction =
        makeAction("N26", QStringLiteral("Калибровка камеры по снимкам…"), calcMenu);
    helpAction = makeAction("N10", QStringLiteral("Справка"), helpMenu);
    aboutAction = makeAction("N11", QStringLiteral("О программе"), helpMenu);

    // The way to a camera's calibration from photographs, in sight under the menu.
    cameraBar = addToolBar(QStringLiteral("Калибровка камеры"));
    cameraBar->setObjectName(QStringLiteral("CameraBar"));
    cameraBar->setMovable(false);
    cameraBar->setFloatable(false);
    cameraBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    cameraBar->addAction(cameraAction);
    cameraAction->setToolTip(QStringLiteral(
        "Откалибровать камеру (fx, fy, главная точка, дисторсия) по нескольким снимкам поля"));
}

void TAlfaKalibr_Form::ConnectCommands() {
    ConnectCommand(testFieldAction, &QAction::triggered, this, &TAlfaKalibr_Form::MakeTestField);
    ConnectCommand(measureAction, &QAction::triggered, this, &TAlfaKalibr_Form::OpenMeasureWindow);
    ConnectCommand(cameraAction, &QAction::triggered, this, &TAlfaKalibr_Form::OpenCameraWindow);

    ConnectCommand(cameraCountAction, &QAction::triggered, this,
                   &TAlfaKalibr_Form::OpenCameraWindow);
    ConnectCommand(saveAction, &QAction::triggered, this, &TAlfaKalibr_Form::N16Click);
    ConnectCommand(reportAction, &QAction::triggered, this, &TAlfaKalibr_Form::SaveReport);
    ConnectCommand(exitAction, &QAction::triggered, this, &TAlfaKalibr_Form::N15Click);
    ConnectCommand(countAction, &QAction::triggered, this, &TAlfaKalibr_Form::N4Click);
    ConnectCommand(helpAction, &QAction::triggered, this, &TAlfaKalibr_Form::N10Click);
    ConnectCommand(aboutAction, &QAction::triggered, this, &TAlfaKalibr_Form::N11Click);
    ConnectCommand(scenePickButton, &QPushButton::clicked, this, &TAlfaKalibr_Form::Button5Click);
    ConnectCommand(imagePickButton, &QPushButton::clicked, this, &TAlfaKalibr_Form::Button1Click);
    ConnectCommand(countButton, &QPushButton::clicked, this, &TAlfaKalibr_Form::Button2Click);
    ConnectCommand(saveButton, &QPushButton::clicked, this, &TAlfaKalibr_Form::Button3Click);
}

void TAlfaKalibr_Form::SetUpDialogs() {
    // The dialogs.
    OpenCrdDialog.Filter = QStringLiteral("Coordinate Files (*.crd)|*.crd");
    OpenCrdDialog.DefaultExt = QStringLiteral("*.crd");
    OpenCrdDialog.AllowMultiSelect = true;
    TabSaveDialog.Filter = QStringLiteral("Table Files|*.tab|All Files|*.*");
    TabSaveDialog.DefaultExt = QStringLiteral("tab");
    TabSaveDialog.FileName = QStringLiteral("Table1");
    SaveReportDialog.Filter = QStringLiteral("Отчёты PDF|*.pdf|Все файлы|*.*");
    SaveReportDialog.DefaultExt = QStringLiteral("pdf");
    SaveReportDialog.FileName = QStringLiteral("Report1");
    SaveCamDialog.Filter = QStringLiteral("Camera Files|*.cam|All Files|*.*");
    SaveCamDialog.DefaultExt = QStringLiteral("*.cam");
}

void TAlfaKalibr_Form::PlaceWindow() {
    // The window: 812 x 644, no smaller than 690 x 450, at the centre of the desktop.
    setMinimumSize(690, 450);
    resize(812, 644);
    // Lay the window out now, so that the splitter has its width when it is shared.
    layout()->activate();
    centralWidget()->layout()->activate();
    plotSplitter->setSizes({plotSplitter->width() - kPanelWidth - kSplitterWidth, kPanelWidth});
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TAlfaKalibr_Form::FormCreate() {
    // The splash picture, stored with the program, covers the plot until a calibration.
    QFile splash(QStringLiteral(":/assets/splash.jpg"));
    LoadSplash(splash.open(QIODevice::ReadOnly) ? splash.readAll() : QByteArray());

    // Creation: the start folder is the first folder of the coordinate-file dialog.
    startFolder = QDir::currentPath();
    OpenCrdDialog.InitialDir = startFolder;
    sceneFileName.clear();
    imageFileName.clear();
    // The lists own their records, so nothing read is left behind.
    imagePoints = std::make_unique<VT_Points>(1);
    scenePoints = std::make_unique<VT_Points>(1);
    // Qt paints every widget double-buffered. A new blank bitmap of the plot's size:
    plotImage->SetPicture(QImage());
    plotImage->SetPictureWidth(plotImage->width());
    plotImage->SetPictureHeight(plotImage->height());
}

TAlfaKalibr_Form::~TAlfaKalibr_Form() {
    FormDestroy(this);
}

void TAlfaKalibr_Form::LoadSplash(const QByteArray& jpeg) {
    const cv::Mat picture = DecodeJpegPicture(jpeg);
    splashImage->SetPicture(picture.empty() ? QImage()
                                            : QImage(picture.data, picture.cols, picture.rows,
                                                     int(picture.step), QImage::Format_RGB888)
                                                  .copy());
}

void TAlfaKalibr_Form::Button5Click(QObject* /*sender*/) {
    if (!OpenCrdDialog.Execute())
        return;
    // From now on the dialog opens where the file was chosen (the current folder).
    OpenCrdDialog.InitialDir.clear();
    sceneFileName = OpenCrdDialog.FileName;
    sceneChosenFolder = FolderOf(sceneFileName);
    sceneField->setText(LastComponent(sceneFileName));
}

void TAlfaKalibr_Form::Button1Click(QObject* /*sender*/) {
    if (!OpenCrdDialog.Execute())
        return;
    OpenCrdDialog.InitialDir.clear();
    imageFileName = OpenCrdDialog.FileName;
    imageChosenFolder = FolderOf(imageFileName);
    imageField->setText(LastComponent(imageFileName));
}

namespace {

// A typed file name: an absolute path as it stands, anything else in the folder of the
// file last chosen with the field's button, or as typed before any was chosen.
void TakeTypedName(const QLineEdit& field, const QString& chosenFolder, QString& member) {
    const QString text = field.text();
    if (text.isEmpty())
        return;
    if (QDir::isAbsolutePath(text) || chosenFolder.isEmpty())
        member = text;
    else
        member = chosenFolder + text;
}

} // namespace

void TAlfaKalibr_Form::Edit11KeyUp(QObject* /*sender*/) {
    TakeTypedName(*sceneField, sceneChosenFolder, sceneFileName);
}

void TAlfaKalibr_Form::Edit10KeyUp(QObject* /*sender*/) {
    TakeTypedName(*imageField, imageChosenFolder, imageFileName);
}

void TAlfaKalibr_Form::Button2Click(QObject* sender) {
    N4Click(sender);
}

void TAlfaKalibr_Form::Button3Click(QObject* sender) {
    N16Click(sender);
}

void TAlfaKalibr_Form::N10Click(QObject* /*sender*/) {
    WinHelpA(this, QStringLiteral("VRMAHelp\\VRMA_01.HLP"), HELP_FINDER, 0);
}

void TAlfaKalibr_Form::N11Click(QObject* /*sender*/) {
    if (!AboutBox)
        AboutBox = new TVRMAAboutBox(this);
    CurrentDialogHost().execModal(*AboutBox);
}

void TAlfaKalibr_Form::N15Click(QObject* /*sender*/) {
    close();
}

void TAlfaKalibr_Form::FormResize(QObject* /*sender*/) {
    plotImage->SetPictureWidth(plotImage->width());
    plotImage->SetPictureHeight(plotImage->height());
}

void TAlfaKalibr_Form::ScrollBox1Resize(QObject* /*sender*/) {
    plotImage->SetPictureWidth(plotImage->width());
    plotImage->SetPictureHeight(plotImage->height());
}

void TAlfaKalibr_Form::FormDestroy(QObject* /*sender*/) {
    imagePoints.reset();
    scenePoints.reset();
    startFolder.clear();
    sceneFileName.clear();
    imageFileName.clear();
}

QStringList TAlfaKalibr_Form::ListBoxLines() const {
    return ratioListModel->stringList();
}

void TAlfaKalibr_Form::SetListBoxLines(const QStringList& lines) {
    ratioListModel->setStringList(lines);
}

void TAlfaKalibr_Form::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize(this);
}

bool TAlfaKalibr_Form::eventFilter(QObject* watched, QEvent* event) {
    if (watched == sceneField || watched == imageField) {
        const bool scene = watched == sceneField;
        if (event->type() == QEvent::KeyRelease) {
            scene ? Edit11KeyUp(watched) : Edit10KeyUp(watched);
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            scene ? Edit11DblClick(watched) : Edit10DblClick(watched);
        }
    } else if (plotArea && watched == plotArea->viewport()) {
        // The splash fills the visible part of the plot area and follows its size.
        if (event->type() == QEvent::Resize)
            splashImage->setGeometry(plotArea->viewport()->rect());
    } else if (watched == plotArea && event->type() == QEvent::Resize) {
        ScrollBox1Resize(watched);
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vrma
