// Two files written as a pair (the coordinate files of a measurement, a test field's PDF
// and its scene file): both replaced or neither, whichever way each is written and
// wherever the failure comes; and SIGINT or SIGTERM during the write end the process only
// once the pair is whole (a child process each).
#include "data/CleanExit.h"
#include "data/Errors.h"
#include "data/TextFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vrma {
namespace {

class FilePair : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    void TearDown() override {
        SetBeforeReplaceHook({});
        SetWriteFailureAfterBytes(-1);
    }
    QString path(const QString& name) const { return QDir(temp.path()).filePath(name); }
    QByteArray raw(const char* name) const { return QFile::encodeName(path(QLatin1String(name))); }
    // Every entry of the folder, hidden ones (the temporary files) included.
    QStringList entries() const {
        return QDir(temp.path())
            .entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    static ino_t Inode(const QByteArray& file) {
        struct stat st {};
        return ::stat(file.constData(), &st) == 0 ? st.st_ino : 0;
    }
    QTemporaryDir temp;
};

TEST_F(FilePair, BothAreWrittenAndNothingIsLeftAside) {
    WriteFileAtomically(path(QStringLiteral("scene.crd")), "old scene\r\n");
    WriteFilePair(path(QStringLiteral("scene.crd")), "new scene\r\n",
                  path(QStringLiteral("image.crd")), "new image\r\n");
    EXPECT_EQ(ReadFileBytes(path(QStringLiteral("scene.crd"))), QByteArray("new scene\r\n"));
    EXPECT_EQ(ReadFileBytes(path(QStringLiteral("image.crd"))), QByteArray("new image\r\n"));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("image.crd"), QStringLiteral("scene.crd")}));
}

// The second cannot be made ready (its folder is missing, it may not be written): the
// first is not touched.
TEST_F(FilePair, WhenTheSecondCannotBeMadeReadyTheFirstIsNotTouched) {
    WriteFileAtomically(path(QStringLiteral("field.pdf")), "old pdf");
    const ino_t before = Inode(raw("field.pdf"));
    EXPECT_THROW(WriteFilePair(path(QStringLiteral("field.pdf")), "new pdf",
                               path(QStringLiteral("missing/field.crd")), "scene\r\n"),
                 FileError);
    EXPECT_EQ(ReadFileBytes(path(QStringLiteral("field.pdf"))), QByteArray("old pdf"));
    EXPECT_EQ(Inode(raw("field.pdf")), before);
    WriteFileAtomically(path(QStringLiteral("field.crd")), "old scene\r\n");
    ASSERT_EQ(::chmod(raw("field.crd").constData(), 0444), 0);
    EXPECT_THROW(WriteFilePair(path(QStringLiteral("field.pdf")), "new pdf",
                               path(QStringLiteral("field.crd")), "scene\r\n"),
                 FileError);
    EXPECT_EQ(ReadFileBytes(path(QStringLiteral("field.pdf"))), QByteArray("old pdf"));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("field.crd"), QStringLiteral("field.pdf")}));
}

// The second cannot be put in place (something took its place after both were ready): the
// first is put back, the very file it was (its inode: other names and open readers keep
// seeing it), or removed where there was none.
TEST_F(FilePair, WhenTheSecondCannotBePutInPlaceTheFirstIsPutBack) {
    WriteFileAtomically(path(QStringLiteral("scene.crd")), "old scene\r\n");
    ASSERT_EQ(::chmod(raw("scene.crd").constData(), 0640), 0);
    const ino_t before = Inode(raw("scene.crd"));
    SetBeforeReplaceHook([&](const QString& name) {
        if (name.endsWith(QStringLiteral("image.crd"))) {
            // A folder with something in it: no file can be renamed over it.
            QDir(temp.path()).mkpath(QStringLiteral("image.crd/inside"));
        }
    });
    EXPECT_THROW(WriteFilePair(path(QStringLiteral("scene.crd")), "new scene\r\n",
                               path(QStringLiteral("image.crd")), "new image\r\n"),
                 FileError);
    EXPECT_EQ(ReadFileBytes(path(QStringLiteral("scene.crd"))), QByteArray("old scene\r\n"));
    EXPECT_EQ(Inode(raw("scene.crd")), before);
    struct stat st {};
    ASSERT_EQ(::stat(raw("scene.crd").constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), QStringList({QStringLiteral("image.crd"), QStringLiteral("scene.crd")}));

    // No first file before: none after.
    QDir(path(QStringLiteral("image.crd"))).removeRecursively();
    SetBeforeReplaceHook([&](const QString& name) {
        if (name.endsWith(QStringLiteral("b.crd")))
            QDir(temp.path()).mkpath(QStringLiteral("b.crd/inside"));
    });
    EXPECT_THROW(WriteFilePair(path(QStringLiteral("a.crd")), "a\r\n",
                               path(QStringLiteral("b.crd")), "b\r\n"),
                 FileError);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("a.crd"))));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("b.crd"), QStringLiteral("scene.crd")}));
}

