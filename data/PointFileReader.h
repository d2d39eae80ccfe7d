#pragma once
// The coordinate-file reader: the points of a planar coordinate file, two numbers a line,
// into a point list.
#include "data/Data_structures.h"

#include <QString>
#include <QtGlobal>

namespace vrma {

// Reads a planar coordinate file into the list: the list is emptied, then receives one
// point per line in file order. Throws FileError/FormatError on the first failure; the
// points of the lines before the failing one stay in the list.
void LoadPointFile(const QString& fileName, VT_Points* points);

// For tests: a file read by LoadPointFile is split into at most `parts` parts (0: one a
// processor, at most four) of at least `leastBytes` bytes (0: the usual 4 MiB), read at once.
void SetPointFileParts(unsigned parts, qint64 leastBytes);

} // namespace vrma
