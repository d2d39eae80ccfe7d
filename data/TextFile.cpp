#include "data/TextFile.h"

#include "data/CleanExit.h"
#include "data/Errors.h"
#include "data/FileNames.h"
#include "data/Lines.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrma {

namespace {

// The code page as two tables, made once: byte to character, and character to byte.
struct Cp1251Tables {
    std::array<char16_t, 256> toUnicode{};
    // 0 for a character that the code page cannot hold (U+0000 itself is byte 0).
    std::array<unsigned char, 65536> toByte{};
};

std::unique_ptr<Cp1251Tables> BuildTables() {
    auto tables = std::make_unique<Cp1251Tables>();
    QStringDecoder decoder("windows-1251");
    for (int byte = 0; byte < 256; ++byte) {
        char16_t unicode = static_cast<char16_t>(byte);
        if (byte >= 0x80 && decoder.isValid()) {
            const char c = static_cast<char>(byte);
            const QString decoded = decoder.decode(QByteArrayView(&c, 1));
            decoder.resetState();
            if (decoded.size() == 1 && decoded.at(0) != QChar::ReplacementCharacter)
                unicode = decoded.at(0).unicode();
        }
        // 0x98 is left undefined by the code page; it stands for U+0098 both ways.
        if (byte == 0x98)
            unicode = u'\u0098';
        tables->toUnicode[static_cast<std::size_t>(byte)] = unicode;
    }
    for (int byte = 0; byte < 256; ++byte)
        tables->toByte[tables->toUnicode[static_cast<std::size_t>(byte)]] =
            static_cast<unsigned char>(byte);
    return tables;
}

const Cp1251Tables& Tables() {
    static const std::unique_ptr<Cp1251Tables> tables = BuildTables();
    return *tables;
}

qint64 g_failWritesAfter = -1;

[[noreturn]] void FailFile(const char* what, const QString& fileName) {
    throw FileError(
        QStringLiteral("%1 \"%2\"").arg(QString::fromUtf8(what), fileName).toStdString());
}

// What a read call gave, the call made again when a signal broke it off; throws FileError
// when it fails otherwise.
template <class Read> qint64 ReadAgainIfInterrupted(Read&& read, const QString& fileName) {
    for (;;) {
        const ssize_t n = read();
        if (n >= 0)
            return qint64(n);
        if (errno != EINTR)
            FailFile("Не удаётся прочитать файл", fileName);
    }
}

} // namespace

QString DecodeCp1251(const char* data, qsizetype size) {
    const auto& table = Tables().toUnicode;
    QString text(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < size; ++i)
        out[i] = table[static_cast<unsigned char>(data[i])];
    return text;
}

namespace {

// The character at p (a surrogate pair counts as one) as the user sees it, with its
// code point: "«é» (U+00E9)"; a lone surrogate is named by its code alone.
QString DescribeCharacter(const QChar* p, const QChar* end) {
    char32_t code = p->unicode();
    QString shown;
    if (p->isHighSurrogate() && p + 1 != end && p[1].isLowSurrogate()) {
        code = QChar::surrogateToUcs4(p[0], p[1]);
        shown = QString(p, 2);
    } else if (!p->isSurrogate() && p->isPrint()) {
        shown = QString(*p);
    }
    const QString number =
        QStringLiteral("U+%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper();
    return shown.isEmpty() ? number : QStringLiteral("«%1» (%2)").arg(shown, number);
}

// Encodes text into out (which has room for text.size() bytes); returns the end. A
// character that the code page cannot hold becomes '?' when strict is false, and
// otherwise stops the encoding with an EncodingError naming it and the line (line > 0).
char* EncodeCp1251Into(QStringView text, char* out, bool strict, qsizetype line) {
    const auto& table = Tables().toByte;
    const QChar* p = text.data();
    const QChar* const end = p + text.size();
    for (; p != end; ++p) {
        const char16_t c = p->unicode();
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
            continue;
        }
        // A byte of a file name that is no UTF-8 (data/FileNames) is that byte: the name a
        // file holds (a camera file naming its table) is the name on the disk.
        if (c >= 0xDC80 && c <= 0xDCFF) {
            *out++ = static_cast<char>(c - 0xDC00);
            continue;
        }
        const unsigned char byte = QChar::isSurrogate(c) ? 0 : table[c];
        if (byte == 0 && strict)
            throw EncodingError(QStringLiteral("Строка %1: символ %2 нельзя записать в "
                                               "кодировке Windows-1251. Файл не записан.")
                                    .arg(line)
                                    .arg(DescribeCharacter(p, end))
                                    .toStdString());
        if (p->isHighSurrogate() && p + 1 != end && p[1].isLowSurrogate())
            ++p; // one character beyond the basic plane: one '?'
        *out++ = byte != 0 ? static_cast<char>(byte) : '?';
    }
    return out;
}

} // namespace

