#pragma once
// vrma-calib --make-field: the printable test field and its scene file.
#include <QStringList>

namespace vrma {

// Writes the PDF and the scene file that the arguments order (the program's name first).
// Needs the GUI application object (the PDF is painted with fonts). Returns the exit code:
// 0 written, 1 a wrong command line or a field that does not fit the sheet (nothing
// written), 5 a file that cannot be written.
int RunFieldSheetCommand(const QStringList& arguments);

// The part of vrma-calib --help about the test field.
const char* FieldSheetHelp();

} // namespace vrma
