// The views' reader and the field check it feeds on any set of coordinate files. The
// property is in ViewsProperties.h.
#include "ViewsProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckFieldViews(data, size);
    return 0;
}
