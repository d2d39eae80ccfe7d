#include "app/Alfa_form.h"

namespace vrma {

void TAlfaKalibr_Form::Edit11DblClick(QObject* /*sender*/) {}
void TAlfaKalibr_Form::Edit10DblClick(QObject* /*sender*/) {}

} // namespace vrma
