#include "drawing/FieldCheckVerdict.h"

#include "data/Procedures.h"

namespace vrma {

QString FieldCheckWarning(const FieldCheck& check) {
    if (!check.warning || !check.bias || !check.reference || !check.biasSe)
        return {};
    return QStringLiteral("Поле наклонено: коэффициент смещён на %1, больше двух стандартных "
                          "ошибок (%2). Надёжнее исправленное значение %3.")
        .arg(FormatFixed4(*check.bias), FormatFixed4(*check.biasSe),
             FormatFixed4(*check.reference));
}

} // namespace vrma
