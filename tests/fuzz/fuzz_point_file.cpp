// The coordinate-file reader on any file content: true with one point per line, or
// false with the points of the lines before the failing one.
#include "FuzzSupport.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Dialogs.h"
#include "platform/Locale.h"

#include <QFile>
#include <QTemporaryDir>

namespace {
class SilentHost : public vrma::DialogHost {
public:
    int messages = 0;
    int messageBox(QWidget*, const QString&, const QString&, unsigned) override {
        ++messages;
        return vrma::IDOK;
    }
    void showMessage(const QString&) override {}
    bool execute(vrma::FileDialog&) override { return false; }
    int execModal(QWidget&) override { return 0; }
    void help(QWidget*, const QString&, unsigned, quintptr) override {}
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vrma::fuzz::EnsureApp();
    static QTemporaryDir dir;
    static SilentHost host;
    vrma::SetDialogHost(&host);
    const QString path = dir.filePath("f.crd");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    vrma::SetDecimalSeparator((size & 1) ? QLatin1Char(',') : QLatin1Char('.'));
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype lineCount = vrma::DecodeTextLines(bytes).size();

    vrma::VT_Points points(1);
    host.messages = 0;
    const bool ok = vrma::ReadPointFile(path, &points);
    if (ok) {
        VRMA_FUZZ_CHECK(points.Count() == lineCount, QString::number(points.Count()));
        VRMA_FUZZ_CHECK(host.messages == 0, QString());
    } else {
        VRMA_FUZZ_CHECK(points.Count() < lineCount, QString::number(points.Count()));
        VRMA_FUZZ_CHECK(host.messages == 1, QString());
    }
    return 0;
}
