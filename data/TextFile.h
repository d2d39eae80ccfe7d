#pragma once
// Whole-file reading and writing of Windows-1251 text.
//
// Reading: CR, LF and CR LF each end a line; a NUL byte ends the text; a break after
// the last line makes no extra line; an empty file has no lines. The byte 0x98, which
// the code page leaves undefined, reads as U+0098 and is written back as 0x98.
// Writing: every line, the last included, ends with CR LF; a text holding a character
// that the code page cannot hold is refused before any file is touched (EncodingError).
// A byte of a file name that is no UTF-8 (U+DC80 … U+DCFF, data/FileNames) is written as
// that byte.
// The writing itself is data/OutputFiles: a failed write leaves the old file as it was,
// and the saved file keeps the old one's owner, group, mode (setgid included) and other
// names (hard links).
#include "data/OutputFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace vrma {

// True for a regular file (or a link to one): folders, pipes and devices are no data
// files, and the readers refuse them as files that cannot be opened.
bool IsDataFile(const QString& fileName);

// A data file opened for reading: opened without waiting (a pipe or a device put in the
// file's place is never waited on), checked on the opened descriptor to be a regular
// file, and read from that descriptor, so that nothing can be swapped in between.
class DataFileReader {
public:
    // Throws FileError ("Не удаётся открыть файл") when the file cannot be opened or is
    // no regular file.
    explicit DataFileReader(const QString& fileName);
    ~DataFileReader();
    DataFileReader(const DataFileReader&) = delete;
    DataFileReader& operator=(const DataFileReader&) = delete;

    // Reads up to size bytes; 0 at the end of the file. Throws FileError
    // ("Не удаётся прочитать файл").
    qint64 Read(char* data, qint64 size);
    // The same from the given offset, leaving the file position alone: threads may read
    // different parts of the file at once.
    qint64 ReadAt(char* data, qint64 size, qint64 offset) const;
    // What the file may hold, for sizing buffers: its apparent size, but no more than the
    // space it takes on the disk, so that a sparse file is not taken at its word.
    qint64 SizeHint() const { return sizeHint_; }

private:
    QString fileName_;
    int fd_ = -1;
    qint64 sizeHint_ = 0;
};

// For tests: called with the file name right before every reader opens a file (a test
// puts something else in the file's place there). An empty function turns it off.
void SetBeforeOpenHook(std::function<void(const QString&)> hook);

// The bytes of the text: the file up to its first NUL (which ends the text; nothing after
// it is read). Throws FileError when the file cannot be opened or read.
QByteArray ReadFileBytes(const QString& fileName);
QStringList ReadTextLines(const QString& fileName);
// The first count lines of the text (fewer when it has fewer); the file is read only as
// far as they go.
QStringList ReadFirstTextLines(const QString& fileName, qsizetype count);
QStringList DecodeTextLines(const QByteArray& bytes);

// Throws FileError when the file cannot be created or written, and EncodingError (before
// the file is touched) when a line holds a character that Windows-1251 cannot hold.
void WriteTextLines(const QString& fileName, const QStringList& lines);
// The lines in Windows-1251, each ending with CR LF. Throws EncodingError, naming the
// character and its line (counted from 1), when a line holds a character that the code
// page cannot hold.
QByteArray EncodeTextLines(const QStringList& lines);

// Windows-1251 conversion of one text. EncodeCp1251 never fails: a character that the
// code page cannot hold becomes '?' (for texts that are shown or compared, not saved).
QString DecodeCp1251(const char* data, qsizetype size);
QByteArray EncodeCp1251(QStringView text);
// One line of a file being saved (line counted from 1), without its break: throws
// EncodingError, as EncodeTextLines does, at a character the code page cannot hold.
QByteArray EncodeFileLine(QStringView text, qsizetype line);
// The byte that stands for the character in Windows-1251, or -1 when it has none.
int Cp1251ByteOf(QChar character);

} // namespace vrma
