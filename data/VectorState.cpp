#include "data/VectorState.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace vrma {

#if defined(__x86_64__) || defined(__i386__)

namespace {

struct Support {
    bool avx = false;         // VZEROUPPER may be executed
    bool xinuseQuery = false; // XGETBV with ECX = 1 reports the registers in use
};

Support Detect() {
    Support support;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return support;
    const bool osxsave = (c & bit_OSXSAVE) != 0;
    if (!osxsave || (c & bit_AVX) == 0)
        return support;
    // The system must save the AVX state (XCR0 bits 1 and 2), or AVX is unusable.
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    support.avx = (lo & 0x6u) == 0x6u;
    if (support.avx && __get_cpuid_max(0, nullptr) >= 0xD) {
        __cpuid_count(0xD, 1, a, b, c, d);
        support.xinuseQuery = (a & 0x4u) != 0;
    }
    return support;
}

const Support& Processor() {
    static const Support support = Detect();
    return support;
}

__attribute__((target("avx"))) void ZeroUpper() {
    _mm256_zeroupper();
}

} // namespace

void ClearUpperVectorState() noexcept {
    if (Processor().avx)
        ZeroUpper();
}

bool VectorStateVisible() noexcept {
    return Processor().xinuseQuery;
}

bool UpperVectorStateInUse() noexcept {
    if (!Processor().xinuseQuery)
        return false;
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
    return (lo & 0x4u) != 0; // bit 2: the upper halves of YMM0-15
}

#else

void ClearUpperVectorState() noexcept {}
bool VectorStateVisible() noexcept {
    return false;
}
bool UpperVectorStateInUse() noexcept {
    return false;
}

#endif

} // namespace vrma
