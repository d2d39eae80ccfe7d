// The coordinate-file reader: a file read in chunks that stay in the processor's cache, a
// large one in parts at once, each on a thread of its own, its lines read by the byte-level
// scanner (data/PointScanner.h).
#include "data/PointFileReader.h"

#include "data/Locale.h"
#include "data/PointScanner.h"
#include "data/TextFile.h"
#include "data/VectorState.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <stop_token>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

namespace vrma {

namespace {

constexpr std::size_t kChunkSize = std::size_t{256} * 1024;

// A large file is read in parts at once, each on a thread of its own: as many parts as there
// are processors free, at most four, and none smaller than 4 MiB.
constexpr unsigned kMostParts = 4;
constexpr qint64 kLeastPartBytes = qint64{4} * 1024 * 1024;
// How far from where a part would begin its first line feed is looked for.
constexpr qint64 kPartSearch = qint64{64} * 1024;

struct PartSettings {
    unsigned most = 0; // 0: one a processor, at most kMostParts
    qint64 least = kLeastPartBytes;
};

PartSettings& Parts() {
    static PartSettings settings;
    return settings;
}

// The processors this process may run on (fewer than the machine has under taskset or a
// container's CPU set).
unsigned Processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return unsigned(CPU_COUNT(&set));
    return std::thread::hardware_concurrency();
}

// How many of them are free at the moment: the read waits for its slowest part, and a part
// that waits for a processor only shares the time the process gets with the others. From
// the threads that the system could run now (/proc/loadavg, this one among them); all of
// them when it cannot be told.
unsigned FreeProcessors(unsigned processors) {
    const int fd = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return processors;
    char text[128];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return processors;
    // "0.52 0.58 0.59 3/154 12345": the fourth field is runnable/all.
    const char* p = text;
    const char* const end = text + n;
    for (int field = 0; field < 3; ++field) {
        p = static_cast<const char*>(std::memchr(p, ' ', std::size_t(end - p)));
        if (!p)
            return processors;
        ++p;
    }
    unsigned runnable = 0;
    if (std::from_chars(p, end, runnable).ec != std::errc() || runnable == 0)
        return processors;
    const unsigned others = runnable - 1;
    return others >= processors ? 1 : processors - others;
}

std::size_t PartCount(qint64 fileSize) {
    const PartSettings& settings = Parts();
    const qint64 bySize = fileSize / std::max<qint64>(settings.least, 1);
    if (bySize < 2)
        return 1;
    const unsigned most =
        settings.most ? settings.most : std::min(FreeProcessors(Processors()), kMostParts);
    return std::size_t(std::clamp<qint64>(bySize, 1, std::max(1u, most)));
}

// Where the parts begin: the first one at the start of the file, every other one right
// after the first line feed from an even share of the file on, which always begins a line
// whatever the breaks of the file (CR LF, CR, LF). A share without a line feed near it is
// left to the part before it.
std::vector<qint64> PartStarts(const DataFileReader& file, qint64 fileSize, std::size_t parts) {
    std::vector<qint64> starts{0};
    char window[4096];
    for (std::size_t k = 1; k < parts; ++k) {
        const qint64 share = fileSize / qint64(parts) * qint64(k);
        for (qint64 at = std::max(share, starts.back()); at < share + kPartSearch;) {
            const qint64 n = file.ReadAt(window, qint64(sizeof window), at);
            if (n == 0)
                break;
            if (const void* lf = std::memchr(window, '\n', std::size_t(n))) {
                const qint64 start = at + (static_cast<const char*>(lf) - window) + 1;
                if (start < fileSize)
                    starts.push_back(start);
                break;
            }
            at += n;
        }
    }
    return starts;
}

// The buffer of a part: bytes the file is read into, not set beforehand.
struct Buffer {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;

    explicit Buffer(std::size_t n) : bytes(std::make_unique_for_overwrite<char[]>(n)), size(n) {}
    // Twice as large, the first `kept` bytes kept.
    void Double(std::size_t kept) {
        auto larger = std::make_unique_for_overwrite<char[]>(size * 2);
        std::memcpy(larger.get(), bytes.get(), kept);
        bytes = std::move(larger);
        size *= 2;
    }
};

// How many more lines to make room for in `bytes` more bytes of lines, judged from the
// lines read so far.
std::size_t LinesIn(double linesPerByte, qint64 bytes) {
    return bytes > 0 ? std::size_t(linesPerByte * double(bytes) * 1.05) + 16 : 0;
}

// Reads the lines of the bytes [from, to) of the file into the sink (to -1: to the end of
// the file), and tells whether a NUL ended the text among them. Once it knows the length
// of a line it calls reserve(lines per byte, bytes read as lines), once. A part stops
// early, with nothing to tell, when it is asked to stop.
template <class Sink, class Reserve>
bool ReadPointPart(const DataFileReader& file, qint64 from, qint64 to, const ByteSyntax& syntax,
                   Buffer& buffer, Sink* sink, Reserve reserve, const std::stop_token& stop = {}) {
    std::size_t filled = 0; // bytes in the buffer not yet read as lines
    qint64 offset = from;   // of the next byte to read
    qint64 consumed = 0;    // bytes of the part read as lines
    bool reserved = false;
    for (;;) {
        if (stop.stop_requested())
            return false;
        if (filled == buffer.size)
            buffer.Double(filled); // a line longer than the buffer
        qint64 wanted = qint64(buffer.size - filled);
        if (to >= 0)
            wanted = std::min(wanted, to - offset);
        char* const fresh = buffer.bytes.get() + filled;
        const qint64 n = wanted > 0 ? file.ReadAt(fresh, wanted, offset) : 0;
        offset += n;
        const auto* nul = static_cast<const char*>(std::memchr(fresh, 0, std::size_t(n)));
        filled += nul ? std::size_t(nul - fresh) : std::size_t(n);
        Translate(fresh, std::size_t(n), syntax);
        const bool atEnd = n == 0 || nul != nullptr; // a NUL ends the text

        const char* const begin = buffer.bytes.get();
        const char* const end = begin + filled;
        const char* const cut = atEnd ? end : EndOfCompleteLines(begin, end);
        ReadPointLines(begin, cut, syntax, sink);
        consumed += cut - begin;
        if (!reserved && consumed > 0 && !atEnd) {
            reserved = true;
            try {
                reserve(double(sink->Count()) / double(consumed), consumed);
            } catch (const std::bad_alloc&) {
                // Only room asked for ahead: the list still grows as the lines come.
            }
        }
        if (atEnd)
            return nul != nullptr;
        filled = std::size_t(end - cut);
        std::memmove(buffer.bytes.get(), cut, filled);
    }
}

} // namespace

