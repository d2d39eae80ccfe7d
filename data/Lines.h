#pragma once
// The one line splitter of the text files: CR, LF and CR LF each end a line, a NUL ends
// the text, and a break after the last line makes no extra line.
#include <QtGlobal>
#include <cstring>

namespace vrma {

// The start of the next line after a line that ends at q (q at its break, or at end).
inline const char* SkipLineBreak(const char* q, const char* end) {
    if (q == end)
        return q;
    return q + ((*q == '\r' && q + 1 != end && q[1] == '\n') ? 2 : 1);
}

// Calls f(begin, length) for every line of the text.
template <class F> void ForEachLine(const char* data, qsizetype size, F&& f) {
    if (const void* nul = std::memchr(data, '\0', static_cast<size_t>(size)))
        size = static_cast<const char*>(nul) - data;
    const char* p = data;
    const char* const end = data + size;
    while (p != end) {
        const char* q = p;
        while (q != end && *q != '\r' && *q != '\n')
            ++q;
        f(p, q - p);
        p = SkipLineBreak(q, end);
    }
}

} // namespace vrma
