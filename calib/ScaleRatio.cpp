#include "calib/ScaleRatio.h"

#include "data/Checked.h"
#include "data/Errors.h"

#include <cmath>
#include <new>

namespace vrma {

namespace {

constexpr double kPlotWidth = 700.0; // the plot's width that the columns share
constexpr double kPlotLeft = 30.0;   // x of column 0
constexpr double kFirstRowLevel = 250.0;

using checked::Add;
using checked::Div;
using checked::Finite;
using checked::Mul;
using checked::Sub;
using checked::Trunc;

qint32 PixelX(double column, double h) {
    return Trunc(Add(Mul(column, h), kPlotLeft));
}

} // namespace

ScaleRatioRun RunScaleRatio(qint32 nc, qint32 nr, std::span<const GridPoint> scene,
                            std::span<const GridPoint> image) {
    ScaleRatioRun run;
    try {
        run.stage = ScaleRatioStage::Tables;
        if (nc < 0 || nr < 0)
            throw CalcError("negative grid size");
        const qint64 count = GridPointCount(nc, nr);
        if (qint64(scene.size()) != count || qint64(image.size()) != count)
            throw CalcError("grid size does not match the points");
        const qint64 interior = (nc >= 3 && nr >= 3) ? qint64(nc - 2) * qint64(nr - 2) : 0;
        run.ratios.reserve(size_t(interior));
        run.plot.reserve(size_t(interior));

        run.stage = ScaleRatioStage::Step;
        run.h = Div(kPlotWidth, double(nc));
        run.s = 1.0;
        run.coefficient = 0.0;
        run.coefficientSet = true;

        // Central differences, row by row; each interior row is one polyline.
        run.stage = ScaleRatioStage::Ratio;
        const size_t rows = size_t(nr);
        for (qint32 j = 1; j <= nr - 2; ++j) {
            for (qint32 i = 1; i <= nc - 2; ++i) {
                run.failedColumn = i;
                run.failedRow = j;
                const size_t node = size_t(i) * rows + size_t(j);
                const size_t left = node - rows;
                const size_t right = node + rows;
                const double a =
                    Div(Sub(image[right].x, image[left].x), Sub(scene[right].x, scene[left].x));
                const double b = Div(Sub(image[node + 1].y, image[node - 1].y),
                                     Sub(scene[node + 1].y, scene[node - 1].y));
                const double v = std::fabs(Div(b, a));
                if (j == 1)
                    run.s = Div(kFirstRowLevel, v);
                run.plot.push_back(PlotVertex{PixelX(i, run.h), Trunc(Mul(v, run.s)), i == 1});
                run.coefficient = Add(run.coefficient, v);
                run.ratios.push_back(v);
            }
        }
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
        run.meanLineY = Trunc(Mul(mean, run.s));
        run.meanLineRight = PixelX(double(nc) - 1.0, run.h);

        run.stage = ScaleRatioStage::Complete;
    } catch (const CalcError&) {
        // run.stage says where it stopped; what was produced so far stays.
    } catch (const std::bad_alloc&) {
    }
    return run;
}

ScaleRatioRun RunScaleRatio(qint32 nc, qint32 nr, const VT_Points& scene, const VT_Points& image) {
    // The grid tables are laid out only from sizes that can be right.
    const qint64 count = GridPointCount(nc, nr);
    if (nc < 0 || nr < 0 || scene.Count() != count || image.Count() != count)
        return ScaleRatioRun{};
    std::vector<GridPoint> sceneTable;
    std::vector<GridPoint> imageTable;
    try {
        sceneTable.resize(size_t(count));
        imageTable.resize(size_t(count));
    } catch (const std::bad_alloc&) {
        return ScaleRatioRun{};
    }
    for (qint32 k = 0; k < qint32(count); ++k) {
        const VT_Point* p = scene.Get(k);
        sceneTable[size_t(k)] = GridPoint{p->X, p->Y};
        const VT_Point* q = image.Get(k);
        imageTable[size_t(k)] = GridPoint{q->X, q->Y};
    }
    return RunScaleRatio(nc, nr, sceneTable, imageTable);
}

} // namespace vrma
