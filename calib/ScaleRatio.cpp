#include "calib/ScaleRatio.h"

#include "data/Checked.h"
#include "data/Errors.h"
#include "data/VectorState.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace vrma {

namespace {

using checked::Add;
using checked::Div;
using checked::Mul;
using checked::Sub;

// The points of a grid as the run reads them: point k is the node of column k / NR and
// row k % NR.
struct TableGrid {
    std::span<const PlanePoint> points;
    double X(size_t k) const { return points[k].x; }
    double Y(size_t k) const { return points[k].y; }
};
struct ListGrid {
    const VT_Points& points;
    // The run reads only points below NC * NR, the count of both lists.
    double X(size_t k) const { return points.GetUnchecked(k)->X; }
    double Y(size_t k) const { return points.GetUnchecked(k)->Y; }
};

// The nodes of interior row j, one after the other, every step checked: the first
// failure throws with the run holding the nodes before it.
template <class Grid>
void CheckedRow(const Grid& scene, const Grid& image, qint32 nc, size_t rows, qint32 j,
                ScaleRatioFollower* follower, ScaleRatioRun& run) {
    for (qint32 i = 1; i <= nc - 2; ++i) {
        run.failedColumn = i;
        run.failedRow = j;
        const size_t node = size_t(i) * rows + size_t(j);
        const size_t left = node - rows;
        const size_t right = node + rows;
        const double a =
            Div(Sub(image.X(right), image.X(left)), Sub(scene.X(right), scene.X(left)));
        const double b = Div(Sub(image.Y(node + 1), image.Y(node - 1)),
                             Sub(scene.Y(node + 1), scene.Y(node - 1)));
        const double v = std::fabs(Div(b, a));
        if (follower && follower->Take(j, i, std::span(&v, 1)) == 0)
            throw CalcError("the follower cannot take the ratio");
        run.coefficient = Add(run.coefficient, v);
        run.ratios.push_back(v);
    }
}

// The same row with the same arithmetic, its checks gathered into one flag; the row's
// ratios are taken only when none of them failed, otherwise the caller does the row again
// with CheckedRow, which stops where the checked steps stop. `ratios` receives the row's.
template <class Grid>
bool FastRow(const Grid& scene, const Grid& image, qint32 nc, size_t rows, qint32 j,
             std::vector<double>& ratios, double& coefficient) {
    ratios.clear();
    bool ok = true;
    double sum = coefficient;
    for (qint32 i = 1; i <= nc - 2; ++i) {
        const size_t node = size_t(i) * rows + size_t(j);
        const size_t left = node - rows;
        const size_t right = node + rows;
        const double dix = image.X(right) - image.X(left);
        const double dsx = scene.X(right) - scene.X(left);
        const double diy = image.Y(node + 1) - image.Y(node - 1);
        const double dsy = scene.Y(node + 1) - scene.Y(node - 1);
        const double a = dix / dsx;
        const double b = diy / dsy;
        const double q = b / a;
        const double v = std::fabs(q);
        ok = ok && std::isfinite(dix) && std::isfinite(dsx) && std::isfinite(diy) &&
             std::isfinite(dsy) && dsx != 0.0 && dsy != 0.0 && std::isfinite(a) &&
             std::isfinite(b) && a != 0.0 && std::isfinite(q);
        sum += v;
        ratios.push_back(v);
    }
    // The sums only grow (every ratio is at least 0): a finite sum was finite all along.
    ok = ok && std::isfinite(sum);
    if (ok)
        coefficient = sum;
    return ok;
}

// The ratios of a row that passed its checks, as far as the follower takes them: the
// coefficient sums those it took (in the order the checked steps sum them) and the run
// stops at the first it did not take.
void TakeRow(ScaleRatioFollower* follower, qint32 j, const std::vector<double>& ratios,
             double rowStart, ScaleRatioRun& run) {
    const size_t taken = follower ? follower->Take(j, 1, ratios) : ratios.size();
    if (taken == ratios.size()) {
        run.ratios.insert(run.ratios.end(), ratios.begin(), ratios.end());
        return;
    }
    run.coefficient = rowStart;
    for (size_t k = 0; k < taken; ++k) {
        run.coefficient += ratios[k];
        run.ratios.push_back(ratios[k]);
    }
    run.failedColumn = qint32(taken) + 1;
    run.failedRow = j;
    throw CalcError("the follower cannot take the ratio");
}

// The interior rows one after the other, each node's ratio summed into the coefficient.
// The rows are taken a block at a time: the points of the block's rows and of the rows on
// either side of it are gathered column by column (each column's points lie together), into
// a small grid of their own that the sweeps then read; a row that fails its checks is done
// again on the whole grid, step by step.
template <class Grid>
void RunRows(qint32 nc, qint32 nr, const Grid& scene, const Grid& image,
             ScaleRatioFollower* follower, ScaleRatioRun& run) {
    const size_t rows = size_t(nr);
    std::vector<double> rowRatios;
    rowRatios.reserve(size_t(std::max(nc - 2, 0)));
    const qint32 perBlock = std::max(1, 16384 / std::max(nc, 1) - 2);
    std::vector<PlanePoint> blockScene;
    std::vector<PlanePoint> blockImage;
    for (qint32 j0 = 1; j0 <= nr - 2; j0 += perBlock) {
        const qint32 blockRows = std::min(perBlock, nr - 1 - j0);
        const size_t gathered = size_t(blockRows) + 2;
        blockScene.resize(size_t(nc) * gathered);
        blockImage.resize(blockScene.size());
        for (qint32 i = 0; i < nc; ++i) {
            const size_t from = size_t(i) * rows + size_t(j0 - 1);
            PlanePoint* const toScene = blockScene.data() + size_t(i) * gathered;
            PlanePoint* const toImage = blockImage.data() + size_t(i) * gathered;
            for (size_t r = 0; r < gathered; ++r) {
                toScene[r] = PlanePoint{scene.X(from + r), scene.Y(from + r)};
                toImage[r] = PlanePoint{image.X(from + r), image.Y(from + r)};
            }
        }
        const TableGrid blockOfScene{blockScene};
        const TableGrid blockOfImage{blockImage};
        for (qint32 local = 1; local <= blockRows; ++local) {
            const qint32 j = j0 - 1 + local;
            const double rowStart = run.coefficient;
            if (FastRow(blockOfScene, blockOfImage, nc, gathered, local, rowRatios,
                        run.coefficient))
                TakeRow(follower, j, rowRatios, rowStart, run);
            else
                CheckedRow(scene, image, nc, rows, j, follower, run);
        }
    }
}

template <class Grid>
ScaleRatioRun RunOnGrid(qint32 nc, qint32 nr, qint64 count, const Grid& scene, const Grid& image,
                        ScaleRatioFollower* follower) {
    ClearUpperVectorState();
    ScaleRatioRun run;
    try {
        run.stage = ScaleRatioStage::Tables;
        if (nc < 0 || nr < 0)
            throw CalcError("negative grid size");
        if (GridPointCount(nc, nr) != count)
            throw CalcError("grid size does not match the points");
        const qint64 interior = (nc >= 3 && nr >= 3) ? qint64(nc - 2) * qint64(nr - 2) : 0;
        run.ratios.reserve(size_t(interior));

        run.stage = ScaleRatioStage::Step;
        if (follower && !follower->Start(nc, size_t(interior)))
            throw CalcError("the follower cannot start");
        run.coefficient = 0.0;
        run.coefficientSet = true;

        // Central differences, row by row.
        run.stage = ScaleRatioStage::Ratio;
        RunRows(nc, nr, scene, image, follower, run);
        run.failedColumn = -1;
        run.failedRow = -1;

        run.stage = ScaleRatioStage::Mean;
        const size_t n = run.ratios.size();
        run.coefficient = Div(run.coefficient, double(n));

        run.stage = ScaleRatioStage::Deviation;
        const double mean = run.coefficient;
        double squares = 0.0;
        for (double ratio : run.ratios) {
            const double d = Sub(ratio, mean);
            squares = Add(squares, Mul(d, d));
        }
        run.sd = n > 1 ? std::sqrt(Div(squares, double(n - 1))) : 0.0;

        run.stage = ScaleRatioStage::MeanLine;
        if (follower && !follower->Finish(mean))
            throw CalcError("the follower cannot finish");

        run.stage = ScaleRatioStage::Complete;
    } catch (const CalcError&) {
        // run.stage says where it stopped; what was produced so far stays.
    } catch (const std::bad_alloc&) {
    }
    return run;
}

} // namespace

ScaleRatioRun RunScaleRatio(qint32 nc, qint32 nr, std::span<const PlanePoint> scene,
                            std::span<const PlanePoint> image, ScaleRatioFollower* follower) {
    if (scene.size() != image.size()) {
        ScaleRatioRun run; // stopped while laying out the grid
        return run;
    }
    return RunOnGrid(nc, nr, qint64(scene.size()), TableGrid{scene}, TableGrid{image}, follower);
}

ScaleRatioRun RunScaleRatio(qint32 nc, qint32 nr, const VT_Points& scene, const VT_Points& image,
                            ScaleRatioFollower* follower) {
    // The points are read where the lists hold them; the run checks the sizes first.
    const qint64 count = GridPointCount(nc, nr);
    if (nc < 0 || nr < 0 || scene.Count() != count || image.Count() != count)
        return ScaleRatioRun{};
    return RunOnGrid(nc, nr, count, ListGrid{scene}, ListGrid{image}, follower);
}

} // namespace vrma
