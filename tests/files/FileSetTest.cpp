// The files of one command written as one set: a disk that fills up at any byte leaves
// every old file as it was; names that lead to one file through links are refused before
// anything is done; streams (a pipe, a descriptor of the process) are written as they
// stand; two writers of one set leave one of the sets whole.
#include "data/Errors.h"
#include "data/FileNames.h"
#include "data/OutputFiles.h"
#include "data/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vrma {
namespace {

class FileSet : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    void TearDown() override {
        SetBeforeReplaceHook({});
        SetWriteFailureAfterBytes(-1);
    }
    QString path(const QString& name) const { return QDir(temp.path()).filePath(name); }
    QByteArray raw(const QString& name) const { return QFile::encodeName(path(name)); }
    QStringList entries(const QString& folder = QString()) const {
        return QDir(path(folder))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }
    static QByteArray Bytes(const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
    }
    QTemporaryDir temp;
};

// Four files: one new, one replaced by rename, one with a second name (written in place),
// one through a symbolic link. A disk full at every byte of the set leaves every old file
// as it was and nothing beside them; with room, all four are new.
TEST_F(FileSet, AFullDiskAtAnyByteLeavesEveryOldFile) {
    WriteFileAtomically(path(QStringLiteral("old.tab")), "old table\r\n");
    WriteFileAtomically(path(QStringLiteral("linked.cam")), "old camera\r\n");
    ASSERT_EQ(::link(raw(QStringLiteral("linked.cam")).constData(),
                     raw(QStringLiteral("second.cam")).constData()),
              0);
    WriteFileAtomically(path(QStringLiteral("target.yml")), "old yaml\r\n");
    ASSERT_EQ(::symlink("target.yml", raw(QStringLiteral("link.yml")).constData()), 0);
    const std::vector<OutputFile> set = {
        {path(QStringLiteral("new.json")), "{\"new\": true}\n"},
        {path(QStringLiteral("old.tab")), "new table, longer\r\n"},
        {path(QStringLiteral("linked.cam")), "new camera\r\n"},
        {path(QStringLiteral("link.yml")), "new yaml, longer than the old\r\n"}};
    const QStringList before = entries();
    qint64 total = 0;
    for (const OutputFile& file : set)
        total += file.bytes.size();
    for (qint64 room = 0; room < total; ++room) {
        SetWriteFailureAfterBytes(room);
        EXPECT_THROW(WriteFileSet(set), FileError) << room;
        SetWriteFailureAfterBytes(-1);
        ASSERT_EQ(entries(), before) << room;
        EXPECT_EQ(Bytes(path(QStringLiteral("old.tab"))), "old table\r\n") << room;
        EXPECT_EQ(Bytes(path(QStringLiteral("second.cam"))), "old camera\r\n") << room;
        EXPECT_EQ(Bytes(path(QStringLiteral("target.yml"))), "old yaml\r\n") << room;
    }
    // The last byte of the last file is the one that may not fail: everything written.
    SetWriteFailureAfterBytes(total + 1);
    WriteFileSet(set);
    for (const OutputFile& file : set)
        EXPECT_EQ(Bytes(file.name), file.bytes);
    EXPECT_EQ(Bytes(path(QStringLiteral("second.cam"))), "new camera\r\n");
    EXPECT_EQ(Bytes(path(QStringLiteral("target.yml"))), set[3].bytes);
    EXPECT_EQ(entries().size(), before.size() + 1);
}

