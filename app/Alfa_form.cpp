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
    Edit11 = MakeField(QStringLiteral("Edit11"), QString(), sceneRow, field1, kFileFieldWidth);
    Button5 = new QPushButton(QStringLiteral("..."), sceneRow);
    MakeLabel(QStringLiteral("Количество строк:"), sceneRow,
              QRect(x2 + kGroupMargin, 0, label2, kRowHeight));
    Edit3 = MakeField(QStringLiteral("Edit3"), QStringLiteral("6"), sceneRow, field2,
                      kNumberFieldWidth);
    MakeLabel(QStringLiteral("Ширина (пикс.):"), sceneRow,
              QRect(x3 + kGroupMargin, 0, label3, kRowHeight));
    Edit6 = MakeField(QStringLiteral("Edit6"), QStringLiteral("720"), sceneRow, field3,
                      kNumberFieldWidth);
    MakeBevel(sceneRow, bevel1);
    MakeBevel(sceneRow, bevel2);

    QWidget* imageRow = MakeRow(QStringLiteral("ImageRow"), band);
    MakeLabel(QStringLiteral("Изображение:"), imageRow,
              QRect(x1 + kGroupMargin, 0, label1, kRowHeight));
    Edit10 = MakeField(QStringLiteral("Edit10"), QString(), imageRow, field1, kFileFieldWidth);
    Button1 = new QPushButton(QStringLiteral("..."), imageRow);
    MakeLabel(QStringLiteral("Количество столбцов:"), imageRow,
              QRect(x2 + kGroupMargin, 0, label2, kRowHeight));
    Edit5 = MakeField(QStringLiteral("Edit5"), QStringLiteral("6"), imageRow, field2,
                      kNumberFieldWidth);
    MakeLabel(QStringLiteral("Высота (пикс.):"), imageRow,
              QRect(x3 + kGroupMargin, 0, label3, kRowHeight));
    Edit7 = MakeField(QStringLiteral("Edit7"), QStringLiteral("576"), imageRow, field3,
                      kNumberFieldWidth);
    MakeBevel(imageRow, bevel1);
    MakeBevel(imageRow, bevel2);

    // The "..." buttons lie over the right end of their fields and take no focus.
    const struct {
        QPushButton* button;
        QLineEdit* field;
        const char* name;
    } pickers[] = {{Button5, Edit11, "Button5"}, {Button1, Edit10, "Button1"}};
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
    Splitter2 = new QSplitter(Qt::Horizontal, central);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(kSplitterWidth);
    Splitter2->setChildrenCollapsible(false);
    layout->addWidget(Splitter2, 1);

    ScrollBox1 = new QScrollArea(Splitter2);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setBackgroundRole(QPalette::Base);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1 = new TImage;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(kPlotWidth, kPlotHeight);
    ScrollBox1->setWidget(Image1);
    Image2 = new TImage(ScrollBox1->viewport());
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(ScrollBox1->viewport()->rect());
    Image2->raise();
    ScrollBox1->installEventFilter(this);
    ScrollBox1->viewport()->installEventFilter(this);
}

