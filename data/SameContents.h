#pragma once
// Files given twice: the same photograph under two names (a copy, a link, the name typed
// again) is one photograph, and counts once.
#include <QString>

#include <span>
#include <vector>

namespace vrma {

// For every file, the index of the first file before it that holds the same bytes, or -1
// (also for a file that cannot be read: the reader tells why). Only files of one size are
// read, and each of those once (its SHA-256).
std::vector<qsizetype> FirstWithSameBytes(std::span<const QString> files);

} // namespace vrma