// Names that lead to one file as the system opens them: refused before anything is done,
// naming both. Names that only look alike are two files.
TEST_F(FileSet, NamesThatLeadToOneFileAreRefused) {
    ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("o")));
    ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("other/deep")));
    ASSERT_EQ(::symlink("../other/deep", raw(QStringLiteral("o/sublink")).constData()), 0);
    ASSERT_EQ(::symlink("../other/t.tab", raw(QStringLiteral("o/dangling")).constData()), 0);
    ASSERT_EQ(::symlink("dangling", raw(QStringLiteral("o/chain")).constData()), 0);
    WriteFileAtomically(path(QStringLiteral("other/s.crd")), "old scene\r\n");
    struct Case {
        const char* first;
        const char* second;
        bool same;
    };
    const Case cases[] = {
        // The folder's link is followed before "..": o/sublink/.. is other/.
        {"other/s.crd", "o/sublink/../s.crd", true},
        {"other/t.tab", "o/sublink/../t.tab", true},
        {"o/u.crd", "o/sublink/../u.crd", false},
        // A link that leads nowhere yet, alone or through another link, leads to the name
        // a write through it creates.
        {"other/t.tab", "o/dangling", true},
        {"o/chain", "other/t.tab", true},
        {"o/dangling", "o/chain", true},
        {"other/./deep/../t.tab", "other/t.tab", true},
        {"o/t.tab", "other/t.tab", false},
    };
    for (const Case& c : cases) {
        const QString first = path(QLatin1String(c.first));
        const QString second = path(QLatin1String(c.second));
        SCOPED_TRACE(std::string(c.first) + " / " + c.second);
        EXPECT_EQ(IdentifyFile(first) == IdentifyFile(second), c.same);
        const QStringList before = entries(QStringLiteral("other"));
        const OutputFile set[] = {{first, "first\r\n"}, {second, "second\r\n"}};
        if (c.same) {
            try {
                WriteFileSet(set);
                ADD_FAILURE() << "written";
            } catch (const FileError& error) {
                const QString message = QString::fromUtf8(error.what());
                EXPECT_TRUE(message.contains(first) && message.contains(second))
                    << message.toStdString();
            }
            EXPECT_EQ(entries(QStringLiteral("other")), before);
            EXPECT_EQ(Bytes(path(QStringLiteral("other/s.crd"))), "old scene\r\n");
        } else {
            WriteFileSet(set);
            EXPECT_EQ(Bytes(first), "first\r\n");
            EXPECT_EQ(Bytes(second), "second\r\n");
            ::unlink(QFile::encodeName(first).constData());
            ::unlink(QFile::encodeName(second).constData());
        }
    }
    // A dangling link is written through, to the file it names; the link stays.
    WriteFileAtomically(path(QStringLiteral("o/chain")), "through\r\n");
    EXPECT_EQ(Bytes(path(QStringLiteral("other/t.tab"))), "through\r\n");
    struct stat st {};
    ASSERT_EQ(::lstat(raw(QStringLiteral("o/chain")).constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// A name that is no regular file is written as it stands: the process's own descriptor of
// a file opened elsewhere (what the shell's "> f" gives /dev/stdout) after what it holds,
// a pipe that is read. A pipe that nobody reads is refused at once, and no file of the set
// is replaced.
TEST_F(FileSet, StreamsAreWrittenAsTheyStand) {
    const QString opened = path(QStringLiteral("stdout.txt"));
    const int fd =
        ::open(QFile::encodeName(opened).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "summary\n", 8), 8);
    struct stat before {};
    ASSERT_EQ(::fstat(fd, &before), 0);
    const QString table = path(QStringLiteral("t.tab"));
    const OutputFile set[] = {{QStringLiteral("/proc/self/fd/%1").arg(fd), "{\"json\": 1}\n"},
                              {table, "table\r\n"}};
    WriteFileSet(set);
    ::close(fd);
    EXPECT_EQ(Bytes(opened), "summary\n{\"json\": 1}\n");
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(opened).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Bytes(table), "table\r\n");

    const QString fifo = path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const OutputFile unread[] = {{table, "new table\r\n"}, {fifo, "to nobody\n"}};
    EXPECT_THROW(WriteFileSet(unread), FileError);
    EXPECT_EQ(Bytes(table), "table\r\n");

    // A reader: the pipe's other end open (without waiting for a writer).
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const OutputFile read[] = {{table, "new table\r\n"}, {fifo, "to the reader\n"}};
    WriteFileSet(read);
    char buffer[64] = {};
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    const QByteArray received(buffer, int(std::max<ssize_t>(n, 0)));
    EXPECT_EQ(received, "to the reader\n");
    EXPECT_EQ(Bytes(table), "new table\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Whether a process waits for a lock held by another: the kernel lists a waiter as "->".
bool WaitsForALock(pid_t pid) {
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : locks.readAll().split('\n'))
        if (line.contains("->") && line.split(' ').contains(QByteArray::number(pid)))
            return true;
    return false;
}

// Two writers of one set, the second starting while the first has put one file in place
// and not the other: the second waits, so that the set it leaves is whole. (Without the
// wait the second would run through and the first's last file would end among its own.)
TEST_F(FileSet, TwoWritersOfOneSetLeaveOneWholeSet) {
    const QString a = path(QStringLiteral("a.tab"));
    const QString b = path(QStringLiteral("b.json"));
    int toParent[2];
    int toFirst[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toFirst), 0);
    const auto writer = [&](const QByteArray& tag, bool pause) {
        const pid_t child = ::fork();
        if (child != 0)
            return child;
        if (pause)
            SetBeforeReplaceHook([&](const QString& name) {
                if (name != b)
                    return;
                char c = 0;
                // Tell the parent, and wait for its word to go on.
                if (::write(toParent[1], "x", 1) != 1 || ::read(toFirst[0], &c, 1) != 1)
                    ::_exit(98);
            });
        const OutputFile set[] = {{a, "a " + tag}, {b, "b " + tag}};
        try {
            WriteFileSet(set);
        } catch (...) {
            ::_exit(99);
        }
        ::_exit(0);
    };
    const pid_t first = writer("first", true);
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    const pid_t second = writer("second", false);
    // The second either waits for the first's lock, or (were there none) ends on its own.
    int status = 0;
    bool secondEnded = false;
    for (;;) {
        if (WaitsForALock(second))
            break;
        if (::waitpid(second, &status, WNOHANG) == second) {
            secondEnded = true;
            break;
        }
        std::this_thread::yield();
    }
    ASSERT_EQ(::write(toFirst[1], "go", 1), 1);
    ASSERT_EQ(::waitpid(first, &status, 0), first);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    if (!secondEnded) {
        ASSERT_EQ(::waitpid(second, &status, 0), second);
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const int fd : {toParent[0], toParent[1], toFirst[0], toFirst[1]})
        ::close(fd);
    EXPECT_FALSE(secondEnded) << "the second writer did not wait";
    EXPECT_EQ(Bytes(a).mid(2), Bytes(b).mid(2));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("a.tab"), QStringLiteral("b.json")}));
}

} // namespace
} // namespace vrma
