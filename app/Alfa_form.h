#pragma once
// The calibration window, the program's main window.
#include "app/BoardForm.h"
#include "calib/Camera.h"
#include "calib/FieldCheck.h"
#include "calib/NodeAnalysis.h"
#include "data/Data_structures.h"
#include "data/FileNames.h"
#include "drawing/ScaleRatioCommand.h"
#include "drawing/ScaleRatioReport.h"
#include "platform/Dialogs.h"

#include <QMainWindow>
#include <QString>
#include <QThreadPool>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QToolBar;
class QScrollArea;
class QSplitter;
class QVBoxLayout;

namespace vrma {

class TImage;
class TListBox;
class TListBoxModel;
class TCameraForm;
class TMeasureForm;
class TVRMAAboutBox;
struct MeasuredFiles;

// The lower part of the result panel (the results and the buttons), pixels as designed.
inline constexpr int kResultPanelHeight = 258;

// What "Сохранить" writes: the coefficient into the correction table, and the camera file
// prefilled from the image size's texts, or with the focal length and principal point of a
// camera calibrated from photographs of that size.
struct ResultsToSave {
    double coefficient = 0.0;
    QString widthText;
    QString heightText;
    std::optional<Camera> camera;
    // The files the window reads: neither the table nor the camera file may be one of them.
    std::vector<NamedFile> inputs;
    // Where the files written are told (a report's lines), or nowhere.
    QStringList* written = nullptr;
    // Where the camera file's name is given once it is written, or nowhere.
    QString* cameraFile = nullptr;
};

class TAlfaKalibr_Form : public QMainWindow {
    Q_OBJECT
public:
    explicit TAlfaKalibr_Form(QWidget* parent = nullptr);
    ~TAlfaKalibr_Form() override;

    // Controls, named for what they are; each keeps its design's name as its objectName
    // (the design's names in the comments, and reachable below).
    QLineEdit* sceneField = nullptr;        // Edit11: the scene file's name (last component)
    QLineEdit* imageField = nullptr;        // Edit10: the image file's name
    QPushButton* scenePickButton = nullptr; // Button5: "..." for the scene file
    QPushButton* imagePickButton = nullptr; // Button1: "..." for the image file
    QLineEdit* rowsField = nullptr;         // Edit3: rows, "6"
    QLineEdit* columnsField = nullptr;      // Edit5: columns, "6"
    QLineEdit* widthField = nullptr;        // Edit6: width, "720"
    QLineEdit* heightField = nullptr;       // Edit7: height, "576"
    QScrollArea* plotArea = nullptr;        // ScrollBox1
    TImage* plotImage = nullptr;            // Image1: the plot, 700 x 500
    TImage* splashImage = nullptr;          // Image2: the splash picture over the plot
    QSplitter* plotSplitter = nullptr;      // Splitter2
    QWidget* resultPanel = nullptr;         // Panel5
    TListBox* ratioList = nullptr;          // ListBox1: lines readable through ratioListModel
    TListBoxModel* ratioListModel = nullptr;
    QLineEdit* coefficientField = nullptr; // Edit8: the coefficient (read-only, disabled)
    QLineEdit* sdField = nullptr;          // Edit9: the standard deviation (read-only, disabled)
    // Under the result fields, in red: the field check of the calibration on screen says the
    // field is tilted (with the corrected value). Hidden otherwise.
    QLabel* TiltWarning = nullptr;
    QPushButton* countButton = nullptr; // Button2: "Счет"
    QPushButton* saveButton = nullptr;  // Button3: "Сохранить"
    QMenuBar* mainMenu = nullptr;       // MainMenu1
    QAction* testFieldAction = nullptr; // Файл / Создать тест-поле…
    QAction* measureAction = nullptr;   // Файл / Измерить снимок…
    QAction* cameraAction = nullptr; // Файл / Калибровка камеры по снимкам…
    QToolBar* cameraBar = nullptr; // under the menu: "Калибровка камеры по снимкам…"
    QAction* cameraCountAction = nullptr; // Счёт / Калибровка камеры по снимкам…
    QAction* photoSeparator = nullptr; // separator
    QAction* saveAction = nullptr;     // N16: Файл / Сохранить
    QAction* reportAction = nullptr;   // Файл / Отчёт…, while a completed run is shown
    QAction* exitSeparator = nullptr;  // N5: separator
    QAction* exitAction = nullptr;     // N15: Файл / Выход
    QAction* countAction = nullptr;    // N4: Счёт / Калибровка масштабов
    QAction* helpAction = nullptr;     // N10: Помощь / Справка
    QAction* aboutAction = nullptr;    // N11: Помощь / О программе

