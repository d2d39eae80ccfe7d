// The budget of a photograph's reading: its size against the limit, the memory its
// decoding needs against what the process may still take, and the failures they give.
#include "calib/PhotoDecoding.h"

#include "calib/TargetDetection.h"
#include "data/Messages.h"

#include <cstdio>
#include <new>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace vrma {

namespace photo {

[[noreturn]] void Unreadable() {
    throw PhotoReadError(messages::PhotoUnreadable().toStdString());
}

[[noreturn]] void OutOfMemory(std::int64_t width, std::int64_t height, std::int64_t needed,
                              std::int64_t available) {
    constexpr std::int64_t mb = std::int64_t{1} << 20;
    throw PhotoMemoryError(messages::PhotoOutOfMemory(width, height, (needed + mb - 1) / mb,
                                                      std::max<std::int64_t>(available, 0) / mb)
                               .toStdString());
}

// The photograph's size against the limit and its decoding's memory against what is free.
void CheckSize(std::int64_t width, std::int64_t height, Reading& reading) {
    const std::int64_t maxPixels = reading.maxPixels;
    if (width < 1 || height < 1)
        Unreadable();
    reading.width = width;
    reading.height = height;
    if (width > maxPixels / height)
        throw PhotoReadError(
            messages::PhotoTooLarge(width, height, std::max<std::int64_t>(maxPixels / 1'000'000, 1))
                .toStdString());
}

void CheckMemory(std::int64_t width, std::int64_t height, std::int64_t needed) {
    const std::int64_t available = AvailableMemory();
    if (needed > available)
        OutOfMemory(width, height, needed, available);
}

// A grey image of the photograph's size; a failed allocation is a photograph too large
// for the memory.
cv::Mat GreyImage(int width, int height) {
    try {
        return cv::Mat(height, width, CV_8UC1);
    } catch (const std::bad_alloc&) {
    } catch (const cv::Exception&) {
    }
    OutOfMemory(width, height, std::int64_t{width} * height, AvailableMemory());
}

} // namespace photo

namespace {

// A number from a line of /proc/meminfo ("MemAvailable:  123456 kB"), in bytes.
std::optional<std::int64_t> MemInfo(const char* key) {
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (!file)
        return std::nullopt;
    char line[256];
    std::optional<std::int64_t> value;
    const size_t length = std::strlen(key);
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, key, length) == 0 && line[length] == ':') {
            long long kb = 0;
            if (std::sscanf(line + length + 1, "%lld", &kb) == 1)
                value = std::int64_t(kb) * 1024;
            break;
        }
    }
    std::fclose(file);
    return value;
}

// The process's virtual size and data, in bytes (/proc/self/statm).
bool ProcessSizes(std::int64_t& virtualSize, std::int64_t& data) {
    std::FILE* file = std::fopen("/proc/self/statm", "re");
    if (!file)
        return false;
    long long pages[7] = {};
    const int got = std::fscanf(file, "%lld %lld %lld %lld %lld %lld", &pages[0], &pages[1],
                                &pages[2], &pages[3], &pages[4], &pages[5]);
    std::fclose(file);
    if (got != 6)
        return false;
    const std::int64_t page = sysconf(_SC_PAGESIZE);
    virtualSize = pages[0] * page;
    data = pages[5] * page;
    return true;
}

} // namespace

std::int64_t AvailableMemory() {
    std::int64_t available = std::numeric_limits<std::int64_t>::max();
    if (const std::optional<std::int64_t> free = MemInfo("MemAvailable"))
        available = *free;
    else if (const long pages = sysconf(_SC_AVPHYS_PAGES); pages > 0)
        available = std::int64_t(pages) * sysconf(_SC_PAGESIZE);
    std::int64_t virtualSize = 0;
    std::int64_t data = 0;
    const bool sizes = ProcessSizes(virtualSize, data);
    const auto within = [&](int resource, std::int64_t used) {
        rlimit limit{};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            available = std::min(available, std::int64_t(limit.rlim_cur) - used);
    };
    within(RLIMIT_AS, sizes ? virtualSize : 0);
    within(RLIMIT_DATA, sizes ? data : 0);
    return std::max<std::int64_t>(available, 0);
}

} // namespace vrma
