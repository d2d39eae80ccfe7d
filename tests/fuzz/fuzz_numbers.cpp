// The number syntax: ParseReal, ParseRealDouble, ParseInteger, and the general format of what they
// read. The properties are in Properties.h.
#include "Properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckNumbers(data, size);
    return 0;
}
