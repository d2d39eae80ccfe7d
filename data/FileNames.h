#pragma once
// File names as the system holds them, and which names are one file.
//
// Names are bytes: UTF-8 as a rule, but not always (a disk shared with older systems holds
// names written in Windows-1251). The program keeps a name as a QString that gives back
// the bytes it came from: valid UTF-8 is decoded as such, and every byte that is not part
// of a valid UTF-8 sequence stands as the lone surrogate U+DC00 + byte (U+DC80 … U+DCFF),
// which no UTF-8 text can hold. Every file the program opens, reads, writes or compares is
// named to the system through EncodeFileName; the command line comes in through
// DecodeArguments. (Qt's QFile::decodeName turns such bytes into U+FFFD, which leads to
// no file.)
//
// One file under two names: an output that is also an input, or another output, would
// destroy what the command reads or write two things into one file. Names are compared
// as files: the device and inode of an existing file (through symbolic and hard links),
// and for a file that does not exist yet the place a write would create it, found as the
// system finds it (ResolveOutput): its folder resolved through links before any ".."
// after them is taken, and a symbolic link that leads nowhere yet followed to the name it
// would create.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>

namespace vrma {

QString DecodeFileName(QByteArrayView bytes);
QByteArray EncodeFileName(QStringView name);
// argv[1 …] decoded so, after the program's name (argv[0], decoded so too).
QStringList DecodeArguments(int argc, char* const* argv);

// Where a name leads.
struct FileIdentity {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    QByteArray path; // a file that does not exist: its folder resolved, then its name

    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.exists == b.exists &&
               (a.exists ? a.device == b.device && a.inode == b.inode : a.path == b.path);
    }
};

FileIdentity IdentifyFile(const QString& name);

// Where a write to the name lands, as the system opens it: the folder resolved through its
// links ("a/link/../b" is the folder above the link's target, not "a"), then every
// symbolic link of the last part followed, one that leads nowhere yet included, to the
// name that is written or created. A name of one of this process's open descriptors
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N) is that descriptor: a write goes to it.
struct OutputTarget {
    QByteArray path;     // absolute; a folder that does not exist is left as given
    int descriptor = -1; // the descriptor the name stands for, or -1
};
OutputTarget ResolveOutput(QStringView name);

// The name as an absolute path that leads to the same place from anywhere, for a file that
// names another (a camera file naming its table) and for messages: the current folder
// before a relative name, the folder resolved as ResolveOutput resolves it, the last part
// as given. Bytes that are no UTF-8 are kept.
QString AbsoluteFileName(const QString& name);

// A file a command names: what it is to the user (an option, "снимок") and its name.
struct NamedFile {
    QString role;
    QString name;
};

struct FileClash {
    NamedFile output;
    NamedFile other; // an input, or an output named before it
};

// The first output that is one file with an input or with an output before it; empty names
// are skipped.
std::optional<FileClash> FindFileClash(std::span<const NamedFile> inputs,
                                       std::span<const NamedFile> outputs);

} // namespace vrma
