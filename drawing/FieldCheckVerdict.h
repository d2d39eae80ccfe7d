#pragma once
// The field check's verdict as the report, the windows and vrma-calib word it.
#include "calib/FieldCheck.h"

#include <QString>

namespace vrma {

// The Russian text to show: the warning when check.warning is on ("Поле наклонено: …",
// which advises the corrected value), or, when the corrected value is doubtful, why it is
// not to be trusted; empty otherwise. No number in it rounds to zero where it is not.
QString FieldCheckWarning(const FieldCheck& check);

} // namespace vrma
