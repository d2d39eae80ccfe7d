#pragma once
// OpenCV's computations kept on the processor for the whole process. Left alone, OpenCV
// loads the OpenCL runtime the first time one of its functions asks whether a graphics
// device could take the work (any thread, any function); that probes the machine's drivers
// on start and may give other numbers on a machine with a device. Called first thing in
// main, before any OpenCV function runs.
// Core only: OpenCV.

namespace vrma {

void KeepOpenCvOnProcessor();

} // namespace vrma
