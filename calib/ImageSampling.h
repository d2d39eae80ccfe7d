#pragma once
// The value of an 8-bit grey picture between its pixels (bilinear), as the search's stages
// read it: the labels' colour checks, the refinement and the ChArUco corners' checks.
// Core only: OpenCV.
#include <opencv2/core.hpp>

#include <algorithm>
#include <limits>

namespace vrma {

// The value at p (pixel centres at whole coordinates); NaN outside the picture.
inline double Sample(const cv::Mat& image, const cv::Point2d& p) {
    if (!(p.x >= 0.0 && p.y >= 0.0 && p.x <= image.cols - 1.0 && p.y <= image.rows - 1.0))
        return std::numeric_limits<double>::quiet_NaN();
    const int x0 = std::min(int(p.x), std::max(0, image.cols - 2));
    const int y0 = std::min(int(p.y), std::max(0, image.rows - 2));
    const int x1 = std::min(x0 + 1, image.cols - 1);
    const int y1 = std::min(y0 + 1, image.rows - 1);
    const double fx = p.x - x0;
    const double fy = p.y - y0;
    const uchar* r0 = image.ptr<uchar>(y0);
    const uchar* r1 = image.ptr<uchar>(y1);
    return (r0[x0] * (1.0 - fx) + r0[x1] * fx) * (1.0 - fy) +
           (r1[x0] * (1.0 - fx) + r1[x1] * fx) * fy;
}

} // namespace vrma
