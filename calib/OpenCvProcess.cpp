#include "calib/OpenCvProcess.h"

#include <opencv2/core/ocl.hpp>

#include <cstdlib>

namespace vrma {

void KeepOpenCvOnProcessor() {
    // OpenCV reads the variable once, when it is first asked for OpenCL; "disabled" answers
    // no without loading anything. The calling thread's own switch is set as well.
    ::setenv("OPENCV_OPENCL_RUNTIME", "disabled", 1);
    cv::ocl::setUseOpenCL(false);
}

} // namespace vrma
