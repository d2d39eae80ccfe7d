#include "app/SaveClash.h"

#include "data/Dialogs.h"
#include "data/Messages.h"

#include <span>

namespace vrma {

bool NotAnyOf(QWidget* owner, const QString& chosen, std::span<const NamedFile> others) {
    const NamedFile output{QString(), chosen};
    const std::optional<FileClash> clash = FindFileClash(others, std::span(&output, 1));
    if (!clash)
        return true;
    MessageBoxA(owner, messages::SameFileChosen(chosen, clash->other.role),
                messages::ErrorCaption(), MB_OK);
    return false;
}

} // namespace vrma
