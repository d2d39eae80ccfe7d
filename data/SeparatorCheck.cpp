#include "data/SeparatorCheck.h"

#include "data/Data_structures.h"
#include "data/Errors.h"
#include "data/Locale.h"
#include "data/Procedures.h"

#include <exception>

namespace vrma {

namespace {

// The separator in use for the lifetime of the object, then the previous one again.
class ScopedSeparator {
public:
    explicit ScopedSeparator(QChar separator) : previous_(DecimalSeparator()) {
        SetDecimalSeparator(separator);
    }
    ~ScopedSeparator() { SetDecimalSeparator(previous_); }
    ScopedSeparator(const ScopedSeparator&) = delete;
    ScopedSeparator& operator=(const ScopedSeparator&) = delete;

private:
    QChar previous_;
};

// How many lines of the file read before the reader stops at a line; -1 when it reads to the
// end. Any other failure (a file that cannot be opened or read, memory) is thrown.
qsizetype LinesBeforeFailure(const QString& fileName) {
    VT_Points points(1);
    try {
        LoadPointFile(fileName, &points);
        return -1;
    } catch (const FormatError&) {
        return points.Count();
    }
}

} // namespace

SeparatorCheck CheckDecimalSeparator(const QString& fileName) {
    SeparatorCheck check;
    qsizetype good = 0;
    try {
        good = LinesBeforeFailure(fileName);
    } catch (const std::exception&) {
        check.reads = false;
        return check;
    }
    if (good < 0)
        return check;
    check.reads = false;
    check.failedLine = good + 1;
    const QChar inUse = DecimalSeparator();
    for (const QChar other : {QLatin1Char(','), QLatin1Char('.')}) {
        if (other == inUse)
            continue;
        const ScopedSeparator separator(other);
        try {
            const qsizetype read = LinesBeforeFailure(fileName);
            if (read < 0 || read > good) {
                check.otherSeparator = other;
                break;
            }
        } catch (const std::exception&) {
            break; // gone since the first reading, say: nothing to tell
        }
    }
    return check;
}

} // namespace vrma
