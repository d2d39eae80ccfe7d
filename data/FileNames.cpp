#include "data/FileNames.h"

#include <QDir>

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
    // Not there yet: where it would be made. The folder through its links, the name as is.
    QString absolute = name;
    if (!absolute.startsWith(QLatin1Char('/')))
        absolute = DecodeFileName(CurrentFolder()) + QLatin1Char('/') + absolute;
    absolute = QDir::cleanPath(absolute);
    const qsizetype slash = absolute.lastIndexOf(QLatin1Char('/'));
    const QByteArray folder =
        EncodeFileName(QStringView(absolute).left(std::max<qsizetype>(slash, 1)));
    const QByteArray leaf = EncodeFileName(QStringView(absolute).sliced(slash + 1));
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(folder.constData(), nullptr), &std::free);
    QByteArray path = resolved ? QByteArray(resolved.get()) : folder;
    if (!path.endsWith('/'))
        path.append('/');
    identity.path = path + leaf;
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
