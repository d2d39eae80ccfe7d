#include "app/Alfa_form.h"

namespace vrma {

void TAlfaKalibr_Form::N16Click(QObject* /*sender*/) {}

} // namespace vrma
