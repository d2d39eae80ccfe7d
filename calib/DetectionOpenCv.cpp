#include "calib/DetectionOpenCv.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>

#include <utility>
#include <vector>

namespace vrma {

namespace {

// OpenCV's layout: rows lines of columns points.
std::optional<FoundGrid> Grid(bool found, std::vector<cv::Point2f>&& points, int columns,
                              int rows) {
    if (!found || points.size() != size_t(columns) * size_t(rows))
        return std::nullopt;
    return FoundGrid{columns, rows, std::move(points)};
}

} // namespace

std::optional<FoundGrid> FindByQuads(const cv::Mat& grey, int columns, int rows) {
    std::vector<cv::Point2f> corners;
    try {
        const bool found = cv::findChessboardCorners(
            grey, cv::Size(columns, rows), corners,
            cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_FAST_CHECK);
        return Grid(found, std::move(corners), columns, rows);
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
}

std::optional<FoundGrid> FindBySaddles(const cv::Mat& grey, int columns, int rows) {
    std::vector<cv::Point2f> corners;
    try {
        const bool found =
            cv::findChessboardCornersSB(grey, cv::Size(columns, rows), corners,
                                        cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_EXHAUSTIVE);
        return Grid(found, std::move(corners), columns, rows);
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
}

std::optional<FoundGrid> FindByBlobs(const cv::Mat& grey, int columns, int rows) {
    std::vector<cv::Point2f> centres;
    try {
        const bool found = cv::findCirclesGrid(grey, cv::Size(columns, rows), centres,
                                               cv::CALIB_CB_SYMMETRIC_GRID);
        return Grid(found, std::move(centres), columns, rows);
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
}

} // namespace vrma
