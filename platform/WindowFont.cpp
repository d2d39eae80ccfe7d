#include "platform/WindowFont.h"

#include <QFontDatabase>
#include <QStringList>

namespace vrma {

QFont DesignFont() {
    // The design's family, else one of the same widths (the windows are laid out in
    // pixels for them: a wider desktop font would cut their labels), else the desktop's.
    const QStringList families = QFontDatabase::families();
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    for (const QString& family : {QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                                  QStringLiteral("Liberation Sans")}) {
        if (families.contains(family)) {
            font = QFont(family);
            break;
        }
    }
    font.setPixelSize(14);
    return font;
}

} // namespace vrma
