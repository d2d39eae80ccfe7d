// The data editor's loading of every document kind, and the saving of what it loaded.
// The properties are in EditorProperties.h.
#include "EditorProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::CheckEditorDocument(data, size);
    return 0;
}
