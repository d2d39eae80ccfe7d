// The line reader (Windows-1251, CR/LF/NUL rules).
// The properties are in Properties.h.
#include "Properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckLines(data, size);
    return 0;
}
