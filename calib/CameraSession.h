#pragma once
// The work of a camera's calibration from photographs as it goes on, without a window: the
// set of photographs, their searches for the board on a pool of threads (one a processor,
// as many as the memory holds), the fits of the camera on a thread of its own, and the
// stopping of both. The window for cameras (app/CameraWindow) shows it and sends it the
// user's commands; it runs nothing itself.
//
// Every change of the set asks for a fit (once the searches have ended): a fit asked for
// later makes an earlier one void (its generation), so that only the newest outcome is
// kept. The session lives on the thread that made it (the user interface's); its signals
// come there, from its own event loop. Qt Core only.
#include "calib/Board.h"
#include "calib/CameraAssessment.h"
#include "calib/PhotoCalibration.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QtGlobal>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace vrma {

class CameraSession : public QObject {
    Q_OBJECT
public:
    explicit CameraSession(QObject* parent = nullptr);
    // Stops the searches and waits for them and for the fit.
    ~CameraSession() override;

    // One photograph of the set.
    struct Photo {
        quint64 id = 0; // for as long as it is in the set
        QString file;   // its full path, cleaned
        enum class State { Searching, Done } state = State::Searching;
        PhotoDetection detection; // once done
        bool leftOut = false;     // by the user
        quint64 search = 0;       // the photograph's last search
    };

    // A photograph given that is one of the set, or one given before it, under another
    // name (the same bytes): it is not taken.
    struct SamePhoto {
        QString file;  // as taken: full path, cleaned
        QString first; // the photograph of the same bytes
    };
    // Takes the photographs and searches them for the board: a file already in the set, or
    // given twice (the same bytes, data/SameContents), is taken once; those under another
    // name are returned. A board other than the set's searches the whole set again. As many
    // photographs are searched at once as the memory holds of their searches
    // (calib/PhotoHeader); one refused for want of memory beside others is searched again
    // alone once the others have ended.
    std::vector<SamePhoto> AddPhotos(const QStringList& files, const Board& board);
    // Takes the photographs at these rows out of the set (their searches stop).
    void RemovePhotos(std::vector<int> rows);
    // Leaves the photograph out of the fit or takes it back; the camera is fitted again
    // (after the searches, while they run).
    void SetLeftOut(int row, bool leftOut);
    // The parameters the fit frees (OpenCV's nine unless set); the camera is fitted again.
    void SetSelection(CameraSelection selection);
    CameraSelection selection() const { return selection_; }
    // Asks every search to stop (the window's cancel button): the photographs whose search is
    // stopped leave the set as their searches end.
    void CancelSearches();
    // Stops every search and waits for them: the photographs not searched leave the set
    // now, and the camera is fitted to the rest (the window closed).
    void StopSearches();

    const std::vector<Photo>& photos() const { return photos_; }
    const std::optional<Board>& board() const { return board_; }
    // The row of a photograph, or -1.
    int RowOf(quint64 id) const;
    bool searching() const { return !searches_.empty(); }
    bool stopping() const { return stopping_; }
    // The searches of the present round: how many, how many ended, the share done (0..100).
    int searchTotal() const { return searchTotal_; }
    int searchDone() const { return searchDone_; }
    int Progress() const;
    // Photographs whose search was stopped, taken out of the set since the last photographs
    // were added.
    int dropped() const { return dropped_; }

    bool fitting() const { return fitsRunning_ > 0; }
    // The camera of the last fit (none before one, or when it failed), the photographs it
    // was fitted to (in the set's order) and their ids, and why there is none.
    const std::optional<CameraCalibration>& calibration() const { return calibration_; }
    // Whether that camera can be trusted (calib/CameraAssessment); none without a camera.
    const std::optional<CameraAssessment>& assessment() const { return assessment_; }
    const std::vector<PhotoDetection>& fittedPhotos() const { return fitted_; }
    const std::vector<quint64>& fittedIds() const { return fittedIds_; }
    const QString& fitFailure() const { return fitFailure_; }
    // The position of the photograph at `row` among those fitted, or -1.
    int FittedIndex(int row) const;

signals:
    // The photograph at `row` has ended its search (found, not found).
    void photoSearched(int row);
    // The photograph at `row` has left the set (its search stopped).
    void photoDropped(int row);
    // Every search started has ended (found, not found or stopped).
    void searchFinished();
    // A fit has begun on the fit's thread, or one made void has ended: fitting() may have
    // changed.
    void fitsChanged();
    // A fit's outcome is kept (a camera or the reason there is none).
    void fitFinished();
    // A camera was calibrated from the set.
    void calibrated(const vrma::Camera& camera);

private:
    struct Search; // one photograph's search: its progress and its stop
    void StartSearch(Photo& photo);
    // The searches' threads for the photographs still to be searched.
    void SetSearchThreads();
    // Starts the search of the next photograph waiting to be searched again alone; false
    // when none waits.
    bool StartRetry();
    // Every search started has ended: the retries, or the fit.
    void SearchesEnded();
    void SearchEnded(const std::shared_ptr<Search>& search,
                     const std::shared_ptr<PhotoDetection>& detection, bool cancelled);
    void WaitForSearches();
    void Refit();
    void FitEnded(quint64 generation, const std::shared_ptr<std::vector<PhotoDetection>>& photos,
                  const std::shared_ptr<std::vector<quint64>>& ids,
                  const std::shared_ptr<CameraCalibration>& calibration,
                  const std::shared_ptr<CameraAssessment>& assessment, const QString& failure);
    void Drop(int row);

    std::vector<Photo> photos_;
    std::vector<std::shared_ptr<Search>> searches_; // of the photographs being searched
    std::vector<quint64> retries_; // photographs to be searched again alone (their ids)
    std::optional<Board> board_;   // the board the set is searched for
    quint64 nextId_ = 1;
    int searchTotal_ = 0;
    int searchDone_ = 0;
    int dropped_ = 0;
    bool stopping_ = false; // the searches asked to stop, not yet ended
    QThreadPool searchPool_;
    QThreadPool fitPool_;
    std::shared_ptr<std::atomic<quint64>> fitGeneration_;
    int fitsRunning_ = 0;
    std::optional<CameraCalibration> calibration_;
    std::optional<CameraAssessment> assessment_;
    std::vector<PhotoDetection> fitted_;
    std::vector<quint64> fittedIds_;
    QString fitFailure_;
    CameraSelection selection_ = CameraSelection::OpenCvDefault();
};

} // namespace vrma
