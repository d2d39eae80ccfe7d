// The header of a photograph (size, EXIF turn, TIFF pages) on any bytes. The
// property is in OutputProperties.h.
#include "OutputProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckPhotoHeader(data, size);
    return 0;
}