void SetPointFileParts(unsigned parts, qint64 leastBytes) {
    Parts() = PartSettings{parts, leastBytes > 0 ? leastBytes : kLeastPartBytes};
}

// The file is read in chunks that stay in the processor's cache, and its bytes are read as
// they stand; the values are those that ParseRealDouble gives for the decoded field texts.
// The parts of a large file are read at once into lists of their own, whose points then
// join the list in the order of the file: the list ends as it would after reading the file
// from its start, up to the first failure or NUL.
void LoadPointFile(const QString& fileName, VT_Points* points) {
    ClearUpperVectorState();
    // The buffer is had before the old points are freed: a large request right after a
    // million small records were freed makes the heap merge them all first, after which
    // every new record is carved out of the merged space the slow way.
    std::unique_ptr<Buffer> buffer;
    try {
        buffer = std::make_unique<Buffer>(kChunkSize);
    } catch (...) {
        points->Clear(); // emptied whatever happens
        throw;
    }
    points->Clear();
    DataFileReader file(fileName);
    // Not the apparent size: a sparse file would have its holes reserved for.
    const qint64 fileSize = file.SizeHint();
    const ByteSyntax syntax = SyntaxFor(DecimalSeparator());

    const std::vector<qint64> starts = points->Ownership() == 1
                                           ? PartStarts(file, fileSize, PartCount(fileSize))
                                           : std::vector<qint64>{0};
    const std::size_t parts = starts.size();
    // Part k ends where part k + 1 begins; the last one reads to the end of the file.
    const auto partEnd = [&](std::size_t k) { return k + 1 < parts ? starts[k + 1] : qint64(-1); };
    const auto partBytes = [&](std::size_t k) {
        return (k + 1 < parts ? starts[k + 1] : fileSize) - starts[k];
    };
    // The list's items are sized once, for the whole file, from the lines of the first part
    // read so far; its records take the first part's lines.
    const auto reserveFirst = [&](double linesPerByte, qint64 consumed) {
        points->ReserveItems(LinesIn(linesPerByte, fileSize - consumed));
        points->ReserveRecords(LinesIn(linesPerByte, partBytes(0) - consumed));
    };
    if (parts == 1) {
        ReadPointPart(file, 0, -1, syntax, *buffer, points, reserveFirst);
        return;
    }
    // Part k > 0 makes its records in chunks[k - 1], which the list takes in the order of
    // the file; failures[k] and ended[k] tell how it ended. The records of a part that is
    // dropped (after a failure or a NUL) go with its chunks, not destroyed one by one.
    static_assert(std::is_trivially_destructible_v<VT_Point>);
    std::vector<std::unique_ptr<RecordChunks<VT_Point>>> chunks;
    // The room of the previous read is shared out by the parts' sizes.
    const std::size_t spare = points->RecordRoom();
    for (std::size_t k = 1; k < parts; ++k) {
        chunks.push_back(std::make_unique<RecordChunks<VT_Point>>());
        points->GiveEmptyChunks(
            *chunks.back(), std::size_t(double(spare) * double(partBytes(k)) / double(fileSize)));
    }
    std::vector<std::exception_ptr> failures(parts);
    std::vector<char> ended(parts, 0);
    const auto readPart = [&](const std::stop_token& stop, std::size_t k) {
        try {
            ClearUpperVectorState();
            Buffer own(kChunkSize);
            RecordChunks<VT_Point>* const records = chunks[k - 1].get();
            const auto reserve = [&](double linesPerByte, qint64 consumed) {
                records->Reserve(LinesIn(linesPerByte, partBytes(k) - consumed));
            };
            ended[k] =
                ReadPointPart(file, starts[k], partEnd(k), syntax, own, records, reserve, stop);
        } catch (...) {
            failures[k] = std::current_exception();
        }
    };
    std::vector<std::size_t> notStarted; // read here after the first part
    // Declared after what the threads use: on the way out they are asked to stop and joined
    // before any of it goes.
    std::vector<std::jthread> threads;
    threads.reserve(parts - 1);
    for (std::size_t k = 1; k < parts; ++k) {
        try {
            threads.emplace_back(readPart, k);
        } catch (const std::system_error&) {
            notStarted.push_back(k);
        }
    }
    if (ReadPointPart(file, 0, partEnd(0), syntax, *buffer, points, reserveFirst))
        return;
    for (const std::size_t k : notStarted)
        readPart(std::stop_token(), k);
    for (std::jthread& thread : threads)
        thread.join();
    for (std::size_t k = 1; k < parts; ++k) {
        points->TakeRecordsOf(*chunks[k - 1]);
        if (failures[k])
            std::rethrow_exception(failures[k]);
        if (ended[k])
            break;
    }
    points->FreeEmptyChunks(); // what was shared out and not needed
}

} // namespace vrma
