#include "data/FileNames.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace vrma {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + the byte, for a byte 0x80 … 0xFF

bool IsContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return byte >= low && byte <= high;
}

// The length of the valid UTF-8 sequence at p (RFC 3629: no overlong forms, no
// surrogates, nothing beyond U+10FFFF), or 0.
int SequenceLength(const unsigned char* p, qsizetype left) {
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return left >= 2 && IsContinuation(p[1]) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        const unsigned char low = b == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = b == 0xED ? 0x9F : 0xBF;
        return left >= 3 && IsContinuation(p[1], low, high) && IsContinuation(p[2]) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        const unsigned char low = b == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = b == 0xF4 ? 0x8F : 0xBF;
        return left >= 4 && IsContinuation(p[1], low, high) && IsContinuation(p[2]) &&
                       IsContinuation(p[3])
                   ? 4
                   : 0;
    }
    return 0;
}

QByteArray CurrentFolder() {
    for (std::size_t size = 4096;; size *= 2) {
        QByteArray buffer(qsizetype(size), Qt::Uninitialized);
        if (::getcwd(buffer.data(), size))
            return QByteArray(buffer.constData());
        if (errno != ERANGE || size > (std::size_t{1} << 20))
            return QByteArrayLiteral("/");
    }
}

} // namespace

QString DecodeFileName(QByteArrayView bytes) {
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size;) {
        const int length = SequenceLength(p + i, size - i);
        if (length == 0) {
            name.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        name.append(QString::fromUtf8(reinterpret_cast<const char*>(p + i), length));
        i += length;
    }
    return name;
}

QByteArray EncodeFileName(QStringView name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype run = 0; // start of the characters not yet encoded
    const auto flush = [&](qsizetype end) {
        if (end > run)
            bytes.append(name.sliced(run, end - run).toUtf8());
    };
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF &&
            !(i > 0 && name[i - 1].isHighSurrogate())) {
            flush(i);
            bytes.append(char(c - kEscapeBase));
            run = i + 1;
        }
    }
    flush(name.size());
    return bytes;
}

QStringList DecodeArguments(int argc, char* const* argv) {
    QStringList arguments;
    for (int k = 0; k < argc && argv[k]; ++k)
        arguments.append(DecodeFileName(QByteArrayView(argv[k])));
    return arguments;
}

namespace {

// The most symbolic links followed, as the system follows them (beyond: the write fails).
constexpr int kMostLinks = 40;

QByteArray RealPath(const QByteArray& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.constData(), nullptr),
                                                           &std::free);
    return real ? QByteArray(real.get()) : QByteArray();
}

QByteArray Join(const QByteArray& folder, const QByteArray& leaf) {
    return folder.endsWith('/') ? folder + leaf : folder + '/' + leaf;
}

// A relative path after the current folder.
QByteArray Absolute(const QByteArray& path) {
    return path.startsWith('/') ? path : Join(CurrentFolder(), path);
}

// The text of a symbolic link; empty when the path is none.
QByteArray LinkText(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return {};
    for (std::size_t size = 256;; size *= 2) {
        QByteArray buffer(qsizetype(size), Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), buffer.data(), size);
        if (n < 0)
            return {};
        if (std::size_t(n) < size)
            return buffer.left(qsizetype(n));
        if (size > (std::size_t{1} << 20))
            return {};
    }
}

// The folders that hold this process's own descriptors as names.
bool IsOwnDescriptorFolder(const QByteArray& folder) {
    return folder == RealPath(QByteArrayLiteral("/proc/self/fd")) ||
           folder == RealPath(QByteArrayLiteral("/proc/thread-self/fd"));
}

} // namespace

OutputTarget ResolveOutput(QStringView name) {
    OutputTarget target;
    QByteArray path = EncodeFileName(name);
    if (path.isEmpty())
        return target;
    for (int hop = 0; hop <= kMostLinks; ++hop) {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray leaf = path.mid(slash + 1);
        if (leaf.isEmpty() || leaf == "." || leaf == "..") { // a folder
            const QByteArray real = RealPath(path);
            target.path = real.isEmpty() ? Absolute(path) : real;
            return target;
        }
        const QByteArray folder = RealPath(slash < 0    ? QByteArrayLiteral(".")
                                           : slash == 0 ? QByteArrayLiteral("/")
                                                        : path.left(slash));
        if (folder.isEmpty()) { // no such folder: nothing can be written there
            target.path = Absolute(path);
            return target;
        }
        target.path = Join(folder, leaf);
        if (IsOwnDescriptorFolder(folder)) {
            bool number = false;
            const int descriptor = leaf.toInt(&number);
            if (number && descriptor >= 0)
                target.descriptor = descriptor;
            return target;
        }
        const QByteArray link = LinkText(target.path);
        if (link.isEmpty())
            return target;
        path = link.startsWith('/') ? link : Join(folder, link);
    }
    return target;
}

QString AbsoluteFileName(const QString& name) {
    const QByteArray path = EncodeFileName(name);
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray leaf = path.mid(slash + 1);
    if (path.isEmpty() || leaf.isEmpty() || leaf == "." || leaf == "..")
        return DecodeFileName(ResolveOutput(name).path);
    const QByteArray folder = slash < 0    ? QByteArrayLiteral(".")
                              : slash == 0 ? QByteArrayLiteral("/")
                                           : path.left(slash);
    const QByteArray real = RealPath(folder);
    return DecodeFileName(real.isEmpty() ? Absolute(path) : Join(real, leaf));
}

FileIdentity IdentifyFile(const QString& name) {
    FileIdentity identity;
    const QByteArray bytes = EncodeFileName(name);
    struct stat st {};
    if (!bytes.isEmpty() && ::stat(bytes.constData(), &st) == 0) {
        identity.exists = true;
        identity.device = quint64(st.st_dev);
        identity.inode = quint64(st.st_ino);
        return identity;
    }
    // Not there yet: where a write would create it.
    identity.path = ResolveOutput(name).path;
    return identity;
}

std::optional<FileClash> FindFileClash(std::span<const NamedFile> inputs,
                                       std::span<const NamedFile> outputs) {
    std::vector<std::pair<const NamedFile*, FileIdentity>> seen;
    for (const NamedFile& input : inputs)
        if (!input.name.isEmpty())
            seen.emplace_back(&input, IdentifyFile(input.name));
    for (const NamedFile& output : outputs) {
        if (output.name.isEmpty())
            continue;
        const FileIdentity identity = IdentifyFile(output.name);
        for (const auto& [other, otherIdentity] : seen)
            if (otherIdentity == identity)
                return FileClash{output, *other};
        seen.emplace_back(&output, identity);
    }
    return std::nullopt;
}

} // namespace vrma