QByteArray EncodeCp1251(QStringView text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* const end = EncodeCp1251Into(text, bytes.data(), false, 0);
    bytes.truncate(end - bytes.constData());
    return bytes;
}

QByteArray EncodeFileLine(QStringView text, qsizetype line) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* const end = EncodeCp1251Into(text, bytes.data(), true, line);
    bytes.truncate(end - bytes.constData());
    return bytes;
}

int Cp1251ByteOf(QChar character) {
    if (character.unicode() == 0)
        return 0;
    const unsigned char byte = Tables().toByte[character.unicode()];
    return byte != 0 ? byte : -1;
}

bool IsDataFile(const QString& fileName) {
    struct stat st {};
    return ::stat(EncodeFileName(fileName).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

std::function<void(const QString&)>& BeforeOpenHook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

} // namespace

void SetBeforeOpenHook(std::function<void(const QString&)> hook) {
    BeforeOpenHook() = std::move(hook);
}

DataFileReader::DataFileReader(const QString& fileName) : fileName_(fileName) {
    if (const auto& hook = BeforeOpenHook())
        hook(fileName);
    // Non-blocking: opening a pipe with no writer, or a device, would otherwise wait.
    const QByteArray path = EncodeFileName(fileName);
    if (!path.isEmpty())
        fd_ = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        FailFile("Не удаётся открыть файл", fileName);
    }
    sizeHint_ = std::min<qint64>(qint64(st.st_size), qint64(st.st_blocks) * 512);
}

DataFileReader::~DataFileReader() {
    if (fd_ >= 0)
        ::close(fd_);
}

qint64 DataFileReader::Read(char* data, qint64 size) {
    return ReadAgainIfInterrupted([&] { return ::read(fd_, data, std::size_t(size)); }, fileName_);
}

qint64 DataFileReader::ReadAt(char* data, qint64 size, qint64 offset) const {
    return ReadAgainIfInterrupted(
        [&] { return ::pread(fd_, data, std::size_t(size), off_t(offset)); }, fileName_);
}

namespace {

constexpr qsizetype kReadChunk = qsizetype{64} * 1024;
// The first buffer: the whole file when it is small, else this much, doubled as it fills.
constexpr qsizetype kFirstBuffer = qsizetype{16} * 1024 * 1024;

// Reads into bytes until the end of the file or a NUL, or until done(data, from, to) gives
// the end of the text wanted (a position <= to; -1 to read on), data[from, to) being the
// bytes just read. The NUL and anything after it are not kept.
template <class Done>
QByteArray ReadText(const QString& fileName, qsizetype firstBuffer, Done&& done) {
    DataFileReader reader(fileName);
    QByteArray bytes(std::clamp<qsizetype>(reader.SizeHint() + 1, kReadChunk, firstBuffer),
                     Qt::Uninitialized);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size())
            bytes.resize(bytes.size() * 2);
        const qint64 n = reader.Read(bytes.data() + filled, bytes.size() - filled);
        if (n == 0)
            break;
        const qsizetype fresh = filled;
        const auto* nul =
            static_cast<const char*>(std::memchr(bytes.constData() + filled, 0, std::size_t(n)));
        filled = nul ? nul - bytes.constData() : filled + n;
        const qsizetype wanted = done(bytes.constData(), fresh, filled);
        if (wanted >= 0) {
            filled = wanted;
            break;
        }
        if (nul)
            break;
    }
    bytes.truncate(filled);
    return bytes;
}

} // namespace

