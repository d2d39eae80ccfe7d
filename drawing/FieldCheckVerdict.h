#pragma once
// The field check's verdict as the report, the windows and vrma-calib word it.
#include "calib/FieldCheck.h"

#include <QString>

namespace vrma {

// The Russian warning text shown when check.warning is on (empty otherwise).
QString FieldCheckWarning(const FieldCheck& check);

} // namespace vrma
