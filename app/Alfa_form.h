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
};

class TAlfaKalibr_Form : public QMainWindow {
    Q_OBJECT
public:
    explicit TAlfaKalibr_Form(QWidget* parent = nullptr);
    ~TAlfaKalibr_Form() override;

    // Controls, named as designed (objectName is the same name).
    QLineEdit* Edit11 = nullptr;    // scene file name (last component shown)
    QLineEdit* Edit10 = nullptr;    // image file name
    QPushButton* Button5 = nullptr; // "..." scene
    QPushButton* Button1 = nullptr; // "..." image
    QLineEdit* Edit3 = nullptr;     // rows, "6"
    QLineEdit* Edit5 = nullptr;     // columns, "6"
    QLineEdit* Edit6 = nullptr;     // width, "720"
    QLineEdit* Edit7 = nullptr;     // height, "576"
    QScrollArea* ScrollBox1 = nullptr;
    TImage* Image1 = nullptr; // the plot, 700 x 500
    TImage* Image2 = nullptr; // the splash picture over the plot
    QSplitter* Splitter2 = nullptr;
    QWidget* Panel5 = nullptr;
    TListBox* ListBox1 = nullptr; // lines readable through ListBox1Model
    TListBoxModel* ListBox1Model = nullptr;
    QLineEdit* Edit8 = nullptr; // coefficient (read-only, disabled)
    QLineEdit* Edit9 = nullptr; // standard deviation (read-only, disabled)
    // Under the result fields, in red: the field check of the calibration on screen says the
    // field is tilted (with the corrected value). Hidden otherwise.
    QLabel* TiltWarning = nullptr;
    QPushButton* Button2 = nullptr; // "Счет"
    QPushButton* Button3 = nullptr; // "Сохранить"
    QMenuBar* MainMenu1 = nullptr;
    QAction* N22 = nullptr; // Файл / Создать тест-поле…
    QAction* N23 = nullptr; // Файл / Измерить снимок…
    QAction* N25 = nullptr; // Файл / Калибровка камеры по снимкам…
    QAction* N26 = nullptr; // Счёт / Калибровка камеры по снимкам…
    QAction* N24 = nullptr; // separator
    QAction* N16 = nullptr; // Файл / Сохранить
    QAction* N19 = nullptr; // Файл / Отчёт…, while a completed run is shown
    QAction* N5 = nullptr;  // separator
    QAction* N15 = nullptr; // Файл / Выход
    QAction* N4 = nullptr;  // Счёт / Калибровка масштабов
    QAction* N10 = nullptr; // Помощь / Справка
    QAction* N11 = nullptr; // Помощь / О программе

    // The context menu of the plot area.
    QMenu* PopupMenu1 = nullptr;
    QAction* N17 = nullptr; // "Анализ по узлам…", while a completed run is shown
    QAction* N18 = nullptr; // "Сохранить график…"

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
    // Folder of the file last chosen with Button5 / Button1, up to and including its
    // last "/" ("" while none was chosen); a typed relative name is taken in it.
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

    // Handlers.
    void Button5Click(QObject* sender = nullptr);
    void Button1Click(QObject* sender = nullptr);
    void Edit11KeyUp(QObject* sender = nullptr);
    void Edit10KeyUp(QObject* sender = nullptr);
    void Edit11DblClick(QObject* sender = nullptr); // opens the editor (OpenEditor.cpp)
    void Edit10DblClick(QObject* sender = nullptr);
    void N4Click(QObject* sender = nullptr); // calibration (CalibrationCommand.cpp)
    void Button2Click(QObject* sender = nullptr);
    void N16Click(QObject* sender = nullptr); // export (ExportCommand.cpp)
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
    void N17Click(QObject* sender = nullptr); // the node analysis window (modal)
    void N18Click(QObject* sender = nullptr); // the plot into a PNG file
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
    void N19Click(QObject* sender = nullptr);
    // Keeps (or drops) the report of the last completed run; "Отчёт…" follows it.
    void SetLastReport(std::optional<ScaleRatioReport> report);

    // The printable test field (modal) and the measuring window (MeasureCommand.cpp).
    void N22Click(QObject* sender = nullptr);
    void N23Click(QObject* sender = nullptr);
    // The files saved by the measuring window, its grid and the photograph's size.
    void TakeMeasuredFiles(const MeasuredFiles& files);
    // The calibration window for cameras (modeless), from "Файл" and "Счёт".
    void N25Click(QObject* sender = nullptr);
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

    // The list box lines (a convenience over ListBox1Model).
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
    QWidget* resultPanel_ = nullptr; // the lower part of the result panel
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
