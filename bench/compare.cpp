// Our side of bench/compare.sh: times the program's own work on the files that the script
// made, one line "<case> <milliseconds>" per timed run, after one run that is not timed.
//   vrma_bench_compare read FILE RUNS
//       ReadPointFile into the list of the previous read, which it empties first, as the
//       calibration window reads its files again at every run; alternating with a bare
//       std::from_chars loop over the same bytes in memory (cases "ReadPointFile" and
//       "from_chars").
//   vrma_bench_compare calibrate SCENE IMAGE NC NR RUNS
//       the calibration command through the shown calibration window, offscreen, until
//       its results are shown (case "calibration"); then "check <md5 of the ratio lines>
//       <mean> <sd>" for the script to compare with the peer's results.
#include "app/Alfa_form.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Application.h"
#include "platform/Locale.h"
#include "support/BenchSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QLineEdit>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

double FromChars(const QByteArray& bytes, std::size_t& count) {
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    double sum = 0;
    count = 0;
    while (p < end) {
        while (p < end && (*p == ' ' || *p == ';' || *p == '\r' || *p == '\n'))
            ++p;
        if (p == end)
            break;
        double v = 0;
        const auto r = std::from_chars(p, end, v);
        if (r.ec != std::errc())
            std::abort();
        sum += v;
        ++count;
        p = r.ptr;
    }
    return sum;
}

int Read(const QString& path, int runs) {
    const QByteArray bytes = vrma::ReadFileBytes(path);
    vrma::VT_Points points(1);
    double sink = 0;
    for (int run = -1; run < runs; ++run) {
        auto start = Clock::now();
        if (!vrma::ReadPointFile(path, &points))
            return 1;
        const double ours = Milliseconds(start);
        std::size_t count = 0;
        start = Clock::now();
        sink += FromChars(bytes, count);
        const double ceiling = Milliseconds(start);
        if (count != 2 * std::size_t(points.Count()))
            return 1;
        if (run >= 0)
            std::printf("ReadPointFile %.3f\nfrom_chars %.3f\n", ours, ceiling);
    }
    std::printf("bytes %lld\n", static_cast<long long>(bytes.size()));
    return sink == 0.5 ? 2 : 0; // keeps the sum alive
}

int Calibrate(const QString& scene, const QString& image, int nc, int nr, int runs) {
    vrma::bench::SilentDialogHost host;
    vrma::SetDialogHost(&host);
    const std::unique_ptr<vrma::TAlfaKalibr_Form> form = vrma::CreateMainWindow();
    form->show();
    QApplication::processEvents();
    form->sceneFileName = scene;
    form->imageFileName = image;
    form->Edit5->setText(QString::number(nc));
    form->Edit3->setText(QString::number(nr));
    for (int run = -1; run < runs; ++run) {
        const auto start = Clock::now();
        form->N4Click(nullptr);
        QApplication::processEvents();
        const double ms = Milliseconds(start);
        if (host.messages != 0) {
            std::fprintf(stderr, "message: %s\n", qPrintable(host.lastMessage));
            return 1;
        }
        if (run >= 0)
            std::printf("calibration %.3f\n", ms);
    }
    // The ratio lines, each followed by a line break, as the peer hashes its texts.
    const QStringList lines = form->ListBoxLines();
    const qsizetype ratios = lines.size() - 6;
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (qsizetype k = 0; k < ratios; ++k) {
        hash.addData(lines[k].toLatin1());
        hash.addData("\n");
    }
    std::printf("check %s %s %s\n", hash.result().toHex().constData(),
                qPrintable(form->Edit8->text()), qPrintable(form->Edit9->text()));
    vrma::SetDialogHost(nullptr);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    if (argc == 4 && std::strcmp(argv[1], "read") == 0)
        return Read(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    if (argc == 7 && std::strcmp(argv[1], "calibrate") == 0)
        return Calibrate(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                         std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    std::fprintf(stderr, "usage: %s read FILE RUNS | calibrate SCENE IMAGE NC NR RUNS\n", argv[0]);
    return 2;
}
