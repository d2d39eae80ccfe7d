#include "calib/TargetDetection.h"

#include "calib/BoardLabels.h"
#include "calib/CharucoDetection.h"
#include "calib/DetectionFault.h"
#include "calib/DetectionOpenCv.h"
#include "calib/GridFinder.h"
#include "calib/Photograph.h"
#include "calib/TargetRefinement.h"
#include "data/Messages.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <utility>

namespace vrma {

namespace {

// The smallest photograph in which a grid can be looked for, pixels a side.
constexpr int kSmallestSide = 8;
// Our walk's first copy is no longer than this a side (a smaller photograph is searched as
// it is); dots on a smaller one: a dot stays a dot where small squares' corners would blur
// together.
constexpr int kWorkingSide = 1800;
constexpr int kDotsWorkingSide = 1200;
// The walk goes on to copies reduced twice, four and eight times as far (blur and noise
// shrink with them; dots, whose measure of size suffers less, to one only) while the
// grid, taking 0.8 of the copy's longer side, could still have its targets this far apart
// there.
constexpr int kCoarserCopies = 3;
constexpr int kCoarserDotCopies = 1;
constexpr double kCoarsestPitch = 8.0;
// OpenCV's finders search a copy of at most this a side, and grids of at most this many
// targets (they grow much faster than ours with both); the outlines' finder a smaller one,
// and only of a photograph of at most twice its side (on a board of another size than the
// one asked for it takes a second on 600 pixels of a blurred photograph, seconds on 800):
// a larger photograph has the saddle-point finder's copy for it.
constexpr int kOpenCvSide = 1280;
constexpr int kQuadsSide = 640;
constexpr int kOpenCvTargets = 900;
// And not on pictures so cluttered that they would take seconds there: the outlines'
// finder where the walk's first copy has more than this many strong saddles a pixel (a
// photograph of a board has a few thousandths, a picture of speckle some hundredths), the
// blobs' finder where it has more dots than this many a target.
constexpr double kQuadsClutter = 0.01;
constexpr size_t kBlobsPerTarget = 4;
// A ChArUco board's markers are looked for on a copy of at most this a side: OpenCV's
// detectMarkers takes markers down to a share of the picture's size, whatever its pixels.
constexpr int kMarkersSide = 2000;

// One 8-bit grey channel; a deeper image is stretched from its darkest to its lightest
// value, so that 12 bits in a 16-bit file keep their contrast.
cv::Mat ToGrey8(const cv::Mat& image) {
    cv::Mat grey = image;
    if (grey.channels() == 3)
        cv::cvtColor(grey, grey, cv::COLOR_BGR2GRAY);
    else if (grey.channels() == 4)
        cv::cvtColor(grey, grey, cv::COLOR_BGRA2GRAY);
    else if (grey.channels() != 1)
        throw PhotoReadError(messages::PhotoUnreadable().toStdString());
    if (grey.depth() == CV_8U)
        return grey;
    cv::Mat wide;
    grey.convertTo(wide, CV_32F);
    cv::patchNaNs(wide, 0.0);
    double low = 0.0;
    double high = 0.0;
    cv::minMaxLoc(wide, &low, &high);
    if (!std::isfinite(low) || !std::isfinite(high))
        throw PhotoReadError(messages::PhotoUnreadable().toStdString());
    cv::Mat out;
    const double span = high - low;
    if (!(span > 0.0))
        return cv::Mat(grey.size(), CV_8U, cv::Scalar(0));
    wide.convertTo(out, CV_8U, 255.0 / span, -low * 255.0 / span);
    return out;
}

// The share done, told to the caller between stages; percent from..to of the whole.
class Stages {
public:
    Stages(const DetectionProgress& progress, int from, int to)
        : progress_(progress), from_(from), to_(to) {}

