// The line reader: any bytes split into lines without a break inside, and a written text
// reads back to the same lines.
#include "FuzzSupport.h"
#include "data/TextFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::EnsureApp();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = vrma::DecodeTextLines(bytes);
    for (const QString& line : lines) {
        VRMA_FUZZ_CHECK(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\n')),
                        line);
        VRMA_FUZZ_CHECK(!line.contains(QChar(0)), line);
    }
    const QByteArray written = vrma::EncodeTextLines(lines);
    VRMA_FUZZ_CHECK(vrma::DecodeTextLines(written) == lines, QString::number(lines.size()));
    // Bytes that hold no break and no NUL survive a read and write unchanged.
    if (!bytes.contains('\r') && !bytes.contains('\n') && !bytes.contains('\0') &&
        !bytes.isEmpty())
        VRMA_FUZZ_CHECK(written == bytes + "\r\n", QString());
    return 0;
}
