#include "data/OutputFiles.h"

#include "data/CleanExit.h"
#include "data/Errors.h"
#include "data/FileNames.h"
#include "data/Messages.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrma {

namespace {

// The bytes a simulated full disk still takes, or -1.
qint64 g_writeBudget = -1;

constexpr std::size_t kCopyBuffer = std::size_t{256} * 1024;

[[noreturn]] void Fail(const QString& message) {
    throw FileError(message.toStdString());
}

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int d = -1) : fd(d) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(Descriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    Descriptor& operator=(Descriptor&&) = delete;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    // Closes now; false when the close reports an error (a delayed write failure).
    bool Close() {
        const int d = fd;
        fd = -1;
        return d < 0 || ::close(d) == 0;
    }
};

// How many of size bytes a write may take before the simulated disk is full, and whether
// it then fails.
qint64 Allowed(qint64 size, bool simulate, bool* fail) {
    *fail = simulate && g_writeBudget >= 0 && g_writeBudget <= size;
    const qint64 allowed = simulate && g_writeBudget >= 0 ? std::min(size, g_writeBudget) : size;
    if (simulate && g_writeBudget >= 0)
        g_writeBudget -= allowed;
    return allowed;
}

// Writes all of data at offset (offset < 0: at the descriptor's own position, as a pipe or
// a device takes it); false on any failure. Honours the simulated full disk.
bool WriteAll(int fd, const char* data, qint64 size, qint64 offset, bool simulate) {
    bool fail = false;
    const qint64 limit = Allowed(size, simulate, &fail);
    qint64 done = 0;
    while (done < limit) {
        const std::size_t count = std::size_t(limit - done);
        const ssize_t n = offset < 0 ? ::write(fd, data + done, count)
                                     : ::pwrite(fd, data + done, count, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return !fail;
}

// A fresh name beside the file: "<folder>/.<base>.<random>~".
QByteArray TemporaryName(const QByteArray& folder, const QByteArray& base) {
    return folder + "/." + base + '.' +
           QByteArray::number(QRandomGenerator::global()->generate(), 36) + '~';
}

// A new file in the folder, created exclusively, mode 0600; -1 when none can be made.
int CreateTemporary(const QByteArray& folder, const QByteArray& base, QByteArray* path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        *path = TemporaryName(folder, base);
        const int fd = ::open(path->constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// Copies a file's bytes from one descriptor to another through the buffer; false on a
// failure.
bool CopyBytes(int from, int to, std::vector<char>& buffer, qint64* size) {
    qint64 at = 0;
    for (;;) {
        const ssize_t n = ::pread(from, buffer.data(), buffer.size(), off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!WriteAll(to, buffer.data(), n, at, false))
            return false;
        at += n;
    }
    *size = at;
    return true;
}

std::function<void(const QString&)>& BeforeReplaceHook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

// A path removed when it goes out of scope, unless kept.
struct RemovedPath {
    QByteArray path;
    bool armed = false;
    RemovedPath() = default;
    RemovedPath(const RemovedPath&) = delete;
    RemovedPath& operator=(const RemovedPath&) = delete;
    ~RemovedPath() { Remove(); }
    void Arm(const QByteArray& p) {
        path = p;
        armed = true;
    }
    void Keep() { armed = false; }
    void Remove() {
        if (armed)
            ::unlink(path.constData());
        armed = false;
    }
};

// The folder and the last part of an absolute path.
QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// One file of the set being replaced: its new bytes made ready aside (nothing touched
// yet), then put in place, and on request put back as it was (see the header). To be put
// back by rename, the old file keeps a second name beside it (a hard link, or where the
// file system has none a copy with its owner, group and mode) until the end.
class StagedFile {
public:
    StagedFile(const QString& fileName, const QByteArray& target, const QByteArray& bytes,
               bool keepOld)
        : name_(fileName), bytes_(bytes), target_(target), folder_(FolderOf(target)),
          base_(target.mid(target.lastIndexOf('/') + 1)) {
        exists_ = ::stat(target_.constData(), &old_) == 0;
        if (exists_ && (!S_ISREG(old_.st_mode) || ::access(target_.constData(), W_OK) != 0 ||
                        (old_.st_mode & 0222) == 0))
            Fail(messages::FileNotWritable(name_));
        // Another name of the file would keep the old text after a rename.
        if ((!exists_ || old_.st_nlink == 1) && StageForRename(keepOld))
            return;
        StageInPlace();
    }

    // Puts the new bytes in place; throws FileError, the old file as it was.
    void Commit() {
        if (const auto& hook = BeforeReplaceHook())
            hook(name_);
        if (inPlace_) {
            if (WriteAll(fd_.fd, bytes_.constData(), bytes_.size(), 0, true) &&
                ::ftruncate(fd_.fd, off_t(bytes_.size())) == 0 && ::fsync(fd_.fd) == 0) {
                committed_ = true;
                return;
            }
            PutOldBytesBack();
            Fail(messages::FileNotWritten(name_));
        }
        if (::rename(staged_.path.constData(), target_.constData()) != 0)
            Fail(messages::FileNotWritten(name_));
        staged_.Keep();
        committed_ = true;
    }

    // After Commit: the old file back (or no file, where there was none).
    void Undo() {
        if (!committed_)
            return;
        committed_ = false;
        if (inPlace_) {
            PutOldBytesBack();
        } else if (exists_) {
            if (::rename(old_copy_.path.constData(), target_.constData()) == 0)
                old_copy_.Keep();
        } else {
            ::unlink(target_.constData());
        }
    }

private:
    // The temporary file with the new bytes, given the old file's owner, group and mode;
    // false when they cannot be kept (nothing is left then). Throws FileError on a failed
    // write.
    bool StageForRename(bool keepOld) {
        QByteArray path;
        Descriptor temp(CreateTemporary(folder_, base_, &path));
        if (temp.fd < 0) {
            if (exists_)
                return false; // a folder we may not write to: in place
            Fail(messages::FileNotCreated(name_));
        }
        staged_.Arm(path);
        if (!GiveOldMetadata(temp.fd)) {
            staged_.Remove();
            return false;
        }
        if (!WriteAll(temp.fd, bytes_.constData(), bytes_.size(), 0, true) ||
            ::fsync(temp.fd) != 0 || !temp.Close())
            Fail(messages::FileNotWritten(name_));
        if (keepOld && exists_)
            KeepOldName();
        return true;
    }

    // The owner, group and mode the file must keep (a new file: the umask's mode).
    bool GiveOldMetadata(int fd) const {
        const mode_t mode = exists_ ? (old_.st_mode & 07777) : (0666 & ~CurrentUmask());
        if (exists_) {
            struct stat now {};
            // chown first: it clears setgid, which fchmod then sets again where allowed.
            if ((::fstat(fd, &now) != 0) ||
                ((now.st_uid != old_.st_uid || now.st_gid != old_.st_gid) &&
                 ::fchown(fd, old_.st_uid, old_.st_gid) != 0))
                return false;
        }
        if (::fchmod(fd, mode) != 0)
            return false;
        if (exists_) {
            struct stat now {};
            if (::fstat(fd, &now) != 0 || now.st_uid != old_.st_uid || now.st_gid != old_.st_gid ||
                (now.st_mode & 07777) != mode)
                return false; // e.g. setgid dropped for a group we are not in
        }
        return true;
    }

    // A second name of the old file beside it, to put it back by: a hard link, or a copy.
    void KeepOldName() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray path = TemporaryName(folder_, base_);
            if (::link(target_.constData(), path.constData()) == 0) {
                old_copy_.Arm(path);
                return;
            }
            if (errno != EEXIST)
                break;
        }
        QByteArray path;
        Descriptor copy(CreateTemporary(folder_, base_, &path));
        if (copy.fd < 0)
            Fail(messages::FileNotCreated(name_));
        old_copy_.Arm(path);
        const Descriptor old(::open(target_.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        std::vector<char> buffer(kCopyBuffer);
        qint64 size = 0;
        if (old.fd < 0 || !GiveOldMetadata(copy.fd) || !CopyBytes(old.fd, copy.fd, buffer, &size) ||
            ::fsync(copy.fd) != 0 || !copy.Close())
            Fail(messages::FileNotWritten(name_));
    }

    // The old bytes copied aside, the file kept open for writing.
    void StageInPlace() {
        inPlace_ = true;
        staged_.Remove();
        fd_.fd = ::open(target_.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd_.fd < 0 || ::fstat(fd_.fd, &st) != 0 || !S_ISREG(st.st_mode))
            Fail(messages::FileNotCreated(name_));
        QByteArray path;
        Descriptor copy(CreateTemporary(folder_, base_, &path));
        if (copy.fd < 0)
            copy.fd = CreateTemporary(EncodeFileName(QDir::tempPath()), base_, &path);
        if (copy.fd < 0)
            Fail(messages::FileNotCreated(name_));
        old_copy_.Arm(path);
        // The buffer that puts the old bytes back is taken now: that must not need memory.
        buffer_.resize(kCopyBuffer);
        if (!CopyBytes(fd_.fd, copy.fd, buffer_, &oldSize_))
            Fail(messages::FileNotWritten(name_));
        copyFd_.fd = copy.fd;
        copy.fd = -1;
    }

    // In place: the copy written back; when that fails it stays, as the only whole old
    // text.
    void PutOldBytesBack() {
        for (qint64 at = 0; at < oldSize_;) {
            const ssize_t n = ::pread(copyFd_.fd, buffer_.data(), buffer_.size(), off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || !WriteAll(fd_.fd, buffer_.data(), n, at, false)) {
                old_copy_.Keep();
                return;
            }
            at += n;
        }
        if (::ftruncate(fd_.fd, off_t(oldSize_)) != 0 || ::fsync(fd_.fd) != 0)
            old_copy_.Keep();
    }

    QString name_;
    QByteArray bytes_;
    QByteArray target_;
    QByteArray folder_;
    QByteArray base_;
    struct stat old_ {};
    bool exists_ = false;
    bool inPlace_ = false;
    bool committed_ = false;
    RemovedPath staged_;   // rename: the new bytes
    RemovedPath old_copy_; // the old file's second name (rename) or bytes (in place)
    Descriptor fd_;        // in place: the file
    Descriptor copyFd_;    // in place: the copy
    std::vector<char> buffer_;
    qint64 oldSize_ = 0;
};

// A name that is no regular file: opened before anything is written (a pipe nobody reads
// is refused, not waited on), then written as it stands.
class StreamFile {
public:
    StreamFile(const QString& fileName, const OutputTarget& target) : name_(fileName) {
        if (target.descriptor >= 0) {
            fd_.fd = ::fcntl(target.descriptor, F_DUPFD_CLOEXEC, 0);
        } else {
            fd_.fd = ::open(target.path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            const int flags = fd_.fd >= 0 ? ::fcntl(fd_.fd, F_GETFL) : -1;
            if (flags < 0 || ::fcntl(fd_.fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
                fd_.Close();
        }
        if (fd_.fd < 0)
            Fail(messages::FileNotWritten(name_));
    }

    void Write(const QByteArray& bytes) {
        // What the program printed before goes first.
        std::fflush(nullptr);
        if (!WriteAll(fd_.fd, bytes.constData(), bytes.size(), -1, true) || !fd_.Close())
            Fail(messages::FileNotWritten(name_));
    }

private:
    QString name_;
    Descriptor fd_;
};

// True for a name that is written as it stands (see the header).
bool IsStream(const OutputTarget& target) {
    struct stat st {};
    return target.descriptor >= 0 || (::stat(target.path.constData(), &st) == 0 &&
                                      !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
}

// An exclusive lock on every folder, taken in one order (their paths sorted), so that two
// writers of overlapping sets cannot wait on each other; released when the locks go. A
// folder that cannot be opened or locked is written without.
std::vector<Descriptor> LockFolders(std::vector<QByteArray> folders) {
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    std::vector<Descriptor> locks;
    locks.reserve(folders.size());
    for (const QByteArray& folder : folders) {
        Descriptor lock(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (lock.fd < 0)
            continue;
        while (::flock(lock.fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        locks.push_back(std::move(lock));
    }
    return locks;
}

} // namespace

void WriteFileSet(std::span<const OutputFile> files) {
    // Where each lands, and no two in one place, before anything is done.
    std::vector<OutputTarget> targets;
    std::vector<FileIdentity> identities;
    targets.reserve(files.size());
    identities.reserve(files.size());
    for (const OutputFile& file : files) {
        targets.push_back(ResolveOutput(file.name));
        identities.push_back(IdentifyFile(file.name));
        for (size_t k = 0; k + 1 < identities.size(); ++k)
            if (identities[k] == identities.back())
                Fail(messages::SameFileTwice(files[k].name, file.name));
    }
    std::vector<std::pair<std::unique_ptr<StreamFile>, size_t>> streams;
    std::vector<size_t> regular;
    std::vector<QByteArray> folders;
    regular.reserve(files.size());
    folders.reserve(files.size());
    for (size_t k = 0; k < files.size(); ++k) {
        if (IsStream(targets[k])) {
            streams.emplace_back(std::make_unique<StreamFile>(files[k].name, targets[k]), k);
        } else {
            regular.push_back(k);
            folders.push_back(FolderOf(targets[k].path));
        }
    }
    const std::vector<Descriptor> locks = LockFolders(std::move(folders));
    for (const auto& [stream, k] : streams)
        stream->Write(files[k].bytes);

    const WriteSection section;
    std::vector<std::unique_ptr<StagedFile>> staged;
    staged.reserve(regular.size());
    for (const size_t k : regular)
        staged.push_back(std::make_unique<StagedFile>(files[k].name, targets[k].path,
                                                      files[k].bytes, regular.size() > 1));
    // Stopped while they were made ready: nothing is put in place, and the process ends as
    // the section closes.
    if (SignalArrived())
        Fail(messages::FileNotWritten(files[regular.front()].name));
    size_t committed = 0;
    try {
        for (; committed < staged.size(); ++committed)
            staged[committed]->Commit();
    } catch (...) {
        while (committed > 0)
            staged[--committed]->Undo();
        throw;
    }
}

void WriteFileAtomically(const QString& fileName, const QByteArray& bytes) {
    const OutputFile file{fileName, bytes};
    WriteFileSet(std::span(&file, 1));
}

void WriteFilePair(const QString& firstName, const QByteArray& firstBytes,
                   const QString& secondName, const QByteArray& secondBytes) {
    const OutputFile pair[] = {{firstName, firstBytes}, {secondName, secondBytes}};
    WriteFileSet(pair);
}

void SetBeforeReplaceHook(std::function<void(const QString&)> hook) {
    BeforeReplaceHook() = std::move(hook);
}

void IgnoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

void SetWriteFailureAfterBytes(qint64 n) {
    g_writeBudget = n < 0 ? -1 : n;
}

} // namespace vrma
