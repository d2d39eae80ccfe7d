#pragma once
// The font the windows are designed for.
#include <QFont>

namespace vrma {

// "MS Sans Serif" with a character height of 14 pixels; where that family is missing, a
// family of its widths (Arial, Liberation Sans), else the desktop's default sans-serif
// font, at the same pixel size.
QFont DesignFont();

} // namespace vrma
