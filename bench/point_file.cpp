// Reading a coordinate file of a million lines, against a bare std::from_chars loop over the
// same bytes in memory. Usage: vrma_bench_point_file [lines] [separator] [folder]
#include "data/Numbers.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Locale.h"

#include <QDir>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Every number of the text, with nothing but std::from_chars: the floor for any reader.
double BareFromChars(const QByteArray& bytes, std::size_t& count) {
    const char* p = bytes.constData();
    const char* end = p + bytes.size();
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

} // namespace

int main(int argc, char** argv) {
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const char separator = argc > 2 ? argv[2][0] : '.';
    const QString folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QDir::tempPath();
    const QString path = QDir(folder).filePath(QStringLiteral("vrma_bench_points.crd"));
    vrma::SetDecimalSeparator(QLatin1Char(separator));

    std::mt19937_64 random(1);
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    QStringList text;
    text.reserve(lines);
    for (int i = 0; i < lines; ++i)
        text << vrma::FormatGeneral15(coordinate(random)) + QStringLiteral(" ; ") +
                    vrma::FormatGeneral15(coordinate(random));
    vrma::WriteTextLines(path, text);
    // The bare loop reads the same numbers with '.'.
    const QByteArray bytes = vrma::ReadFileBytes(path).replace(separator, '.');
    std::printf("%d lines, %.1f MB, separator '%c'\n", lines, bytes.size() / 1e6, separator);

    constexpr int kRuns = 15;
    double best[4] = {1e9, 1e9, 1e9, 1e9};
    vrma::VT_Points points(1);
    double sink = 0;
    for (int run = 0; run < kRuns; ++run) {
        std::size_t count = 0;
        auto start = Clock::now();
        sink += BareFromChars(bytes, count);
        best[0] = std::min(best[0], Milliseconds(start));

        start = Clock::now();
        sink += double(vrma::ReadFileBytes(path).size());
        best[1] = std::min(best[1], Milliseconds(start));

        points.Clear();
        start = Clock::now();
        if (!vrma::ReadPointFile(path, &points) || points.Count() != lines)
            std::abort();
        best[2] = std::min(best[2], Milliseconds(start));

        start = Clock::now();
        points.Clear();
        best[3] = std::min(best[3], Milliseconds(start));
    }
    std::printf("bare std::from_chars over the bytes in memory: %7.1f ms\n", best[0]);
    std::printf("ReadFileBytes (the file from the page cache):  %7.1f ms\n", best[1]);
    std::printf("ReadPointFile (file on disk to filled list):   %7.1f ms  (%.2fx the bare loop)\n",
                best[2], best[2] / best[0]);
    std::printf("Clear of the owning list:                      %7.1f ms\n", best[3]);

    // The two formats, a million values each.
    std::vector<double> values(static_cast<std::size_t>(lines));
    for (double& v : values)
        v = coordinate(random);
    double formatGeneral = 1e9;
    double formatFixed = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto start = Clock::now();
        for (double v : values)
            sink += double(vrma::FormatGeneral15(v).size());
        formatGeneral = std::min(formatGeneral, Milliseconds(start));
        start = Clock::now();
        for (double v : values)
            sink += double(vrma::FormatFixed4(v).size());
        formatFixed = std::min(formatFixed, Milliseconds(start));
    }
    std::printf("FormatGeneral15, %d values:                %7.1f ms\n", lines, formatGeneral);
    std::printf("FormatFixed4, %d values:                   %7.1f ms\n", lines, formatFixed);
    std::printf("(%g)\n", sink);
    QFile::remove(path);
    return 0;
}
