#pragma once
// The windows' save dialogs refuse a file that the window reads, or writes besides: the
// measuring window's two coordinate files against the photograph and each other, the test
// field's PDF and scene file, the calibration window's table and camera file against the
// two coordinate files. Compared as files (data/FileNames: through symbolic and hard
// links), before anything is written.
#include "data/FileNames.h"

#include <initializer_list>
#include <span>

class QWidget;

namespace vrma {

// True when `chosen` is none of the others (each a role for the message and a name; empty
// names are skipped); otherwise the error message through the dialog layer, and false.
bool NotAnyOf(QWidget* owner, const QString& chosen, std::span<const NamedFile> others);
inline bool NotAnyOf(QWidget* owner, const QString& chosen,
                     std::initializer_list<NamedFile> others) {
    return NotAnyOf(owner, chosen, std::span(others.begin(), others.size()));
}

} // namespace vrma
