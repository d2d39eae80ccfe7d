#include "calib/CameraSession.h"

#include "calib/CameraFitError.h"
#include "calib/PhotoHeader.h"
#include "calib/Photograph.h"
#include "data/Messages.h"
#include "data/SameContents.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>

namespace vrma {

namespace {

bool SameBoard(const Board& a, const Board& b) {
    return a == b;
}

QString CleanPath(const QString& file) {
    return QDir::cleanPath(QFileInfo(file).absoluteFilePath());
}

} // namespace

struct CameraSession::Search {
    quint64 id = 0;
    quint64 photo = 0;
    std::atomic<int> percent{0};
    std::atomic<bool> cancel{false};
    bool beside = false; // other searches ran beside it (the user interface's thread only)
};

CameraSession::CameraSession(QObject* parent)
    : QObject(parent), fitGeneration_(std::make_shared<std::atomic<quint64>>(0)) {
    searchPool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    fitPool_.setMaxThreadCount(1);
}

CameraSession::~CameraSession() {
    WaitForSearches();
    fitPool_.waitForDone();
}

int CameraSession::RowOf(quint64 id) const {
    for (size_t k = 0; k < photos_.size(); ++k)
        if (photos_[k].id == id)
            return int(k);
    return -1;
}

int CameraSession::FittedIndex(int row) const {
    if (row < 0 || size_t(row) >= photos_.size() || !calibration_)
        return -1;
    const auto at = std::find(fittedIds_.begin(), fittedIds_.end(), photos_[size_t(row)].id);
    return at == fittedIds_.end() ? -1 : int(at - fittedIds_.begin());
}

int CameraSession::Progress() const {
    if (searchTotal_ <= 0)
        return photos_.empty() ? 0 : 100;
    int sum = 100 * searchDone_;
    for (const std::shared_ptr<Search>& search : searches_)
        sum += std::clamp(search->percent.load(), 0, 100);
    return std::clamp(sum / searchTotal_, 0, 100);
}

// --- The photographs and their searches ---------------------------------------------------

std::vector<CameraSession::SamePhoto> CameraSession::AddPhotos(const QStringList& files,
                                                               const Board& board) {
    const bool again = board_ && !SameBoard(*board_, board) && !photos_.empty();
    if (again) {
        // Another board: the whole set is searched again for it.
        WaitForSearches();
        for (Photo& photo : photos_) {
            photo.detection = PhotoDetection{};
            photo.state = Photo::State::Searching;
        }
    }
    board_ = board;
    dropped_ = 0;
    const size_t listed = photos_.size();
    QStringList all;
    for (const Photo& photo : photos_)
        all << photo.file;
    for (const QString& given : files)
        all << CleanPath(given);
    const std::vector<qsizetype> same = FirstWithSameBytes(std::span(all.begin(), all.end()));
    std::vector<SamePhoto> repeats;
    for (qsizetype k = qsizetype(listed); k < all.size(); ++k) {
        if (const qsizetype first = same[size_t(k)]; first >= 0) {
            if (all[first] != all[k])
                repeats.push_back({all[k], all[first]});
            continue;
        }
        Photo photo;
        photo.id = nextId_++;
        photo.file = all[k];
        photos_.push_back(std::move(photo));
    }
    SetSearchThreads();
    for (size_t k = again ? 0 : listed; k < photos_.size(); ++k)
        StartSearch(photos_[k]);
    return repeats;
}

void CameraSession::SetSearchThreads() {
    QStringList searched;
    for (const Photo& photo : photos_)
        if (photo.state == Photo::State::Searching)
            searched << photo.file;
    searchPool_.setMaxThreadCount(
        PhotoSearchThreads(std::span(searched.begin(), searched.end()), AvailableMemory()));
}

void CameraSession::StartSearch(Photo& photo) {
    static std::atomic<quint64> searchIds{0};
    auto search = std::make_shared<Search>();
    search->id = ++searchIds;
    search->photo = photo.id;
    photo.state = Photo::State::Searching;
    photo.search = search->id;
    if (searchPool_.maxThreadCount() > 1 && !searches_.empty()) {
        search->beside = true;
        for (const std::shared_ptr<Search>& running : searches_)
            running->beside = true;
    }
    searches_.push_back(search);
    ++searchTotal_;
    const Board board = *board_;
    const QString file = photo.file;
    searchPool_.start([this, search, board, file] {
        auto detection = std::make_shared<PhotoDetection>();
        bool cancelled = false;
        try {
            *detection = DetectBoardInPhoto(file, board, [search](int percent) {
                search->percent.store(percent);
                return !search->cancel.load();
            });
        } catch (const DetectionCancelled&) {
            cancelled = true;
        } catch (const std::exception&) {
            detection->file = file;
            detection->reason = messages::CalculationFailed();
        }
        QMetaObject::invokeMethod(
            this,
            [this, search, detection, cancelled] { SearchEnded(search, detection, cancelled); },
            Qt::QueuedConnection);
    });
}

void CameraSession::SearchEnded(const std::shared_ptr<Search>& search,
                                const std::shared_ptr<PhotoDetection>& detection, bool cancelled) {
    const auto at = std::find(searches_.begin(), searches_.end(), search);
    if (at == searches_.end())
        return; // a search of before the set was searched again
    searches_.erase(at);
    ++searchDone_;
    const int row = RowOf(search->photo);
    if (row >= 0 && photos_[size_t(row)].search == search->id) {
        if (cancelled) {
            // A photograph whose search was stopped leaves the set.
            Drop(row);
        } else if (detection->memoryShort && search->beside) {
            // Refused for want of memory while others were searched: again, alone, later.
            retries_.push_back(search->photo);
        } else {
            Photo& photo = photos_[size_t(row)];
            photo.state = Photo::State::Done;
            photo.detection = std::move(*detection);
            emit photoSearched(row);
        }
    }
    if (searches_.empty())
        SearchesEnded();
}

bool CameraSession::StartRetry() {
    while (!retries_.empty()) {
        const int row = RowOf(retries_.front());
        retries_.erase(retries_.begin());
        if (row < 0)
            continue; // taken out of the set meanwhile
        StartSearch(photos_[size_t(row)]);
        return true;
    }
    return false;
}

void CameraSession::SearchesEnded() {
    if (stopping_) {
        // Those waiting to be searched again were stopped too.
        for (const quint64 id : retries_)
            if (const int row = RowOf(id); row >= 0)
                Drop(row);
        retries_.clear();
    } else if (StartRetry()) {
        return;
    }
    stopping_ = false;
    searchTotal_ = 0;
    searchDone_ = 0;
    Refit();
    emit searchFinished();
}

void CameraSession::Drop(int row) {
    photos_.erase(photos_.begin() + row);
    ++dropped_;
    emit photoDropped(row);
}

void CameraSession::WaitForSearches() {
    for (const std::shared_ptr<Search>& search : searches_)
        search->cancel.store(true);
    searchPool_.waitForDone();
    searches_.clear();
    retries_.clear();
    stopping_ = false;
    searchTotal_ = 0;
    searchDone_ = 0;
}

void CameraSession::CancelSearches() {
    if (!searching())
        return;
    for (const std::shared_ptr<Search>& search : searches_)
        search->cancel.store(true);
    stopping_ = true;
}

void CameraSession::StopSearches() {
    if (!searching())
        return;
    WaitForSearches();
    for (size_t k = photos_.size(); k-- > 0;)
        if (photos_[k].state != Photo::State::Done)
            Drop(int(k));
    Refit();
    emit searchFinished();
}

void CameraSession::RemovePhotos(std::vector<int> rows) {
    std::sort(rows.rbegin(), rows.rend());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows) {
        if (row < 0 || size_t(row) >= photos_.size())
            continue;
        const quint64 search = photos_[size_t(row)].search;
        for (const std::shared_ptr<Search>& running : searches_)
            if (running->id == search)
                running->cancel.store(true);
        photos_.erase(photos_.begin() + row);
        emit photoDropped(row);
    }
    if (!searching())
        Refit();
}

