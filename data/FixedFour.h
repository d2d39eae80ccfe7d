#pragma once
// The four-decimal format: the calibration's results and the numbers the export writes.
#include <QChar>
#include <QString>
#include <QtGlobal>
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

} // namespace vrma