void TAlfaKalibr_Form::CreateResultPanel() {
    Panel5 = new QWidget(Splitter2);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    auto* panelLayout = new QVBoxLayout(Panel5);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);

    ListBox1Model = new TListBoxModel(this);
    ListBox1Model->setObjectName(QStringLiteral("ListBox1Model"));
    ListBox1 = new TListBox(Panel5);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setModel(ListBox1Model);
    ListBox1->SetRowHeight(kItemHeight);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    panelLayout->addWidget(ListBox1, 1);

    auto* lower = new QWidget(Panel5);
    lower->setObjectName(QStringLiteral("ResultPanel"));
    resultPanel_ = lower;
    lower->setFixedHeight(kResultPanelHeight);
    panelLayout->addWidget(lower);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(5, 6, 5, 8);
    lowerLayout->setSpacing(4);

    auto* coefficientLabel =
        new QLabel(QStringLiteral("Коэффициент соотношения масштабов по осям изображения"), lower);
    coefficientLabel->setObjectName(QStringLiteral("CoefficientLabel"));
    coefficientLabel->setWordWrap(true);
    Edit8 = new QLineEdit(lower);
    Edit8->setObjectName(QStringLiteral("Edit8"));
    auto* deviationLabel = new QLabel(QStringLiteral("Среднеквадратическое отклонение"), lower);
    deviationLabel->setObjectName(QStringLiteral("DeviationLabel"));
    deviationLabel->setWordWrap(true);
    // A word wider than the panel in some font must not widen the panel.
    for (QLabel* label : {coefficientLabel, deviationLabel})
        label->setMinimumWidth(1);
    Edit9 = new QLineEdit(lower);
    Edit9->setObjectName(QStringLiteral("Edit9"));
    for (QLineEdit* result : {Edit8, Edit9}) {
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
    Button2 = new QPushButton(QStringLiteral("Счет"), lower);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setToolTip(QStringLiteral("Найти координаты главной точки"));
    Button3 = new QPushButton(QStringLiteral("Сохранить"), lower);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setToolTip(QStringLiteral("Сохранить результаты"));
    for (QPushButton* button : {Button2, Button3})
        button->setFixedHeight(30);

    lowerLayout->addWidget(coefficientLabel);
    lowerLayout->addWidget(Edit8);
    lowerLayout->addSpacing(6);
    lowerLayout->addWidget(deviationLabel);
    lowerLayout->addWidget(Edit9);
    lowerLayout->addWidget(TiltWarning);
    lowerLayout->addStretch(1);
    lowerLayout->addWidget(Button2);
    lowerLayout->addSpacing(4);
    lowerLayout->addWidget(Button3);

    Splitter2->addWidget(ScrollBox1);
    Splitter2->addWidget(Panel5);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
}

void TAlfaKalibr_Form::CreateMenu() {
    // The main menu.
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(MainMenu1);
    QMenu* fileMenu = MainMenu1->addMenu(QStringLiteral("&Файл"));
    fileMenu->setObjectName(QStringLiteral("FileMenu"));
    QMenu* calcMenu = MainMenu1->addMenu(QStringLiteral("Счёт"));
    calcMenu->setObjectName(QStringLiteral("CalcMenu"));
    QMenu* helpMenu = MainMenu1->addMenu(QStringLiteral("Помощь"));
    helpMenu->setObjectName(QStringLiteral("HelpMenu"));
    const auto makeAction = [this](const char* name, const QString& text, QMenu* menu) {
        auto* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        menu->addAction(action);
        return action;
    };
    N22 = makeAction("N22", QStringLiteral("Создать тест-поле…"), fileMenu);
    N23 = makeAction("N23", QStringLiteral("Измерить снимок…"), fileMenu);
    N25 = makeAction("N25", QStringLiteral("Калибровка камеры по снимкам…"), fileMenu);
    N24 = fileMenu->addSeparator();
    N24->setObjectName(QStringLiteral("N24"));
    N16 = makeAction("N16", QStringLiteral("Сохранить"), fileMenu);
    N19 = makeAction("N19", QStringLiteral("Отчёт…"), fileMenu);
    N19->setEnabled(false);
    N5 = fileMenu->addSeparator();
    N5->setObjectName(QStringLiteral("N5"));
    N15 = makeAction("N15", QStringLiteral("Выход"), fileMenu);
    N4 = makeAction("N4", QStringLiteral("Калибровка масштабов"), calcMenu);
    N26 = makeAction("N26", QStringLiteral("Калибровка камеры по снимкам…"), calcMenu);
    N10 = makeAction("N10", QStringLiteral("Справка"), helpMenu);
    N11 = makeAction("N11", QStringLiteral("О программе"), helpMenu);
}

void TAlfaKalibr_Form::ConnectCommands() {
    ConnectCommand(N22, &QAction::triggered, this, &TAlfaKalibr_Form::N22Click);
    ConnectCommand(N23, &QAction::triggered, this, &TAlfaKalibr_Form::N23Click);
    ConnectCommand(N25, &QAction::triggered, this, &TAlfaKalibr_Form::N25Click);
    ConnectCommand(N26, &QAction::triggered, this, &TAlfaKalibr_Form::N25Click);
    ConnectCommand(N16, &QAction::triggered, this, &TAlfaKalibr_Form::N16Click);
    ConnectCommand(N19, &QAction::triggered, this, &TAlfaKalibr_Form::N19Click);
    ConnectCommand(N15, &QAction::triggered, this, &TAlfaKalibr_Form::N15Click);
    ConnectCommand(N4, &QAction::triggered, this, &TAlfaKalibr_Form::N4Click);
    ConnectCommand(N10, &QAction::triggered, this, &TAlfaKalibr_Form::N10Click);
    ConnectCommand(N11, &QAction::triggered, this, &TAlfaKalibr_Form::N11Click);
    ConnectCommand(Button5, &QPushButton::clicked, this, &TAlfaKalibr_Form::Button5Click);
    ConnectCommand(Button1, &QPushButton::clicked, this, &TAlfaKalibr_Form::Button1Click);
    ConnectCommand(Button2, &QPushButton::clicked, this, &TAlfaKalibr_Form::Button2Click);
    ConnectCommand(Button3, &QPushButton::clicked, this, &TAlfaKalibr_Form::Button3Click);
}

