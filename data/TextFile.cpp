#include "data/TextFile.h"

#include "data/Errors.h"
#include "data/Lines.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

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

// An existing file "may not be written" when the user lacks the right or when it carries
// no write permission at all (a read-only file stays read-only for every user).
bool IsWritableFile(const QFileInfo& info) {
    constexpr QFile::Permissions anyWrite =
        QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isFile() && info.isWritable() && (info.permissions() & anyWrite);
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

int Cp1251ByteOf(QChar character) {
    if (character.unicode() == 0)
        return 0;
    const unsigned char byte = Tables().toByte[character.unicode()];
    return byte != 0 ? byte : -1;
}

bool IsDataFile(const QString& fileName) {
    return QFileInfo(fileName).isFile();
}

QByteArray ReadFileBytes(const QString& fileName) {
    // A pipe or a device is no data file: its end may never come.
    if (!IsDataFile(fileName))
        FailFile("Не удаётся открыть файл", fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        FailFile("Не удаётся открыть файл", fileName);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        FailFile("Не удаётся прочитать файл", fileName);
    return bytes;
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

void WriteFileAtomically(const QString& fileName, const QByteArray& bytes) {
    const QFileInfo target(fileName);
    if (target.exists() && !IsWritableFile(target))
        FailFile("Файл недоступен для записи:", fileName);

    // QSaveFile writes a temporary file in the target's folder and renames it over the
    // target on commit; the new file takes over the permissions of the old one. A failed
    // write discards the temporary and leaves the target as it was.
    //
    // Unbuffered, so that every byte reaches the file in write() and a short write (a full
    // disk) is seen there: a buffered tail would only be written by the flush in commit(),
    // whose failure this version of QSaveFile does not report, and the truncated file
    // would replace the old one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        FailFile("Не удаётся создать файл", fileName);
    const bool simulatedFailure = g_failWritesAfter >= 0;
    const qint64 count =
        simulatedFailure ? std::min<qint64>(g_failWritesAfter, bytes.size()) : bytes.size();
    if (file.write(bytes.constData(), count) != count || file.error() != QFileDevice::NoError ||
        simulatedFailure) {
        file.cancelWriting();
        FailFile("Не удаётся записать файл", fileName);
    }
    if (!file.commit())
        FailFile("Не удаётся записать файл", fileName);
}

void SetWriteFailureAfterBytes(qint64 n) {
    g_failWritesAfter = n < 0 ? -1 : n;
}

} // namespace vrma
