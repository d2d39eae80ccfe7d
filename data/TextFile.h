#pragma once
// Whole-file reading and writing of Windows-1251 text.
//
// Reading: CR, LF and CR LF each end a line; a NUL byte ends the text; a break after
// the last line makes no extra line; an empty file has no lines. The byte 0x98, which
// the code page leaves undefined, reads as U+0098 and is written back as 0x98.
// Writing: every line, the last included, ends with CR LF; a text holding a character
// that the code page cannot hold is refused before any file is touched (EncodingError).
// The file is replaced only once all of it is written (a temporary file beside it, renamed
// over it), so a failed write leaves the old file as it was; the new file keeps the old
// one's permissions.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vrma {

// True for a regular file (or a link to one): folders, pipes and devices are no data
// files, and the readers refuse them as files that cannot be opened.
bool IsDataFile(const QString& fileName);

// Throws FileError when the file cannot be opened or read.
QByteArray ReadFileBytes(const QString& fileName);
QStringList ReadTextLines(const QString& fileName);
QStringList DecodeTextLines(const QByteArray& bytes);

// Throws FileError when the file cannot be created or written, and EncodingError (before
// the file is touched) when a line holds a character that Windows-1251 cannot hold.
void WriteTextLines(const QString& fileName, const QStringList& lines);
// The one writer of every save (text files, pictures, tables): the bytes into a
// temporary file beside the target, unbuffered with its error state checked, then
// renamed over it; a failure leaves the old file as it was. Throws FileError.
void WriteFileAtomically(const QString& fileName, const QByteArray& bytes);
// The lines in Windows-1251, each ending with CR LF. Throws EncodingError, naming the
// character and its line (counted from 1), when a line holds a character that the code
// page cannot hold.
QByteArray EncodeTextLines(const QStringList& lines);

// For tests of the "nothing lost" rule: when n >= 0, every following write fails, as a
// full disk would, after n bytes of the temporary file were written. -1 turns it off.
void SetWriteFailureAfterBytes(qint64 n);

// Windows-1251 conversion of one text. EncodeCp1251 never fails: a character that the
// code page cannot hold becomes '?' (for texts that are shown or compared, not saved).
QString DecodeCp1251(const char* data, qsizetype size);
QByteArray EncodeCp1251(QStringView text);
// The byte that stands for the character in Windows-1251, or -1 when it has none.
int Cp1251ByteOf(QChar character);

} // namespace vrma
