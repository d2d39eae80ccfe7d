#pragma once
// "Файл" → "Измерить снимок…": the targets of the test field found in a photograph. The
// detection (calib/TargetDetection) runs on a worker thread while the window shows its
// progress and can stop it; the targets found are drawn over the photograph, numbered
// and joined column by column. A board seen turned is listed in the calibration's order
// (its columns along image x: for a quarter turn the board's rows, with the pitch along y
// between them). "Сохранить" writes the scene and the image coordinate files and hands
// them, with the grid as the calibration reads it and the photograph's size, to the
// calibration window.
#include "app/BoardForm.h"
#include "calib/TargetDetection.h"
#include "platform/Dialogs.h"

#include <QGraphicsView>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QGraphicsPixmapItem;
class QGraphicsScene;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QThread;

namespace vrma {

// The photograph with the targets over it: wheel, "+" and "-" zoom about the pointer,
// dragging pans.
class TPhotoView : public QGraphicsView {
    Q_OBJECT
public:
    explicit TPhotoView(QWidget* parent = nullptr);

    // Drops the targets. A photograph read reduced is given with its full size: the view's
    // coordinates stay the full photograph's pixels.
    void ShowPhoto(const QImage& photo, const QSize& fullSize = QSize());
    void ShowTargets(const DetectedTargets& targets);
    // Targets of a columns x rows grid, point n being the grid's indices[n]-th (k = i * rows
    // + j; indices empty: the n-th), numbered k + 1: a ChArUco board seen in part.
    void ShowTargets(int columns, int rows, const std::vector<PlanePoint>& points,
                     const std::vector<int>& indices);
    // Each target's residual as a line from it, magnified by the factor (kept with the
    // targets).
    void ShowResiduals(const std::vector<PlanePoint>& targets,
                       const std::vector<PlanePoint>& residuals, double magnify);
    void ClearTargets();
    void ZoomBy(double factor);
    void FitToWindow();
    double Zoom() const; // screen pixels per photograph pixel
    int TargetItemCount() const { return targetItems_; }

protected:
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QGraphicsScene* scene_ = nullptr;
    QGraphicsPixmapItem* photo_ = nullptr;
    QList<QGraphicsItem*> targets_;
    int targetItems_ = 0;
};

// What "Сохранить" hands to the calibration window.
struct MeasuredFiles {
    QString sceneFile;
    QString imageFile;
    int columns = 0;
    int rows = 0;
    int imageWidth = 0;
    int imageHeight = 0;
};

class TMeasureForm : public QWidget {
    Q_OBJECT
public:
    explicit TMeasureForm(QWidget* parent = nullptr);
    ~TMeasureForm() override;

    QLineEdit* PhotoEdit = nullptr;      // the photograph's name, or a path typed
    QPushButton* PhotoButton = nullptr;  // "..."
    TBoardForm* BoardForm = nullptr;     // the board, in one line
    QPushButton* FindButton = nullptr;   // "Найти"
    QPushButton* CancelButton = nullptr; // "Отмена", while a search runs
    QPushButton* SaveButton = nullptr;   // "Сохранить", once targets were found
    QPushButton* ZoomInButton = nullptr;
    QPushButton* ZoomOutButton = nullptr;
    QPushButton* FitButton = nullptr; // "По размеру окна"
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* StatusLabel = nullptr;
    TPhotoView* PhotoView = nullptr;

    FileDialog OpenPhotoDialog{FileDialog::Mode::Open};
    FileDialog SaveSceneDialog{FileDialog::Mode::Save};
    FileDialog SaveImageDialog{FileDialog::Mode::Save};

    // Called after both files were written.
    std::function<void(const MeasuredFiles&)> onSaved;

    void PhotoButtonClick(QObject* sender = nullptr);
    // Takes a photograph (as the open dialog would) and shows it.
    void SetPhoto(const QString& fileName);
    // Searches the photograph for the board of the fields; a path typed into "Снимок:"
    // (relative to the folder of the photograph before, or to the current folder) is taken
    // first. The board of a search that finds its targets is kept as the last measured.
    void FindButtonClick(QObject* sender = nullptr);
    void CancelButtonClick(QObject* sender = nullptr);
    bool SaveButtonClick(QObject* sender = nullptr);

    QString photoFileName() const { return photoFile_; }
    bool running() const { return worker_ != nullptr; }
    const std::optional<DetectedTargets>& targets() const { return targets_; }

signals:
    // A search ended (found, not found, failed or stopped).
    void detectionFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Outcome { Found, NotFound, Unreadable, Cancelled, Failed };
    // The search for board_ in the photograph, on a worker thread.
    void StartSearch();
    // `seen`: the reason when the targets are not to be had (the reader's, the search's).
    void Finish(Outcome outcome, const DetectedTargets& found, const QString& seen);
    void StopWorker();
    void SetRunning(bool running);

    // A path typed into "Снимок:" in place of the name shown there, or nothing.
    std::optional<QString> TypedPhoto() const;

    QString photoFile_;
    QString photoShown_; // what SetPhoto put into PhotoEdit
    std::optional<DetectedTargets> targets_;
    Board board_;    // of the search running or last run
    int search_ = 0; // the search running or last run
    QThread* worker_ = nullptr;
    std::shared_ptr<std::atomic<bool>> cancel_;
};

} // namespace vrma
