#pragma once
// Free routines of the point data: the four-decimal format and the coordinate-file reader.
#include "data/Data_structures.h"

#include <QString>

namespace vrma {

// Fixed notation with exactly four decimals and DecimalSeparator(): rounded to the
// nearest at the fourth decimal (ties away from zero), but never more than 18
// significant digits: decimals beyond the 18th significant digit are zeros.
QString FormatFixed4(double value);

// Reads a planar coordinate file into the list: the list is emptied, then receives one
// point per line in file order. Throws FileError/FormatError on the first failure; the
// points of the lines before the failing one stay in the list.
void LoadPointFile(const QString& fileName, VT_Points* points);

// LoadPointFile under the reader's guard: on any failure shows the message box
// "Ошибка чтения файла сцены!" (caption "Ошибка!", OK, no icon, no owner) and returns false.
bool ReadPointFile(const QString& fileName, VT_Points* points);

} // namespace vrma