QByteArray ReadFileBytes(const QString& fileName) {
    return ReadText(fileName, kFirstBuffer,
                    [](const char*, qsizetype, qsizetype) { return qsizetype{-1}; });
}

QStringList ReadFirstTextLines(const QString& fileName, qsizetype count) {
    qsizetype breaks = 0;
    // Enough once count line breaks are in: the count-th line is complete, whether its CR
    // is followed by an LF or not; the text is cut after that break.
    const QByteArray bytes =
        ReadText(fileName, kReadChunk, [&](const char* data, qsizetype from, qsizetype to) {
            for (qsizetype i = from; i < to; ++i) {
                const char c = data[i];
                if (c == '\n' && i > 0 && data[i - 1] == '\r')
                    continue; // the LF of a CR LF
                if ((c == '\r' || c == '\n') && ++breaks == count)
                    return i + 1;
            }
            return qsizetype{-1};
        });
    return DecodeTextLines(bytes);
}

QStringList DecodeTextLines(const QByteArray& bytes) {
    QStringList lines;
    ForEachLine(bytes.constData(), bytes.size(), [&lines](const char* line, qsizetype size) {
        lines.append(DecodeCp1251(line, size));
    });
    return lines;
}

QStringList ReadTextLines(const QString& fileName) {
    return DecodeTextLines(ReadFileBytes(fileName));
}

QByteArray EncodeTextLines(const QStringList& lines) {
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    // One byte per character at most, written in place. Every character is checked
    // before anything is written, so a text the code page cannot hold touches no file.
    QByteArray bytes(size, Qt::Uninitialized);
    char* out = bytes.data();
    qsizetype number = 0;
    for (const QString& line : lines) {
        out = EncodeCp1251Into(line, out, true, ++number);
        *out++ = '\r';
        *out++ = '\n';
    }
    bytes.truncate(out - bytes.constData());
    return bytes;
}

void WriteTextLines(const QString& fileName, const QStringList& lines) {
    WriteFileAtomically(fileName, EncodeTextLines(lines));
}

namespace {

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int d = -1) : fd(d) {}
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    // Closes now; false when the close reports an error (a delayed write failure).
    bool Close() {
        const int d = fd;
        fd = -1;
        return d < 0 || ::close(d) == 0;
    }
};

