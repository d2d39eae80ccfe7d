// The camera and orientation readers and the writing of what they read.
// The properties are in Properties.h.
#include "Properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckGeometry(data, size);
    return 0;
}
