// The photograph reader (JPEG, PNG, TIFF, BMP and the formats refused by name) on any
// bytes. The property is in PhotoProperties.h.
#include "PhotoProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckPhotograph(data, size);
    return 0;
}
