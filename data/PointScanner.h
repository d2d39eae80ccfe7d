#pragma once
// The byte-level scanner of coordinate files: the lines of a file's bytes read as they
// stand, eight bytes at a time where it can, with the values that ParseRealDouble gives for
// the decoded field texts. The coordinate-file reader (data/PointFileReader.h) feeds it.
#include "data/Data_structures.h"

#include <QChar>
#include <cstddef>

namespace vrma {

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

// The syntax for the decimal separator of the moment.
ByteSyntax SyntaxFor(QChar separator);

// Translates n bytes read from the file in place (see above).
void Translate(char* p, std::size_t n, const ByteSyntax& syntax);

// Reads the lines of [p, end) into the list. Every line ends with a break inside the range,
// except perhaps the last line of the file. Throws FormatError at the first invalid line,
// the points of the lines before it added.
void ReadPointLines(const char* p, const char* end, const ByteSyntax& syntax, VT_Points* points);
// The same into record chunks, whose records a list takes later (a part of a file read at
// once with others).
void ReadPointLines(const char* p, const char* end, const ByteSyntax& syntax,
                    RecordChunks<VT_Point>* records);

// The end of the last complete line of [begin, end) while more text may follow: after the
// last break, but not after a CR at the very end, whose LF may still come.
const char* EndOfCompleteLines(const char* begin, const char* end);

} // namespace vrma
