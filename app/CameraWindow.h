#pragma once
// "Калибровка камеры по снимкам": a camera calibrated from several photographs of one
// board (calib/PhotoCalibration). The photographs added are searched for the board on
// worker threads, one a processor, while the window shows the progress and can stop them;
// the camera is fitted on a thread of its own whenever the set changes (a search ended, a
// photograph left out, taken back or removed). The window shows every photograph's
// outcome, the RMS of each as a bar chart, the targets over the frame with their residuals,
// the camera with its standard errors and the verdict (drawing/CameraPainting,
// drawing/CameraVerdict), and a photograph chosen with its targets and residuals.
// "Сохранить…" writes fy/fx and the camera through the calibration window's export;
// "Экспорт в OpenCV YAML…" and "Отчёт…" write the YAML and the report.
#include "app/BoardForm.h"
#include "app/CameraCharts.h"
#include "calib/PhotoCalibration.h"
#include "drawing/CameraPainting.h"
#include "platform/Dialogs.h"

#include <QImage>
#include <QThreadPool>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

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
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* StatusLabel = nullptr;
    QTableWidget* PhotoList = nullptr; // one row a photograph; its check box takes it
    TRmsChart* RmsChart = nullptr;
    QTabWidget* Views = nullptr; // "Покрытие кадра", "Снимок"
    TCoverageView* CoverageView = nullptr;
    TPhotoView* PhotoView = nullptr;
    QLabel* PhotoLabel = nullptr;         // what the photograph view shows
    std::vector<QLabel*> ParameterValues; // fx, fy, cx, cy, k1, k2, p1, p2, k3
    QLabel* RatioValue = nullptr;         // fy/fx ± its standard error
    QLabel* RmsValue = nullptr;
    QLabel* VerdictLabel = nullptr;
    QPushButton* SaveButton = nullptr;   // "Сохранить…"
    QPushButton* YamlButton = nullptr;   // "Экспорт в OpenCV YAML…"
    QPushButton* ReportButton = nullptr; // "Отчёт…"

    FileDialog OpenPhotosDialog{FileDialog::Mode::Open};
    FileDialog SaveYamlDialog{FileDialog::Mode::Save};
    FileDialog SaveReportDialog{FileDialog::Mode::Save};

    // "Сохранить…": fy/fx and the camera through the calibration window's export.
    std::function<void(const ResultsToSave&)> onSave;

    // One photograph of the set.
    struct Photo {
        quint64 id = 0;
        QString file;
        enum class State { Searching, Done, Cancelled } state = State::Searching;
        PhotoDetection detection; // once done
        QImage thumbnail;         // of the detection, for the list
        bool leftOut = false;     // by the user
        quint64 search = 0;       // the photograph's last search
    };

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
    // Shows photograph `row` (-1: none) with its targets and residuals.
    void SelectPhoto(int row);
    bool SaveButtonClick(QObject* sender = nullptr);
    bool YamlButtonClick(QObject* sender = nullptr);
    bool ReportButtonClick(QObject* sender = nullptr);

    const std::vector<Photo>& photos() const { return photos_; }
    bool searching() const;
    bool fitting() const { return fitsRunning_ > 0; }
    // The camera of the set as shown (none before a fit, or when the fit failed), with the
    // photographs it was fitted to, in the list's order.
    const std::optional<CameraCalibration>& calibration() const { return calibration_; }
    const std::vector<PhotoDetection>& fittedPhotos() const { return fitted_; }
    const QString& fitFailure() const { return fitFailure_; }
    const std::optional<Board>& board() const { return board_; }
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

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct Search; // one photograph's search: its progress and its stop
    void CreateControls();
    void LayOut();
    void SetUpDialogs();
    void Connect();

    void StartSearch(Photo& photo);
    void SearchEnded(const std::shared_ptr<Search>& search,
                     const std::shared_ptr<PhotoDetection>& detection, bool cancelled);
    void StopSearches(); // all of them, waited for
    void UpdateProgress();
    // The fit of the photographs searched, on the fit's thread.
    void Refit();
    void FitEnded(quint64 generation, const std::shared_ptr<std::vector<PhotoDetection>>& photos,
                  const std::shared_ptr<std::vector<quint64>>& ids,
                  const std::shared_ptr<CameraCalibration>& calibration, const QString& failure);
    void ShowRow(size_t index);
    void ShowResults();
    void ShowStatus();
    void UpdateButtons();
    int RowOf(quint64 id) const;
    // The position of photograph `row` among the fitted ones, or -1.
    int FittedIndex(int row) const;
    // Reads the photograph shown on the view's thread, unless it is on screen already.
    void LoadShownPhoto();
    // Its targets, residuals and what the label says of it.
    void ShowOverlay();

    std::vector<Photo> photos_;
    std::vector<std::shared_ptr<Search>> searches_; // of the photographs being searched
    std::optional<Board> board_;                    // the board the set is searched for
    quint64 nextId_ = 1;
    int searchTotal_ = 0; // photographs in the searches running, for the progress
    int searchDone_ = 0;
    int dropped_ = 0;       // photographs whose search was stopped, taken out of the list
    bool stopping_ = false; // "Отмена" pressed, the searches not yet ended
    QThreadPool searchPool_;
    QThreadPool fitPool_;
    QThreadPool viewPool_;
    QTimer* progressTimer_ = nullptr;
    std::shared_ptr<std::atomic<quint64>> fitGeneration_;
    int fitsRunning_ = 0;
    std::optional<CameraCalibration> calibration_;
    std::vector<PhotoDetection> fitted_;
    std::vector<quint64> fittedIds_;
    QString fitFailure_;
    CoverageData coverage_;
    QStringList written_;
    bool updatingList_ = false;
    int shown_ = -1;
    quint64 viewGeneration_ = 0;
    bool loading_ = false;
    quint64 pictureOf_ = 0;     // the photograph whose picture the view holds (0: none)
    bool pictureShown_ = false; // it could be read for the view
};

} // namespace vrma
