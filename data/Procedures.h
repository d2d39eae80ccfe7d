#pragma once
// Free routines of the point data, the entry point of the units that do their jobs: the
// four-decimal format (data/FixedFour.h), the coordinate-file reader (data/PointFileReader.h,
// which reads the lines with the byte-level scanner of data/PointScanner.h), and the reader
// under its guard.
#include "data/Data_structures.h"
#include "data/FixedFour.h"
#include "data/PointFileReader.h"

#include <QString>

namespace vrma {

// LoadPointFile under the reader's guard: on any failure shows the message box
// "Ошибка чтения файла сцены!" (caption "Ошибка!", OK, no icon, no owner) and returns false.
bool ReadPointFile(const QString& fileName, VT_Points* points);

} // namespace vrma
