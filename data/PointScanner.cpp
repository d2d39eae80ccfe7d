// The byte-level scanner of coordinate files.
#include "data/PointScanner.h"

#include "data/Errors.h"
#include "data/Lines.h"
#include "data/RealScan.h"
#include "data/TextFile.h"

#include <array>
#include <bit>
#include <charconv>
// The 64-bit processors of the x86 family all have SSE2.
#if defined(__SSE2__) && defined(__x86_64__)
#define VRMA_SCAN_SSE2 1
#include <emmintrin.h>
#endif
#include <cstring>
#include <iterator>
#include <optional>
#include <system_error>

namespace vrma {

namespace {

bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
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

// The 32 bytes from p as the scanner looks at them: the first 16 less '0' (a digit's value
// in its lane) and a bit for each of the 32 that is a digit.
struct Window {
#ifdef VRMA_SCAN_SSE2
    __m128i values;
#endif
    quint32 digits;
};

inline Window LoadWindow(const char* p) {
#ifdef VRMA_SCAN_SSE2
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i low = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero);
    const __m128i high =
        _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero);
    const __m128i lowDigits = _mm_cmpeq_epi8(_mm_min_epu8(low, nine), low);
    const __m128i highDigits = _mm_cmpeq_epi8(_mm_min_epu8(high, nine), high);
    return {low, quint32(_mm_movemask_epi8(lowDigits)) | quint32(_mm_movemask_epi8(highDigits))
                                                             << 16};
#else
    quint32 bits = 0;
    for (int k = 0; k < 32; ++k)
        bits |= quint32(IsDigit(p[k])) << k;
    return {bits};
#endif
}

#ifdef VRMA_SCAN_SSE2
// Sixteen bytes from kLanes + 16 - k: all ones in the lanes below k, zeros above.
alignas(16) constexpr unsigned char kLanes[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

__m128i LanesBelow(int k) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLanes + 16 - k));
}

// The sixteen digit values of the lanes as one number, the first lane the highest digit.
quint64 SixteenDigitsValue(__m128i lanes) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i tens = _mm_set_epi16(1, 10, 1, 10, 1, 10, 1, 10);
    const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi8(lanes, zero), tens);
    const __m128i high = _mm_madd_epi16(_mm_unpackhi_epi8(lanes, zero), tens);
    const __m128i fours =
        _mm_madd_epi16(_mm_packs_epi32(low, high), _mm_set_epi16(1, 100, 1, 100, 1, 100, 1, 100));
    const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours),
                                          _mm_set_epi16(1, 10000, 1, 10000, 1, 10000, 1, 10000));
    const auto both = quint64(_mm_cvtsi128_si64(eights));
    return (both & 0xFFFFFFFF) * 100000000 + (both >> 32);
}

// The inverse of an odd number modulo 2^64: x * a = 1.
constexpr quint64 InverseOf(quint64 a) {
    quint64 x = a; // right in the lowest three bits; every step doubles them
    for (int step = 0; step < 6; ++step)
        x *= 2 - a * x;
    return x;
}

// Multiplying by the k-th divides a multiple of 5^k by 5^k exactly.
constexpr auto kInverseFivePowers = [] {
    std::array<quint64, 17> inverses{};
    quint64 power = 1;
    for (quint64& inverse : inverses) {
        inverse = InverseOf(power);
        power *= 5;
    }
    return inverses;
}();
#endif

