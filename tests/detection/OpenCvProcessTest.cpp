// OpenCV kept on the processor: after the program's first step, OpenCV's questions about a
// graphics device, from any thread, load no OpenCL runtime (the process's own map of what
// is loaded says so; without the step the first question loads the installed one).
#include "calib/OpenCvProcess.h"

#include <gtest/gtest.h>
#include <opencv2/core/ocl.hpp>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string LoadedObjects() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str();
}

TEST(OpenCvProcess, NoOpenClRuntimeIsLoadedFromAnyThread) {
    vrma::KeepOpenCvOnProcessor();
    EXPECT_FALSE(cv::ocl::haveOpenCL());
    bool usedOnWorker = true;
    std::thread worker([&usedOnWorker] { usedOnWorker = cv::ocl::useOpenCL(); });
    worker.join();
    EXPECT_FALSE(usedOnWorker);
    EXPECT_EQ(LoadedObjects().find("libOpenCL"), std::string::npos);
}

} // namespace
