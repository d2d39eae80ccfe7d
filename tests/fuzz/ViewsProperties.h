#pragma once
// The property of the views' reader (calib/FieldViews) and of the field check it feeds, on
// any set of coordinate files: the files are read, or the first view whose file does not
// read is named with the reader's one message; the points read are numbers; the field
// check on them gives finite figures or refuses with a Russian message of its own
// (CalcError), and nothing else is thrown.
//
// The input is the files one after another, separated by the byte 0x1E: the run's scene
// and image files, then each view's (a missing last file is empty; at most 32 views). The
// decimal separator is ".".
#include "FuzzSupport.h"
#include "Properties.h"
#include "calib/FieldViews.h"
#include "data/Errors.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <exception>
#include <vector>

namespace vrma::fuzz {

constexpr int kFuzzMaxViews = 32;

inline bool IsRussian(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x0410 && c.unicode() <= 0x044F)
            return true;
    return false;
}

inline void CheckFieldViews(const std::uint8_t* data, std::size_t size) {
    EnsureApp();
    QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\x1e');
    if (parts.size() % 2 == 1)
        parts.append(QByteArray());
    parts = parts.mid(0, 2 * (kFuzzMaxViews + 1));
    static QTemporaryDir dir;
    std::vector<FieldViewFiles> files;
    for (qsizetype k = 0; k < parts.size(); k += 2) {
        FieldViewFiles view{dir.filePath(QStringLiteral("s%1.crd").arg(k / 2)),
                            dir.filePath(QStringLiteral("i%1.crd").arg(k / 2))};
        for (const auto& [name, bytes] :
             {std::pair{view.scene, parts[k]}, {view.image, parts[k + 1]}}) {
            QFile file(name);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return;
            file.write(bytes);
        }
        files.push_back(view);
    }
    ScopedSeparator separator(QLatin1Char('.'));
    detail::SilentHost host;
    detail::ScopedHost installed(host);

    FieldViewsRead read = ReadFieldViews(files);
    if (read.failed) {
        VRMA_FUZZ_CHECK(*read.failed < files.size() && read.views.empty(),
                        QString::number(*read.failed));
        VRMA_FUZZ_CHECK(host.messages == 1 &&
                            host.lastText == QStringLiteral("Ошибка чтения файла сцены!"),
                        host.lastText);
        // The views before it read.
        for (size_t k = 0; k < *read.failed; ++k) {
            VT_Points points(1);
            VRMA_FUZZ_CHECK(ReadPointFile(files[k].scene, &points) &&
                                ReadPointFile(files[k].image, &points),
                            QString::number(k));
        }
        return;
    }
    VRMA_FUZZ_CHECK(host.messages == 0 && read.views.size() == files.size(),
                    QString::number(read.views.size()));
    for (const FieldView& view : read.views)
        for (const auto* points : {&view.scene, &view.image})
            for (const PlanePoint& p : *points)
                VRMA_FUZZ_CHECK(std::isfinite(p.x) && std::isfinite(p.y), QString());

    FieldCheckInput input;
    input.scene = read.views.front().scene;
    input.image = read.views.front().image;
    input.views.assign(read.views.begin() + 1, read.views.end());
    input.coefficient = 1.0;
    input.sd = 0.0;
    input.n = 1;
    try {
        const FieldCheck check = CheckField(input);
        VRMA_FUZZ_CHECK(check.viewCount == qint32(files.size()), QString::number(check.viewCount));
        for (const std::optional<double>& value :
             {check.multiviewFx, check.multiviewFy, check.multiviewRatio, check.multiviewRatioSe,
              check.bias, check.biasSe, std::optional<double>(check.homographyRmsPx)})
            VRMA_FUZZ_CHECK(!value || std::isfinite(*value), QString());
        VRMA_FUZZ_CHECK(!check.multiviewRatio || *check.multiviewRatio > 0.0, QString());
    } catch (const CalcError& error) {
        const QString message = QString::fromUtf8(error.what());
        VRMA_FUZZ_CHECK(IsRussian(message), message);
    } catch (const std::exception& error) {
        Fail("only CalcError is thrown", QString::fromUtf8(error.what()));
    }
}

} // namespace vrma::fuzz