// The usual number of a coordinate file, when 32 bytes or more lie ahead: at most seven
// digits, then perhaps the separator and at most 15 more digits, their places found at
// once for all 32 bytes. When they take at most 16 bytes, the whole digits move up by one
// lane onto the separator's and the value of the digits side by side comes from a few
// multiplications of all lanes at once; otherwise from at most three words. Returns what
// ReadPlainDecimal returns for it (the same value and position), or nullptr when the
// number has another form, which ReadPlainDecimal then reads.
inline __attribute__((always_inline)) const char* ReadShortDecimal(const char* p, bool useSeparator,
                                                                   double& value) {
    const Window window = LoadWindow(p);
    const int whole = std::countr_one(window.digits);
    if (whole > 7)
        return nullptr;
    quint64 word;
    std::memcpy(&word, p, sizeof word);
    if (!useSeparator || p[whole] != '.') {
        const char* const after = p + whole;
        if (whole == 0 || *after == 'e' || *after == 'E')
            return nullptr;
        value = double(LeadingDigitsValue(word, whole));
        return after;
    }
    const char* const fraction = p + whole + 1;
    const int decimals = std::countr_one(window.digits >> (whole + 1));
    if (whole + decimals == 0 || decimals > 15)
        return nullptr;
    const char* const after = fraction + decimals;
    if (whole + decimals > 19 || *after == 'e' || *after == 'E')
        return nullptr;
    quint64 w;
#ifdef VRMA_SCAN_SSE2
    if (const int bytes = whole + 1 + decimals; bytes <= 16) {
        // Lanes 1 ... bytes - 1 hold the digits side by side, lane 0 and those above zero.
        const __m128i moved = LanesBelow(whole + 1);
        const __m128i lanes =
            _mm_or_si128(_mm_and_si128(_mm_slli_si128(window.values, 1), moved),
                         _mm_andnot_si128(moved, _mm_and_si128(window.values, LanesBelow(bytes))));
        const int zeros = 16 - bytes; // the number times 10^zeros
        w = (SixteenDigitsValue(lanes) >> zeros) * kInverseFivePowers[size_t(zeros)];
    } else
#endif
    {
        quint64 fractionValue = 0;
        quint64 first;
        std::memcpy(&first, fraction, sizeof first);
        if (decimals > 8) {
            quint64 more;
            std::memcpy(&more, fraction + 8, sizeof more);
            fractionValue = LeadingDigitsValue(first, 8) * kIntegerPowers[decimals - 8] +
                            LeadingDigitsValue(more, decimals - 8);
        } else if (decimals > 0) {
            fractionValue = LeadingDigitsValue(first, decimals);
        }
        const quint64 wholeValue = whole ? LeadingDigitsValue(word, whole) : 0;
        w = wholeValue * kLongPowers[decimals] + fractionValue;
    }
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

// A number that ReadShortDecimal did not read, the first character a digit or the
// separator: ReadPlainDecimal, or else std::from_chars. Returns the position after it, or
// nullptr when neither reads it.
[[gnu::noinline]] const char* ReadOtherDecimal(const char* p, const char* end, bool useSeparator,
                                               double& value) {
    if (const char* after = ReadPlainDecimal(p, end, useSeparator, value))
        return after;
    const std::from_chars_result result = std::from_chars(p, end, value);
    return result.ec == std::errc() ? result.ptr : nullptr;
}

// A number read and the position after it and the blanks that follow (nullptr when there
// was no valid number). Returned in registers: the two numbers of a line go straight into
// their record.
struct ReadResult {
    const char* after;
    double value;
};

// Reads one number from p, with the blanks around it, the general way: every form of the
// syntax, with ParseRealDouble's conversion. The caller checks what follows.
[[gnu::noinline]] ReadResult ReadAnyNumber(const char* p, const char* end,
                                           const ByteSyntax& syntax) {
    RealText<char> text;
    p = ScanReal(p, end, syntax.separator, syntax.useSeparator, text);
    if (!p)
        return {nullptr, 0};
    const std::optional<double> converted = RealValueDouble(text);
    if (!converted)
        return {nullptr, 0};
    return {p, *converted};
}

// Reads one number from p, with the blanks around it. The caller checks what follows.
//
// The common case takes one pass: ReadShortDecimal or ReadPlainDecimal, or else
// std::from_chars, matches the longest number of its own grammar, which agrees with ours
// once the sign is taken off and the first character is a digit or the separator; whatever
// it leaves unread must then be a blank or the end of the field, which the caller checks.
// Every other case (a lone separator, a value beyond the range) goes through the full
// scanner and ParseRealDouble's conversion, so the values are always the same as those of
// ParseRealDouble. The common case is inlined into the loop over the lines.
inline __attribute__((always_inline)) ReadResult ReadNumber(const char* p, const char* end,
                                                            const ByteSyntax& syntax) {
    const char* const start = p;
    while (p != end && *p == ' ')
        ++p;
    quint64 negative = 0;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    double value = 0;
    // ReadShortDecimal reads nothing that does not begin with a digit or the separator.
    const char* after =
        syntax.direct && end - p >= 32 ? ReadShortDecimal(p, syntax.useSeparator, value) : nullptr;
    if (!after && syntax.direct && p != end && (IsDigit(*p) || (syntax.useSeparator && *p == '.')))
        after = ReadOtherDecimal(p, end, syntax.useSeparator, value);
    if (!after) [[unlikely]]
        return ReadAnyNumber(start, end, syntax);
    while (after != end && *after == ' ')
        ++after;
    return {after, std::bit_cast<double>(std::bit_cast<quint64>(value) ^ negative << 63)};
}

[[noreturn]] void InvalidLine() {
    throw FormatError("Invalid line in a coordinate file");
}

// The lines are made into records many at a time, straight into the sink's memory.
template <class Sink>
void ReadLines(const char* p, const char* end, const ByteSyntax& syntaxOfFile, Sink* sink) {
    const ByteSyntax syntax = syntaxOfFile; // in registers, whatever the records' stores
    sink->AddNewWhile([&](VT_Point * place) __attribute__((always_inline)) {
        if (p == end)
            return false;
        // x: the text before the first ";"
        const ReadResult x = ReadNumber(p, end, syntax);
        if (!x.after || x.after == end || *x.after != ';')
            InvalidLine();
        // y: all the text after it, to the end of the line
        const ReadResult y = ReadNumber(x.after + 1, end, syntax);
        if (!y.after || (y.after != end && *y.after != '\r' && *y.after != '\n'))
            InvalidLine();
        ::new (static_cast<void*>(place)) VT_Point(x.value, y.value);
        p = SkipLineBreak(y.after, end);
        return true;
    });
}

} // namespace

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

void ReadPointLines(const char* p, const char* end, const ByteSyntax& syntax, VT_Points* points) {
    ReadLines(p, end, syntax, points);
}

void ReadPointLines(const char* p, const char* end, const ByteSyntax& syntax,
                    RecordChunks<VT_Point>* records) {
    ReadLines(p, end, syntax, records);
}

const char* EndOfCompleteLines(const char* begin, const char* end) {
    const char* p = end;
    if (p != begin && p[-1] == '\r')
        --p;
    while (p != begin && p[-1] != '\r' && p[-1] != '\n')
        --p;
    return p;
}

} // namespace vrma
