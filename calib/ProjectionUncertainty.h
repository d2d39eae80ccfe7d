#pragma once
// The uncertainty of a calibrated camera's projection over its frame: for the centre of
// every cell of a grid covering the image, the point that the camera sees there at a
// working distance (by default the median distance of the board in the photographs used)
// is carried into the board's frame of every photograph with its pose, carried back with
// the poses as fitted, averaged, and projected: the standard deviation of that pixel, from
// the full covariance of the freed parameters and every pose (calib/CameraTrust), in its
// worst direction (the root of the larger eigenvalue of its 2 x 2 covariance). The
// perturbed poses take part, so that what a shift of the camera's frame explains is not
// counted as uncertainty of the camera.
#include "calib/CameraTrust.h"

#include <optional>

namespace vrma {

// Cells across the frame's width; down its height in proportion (at least two).
inline constexpr int kUncertaintyColumns = 16;

struct UncertaintyCell {
    double x = 0.0; // its centre, pixels
    double y = 0.0;
    double sigmaPx = 0.0;
    bool seen = false;    // targets of a photograph used lie in it
    bool outside = false; // the lens sees no ray at its centre (a circular fisheye's corners)
};

struct ProjectionUncertainty {
    double distance = 0.0; // of the points projected, scene units
    int columns = 0;
    int rows = 0;
    std::vector<UncertaintyCell> cells; // row by row from the top left
    double worstSeenPx = 0.0;           // the largest sigma of a cell seen (0: none seen)
    double worstFramePx = 0.0;          // over all cells with a ray
    double medianSeenPx = 0.0;          // the median sigma of the cells seen
};

// The median distance from the camera to the middle of the board's targets in the
// photographs used.
double MedianBoardDistance(std::span<const BoardPhoto> photos,
                           const CameraCalibration& calibration);

// The point the camera sees at pixel (x, y) at `distance` from it, in the camera's frame.
cv::Vec3d PointAtPixel(const Camera& camera, double x, double y, double distance);

// The map. Throws CameraFitError as InformationOf does.
ProjectionUncertainty UncertaintyOf(std::span<const BoardPhoto> photos,
                                    const CameraCalibration& calibration,
                                    const CameraInformation& information,
                                    std::optional<double> distance = {});

} // namespace vrma
