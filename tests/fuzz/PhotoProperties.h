#pragma once
// The property of the photograph reader on any bytes: it gives an 8-bit grey image within
// the pixel limit, the same image every time, or refuses with one of its four Russian
// messages (unreadable or damaged, a format not read, too large, not enough memory); it
// never crashes, hangs or throws anything else. The limit is 4 megapixels here, so that a
// small input cannot make every run a long one.
#include "FuzzSupport.h"
#include "calib/Photograph.h"
#include "calib/TargetDetection.h"
#include "data/Messages.h"

#include <QByteArray>
#include <QString>
#include <opencv2/core.hpp>

#include <cstdint>
#include <exception>

namespace vrma::fuzz {

constexpr std::int64_t kFuzzPhotoPixels = std::int64_t{1} << 22;

inline bool IsPhotoRefusal(const QString& message) {
    return message == messages::PhotoUnreadable() ||
           message.startsWith(QStringLiteral("Снимок в формате ")) ||
           message.startsWith(QStringLiteral("Снимок слишком велик: ")) ||
           message.startsWith(QStringLiteral("Для снимка "));
}

inline void CheckPhotograph(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    cv::Mat grey;
    try {
        grey = DecodePhotographBytes(bytes, kFuzzPhotoPixels);
    } catch (const PhotoReadError& error) {
        const QString message = QString::fromUtf8(error.what());
        VRMA_FUZZ_CHECK(IsPhotoRefusal(message), message);
        return;
    } catch (const std::exception& error) {
        Fail("only PhotoReadError is thrown", QString::fromUtf8(error.what()));
    }
    VRMA_FUZZ_CHECK(
        grey.type() == CV_8UC1 && grey.cols > 0 && grey.rows > 0,
        QStringLiteral("%1 x %2 of type %3").arg(grey.cols).arg(grey.rows).arg(grey.type()));
    VRMA_FUZZ_CHECK(std::int64_t(grey.total()) <= kFuzzPhotoPixels, QString::number(grey.total()));
    // Every pixel comes from the file: a second reading gives the same image.
    const cv::Mat again = DecodePhotographBytes(bytes, kFuzzPhotoPixels);
    VRMA_FUZZ_CHECK(again.size() == grey.size() && cv::norm(grey, again, cv::NORM_INF) == 0.0,
                    QStringLiteral("the readings differ"));
}

} // namespace vrma::fuzz
