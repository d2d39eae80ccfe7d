// The lists' memory: blocks that keep what they hold when they grow, small or large, and the
// item array built on them.
#include "data/ListMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using vrma::list_memory::Block;
using vrma::list_memory::kHugePage;

// Fills a block's first n bytes with a pattern of its offsets; tells whether they still
// hold it.
void Fill(const Block& block, std::size_t n) {
    auto* bytes = static_cast<unsigned char*>(block.address);
    for (std::size_t k = 0; k < n; ++k)
        bytes[k] = static_cast<unsigned char>(k * 7 + k / 4093);
}
bool Holds(const Block& block, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(block.address);
    for (std::size_t k = 0; k < n; ++k) {
        if (bytes[k] != static_cast<unsigned char>(k * 7 + k / 4093))
            return false;
    }
    return true;
}

// A block grows from small to large and on, as an item array does, keeping what it holds;
// a large one is whole huge pages on a huge page's boundary (except under AddressSanitizer,
// where every block comes from the heap).
TEST(ListMemoryTest, BlocksKeepWhatTheyHoldAsTheyGrow) {
    const std::size_t steps[] = {
        100, 4096, kHugePage - 1, kHugePage + 1, 5 * kHugePage + 3, 40 * kHugePage};
    Block block;
    std::size_t held = 0;
    for (const std::size_t bytes : steps) {
        block = vrma::list_memory::Grow(block, held, bytes);
        ASSERT_NE(block.address, nullptr);
        ASSERT_GE(block.bytes, bytes);
        EXPECT_TRUE(Holds(block, held)) << bytes;
#ifndef __SANITIZE_ADDRESS__
        if (bytes >= kHugePage) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.address) % kHugePage, 0u) << bytes;
            EXPECT_EQ(block.bytes % kHugePage, 0u) << bytes;
        }
#endif
        held = bytes;
        Fill(block, held);
    }
    EXPECT_TRUE(Holds(vrma::list_memory::Grow(block, held, held), held)); // no smaller
    vrma::list_memory::Give(block);
    vrma::list_memory::Give(Block{}); // nothing to give
}

TEST(ListMemoryTest, ItemArrayKeepsItsEntriesThroughEveryGrowth) {
    vrma::ItemArray items;
    constexpr std::size_t kCount = 3000000; // 24 MB: growths on the heap and by pages
    for (std::size_t k = 0; k < kCount / 2; ++k)
        items.push_back(k * 3);
    items.Append(kCount / 2, [](std::size_t k) { return (kCount / 2 + k) * 3; });
    ASSERT_EQ(items.size(), kCount);
    std::size_t wrong = 0;
    for (std::size_t k = 0; k < kCount; ++k)
        wrong += items[k] != k * 3;
    EXPECT_EQ(wrong, 0u);
    items.reserve(2 * kCount);
    EXPECT_EQ(items[kCount - 1], (kCount - 1) * 3);
    items.clear();
    EXPECT_EQ(items.size(), 0u);
}

} // namespace
