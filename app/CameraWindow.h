#pragma once
// "Калибровка камеры по снимкам": a camera calibrated from several photographs of one
// board. The work is the session's (calib/CameraSession: the set of photographs, their
// searches on worker threads, the fits and their generations, stopping); the window sends
// it the user's commands and shows what it has: the progress, every photograph's outcome,
// the RMS of each as a bar chart, the targets over the frame with their residuals, the
// camera with its standard errors and the verdict (drawing/CameraPainting,
// drawing/CameraVerdict), and a photograph chosen with its targets and residuals (read
// reduced on a thread of the window's own).
// "Сохранить…" writes fy/fx and the camera through the calibration window's export, then
// the lens and the photographs' orientations; "Экспорт в OpenCV YAML…", "Экспорт
// camera_info ROS…" and "Отчёт…" write the YAMLs and the report; "Проверить камеру…"
// checks a saved camera against the photographs (app/CameraCheckCommand).
#include "app/BoardForm.h"
#include "app/CameraCharts.h"
#include "app/UncertaintyView.h"
#include "calib/CameraSession.h"
#include "calib/PhotoCalibration.h"
#include "drawing/CameraPainting.h"
#include "platform/Dialogs.h"

#include <QImage>
#include <QThreadPool>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace vrma {

class TPhotoView;
struct ResultsToSave;

class TCameraForm : public QWidget {
    Q_OBJECT
public:
    explicit TCameraForm(QWidget* parent = nullptr);
    ~TCameraForm() override;

    // The list's columns.
    enum Column { NameColumn, ResultColumn, TurnColumn, TargetsColumn, RmsColumn, ColumnCount };

    TBoardForm* BoardForm = nullptr;
    QPushButton* AddButton = nullptr;    // "Добавить снимки…"
    QPushButton* RemoveButton = nullptr; // "Удалить"
    QPushButton* CancelButton = nullptr; // "Отмена", while photographs are searched
    // The camera's model: "авто" first (chosen from the photographs), then those offered.
    QComboBox* ModelBox = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* StatusLabel = nullptr;
    QTableWidget* PhotoList = nullptr; // one row a photograph; its check box takes it
    TRmsChart* RmsChart = nullptr;
    QTabWidget* Views = nullptr; // "Покрытие кадра", "Снимок"
    TCoverageView* CoverageView = nullptr;
    TUncertaintyView* UncertaintyView = nullptr; // beside it: the projection's uncertainty
    TPhotoView* PhotoView = nullptr;
    QLabel* PhotoLabel = nullptr; // what the photograph view shows
    // One a camera parameter, in their order; those of the camera's model are shown.
    std::vector<QLabel*> ParameterValues;
    std::vector<QLabel*> ParameterNames;
    QLabel* RatioValue = nullptr; // fy/fx ± its standard error
    QLabel* RmsValue = nullptr;
    QLabel* VerdictLabel = nullptr;
    QGridLayout* CameraGrid = nullptr;
    QPushButton* SaveButton = nullptr;   // "Сохранить…"
    QPushButton* YamlButton = nullptr;   // "Экспорт в OpenCV YAML…"
    QPushButton* ReportButton = nullptr; // "Отчёт…"
    QPushButton* RosButton = nullptr;    // "Экспорт camera_info ROS…"
    QPushButton* CheckButton = nullptr;  // "Проверить камеру…"
    QCheckBox* UndistortBox = nullptr;   // "Без дисторсии", over the photograph shown

    FileDialog OpenPhotosDialog{FileDialog::Mode::Open};
    FileDialog SaveYamlDialog{FileDialog::Mode::Save};
    FileDialog SaveReportDialog{FileDialog::Mode::Save};
    FileDialog SaveRosDialog{FileDialog::Mode::Save};
    FileDialog OpenCameraDialog{FileDialog::Mode::Open}; // the saved camera to check

    // "Сохранить…": fy/fx and the camera through the calibration window's export; then,
    // each asked, the camera with its lens as OpenCV's YAML beside the camera file and the
    // orientation files of the photographs used in its folder (app/CameraSaving).
    std::function<void(const ResultsToSave&)> onSave;

    using Photo = CameraSession::Photo;