    // The context menu of the plot area.
    QMenu* plotMenu = nullptr;
    QAction* nodeAnalysisAction = nullptr; // "Анализ по узлам…", while a completed run is shown
    QAction* savePlotAction = nullptr; // "Сохранить график…"

    // The controls by their design's names.
    QLineEdit*& Edit11 = sceneField;
    QLineEdit*& Edit10 = imageField;
    QPushButton*& Button5 = scenePickButton;
    QPushButton*& Button1 = imagePickButton;
    QLineEdit*& Edit3 = rowsField;
    QLineEdit*& Edit5 = columnsField;
    QLineEdit*& Edit6 = widthField;
    QLineEdit*& Edit7 = heightField;
    QScrollArea*& ScrollBox1 = plotArea;
    TImage*& Image1 = plotImage;
    TImage*& Image2 = splashImage;
    QSplitter*& Splitter2 = plotSplitter;
    QWidget*& Panel5 = resultPanel;
    TListBox*& ListBox1 = ratioList;
    QLineEdit*& Edit8 = coefficientField;
    QLineEdit*& Edit9 = sdField;
    QPushButton*& Button2 = countButton;
    QPushButton*& Button3 = saveButton;
    QMenuBar*& MainMenu1 = mainMenu;
    QAction*& N16 = saveAction;
    QAction*& N5 = exitSeparator;
    QAction*& N15 = exitAction;
    QAction*& N4 = countAction;
    QAction*& N10 = helpAction;
    QAction*& N11 = aboutAction;

    FileDialog OpenCrdDialog{FileDialog::Mode::Open};
    FileDialog TabSaveDialog{FileDialog::Mode::Save};
    FileDialog SaveCamDialog{FileDialog::Mode::Save};
    FileDialog SavePlotDialog{FileDialog::Mode::Save};   // the plot as PNG
    FileDialog SaveReportDialog{FileDialog::Mode::Save}; // the report as PDF

    TVRMAAboutBox* AboutBox = nullptr;
    TMeasureForm* MeasureForm = nullptr; // made by the first "Измерить снимок…"
    TCameraForm* CameraForm = nullptr; // made by the first "Калибровка камеры по снимкам…"
    TLastBoard lastBoard; // the board last made or measured in this run

    // Window members.
    QString startFolder;
    QString sceneFileName;
    QString imageFileName;
    // Folder of the file last chosen with scenePickButton / imagePickButton, up to and including
    // its last "/" ("" while none was chosen); a typed relative name is taken in it.
    QString sceneChosenFolder;
    QString imageChosenFolder;
    std::unique_ptr<VT_Points> imagePoints; // owning its records
    std::unique_ptr<VT_Points> scenePoints;
    double coefficient = 0.0;
    // The last calibration stopped after it had reset the coefficient and before it divided
    // the sum: the export refuses to save what the coefficient holds.
    bool coefficientInterrupted = false;
    // The ratios of the last calibration that completed, kept while its results are on
    // screen: empty before the first one and after a run that cleared the results and
    // then failed. A file that cannot be read clears nothing and keeps them.
    std::optional<NodeRatios> lastRatios;
    // The report of that calibration (its inputs as they were read), with what the
    // export wrote since; kept and dropped with it.
    std::optional<ScaleRatioReport> lastReport;
    // The camera file last written by "Сохранить" ("" while none): the node analysis
    // takes its focal length, once the editor has saved one.
    QString cameraFileName;
    // The camera last calibrated from photographs in this run: the field check of a
    // calibration of its image size uses it (no focal length to type).
    std::optional<Camera> calibratedCamera;

    // The handlers of the design, named after the control and the event (the window's
    // shell: Alfa_form.cpp).
    void Button5Click(QObject* sender = nullptr);
    void Button1Click(QObject* sender = nullptr);
    void Edit11KeyUp(QObject* sender = nullptr);
    void Edit10KeyUp(QObject* sender = nullptr);
    void Edit11DblClick(QObject* sender = nullptr); // opens the editor (OpenEditor.cpp)
    void Edit10DblClick(QObject* sender = nullptr);
    void N4Click(QObject* sender = nullptr); // the scale-ratio calibration (CalibrationCommand.cpp)
    void Button2Click(QObject* sender = nullptr);
    void N16Click(QObject* sender = nullptr); // the export (ExportCommand.cpp)
    // The export's steps for any results (the calibration window's, the camera window's):
    // the table dialog, the questions, the camera dialog, the files, the data editor. Its
    // message boxes belong to `owner`.
    void SaveResults(QWidget* owner, const ResultsToSave& results);
    void Button3Click(QObject* sender = nullptr);
    void N10Click(QObject* sender = nullptr);
    void N11Click(QObject* sender = nullptr);
    void N15Click(QObject* sender = nullptr);
    void FormResize(QObject* sender = nullptr);
    void ScrollBox1Resize(QObject* sender = nullptr);
    void FormDestroy(QObject* sender = nullptr);

