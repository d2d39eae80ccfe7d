#pragma once
// The properties that the fuzz targets check on every input. The same functions replay
// the seed corpus and the inputs that once failed in the ordinary test run
// (tests/reliability/FuzzReplayTest.cpp).
//
// Inputs whose first byte chooses the decimal separator take it from
// '.', ',', U+00B7 (a character of the code page outside the number syntax) and U+066B
// (a character outside the code page).
#include "FuzzSupport.h"
#include "data/Data_structures.h"
#include "data/Errors.h"
#include "data/GeometryFiles.h"
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

namespace vrma::fuzz {

inline QChar SeparatorFromByte(std::uint8_t byte) {
    static const QChar separators[] = {QLatin1Char('.'), QLatin1Char(','), QChar(0x00B7),
                                       QChar(0x066B)};
    return separators[byte & 3];
}

// False when the decimal separator is one that Windows-1251 cannot hold and a line holds it.
inline bool WritableSeparatorIn(const QStringList& lines) {
    if (Cp1251ByteOf(DecimalSeparator()) >= 0)
        return true;
    for (const QString& line : lines)
        if (line.contains(DecimalSeparator()))
            return false;
    return true;
}

// Sets the decimal separator for one input and puts the previous one back.
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

// The real syntax written once more, independently, as a regular expression.
inline bool MatchesRealSyntax(const QString& text, QChar separator) {
    static QChar madeFor;
    static QRegularExpression syntax;
    if (madeFor != separator || !syntax.isValid() || syntax.pattern().isEmpty()) {
        const QString sep = QRegularExpression::escape(QString(separator));
        syntax.setPattern(QStringLiteral("^ *[+-]?([0-9]+(%1[0-9]*)?|%1[0-9]*)"
                                         "([eE][+-]?[0-9]+)? *$")
                              .arg(sep));
        madeFor = separator;
    }
    return syntax.match(text).hasMatch();
}

// Equal, or neighbours in the doubles (a double rounding of the long double result).
inline bool SameOrNeighbour(double a, double b) {
    return a == b || std::nextafter(a, std::numeric_limits<double>::infinity()) == b ||
           std::nextafter(a, -std::numeric_limits<double>::infinity()) == b;
}

inline bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---- The line reader ----
// Any bytes split into lines without a break or NUL inside; the lines hold every byte
// before the first NUL except the breaks, in order; written lines read back the same.
inline void CheckLines(const std::uint8_t* data, std::size_t size) {
    EnsureApp();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = DecodeTextLines(bytes);
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArray text = nul < 0 ? bytes : bytes.left(nul);
    QByteArray withoutBreaks;
    for (const char c : text)
        if (c != '\r' && c != '\n')
            withoutBreaks += c;
    QByteArray joined;
    for (const QString& line : lines) {
        VRMA_FUZZ_CHECK(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')),
                        line);
        VRMA_FUZZ_CHECK(!line.contains(QChar(0)), line);
        joined += EncodeCp1251(line);
    }
    VRMA_FUZZ_CHECK(joined == withoutBreaks, QString::number(lines.size()));
    // Breaks: CR LF counts once; text after the last break makes one more line.
    qsizetype breaks = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++breaks;
    const bool tail = !text.isEmpty() && text.back() != '\r' && text.back() != '\n';
    VRMA_FUZZ_CHECK(lines.size() == breaks + (tail ? 1 : 0), QString::number(lines.size()));

    const QByteArray written = EncodeTextLines(lines);
    VRMA_FUZZ_CHECK(DecodeTextLines(written) == lines, QString::number(lines.size()));
    if (!text.contains('\r') && !text.contains('\n') && !text.isEmpty())
        VRMA_FUZZ_CHECK(written == text + "\r\n", QString());
}

// ---- The number syntax ----
// Any text is accepted exactly when it follows the syntax (unless its value is out of
// range), and whatever is accepted formats and reads back to the same value at 15 digits.
inline void CheckNumbers(const std::uint8_t* data, std::size_t size) {
    EnsureApp();
    if (size == 0)
        return;
    ScopedSeparator separator(SeparatorFromByte(data[0]));
    const QString text =
        DecodeCp1251(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    const std::optional<long double> wide = ParseReal(text);
    const std::optional<double> narrow = ParseRealDouble(text);
    const bool syntax = MatchesRealSyntax(text, DecimalSeparator());
    if (wide || narrow)
        VRMA_FUZZ_CHECK(syntax, text);
    if (narrow)
        VRMA_FUZZ_CHECK(wide.has_value(), text);
    if (wide) {
        const QString once = FormatGeneral15(*wide);
        const std::optional<long double> back = ParseReal(once);
        VRMA_FUZZ_CHECK(back.has_value(), once);
        VRMA_FUZZ_CHECK(FormatGeneral15(*back) == once, once);
        if (!narrow) // out of the range of a double only
            VRMA_FUZZ_CHECK(std::fabs(*wide) >= std::numeric_limits<double>::max(), text);
    }
    if (narrow) {
        VRMA_FUZZ_CHECK(std::isfinite(*narrow), text);
        VRMA_FUZZ_CHECK(SameOrNeighbour(static_cast<double>(*wide), *narrow), text);
        VRMA_FUZZ_CHECK(std::signbit(*narrow) == std::signbit(*wide), text);
    }
    if (const std::optional<qint32> integer = ParseInteger(text)) {
        const QString plain = FormatInteger(*integer);
        VRMA_FUZZ_CHECK(ParseInteger(plain) == integer, plain);
        VRMA_FUZZ_CHECK(!text.endsWith(QLatin1Char(' ')), text);
    }
}

// ---- The two formats on any double ----
// No failure on any double; the four-decimal text has its shape and reads back within
// its rounding (exactly from 2^40 on, where the doubles are coarser than the rounding);
// the general text reads back to itself and lies within half a unit of its 15th digit.
inline void CheckFormats(const std::uint8_t* data, std::size_t size) {
    EnsureApp();
    if (size < sizeof(double) + 1)
        return;
    ScopedSeparator separator(SeparatorFromByte(data[0]));
    double value;
    std::memcpy(&value, data + 1, sizeof value);

    const QString fixed = FormatFixed4(value);
    const QString general = FormatGeneral15(value);
    if (!std::isfinite(value)) {
        const QString expected = std::isnan(value) ? QStringLiteral("NAN")
                                 : value < 0       ? QStringLiteral("-INF")
                                                   : QStringLiteral("INF");
        VRMA_FUZZ_CHECK(fixed == expected && general == expected, fixed + general);
        return;
    }
    // -?(0|[1-9][0-9]*)<separator>[0-9]{4}, and no "-" on zero
    const QChar sep = DecimalSeparator();
    const qsizetype at = fixed.indexOf(sep);
    VRMA_FUZZ_CHECK(at >= 1 && fixed.size() - at - 1 == 4, fixed);
    const qsizetype digitsFrom = fixed.startsWith(QLatin1Char('-')) ? 1 : 0;
    VRMA_FUZZ_CHECK(at > digitsFrom, fixed);
    for (qsizetype i = digitsFrom; i < fixed.size(); ++i)
        VRMA_FUZZ_CHECK(i == at || (fixed[i] >= QLatin1Char('0') && fixed[i] <= QLatin1Char('9')),
                        fixed);
    VRMA_FUZZ_CHECK(fixed[digitsFrom] != QLatin1Char('0') || at == digitsFrom + 1, fixed);

    const std::optional<double> fixedBack = ParseRealDouble(fixed);
    VRMA_FUZZ_CHECK(fixedBack.has_value(), fixed);
    if (digitsFrom == 1)
        VRMA_FUZZ_CHECK(*fixedBack != 0 && std::signbit(value), fixed);
    const double magnitude = std::fabs(value);
    if (magnitude >= 0x1p40) {
        VRMA_FUZZ_CHECK(*fixedBack == value, fixed);
    } else {
        const double bound = (0.00005 + magnitude * 0x1p-52) * (1 + 1e-9);
        VRMA_FUZZ_CHECK(std::fabs(*fixedBack - value) <= bound, fixed);
    }

    const std::optional<long double> generalBack = ParseReal(general);
    VRMA_FUZZ_CHECK(generalBack.has_value(), general);
    VRMA_FUZZ_CHECK(FormatGeneral15(*generalBack) == general, general);
    const long double error = std::fabs(*generalBack - static_cast<long double>(value));
    VRMA_FUZZ_CHECK(error <= std::fabs(static_cast<long double>(value)) * 5.0001e-15L, general);
}

// ---- The coordinate-file reader ----
namespace detail {
class SilentHost : public DialogHost {
public:
    int messages = 0;
    QString lastText;
    int messageBox(QWidget*, const QString& text, const QString&, unsigned) override {
        ++messages;
        lastText = text;
        return IDOK;
    }
    void showMessage(const QString&) override { Fail("no plain message expected"); }
    bool execute(FileDialog&) override { Fail("no file dialog expected"); }
    int execModal(QWidget&) override { Fail("no modal window expected"); }
    void help(QWidget*, const QString&, unsigned, quintptr) override { Fail("no help expected"); }
};

class ScopedHost {
public:
    explicit ScopedHost(DialogHost& host) : previous_(SetDialogHost(&host)) {}
    ~ScopedHost() { SetDialogHost(previous_); }
    ScopedHost(const ScopedHost&) = delete;
    ScopedHost& operator=(const ScopedHost&) = delete;

private:
    DialogHost* previous_;
};
} // namespace detail

// The first byte chooses the separator and the number of parts the file is read in, the
// rest is the file. The reader returns true with one point per line, each the value that
// ParseRealDouble gives for the line's two fields (split at the first ";"), bit for bit; or
// false with one message and the points of the lines before the first invalid one.
inline void CheckPointFile(const std::uint8_t* data, std::size_t size) {
    EnsureApp();
    if (size == 0)
        return;
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.crd"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        file.write(reinterpret_cast<const char*>(data + 1), static_cast<qint64>(size - 1));
    }
    ScopedSeparator separator(SeparatorFromByte(data[0]));
    const QStringList lines = DecodeTextLines(
        QByteArray(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1)));

