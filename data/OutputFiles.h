#pragma once
// The one writer of every save: the files of one command written as one set, whole or not
// at all.
//
// Every name is first resolved as the system would open it (data/FileNames:
// ResolveOutput): its folder through its links, a symbolic link followed (one that leads
// nowhere yet, to the name it would create). Two names that lead to one file are refused
// before anything is done. The folders of the set are locked (flock) while it is written,
// so that two programs writing the same files one after the other leave one whole set.
//
// A regular file, or one that is not there yet, is made ready aside, in one of two ways,
// and put in place only once every file of the set is ready:
// - rename: a complete temporary file beside the old one, given its owner, group and mode,
//   then renamed over it; taken when that keeps everything (a new file; or an old one with
//   no other hard link whose owner, group and mode the temporary file could be given, in a
//   folder the user may write to);
// - in place: the old file copied aside (beside it, or in the temporary folder), the new
//   bytes written into the old file itself, and the copy written back when that fails.
// When a file cannot be made ready, or put in place, every file of the set already put in
// place is put back as it was (or removed, where there was none), and nothing aside is left.
// The saved file keeps the old one's owner, group, mode (setgid included) and other names.
//
// A name that is no regular file (a pipe, a device, one of the process's own descriptors
// such as /dev/stdout) is written as it stands, first, before any file is made ready:
// what a stream has taken cannot be taken back, and a stream that fails replaces no file.
// A pipe that nobody reads is refused rather than waited on.
//
// The set is one WriteSection (data/CleanExit): SIGINT or SIGTERM while it is made ready
// puts nothing in place, and once it is being put in place, it is finished first.
// Every failure throws FileError naming the file. Names are bytes (data/FileNames).
#include <QByteArray>
#include <QString>

#include <functional>
#include <span>

namespace vrma {

struct OutputFile {
    QString name;
    QByteArray bytes;
};

// Writes the set as above, the files put in place in the order given. Throws FileError.
void WriteFileSet(std::span<const OutputFile> files);

// One file, as a set of one.
void WriteFileAtomically(const QString& fileName, const QByteArray& bytes);

// Two files that belong together (the two coordinate files of a measurement, the PDF of a
// test field and its scene file), as a set of two.
void WriteFilePair(const QString& firstName, const QByteArray& firstBytes,
                   const QString& secondName, const QByteArray& secondBytes);

// For tests: called with the file name right before a file written aside is put in place
// (a test puts something in the way there). An empty function turns it off.
void SetBeforeReplaceHook(std::function<void(const QString&)> hook);

// For tests of the "nothing lost" rule: when n >= 0, writes fail as on a disk that fills
// up once n more bytes have been written: the write that reaches the n-th byte fails, and
// so does every one after it. -1 turns it off.
void SetWriteFailureAfterBytes(qint64 n);

// A write beyond the file-size limit (ulimit -f) fails as a write (EFBIG) instead of
// killing the process with SIGXFSZ; called at start-up by the programs.
void IgnoreFileSizeSignal();

} // namespace vrma
