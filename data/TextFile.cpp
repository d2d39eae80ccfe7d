#include "data/TextFile.h"

#include "data/Errors.h"
#include "data/FileNames.h"
#include "data/Lines.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

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

} // namespace vrma
