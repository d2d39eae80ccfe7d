// FormatFixed4 and FormatGeneral15 on any double.
// The properties are in Properties.h.
#include "Properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckFormats(data, size);
    return 0;
}
