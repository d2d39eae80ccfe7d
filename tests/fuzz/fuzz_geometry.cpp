// The camera and orientation readers: any content reads or fails as a whole; what is read
// and written reads back to the same values.
#include "FuzzSupport.h"
#include "data/Errors.h"
#include "data/GeometryFiles.h"
#include "data/TextFile.h"
#include "platform/Locale.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::EnsureApp();
    if (size == 0)
        return 0;
    const vrma::GeometryFormat format =
        (data[0] & 1) ? vrma::GeometryFormat::Camera : vrma::GeometryFormat::Orientation;
    vrma::SetDecimalSeparator((data[0] & 2) ? QLatin1Char(',') : QLatin1Char('.'));
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1),
                           static_cast<qsizetype>(size - 1));
    const QStringList lines = vrma::DecodeTextLines(bytes);
    const int count = vrma::GeometryLineCount(format);
    QStringList values;
    try {
        values = vrma::GeometryValuesFromLines(lines, count);
    } catch (const vrma::FormatError&) {
        VRMA_FUZZ_CHECK(lines.size() < count, QString::number(lines.size()));
        return 0;
    }
    VRMA_FUZZ_CHECK(values.size() == count, QString());
    QStringList out;
    const int bad = vrma::BuildGeometryFile(format, values, &out);
    if (bad >= 0)
        return 0;
    VRMA_FUZZ_CHECK(out.size() == count, QString());
    // After one read-and-write cycle the file is a fixed point of reading and writing
    // (a first cycle may still cut a table name at a semicolon).
    auto cycle = [&](const QStringList& written) {
        const QStringList reread = vrma::DecodeTextLines(vrma::EncodeTextLines(written));
        QStringList next;
        VRMA_FUZZ_CHECK(
            vrma::BuildGeometryFile(format, vrma::GeometryValuesFromLines(reread, count), &next) ==
                -1,
            QString());
        return next;
    };
    const QStringList second = cycle(out);
    VRMA_FUZZ_CHECK(cycle(second) == second, second.join(QLatin1Char('|')));
    return 0;
}
