// The save keeps what users rely on: the other names of a file (hard links), its owner
// and group, its mode with setgid, a link to it, and a writable file in a folder the user
// may not write to; whichever way it writes, a failure leaves the old file byte for byte
// and no temporary file anywhere. Owner and group are tried as an unprivileged user in a
// child process where the machine allows it.
#include "data/Errors.h"
#include "data/TextFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray kOld("\xD1\xF2\xE0\xF0\xFB\xE9 \xF4\xE0\xE9\xEB\r\n1,5 ; 2\r\nend");
const QByteArray kNew("new text\r\n");

class SaveStrategy : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override { vrma::SetWriteFailureAfterBytes(-1); }

    QString Path(const QString& name) const { return dir_.filePath(name); }
    static QByteArray Local(const QString& path) { return QFile::encodeName(path); }

    QString Put(const QString& name, const QByteArray& bytes, mode_t mode = 0644) const {
        const QString path = Path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        EXPECT_EQ(::chmod(Local(path).constData(), mode), 0);
        return path;
    }

    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

    static struct stat Stat(const QString& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(Local(path).constData(), &info), 0) << path.toStdString();
        return info;
    }

    static QStringList Entries(const QString& folder) {
        return QDir(folder).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
    QStringList Entries() const { return Entries(dir_.path()); }

    // The save as it must fail: every write failing after n bytes, for a few n.
    void ExpectFailuresKeep(const QString& path, const QString& other = QString()) {
        const QByteArray old = Bytes(path);
        const struct stat before = Stat(path);
        const QStringList entries = Entries();
        for (qint64 after : {0, 1, 5}) {
            vrma::SetWriteFailureAfterBytes(after);
            EXPECT_THROW(vrma::WriteFileAtomically(path, kNew), vrma::FileError) << after;
            vrma::SetWriteFailureAfterBytes(-1);
            EXPECT_EQ(Bytes(path), old) << after;
            if (!other.isEmpty()) {
                EXPECT_EQ(Bytes(other), old) << after;
            }
            EXPECT_EQ(Stat(path).st_ino, before.st_ino);
            EXPECT_EQ(Stat(path).st_mode, before.st_mode);
            EXPECT_EQ(Entries(), entries) << "a temporary file left beside the file";
        }
    }

    QTemporaryDir dir_;
};

TEST_F(SaveStrategy, AHardLinkSeesTheSavedText) {
    const QString path = Put(QStringLiteral("a.crd"), kOld);
    const QString other = Path(QStringLiteral("b.crd"));
    ASSERT_EQ(::link(Local(path).constData(), Local(other).constData()), 0);
    ExpectFailuresKeep(path, other);
    vrma::WriteFileAtomically(path, kNew);
    EXPECT_EQ(Bytes(path), kNew);
    EXPECT_EQ(Bytes(other), kNew) << "the other name kept the old text";
    EXPECT_EQ(Stat(path).st_nlink, nlink_t(2));
    EXPECT_EQ(Entries(), QStringList({"a.crd", "b.crd"}));
    // A longer and then a shorter text: nothing of the old one stays at the end.
    vrma::WriteFileAtomically(path, kOld + kOld);
    vrma::WriteFileAtomically(path, "x");
    EXPECT_EQ(Bytes(other), "x");
}

TEST_F(SaveStrategy, ModeAndSetgidAreKeptAndARenameReplacesTheFile) {
    const QString path = Put(QStringLiteral("t.tab"), kOld, 02750);
    ASSERT_EQ(Stat(path).st_mode & 07777, mode_t(02750)) << "setgid not settable here";
    ExpectFailuresKeep(path);
    const ino_t before = Stat(path).st_ino;
    vrma::WriteFileAtomically(path, kNew);
    EXPECT_EQ(Bytes(path), kNew);
    EXPECT_EQ(Stat(path).st_mode & 07777, mode_t(02750));
    EXPECT_NE(Stat(path).st_ino, before) << "a file with one name is replaced whole";
    EXPECT_EQ(Entries(), QStringList({"t.tab"}));
}

TEST_F(SaveStrategy, ALinkIsFollowedAndStaysALink) {
    const QString target = Put(QStringLiteral("target.crd"), kOld, 0640);
    const QString link = Path(QStringLiteral("link.crd"));
    ASSERT_EQ(::symlink("target.crd", Local(link).constData()), 0);
    vrma::SetWriteFailureAfterBytes(3);
    EXPECT_THROW(vrma::WriteFileAtomically(link, kNew), vrma::FileError);
    vrma::SetWriteFailureAfterBytes(-1);
    EXPECT_EQ(Bytes(target), kOld);
    vrma::WriteFileAtomically(link, kNew);
    EXPECT_TRUE(S_ISLNK(Stat(link).st_mode));
    EXPECT_EQ(Bytes(target), kNew);
    EXPECT_EQ(Stat(target).st_mode & 07777, mode_t(0640));
    EXPECT_EQ(Entries(), QStringList({"link.crd", "target.crd"}));
}

TEST_F(SaveStrategy, ANewFileTakesTheUsualMode) {
    const mode_t mask = ::umask(027);
    const QString path = Path(QStringLiteral("new.crd"));
    vrma::WriteFileAtomically(path, kNew);
    ::umask(mask);
    EXPECT_EQ(Bytes(path), kNew);
    EXPECT_EQ(Stat(path).st_mode & 07777, mode_t(0640));
}

// ---- As an unprivileged user ----