void TAlfaKalibr_Form::SetUpDialogs() {
    // The dialogs.
    OpenCrdDialog.Filter = QStringLiteral("Coordinate Files (*.crd)|*.crd");
    OpenCrdDialog.DefaultExt = QStringLiteral("*.crd");
    OpenCrdDialog.AllowMultiSelect = true;
    TabSaveDialog.Filter = QStringLiteral("Table Files|*.tab|All Files|*.*");
    TabSaveDialog.DefaultExt = QStringLiteral("tab");
    TabSaveDialog.FileName = QStringLiteral("Table1");
    SaveReportDialog.Filter = QStringLiteral("PDF Files|*.pdf|All Files|*.*");
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
    Splitter2->setSizes({Splitter2->width() - kPanelWidth - kSplitterWidth, kPanelWidth});
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
    Image1->SetPicture(QImage());
    Image1->SetPictureWidth(Image1->width());
    Image1->SetPictureHeight(Image1->height());
}

TAlfaKalibr_Form::~TAlfaKalibr_Form() {
    FormDestroy(this);
}

void TAlfaKalibr_Form::LoadSplash(const QByteArray& jpeg) {
    const cv::Mat picture = DecodeJpegPicture(jpeg);
    Image2->SetPicture(picture.empty() ? QImage()
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
    Edit11->setText(LastComponent(sceneFileName));
}

void TAlfaKalibr_Form::Button1Click(QObject* /*sender*/) {
    if (!OpenCrdDialog.Execute())
        return;
    OpenCrdDialog.InitialDir.clear();
    imageFileName = OpenCrdDialog.FileName;
    imageChosenFolder = FolderOf(imageFileName);
    Edit10->setText(LastComponent(imageFileName));
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
    TakeTypedName(*Edit11, sceneChosenFolder, sceneFileName);
}

void TAlfaKalibr_Form::Edit10KeyUp(QObject* /*sender*/) {
    TakeTypedName(*Edit10, imageChosenFolder, imageFileName);
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
    Image1->SetPictureWidth(Image1->width());
    Image1->SetPictureHeight(Image1->height());
}

void TAlfaKalibr_Form::ScrollBox1Resize(QObject* /*sender*/) {
    Image1->SetPictureWidth(Image1->width());
    Image1->SetPictureHeight(Image1->height());
}

void TAlfaKalibr_Form::FormDestroy(QObject* /*sender*/) {
    imagePoints.reset();
    scenePoints.reset();
    startFolder.clear();
    sceneFileName.clear();
    imageFileName.clear();
}

QStringList TAlfaKalibr_Form::ListBoxLines() const {
    return ListBox1Model->stringList();
}

void TAlfaKalibr_Form::SetListBoxLines(const QStringList& lines) {
    ListBox1Model->setStringList(lines);
}

void TAlfaKalibr_Form::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize(this);
}

bool TAlfaKalibr_Form::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit11 || watched == Edit10) {
        const bool scene = watched == Edit11;
        if (event->type() == QEvent::KeyRelease) {
            scene ? Edit11KeyUp(watched) : Edit10KeyUp(watched);
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            scene ? Edit11DblClick(watched) : Edit10DblClick(watched);
        }
    } else if (ScrollBox1 && watched == ScrollBox1->viewport()) {
        // The splash fills the visible part of the plot area and follows its size.
        if (event->type() == QEvent::Resize)
            Image2->setGeometry(ScrollBox1->viewport()->rect());
    } else if (watched == ScrollBox1 && event->type() == QEvent::Resize) {
        ScrollBox1Resize(watched);
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vrma