    // The context menu of the plot area.
    void OpenNodeAnalysis(QObject* sender = nullptr); // the node analysis window (modal)
    void SavePlot(QObject* sender = nullptr);         // the plot into a PNG file
    // Keeps (or drops) the last completed run; "Анализ по узлам…" follows it.
    void SetLastRatios(std::optional<NodeRatios> run);
    // The photograph of that calibration for the field check (the node analysis, the
    // report): the points of both files and the image size as typed then; null when there
    // is none or a size was not a positive number. The lists hold the points until they
    // are read again, so it is made when first asked for or before that read.
    const FieldGeometry* LastGeometry();
    // The calibration on screen is that of the lists' points and of this image size.
    void KeepGeometryOfLists(const QString& widthText, const QString& heightText);

    // The report of the calibration on screen into a PDF file (ReportCommand.cpp).
    void SaveReport(QObject* sender = nullptr);
    // Keeps (or drops) the report of the last completed run; "Отчёт…" follows it.
    void SetLastReport(std::optional<ScaleRatioReport> report);

    // The printable test field (modal) and the measuring window (MeasureCommand.cpp).
    void MakeTestField(QObject* sender = nullptr);
    void OpenMeasureWindow(QObject* sender = nullptr);
    // The files saved by the measuring window, its grid and the photograph's size.
    void TakeMeasuredFiles(const MeasuredFiles& files);
    // The calibration window for cameras (modeless), from "Файл" and "Счёт".
    void OpenCameraWindow(QObject* sender = nullptr);
    // A camera calibrated in the camera window: kept for the field check, which runs again.
    void TakeCalibratedCamera(const Camera& camera);
    // The run's photograph for the field check, with what is known of the camera: the
    // camera calibrated in this run when it is of the image's size, else the focal length
    // of the camera file last written.
    std::optional<FieldGeometry> CheckGeometry();
    // The field check of the calibration on screen, on a thread of its own (a large grid
    // takes seconds); TiltWarning shows its warning when it ends.
    void UpdateTiltWarning();
    // A field check behind TiltWarning is running.
    bool tiltChecking() const { return tiltChecks_ > 0; }

signals:
    // A field check behind TiltWarning has ended.
    void tiltChecked();

public:
    // Reads the scene file, then (only if that succeeded) the image file.
    bool LoadPointLists();
    // Shows a calibration's outcome: its list, plot and statistics, and its message.
    // (The run is taken: the report keeps it.)
    void ShowScaleRatios(ScaleRatioOutcome calibration);
    void ShowScaleRatioMessage(ScaleRatioStatus status);
    // Empties the list box, the statistics and the plot, and drops the last run.
    void ClearResults();

    // The list box lines (a convenience over ratioListModel).
    QStringList ListBoxLines() const;
    void SetListBoxLines(const QStringList& lines);

    // Decodes a JPEG into the splash picture (empty when the JPEG is damaged).
    void LoadSplash(const QByteArray& jpeg);

private:
    // The window's parts, made in this order by the constructor.
    void CreateTopBand(QWidget* band, QVBoxLayout* bandLayout); // headings, scene and image rows
    void CreatePlotArea(QWidget* central, QVBoxLayout* layout); // splitter, plot, splash
    void CreateResultPanel();                                   // list box, results, buttons
    void CreateMenu();
    void CreatePlotMenu(); // the plot area's context menu
    void ConnectCommands();
    void SetUpDialogs();
    void PlaceWindow(); // size, splitter shares, centre of the desktop
    void FormCreate();  // the members' first values, the splash picture, the blank plot

    // Where the photograph of the calibration on screen is: none, in the lists (with the
    // image size's texts), or copied out of them. The copy's vectors keep their room from
    // one calibration to the next.
    enum class GeometryState { None, InLists, Kept };
    GeometryState geometryState_ = GeometryState::None;
    QString geometryWidth_;
    QString geometryHeight_;
    FieldGeometry keptGeometry_;
    QWidget* resultsBox_ = nullptr; // the lower part of the result panel
    // The field check behind TiltWarning: its thread, the check shown (a later one makes an
    // earlier one's outcome void), and the checks running.
    QThreadPool tiltPool_;
    quint64 tiltGeneration_ = 0;
    int tiltChecks_ = 0;
    void ShowTiltWarning(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Start-up steps after the application object: the calibration window (the main
// window), then the about box, hidden.
std::unique_ptr<TAlfaKalibr_Form> CreateMainWindow();

// The whole program: start-up, the calibration window, the message loop. Returns 0.
int RunVrma(int argc, char** argv);

} // namespace vrma