// A file with another hard link is written in place (the other name sees the new text);
// when the second fails the first's old bytes are written back, under both names.
TEST_F(FilePair, AFileWrittenInPlaceIsWrittenBackToo) {
    WriteFileAtomically(path(QStringLiteral("scene.crd")), "old scene\r\n");
    WriteFileAtomically(path(QStringLiteral("image.crd")), "old image\r\n");
    ASSERT_EQ(::link(raw("scene.crd").constData(), raw("scene-link.crd").constData()), 0);
    ASSERT_EQ(::link(raw("image.crd").constData(), raw("image-link.crd").constData()), 0);
    SetBeforeReplaceHook([](const QString& name) {
        if (name.endsWith(QStringLiteral("image.crd")))
            SetWriteFailureAfterBytes(3); // a disk that fills up
    });
    EXPECT_THROW(WriteFilePair(path(QStringLiteral("scene.crd")), "new scene, longer\r\n",
                               path(QStringLiteral("image.crd")), "new image, longer\r\n"),
                 FileError);
    SetWriteFailureAfterBytes(-1);
    for (const char* name : {"scene.crd", "scene-link.crd"})
        EXPECT_EQ(ReadFileBytes(path(QLatin1String(name))), QByteArray("old scene\r\n")) << name;
    for (const char* name : {"image.crd", "image-link.crd"})
        EXPECT_EQ(ReadFileBytes(path(QLatin1String(name))), QByteArray("old image\r\n")) << name;
    EXPECT_EQ(entries().size(), 4);

    SetBeforeReplaceHook({});
    WriteFilePair(path(QStringLiteral("scene.crd")), "new scene\r\n",
                  path(QStringLiteral("image.crd")), "new image\r\n");
    EXPECT_EQ(ReadFileBytes(path(QStringLiteral("scene-link.crd"))), QByteArray("new scene\r\n"));
    EXPECT_EQ(ReadFileBytes(path(QStringLiteral("image-link.crd"))), QByteArray("new image\r\n"));
}

TEST_F(FilePair, TwoNamesOfOneFileAreRefused) {
    WriteFileAtomically(path(QStringLiteral("scene.crd")), "old\r\n");
    ASSERT_EQ(::symlink("scene.crd", raw("link.crd").constData()), 0);
    EXPECT_THROW(WriteFilePair(path(QStringLiteral("scene.crd")), "a\r\n",
                               path(QStringLiteral("link.crd")), "b\r\n"),
                 FileError);
    EXPECT_THROW(WriteFilePair(path(QStringLiteral("new.crd")), "a\r\n",
                               path(QStringLiteral("./new.crd")), "b\r\n"),
                 FileError);
    EXPECT_EQ(ReadFileBytes(path(QStringLiteral("scene.crd"))), QByteArray("old\r\n"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("new.crd"))));
}

// In a child process: the signal handlers installed, `during` raised while the pair is
// written (before the second file is put in place), or `before` raised before the write.
// Returns the child's exit code (-1 when it did not exit).
int PairWrittenUnderSignal(const QString& first, const QString& second, int during, int before) {
    const pid_t child = ::fork();
    if (child == 0) {
        EndCleanlyOnSignals();
        SetBeforeReplaceHook([&](const QString& name) {
            if (name == second && during)
                ::raise(during);
        });
        if (before)
            ::raise(before);
        try {
            WriteFilePair(first, "first, new\r\n", second, "second, new\r\n");
        } catch (...) {
            ::_exit(99);
        }
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST_F(FilePair, ASignalDuringTheWriteEndsTheProcessOnceThePairIsWhole) {
    const QString first = path(QStringLiteral("field.pdf"));
    const QString second = path(QStringLiteral("field.crd"));
    WriteFileAtomically(first, "first, old\r\n");
    EXPECT_EQ(PairWrittenUnderSignal(first, second, SIGTERM, 0), 143);
    EXPECT_EQ(ReadFileBytes(first), QByteArray("first, new\r\n"));
    EXPECT_EQ(ReadFileBytes(second), QByteArray("second, new\r\n"));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("field.crd"), QStringLiteral("field.pdf")}));

    // Before any write: at once, nothing written.
    QFile::remove(first);
    QFile::remove(second);
    EXPECT_EQ(PairWrittenUnderSignal(first, second, 0, SIGINT), 130);
    EXPECT_TRUE(entries().isEmpty());
    // Without a signal the child ends normally.
    EXPECT_EQ(PairWrittenUnderSignal(first, second, 0, 0), 0);
    EXPECT_EQ(entries().size(), 2);
}

} // namespace
} // namespace vrma
