#include "data/ListMemory.h"

#include <sys/mman.h>

#include <cstring>
#include <limits>

namespace vrma::list_memory {

namespace {

// Whether a block of this size comes from the system; under AddressSanitizer none does.
bool FromSystem([[maybe_unused]] std::size_t bytes) {
#ifdef __SANITIZE_ADDRESS__
    return false;
#else
    return bytes >= kHugePage;
#endif
}

std::size_t WholeHugePages(std::size_t bytes) {
    if (bytes > std::numeric_limits<std::size_t>::max() / 2)
        throw std::bad_alloc();
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

// `bytes` (whole huge pages) of fresh memory aligned to a huge page, marked for huge pages.
void* MapAligned(std::size_t bytes) {
    const std::size_t span = bytes + kHugePage;
    void* const mapped =
        mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    if (aligned != start)
        munmap(mapped, aligned - start);
    if (const std::size_t tail = start + span - (aligned + bytes))
        munmap(reinterpret_cast<void*>(aligned + bytes), tail); // NOLINT(performance-no-int-to-ptr)
    void* const block = reinterpret_cast<void*>(aligned);       // NOLINT(performance-no-int-to-ptr)
    // Without huge pages on the system the block is used as it is.
    madvise(block, bytes, MADV_HUGEPAGE);
    return block;
}

} // namespace

Block Take(std::size_t bytes) {
    if (FromSystem(bytes)) {
        const std::size_t whole = WholeHugePages(bytes);
        return {MapAligned(whole), whole};
    }
    return {::operator new(bytes), bytes};
}

void Give(Block block) noexcept {
    if (!block.address)
        return;
    if (FromSystem(block.bytes))
        munmap(block.address, block.bytes);
    else
        ::operator delete(block.address);
}

Block Grow(Block block, std::size_t used, std::size_t bytes) {
    if (!block.address)
        return Take(bytes);
    if (bytes <= block.bytes)
        return block;
    if (FromSystem(block.bytes)) {
        // The pages move to a new aligned place as they are.
        const std::size_t whole = WholeHugePages(bytes);
        void* const target = MapAligned(whole);
        if (mremap(block.address, block.bytes, whole, MREMAP_MAYMOVE | MREMAP_FIXED, target) ==
            MAP_FAILED) {
            munmap(target, whole);
            throw std::bad_alloc();
        }
        madvise(target, whole, MADV_HUGEPAGE);
        return {target, whole};
    }
    const Block grown = Take(bytes);
    if (used)
        std::memcpy(grown.address, block.address, used);
    Give(block);
    return grown;
}

} // namespace vrma::list_memory
