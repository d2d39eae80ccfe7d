#include "calib/NodeAnalysis.h"

#include "data/Checked.h"
#include "data/Errors.h"
#include "data/Messages.h"
#include "data/VectorState.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace vrma {

namespace {

using checked::Div;
using checked::Finite;

// The shortest text that reads back as the same double, with "." as the decimal point.
QString CsvNumber(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

std::vector<NodeValue> NodeAnalysis::outliers() const {
    std::vector<NodeValue> out;
    for (const NodeValue& node : nodes)
        if (node.outlier)
            out.push_back(node);
    return out;
}

qsizetype NodeAnalysis::outlierCount() const {
    return std::count_if(nodes.begin(), nodes.end(),
                         [](const NodeValue& node) { return node.outlier; });
}

const NodeValue* NodeAnalysis::at(qint32 column, qint32 row) const {
    if (column < 1 || column > columns - 2 || row < 1 || row > rows - 2)
        return nullptr;
    const size_t index = size_t(row - 1) * size_t(columns - 2) + size_t(column - 1);
    return index < nodes.size() ? &nodes[index] : nullptr;
}

namespace {

// The median of values that may be put in another order (at least one).
double MedianReordering(std::vector<double>& sorted) {
    const size_t middle = sorted.size() / 2;
    std::nth_element(sorted.begin(), sorted.begin() + qsizetype(middle), sorted.end());
    const double upper = sorted[middle];
    if (sorted.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(sorted.begin(), sorted.begin() + qsizetype(middle));
    // Halfway between the two middle values without overflowing their sum.
    return Finite(lower + Finite(upper - lower) / 2.0);
}

} // namespace

double Median(std::span<const double> values) {
    if (values.empty())
        throw CalcError("the median of no values");
    std::vector<double> sorted(values.begin(), values.end());
    return MedianReordering(sorted);
}

NodeAnalysis AnalyseNodes(qint32 columns, qint32 rows, std::span<const double> ratios) {
    ClearUpperVectorState();
    if (columns < 3 || rows < 3)
        throw CalcError("no interior node");
    const qint64 perRow = qint64(columns) - 2;
    const qint64 count = perRow * (qint64(rows) - 2);
    if (qint64(ratios.size()) != count)
        throw CalcError("the ratios do not match the grid");
    for (double ratio : ratios)
        Finite(ratio);

    NodeAnalysis result;
    result.columns = columns;
    result.rows = rows;
    result.n = count;

    // Mean and standard deviation as the calibration computes them.
    double sum = 0.0;
    for (double ratio : ratios)
        sum = Finite(sum + ratio);
    result.mean = Div(sum, double(count));
    double squares = 0.0;
    for (double ratio : ratios) {
        const double d = Finite(ratio - result.mean);
        squares = Finite(squares + Finite(d * d));
    }
    result.sd = count > 1 ? std::sqrt(Div(squares, double(count - 1))) : 0.0;
    result.sem = Div(result.sd, std::sqrt(double(count)));

    const auto [least, greatest] = std::minmax_element(ratios.begin(), ratios.end());
    result.minRatio = *least;
    result.maxRatio = *greatest;

    result.median = Median(ratios);
    std::vector<double> distances;
    distances.reserve(ratios.size());
    for (double ratio : ratios)
        distances.push_back(std::fabs(Finite(ratio - result.median)));
    // The distances are not needed in their order again: each node's is worked out anew.
    result.mad = MedianReordering(distances);
    result.scaledMad = Finite(kMadScale * result.mad);
    const double floor = kMadFloor * std::fabs(result.median);
    result.threshold = Finite(kOutlierMads * std::max(result.scaledMad, floor));

    const bool spread = result.minRatio != result.maxRatio && result.sd > 0.0;
    result.nodes.reserve(ratios.size());
    for (size_t k = 0; k < ratios.size(); ++k) {
        NodeValue node;
        node.column = qint32(1 + qint64(k) % perRow);
        node.row = qint32(1 + qint64(k) / perRow);
        node.ratio = ratios[k];
        node.deviation = spread ? Div(Finite(ratios[k] - result.mean), result.sd) : 0.0;
        node.outlier = std::fabs(ratios[k] - result.median) > result.threshold;
        result.nodes.push_back(node);
    }
    return result;
}

QByteArray NodeAnalysisCsv(const NodeAnalysis& analysis) {
    QString text = messages::NodeAnalysisCsvHeader() + QStringLiteral("\r\n");
    for (const NodeValue& node : analysis.nodes) {
        text += QString::number(node.column) + QLatin1Char(',') + QString::number(node.row) +
                QLatin1Char(',') + CsvNumber(node.ratio) + QLatin1Char(',') +
                CsvNumber(node.deviation) + QLatin1Char(',') +
                (node.outlier ? QLatin1Char('1') : QLatin1Char('0')) + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

} // namespace vrma