    detail::SilentHost host;
    detail::ScopedHost installed(host);
    VT_Points points(1);
    points.Add(new VT_Point(7, 7)); // emptied first
    // Bits 2 and 3 of the first byte: in how many parts the file is read at once.
    SetPointFileParts(1 + ((data[0] >> 2) & 3), 16);
    const bool ok = ReadPointFile(path, &points);
    SetPointFileParts(0, 0);
    VRMA_FUZZ_CHECK(host.messages == (ok ? 0 : 1), QString::number(host.messages));
    if (!ok)
        VRMA_FUZZ_CHECK(host.lastText == QStringLiteral("Ошибка чтения файла сцены!"),
                        host.lastText);
    const qsizetype count = points.Count();
    VRMA_FUZZ_CHECK(ok ? count == lines.size() : count < lines.size(), QString::number(count));
    // Lines up to the count (and the failing one after them).
    for (qsizetype i = 0; i < lines.size() && i <= count; ++i) {
        const QString& line = lines.at(i);
        const qsizetype semicolon = line.indexOf(QLatin1Char(';'));
        std::optional<double> x;
        std::optional<double> y;
        if (semicolon >= 0) {
            x = ParseRealDouble(QStringView(line).left(semicolon));
            y = ParseRealDouble(QStringView(line).mid(semicolon + 1));
        }
        if (i == count) {
            VRMA_FUZZ_CHECK(!(x && y), line);
            break;
        }
        VRMA_FUZZ_CHECK(x && y, line);
        const VT_Point* point = points.Get(static_cast<int>(i));
        VRMA_FUZZ_CHECK(SameBits(point->X, *x) && SameBits(point->Y, *y), line);
    }
}

