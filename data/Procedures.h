#pragma once
// Free routines of the point data: the four-decimal format and the coordinate-file reader.
#include "data/Data_structures.h"

#include <QString>
#include <cstddef>
#include <vector>

namespace vrma {

// Fixed notation with exactly four decimals and DecimalSeparator(): rounded to the
// nearest at the fourth decimal (ties away from zero), but never more than 18
// significant digits: decimals beyond the 18th significant digit are zeros.
QString FormatFixed4(double value);

// FormatFixed4 over a long run of values, with the decimal separator of the moment the
// formatter was made: values whose texts are equal get one shared string. The ratios of a
// calibration repeat their texts a great deal, so a list of them costs a reference per
// line instead of a string per line.
class FixedFourTexts {
public:
    FixedFourTexts();
    ~FixedFourTexts();
    FixedFourTexts(const FixedFourTexts&) = delete;
    FixedFourTexts& operator=(const FixedFourTexts&) = delete;

    QString operator()(double value);

private:
    static constexpr std::size_t kCacheSize = 4096; // a power of two
    struct Entry {
        quint64 key = 0;
        QString text; // null while the entry is unused
    };
    QChar separator_;
    std::vector<Entry> cache_;
};

// Reads a planar coordinate file into the list: the list is emptied, then receives one
// point per line in file order. Throws FileError/FormatError on the first failure; the
// points of the lines before the failing one stay in the list.
void LoadPointFile(const QString& fileName, VT_Points* points);

// For tests: a file read by LoadPointFile is split into at most `parts` parts (0: one a
// processor, at most four) of at least `leastBytes` bytes (0: the usual 4 MiB), read at once.
void SetPointFileParts(unsigned parts, qint64 leastBytes);

// LoadPointFile under the reader's guard: on any failure shows the message box
// "Ошибка чтения файла сцены!" (caption "Ошибка!", OK, no icon, no owner) and returns false.
bool ReadPointFile(const QString& fileName, VT_Points* points);

} // namespace vrma
