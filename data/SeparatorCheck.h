#pragma once
// Why a planar coordinate file does not read, as far as the decimal separator goes.
// Numbers are written with the separator of the settings that they were written under, and
// the reader takes only the separator in use (DecimalSeparator()); a file written under
// other settings stops at its first number with a fraction. The check reads the file again
// with the other of "," and "." to see whether the line where the reader stopped reads
// then. Nothing is converted: the file is only read, and only to tell the user why.
#include <QChar>
#include <QString>

namespace vrma {

struct SeparatorCheck {
    // The file reads with the separator in use; then nothing else is set.
    bool reads = true;
    // Otherwise the line (counted from 1) where the reader stopped, 0 when the file could
    // not be opened or read at all,
    qsizetype failedLine = 0;
    // and the separator ("," or ".", not the one in use) with which that line reads; null
    // when the line does not read with either, or the file cannot be read.
    QChar otherSeparator;
};

// Reads the file as LoadPointFile does, with the separator in use and, when it stops at a
// line, with the other separators; DecimalSeparator() is as before afterwards. Throws
// nothing: a failure of its own (memory) leaves the answer "cannot tell".
SeparatorCheck CheckDecimalSeparator(const QString& fileName);

} // namespace vrma
