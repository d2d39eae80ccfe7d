#include "app/Alfa_form.h"

namespace vrma {

void TAlfaKalibr_Form::N4Click(QObject* /*sender*/) {}

} // namespace vrma
