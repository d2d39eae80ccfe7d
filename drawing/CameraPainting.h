#pragma once
// The pictures of a camera calibrated from several photographs, painted on any device: the
// bar chart of the RMS of every photograph (those left out grey, the limit of the rule
// that leaves a photograph out drawn across) and the coverage of the frame (every target
// found, coloured by photograph, its residual drawn as a vector magnified by a stated
// factor; the corner regions shaded by whether a target of a photograph used lies in
// them). The calibration window for cameras paints them on screen, the report on paper.
#include "calib/PhotoCalibration.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <optional>
#include <span>
#include <vector>

class QPainter;

namespace vrma {

// The colour of photograph k (0-based) in the coverage view and the list: neighbours in
// the list differ in hue.
QColor PhotoColour(size_t k);

// How a chart or view is drawn. Sizes are in the painter's units; the font's metrics are
// taken as they are (a pixel-size font for a scaled painter, the widget's font on screen).
struct CameraPaintStyle {
    QFont font;
    double line = 1.0; // the width of a thin line
    QColor ink = Qt::black;
    QColor background = Qt::white;
    int selected = -1; // the photograph drawn out (0-based), or none
};

// ---- The RMS of every photograph -------------------------------------------------------

struct RmsChartLayout {
    QRectF plot;                 // the axes' box
    std::vector<QRectF> columns; // one a photograph: its column of the plot, for pointing at
    double top = 1.0;            // the RMS at the top of the plot, pixels
    double limit = 0.0;          // the rule's limit (RmsLimit)
    double step = 0.1;           // between the ticks of the RMS axis
};

RmsChartLayout RmsChartLayoutFor(const CameraCalibration& calibration, const QFont& font,
                                 const QRectF& area);
// The photograph whose column holds the point, or -1.
int RmsChartPhotoAt(const RmsChartLayout& layout, const QPointF& point);
// A bar a photograph with an RMS (blue when used, grey when left out, outlined in red when
// the rule left it out), "×" for one without the board, the limit dashed in red with its
// value, the axes with their ticks; the selected photograph's column shaded.
void PaintRmsChart(QPainter& painter, const CameraCalibration& calibration,
                   const RmsChartLayout& layout, const CameraPaintStyle& style);

// ---- The coverage of the frame -----------------------------------------------------------

// The targets of every photograph found, with their residuals when it has a pose.
struct CoveragePhoto {
    size_t index = 0; // in the list of photographs
    bool used = false;
    std::vector<PlanePoint> targets;   // pixels
    std::vector<PlanePoint> residuals; // found minus projected, pixels; empty without a pose
};

struct CoverageData {
    double width = 0.0; // the frame, pixels
    double height = 0.0;
    std::vector<CoveragePhoto> photos;
    FrameCoverage coverage;
    std::optional<PlanePoint> principal; // the camera's principal point, pixels
};

CoverageData CoverageDataOf(const CameraCalibration& calibration,
                            std::span<const PhotoDetection> photos);

// The magnification of the residuals: a round number (1, 2 or 5 times a power of ten)
// that draws the 95th percentile of the residuals of the photographs used as about 4 % of
// the frame's diagonal. 1 when there are none.
double ResidualMagnification(const CoverageData& data);

struct CoverageLayout {
    QRectF frame;         // the frame, in the painter's units
    double scale = 1.0;   // painter units per pixel
    double magnify = 1.0; // of the residuals
    QRectF legend;        // the line under the frame
};

CoverageLayout CoverageLayoutFor(const CoverageData& data, const QFont& font, const QRectF& area);
// The magnification in words: "в 500 раз", "в 2 раза", "в 0,5 раза".
QString MagnifiedWords(double magnify);
// The legend's text: the magnification and what the marks and the shading mean.
QString CoverageLegend(const CoverageLayout& layout);
// Paints the frame, its corner regions, the targets and their residual vectors, and the
// legend. The selected photograph is drawn last and larger; the others paler.
void PaintCoverage(QPainter& painter, const CoverageData& data, const CoverageLayout& layout,
                   const CameraPaintStyle& style);

} // namespace vrma
