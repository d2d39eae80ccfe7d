#include "data/Procedures.h"

#include "data/Dialogs.h"
#include "data/Errors.h"
#include "data/Lines.h"
#include "data/Locale.h"
#include "data/Messages.h"
#include "data/RealScan.h"
#include "data/TextFile.h"
#include "data/VectorState.h"

#include <sched.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <new>
#include <stop_token>
#include <system_error>
#include <thread>
#include <vector>

namespace vrma {

namespace {

constexpr double kExactLimit = 1e14; // below it the fourth decimal is within 18 digits

__extension__ typedef unsigned __int128 Unsigned128;

// The value in units of the fourth decimal, rounded to the nearest with ties away from
// zero, for a finite magnitude below 10^14. The exact binary value decides: the magnitude
// is M * 2^-shift with an integer M < 2^53, so magnitude * 10^4 is M * 10^4 (below 2^67)
// over 2^shift, whose quotient and remainder are exact in 128 bits.
quint64 FourDecimalUnits(double magnitude) {
    if (magnitude < 1e-5)
        return 0; // below a tenth of a unit (and so every subnormal)
    const auto bits = std::bit_cast<quint64>(magnitude);
    const quint64 mantissa = (bits & ((quint64(1) << 52) - 1)) | (quint64(1) << 52);
    const int shift = 1075 - static_cast<int>(bits >> 52); // 6 ... 69 here
    const Unsigned128 scaled = Unsigned128(mantissa) * 10000u;
    const Unsigned128 half = Unsigned128(1) << (shift - 1);
    const auto units = static_cast<quint64>(scaled >> shift);
    return units + ((scaled & ((half << 1) - 1)) >= half ? 1 : 0);
}

// The text of a number of units of the fourth decimal: the integer part without leading
// zeros (at least one digit), the separator, four decimals.
QString UnitsText(quint64 units, bool negative, QChar separator) {
    char16_t digits[24];
    char16_t* const end = digits + std::size(digits);
    char16_t* p = end;
    for (int k = 0; k < 4; ++k) {
        *--p = static_cast<char16_t>(u'0' + units % 10);
        units /= 10;
    }
    *--p = separator.unicode();
    do {
        *--p = static_cast<char16_t>(u'0' + units % 10);
        units /= 10;
    } while (units != 0);
    if (negative)
        *--p = u'-';
    return QString(reinterpret_cast<const QChar*>(p), end - p);
}

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

// From 10^14 on the value's decimal expansion is short enough to be written out exactly
// (it is a multiple of 1/64), and it is rounded to 18 significant digits by hand, the
// decimals after them being zeros.
QString LargeFixed4(double value, QChar separator) {
    const double magnitude = std::fabs(value);
    char buffer[400];
    char* first = buffer + 1; // room for a carry digit
    char* last = std::to_chars(first, std::end(buffer), magnitude, std::chars_format::fixed, 6).ptr;
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

    QString text;
    text.reserve(last - first + 1);
    if (value < 0)
        text += QLatin1Char('-');
    for (const char* p = first; p != last; ++p)
        text += *p == '.' ? separator : QLatin1Char(*p);
    return text;
}

QString NonFiniteText(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

} // namespace

QString FormatFixed4(double value) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const double magnitude = std::fabs(value);
    if (magnitude < kExactLimit) {
        const quint64 units = FourDecimalUnits(magnitude);
        return UnitsText(units, value < 0 && units != 0, DecimalSeparator());
    }
    return LargeFixed4(value, DecimalSeparator());
}

FixedFourTexts::FixedFourTexts() : separator_(DecimalSeparator()), cache_(kCacheSize) {}

FixedFourTexts::~FixedFourTexts() = default;

QString FixedFourTexts::operator()(double value) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const double magnitude = std::fabs(value);
    if (magnitude >= kExactLimit)
        return LargeFixed4(value, separator_);
    const quint64 units = FourDecimalUnits(magnitude);
    const bool negative = value < 0 && units != 0;
    const quint64 key = units << 1 | (negative ? 1 : 0); // units < 2^60
    Entry& entry = cache_[static_cast<std::size_t>(key >> 1 ^ key << 11) & (kCacheSize - 1)];
    if (entry.key != key || entry.text.isNull()) {
        entry.key = key;
        entry.text = UnitsText(units, negative, separator_);
    }
    return entry.text;
}

