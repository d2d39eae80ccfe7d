#include "data/SameContents.h"

#include "data/Errors.h"
#include "data/FileNames.h"
#include "data/TextFile.h"

#include <QCryptographicHash>

#include <optional>

#include <sys/stat.h>

namespace vrma {

namespace {

// The file's SHA-256, or none when it cannot be read.
std::optional<QByteArray> Digest(const QString& file) {
    try {
        DataFileReader reader(file);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        QByteArray buffer(qsizetype{1} << 20, Qt::Uninitialized);
        for (qint64 n; (n = reader.Read(buffer.data(), buffer.size())) > 0;)
            hash.addData(QByteArrayView(buffer.constData(), n));
        return hash.result();
    } catch (const FileError&) {
        return std::nullopt;
    }
}

} // namespace

std::vector<qsizetype> FirstWithSameBytes(std::span<const QString> files) {
    const auto count = qsizetype(files.size());
    std::vector<qsizetype> first(files.size(), -1);
    std::vector<qint64> sizes(files.size(), -1);
    for (qsizetype k = 0; k < count; ++k) {
        struct stat st {};
        if (::stat(EncodeFileName(files[size_t(k)]).constData(), &st) == 0 && S_ISREG(st.st_mode))
            sizes[size_t(k)] = qint64(st.st_size);
    }
    std::vector<std::optional<std::optional<QByteArray>>> digests(files.size());
    const auto digest = [&](qsizetype k) -> const std::optional<QByteArray>& {
        auto& known = digests[size_t(k)];
        if (!known)
            known = Digest(files[size_t(k)]);
        return *known;
    };
    for (qsizetype k = 1; k < count; ++k) {
        if (sizes[size_t(k)] < 0)
            continue;
        for (qsizetype j = 0; j < k; ++j) {
            if (first[size_t(j)] >= 0 || sizes[size_t(j)] != sizes[size_t(k)])
                continue;
            if (IdentifyFile(files[size_t(j)]) == IdentifyFile(files[size_t(k)]) ||
                (digest(j) && digest(j) == digest(k))) {
                first[size_t(k)] = j;
                break;
            }
        }
    }
    return first;
}

} // namespace vrma
