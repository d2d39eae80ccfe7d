// The coordinate-file reader ReadPointFile on any file content.
// The properties are in Properties.h.
#include "Properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckPointFile(data, size);
    return 0;
}