namespace {

// The number syntax on the bytes of a coordinate file: the syntax uses ASCII only, and the
// decimal separator is the byte that stands for it in the code page (none when the code
// page has no such character: then no number with a fraction is valid).
//
// For speed the reader works on a translated copy of the bytes in which the separator
// reads as '.': the separator and '.' trade places (or, without a separator, '.' becomes
// ','). Every other character of the syntax stays as it is and every character outside it
// stays outside it, so the lines are valid or invalid exactly as before, and their numbers
// are in the form that std::from_chars reads. A separator that is itself a character of
// the syntax (a digit, a blank, a sign, E, ';', a line break) is left alone, and such files
// are read on the plain path.
struct ByteSyntax {
    char separator = '.';     // in the bytes as the reader sees them
    bool useSeparator = true; // false: no number with a fraction is valid
    bool translate = false;   // the bytes are translated (see above)
    char original = '.';      // the separator in the file
    bool direct = true;       // std::from_chars may read the numbers directly
};

bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

ByteSyntax SyntaxFor(QChar separator) {
    ByteSyntax syntax;
    const int byte = Cp1251ByteOf(separator);
    syntax.useSeparator = byte >= 0;
    syntax.original = static_cast<char>(byte >= 0 ? byte : 0);
    if (syntax.useSeparator && syntax.original == '.')
        return syntax;
    const char c = syntax.original;
    const bool partOfTheSyntax =
        syntax.useSeparator && (IsDigit(c) || c == ' ' || c == '+' || c == '-' || c == 'e' ||
                                c == 'E' || c == ';' || c == '\r' || c == '\n' || c == '\0');
    if (partOfTheSyntax) {
        syntax.separator = c;
        syntax.direct = false;
    } else {
        syntax.translate = true;
    }
    return syntax;
}

void Translate(char* p, std::size_t n, const ByteSyntax& syntax) {
    if (!syntax.translate)
        return;
    if (syntax.useSeparator) {
        const char flip = static_cast<char>(syntax.original ^ '.');
        for (std::size_t i = 0; i < n; ++i) {
            const char c = p[i];
            p[i] = static_cast<char>(c ^ (((c == '.') | (c == syntax.original)) ? flip : 0));
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = p[i] == '.' ? ',' : p[i];
    }
}

// The plain numbers of a coordinate file are read eight bytes at a time: a word of the text
// tells how many digits it starts with, and their value comes from a few multiplications.

constexpr quint64 kHighBits = 0x8080808080808080;

// How many of the eight bytes of a little-endian word, from the first on, are digits.
int LeadingDigits(quint64 word) {
    const quint64 ascii = word & ~kHighBits;               // no carries between the bytes below
    const quint64 fromZero = ascii + 0x5050505050505050;   // high bit: at least '0'
    const quint64 beyondNine = ascii + 0x4646464646464646; // high bit: beyond '9'
    const quint64 digits = fromZero & ~beyondNine & ~word & kHighBits;
    const quint64 others = ~digits & kHighBits;
    return others ? std::countr_zero(others) / 8 : 8;
}

// The value of the first n (1 ... 8) digits of the word.
quint64 LeadingDigitsValue(quint64 word, int n) {
    word -= 0x3030303030303030;
    word <<= 8 * (8 - n); // the digits after zeros, as an eight-digit number
    word = word * 10 + (word >> 8);
    return (((word & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
            (((word >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
           32;
}

constexpr quint64 kIntegerPowers[] = {1,      10,      100,      1000,     10000,
                                      100000, 1000000, 10000000, 100000000};
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The digits from p on, appended to w; count grows by their number. Past the 19th digit
// w is meaningless, and the caller then does not use it.
inline __attribute__((always_inline)) const char* ReadDigits(const char* p, const char* end,
                                                             quint64& w, std::ptrdiff_t& count) {
    while (end - p >= 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        const int n = LeadingDigits(word);
        if (n == 0)
            return p;
        w = w * kIntegerPowers[n] + LeadingDigitsValue(word, n);
        count += n;
        p += n;
        if (n < 8)
            return p;
    }
    for (; p != end && IsDigit(*p); ++p, ++count)
        w = w * 10 + quint64(*p - '0');
    return p;
}

constexpr quint64 kLongPowers[] = {1,
                                   10,
                                   100,
                                   1000,
                                   10000,
                                   100000,
                                   1000000,
                                   10000000,
                                   100000000,
                                   1000000000,
                                   10000000000,
                                   100000000000,
                                   1000000000000,
                                   10000000000000,
                                   100000000000000,
                                   1000000000000000,
                                   10000000000000000};

// The usual number of a coordinate file, when 24 bytes or more lie ahead: at most seven
// digits, then perhaps the separator and at most 15 more digits, read from at most three
// words without a loop. Returns what ReadPlainDecimal returns for it (the same value and
// position), or nullptr when the number has another form, which ReadPlainDecimal then
// reads.
inline const char* ReadShortDecimal(const char* p, bool useSeparator, double& value) {
    quint64 word;
    std::memcpy(&word, p, sizeof word);
    const int whole = LeadingDigits(word);
    if (whole == 8)
        return nullptr;
    const quint64 wholeValue = whole ? LeadingDigitsValue(word, whole) : 0;
    if (!useSeparator || p[whole] != '.') {
        const char* const after = p + whole;
        if (whole == 0 || *after == 'e' || *after == 'E')
            return nullptr;
        value = double(wholeValue);
        return after;
    }
    const char* const fraction = p + whole + 1;
    std::memcpy(&word, fraction, sizeof word);
    int decimals = LeadingDigits(word);
    quint64 fractionValue = decimals ? LeadingDigitsValue(word, decimals) : 0;
    if (decimals == 8) {
        std::memcpy(&word, fraction + 8, sizeof word);
        const int more = LeadingDigits(word);
        if (more == 8)
            return nullptr;
        if (more)
            fractionValue = fractionValue * kIntegerPowers[more] + LeadingDigitsValue(word, more);
        decimals += more;
    }
    const char* const after = fraction + decimals;
    if (whole + decimals == 0 || whole + decimals > 19 || *after == 'e' || *after == 'E')
        return nullptr;
    const quint64 w = wholeValue * kLongPowers[decimals] + fractionValue;
    if (w > (quint64(1) << 53))
        return nullptr;
    value = double(w) / kPowersOfTen[decimals];
    return after;
}

// A number without an exponent, with at most 19 digits in all and at most 22 decimals,
// whose digits as an integer w are at most 2^53: w and 10^decimals are then both exact
// doubles and their quotient, rounded once, is the text's value rounded correctly, the
// value that std::from_chars gives. Returns the position after the digits, or nullptr
// when the text is not of this form (and is read the general way).
const char* ReadPlainDecimal(const char* p, const char* end, bool useSeparator, double& value) {
    if (end - p >= 24) {
        if (const char* after = ReadShortDecimal(p, useSeparator, value))
            return after;
    }
    quint64 w = 0;
    std::ptrdiff_t digits = 0;
    p = ReadDigits(p, end, w, digits);
    std::ptrdiff_t decimals = 0;
    if (useSeparator && p != end && *p == '.')
        p = ReadDigits(p + 1, end, w, decimals);
    digits += decimals;
    if (digits == 0 || digits > 19 || w > (quint64(1) << 53) ||
        decimals >= std::ptrdiff_t(std::size(kPowersOfTen)))
        return nullptr;
    if (p != end && (*p == 'e' || *p == 'E'))
        return nullptr;
    value = double(w) / kPowersOfTen[decimals];
    return p;
}

// Reads one number from p, with the blanks around it, and returns the position after them
// (nullptr when there is no valid number there). The caller checks what follows.
//
// The common case takes one pass: ReadPlainDecimal, or else std::from_chars, matches the
// longest number of its own grammar, which agrees with ours once the sign is taken off and
// the first character is a digit or the separator; whatever it leaves unread must then be a
// blank or the end of the field, which the caller checks. Every other case (a lone separator, a
// value beyond the range) goes through the full scanner and ParseRealDouble's conversion, so the
// values are always the same as those of ParseRealDouble.
const char* ReadNumber(const char* p, const char* end, const ByteSyntax& syntax, double& value) {
    const char* const start = p;
    while (p != end && *p == ' ')
        ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (syntax.direct && p != end && (IsDigit(*p) || (syntax.useSeparator && *p == '.'))) {
        if (const char* after = ReadPlainDecimal(p, end, syntax.useSeparator, value)) {
            if (negative)
                value = -value;
            p = after;
            while (p != end && *p == ' ')
                ++p;
            return p;
        }
        const std::from_chars_result result = std::from_chars(p, end, value);
        if (result.ec == std::errc()) {
            if (negative)
                value = -value;
            p = result.ptr;
            while (p != end && *p == ' ')
                ++p;
            return p;
        }
    }
    RealText<char> text;
    p = ScanReal(start, end, syntax.separator, syntax.useSeparator, text);
    if (!p)
        return nullptr;
    const std::optional<double> converted = RealValueDouble(text);
    if (!converted)
        return nullptr;
    value = *converted;
    return p;
}

[[noreturn]] void InvalidLine() {
    throw FormatError("Invalid line in a coordinate file");
}

// Reads the lines of [p, end) into the list. Every line ends with a break inside the range,
// except perhaps the last line of the file.
void ReadPointLines(const char* p, const char* end, const ByteSyntax& syntax, VT_Points* points) {
    while (p != end) {
        double x;
        double y;
        // x: the text before the first ";"
        const char* q = ReadNumber(p, end, syntax, x);
        if (!q || q == end || *q != ';')
            InvalidLine();
        // y: all the text after it, to the end of the line
        q = ReadNumber(q + 1, end, syntax, y);
        if (!q || (q != end && *q != '\r' && *q != '\n'))
            InvalidLine();
        points->AddNew(x, y);
        p = SkipLineBreak(q, end);
    }
}

// The end of the last complete line of [begin, end) while more text may follow: after the
// last break, but not after a CR at the very end, whose LF may still come.
const char* EndOfCompleteLines(const char* begin, const char* end) {
    const char* p = end;
    if (p != begin && p[-1] == '\r')
        --p;
    while (p != begin && p[-1] != '\r' && p[-1] != '\n')
        --p;
    return p;
}

constexpr std::size_t kChunkSize = std::size_t{256} * 1024;

// A large file is read in parts at once, each on a thread of its own: as many parts as there
// are processors, at most four, and none smaller than 4 MiB.
constexpr unsigned kMostParts = 4;
constexpr qint64 kLeastPartBytes = qint64{4} * 1024 * 1024;
// How far from where a part would begin its first line feed is looked for.
constexpr qint64 kPartSearch = qint64{64} * 1024;

struct PartSettings {
    unsigned most = 0; // 0: one a processor, at most kMostParts
    qint64 least = kLeastPartBytes;
};

PartSettings& Parts() {
    static PartSettings settings;
    return settings;
}

// The processors this process may run on (fewer than the machine has under taskset or a
// container's CPU set).
unsigned Processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return unsigned(CPU_COUNT(&set));
    return std::thread::hardware_concurrency();
}

std::size_t PartCount(qint64 fileSize) {
    const PartSettings& settings = Parts();
    const unsigned most = settings.most ? settings.most : std::min(Processors(), kMostParts);
    const qint64 bySize = fileSize / std::max<qint64>(settings.least, 1);
    return std::size_t(std::clamp<qint64>(bySize, 1, std::max(1u, most)));
}

// Where the parts begin: the first one at the start of the file, every other one right
// after the first line feed from an even share of the file on, which always begins a line
// whatever the breaks of the file (CR LF, CR, LF). A share without a line feed near it is
// left to the part before it.
std::vector<qint64> PartStarts(const DataFileReader& file, qint64 fileSize, std::size_t parts) {
    std::vector<qint64> starts{0};
    char window[4096];
    for (std::size_t k = 1; k < parts; ++k) {
        const qint64 share = fileSize / qint64(parts) * qint64(k);
        for (qint64 at = std::max(share, starts.back()); at < share + kPartSearch;) {
            const qint64 n = file.ReadAt(window, qint64(sizeof window), at);
            if (n == 0)
                break;
            if (const void* lf = std::memchr(window, '\n', std::size_t(n))) {
                const qint64 start = at + (static_cast<const char*>(lf) - window) + 1;
                if (start < fileSize)
                    starts.push_back(start);
                break;
            }
            at += n;
        }
    }
    return starts;
}

// Reads the lines of the bytes [from, to) of the file into the list (to -1: to the end of
// the file), and tells whether a NUL ended the text among them. `room` is how many bytes of
// lines the list is to take in all, from which it reserves room once it knows the length of
// a line. A part stops early, with nothing to tell, when it is asked to stop.
bool ReadPointPart(const DataFileReader& file, qint64 from, qint64 to, qint64 room,
                   const ByteSyntax& syntax, std::vector<char>& buffer, VT_Points* points,
                   const std::stop_token& stop = {}) {
    std::size_t filled = 0; // bytes in the buffer not yet read as lines
    qint64 offset = from;   // of the next byte to read
    qint64 consumed = 0;    // bytes of the part read as lines
    bool reserved = false;
    for (;;) {
        if (stop.stop_requested())
            return false;
        if (filled == buffer.size())
            buffer.resize(buffer.size() * 2); // a line longer than the buffer
        qint64 wanted = qint64(buffer.size() - filled);
        if (to >= 0)
            wanted = std::min(wanted, to - offset);
        const qint64 n = wanted > 0 ? file.ReadAt(buffer.data() + filled, wanted, offset) : 0;
        offset += n;
        char* const fresh = buffer.data() + filled;
        const auto* nul = static_cast<const char*>(std::memchr(fresh, 0, std::size_t(n)));
        filled += nul ? std::size_t(nul - fresh) : std::size_t(n);
        Translate(fresh, std::size_t(n), syntax);
        const bool atEnd = n == 0 || nul != nullptr; // a NUL ends the text

        const char* const begin = buffer.data();
        const char* const end = begin + filled;
        const char* const cut = atEnd ? end : EndOfCompleteLines(begin, end);
        ReadPointLines(begin, cut, syntax, points);
        consumed += cut - begin;
        if (!reserved && consumed > 0 && room > consumed) {
            // Room for the whole, judged from the lines read so far.
            reserved = true;
            const double perByte = double(points->Count()) / double(consumed);
            try {
                points->Reserve(std::size_t(perByte * double(room - consumed) * 1.05) + 16);
            } catch (const std::bad_alloc&) {
                // Only room asked for ahead: the list still grows as the lines come.
            }
        }
        if (atEnd)
            return nul != nullptr;
        filled = std::size_t(end - cut);
        std::memmove(buffer.data(), cut, filled);
    }
}

} // namespace

void SetPointFileParts(unsigned parts, qint64 leastBytes) {
    Parts() = PartSettings{parts, leastBytes > 0 ? leastBytes : kLeastPartBytes};
}

// The file is read in chunks that stay in the processor's cache, and its bytes are read as
// they stand; the values are those that ParseRealDouble gives for the decoded field texts.
// The parts of a large file are read at once into lists of their own, whose points then
// join the list in the order of the file: the list ends as it would after reading the file
// from its start, up to the first failure or NUL.
void LoadPointFile(const QString& fileName, VT_Points* points) {
    ClearUpperVectorState();
    // The buffer is had before the old points are freed: a large request right after a
    // million small records were freed makes the heap merge them all first, after which
    // every new record is carved out of the merged space the slow way.
    std::vector<char> buffer;
    try {
        buffer.resize(kChunkSize);
    } catch (...) {
        points->Clear(); // emptied whatever happens
        throw;
    }
    points->Clear();
    DataFileReader file(fileName);
    // Not the apparent size: a sparse file would have its holes reserved for.
    const qint64 fileSize = file.SizeHint();
    const ByteSyntax syntax = SyntaxFor(DecimalSeparator());

    const std::vector<qint64> starts = points->Ownership() == 1
                                           ? PartStarts(file, fileSize, PartCount(fileSize))
                                           : std::vector<qint64>{0};
    const std::size_t parts = starts.size();
    if (parts == 1) {
        ReadPointPart(file, 0, -1, fileSize, syntax, buffer, points);
        return;
    }

    // Part k ends where part k + 1 begins; the last one reads to the end of the file.
    const auto partEnd = [&](std::size_t k) { return k + 1 < parts ? starts[k + 1] : qint64(-1); };
    const auto partBytes = [&](std::size_t k) {
        return (k + 1 < parts ? starts[k + 1] : fileSize) - starts[k];
    };
    // Part k > 0 goes into lists[k - 1]; failures[k] and ended[k] tell how it ended.
    std::vector<std::unique_ptr<VT_Points>> lists;
    // The room of the previous read is shared out by the parts' sizes.
    const std::size_t spare = points->RecordRoom();
    for (std::size_t k = 1; k < parts; ++k) {
        lists.push_back(std::make_unique<VT_Points>(1));
        points->GiveEmptyChunks(
            *lists.back(), std::size_t(double(spare) * double(partBytes(k)) / double(fileSize)));
    }
    std::vector<std::exception_ptr> failures(parts);
    std::vector<char> ended(parts, 0);
    const auto readPart = [&](const std::stop_token& stop, std::size_t k) {
        try {
            ClearUpperVectorState();
            std::vector<char> own(kChunkSize);
            ended[k] = ReadPointPart(file, starts[k], partEnd(k), partBytes(k), syntax, own,
                                     lists[k - 1].get(), stop);
        } catch (...) {
            failures[k] = std::current_exception();
        }
    };
    std::vector<std::size_t> notStarted; // read here after the first part
    // Declared after what the threads use: on the way out they are asked to stop and joined
    // before any of it goes.
    std::vector<std::jthread> threads;
    threads.reserve(parts - 1);
    for (std::size_t k = 1; k < parts; ++k) {
        try {
            threads.emplace_back(readPart, k);
        } catch (const std::system_error&) {
            notStarted.push_back(k);
        }
    }
    // The first part reserves room in the list for the whole file, for the others to join.
    if (ReadPointPart(file, 0, partEnd(0), fileSize, syntax, buffer, points))
        return;
    for (const std::size_t k : notStarted)
        readPart(std::stop_token(), k);
    for (std::jthread& thread : threads)
        thread.join();
    for (std::size_t k = 1; k < parts; ++k) {
        points->TakeItemsOf(*lists[k - 1]);
        if (failures[k])
            std::rethrow_exception(failures[k]);
        if (ended[k])
            break;
    }
    points->FreeEmptyChunks(); // what was shared out and not needed
}

bool ReadPointFile(const QString& fileName, VT_Points* points) {
    try {
        LoadPointFile(fileName, points);
        return true;
    } catch (const std::exception&) {
        MessageBoxA(nullptr, messages::ReadFailed(), messages::ErrorCaption(), MB_OK);
        return false;
    }
}

} // namespace vrma
