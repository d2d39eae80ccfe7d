#include "data/Procedures.h"

#include "data/RealScan.h"
#include "data/TextFile.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

namespace vrma {

namespace {

// Adds one unit in the last place of the decimal text [first, last), which may hold a
// '.'; on a carry out of the first digit a '1' is written before it and first moves back
// (the caller leaves room for it).
void RoundUpDecimal(char*& first, char* last) {
    for (char* p = last; p != first;) {
        --p;
        if (*p == '.')
            continue;
        if (*p != '9') {
            ++*p;
            return;
        }
        *p = '0';
    }
    *--first = '1';
}

} // namespace

// The exact binary value decides the rounding. Below 10^14 the fourth decimal is within
// the first 18 significant digits, and std::to_chars rounds correctly at it; its rule for
// an exact tie (to even) is replaced by away from zero. A value that lies exactly halfway
// at the fourth decimal is an odd multiple of 1/32, the only binary fractions ending in
// ...5 at the fifth decimal. From 10^14 on the value's decimal expansion is short enough to
// be written out exactly (it is a multiple of 1/64), and it is rounded to 18 significant
// digits by hand, the decimals after them being zeros.
QString FormatFixed4(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    const double magnitude = std::fabs(value);
    char buffer[400];
    char* first = buffer + 1; // room for a carry digit
    char* last;
    if (magnitude < 1e14) {
        const double thirtySeconds = magnitude * 32; // exact
        if (thirtySeconds == std::floor(thirtySeconds) && std::fmod(thirtySeconds, 2.0) == 1.0) {
            last =
                std::to_chars(first, std::end(buffer), magnitude, std::chars_format::fixed, 5).ptr -
                1; // the five
            RoundUpDecimal(first, last);
        } else {
            last =
                std::to_chars(first, std::end(buffer), magnitude, std::chars_format::fixed, 4).ptr;
        }
    } else {
        last = std::to_chars(first, std::end(buffer), magnitude, std::chars_format::fixed, 6).ptr;
        const char* point = static_cast<const char*>(std::memchr(first, '.', size_t(last - first)));
        const std::ptrdiff_t integerDigits = point - first;
        // Position of the 19th significant digit (the first is never zero here).
        char* nineteenth = first + (integerDigits >= 19 ? 18 : 19);
        const bool up = *nineteenth >= '5';
        for (char* p = nineteenth; p != last; ++p)
            if (*p != '.')
                *p = '0';
        if (up)
            RoundUpDecimal(first, nineteenth);
        last -= 2; // six decimals to four
    }
    bool zero = true;
    for (const char* p = first; p != last && zero; ++p)
        zero = *p == '0' || *p == '.';

    const QChar separator = DecimalSeparator();
    QString text;
    text.reserve(last - first + 1);
    if (value < 0 && !zero)
        text += QLatin1Char('-');
    for (const char* p = first; p != last; ++p)
        text += *p == '.' ? separator : QLatin1Char(*p);
    return text;
}

// Works on the file's bytes: the syntax uses ASCII only, and the decimal separator is the
// byte that stands for it in the code page. The values are those that ParseRealDouble
// gives for the decoded field texts.
void LoadPointFile(const QString& fileName, VT_Points* points) {
    points->Clear();
    const QByteArray bytes = ReadFileBytes(fileName);
    const char* p = bytes.constData();
    const char* nul = static_cast<const char*>(std::memchr(p, 0, size_t(bytes.size())));
    const char* const end = nul ? nul : p + bytes.size();

    const int separatorByte = Cp1251ByteOf(DecimalSeparator());
    const char separator = static_cast<char>(separatorByte);
    const bool useSeparator = separatorByte >= 0;

    // A first guess at the line count, from the shortest usual line ("0;0" and a break).
    points->Reserve(static_cast<size_t>((end - p) / 16));

    const auto fail = [] { throw FormatError("Invalid line in a coordinate file"); };
    RealText<char> xText;
    RealText<char> yText;
    while (p != end) {
        // x: the text before the first ";"
        const char* q = ScanReal(p, end, separator, useSeparator, xText);
        if (!q || q == end || *q != ';')
            fail();
        // y: all the text after it, to the end of the line
        q = ScanReal(q + 1, end, separator, useSeparator, yText);
        if (!q || (q != end && *q != '\r' && *q != '\n'))
            fail();
        const std::optional<double> x = RealValueDouble(xText);
        const std::optional<double> y = RealValueDouble(yText);
        if (!x || !y)
            fail();
        auto point = std::make_unique<VT_Point>(*x, *y);
        points->Add(point.get());
        point.release();
        if (q != end)
            q += (*q == '\r' && q + 1 != end && q[1] == '\n') ? 2 : 1;
        p = q;
    }
}

bool ReadPointFile(const QString& fileName, VT_Points* points) {
    try {
        LoadPointFile(fileName, points);
        return true;
    } catch (const std::exception&) {
        MessageBoxA(nullptr, QStringLiteral("Ошибка чтения файла сцены!"),
                    QStringLiteral("Ошибка!"), MB_OK);
        return false;
    }
}

} // namespace vrma