// ---- The camera and orientation readers ----
// The first byte chooses the format (bit 0) and the separator (bits 1, 2). Any content
// reads or fails as a whole; what is read and written reads back as a fixed point.
inline void CheckGeometry(const std::uint8_t* data, std::size_t size) {
    EnsureApp();
    if (size == 0)
        return;
    const GeometryFormat format =
        (data[0] & 1) ? GeometryFormat::Camera : GeometryFormat::Orientation;
    ScopedSeparator separator(SeparatorFromByte(static_cast<std::uint8_t>(data[0] >> 1)));
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    const QStringList lines = DecodeTextLines(bytes);
    const int count = GeometryLineCount(format);
    QStringList values;
    try {
        values = GeometryValuesFromLines(lines, count);
    } catch (const FormatError&) {
        VRMA_FUZZ_CHECK(lines.size() < count, QString::number(lines.size()));
        return;
    }
    VRMA_FUZZ_CHECK(values.size() == count, QString());
    for (int k = 0; k < count; ++k)
        VRMA_FUZZ_CHECK(!values.at(k).contains(QLatin1Char(';')) &&
                            lines.at(k).startsWith(values.at(k)),
                        values.at(k));
    QStringList out;
    const int bad = BuildGeometryFile(format, values, &out);
    if (bad >= 0) {
        VRMA_FUZZ_CHECK(bad < count, QString::number(bad));
        VRMA_FUZZ_CHECK(!NormaliseGeometryValue(values.at(bad)).has_value(), values.at(bad));
        return;
    }
    VRMA_FUZZ_CHECK(out.size() == count, QString());
    // A separator that the code page cannot hold cannot be written: a file holding it is
    // refused as a whole (everything else in it came from a decoded file, or is the
    // Cyrillic comments).
    if (!WritableSeparatorIn(out)) {
        bool refused = false;
        try {
            EncodeTextLines(out);
        } catch (const EncodingError&) {
            refused = true;
        }
        VRMA_FUZZ_CHECK(refused, out.join(QLatin1Char('|')));
        return;
    }
    // One read-and-write cycle of the written file gives it back unchanged.
    const QStringList reread = DecodeTextLines(EncodeTextLines(out));
    QStringList again;
    const int failed = BuildGeometryFile(format, GeometryValuesFromLines(reread, count), &again);
    VRMA_FUZZ_CHECK(failed == -1, QString::number(failed));
    VRMA_FUZZ_CHECK(again == out, out.join(QLatin1Char('|')));
}

} // namespace vrma::fuzz