    // Takes the photographs (those already in the set are not taken twice; one whose
    // search was stopped is searched again) and searches them for the board of the form.
    // The board is checked first (its message, and nothing taken, when it is wrong); a
    // board other than the set's searches the whole set again.
    void AddPhotos(const QStringList& files);
    void AddButtonClick(QObject* sender = nullptr);
    void RemoveButtonClick(QObject* sender = nullptr); // the rows selected
    void CancelButtonClick(QObject* sender = nullptr);
    // Leaves photograph `row` out of the fit or takes it back; the camera is fitted again.
    void SetLeftOut(int row, bool leftOut);
    void SetModel(int index); // of ModelBox
    // Shows photograph `row` (-1: none) with its targets and residuals.
    void SelectPhoto(int row);
    bool SaveButtonClick(QObject* sender = nullptr);
    bool YamlButtonClick(QObject* sender = nullptr);
    bool ReportButtonClick(QObject* sender = nullptr);
    bool RosButtonClick(QObject* sender = nullptr);
    // Asks for a saved camera (OpenCV's YAML) and checks it against the photographs in which
    // the board was found, as vrma-calib's --check does, on the fits' thread; its outcome
    // comes in a message when the check ends. False when none was started.
    bool CheckButtonClick(QObject* sender = nullptr);
    bool checking() const { return session_.checking(); }

    // The work the window shows.
    const CameraSession& session() const { return session_; }
    const std::vector<Photo>& photos() const { return session_.photos(); }
    bool searching() const { return session_.searching(); }
    bool fitting() const { return session_.fitting(); }
    // The camera of the set as shown (none before a fit, or when the fit failed), with the
    // photographs it was fitted to, in the list's order.
    const std::optional<CameraCalibration>& calibration() const { return session_.calibration(); }
    const std::vector<PhotoDetection>& fittedPhotos() const { return session_.fittedPhotos(); }
    const QString& fitFailure() const { return session_.fitFailure(); }
    const std::optional<Board>& board() const { return session_.board(); }
    // What "Сохранить…" wrote since the camera on screen was fitted, for the report.
    const QStringList& written() const { return written_; }
    // The photograph shown in the photograph view (the list's row), or -1.
    int shownPhoto() const { return shown_; }
    bool loadingPhoto() const { return loading_; }

signals:
    // Every search started has ended (found, not found or stopped).
    void searchFinished();
    // A fit's outcome is on screen (a camera or the reason there is none).
    void fitFinished();
    // A camera was calibrated from the set.
    void calibrated(const vrma::Camera& camera);
    // The photograph chosen is shown.
    void photoShown();
    // The check of a saved camera has ended and its outcome was shown.
    void cameraChecked();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void LayOut();
    void SetUpDialogs();
    void Connect();
    void ConnectSession();
    void CreateCheckControls();
    void CameraChecked();

    // What the session tells.
    void PhotoSearched(int row);
    void PhotoDropped(int row);
    void SearchFinished();
    void FitFinished();

    void UpdateProgress();
    void ShowRow(size_t index);
    void ShowRows();
    void ShowResults();
    // The grid of the camera: the parameters shown (in their order), fy/fx and the RMS, two
    // a row.
    void PlaceParameters(const std::vector<CameraParameter>& shown);
    // The verdict on the camera found, with what its assessment adds.
    QStringList VerdictLines(const CameraCalibration& fit) const;
    void ShowStatus();
    void UpdateButtons();
    // Reads the photograph shown on the view's thread, unless it is on screen already.
    void LoadShownPhoto();
    // The photograph read, as it is or undistorted (UndistortBox).
    void ShowPicture();
    // Its targets, residuals and what the label says of it.
    void ShowOverlay();

    CameraSession session_;
    std::map<quint64, QImage> thumbnails_; // of the photographs searched, for the list
    QThreadPool viewPool_;
    QTimer* progressTimer_ = nullptr;
    CoverageData coverage_;
    QStringList written_;
    bool updatingList_ = false;
    int shown_ = -1;
    quint64 viewGeneration_ = 0;
    bool loading_ = false;
    quint64 pictureOf_ = 0;     // the photograph whose picture the view holds (0: none)
    bool pictureShown_ = false; // it could be read for the view
    QImage picture_;            // as read for the view (reduced), and the photograph's size
    QSize full_;
    bool undistorted_ = false; // the view shows it undistorted
};

} // namespace vrma