// Writes all of data at offset; false on any failure. Honours the simulated failure.
bool WriteAll(int fd, const char* data, qint64 size, qint64 offset, bool simulate) {
    // A simulated failure: the write stops after that many bytes, and fails even when
    // they were all the bytes there were.
    const bool fail = simulate && g_failWritesAfter >= 0;
    const qint64 limit = fail ? std::min(size, g_failWritesAfter) : size;
    qint64 done = 0;
    while (done < limit) {
        const ssize_t n =
            ::pwrite(fd, data + done, std::size_t(limit - done), off_t(offset + done));
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

// Copies a file's bytes from one descriptor to another; false on a failure.
bool CopyBytes(int from, int to, qint64* size) {
    std::vector<char> buffer(std::size_t(kReadChunk) * 4);
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

// One file being replaced: its new bytes made ready aside (nothing touched yet), then put
// in place, and on request put back as it was. Two ways, both leaving the old file as it
// was when a step fails and nothing aside behind:
// - rename: a complete temporary file beside the old one, given its owner, group and mode,
//   renamed over it; taken when that keeps everything (a new file; or an old one with no
//   other hard link whose owner, group and mode the temporary file could be given, in a
//   folder the user may write to). To be put back, the old file keeps a second name
//   beside it (a hard link, or where the file system has none a copy with its owner,
//   group and mode) until the end;
// - in place: the old bytes copied aside (beside it, or in the temporary folder), the new
//   ones written into the old file, and the copy written back when that fails or when the
//   file is put back.
class StagedFile {
public:
    StagedFile(const QString& fileName, const QByteArray& bytes, bool keepOld)
        : name_(fileName), bytes_(bytes) {
        // A link is followed: the file it names is the one written.
        QByteArray target = EncodeFileName(fileName);
        struct stat st {};
        if (::lstat(target.constData(), &st) == 0 && S_ISLNK(st.st_mode) &&
            ::stat(target.constData(), &st) == 0) {
            const std::unique_ptr<char, decltype(&std::free)> real(
                ::realpath(target.constData(), nullptr), &std::free);
            if (real)
                target = QByteArray(real.get());
        }
        target_ = target;
        const qsizetype slash = target.lastIndexOf('/');
        folder_ = slash < 0    ? QByteArrayLiteral(".")
                  : slash == 0 ? QByteArrayLiteral("/")
                               : target.left(slash);
        base_ = target.mid(slash + 1);
        exists_ = ::stat(target_.constData(), &old_) == 0;
        if (exists_ && (!S_ISREG(old_.st_mode) || ::access(target_.constData(), W_OK) != 0 ||
                        (old_.st_mode & 0222) == 0))
            FailFile("Файл недоступен для записи:", name_);
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
            FailFile("Не удаётся записать файл", name_);
        }
        if (::rename(staged_.path.constData(), target_.constData()) != 0)
            FailFile("Не удаётся записать файл", name_);
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
            FailFile("Не удаётся создать файл", name_);
        }
        staged_.Arm(path);
        if (!GiveOldMetadata(temp.fd)) {
            staged_.Remove();
            return false;
        }
        if (!WriteAll(temp.fd, bytes_.constData(), bytes_.size(), 0, true) ||
            ::fsync(temp.fd) != 0 || !temp.Close())
            FailFile("Не удаётся записать файл", name_);
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
            FailFile("Не удаётся создать файл", name_);
        old_copy_.Arm(path);
        const Descriptor old(::open(target_.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        qint64 size = 0;
        if (old.fd < 0 || !GiveOldMetadata(copy.fd) || !CopyBytes(old.fd, copy.fd, &size) ||
            ::fsync(copy.fd) != 0 || !copy.Close())
            FailFile("Не удаётся записать файл", name_);
    }

    // The old bytes copied aside, the file kept open for writing.
    void StageInPlace() {
        inPlace_ = true;
        staged_.Remove();
        fd_.fd = ::open(target_.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd_.fd < 0 || ::fstat(fd_.fd, &st) != 0 || !S_ISREG(st.st_mode))
            FailFile("Не удаётся создать файл", name_);
        QByteArray path;
        Descriptor copy(CreateTemporary(folder_, base_, &path));
        if (copy.fd < 0)
            copy.fd = CreateTemporary(EncodeFileName(QDir::tempPath()), base_, &path);
        if (copy.fd < 0)
            FailFile("Не удаётся создать файл", name_);
        old_copy_.Arm(path);
        if (!CopyBytes(fd_.fd, copy.fd, &oldSize_))
            FailFile("Не удаётся записать файл", name_);
        copyFd_.fd = copy.fd;
        copy.fd = -1;
    }

    // In place: the copy written back; when that fails it stays, as the only whole old
    // text.
    void PutOldBytesBack() {
        std::vector<char> buffer(std::size_t(kReadChunk) * 4);
        for (qint64 at = 0; at < oldSize_;) {
            const ssize_t n = ::pread(copyFd_.fd, buffer.data(), buffer.size(), off_t(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || !WriteAll(fd_.fd, buffer.data(), n, at, false)) {
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
    qint64 oldSize_ = 0;
};

} // namespace

void WriteFileAtomically(const QString& fileName, const QByteArray& bytes) {
    const WriteSection section;
    StagedFile file(fileName, bytes, false);
    file.Commit();
}

void WriteFilePair(const QString& firstName, const QByteArray& firstBytes,
                   const QString& secondName, const QByteArray& secondBytes) {
    if (IdentifyFile(firstName) == IdentifyFile(secondName))
        FailFile("Оба файла пары — один и тот же файл:", secondName);
    const WriteSection section;
    StagedFile first(firstName, firstBytes, true);
    StagedFile second(secondName, secondBytes, false);
    first.Commit();
    try {
        second.Commit();
    } catch (...) {
        first.Undo();
        throw;
    }
}

void SetBeforeReplaceHook(std::function<void(const QString&)> hook) {
    BeforeReplaceHook() = std::move(hook);
}

void IgnoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

void SetWriteFailureAfterBytes(qint64 n) {
    g_failWritesAfter = n < 0 ? -1 : n;
}

} // namespace vrma
