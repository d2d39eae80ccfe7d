// The writing of two outputs named in a tree of folders and links made from any bytes. The
// property is in OutputProperties.h.
#include "OutputProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckOutputNames(data, size);
    return 0;
}
