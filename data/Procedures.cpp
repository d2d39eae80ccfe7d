#include "data/Procedures.h"

#include "data/Dialogs.h"
#include "data/Messages.h"

#include <exception>

namespace vrma {

bool ReadPointFile(const QString& fileName, VT_Points* points) {
    try {
        LoadPointFile(fileName, points);
        return true;
    } catch (const std::exception&) {
        MessageBoxA(nullptr, messages::ReadFailed(), messages::ErrorCaption(), MB_OK);
        return false;
    }
}

} // namespace vrma