// Runs f as the user nobody (with its group only) in a child process; returns f's result,
// or -1 when the machine does not allow it (not root, or no such user).
int AsNobody(const std::function<int()>& f) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody)
        return -1;
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(90);
        ::alarm(30);
        int code = 99;
        try {
            code = f();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 91;
    return WEXITSTATUS(status);
}

class SaveAsUser : public SaveStrategy {
protected:
    void SetUp() override {
        SaveStrategy::SetUp();
        nobody_ = ::getpwnam("nobody");
        if (::geteuid() != 0 || !nobody_)
            GTEST_SKIP() << "owner and group are tried as the user nobody, which needs root "
                            "to switch to and such a user";
        // The test's folder must be reachable by nobody.
        ASSERT_EQ(::chmod(Local(dir_.path()).constData(), 0755), 0);
        tmp_ = Folder(QStringLiteral("tmp"), nobody_->pw_uid, nobody_->pw_gid, 0700);
    }
    void TearDown() override {
        if (!tmp_.isEmpty()) {
            EXPECT_EQ(Entries(tmp_), QStringList()) << "a copy left in the temporary folder";
        }
        SaveStrategy::TearDown();
    }

    // A folder of the given owner and mode inside the test's folder.
    QString Folder(const QString& name, uid_t uid, gid_t gid, mode_t mode) const {
        const QString path = Path(name);
        EXPECT_TRUE(QDir().mkpath(path));
        EXPECT_EQ(::chown(Local(path).constData(), uid, gid), 0);
        EXPECT_EQ(::chmod(Local(path).constData(), mode), 0);
        return path;
    }

    static QString File(const QString& folder, const QString& name, uid_t uid, gid_t gid,
                        mode_t mode) {
        const QString path = folder + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(kOld);
        file.close();
        EXPECT_EQ(::chown(Local(path).constData(), uid, gid), 0);
        EXPECT_EQ(::chmod(Local(path).constData(), mode), 0);
        return path;
    }

    // The save as nobody: 0 when written, 1 when it failed with FileError. The temporary
    // folder is tmp_, to see that no copy is left there.
    int SaveAsNobody(const QString& path, qint64 failAfter = -1) const {
        return AsNobody([&] {
            ::setenv("TMPDIR", Local(tmp_).constData(), 1);
            vrma::SetWriteFailureAfterBytes(failAfter);
            try {
                vrma::WriteFileAtomically(path, kNew);
                return 0;
            } catch (const vrma::FileError&) {
                return 1;
            }
        });
    }

    const passwd* nobody_ = nullptr;
    QString tmp_;
};

TEST_F(SaveAsUser, AGroupWritableFileOfAnotherOwnerKeepsOwnerAndGroup) {
    // The folder is nobody's; the file root's, writable by nobody's group.
    const QString folder = Folder(QStringLiteral("shared"), nobody_->pw_uid, nobody_->pw_gid, 0755);
    const QString path = File(folder, QStringLiteral("t.tab"), 0, nobody_->pw_gid, 0664);
    for (qint64 after : {0, 4}) {
        EXPECT_EQ(SaveAsNobody(path, after), 1);
        EXPECT_EQ(Bytes(path), kOld);
        EXPECT_EQ(Entries(folder), QStringList({"t.tab"}));
    }
    EXPECT_EQ(SaveAsNobody(path), 0);
    EXPECT_EQ(Bytes(path), kNew);
    const struct stat info = Stat(path);
    EXPECT_EQ(info.st_uid, uid_t(0)) << "the owner was lost";
    EXPECT_EQ(info.st_gid, nobody_->pw_gid);
    EXPECT_EQ(info.st_mode & 07777, mode_t(0664));
    EXPECT_EQ(Entries(folder), QStringList({"t.tab"}));
}

TEST_F(SaveAsUser, AWritableFileInAFolderTheUserMayNotWriteTo) {
    const QString folder = Folder(QStringLiteral("locked"), 0, 0, 0755);
    const QString path =
        File(folder, QStringLiteral("p.crd"), nobody_->pw_uid, nobody_->pw_gid, 0644);
    for (qint64 after : {0, 4}) {
        EXPECT_EQ(SaveAsNobody(path, after), 1);
        EXPECT_EQ(Bytes(path), kOld);
        EXPECT_EQ(Entries(folder), QStringList({"p.crd"}));
    }
    EXPECT_EQ(SaveAsNobody(path), 0);
    EXPECT_EQ(Bytes(path), kNew);
    EXPECT_EQ(Stat(path).st_uid, nobody_->pw_uid);
    // A new file there still cannot be made.
    EXPECT_EQ(SaveAsNobody(folder + QStringLiteral("/new.crd")), 1);
    EXPECT_EQ(Entries(folder), QStringList({"p.crd"}));
}

TEST_F(SaveAsUser, AFileOfTheUsersOwnIsReplacedWithItsModeAndGroup) {
    const QString folder = Folder(QStringLiteral("own"), nobody_->pw_uid, nobody_->pw_gid, 0755);
    const QString path =
        File(folder, QStringLiteral("c.cam"), nobody_->pw_uid, nobody_->pw_gid, 0600);
    const ino_t before = Stat(path).st_ino;
    EXPECT_EQ(SaveAsNobody(path), 0);
    EXPECT_EQ(Bytes(path), kNew);
    const struct stat info = Stat(path);
    EXPECT_NE(info.st_ino, before);
    EXPECT_EQ(info.st_uid, nobody_->pw_uid);
    EXPECT_EQ(info.st_gid, nobody_->pw_gid);
    EXPECT_EQ(info.st_mode & 07777, mode_t(0600));
}

} // namespace