void CameraSession::SetLeftOut(int row, bool leftOut) {
    if (row < 0 || size_t(row) >= photos_.size())
        return;
    Photo& photo = photos_[size_t(row)];
    if (photo.leftOut == leftOut)
        return;
    photo.leftOut = leftOut;
    // During a search the fit waits for its end.
    if (!searching())
        Refit();
}

void CameraSession::SetSelection(CameraSelection selection) {
    if (selection == selection_)
        return;
    selection_ = selection;
    if (!searching())
        Refit();
}

// --- The fits -----------------------------------------------------------------------------

namespace {

// The assessment of a camera found, or none when its information cannot be had.
std::shared_ptr<CameraAssessment> Assessed(const std::vector<PhotoDetection>& photos,
                                           const CameraCalibration& calibration,
                                           const std::vector<bool>& leftOut) {
    try {
        return std::make_shared<CameraAssessment>(AssessCamera(photos, calibration, leftOut));
    } catch (const CalcError&) {
        return nullptr;
    }
}

} // namespace

void CameraSession::Refit() {
    const quint64 generation = ++*fitGeneration_;
    auto photos = std::make_shared<std::vector<PhotoDetection>>();
    auto ids = std::make_shared<std::vector<quint64>>();
    std::vector<bool> leftOut;
    for (const Photo& photo : photos_) {
        if (photo.state != Photo::State::Done)
            continue;
        photos->push_back(photo.detection);
        ids->push_back(photo.id);
        leftOut.push_back(photo.leftOut);
    }
    if (photos->empty()) {
        FitEnded(generation, photos, ids, nullptr, nullptr, QString());
        return;
    }
    ++fitsRunning_;
    std::shared_ptr<std::atomic<quint64>> latest = fitGeneration_;
    fitPool_.start([this, generation, latest, photos, ids, leftOut, selection = selection_] {
        std::shared_ptr<CameraCalibration> calibration;
        std::shared_ptr<CameraAssessment> assessment;
        QString failure;
        // A fit asked for after this one makes it needless.
        if (latest->load() == generation) {
            try {
                calibration = std::make_shared<CameraCalibration>(
                    CalibrateFromPhotos(*photos, leftOut, selection));
                assessment = Assessed(*photos, *calibration, leftOut);
            } catch (const CalcError& error) {
                failure = QString::fromUtf8(error.what());
            } catch (const std::exception&) {
                failure = messages::CalculationFailed();
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation, photos, ids, calibration, assessment, failure] {
                --fitsRunning_;
                FitEnded(generation, photos, ids, calibration, assessment, failure);
            },
            Qt::QueuedConnection);
    });
    emit fitsChanged();
}

void CameraSession::FitEnded(quint64 generation,
                             const std::shared_ptr<std::vector<PhotoDetection>>& photos,
                             const std::shared_ptr<std::vector<quint64>>& ids,
                             const std::shared_ptr<CameraCalibration>& calibration,
                             const std::shared_ptr<CameraAssessment>& assessment,
                             const QString& failure) {
    if (generation != fitGeneration_->load()) {
        emit fitsChanged(); // not kept: only the count of the fits running has changed
        return;
    }
    if (calibration)
        calibration_ = std::move(*calibration);
    else
        calibration_.reset();
    if (assessment)
        assessment_ = std::move(*assessment);
    else
        assessment_.reset();
    fitted_ = std::move(*photos);
    fittedIds_ = std::move(*ids);
    fitFailure_ = failure;
    if (calibration_)
        emit calibrated(calibration_->camera);
    emit fitFinished();
}

} // namespace vrma