    // A stage boundary at the share (0..100 of this part); throws when the caller stops.
    void At(int percent) const {
        if (!progress_)
            return;
        const int whole = from_ + (to_ - from_) * std::clamp(percent, 0, 100) / 100;
        if (!progress_(whole))
            throw DetectionCancelled();
    }

private:
    const DetectionProgress& progress_;
    int from_;
    int to_;
};

// ---- the copies ---------------------------------------------------------------------

// The photograph's reduced copies, made when first asked for, by a whole factor: a pixel
// of a copy is the mean of factor x factor pixels (the fast way of the area
// interpolation). Inverted ones for light dots on dark.
class Copies {
public:
    explicit Copies(const cv::Mat& grey) : grey_(grey) {}

    const cv::Mat& photo() const { return grey_; }

    const cv::Mat& At(int factor, bool inverted) {
        const auto key = std::make_pair(factor, inverted);
        if (const auto known = made_.find(key); known != made_.end())
            return known->second;
        cv::Mat copy;
        if (inverted)
            cv::bitwise_not(At(factor, false), copy);
        else if (factor > 1)
            cv::resize(grey_, copy, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
        else
            copy = grey_;
        return made_.emplace(key, std::move(copy)).first->second;
    }

private:
    cv::Mat grey_;
    std::map<std::pair<int, bool>, cv::Mat> made_;
};

int LongSide(cv::Size size) {
    return std::max(size.width, size.height);
}

// The whole factor that brings the longer side to at most `side`.
int FactorFor(cv::Size photo, int side) {
    return std::max(1, (LongSide(photo) + side - 1) / side);
}

// ---- the grid sources ---------------------------------------------------------------

using FindGrid = std::optional<FoundGrid> (*)(const cv::Mat& copy, int columns, int rows,
                                              GridSighting* seen);

// A coded board's source: the targets found on a copy, labelled by their codes and measured
// on the photograph; nothing when too few are, `record` keeping what was seen.
using FindCoded = std::optional<BoardTargets> (*)(const cv::Mat& photo, const cv::Mat& copy,
                                                  int columns, int rows,
                                                  const DetectionTuning& tuning,
                                                  SearchRecord& record);

// A grid source of a kind of target: the copies it searches (their factors, in order) and
// how it finds the grid on one (dots are looked for dark on light and light on dark), or
// for a coded board its targets.
struct GridSource {
    GridSources id;
    std::vector<int> (*factors)(cv::Size photo, TargetKind kind, int columns, int rows,
                                int workingSide);
    FindGrid find = nullptr;
    FindCoded coded = nullptr;
};

std::vector<int> WalkFactors(cv::Size photo, TargetKind kind, int columns, int rows,
                             int workingSide) {
    const int side = workingSide > 0            ? workingSide
                     : kind == TargetKind::Dots ? kDotsWorkingSide
                                                : kWorkingSide;
    // Not so far that the targets come closer than some 12 pixels on the copy.
    int factor = LongSide(photo) > side
                     ? std::min(FactorFor(photo, side),
                                LargestReduction(photo.width, photo.height, columns, rows, 12.0))
                     : 1;
    std::vector<int> factors{factor};
    const int coarser = kind == TargetKind::Dots ? kCoarserDotCopies : kCoarserCopies;
    for (int n = 0; n < coarser; ++n) {
        factor *= 2;
        const double pitch = 0.8 * double(LongSide(photo)) / factor / (std::max(columns, rows) + 1);
        if (pitch < kCoarsestPitch)
            break;
        factors.push_back(factor);
    }
    return factors;
}

std::vector<int> OpenCvFactors(cv::Size photo, TargetKind, int columns, int rows, int) {
    if (size_t(columns) * size_t(rows) > size_t(kOpenCvTargets))
        return {};
    return {FactorFor(photo, kOpenCvSide)};
}

std::vector<int> QuadsFactors(cv::Size photo, TargetKind, int columns, int rows, int) {
    if (size_t(columns) * size_t(rows) > size_t(kOpenCvTargets) || LongSide(photo) > 2 * kQuadsSide)
        return {};
    return {FactorFor(photo, kQuadsSide)};
}

std::vector<int> MarkersFactors(cv::Size photo, TargetKind, int, int, int) {
    return {FactorFor(photo, kMarkersSide)};
}

std::optional<FoundGrid> WalkOn(const cv::Mat& copy, int columns, int rows, GridSighting* seen,
                                TargetKind kind) {
    return kind == TargetKind::Chessboard ? FindChessboardGrid(copy, columns, rows, seen)
                                          : FindDotGrid(copy, columns, rows, seen);
}

// Every source of a kind, in the order the search asks them.
std::vector<GridSource> SourcesOf(TargetKind kind, GridSources only) {
    std::vector<GridSource> sources;
    if (kind == TargetKind::Charuco) {
        sources = {
            {GridSources::Markers, MarkersFactors, nullptr,
             [](const cv::Mat& photo, const cv::Mat& copy, int columns, int rows,
                const DetectionTuning& tuning, SearchRecord& record) {
                 return FindCharucoCorners(photo, copy, columns, rows, tuning.markerShare,
                                           tuning.dictionary, record);
             }},
        };
    } else if (kind == TargetKind::Chessboard) {
        sources = {
            {GridSources::Walk, WalkFactors,
             [](const cv::Mat& copy, int columns, int rows, GridSighting* seen) {
                 return WalkOn(copy, columns, rows, seen, TargetKind::Chessboard);
             }},
            {GridSources::Saddles, OpenCvFactors,
             [](const cv::Mat& copy, int columns, int rows, GridSighting*) {
                 return FindBySaddles(copy, columns, rows);
             }},
            {GridSources::Quads, QuadsFactors,
             [](const cv::Mat& copy, int columns, int rows, GridSighting*) {
                 return FindByQuads(copy, columns, rows);
             }},
        };
    } else {
        sources = {
            {GridSources::Walk, WalkFactors,
             [](const cv::Mat& copy, int columns, int rows, GridSighting* seen) {
                 return WalkOn(copy, columns, rows, seen, TargetKind::Dots);
             }},
            {GridSources::Blobs, OpenCvFactors,
             [](const cv::Mat& copy, int columns, int rows, GridSighting*) {
                 return FindByBlobs(copy, columns, rows);
             }},
        };
    }
    if (only != GridSources::All)
        std::erase_if(sources, [&](const GridSource& s) { return s.id != only; });
    return sources;
}

// ---- from a grid found to the targets ----------------------------------------------

// The grid found on a copy labelled in the board's axes and measured on the photograph;
// nothing when it cannot be, `record` then telling why.
std::optional<BoardTargets> Measured(const FoundGrid& grid, const cv::Mat& copy, bool inverted,
                                     Copies& copies, TargetKind kind, int columns, int rows,
                                     double pitchRatio, SearchRecord& record) {
    std::vector<cv::Point2d> points;
    BoardTurn turn;
    if (!LabelInBoardAxes(grid, copy, kind, columns, rows, points, turn))
        return std::nullopt;
    // Pixel centres: (x + 0.5) / scale - 0.5 on each axis.
    const cv::Mat& photo = copies.photo();
    const double sx = double(photo.cols) / double(copy.cols);
    const double sy = double(photo.rows) / double(copy.rows);
    for (cv::Point2d& p : points)
        p = cv::Point2d((p.x + 0.5) * sx - 0.5, (p.y + 0.5) * sy - 0.5);
    const std::vector<double> spacing = NeighbourSpacing(points, columns, rows);
    const double smallest = *std::min_element(spacing.begin(), spacing.end());
    if (smallest < kSmallestSpacing) {
        record.tooSmall = true;
        record.spacing = smallest;
        return std::nullopt;
    }
    const Refined refined = kind == TargetKind::Chessboard
                                ? RefineCorners(photo, points, spacing)
                                : RefineDots(inverted ? copies.At(1, true) : photo, points, spacing,
                                             columns, rows, pitchRatio);
    if (refined != Refined::Done) {
        record.atEdge = record.atEdge || refined == Refined::AtEdge;
        if (refined == Refined::Lost && kind == TargetKind::Chessboard) {
            record.lost = true;
            record.blur = EdgeBlur(photo, points, columns, rows);
            record.spacing = smallest;
        }
        return std::nullopt;
    }
    BoardTargets targets;
    targets.columns = columns;
    targets.rows = rows;
    targets.imageWidth = photo.cols;
    targets.imageHeight = photo.rows;
    targets.turn = turn;
    targets.points.reserve(points.size());
    for (const cv::Point2d& p : points) {
        if (!(p.x >= -0.5 && p.x <= photo.cols - 0.5 && p.y >= -0.5 && p.y <= photo.rows - 0.5))
            return std::nullopt;
        targets.points.push_back({p.x, p.y});
    }
    return targets;
}

// The walk saw a whole grid as large as the one asked for or larger, either way round:
// what another source could find there is part of it.
bool SeenAsLarge(const SearchRecord& record, int columns, int rows) {
    const GridSighting& seen = record.seen;
    return seen.whole && ((seen.along >= columns && seen.lines >= rows) ||
                          (seen.along >= rows && seen.lines >= columns));
}

// The search of an 8-bit grey photograph: every source on its copies in turn, until one
// finds a grid that can be measured.
BoardTargets Search(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                    const DetectionTuning& tuning, const Stages& stages) {
    const double pitchRatio =
        tuning.pitchRatio > 0.0 && std::isfinite(tuning.pitchRatio) ? tuning.pitchRatio : 1.0;
    Copies copies(grey);
    SearchRecord record;
    const std::vector<GridSource> sources = SourcesOf(kind, tuning.sources);
    std::vector<std::pair<const GridSource*, int>> attempts;
    for (const GridSource& source : sources)
        for (const int factor :
             source.factors(grey.size(), kind, columns, rows, tuning.workingSide))
            attempts.emplace_back(&source, factor);
    const size_t targets = size_t(columns) * size_t(rows);
    const GridSource* failed = nullptr; // a source whose grid could not be measured
    // How cluttered the walk's first copy is (see kQuadsClutter).
    size_t candidates = 0;
    double clutter = 0.0;
    for (size_t n = 0; n < attempts.size(); ++n) {
        const auto& [source, factor] = attempts[n];
        if (source == failed ||
            (source->id != GridSources::Walk && SeenAsLarge(record, columns, rows)) ||
            (source->id == GridSources::Quads && clutter > kQuadsClutter) ||
            (source->id == GridSources::Blobs && candidates > kBlobsPerTarget * targets + 200))
            continue;
        if (source->coded) {
            std::optional<BoardTargets> found =
                source->coded(grey, copies.At(factor, false), columns, rows, tuning, record);
            if (found) {
                found->foundBy = source->id;
                stages.At(95);
                return *found;
            }
            stages.At(10 + int(80 * (n + 1) / attempts.size()));
            continue;
        }
        for (const bool inverted : {false, true}) {
            if (inverted && kind != TargetKind::Dots)
                break;
            const cv::Mat& copy = copies.At(factor, inverted);
            GridSighting seen;
            std::optional<FoundGrid> grid = source->find(copy, columns, rows, &seen);
            if (n == 0 && source->id == GridSources::Walk) {
                candidates = std::max(candidates, seen.candidates);
                clutter = std::max(clutter, seen.clutter);
            }
            if (seen.nodes > record.seen.nodes) {
                record.seen = seen;
                record.seen.pitch *= factor;
            }
            // OpenCV's finders take a grid inside a larger one for the grid, and may skip
            // targets on one.
            if (grid && source->id != GridSources::Walk &&
                !IsTheBoard(*grid, copy, kind == TargetKind::Dots))
                grid.reset();
            if (grid) {
                if (std::optional<BoardTargets> found = Measured(
                        *grid, copy, inverted, copies, kind, columns, rows, pitchRatio, record)) {
                    found->kind = kind;
                    found->foundBy = source->id;
                    stages.At(95);
                    return *found;
                }
                failed = source;
                break;
            }
        }
        stages.At(10 + int(80 * (n + 1) / attempts.size()));
    }
    throw GridNotFound(FaultOf(record, columns, rows), kind, columns, rows);
}

BoardTargets FindStaged(const cv::Mat& input, TargetKind kind, int columns, int rows,
                        const DetectionTuning& tuning, const DetectionProgress& progress, int from,
                        int to) {
    if (columns < 2 || rows < 2)
        throw std::invalid_argument("A grid of targets has at least 2 columns and 2 rows");
    const Stages stages(progress, from, to);
    stages.At(0);
    if (input.empty() || input.cols < kSmallestSide || input.rows < kSmallestSide)
        throw GridNotFound(SearchFault{}, kind, columns, rows);
    // Every target needs a few pixels of its own.
    if (double(columns) * double(rows) * 16.0 > double(input.total()))
        throw GridNotFound(SearchFault{}, kind, columns, rows);
    const cv::Mat grey = input.type() == CV_8UC1 ? input : ToGrey8(input);
    stages.At(10);
    BoardTargets targets = Search(grey, kind, columns, rows, tuning, stages);
    stages.At(100);
    return targets;
}

// The photograph read as the first 15 % of the work.
cv::Mat ReadStaged(const QString& fileName, int columns, int rows,
                   const DetectionProgress& progress) {
    if (columns < 2 || rows < 2)
        throw std::invalid_argument("A grid of targets has at least 2 columns and 2 rows");
    const Stages stages(progress, 0, 100);
    stages.At(0);
    return ReadPhotograph(fileName);
}

constexpr int kReadShare = 15;

} // namespace

cv::Mat ReadPhotograph(const QString& fileName) {
    return DecodePhotograph(fileName);
}

DetectionTuning TuningFor(const Board& board) {
    DetectionTuning tuning;
    tuning.pitchRatio = board.pitchY / board.pitch;
    tuning.markerShare = board.marker / board.pitch;
    tuning.dictionary = board.dictionary;
    return tuning;
}

DetectedTargets DetectTargets(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                              const DetectionProgress& progress) {
    return DetectTargetsTuned(grey, kind, columns, rows, DetectionTuning{}, progress);
}

DetectedTargets DetectTargetsTuned(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                                   const DetectionTuning& tuning,
                                   const DetectionProgress& progress) {
    return InCalibrationOrder(FindStaged(grey, kind, columns, rows, tuning, progress, 0, 100));
}

DetectedTargets DetectTargetsInFile(const QString& fileName, TargetKind kind, int columns, int rows,
                                    const DetectionProgress& progress) {
    const cv::Mat grey = ReadStaged(fileName, columns, rows, progress);
    return InCalibrationOrder(
        FindStaged(grey, kind, columns, rows, DetectionTuning{}, progress, kReadShare, 100));
}

BoardTargets FindBoardTargets(const cv::Mat& grey, TargetKind kind, int columns, int rows,
                              const DetectionTuning& tuning, const DetectionProgress& progress) {
    return FindStaged(grey, kind, columns, rows, tuning, progress, 0, 100);
}

BoardTargets FindBoardTargetsInFile(const QString& fileName, TargetKind kind, int columns, int rows,
                                    const DetectionTuning& tuning,
                                    const DetectionProgress& progress) {
    const cv::Mat grey = ReadStaged(fileName, columns, rows, progress);
    return FindStaged(grey, kind, columns, rows, tuning, progress, kReadShare, 100);
}

} // namespace vrma
