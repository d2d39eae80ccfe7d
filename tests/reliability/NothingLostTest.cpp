// Nothing lost: a write that fails part-way leaves the file that was there exactly as it
// was (bytes, permissions) and no temporary file beside it; a file that was not there is
// not created.
#include "data/Errors.h"
#include "data/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

class NothingLost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override { vrma::SetWriteFailureAfterBytes(-1); }

    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString Put(const QString& name, const QByteArray& bytes, mode_t mode = 0644) const {
        const QString path = Path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
        return path;
    }

    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    static mode_t Mode(const QString& path) {
        struct stat info {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        return info.st_mode & 07777;
    }

    QStringList Entries() const {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir dir_;
};

// The old file: Cyrillic text, the undefined byte 0x98, a line without a final break.
const QByteArray kOld("\xD1\xF2\xE0\xF0\xFB\xE9 \xF4\xE0\xE9\xEB\r\n1,5 ; 2\r\n\x98\r\nend");

QStringList NewLines() {
    return {QStringLiteral("Новое содержимое файла"), QStringLiteral("1,2345 ; -6,789"), QString(),
            QStringLiteral("0,0000 ; 0,0000"), QString(QChar(0x98)) + "x"};
}

TEST_F(NothingLost, AWriteThatFailsAtAnyByteLeavesTheOldFile) {
    const QString path = Put(QStringLiteral("table.tab"), kOld, 0640);
    const QStringList before = Entries();
    const qsizetype size = vrma::EncodeTextLines(NewLines()).size();
    for (qint64 after = 0; after <= size; ++after) {
        vrma::SetWriteFailureAfterBytes(after);
        EXPECT_THROW(vrma::WriteTextLines(path, NewLines()), vrma::FileError) << after;
        ASSERT_EQ(Bytes(path), kOld) << after;
        ASSERT_EQ(Mode(path), mode_t(0640)) << after;
        ASSERT_EQ(Entries(), before) << after;
    }
    // Without the failure the same write replaces the file, keeping its permissions.
    vrma::SetWriteFailureAfterBytes(-1);
    vrma::WriteTextLines(path, NewLines());
    EXPECT_EQ(vrma::ReadTextLines(path), NewLines());
    EXPECT_EQ(Mode(path), mode_t(0640));
    EXPECT_EQ(Entries(), before);
}

TEST_F(NothingLost, AFailedWriteCreatesNoNewFile) {
    const QString path = Path(QStringLiteral("камера 1.cam"));
    for (qint64 after : {0, 1, 10, 1000}) {
        vrma::SetWriteFailureAfterBytes(after);
        EXPECT_THROW(vrma::WriteTextLines(path, NewLines()), vrma::FileError);
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_EQ(Entries(), QStringList());
    }
}

TEST_F(NothingLost, ALargeWriteThatFailsHalfWay) {
    // A file of 200,000 lines fails after half of its bytes.
    QStringList lines;
    lines.reserve(200000);
    for (int i = 0; i < 200000; ++i)
        lines << QStringLiteral("%1,25 ; %2,5").arg(i).arg(-i);
    const QString path = Put(QStringLiteral("big.crd"), kOld);
    vrma::SetWriteFailureAfterBytes(vrma::EncodeTextLines(lines).size() / 2);
    EXPECT_THROW(vrma::WriteTextLines(path, lines), vrma::FileError);
    EXPECT_EQ(Bytes(path), kOld);
    EXPECT_EQ(Entries(), QStringList({"big.crd"}));
}

// A real failing write, without special rights: a file size limit for the process
// (RLIMIT_FSIZE) makes the kernel refuse to write past it, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ok_ = ::getrlimit(RLIMIT_FSIZE, &previous_) == 0;
        previousSignal_ = std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        ok_ = ok_ && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit previous_{};
    void (*previousSignal_)(int) = SIG_DFL;
    bool ok_ = false;
};

TEST_F(NothingLost, ARealWriteFailureLeavesTheOldFile) {
    const QString path = Put(QStringLiteral("data.crd"), kOld, 0600);
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QStringLiteral("%1 ; %2").arg(i).arg(i * 2);
    ASSERT_GT(vrma::EncodeTextLines(lines).size(), 65536);
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.ok());
        EXPECT_THROW(vrma::WriteTextLines(path, lines), vrma::FileError);
        // A small file still goes through under the limit.
        vrma::WriteTextLines(Path(QStringLiteral("small.crd")), {"1 ; 2"});
    }
    EXPECT_EQ(Bytes(path), kOld);
    EXPECT_EQ(Mode(path), mode_t(0600));
    EXPECT_EQ(Entries(), QStringList({"data.crd", "small.crd"}));
    // Without the limit the same write goes through.
    vrma::WriteTextLines(path, lines);
    EXPECT_EQ(vrma::ReadTextLines(path), lines);
}

} // namespace
