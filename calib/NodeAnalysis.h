#pragma once
// The ratios of a completed calibration node by node: where on the field each ratio
// lies, how far it is from the mean, the robust centre and spread of the field, and the
// nodes that depart from it.
//
// A completed run lists one ratio per interior node, row by row (rows 1 .. NR-2), each
// row from left to right (columns 1 .. NC-2); ratio k belongs to column 1 + k % (NC-2)
// and row 1 + k / (NC-2).
//
// Outliers. A node is an outlier when |ratio - median| > 3.5 * scaled MAD, where MAD is
// the median of |ratio - median| and the scaled MAD is 1.4826 * MAD (for normally
// distributed ratios it estimates the standard deviation). When more than half of the
// nodes carry the median ratio itself, MAD is 0 and the rule would flag every node that
// differs from the median in its last bit. The scale is therefore never taken below a
// billionth of the median: a node is flagged when
//     |ratio - median| > 3.5 * max(1.4826 * MAD, 1e-9 * |median|).
// So a field whose ratios are all equal has no outliers, and on an exact synthetic field
// (MAD = 0) exactly the nodes that depart from the common ratio are flagged.
//
// Deviations are in units of the standard deviation, (ratio - mean) / sd, with the mean
// and sd computed exactly as the calibration computes them (the same sum in the same
// order), so that they agree with what the calibration window shows. When all ratios
// are equal (or sd is 0) every deviation is 0.
#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <span>
#include <vector>

namespace vrma {

// The ratios of one completed calibration and the grid they came from.
struct NodeRatios {
    qint32 columns = 0;         // NC, grid columns
    qint32 rows = 0;            // NR, grid rows
    std::vector<double> ratios; // (NC-2)*(NR-2), row by row
};

struct NodeValue {
    qint32 column = 0; // grid column i, 1 .. NC-2
    qint32 row = 0;    // grid row j, 1 .. NR-2
    double ratio = 0.0;
    double deviation = 0.0; // (ratio - mean) / sd
    bool outlier = false;
};

struct NodeAnalysis {
    qint32 columns = 0;           // NC
    qint32 rows = 0;              // NR
    std::vector<NodeValue> nodes; // in the order of the ratios (row by row)

    qint64 n = 0;
    double mean = 0.0;
    double median = 0.0;
    double sd = 0.0;        // sqrt(S / (n - 1)), 0 for one node
    double sem = 0.0;       // standard error of the mean, sd / sqrt(n)
    double mad = 0.0;       // median absolute deviation from the median
    double scaledMad = 0.0; // 1.4826 * MAD
    double threshold = 0.0; // a node is an outlier beyond median +- threshold
    double minRatio = 0.0;
    double maxRatio = 0.0;

    // The outliers, in the order of the nodes.
    std::vector<NodeValue> outliers() const;
    qsizetype outlierCount() const;
    // The node of grid column i and row j, or nullptr for a node that has no ratio.
    const NodeValue* at(qint32 column, qint32 row) const;
};

constexpr double kMadScale = 1.4826;
constexpr double kOutlierMads = 3.5;
constexpr double kMadFloor = 1e-9; // relative to |median|

// The median of the values (the mean of the two middle ones for an even count).
// Throws CalcError for no values.
double Median(std::span<const double> values);

// The analysis of a completed run. Throws CalcError when the count of ratios does not
// match the grid (no interior node, or a run that did not complete), or on a floating
// point fault.
NodeAnalysis AnalyseNodes(qint32 columns, qint32 rows, std::span<const double> ratios);
inline NodeAnalysis AnalyseNodes(const NodeRatios& run) {
    return AnalyseNodes(run.columns, run.rows, run.ratios);
}

// The numbers as CSV text: UTF-8, "," between fields, "." as the decimal point whatever
// the regional settings, CR LF after every line. A header line, then one line per node:
// column, row, ratio, deviation, outlier flag (1 or 0). Numbers carry the shortest text
// that reads back as the same double.
QByteArray NodeAnalysisCsv(const NodeAnalysis& analysis);

} // namespace vrma
