#include "app/WindowFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace vrma {

QFont DesignFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    if (!QFontDatabase::families().contains(QStringLiteral("MS Sans Serif"))) {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPixelSize(14);
    return font;
}

} // namespace vrma
