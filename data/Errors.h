#pragma once
// The program's own failures. Every operation of the system throws one of these
// (or another std::exception); command guards turn them into the fixed messages,
// and the application's default error report shows what() of anything else.
#include <stdexcept>
#include <string>

namespace vrma {

// The system's general exception class; what() is UTF-8.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be opened, read, created or written.
class FileError : public Exception {
public:
    using Exception::Exception;
};

// A text that cannot be written in the files' code page: a character that Windows-1251
// does not hold. Nothing is written.
class EncodingError : public FileError {
public:
    using FileError::FileError;
};

// A text that does not follow the syntax it is read with (a number, a line of a file).
class FormatError : public Exception {
public:
    using Exception::Exception;
};

// A floating point fault (a zero divisor, 0/0, an overflow) or an impossible size.
class CalcError : public Exception {
public:
    using Exception::Exception;
};

} // namespace vrma
